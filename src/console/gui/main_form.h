// The console's main window: the panels built from the control family, the
// status bar, the accelerators and the drive keys. It owns the connection and
// the main controller; everything it does beyond showing is forwarded there.
#pragma once

#include <QFont>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console/command_buttons.h"
#include "console/gestures.h"
#include "console/gui/connection_bar.h"
#include "console/gui/robot_panels.h"
#include "console/main_controller.h"
#include "console/phrases.h"
#include "cyclogram/cyclogram_transfer.h"
#include "link/console_hooks.h"
#include "link/dispatcher.h"
#include "link/ini_file.h"
#include "link/robot_connection.h"
#include "link/session_recording.h"
#include "link/settings.h"
#include "media/audio_player.h"
#include "media/gui/level_meter_input.h"
#include "media/gui/sound_controls.h"
#include "media/gui/video_panel.h"
#include "media/recorder.h"
#include "platform/audio_input.h"
#include "platform/audio_output.h"
#include "platform/reactor.h"
#include "ui/vel.h"

namespace velcora::cyclogram_gui {
class CCyclogramView;
}
namespace velcora::ui {
class CVelTabControl;
}

namespace velcora::gui {

class CCyclogramPanel;
class CPhrasePanel;
class CCommandPanel;
class CGesturePanel;

// Command ids of the main window.
enum MainCommand : int {
    kCmdToggleConnect = 100,  // F9
    kCmdFocusDrive,           // F3
    kCmdFocusPhrase,          // F4
    // Tool-bar buttons that open a tool window, one id per button.
    kCmdToolButtonFirst = 0x300,
    // The work area's pages.
    kCmdWorkTabs = 0x3F0,
};

class CMainForm : public ui::CVelForm, public IMainView {
  public:
    static constexpr int kDefaultWidth = 1180;
    static constexpr int kDefaultHeight = 720;
    // The fonts the window's first frame draws with, for the font preload
    // (once the QApplication exists).
    static std::vector<QFont> FirstFrameFonts();

    // Loads the settings from `iniPath` and builds the window; `screens`
    // overrides the monitors the stored placement is checked against (tests).
    // `microphone` replaces the system's recording device (tests).
    CMainForm(platform::Reactor& reactor, std::string iniPath,
              const std::vector<WindowRect>* screens = nullptr,
              platform::IAudioInput* microphone = nullptr);
    ~CMainForm() override;

    // The connection fields.
    ConnectionFields Fields() const { return connectionBar_->Fields(); }
    void SetFields(const ConnectionFields& fields) { connectionBar_->SetFields(fields); }

    CMainController& Controller() { return *controller_; }
    CRobotConnection& Connection() { return connection_; }
    CSettings& Settings() { return settings_; }

    // For tests and the screenshot.
    ui::CVelStatusBar* StatusBar() const { return status_; }
    ui::CVelSpdBtn* ConnectButton() const { return connectionBar_->ConnectButton(); }
    ui::CVelEdit* HostEdit() const { return connectionBar_->HostEdit(); }
    ui::CVelEdit* PasswordEdit() const { return connectionBar_->PasswordEdit(); }
    ui::CVelSpinEdit* PortEdit() const { return connectionBar_->PortEdit(); }
    ui::CVelRadio* DirectRadio() const { return connectionBar_->DirectRadio(); }
    ui::CVelRadio* TunnelRadio() const { return connectionBar_->TunnelRadio(); }
    ui::CVelJoy* DriveJoy() const { return chassis_ ? chassis_->DriveJoy() : nullptr; }
    ui::CVelSpdBtn* EmotionButton(int i) const { return emotions_->Button(i); }
    ui::CVelSpdBtn* RandomWalkButton() const { return modes_->RandomWalkButton(); }
    ui::CVelLabel* HeightLabel() const { return lift_ ? lift_->HeightLabel() : nullptr; }
    // The groups of the robot's body; null where the settings leave one out.
    CHeadPanel* HeadPanel() const { return head_; }
    CLiftPanel* LiftPanel() const { return lift_; }
    CTrayPanel* TrayPanel() const { return tray_; }
    media::CVideoPanel* VideoPanel(int i) const { return videoPanels_[i]; }
    media::CSoundControls* Sound() const { return sound_; }
    ui::CVelComboBox* JoystickList() const { return chassis_ ? chassis_->JoystickList() : nullptr; }
    media::CAudioPlayer& Player() { return player_; }
    // Runs one timer tick now (the 20 ms timer calls the same).
    void TickNow();
    // Stops or restarts the 20 ms timer (tests tick by hand).
    void SetTimerRunning(bool on);

    bool HandleEvent(const ui::VelEvent& e) override;

