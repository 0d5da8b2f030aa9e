#include "link/robot_connection.h"

#include <limits>

#include "link/handshake.h"
#include "link/text_codec.h"

namespace velcora {

std::string_view ConnectionStatusText(int32_t state, bool robotHeard) {
    switch (state) {
        case kStateFailed:
            return "Ошибка подключения!";
        case kStateRefused:
            return "Неверный пароль!";
        case kStateRetryWait:
            return "Ошибка!";
        case kStateLookup:
            return "Определение IP-адреса хоста...";
        case kStateConnecting:
            return "Подключение...";
        case kStateAuthorising:
            return "Авторизация...";
        case kStateAuthorised:
            return robotHeard ? "Подключено" : "Ожидание...";
        default:
            return "";
    }
}

CRobotConnection::CRobotConnection(platform::Reactor& reactor, CMessageDispatcher& dispatcher,
                                   IRobotConnectionOwner* owner)
    : reactor_(reactor), dispatcher_(dispatcher), owner_(owner) {
    TouchAll();
}

CRobotConnection::~CRobotConnection() {
    Reset();
}

bool CRobotConnection::Connect(std::u16string_view host, uint16_t port, bool tunnel) {
    return ConnectAnsi(WideToAnsi(host), port, tunnel);
}

bool CRobotConnection::ConnectAnsi(std::string_view host, uint16_t port, bool tunnel) {
    Reset();
    host_ = std::string(host);
    if (host_.empty() || !owner_) {
        return false;
    }
    port_ = port;
    tunnel_ = tunnel;
    retries_ = 0;
    return Start();
}

void CRobotConnection::SetPassword(std::u16string_view password) {
    password_ = WideToAnsi(password);
}

void CRobotConnection::SetPasswordAnsi(std::string_view password) {
    password_ = std::string(password);
}

void CRobotConnection::Disconnect() {
    SetState(kStateIdle);
    Reset();
    if (owner_) {
        owner_->OnOperatorDisconnect();
    }
    Notify();
}

CStream& CRobotConnection::BeginFrame(msg::Type type) {
    send_.Seek(0, kSeekEnd);
    WriteU16(send_, type);
    openFrame_ = send_.Size();
    WriteU32(send_, 0);
    return send_;
}

void CRobotConnection::EndFrame() {
    if (openFrame_ < 2) {
        return;
    }
    const int32_t length = send_.Size() - openFrame_ - 4;
    if (length < 0) {
        openFrame_ = -1;
        return;
    }
    send_.Seek(openFrame_, kSeekSet);
    WriteI32(send_, length);
    send_.Seek(0, kSeekEnd);
    openFrame_ = -1;
    Flush();
    lastSend_ = reactor_.Now();
}

void CRobotConnection::Flush() {
    if (state_ < kStateAuthorising || socket_ == platform::kNoSocket) {
        return;
    }
    // A frame still being built must not leave with its placeholder length.
    const int32_t end = openFrame_ >= 2 ? openFrame_ - 2 : send_.Size();
    if (tap_) {
        TapOutgoing(end);
    }
    // Keep sending while the socket takes it, so that a large transfer is not
    // held to one chunk per tick; a refused send brings a write event later.
    while (end - sentCount_ > 0) {
        const int32_t chunk = std::min(end - sentCount_, kMaxSendChunk);
        const int32_t sent = reactor_.Send(socket_, send_.Data() + sentCount_, chunk);
        if (sent <= 0) {
            return;
        }
        sentCount_ += sent;
        if (sentCount_ >= send_.Size()) {
            send_.Clear();
            sentCount_ = 0;
            tapped_ = 0;
            return;
        }
        if (sent < chunk) {
            return;
        }
    }
}

void CRobotConnection::Tick() {
    Flush();
    if (state_ == kStateIdle || state_ == kStateFailed || state_ == kStateRefused) {
        return;
    }
    const uint32_t now = reactor_.Now();
    const uint32_t idle = now - lastActivity_;
    if (state_ == kStateRetryWait) {
        if (idle > kRetryDelayMs) {
            Start();
        }
        return;
    }
    const uint32_t timeout =
        (state_ == kStateAuthorising && tunnel_) ? kTunnelAuthTimeoutMs : kTimeoutMs;
    if (idle > timeout) {
        Fail();
        return;
    }
    if (state_ == kStateAuthorised && CanSendPeriodic() &&
        (now - lastSend_ > kKeepAliveMs || now - lastKeepAlive_ > kKeepAliveMs)) {
        lastSend_ = now;
        lastKeepAlive_ = now;
        BeginFrame(msg::kKeepAlive);
        EndFrame();
    }
}

bool CRobotConnection::Start() {
    if (lookup_ != platform::kNoLookup) {
        reactor_.CancelLookup(lookup_);
        lookup_ = platform::kNoLookup;
    }
    robotHeard_ = false;
    uint32_t address = 0;
    if (platform::ParseIpv4(host_, address)) {
        return OpenSocket(address);
    }
    SetState(kStateLookup);
    TouchAll();
    lookup_ = reactor_.LookupHost(host_, [this](platform::LookupId id, int error, uint32_t addr) {
        OnLookupDone(id, error, addr);
    });
    // Even when the request was refused the owner learns of state 4; its
    // time-out then ends the attempt.
    Notify();
    return lookup_ != platform::kNoLookup;
}

void CRobotConnection::OnLookupDone(platform::LookupId lookup, int error, uint32_t address) {
    if (lookup == platform::kNoLookup || lookup != lookup_) {
        return;  // an answer for an attempt given up meanwhile
    }
    lookup_ = platform::kNoLookup;
    if (error != 0 || address == platform::kNoAddress) {
        Fail();
        return;
    }
    OpenSocket(address);
}

bool CRobotConnection::OpenSocket(uint32_t address) {
    address_ = address;
    TouchAll();
    const platform::SocketId socket =
        reactor_.OpenTcp([this](platform::SocketId id, uint16_t event, int error) {
            OnSocketEvent(id, event, error);
        });
    if (socket == platform::kNoSocket) {
        return false;
    }
    // Small control frames must leave at once.
    reactor_.SetNoDelay(socket);
    if (reactor_.Connect(socket, address, port_) == platform::IoResult::Failed) {
        reactor_.Close(socket);
        return false;
    }
    socket_ = socket;
    SetState(kStateConnecting);
    Notify();
    if (owner_) {
        owner_->OnRobotAddress(address);
    }
    return true;
}

void CRobotConnection::OnSocketEvent(platform::SocketId socket, uint16_t event, int error) {
    if (socket == platform::kNoSocket || socket != socket_) {
        return;
    }
    // An event that carries an error is not acted on; the time-outs recover.
    if (error != 0) {
        return;
    }
    switch (event) {
        case platform::kEventConnect:
            SetState(kStateAuthorising);
            TouchAll();
            // Whatever was queued before the connection existed is thrown away.
            receive_.Clear();
            send_.Clear();
            sentCount_ = 0;
            tapped_ = 0;
            openFrame_ = -1;
            Notify();
            break;
        case platform::kEventRead:
            Receive();
            break;
        case platform::kEventClose:
            if (state_ == kStateIdle) {
                Disconnect();
            } else {
                Fail();
            }
            break;
        case platform::kEventWrite:
            Flush();
            break;
        default:
            break;
    }
}

void CRobotConnection::Receive() {
    const int32_t waiting = reactor_.Available(socket_);
    if (waiting <= 0) {
        return;
    }
    const int32_t old = receive_.Size();
    if (waiting > std::numeric_limits<int32_t>::max() - old || !receive_.SetSize(old + waiting)) {
        Fail();
        return;
    }
    const int32_t got = reactor_.Receive(socket_, receive_.Data() + old, waiting);
    if (got <= 0) {
        receive_.SetSize(old);
        if (got == 0) {
            Fail();
        }
        return;
    }
    receive_.SetSize(old + got);
    received_ += got;
    const uint32_t now = reactor_.Now();
    lastActivity_ = now;
    lastKeepAlive_ = now;
    receive_.Seek(0, kSeekSet);
    if (Parse()) {
        receive_.DiscardConsumed();
    }
}

bool CRobotConnection::Parse() {
    const uint32_t generation = generation_;
    // A complete frame that ends exactly at the end of the data (an empty
    // payload included) is taken at once rather than on the next read.
    while (receive_.Size() - receive_.Position() >= kHeaderSize) {
        const int32_t start = receive_.Position();
        const msg::Type type = ReadU16(receive_);
        const int32_t length = ReadI32(receive_);
        if (length < 0 || length > kMaxFrameLength) {
            Fail();
            return false;
        }
        const int64_t end = static_cast<int64_t>(start) + kHeaderSize + length;
        if (end > receive_.Size()) {
            receive_.Seek(start, kSeekSet);
            break;  // incomplete: kept, header included, for the next read
        }
        if (tap_) {
            tap_->OnFrame(reactor_.Now(), FrameDirection::kIncoming, type,
                          {reinterpret_cast<const char*>(receive_.Data()) + start + kHeaderSize,
                           static_cast<std::size_t>(length)});
        }
        if (type == msg::kAuth) {
            if (length >= 4) {
                OnChallenge(ReadU32(receive_));
            }
        } else if (type == msg::kAuthResult) {
            if (length >= 1) {
                OnAuthResult(ReadU8(receive_));
            }
        } else {
            if (state_ == kStateAuthorised && !robotHeard_) {
                robotHeard_ = true;
                Notify();
            }
            if (type != msg::kKeepAlive && generation == generation_) {
                receive_.Seek(start, kSeekSet);
                dispatcher_.DispatchMessage(receive_);
            }
        }
        if (generation != generation_) {
            return false;  // reset or failed by what ran above: the buffer is gone
        }
        receive_.Seek(static_cast<int32_t>(end), kSeekSet);
    }
    return true;
}

void CRobotConnection::OnChallenge(uint32_t challenge) {
    if (challenge == 0) {
        Fail();
        return;
    }
    // No password at all: the answer is empty, without even the seed bytes.
    const std::string response =
        password_.empty() ? std::string() : Scramble(challenge, password_, kResponseLimit);
    CStream& s = BeginFrame(msg::kAuth);
    WriteBytes(s, response);
    EndFrame();
}

void CRobotConnection::OnAuthResult(uint8_t result) {
    if (result == 0) {
        Reset();
        SetState(kStateRefused);
        Notify();
        return;
    }
    SetState(kStateAuthorised);
    retries_ = 0;
    Notify();
}

void CRobotConnection::Fail() {
    Reset();
    ++retries_;
    SetState(retries_ < kMaxFailures ? kStateRetryWait : kStateFailed);
    Notify();
}

void CRobotConnection::Reset() {
    if (lookup_ != platform::kNoLookup) {
        reactor_.CancelLookup(lookup_);
        lookup_ = platform::kNoLookup;
    }
    CloseSocket();
    send_.Clear();
    receive_.Clear();
    openFrame_ = -1;
    sentCount_ = 0;
    tapped_ = 0;
    state_ = kStateIdle;
    TouchAll();
    ++generation_;
}

void CRobotConnection::CloseSocket() {
    if (socket_ != platform::kNoSocket) {
        reactor_.Close(socket_);
        socket_ = platform::kNoSocket;
    }
}

void CRobotConnection::SetState(int32_t state) {
    if (tap_ && state != state_) {
        tap_->OnLinkState(reactor_.Now(), state, host_, port_, tunnel_);
    }
    state_ = state;
}

void CRobotConnection::TapOutgoing(int32_t end) {
    // The queue holds whole frames from tapped_ up to `end`, each shown once
    // as it is handed to the socket.
    while (end - tapped_ >= kHeaderSize) {
        const uint8_t* head = send_.Data() + tapped_;
        const auto type = static_cast<msg::Type>(head[0] | head[1] << 8);
        const uint32_t length =
            static_cast<uint32_t>(head[2]) | static_cast<uint32_t>(head[3]) << 8 |
            static_cast<uint32_t>(head[4]) << 16 | static_cast<uint32_t>(head[5]) << 24;
        if (length > static_cast<uint32_t>(end - tapped_ - kHeaderSize)) {
            break;
        }
        tap_->OnFrame(reactor_.Now(), FrameDirection::kOutgoing, type,
                      {reinterpret_cast<const char*>(head) + kHeaderSize, length});
        tapped_ += kHeaderSize + static_cast<int32_t>(length);
    }
}

void CRobotConnection::Notify() {
    if (owner_) {
        owner_->OnConnectionStateChanged();
    }
}

void CRobotConnection::TouchAll() {
    const uint32_t now = reactor_.Now();
    lastActivity_ = now;
    lastSend_ = now;
    lastKeepAlive_ = now;
}

int32_t CRobotConnection::TakeReceivedBytes() {
    const int32_t n = received_;
    received_ = 0;
    return n;
}

}  // namespace velcora
