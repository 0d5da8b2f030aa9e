#include "sim/sim_robot.h"

#include <chrono>
#include <cstdio>

#include "link/handshake.h"

namespace velcora::sim {

namespace {

constexpr uint32_t kKeepAliveMs = 1000;
constexpr int32_t kHeaderSize = 6;
constexpr int32_t kResponseLimit = 140;

}  // namespace

CSimRobot::CSimRobot(platform::Reactor& reactor, SimOptions options)
    : reactor_(reactor), options_(std::move(options)) {
    random_ = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
              0x9E3779B97F4A7C15ull;
}

CSimRobot::~CSimRobot() {
    Stop();
}

bool CSimRobot::Start() {
    listener_ = reactor_.Listen(options_.listenAddress, options_.port,
                                [this](platform::SocketId, uint16_t event, int) {
                                    if (event == platform::kEventAccept)
                                        OnAccept();
                                });
    if (listener_ == platform::kNoSocket) {
        return false;
    }
    port_ = reactor_.LocalPort(listener_);
    lastTick_ = reactor_.Now();
    timer_ = platform::ScopedTimer(reactor_, kTickMs, [this] { Tick(); });
    Log("listening on port %u", port_);
    return true;
}

void CSimRobot::Stop() {
    timer_.Stop();
    if (client_ != platform::kNoSocket) {
        reactor_.Close(client_);
        client_ = platform::kNoSocket;
    }
    if (listener_ != platform::kNoSocket) {
        reactor_.Close(listener_);
        listener_ = platform::kNoSocket;
    }
    authorised_ = false;
}

void CSimRobot::On(msg::Type type, Handler handler) {
    handlers_[type] = std::move(handler);
}

void CSimRobot::OnTick(TickHandler handler) {
    ticks_.push_back(std::move(handler));
}

void CSimRobot::OnSession(std::function<void()> handler) {
    sessionHandlers_.push_back(std::move(handler));
}

void CSimRobot::Log(const char* format, ...) {
    if (!options_.verbose)
        return;
    std::va_list args;
    va_start(args, format);
    std::fprintf(stderr, "velcora-robot-sim: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
}

int CSimRobot::Received(msg::Type type) const {
    auto it = received_.find(type);
    return it == received_.end() ? 0 : it->second;
}

void CSimRobot::OnAccept() {
    uint32_t peer = 0;
    const platform::SocketId socket = reactor_.Accept(
        listener_,
        [this](platform::SocketId id, uint16_t event, int error) {
            OnClientEvent(id, event, error);
        },
        &peer);
    if (socket == platform::kNoSocket)
        return;
    // One console at a time, like the robot: a new connection replaces the old.
    if (client_ != platform::kNoSocket)
        Drop("replaced by a new connection");
    client_ = socket;
    ++connections_;
    reactor_.SetNoDelay(socket);
    in_.Clear();
    out_.Clear();
    openFrame_ = -1;
    authorised_ = false;
    acceptedAt_ = reactor_.Now();
    lastSend_ = acceptedAt_;
    Log("console connected from %u.%u.%u.%u", peer & 0xFF, (peer >> 8) & 0xFF, (peer >> 16) & 0xFF,
        peer >> 24);
    if (options_.silent) {
        Log("silent: sending nothing");
        return;
    }
    if (options_.zeroChallenge) {
        challenge_ = 0;
    } else {
        do {
            random_ = random_ * 6364136223846793005ull + 1442695040888963407ull;
            challenge_ = static_cast<uint32_t>(random_ >> 32);
        } while (challenge_ == 0);
    }
    CMemoryStream body;
    WriteU32(body, challenge_);
    Send(msg::kAuth, body.View());
    Log("challenge %08x sent", challenge_);
}

void CSimRobot::OnClientEvent(platform::SocketId socket, uint16_t event, int error) {
    if (socket != client_)
        return;
    if (event == platform::kEventRead) {
        ReceiveAll();
    } else if (event == platform::kEventWrite) {
        Flush();
    } else if (event == platform::kEventClose) {
        Drop(error ? "connection broken" : "console closed the connection");
    }
}

void CSimRobot::ReceiveAll() {
    const int32_t waiting = reactor_.Available(client_);
    if (waiting <= 0)
        return;
    const int32_t old = in_.Size();
    if (!in_.SetSize(old + waiting)) {
        Drop("out of memory");
        return;
    }
    const int32_t got = reactor_.Receive(client_, in_.Data() + old, waiting);
    in_.SetSize(old + std::max(got, 0));
    if (got == 0) {
        Drop("console closed the connection");
        return;
    }
    Parse();
}

void CSimRobot::OnFrame(FrameObserver observer) {
    frameObservers_.push_back(std::move(observer));
}

void CSimRobot::Parse() {
    const platform::SocketId session = client_;
    in_.Seek(0, kSeekSet);
    while (client_ == session && in_.Size() - in_.Position() >= kHeaderSize) {
        const int32_t start = in_.Position();
        const msg::Type type = ReadU16(in_);
        const int32_t length = ReadI32(in_);
        if (length < 0 || length > kMaxFrameLength) {
            Drop("malformed frame length");
            return;
        }
        const int64_t end = static_cast<int64_t>(start) + kHeaderSize + length;
        if (end > in_.Size()) {
            in_.Seek(start, kSeekSet);
            break;
        }
        ++received_[type];
        if (!frameObservers_.empty()) {
            const std::string_view payload(
                reinterpret_cast<const char*>(in_.Data()) + start + kHeaderSize,
                static_cast<std::size_t>(length));
            for (const auto& observe : frameObservers_)
                observe(type, payload);
        }
        if (type == msg::kAuth) {
            OnResponse(ReadBytes(in_, length));
        } else if (type == msg::kKeepAlive) {
            // Nothing to do: any byte is a sign of life.
        } else if (!authorised_) {
            Log("type %04x before authorisation, ignored", type);
        } else if (auto it = handlers_.find(type); it != handlers_.end()) {
            Log("type %04x, %d bytes", type, length);
            auto handler = it->second;
            // The handler sees its payload alone: reading past it gives zeros,
            // never the next frame.
            CSubStream payload(in_, start + kHeaderSize, length);
            handler(payload, length);
        } else {
            Log("type %04x, %d bytes: not handled", type, length);
        }
        if (client_ != session)
            return;  // a handler or the handshake dropped the connection
        in_.Seek(static_cast<int32_t>(end), kSeekSet);
    }
    in_.DiscardConsumed();
}

void CSimRobot::OnResponse(const std::string& response) {
    // An empty password is answered with nothing at all, not even the seed bytes.
    const std::string expected = options_.password.empty()
                                     ? std::string()
                                     : Scramble(challenge_, options_.password, kResponseLimit);
    const bool accepted = !options_.refusePassword && challenge_ != 0 && response == expected;
    Send(msg::kAuthResult, std::string(1, accepted ? '\1' : '\0'));
    Log("password %s", accepted ? "accepted" : "refused");
    if (!accepted)
        return;
    authorised_ = true;
    ++sessions_;
    for (auto& h : sessionHandlers_)
        h();
    if (options_.badLength) {
        CMemoryStream bad;
        WriteU16(bad, msg::kStatus);
        WriteI32(bad, kMaxFrameLength + 1);
        const std::string bytes(bad.View());
        out_.Seek(0, kSeekEnd);
        WriteBytes(out_, bytes);
        Flush();
        Log("sent a frame header with length %d", kMaxFrameLength + 1);
    }
}

CStream& CSimRobot::BeginFrame(msg::Type type) {
    out_.Seek(0, kSeekEnd);
    WriteU16(out_, type);
    openFrame_ = out_.Size();
    WriteI32(out_, 0);
    return out_;
}

bool CSimRobot::EndFrame() {
    if (openFrame_ < 2)
        return false;
    const int32_t length = out_.Size() - openFrame_ - 4;
    out_.Seek(openFrame_, kSeekSet);
    WriteI32(out_, length);
    out_.Seek(0, kSeekEnd);
    openFrame_ = -1;
    if (client_ == platform::kNoSocket) {
        out_.Clear();
        return false;
    }
    lastSend_ = reactor_.Now();
    Flush();
    return true;
}

bool CSimRobot::Send(msg::Type type, std::string_view payload) {
    if (client_ == platform::kNoSocket || options_.silent)
        return false;
    WriteBytes(BeginFrame(type), payload);
    return EndFrame();
}

void CSimRobot::Flush() {
    // The sent part is dropped from the front at once; a robot's queue is short.
    while (client_ != platform::kNoSocket && out_.Size() > 0 && openFrame_ < 0) {
        const int32_t sent = reactor_.Send(client_, out_.Data(), out_.Size());
        if (sent <= 0) {
            if (sent < 0)
                Drop("send failed");
            return;
        }
        out_.Seek(sent, kSeekSet);
        out_.DiscardConsumed();
    }
}

void CSimRobot::Drop(const char* why) {
    if (client_ == platform::kNoSocket)
        return;
    Log("connection dropped: %s", why);
    reactor_.Close(client_);
    client_ = platform::kNoSocket;
    authorised_ = false;
    in_.Clear();
    out_.Clear();
    openFrame_ = -1;
}

void CSimRobot::Tick() {
    const uint32_t now = reactor_.Now();
    const uint32_t elapsed = now - lastTick_;
    lastTick_ = now;
    for (auto& t : ticks_)
        t(elapsed);
    if (client_ == platform::kNoSocket)
        return;
    if (options_.dropAfterMs && now - acceptedAt_ >= options_.dropAfterMs) {
        Drop("--drop-after reached");
        return;
    }
    // A console gives up on a robot that says nothing for four seconds.
    if (authorised_ && now - lastSend_ >= kKeepAliveMs)
        Send(msg::kKeepAlive, {});
    Flush();
}

}  // namespace velcora::sim
