// Colour conversion against the reference library's unscaled YUV 4:2:0 to
// BGR conversion (which does not produce our exact bytes, but sets the pace),
// decoding plus conversion of camera-sized streams against the codec library
// and its own conversion, and MP2 decoding speed.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

#include <random>
#include <string>
#include <vector>

#include "bench_results.h"
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

// The simulated camera's stream: 50 pictures of its scene.
std::vector<Packet> SceneStream(int w, int h, int bitRate) {
    CVideoEncoder encoder;
    std::vector<Packet> packets;
    if (!encoder.Open(w, h, 25.0, bitRate)) {
        return packets;
    }
    std::vector<uint8_t> bgr;
    for (uint32_t n = 0; n < 50; ++n) {
        velcora::sim::RenderScene(bgr, w, h, 0, n, n * 40);
        encoder.Encode(bgr.data(), w, h, BgrPitch(w), packets);
    }
    while (encoder.Encode(nullptr, 0, 0, 0, packets) == 1) {
    }
    return packets;
}

// Pictures per second of decoding plus conversion to what the window shows,
// each picture taken over as the panel does.
void DecodeAndConvertOurs(benchmark::State& state, int w, int h, int bitRate) {
    const auto packets = SceneStream(w, h, bitRate);
    CVideoDecoder decoder;
    int64_t pictures = 0;
    for (auto _ : state) {
        state.PauseTiming();
        decoder.Open(w, h);
        state.ResumeTiming();
        for (const auto& p : packets) {
            if (decoder.Decode(p.data(), static_cast<int32_t>(p.size())) == 1) {
                ++pictures;
                benchmark::DoNotOptimize(decoder.TakePicture().bgr.get());
            }
        }
    }
    state.counters["pictures/s"] =
        benchmark::Counter(static_cast<double>(pictures), benchmark::Counter::kIsRate);
}

// The same packets through the codec library alone and its own conversion to
// BGR, into one picture buffer reused throughout: the pace to keep.
void DecodeAndConvertReference(benchmark::State& state, int w, int h, int bitRate) {
    const auto stream = SceneStream(w, h, bitRate);
    // Padded once, outside the timing, as the codec wants its input.
    std::vector<std::vector<uint8_t>> packets;
    for (const auto& p : stream) {
        std::vector<uint8_t> padded(p.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        std::copy(p.begin(), p.end(), padded.begin());
        packets.push_back(std::move(padded));
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MPEG4);
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_YUV420P, w, h, AV_PIX_FMT_BGR24, SWS_POINT,
                                     nullptr, nullptr, nullptr);
    if (!codec || !frame || !packet || !sws) {
        state.SkipWithError("the codec library could not be set up");
        return;
    }
    const int pitch = BgrPitch(w);
    std::vector<uint8_t> out(static_cast<size_t>(pitch) * h);
    uint8_t* dst[1] = {out.data()};
    const int dstPitch[1] = {pitch};
    int64_t pictures = 0;
    for (auto _ : state) {
        state.PauseTiming();
        AVCodecContext* context = avcodec_alloc_context3(codec);
        context->width = w;
        context->height = h;
        context->pix_fmt = AV_PIX_FMT_YUV420P;
        avcodec_open2(context, codec, nullptr);
        state.ResumeTiming();
        for (std::size_t i = 0; i < packets.size(); ++i) {
            packet->data = packets[i].data();
            packet->size = static_cast<int>(stream[i].size());
            if (avcodec_send_packet(context, packet) < 0) {
                continue;
            }
            while (avcodec_receive_frame(context, frame) == 0) {
                sws_scale(sws, frame->data, frame->linesize, 0, h, dst, dstPitch);
                benchmark::DoNotOptimize(out.data());
                av_frame_unref(frame);
                ++pictures;
            }
        }
        state.PauseTiming();
        avcodec_free_context(&context);
        state.ResumeTiming();
    }
    state.counters["pictures/s"] =
        benchmark::Counter(static_cast<double>(pictures), benchmark::Counter::kIsRate);
    sws_freeContext(sws);
    av_packet_free(&packet);
    av_frame_free(&frame);
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
    velcora::bench::CompareByProcessorTime("DecodeAndConvert_");
    for (auto [w, h] : {std::pair{640, 480}, std::pair{1280, 720}}) {
        const std::string base = "Yuv420ToBgr_" + std::to_string(w) + "x" + std::to_string(h);
        benchmark::RegisterBenchmark((base + "/ours").c_str(), ConvertOurs, w, h);
        benchmark::RegisterBenchmark((base + "/reference").c_str(), ConvertReference, w, h);
    }
    benchmark::RegisterBenchmark("Yuv420ToBgr_640x480_scalar", ConvertLevel, SimdLevel::kScalar);
    benchmark::RegisterBenchmark("Yuv420ToBgr_640x480_sse2", ConvertLevel, SimdLevel::kSse2);
    benchmark::RegisterBenchmark("Yuv420ToBgr_640x480_avx2", ConvertLevel, SimdLevel::kAvx2);
    for (auto [w, h] : {std::pair{640, 480}, std::pair{1280, 720}}) {
        for (int rate : {720000, 2500000}) {
            const std::string base = "DecodeAndConvert_" + std::to_string(w) + "x" +
                                     std::to_string(h) + "_" + std::to_string(rate / 1000) + "k";
            benchmark::RegisterBenchmark((base + "/ours").c_str(), DecodeAndConvertOurs, w, h, rate)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(5);
            benchmark::RegisterBenchmark((base + "/reference").c_str(), DecodeAndConvertReference,
                                         w, h, rate)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(5);
        }
    }
    benchmark::RegisterBenchmark("SimCameraPicture_640x480", SimCameraPicture)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Mp2Decode_44100", Mp2Decode)->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace
