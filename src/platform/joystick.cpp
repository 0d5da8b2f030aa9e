#include "platform/joystick.h"

#include "platform/sdl_library.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velcora::platform {

namespace {
// SDL reports every axis over the full signed 16-bit range.
constexpr int32_t kAxisMin = -32768;
constexpr int32_t kAxisMax = 32767;

int32_t ReadAxis(SDL_Joystick* j, int axis) {
    return Sdl().SDL_JoystickGetAxis(j, axis);
}
}  // namespace

float JoystickAxis(int32_t pos, int32_t min, int32_t max) {
    if (max <= min) {
        return 0.0f;
    }
    const double v = static_cast<double>(pos - static_cast<int64_t>(min)) * 2.0 /
                         (static_cast<double>(max) - min) -
                     1.0;
    return static_cast<float>(v);
}

float JoystickAxisInverted(int32_t pos, int32_t min, int32_t max) {
    if (max <= min) {
        return 0.0f;
    }
    return -JoystickAxis(pos, min, max);
}

float JoystickDeadZone(float v) {
    if (!std::isfinite(v)) {
        return 0.0f;
    }
    return std::fabs(v) < Joystick::kDeadZone ? 0.0f : v;
}

int32_t JoystickHatHundredths(uint8_t sdlHat) {
    switch (sdlHat) {
        case SDL_HAT_UP:
            return 0;
        case SDL_HAT_RIGHTUP:
            return 4500;
        case SDL_HAT_RIGHT:
            return 9000;
        case SDL_HAT_RIGHTDOWN:
            return 13500;
        case SDL_HAT_DOWN:
            return 18000;
        case SDL_HAT_LEFTDOWN:
            return 22500;
        case SDL_HAT_LEFT:
            return 27000;
        case SDL_HAT_LEFTUP:
            return 31500;
        default:
            return kHatCentred;
    }
}

Joystick::Joystick() = default;

bool Joystick::Ready() {
    // Asked on first use rather than with the object, so that the library
    // and the subsystem can start while the window is being built.
    if (!started_) {
        started_ = true;
        ready_ = StartSdlJoysticks();
    }
    return ready_;
}

Joystick::~Joystick() {
    Release();
}

std::vector<std::string> Joystick::DeviceNames() {
    std::vector<std::string> names;
    if (!Ready()) {
        return names;
    }
    Sdl().SDL_JoystickUpdate();
    const int count = Sdl().SDL_NumJoysticks();
    for (int i = 0; i < count && i < kMaxListed; ++i) {
        const char* name = Sdl().SDL_JoystickNameForIndex(i);
        // A controller without a name is not offered; the list stops there so
        // that an entry's place stays its controller number.
        if (!name) {
            break;
        }
        names.emplace_back(name);
    }
    return names;
}

void Joystick::SetNumber(int number) {
    Release();
    guid_.clear();
    name_.clear();
    number_ = number < 0 ? -1 : number;
    due_ = kPollMs;
}

void Joystick::Release() {
    if (joystick_) {
        Sdl().SDL_JoystickClose(joystick_);
        joystick_ = nullptr;
    }
}

bool Joystick::TryOpen() {
    const int count = Sdl().SDL_NumJoysticks();
    int index = -1;
    if (!guid_.empty()) {
        for (int i = 0; i < count; ++i) {
            const SDL_JoystickGUID g = Sdl().SDL_JoystickGetDeviceGUID(i);
            const char* name = Sdl().SDL_JoystickNameForIndex(i);
            if (std::memcmp(g.data, guid_.data(), sizeof g.data) == 0 && name && name_ == name) {
                index = i;
                break;
            }
        }
    } else if (number_ < count) {
        index = number_;
    }
    if (index < 0) {
        return false;
    }
    joystick_ = Sdl().SDL_JoystickOpen(index);
    if (!joystick_) {
        return false;
    }
    const SDL_JoystickGUID g = Sdl().SDL_JoystickGetGUID(joystick_);
    guid_.assign(g.data, g.data + sizeof g.data);
    const char* name = Sdl().SDL_JoystickName(joystick_);
    name_ = name ? name : "";
    return true;
}

void Joystick::Tick(int32_t elapsedMs) {
    if (number_ < 0) {
        return;
    }
    due_ -= elapsedMs;
    if (due_ > 0) {
        return;
    }
    due_ += kPollMs;
    if (due_ <= 0) {
        due_ = kPollMs;
    }
    Poll();
}

bool Joystick::Poll() {
    changed_ = false;
    if (number_ < 0 || !Ready()) {
        return false;
    }
    Sdl().SDL_JoystickUpdate();
    if (joystick_ && !Sdl().SDL_JoystickGetAttached(joystick_)) {
        // Unplugged: stop reading and keep the last values.
        Release();
    }
    if (!joystick_ && !TryOpen()) {
        return false;
    }
    SDL_Joystick* j = joystick_;
    const int axes = Sdl().SDL_JoystickNumAxes(j);
    float x = axes > 0 ? JoystickAxis(ReadAxis(j, 0), kAxisMin, kAxisMax) : 0.0f;
    float y = axes > 1 ? JoystickAxisInverted(ReadAxis(j, 1), kAxisMin, kAxisMax) : 0.0f;
    // The turning axis: the right stick's sideways axis on a pad (its fourth
    // axis, after the left trigger), the twist of a three-axis stick.
    const int turn = axes >= 4 ? 3 : (axes == 3 ? 2 : -1);
    float r = turn >= 0 ? JoystickAxis(ReadAxis(j, turn), kAxisMin, kAxisMax) : 0.0f;
    x = JoystickDeadZone(x);
    y = JoystickDeadZone(y);
    r = rotation_ ? JoystickDeadZone(r) : 0.0f;
    changed_ = x != x_ || y != y_ || r != r_;
    x_ = x;
    y_ = y;
    r_ = r;

    const int count = std::min(Sdl().SDL_JoystickNumButtons(j), 32);
    uint32_t mask = 0;
    for (int i = 0; i < count; ++i) {
        if (Sdl().SDL_JoystickGetButton(j, i)) {
            mask |= 1u << i;
        }
    }
    const uint32_t before = buttons_;
    buttons_ = mask;
    for (int i = 0; i < count; ++i) {
        const bool now = (mask >> i) & 1u;
        const bool was = (before >> i) & 1u;
        if (now != was && listener_) {
            listener_->OnJoystickButton(i, now);
        }
    }
    const int32_t hat = Sdl().SDL_JoystickNumHats(j) > 0
                            ? JoystickHatHundredths(Sdl().SDL_JoystickGetHat(j, 0))
                            : kHatCentred;
    if (hat != hat_) {
        hat_ = hat;
        if (listener_) {
            listener_->OnJoystickHat(hat);
        }
    }
    if (listener_) {
        listener_->OnJoystickPolled(x_, y_, r_);
    }
    return true;
}

}  // namespace velcora::platform
