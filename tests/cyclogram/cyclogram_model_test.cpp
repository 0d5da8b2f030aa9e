#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "cyclogram/cyclogram.h"

namespace velcora {
namespace {

CyclogramKey Key(int32_t time, float value, int32_t in = kInterpolationBezier,
                 int32_t out = kInterpolationBezier) {
    CyclogramKey k;
    k.time = time;
    k.value = value;
    k.inMode = in;
    k.outMode = out;
    return k;
}

CCyclogramTrack TrackOf(std::vector<CyclogramKey> keys) {
    CCyclogramTrack t;
    for (const auto& k : keys) {
        EXPECT_TRUE(t.appendKey(k));
    }
    return t;
}

std::vector<int32_t> Times(const CCyclogramTrack& t) {
    std::vector<int32_t> out;
    for (const auto& k : t.keys()) {
        out.push_back(k.time);
    }
    return out;
}

struct ValueCase {
    const char* name;
    std::vector<CyclogramKey> keys;
    int32_t t;
    float expected;
    float tolerance;
};

class ValueAtTest : public testing::TestWithParam<ValueCase> {};

TEST_P(ValueAtTest, FollowsTheCurveRules) {
    const ValueCase& c = GetParam();
    const CCyclogramTrack track = TrackOf(c.keys);
    const float v = track.valueAt(c.t);
    ASSERT_TRUE(std::isfinite(v));
    EXPECT_NEAR(v, c.expected, c.tolerance) << c.name;
}

CyclogramKey Handles(CyclogramKey k, int32_t inLength, float inDelta, int32_t outLength,
                     float outDelta) {
    k.inLength = inLength;
    k.inDelta = inDelta;
    k.outLength = outLength;
    k.outDelta = outDelta;
    return k;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ValueAtTest,
    testing::Values(
        ValueCase{"empty", {}, 100, 0.5f, 0},
        ValueCase{"before first", {Key(100, 0.2f), Key(200, 0.9f)}, 50, 0.2f, 0},
        ValueCase{"after last", {Key(100, 0.2f), Key(200, 0.9f)}, 5000, 0.9f, 0},
        ValueCase{"at a key", {Key(0, 0.1f), Key(100, 0.2f), Key(200, 0.9f)}, 100, 0.2f, 0},
        ValueCase{"linear middle", {Key(0, 0, 0, 0), Key(1000, 1, 0, 0)}, 250, 0.25f, 1e-6f},
        ValueCase{"step holds", {Key(0, 0.3f, 2, 2), Key(1000, 1, 2, 2)}, 999, 0.3f, 0},
        ValueCase{"step out, linear in", {Key(0, 0, 0, 2), Key(1000, 1, 0, 2)}, 500, 0.5f, 1e-6f},
        ValueCase{"linear out, step in", {Key(0, 0, 2, 0), Key(1000, 1, 2, 0)}, 500, 0.5f, 1e-6f},
        ValueCase{
            "unknown modes act as step", {Key(0, 0.3f, 7, 7), Key(1000, 1, 7, 7)}, 600, 0.3f, 0},
        ValueCase{"unknown with linear", {Key(0, 0, 7, 7), Key(1000, 1, 0, 7)}, 500, 0.5f, 1e-6f},
        ValueCase{"default bezier midpoint", {Key(0, 0), Key(1000, 1)}, 500, 0.5f, 1e-6f},
        ValueCase{"bezier flat at start", {Key(0, 0), Key(1000, 1)}, 20, 0.0f, 0.01f},
        ValueCase{"bezier flat at end", {Key(0, 0), Key(1000, 1)}, 980, 1.0f, 0.01f},
        ValueCase{"symmetric handles ignore offsets",
                  {Handles(Key(0, 0), 500, 0, 500, 0.4f), Handles(Key(1000, 1), 500, 0.3f, 500, 0)},
                  500,
                  0.5f,
                  1e-6f},
        // Keys 0 ms apart: the divisor floors keep the value finite.
        ValueCase{"zero span linear",
                  {Key(0, 0, 0, 0), Key(100, 0.2f, 0, 0), Key(100, 0.8f, 0, 0), Key(200, 1, 0, 0)},
                  100,
                  0.2f,
                  1e-6f},
        ValueCase{"zero span bezier",
                  {Key(0, 0), Key(100, 0.2f), Key(100, 0.8f), Key(200, 1)},
                  100,
                  0.2f,
                  1e-6f}),
    [](const testing::TestParamInfo<ValueCase>& info) {
        std::string n = info.param.name;
        for (char& c : n) {
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return n;
    });

TEST(ValueAt, BezierOnOneSideShapesTheWholeSegment) {
    // Outgoing Bezier with a long flat handle, incoming linear: the curve starts
    // flat and stays below the straight line in its first half.
    const CCyclogramTrack t = TrackOf({Key(0, 0, 1, 1), Key(1000, 1, 0, 1)});
    EXPECT_LT(t.valueAt(250), 0.25f);
    EXPECT_GT(t.valueAt(250), 0.0f);
    // Incoming step: the curve arrives level with the later key.
    const CCyclogramTrack level = TrackOf({Key(0, 0, 1, 0), Key(1000, 1, 2, 1)});
    EXPECT_NEAR(level.valueAt(990), 1.0f, 0.01f);
    EXPECT_GT(level.valueAt(100), 0.05f);
}

TEST(ValueAt, HostileTimesStayDefined) {
    // Keys from a file may be in any order and at the ends of the range.
    const int32_t lo = std::numeric_limits<int32_t>::min();
    const int32_t hi = std::numeric_limits<int32_t>::max();
    CyclogramKey a = Key(lo, 0);
    a.outLength = hi;
    CyclogramKey b = Key(hi, 1, 0, 0);
    b.inLength = lo;
    for (const auto& keys : {std::vector<CyclogramKey>{a, b},
                             std::vector<CyclogramKey>{Key(lo, 0, 0, 0), Key(hi, 1, 0, 0)}}) {
        const CCyclogramTrack t = TrackOf(keys);
        for (int32_t time : {lo, -1, 0, 1, hi - 1}) {
            EXPECT_TRUE(std::isfinite(t.valueAt(time)));
        }
    }
}

TEST(FindKey, BinarySearchAndNearness) {
    const CCyclogramTrack t = TrackOf({Key(100, 0), Key(200, 0), Key(300, 0), Key(400, 0)});
    const std::vector<std::pair<int32_t, int32_t>> atOrBefore = {
        {99, -1}, {100, 0}, {150, 0}, {200, 1}, {299, 1}, {300, 2}, {399, 2}, {400, 3}, {9999, 3}};
    for (auto [time, index] : atOrBefore) {
        EXPECT_EQ(t.findKeyAtOrBefore(time), index) << time;
    }
    EXPECT_EQ(CCyclogramTrack().findKeyAtOrBefore(0), -1);
    EXPECT_EQ(t.findKeyNear(250), -1);  // 50 ms from both neighbours
    EXPECT_EQ(t.findKeyNear(249), 1);
    EXPECT_EQ(t.findKeyNear(151), 1);
    EXPECT_EQ(t.findKeyNear(51), 0);
}

TEST(InsertKeyAfter, MirrorsNeighbours) {
    CCyclogramTrack stale;
    EXPECT_EQ(stale.insertKeyAfter(5), 0);  // an index left over from a longer track
    EXPECT_EQ(stale.count(), 1);
    CCyclogramTrack t;
    EXPECT_EQ(t.insertKeyAfter(-1), 0);  // into an empty track: defaults
    EXPECT_EQ(t.key(0).time, 0);
    EXPECT_EQ(t.key(0).inMode, kInterpolationBezier);
    t.key(0).outMode = kInterpolationLinear;
    t.key(0).outLength = 300;
    t.key(0).outDelta = 0.25f;
    t.key(0).value = 0.7f;

    EXPECT_EQ(t.insertKeyAfter(0), 1);  // append
    const CyclogramKey& appended = t.key(1);
    EXPECT_EQ(appended.time, 1000);
    EXPECT_EQ(appended.value, 0.7f);
    EXPECT_EQ(appended.inMode, kInterpolationLinear);
    EXPECT_EQ(appended.inLength, 300);
    EXPECT_EQ(appended.inDelta, -0.25f);
    EXPECT_EQ(appended.outMode, kInterpolationBezier);
    EXPECT_EQ(appended.outLength, 500);

    t.key(1).value = 0.1f;
    t.key(1).inMode = kInterpolationStep;
    t.key(1).inLength = 120;
    t.key(1).inDelta = 0.5f;
    EXPECT_EQ(t.insertKeyAfter(0), 1);  // between the two
    const CyclogramKey& mid = t.key(1);
    EXPECT_EQ(mid.time, 500);
    EXPECT_FLOAT_EQ(mid.value, 0.4f);
    EXPECT_EQ(mid.outMode, kInterpolationStep);
    EXPECT_EQ(mid.outLength, 120);
    EXPECT_EQ(mid.outDelta, -0.5f);
    EXPECT_EQ(mid.inMode, kInterpolationLinear);
    EXPECT_EQ(mid.inDelta, -0.25f);

    EXPECT_EQ(t.insertKeyAfter(-1), 0);  // at the front: defaults
    EXPECT_EQ(t.key(0).time, 0);
    EXPECT_EQ(t.key(0).outLength, 500);
    EXPECT_EQ(t.count(), 4);
    EXPECT_EQ(t.insertKeyAfter(-2), -1);
    EXPECT_EQ(t.count(), 4);
}

TEST(Capacity, GrowsAndShrinksInStepsOf32) {
    CCyclogramTrack t;
    EXPECT_EQ(t.capacity(), 0);
    for (int i = 0; i < 33; ++i) {
        t.appendKey(Key(i * 100, 0));
    }
    EXPECT_EQ(t.capacity(), 64);
    for (int i = 0; i < 33; ++i) {
        t.key(i).selected = i < 2;
    }
    t.deleteSelected();
    EXPECT_EQ(t.count(), 31);
    EXPECT_EQ(t.capacity(), 32);
    EXPECT_EQ(t.key(0).time, 200);
    for (int i = 0; i < t.count(); ++i) {
        t.key(i).selected = 1;
    }
    t.deleteSelected();
    EXPECT_EQ(t.capacity(), 0);

    CCyclogramAudioTrack a;
    EXPECT_EQ(a.addBlockAt(0), 0);
    EXPECT_EQ(a.capacity(), 32);
    a.block(0).selected = 1;
    a.block(0).text = "x";
    a.deleteSelected();
    EXPECT_EQ(a.count(), 0);
    EXPECT_EQ(a.capacity(), 0);
}

struct PasteCase {
    const char* name;
    int32_t at;
    bool fits;
};

class TrackPasteTest : public testing::TestWithParam<PasteCase> {};

TEST_P(TrackPasteTest, KeepsTheMargin) {
    // Target keys at 0 and 2000; a clip spanning 0..500.
    CCyclogramTrack target = TrackOf({Key(0, 0), Key(2000, 1)});
    const CCyclogramTrack clip = TrackOf({Key(0, 0.3f), Key(500, 0.6f)});
    const PasteCase& c = GetParam();
    EXPECT_EQ(target.canPaste(clip, c.at), c.fits) << c.name;
    EXPECT_EQ(target.paste(clip, c.at), c.fits) << c.name;
    EXPECT_EQ(target.count(), c.fits ? 4 : 2);
    if (c.fits) {
        EXPECT_EQ(Times(target), (std::vector<int32_t>{0, c.at, c.at + 500, 2000}));
        EXPECT_EQ(target.key(1).selected, 1);
        EXPECT_EQ(target.key(0).selected, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TrackPasteTest,
                         testing::Values(PasteCase{"left 99", 99, false},
                                         PasteCase{"left 100", 100, true},
                                         PasteCase{"right 99", 1401, false},
                                         PasteCase{"right 100", 1400, true}));

TEST(Paste, IntoEmptyAndBeforeTheFirstKey) {
    CCyclogramTrack empty;
    const CCyclogramTrack clip = TrackOf({Key(0, 0), Key(300, 0), Key(700, 0)});
    ASSERT_TRUE(empty.paste(clip, 1000));
    EXPECT_EQ(Times(empty), (std::vector<int32_t>{1000, 1300, 1700}));
    for (const auto& k : empty.keys()) {
        EXPECT_EQ(k.selected, 1);
    }
    CCyclogramTrack later = TrackOf({Key(900, 0)});
    EXPECT_FALSE(later.paste(clip, 101));  // 801 is 99 ms before 900
    EXPECT_TRUE(later.paste(clip, 100));
    EXPECT_EQ(Times(later), (std::vector<int32_t>{100, 400, 800, 900}));
}

TEST(Paste, DocumentIsAllOrNothing) {
    CCyclogram doc;
    doc.track(doc.addTrack()).motor = 1;
    doc.track(doc.addTrack()).motor = 2;
    doc.track(0).appendKey(Key(0, 0));
    doc.track(1).appendKey(Key(1000, 0));
    CCyclogram clip;
    clip.track(clip.addTrack()).motor = 1;
    clip.track(clip.addTrack()).motor = 2;
    clip.track(clip.addTrack()).motor = 9;  // no match: ignored
    clip.track(0).appendKey(Key(0, 0));
    clip.track(1).appendKey(Key(0, 0));
    clip.track(2).appendKey(Key(0, 0));
    EXPECT_FALSE(doc.paste(clip, 950));  // fits motor 1, not motor 2
    EXPECT_EQ(doc.track(0).count(), 1);
    EXPECT_EQ(doc.track(1).count(), 1);
    EXPECT_TRUE(doc.paste(clip, 500));
    EXPECT_EQ(Times(doc.track(0)), (std::vector<int32_t>{0, 500}));
    EXPECT_EQ(Times(doc.track(1)), (std::vector<int32_t>{500, 1000}));
}

TEST(AudioTrack, BlocksFitWithoutOverlap) {
    CCyclogramAudioTrack a;
    EXPECT_EQ(a.addBlockAt(1000), 0);
    EXPECT_EQ(a.addBlockAt(1200), -1);  // inside the first block
    EXPECT_EQ(a.addBlockAt(1500), 1);   // right at its end
    EXPECT_EQ(a.addBlockAt(501), -1);   // the next block starts 499 ms later
    EXPECT_EQ(a.addBlockAt(500), 0);
    EXPECT_EQ(a.count(), 3);
    EXPECT_EQ(a.findBlockCovering(999), 0);
    EXPECT_EQ(a.findBlockCovering(1000), 1);
    EXPECT_EQ(a.findBlockCovering(2000), -1);
    EXPECT_EQ(a.findBlockAtOrBefore(1499), 1);

    CCyclogramAudioTrack clip;
    clip.appendBlock({0, 300, 0, std::string("hi")});
    EXPECT_FALSE(a.canPaste(clip, 1900));  // 1900 is inside 1500..2000
    EXPECT_TRUE(a.canPaste(clip, 2000));
    EXPECT_FALSE(a.canPaste(clip, 201));  // would end at 501, the next starts at 500
    EXPECT_TRUE(a.canPaste(clip, 200));
    ASSERT_TRUE(a.paste(clip, 200));
    EXPECT_EQ(a.block(0).start, 200);
    EXPECT_EQ(*a.block(0).text, "hi");
    EXPECT_EQ(a.block(0).selected, 1);
    a.deleteBlock(0);
    a.deleteBlock(7);
    EXPECT_EQ(a.count(), 3);
}

CCyclogram ThreeKeys(bool selectMiddle) {
    CCyclogram doc;
    const int32_t t = doc.addTrack();
    for (int32_t time : {0, 1000, 2000}) {
        doc.track(t).appendKey(Key(time, 0));
    }
    doc.track(t).key(1).selected = selectMiddle;
    return doc;
}

TEST(Document, SelectionMovesWithinTheRoom) {
    CCyclogram doc = ThreeKeys(true);
    EXPECT_EQ(doc.selectionMoveRange().maxLeft, 900);
    EXPECT_EQ(doc.selectionMoveRange().maxRight, 900);
    doc.track(0).key(0).selected = 1;  // a selected predecessor gives no limit of its own
    EXPECT_EQ(doc.selectionMoveRange().maxLeft, 0);
    doc.audio = std::make_unique<CCyclogramAudioTrack>();
    doc.audio->appendBlock({0, 500, 0, std::nullopt});
    doc.audio->appendBlock({800, 100, 1, std::nullopt});
    doc.audio->appendBlock({1000, 100, 0, std::nullopt});
    doc.track(0).key(0).selected = 0;
    const MoveRange r = doc.selectionMoveRange();
    EXPECT_EQ(r.maxLeft, 300);   // 800 - 500, no margin for blocks
    EXPECT_EQ(r.maxRight, 100);  // 1000 - 900
    doc.moveSelected(-300);
    EXPECT_EQ(doc.track(0).key(1).time, 700);
    EXPECT_EQ(doc.audio->block(1).start, 500);
    doc.track(0).locked = 1;  // locked tracks take no part
    doc.moveSelected(100);
    EXPECT_EQ(doc.track(0).key(1).time, 700);
}

TEST(Document, RightPartLimit) {
    CCyclogram doc = ThreeKeys(true);
    EXPECT_EQ(doc.rightPartMoveLimit(), 900);
    const int32_t other = doc.addTrack();
    doc.track(other).appendKey(Key(100, 0));  // entirely before T0: no limit
    doc.track(other).appendKey(Key(1100, 0));
    EXPECT_EQ(doc.rightPartMoveLimit(), 900);
    doc.track(other).key(1).time = 1300;
    doc.track(other).appendKey(Key(1400, 0));
    EXPECT_EQ(doc.rightPartMoveLimit(), 900);
    doc.track(other).key(0).time = 500;
    EXPECT_EQ(doc.rightPartMoveLimit(), 700);  // 1300 - 500 - 100
    doc.moveRightPart(-700);
    EXPECT_EQ(Times(doc.track(0)), (std::vector<int32_t>{0, 300, 1300}));
    EXPECT_EQ(Times(doc.track(other)), (std::vector<int32_t>{500, 600, 700}));
}

TEST(Document, SelectAllEndTimeAndCounts) {
    CCyclogram doc = ThreeKeys(false);
    EXPECT_FALSE(doc.selectAll(false));
    EXPECT_FALSE(doc.anySelected());
    EXPECT_EQ(doc.earliestSelectedTime(), std::numeric_limits<int32_t>::max());
    EXPECT_TRUE(doc.selectAll(true));
    EXPECT_FALSE(doc.selectAll(true));
    EXPECT_FALSE(doc.exactlyOneSelected());
    doc.selectAll(false);
    doc.track(0).key(2).selected = 1;
    EXPECT_TRUE(doc.exactlyOneSelected());
    EXPECT_EQ(doc.earliestSelectedTime(), 2000);
    EXPECT_EQ(doc.endTime(), 2000);
    doc.audio = std::make_unique<CCyclogramAudioTrack>();
    doc.audio->appendBlock({1900, 600, 0, std::nullopt});
    EXPECT_EQ(doc.endTime(), 2500);
    doc.deleteSelected();
    EXPECT_EQ(doc.track(0).count(), 2);
    EXPECT_EQ(CCyclogram().endTime(), 0);
}

TEST(Document, TracksFromTheEnvironment) {
    CCyclogramEnv env;
    env.addTracker({.motor = 4});
    env.addTracker({.motor = 7});
    CCyclogram doc;
    doc.addTrack();
    ASSERT_TRUE(doc.resetFromEnvironment(env));
    ASSERT_EQ(doc.trackCount(), 2);
    EXPECT_EQ(doc.track(1).motor, 7);
    EXPECT_EQ(doc.track(1).height, 40);
    ASSERT_TRUE(doc.audio);
    EXPECT_EQ(doc.audio->count(), 0);
    doc.swapTracks(0, 1);
    EXPECT_EQ(doc.findTrack(7), 0);
    doc.swapTracks(0, 2);
    doc.removeTrack(5);
    EXPECT_EQ(doc.trackCount(), 2);
}

TEST(Environment, RawAndPosition) {
    EnvTracker t;
    t.leftRaw = 1000;
    t.rightRaw = 3000;
    EXPECT_EQ(RawOfPosition(t, 0.25f), 1500);
    EXPECT_FLOAT_EQ(PositionOfRaw(t, 2500), 0.75f);
    EXPECT_EQ(PositionOfRaw(t, 0), 0.0f);
    EXPECT_EQ(PositionOfRaw(t, 9000), 1.0f);
    t.leftRaw = 3000;  // reversed range
    t.rightRaw = 1000;
    EXPECT_EQ(RawOfPosition(t, 0.3333f), 2333);  // truncated toward zero
    EXPECT_FLOAT_EQ(PositionOfRaw(t, 1500), 0.75f);
    t.rightRaw = 3000;  // no range at all
    EXPECT_EQ(PositionOfRaw(t, 3000), 0.0f);
    t.leftRaw = std::numeric_limits<int32_t>::min();
    t.rightRaw = std::numeric_limits<int32_t>::max();
    EXPECT_FLOAT_EQ(PositionOfRaw(t, 0), 0.5f);
    EXPECT_EQ(RawOfPosition(t, 1.0f), std::numeric_limits<int32_t>::max());

    CCyclogramEnv env;
    for (int i = 0; i < kMaxTrackerCount; ++i) {
        ASSERT_EQ(env.addTracker({.motor = i}), i);
    }
    EXPECT_EQ(env.addTracker({}), -1);  // a record could not carry it
    EXPECT_EQ(env.findTracker(999), 999);
    env.removeTracker(0);
    EXPECT_EQ(env.findTracker(0), -1);
    env.clear();
    EXPECT_EQ(env.count(), 0);
}

TEST(AudioBlock, WaveNames) {
    EXPECT_TRUE((AudioBlock{0, 0, 0, std::string("hello.WAV")}.isWaveFile()));
    EXPECT_FALSE((AudioBlock{0, 0, 0, std::string("hello wav")}.isWaveFile()));
    EXPECT_FALSE((AudioBlock{}.isWaveFile()));
}

}  // namespace
}  // namespace velcora
