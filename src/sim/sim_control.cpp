// The robot's side of the control commands: driving moves the pose, the head,
// lift and tray move, modes and emotions show in the status and the mode
// report, parking charges the battery, and every phrase, script command and
// gesture is logged.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>

#include "link/text_codec.h"
#include "sim/sim_control.h"
#include "sim/sim_cyclogram.h"
#include "sim/sim_features.h"
#include "sim/sim_map.h"
#include "sim/sim_status.h"

namespace velcora::sim {

namespace {

constexpr double kLiftCmPerSAtFull = 5.0;
constexpr double kTrayPercentPerSAtFull = 25.0;
constexpr double kHeadPerSAtFull = 0.5;
constexpr float kMinHeight = 0.0f;
constexpr float kMaxHeight = 30.0f;

struct ControlState {
    uint32_t wanderMs = 0;
};

double Axis(int8_t v) {
    return v / 127.0;
}

// The modes show in the navigation report, which the map sends.
void ReportModes(CSimRobot& robot) {
    const SimBody& b = RobotBody(robot);
    SetMapModeBits(robot, static_cast<uint8_t>((b.autoMode ? 1 : 0) | (b.qrMode ? 2 : 0)));
    SendMapNavStatus(robot);
}

std::string ReadRest(CStream& s, int32_t length) {
    return ReadBytes(s, length - s.GetPosition());
}

// A text with its terminator, or the whole rest when it has none.
std::string ReadTerminated(CStream& s, int32_t length) {
    std::string text = ReadRest(s, length);
    const auto zero = text.find('\0');
    if (zero != std::string::npos) {
        text.resize(zero);
    }
    return text;
}

void HandleText(CSimRobot& robot, CStream& s, int32_t length) {
    const uint32_t kind = ReadU32(s);
    switch (kind) {
        case 0: {
            const std::string utf8 = WideToUtf8(Utf8UnitsToWide(ReadRest(s, length)));
            robot.Log("say: %s", utf8.c_str());
            break;
        }
        case 1: {
            RobotBody(robot).avatar = ReadTerminated(s, length);
            robot.Log("avatar: %s", AnsiToUtf8(RobotBody(robot).avatar).c_str());
            break;
        }
        case 2: {
            const std::string digits = ReadTerminated(s, length);
            char* end = nullptr;
            const long emotion = std::strtol(digits.c_str(), &end, 10);
            if (!digits.empty() && *end == '\0' && emotion >= 0 && emotion <= 5) {
                robot.Feature<SimStatus>().emotion = static_cast<uint8_t>(emotion);
                robot.Log("emotion %ld", emotion);
            } else {
                robot.Log("emotion '%s' refused", digits.c_str());
            }
            break;
        }
        default:
            robot.Log("text command of unknown kind %u", kind);
            break;
    }
}

// A motor's raw range and rest value: its tracker's in the environment
// project, or the whole 16-bit range for a motor without one.
struct MotorRange {
    int32_t low = 0, high = 65535, rest = 32768;
    bool known = false;
};

MotorRange RangeOf(const CCyclogramEnv& env, int32_t motor) {
    MotorRange r;
    if (const int32_t t = env.findTracker(motor); t >= 0) {
        const EnvTracker& tr = env.trackers[static_cast<std::size_t>(t)];
        r.low = std::min(tr.leftRaw, tr.rightRaw);
        r.high = std::max(tr.leftRaw, tr.rightRaw);
        r.rest = tr.defaultRaw;
        r.known = true;
    }
    return r;
}

void OnServoRange(CSimRobot& robot, CStream& s, int32_t length) {
    if (length < 4)
        return;
    const int32_t motor = ReadI32(s);
    const CCyclogramEnv env = RobotEnvironment(robot);
    const int32_t t = env.findTracker(motor);
    CStream& out = robot.BeginFrame(msg::kServoRangeReply);
    WriteI32(out, motor);
    if (t < 0 || motor == robot.Options().noValueMotor) {
        for (int i = 0; i < 3; ++i)
            WriteI32(out, -1);
        robot.Log("servo range of motor %d: no value", motor);
    } else {
        const EnvTracker& tr = env.trackers[static_cast<std::size_t>(t)];
        WriteI32(out, tr.leftRaw);
        WriteI32(out, tr.rightRaw);
        WriteI32(out, tr.defaultRaw);
        robot.Log("servo range of motor %d: %d..%d, default %d", motor, tr.leftRaw, tr.rightRaw,
                  tr.defaultRaw);
    }
    robot.EndFrame();
}

}  // namespace

void TickManualMotors(CSimRobot& robot, uint32_t elapsedMs) {
    SimManualMotors& m = robot.Feature<SimManualMotors>();
    if (m.speed.empty() && m.calibrating.empty())
        return;
    const CCyclogramEnv env = RobotEnvironment(robot);
    auto& motors = RobotCyclograms(robot).motors;
    for (const auto& [motor, speed] : m.speed) {
        if (speed == 0)
            continue;
        const MotorRange r = RangeOf(env, motor);
        auto [at, fresh] = m.raw.try_emplace(motor, 0.0);
        if (fresh) {
            const auto known = motors.find(motor);
            at->second = known != motors.end() ? known->second : r.rest;
        }
        // Full speed crosses half the range in a second.
        const double perSecond = speed / 127.0 * (r.high - r.low) / 2.0;
        at->second = std::clamp(at->second + perSecond * elapsedMs / 1000.0,
                                static_cast<double>(r.low), static_cast<double>(r.high));
        motors[motor] = static_cast<int32_t>(std::lround(at->second));
    }
    for (auto it = m.calibrating.begin(); it != m.calibrating.end();) {
        if (it->second > elapsedMs) {
            it->second -= elapsedMs;
            ++it;
            continue;
        }
        const MotorRange r = RangeOf(env, it->first);
        motors[it->first] = r.rest;
        m.raw[it->first] = r.rest;
        robot.Log("motor %d calibrated at %d", it->first, r.rest);
        it = m.calibrating.erase(it);
    }
}

SimPose& RobotPose(CSimRobot& robot) {
    return MapPose(robot);
}
SimBody& RobotBody(CSimRobot& robot) {
    return robot.Feature<SimBody>();
}

void IntegratePose(SimPose& pose, const SimBody& body, uint32_t elapsedMs) {
    if (body.driveAge > kDriveLapseMs) {
        return;
    }
    const double dt = elapsedMs / 1000.0;
    const double forward = body.forward * kFullSpeedCmPerS * dt;
    const double sideways = body.strafe * kFullSpeedCmPerS * dt;
    // A positive turn value turns right, that is clockwise.
    pose.angle -= body.turn * kFullTurnRadPerS * dt;
    pose.angle = std::remainder(pose.angle, 2.0 * 3.141592653589793);
    pose.x += forward * std::cos(pose.angle) + sideways * std::sin(pose.angle);
    pose.y += forward * std::sin(pose.angle) - sideways * std::cos(pose.angle);
}

void InstallControl(CSimRobot& robot) {
    robot.On(msg::kDriveChassis, [&robot](CStream& s, int32_t) {
        SimBody& b = RobotBody(robot);
        const int8_t b0 = ReadI8(s), b1 = ReadI8(s), b2 = ReadI8(s);
        const uint8_t mode = ReadU8(s);
        b.forward = b.turn = b.strafe = 0;
        if (mode == 0) {
            b.forward = Axis(b0), b.turn = Axis(b1);
        } else if (mode == 1) {
            b.turn = Axis(b1);
        } else if (mode == 2) {
            b.strafe = Axis(b2);
        }
        b.driveAge = 0;
    });
    robot.On(msg::kDriveWheels, [&robot](CStream& s, int32_t) {
        SimBody& b = RobotBody(robot);
        const double left = ReadI16(s) / -2000.0;
        const double right = ReadI16(s) / 2000.0;
        b.forward = (left + right) / 2.0;
        b.turn = left - right;
        b.strafe = 0;
        b.driveAge = 0;
    });
    robot.On(msg::kHeadSliderVel, [&robot](CStream& s, int32_t) {
        RobotBody(robot).headTilt = std::clamp(ReadI16(s) / 32767.0, -1.0, 1.0);
    });
    robot.On(msg::kHeadSliderCorvina, [&robot](CStream& s, int32_t) {
        RobotBody(robot).headTilt = std::clamp((ReadU16(s) - 1900) / 400.0, -1.0, 1.0);
    });
    robot.On(msg::kHeadAbsolute, [&robot](CStream& s, int32_t) {
        SimBody& b = RobotBody(robot);
        b.headPan = ReadI16(s) / 32767.0;
        b.headTilt = ReadI16(s) / 32767.0;
        b.headZ = ReadI16(s) / 32767.0;
        b.relPan = b.relTilt = 0;
    });
    robot.On(msg::kHeadRelative, [&robot](CStream& s, int32_t) {
        SimBody& b = RobotBody(robot);
        b.relPan = ReadI16(s) / 32767.0;
        b.relTilt = ReadI16(s) / 32767.0;
    });
    robot.On(msg::kHeadHome, [&robot](CStream&, int32_t) {
        SimBody& b = RobotBody(robot);
        b.headPan = b.headTilt = b.headZ = b.relPan = b.relTilt = 0;
        robot.Log("head home");
    });
    robot.On(msg::kLiftSpeed, [&robot](CStream& s, int32_t) {
        SimBody& b = RobotBody(robot);
        b.liftSpeed = ReadI8(s);
        b.targetHeight = -1.0f;
        robot.Log("lift speed %d", b.liftSpeed);
    });
    robot.On(msg::kBodyHeight, [&robot](CStream& s, int32_t) {
        const float h = ReadFloat(s);
        SimBody& b = RobotBody(robot);
        if (std::isfinite(h)) {
            b.targetHeight = std::clamp(h, kMinHeight, kMaxHeight);
            b.liftSpeed = 0;
        }
        robot.Log("body height %.1f", static_cast<double>(h));
    });
    robot.On(msg::kTraySpeed,
             [&robot](CStream& s, int32_t) { RobotBody(robot).traySpeed = ReadI8(s); });
    robot.On(msg::kAutobalance,
             [&robot](CStream& s, int32_t) { RobotBody(robot).autobalance = ReadU8(s) != 0; });
    robot.On(msg::kAutoMode, [&robot](CStream& s, int32_t) {
        RobotBody(robot).autoMode = ReadU8(s) != 0;
        ReportModes(robot);
    });
    robot.On(msg::kQrMode, [&robot](CStream& s, int32_t) {
        RobotBody(robot).qrMode = ReadU8(s) != 0;
        ReportModes(robot);
    });
    robot.On(msg::kRandomWalk, [&robot](CStream& s, int32_t) {
        robot.Feature<SimStatus>().randomWalk = ReadU8(s) != 0;
    });
    robot.On(msg::kParkStart, [&robot](CStream&, int32_t) {
        RobotBody(robot).parking = true;
        robot.Feature<SimStatus>().charging = true;
        robot.Log("parking on the charger");
    });
    robot.On(msg::kParkStop, [&robot](CStream&, int32_t) {
        RobotBody(robot).parking = false;
        robot.Feature<SimStatus>().charging = false;
        robot.Log("parking stopped");
    });
    robot.On(msg::kVolume, [&robot](CStream& s, int32_t) {
        RobotBody(robot).volume = std::min<int>(ReadU8(s), 100);
    });
    robot.On(msg::kTextCommand,
             [&robot](CStream& s, int32_t length) { HandleText(robot, s, length); });
    robot.On(msg::kScriptCommand, [&robot](CStream& s, int32_t length) {
        robot.Log("script: %s", AnsiToUtf8(ReadTerminated(s, length)).c_str());
    });
    robot.On(msg::kGesturePlay, [&robot](CStream& s, int32_t) {
        const uint32_t number = ReadU32(s);
        if (RobotBody(robot).gestures.count(number) != 0)
            robot.Log("performing gesture %u", number);
        else
            robot.Log("unknown gesture %u", number);
    });
    robot.On(msg::kGestureRecord, [&robot](CStream& s, int32_t length) {
        if (length < 4)
            return;
        const uint32_t number = ReadU32(s);
        const auto reply = robot.Options().gestureReply;
        if (reply == SimOptions::GestureReply::None) {
            robot.Log("gesture %u: recording not answered", number);
            return;
        }
        SimBody& b = RobotBody(robot);
        uint32_t written = number;
        if (reply == SimOptions::GestureReply::Other) {
            written = number + 1;
            robot.Log("gesture %u recorded as %u", number, written);
        } else {
            robot.Log("gesture %u recorded", number);
        }
        ++b.gesturesRecorded;
        b.gestures.insert(written);
        CStream& out = robot.BeginFrame(msg::kGestureRecord);
        WriteU32(out, written);
        robot.EndFrame();
    });
    robot.On(msg::kSpeechLanguage, [&robot](CStream& s, int32_t length) {
        RobotBody(robot).language = ReadTerminated(s, length);
        robot.Log("language: %s", AnsiToUtf8(RobotBody(robot).language).c_str());
    });
    robot.On(msg::kWheelMotors, [&robot](CStream& s, int32_t) {
        const int a = ReadI8(s), b = ReadI8(s), c = ReadI8(s);
        robot.Log("wheels %d %d %d", a, b, c);
    });
    robot.On(msg::kMotorValue, [&robot](CStream& s, int32_t length) {
        if (length < 2)
            return;
        const int motor = ReadU8(s);
        const int value = ReadI8(s);
        SimManualMotors& m = robot.Feature<SimManualMotors>();
        m.speed[motor] = value;
        m.calibrating.erase(motor);
        robot.Log("motor %d speed %d", motor, value);
    });
    robot.On(msg::kMotorCalibration, [&robot](CStream& s, int32_t length) {
        if (length < 1)
            return;
        const int motor = ReadU8(s);
        SimManualMotors& m = robot.Feature<SimManualMotors>();
        if (motor == 0) {
            m.calibrating.clear();
            robot.Log("calibration cancelled");
            return;
        }
        m.speed[motor] = 0;
        m.calibrating[motor] = kCalibrationMs;
        robot.Log("calibrating motor %d", motor);
    });
    robot.On(msg::kServoRangeRequest,
             [&robot](CStream& s, int32_t length) { OnServoRange(robot, s, length); });

    robot.OnTick([&robot](uint32_t elapsedMs) {
        TickManualMotors(robot, elapsedMs);
        SimBody& b = RobotBody(robot);
        SimStatus& status = robot.Feature<SimStatus>();
        ControlState& state = robot.Feature<ControlState>();
        const double dt = elapsedMs / 1000.0;

        if (status.randomWalk && b.driveAge > kDriveLapseMs) {
            // Wander: a slow walk that changes its turn every few seconds.
            state.wanderMs += elapsedMs;
            const double phase = state.wanderMs / 3000.0;
            SimBody walk = b;
            walk.forward = 0.3;
            walk.turn = 0.3 * std::sin(phase);
            walk.strafe = 0;
            walk.driveAge = 0;
            IntegratePose(RobotPose(robot), walk, elapsedMs);
        } else {
            IntegratePose(RobotPose(robot), b, elapsedMs);
        }
        b.driveAge = std::min<uint32_t>(b.driveAge + elapsedMs, 1000000);

        b.headPan = std::clamp(b.headPan + b.relPan * kHeadPerSAtFull * dt, -1.0, 1.0);
        b.headTilt = std::clamp(b.headTilt + b.relTilt * kHeadPerSAtFull * dt, -1.0, 1.0);

        if (b.targetHeight >= 0) {
            const float step = static_cast<float>(kLiftCmPerSAtFull * dt);
            if (std::fabs(status.height - b.targetHeight) <= step) {
                status.height = b.targetHeight;
                b.targetHeight = -1.0f;
            } else {
                status.height += status.height < b.targetHeight ? step : -step;
            }
        } else if (b.liftSpeed != 0) {
            status.height = std::clamp(
                static_cast<float>(status.height + b.liftSpeed / 127.0 * kLiftCmPerSAtFull * dt),
                kMinHeight, kMaxHeight);
        }
        b.tray = std::clamp(b.tray + b.traySpeed / 127.0 * kTrayPercentPerSAtFull * dt, 0.0, 100.0);
    });
}

void InstallFrameRecord(CSimRobot& robot) {
    if (robot.Options().recordPath.empty()) {
        return;
    }
    auto out = std::make_shared<std::ofstream>(robot.Options().recordPath,
                                               std::ios::out | std::ios::trunc);
    if (!*out) {
        robot.Log("cannot write the frame log %s", robot.Options().recordPath.c_str());
        return;
    }
    const uint32_t start = robot.Reactor().Now();
    robot.OnFrame([out, start, &robot](msg::Type type, std::string_view payload) {
        static const char* kHex = "0123456789abcdef";
        std::string hex;
        hex.reserve(payload.size() * 2);
        for (unsigned char c : payload) {
            hex += kHex[c >> 4];
            hex += kHex[c & 15];
        }
        char head[64];
        std::snprintf(head, sizeof head, "{\"t\":%u,\"type\":\"0x%04X\",\"payload\":\"",
                      robot.Reactor().Now() - start, type);
        *out << head << hex << "\"}\n";
        out->flush();
    });
}

}  // namespace velcora::sim