    // Tool windows (map, file manager, ...): at most one of each kind in the
    // document area. Opens the kind named `name`, or brings the open one to
    // the front; null for a name no window is registered under.
    ui::CVelMDIChildForm* OpenTool(std::string_view name);
    // The open window of that kind, or null.
    ui::CVelMDIChildForm* FindTool(std::string_view name) const;
    // Makes `name` a kind of tool window (`create` builds it in the document
    // area; the window's own lifetime ends the registration's use).
    void RegisterTool(std::string name, std::function<ui::CVelMDIChildForm*()> create);
    // The registered kinds, in registration order.
    std::vector<std::string> ToolNames() const;
    // What a tool window gets from this window.
    ToolContext& Tools() { return *tools_; }
    // The bar between the video column and the document area.
    ui::CVelSplitter* VideoSplitter() const { return videoSplitter_; }
    // The video column (both cameras).
    ui::CVelControl* VideoColumn() const { return videoColumn_; }
    // With cyclograms on: the work area's pages (the cameras and "Циклограммы").
    ui::CVelTabControl* WorkTabs() const { return workTabs_; }
    cyclogram_gui::CCyclogramView* CyclogramView() const { return cyclogramView_; }
    // The main window's own list of the robot's cyclograms, in its panel.
    ui::CVelListBox* CyclogramList() const;
    CCyclogramPanel* CyclogramPanel() const { return cyclogramPanel_; }
    // Shows the work area's page: 0 the cameras, 1 the cyclograms.
    void SelectWorkPage(int page);

    // Phrases, command buttons and gestures.
    CPhrases& Phrases() { return *phrases_; }
    CCommandButtons& CommandButtons() { return *commandButtons_; }
    CGestures& Gestures() { return *gestures_; }
    CGestureRecorder& GestureRecorder() { return *gestureRecorder_; }
    CPhrasePanel* PhrasePanel() const { return phrasePanel_; }
    CCommandPanel* CommandPanel() const { return commandPanel_; }
    // Null unless the settings ask for the gestures panel.
    CGesturePanel* GesturePanel() const { return gesturePanel_; }
    // Whether the operator is typing in the phrase box (the map's R key).
    bool PhraseBoxEditing() const;
    // Ctrl plus a letter or digit anywhere in the window: says the phrase with
    // that hot key; false (the key goes on) when no phrase has it.
    bool PhraseHotKey(int key, quint32 nativeScanCode);

    // IMainView
    void ShowConnectionStatus(const std::string& text) override;
    void ShowIncomingRate(const std::string& text) override;
    void ShowBattery(const std::u16string& text) override;
    void ShowHeight(const std::u16string& text) override;
    void ShowRandomWalk(bool on) override;
    void ShowAutoMode(bool on) override;
    void ShowQrMode(bool on) override;
    void ApplyEnabling(const MainEnabling& e) override;
    void ShowErrorBox(const std::string& text) override;
    void FocusDriveJoystick() override;
    void ShowLiftButtons(bool raiseDown, bool lowerDown) override;
    void ShowTrayButtons(bool raiseDown, bool lowerDown) override;
    void ShowAutobalance(bool on) override;
    void ShowEmotion(int emotion) override;
    void ShowDrive(float x, float y) override;
    void ShowSmoothRide(bool on) override;
    void ShowMoveMode(MoveMode mode) override;
    void ShowHead(float x, float y, float z) override;
    void ShowHeadSlider(int16_t value) override;
    void ShowStick(float x, float y, float r) override;

    // A key on the drive joystick or a head control; returns whether taken.
    bool DriveKey(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat, bool down);

    // Session recording: into `path` (a fresh file in the recordings folder
    // when empty), starting a new numbered file past `maxBytes` (0: never).
    bool StartRecording(const std::string& path, int64_t maxBytes, std::string& error);
    void StopRecording();
    CSessionRecording& Recording() { return recording_; }
    ui::CVelSpdBtn* RecordButton() const { return connectionBar_->RecordButton(); }
    // The program and version written into recordings.
    void SetRecordedVersion(std::string text) { recordedVersion_ = std::move(text); }

  protected:
    bool CanClose(int code) override;

  private:
    class Relay : public IRobotConnectionOwner {
      public:
        void OnConnectionStateChanged() override {
            if (target)
                target->OnConnectionStateChanged();
        }
        // The telnet console follows the link to the robot and away from it.
        void OnRobotAddress(uint32_t address) override {
            if (onAddress)
                onAddress(address);
        }
        void OnOperatorDisconnect() override {
            if (onDisconnect)
                onDisconnect();
        }
        CMainController* target = nullptr;
        std::function<void(uint32_t)> onAddress;
        std::function<void()> onDisconnect;
    };

