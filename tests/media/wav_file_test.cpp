// The wave-file reader takes files from the operator's disk: damaged headers
// are refused instead of read into something that cannot be played.
#include "media/wav_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

namespace velcora::media {
namespace {

std::string U32(uint32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>(v >> (8 * i));
    return out;
}
std::string U16(uint16_t v) {
    return U32(v).substr(0, 2);
}

// A PCM file of `bytes` of silence with the given header values.
std::string Wave(int32_t rate, uint16_t bits, uint16_t channels, uint32_t bytes) {
    std::string fmt = U16(1) + U16(channels) + U32(static_cast<uint32_t>(rate)) +
                      U32(static_cast<uint32_t>(rate) * channels * bits / 8) +
                      U16(static_cast<uint16_t>(channels * bits / 8)) + U16(bits);
    std::string body = "WAVE" + std::string("fmt ") + U32(16) + fmt + "data" + U32(bytes) +
                       std::string(bytes, '\0');
    return "RIFF" + U32(static_cast<uint32_t>(body.size())) + body;
}

struct RateCase {
    const char* name;
    int32_t rate;
    bool accepted;
};
class WavRates : public testing::TestWithParam<RateCase> {};

// A file that declares 1 Hz would be resampled for the microphone into
// tens of gigabytes; rates no sound card uses are refused.
TEST_P(WavRates, OnlyRatesOfRealSoundAreRead) {
    const std::string path = testing::TempDir() + "/wav_rate_" + GetParam().name + ".wav";
    std::ofstream(path, std::ios::binary) << Wave(GetParam().rate, 16, 1, 4000);
    WavData wav;
    EXPECT_EQ(ReadWavFile(path, wav), GetParam().accepted);
    if (GetParam().accepted) {
        EXPECT_EQ(wav.rate, GetParam().rate);
        EXPECT_EQ(wav.samples.size(), 4000u);
        EXPECT_EQ(Resample16(ToMono16(wav), wav.rate, 44100).size(),
                  static_cast<size_t>(2000ull * 44100 / GetParam().rate));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WavRates,
    testing::Values(RateCase{"OneHertz", 1, false}, RateCase{"Negative", -8000, false},
                    RateCase{"BelowAThousand", 999, false}, RateCase{"Lowest", kMinWavRate, true},
                    RateCase{"Telephone", 8000, true}, RateCase{"Studio", 192000, true},
                    RateCase{"Highest", kMaxWavRate, true},
                    RateCase{"Beyond", kMaxWavRate + 1, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WavFile, DamagedFilesAreRefused) {
    const std::string good = Wave(22050, 16, 1, 100);
    const std::string cases[] = {
        good.substr(0, 11),                            // shorter than the header
        good.substr(0, 40),                            // data chunk cut off
        Wave(22050, 12, 1, 100),                       // 12-bit samples
        Wave(22050, 16, 0, 100),                       // no channels
        "RIFF" + U32(4) + "WAVE" + "data" + U32(0),    // data before the format
        good.substr(0, 40) + U32(0xFFFFFFF0) + "abc",  // data longer than the file
    };
    int i = 0;
    for (const std::string& bytes : cases) {
        const std::string path = testing::TempDir() + "/wav_bad_" + std::to_string(i++) + ".wav";
        std::ofstream(path, std::ios::binary) << bytes;
        WavData wav;
        EXPECT_FALSE(ReadWavFile(path, wav)) << i;
    }
}

}  // namespace
}  // namespace velcora::media
