// The numbers the live panels show: how old the picture is, how often it
// changes, and how loud the microphone is.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "media/gui/frame_age.h"
#include "media/gui/level_meter_input.h"
#include "media/pcm_feed_input.h"

namespace velcora::media {
namespace {

TEST(FrameAge, DelayGrowsWhileThePictureStandsStill) {
    CFrameAge age;
    EXPECT_EQ(age.Text(), "");
    age.Tick(20);
    age.Shown(120);  // stamped 120 ms before it arrived
    EXPECT_TRUE(age.Stamped());
    EXPECT_EQ(age.DelayMs(), 120);
    age.Tick(40);
    EXPECT_EQ(age.DelayMs(), 160);
    // An unstamped picture counts from when it was shown.
    age.Shown(std::nullopt);
    EXPECT_FALSE(age.Stamped());
    EXPECT_EQ(age.DelayMs(), 0);
    // A stalled stream: the delay keeps growing, the rate falls to 0.
    age.Tick(2500);
    EXPECT_EQ(age.DelayMs(), 2500);
    EXPECT_EQ(age.FramesPerSecond(), 0.0);
    age.Clear();
    EXPECT_FALSE(age.HasPicture());
    EXPECT_EQ(age.DelayMs(), 0);
}

TEST(FrameAge, RateOverTheLastSecond) {
    struct Case {
        int32_t gapMs;
        int pictures;
        double fps;
    };
    const Case cases[] = {
        {40, 10, 25.0},   // less than a second so far: from the gaps
        {40, 60, 25.0},   // a whole window
        {100, 30, 10.0},  //
        {20, 200, 50.0},  //
    };
    for (const Case& c : cases) {
        CFrameAge age;
        for (int i = 0; i < c.pictures; ++i) {
            age.Shown(std::nullopt);
            age.Tick(c.gapMs);
        }
        EXPECT_NEAR(age.FramesPerSecond(), c.fps, c.fps * 0.12) << c.gapMs << " " << c.pictures;
    }
    CFrameAge one;
    one.Shown(0);
    EXPECT_EQ(one.FramesPerSecond(), 0.0);  // one picture says nothing about the rate
    EXPECT_EQ(one.Text(), "задержка 0 мс, 0.0 к/с");
}

TEST(LevelMeter, PeakInDecibels) {
    auto level16 = [](int16_t peak) {
        std::vector<uint8_t> b = {
            0, 0, static_cast<uint8_t>(peak & 0xFF), static_cast<uint8_t>((peak >> 8) & 0xFF),
            0, 0};
        return PeakLevelPercent(b.data(), static_cast<int32_t>(b.size()), 16);
    };
    EXPECT_EQ(level16(0), 0);
    EXPECT_EQ(level16(32767), 99);  // full scale
    EXPECT_EQ(level16(-32768), 100);
    EXPECT_EQ(level16(3277), 66);  // -20 dB
    EXPECT_EQ(level16(33), 0);     // below -60 dB
    const uint8_t silent8[] = {128, 128, 128};
    const uint8_t loud8[] = {128, 0, 255};
    EXPECT_EQ(PeakLevelPercent(silent8, 3, 8), 0);
    EXPECT_EQ(PeakLevelPercent(loud8, 3, 8), 100);
    // An odd byte at the end of 16-bit samples is not read.
    const uint8_t odd[] = {0xFF};
    EXPECT_EQ(PeakLevelPercent(odd, 1, 16), 0);
    EXPECT_EQ(PeakLevelPercent(nullptr, 10, 16), 0);
}

TEST(LevelMeter, MeasuresWhatTheDeviceHandsBack) {
    CPcmFeedInput feed;
    CLevelMeterInput meter(feed);
    std::vector<std::pair<uintptr_t, int32_t>> done;
    ASSERT_TRUE(meter.Open(-1, 22050, 16, [&](uintptr_t tag, int32_t n) {
        done.push_back({tag, n});
    }));
    std::vector<uint8_t> a(8), b(8);
    ASSERT_TRUE(meter.AddBuffer(a.data(), 8, 1));
    ASSERT_TRUE(meter.AddBuffer(b.data(), 8, 2));
    ASSERT_TRUE(meter.Start());
    const uint8_t loud[8] = {0, 0x40, 0, 0, 0, 0, 0, 0};  // 16384: -6 dB
    feed.Feed(loud, 8);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0], (std::pair<uintptr_t, int32_t>{1, 8}));
    EXPECT_EQ(meter.Level(), 89);
    meter.Reset();
    EXPECT_EQ(meter.Level(), 0);
    meter.Close();
}

}  // namespace
}  // namespace velcora::media
