// Session recording's costs, as ratios measured in the same run:
//  - the link's receive path while two 2.5 Mbit/s camera streams arrive at
//    their real rate, with the recorder tapping every frame against the same
//    path without it, a second of each in turn: the CPU time the link's
//    thread spends per second of streams (RecordStreams);
//  - the same, one second of frames pushed through at once, the writer
//    catching up between seconds (RecordReceive): the worst case, where every
//    byte the writer reads was just written by the link's thread;
//  - the recording's summary (what "session info" reads) against reading the
//    same file through with plain read(2), as cat does. The file is
//    VELCORA_BENCH_RECORDING_MB megabytes (default 256; 1024 for the full case).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_results.h"
#include "fd_link.h"
#include "link/robot_connection.h"
#include "link/session_file.h"
#include "link/session_recorder.h"

namespace {

using namespace velcora;
using fdlink::FdReactor;
using fdlink::Frame;
using fdlink::WriteAll;
using Owner = fdlink::QuietOwner;

// 2.5 Mbit/s at 25 pictures a second: 12500 bytes a picture.
constexpr std::size_t kPictureBytes = 12500;
constexpr int kPicturesPerSecond = 25;

// One second of both cameras and a status reply.
std::string OneSecond() {
    std::string out;
    for (int i = 0; i < kPicturesPerSecond; ++i) {
        for (char camera : {'\0', '\1'}) {
            std::string picture(kPictureBytes, static_cast<char>('a' + i));
            picture[0] = camera;
            out += Frame(msg::kVideoFrame, picture);
        }
    }
    out += Frame(msg::kStatus, std::string(11, '\x40'));
    return out;
}

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string("velcora-bench-") + std::to_string(getpid()) + "-" + name))
        .string();
}

// A connection fed by the robot's end of a socket pair, authorised, counting
// the pictures and status replies it dispatches; with `record`, a recorder
// taps it.
struct RecordedLink {
    RecordedLink(const char* name, bool record, bool nonBlocking)
        : path(TempPath(name)), link(reactor, dispatcher, &owner) {
        socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
        int size = 4 << 20;
        setsockopt(pair[1], SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
        setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof(size));
        if (nonBlocking)
            fcntl(pair[1], F_SETFL, fcntl(pair[1], F_GETFL) | O_NONBLOCK);
        reactor.fd = pair[1];
        if (record) {
            RecorderOptions o;
            o.path = path;
            recorder = std::make_unique<CSessionRecorder>(o);
        }
    }
    ~RecordedLink() {
        std::filesystem::remove(path);
        close(pair[0]);
        close(pair[1]);
    }

    // False (the benchmark skipped) when the recording or the handshake fails.
    bool Start(benchmark::State& state) {
        std::string error;
        if (recorder) {
            if (!recorder->Open(error)) {
                state.SkipWithError(error.c_str());
                return false;
            }
            link.SetFrameTap(recorder.get());
        }
        link.ConnectAnsi("10.0.0.1", 5554, false);
        reactor.Fire(link.Socket(), platform::kEventConnect);
        WriteAll(pair[0], std::string("\0\0\4\0\0\0\1\0\0\0\1\0\1\0\0\0\1", 17));
        pollfd ready{pair[1], POLLIN, 0};
        poll(&ready, 1, 1000);
        reactor.Fire(link.Socket(), platform::kEventRead);
        if (link.State() != kStateAuthorised) {
            state.SkipWithError("handshake failed");
            return false;
        }
        for (msg::Type t : {msg::kVideoFrame, msg::kStatus})
            regs.Add(dispatcher.Register(t, [this](CStream&, int32_t) { ++frames; }));
        return true;
    }

    void Finish(benchmark::State& state) {
        if (recorder) {
            link.SetFrameTap(nullptr);
            recorder->Close();
            state.counters["dropped"] = static_cast<double>(recorder->Dropped().Total());
        }
    }

    int pair[2] = {-1, -1};
    std::string path;
    FdReactor reactor;
    CMessageDispatcher dispatcher;
    Owner owner;
    CRobotConnection link;
    std::unique_ptr<CSessionRecorder> recorder;
    CRegistrationSet regs;
    std::atomic<int64_t> frames{0};
};

void RecordReceive(benchmark::State& state, bool record) {
    RecordedLink r("receive.vrec", record, false);
    if (!r.Start(state))
        return;
    const std::string second = OneSecond();
    const int64_t perSecond = 2 * kPicturesPerSecond + 1;
    for (auto _ : state) {
        WriteAll(r.pair[0], second);
        const int64_t target = r.frames + perSecond;
        while (r.frames < target)
            r.reactor.Fire(r.link.Socket(), platform::kEventRead);
        // The streams' real rate leaves the disk a second for each second of
        // frames: the writer catches up before the next one arrives.
        state.PauseTiming();
        if (r.recorder)
            r.recorder->WriteSoon();
        while (r.recorder && !r.recorder->Drained())
            std::this_thread::yield();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(second.size()));
    r.Finish(state);
}

