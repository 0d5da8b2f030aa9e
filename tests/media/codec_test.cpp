#include "media/codec.h"

#include <gtest/gtest.h>

#include <cstring>

#include "media_test_util.h"

namespace velcora::media {
namespace {

using testutil::EncodeStream;
using testutil::EncodeTone;
using testutil::Pattern;

// Decodes every packet and returns how many pictures came out.
int DecodeAll(CVideoDecoder& dec, const std::vector<Packet>& packets) {
    int pictures = 0;
    for (const auto& p : packets) {
        if (dec.Decode(p.data(), static_cast<int32_t>(p.size())) == 1) {
            ++pictures;
        }
    }
    return pictures;
}

TEST(VideoCodec, RoundTripKeepsThePictureAndRoundsThePitch) {
    const int w = 162, h = 120;
    const auto packets = EncodeStream(w, h, 12, 2000000);
    ASSERT_FALSE(packets.empty());
    CVideoDecoder dec;
    ASSERT_TRUE(dec.Open(w, h));
    EXPECT_GT(DecodeAll(dec, packets), 0);
    EXPECT_EQ(dec.Width(), w);
    EXPECT_EQ(dec.Height(), h);
    EXPECT_EQ(dec.Pitch(), 488);
    // Close to one of the last source pictures (the decoder holds the newest
    // back while B-frames are allowed; lossy, so on average only).
    long best = 1 << 30;
    for (int n = 9; n < 12; ++n) {
        const auto src = Pattern(w, h, n);
        long diff = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < 3 * w; ++x) {
                diff += std::abs(src[y * dec.Pitch() + x] - dec.Bgr()[y * dec.Pitch() + x]);
            }
        }
        best = std::min(best, diff / (w * h * 3));
    }
    EXPECT_LT(best, 12);
}

TEST(VideoCodec, OddWidthGivesPaddedPitch) {
    const auto packets = EncodeStream(161, 33, 3);
    ASSERT_FALSE(packets.empty());
    CVideoDecoder dec;
    ASSERT_TRUE(dec.Open(1, 1));  // the size is only a hint
    EXPECT_GT(DecodeAll(dec, packets), 0);
    EXPECT_EQ(dec.Width(), 161);
    EXPECT_EQ(dec.Pitch(), 484);
}

TEST(VideoCodec, PacketWithoutPictureKeepsThePreviousOne) {
    const auto packets = EncodeStream(64, 48, 4);
    ASSERT_GE(packets.size(), 2u);
    CVideoDecoder dec;
    ASSERT_TRUE(dec.Open(64, 48));
    // With B-frames allowed the decoder holds the first picture back.
    int first = -2;
    size_t i = 0;
    for (; i < packets.size(); ++i) {
        first = dec.Decode(packets[i].data(), static_cast<int32_t>(packets[i].size()));
        if (first == 1) {
            break;
        }
        EXPECT_EQ(first, 0);
        EXPECT_EQ(dec.Bgr(), nullptr);
    }
    ASSERT_EQ(first, 1);
    const uint8_t* before = dec.Bgr();
    std::vector<uint8_t> copy(before, before + dec.Pitch() * dec.Height());
    // A stuffing packet (a lone VOP start code of a not-coded picture is not
    // needed: a truncated header gives nothing).
    const uint8_t junk[] = {0x00, 0x00, 0x01, 0xB2, 'x', 'y'};
    EXPECT_LE(dec.Decode(junk, sizeof junk), 0);
    ASSERT_EQ(dec.Bgr(), before);
    EXPECT_EQ(0, std::memcmp(copy.data(), dec.Bgr(), copy.size()));
    EXPECT_EQ(dec.Decode(nullptr, 5), -1);
    EXPECT_EQ(dec.Decode(junk, 0), -1);
}

TEST(VideoCodec, SizeChangeReallocatesAndTakeOverHandsTheBufferOut) {
    CVideoDecoder dec;
    ASSERT_TRUE(dec.Open(64, 48));
    ASSERT_GT(DecodeAll(dec, EncodeStream(64, 48, 3)), 0);
    Picture p = dec.TakePicture();
    EXPECT_EQ(p.width, 64);
    EXPECT_EQ(p.pitch, 192);
    EXPECT_NE(p.bgr, nullptr);
    EXPECT_EQ(dec.Bgr(), nullptr);
    // Same decoder, new size: a new stream starts with its own headers.
    ASSERT_GT(DecodeAll(dec, EncodeStream(98, 50, 3)), 0);
    EXPECT_EQ(dec.Width(), 98);
    EXPECT_EQ(dec.Height(), 50);
    EXPECT_EQ(dec.Pitch(), 296);
}

