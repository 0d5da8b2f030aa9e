#include "console/drive_controller.h"

#include <gtest/gtest.h>

#include "support/fake_link.h"

namespace velcora {
namespace {

using test::FakeLink;

class RecordingView : public IDriveControlView {
  public:
    void ShowLiftButtons(bool r, bool l) override { lift = {r, l}; }
    void ShowTrayButtons(bool r, bool l) override { tray = {r, l}; }
    void ShowAutobalance(bool on) override { autobalance = on; }
    void ShowEmotion(int e) override { emotion = e; }
    std::pair<bool, bool> lift{}, tray{};
    bool autobalance = true;
    int emotion = -1;
};

// Ticks of 20 ms; returns the times (ms from the first tick) of drive frames.
std::vector<int> DriveTimes(FakeLink& link, CDriveController& c, int ms, int start = 0) {
    std::vector<int> times;
    for (int t = 0; t < ms; t += 20) {
        const size_t before = link.sent.size();
        c.Tick(20);
        for (size_t i = before; i < link.sent.size(); ++i) {
            if (link.sent[i].type == msg::kDriveChassis)
                times.push_back(start + t);
        }
    }
    return times;
}

TEST(DriveController, ChangesRepeatsAndSingleZero) {
    FakeLink link;
    CDriveController c(link, {});
    EXPECT_TRUE(DriveTimes(link, c, 1000).empty());  // nothing held, nothing sent

    c.SetDrive(0, 1, 0);
    // The 250 ms countdown runs out on the first 20 ms tick past it.
    EXPECT_EQ(DriveTimes(link, c, 1000), (std::vector<int>{0, 260, 520, 780}));
    c.SetDrive(0, 0.5f, 0);  // a change goes out on the next tick
    EXPECT_EQ(DriveTimes(link, c, 100), (std::vector<int>{0}));
    c.SetDrive(0, 0, 0);  // release: one zero, never repeated
    link.sent.clear();
    EXPECT_EQ(DriveTimes(link, c, 2000), (std::vector<int>{0}));
    EXPECT_EQ(link.sent[0].payload, std::string(4, '\0'));

    c.SetSmoothRide(true);
    c.SetDrive(0.2f, 0, 0);
    EXPECT_EQ(DriveTimes(link, c, 300), (std::vector<int>{0, 100, 200}));
}

TEST(DriveController, NothingOutsideAuthorisedState) {
    FakeLink link;
    link.state = kStateAuthorising;
    CDriveController c(link, {});
    c.SetDrive(1, 1, 0);
    c.SetHead(0.5f, 0, 0);
    for (int i = 0; i < 50; ++i)
        c.Tick(20);
    EXPECT_FALSE(c.Emotion(3));
    EXPECT_TRUE(link.sent.empty());
    link.state = kStateAuthorised;  // the held value goes out once authorised
    c.Tick(20);
    EXPECT_EQ(link.Of(msg::kDriveChassis).size(), 1u);
}

TEST(DriveController, HeadJoystickRelativeRepeatsEvery60ms) {
    FakeLink link;
    DriveControlOptions o;
    o.headDeltas = 32;
    CDriveController c(link, o);
    c.SetHead(0.5f, 0, 0);
    for (int i = 0; i < 10; ++i)
        c.Tick(20);  // 200 ms: sends at 0, 60, 120, 180
    EXPECT_EQ(link.Of(msg::kHeadRelative).size(), 4u);
    c.SetHead(0, 0, 0);
    for (int i = 0; i < 10; ++i)
        c.Tick(20);
    // The centred value at once, then once more when the running countdown ends;
    // a centred joystick does not rearm it.
    EXPECT_EQ(link.Of(msg::kHeadRelative).size(), 6u);
    for (int i = 0; i < 10; ++i)
        c.Tick(20);
    EXPECT_EQ(link.Of(msg::kHeadRelative).size(), 6u);
}

TEST(DriveController, HeadJoystickAbsoluteOnChangeOnly) {
    FakeLink link;
    CDriveController c(link, {});
    c.SetHead(0.5f, 0.5f, 0);
    for (int i = 0; i < 20; ++i)
        c.Tick(20);
    c.SetHead(0.5f, 0.6f, 0);
    for (int i = 0; i < 20; ++i)
        c.Tick(20);
    EXPECT_EQ(link.Of(msg::kHeadAbsolute).size(), 2u);
    EXPECT_TRUE(link.Of(msg::kHeadRelative).empty());
}

TEST(DriveController, HeadSliderWaits122msBetweenSends) {
    FakeLink link;
    DriveControlOptions o;
    o.headJoystick = false;
    o.standard = RobotStandard::Corvina;
    CDriveController c(link, o);
    std::vector<int> times;
    for (int t = 0; t < 400; t += 20) {
        c.SetHeadSlider(static_cast<int16_t>(t + 1));  // a slider that keeps moving
        const size_t before = link.sent.size();
        c.Tick(20);
        if (link.sent.size() > before)
            times.push_back(t);
    }
    EXPECT_EQ(times, (std::vector<int>{0, 140, 280}));
    EXPECT_EQ(link.sent[0].type, msg::kHeadSliderCorvina);
}

TEST(DriveController, LiftMomentaryAndLatched) {
    FakeLink link;
    RecordingView view;
    DriveControlOptions o;
    o.liftSpeed = 30;
    o.liftFixedMode = false;
    CDriveController c(link, o, &view);
    c.LiftButtonEdge(LiftButton::Raise, ButtonEdge::Press);
    c.LiftButtonEdge(LiftButton::Raise, ButtonEdge::Release);
    c.LiftButtonEdge(LiftButton::Lower, ButtonEdge::Press);
    c.LiftButtonEdge(LiftButton::Lower, ButtonEdge::Release);
    std::string speeds;
    for (const auto& f : link.Of(msg::kLiftSpeed))
        speeds += f.payload;
    EXPECT_EQ(speeds, std::string("\x1e\x00\xe2\x00", 4));

    link.sent.clear();
    o.liftFixedMode = true;
    c.SetOptions(o);
    c.LiftButtonEdge(LiftButton::Raise, ButtonEdge::Press);
    c.LiftButtonEdge(LiftButton::Raise, ButtonEdge::Release);  // latched: nothing
    EXPECT_EQ(view.lift, std::make_pair(true, false));
    c.LiftButtonEdge(LiftButton::Lower, ButtonEdge::Press);  // takes over from raise
    EXPECT_EQ(view.lift, std::make_pair(false, true));
    c.LiftButtonEdge(LiftButton::Lower, ButtonEdge::Press);  // pressed again: stop
    EXPECT_EQ(view.lift, std::make_pair(false, false));
    speeds.clear();
    for (const auto& f : link.Of(msg::kLiftSpeed))
        speeds += f.payload;
    EXPECT_EQ(speeds, std::string("\x1e\xe2\x00", 3));
}

TEST(DriveController, TrayClearsAutobalanceWithoutSending) {
    FakeLink link;
    RecordingView view;
    DriveControlOptions o;
    o.traySpeed = 10;
    CDriveController c(link, o, &view);
    c.SetAutobalance(true);
    ASSERT_EQ(link.Of(msg::kAutobalance).size(), 1u);
    c.TrayButtonEdge(LiftButton::Lower, ButtonEdge::Press);
    EXPECT_FALSE(c.Autobalance());
    EXPECT_FALSE(view.autobalance);
    EXPECT_EQ(link.Of(msg::kAutobalance).size(), 1u);
    EXPECT_EQ(link.Of(msg::kTraySpeed).at(0).payload, std::string("\xf6", 1));
}

TEST(DriveController, EmotionsOnlyWhenAuthorisedAndInRange) {
    FakeLink link;
    RecordingView view;
    CDriveController c(link, {}, &view);
    EXPECT_TRUE(c.Emotion(5));
    EXPECT_EQ(view.emotion, 5);
    EXPECT_FALSE(c.Emotion(6));
    EXPECT_EQ(link.Of(msg::kTextCommand).size(), 1u);
}

}  // namespace
}  // namespace velcora
