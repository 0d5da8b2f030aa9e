// The live control commands of velcoractl against the simulated robot: what
// leaves the console (the robot's frame log) and what the robot makes of it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "app/ctl/ctl.h"
#include "e2e/sim_thread.h"
#include "sim/sim_control.h"
#include "sim/sim_features.h"
#include "sim/sim_status.h"

namespace velcora {
namespace {

class ControlE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::SimOptions o;
        o.password = "pw";
        robot = std::make_unique<test::SimThread>(o);
        ASSERT_TRUE(robot->Started());
        ctl::RegisterControlCommands(registry);
        setenv("VELCORA_PASSWORD", "pw", 1);
    }
    void TearDown() override { unsetenv("VELCORA_PASSWORD"); }

    int Run(std::vector<std::string> words) {
        const ctl::Command* c = registry.Find(words.at(0));
        EXPECT_TRUE(c) << words[0];
        if (!c)
            return -1;
        words.erase(words.begin());
        for (const char* w : {"--host", "127.0.0.1", "--ini"})
            words.push_back(w);
        words.push_back(::testing::TempDir() + "velcora_control_e2e_missing.ini");
        words.push_back("--port");
        words.push_back(std::to_string(robot->Port()));
        ctl::Args args(words);
        return c->run(args);
    }

    // The demo robot's pose before anything moved it.
    static sim::SimPose StartPose() {
        platform::PollReactor reactor;
        sim::CSimRobot idle(reactor, {});
        sim::InstallFeatures(idle);
        return sim::RobotPose(idle);
    }

    ctl::Registry registry;
    std::unique_ptr<test::SimThread> robot;
};

TEST_F(ControlE2E, DriveRepeatsThenStopsAndMovesThePose) {
    const sim::SimPose startPose = StartPose();
    ASSERT_EQ(Run({"drive", "0", "1", "0", "--ms", "1000"}), ctl::kExitDone);
    const auto frames = robot->Frames(msg::kDriveChassis);
    // One frame at once, repeats while held, then a single zero.
    ASSERT_GE(frames.size(), 4u);
    ASSERT_LE(frames.size(), 6u);
    for (size_t i = 0; i + 1 < frames.size(); ++i) {
        EXPECT_EQ(frames[i].payload, std::string("\x7f\0\0\0", 4));
    }
    EXPECT_EQ(frames.back().payload, std::string(4, '\0'));
    sim::SimPose pose;
    robot->Stop([&](sim::CSimRobot& r) { pose = sim::RobotPose(r); });
    // About a second at full speed (50 cm/s) straight ahead, give or take the
    // lapse; the demo robot stands at its docking place facing along its angle.
    const double moved = std::hypot(pose.x - startPose.x, pose.y - startPose.y);
    EXPECT_GT(moved, 35.0);
    EXPECT_LT(moved, 90.0);
    EXPECT_NEAR(
        std::remainder(std::atan2(pose.y - startPose.y, pose.x - startPose.x) - startPose.angle,
                       2 * M_PI),
        0.0, 1e-6);
}

TEST_F(ControlE2E, TurnInPlaceAndWheelStandard) {
    const sim::SimPose startPose = StartPose();
    ASSERT_EQ(Run({"drive", "1", "0", "0", "--ms", "500", "--mode", "turn"}), ctl::kExitDone);
    EXPECT_EQ(robot->Frames(msg::kDriveChassis).at(0).payload, std::string("\0\x7f\0\x01", 4));
    ASSERT_EQ(Run({"drive", "0", "1", "0", "--ms", "100", "--standard", "corvina"}),
              ctl::kExitDone);
    EXPECT_EQ(robot->Frames(msg::kDriveWheels).at(0).payload, std::string("\x30\xf8\xd0\x07", 4));
    sim::SimPose pose;
    robot->Stop([&](sim::CSimRobot& r) { pose = sim::RobotPose(r); });
    // A right turn is clockwise.
    EXPECT_LT(std::remainder(pose.angle - startPose.angle, 2 * M_PI), -0.5);
}

