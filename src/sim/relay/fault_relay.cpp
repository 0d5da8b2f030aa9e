#include "sim/relay/fault_relay.h"

#include <algorithm>
#include <cstdio>

namespace velcora::sim {

namespace {

constexpr uint32_t kPumpMs = 5;
constexpr int32_t kReadChunk = 65536;
// Frames the link itself can never accept: past this the relay stops
// tracking the stream rather than guess.
constexpr int64_t kMaxFrame = 20000000;

}  // namespace

bool ParseMsRange(const std::string& text, MsRange& range, uint32_t unitMs) {
    auto number = [](const std::string& s, uint32_t& out) {
        if (s.empty() || s.size() > 9)
            return false;
        uint32_t v = 0;
        for (char c : s) {
            if (c < '0' || c > '9')
                return false;
            v = v * 10 + static_cast<uint32_t>(c - '0');
        }
        out = v;
        return true;
    };
    const auto dash = text.find('-');
    uint32_t a = 0, b = 0;
    if (dash == std::string::npos) {
        if (!number(text, a))
            return false;
        b = a;
    } else if (!number(text.substr(0, dash), a) || !number(text.substr(dash + 1), b) || b < a) {
        return false;
    }
    if (uint64_t{b} * unitMs > 0xFFFFFFFFull)
        return false;
    range = {a * unitMs, b * unitMs};
    return true;
}

CFaultRelay::CFaultRelay(platform::Reactor& reactor, RelayOptions options, RelayLog log)
    : reactor_(reactor), options_(options), log_(std::move(log)), random_(options.seed) {}

CFaultRelay::~CFaultRelay() {
    Stop();
}

bool CFaultRelay::Start() {
    listener_ = reactor_.Listen(options_.listenAddress, options_.listenPort,
                                [this](platform::SocketId, uint16_t event, int) {
                                    if (event == platform::kEventAccept)
                                        OnAccept();
                                });
    if (listener_ == platform::kNoSocket)
        return false;
    port_ = reactor_.LocalPort(listener_);
    started_ = reactor_.Now();
    Schedule();
    timer_ = platform::ScopedTimer(reactor_, kPumpMs, [this] { Pump(); });
    return true;
}

void CFaultRelay::Stop() {
    timer_.Stop();
    if (pair_)
        ClosePair("relay stopped");
    if (listener_ != platform::kNoSocket)
        reactor_.Close(listener_);
    listener_ = platform::kNoSocket;
}

uint32_t CFaultRelay::Pick(const MsRange& r) {
    if (r.max <= r.min)
        return r.min;
    return r.min + static_cast<uint32_t>(random_() % (uint64_t{r.max} - r.min + 1));
}

void CFaultRelay::Schedule() {
    const uint32_t now = Elapsed();
    if (!options_.cutEvery.Off())
        nextCut_ = now + std::max<uint32_t>(1, Pick(options_.cutEvery));
    if (!options_.stallEvery.Off() && !stalled_)
        nextStall_ = now + std::max<uint32_t>(1, Pick(options_.stallEvery));
}

void CFaultRelay::Log(const std::string& what) {
    if (log_)
        log_(Elapsed(), what);
}

void CFaultRelay::CutNow() {
    if (pair_) {
        ++counts_.cuts;
        ClosePair("cut");
    }
}

void CFaultRelay::OnAccept() {
    platform::SocketId console = reactor_.Accept(
        listener_,
        [this](platform::SocketId s, uint16_t event, int) {
            if (pair_ && s == pair_->console)
                OnConsole(event);
        },
        nullptr);
    if (console == platform::kNoSocket)
        return;
    // One console at a time: a new connection replaces an old one the
    // console has given up on.
    if (pair_)
        ClosePair("replaced by a new connection");
    pair_ = std::make_unique<Pair>();
    pair_->number = ++counts_.connections;
    pair_->console = console;
    pair_->up.faults = options_.up;
    pair_->down.faults = options_.down;
    reactor_.SetNoDelay(console);
    pair_->robot = reactor_.OpenTcp([this](platform::SocketId s, uint16_t event, int error) {
        if (pair_ && s == pair_->robot)
            OnRobot(event, error);
    });
    if (pair_->robot == platform::kNoSocket ||
        reactor_.Connect(pair_->robot, options_.targetAddress, options_.targetPort) ==
            platform::IoResult::Failed) {
        ClosePair("cannot reach the robot");
        return;
    }
    reactor_.SetNoDelay(pair_->robot);
    Log("connection " + std::to_string(pair_->number) + " accepted");
}

void CFaultRelay::OnConsole(uint16_t event) {
    if (event == platform::kEventRead)
        Read(pair_->console, pair_->up, false);
    else if (event == platform::kEventWrite)
        pair_->down.writeBlocked = false;
    else if (event == platform::kEventClose)
        ClosePair("console closed");
    if (pair_)
        Pump();
}

void CFaultRelay::OnRobot(uint16_t event, int error) {
    if (event == platform::kEventConnect) {
        if (error != 0) {
            ClosePair("cannot reach the robot");
            return;
        }
        pair_->robotConnected = true;
    } else if (event == platform::kEventRead) {
        Read(pair_->robot, pair_->down, true);
    } else if (event == platform::kEventWrite) {
        pair_->up.writeBlocked = false;
    } else if (event == platform::kEventClose) {
        ClosePair("robot closed");
        return;
    }
    if (pair_)
        Pump();
}

void CFaultRelay::Read(platform::SocketId from, Direction& d, bool down) {
    std::string buffer(kReadChunk, '\0');
    const int32_t n = reactor_.Receive(from, buffer.data(), kReadChunk);
    if (n == 0) {
        ClosePair(down ? "robot closed" : "console closed");
        return;
    }
    if (n < 0)
        return;
    buffer.resize(static_cast<std::size_t>(n));
    (down ? counts_.bytesDown : counts_.bytesUp) += n;
    if (d.faults.corrupt > 0)
        Corrupt(d, buffer, down);
    const uint32_t now = reactor_.Now();
    uint32_t due = now + d.faults.delayMs;
    if (d.faults.jitterMs > 0)
        due += static_cast<uint32_t>(random_() % (d.faults.jitterMs + 1));
    // Bytes never overtake each other.
    if (!d.queue.empty() && static_cast<int32_t>(due - d.lastDue) < 0)
        due = d.lastDue;
    d.lastDue = due;
    d.queue.push_back({due, std::move(buffer)});
}

void CFaultRelay::Corrupt(Direction& d, std::string& bytes, bool down) {
    FrameTracker& f = d.frames;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (f.payloadLeft < 0)
            return;  // lost track of the frames: leave the rest alone
        if (f.payloadLeft == 0) {
            f.header[f.headerHave++] = static_cast<uint8_t>(bytes[i]);
            if (f.headerHave < 6)
                continue;
            f.headerHave = 0;
            f.type = static_cast<uint16_t>(f.header[0] | (f.header[1] << 8));
            const int64_t length = static_cast<int32_t>(static_cast<uint32_t>(f.header[2]) |
                                                        (static_cast<uint32_t>(f.header[3]) << 8) |
                                                        (static_cast<uint32_t>(f.header[4]) << 16) |
                                                        (static_cast<uint32_t>(f.header[5]) << 24));
            if (length < 0 || length > kMaxFrame) {
                f.payloadLeft = -1;
                return;
            }
            f.payloadLeft = length;
            // The handshake (types 0 and 1) always passes untouched.
            std::uniform_real_distribution<double> chance(0.0, 1.0);
            f.hit = length > 0 && f.type > 1 && chance(random_) < d.faults.corrupt;
            f.hitAt = f.hit ? static_cast<int64_t>(random_() % static_cast<uint64_t>(length)) : -1;
            continue;
        }
        if (f.hit && f.hitAt == 0) {
            const auto flip = static_cast<uint8_t>(1u + random_() % 255u);
            bytes[i] = static_cast<char>(static_cast<uint8_t>(bytes[i]) ^ flip);
            ++counts_.corrupted;
            char text[96];
            std::snprintf(text, sizeof text, "corrupted a byte of a 0x%04X frame (%s)", f.type,
                          down ? "robot to console" : "console to robot");
            Log(text);
            f.hit = false;
        }
        --f.hitAt;
        --f.payloadLeft;
    }
}

