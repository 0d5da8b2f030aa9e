// Applying a pose samples every motor track's curve; a long recording is a
// record of many keys. Our curves are set against plain linear interpolation
// over the same keys, and our record against copying the same fields with
// memcpy into a byte vector.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "cyclogram/cyclogram_format.h"

namespace {

using namespace velcora;

constexpr int kTracks = 100;
constexpr int kKeys = 1000;
constexpr int kKeySpacingMs = 100;
constexpr int kSampleMs = 10;
constexpr int kRecordKeys = 20000;

CCyclogram BezierDocument(int tracks, int keys) {
    CCyclogram doc;
    for (int t = 0; t < tracks; ++t) {
        CCyclogramTrack& track = doc.track(doc.addTrack());
        track.motor = t;
        for (int k = 0; k < keys; ++k) {
            CyclogramKey key;
            key.time = k * kKeySpacingMs;
            key.value = static_cast<float>((k * 7 + t) % 11) / 10.0f;
            key.inLength = 40 + (k % 5) * 10;
            key.outLength = 60 - (k % 3) * 10;
            key.outDelta = 0.05f;
            track.appendKey(key);
        }
    }
    return doc;
}

// Samples every track every kSampleMs through `valueAt`: both curves run the
// same loop over the same keys.
template <typename ValueAt>
void SampleTracks(benchmark::State& state, ValueAt valueAt) {
    const CCyclogram doc = BezierDocument(kTracks, kKeys);
    const int32_t end = doc.endTime();
    int64_t values = 0;
    for (auto _ : state) {
        float sum = 0;
        for (int32_t t = 0; t <= end; t += kSampleMs) {
            for (int32_t i = 0; i < doc.trackCount(); ++i) {
                sum += valueAt(doc.track(i), t);
            }
        }
        benchmark::DoNotOptimize(sum);
        values += static_cast<int64_t>(end / kSampleMs + 1) * doc.trackCount();
    }
    state.SetItemsProcessed(values);
}

void ValueAt_ours(benchmark::State& state) {
    SampleTracks(state, [](const CCyclogramTrack& track, int32_t t) { return track.valueAt(t); });
}

// The cheapest curve through the same keys: find the segment, interpolate linearly.
float LinearAt(const std::vector<CyclogramKey>& keys, int32_t t) {
    if (keys.empty()) {
        return 0.5f;
    }
    if (t <= keys.front().time) {
        return keys.front().value;
    }
    if (t >= keys.back().time) {
        return keys.back().value;
    }
    std::size_t lo = 0;
    std::size_t hi = keys.size() - 1;
    while (lo + 1 < hi) {
        const std::size_t mid = (lo + hi) / 2;
        (keys[mid].time <= t ? lo : hi) = mid;
    }
    const CyclogramKey& a = keys[lo];
    const CyclogramKey& b = keys[hi];
    return a.value + (b.value - a.value) * static_cast<float>(t - a.time) /
                         static_cast<float>(b.time - a.time);
}

void ValueAt_reference(benchmark::State& state) {
    SampleTracks(state,
                 [](const CCyclogramTrack& track, int32_t t) { return LinearAt(track.keys(), t); });
}

void RecordRoundTrip_ours(benchmark::State& state) {
    const CCyclogram doc = BezierDocument(1, kRecordKeys);
    int64_t bytes = 0;
    for (auto _ : state) {
        CMemoryStream s;
        writeCyclogram(doc, s, WriteScope::Full);
        s.Seek(0, kSeekSet);
        CCyclogram back;
        benchmark::DoNotOptimize(readCyclogram(s, back));
        bytes += 2 * static_cast<int64_t>(s.Size());
    }
    state.SetBytesProcessed(bytes);
}

template <typename T>
void Put(std::vector<uint8_t>& v, T value) {
    const std::size_t at = v.size();
    v.resize(at + sizeof(T));
    std::memcpy(v.data() + at, &value, sizeof(T));
}

template <typename T>
T Take(const std::vector<uint8_t>& v, std::size_t& at) {
    T value;
    std::memcpy(&value, v.data() + at, sizeof(T));
    at += sizeof(T);
    return value;
}

void RecordRoundTrip_reference(benchmark::State& state) {
    const CCyclogram doc = BezierDocument(1, kRecordKeys);
    const auto& keys = doc.track(0).keys();
    int64_t bytes = 0;
    for (auto _ : state) {
        std::vector<uint8_t> v;
        for (const auto& k : keys) {
            Put(v, k.time);
            Put(v, k.value);
            Put(v, static_cast<uint8_t>(k.inMode));
            Put(v, k.inLength);
            Put(v, k.inDelta);
            Put(v, static_cast<uint8_t>(k.outMode));
            Put(v, k.outLength);
            Put(v, k.outDelta);
        }
        std::vector<CyclogramKey> back;
        std::size_t at = 0;
        while (at < v.size()) {
            CyclogramKey k;
            k.time = Take<int32_t>(v, at);
            k.value = Take<float>(v, at);
            k.inMode = Take<uint8_t>(v, at);
            k.inLength = Take<int32_t>(v, at);
            k.inDelta = Take<float>(v, at);
            k.outMode = Take<uint8_t>(v, at);
            k.outLength = Take<int32_t>(v, at);
            k.outDelta = Take<float>(v, at);
            back.push_back(k);
        }
        benchmark::DoNotOptimize(back.data());
        bytes += 2 * static_cast<int64_t>(v.size());
    }
    state.SetBytesProcessed(bytes);
}

}  // namespace

BENCHMARK(ValueAt_ours)->Name("ValueAt/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(ValueAt_reference)->Name("ValueAt/reference")->Unit(benchmark::kMillisecond);
BENCHMARK(RecordRoundTrip_ours)->Name("RecordRoundTrip/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(RecordRoundTrip_reference)
    ->Name("RecordRoundTrip/reference")
    ->Unit(benchmark::kMicrosecond);
