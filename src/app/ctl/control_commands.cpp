// velcoractl commands that work the robot live: speech, emotions, avatars,
// driving, the head, lift and tray, modes, parking, volume, robot-script
// commands, gestures, and watching the status and mode reports.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "app/ctl/ctl.h"
#include "app/ctl/session.h"
#include "console/drive_controller.h"
#include "link/control_commands.h"
#include "link/robot_status.h"
#include "link/text_codec.h"

namespace velcora::ctl {

namespace {

constexpr uint32_t kFlushWaitMs = 5000;
// Used when the settings leave the lift or tray speed at 0, which would move nothing.
constexpr int kDefaultMotorSpeed = 64;

constexpr uint32_t kLingerMs = 250;

void Linger(Session& session) {
    session.RunUntil([] { return false; }, kLingerMs);
}

// The common shape of a one-shot command: options, connect, send, wait until
// the frames have left.
class OneShot {
  public:
    explicit OneShot(Args& args) : args_(args) {}

    // Takes the connection options and `--standard`; false with an exit code
    // in `rc` on a usage error.
    bool Prepare(int& rc) {
        std::string error;
        if (!TakeConnectionOptions(args_, options_, error)) {
            rc = UsageError(error);
            return false;
        }
        standard_ = args_.Option("--standard");
        if (standard_ && *standard_ != "vel" && *standard_ != "corvina") {
            rc = UsageError("--standard takes vel or corvina");
            return false;
        }
        return true;
    }

    // After the command's own options were taken: nothing unknown may remain.
    bool CheckRest(size_t positional, int& rc) {
        if (auto e = args_.Error()) {
            rc = UsageError(*e);
            return false;
        }
        if (args_.Rest().size() != positional) {
            rc = UsageError("wrong number of arguments");
            return false;
        }
        return true;
    }

    int Open() {
        session_.emplace(options_);
        return session_->Open();
    }

    Session& S() { return *session_; }
    IRobotLink& Link() { return session_->Link(); }

    RobotStandard Standard() const {
        return standard_ ? ParseRobotStandard(*standard_) : session_->Settings().standard;
    }

    DriveControlOptions ControlOptions() const {
        const CSettings& st = session_->Settings();
        DriveControlOptions o;
        o.standard = Standard();
        o.headJoystick = st.headAxis != 0;
        o.headDeltas = st.headDeltas;
        o.liftSpeed = static_cast<int8_t>(st.liftSpeed);
        o.traySpeed = static_cast<int8_t>(st.traySpeed);
        o.liftFixedMode = st.liftFixedMode;
        o.trayFixedMode = st.trayFixedMode;
        return o;
    }

    // Waits until everything queued has gone to the robot, then lingers a
    // moment reading what the robot sends: closing a socket with unread data
    // resets the connection, and a reset can throw away the commands the robot
    // has not read yet.
    int Finish() {
        const auto outcome =
            session_->RunUntil([this] { return Link().QueuedBytes() == 0; }, kFlushWaitMs);
        if (outcome == Session::Outcome::Done) {
            Linger(*session_);
        }
        return session_->ExitFor(outcome, "velcoractl: the commands could not be sent");
    }