int64_t ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The same streams at their real rate: a picture every 20 ms, the cameras in
// turn, and a status reply each second, sent by a thread of their own to one
// of two links, one with the recorder and one without, taking turns a second
// each. A pair of seconds is measured by the CPU time the link's thread spent
// in the receive path (waiting for the socket, reading, parsing, dispatching
// and, when on, recording) in each; the figure is the median of the pairs'
// ratios. Taking turns keeps what the rest of the machine does (another
// program on the core's other half, the clock's speed) alike for both sides
// of a pair: measured one side after the other, the two sides differed by
// half from run to run on a shared machine.
void RecordStreams(benchmark::State& state) {
    RecordedLink plain("streams-off.vrec", false, true);
    RecordedLink recorded("streams.vrec", true, true);
    if (!plain.Start(state) || !recorded.Start(state))
        return;
    RecordedLink* links[2] = {&plain, &recorded};
    std::atomic<int> active{0};
    std::atomic<bool> stop{false};
    std::thread robot([&] {
        std::string pictures[2];
        for (char camera : {'\0', '\1'}) {
            std::string picture(kPictureBytes, 'p');
            picture[0] = camera;
            pictures[static_cast<int>(camera)] = Frame(msg::kVideoFrame, picture);
        }
        const std::string status = Frame(msg::kStatus, std::string(11, '\x40'));
        auto next = std::chrono::steady_clock::now();
        for (int n = 0; !stop; ++n) {
            const int to = links[active]->pair[0];
            WriteAll(to, pictures[n % 2]);
            if (n % (2 * kPicturesPerSecond) == 0)
                WriteAll(to, status);
            next += std::chrono::milliseconds(1000 / (2 * kPicturesPerSecond));
            std::this_thread::sleep_until(next);
        }
    });
    const int64_t perSecond = 2 * kPicturesPerSecond + 1;
    // One second of the streams on one link; its CPU time in nanoseconds.
    auto receiveSecond = [&](int which) {
        RecordedLink& r = *links[which];
        active = which;
        pollfd ready{r.pair[1], POLLIN, 0};
        const int64_t cpu = ThreadCpuNs();
        const int64_t target = r.frames + perSecond;
        while (r.frames < target && !stop) {
            if (poll(&ready, 1, 1000) > 0)
                r.reactor.Fire(r.link.Socket(), platform::kEventRead);
        }
        return static_cast<double>(ThreadCpuNs() - cpu);
    };
    // The first seconds fill the receive blocks and the recording's first
    // pages once; a session lasts far longer.
    for (int i = 0; i < 2; ++i) {
        receiveSecond(0);
        receiveSecond(1);
    }
    std::vector<double> ratios;
    for (auto _ : state) {
        const double off = receiveSecond(0);
        const double on = receiveSecond(1);
        state.SetIterationTime((off + on) * 1e-9);
        if (on > 0)
            ratios.push_back(off / on);
    }
    stop = true;
    robot.join();
    plain.Finish(state);
    recorded.Finish(state);
    if (!ratios.empty()) {
        std::sort(ratios.begin(), ratios.end());
        state.counters["ratio"] = ratios[ratios.size() / 2];
        bench::ReportFigure("RecordStreams", ratios[ratios.size() / 2], ratios.front(),
                            ratios.back());
    }
}

void RecordReceive_ours(benchmark::State& s) {
    RecordReceive(s, true);
}
void RecordReceive_reference(benchmark::State& s) {
    RecordReceive(s, false);
}

// A recording of the two streams, written once for the run.
const std::string& Recording() {
    static const std::string path = [] {
        long mb = 256;
        if (const char* env = std::getenv("VELCORA_BENCH_RECORDING_MB"))
            mb = std::max(1L, std::strtol(env, nullptr, 10));
        const std::string p = TempPath("info.vrec");
        std::FILE* f = std::fopen(p.c_str(), "wb");
        SessionHeader h;
        h.host = "127.0.0.1";
        h.port = 5554;
        std::string bytes = EncodeSessionHeader(h);
        uint32_t ms = 0;
        std::string picture(kPictureBytes, 'p');
        for (int64_t written = 0; written < mb * (1 << 20); ms += 20) {
            for (char camera : {'\0', '\1'}) {
                picture[0] = camera;
                bytes += EncodeRecordHead(ms, RecordKind::kIncoming, false, msg::kVideoFrame,
                                          kPictureBytes);
                bytes += picture;
            }
            bytes += EncodeRecordHead(ms, RecordKind::kOutgoing, false, msg::kVideoRequest, 6);
            bytes += std::string(6, '\0');
            if (bytes.size() > (1 << 20)) {
                std::fwrite(bytes.data(), 1, bytes.size(), f);
                written += static_cast<int64_t>(bytes.size());
                bytes.clear();
            }
        }
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        std::atexit([] { std::filesystem::remove(TempPath("info.vrec")); });
        return p;
    }();
    return path;
}

void SessionInfo_ours(benchmark::State& state) {
    const std::string& path = Recording();
    for (auto _ : state) {
        CSessionReader reader;
        SessionSummary summary;
        if (!reader.Open(path) ||
            SummariseRecording(reader, summary) != CSessionReader::Result::kEnd) {
            state.SkipWithError("cannot read the recording");
            return;
        }
        benchmark::DoNotOptimize(summary.framesIn);
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
}

void SessionInfo_reference(benchmark::State& state) {
    const std::string& path = Recording();
    std::vector<char> buffer(128 * 1024);
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_RDONLY);
        int64_t total = 0;
        for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) > 0;)
            total += n;
        close(fd);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
}

}  // namespace

BENCHMARK(RecordStreams)
    ->Name("RecordStreams/paired")
    ->UseManualTime()
    ->Iterations(15)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(RecordReceive_ours)->Name("RecordReceive/ours")->UseRealTime();
BENCHMARK(RecordReceive_reference)->Name("RecordReceive/reference")->UseRealTime();
BENCHMARK(SessionInfo_ours)->Name("SessionInfo/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(SessionInfo_reference)->Name("SessionInfo/reference")->Unit(benchmark::kMillisecond);
