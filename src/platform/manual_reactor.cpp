#include "platform/manual_reactor.h"

#include <algorithm>
#include <cstring>

namespace velcora::platform {

SocketId ManualReactor::OpenTcp(SocketHandler handler) {
    if (failOpen) {
        return kNoSocket;
    }
    const SocketId id = nextSocket_++;
    sockets_[id].handler = std::move(handler);
    lastSocket_ = id;
    return id;
}

bool ManualReactor::SetNoDelay(SocketId socket) {
    auto it = sockets_.find(socket);
    if (it == sockets_.end() || it->second.closed)
        return false;
    it->second.noDelay = true;
    return true;
}

IoResult ManualReactor::Connect(SocketId socket, uint32_t address, uint16_t port) {
    auto it = sockets_.find(socket);
    if (failConnect || it == sockets_.end() || it->second.closed)
        return IoResult::Failed;
    it->second.address = address;
    it->second.port = port;
    return IoResult::WouldBlock;
}

int32_t ManualReactor::Send(SocketId socket, const void* data, int32_t count) {
    auto it = sockets_.find(socket);
    if (it == sockets_.end() || it->second.closed || count < 0)
        return -1;
    Socket& s = it->second;
    int32_t take = count;
    if (s.sendRoom >= 0) {
        take = std::min(take, s.sendRoom);
        s.sendRoom -= take;
    }
    s.outgoing.append(static_cast<const char*>(data), static_cast<std::size_t>(take));
    return take;
}

int32_t ManualReactor::Receive(SocketId socket, void* data, int32_t count) {
    auto it = sockets_.find(socket);
    if (it == sockets_.end() || it->second.closed || count < 0)
        return -1;
    Socket& s = it->second;
    if (s.incoming.empty()) {
        return s.peerClosed ? 0 : -1;
    }
    const auto take = std::min<std::size_t>(static_cast<std::size_t>(count), s.incoming.size());
    std::memcpy(data, s.incoming.data(), take);
    s.incoming.erase(0, take);
    return static_cast<int32_t>(take);
}

int32_t ManualReactor::Available(SocketId socket) {
    auto it = sockets_.find(socket);
    if (it == sockets_.end() || it->second.closed)
        return -1;
    return static_cast<int32_t>(it->second.incoming.size());
}

void ManualReactor::Close(SocketId socket) {
    auto it = sockets_.find(socket);
    if (it != sockets_.end()) {
        it->second.closed = true;
        it->second.handler = nullptr;
    }
}

SocketId ManualReactor::Listen(uint32_t address, uint16_t port, SocketHandler handler) {
    if (failOpen)
        return kNoSocket;
    const SocketId id = nextSocket_++;
    Socket& s = sockets_[id];
    s.handler = std::move(handler);
    s.listening = true;
    s.address = address;
    s.port = port ? port : static_cast<uint16_t>(40000 + id);
    return id;
}

SocketId ManualReactor::Accept(SocketId listener, SocketHandler handler, uint32_t* peerAddress) {
    auto it = sockets_.find(listener);
    if (it == sockets_.end() || it->second.closed || it->second.backlog.empty())
        return kNoSocket;
    const SocketId id = it->second.backlog.front();
    it->second.backlog.erase(it->second.backlog.begin());
    Socket& s = sockets_.at(id);
    s.handler = std::move(handler);
    if (peerAddress)
        *peerAddress = s.address;
    return id;
}

uint16_t ManualReactor::LocalPort(SocketId socket) {
    auto it = sockets_.find(socket);
    return it == sockets_.end() ? 0 : it->second.port;
}

LookupId ManualReactor::LookupHost(const std::string& host, LookupHandler handler) {
    if (failLookup)
        return kNoLookup;
    const LookupId id = nextLookup_++;
    lookups_[id] = {host, std::move(handler)};
    lastLookup_ = id;
    return id;
}

void ManualReactor::CancelLookup(LookupId lookup) {
    auto it = lookups_.find(lookup);
    if (it != lookups_.end()) {
        cancelled_[lookup] = std::move(it->second);
        lookups_.erase(it);
    }
}

bool ManualReactor::DeliverLate(LookupId lookup, int error, uint32_t address) {
    auto it = cancelled_.find(lookup);
    if (it == cancelled_.end())
        return CompleteLookup(lookup, error, address);
    auto handler = std::move(it->second.handler);
    cancelled_.erase(it);
    handler(lookup, error, address);
    return true;
}

TimerId ManualReactor::StartTimer(uint32_t intervalMs, Task task) {
    const TimerId id = nextTimer_++;
    timers_[id] = {std::max<uint32_t>(intervalMs, 1), 0, std::move(task)};
    return id;
}

void ManualReactor::StopTimer(TimerId timer) {
    timers_.erase(timer);
}

void ManualReactor::Post(Task task) {
    posted_.push_back(std::move(task));
}

void ManualReactor::RunPosted() {
    while (!posted_.empty()) {
        auto batch = std::move(posted_);
        posted_.clear();
        for (auto& t : batch)
            t();
    }
}

void ManualReactor::Advance(uint32_t ms) {
    RunPosted();
    for (uint32_t i = 0; i < ms; ++i) {
        ++now_;
        // Timers may start or stop timers: walk by id, re-finding each.
        std::vector<TimerId> due;
        for (auto& [id, t] : timers_) {
            if (++t.elapsed >= t.interval) {
                t.elapsed = 0;
                due.push_back(id);
            }
        }
        for (TimerId id : due) {
            auto it = timers_.find(id);
            if (it != timers_.end()) {
                auto task = it->second.task;
                task();
            }
        }
        RunPosted();
    }
}

bool ManualReactor::RunUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    RunPosted();
    for (uint32_t waited = 0;; ++waited) {
        if (done())
            return true;
        if (waited >= timeoutMs)
            return false;
        Advance(1);
    }
}

void ManualReactor::Fire(SocketId socket, uint16_t event, int error) {
    auto it = sockets_.find(socket);
    if (it == sockets_.end() || it->second.closed || !it->second.handler)
        return;
    auto handler = it->second.handler;  // the handler may close the socket
    handler(socket, event, error);
}

void ManualReactor::Push(SocketId socket, const std::string& bytes) {
    sockets_.at(socket).incoming += bytes;
}

std::string ManualReactor::TakeSent(SocketId socket) {
    std::string out;
    out.swap(sockets_.at(socket).outgoing);
    return out;
}

SocketId ManualReactor::Incoming(SocketId listener, uint32_t peerAddress) {
    const SocketId id = nextSocket_++;
    sockets_[id].address = peerAddress;
    sockets_.at(listener).backlog.push_back(id);
    return id;
}

bool ManualReactor::CompleteLookup(LookupId lookup, int error, uint32_t address) {
    auto it = lookups_.find(lookup);
    if (it == lookups_.end())
        return false;
    auto handler = std::move(it->second.handler);
    lookups_.erase(it);
    handler(lookup, error, address);
    return true;
}

const ManualReactor::Socket* ManualReactor::Find(SocketId socket) const {
    auto it = sockets_.find(socket);
    return it == sockets_.end() ? nullptr : &it->second;
}

int ManualReactor::OpenSockets() const {
    return static_cast<int>(std::count_if(sockets_.begin(), sockets_.end(), [](const auto& p) {
        return !p.second.closed && !p.second.listening;
    }));
}

}  // namespace velcora::platform
