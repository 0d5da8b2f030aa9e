// velcoractl's phrase, language, command, gesture-recording and motor commands
// against the simulated robot: what it receives and what it makes of it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "app/ctl/ctl.h"
#include "e2e/sim_thread.h"
#include "link/text_codec.h"
#include "sim/sim_control.h"
#include "sim/sim_cyclogram.h"
#include "sim/sim_features.h"

namespace velcora {
namespace {

class ServiceE2E : public ::testing::Test {
  protected:
    void Start(sim::SimOptions::GestureReply reply = sim::SimOptions::GestureReply::Ok) {
        sim::SimOptions o;
        o.password = "pw";
        o.gestureReply = reply;
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
        words.push_back(::testing::TempDir() + "velcora_service_e2e_missing.ini");
        words.push_back("--port");
        words.push_back(std::to_string(robot->Port()));
        ctl::Args args(words);
        return c->run(args);
    }

    ctl::Registry registry;
    std::unique_ptr<test::SimThread> robot;
};

TEST_F(ServiceE2E, PhraseLanguageAndFilledCommand) {
    Start();
    ASSERT_EQ(Run({"say", "два\r\n  слова"}), ctl::kExitDone);
    ASSERT_EQ(Run({"language", "Англ"}), ctl::kExitDone);
    ASSERT_EQ(Run({"command", "move({speed}, {dir})", "--arg", "5", "--arg", "left"}),
              ctl::kExitDone);
    EXPECT_EQ(Run({"say", "\r"}), ctl::kExitUsage);
    const auto said = robot->Frames(msg::kTextCommand);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].payload.substr(4), "два  слова");
    EXPECT_EQ(robot->Frames(msg::kSpeechLanguage).at(0).payload,
              Utf8ToAnsi("Англ") + std::string(1, '\0'));
    EXPECT_EQ(robot->Frames(msg::kScriptCommand).at(0).payload, std::string("move(5, left)\0", 14));
}

TEST_F(ServiceE2E, RecordedGestureIsPerformed) {
    Start();
    ASSERT_EQ(Run({"gesture-record", "5"}), ctl::kExitDone);
    ASSERT_EQ(Run({"gesture", "5"}), ctl::kExitDone);
    std::set<uint32_t> known;
    robot->Stop([&](sim::CSimRobot& r) { known = sim::RobotBody(r).gestures; });
    EXPECT_EQ(known.count(5), 1u);
}

TEST_F(ServiceE2E, RecordingAnsweredWithAnotherNumberFails) {
    Start(sim::SimOptions::GestureReply::Other);
    EXPECT_EQ(Run({"gesture-record", "5"}), ctl::kExitFailed);
    EXPECT_EQ(Run({"gesture-record", "70000"}), ctl::kExitUsage);
}

TEST_F(ServiceE2E, ServoRangeFromTheEnvironment) {
    Start();
    ::testing::internal::CaptureStdout();
    const int rc = Run({"servo-range", "2"});
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, ctl::kExitDone);
    EXPECT_EQ(out, "{\"motor\":2,\"left\":200,\"right\":800,\"default\":500}\n");
    // The motor without a value, and one the environment does not know.
    EXPECT_EQ(Run({"servo-range", "6"}), ctl::kExitFailed);
    EXPECT_EQ(Run({"servo-range", "99"}), ctl::kExitFailed);
}

TEST_F(ServiceE2E, MotorRunsWithinItsRangeThenStopsAndCalibrates) {
    Start();
    ASSERT_EQ(Run({"motor", "2", "120", "--ms", "600"}), ctl::kExitDone);
    const auto values = robot->Frames(msg::kMotorValue);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].payload, std::string("\x02\x78", 2));
    EXPECT_EQ(values[1].payload, std::string("\x02\x00", 2));
    ASSERT_EQ(robot->Frames(msg::kWheelMotors).size(), 2u);
    EXPECT_EQ(robot->Frames(msg::kWheelMotors)[0].payload, std::string("\x00\x78\x00", 3));
    ASSERT_EQ(Run({"calibrate", "4"}), ctl::kExitDone);
    ASSERT_EQ(Run({"calibrate", "cancel"}), ctl::kExitDone);
    ASSERT_EQ(Run({"calibrate", "2"}), ctl::kExitDone);
    EXPECT_EQ(Run({"calibrate", "0"}), ctl::kExitUsage);
    EXPECT_EQ(Run({"motor", "2", "121"}), ctl::kExitUsage);
    const auto calibration = robot->Frames(msg::kMotorCalibration);
    ASSERT_EQ(calibration.size(), 3u);
    EXPECT_EQ(calibration[1].payload, std::string(1, '\0'));
}

TEST(SimManualMotors, SpeedMovesWithinTheRangeAndCalibrationEndsAtTheDefault) {
    platform::PollReactor reactor;
    sim::CSimRobot robot(reactor, {});
    sim::InstallFeatures(robot);
    auto& motors = robot.Feature<sim::SimManualMotors>();
    auto& raw = sim::RobotCyclograms(robot).motors;
    motors.speed[2] = 127;  // full speed: half of 200..800 a second
    sim::TickManualMotors(robot, 500);
    EXPECT_EQ(raw[2], 650);
    sim::TickManualMotors(robot, 1000);
    EXPECT_EQ(raw[2], 800);  // clamped at the right end
    motors.speed[2] = 0;
    motors.calibrating[2] = sim::kCalibrationMs;
    sim::TickManualMotors(robot, sim::kCalibrationMs - 20);
    EXPECT_EQ(raw[2], 800);
    sim::TickManualMotors(robot, 20);
    EXPECT_EQ(raw[2], 500);
}

}  // namespace
}  // namespace velcora
