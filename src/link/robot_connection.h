// The one TCP connection to the robot: framing in both directions, the eight
// connection states with their time-outs and retries, the keep-alive and the
// password handshake. Everything runs on the UI thread; the reactor hands in
// socket and lookup events, and the owner's 20 ms timer calls Tick.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/dispatcher.h"
#include "link/frame_tap.h"
#include "link/robot_link.h"
#include "link/stream.h"
#include "platform/reactor.h"

namespace velcora {

// What the connection tells its owner (the main window, or a command-line
// session). Called synchronously, from inside the connection's own calls.
class IRobotConnectionOwner {
  public:
    virtual ~IRobotConnectionOwner() = default;
    // The state or the robot-heard flag changed; read them from the connection.
    virtual void OnConnectionStateChanged() = 0;
    // A socket to `address` (IPv4, network order) was opened: the telnet
    // console connects its own socket to the same robot.
    virtual void OnRobotAddress(uint32_t address) { (void)address; }
    // The operator disconnected: the telnet console ends its connection too.
    virtual void OnOperatorDisconnect() {}
};

// The status-bar text of a state (UTF-8); empty for state 0.
std::string_view ConnectionStatusText(int32_t state, bool robotHeard);

class CRobotConnection : public IRobotLink {
  public:
    static constexpr int32_t kMaxFrameLength = 20000000;
    static constexpr int32_t kHeaderSize = 6;
    static constexpr int32_t kMaxSendChunk = 65536;
    static constexpr uint32_t kTimeoutMs = 4000;
    static constexpr uint32_t kTunnelAuthTimeoutMs = 10000;
    static constexpr uint32_t kRetryDelayMs = 200;
    static constexpr uint32_t kKeepAliveMs = 1000;
    static constexpr int32_t kMaxFailures = 4;
    static constexpr int32_t kResponseLimit = 140;
    // The least room offered to each read of the socket, and the largest
    // receive block kept once it is empty again (a large frame's block is
    // given back).
    static constexpr int32_t kReceiveRoom = 256 * 1024;
    static constexpr int32_t kReceiveKeep = 1024 * 1024;

    CRobotConnection(platform::Reactor& reactor, CMessageDispatcher& dispatcher,
                     IRobotConnectionOwner* owner);
    ~CRobotConnection() override;
    CRobotConnection(const CRobotConnection&) = delete;
    CRobotConnection& operator=(const CRobotConnection&) = delete;

    // Starts connecting; false when the host is empty, there is no owner, or
    // the first attempt could not even be started.
    bool Connect(std::u16string_view host, uint16_t port, bool tunnel);
    // The same with the host already in the ANSI code page.
    bool ConnectAnsi(std::string_view host, uint16_t port, bool tunnel);
    void SetPassword(std::u16string_view password);
    void SetPasswordAnsi(std::string_view password);
    const std::string& PasswordAnsi() const { return password_; }
    void Disconnect();

    // IRobotLink
    CStream& BeginFrame(msg::Type type) override;
    void EndFrame() override;
    int32_t State() const override { return state_; }
    int32_t QueuedBytes() const override { return send_.Size(); }
    CMessageDispatcher& Dispatcher() override { return dispatcher_; }

    // The 20 ms tick: sends, runs time-outs, retries and the keep-alive.
    void Tick();
    // Sends what is queued (in several calls while the socket takes it).
    void Flush();

    // Reactor events; answers for other lookups or sockets are dropped.
    void OnLookupDone(platform::LookupId lookup, int error, uint32_t address);
    void OnSocketEvent(platform::SocketId socket, uint16_t event, int error);

