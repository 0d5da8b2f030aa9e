#include "media/microphone_switch.h"

namespace velcora::media {

bool CMicrophoneSwitch::PressButton() {
    buttonDown_ = recorder_.Open(code_, bitRate_);
    return buttonDown_;
}

bool CMicrophoneSwitch::ReleaseButton() {
    recorder_.Close();
    buttonDown_ = false;
    return buttonDown_;
}

bool CMicrophoneSwitch::ShiftDown(bool ctrlHeld) {
    if (ctrlHeld || shiftHeld_) {
        return buttonDown_;  // ignored, or the key repeating
    }
    shiftHeld_ = true;
    if (!buttonDown_) {
        buttonDown_ = recorder_.Open(code_, bitRate_);
    }
    return buttonDown_;
}

bool CMicrophoneSwitch::ShiftUp() {
    if (!shiftHeld_) {
        return buttonDown_;
    }
    shiftHeld_ = false;
    return ReleaseButton();
}

bool CMicrophoneSwitch::SetVoiceChanger(bool on) {
    if (!recorder_.SetVoiceChanger(on)) {
        buttonDown_ = false;
    }
    return buttonDown_;
}

}  // namespace velcora::media
