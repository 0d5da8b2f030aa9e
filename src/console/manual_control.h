// Manual motor control: the service window's motor list and slider, the
// calibration commands, and the servo range read of the tracker dialog. The
// windows are thin views over these.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cyclogram/cyclogram.h"
#include "link/robot_link.h"
#include "link/settings.h"

namespace velcora {

inline constexpr int kManualSliderMin = -120;
inline constexpr int kManualSliderMax = 120;
inline constexpr int kManualSliderStep = 5;
// Motor numbers of the groups.
inline constexpr int kLiftMotor = 10;
inline constexpr int kTrayMotor = 11;
inline constexpr int kFirstHeadMotor = 12;
inline constexpr int kFirstLeftArmMotor = 40;
inline constexpr int kFirstRightArmMotor = 60;
// Group sizes that keep the numbers apart and within a byte.
inline constexpr int kMaxWheels = 9;
inline constexpr int kMaxHeadMotors = 28;
inline constexpr int kMaxArmLinks = 20;

struct MotorEntry {
    std::string caption;  // UTF-8
    int motor = 0;
    bool operator==(const MotorEntry&) const = default;
};

// The motors the service window lists, in order: wheels, left arm, right
// arm, lift, tray, head.
std::vector<MotorEntry> MotorEntries(const CSettings& settings);

// A slider value as sent: truncated toward zero to a signed byte.
int8_t SliderByte(double value);

struct ManualEnabling {
    bool list = false;       // the motor list
    bool slider = false;     // needs a motor
    bool calibrate = false;  // needs a motor
    bool cancel = false;
    bool record = false;  // "Записать жест"
};

class CManualControl {
  public:
    explicit CManualControl(IRobotLink& link);

    // Picks a motor (0: none). A motor left running is stopped first.
    void Select(int motor);
    int Selected() const { return motor_; }
    int Slider() const { return slider_; }

    // The slider moved (drag, click, typing): sends 0x5155 first for wheels
    // 1..3, then 0x51A5. Returns the value now shown.
    int SetSlider(double value);
    // Double click: back to 0, sent.
    void ResetSlider();
    // Left or Right arrow: the first press towards the other side stops the
    // motor (0, sent) and is taken; otherwise the slider handles it.
    bool ArrowKey(bool left);

    void Calibrate();
    void CancelCalibration();
    // The window closes: a running motor is stopped.
    void Close();

    // Controls that send need the connection; slider and calibration a motor.
    ManualEnabling Enabling() const;

  private:
    void Send();

    IRobotLink& link_;
    int motor_ = 0;
    int slider_ = 0;
};

// The servo's raw limits as it reports them.
struct ServoRange {
    int32_t motor = 0;
    int32_t left = 0;
    int32_t right = 0;
    int32_t defaultRaw = 0;
};

enum class ServoReadOutcome { Read, Failed, TimedOut };

inline constexpr int32_t kServoReadTimeoutMs = 3000;

// "Считать с сервы": sends 0x61AB with a motor and waits, as a pending state
// checked by Tick, for the 0x61AC reply for that motor. Replies for other
// motors, replies under 16 bytes and replies while nothing waits are ignored.
class CServoReader {
  public:
    using Done = std::function<void(ServoReadOutcome outcome, const ServoRange& range)>;

    CServoReader(IRobotLink& link, Done done);
    CServoReader(const CServoReader&) = delete;
    CServoReader& operator=(const CServoReader&) = delete;

    // False (nothing sent) while a read is pending.
    bool Start(int32_t motor, uint32_t now);
    bool Pending() const { return pending_; }
    int32_t PendingMotor() const { return motor_; }
    void Tick(uint32_t now);
    // Drops a pending read without an outcome.
    void Cancel() { pending_ = false; }

  private:
    void OnReply(CStream& payload, int32_t length);

    IRobotLink& link_;
    Done done_;
    CMessageDispatcher::Registration reply_;
    bool pending_ = false;
    int32_t motor_ = 0;
    uint32_t started_ = 0;
};

// The exact value of a tracker's point, in the three views the dialog keeps
// consistent: the fraction f in 0..1 (slider and "Значение:"), and the raw
// value L + (R - L) * f ("RAW:"). Every change goes to the point at once.
class CTrackValue {
  public:
    // `setPosition` stores a new position (the environment view sends it on);
    // without one the tracker's position is written directly.
    CTrackValue(EnvTracker& tracker, std::function<void(float)> setPosition = nullptr);

    float Fraction() const { return fraction_; }
    int32_t Raw() const { return RawOfPosition(tracker_, fraction_); }

    // Clamped to 0..1; NaN is ignored.
    void SetFraction(double f);
    // f = (raw - L) / (R - L), clamped; a tracker with L = R stays at 0.
    void SetRaw(int64_t raw);
    // Typed texts (a decimal comma is taken); false leaves the value.
    bool SetFractionText(std::string_view text);
    bool SetRawText(std::string_view text);

  private:
    void Store(float f);

    EnvTracker& tracker_;
    std::function<void(float)> setPosition_;
    float fraction_;
};

}  // namespace velcora