  private:
    Args& args_;
    ConnectionOptions options_;
    std::optional<std::string> standard_;
    std::optional<Session> session_;
};

bool ParseUnit(const std::string& text, float& value) {
    double v = 0;
    if (!ParseDouble(text, v) || v < -1.0 || v > 1.0) {
        return false;
    }
    value = static_cast<float>(v);
    return true;
}

bool ParseOnOff(const std::string& text, bool& on) {
    if (text == "on") {
        on = true;
        return true;
    }
    if (text == "off") {
        on = false;
        return true;
    }
    return false;
}

// One command with positional arguments handed to `send` after connecting.
template <typename Parse, typename SendFn>
int Simple(Args& args, size_t positional, Parse parse, SendFn send) {
    OneShot cmd(args);
    int rc = 0;
    if (!cmd.Prepare(rc) || !cmd.CheckRest(positional, rc)) {
        return rc;
    }
    std::string error;
    if (!parse(args.Rest(), error)) {
        return UsageError(error);
    }
    if ((rc = cmd.Open()) != kExitDone) {
        return rc;
    }
    if (!send(cmd)) {
        return kExitFailed;
    }
    return cmd.Finish();
}

using Rest = std::vector<std::string>;

int Say(Args& args) {
    return Simple(
        args, 1, [](const Rest&, std::string&) { return true; },
        [&](OneShot& c) {
            SendPhrase(c.Link(), Utf8ToWide(args.Rest()[0]));
            return true;
        });
}

int Emotion(Args& args) {
    long long n = 0;
    return Simple(
        args, 1,
        [&](const Rest& r, std::string& e) {
            if (!ParseInt(r[0], n) || n < 0 || n >= kEmotionCount) {
                e = "emotion takes a number 0..5";
                return false;
            }
            return true;
        },
        [&](OneShot& c) {
            CDriveController control(c.Link(), c.ControlOptions());
            return control.Emotion(static_cast<int>(n));
        });
}

int Avatar(Args& args) {
    return Simple(
        args, 1, [](const Rest&, std::string&) { return true; },
        [&](OneShot& c) {
            SendAvatar(c.Link(), Utf8ToAnsi(args.Rest()[0]));
            return true;
        });
}

int Drive(Args& args) {
    OneShot cmd(args);
    int rc = 0;
    if (!cmd.Prepare(rc)) {
        return rc;
    }
    const auto ms = args.Option("--ms");
    const auto mode = args.Option("--mode");
    const bool smooth = args.Flag("--smooth");
    if (!cmd.CheckRest(3, rc)) {
        return rc;
    }
    float x = 0, y = 0, z = 0;
    if (!ParseUnit(args.Rest()[0], x) || !ParseUnit(args.Rest()[1], y) ||
        !ParseUnit(args.Rest()[2], z)) {
        return UsageError("drive values are numbers from -1 to 1");
    }
    long long duration = 0;
    if (!ms || !ParseInt(*ms, duration) || duration < 0 || duration > 600000) {
        return UsageError("drive needs --ms DURATION (0..600000)");
    }
    MoveMode moveMode = MoveMode::Move;
    if (mode) {
        if (*mode == "move") {
            moveMode = MoveMode::Move;
        } else if (*mode == "turn") {
            moveMode = MoveMode::Turn;
        } else if (*mode == "strafe") {
            moveMode = MoveMode::Strafe;
        } else {
            return UsageError("--mode takes move, turn or strafe");
        }
    }
    if ((rc = cmd.Open()) != kExitDone) {
        return rc;
    }
    // The same controller and repeat rules as the console's 20 ms timer.
    CDriveController control(cmd.Link(), cmd.ControlOptions());
    control.SetMoveMode(moveMode);
    control.SetSmoothRide(smooth);
    control.SetDrive(x, y, z);
    uint32_t driven = 0;
    bool released = false;
    Ticker ticker(cmd.S().Reactor(), [&](int32_t elapsed) {
        driven += static_cast<uint32_t>(elapsed);
        if (!released && driven >= static_cast<uint32_t>(duration)) {
            control.SetDrive(0, 0, 0);
            released = true;
        }
        control.Tick(elapsed);
    });
    const auto outcome = cmd.S().RunUntil([&] { return released && cmd.Link().QueuedBytes() == 0; },
                                          static_cast<uint32_t>(duration) + kFlushWaitMs);
    if (outcome == Session::Outcome::Done) {
        Linger(cmd.S());
    }
    return cmd.S().ExitFor(outcome, "velcoractl: the drive commands could not be sent");
}

int Head(Args& args) {
    OneShot cmd(args);
    int rc = 0;
    if (!cmd.Prepare(rc)) {
        return rc;
    }
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    const Rest& r = args.Rest();
    float x = 0, y = 0, z = 0;
    if ((r.size() != 2 && r.size() != 3) || !ParseUnit(r[0], x) || !ParseUnit(r[1], y) ||
        (r.size() == 3 && !ParseUnit(r[2], z))) {
        return UsageError("head takes X Y [Z], each from -1 to 1");
    }
    if ((rc = cmd.Open()) != kExitDone) {
        return rc;
    }
    DriveControlOptions o = cmd.ControlOptions();
    if (o.headJoystick) {
        CDriveController control(cmd.Link(), o);
        control.SetHead(x, y, z);
        control.Tick(20);
    } else {
        SendHeadSlider(cmd.Link(), o.standard, QuantiseHeadAxis(y));
    }
    return cmd.Finish();
}

int HeadHome(Args& args) {
    return Simple(
        args, 0, [](const Rest&, std::string&) { return true; },
        [](OneShot& c) {
            SendHeadHome(c.Link());
            return true;
        });
}

// lift/tray up|down|stop [--speed N]
int Motor(Args& args, bool lift) {
    const auto speedText = args.Option("--speed");
    long long speed = 0;
    if (speedText && (!ParseInt(*speedText, speed) || speed < 1 || speed > 127)) {
        return UsageError("--speed takes 1..127");
    }
    int direction = 0;
    return Simple(
        args, 1,
        [&](const Rest& r, std::string& e) {
            if (r[0] == "up") {
                direction = 1;
            } else if (r[0] == "down") {
                direction = -1;
            } else if (r[0] == "stop") {
                direction = 0;
            } else {
                e = "takes up, down or stop";
                return false;
            }
            return true;
        },
        [&](OneShot& c) {
            int s = static_cast<int>(speed);
            if (s == 0) {
                s = lift ? c.S().Settings().liftSpeed : c.S().Settings().traySpeed;
            }
            if (s <= 0 || s > 127) {
                s = kDefaultMotorSpeed;
            }
            const int8_t value = static_cast<int8_t>(direction * s);
            lift ? SendLiftSpeed(c.Link(), value) : SendTraySpeed(c.Link(), value);
            return true;
        });
}

int Lift(Args& args) {
    return Motor(args, true);
}
int Tray(Args& args) {
    return Motor(args, false);
}

int Height(Args& args) {
    double cm = 0;
    return Simple(
        args, 1,
        [&](const Rest& r, std::string& e) {
            if (!ParseDouble(r[0], cm) || cm < -1000 || cm > 1000) {
                e = "height takes centimetres";
                return false;
            }
            return true;
        },
        [&](OneShot& c) {
            const CSettings& st = c.S().Settings();
            if (cm < st.liftMinHeight || cm > st.liftMaxHeight) {
                std::fprintf(stderr, "velcoractl: the height must lie within %.1f..%.1f\n",
                             st.liftMinHeight, st.liftMaxHeight);
                return false;
            }
            SendBodyHeight(c.Link(), static_cast<float>(cm));
            return true;
        });
}

int Autobalance(Args& args) {
    bool on = false;
    return Simple(
        args, 1,
        [&](const Rest& r, std::string& e) {
            if (!ParseOnOff(r[0], on)) {
                e = "autobalance takes on or off";
                return false;
            }
            return true;
        },
        [&](OneShot& c) {
            SendAutobalance(c.Link(), on);
            return true;
        });
}

int Mode(Args& args) {
    bool on = false;
    std::string which;
    return Simple(
        args, 2,
        [&](const Rest& r, std::string& e) {
            which = r[0];
            if ((which != "auto" && which != "random-walk" && which != "qr") ||
                !ParseOnOff(r[1], on)) {
                e = "mode takes auto|random-walk|qr and on|off";
                return false;
            }
            return true;
        },
        [&](OneShot& c) {
            if (which == "auto") {
                SendAutoMode(c.Link(), on);
            } else if (which == "qr") {
                SendQrMode(c.Link(), on);
            } else {
                SendRandomWalk(c.Link(), on);
            }
            return true;
        });
}

int Park(Args& args) {
    bool start = false;
    return Simple(
        args, 1,
        [&](const Rest& r, std::string& e) {
            if (r[0] != "start" && r[0] != "stop") {
                e = "park takes start or stop";
                return false;
            }
            start = r[0] == "start";
            return true;
        },
        [&](OneShot& c) {
            SendParking(c.Link(), start);
            return true;
        });
}

int Volume(Args& args) {
    long long n = 0;
    return Simple(
        args, 1,
        [&](const Rest& r, std::string& e) {
            if (!ParseInt(r[0], n) || n < 0 || n > 100) {
                e = "volume takes 0..100";
                return false;
            }
            return true;
        },
        [&](OneShot& c) {
            SendVolume(c.Link(), static_cast<uint8_t>(n));
            return true;
        });
}

int ScriptCommand(Args& args) {
    return Simple(
        args, 1, [](const Rest&, std::string&) { return true; },
        [&](OneShot& c) {
            SendScriptCommand(c.Link(), Utf8ToAnsi(args.Rest()[0]));
            return true;
        });
}

int Gesture(Args& args) {
    long long n = 0;
    return Simple(
        args, 1,
        [&](const Rest& r, std::string& e) {
            if (!ParseInt(r[0], n) || n < 0 || n > 0xFFFFFFFFll) {
                e = "gesture takes a gesture number";
                return false;
            }
            return true;
        },
        [&](OneShot& c) {
            SendGesturePlay(c.Link(), static_cast<uint32_t>(n));
            return true;
        });
}

std::string StatusLine(const RobotStatus& s, bool json) {
    char text[256];
    const std::string battery = WideToUtf8(FormatBattery(s));
    const std::string height = WideToUtf8(FormatHeight(s.height));
    if (json) {
        std::snprintf(text, sizeof text,
                      "{\"status\":{\"battery\":%d,\"charging\":%s,\"height\":%s,"
                      "\"randomWalk\":%s,\"emotion\":%s}}",
                      static_cast<int32_t>(s.battery), s.charging ? "true" : "false",
                      height == "-" ? "null" : height.c_str(),
                      !s.randomWalk ? "null" : (*s.randomWalk ? "true" : "false"),
                      !s.emotion ? "null" : std::to_string(*s.emotion).c_str());
    } else {
        std::snprintf(text, sizeof text, "status: battery %s, height %s%s%s", battery.c_str(),
                      height.c_str(), s.randomWalk ? (*s.randomWalk ? ", random walk" : "") : "",
                      s.emotion ? (", emotion " + std::to_string(*s.emotion)).c_str() : "");
    }
    return text;
}

std::string ModesLine(const RobotModeFlags& f, bool json) {
    char text[192];
    if (json) {
        std::snprintf(text, sizeof text,
                      "{\"modes\":{\"auto\":%s,\"qr\":%s,\"navMode\":%u,\"permissions\":%u}}",
                      f.AutoMode() ? "true" : "false", f.QrMode() ? "true" : "false", f.navMode,
                      f.Permissions());
    } else {
        std::snprintf(
            text, sizeof text, "modes: automatic %s, QR %s, navigation %u, permissions %u",
            f.AutoMode() ? "on" : "off", f.QrMode() ? "on" : "off", f.navMode, f.Permissions());
    }
    return text;
}

int Watch(Args& args) {
    OneShot cmd(args);
    int rc = 0;
    if (!cmd.Prepare(rc)) {
        return rc;
    }
    const bool json = args.Flag("--json");
    const auto seconds = args.Option("--seconds");
    long long secs = 0;  // 0: until interrupted or the link is lost
    if (seconds && (!ParseInt(*seconds, secs) || secs < 1 || secs > 86400)) {
        return UsageError("--seconds takes 1..86400");
    }
    if (!cmd.CheckRest(0, rc)) {
        return rc;
    }
    if ((rc = cmd.Open()) != kExitDone) {
        return rc;
    }
    std::string lastStatus, lastModes;
    auto print = [](const std::string& line, std::string& last) {
        if (line != last) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
            last = line;
        }
    };
    cmd.S().On(msg::kStatus, [&](CStream& s, int32_t n) {
        print(StatusLine(DecodeRobotStatus(s, n), json), lastStatus);
    });
    cmd.S().On(msg::kModeFlags, [&](CStream& s, int32_t n) {
        print(ModesLine(DecodeRobotModeFlags(s, n), json), lastModes);
    });
    // Ask at once, then at the console's own pace; a link that breaks is
    // ridden through the connection's retries and asked again at once.
    cmd.S().SetReconnectHandler([&] { SendStatusRequest(cmd.Link()); });
    SendStatusRequest(cmd.Link());
    CStatusPoller poller;
    Ticker ticker(cmd.S().Reactor(), [&](int32_t elapsed) { poller.Tick(cmd.Link(), elapsed); });
    const uint32_t limit = secs > 0 ? static_cast<uint32_t>(secs * 1000) : 0xFFFFFFF0u;
    const auto outcome = cmd.S().RunUntil([] { return false; }, limit);
    return outcome == Session::Outcome::TimedOut ? kExitDone : cmd.S().ExitFor(outcome);
}

}  // namespace

