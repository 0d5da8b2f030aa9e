#include "media/codec.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libavutil/version.h>
}
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "media/color_convert.h"

namespace velcora::media {
namespace {

// The codec libraries are opened on first use rather than with the program:
// they bring dozens of others with them, which the console would otherwise
// load, relocate and keep in memory before its window could even show, and
// without a single picture or sound to decode.
#define VELCORA_CODEC_FUNCTIONS(X) \
    X(av_packet_unref)             \
    X(av_frame_free)               \
    X(av_packet_free)              \
    X(avcodec_free_context)        \
    X(av_log_set_level)            \
    X(avcodec_find_encoder)        \
    X(avcodec_find_decoder)        \
    X(avcodec_alloc_context3)      \
    X(avcodec_open2)               \
    X(av_frame_alloc)              \
    X(av_packet_alloc)             \
    X(avcodec_receive_packet)      \
    X(avcodec_send_packet)         \
    X(avcodec_receive_frame)       \
    X(av_frame_unref)              \
    X(av_freep)                    \
    X(av_opt_set)                  \
    X(av_image_alloc)              \
    X(avcodec_send_frame)          \
    X(av_get_sample_fmt_name)      \
    X(av_channel_layout_copy)      \
    X(avcodec_fill_audio_frame)    \
    X(av_get_bytes_per_sample)     \
    X(av_sample_fmt_is_planar)

struct CodecFunctions {
#define VELCORA_CODEC_POINTER(name) decltype(&::name) name = nullptr;
    VELCORA_CODEC_FUNCTIONS(VELCORA_CODEC_POINTER)
#undef VELCORA_CODEC_POINTER
};

// Loads the libraries of the version the program was built against, once and
// from whichever thread comes first; nullptr (with a message) when they or
// one of their functions cannot be had.
const CodecFunctions* LoadCodecs() {
    static const CodecFunctions* const loaded = []() -> const CodecFunctions* {
        const std::string utilName = "libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR);
        const std::string codecName = "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR);
        void* util = dlopen(utilName.c_str(), RTLD_NOW | RTLD_LOCAL);
        void* codec = util ? dlopen(codecName.c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
        if (!codec) {
            std::fprintf(stderr, "Codec library not available: %s\n", dlerror());
            return nullptr;
        }
        static CodecFunctions f;
        bool complete = true;
        auto resolve = [&](const char* name) {
            void* found = dlsym(codec, name);
            if (!found) {
                found = dlsym(util, name);
            }
            if (!found) {
                std::fprintf(stderr, "Codec library lacks %s\n", name);
                complete = false;
            }
            return found;
        };
#define VELCORA_CODEC_RESOLVE(name) f.name = reinterpret_cast<decltype(f.name)>(resolve(#name));
        VELCORA_CODEC_FUNCTIONS(VELCORA_CODEC_RESOLVE)
#undef VELCORA_CODEC_RESOLVE
        if (!complete) {
            return nullptr;
        }
        // The codec library's own chatter would bury the few lines this
        // layer prints.
        f.av_log_set_level(AV_LOG_QUIET);
        return &f;
    }();
    return loaded;
}

// Only for code that runs with a codec open, which the libraries were loaded for.
const CodecFunctions& Av() {
    return *LoadCodecs();
}

// Feeds bytes to the codec from a zero-padded copy: the bit reader may look
// past the end of a packet.
AVPacket* FillPacket(AVPacket* packet, std::vector<uint8_t>& padded, const uint8_t* data,
                     int32_t length) {
    padded.resize(static_cast<size_t>(length) + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(padded.data(), data, static_cast<size_t>(length));
    std::memset(padded.data() + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    Av().av_packet_unref(packet);
    packet->data = padded.data();
    packet->size = length;
    return packet;
}

void FreeAll(AVCodecContext*& context, AVFrame*& frame, AVPacket*& packet) {
    if (!context && !frame && !packet) {
        return;  // nothing was opened, and the libraries may never have been loaded
    }
    Av().av_frame_free(&frame);
    Av().av_packet_free(&packet);
    Av().avcodec_free_context(&context);
}

bool IsAgain(int r) {
    return r == AVERROR(EAGAIN) || r == AVERROR_EOF;
}

// Looks up the codec and allocates its context; the caller fills the context
// in before OpenContext. `kind` ("video", "audio") names it in the messages.
AVCodecContext* NewContext(AVCodecID id, bool encoder, const char* kind, const AVCodec*& codec) {
    codec = nullptr;
    if (!LoadCodecs()) {
        return nullptr;
    }
    codec = encoder ? Av().avcodec_find_encoder(id) : Av().avcodec_find_decoder(id);
    if (!codec) {
        std::fprintf(stderr, "Codec not found\n");
        return nullptr;
    }
    AVCodecContext* context = Av().avcodec_alloc_context3(codec);
    if (!context) {
        std::fprintf(stderr, "Could not allocate %s codec context\n", kind);
    }
    return context;
}

// Opens the filled-in context and allocates the frame and packet every codec
// works through. On failure the caller closes, which frees whatever was made.
bool OpenContext(AVCodecContext* context, const AVCodec* codec, const char* kind, AVFrame*& frame,
                 AVPacket*& packet) {
    if (Av().avcodec_open2(context, codec, nullptr) < 0) {
        std::fprintf(stderr, "Could not open codec\n");
        return false;
    }
    frame = Av().av_frame_alloc();
    packet = Av().av_packet_alloc();
    if (!frame || !packet) {
        std::fprintf(stderr, "Could not allocate %s frame\n", kind);
        return false;
    }
    return true;
}

// Moves every packet the encoder has ready into `packets`: 1 when any came,
// 0 when none, or the codec's negative error code.
int ReceivePackets(AVCodecContext* context, AVPacket* packet, std::vector<Packet>& packets) {
    int got = 0;
    for (;;) {
        const int r = Av().avcodec_receive_packet(context, packet);
        if (IsAgain(r)) {
            return got;
        }
        if (r < 0) {
            return r;
        }
        packets.emplace_back(packet->data, packet->data + packet->size);
        Av().av_packet_unref(packet);
        got = 1;
    }
}

}  // namespace

int32_t Mp2FrameLength(const uint8_t* data, int32_t length) {
    if (!data || length < 4 || data[0] != 0xFF || (data[1] & 0xE0) != 0xE0) {
        return -1;
    }
    const int version = (data[1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const int layer = (data[1] >> 1) & 3;    // 2 is Layer II
    const int rateIndex = (data[2] >> 4) & 15;
    const int freqIndex = (data[2] >> 2) & 3;
    if (version == 1 || layer != 2 || rateIndex == 0 || rateIndex == 15 || freqIndex == 3) {
        return -1;
    }
    static const int kMpeg1[15] = {0,   32,  48,  56,  64,  80,  96, 112,
                                   128, 160, 192, 224, 256, 320, 384};
    static const int kMpeg2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int kFreq[3] = {44100, 48000, 32000};
    const int kbit = version == 3 ? kMpeg1[rateIndex] : kMpeg2[rateIndex];
    const int freq = kFreq[freqIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    return 144000 * kbit / freq + ((data[2] >> 1) & 1);
}

// ------------------------------------------------------------------ decoder

CVideoDecoder::~CVideoDecoder() {
    Close();
}

void CVideoDecoder::Close() {
    FreeAll(context_, frame_, packet_);
    buffer_.reset();
    width_ = height_ = pitch_ = 0;
}

bool CVideoDecoder::Open(int32_t width, int32_t height) {
    Close();
    const AVCodec* codec = nullptr;
    context_ = NewContext(AV_CODEC_ID_MPEG4, false, "video", codec);
    if (!context_) {
        return false;
    }
    context_->width = width;
    context_->height = height;
    context_->pix_fmt = AV_PIX_FMT_YUV420P;
    if (!OpenContext(context_, codec, "video", frame_, packet_)) {
        Close();
        return false;
    }
    return true;
}

int CVideoDecoder::Decode(const uint8_t* data, int32_t length) {
    if (!context_ || !data || length <= 0) {
        return -1;
    }
    if (Av().avcodec_send_packet(context_, FillPacket(packet_, padded_, data, length)) < 0) {
        std::fprintf(stderr, "Error while decoding frame %d\n", context_->frame_number);
        return -1;
    }
    int produced = 0;
    if (!Receive(produced)) {
        std::fprintf(stderr, "Error while decoding frame %d\n", context_->frame_number);
        return -1;
    }
    return produced > 0 ? 1 : 0;
}

bool CVideoDecoder::Receive(int& produced) {
    for (;;) {
        const int r = Av().avcodec_receive_frame(context_, frame_);
        if (IsAgain(r)) {
            return true;
        }
        if (r < 0) {
            return false;
        }
        const int32_t w = frame_->width;
        const int32_t h = frame_->height;
        // Only planar 4:2:0 is converted; anything else is a broken stream.
        if (frame_->format != AV_PIX_FMT_YUV420P || w <= 0 || h <= 0) {
            Av().av_frame_unref(frame_);
            return false;
        }
        if (!buffer_ || w != width_ || h != height_) {
            width_ = w;
            height_ = h;
            pitch_ = BgrPitch(w);
            buffer_.reset(new uint8_t[static_cast<size_t>(pitch_) * h]);
        }
        YuvPlanes planes{frame_->data[0],     frame_->data[1],     frame_->data[2],
                         frame_->linesize[0], frame_->linesize[1], frame_->linesize[2]};
        ConvertYuv420ToBgr(planes, w, h, buffer_.get(), pitch_);
        Av().av_frame_unref(frame_);
        ++produced;
    }
}

Picture CVideoDecoder::TakePicture() {
    Picture p;
    if (buffer_) {
        p.width = width_;
        p.height = height_;
        p.pitch = pitch_;
        p.bgr = std::move(buffer_);
    }
    return p;
}

// ------------------------------------------------------------------ encoder

CVideoEncoder::~CVideoEncoder() {
    Close();
}

void CVideoEncoder::Close() {
    FreeAll(context_, frame_, packet_);
    if (planes_[0]) {
        Av().av_freep(&planes_[0]);
    }
    std::memset(planes_, 0, sizeof planes_);
    std::memset(linesizes_, 0, sizeof linesizes_);
    frameCount_ = 0;
    flushed_ = false;
}

bool CVideoEncoder::Open(int32_t width, int32_t height, double framesPerSecond, int32_t bitRate,
                         int32_t maxBFrames) {
    Close();
    const double scaled = std::trunc(framesPerSecond * 1000.0);
    if (width <= 0 || height <= 0 || !(scaled >= 1.0 && scaled <= 2147483647.0)) {
        return false;
    }
    const AVCodec* codec = nullptr;
    context_ = NewContext(AV_CODEC_ID_MPEG4, true, "video", codec);
    if (!context_) {
        return false;
    }
    context_->bit_rate = bitRate;
    context_->width = width;
    context_->height = height;
    context_->time_base = AVRational{1000, static_cast<int>(scaled)};
    context_->framerate = AVRational{static_cast<int>(scaled), 1000};
    context_->gop_size = 10;
    context_->max_b_frames = std::clamp(maxBFrames, 0, 1);
    context_->pix_fmt = AV_PIX_FMT_YUV420P;
    // Not every build of the codec knows the option; it only tunes speed.
    Av().av_opt_set(context_->priv_data, "preset", "slow", 0);
    if (!OpenContext(context_, codec, "video", frame_, packet_)) {
        Close();
        return false;
    }
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = width;
    frame_->height = height;
    if (Av().av_image_alloc(planes_, linesizes_, width, height, AV_PIX_FMT_YUV420P, 32) < 0) {
        std::fprintf(stderr, "Could not allocate raw picture buffer\n");
        Close();
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        frame_->data[i] = planes_[i];
        frame_->linesize[i] = linesizes_[i];
    }
    width_ = width;
    height_ = height;
    framesPerSecond_ = framesPerSecond;
    bitRate_ = bitRate;
    frameCount_ = 0;
    return true;
}

int CVideoEncoder::Drain(std::vector<Packet>& packets) {
    const int r = ReceivePackets(context_, packet_, packets);
    if (r < 0) {
        std::fprintf(stderr, "Error %d encoding frame\n", r);
        return -1;
    }
    return r;
}

int CVideoEncoder::Encode(const uint8_t* bgr, int32_t width, int32_t height, int32_t pitch,
                          std::vector<Packet>& packets) {
    if (!context_) {
        return -1;
    }
    if (bgr) {
        if (width != width_ || height != height_ || flushed_ || pitch < width * 3) {
            return -1;
        }
        ConvertBgrToYuv420(
            bgr, width, height, pitch,
            {planes_[0], planes_[1], planes_[2], linesizes_[0], linesizes_[1], linesizes_[2]});
        frame_->pts = frameCount_++;
        const int r = Av().avcodec_send_frame(context_, frame_);
        if (r < 0) {
            std::fprintf(stderr, "Error %d encoding frame\n", r);
            return -1;
        }
    } else if (!flushed_) {
        flushed_ = true;
        const int r = Av().avcodec_send_frame(context_, nullptr);
        if (r < 0) {
            std::fprintf(stderr, "Error %d encoding frame\n", r);
            return -1;
        }
    }
    return Drain(packets);
}

// ------------------------------------------------------------ audio encoder

CAudioEncoder::~CAudioEncoder() {
    Close();
}

void CAudioEncoder::Close() {
    FreeAll(context_, frame_, packet_);
    inputBlockSize_ = 0;
}

bool CAudioEncoder::Open(int32_t sampleRate, int32_t bitsPerSample, int32_t bitRate) {
    Close();
    if ((bitsPerSample != 16 && bitsPerSample != 8) || sampleRate < 1000 || sampleRate > 96000) {
        return false;
    }
    const AVCodec* codec = nullptr;
    context_ = NewContext(AV_CODEC_ID_MP2, true, "audio", codec);
    if (!context_) {
        return false;
    }
    context_->bit_rate = bitRate;
    context_->sample_fmt = bitsPerSample == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_U8;
    bool supported = false;
    for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f) {
        supported = supported || *f == context_->sample_fmt;
    }
    if (!supported) {
        std::fprintf(stderr, "Encoder does not support sample format %s",
                     Av().av_get_sample_fmt_name(context_->sample_fmt));
        Close();
        return false;
    }
    context_->sample_rate = sampleRate;
    const AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    Av().av_channel_layout_copy(&context_->ch_layout, &mono);
    if (!OpenContext(context_, codec, "audio", frame_, packet_)) {
        Close();
        return false;
    }
    frame_->nb_samples = context_->frame_size;
    frame_->format = context_->sample_fmt;
    Av().av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout);
    inputBlockSize_ = (bitsPerSample / 8) * context_->frame_size;
    return true;
}

int CAudioEncoder::Encode(const uint8_t* block, std::vector<Packet>& packets) {
    if (!context_ || !block) {
        return -1;
    }
    frame_->nb_samples = context_->frame_size;
    if (Av().avcodec_fill_audio_frame(frame_, context_->ch_layout.nb_channels, context_->sample_fmt,
                                      block, inputBlockSize_, 0) < 0) {
        std::fprintf(stderr, "Could not setup audio frame\n");
        return -1;
    }
    const int r = Av().avcodec_send_frame(context_, frame_);
    if (r < 0) {
        std::fprintf(stderr, "Error encoding audio frame\n");
        return -1;
    }
    const int got = ReceivePackets(context_, packet_, packets);
    if (got < 0) {
        std::fprintf(stderr, "Error encoding audio frame\n");
        return -1;
    }
    return got;
}

// ------------------------------------------------------------ audio decoder

CAudioDecoder::~CAudioDecoder() {
    Close();
}

void CAudioDecoder::Close() {
    FreeAll(context_, frame_, packet_);
    pcm_.clear();
    pcm_.shrink_to_fit();
}

bool CAudioDecoder::Open() {
    Close();
    const AVCodec* codec = nullptr;
    context_ = NewContext(AV_CODEC_ID_MP2, false, "audio", codec);
    if (!context_) {
        return false;
    }
    // The player hands 16-bit samples to the device.
    context_->request_sample_fmt = AV_SAMPLE_FMT_S16;
    if (!OpenContext(context_, codec, "audio", frame_, packet_)) {
        Close();
        return false;
    }
    return true;
}

int CAudioDecoder::Decode(const uint8_t* data, int32_t length) {
    if (!context_ || !data || length <= 0) {
        return -1;
    }
    // A frame cut short is no frame: the codec would conceal the missing part
    // and play a burst of noise instead.
    const int32_t frame = Mp2FrameLength(data, length);
    if (length < 4 || frame > length) {
        return 0;
    }
    if (Av().avcodec_send_packet(context_, FillPacket(packet_, padded_, data, length)) < 0) {
        std::fprintf(stderr, "Error while decoding\n");
        return -1;
    }
    int got = 0;
    for (;;) {
        const int r = Av().avcodec_receive_frame(context_, frame_);
        if (IsAgain(r)) {
            return got;
        }
        if (r < 0) {
            std::fprintf(stderr, "Error while decoding\n");
            return -1;
        }
        const int bytes = Av().av_get_bytes_per_sample(static_cast<AVSampleFormat>(frame_->format));
        if (bytes <= 0) {
            std::fprintf(stderr, "Failed to calculate data size\n");
            Av().av_frame_unref(frame_);
            return -1;
        }
        const int channels = frame_->ch_layout.nb_channels;
        const int samples = frame_->nb_samples;
        const bool planar =
            Av().av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame_->format));
        const size_t start = pcm_.size();
        pcm_.resize(start + static_cast<size_t>(channels) * samples * bytes);
        uint8_t* out = pcm_.data() + start;
        if (planar) {
            for (int i = 0; i < samples; ++i) {
                for (int ch = 0; ch < channels; ++ch) {
                    std::memcpy(out, frame_->extended_data[ch] + static_cast<size_t>(i) * bytes,
                                bytes);
                    out += bytes;
                }
            }
        } else {
            std::memcpy(out, frame_->extended_data[0],
                        static_cast<size_t>(channels) * samples * bytes);
        }
        Av().av_frame_unref(frame_);
        got = 1;
    }
}

std::vector<uint8_t> CAudioDecoder::TakePcm() {
    std::vector<uint8_t> out;
    out.swap(pcm_);
    return out;
}

int32_t CAudioDecoder::SampleRate() const {
    return context_ ? context_->sample_rate : 0;
}

int32_t CAudioDecoder::Channels() const {
    return context_ ? context_->ch_layout.nb_channels : 0;
}

}  // namespace velcora::media