TEST(VideoCodec, EncoderRefusesAPictureOfAnotherSize) {
    CVideoEncoder enc;
    ASSERT_TRUE(enc.Open(64, 48, 25.0, 200000));
    std::vector<Packet> packets;
    const auto pic = Pattern(64, 50, 0);
    EXPECT_EQ(enc.Encode(pic.data(), 64, 50, BgrPitch(64), packets), -1);
    EXPECT_EQ(enc.FrameCount(), 0);
    EXPECT_TRUE(packets.empty());
    const auto ok = Pattern(64, 48, 0);
    EXPECT_GE(enc.Encode(ok.data(), 64, 48, BgrPitch(64), packets), 0);
    EXPECT_EQ(enc.FrameCount(), 1);
}

TEST(VideoCodec, NotOpenRefuses) {
    CVideoDecoder dec;
    const uint8_t b[16] = {};
    EXPECT_EQ(dec.Decode(b, 16), -1);
    dec.Close();
    dec.Close();
    CVideoEncoder enc;
    std::vector<Packet> packets;
    EXPECT_EQ(enc.Encode(b, 1, 1, 4, packets), -1);
}

struct AudioOpenCase {
    int rate;
    int bits;
    bool opens;
    const char* message;  // expected on stderr, "" for silence
};

class AudioEncoderOpen : public testing::TestWithParam<AudioOpenCase> {};

TEST_P(AudioEncoderOpen, RefusesWhatTheCodecCannotTake) {
    const auto c = GetParam();
    CAudioEncoder enc;
    testing::internal::CaptureStderr();
    const bool opened = enc.Open(c.rate, c.bits, 64000);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(opened, c.opens);
    EXPECT_EQ(enc.IsOpen(), c.opens);
    if (std::string(c.message).empty()) {
        EXPECT_EQ(err, "");
    } else {
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
    }
    if (opened) {
        EXPECT_EQ(enc.InputBlockSize(), 2304);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AudioEncoderOpen,
    testing::Values(AudioOpenCase{44100, 16, true, ""}, AudioOpenCase{22050, 16, true, ""},
                    AudioOpenCase{44100, 8, false, "Encoder does not support sample format u8"},
                    AudioOpenCase{999, 16, false, ""}, AudioOpenCase{96001, 16, false, ""},
                    AudioOpenCase{44100, 24, false, ""},
                    // The codec library encodes no MPEG-2.5 rates.
                    AudioOpenCase{11025, 16, false, "Could not open codec"},
                    AudioOpenCase{8000, 16, false, "Could not open codec"}));

TEST(AudioCodec, ToneRoundTripsAtItsFrequency) {
    const auto packets = EncodeTone(22050, 440.0, 20);
    ASSERT_EQ(packets.size(), 20u);
    CAudioDecoder dec;
    ASSERT_TRUE(dec.Open());
    for (const auto& p : packets) {
        EXPECT_EQ(dec.Decode(p.data(), static_cast<int32_t>(p.size())), 1);
    }
    EXPECT_EQ(dec.SampleRate(), 22050);
    EXPECT_EQ(dec.Channels(), 1);
    EXPECT_EQ(dec.Count(), 20 * 1152 * 2);
    const auto pcm = dec.TakePcm();
    EXPECT_EQ(dec.Count(), 0);
    const auto* s = reinterpret_cast<const int16_t*>(pcm.data());
    // Skip the codec's start-up delay.
    EXPECT_NEAR(testutil::ZeroCrossingHz(s + 2000, pcm.size() / 2 - 2000, 22050), 440.0, 10.0);
}

TEST(AudioCodec, DecoderRefusesNothingAndKeepsTheAccumulatorOnBadPackets) {
    CAudioDecoder dec;
    const uint8_t b[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(dec.Decode(b, 8), -1);  // not open
    ASSERT_TRUE(dec.Open());
    EXPECT_EQ(dec.Decode(nullptr, 8), -1);
    EXPECT_EQ(dec.Decode(b, 0), -1);
    const auto packets = EncodeTone(44100, 1000.0, 2);
    ASSERT_EQ(dec.Decode(packets[0].data(), static_cast<int32_t>(packets[0].size())), 1);
    const int32_t before = dec.Count();
    EXPECT_EQ(Mp2FrameLength(packets[1].data(), 4), static_cast<int32_t>(packets[1].size()));
    EXPECT_EQ(dec.Decode(packets[1].data(), 10), 0);  // a frame cut short
    EXPECT_EQ(dec.Count(), before);
    testing::internal::CaptureStderr();
    EXPECT_EQ(dec.Decode(b, 8), -1);  // not a frame at all
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error while decoding\n");
    EXPECT_EQ(dec.Count(), before);
}

}  // namespace
}  // namespace velcora::media
