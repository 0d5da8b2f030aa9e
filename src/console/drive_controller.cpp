#include "console/drive_controller.h"

namespace velcora {

CDriveController::CDriveController(IRobotLink& link, DriveControlOptions options,
                                   IDriveControlView* view)
    : link_(link), options_(options), view_(view) {}

void CDriveController::Tick(int32_t elapsedMs) {
    if (!link_.Authorised()) {
        return;
    }
    // Drive: a change goes out at once; a held non-zero value is repeated so the
    // robot knows the operator is still there; zero is said once.
    const DriveTriple triple = QuantiseDrive(driveX_, driveY_, driveZ_);
    if (!(triple == lastDrive_)) {
        SendDrive(link_, options_.standard, mode_, driveX_, driveY_, driveZ_);
        lastDrive_ = triple;
        driveCountdown_ = smooth_ ? kDriveRepeatSmoothMs : kDriveRepeatMs;
    } else if (driveCountdown_ > 0) {
        driveCountdown_ -= elapsedMs;
        if (driveCountdown_ <= 0 && !triple.IsZero()) {
            SendDrive(link_, options_.standard, mode_, driveX_, driveY_, driveZ_);
            driveCountdown_ = smooth_ ? kDriveRepeatSmoothMs : kDriveRepeatMs;
        }
    }

    if (options_.headJoystick) {
        bool ranOut = false;
        if (headCountdown_ > 0) {
            headCountdown_ -= elapsedMs;
            ranOut = headCountdown_ <= 0;
        }
        const bool changed = headX_ != lastHeadX_ || headY_ != lastHeadY_ || headZ_ != lastHeadZ_;
        if (changed || ranOut) {
            lastHeadX_ = headX_, lastHeadY_ = headY_, lastHeadZ_ = headZ_;
            if (options_.headDeltas == 0) {
                SendHeadAbsolute(link_, headX_, headY_, headZ_);
            } else {
                SendHeadRelative(link_, headX_, headY_);
                // A deflected joystick keeps turning the head: say it again soon.
                if (QuantiseHeadAxis(headX_) != 0 || QuantiseHeadAxis(headY_) != 0) {
                    headCountdown_ = kHeadRelativeRepeatMs;
                }
            }
        }
    } else {
        if (sliderCountdown_ >= 0) {
            sliderCountdown_ -= elapsedMs;
        }
        if (slider_ != lastSlider_ && sliderCountdown_ < 0) {
            SendHeadSlider(link_, options_.standard, slider_);
            lastSlider_ = slider_;
            sliderCountdown_ = kHeadSliderGapMs;
        }
    }
}

bool CDriveController::ButtonSpeed(Buttons& b, bool fixed, LiftButton button, ButtonEdge edge,
                                   int8_t speed, int8_t& out) {
    const int8_t signedSpeed = button == LiftButton::Raise ? speed : static_cast<int8_t>(-speed);
    bool& self = button == LiftButton::Raise ? b.raise : b.lower;
    bool& other = button == LiftButton::Raise ? b.lower : b.raise;
    if (!fixed) {
        self = edge == ButtonEdge::Press;
        out = self ? signedSpeed : 0;
        return true;
    }
    // Latched: a press toggles the button and releases the other one.
    if (edge != ButtonEdge::Press) {
        return false;
    }
    self = !self;
    if (self) {
        other = false;
    }
    out = self ? signedSpeed : 0;
    return true;
}

void CDriveController::LiftButtonEdge(LiftButton button, ButtonEdge edge) {
    int8_t speed = 0;
    if (!ButtonSpeed(lift_, options_.liftFixedMode, button, edge, options_.liftSpeed, speed)) {
        return;
    }
    if (view_) {
        view_->ShowLiftButtons(lift_.raise, lift_.lower);
    }
    SendLiftSpeed(link_, speed);
}

void CDriveController::TrayButtonEdge(LiftButton button, ButtonEdge edge) {
    int8_t speed = 0;
    if (!ButtonSpeed(tray_, options_.trayFixedMode, button, edge, options_.traySpeed, speed)) {
        return;
    }
    if (view_) {
        view_->ShowTrayButtons(tray_.raise, tray_.lower);
    }
    // Moving the tray by hand ends autobalance; the robot learns it from the tray
    // command itself, so nothing is sent for the check box.
    if (autobalance_) {
        autobalance_ = false;
        if (view_) {
            view_->ShowAutobalance(false);
        }
    }
    SendTraySpeed(link_, speed);
}

void CDriveController::SetAutobalance(bool on) {
    autobalance_ = on;
    SendAutobalance(link_, on);
}

void CDriveController::HeadHome() {
    // The controls go to zero first; the next tick reports that as a change.
    headX_ = headY_ = headZ_ = 0;
    slider_ = 0;
    SendHeadHome(link_);
}

bool CDriveController::Emotion(int emotion) {
    if (!link_.Authorised() || emotion < 0 || emotion >= kEmotionCount) {
        return false;
    }
    if (view_) {
        view_->ShowEmotion(emotion);
    }
    SendEmotion(link_, emotion);
    return true;
}

}  // namespace velcora
