#include "platform/posix_reactor.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velcora::platform {

namespace {

bool MakeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

int PendingError(int fd) {
    int error = 0;
    socklen_t len = sizeof(error);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
        return errno;
    return error;
}

}  // namespace

PosixReactorBase::PosixReactorBase() : epoch_(std::chrono::steady_clock::now()) {
    if (pipe(wakePipe_) == 0) {
        MakeNonBlocking(wakePipe_[0]);
        MakeNonBlocking(wakePipe_[1]);
    }
}

PosixReactorBase::~PosixReactorBase() {
    for (auto& [id, t] : lookupThreads_) {
        t.join();
    }
    for (auto& [id, e] : sockets_) {
        if (e.fd >= 0)
            ::close(e.fd);
    }
    for (int fd : wakePipe_) {
        if (fd >= 0)
            ::close(fd);
    }
}

uint32_t PosixReactorBase::Now() const {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - epoch_);
    return static_cast<uint32_t>(ms.count()) + skipped_;
}

SocketId PosixReactorBase::AddEntry(int fd, SocketHandler handler, bool listening) {
    const SocketId id = nextSocket_++;
    Entry& e = sockets_[id];
    e.fd = fd;
    e.handler = std::move(handler);
    e.listening = listening;
    InterestChanged(id);
    return id;
}

PosixReactorBase::Entry* PosixReactorBase::FindEntry(SocketId socket) {
    auto it = sockets_.find(socket);
    return it == sockets_.end() ? nullptr : &it->second;
}

SocketId PosixReactorBase::OpenTcp(SocketHandler handler) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (fd < 0)
        return kNoSocket;
    if (!MakeNonBlocking(fd)) {
        ::close(fd);
        return kNoSocket;
    }
    return AddEntry(fd, std::move(handler), false);
}

bool PosixReactorBase::SetNoDelay(SocketId socket) {
    Entry* e = FindEntry(socket);
    const int one = 1;
    return e && setsockopt(e->fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one)) == 0;
}

IoResult PosixReactorBase::Connect(SocketId socket, uint32_t address, uint16_t port) {
    Entry* e = FindEntry(socket);
    if (!e)
        return IoResult::Failed;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    // Either way the connect event comes from the loop, as the link expects.
    e->connecting = true;
    InterestChanged(socket);
    if (::connect(e->fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) == 0)
        return IoResult::Done;
    if (errno == EINPROGRESS || errno == EINTR)
        return IoResult::WouldBlock;
    e->connecting = false;
    InterestChanged(socket);
    return IoResult::Failed;
}

int32_t PosixReactorBase::Send(SocketId socket, const void* data, int32_t count) {
    Entry* e = FindEntry(socket);
    if (!e || count < 0)
        return -1;
    const ssize_t n = ::send(e->fd, data, static_cast<std::size_t>(count), MSG_NOSIGNAL);
    if (n >= 0)
        return static_cast<int32_t>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        if (!e->wantWrite) {
            e->wantWrite = true;
            InterestChanged(socket);
        }
        return 0;
    }
    return -1;
}

int32_t PosixReactorBase::Receive(SocketId socket, void* data, int32_t count) {
    Entry* e = FindEntry(socket);
    if (!e || count < 0)
        return -1;
    // Receiving re-enables the read event, so that data left behind is reported again.
    if (!e->readArmed) {
        e->readArmed = true;
        InterestChanged(socket);
    }
    const ssize_t n = ::recv(e->fd, data, static_cast<std::size_t>(count), 0);
    if (n < 0)
        return -1;
    return static_cast<int32_t>(n);
}

int32_t PosixReactorBase::Available(SocketId socket) {
    Entry* e = FindEntry(socket);
    int waiting = 0;
    if (!e || ioctl(e->fd, FIONREAD, &waiting) != 0)
        return -1;
    if (!e->readArmed) {
        e->readArmed = true;
        InterestChanged(socket);
    }
    return waiting;
}

void PosixReactorBase::Close(SocketId socket) {
    auto it = sockets_.find(socket);
    if (it == sockets_.end())
        return;
    const int fd = it->second.fd;
    // Tell the loop first, while it can still find the descriptor.
    it->second.finished = true;
    it->second.readArmed = false;
    it->second.wantWrite = false;
    it->second.connecting = false;
    InterestChanged(socket);
    sockets_.erase(it);
    InterestChanged(socket);
    ::close(fd);
}

