// What the game controller does in the main window: its buttons choose the
// movement mode and run the lift and the tray, its hat moves the head, and its
// stick drives the chassis. The controller itself is read by
// platform::Joystick, which reports here as its listener.
#pragma once

#include <cstdint>

#include "console/drive_controller.h"
#include "console/drive_keys.h"
#include "link/robot_link.h"
#include "link/settings.h"
#include "platform/joystick.h"

namespace velcora {

// Sections JOYSTICK and CONTROLS as far as the controller uses them.
struct JoystickMappingOptions {
    int wheelModeBtn[3] = {0, 0, 0};  // controller buttons from 1; 0 none
    int liftUpBtn = 0, liftDownBtn = 0, trayUpBtn = 0, trayDownBtn = 0;
    bool lift = false;  // the robot has a lift
    bool tray = false;  // the robot has a tray
    int8_t liftSpeed = 0;
    int8_t traySpeed = 0;
    // Head step of the hat in percent; 0 moves the head in fine steps.
    int headDeltas = 0;
    // The window shows a head slider instead of a head joystick.
    bool headSlider = false;
};

JoystickMappingOptions JoystickMappingFromSettings(const CSettings& settings);

// Lets the window show what the controller changed (the movement mode is
// shown through the keyboard driving's own view).
class IJoystickMappingView {
  public:
    virtual ~IJoystickMappingView() = default;
    // The chassis joystick mirrors the controller's stick.
    virtual void ShowStick(float x, float y, float r) = 0;
    virtual void ShowHead(float x, float y) = 0;
    virtual void ShowHeadSlider(int16_t value) = 0;
};

class CJoystickMapping : public platform::IJoystickListener {
  public:
    // The fine hat step when no head step is set.
    static constexpr float kFineHeadStep = 0.05f;
    // The head slider moves this far per hat push.
    static constexpr int kSliderStep = 4000;

    CJoystickMapping(IRobotLink& link, CDriveController& control, CDriveKeys& keys,
                     JoystickMappingOptions options, IJoystickMappingView* view = nullptr);

    void SetOptions(const JoystickMappingOptions& options) { options_ = options; }
    const JoystickMappingOptions& Options() const { return options_; }

    // The operator moved the head by other means; the hat goes on from there.
    void SyncHead(float x, float y, float z);
    void SyncHeadSlider(int16_t value) { slider_ = value; }

    void OnJoystickButton(int index, bool down) override;
    void OnJoystickHat(int32_t hundredths) override;
    void OnJoystickPolled(float x, float y, float r) override;

    float HeadX() const { return headX_; }
    float HeadY() const { return headY_; }
    int16_t HeadSlider() const { return slider_; }

  private:
    void ApplyHead();

    IRobotLink& link_;
    CDriveController& control_;
    CDriveKeys& keys_;
    JoystickMappingOptions options_;
    IJoystickMappingView* view_;
    float headX_ = 0, headY_ = 0, headZ_ = 0;
    int16_t slider_ = 0;
    // The stick as last applied; a resting controller leaves the keyboard be.
    float stickX_ = 0, stickY_ = 0, stickR_ = 0;
};

}  // namespace velcora
