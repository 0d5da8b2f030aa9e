// What the link benchmarks share: a hand-driven reactor whose one socket reads
// from a real descriptor, a connection owner that ignores its reports, frames
// built by hand, and a write that puts every byte into the descriptor.
#pragma once

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "link/robot_connection.h"
#include "platform/manual_reactor.h"

namespace velcora::fdlink {

class FdReactor : public platform::ManualReactor {
  public:
    int fd = -1;
    int32_t Available(platform::SocketId) override {
        int n = 0;
        return ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
    }
    int32_t Receive(platform::SocketId, void* data, int32_t count) override {
        const ssize_t n = recv(fd, data, static_cast<std::size_t>(count), 0);
        return n < 0 ? -1 : static_cast<int32_t>(n);
    }
    int32_t Send(platform::SocketId, const void*, int32_t count) override { return count; }
};

class QuietOwner : public IRobotConnectionOwner {
    void OnConnectionStateChanged() override {}
};

// One frame: type and length little-endian, then the payload.
inline std::string Frame(msg::Type type, const std::string& payload) {
    std::string frame(6, '\0');
    const auto length = static_cast<int32_t>(payload.size());
    std::memcpy(frame.data(), &type, 2);
    std::memcpy(frame.data() + 2, &length, 4);
    return frame + payload;
}

inline void WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace velcora::fdlink
