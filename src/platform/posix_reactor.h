// Reactors over real POSIX sockets. PosixReactorBase holds everything that does
// not depend on the event loop: the socket table, the translation of
// readiness into link events, host lookups on helper threads and the timer
// list. PollReactor runs it on poll(2) for the programs and tests that need no
// UI; the Qt reactor runs the same base on the Qt event loop.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/reactor.h"

namespace velcora::platform {

class PosixReactorBase : public Reactor {
  public:
    PosixReactorBase();
    ~PosixReactorBase() override;
    PosixReactorBase(const PosixReactorBase&) = delete;
    PosixReactorBase& operator=(const PosixReactorBase&) = delete;

    uint32_t Now() const override;
    // Moves the tick on by `ms` at once, as if that much time had passed:
    // lets end-to-end tests cross time-outs without waiting for them.
    void AdvanceClock(uint32_t ms) { skipped_ += ms; }
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

  protected:
    struct Entry {
        int fd = -1;
        SocketHandler handler;
        bool listening = false;
        bool connecting = false;
        bool readArmed = true;   // a read/accept event may be reported
        bool wantWrite = false;  // a send was refused; report write when possible
        bool finished = false;   // close (or a failed connect) reported; nothing more
    };
    // What the loop should wait for on a socket.
    struct Interest {
        int fd = -1;
        bool read = false;
        bool write = false;
    };

    // The loop tells the base what a socket's descriptor is ready for.
    void HandleReady(SocketId socket, bool readable, bool writable, bool failed);
    // Called whenever what a socket waits for may have changed.
    virtual void InterestChanged(SocketId socket) { (void)socket; }
    Interest InterestOf(SocketId socket) const;
    std::vector<SocketId> SocketIds() const;
    // The descriptor that becomes readable when lookups finish or tasks are posted.
    int WakeFd() const { return wakePipe_[0]; }
    // Delivers finished lookups and posted tasks.
    void DrainWake();
    // Runs the timers that are due; returns ms until the next one (or `limit`).
    uint32_t RunTimers(uint32_t limit);

  private:
    struct LookupResult {
        LookupId id;
        int error;
        uint32_t address;
    };
    struct Timer {
        uint32_t interval;
        uint32_t due;
        Task task;
    };
    void Wake();
    Entry* FindEntry(SocketId socket);
    void Deliver(SocketId socket, uint16_t event, int error);
    SocketId AddEntry(int fd, SocketHandler handler, bool listening);

    std::chrono::steady_clock::time_point epoch_;
    uint32_t skipped_ = 0;
    std::map<SocketId, Entry> sockets_;
    SocketId nextSocket_ = 1;
    std::map<LookupId, LookupHandler> lookups_;
    LookupId nextLookup_ = 1;
    std::map<TimerId, Timer> timers_;
    TimerId nextTimer_ = 1;
    int wakePipe_[2] = {-1, -1};
    std::map<LookupId, std::thread> lookupThreads_;
    // Shared with the lookup threads.
    std::mutex mutex_;
    std::vector<LookupResult> finished_;  // guarded by mutex_
    std::vector<Task> posted_;            // guarded by mutex_
};

class PollReactor : public PosixReactorBase {
  public:
    bool RunUntil(const std::function<bool()>& done, uint32_t timeoutMs) override;
};

}  // namespace velcora::platform