void RegisterControlCommands(Registry& registry) {
    registry.Add({"say", "say TEXT", "speak a phrase", Say});
    registry.Add({"emotion", "emotion N", "show emotion 0..5", Emotion});
    registry.Add({"avatar", "avatar MODEL", "switch to an avatar model", Avatar});
    registry.Add({"drive", "drive X Y Z --ms DURATION [--mode move|turn|strafe] [--smooth]",
                  "drive for a while (values -1..1), then stop", Drive});
    registry.Add({"head", "head X Y [Z]", "turn the head (values -1..1)", Head});
    registry.Add({"head-home", "head-home", "turn the head home", HeadHome});
    registry.Add({"lift", "lift up|down|stop [--speed N]", "move the body lift", Lift});
    registry.Add({"tray", "tray up|down|stop [--speed N]", "move the tray", Tray});
    registry.Add({"height", "height CM", "set the body height", Height});
    registry.Add({"autobalance", "autobalance on|off", "switch autobalance", Autobalance});
    registry.Add({"mode", "mode auto|random-walk|qr on|off", "switch an autonomy mode", Mode});
    registry.Add({"park", "park start|stop", "park on the charger, or stop parking", Park});
    registry.Add({"volume", "volume N", "set the volume 0..100", Volume});
    registry.Add({"command", "command TEXT", "send a robot-script command", ScriptCommand});
    registry.Add({"gesture", "gesture N", "play a gesture", Gesture});
    registry.Add({"watch", "watch [--seconds S] [--json]",
                  "print status and mode changes as they arrive", Watch});
}

}  // namespace velcora::ctl
