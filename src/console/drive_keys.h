// The main window's keyboard driving: W/A/S/D with the speed scale and the
// smooth ride ramp, the head keys, head home, movement modes and emotions.
// The window maps its key events to `ConsoleKey` and shows what this reports;
// the values it produces feed `CDriveController`.
#pragma once

#include <cstdint>
#include <optional>

#include "console/drive_controller.h"

namespace velcora {

enum class ConsoleKey {
    Forward,     // W
    Backward,    // S
    Left,        // A
    Right,       // D
    SmoothRide,  // F
    Slower,      // ,
    Faster,      // .
    HeadRight,   // E or L
    HeadLeft,    // J or Q
    HeadUp,      // I
    HeadDown,    // K
    HeadZPlus,   // O
    HeadZMinus,  // U
    HeadHome,    // M
    Mode0,       // 1
    Mode1,       // 2
    Mode2,       // 3
    Emotion0,    // 4
    Emotion1,    // 5
    Emotion2,    // 6
    Emotion3,    // 7
    Emotion4,    // 9
    Emotion5,    // 0
};

// Maps a key as typed (Latin letters in either case, digits, ',' and '.') to
// its command; nothing for other keys.
std::optional<ConsoleKey> ConsoleKeyFor(char32_t key);

// The head's kind and step come from the controller's options.
struct DriveKeyOptions {
    bool headHasZ = true;
    float smoothIncX = 0.5f;
    float smoothIncY = 0.5f;
};

class IDriveKeysView {
  public:
    virtual ~IDriveKeysView() = default;
    virtual void ShowDrive(float x, float y) = 0;  // the drive joystick's knob
    virtual void ShowSmoothRide(bool on) = 0;
    virtual void ShowMoveMode(MoveMode mode) = 0;
    virtual void ShowHead(float x, float y, float z) = 0;
    virtual void ShowHeadSlider(int16_t value) = 0;
};

class CDriveKeys {
  public:
    static constexpr float kInitialScale = 0.3f;
    static constexpr float kScaleStep = 0.15f;

    CDriveKeys(CDriveController& control, DriveKeyOptions options, IDriveKeysView* view = nullptr);

    void KeyDown(ConsoleKey key);
    void KeyUp(ConsoleKey key);
    // Smoothing and the idle decay of the speed scale, once per timer tick.
    void Tick();

    // The drive joystick moved by mouse: values take over directly.
    void SetDriveFromJoystick(float x, float y);
    void SetSmoothRide(bool on);
    void SetMoveMode(MoveMode mode);
    // The head was moved by other means (the mouse, the game controller's
    // hat): the head keys go on from there, and any key that sends keeps it
    // where it now stands. Nothing is sent or shown here.
    void SetHead(float x, float y, float z);
    void SetHeadSlider(int16_t value);

    float SpeedScale() const { return scale_; }
    float DriveX() const { return x_; }
    float DriveY() const { return y_; }
    bool SmoothRide() const { return smooth_; }
    float HeadX() const { return headX_; }
    float HeadY() const { return headY_; }
    float HeadZ() const { return headZ_; }
    int16_t HeadSlider() const { return slider_; }

  private:
    void Publish();
    void StepHead(float& axis, float delta);

    CDriveController& control_;
    DriveKeyOptions options_;
    IDriveKeysView* view_;
    float scale_ = kInitialScale;
    bool smooth_ = false;
    MoveMode mode_ = MoveMode::Move;
    float x_ = 0, y_ = 0;
    std::optional<float> targetX_, targetY_;
    float headX_ = 0, headY_ = 0, headZ_ = 0;
    int16_t slider_ = 0;
};

}  // namespace velcora
