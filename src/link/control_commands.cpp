#include "link/control_commands.h"

#include <algorithm>
#include <cmath>

#include "link/text_codec.h"

namespace velcora {

RobotStandard ParseRobotStandard(std::string_view name) {
    return name == "corvina" ? RobotStandard::Corvina : RobotStandard::Vel;
}

namespace {

float ClampUnit(float v) {
    if (std::isnan(v)) {
        return 0.0f;
    }
    return std::clamp(v, -1.0f, 1.0f);
}

void SendEmpty(IRobotLink& link, msg::Type type) {
    link.BeginFrame(type);
    link.EndFrame();
}

void SendByte(IRobotLink& link, msg::Type type, uint8_t value) {
    WriteU8(link.BeginFrame(type), value);
    link.EndFrame();
}

void SendU32(IRobotLink& link, msg::Type type, uint32_t value) {
    WriteU32(link.BeginFrame(type), value);
    link.EndFrame();
}

void SendText(IRobotLink& link, TextKind kind, std::string_view bytes, bool terminator) {
    CStream& s = link.BeginFrame(msg::kTextCommand);
    WriteU32(s, static_cast<uint32_t>(kind));
    if (terminator) {
        WriteString(s, bytes);
    } else {
        WriteText(s, bytes);
    }
    link.EndFrame();
}

}  // namespace

// The controls clamp their values already; clamping again keeps a stray value
// from wrapping around in the cast.
int8_t QuantiseDriveAxis(float v) {
    return static_cast<int8_t>(ClampUnit(v) * 127.0f);
}

int16_t QuantiseHeadAxis(float v) {
    return static_cast<int16_t>(ClampUnit(v) * 32767.0f);
}

DriveTriple QuantiseDrive(float x, float y, float z) {
    return {QuantiseDriveAxis(x), QuantiseDriveAxis(y), QuantiseDriveAxis(z)};
}

void ChassisDriveBytes(const DriveTriple& t, MoveMode mode, uint8_t out[4]) {
    switch (mode) {
        case MoveMode::Move:
            out[0] = static_cast<uint8_t>(t.y);
            out[1] = static_cast<uint8_t>(t.x);
            out[2] = static_cast<uint8_t>(t.z);
            out[3] = 0;
            break;
        case MoveMode::Turn:
            out[0] = 0;
            out[1] = static_cast<uint8_t>(t.x);
            out[2] = 0;
            out[3] = 1;
            break;
        case MoveMode::Strafe:
            out[0] = 0;
            out[1] = 0;
            out[2] = static_cast<uint8_t>(t.x);
            out[3] = 2;
            break;
    }
}

WheelSpeeds WheelDriveSpeeds(float x, float y) {
    x = ClampUnit(x);
    y = ClampUnit(y);
    const float s = x / 2.0f;
    const float left = std::clamp(y + s, -1.0f, 1.0f);
    const float right = std::clamp(y - s, -1.0f, 1.0f);
    return {static_cast<int16_t>(left * -2000.0f), static_cast<int16_t>(right * 2000.0f)};
}

uint16_t HeadSliderValue(RobotStandard standard, int16_t slider) {
    const int32_t v = std::clamp<int32_t>(slider, -32767, 32767);
    if (standard == RobotStandard::Corvina) {
        return static_cast<uint16_t>(1900 + v * 400 / 32767);
    }
    return static_cast<uint16_t>(v);
}

void SendDrive(IRobotLink& link, RobotStandard standard, MoveMode mode, float x, float y, float z) {
    if (standard == RobotStandard::Corvina) {
        const WheelSpeeds w = WheelDriveSpeeds(x, y);
        CStream& s = link.BeginFrame(msg::kDriveWheels);
        WriteU16(s, static_cast<uint16_t>(w.left));
        WriteU16(s, static_cast<uint16_t>(w.right));
        link.EndFrame();
        return;
    }
    uint8_t bytes[4];
    ChassisDriveBytes(QuantiseDrive(x, y, z), mode, bytes);
    link.BeginFrame(msg::kDriveChassis).Write(bytes, 4);
    link.EndFrame();
}

void SendHeadSlider(IRobotLink& link, RobotStandard standard, int16_t slider) {
    const msg::Type type =
        standard == RobotStandard::Corvina ? msg::kHeadSliderCorvina : msg::kHeadSliderVel;
    WriteU16(link.BeginFrame(type), HeadSliderValue(standard, slider));
    link.EndFrame();
}

void SendHeadAbsolute(IRobotLink& link, float x, float y, float z) {
    CStream& s = link.BeginFrame(msg::kHeadAbsolute);
    WriteU16(s, static_cast<uint16_t>(QuantiseHeadAxis(x)));
    WriteU16(s, static_cast<uint16_t>(QuantiseHeadAxis(y)));
    WriteU16(s, static_cast<uint16_t>(QuantiseHeadAxis(z)));
    link.EndFrame();
}

void SendHeadRelative(IRobotLink& link, float x, float y) {
    CStream& s = link.BeginFrame(msg::kHeadRelative);
    WriteU16(s, static_cast<uint16_t>(QuantiseHeadAxis(x)));
    WriteU16(s, static_cast<uint16_t>(QuantiseHeadAxis(y)));
    link.EndFrame();
}

void SendHeadHome(IRobotLink& link) {
    SendEmpty(link, msg::kHeadHome);
}
void SendLiftSpeed(IRobotLink& link, int8_t speed) {
    SendByte(link, msg::kLiftSpeed, static_cast<uint8_t>(speed));
}
void SendTraySpeed(IRobotLink& link, int8_t speed) {
    SendByte(link, msg::kTraySpeed, static_cast<uint8_t>(speed));
}

void SendBodyHeight(IRobotLink& link, float height) {
    WriteFloat(link.BeginFrame(msg::kBodyHeight), height);
    link.EndFrame();
}

void SendAutobalance(IRobotLink& link, bool on) {
    SendByte(link, msg::kAutobalance, on ? 1 : 0);
}
void SendAutoMode(IRobotLink& link, bool on) {
    SendByte(link, msg::kAutoMode, on ? 1 : 0);
}
void SendRandomWalk(IRobotLink& link, bool on) {
    SendByte(link, msg::kRandomWalk, on ? 1 : 0);
}
void SendQrMode(IRobotLink& link, bool on) {
    SendByte(link, msg::kQrMode, on ? 1 : 0);
}
void SendParking(IRobotLink& link, bool start) {
    SendEmpty(link, start ? msg::kParkStart : msg::kParkStop);
}
void SendVolume(IRobotLink& link, uint8_t volume) {
    SendByte(link, msg::kVolume, volume);
}

void SendPhrase(IRobotLink& link, std::u16string_view phrase) {
    SendText(link, TextKind::Phrase, WideToUtf8Units(phrase), false);
}

void SendAvatar(IRobotLink& link, std::string_view ansiModel) {
    SendText(link, TextKind::Avatar, ansiModel, true);
}

void SendEmotion(IRobotLink& link, int emotion) {
    SendText(link, TextKind::Emotion, std::to_string(emotion), true);
}

void SendScriptCommand(IRobotLink& link, std::string_view ansiCommand) {
    WriteString(link.BeginFrame(msg::kScriptCommand), ansiCommand);
    link.EndFrame();
}

void SendGesturePlay(IRobotLink& link, uint32_t number) {
    SendU32(link, msg::kGesturePlay, number);
}
void SendGestureRecord(IRobotLink& link, uint32_t number) {
    SendU32(link, msg::kGestureRecord, number);
}
void SendStatusRequest(IRobotLink& link) {
    SendEmpty(link, msg::kStatus);
}

void SendSpeechLanguage(IRobotLink& link, std::string_view ansiLanguage) {
    WriteString(link.BeginFrame(msg::kSpeechLanguage), ansiLanguage);
    link.EndFrame();
}

void SendWheelMotors(IRobotLink& link, int8_t wheel1, int8_t wheel2, int8_t wheel3) {
    CStream& s = link.BeginFrame(msg::kWheelMotors);
    WriteU8(s, static_cast<uint8_t>(wheel1));
    WriteU8(s, static_cast<uint8_t>(wheel2));
    WriteU8(s, static_cast<uint8_t>(wheel3));
    link.EndFrame();
}

void SendMotorValue(IRobotLink& link, uint8_t motor, int8_t value) {
    CStream& s = link.BeginFrame(msg::kMotorValue);
    WriteU8(s, motor);
    WriteU8(s, static_cast<uint8_t>(value));
    link.EndFrame();
}

void SendMotorCalibration(IRobotLink& link, uint8_t motor) {
    SendByte(link, msg::kMotorCalibration, motor);
}

void SendServoRangeRequest(IRobotLink& link, int32_t motor) {
    WriteI32(link.BeginFrame(msg::kServoRangeRequest), motor);
    link.EndFrame();
}

}  // namespace velcora