    bool RobotHeard() const { return robotHeard_; }
    bool Tunnel() const { return tunnel_; }
    uint32_t Address() const { return address_; }
    int32_t RetryCount() const { return retries_; }
    platform::SocketId Socket() const { return socket_; }
    platform::LookupId PendingLookup() const { return lookup_; }
    const std::string& Host() const { return host_; }
    uint16_t Port() const { return port_; }
    // Bytes received since the last call; the counter starts again at 0.
    int32_t TakeReceivedBytes();
    int32_t ReceivedBytes() const { return received_; }
    std::string_view StatusText() const { return ConnectionStatusText(state_, robotHeard_); }
    // Shows every frame and state change to `tap` (null: nobody); the tap
    // must outlive the connection or be taken away first.
    void SetFrameTap(IFrameTap* tap);
    // The size of the receive blocks while a tap is set, and the least room
    // a read is offered in a block the tap holds: a tap that keeps blocks
    // instead of copying (the recorder) then holds one for many small reads,
    // not one each.
    static constexpr int32_t kTapBlock = 256 * 1024;
    static constexpr int32_t kHeldRoom = 64 * 1024;

  private:
    bool Start();
    bool OpenSocket(uint32_t address);
    void Receive();
    // Reads once into the receive block; false when nothing more should be
    // read now. `filled` tells whether the read took all the room offered.
    bool ReceiveOnce(bool& filled);
    // Room for at least `bytes` after the unparsed data; false when out of memory.
    bool MakeReceiveRoom(int32_t bytes);
    void ClearReceived();
    void RetireReceiveBlock();
    // Whether someone besides the connection (a tap) holds the receive block:
    // then its bytes before rxEnd_ must stay as they are.
    bool ReceiveBlockHeld() const;
    struct Block {
        std::shared_ptr<uint8_t[]> data;
        int32_t bytes = 0;
    };
    // Blocks a tap still held when they were given up come back for reuse
    // once it lets go, so that recording costs no fresh memory per read.
    void KeepSpare(Block block);
    std::shared_ptr<uint8_t[]> TakeSpare(int32_t& bytes);
    // Parses whole frames from the receive buffer; false when the connection
    // was failed or reset meanwhile.
    bool Parse();
    void OnChallenge(uint32_t challenge);
    void OnAuthResult(uint8_t result);
    void Fail();
    void Reset();
    void SetState(int32_t state);
    void Notify();
    void CloseSocket();
    void TouchAll();
    void TapOutgoing(int32_t end);

    platform::Reactor& reactor_;
    CMessageDispatcher& dispatcher_;
    IRobotConnectionOwner* owner_;

    // Received bytes not yet taken as frames are [rxBegin_, rxEnd_) of one
    // block kept from read to read, so that a frame costs no allocation and
    // its payload is handed to the handlers (and a tap) where it lies.
    std::shared_ptr<uint8_t[]> rx_;
    int32_t rxCapacity_ = 0;
    int32_t rxBegin_ = 0;
    int32_t rxEnd_ = 0;
    // How many parses are running (more than one when a handler waits for
    // the robot in a nested event loop). Handlers read the block in place, so
    // while any runs the block is never compacted, and one replaced or
    // cleared is kept aside in retired_ until the outermost parse returns.
    int parseDepth_ = 0;
    std::vector<Block> retired_;
    std::vector<Block> spares_;
    CMemoryStream send_{1024};
    int32_t sentCount_ = 0;
    int32_t openFrame_ = -1;
    int32_t retries_ = 0;
    std::string password_;  // ANSI; empty = none
    bool tunnel_ = false;
    uint32_t lastActivity_ = 0;
    uint32_t lastSend_ = 0;
    uint32_t lastKeepAlive_ = 0;
    platform::SocketId socket_ = platform::kNoSocket;
    platform::LookupId lookup_ = platform::kNoLookup;
    int32_t state_ = kStateIdle;
    std::string host_;
    uint16_t port_ = 0;
    uint32_t address_ = platform::kNoAddress;
    int32_t received_ = 0;
    bool robotHeard_ = false;
    // Changes on every reset, so that a loop can tell its buffers were emptied
    // under it by a handler or the owner.
    uint32_t generation_ = 0;
    IFrameTap* tap_ = nullptr;
    // How far the send queue has been shown to the tap.
    int32_t tapped_ = 0;
};

}  // namespace velcora