    // One line per tool window: its name and how to make it.
    void RegisterTools();
    // A tool-bar button that opens the tool window `tool`.
    ui::CVelButton* AddToolButton(ui::CVelContainer* bar, const QString& caption,
                                  const QString& hint, std::string tool);
    void DestroyTools();
    // The phrase panel and the command panel along the bottom, the gestures
    // panel in `column`; their controllers and the Ctrl hot keys.
    void BuildPhrases(ui::CVelContainer* column);
    void DestroyPhrases();
    void BuildToolbar();
    void BuildSound(ui::CVelContainer* column);
    void TickPanels(int32_t elapsedMs);
    void BuildWorkArea(ui::CVelContainer* second);
    void PlaceWindow(const std::vector<WindowRect>* screens);
    bool Command(const ui::VelEvent& e);
    void Bind(ui::CVelControl* c, int id);
    ui::CVelGroupBox* Group(ui::CVelContainer* owner, uint32_t place, int w, int h,
                            const QString& caption);
    PanelContext Panels();

    platform::Reactor& reactor_;
    IniFile ini_;
    CSettings settings_;
    CMessageDispatcher dispatcher_;
    Relay relay_;
    CRobotConnection connection_;
    CConnectionControl connectionControl_{connection_};
    std::unique_ptr<CMainController> controller_;
    // The program's sound devices: the robot's sound plays through the
    // output, the microphone records through the level meter.
    platform::AudioOutput speaker_;
    media::CAudioPlayer player_{speaker_};
    platform::AudioInput systemMicrophone_;
    media::CLevelMeterInput meter_;
    media::CRecorder recorder_;
    std::unique_ptr<media::CVideoReception> reception_;
    QTimer timer_;
    ui::CVelFont* font_ = nullptr;
    ui::CVelFont* boldFont_ = nullptr;
    ui::CVelFont* smallFont_ = nullptr;

    ui::CVelStatusBar* status_ = nullptr;
    CConnectionBar* connectionBar_ = nullptr;
    CChassisPanel* chassis_ = nullptr;
    CModesPanel* modes_ = nullptr;
    CEmotionPanel* emotions_ = nullptr;
    CHeadPanel* head_ = nullptr;
    CLiftPanel* lift_ = nullptr;
    CTrayPanel* tray_ = nullptr;
    ui::CVelControl* phraseBox_ = nullptr;
    ui::CVelControl* videos_ = nullptr;
    std::array<media::CVideoPanel*, 2> videoPanels_{};
    media::CSoundControls* sound_ = nullptr;
    struct ToolKind {
        std::string name;
        std::function<ui::CVelMDIChildForm*()> create;
        QPointer<ui::CVelMDIChildForm> open;
        // Set while its window is being made: a window that waits on the robot
        // while it opens runs the event loop, and a second press of the same
        // button then must not make a second window.
        bool creating = false;
    };
    std::vector<ToolKind> toolKinds_;
    std::vector<std::string> toolButtons_;  // the tool each button opens, by id
    std::unique_ptr<ToolContext> tools_;
    ui::CVelControl* videoColumn_ = nullptr;
    ui::CVelSplitter* videoSplitter_ = nullptr;
    // The cyclogram page, its tabs and the panel listing the robot's cyclograms.
    void BuildCyclogramPage(ui::CVelPanel* page);
    void DestroyCyclogramPage();
    CWaveList waves_;
    ui::CVelTabControl* workTabs_ = nullptr;
    cyclogram_gui::CCyclogramView* cyclogramView_ = nullptr;
    CCyclogramPanel* cyclogramPanel_ = nullptr;
    HookSubscription cyclogramState_;
    int videoColumnWidth_ = 0;
    std::unique_ptr<QObject> keyFilter_;
    // Phrases, command buttons, gestures: the controllers outlive their panels.
    std::unique_ptr<CPhrases> phrases_;
    std::unique_ptr<CCommandButtons> commandButtons_;
    std::unique_ptr<CGestures> gestures_;
    std::unique_ptr<CGestureRecorder> gestureRecorder_;
    CPhrasePanel* phrasePanel_ = nullptr;
    CCommandPanel* commandPanel_ = nullptr;
    CGesturePanel* gesturePanel_ = nullptr;
    HookSubscription recorderTick_;
    std::unique_ptr<QObject> hotKeyFilter_;
    // Session recording: the switch, its button and status pane.
    void ToggleRecording(bool on);
    void ShowRecording();
    CSessionRecording recording_{connection_};
    int64_t recordMaxBytes_ = 0;
    std::string recordedVersion_ = "velcora";
    std::string recordingText_;
};

}  // namespace velcora::gui
