#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/ctl/ctl.h"
#include "cyclogram/cyclogram_format.h"

namespace velcora {
namespace {

struct Outcome {
    int code;
    std::string out;
};

Outcome RunCtl(std::vector<std::string> argv) {
    ctl::Registry registry;
    ctl::RegisterCyclogramCommands(registry);
    const ctl::Command* command = registry.Find(argv.at(0));
    EXPECT_NE(command, nullptr);
    ctl::Args args(std::vector<std::string>(argv.begin() + 1, argv.end()));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = command->run(args);
    std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return {code, out};
}

struct CommandsTest : testing::Test {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("cyc_ctl_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string File(const char* name) const { return (dir / name).string(); }
};

TEST_F(CommandsTest, DumpPrintsTheDocument) {
    CCyclogram doc;
    const int32_t t = doc.addTrack();
    doc.track(t).motor = 3;
    doc.track(t).locked = 1;
    doc.track(t).appendKey({0, 0, 0.25f, 0, 0.5f, 100, 2, -0.125f, 300});
    doc.track(t).appendKey({0, 1000, 1.0f, 1, 0, 500, 1, 0, 500});
    doc.addTrack();
    const std::string plain = File("plain.cyg");
    ASSERT_TRUE(saveCyclogramFile(plain, doc));
    EXPECT_EQ(RunCtl({"cyclogram", "dump", plain}).out,
              "{\"loop\":false,\"tracks\":[{\"motor\":3,\"disabled\":false,\"locked\":true,"
              "\"keys\":[{\"time\":0,\"value\":0.25,\"inMode\":0,\"inLength\":100,\"inDelta\":0.5,"
              "\"outMode\":2,\"outLength\":300,\"outDelta\":-0.125},{\"time\":1000,\"value\":1,"
              "\"inMode\":1,\"inLength\":500,\"inDelta\":0,\"outMode\":1,\"outLength\":500,"
              "\"outDelta\":0}]},{\"motor\":0,\"disabled\":false,\"locked\":false,\"keys\":[]}],"
              "\"audio\":null}\n");

    CCyclogram sound;
    sound.loop = 1;
    sound.audio = std::make_unique<CCyclogramAudioTrack>();
    sound.audio->disabled = 1;
    sound.audio->appendBlock({0, 500, 0, std::string("\xcf\xf0\xe8\xe2\xe5\xf2 \"x\"")});
    sound.audio->appendBlock({600, 900, 0, std::nullopt});
    const std::string withSound = File("sound.cyg");
    ASSERT_TRUE(saveCyclogramFile(withSound, sound));
    EXPECT_EQ(RunCtl({"cyclogram", "dump", withSound}).out,
              "{\"loop\":true,\"tracks\":[],\"audio\":{\"disabled\":true,\"locked\":false,"
              "\"blocks\":[{\"start\":0,\"length\":500,\"text\":\"Привет \\\"x\\\"\"},"
              "{\"start\":600,\"length\":900,\"text\":null}]}}\n");
}

TEST_F(CommandsTest, ValueFollowsTheCurve) {
    CCyclogram doc;
    doc.track(doc.addTrack()).motor = 1;
    const int32_t t = doc.addTrack();
    doc.track(t).motor = 2;
    doc.track(t).appendKey({0, 0, 0.0f, 1, 0, 500, 1, 0, 500});
    doc.track(t).appendKey({0, 1000, 1.0f, 1, 0, 500, 1, 0, 500});
    const std::string path = File("v.cyg");
    ASSERT_TRUE(saveCyclogramFile(path, doc));
    const Outcome o = RunCtl({"cyclogram", "value", path, "2", "-5", "500", "1000"});
    EXPECT_EQ(o.code, ctl::kExitDone);
    EXPECT_EQ(o.out, "0\n0.5\n1\n");
    EXPECT_EQ(RunCtl({"cyclogram", "value", path, "1", "10"}).out, "0.5\n");
    EXPECT_EQ(RunCtl({"cyclogram", "value", path, "9", "10"}).code, ctl::kExitFailed);
    EXPECT_EQ(RunCtl({"cyclogram", "value", path, "x", "10"}).code, ctl::kExitUsage);
    EXPECT_EQ(RunCtl({"cyclogram", "value", path, "1"}).code, ctl::kExitUsage);
    EXPECT_EQ(RunCtl({"cyclogram", "dump", File("missing.cyg")}).code, ctl::kExitFailed);
    EXPECT_EQ(RunCtl({"cyclogram", "frobnicate"}).code, ctl::kExitUsage);
}

TEST_F(CommandsTest, EnvDump) {
    CCyclogramEnv env;
    env.addTracker({5, 1, 0, 1000, 250, 0, -3, 4, 0});
    env.backgroundSize = 77;
    env.backgroundChecksum = 200;
    const std::string path = File("e.cenv");
    ASSERT_TRUE(saveEnvironmentFile(path, env));
    EXPECT_EQ(RunCtl({"env", "dump", path}).out,
              "{\"trackers\":[{\"motor\":5,\"kind\":1,\"leftRaw\":0,\"rightRaw\":1000,"
              "\"defaultRaw\":250,\"x\":-3,\"y\":4,\"position\":0.25}],\"backgroundSize\":77,"
              "\"backgroundChecksum\":200}\n");
    EXPECT_EQ(RunCtl({"env", "dump", File("cyc.cyg")}).code, ctl::kExitFailed);
}

// The robot commands refuse bad arguments before they connect.
TEST_F(CommandsTest, PoseAndMotorArgumentsAreCheckedFirst) {
    const std::vector<std::vector<std::string>> refused = {
        {"cyclogram", "pose", "a.cyg"},
        {"cyclogram", "pose", "a.cyg", "-5"},
        {"cyclogram", "pose", "a.cyg", "soon"},
        {"cyclogram", "run", "x", "--env", "e.cenv"},
        {"env", "motors", "extra"},
        {"env", "set", "5"},
        {"env", "set", "five", "0.5"},
        {"env", "set", "5", "1.5"},
        {"env", "set", "5", "nan"},
    };
    for (const auto& argv : refused) {
        const Outcome o = RunCtl(argv);
        EXPECT_NE(o.code, 0) << argv[1] << " " << (argv.size() > 2 ? argv[2] : "");
        EXPECT_EQ(o.out, "");
    }
    // A missing file is a failure, not a connection attempt.
    EXPECT_NE(RunCtl({"cyclogram", "pose", File("missing.cyg"), "100"}).code, 0);
}

}  // namespace
}  // namespace velcora