TEST_F(ControlE2E, BodyModesAndSpeechReachTheRobot) {
    EXPECT_EQ(Run({"lift", "up", "--speed", "100"}), ctl::kExitDone);
    EXPECT_EQ(Run({"mode", "random-walk", "on"}), ctl::kExitDone);
    EXPECT_EQ(Run({"mode", "auto", "on"}), ctl::kExitDone);
    EXPECT_EQ(Run({"emotion", "3"}), ctl::kExitDone);
    EXPECT_EQ(Run({"park", "start"}), ctl::kExitDone);
    EXPECT_EQ(Run({"volume", "40"}), ctl::kExitDone);
    EXPECT_EQ(Run({"say", "Привет"}), ctl::kExitDone);
    EXPECT_EQ(Run({"command", "Say(1);"}), ctl::kExitDone);
    EXPECT_EQ(Run({"gesture", "7"}), ctl::kExitDone);
    EXPECT_EQ(Run({"head", "0.5", "-0.5"}), ctl::kExitDone);

    EXPECT_EQ(robot->Frames(msg::kLiftSpeed).at(0).payload, "\x64");
    EXPECT_EQ(robot->Frames(msg::kTextCommand).at(0).payload, std::string("\2\0\0\0"
                                                                          "3\0",
                                                                          6));
    EXPECT_EQ(robot->Frames(msg::kScriptCommand).at(0).payload, std::string("Say(1);\0", 8));
    EXPECT_EQ(robot->Frames(msg::kGesturePlay).at(0).payload, std::string("\x07\0\0\0", 4));
    ASSERT_EQ(robot->Frames(msg::kHeadAbsolute).size(), 1u);

    sim::SimStatus status;
    sim::SimBody body;
    robot->Stop([&](sim::CSimRobot& r) {
        status = r.Feature<sim::SimStatus>();
        body = sim::RobotBody(r);
    });
    EXPECT_GT(status.height, 12.5f);  // the lift has been rising since
    EXPECT_TRUE(status.randomWalk);
    EXPECT_EQ(status.emotion, 3);
    EXPECT_TRUE(status.charging);
    EXPECT_TRUE(body.autoMode);
    EXPECT_EQ(body.volume, 40);
    EXPECT_NEAR(body.headPan, 0.5, 1e-3);
    EXPECT_NEAR(body.headTilt, -0.5, 1e-3);
}

TEST_F(ControlE2E, UsageErrorsNeverConnect) {
    EXPECT_EQ(Run({"drive", "0", "2", "0", "--ms", "10"}), ctl::kExitUsage);
    EXPECT_EQ(Run({"drive", "0", "1", "0"}), ctl::kExitUsage);
    EXPECT_EQ(Run({"emotion", "6"}), ctl::kExitUsage);
    EXPECT_EQ(Run({"mode", "qr", "maybe"}), ctl::kExitUsage);
    EXPECT_EQ(Run({"volume", "101"}), ctl::kExitUsage);
    EXPECT_EQ(Run({"lift", "sideways"}), ctl::kExitUsage);
    EXPECT_TRUE(robot->Frames(msg::kAuth).empty());
}

TEST_F(ControlE2E, WatchPrintsStatusAndModeChanges) {
    ASSERT_EQ(Run({"mode", "qr", "on"}), ctl::kExitDone);
    testing::internal::CaptureStdout();
    // The mode report comes once a second (and at authorisation, possibly
    // before the handlers are in place).
    const int rc = Run({"watch", "--json", "--seconds", "2"});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, ctl::kExitDone);
    EXPECT_NE(out.find("{\"status\":{\"battery\":87,\"charging\":false,\"height\":12.5,"
                       "\"randomWalk\":false,\"emotion\":0}}\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("{\"modes\":{\"auto\":false,\"qr\":true,\"navMode\":0,"), std::string::npos)
        << out;
}

}  // namespace
}  // namespace velcora

namespace velcora::sim {
namespace {

TEST(SimPose, IntegratesForwardTurnStrafeAndLapses) {
    SimPose p;
    SimBody b;
    b.forward = 1.0;
    IntegratePose(p, b, 1000);
    EXPECT_NEAR(p.x, kFullSpeedCmPerS, 1e-9);
    b.forward = 0;
    b.turn = -1.0;  // left: counter-clockwise
    IntegratePose(p, b, 1000);
    EXPECT_NEAR(p.angle, kFullTurnRadPerS, 1e-9);
    b.turn = 0;
    b.strafe = 1.0;  // right of a robot facing +y is +x
    IntegratePose(p, b, 200);
    EXPECT_NEAR(p.x, kFullSpeedCmPerS + 10.0, 1e-9);
    b.driveAge = kDriveLapseMs + 1;  // not repeated: the robot stops
    IntegratePose(p, b, 1000);
    EXPECT_NEAR(p.x, kFullSpeedCmPerS + 10.0, 1e-9);
}

}  // namespace
}  // namespace velcora::sim
