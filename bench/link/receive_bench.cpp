// The receive path: frames of 1 KB and of 64 KB arriving on a socket, cut out
// of the receive buffer and handed to the dispatcher, against a plain recv
// loop that only moves the same bytes out of the same socket pair.
#include <benchmark/benchmark.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_results.h"
#include "fd_link.h"

namespace {

using namespace velcora;
using fdlink::FdReactor;
using fdlink::WriteAll;
using Owner = fdlink::QuietOwner;

constexpr std::size_t kBatch = 64 * 1024;  // bytes of payload per round

std::string Frames(std::size_t frameSize) {
    const std::string frame = fdlink::Frame(0x8A11, std::string(frameSize, 'p'));
    std::string out;
    for (std::size_t done = 0; done < kBatch; done += frameSize)
        out += frame;
    return out;
}

void Receive_ours(benchmark::State& state, std::size_t frameSize) {
    int pair[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
    int size = 1 << 20;
    setsockopt(pair[1], SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
    setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof(size));
    FdReactor reactor;
    reactor.fd = pair[1];
    CMessageDispatcher dispatcher;
    Owner owner;
    CRobotConnection link(reactor, dispatcher, &owner);
    link.ConnectAnsi("10.0.0.1", 5554, false);
    reactor.Fire(link.Socket(), platform::kEventConnect);
    WriteAll(pair[0], std::string("\0\0\4\0\0\0\1\0\0\0\1\0\1\0\0\0\1", 17));
    reactor.Fire(link.Socket(), platform::kEventRead);
    if (link.State() != kStateAuthorised) {
        state.SkipWithError("handshake failed");
        return;
    }
    int64_t payload = 0;
    auto reg = dispatcher.Register(0x8A11, [&](CStream&, int32_t length) { payload += length; });
    const std::string batch = Frames(frameSize);
    for (auto _ : state) {
        WriteAll(pair[0], batch);
        const int64_t target = payload + static_cast<int64_t>(kBatch);
        while (payload < target)
            reactor.Fire(link.Socket(), platform::kEventRead);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(batch.size()));
    close(pair[0]);
    close(pair[1]);
}

void Receive_reference(benchmark::State& state, std::size_t frameSize) {
    int pair[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
    int size = 1 << 20;
    setsockopt(pair[1], SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
    setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof(size));
    const std::string batch = Frames(frameSize);
    std::vector<char> buffer(batch.size());
    for (auto _ : state) {
        WriteAll(pair[0], batch);
        std::size_t got = 0;
        while (got < batch.size()) {
            const ssize_t n = recv(pair[1], buffer.data(), buffer.size(), 0);
            if (n <= 0)
                std::abort();
            got += static_cast<std::size_t>(n);
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(batch.size()));
    close(pair[0]);
    close(pair[1]);
}

void Receive1K_ours(benchmark::State& s) {
    Receive_ours(s, 1024);
}
void Receive1K_reference(benchmark::State& s) {
    Receive_reference(s, 1024);
}
void Receive64K_ours(benchmark::State& s) {
    Receive_ours(s, 65536);
}
void Receive64K_reference(benchmark::State& s) {
    Receive_reference(s, 65536);
}

}  // namespace

BENCHMARK(Receive1K_ours)->Name("Receive1K/ours")->Repetitions(5);
BENCHMARK(Receive1K_reference)->Name("Receive1K/reference")->Repetitions(5);
BENCHMARK(Receive64K_ours)->Name("Receive64K/ours")->Repetitions(5);
BENCHMARK(Receive64K_reference)->Name("Receive64K/reference")->Repetitions(5);

// Single-threaded, and never waiting: compared by processor time.
[[maybe_unused]] static const bool kByProcessorTime =
    velcora::bench::CompareByProcessorTime("Receive");
