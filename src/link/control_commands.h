// Encoders for the control messages the main window sends: one function per
// message, each a whole frame on the link.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/robot_link.h"

namespace velcora {

// Robot family chosen by the `standard` setting.
enum class RobotStandard { Vel = 0, Corvina = 1 };
// "vel" or "corvina"; anything else is the first family.
RobotStandard ParseRobotStandard(std::string_view name);

enum class MoveMode : uint8_t { Move = 0, Turn = 1, Strafe = 2 };

// One drive axis in -1..1 as a signed byte: times 127, truncated toward zero.
int8_t QuantiseDriveAxis(float v);
// One head axis in -1..1 as i16: times 32767, truncated toward zero.
int16_t QuantiseHeadAxis(float v);

struct DriveTriple {
    int8_t x = 0, y = 0, z = 0;
    bool operator==(const DriveTriple&) const = default;
    bool IsZero() const { return x == 0 && y == 0 && z == 0; }
};
DriveTriple QuantiseDrive(float x, float y, float z);

// The four payload bytes of the chassis form for a move mode.
void ChassisDriveBytes(const DriveTriple& t, MoveMode mode, uint8_t out[4]);
// Left and right wheel speeds of the wheel form.
struct WheelSpeeds {
    int16_t left = 0, right = 0;
};
WheelSpeeds WheelDriveSpeeds(float x, float y);
// The head slider's wire value for a standard (-32767..32767 in).
uint16_t HeadSliderValue(RobotStandard standard, int16_t slider);

// Text command kinds.
enum class TextKind : uint32_t { Phrase = 0, Avatar = 1, Emotion = 2 };

inline constexpr int kEmotionCount = 6;

void SendDrive(IRobotLink& link, RobotStandard standard, MoveMode mode, float x, float y, float z);
void SendHeadSlider(IRobotLink& link, RobotStandard standard, int16_t slider);
void SendHeadAbsolute(IRobotLink& link, float x, float y, float z);
void SendHeadRelative(IRobotLink& link, float x, float y);
void SendHeadHome(IRobotLink& link);
void SendLiftSpeed(IRobotLink& link, int8_t speed);
void SendTraySpeed(IRobotLink& link, int8_t speed);
void SendBodyHeight(IRobotLink& link, float height);
void SendAutobalance(IRobotLink& link, bool on);
void SendAutoMode(IRobotLink& link, bool on);
void SendRandomWalk(IRobotLink& link, bool on);
void SendQrMode(IRobotLink& link, bool on);
void SendParking(IRobotLink& link, bool start);
void SendVolume(IRobotLink& link, uint8_t volume);
// A phrase for the speech synthesiser: UTF-8 per code unit, no terminator.
void SendPhrase(IRobotLink& link, std::u16string_view phrase);
// An avatar's model text, already in the ANSI code page, with terminator.
void SendAvatar(IRobotLink& link, std::string_view ansiModel);
// Emotion 0..5 as decimal digits with terminator.
void SendEmotion(IRobotLink& link, int emotion);
// A robot-script command in the ANSI code page, with terminator.
void SendScriptCommand(IRobotLink& link, std::string_view ansiCommand);
void SendGesturePlay(IRobotLink& link, uint32_t number);
void SendGestureRecord(IRobotLink& link, uint32_t number);
void SendStatusRequest(IRobotLink& link);
void SendSpeechLanguage(IRobotLink& link, std::string_view ansiLanguage);
// Manual motor control: one byte per wheel motor 1..3.
void SendWheelMotors(IRobotLink& link, int8_t wheel1, int8_t wheel2, int8_t wheel3);
void SendMotorValue(IRobotLink& link, uint8_t motor, int8_t value);
// Starts a motor's calibration; motor 0 cancels it.
void SendMotorCalibration(IRobotLink& link, uint8_t motor);
void SendServoRangeRequest(IRobotLink& link, int32_t motor);

}  // namespace velcora
