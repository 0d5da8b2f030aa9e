#include "files/transfer_rate.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velcora {
namespace {

constexpr int64_t kMB = 1 << 20;

// Feeds `bytesPerSecond` in 125 ms steps (exact for binary megabytes) for `ms`, starting at
// `start`.
uint32_t Feed(CTransferRate& rate, uint32_t start, int64_t& copied, int64_t bytesPerSecond,
              uint32_t ms) {
    const int64_t base = copied;
    for (uint32_t t = 125; t <= ms; t += 125) {
        copied = base + bytesPerSecond * t / 1000;
        rate.FileProgress(start + t, copied);
    }
    return start + ms;
}

struct RateCase {
    const char* name;
    uint32_t start;
};

class TransferRateTest : public ::testing::TestWithParam<RateCase> {};

TEST_P(TransferRateTest, OneMegabyteASecondWithTwoLeft) {
    CTransferRate rate;
    const uint32_t start = GetParam().start;
    rate.BeginList(start, 5 * kMB);
    rate.BeginFile(start, 5 * kMB);
    int64_t copied = 0;
    uint32_t now = Feed(rate, start, copied, kMB / 2, 875);
    EXPECT_FALSE(rate.BytesPerSecond()) << "no speed before a second of samples";
    EXPECT_EQ(rate.Text(), u"");
    now = Feed(rate, now, copied, kMB / 2, 1125);
    // Then a second at full speed and the window forgets the slow start.
    now = Feed(rate, now, copied, kMB, 3000);
    (void)now;
    ASSERT_TRUE(rate.BytesPerSecond());
    EXPECT_EQ(CTransferRate::SpeedText(*rate.BytesPerSecond()), u"1,0 МБ/с");
    ASSERT_EQ(copied, 4 * kMB);
    ASSERT_TRUE(rate.FileSecondsLeft());
    EXPECT_EQ(*rate.FileSecondsLeft(), 1);
    EXPECT_EQ(rate.Text(), u"Скорость: 1,0 МБ/с  Осталось: 0:01");
}

INSTANTIATE_TEST_SUITE_P(Clock, TransferRateTest,
                         ::testing::Values(RateCase{"Plain", 1000},
                                           RateCase{"AcrossTheTickWrap", 0xFFFFF000u}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TransferRate, ListTimeCountsTheFilesAfterThisOne) {
    CTransferRate rate;
    rate.BeginList(0, 6 * kMB);
    rate.BeginFile(0, kMB);
    int64_t copied = 0;
    uint32_t now = Feed(rate, 0, copied, kMB / 2, 2000);  // the first file done
    rate.BeginFile(now, 2 * kMB);
    copied = 0;
    now = Feed(rate, now, copied, kMB, 1000);
    // 3 s window: 2 MB in 3 s from the window's base ... measure exactly.
    ASSERT_TRUE(rate.BytesPerSecond());
    EXPECT_EQ(rate.TotalCopied(), 2 * kMB);
    const double speed = *rate.BytesPerSecond();
    EXPECT_EQ(*rate.FileSecondsLeft(), static_cast<int64_t>(std::ceil(kMB / speed - 1e-9)));
    EXPECT_EQ(*rate.ListSecondsLeft(), static_cast<int64_t>(std::ceil(4 * kMB / speed - 1e-9)));
    EXPECT_NE(rate.Text().find(u", всего "), std::u16string::npos);
}

TEST(TransferRate, TwoMegabytesLeftAtOneASecondIsTwoSeconds) {
    CTransferRate rate;
    rate.BeginList(500, std::nullopt);
    rate.BeginFile(500, 5 * kMB);
    int64_t copied = 0;
    Feed(rate, 500, copied, kMB, 3000);
    EXPECT_EQ(copied, 3 * kMB);
    EXPECT_EQ(rate.Text(), u"Скорость: 1,0 МБ/с  Осталось: 0:02");
    EXPECT_FALSE(rate.ListSecondsLeft());
}

TEST(TransferRate, StalledCopyHasNoTimeLeft) {
    CTransferRate rate;
    rate.BeginList(0, std::nullopt);
    rate.BeginFile(0, kMB);
    rate.FileProgress(100, 1000);
    rate.FileProgress(1500, 1000);
    rate.FileProgress(5000, 1000);
    ASSERT_TRUE(rate.BytesPerSecond());
    EXPECT_EQ(*rate.BytesPerSecond(), 0.0);
    EXPECT_FALSE(rate.FileSecondsLeft());
    EXPECT_EQ(rate.Text(), u"Скорость: 0 Б/с");
}

TEST(TransferRate, Texts) {
    struct {
        double bps;
        const char16_t* text;
    } speeds[] = {{0, u"0 Б/с"},
                  {1023, u"1023 Б/с"},
                  {1024, u"1,0 КБ/с"},
                  {12.34 * kMB, u"12,3 МБ/с"},
                  {1023.99 * 1024, u"1,0 МБ/с"},
                  {2.5 * 1024 * kMB, u"2,5 ГБ/с"}};
    for (const auto& s : speeds) {
        EXPECT_EQ(CTransferRate::SpeedText(s.bps), s.text) << s.bps;
    }
    struct {
        int64_t seconds;
        const char16_t* text;
    } times[] = {{0, u"0:00"}, {42, u"0:42"}, {725, u"12:05"}, {3723, u"1:02:03"}, {-5, u"0:00"}};
    for (const auto& t : times) {
        EXPECT_EQ(CTransferRate::DurationText(t.seconds), t.text) << t.seconds;
    }
}

}  // namespace
}  // namespace velcora
