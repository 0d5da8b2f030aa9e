// A large map (2000 images of 128 x 128 and 10000 walls): saving and loading
// it against a raw write and read of the same file bytes, and packing and
// unpacking it against plain compress2/uncompress of the same body.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_results.h"
#include "nav/map_format.h"

namespace {

using namespace velcora;
using namespace velcora::nav;

const CNavProject& LargeMap() {
    static const std::unique_ptr<CNavProject> map = [] {
        auto m = std::make_unique<CNavProject>([] { return 1; });
        uint32_t noise = 1;
        for (int i = 0; i < 2000; ++i) {
            CNavImage* image = m->images.NewItem();
            image->x = i * 10.0;
            image->y = i * -3.5;
            image->angle = i * 0.01;
            image->SetImageSize(128, 128);
            // A floor-like picture: smooth shading with a little sensor noise.
            for (int p = 0; p < 128 * 128; ++p) {
                noise = noise * 1664525u + 1013904223u;
                image->Pixels()[p] =
                    static_cast<uint8_t>((p % 128 + p / 128 + i) / 2 + (noise >> 29));
            }
        }
        for (int i = 0; i < 10000; ++i) {
            CNavWall* wall = m->walls.NewItem();
            wall->x = i * 1.25;
            wall->y = i * 0.75;
            wall->angle = i * 0.001;
            wall->side = static_cast<uint8_t>(i & 3);
        }
        return m;
    }();
    return *map;
}

std::string TempPath(const char* name) {
    return "/tmp/velcora_bench_" + std::to_string(getpid()) + "_" + name;
}

void SaveLoad_ours(benchmark::State& state) {
    const CNavProject& map = LargeMap();
    const std::string path = TempPath("ours.navm");
    for (auto _ : state) {
        SaveFile(map, path);
        CNavProject loaded([] { return 1; });
        benchmark::DoNotOptimize(LoadFile(loaded, path));
    }
    std::remove(path.c_str());
}

void SaveLoad_reference(benchmark::State& state) {
    CMemoryStream file(4096);
    file.Write("NA2M", 4);
    WriteBody(LargeMap(), file);
    const std::string bytes(file.View());
    const std::string path = TempPath("reference.navm");
    std::vector<char> back(bytes.size());
    for (auto _ : state) {
        std::FILE* out = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
        std::FILE* in = std::fopen(path.c_str(), "rb");
        benchmark::DoNotOptimize(std::fread(back.data(), 1, back.size(), in));
        std::fclose(in);
    }
    std::remove(path.c_str());
}

void PackUnpack_ours(benchmark::State& state) {
    const CNavProject& map = LargeMap();
    for (auto _ : state) {
        CMemoryStream packed;
        PackMap(map, packed);
        packed.Seek(0, kSeekSet);
        CMemoryStream body;
        benchmark::DoNotOptimize(UnpackMap(packed, body));
    }
}

void PackUnpack_reference(benchmark::State& state) {
    CMemoryStream body;
    WriteBody(LargeMap(), body);
    const uLong size = static_cast<uLong>(body.Size());
    for (auto _ : state) {
        std::vector<Bytef> packed(compressBound(size));
        uLongf packedSize = packed.size();
        compress2(packed.data(), &packedSize, body.Data(), size, Z_DEFAULT_COMPRESSION);
        std::vector<Bytef> back(size);
        uLongf backSize = size;
        benchmark::DoNotOptimize(uncompress(back.data(), &backSize, packed.data(), packedSize));
    }
}

// Both sides work in this thread alone (the disk's write-back runs in the
// system's own threads): compared by processor time, which other programs on
// a shared machine do not stretch.
[[maybe_unused]] const bool kByProcessorTime = velcora::bench::CompareByProcessorTime("SaveLoad");

BENCHMARK(SaveLoad_ours)->Name("SaveLoad/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(SaveLoad_reference)->Name("SaveLoad/reference")->Unit(benchmark::kMillisecond);
BENCHMARK(PackUnpack_ours)->Name("PackUnpack/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(PackUnpack_reference)->Name("PackUnpack/reference")->Unit(benchmark::kMillisecond);

}  // namespace
