// The event source of the one UI thread: socket readiness, host lookups,
// timers and the millisecond tick. Logic never reads a clock or a socket
// directly; it is handed events by whichever reactor the program runs on (the
// Qt event loop, a poll loop, or a test that drives everything by hand).
//
// Socket events follow the desktop notification model the link was written
// for: "connect" once when a connect finishes (with an error code when it
// failed), "read" whenever data waits, "write" once the socket can take more
// after a send was refused, "close" once when the peer is gone, and "accept"
// on a listening socket. Every event carries the socket's handle; a handle is
// never reused, so events for a socket closed meanwhile are easy to tell.
//
// This header is self-contained (no out-of-line code) so that UI-free
// libraries can program against it without linking any implementation.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace velcora::platform {

using SocketId = int32_t;
inline constexpr SocketId kNoSocket = -1;
using LookupId = uint32_t;
inline constexpr LookupId kNoLookup = 0;
using TimerId = uint32_t;
inline constexpr TimerId kNoTimer = 0;

// An IPv4 address in network order; all ones means none.
inline constexpr uint32_t kNoAddress = 0xFFFFFFFFu;

// Event codes (the values of the desktop notification masks).
enum SocketEvent : uint16_t {
    kEventRead = 0x01,
    kEventWrite = 0x02,
    kEventAccept = 0x08,
    kEventConnect = 0x10,
    kEventClose = 0x20,
};

// Outcome of a non-blocking operation that may have to wait.
enum class IoResult { Done, WouldBlock, Failed };

class Reactor {
  public:
    // error is 0 for a clean event, an errno value otherwise.
    using SocketHandler = std::function<void(SocketId socket, uint16_t event, int error)>;
    // error is 0 on success; address is the first IPv4 address, network order.
    using LookupHandler = std::function<void(LookupId lookup, int error, uint32_t address)>;
    using Task = std::function<void()>;

    virtual ~Reactor() = default;

    // The millisecond tick; wraps past 2^32 like the desktop tick count.
    virtual uint32_t Now() const = 0;

    // --- client sockets
    // A non-blocking TCP socket whose events go to `handler`; kNoSocket on failure.
    virtual SocketId OpenTcp(SocketHandler handler) = 0;
    virtual bool SetNoDelay(SocketId socket) = 0;
    // Starts connecting; Done and WouldBlock both mean a connect event follows.
    virtual IoResult Connect(SocketId socket, uint32_t address, uint16_t port) = 0;
    // Bytes sent (> 0), 0 when the socket cannot take more now (a write event
    // follows once it can), -1 on failure.
    virtual int32_t Send(SocketId socket, const void* data, int32_t count) = 0;
    // Bytes received (> 0), 0 when the peer has closed, -1 when nothing waits
    // or on failure.
    virtual int32_t Receive(SocketId socket, void* data, int32_t count) = 0;
    // Bytes waiting to be received; -1 on failure.
    virtual int32_t Available(SocketId socket) = 0;
    // Closes the socket; no event for it is delivered afterwards.
    virtual void Close(SocketId socket) = 0;

    // --- listening sockets
    // Listens on address:port (port 0 picks a free one, see LocalPort); accept
    // events go to `handler`. kNoSocket on failure.
    virtual SocketId Listen(uint32_t address, uint16_t port, SocketHandler handler) = 0;
    // Takes one waiting connection as a new socket whose events go to `handler`;
    // kNoSocket when none waits.
    virtual SocketId Accept(SocketId listener, SocketHandler handler, uint32_t* peerAddress) = 0;
    virtual uint16_t LocalPort(SocketId socket) = 0;

    // --- host lookups, answered later on this thread
    // kNoLookup when the request could not be made.
    virtual LookupId LookupHost(const std::string& host, LookupHandler handler) = 0;
    // No answer is delivered for a cancelled lookup.
    virtual void CancelLookup(LookupId lookup) = 0;

    // --- timers and tasks
    // Calls `task` every `intervalMs` until stopped.
    virtual TimerId StartTimer(uint32_t intervalMs, Task task) = 0;
    virtual void StopTimer(TimerId timer) = 0;
    // Runs `task` on this thread soon (after the current event).
    virtual void Post(Task task) = 0;

    // --- the loop
    // Handles events until `done` holds (checked before waiting and after
    // every event) or `timeoutMs` has passed. Returns whether `done` held.
    virtual bool RunUntil(const std::function<bool()>& done, uint32_t timeoutMs) = 0;
};

// Stops a timer when it goes out of scope.
class ScopedTimer {
  public:
    ScopedTimer() = default;
    ScopedTimer(Reactor& reactor, uint32_t intervalMs, Reactor::Task task)
        : reactor_(&reactor), id_(reactor.StartTimer(intervalMs, std::move(task))) {}
    ~ScopedTimer() { Stop(); }
    ScopedTimer(ScopedTimer&& o) noexcept : reactor_(o.reactor_), id_(o.id_) { o.id_ = kNoTimer; }
    ScopedTimer& operator=(ScopedTimer&& o) noexcept {
        if (this != &o) {
            Stop();
            reactor_ = o.reactor_;
            id_ = o.id_;
            o.id_ = kNoTimer;
        }
        return *this;
    }
    ScopedTimer(const ScopedTimer&) = delete;
    ScopedTimer& operator=(const ScopedTimer&) = delete;
    void Stop() {
        if (reactor_ && id_ != kNoTimer) {
            reactor_->StopTimer(id_);
        }
        id_ = kNoTimer;
    }
    bool Active() const { return id_ != kNoTimer; }

  private:
    Reactor* reactor_ = nullptr;
    TimerId id_ = kNoTimer;
};

// Parses a dotted IPv4 address ("a.b.c.d", each part 0..255) into network order.
inline bool ParseIpv4(const std::string& text, uint32_t& address) {
    uint32_t parts[4] = {};
    int part = 0;
    int digits = 0;
    for (char ch : text) {
        if (ch >= '0' && ch <= '9') {
            if (++digits > 3)
                return false;
            parts[part] = parts[part] * 10 + static_cast<uint32_t>(ch - '0');
            if (parts[part] > 255)
                return false;
        } else if (ch == '.' && digits > 0 && part < 3) {
            ++part;
            digits = 0;
        } else {
            return false;
        }
    }
    if (part != 3 || digits == 0)
        return false;
    // Network order: the first part is the lowest-addressed byte.
    const uint8_t bytes[4] = {static_cast<uint8_t>(parts[0]), static_cast<uint8_t>(parts[1]),
                              static_cast<uint8_t>(parts[2]), static_cast<uint8_t>(parts[3])};
    address = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
              (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return true;
}

// 127.0.0.1 in network order on a little-endian machine.
inline constexpr uint32_t kLoopback = 0x0100007Fu;

}  // namespace velcora::platform
