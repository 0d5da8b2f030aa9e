#include "console/drive_keys.h"

#include <gtest/gtest.h>

#include "support/fake_link.h"

namespace velcora {
namespace {

using test::FakeLink;

struct Rig {
    FakeLink link;
    CDriveController control;
    CDriveKeys keys;
    explicit Rig(DriveControlOptions o = {}) : control(link, o), keys(control, {}) {}
};

TEST(DriveKeys, KeyMapCoversBothCasesAndIgnoresOthers) {
    EXPECT_EQ(ConsoleKeyFor(U'w'), ConsoleKey::Forward);
    EXPECT_EQ(ConsoleKeyFor(U'W'), ConsoleKey::Forward);
    EXPECT_EQ(ConsoleKeyFor(U'q'), ConsoleKey::HeadLeft);
    EXPECT_EQ(ConsoleKeyFor(U'0'), ConsoleKey::Emotion5);
    EXPECT_EQ(ConsoleKeyFor(U'7'), ConsoleKey::Emotion3);
    EXPECT_FALSE(ConsoleKeyFor(U'8').has_value());
    EXPECT_FALSE(ConsoleKeyFor(U'ц').has_value());
}

TEST(DriveKeys, DirectDrivingAndSpeedScale) {
    Rig r;
    r.keys.KeyDown(ConsoleKey::Forward);
    EXPECT_FLOAT_EQ(r.keys.DriveY(), 0.3f);
    r.keys.KeyDown(ConsoleKey::Right);
    EXPECT_FLOAT_EQ(r.keys.DriveX(), 0.3f);
    r.keys.KeyUp(ConsoleKey::Forward);
    EXPECT_EQ(r.keys.DriveY(), 0.0f);
    r.keys.KeyUp(ConsoleKey::Right);
    for (int i = 0; i < 10; ++i)
        r.keys.KeyDown(ConsoleKey::Faster);
    EXPECT_FLOAT_EQ(r.keys.SpeedScale(), 1.0f);
    // At rest the scale creeps back down, but not below 0.4.
    for (int i = 0; i < 1000; ++i)
        r.keys.Tick();
    EXPECT_NEAR(r.keys.SpeedScale(), 0.4f, 0.002f);
    for (int i = 0; i < 10; ++i)
        r.keys.KeyDown(ConsoleKey::Slower);
    EXPECT_FLOAT_EQ(r.keys.SpeedScale(), 0.15f);
}

TEST(DriveKeys, SmoothRideRampsTowardTargetAndBack) {
    Rig r;
    r.keys.KeyDown(ConsoleKey::SmoothRide);
    r.keys.KeyDown(ConsoleKey::Forward);
    EXPECT_EQ(r.keys.DriveY(), 0.0f);  // a target, not a value
    r.keys.Tick();
    EXPECT_FLOAT_EQ(r.keys.DriveY(), 0.01f);  // 0.02 x smoothIncY 0.5
    for (int i = 0; i < 100; ++i)
        r.keys.Tick();
    EXPECT_FLOAT_EQ(r.keys.DriveY(), 0.3f);
    r.keys.KeyUp(ConsoleKey::Forward);
    EXPECT_FLOAT_EQ(r.keys.DriveY(), 0.3f);
    for (int i = 0; i < 100; ++i)
        r.keys.Tick();
    EXPECT_NEAR(r.keys.DriveY(), 0.0f, 1e-6);
}

TEST(DriveKeys, HeadKeysByConfiguration) {
    DriveControlOptions relative;
    relative.headDeltas = 32;
    Rig r(relative);
    r.keys.KeyDown(ConsoleKey::HeadRight);
    r.control.Tick(20);
    const auto sent = r.link.Of(msg::kHeadRelative);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, std::string("\xf5\x28\x00\x00", 4));  // 0.32 * 32767 = 10485
    r.keys.KeyUp(ConsoleKey::HeadRight);                             // releasing stops the head
    r.control.Tick(20);
    EXPECT_EQ(r.link.Of(msg::kHeadRelative).back().payload, std::string(4, '\0'));

    Rig a;  // absolute: steps of 0.1 within -1..1
    for (int i = 0; i < 15; ++i)
        a.keys.KeyDown(ConsoleKey::HeadDown);
    a.control.Tick(20);
    EXPECT_EQ(a.link.Of(msg::kHeadAbsolute).back().payload, std::string("\0\0\x01\x80\0\0", 6));

    DriveControlOptions slider;
    slider.headJoystick = false;
    Rig s(slider);
    for (int i = 0; i < 20; ++i)
        s.keys.KeyDown(ConsoleKey::HeadUp);
    s.control.Tick(20);
    EXPECT_EQ(s.link.Of(msg::kHeadSliderVel).back().payload, std::string("\xff\x7f", 2));
    s.keys.KeyDown(ConsoleKey::HeadHome);
    EXPECT_EQ(s.link.Of(msg::kHeadHome).size(), 1u);
}

// The head moved by the mouse or the controller's hat stays where it was put
// when a drive key is pressed, and the head keys go on from there.
TEST(DriveKeys, KeysContinueFromAHeadMovedElsewhere) {
    Rig a;
    a.control.SetHead(0.5f, -0.5f, 0);
    a.keys.SetHead(0.5f, -0.5f, 0);
    a.control.Tick(20);
    ASSERT_EQ(a.link.Of(msg::kHeadAbsolute).size(), 1u);
    a.keys.KeyDown(ConsoleKey::Forward);
    a.keys.KeyUp(ConsoleKey::Forward);
    a.control.Tick(20);
    EXPECT_EQ(a.link.Of(msg::kHeadAbsolute).size(), 1u);  // unchanged: nothing new
    a.keys.KeyDown(ConsoleKey::HeadRight);
    a.control.Tick(20);
    ASSERT_EQ(a.link.Of(msg::kHeadAbsolute).size(), 2u);
    EXPECT_EQ(a.link.Of(msg::kHeadAbsolute).back().payload,
              std::string("\xcc\x4c\x01\xc0\0\0", 6));  // 0.6, -0.5, 0
    // Out-of-range values from elsewhere are held within -1..1.
    a.keys.SetHead(3.0f, -2.0f, 0.25f);
    EXPECT_EQ(a.keys.HeadX(), 1.0f);
    EXPECT_EQ(a.keys.HeadY(), -1.0f);
    EXPECT_EQ(a.keys.HeadZ(), 0.25f);

    DriveControlOptions slider;
    slider.headJoystick = false;
    Rig s(slider);
    s.control.SetHeadSlider(12000);
    s.keys.SetHeadSlider(12000);
    s.control.Tick(200);
    ASSERT_EQ(s.link.Of(msg::kHeadSliderVel).size(), 1u);
    s.keys.KeyDown(ConsoleKey::Backward);
    s.control.Tick(200);
    EXPECT_EQ(s.link.Of(msg::kHeadSliderVel).size(), 1u);
    s.keys.KeyDown(ConsoleKey::HeadUp);
    s.control.Tick(200);
    ASSERT_EQ(s.link.Of(msg::kHeadSliderVel).size(), 2u);
    EXPECT_EQ(s.link.Of(msg::kHeadSliderVel).back().payload, std::string("\xe0\x36", 2));
}

}  // namespace
}  // namespace velcora
