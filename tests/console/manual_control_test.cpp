#include "console/manual_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_link.h"

namespace velcora {
namespace {

std::string I32(int32_t v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

std::vector<int> Motors(const std::vector<MotorEntry>& entries) {
    std::vector<int> out;
    for (const auto& e : entries)
        out.push_back(e.motor);
    return out;
}

TEST(MotorEntries, GroupsInOrder) {
    CSettings s;
    s.wheelCalib = 2;
    s.armCalib = 3;
    s.liftCalib = true;
    s.trayCalib = true;
    s.headCalib = 1;
    const auto e = MotorEntries(s);
    EXPECT_EQ(Motors(e), (std::vector<int>{1, 2, 40, 41, 42, 60, 61, 62, 10, 11, 12}));
    EXPECT_EQ(e[2].caption, "Звено 1 левой руки");
    EXPECT_EQ(e[7].caption, "Звено 3 правой руки");
    EXPECT_EQ(e[8].caption, "Подъемик");
    EXPECT_EQ(e[10].caption, "Голова 1");
}

TEST(MotorEntries, CountsAreClampedSoNumbersNeitherCollideNorOverflow) {
    CSettings s;
    s.wheelCalib = 50;
    s.armCalib = 500;
    s.headCalib = -4;
    const auto m = Motors(MotorEntries(s));
    EXPECT_EQ(std::count_if(m.begin(), m.end(), [](int v) { return v < 10; }), kMaxWheels);
    EXPECT_EQ(m.back(), kFirstRightArmMotor + kMaxArmLinks - 1);
    std::vector<int> sorted = m;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    s.headCalib = 100;
    EXPECT_EQ(Motors(MotorEntries(s)).back(), kFirstHeadMotor + kMaxHeadMotors - 1);
    EXPECT_LE(kFirstHeadMotor + kMaxHeadMotors - 1, kFirstLeftArmMotor - 1);
}

class ManualControlTest : public ::testing::Test {
  protected:
    test::FakeLink link;
    CManualControl control{link};
};

TEST_F(ManualControlTest, WheelSliderSendsBothMessagesTruncated) {
    control.Select(2);
    EXPECT_EQ(control.SetSlider(37.6), 37);
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[0].type, msg::kWheelMotors);
    EXPECT_EQ(link.sent[0].payload, Bytes({0, 37, 0}));
    EXPECT_EQ(link.sent[1].type, msg::kMotorValue);
    EXPECT_EQ(link.sent[1].payload, Bytes({2, 37}));
    control.SetSlider(-37.6);
    EXPECT_EQ(link.sent.back().payload, Bytes({2, -37}));
}

TEST_F(ManualControlTest, OtherMotorsSendTheValueOnly) {
    control.Select(41);
    control.SetSlider(300);  // beyond the slider's range
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].payload, Bytes({41, kManualSliderMax}));
}

TEST_F(ManualControlTest, ArrowsTowardsTheOtherSideStopFirst) {
    control.Select(10);
    control.SetSlider(20);
    EXPECT_FALSE(control.ArrowKey(false));  // right while positive: the slider moves on
    EXPECT_TRUE(control.ArrowKey(true));
    EXPECT_EQ(control.Slider(), 0);
    EXPECT_EQ(link.sent.back().payload, Bytes({10, 0}));
    EXPECT_FALSE(control.ArrowKey(true));
    control.SetSlider(-5);
    EXPECT_TRUE(control.ArrowKey(false));
}

TEST_F(ManualControlTest, ChangingMotorOrClosingStopsTheRunningOne) {
    control.Select(3);
    control.SetSlider(50);
    link.sent.clear();
    control.Select(12);
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[0].payload, Bytes({0, 0, 0}));
    EXPECT_EQ(link.sent[1].payload, Bytes({3, 0}));
    EXPECT_EQ(control.Slider(), 0);
    control.SetSlider(-30);
    link.sent.clear();
    control.Close();
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].payload, Bytes({12, 0}));
    link.sent.clear();
    control.Close();  // already stopped
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(ManualControlTest, CalibrationAndEnabling) {
    EXPECT_FALSE(control.Enabling().slider);
    EXPECT_TRUE(control.Enabling().cancel);
    control.Calibrate();  // no motor: nothing
    control.Select(11);
    control.Calibrate();
    control.CancelCalibration();
    const auto sent = link.Of(msg::kMotorCalibration);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].payload, Bytes({11}));
    EXPECT_EQ(sent[1].payload, Bytes({0}));
    EXPECT_TRUE(control.Enabling().slider);
    link.state = kStateIdle;
    const auto e = control.Enabling();
    EXPECT_FALSE(e.slider || e.calibrate || e.cancel || e.record);
    control.SetSlider(40);
    EXPECT_EQ(link.sent.size(), 2u);  // nothing while disconnected
}

struct ServoCase {
    const char* name;
    std::vector<std::string> replies;
    bool cancel;
    std::optional<ServoReadOutcome> outcome;  // after the replies, before the time-out
};

class ServoReaderTest : public ::testing::TestWithParam<ServoCase> {};

