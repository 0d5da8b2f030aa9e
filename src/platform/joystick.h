// A game controller read through SDL: the chosen controller is polled every
// 50 ms, its stick becomes three axis values in -1..1 with a dead zone, and
// its buttons and hat switch are reported as they change. A controller that
// goes away keeps its last values; when it comes back it is taken up again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct _SDL_Joystick;

namespace velcora::platform {

// Hat positions in hundredths of a degree, clockwise from straight ahead.
inline constexpr int32_t kHatCentred = 65535;

// One axis reading mapped onto -1..1 across the axis's range.
float JoystickAxis(int32_t pos, int32_t min, int32_t max);
// The same, upside down: the controller's forward is its smallest value.
float JoystickAxisInverted(int32_t pos, int32_t min, int32_t max);
// Values closer to the middle than the dead zone read as 0.
float JoystickDeadZone(float v);
// SDL's hat bits as hundredths of a degree (kHatCentred when centred).
int32_t JoystickHatHundredths(uint8_t sdlHat);

// What the owner of the controller hears, on the thread that polls.
class IJoystickListener {
  public:
    virtual ~IJoystickListener() = default;
    // A button (0-based) went down or up.
    virtual void OnJoystickButton(int index, bool down) = 0;
    // The hat moved: hundredths of a degree, kHatCentred when let go.
    virtual void OnJoystickHat(int32_t hundredths) = 0;
    // After every poll that could read the controller.
    virtual void OnJoystickPolled(float x, float y, float r) = 0;
};

class Joystick {
  public:
    static constexpr int32_t kPollMs = 50;
    static constexpr float kDeadZone = 0.1f;
    // Controllers beyond this many are not offered.
    static constexpr int kMaxListed = 10;

    Joystick();
    ~Joystick();
    Joystick(const Joystick&) = delete;
    Joystick& operator=(const Joystick&) = delete;

    // The controllers present now by name, index = controller number.
    std::vector<std::string> DeviceNames();

    void SetListener(IJoystickListener* listener) { listener_ = listener; }
    // Without rotation the third axis always reads 0.
    void SetRotation(bool enabled) { rotation_ = enabled; }
    // -1: none. Any earlier controller is let go; the new one is opened at the
    // next poll (or as soon as it is plugged in).
    void SetNumber(int number);
    int Number() const { return number_; }

    // The owner's timer: polls every kPollMs while a controller is chosen.
    void Tick(int32_t elapsedMs);
    // One poll now. False when no controller could be read (the last values
    // stay as they were).
    bool Poll();

    bool Attached() const { return joystick_ != nullptr; }
    float X() const { return x_; }
    float Y() const { return y_; }
    float R() const { return r_; }
    uint32_t Buttons() const { return buttons_; }
    int32_t Hat() const { return hat_; }
    // True when the last poll changed any axis value (the view repaints).
    bool Changed() const { return changed_; }

  private:
    void Release();
    bool TryOpen();

    // Starts the SDL joystick subsystem the first time it is needed.
    bool Ready();

    bool started_ = false;  // Ready() has tried
    bool ready_ = false;    // the SDL joystick subsystem is up
    IJoystickListener* listener_ = nullptr;
    bool rotation_ = true;
    int number_ = -1;
    int32_t due_ = kPollMs;
    _SDL_Joystick* joystick_ = nullptr;
    // Identity of the controller once opened, so that the same one is taken
    // up again after it was unplugged, whatever number it then has.
    std::vector<uint8_t> guid_;
    std::string name_;
    float x_ = 0, y_ = 0, r_ = 0;
    bool changed_ = false;
    uint32_t buttons_ = 0;
    int32_t hat_ = kHatCentred;
};

}  // namespace velcora::platform