bool CFaultRelay::Flush(platform::SocketId to, Direction& d) {
    const uint32_t now = reactor_.Now();
    int writes = 0;
    while (!d.queue.empty() && !d.writeBlocked) {
        Pending& p = d.queue.front();
        if (static_cast<int32_t>(now - p.due) < 0)
            break;
        int32_t allowed = static_cast<int32_t>(p.bytes.size());
        if (d.faults.rateKbit > 0) {
            if (static_cast<int32_t>(now - d.rateFree) < 0)
                break;
            // At most what the rate allows in one pump period, at least a byte.
            const int64_t perPump = int64_t{d.faults.rateKbit} * kPumpMs / 8;
            allowed = static_cast<int32_t>(
                std::clamp<int64_t>(perPump, 1, static_cast<int64_t>(p.bytes.size())));
        }
        if (d.faults.split)
            allowed = 1;
        const int32_t sent = reactor_.Send(to, p.bytes.data(), allowed);
        if (sent < 0)
            return false;
        if (sent == 0) {
            d.writeBlocked = true;
            break;
        }
        if (d.faults.rateKbit > 0) {
            const uint32_t base = static_cast<int32_t>(now - d.rateFree) > 0 ? now : d.rateFree;
            d.rateFree = base + static_cast<uint32_t>(int64_t{sent} * 8 / d.faults.rateKbit);
        }
        p.bytes.erase(0, static_cast<std::size_t>(sent));
        if (p.bytes.empty())
            d.queue.pop_front();
        // One byte per write, but never a busy loop over megabytes.
        if (d.faults.split && ++writes >= 4096)
            break;
    }
    return true;
}

