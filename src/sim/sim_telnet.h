// The robot's telnet console, simulated: a listening port, the telnet
// options a robot offers (it echoes and suppresses go-ahead), a KOI8-R
// greeting and prompt, and a small shell over the simulated robot's own state
// and disk. Nothing typed here ever runs on the host.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reactor.h"
#include "sim/sim_robot.h"

namespace velcora::sim {

inline constexpr size_t kTelnetMaxLine = 1024;
inline constexpr uint32_t kTelnetMaxFlood = 100000;
inline constexpr size_t kTelnetMaxType = 65536;
inline constexpr const char* kTelnetPrompt = "robot> ";

struct SimTelnetSession {
    enum class In : uint8_t { Data, Iac, Option, Sub, SubIac };
    In in = In::Data;
    bool afterCr = false;
    std::string line;      // KOI8-R bytes typed so far
    bool tooLong = false;  // the line passed kTelnetMaxLine: it is refused at its end
    std::string out;       // waiting to be sent
    bool closing = false;  // close once `out` is sent
};

struct SimTelnet {
    SimTelnet() = default;
    SimTelnet(const SimTelnet&) = delete;
    SimTelnet& operator=(const SimTelnet&) = delete;
    // The sockets go with the robot.
    ~SimTelnet();

    platform::Reactor* reactor = nullptr;
    platform::SocketId listener = platform::kNoSocket;
    uint16_t port = 0;
    std::map<platform::SocketId, SimTelnetSession> sessions;
    // Command lines run so far (UTF-8), the newest last; at most 100 kept.
    std::vector<std::string> commands;
    uint64_t refusedLines = 0;
    uint64_t connections = 0;
};

// The port the console listens on; 0 when there is none.
uint16_t TelnetPort(CSimRobot& robot);

// What a command line prints (UTF-8, "\n" line breaks), and whether the
// session ends after it. Runs against the simulated robot only.
struct ShellReply {
    std::string text;
    bool exit = false;
};
ShellReply RunShellLine(CSimRobot& robot, std::string_view utf8Line);

}  // namespace velcora::sim
