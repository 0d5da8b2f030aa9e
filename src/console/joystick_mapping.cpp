#include "console/joystick_mapping.h"

#include <algorithm>

#include "link/control_commands.h"

namespace velcora {

namespace {
int8_t ClampSpeed(int v) {
    return static_cast<int8_t>(std::clamp(v, -127, 127));
}
}  // namespace

JoystickMappingOptions JoystickMappingFromSettings(const CSettings& s) {
    JoystickMappingOptions o;
    for (int i = 0; i < 3; ++i) {
        o.wheelModeBtn[i] = s.wheelModeBtn[i];
    }
    o.liftUpBtn = s.liftUpBtn;
    o.liftDownBtn = s.liftDownBtn;
    o.trayUpBtn = s.trayUpBtn;
    o.trayDownBtn = s.trayDownBtn;
    o.lift = s.lift;
    o.tray = s.tray;
    o.liftSpeed = ClampSpeed(s.liftSpeed);
    o.traySpeed = ClampSpeed(s.traySpeed);
    o.headDeltas = s.headDeltas == 1 ? 32 : s.headDeltas;
    o.headSlider = s.headAxis == 0;
    return o;
}

CJoystickMapping::CJoystickMapping(IRobotLink& link, CDriveController& control, CDriveKeys& keys,
                                   JoystickMappingOptions options, IJoystickMappingView* view)
    : link_(link), control_(control), keys_(keys), options_(options), view_(view) {}

void CJoystickMapping::SyncHead(float x, float y, float z) {
    headX_ = x;
    headY_ = y;
    headZ_ = z;
}

void CJoystickMapping::OnJoystickButton(int index, bool down) {
    // Settings number the buttons from 1, the controller from 0; 0 in the
    // settings is no button and matches nothing.
    auto is = [index](int configured) { return configured > 0 && configured - 1 == index; };
    if (down) {
        static constexpr MoveMode kModes[3] = {MoveMode::Move, MoveMode::Turn, MoveMode::Strafe};
        for (int m = 0; m < 3; ++m) {
            if (is(options_.wheelModeBtn[m]) || index == m) {
                keys_.SetMoveMode(kModes[m]);
                break;
            }
        }
    }
    if (options_.lift && (is(options_.liftUpBtn) || is(options_.liftDownBtn))) {
        const int8_t speed =
            is(options_.liftUpBtn) ? options_.liftSpeed : static_cast<int8_t>(-options_.liftSpeed);
        SendLiftSpeed(link_, down ? speed : 0);
    }
    if (options_.tray && (is(options_.trayUpBtn) || is(options_.trayDownBtn))) {
        const int8_t speed =
            is(options_.trayUpBtn) ? options_.traySpeed : static_cast<int8_t>(-options_.traySpeed);
        SendTraySpeed(link_, down ? speed : 0);
    }
}

void CJoystickMapping::OnJoystickHat(int32_t hat) {
    if (options_.headSlider) {
        int v = slider_;
        if (hat == 27000) {
            v -= kSliderStep;
        } else if (hat == 9000) {
            v += kSliderStep;
        } else if (hat == 0) {
            v = 0;
        } else {
            return;
        }
        slider_ = static_cast<int16_t>(std::clamp(v, -32767, 32767));
        control_.SetHeadSlider(slider_);
        if (view_) {
            view_->ShowHeadSlider(slider_);
        }
        return;
    }
    const int p = options_.headDeltas;
    if (p > 0) {
        const float step = static_cast<float>(p) / 100.0f;
        switch (hat) {
            case 0:
                headX_ = 0, headY_ = step;
                break;
            case 9000:
                headX_ = step, headY_ = 0;
                break;
            case 18000:
                headX_ = 0, headY_ = -step;
                break;
            case 27000:
                headX_ = -step, headY_ = 0;
                break;
            case platform::kHatCentred:
                headX_ = 0, headY_ = 0;
                break;
            default:  // diagonals
                return;
        }
    } else {
        auto step = [](float& axis, float delta) { axis = std::clamp(axis + delta, -1.0f, 1.0f); };
        switch (hat) {
            case 0:
                step(headY_, kFineHeadStep);
                break;
            case 9000:
                step(headX_, kFineHeadStep);
                break;
            case 18000:
                step(headY_, -kFineHeadStep);
                break;
            case 27000:
                step(headX_, -kFineHeadStep);
                break;
            default:  // centred and diagonals
                return;
        }
    }
    ApplyHead();
}

void CJoystickMapping::ApplyHead() {
    control_.SetHead(headX_, headY_, headZ_);
    if (view_) {
        view_->ShowHead(headX_, headY_);
    }
}

void CJoystickMapping::OnJoystickPolled(float x, float y, float r) {
    if (x == stickX_ && y == stickY_ && r == stickR_) {
        return;
    }
    stickX_ = x;
    stickY_ = y;
    stickR_ = r;
    keys_.SetDriveFromJoystick(x, y);
    control_.SetDrive(keys_.DriveX(), keys_.DriveY(), r);
    if (view_) {
        view_->ShowStick(x, y, r);
    }
}

}  // namespace velcora
