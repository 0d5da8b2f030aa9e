#include "console/drive_keys.h"

#include <algorithm>
#include <cmath>

namespace velcora {

std::optional<ConsoleKey> ConsoleKeyFor(char32_t key) {
    if (key >= U'a' && key <= U'z') {
        key = key - U'a' + U'A';
    }
    switch (key) {
        case U'W':
            return ConsoleKey::Forward;
        case U'S':
            return ConsoleKey::Backward;
        case U'A':
            return ConsoleKey::Left;
        case U'D':
            return ConsoleKey::Right;
        case U'F':
            return ConsoleKey::SmoothRide;
        case U',':
            return ConsoleKey::Slower;
        case U'.':
            return ConsoleKey::Faster;
        case U'E':
        case U'L':
            return ConsoleKey::HeadRight;
        case U'J':
        case U'Q':
            return ConsoleKey::HeadLeft;
        case U'I':
            return ConsoleKey::HeadUp;
        case U'K':
            return ConsoleKey::HeadDown;
        case U'O':
            return ConsoleKey::HeadZPlus;
        case U'U':
            return ConsoleKey::HeadZMinus;
        case U'M':
            return ConsoleKey::HeadHome;
        case U'1':
            return ConsoleKey::Mode0;
        case U'2':
            return ConsoleKey::Mode1;
        case U'3':
            return ConsoleKey::Mode2;
        case U'4':
            return ConsoleKey::Emotion0;
        case U'5':
            return ConsoleKey::Emotion1;
        case U'6':
            return ConsoleKey::Emotion2;
        case U'7':
            return ConsoleKey::Emotion3;
        case U'9':
            return ConsoleKey::Emotion4;
        case U'0':
            return ConsoleKey::Emotion5;
        default:
            return std::nullopt;
    }
}

CDriveKeys::CDriveKeys(CDriveController& control, DriveKeyOptions options, IDriveKeysView* view)
    : control_(control), options_(options), view_(view) {}

void CDriveKeys::Publish() {
    control_.SetDrive(x_, y_, 0.0f);
    control_.SetHead(headX_, headY_, headZ_);
    control_.SetHeadSlider(slider_);
    if (view_) {
        view_->ShowDrive(x_, y_);
    }
}

void CDriveKeys::StepHead(float& axis, float delta) {
    axis = std::clamp(axis + delta, -1.0f, 1.0f);
}

void CDriveKeys::KeyDown(ConsoleKey key) {
    const float deltas = static_cast<float>(control_.Options().headDeltas);
    auto drive = [&](std::optional<float>& target, float& value, float v) {
        target = v;
        if (!smooth_) {
            value = v;
        }
    };
    auto head = [&](float& axis, float sign, float divisor) {
        if (control_.Options().headDeltas != 0) {
            axis = sign * deltas / divisor;
        } else {
            StepHead(axis, sign * 0.1f);
        }
    };
    switch (key) {
        case ConsoleKey::Forward:
            drive(targetY_, y_, scale_);
            break;
        case ConsoleKey::Backward:
            drive(targetY_, y_, -scale_);
            break;
        case ConsoleKey::Left:
            drive(targetX_, x_, -scale_);
            break;
        case ConsoleKey::Right:
            drive(targetX_, x_, scale_);
            break;
        case ConsoleKey::SmoothRide:
            SetSmoothRide(!smooth_);
            break;
        case ConsoleKey::Slower:
            scale_ = std::max(kScaleStep, scale_ - kScaleStep);
            break;
        case ConsoleKey::Faster:
            scale_ = std::min(1.0f, scale_ + kScaleStep);
            break;
        case ConsoleKey::HeadRight:
        case ConsoleKey::HeadLeft: {
            const float sign = key == ConsoleKey::HeadRight ? 1.0f : -1.0f;
            if (control_.Options().headJoystick) {
                head(headX_, sign, 100.0f);
            } else {
                slider_ = static_cast<int16_t>(
                    std::clamp(slider_ + static_cast<int>(sign) * 2048, -32767, 32767));
            }
            break;
        }
        case ConsoleKey::HeadUp:
        case ConsoleKey::HeadDown: {
            const float sign = key == ConsoleKey::HeadUp ? 1.0f : -1.0f;
            if (control_.Options().headJoystick) {
                head(headY_, sign, 100.0f);
            } else {
                slider_ = static_cast<int16_t>(
                    std::clamp(slider_ + static_cast<int>(sign) * 2048, -32767, 32767));
            }
            break;
        }
        case ConsoleKey::HeadZPlus:
        case ConsoleKey::HeadZMinus:
            if (control_.Options().headJoystick && options_.headHasZ) {
                head(headZ_, key == ConsoleKey::HeadZPlus ? 1.0f : -1.0f, 300.0f);
            }
            break;
        case ConsoleKey::HeadHome:
            headX_ = headY_ = headZ_ = 0;
            slider_ = 0;
            control_.HeadHome();
            break;
        case ConsoleKey::Mode0:
            SetMoveMode(MoveMode::Move);
            return;
        case ConsoleKey::Mode1:
            SetMoveMode(MoveMode::Turn);
            return;
        case ConsoleKey::Mode2:
            SetMoveMode(MoveMode::Strafe);
            return;
        case ConsoleKey::Emotion0:
            control_.Emotion(0);
            return;
        case ConsoleKey::Emotion1:
            control_.Emotion(1);
            return;
        case ConsoleKey::Emotion2:
            control_.Emotion(2);
            return;
        case ConsoleKey::Emotion3:
            control_.Emotion(3);
            return;
        case ConsoleKey::Emotion4:
            control_.Emotion(4);
            return;
        case ConsoleKey::Emotion5:
            control_.Emotion(5);
            return;
    }
    if (view_) {
        view_->ShowHead(headX_, headY_, headZ_);
        view_->ShowHeadSlider(slider_);
    }
    Publish();
}

void CDriveKeys::KeyUp(ConsoleKey key) {
    switch (key) {
        case ConsoleKey::Forward:
        case ConsoleKey::Backward:
            targetY_.reset();
            if (!smooth_) {
                y_ = 0;
            }
            break;
        case ConsoleKey::Left:
        case ConsoleKey::Right:
            targetX_.reset();
            if (!smooth_) {
                x_ = 0;
            }
            break;
        // A relative head command keeps the head turning while it repeats; the
        // key's release has to end it, or the head would never stop.
        case ConsoleKey::HeadRight:
        case ConsoleKey::HeadLeft:
            if (control_.Options().headJoystick && control_.Options().headDeltas != 0)
                headX_ = 0;
            break;
        case ConsoleKey::HeadUp:
        case ConsoleKey::HeadDown:
            if (control_.Options().headJoystick && control_.Options().headDeltas != 0)
                headY_ = 0;
            break;
        case ConsoleKey::HeadZPlus:
        case ConsoleKey::HeadZMinus:
            if (control_.Options().headJoystick && control_.Options().headDeltas != 0)
                headZ_ = 0;
            break;
        default:
            return;
    }
    if (view_) {
        view_->ShowHead(headX_, headY_, headZ_);
    }
    Publish();
}

void CDriveKeys::Tick() {
    if (smooth_) {
        // Each value moves toward its target (or back to rest without one).
        auto ramp = [](float& value, float target, float inc) {
            const float step = 0.02f * inc;
            if (value < target) {
                value = std::min(target, value + step);
            } else if (value > target) {
                value = std::max(target, value - step);
            }
        };
        const float incX = mode_ == MoveMode::Strafe ? options_.smoothIncY : options_.smoothIncX;
        const float oldX = x_, oldY = y_;
        ramp(y_, targetY_.value_or(0.0f), options_.smoothIncY);
        ramp(x_, targetX_.value_or(0.0f), incX);
        if (x_ != oldX || y_ != oldY) {
            Publish();
        }
    }
    if (x_ == 0 && y_ == 0 && scale_ > 0.4f) {
        scale_ -= 0.001f;
    }
}

void CDriveKeys::SetDriveFromJoystick(float x, float y) {
    x_ = std::clamp(x, -1.0f, 1.0f);
    y_ = std::clamp(y, -1.0f, 1.0f);
    if (smooth_) {
        targetX_ = x_;
        targetY_ = y_;
    }
    control_.SetDrive(x_, y_, 0.0f);
}

void CDriveKeys::SetHead(float x, float y, float z) {
    headX_ = std::clamp(x, -1.0f, 1.0f);
    headY_ = std::clamp(y, -1.0f, 1.0f);
    headZ_ = std::clamp(z, -1.0f, 1.0f);
}

void CDriveKeys::SetHeadSlider(int16_t value) {
    slider_ = static_cast<int16_t>(std::clamp<int>(value, -32767, 32767));
}

void CDriveKeys::SetSmoothRide(bool on) {
    if (on && !smooth_) {
        targetX_ = x_;
        targetY_ = y_;
    }
    smooth_ = on;
    control_.SetSmoothRide(on);
    if (view_) {
        view_->ShowSmoothRide(on);
    }
}

void CDriveKeys::SetMoveMode(MoveMode mode) {
    mode_ = mode;
    control_.SetMoveMode(mode);
    if (view_) {
        view_->ShowMoveMode(mode);
    }
}

}  // namespace velcora
