// A relay between the console and a robot that misbehaves on purpose, the way
// radio and mobile links do: it delays, throttles, stalls, cuts, splits and
// (in a mode of its own) corrupts what passes, driven by a seed so that every
// run can be replayed. It knows the link's framing only to leave frame headers
// and the handshake alone when it corrupts.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/reactor.h"

namespace velcora::sim {

// A range of milliseconds; {0, 0} switches the fault off.
struct MsRange {
    uint32_t min = 0;
    uint32_t max = 0;
    bool Off() const { return max == 0; }
};

// What happens to one direction's bytes.
struct DirectionFaults {
    uint32_t delayMs = 0;   // every byte waits this long
    uint32_t jitterMs = 0;  // plus up to this much more (order is kept)
    uint32_t rateKbit = 0;  // at most this many kbit/s; 0 = unlimited
    bool split = false;     // written one byte at a time
    double corrupt = 0.0;   // chance per frame that one payload byte is flipped
};

struct RelayOptions {
    uint32_t listenAddress = platform::kLoopback;
    uint16_t listenPort = 0;  // 0 picks a free port
    uint32_t targetAddress = platform::kLoopback;
    uint16_t targetPort = 0;
    uint64_t seed = 1;
    DirectionFaults up;    // console to robot
    DirectionFaults down;  // robot to console
    MsRange cutEvery;      // the connection is cut at a random moment in this range
    MsRange stallEvery;    // the robot falls silent ...
    MsRange stallFor;      // ... for this long, the socket staying open
};

// One line per fault as it happens (milliseconds since the relay started).
using RelayLog = std::function<void(uint32_t atMs, const std::string& what)>;

class CFaultRelay {
  public:
    struct Counts {
        int connections = 0;
        int cuts = 0;
        int stalls = 0;
        int corrupted = 0;
        int64_t bytesUp = 0;
        int64_t bytesDown = 0;
    };

    CFaultRelay(platform::Reactor& reactor, RelayOptions options, RelayLog log = nullptr);
    ~CFaultRelay();
    CFaultRelay(const CFaultRelay&) = delete;
    CFaultRelay& operator=(const CFaultRelay&) = delete;

    bool Start();
    void Stop();
    uint16_t Port() const { return port_; }
    const Counts& Stats() const { return counts_; }
    // Cuts the open connection now (the next one is accepted as usual).
    void CutNow();

  private:
    struct Pending {
        uint32_t due;  // tick when it may leave
        std::string bytes;
    };
    // Finds frame boundaries in one direction's stream so that corruption
    // hits payload bytes only, and never the handshake.
    struct FrameTracker {
        int headerHave = 0;
        uint8_t header[6] = {};
        int64_t payloadLeft = 0;
        uint16_t type = 0;
        bool hit = false;  // this frame's payload gets its flipped byte
        int64_t hitAt = 0;
    };
    struct Direction {
        DirectionFaults faults;
        std::deque<Pending> queue;
        uint32_t lastDue = 0;
        uint32_t rateFree = 0;  // when the throttle lets the next byte go
        FrameTracker frames;
        bool writeBlocked = false;
    };
    struct Pair {
        platform::SocketId console = platform::kNoSocket;
        platform::SocketId robot = platform::kNoSocket;
        bool robotConnected = false;
        Direction up, down;
        int number = 0;
    };

    void OnAccept();
    void OnConsole(uint16_t event);
    void OnRobot(uint16_t event, int error);
    void Read(platform::SocketId from, Direction& d, bool down);
    void Corrupt(Direction& d, std::string& bytes, bool down);
    void Pump();
    bool Flush(platform::SocketId to, Direction& d);
    void ClosePair(const char* why);
    void Schedule();
    uint32_t Pick(const MsRange& r);
    void Log(const std::string& what);
    uint32_t Elapsed() const { return reactor_.Now() - started_; }

    platform::Reactor& reactor_;
    RelayOptions options_;
    RelayLog log_;
    std::mt19937_64 random_;
    platform::SocketId listener_ = platform::kNoSocket;
    uint16_t port_ = 0;
    std::unique_ptr<Pair> pair_;
    platform::ScopedTimer timer_;
    uint32_t started_ = 0;
    uint32_t nextCut_ = 0;
    uint32_t nextStall_ = 0;
    uint32_t stallEnds_ = 0;
    bool stalled_ = false;
    Counts counts_;
};

// Parses "A-B" (or "A") milliseconds; false for anything else.
bool ParseMsRange(const std::string& text, MsRange& range, uint32_t unitMs = 1);

}  // namespace velcora::sim