void CFaultRelay::Pump() {
    const uint32_t now = Elapsed();
    if (!options_.cutEvery.Off() && static_cast<int32_t>(now - nextCut_) >= 0) {
        if (pair_) {
            ++counts_.cuts;
            ClosePair("cut");
        }
        nextCut_ = now + std::max<uint32_t>(1, Pick(options_.cutEvery));
    }
    if (!options_.stallEvery.Off()) {
        if (!stalled_ && static_cast<int32_t>(now - nextStall_) >= 0) {
            stalled_ = true;
            const uint32_t length = std::max<uint32_t>(1, Pick(options_.stallFor));
            stallEnds_ = now + length;
            ++counts_.stalls;
            Log("robot silent for " + std::to_string(length) + " ms");
        } else if (stalled_ && static_cast<int32_t>(now - stallEnds_) >= 0) {
            stalled_ = false;
            Log("robot speaks again");
            nextStall_ = now + std::max<uint32_t>(1, Pick(options_.stallEvery));
        }
    }
    if (!pair_)
        return;
    if (pair_->robotConnected && !Flush(pair_->robot, pair_->up)) {
        ClosePair("cannot write to the robot");
        return;
    }
    if (!stalled_ && !Flush(pair_->console, pair_->down))
        ClosePair("cannot write to the console");
}

void CFaultRelay::ClosePair(const char* why) {
    if (!pair_)
        return;
    std::unique_ptr<Pair> p = std::move(pair_);
    if (p->console != platform::kNoSocket)
        reactor_.Close(p->console);
    if (p->robot != platform::kNoSocket)
        reactor_.Close(p->robot);
    Log("connection " + std::to_string(p->number) + " closed: " + why);
}

}  // namespace velcora::sim
