// Building a message body from many small typed fields and reading it back,
// against the same work on a plain std::vector with memcpy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench_results.h"
#include "link/stream.h"

namespace {

constexpr int kFields = 16384;

void AppendAndRead_ours(benchmark::State& state) {
    for (auto _ : state) {
        velcora::CMemoryStream s;
        for (int i = 0; i < kFields; ++i) {
            velcora::WriteU8(s, static_cast<uint8_t>(i));
            velcora::WriteU16(s, static_cast<uint16_t>(i));
            velcora::WriteU32(s, static_cast<uint32_t>(i));
            velcora::WriteFloat(s, static_cast<float>(i));
        }
        s.Seek(0, velcora::kSeekSet);
        uint64_t sum = 0;
        for (int i = 0; i < kFields; ++i) {
            sum += velcora::ReadU8(s);
            sum += velcora::ReadU16(s);
            sum += velcora::ReadU32(s);
            sum += static_cast<uint64_t>(velcora::ReadFloat(s));
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * kFields * 11 * 2);
}

template <typename T>
void Put(std::vector<uint8_t>& v, T value) {
    const std::size_t at = v.size();
    v.resize(at + sizeof(T));
    std::memcpy(v.data() + at, &value, sizeof(T));
}

template <typename T>
T Get(const std::vector<uint8_t>& v, std::size_t& at) {
    T value{};
    if (at + sizeof(T) <= v.size()) {
        std::memcpy(&value, v.data() + at, sizeof(T));
    }
    at += sizeof(T);
    return value;
}

void AppendAndRead_reference(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<uint8_t> v;
        for (int i = 0; i < kFields; ++i) {
            Put(v, static_cast<uint8_t>(i));
            Put(v, static_cast<uint16_t>(i));
            Put(v, static_cast<uint32_t>(i));
            Put(v, static_cast<float>(i));
        }
        std::size_t at = 0;
        uint64_t sum = 0;
        for (int i = 0; i < kFields; ++i) {
            sum += Get<uint8_t>(v, at);
            sum += Get<uint16_t>(v, at);
            sum += Get<uint32_t>(v, at);
            sum += static_cast<uint64_t>(Get<float>(v, at));
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * kFields * 11 * 2);
}

BENCHMARK(AppendAndRead_ours)->Name("AppendAndRead/ours");
BENCHMARK(AppendAndRead_reference)->Name("AppendAndRead/reference");

}  // namespace

// Single-threaded, and never waiting: compared by processor time.
[[maybe_unused]] static const bool kByProcessorTime =
    velcora::bench::CompareByProcessorTime("AppendAndRead");
