// Colour conversion against the reference library's unscaled YUV 4:2:0 to
// BGR conversion (which does not produce our exact bytes, but sets the pace),
// decoding plus conversion of a camera-sized stream, and MP2 decoding speed.
#include <benchmark/benchmark.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <random>
#include <string>
#include <vector>

#include "media/codec.h"
#include "media/color_convert.h"
#include "media/media_test_util.h"
#include "sim/sim_media.h"

namespace {

using namespace velcora::media;

struct Source {
    int w, h;
    std::vector<uint8_t> y, u, v;
    Source(int w_, int h_) : w(w_), h(h_), y(w * h), u((w / 2) * (h / 2)), v(u.size()) {
        std::mt19937 rng(1);
        for (auto* plane : {&y, &u, &v}) {
            for (auto& s : *plane) {
                s = static_cast<uint8_t>(rng());
            }
        }
    }
};

void ConvertOurs(benchmark::State& state, int w, int h) {
    Source src(w, h);
    const int pitch = BgrPitch(w);
    std::vector<uint8_t> out(static_cast<size_t>(pitch) * h);
    const YuvPlanes planes{src.y.data(), src.u.data(), src.v.data(), w, w / 2, w / 2};
    for (auto _ : state) {
        ConvertYuv420ToBgr(planes, w, h, out.data(), pitch);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * w * h);
}

void ConvertReference(benchmark::State& state, int w, int h) {
    Source src(w, h);
    const int pitch = BgrPitch(w);
    std::vector<uint8_t> out(static_cast<size_t>(pitch) * h);
    SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_BGR24, SWS_POINT,
                                     nullptr, nullptr, nullptr);
    if (!sws) {
        state.SkipWithError("no conversion context");
        return;
    }
    const uint8_t* in[3] = {src.y.data(), src.u.data(), src.v.data()};
    const int inPitch[3] = {w, w / 2, w / 2};
    uint8_t* dst[1] = {out.data()};
    const int dstPitch[1] = {pitch};
    for (auto _ : state) {
        sws_scale(sws, in, inPitch, 0, h, dst, dstPitch);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * w * h);
    sws_freeContext(sws);
}

void ConvertLevel(benchmark::State& state, SimdLevel level) {
    const int w = 640, h = 480;
    Source src(w, h);
    const int pitch = BgrPitch(w);
    std::vector<uint8_t> out(static_cast<size_t>(pitch) * h);
    const YuvPlanes planes{src.y.data(), src.u.data(), src.v.data(), w, w / 2, w / 2};
    if (!SimdLevelAvailable(level)) {
        state.SkipWithError("not on this processor");
        return;
    }
    for (auto _ : state) {
        ConvertYuv420ToBgr(planes, w, h, out.data(), pitch, level);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * w * h);
}

// The simulated camera's stream at 640x480: 50 pictures of its scene.
std::vector<Packet> SceneStream(int bitRate) {
    CVideoEncoder encoder;
    std::vector<Packet> packets;
    if (!encoder.Open(640, 480, 25.0, bitRate)) {
        return packets;
    }
    std::vector<uint8_t> bgr;
    for (uint32_t n = 0; n < 50; ++n) {
        velcora::sim::RenderScene(bgr, 640, 480, 0, n, n * 40);
        encoder.Encode(bgr.data(), 640, 480, BgrPitch(640), packets);
    }
    while (encoder.Encode(nullptr, 0, 0, 0, packets) == 1) {
    }
    return packets;
}

// Frames per second of decoding plus conversion of the simulator's stream.
void DecodeAndConvert(benchmark::State& state) {
    const auto packets = SceneStream(720000);
    CVideoDecoder decoder;
    int64_t pictures = 0;
    for (auto _ : state) {
        state.PauseTiming();
        decoder.Open(640, 480);
        state.ResumeTiming();
        for (const auto& p : packets) {
            pictures += decoder.Decode(p.data(), static_cast<int32_t>(p.size())) == 1;
        }
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(pictures), benchmark::Counter::kIsRate);
}

// What one picture costs the simulated robot's loop: drawing the scene and
// encoding it.
void SimCameraPicture(benchmark::State& state) {
    CVideoEncoder encoder;
    encoder.Open(640, 480, 25.0, 720000);
    std::vector<uint8_t> bgr;
    std::vector<Packet> packets;
    uint32_t n = 0;
    for (auto _ : state) {
        velcora::sim::RenderScene(bgr, 640, 480, 0, n, n * 40);
        ++n;
        encoder.Encode(bgr.data(), 640, 480, BgrPitch(640), packets);
        packets.clear();
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Seconds of sound decoded per second of work.
void Mp2Decode(benchmark::State& state) {
    const auto packets = testutil::EncodeTone(44100, 440.0, 100);
    CAudioDecoder decoder;
    decoder.Open();
    double seconds = 0;
    for (auto _ : state) {
        for (const auto& p : packets) {
            decoder.Decode(p.data(), static_cast<int32_t>(p.size()));
        }
        seconds += decoder.Count() / 2.0 / 44100.0;
        decoder.ResetCount();
    }
    state.counters["realtime_x"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}

const bool kRegistered = [] {
    for (auto [w, h] : {std::pair{640, 480}, std::pair{1280, 720}}) {
        const std::string base = "Yuv420ToBgr_" + std::to_string(w) + "x" + std::to_string(h);
        benchmark::RegisterBenchmark((base + "/ours").c_str(), ConvertOurs, w, h);
        benchmark::RegisterBenchmark((base + "/reference").c_str(), ConvertReference, w, h);
    }
    benchmark::RegisterBenchmark("Yuv420ToBgr_640x480_scalar", ConvertLevel, SimdLevel::kScalar);
    benchmark::RegisterBenchmark("Yuv420ToBgr_640x480_sse2", ConvertLevel, SimdLevel::kSse2);
    benchmark::RegisterBenchmark("Yuv420ToBgr_640x480_avx2", ConvertLevel, SimdLevel::kAvx2);
    benchmark::RegisterBenchmark("DecodeAndConvert_640x480", DecodeAndConvert)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("SimCameraPicture_640x480", SimCameraPicture)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Mp2Decode_44100", Mp2Decode)->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
