// The main window's sound controls: the robot's sound on and off, the
// operator's microphone (button and push-to-talk on Shift) with its level
// meter, the voice changer, and the sound settings dialog for either
// direction. The owner drives them with Tick() from its 20 ms timer and
// forwards its key presses.
#pragma once

#include <Qt>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/robot_link.h"
#include "link/settings.h"
#include "media/audio_player.h"
#include "media/gui/level_meter_input.h"
#include "media/microphone_switch.h"
#include "media/recorder.h"
#include "media/sound_settings.h"
#include "ui/vel_controls.h"

namespace velcora::media {

inline constexpr std::string_view kRobotSoundText = "Передача звука от робота";

// The recorder's part of the settings.
RecorderSettings RecorderSettingsFrom(const CSettings& settings);

class CSoundControls : public ui::CVelPanel {
  public:
    enum Command { kCmdRobotSound = 7201, kCmdMicrophone, kCmdVoiceChanger, kCmdSettings };

    // What the dialog needs from the outside: the system's recording devices,
    // and a way to show it (tests answer it themselves).
    using DeviceLister = std::function<std::vector<std::string>()>;
    // Shows the dialog for `values`; true with the chosen values on "OK".
    using DialogRunner = std::function<bool(SoundDirection, const std::vector<std::string>& devices,
                                            SoundSettingsValues& values)>;

    // `settings` is read now and updated by the dialog, which then calls
    // `save`. `meter` (optional) is the device the recorder records through.
    CSoundControls(ui::CVelContainer* owner, uint32_t place, int w, int h, IRobotLink& link,
                   CAudioPlayer& player, CRecorder& recorder, CSettings& settings,
                   std::function<void()> save, CLevelMeterInput* meter = nullptr);
    ~CSoundControls() override;

    void SetDeviceLister(DeviceLister lister) { listDevices_ = std::move(lister); }
    void SetDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

    // The owner's timer: the sound request while switched on, the player's
    // tick, the microphone's sending and the level meter.
    void Tick(int32_t elapsedMs);

    // Key presses of the window; Shift is push-to-talk unless Ctrl is held.
    // Returns whether the key was taken.
    bool KeyDown(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat);
    bool KeyUp(int key, bool autoRepeat);

    // "Настройка звука...": not offered while the console is locked. Returns
    // whether new values were stored.
    bool OpenSoundSettings(SoundDirection direction);

    ui::CVelSpdBtn* RobotSoundButton() const { return robotSound_; }
    ui::CVelSpdBtn* MicrophoneButton() const { return microphone_; }
    ui::CVelSpdBtn* VoiceChangerButton() const { return voiceChanger_; }
    ui::CVelProgressBar* LevelMeter() const { return level_; }
    bool MicrophoneOn() const { return switch_.ButtonDown(); }
    bool RobotSoundOn() const { return sound_.Enabled(); }

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    void ApplySettings();
    void ShowMicrophone();

    IRobotLink& link_;
    CAudioPlayer& player_;
    CRecorder& recorder_;
    CSettings& settings_;
    std::function<void()> save_;
    CLevelMeterInput* meter_;
    CRobotSoundControl sound_;
    CMicrophoneSwitch switch_;
    DeviceLister listDevices_;
    DialogRunner runDialog_;
    ui::CVelSpdBtn* robotSound_ = nullptr;
    ui::CVelSpdBtn* microphone_ = nullptr;
    ui::CVelSpdBtn* voiceChanger_ = nullptr;
    ui::CVelProgressBar* level_ = nullptr;
    ui::CVelPopupMenu* menu_ = nullptr;
};

}  // namespace velcora::media
