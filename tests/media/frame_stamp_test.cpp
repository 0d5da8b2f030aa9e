#include <gtest/gtest.h>

#include <cmath>

#include "media/codec.h"
#include "media/color_convert.h"
#include "media/frame_stamp.h"
#include "media/wav_file.h"
#include "media_test_util.h"

namespace velcora::media {
namespace {

struct StampCase {
    int width;
    int height;
    int32_t bitRate;  // 0: read straight from the drawn picture
};

class FrameStampTest : public ::testing::TestWithParam<StampCase> {};

// The stamp survives the codec, down to the lowest bit rate the panels offer,
// and reads back frame by frame in order.
TEST_P(FrameStampTest, ReadsBackWhatWasDrawn) {
    const auto [w, h, bitRate] = GetParam();
    const int pitch = BgrPitch(w);
    std::vector<std::vector<uint8_t>> pictures;
    const uint32_t clock = kDayMs - 40;  // crosses midnight on the way
    for (uint32_t n = 0; n < 12; ++n) {
        auto bgr = testutil::Pattern(w, h, static_cast<int>(n));
        ASSERT_TRUE(
            DrawFrameStamp(bgr.data(), w, h, pitch, {0xFFFFF8 + n, (clock + 40 * n) % kDayMs}));
        pictures.push_back(std::move(bgr));
    }
    std::vector<FrameStamp> read;
    if (bitRate == 0) {
        for (const auto& p : pictures) {
            const auto s = ReadFrameStamp(p.data(), w, h, pitch);
            ASSERT_TRUE(s);
            read.push_back(*s);
        }
    } else {
        CVideoEncoder enc;
        ASSERT_TRUE(enc.Open(w, h, 25.0, bitRate));
        std::vector<Packet> packets;
        for (const auto& p : pictures) {
            ASSERT_GE(enc.Encode(p.data(), w, h, pitch, packets), 0);
        }
        while (enc.Encode(nullptr, 0, 0, 0, packets) == 1) {
        }
        CVideoDecoder dec;
        ASSERT_TRUE(dec.Open(w, h));
        for (const Packet& p : packets) {
            if (dec.Decode(p.data(), static_cast<int32_t>(p.size())) == 1) {
                const auto s = ReadFrameStamp(dec.Bgr(), dec.Width(), dec.Height(), dec.Pitch());
                ASSERT_TRUE(s) << "picture " << read.size();
                read.push_back(*s);
            }
        }
    }
    ASSERT_GE(read.size(), 10u);
    for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].frame, (0xFFFFF8 + i) & kStampFrameMask);
        EXPECT_EQ(read[i].clockMs, (clock + 40 * i) % kDayMs);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameStampTest,
                         ::testing::Values(StampCase{64, 64, 0}, StampCase{161, 121, 0},
                                           StampCase{160, 120, 30000}, StampCase{640, 480, 30000},
                                           StampCase{1280, 720, 400000}));

TEST(FrameStamp, DamageAndMissingGridAreNotMisread) {
    const int w = 160;
    const int h = 120;
    const int pitch = BgrPitch(w);
    auto bgr = testutil::Pattern(w, h, 3);
    // A picture without a stamp.
    EXPECT_FALSE(ReadFrameStamp(bgr.data(), w, h, pitch));
    ASSERT_TRUE(DrawFrameStamp(bgr.data(), w, h, pitch, {77, 1234}));
    ASSERT_TRUE(ReadFrameStamp(bgr.data(), w, h, pitch));
    // Any one cell flipped is caught by the check.
    const int cell = FrameStampCell(w, h);
    for (int i = 0; i < 64; ++i) {
        auto damaged = bgr;
        uint8_t* p =
            &damaged[((i / 8) * cell + cell / 2) * pitch + 3 * ((i % 8) * cell + cell / 2)];
        for (int y = -cell / 4; y < cell / 4; ++y) {
            for (int x = -3 * (cell / 4); x < 3 * (cell / 4); ++x) {
                p[y * pitch + x] ^= 0xFF;
            }
        }
        EXPECT_FALSE(ReadFrameStamp(damaged.data(), w, h, pitch)) << "cell " << i;
    }
    // Too small for the grid: nothing drawn, nothing read.
    std::vector<uint8_t> small(BgrPitch(63) * 100);
    EXPECT_FALSE(DrawFrameStamp(small.data(), 63, 100, BgrPitch(63), {1, 1}));
    EXPECT_FALSE(ReadFrameStamp(small.data(), 63, 100, BgrPitch(63)));
}

TEST(FrameStamp, DelayWrapsAtMidnight) {
    EXPECT_EQ(StampDelayMs(1000, 1250), 250u);
    EXPECT_EQ(StampDelayMs(kDayMs - 100, 50), 150u);
    EXPECT_EQ(StampDelayMs(500, 500), 0u);
}

// A tone keeps its pitch and its length through a change of rate.
TEST(Resample16, KeepsPitchAndDuration) {
    std::vector<int16_t> tone(44100);
    for (size_t i = 0; i < tone.size(); ++i) {
        tone[i] = static_cast<int16_t>(10000 * std::sin(2 * M_PI * 500 * i / 44100.0));
    }
    for (int to : {22050, 8000, 48000}) {
        const auto out = Resample16(tone, 44100, to);
        EXPECT_EQ(out.size(), static_cast<size_t>(to)) << to;
        int crossings = 0;
        for (size_t i = 1; i < out.size(); ++i) {
            crossings += (out[i - 1] < 0) != (out[i] < 0);
        }
        EXPECT_NEAR(crossings / 2.0, 500, 2) << to;
    }
    EXPECT_EQ(Resample16(tone, 44100, 44100), tone);
    EXPECT_TRUE(Resample16(tone, 0, 44100).empty());
}

}  // namespace
}  // namespace velcora::media
