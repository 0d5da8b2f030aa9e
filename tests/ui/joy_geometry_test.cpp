#include "ui/joy_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velcora::ui {
namespace {

TEST(JoyGeometry, SizeUnitAndCentreFollowTheClientArea) {
    JoyGeometry g = ComputeJoyGeometry(120, 120);
    EXPECT_EQ(g.size, 120);
    EXPECT_EQ(g.k, 30);
    EXPECT_EQ(JoyStickHalf(g), 22);
    EXPECT_EQ(g.cx, 60);
    EXPECT_EQ(g.cy, 60);
    g = ComputeJoyGeometry(200, 100);
    EXPECT_EQ(g.size, 100);
    EXPECT_EQ(g.k, 25);
    EXPECT_EQ(g.cx, 100);
    // A squeezed control keeps a usable unit instead of dividing by zero.
    EXPECT_EQ(ComputeJoyGeometry(3, 3).k, 1);
    EXPECT_EQ(ComputeJoyGeometry(0, 50).k, 1);
}

struct HitCase {
    JoyValues v;
    bool rotation;
    int x, y;
    JoyPart expected;
};

class JoyHit : public ::testing::TestWithParam<HitCase> {};

TEST_P(JoyHit, StickAndHandle) {
    const HitCase& c = GetParam();
    EXPECT_EQ(JoyHitTest(ComputeJoyGeometry(120, 120), c.v, c.rotation, c.x, c.y), c.expected);
}

// k = 30, c = 22, centre (60, 60).
INSTANTIATE_TEST_SUITE_P(
    Table, JoyHit,
    ::testing::Values(HitCase{{}, false, 60, 60, JoyPart::Stick},
                      HitCase{{}, false, 81, 81, JoyPart::Stick},
                      HitCase{{}, false, 82, 60, JoyPart::None},
                      HitCase{{}, false, 60, 38, JoyPart::None},
                      HitCase{{}, true, 60, 30, JoyPart::Handle},
                      HitCase{{}, true, 60, 16, JoyPart::None},   // ky - 2c is outside
                      HitCase{{}, true, 60, 38, JoyPart::None},   // ky - c is outside
                      HitCase{{}, false, 60, 30, JoyPart::None},  // no handle without rotation
                      HitCase{{1, 0, 0}, false, 90, 60, JoyPart::Stick},
                      HitCase{{1, 0, 0}, false, 60, 60, JoyPart::None},
                      HitCase{{0, 1, 0}, true, 60, 0, JoyPart::Handle},
                      HitCase{{-0.5f, -0.5f, 0}, false, 46, 76, JoyPart::Stick}));

TEST(JoyDrag, StickFollowsTheMouseClampedWithAQuietCentre) {
    const JoyValues start{};
    JoyValues v = JoyDrag(JoyPart::Stick, start, 30, 15, -15, false);
    EXPECT_FLOAT_EQ(v.x, 0.5f);
    EXPECT_FLOAT_EQ(v.y, 0.5f);
    v = JoyDrag(JoyPart::Stick, start, 30, 500, 500, false);
    EXPECT_FLOAT_EQ(v.x, 1.0f);
    EXPECT_FLOAT_EQ(v.y, -1.0f);
    v = JoyDrag(JoyPart::Stick, start, 30, 1, 0, false);  // 0.033 sideways
    EXPECT_EQ(v.x, 0.0f);
    v = JoyDrag(JoyPart::Stick, {0.5f, 0.5f, 0.3f}, 30, -6, 3, false);
    EXPECT_FLOAT_EQ(v.x, 0.3f);
    EXPECT_FLOAT_EQ(v.y, 0.4f);
    EXPECT_FLOAT_EQ(v.r, 0.3f);  // the stick leaves the turn alone
}

TEST(JoyDrag, CtrlKeepsOnlyTheLargerOfTheDraggedValues) {
    // Mostly up and down: sideways stays 0.
    JoyValues v = JoyDrag(JoyPart::Stick, {}, 30, 9, -24, true);
    EXPECT_EQ(v.x, 0.0f);
    EXPECT_FLOAT_EQ(v.y, 0.8f);
    v = JoyDrag(JoyPart::Stick, {}, 30, -24, 9, true);
    EXPECT_FLOAT_EQ(v.x, -0.8f);
    EXPECT_EQ(v.y, 0.0f);
    v = JoyDrag(JoyPart::Handle, {0.2f, 0, 0}, 30, 15, -3, true);
    EXPECT_FLOAT_EQ(v.r, 0.5f);
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_FLOAT_EQ(v.x, 0.2f);
}

TEST(JoyDrag, HandleTurnsAndMovesForwardClamped) {
    const JoyValues v = JoyDrag(JoyPart::Handle, {}, 30, 90, 6, false);
    EXPECT_FLOAT_EQ(v.r, 1.0f);
    EXPECT_FLOAT_EQ(v.y, -0.2f);
    EXPECT_EQ(JoyDrag(JoyPart::None, {0.1f, 0.2f, 0.3f}, 30, 50, 50, false),
              (JoyValues{0.1f, 0.2f, 0.3f}));
    // A zero unit must not produce infinities.
    const JoyValues z = JoyDrag(JoyPart::Stick, {}, 0, 3, 3, false);
    EXPECT_TRUE(std::isfinite(z.x) && std::isfinite(z.y));
}

TEST(JoyRelease, SpringsBackOnlyAfterADragWithoutCtrl) {
    const JoyValues held{0.4f, -0.6f, 0.2f};
    EXPECT_EQ(JoyRelease(held, true, true, false), JoyValues{});
    EXPECT_EQ(JoyRelease(held, true, true, true), held);
    EXPECT_EQ(JoyRelease(held, true, false, false), held);
    EXPECT_EQ(JoyRelease(held, false, true, false), held);
}

TEST(JoyLayers, TheKnobTiltsTowardsTheStickAndTurnsWithIt) {
    const JoyGeometry g = ComputeJoyGeometry(240, 240);  // k = 60
    const JoyValues v{0.5f, 1.0f, 0.5f};
    const JoyLayerPose base = JoyLayer(g, v, 0);
    EXPECT_EQ(base.dx, 0.0f);
    EXPECT_EQ(base.dy, 0.0f);
    EXPECT_EQ(base.angle, 0.0f);
    EXPECT_FLOAT_EQ(base.scale, 2.0f);
    const JoyLayerPose top = JoyLayer(g, v, 5);
    EXPECT_FLOAT_EQ(top.dx, 30.0f);
    EXPECT_FLOAT_EQ(top.dy, -60.0f);
    EXPECT_FLOAT_EQ(top.angle, 0.5f);
    EXPECT_FLOAT_EQ(JoyLayer(g, v, 2).dx, 12.0f);
}

TEST(JoyClamp, KeepsValuesInRange) {
    EXPECT_EQ(JoyClamp(2.0f), 1.0f);
    EXPECT_EQ(JoyClamp(-7.0f), -1.0f);
    EXPECT_EQ(JoyClamp(std::nanf("")), 0.0f);
    EXPECT_EQ(JoyClamp(0.25f), 0.25f);
}

}  // namespace
}  // namespace velcora::ui
