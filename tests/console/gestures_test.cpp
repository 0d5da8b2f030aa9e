#include "console/gestures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_link.h"
#include "support/temp_folder.h"

namespace velcora {
namespace {

std::string U32(uint32_t v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

class GesturesTest : public ::testing::Test {
  protected:
    GesturesTest() : ini(dir.File("velcora.ini")), gestures(link, ini) {}

    void Numbers(std::initializer_list<uint16_t> numbers) {
        for (uint16_t n : numbers)
            ASSERT_TRUE(gestures.Add(n, GestureCaption(n)));
    }

    test::TempFolder dir;
    test::FakeLink link;
    IniFile ini;
    CGestures gestures;
};

TEST_F(GesturesTest, ProposalIsTheFirstFreeNumber) {
    EXPECT_EQ(gestures.ProposedNumber(), 0);
    Numbers({0, 1, 3});
    EXPECT_EQ(gestures.ProposedNumber(), 2);
    CGestureRecorder recorder(link, gestures);
    EXPECT_EQ(recorder.ProposedName(), "Жест 2");
}

TEST_F(GesturesTest, DuplicateNumbersAreRefused) {
    Numbers({4, 5});
    EXPECT_FALSE(gestures.Add(5, "again"));
    EXPECT_FALSE(gestures.Change(0, 5, "clash"));
    EXPECT_TRUE(gestures.Change(0, 4, "same number, new name"));
    EXPECT_TRUE(gestures.Change(1, 9, "moved"));
    EXPECT_EQ(gestures.At(1), (Gesture{9, "moved"}));
}

TEST_F(GesturesTest, EveryChangeIsSaved) {
    Numbers({7, 2});
    gestures.Remove(0);
    IniFile again(dir.File("velcora.ini"));
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(LoadGestures(again), (std::vector<Gesture>{{2, "Жест 2"}}));
}

TEST_F(GesturesTest, PerformOnlyWhileConnected) {
    Numbers({12});
    EXPECT_TRUE(gestures.Perform(0));
    link.state = kStateIdle;
    EXPECT_FALSE(gestures.Perform(0));
    const auto sent = link.Of(msg::kGesturePlay);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, U32(12));
}

TEST(GesturesFile, LoadingSkipsBadAndRepeatedKeys) {
    IniFile ini;
    ini.Parse(
        "[GESTURES]\n3=Поклон\n-1=neg\n65536=big\nx=word\n4a=blank\n+5=plus\n3=again\n65535="
        "last\n0=zero\n"
        "007=padded\n");
    const auto g = LoadGestures(ini);
    // "007" is the whole number 7.
    EXPECT_EQ(g,
              (std::vector<Gesture>{{3, "Поклон"}, {65535, "last"}, {0, "zero"}, {7, "padded"}}));

    IniFile out;
    SaveGestures(out, g);
    EXPECT_EQ(LoadGestures(out), g);
}

struct RecordCase {
    const char* name;
    std::optional<std::string> reply;  // none: no reply, time-out
    bool recorded;
};

class RecorderTest : public GesturesTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecorderTest, Outcome) {
    Numbers({0, 1});
    CGestureRecorder recorder(link, gestures);
    std::vector<RecordOutcome> outcomes;
    ASSERT_TRUE(recorder.Start(5, "Взмах", 1000,
                               [&](RecordOutcome o, uint16_t) { outcomes.push_back(o); }));
    EXPECT_FALSE(recorder.Start(6, "second", 1000));
    EXPECT_EQ(link.Of(msg::kGestureRecord).size(), 1u);
    EXPECT_EQ(link.Of(msg::kGestureRecord)[0].payload, U32(5));

    recorder.Tick(1000 + kGestureRecordTimeoutMs - 20);
    EXPECT_TRUE(recorder.Pending());
    if (GetParam().reply)
        link.Receive(msg::kGestureRecord, *GetParam().reply);
    recorder.Tick(1000 + kGestureRecordTimeoutMs);
    EXPECT_FALSE(recorder.Pending());
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0] == RecordOutcome::Recorded, GetParam().recorded);
    EXPECT_EQ(gestures.Exists(5), GetParam().recorded);
    EXPECT_EQ(gestures.Count(), GetParam().recorded ? 3u : 2u);
}

INSTANTIATE_TEST_SUITE_P(Gestures, RecorderTest,
                         ::testing::Values(RecordCase{"match", U32(5), true},
                                           RecordCase{"other", U32(6), false},
                                           RecordCase{"none", std::nullopt, false},
                                           // Too short to hold a number: not gesture 0.
                                           RecordCase{"threeBytes", std::string(3, '\0'), false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GesturesTest, RecordingAnExistingNumberRenamesIt) {
    Numbers({5});
    CGestureRecorder recorder(link, gestures);
    ASSERT_TRUE(recorder.Start(5, "новое имя", 0));
    link.Receive(msg::kGestureRecord, U32(5));
    ASSERT_EQ(gestures.Count(), 1u);
    EXPECT_EQ(gestures.At(0).name, "новое имя");
}

TEST_F(GesturesTest, RepliesWithNothingPendingAreDropped) {
    CGestureRecorder recorder(link, gestures);
    link.Receive(msg::kGestureRecord, U32(0));
    EXPECT_EQ(gestures.Count(), 0u);
    // The time-out survives a wrap of the millisecond counter.
    ASSERT_TRUE(recorder.Start(1, "x", 0xFFFFFF00u));
    recorder.Tick(0x00000010u);
    EXPECT_TRUE(recorder.Pending());
    recorder.Tick(0xFFFFFF00u + kGestureRecordTimeoutMs);
    EXPECT_FALSE(recorder.Pending());
}

}  // namespace
}  // namespace velcora