SocketId PosixReactorBase::Listen(uint32_t address, uint16_t port, SocketHandler handler) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (fd < 0)
        return kNoSocket;
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = address;
    if (!MakeNonBlocking(fd) || ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0 ||
        ::listen(fd, 16) != 0) {
        ::close(fd);
        return kNoSocket;
    }
    return AddEntry(fd, std::move(handler), true);
}

SocketId PosixReactorBase::Accept(SocketId listener, SocketHandler handler, uint32_t* peerAddress) {
    Entry* e = FindEntry(listener);
    if (!e || !e->listening)
        return kNoSocket;
    if (!e->readArmed) {
        e->readArmed = true;
        InterestChanged(listener);
    }
    sockaddr_in sa{};
    socklen_t len = sizeof(sa);
    const int fd = ::accept(e->fd, reinterpret_cast<sockaddr*>(&sa), &len);
    if (fd < 0)
        return kNoSocket;
    if (!MakeNonBlocking(fd)) {
        ::close(fd);
        return kNoSocket;
    }
    if (peerAddress)
        *peerAddress = sa.sin_addr.s_addr;
    return AddEntry(fd, std::move(handler), false);
}

uint16_t PosixReactorBase::LocalPort(SocketId socket) {
    Entry* e = FindEntry(socket);
    sockaddr_in sa{};
    socklen_t len = sizeof(sa);
    if (!e || getsockname(e->fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

LookupId PosixReactorBase::LookupHost(const std::string& host, LookupHandler handler) {
    const LookupId id = nextLookup_++;
    if (id == kNoLookup)
        return LookupHost(host, std::move(handler));
    lookups_[id] = std::move(handler);
    try {
        lookupThreads_[id] = std::thread([this, id, host] {
            addrinfo hints{};
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* list = nullptr;
            const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &list);
            uint32_t address = kNoAddress;
            if (rc == 0 && list && list->ai_addr) {
                address = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
            }
            if (list)
                freeaddrinfo(list);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                finished_.push_back({id, rc == 0 ? 0 : (rc < 0 ? -rc : rc), address});
            }
            Wake();
        });
    } catch (...) {
        lookups_.erase(id);
        return kNoLookup;
    }
    return id;
}

void PosixReactorBase::CancelLookup(LookupId lookup) {
    lookups_.erase(lookup);
}

TimerId PosixReactorBase::StartTimer(uint32_t intervalMs, Task task) {
    const TimerId id = nextTimer_++;
    const uint32_t interval = intervalMs ? intervalMs : 1;
    timers_[id] = {interval, Now() + interval, std::move(task)};
    return id;
}

void PosixReactorBase::StopTimer(TimerId timer) {
    timers_.erase(timer);
}

void PosixReactorBase::Post(Task task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        posted_.push_back(std::move(task));
    }
    Wake();
}

void PosixReactorBase::Wake() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakePipe_[1], &byte, 1);
}

void PosixReactorBase::DrainWake() {
    char sink[256];
    while (::read(wakePipe_[0], sink, sizeof(sink)) > 0) {
    }
    std::vector<LookupResult> results;
    std::vector<Task> tasks;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        results.swap(finished_);
        tasks.swap(posted_);
    }
    for (const auto& r : results) {
        // The helper has done its work: join it now so that threads never pile up.
        auto thread = lookupThreads_.find(r.id);
        if (thread != lookupThreads_.end()) {
            thread->second.join();
            lookupThreads_.erase(thread);
        }
        auto it = lookups_.find(r.id);
        if (it == lookups_.end())
            continue;  // cancelled meanwhile
        auto handler = std::move(it->second);
        lookups_.erase(it);
        handler(r.id, r.error, r.address);
    }
    for (auto& t : tasks)
        t();
}

uint32_t PosixReactorBase::RunTimers(uint32_t limit) {
    const uint32_t now = Now();
    std::vector<TimerId> due;
    for (auto& [id, t] : timers_) {
        if (static_cast<int32_t>(now - t.due) >= 0)
            due.push_back(id);
    }
    for (TimerId id : due) {
        auto it = timers_.find(id);
        if (it == timers_.end())
            continue;
        it->second.due = now + it->second.interval;
        auto task = it->second.task;
        task();
    }
    uint32_t wait = limit;
    const uint32_t after = Now();
    for (auto& [id, t] : timers_) {
        const int32_t left = static_cast<int32_t>(t.due - after);
        wait = std::min<uint32_t>(wait, left > 0 ? static_cast<uint32_t>(left) : 0);
    }
    return wait;
}

