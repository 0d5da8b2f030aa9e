// PCM wave files: an output that plays into a file instead of a sound card
// (same interface as the device), and a reader for feeding a file through the
// microphone path.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/stream.h"
#include "platform/audio_output.h"

namespace velcora::media {

// Writes everything it is given to a mono PCM wave file; each buffer counts as
// played at once. The first Open creates the file; later Opens with the same
// format carry on in it, another format is refused (one file, one format).
class CWavFileOutput : public platform::IAudioOutput {
  public:
    explicit CWavFileOutput(std::string path);
    ~CWavFileOutput() override;

    bool Open(int32_t rate, int32_t bits, Completion done) override;
    bool Write(const uint8_t* data, int32_t size, uintptr_t tag) override;
    void Reset() override {}
    void Close() override;
    bool IsOpen() const override { return open_; }

    // Completes the header; the file stays valid after every Write anyway.
    bool Finish();
    int64_t DataBytes() const { return dataBytes_; }
    int32_t Rate() const { return rate_; }

  private:
    std::string path_;
    std::unique_ptr<CFileStream> file_;
    Completion done_;
    bool open_ = false;
    int32_t rate_ = 0;
    int32_t bits_ = 0;
    int64_t dataBytes_ = 0;
};

struct WavData {
    int32_t rate = 0;
    int32_t bits = 0;
    int32_t channels = 0;
    std::vector<uint8_t> samples;  // interleaved as stored
};

// The sample rates a wave file may declare; others mean a damaged header.
inline constexpr int32_t kMinWavRate = 1000;
inline constexpr int32_t kMaxWavRate = 768000;

// Reads a PCM wave file; false for anything else or a damaged file.
bool ReadWavFile(const std::string& path, WavData& out);
// Reduces 16-bit interleaved samples to one channel (mean of the channels).
std::vector<int16_t> ToMono16(const WavData& wav);
// Linear interpolation from one rate to another (the same samples when the
// rates are equal; nothing for a rate that is not positive).
std::vector<int16_t> Resample16(const std::vector<int16_t>& in, int32_t fromRate, int32_t toRate);

}  // namespace velcora::media
