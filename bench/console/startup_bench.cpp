// Start-up of the console to its first painted main window, and the resident
// memory of the idle console, against a minimal Qt Widgets program measured in
// the same run. Both are started as processes with the offscreen platform and
// asked to render their window to a PNG as soon as it is up; both note the
// moment the window was rendered (and ours its way there) in a trace file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench_results.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const fs::path& Folder() {
    static const fs::path dir = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        std::string pattern = (fs::temp_directory_path() / "velcora-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            return fs::temp_directory_path();
        // Removed at exit (the handler runs before this string is destroyed).
        static const std::string made = pattern;
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(made, ec);
        });
        return fs::path(pattern);
    }();
    return dir;
}

pid_t Start(const std::string& program, int afterMs) {
    const std::string shot = (Folder() / "shot.png").string();
    const std::string ini = (Folder() / "velcora.ini").string();
    const std::string after = std::to_string(afterMs);
    std::vector<std::string> args = {program, "--screenshot", shot, "--after", after};
    if (program == VELCORA_PROGRAM) {
        args.push_back("--ini");
        args.push_back(ini);
    }
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool Wait(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

long ResidentKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return 0;
}

int64_t MonotonicMicros() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// The marks a program left on its way to the first paint, in order, as
// milliseconds since it was spawned.
struct Marks {
    std::vector<std::pair<std::string, double>> items;
    double At(const std::string& name) const {
        for (const auto& [n, ms] : items) {
            if (n == name)
                return ms;
        }
        return -1;
    }
};

// Starts the program with its window rendered at once, waits for it, and
// reads its marks; nullopt when it failed or left no "painted" mark.
std::optional<Marks> RunOnce(const char* program) {
    const fs::path trace = Folder() / "trace.txt";
    std::error_code ec;
    fs::remove(trace, ec);
    setenv("VELCORA_STARTUP_TRACE", trace.c_str(), 1);
    const int64_t t0 = MonotonicMicros();
    const pid_t pid = Start(program, 0);
    const bool ok = pid >= 0 && Wait(pid);
    unsetenv("VELCORA_STARTUP_TRACE");
    if (!ok)
        return std::nullopt;
    Marks marks;
    std::ifstream in(trace);
    std::string line;
    while (std::getline(in, line)) {
        const auto space = line.rfind(' ');
        if (space == std::string::npos)
            continue;
        const long long at = std::atoll(line.c_str() + space + 1);
        marks.items.emplace_back(line.substr(0, space), static_cast<double>(at - t0) / 1000.0);
    }
    if (marks.At("painted") < 0)
        return std::nullopt;
    return marks;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

constexpr int kRounds = 15;

// Adds the time between each mark and the one before it to its phase.
void Collect(const Marks& marks, std::map<std::string, std::vector<double>>& phases,
             std::vector<std::string>& order) {
    double before = 0;
    std::string previous = "process start";
    for (const auto& [name, ms] : marks.items) {
        const std::string phase = previous + " -> " + name;
        if (phases.find(phase) == phases.end())
            order.push_back(phase);
        phases[phase].push_back(ms - before);
        before = ms;
        previous = name;
    }
}

// Process start to the window rendered, the two programs taking turns; the
// figure is ours over the minimal program's, by medians, with the extremes of
// a round beside it, and where our time went.
void StartupRounds(benchmark::State& state) {
    std::vector<double> ours, minimal, ratios;
    std::map<std::string, std::vector<double>> phases, plainPhases;
    std::vector<std::string> order, plainOrder;
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            std::optional<Marks> mine, plain;
            if (round % 2 == 0) {
                mine = RunOnce(VELCORA_PROGRAM);
                plain = RunOnce(MINIMAL_PROGRAM);
            } else {
                plain = RunOnce(MINIMAL_PROGRAM);
                mine = RunOnce(VELCORA_PROGRAM);
            }
            if (!mine || !plain) {
                state.SkipWithError("a program failed or drew nothing");
                return;
            }
            ours.push_back(mine->At("painted"));
            minimal.push_back(plain->At("painted"));
            ratios.push_back(ours.back() / minimal.back());
            Collect(*mine, phases, order);
            Collect(*plain, plainPhases, plainOrder);
        }
    }
    std::printf("\nstart-up to the first painted window, median of %d runs each:\n", kRounds);
    std::printf("  minimal Qt program %6.1f ms (%.1f .. %.1f), of which:\n", Median(minimal),
                *std::min_element(minimal.begin(), minimal.end()),
                *std::max_element(minimal.begin(), minimal.end()));
    for (const auto& phase : plainOrder)
        std::printf("    %-40s %6.1f ms\n", phase.c_str(), Median(plainPhases[phase]));
    std::printf("  ours               %6.1f ms (%.1f .. %.1f), of which:\n", Median(ours),
                *std::min_element(ours.begin(), ours.end()),
                *std::max_element(ours.begin(), ours.end()));
    for (const auto& phase : order)
        std::printf("    %-40s %6.1f ms\n", phase.c_str(), Median(phases[phase]));
    velcora::bench::ReportFigure("StartupToFirstPaint (x minimal)", Median(ours) / Median(minimal),
                                 *std::min_element(ratios.begin(), ratios.end()),
                                 *std::max_element(ratios.begin(), ratios.end()));
}

// Resident memory once the window has been up and idle for a while.
long IdleResidentKb(const char* program) {
    const pid_t pid = Start(program, 1500);
    if (pid < 0)
        return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const long kb = ResidentKb(pid);
    return Wait(pid) ? kb : -1;
}

void IdleMemoryRounds(benchmark::State& state) {
    std::vector<double> ours, minimal, ratios;
    for (auto _ : state) {
        for (int round = 0; round < 3; ++round) {
            const long mine = IdleResidentKb(VELCORA_PROGRAM);
            const long plain = IdleResidentKb(MINIMAL_PROGRAM);
            if (mine <= 0 || plain <= 0) {
                state.SkipWithError("a program failed");
                return;
            }
            ours.push_back(static_cast<double>(mine));
            minimal.push_back(static_cast<double>(plain));
            ratios.push_back(ours.back() / minimal.back());
        }
    }
    state.counters["ours_kB"] = Median(ours);
    state.counters["minimal_kB"] = Median(minimal);
    std::printf("\nidle resident memory: ours %.0f kB, minimal Qt program %.0f kB\n", Median(ours),
                Median(minimal));
    velcora::bench::ReportFigure("IdleResident (x minimal)", Median(ours) / Median(minimal),
                                 *std::min_element(ratios.begin(), ratios.end()),
                                 *std::max_element(ratios.begin(), ratios.end()));
}

// Each case's one iteration holds all its rounds.
BENCHMARK(StartupRounds)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(IdleMemoryRounds)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
