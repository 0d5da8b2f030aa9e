#include "console/manual_control.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "link/control_commands.h"

namespace velcora {

namespace {

std::string Numbered(const char* before, int n, const char* after = "") {
    return before + std::to_string(n) + after;
}

}  // namespace

std::vector<MotorEntry> MotorEntries(const CSettings& s) {
    std::vector<MotorEntry> entries;
    const int wheels = std::clamp(s.wheelCalib, 0, kMaxWheels);
    const int arms = std::clamp(s.armCalib, 0, kMaxArmLinks);
    const int heads = std::clamp(s.headCalib, 0, kMaxHeadMotors);
    for (int i = 1; i <= wheels; ++i)
        entries.push_back({Numbered("Колесо ", i), i});
    for (int i = 1; i <= arms; ++i)
        entries.push_back({Numbered("Звено ", i, " левой руки"), kFirstLeftArmMotor - 1 + i});
    for (int i = 1; i <= arms; ++i)
        entries.push_back({Numbered("Звено ", i, " правой руки"), kFirstRightArmMotor - 1 + i});
    if (s.liftCalib)
        entries.push_back({"Подъемик", kLiftMotor});
    if (s.trayCalib)
        entries.push_back({"Поднос", kTrayMotor});
    for (int i = 1; i <= heads; ++i)
        entries.push_back({Numbered("Голова ", i), kFirstHeadMotor - 1 + i});
    return entries;
}

int8_t SliderByte(double value) {
    if (!std::isfinite(value))
        return 0;
    return static_cast<int8_t>(std::trunc(std::clamp(value, -128.0, 127.0)));
}

CManualControl::CManualControl(IRobotLink& link) : link_(link) {}

void CManualControl::Send() {
    if (motor_ <= 0 || motor_ > 255 || !link_.Authorised())
        return;
    const int8_t v = static_cast<int8_t>(slider_);
    if (motor_ >= 1 && motor_ <= 3) {
        int8_t wheels[3] = {0, 0, 0};
        wheels[motor_ - 1] = v;
        SendWheelMotors(link_, wheels[0], wheels[1], wheels[2]);
    }
    SendMotorValue(link_, static_cast<uint8_t>(motor_), v);
}

void CManualControl::Select(int motor) {
    if (motor == motor_)
        return;
    // A motor keeps turning at its last value; stop it before letting go.
    if (slider_ != 0) {
        slider_ = 0;
        Send();
    }
    motor_ = std::clamp(motor, 0, 255);
    slider_ = 0;
}

int CManualControl::SetSlider(double value) {
    slider_ = std::clamp<int>(SliderByte(value), kManualSliderMin, kManualSliderMax);
    Send();
    return slider_;
}

void CManualControl::ResetSlider() {
    slider_ = 0;
    Send();
}

bool CManualControl::ArrowKey(bool left) {
    if ((left && slider_ > 0) || (!left && slider_ < 0)) {
        ResetSlider();
        return true;
    }
    return false;
}

void CManualControl::Calibrate() {
    if (motor_ > 0 && link_.Authorised())
        SendMotorCalibration(link_, static_cast<uint8_t>(motor_));
}

void CManualControl::CancelCalibration() {
    if (link_.Authorised())
        SendMotorCalibration(link_, 0);
}

void CManualControl::Close() {
    if (slider_ != 0) {
        slider_ = 0;
        Send();
    }
    motor_ = 0;
}

ManualEnabling CManualControl::Enabling() const {
    ManualEnabling e;
    const bool connected = link_.Authorised();
    e.list = true;
    e.slider = connected && motor_ > 0;
    e.calibrate = connected && motor_ > 0;
    e.cancel = connected;
    e.record = connected;
    return e;
}

// ------------------------------------------------------------- servo reader

CServoReader::CServoReader(IRobotLink& link, Done done) : link_(link), done_(std::move(done)) {
    reply_ = link_.Dispatcher().Register(msg::kServoRangeReply,
                                         [this](CStream& s, int32_t n) { OnReply(s, n); });
}

bool CServoReader::Start(int32_t motor, uint32_t now) {
    if (pending_)
        return false;
    pending_ = true;
    motor_ = motor;
    started_ = now;
    SendServoRangeRequest(link_, motor);
    return true;
}

void CServoReader::Tick(uint32_t now) {
    if (!pending_ || now - started_ < static_cast<uint32_t>(kServoReadTimeoutMs))
        return;
    pending_ = false;
    if (done_)
        done_(ServoReadOutcome::TimedOut, ServoRange{motor_, 0, 0, 0});
}

void CServoReader::OnReply(CStream& payload, int32_t length) {
    if (!pending_ || length < 16)
        return;
    ServoRange r;
    r.motor = ReadI32(payload);
    if (r.motor != motor_)
        return;
    r.left = ReadI32(payload);
    r.right = ReadI32(payload);
    r.defaultRaw = ReadI32(payload);
    pending_ = false;
    const bool failed = r.left == -1 && r.right == -1 && r.defaultRaw == -1;
    if (done_)
        done_(failed ? ServoReadOutcome::Failed : ServoReadOutcome::Read, r);
}

// ------------------------------------------------------------ exact track value

CTrackValue::CTrackValue(EnvTracker& tracker, std::function<void(float)> setPosition)
    : tracker_(tracker),
      setPosition_(std::move(setPosition)),
      fraction_(std::isfinite(tracker.position) ? std::clamp(tracker.position, 0.0f, 1.0f) : 0.0f) {
}

void CTrackValue::Store(float f) {
    fraction_ = f;
    if (setPosition_)
        setPosition_(f);
    else
        tracker_.position = f;
}

void CTrackValue::SetFraction(double f) {
    if (std::isnan(f))
        return;
    Store(static_cast<float>(std::clamp(f, 0.0, 1.0)));
}

void CTrackValue::SetRaw(int64_t raw) {
    const auto r = static_cast<int32_t>(std::clamp<int64_t>(
        raw, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    Store(PositionOfRaw(tracker_, r));
}

namespace {

std::optional<double> ParseNumber(std::string_view text, bool whole) {
    std::string t(text);
    for (char& c : t) {
        if (c == ',')
            c = '.';
    }
    const auto first = t.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    t = t.substr(first, t.find_last_not_of(" \t") - first + 1);
    char* end = nullptr;
    const double v = whole ? static_cast<double>(std::strtoll(t.c_str(), &end, 10))
                           : std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0' || !std::isfinite(v))
        return std::nullopt;
    return v;
}

}  // namespace

bool CTrackValue::SetFractionText(std::string_view text) {
    const auto v = ParseNumber(text, false);
    if (!v)
        return false;
    SetFraction(*v);
    return true;
}

bool CTrackValue::SetRawText(std::string_view text) {
    const auto v = ParseNumber(text, true);
    if (!v)
        return false;
    SetRaw(static_cast<int64_t>(*v));
    return true;
}

}  // namespace velcora
