// Copying a 200 MB file to and from the simulated robot over 127.0.0.1
// (request by request, 64 KiB blocks, through the copy engine and the robot
// link) against a plain TCP stream of the same bytes on the same machine,
// file to file. The robot runs on a thread and loop of its own, as the
// separate program would.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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
        std::string pattern = (fs::temp_directory_path() / "velcora-bench-XXXXXX").string();
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

// Megabytes per second of wall time (the rate counters of the library go by
// processor time, which a loop that mostly waits for its peer barely uses).
class WallRate {
  public:
    WallRate() : start_(std::chrono::steady_clock::now()) {}
    void Report(benchmark::State& state) const {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        if (seconds > 0) {
            state.counters["MB/s"] =
                static_cast<double>(state.iterations()) * kFileSize / 1e6 / seconds;
        }
    }

  private:
    std::chrono::steady_clock::time_point start_;
};

void CopyThrough(benchmark::State& state, bool download) {
    Fixture& f = Shared();
    if (!f.ready) {
        state.SkipWithError("the simulated robot could not be set up");
        return;
    }
    Quiet quiet;
    CCopyEngine engine(quiet, quiet);
    const WallRate rate;
    for (auto _ : state) {
        const Outcome o =
            download
                ? engine.CopyFile(*f.remote, u"C:\\source.bin", f.local,
                                  Utf8ToWide((f.root / "local").string()) + u"/down")
                : engine.CopyFile(f.local, Utf8ToWide((f.root / "local" / "source.bin").string()),
                                  *f.remote, u"C:\\up");
        if (o != Outcome::GoOn) {
            state.SkipWithError("copy failed");
            break;
        }
    }
    rate.Report(state);
}

// The same bytes, file to file, as one TCP stream over 127.0.0.1.
void PlainStream(benchmark::State& state, const fs::path& source, const fs::path& target) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        state.SkipWithError("no listening socket");
        return;
    }
    std::vector<char> block(CCopyEngine::kBlockSize);
    const WallRate rate;
    for (auto _ : state) {
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
        if (total != kFileSize) {
            state.SkipWithError("short transfer");
            break;
        }
    }
    close(listener);
    rate.Report(state);
}

void Download_ours(benchmark::State& state) {
    CopyThrough(state, true);
}
void Download_reference(benchmark::State& state) {
    Fixture& f = Shared();
    PlainStream(state, f.Robot("C/source.bin"), f.root / "local" / "plain.bin");
}
void Upload_ours(benchmark::State& state) {
    CopyThrough(state, false);
}
void Upload_reference(benchmark::State& state) {
    Fixture& f = Shared();
    PlainStream(state, f.root / "local" / "source.bin", f.Robot("C/up/plain.bin"));
}

// No iteration count or real-time switch: either would add a suffix to the
// names and part each pair. The real time is what the ratio compares.
#define REMOTE_CASE(fn, name) BENCHMARK(fn)->Name(name)->Unit(benchmark::kMillisecond)
REMOTE_CASE(Download_ours, "RobotDownload/ours");
REMOTE_CASE(Download_reference, "RobotDownload/reference");
REMOTE_CASE(Upload_ours, "RobotUpload/ours");
REMOTE_CASE(Upload_reference, "RobotUpload/reference");

}  // namespace
