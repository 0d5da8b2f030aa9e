// The microphone button, push-to-talk on Shift and the voice-changer button,
// as the main window drives them: which state the button shows and when the
// recorder opens and closes.
#pragma once

#include <cstdint>
#include <string_view>

#include "media/recorder.h"

namespace velcora::media {

inline constexpr std::string_view kMicrophoneHint = "Включить локальный микрофон";
inline constexpr std::string_view kVoiceChangerHint = "Искажение голоса";

class CMicrophoneSwitch {
  public:
    explicit CMicrophoneSwitch(CRecorder& recorder) : recorder_(recorder) {}

    // `outAudioParamCode` and `outBitRate` of the settings.
    void SetFormat(uint8_t code, int32_t bitRate) {
        code_ = code;
        bitRate_ = bitRate;
    }

    // Each returns whether the microphone button is to be shown pressed: a
    // recorder that does not open lets the button spring back.
    bool PressButton();
    bool ReleaseButton();
    // Shift opens the microphone while the button is up; the window ignores
    // keys while Ctrl is held. Releasing Shift always switches it off.
    bool ShiftDown(bool ctrlHeld);
    bool ShiftUp();
    // Closes an open recorder, stores the flag and reopens it.
    bool SetVoiceChanger(bool on);

    bool ButtonDown() const { return buttonDown_; }

  private:
    CRecorder& recorder_;
    uint8_t code_ = 0;
    int32_t bitRate_ = 64000;
    bool buttonDown_ = false;
    bool shiftHeld_ = false;
};

}  // namespace velcora::media
