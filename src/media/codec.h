// Small wrappers that keep the codec library behind the console's own picture
// and sample buffers. Each owns one codec context and one frame and is used by
// one thread at a time (the thread of the stream it serves), so none locks.
// Failures are results plus an English line on stderr; nothing here talks to
// the operator.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace velcora::media {

// One compressed packet as produced by an encoder.
using Packet = std::vector<uint8_t>;

// A decoded picture: 24-bit B, G, R, top row first, rows at `pitch`.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t pitch = 0;
    std::unique_ptr<uint8_t[]> bgr;
};

// MPEG-4 Part 2 video decoder producing BGR pictures.
class CVideoDecoder {
  public:
    CVideoDecoder() = default;
    ~CVideoDecoder();
    CVideoDecoder(const CVideoDecoder&) = delete;
    CVideoDecoder& operator=(const CVideoDecoder&) = delete;

    // The size is only a hint: pictures come out at the size the stream has.
    bool Open(int32_t width, int32_t height);
    // -1 on failure, 0 when no picture came out (the previous one stays), 1
    // when at least one did; the buffer then holds the packet's last picture.
    int Decode(const uint8_t* data, int32_t length);
    void Close();
    bool IsOpen() const { return context_ != nullptr; }

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int32_t Pitch() const { return pitch_; }
    const uint8_t* Bgr() const { return buffer_.get(); }
    // Hands the picture buffer over; the next picture gets a fresh one.
    Picture TakePicture();

  private:
    bool Receive(int& produced);

    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::vector<uint8_t> padded_;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t pitch_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
};

// MPEG-4 Part 2 video encoder taking BGR pictures (the decoder's counterpart,
// with the same colour model).
class CVideoEncoder {
  public:
    CVideoEncoder() = default;
    ~CVideoEncoder();
    CVideoEncoder(const CVideoEncoder&) = delete;
    CVideoEncoder& operator=(const CVideoEncoder&) = delete;

    // `maxBFrames` 0 makes every picture leave at once (no reordering delay),
    // for streams that answer input.
    bool Open(int32_t width, int32_t height, double framesPerSecond, int32_t bitRate,
              int32_t maxBFrames = 1);
    // Encodes one picture (or, with `bgr` null, drains what the encoder holds).
    // Every packet that came out is appended to `packets`. -1 on failure
    // (including a picture of another size than opened), 0 when no packet came
    // out, 1 when at least one did.
    int Encode(const uint8_t* bgr, int32_t width, int32_t height, int32_t pitch,
               std::vector<Packet>& packets);
    void Close();
    bool IsOpen() const { return context_ != nullptr; }
    int32_t FrameCount() const { return frameCount_; }

  private:
    int Drain(std::vector<Packet>& packets);

    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    uint8_t* planes_[4] = {};
    int linesizes_[4] = {};
    int32_t frameCount_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    double framesPerSecond_ = 0;
    int32_t bitRate_ = 0;
    bool flushed_ = false;
};

// MPEG-1 Audio Layer II encoder for one channel.
class CAudioEncoder {
  public:
    CAudioEncoder() = default;
    ~CAudioEncoder();
    CAudioEncoder(const CAudioEncoder&) = delete;
    CAudioEncoder& operator=(const CAudioEncoder&) = delete;

    // Refuses (silently) any sample size but 16 and 8 and rates outside
    // 1000..96000 Hz; the codec takes 16-bit samples only, so 8 bits fails
    // with the sample-format message.
    bool Open(int32_t sampleRate, int32_t bitsPerSample, int32_t bitRate);
    // Encodes exactly InputBlockSize() bytes; packets are appended. -1 / 0 / 1.
    int Encode(const uint8_t* block, std::vector<Packet>& packets);
    void Close();
    bool IsOpen() const { return context_ != nullptr; }
    // Bytes per Encode call: bytes per sample times the codec's frame size.
    int32_t InputBlockSize() const { return inputBlockSize_; }

  private:
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int32_t inputBlockSize_ = 0;
};

// Length of the Layer II frame whose header starts `data`, or -1 when the
// bytes do not start a Layer II header.
int32_t Mp2FrameLength(const uint8_t* data, int32_t length);

// MPEG-1 Audio Layer II decoder appending interleaved PCM to an accumulator.
class CAudioDecoder {
  public:
    CAudioDecoder() = default;
    ~CAudioDecoder();
    CAudioDecoder(const CAudioDecoder&) = delete;
    CAudioDecoder& operator=(const CAudioDecoder&) = delete;

    bool Open();
    // Decodes one packet. -1 on failure, 0 when no samples came out (a packet
    // shorter than the frame its header announces gives 0 and is not fed to
    // the codec), 1 when samples were appended.
    int Decode(const uint8_t* data, int32_t length);
    void Close();
    bool IsOpen() const { return context_ != nullptr; }

    const uint8_t* Data() const { return pcm_.data(); }
    int32_t Count() const { return static_cast<int32_t>(pcm_.size()); }
    void ResetCount() { pcm_.clear(); }
    // Hands the accumulated bytes over and starts empty again.
    std::vector<uint8_t> TakePcm();
    // What the stream said about itself (0 before the first frame).
    int32_t SampleRate() const;
    int32_t Channels() const;

  private:
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::vector<uint8_t> padded_;
    std::vector<uint8_t> pcm_;
};

}  // namespace velcora::media
