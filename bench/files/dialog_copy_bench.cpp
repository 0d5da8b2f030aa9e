// A 200 MB local copy shown in the copy dialog (offscreen) against the same
// copy with silent progress: what the dialog's bars, speed and time cost.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <filesystem>
#include <string>
#include <vector>

#include "copy_bench_support.h"
#include "files/copy_engine.h"
#include "files/gui/copy_file_dialog.h"
#include "files/local_file_system.h"
#include "link/text_codec.h"

namespace {

using namespace velcora;
using bench::Quiet;

constexpr int32_t kFileSize = 200 << 20;

QApplication& App() {
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "bench_files_gui";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return *app;
}

struct Fixture {
    Fixture() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velcora-bench-XXXXXX").string();
        root = mkdtemp(pattern.data());
        std::filesystem::create_directory(root / "dst");
        std::vector<char> block(1 << 20);
        for (std::size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<char>(i * 37 + 11);
        }
        bench::WriteRepeated(root / "source.bin", block, kFileSize);
        source = Utf8ToWide((root / "source.bin").string());
        dest = Utf8ToWide((root / "dst").string());
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    std::filesystem::path root;
    std::u16string source, dest;
};

Fixture& Files() {
    static Fixture f;
    return f;
}

void DialogCopy_ours(benchmark::State& state) {
    App();
    Fixture& f = Files();
    Quiet prompts;
    QElapsedTimer clock;
    clock.start();
    auto* dialog = new files::CCopyFileDialog(
        nullptr, [&clock] { return static_cast<uint32_t>(clock.elapsed()); }, kFileSize);
    CCopyEngine engine(prompts, *dialog);
    CLocalFileSystem fs;
    for (auto _ : state) {
        if (engine.Paste({f.source}, &fs, nullptr, fs, f.dest, nullptr) != Outcome::GoOn) {
            state.SkipWithError("copy failed");
            break;
        }
    }
    state.counters["repaints"] = dialog->Repaints();
    dialog->Destroy();
    state.SetBytesProcessed(state.iterations() * int64_t{kFileSize});
}

void DialogCopy_reference(benchmark::State& state) {
    Fixture& f = Files();
    Quiet quiet;
    CCopyEngine engine(quiet, quiet);
    CLocalFileSystem fs;
    for (auto _ : state) {
        if (engine.Paste({f.source}, &fs, nullptr, fs, f.dest, nullptr) != Outcome::GoOn) {
            state.SkipWithError("copy failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kFileSize});
}

BENCHMARK(DialogCopy_ours)->Name("DialogCopy200MB/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(DialogCopy_reference)->Name("DialogCopy200MB/reference")->Unit(benchmark::kMillisecond);

}  // namespace
