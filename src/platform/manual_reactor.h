// A reactor driven entirely by its caller, for tests: the test owns the clock
// (Advance), delivers socket events (Fire), answers lookups (CompleteLookup)
// and plays the peer of every socket (Push what it sends, Sent what it got).
// Nothing happens unless the test makes it happen.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/reactor.h"

namespace velcora::platform {

class ManualReactor : public Reactor {
  public:
    struct Socket {
        SocketHandler handler;
        bool listening = false;
        bool noDelay = false;
        bool closed = false;
        uint32_t address = kNoAddress;
        uint16_t port = 0;
        std::string incoming;  // bytes the peer sent, not yet received
        bool peerClosed = false;
        std::string outgoing;           // everything the socket sent
        int32_t sendRoom = -1;          // bytes Send may still take; -1 = unlimited
        std::vector<SocketId> backlog;  // listening: sockets waiting for Accept
    };
    struct Lookup {
        std::string host;
        LookupHandler handler;
    };

    explicit ManualReactor(uint32_t start = 0) : now_(start) {}

    uint32_t Now() const override { return now_; }
    SocketId OpenTcp(SocketHandler handler) override;
    bool SetNoDelay(SocketId socket) override;
    IoResult Connect(SocketId socket, uint32_t address, uint16_t port) override;
    int32_t Send(SocketId socket, const void* data, int32_t count) override;
    int32_t Receive(SocketId socket, void* data, int32_t count) override;
    int32_t Available(SocketId socket) override;
    void Close(SocketId socket) override;
    SocketId Listen(uint32_t address, uint16_t port, SocketHandler handler) override;
    SocketId Accept(SocketId listener, SocketHandler handler, uint32_t* peerAddress) override;
    uint16_t LocalPort(SocketId socket) override;
    LookupId LookupHost(const std::string& host, LookupHandler handler) override;
    void CancelLookup(LookupId lookup) override;
    TimerId StartTimer(uint32_t intervalMs, Task task) override;
    void StopTimer(TimerId timer) override;
    void Post(Task task) override;
    // Runs posted tasks, then advances the clock in 1 ms steps (firing timers)
    // until `done` holds or the time is up.
    bool RunUntil(const std::function<bool()>& done, uint32_t timeoutMs) override;

    // --- driving by hand
    // Moves the clock on by `ms`, firing due timers (and posted tasks) in order.
    void Advance(uint32_t ms);
    void SetNow(uint32_t now) { now_ = now; }
    // Runs the tasks posted so far.
    void RunPosted();
    // Delivers an event to a socket's handler (ignored for closed sockets).
    void Fire(SocketId socket, uint16_t event, int error = 0);
    // The peer sends bytes; Fire(kEventRead) makes the socket notice.
    void Push(SocketId socket, const std::string& bytes);
    // The peer closes its end: Receive returns 0 once the bytes are read.
    void PeerClose(SocketId socket) { sockets_.at(socket).peerClosed = true; }
    // Takes what the socket sent so far.
    std::string TakeSent(SocketId socket);
    void SetSendRoom(SocketId socket, int32_t bytes) { sockets_.at(socket).sendRoom = bytes; }
    // A new incoming connection on a listening socket (Fire(kEventAccept) to notify).
    SocketId Incoming(SocketId listener, uint32_t peerAddress = kLoopback);
    // Answers a lookup; false when it is not pending (cancelled or unknown).
    bool CompleteLookup(LookupId lookup, int error, uint32_t address);
    // Answers a lookup even though it was cancelled meanwhile, as a reply that
    // was already on its way would; false for an unknown lookup.
    bool DeliverLate(LookupId lookup, int error, uint32_t address);

    const Socket* Find(SocketId socket) const;
    // The most recently opened socket, kNoSocket when none.
    SocketId LastSocket() const { return lastSocket_; }
    // Sockets opened and not closed.
    int OpenSockets() const;
    const std::map<LookupId, Lookup>& PendingLookups() const { return lookups_; }
    LookupId LastLookup() const { return lastLookup_; }
    // When set, OpenTcp / Connect / LookupHost refuse.
    bool failOpen = false;
    bool failConnect = false;
    bool failLookup = false;

  private:
    struct Timer {
        uint32_t interval = 0;
        uint32_t elapsed = 0;
        Task task;
    };
    uint32_t now_;
    SocketId nextSocket_ = 1;
    SocketId lastSocket_ = kNoSocket;
    LookupId nextLookup_ = 1;
    LookupId lastLookup_ = kNoLookup;
    TimerId nextTimer_ = 1;
    std::map<SocketId, Socket> sockets_;
    std::map<LookupId, Lookup> lookups_;
    std::map<LookupId, Lookup> cancelled_;
    std::map<TimerId, Timer> timers_;
    std::vector<Task> posted_;
};

}  // namespace velcora::platform