TEST_P(ServoReaderTest, Outcome) {
    test::FakeLink link;
    std::vector<std::pair<ServoReadOutcome, ServoRange>> done;
    CServoReader reader(link,
                        [&](ServoReadOutcome o, const ServoRange& r) { done.emplace_back(o, r); });
    ASSERT_TRUE(reader.Start(7, 500));
    EXPECT_FALSE(reader.Start(8, 510));
    ASSERT_EQ(link.Of(msg::kServoRangeRequest).size(), 1u);
    EXPECT_EQ(link.Of(msg::kServoRangeRequest)[0].payload, I32(7));
    for (const auto& r : GetParam().replies)
        link.Receive(msg::kServoRangeReply, r);
    if (GetParam().cancel)
        reader.Cancel();
    if (GetParam().outcome) {
        ASSERT_EQ(done.size(), 1u);
        EXPECT_EQ(done[0].first, *GetParam().outcome);
    } else {
        EXPECT_TRUE(done.empty());
    }
    reader.Tick(500 + kServoReadTimeoutMs - 1);
    reader.Tick(500 + kServoReadTimeoutMs);
    if (!GetParam().outcome && !GetParam().cancel) {
        ASSERT_EQ(done.size(), 1u);
        EXPECT_EQ(done[0].first, ServoReadOutcome::TimedOut);
    } else {
        EXPECT_EQ(done.size(), GetParam().outcome ? 1u : 0u);
    }
    EXPECT_FALSE(reader.Pending());
}

INSTANTIATE_TEST_SUITE_P(
    ManualControl, ServoReaderTest,
    ::testing::Values(
        ServoCase{"read", {I32(7) + I32(200) + I32(800) + I32(500)}, false, ServoReadOutcome::Read},
        ServoCase{
            "minusOnes", {I32(7) + I32(-1) + I32(-1) + I32(-1)}, false, ServoReadOutcome::Failed},
        // Another motor's reply, then nothing: the time-out.
        ServoCase{"otherMotor", {I32(5) + I32(1) + I32(2) + I32(3)}, false, std::nullopt},
        // Too short to hold all four values.
        ServoCase{"short", {I32(7) + I32(1) + I32(2)}, false, std::nullopt},
        ServoCase{"cancelled", {}, true, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ServoReader, ValuesReachTheCaller) {
    test::FakeLink link;
    ServoRange got;
    CServoReader reader(link, [&](ServoReadOutcome, const ServoRange& r) { got = r; });
    link.Receive(msg::kServoRangeReply, I32(2) + I32(1) + I32(2) + I32(3));  // nothing pending
    EXPECT_EQ(got.motor, 0);
    reader.Start(2, 0);
    link.Receive(msg::kServoRangeReply, I32(2) + I32(200) + I32(800) + I32(500) + "extra");
    EXPECT_EQ(got.left, 200);
    EXPECT_EQ(got.right, 800);
    EXPECT_EQ(got.defaultRaw, 500);
}

}  // namespace
}  // namespace velcora

namespace velcora {
namespace {

struct TrackCase {
    int32_t left, right;
    const char* rawText;
    float fraction;  // after the raw value
    int32_t raw;     // shown after it
};

class TrackValueTest : public ::testing::TestWithParam<TrackCase> {};

TEST_P(TrackValueTest, RawAndFractionAgree) {
    EnvTracker t;
    t.leftRaw = GetParam().left;
    t.rightRaw = GetParam().right;
    CTrackValue v(t);
    ASSERT_TRUE(v.SetRawText(GetParam().rawText));
    EXPECT_FLOAT_EQ(v.Fraction(), GetParam().fraction);
    EXPECT_FLOAT_EQ(t.position, GetParam().fraction);  // written at once
    EXPECT_EQ(v.Raw(), GetParam().raw);
}

INSTANTIATE_TEST_SUITE_P(ManualControl, TrackValueTest,
                         ::testing::Values(TrackCase{200, 800, "500", 0.5f, 500},
                                           TrackCase{200, 800, " 50 ", 0.0f, 200},  // clamped
                                           TrackCase{200, 800, "9999", 1.0f, 800},
                                           // A reversed range runs the other way.
                                           TrackCase{800, 200, "350", 0.75f, 350},
                                           // No range: the point stays at 0, raw L.
                                           TrackCase{300, 300, "1000", 0.0f, 300}));

TEST(TrackValue, FractionTextAndSetter) {
    EnvTracker t;
    t.leftRaw = 0;
    t.rightRaw = 1000;
    std::vector<float> stored;
    CTrackValue v(t, [&](float f) { stored.push_back(f); });
    EXPECT_TRUE(v.SetFractionText("0,25"));
    EXPECT_EQ(v.Raw(), 250);
    EXPECT_FALSE(v.SetFractionText("abc"));
    EXPECT_FALSE(v.SetRawText("12.5"));
    EXPECT_FALSE(v.SetFractionText(""));
    EXPECT_TRUE(v.SetFractionText("7"));
    EXPECT_EQ(stored, (std::vector<float>{0.25f, 1.0f}));
    EXPECT_FLOAT_EQ(t.position, 0.5f);  // the setter owns the writing
}

}  // namespace
}  // namespace velcora
