// Turns the operator's current control values into control messages: only
// changes are sent, with the repeat rules that keep a held control alive on
// the robot without flooding the link. Driven by the main window's 20 ms tick
// (or by the command-line client), with the elapsed time as a parameter.
#pragma once

#include <cstdint>

#include "link/control_commands.h"
#include "link/robot_link.h"

namespace velcora {

struct DriveControlOptions {
    RobotStandard standard = RobotStandard::Vel;
    bool headJoystick = true;  // `headAxis` non-zero; otherwise the head slider
    int headDeltas = 0;        // 0: absolute head joystick; otherwise relative
    int8_t liftSpeed = 0;
    int8_t traySpeed = 0;
    bool liftFixedMode = true;
    bool trayFixedMode = false;
};

// Lift and tray buttons.
enum class LiftButton { Raise, Lower };
enum class ButtonEdge { Press, Release };

// Tells the window which buttons now stand pressed, so that a latched button
// shows its state, and that autobalance was cleared by a tray command.
class IDriveControlView {
  public:
    virtual ~IDriveControlView() = default;
    virtual void ShowLiftButtons(bool raiseDown, bool lowerDown) = 0;
    virtual void ShowTrayButtons(bool raiseDown, bool lowerDown) = 0;
    virtual void ShowAutobalance(bool on) = 0;
    virtual void ShowEmotion(int emotion) = 0;
};

class CDriveController {
  public:
    static constexpr int32_t kDriveRepeatMs = 250;
    static constexpr int32_t kDriveRepeatSmoothMs = 100;
    static constexpr int32_t kHeadRelativeRepeatMs = 60;
    static constexpr int32_t kHeadSliderGapMs = 122;

    CDriveController(IRobotLink& link, DriveControlOptions options,
                     IDriveControlView* view = nullptr);

    void SetOptions(const DriveControlOptions& options) { options_ = options; }
    const DriveControlOptions& Options() const { return options_; }

    // Current control values; they are sent from Tick.
    void SetDrive(float x, float y, float z) { driveX_ = x, driveY_ = y, driveZ_ = z; }
    void SetMoveMode(MoveMode mode) { mode_ = mode; }
    void SetSmoothRide(bool smooth) { smooth_ = smooth; }
    void SetHead(float x, float y, float z) { headX_ = x, headY_ = y, headZ_ = z; }
    void SetHeadSlider(int16_t value) { slider_ = value; }

    // Drive, head joystick and head slider sending; only while authorised.
    void Tick(int32_t elapsedMs);

    // Lift and tray buttons, momentary or latched by the options.
    void LiftButtonEdge(LiftButton button, ButtonEdge edge);
    void TrayButtonEdge(LiftButton button, ButtonEdge edge);
    // The autobalance check box; a tray command clears it without sending.
    void SetAutobalance(bool on);
    bool Autobalance() const { return autobalance_; }
    // Sets the head controls to zero and sends head home.
    void HeadHome();
    // Emotion buttons and keys act only while authorised. Returns whether sent.
    bool Emotion(int emotion);

  private:
    struct Buttons {
        bool raise = false;
        bool lower = false;
    };
    // Returns the speed to send, or nothing when the edge changes nothing.
    static bool ButtonSpeed(Buttons& b, bool fixed, LiftButton button, ButtonEdge edge,
                            int8_t speed, int8_t& out);

    IRobotLink& link_;
    DriveControlOptions options_;
    IDriveControlView* view_;

    float driveX_ = 0, driveY_ = 0, driveZ_ = 0;
    MoveMode mode_ = MoveMode::Move;
    bool smooth_ = false;
    DriveTriple lastDrive_;
    int32_t driveCountdown_ = 0;

    float headX_ = 0, headY_ = 0, headZ_ = 0;
    float lastHeadX_ = 0, lastHeadY_ = 0, lastHeadZ_ = 0;
    int32_t headCountdown_ = 0;
    int16_t slider_ = 0;
    int16_t lastSlider_ = 0;
    int32_t sliderCountdown_ = 0;

    Buttons lift_;
    Buttons tray_;
    bool autobalance_ = false;
};

}  // namespace velcora