void PosixReactorBase::Deliver(SocketId socket, uint16_t event, int error) {
    Entry* e = FindEntry(socket);
    if (!e || !e->handler)
        return;
    auto handler = e->handler;  // the handler may close the socket
    handler(socket, event, error);
}

PosixReactorBase::Interest PosixReactorBase::InterestOf(SocketId socket) const {
    Interest in;
    auto it = sockets_.find(socket);
    if (it == sockets_.end() || it->second.finished)
        return in;
    const Entry& e = it->second;
    in.fd = e.fd;
    in.read = e.readArmed && !e.connecting;
    in.write = e.connecting || e.wantWrite;
    return in;
}

std::vector<SocketId> PosixReactorBase::SocketIds() const {
    std::vector<SocketId> ids;
    ids.reserve(sockets_.size());
    for (const auto& [id, e] : sockets_)
        ids.push_back(id);
    return ids;
}

void PosixReactorBase::HandleReady(SocketId socket, bool readable, bool writable, bool failed) {
    Entry* e = FindEntry(socket);
    if (!e || e->finished)
        return;
    if (e->connecting) {
        if (!writable && !failed && !readable)
            return;
        const int error = PendingError(e->fd);
        e->connecting = false;
        if (error != 0)
            e->finished = true;  // a failed connect reports nothing further
        InterestChanged(socket);
        Deliver(socket, kEventConnect, error);
        return;
    }
    if (e->listening) {
        if (readable && e->readArmed) {
            e->readArmed = false;
            InterestChanged(socket);
            Deliver(socket, kEventAccept, 0);
        }
        return;
    }
    if (writable && e->wantWrite) {
        e->wantWrite = false;
        InterestChanged(socket);
        Deliver(socket, kEventWrite, 0);
        e = FindEntry(socket);
        if (!e || e->finished)
            return;
    }
    if ((readable || failed) && e->readArmed) {
        int waiting = 0;
        if (ioctl(e->fd, FIONREAD, &waiting) == 0 && waiting > 0) {
            e->readArmed = false;
            InterestChanged(socket);
            Deliver(socket, kEventRead, 0);
            return;
        }
        // Nothing to read yet readable: the peer is gone (cleanly or not).
        char probe;
        const ssize_t n = ::recv(e->fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n > 0)
            return;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) && !failed)
            return;
        const int error = n == 0 ? 0 : (failed ? PendingError(e->fd) : errno);
        e->finished = true;
        InterestChanged(socket);
        Deliver(socket, kEventClose, error);
    }
}

bool PollReactor::RunUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    const uint32_t start = Now();
    for (;;) {
        DrainWake();
        if (done())
            return true;
        const uint32_t spent = Now() - start;
        if (spent >= timeoutMs)
            return false;
        const uint32_t wait = RunTimers(timeoutMs - spent);
        if (done())
            return true;
        std::vector<pollfd> fds;
        std::vector<SocketId> ids;
        fds.push_back({WakeFd(), POLLIN, 0});
        ids.push_back(kNoSocket);
        for (SocketId id : SocketIds()) {
            const Interest in = InterestOf(id);
            if (in.fd < 0 || (!in.read && !in.write))
                continue;
            fds.push_back(
                {in.fd, static_cast<short>((in.read ? POLLIN : 0) | (in.write ? POLLOUT : 0)), 0});
            ids.push_back(id);
        }
        const int n =
            ::poll(fds.data(), fds.size(), static_cast<int>(std::min<uint32_t>(wait, 1000)));
        if (n <= 0)
            continue;
        for (std::size_t i = 1; i < fds.size(); ++i) {
            const short r = fds[i].revents;
            if (r == 0)
                continue;
            HandleReady(ids[i], (r & (POLLIN | POLLHUP)) != 0, (r & POLLOUT) != 0,
                        (r & (POLLERR | POLLNVAL)) != 0);
            if (done())
                return true;
        }
    }
}

}  // namespace velcora::platform
