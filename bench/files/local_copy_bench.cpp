// Copying one large file on the local disk through the copy engine (temporary
// name, blocks of 64 KiB, progress and cancel polls) against a plain
// read/write loop with the same block size on the same files.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "copy_bench_support.h"
#include "files/copy_engine.h"
#include "files/local_file_system.h"
#include "link/text_codec.h"

namespace {

using namespace velcora;
using bench::Quiet;

constexpr int32_t kFileSize = 64 << 20;

// A source file and an empty destination folder, made once per process.
struct Fixture {
    Fixture() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velcora-bench-XXXXXX").string();
        root = mkdtemp(pattern.data());
        std::filesystem::create_directory(root / "dst");
        std::vector<char> block(1 << 20);
        for (std::size_t i = 0; i < block.size(); ++i) {
            block[i] = static_cast<char>(i * 131 + 7);
        }
        bench::WriteRepeated(root / "source.bin", block, kFileSize);
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    std::filesystem::path root;
};

Fixture& Files() {
    static Fixture f;
    return f;
}

void LocalCopy_ours(benchmark::State& state) {
    Fixture& f = Files();
    Quiet quiet;
    CCopyEngine engine(quiet, quiet);
    CLocalFileSystem fs;
    const std::u16string source = Utf8ToWide((f.root / "source.bin").string());
    const std::u16string dest = Utf8ToWide((f.root / "dst").string());
    for (auto _ : state) {
        if (engine.CopyFile(fs, source, fs, dest) != Outcome::GoOn) {
            state.SkipWithError("copy failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kFileSize});
}

void LocalCopy_reference(benchmark::State& state) {
    Fixture& f = Files();
    std::vector<char> block(CCopyEngine::kBlockSize);
    const std::string source = (f.root / "source.bin").string();
    const std::string target = (f.root / "dst" / "plain.bin").string();
    for (auto _ : state) {
        const int in = open(source.c_str(), O_RDONLY);
        const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ssize_t n = 0;
        while ((n = read(in, block.data(), block.size())) > 0) {
            if (write(out, block.data(), static_cast<size_t>(n)) != n) {
                break;
            }
        }
        close(out);
        close(in);
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kFileSize});
}

BENCHMARK(LocalCopy_ours)->Name("LocalCopy/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(LocalCopy_reference)->Name("LocalCopy/reference")->Unit(benchmark::kMillisecond);

}  // namespace
