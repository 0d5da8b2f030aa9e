#include "media/gui/sound_controls.h"

#include "media/gui/sound_settings_dialog.h"
#include "media/sound_settings.h"

namespace velcora::media {

namespace {

QString U(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

RecorderSettings RecorderSettingsFrom(const CSettings& s) {
    RecorderSettings r;
    r.device = s.audioInDevice;
    r.speechSpeed = s.speechSpeed;
    r.speechBlockCount = s.speechBlockCount;
    r.audioMinLevel = s.audioMinLevel;
    return r;
}

CSoundControls::CSoundControls(ui::CVelContainer* owner, uint32_t place, int w, int h,
                               IRobotLink& link, CAudioPlayer& player, CRecorder& recorder,
                               CSettings& settings, std::function<void()> save,
                               CLevelMeterInput* meter)
    : ui::CVelPanel(owner, place, w, h),
      link_(link),
      player_(player),
      recorder_(recorder),
      settings_(settings),
      save_(std::move(save)),
      meter_(meter),
      sound_(link, player),
      switch_(recorder),
      listDevices_(platform::CaptureDeviceNames),
      runDialog_([](SoundDirection direction, const std::vector<std::string>& devices,
                    SoundSettingsValues& values) {
          const auto chosen = CSoundSettingsDialog::Run(direction, devices, values);
          if (chosen) {
              values = *chosen;
          }
          return chosen.has_value();
      }) {
    SetMargin(2);
    robotSound_ =
        new ui::CVelSpdBtn(this, ui::kPlaceFlow, 210, 24, U(kRobotSoundText), kCmdRobotSound);
    robotSound_->SetLatching(true);
    robotSound_->SetHint(U(kRobotSoundText));
    FlowNewRow();
    microphone_ =
        new ui::CVelSpdBtn(this, ui::kPlaceFlow, 210, 24, U(kMicrophoneHint), kCmdMicrophone);
    microphone_->SetLatching(true);
    microphone_->SetHint(U(kMicrophoneHint) + QStringLiteral(" (Shift)"));
    level_ = new ui::CVelProgressBar(this, ui::kPlaceFlow, 60, 12, 0, 100);
    level_->SetPosition(0);
    FlowNewRow();
    voiceChanger_ =
        new ui::CVelSpdBtn(this, ui::kPlaceFlow, 210, 24, U(kVoiceChangerHint), kCmdVoiceChanger);
    voiceChanger_->SetLatching(true);
    voiceChanger_->SetHint(U(kVoiceChangerHint));

    // The dialog is not offered at all while the console is locked.
    if (SoundSettingsOffered(settings_.locked)) {
        menu_ = ui::CVelPopupMenu::Create();
        menu_->AddItem(kCmdSettings, U(kSoundMenuEntry));
        for (ui::CVelControl* c :
             {static_cast<ui::CVelControl*>(this), static_cast<ui::CVelControl*>(robotSound_),
              static_cast<ui::CVelControl*>(microphone_),
              static_cast<ui::CVelControl*>(voiceChanger_)}) {
            c->SetPopupMenu(menu_);
        }
    }
    ApplySettings();
}

CSoundControls::~CSoundControls() {
    sound_.SetEnabled(false);
    if (switch_.ButtonDown()) {
        switch_.ReleaseButton();
    }
    if (menu_) {
        menu_->Release();
    }
}

void CSoundControls::ApplySettings() {
    sound_.SetRequest(static_cast<uint8_t>(settings_.inAudioParamCode), settings_.inBitRate);
    switch_.SetFormat(static_cast<uint8_t>(settings_.outAudioParamCode), settings_.outBitRate);
    recorder_.SetSettings(RecorderSettingsFrom(settings_));
}

void CSoundControls::ShowMicrophone() {
    microphone_->SetDown(switch_.ButtonDown());
    if (!switch_.ButtonDown()) {
        level_->SetPosition(0);
    }
}

void CSoundControls::Tick(int32_t elapsedMs) {
    sound_.Tick(elapsedMs);
    player_.Tick(elapsedMs);
    recorder_.SendPending(link_);
    const int32_t level = meter_ && recorder_.IsOpen() ? meter_->Level() : 0;
    if (level_->Position() != level) {
        level_->SetPosition(level);
    }
}

bool CSoundControls::KeyDown(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat) {
    if (key != Qt::Key_Shift) {
        return false;
    }
    if (!autoRepeat) {
        switch_.ShiftDown((modifiers & Qt::ControlModifier) != 0);
        ShowMicrophone();
    }
    return true;
}

bool CSoundControls::KeyUp(int key, bool autoRepeat) {
    if (key != Qt::Key_Shift) {
        return false;
    }
    if (!autoRepeat) {
        switch_.ShiftUp();
        ShowMicrophone();
    }
    return true;
}

bool CSoundControls::OpenSoundSettings(SoundDirection direction) {
    if (!SoundSettingsOffered(settings_.locked) || !runDialog_) {
        return false;
    }
    const bool incoming = direction == SoundDirection::kIncoming;
    SoundSettingsValues current;
    current.device = settings_.audioInDevice;
    current.code =
        static_cast<uint8_t>(incoming ? settings_.inAudioParamCode : settings_.outAudioParamCode);
    current.bitRate = incoming ? settings_.inBitRate : settings_.outBitRate;
    SoundSettingsValues chosenValues = current;
    if (!runDialog_(direction, listDevices_ ? listDevices_() : std::vector<std::string>{},
                    chosenValues)) {
        return false;
    }
    const SoundSettingsValues* chosen = &chosenValues;
    settings_.audioInDevice = chosen->device;
    if (incoming) {
        settings_.inAudioParamCode = chosen->code;
        settings_.inBitRate = chosen->bitRate;
    } else {
        settings_.outAudioParamCode = chosen->code;
        settings_.outBitRate = chosen->bitRate;
    }
    ApplySettings();
    if (save_) {
        save_();
    }
    return true;
}

bool CSoundControls::HandleEvent(const ui::VelEvent& e) {
    if (e.kind != ui::VelEventKind::Command) {
        return ui::CVelPanel::HandleEvent(e);
    }
    switch (e.id) {
        case kCmdRobotSound:
            sound_.SetEnabled(robotSound_->Down());
            return true;
        case kCmdMicrophone:
            if (microphone_->Down()) {
                switch_.PressButton();
            } else {
                switch_.ReleaseButton();
            }
            // A recorder that does not open lets the button spring back.
            ShowMicrophone();
            return true;
        case kCmdVoiceChanger:
            switch_.SetVoiceChanger(voiceChanger_->Down());
            ShowMicrophone();
            return true;
        case kCmdSettings:
            // The robot's sound button asks about the incoming sound; the
            // microphone's buttons and the panel about the outgoing one.
            OpenSoundSettings(e.control == robotSound_ ? SoundDirection::kIncoming
                                                       : SoundDirection::kOutgoing);
            return true;
        default:
            return ui::CVelPanel::HandleEvent(e);
    }
}

}  // namespace velcora::media
