#include "link/robot_connection.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <new>

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
            ClearReceived();
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

namespace {

uint32_t LoadLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

void CRobotConnection::Receive() {
    // Reads while the socket fills all the room offered (more may wait), up to
    // a bound so that a flood cannot hold the thread; what is left behind
    // brings another read event. A read event that arrives while a handler
    // runs (a wait for the robot's reply inside a callback) is served at once:
    // the new frames are dispatched from inside that handler, after the one
    // it is handling.
    constexpr int kReadsPerEvent = 16;
    for (int reads = 0; reads < kReadsPerEvent && socket_ != platform::kNoSocket; ++reads) {
        bool filled = false;
        if (!ReceiveOnce(filled)) {
            return;
        }
        if (Parse() && rxBegin_ == rxEnd_ && parseDepth_ == 0) {
            if (!ReceiveBlockHeld()) {
                rxBegin_ = rxEnd_ = 0;  // else the next read goes on after what is held
            }
            if (rxCapacity_ > kReceiveKeep) {
                ClearReceived();  // give back a large frame's block
            }
        }
        if (!filled) {
            return;
        }
    }
}

bool CRobotConnection::ReceiveOnce(bool& filled) {
    // The room offered covers the rest of a frame already begun, so that a
    // large frame arrives in as few reads as the socket allows.
    // A block a tap holds is filled further in smaller reads rather than
    // given up early: the reads stay within a few blocks that remain in the
    // cache, and what the tap holds stays close to what it needs.
    int32_t room = ReceiveBlockHeld() ? kHeldRoom : kReceiveRoom;
    const int32_t kept = rxEnd_ - rxBegin_;
    if (kept >= kHeaderSize) {
        const int32_t length = static_cast<int32_t>(LoadLE32(rx_.get() + rxBegin_ + 2));
        if (length >= 0 && length <= kMaxFrameLength) {
            room = std::max(room, kHeaderSize + length - kept);
        }
    }
    if (!MakeReceiveRoom(room)) {
        Fail();
        return false;
    }
    const int32_t offered = rxCapacity_ - rxEnd_;
    const int32_t got = reactor_.Receive(socket_, rx_.get() + rxEnd_, offered);
    if (got <= 0) {
        if (got == 0) {
            Fail();  // the peer has closed
        }
        return false;  // nothing waited
    }
    filled = got == offered;
    rxEnd_ += got;
    received_ += got;
    const uint32_t now = reactor_.Now();
    lastActivity_ = now;
    lastKeepAlive_ = now;
    return true;
}

namespace {

// True when `block` has no holder but the caller. What another thread did
// with the block before letting go is seen before the caller writes to it.
bool SoleHolder(const std::shared_ptr<uint8_t[]>& block) {
    if (block.use_count() > 1) {
        return false;
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    return true;
}

}  // namespace

bool CRobotConnection::ReceiveBlockHeld() const {
    return rx_ && !SoleHolder(rx_);
}

void CRobotConnection::SetFrameTap(IFrameTap* tap) {
    tap_ = tap;
    if (!tap_) {
        spares_.clear();
    }
}

void CRobotConnection::KeepSpare(Block block) {
    constexpr std::size_t kMaxSpares = 8;
    if (tap_ && block.bytes == kTapBlock && spares_.size() < kMaxSpares) {
        spares_.push_back(std::move(block));
    }
}

std::shared_ptr<uint8_t[]> CRobotConnection::TakeSpare(int32_t& bytes) {
    for (auto it = spares_.begin(); it != spares_.end(); ++it) {
        if (it->bytes >= bytes && SoleHolder(it->data)) {
            bytes = it->bytes;
            std::shared_ptr<uint8_t[]> block = std::move(it->data);
            spares_.erase(it);
            return block;
        }
    }
    return nullptr;
}

bool CRobotConnection::MakeReceiveRoom(int32_t bytes) {
    // Bytes after rxEnd_ are nobody's yet, even in a block a tap holds.
    if (rxCapacity_ - rxEnd_ >= bytes) {
        return true;
    }
    const int32_t kept = rxEnd_ - rxBegin_;
    // While handlers run, the bytes before rxBegin_ may be the payload one of
    // them is reading: they are neither overwritten nor freed then. Nor are
    // they while a tap holds the block.
    if (parseDepth_ == 0 && rxCapacity_ - kept >= bytes && !ReceiveBlockHeld()) {
        // Moving the unparsed tail to the front makes room enough.
        if (kept > 0) {
            std::memmove(rx_.get(), rx_.get() + rxBegin_, static_cast<std::size_t>(kept));
        }
        rxBegin_ = 0;
        rxEnd_ = kept;
        return true;
    }
    if (bytes > std::numeric_limits<int32_t>::max() - kept) {
        return false;
    }
    int32_t capacity = kept + bytes;
    std::shared_ptr<uint8_t[]> block;
    if (tap_) {
        capacity = std::max(capacity, kTapBlock);
        block = TakeSpare(capacity);
    }
    if (!block) {
        uint8_t* raw = new (std::nothrow) uint8_t[static_cast<std::size_t>(capacity)];
        if (!raw) {
            return false;
        }
        try {
            block.reset(raw);
        } catch (const std::bad_alloc&) {
            return false;  // reset has freed the bytes
        }
    }
    if (kept > 0) {
        std::memcpy(block.get(), rx_.get() + rxBegin_, static_cast<std::size_t>(kept));
    }
    RetireReceiveBlock();
    rx_ = std::move(block);
    rxCapacity_ = capacity;
    rxBegin_ = 0;
    rxEnd_ = kept;
    return true;
}

void CRobotConnection::RetireReceiveBlock() {
    if (rx_) {
        Block old{std::move(rx_), rxCapacity_};
        if (parseDepth_ > 0) {
            retired_.push_back(std::move(old));  // let go once the handlers have returned
        } else {
            KeepSpare(std::move(old));
        }
    }
    rx_.reset();
    rxCapacity_ = 0;
}

void CRobotConnection::ClearReceived() {
    rxBegin_ = rxEnd_ = 0;
    RetireReceiveBlock();
}

bool CRobotConnection::Parse() {
    const uint32_t generation = generation_;
    ++parseDepth_;
    bool ok = true;
    // A complete frame that ends exactly at the end of the data (an empty
    // payload included) is taken at once rather than on the next read.
    while (rxEnd_ - rxBegin_ >= kHeaderSize) {
        const uint8_t* frame = rx_.get() + rxBegin_;
        const msg::Type type = static_cast<msg::Type>(frame[0] | (frame[1] << 8));
        const int32_t length = static_cast<int32_t>(LoadLE32(frame + 2));
        if (length < 0 || length > kMaxFrameLength) {
            Fail();
            ok = false;
            break;
        }
        if (length > rxEnd_ - rxBegin_ - kHeaderSize) {
            break;  // incomplete: kept, header included, for the next read
        }
        // Taken before anything runs, so that a read served from inside a
        // handler goes on with the next frame. The block stays where it is
        // (or is kept aside) until the outermost parse returns.
        rxBegin_ += kHeaderSize + length;
        const uint8_t* payload = frame + kHeaderSize;
        if (tap_) {
            // Stamped with the time of the read that brought its last bytes.
            tap_->OnIncomingFrame(
                lastActivity_, type,
                {reinterpret_cast<const char*>(payload), static_cast<std::size_t>(length)},
                FrameBlock{rx_, rxCapacity_});
        }
        if (type == msg::kAuth) {
            if (length >= 4) {
                OnChallenge(LoadLE32(payload));
            }
        } else if (type == msg::kAuthResult) {
            if (length >= 1) {
                OnAuthResult(payload[0]);
            }
        } else {
            if (state_ == kStateAuthorised && !robotHeard_) {
                robotHeard_ = true;
                Notify();
            }
            if (type != msg::kKeepAlive && generation == generation_) {
                dispatcher_.DispatchPayload(type, payload, length);
            }
        }
        if (generation != generation_) {
            ok = false;  // reset or failed by what ran above: the buffer is gone
            break;
        }
    }
    if (--parseDepth_ == 0) {
        for (Block& block : retired_) {
            KeepSpare(std::move(block));
        }
        retired_.clear();
    }
    return ok;
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
    ClearReceived();
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
