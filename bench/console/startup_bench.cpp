// Start-up of the console to its first painted main window, and the resident
// memory of the idle console, against a minimal Qt Widgets program measured in
// the same run. Both are started as processes with the offscreen platform and
// asked to render their window to a PNG as soon as it is up.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

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

// Means for the summary; the suffix the library adds to real-time cases keeps
// the shared ratio printer from pairing them.
double g_startupMs[2] = {0, 0};
long g_residentKb[2] = {0, 0};

bool IsOurs(const char* program) {
    return std::string(program) == VELCORA_PROGRAM;
}

// Process start to the window rendered (and the process gone).
void StartupToFirstPaint(benchmark::State& state, const char* program) {
    double total = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t pid = Start(program, 0);
        if (pid < 0 || !Wait(pid)) {
            state.SkipWithError("the program failed");
            return;
        }
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                     .count();
        ++runs;
    }
    if (runs > 0)
        g_startupMs[IsOurs(program)] = total / static_cast<double>(runs);
}

void PrintSummary() {
    if (g_startupMs[0] > 0 && g_startupMs[1] > 0)
        std::printf("\nstart-up to first paint: ours %.0f ms, minimal Qt program %.0f ms: %.2fx\n",
                    g_startupMs[1], g_startupMs[0], g_startupMs[1] / g_startupMs[0]);
    if (g_residentKb[0] > 0 && g_residentKb[1] > 0)
        std::printf("idle resident memory: ours %ld kB, minimal Qt program %ld kB: %.2fx\n",
                    g_residentKb[1], g_residentKb[0],
                    static_cast<double>(g_residentKb[1]) / static_cast<double>(g_residentKb[0]));
}

// Resident memory once the window has been up and idle for a while.
void IdleMemory(benchmark::State& state, const char* program) {
    long kb = 0;
    for (auto _ : state) {
        const pid_t pid = Start(program, 1500);
        if (pid < 0) {
            state.SkipWithError("cannot start the program");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        kb = ResidentKb(pid);
        if (!Wait(pid)) {
            state.SkipWithError("the program failed");
            return;
        }
    }
    state.counters["resident_kB"] = static_cast<double>(kb);
    g_residentKb[IsOurs(program)] = kb;
    // The time of this case is fixed by the wait; the counter is the result.
}

[[maybe_unused]] const bool kRegistered = [] {
    std::atexit(PrintSummary);
    benchmark::RegisterBenchmark("StartupToFirstPaint/reference", StartupToFirstPaint,
                                 MINIMAL_PROGRAM)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("StartupToFirstPaint/ours", StartupToFirstPaint, VELCORA_PROGRAM)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("IdleResident/reference_kB", IdleMemory, MINIMAL_PROGRAM)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("IdleResident/ours_kB", IdleMemory, VELCORA_PROGRAM)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    return true;
}();

}  // namespace
