// Copying a 200 MB file to and from the simulated robot over 127.0.0.1
// (request by request, 64 KiB blocks, through the copy engine and the robot
// link) against a plain TCP stream of the same bytes on the same machine,
// file to file, in one process. The robot runs on a thread and loop of its
// own, as the separate program would.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sys/statvfs.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_results.h"
#include "copy_bench_support.h"
#include "files/copy_engine.h"
#include "files/local_file_system.h"
#include "files/reactor_pump.h"
#include "files/remote_file_system.h"
#include "link/robot_connection.h"
#include "link/text_codec.h"
#include "platform/posix_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_robot.h"

namespace {

using namespace velcora;
using bench::Quiet;
namespace fs = std::filesystem;

constexpr int32_t kFileSize = 200 << 20;
constexpr int kRounds = 5;

class Owner : public IRobotConnectionOwner {
  public:
    void OnConnectionStateChanged() override {}
};

bool WriteSource(const fs::path& path) {
    std::vector<char> block(1 << 20);
    uint32_t x = 0x9E3779B9u;
    for (auto& c : block) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return bench::WriteRepeated(path, block, kFileSize);
}

// The robot (on its thread) with the source file on its C: drive, the same
// bytes on the local disk, and the console's side connected and authorised.
struct Fixture {
    Fixture() {
        // Both ends' files in memory when there is room, so that the disk's
        // write-back does not weigh on one round and not the next.
        fs::path base = fs::temp_directory_path();
        struct statvfs vfs {};
        if (statvfs("/dev/shm", &vfs) == 0 &&
            static_cast<double>(vfs.f_bavail) * vfs.f_frsize > 5.0 * kFileSize) {
            base = "/dev/shm";
            inMemory = true;
        }
        std::string pattern = (base / "velcora-bench-XXXXXX").string();
        root = mkdtemp(pattern.data());
        fs::create_directories(root / "robot");
        fs::create_directories(root / "local" / "down");
        robotThread = std::thread([this] {
            platform::PollReactor reactor;
            sim::SimOptions o;
            o.port = 0;
            o.root = (root / "robot").string();
            sim::CSimRobot robot(reactor, o);
            sim::InstallFeatures(robot);
            port = robot.Start() ? robot.Port() : 1;
            while (!stop) {
                reactor.RunUntil([&] { return stop.load(); }, 50);
            }
        });
        while (port == 0) {
            std::this_thread::yield();
        }
        fs::create_directories(Robot("C/up"));
        ready = port != 1 && WriteSource(root / "local" / "source.bin");
        std::error_code ec;
        fs::create_hard_link(root / "local" / "source.bin", Robot("C/source.bin"), ec);
        if (ec) {
            fs::copy_file(root / "local" / "source.bin", Robot("C/source.bin"), ec);
        }
        link = std::make_unique<CRobotConnection>(reactor, dispatcher, &owner);
        pump = std::make_unique<CReactorPump>(reactor, [this] { link->Tick(); });
        remote = std::make_unique<CRemoteFileSystem>(*link, *pump);
        ready = ready && !ec && link->ConnectAnsi("127.0.0.1", port, false) &&
                pump->WaitUntil([&] { return link->Authorised(); }, 5000);
    }
    ~Fixture() {
        remote.reset();
        pump.reset();
        link.reset();
        stop = true;
        robotThread.join();
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    fs::path Robot(const std::string& relative) const {
        return root / "robot" / "files" / relative;
    }

    fs::path root;
    bool inMemory = false;
    std::atomic<bool> stop{false};
    std::atomic<uint16_t> port{0};
    std::thread robotThread;
    bool ready = false;
    platform::PollReactor reactor;
    CMessageDispatcher dispatcher;
    Owner owner;
    std::unique_ptr<CRobotConnection> link;
    std::unique_ptr<CReactorPump> pump;
    std::unique_ptr<CRemoteFileSystem> remote;
    CLocalFileSystem local;
};

Fixture& Shared() {
    static Fixture f;
    return f;
}

// One copy through the console's engine and link; its wall time in seconds,
// or a negative value when it failed.
double CopyThrough(Fixture& f, bool download) {
    Quiet quiet;
    CCopyEngine engine(quiet, quiet);
    const auto t0 = std::chrono::steady_clock::now();
    const Outcome o =
        download ? engine.CopyFile(*f.remote, u"C:\\source.bin", f.local,
                                   Utf8ToWide((f.root / "local").string()) + u"/down")
                 : engine.CopyFile(f.local, Utf8ToWide((f.root / "local" / "source.bin").string()),
                                   *f.remote, u"C:\\up");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return o == Outcome::GoOn ? seconds : -1;
}

// The same bytes, file to file, as one TCP stream over 127.0.0.1; its wall
// time in seconds, or a negative value when it failed.
double PlainStream(const fs::path& source, const fs::path& target) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (listener >= 0) {
            close(listener);
        }
        return -1;
    }
    std::vector<char> block(CCopyEngine::kBlockSize);
    const auto t0 = std::chrono::steady_clock::now();
    std::thread sender([&] {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0) {
            std::vector<char> out(CCopyEngine::kBlockSize);
            const int in = open(source.c_str(), O_RDONLY);
            ssize_t n = 0;
            while ((n = read(in, out.data(), out.size())) > 0) {
                for (ssize_t sent = 0; sent < n;) {
                    const ssize_t k = send(s, out.data() + sent, n - sent, 0);
                    if (k <= 0) {
                        n = -1;
                        break;
                    }
                    sent += k;
                }
            }
            close(in);
        }
        close(s);
    });
    const int c = accept(listener, nullptr, nullptr);
    const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int64_t total = 0;
    ssize_t n = 0;
    while ((n = recv(c, block.data(), block.size(), 0)) > 0) {
        total += write(out, block.data(), static_cast<size_t>(n));
    }
    close(out);
    close(c);
    sender.join();
    close(listener);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return total == kFileSize ? seconds : -1;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Our copy and the plain stream take turns, round after round, so that
// whatever else the machine is doing weighs on both alike; the figure is the
// ratio of the median times, with the lowest and highest ratio of a round.
void Paired(benchmark::State& state, bool download) {
    Fixture& f = Shared();
    if (!f.ready) {
        state.SkipWithError("the simulated robot could not be set up");
        return;
    }
    const fs::path plainSource =
        download ? f.Robot("C/source.bin") : f.root / "local" / "source.bin";
    const fs::path plainTarget =
        download ? f.root / "local" / "plain.bin" : f.Robot("C/up/plain.bin");
    const fs::path ourTarget =
        download ? f.root / "local" / "down" / "source.bin" : f.Robot("C/up/source.bin");
    std::vector<double> ours, plain, ratios;
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            double a = 0, b = 0;
            // Alternate which goes first, so that neither always meets the
            // other's leftovers (dirty pages, a warm cache).
            if (round % 2 == 0) {
                a = CopyThrough(f, download);
                b = PlainStream(plainSource, plainTarget);
            } else {
                b = PlainStream(plainSource, plainTarget);
                a = CopyThrough(f, download);
            }
            if (a <= 0 || b <= 0) {
                state.SkipWithError(a <= 0 ? "copy failed" : "plain transfer failed");
                return;
            }
            ours.push_back(a);
            plain.push_back(b);
            ratios.push_back(b / a);
            // Both targets go before the next round: each round writes afresh.
            std::error_code ec;
            fs::remove(plainTarget, ec);
            fs::remove(ourTarget, ec);
        }
    }
    const double mb = kFileSize / 1e6;
    state.counters["ours_MB/s"] = mb / Median(ours);
    state.counters["plain_MB/s"] = mb / Median(plain);
    std::printf(
        "%s: %d rounds of %d MB in %s; ours %.0f MB/s (%.0f .. %.0f), plain TCP %.0f MB/s "
        "(%.0f .. %.0f)\n",
        download ? "download" : "upload", kRounds, kFileSize >> 20,
        f.inMemory ? "memory" : "the temporary folder", mb / Median(ours),
        mb / *std::max_element(ours.begin(), ours.end()),
        mb / *std::min_element(ours.begin(), ours.end()), mb / Median(plain),
        mb / *std::max_element(plain.begin(), plain.end()),
        mb / *std::min_element(plain.begin(), plain.end()));
    bench::ReportFigure(download ? "RobotDownload" : "RobotUpload", Median(plain) / Median(ours),
                        *std::min_element(ratios.begin(), ratios.end()),
                        *std::max_element(ratios.begin(), ratios.end()));
}

void Download(benchmark::State& state) {
    Paired(state, true);
}
void Upload(benchmark::State& state) {
    Paired(state, false);
}

// One iteration holds all the rounds; the library's own time of it means
// nothing here.
BENCHMARK(Download)->Name("RobotDownloadRounds")->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(Upload)->Name("RobotUploadRounds")->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
