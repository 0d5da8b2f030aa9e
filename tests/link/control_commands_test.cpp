#include "link/control_commands.h"

#include <gtest/gtest.h>

#include "link/robot_status.h"
#include "support/fake_link.h"

namespace velcora {
namespace {

using test::FakeLink;

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b)
        s += static_cast<char>(v);
    return s;
}

struct DriveCase {
    const char* name;
    RobotStandard standard;
    MoveMode mode;
    float x, y, z;
    msg::Type type;
    std::string payload;
};

class DriveEncoding : public ::testing::TestWithParam<DriveCase> {};

TEST_P(DriveEncoding, Payload) {
    const DriveCase& c = GetParam();
    FakeLink link;
    SendDrive(link, c.standard, c.mode, c.x, c.y, c.z);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].type, c.type);
    EXPECT_EQ(link.sent[0].payload, c.payload);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, DriveEncoding,
    ::testing::Values(DriveCase{"forward", RobotStandard::Vel, MoveMode::Move, 0, 1, 0,
                                msg::kDriveChassis, Bytes({127, 0, 0, 0})},
                      DriveCase{"back_left", RobotStandard::Vel, MoveMode::Move, -0.5f, -1, 0.999f,
                                msg::kDriveChassis, Bytes({0x81, 0xC1, 126, 0})},
                      DriveCase{"turn", RobotStandard::Vel, MoveMode::Turn, 0.3f, 1, 1,
                                msg::kDriveChassis, Bytes({0, 38, 0, 1})},
                      DriveCase{"strafe", RobotStandard::Vel, MoveMode::Strafe, -1, 1, 1,
                                msg::kDriveChassis, Bytes({0, 0, 0x81, 2})},
                      // Wheel form: full forward, full right turn, and a clamped mixture.
                      DriveCase{"wheels_forward", RobotStandard::Corvina, MoveMode::Move, 0, 1, 0,
                                msg::kDriveWheels, Bytes({0x30, 0xF8, 0xD0, 0x07})},
                      DriveCase{"wheels_right", RobotStandard::Corvina, MoveMode::Move, 1, 0, 0,
                                msg::kDriveWheels, Bytes({0x18, 0xFC, 0x18, 0xFC})},
                      DriveCase{"wheels_clamped", RobotStandard::Corvina, MoveMode::Move, 1, 1, 0,
                                msg::kDriveWheels, Bytes({0x30, 0xF8, 0xE8, 0x03})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ControlCommands, WheelSpeedsAndSlider) {
    EXPECT_EQ(WheelDriveSpeeds(0, 1).left, -2000);
    EXPECT_EQ(WheelDriveSpeeds(0, 1).right, 2000);
    EXPECT_EQ(WheelDriveSpeeds(1, 0).left, -1000);
    EXPECT_EQ(WheelDriveSpeeds(1, 0).right, -1000);
    EXPECT_EQ(HeadSliderValue(RobotStandard::Corvina, 32767), 2300);
    EXPECT_EQ(HeadSliderValue(RobotStandard::Corvina, -32767), 1500);
    EXPECT_EQ(HeadSliderValue(RobotStandard::Corvina, 0), 1900);
    EXPECT_EQ(HeadSliderValue(RobotStandard::Corvina, 100), 1901);
    EXPECT_EQ(HeadSliderValue(RobotStandard::Corvina, -100), 1899);  // truncates toward zero
    EXPECT_EQ(HeadSliderValue(RobotStandard::Vel, -1), 0xFFFF);
    EXPECT_EQ(QuantiseDriveAxis(-0.999f), -126);
    EXPECT_EQ(QuantiseDriveAxis(7.0f), 127);  // never wraps
    EXPECT_EQ(ParseRobotStandard("corvina"), RobotStandard::Corvina);
    EXPECT_EQ(ParseRobotStandard("Corvina"), RobotStandard::Vel);
}

TEST(ControlCommands, HeadAndSmallMessages) {
    FakeLink link;
    SendHeadSlider(link, RobotStandard::Corvina, 32767);
    SendHeadSlider(link, RobotStandard::Vel, -2);
    SendHeadAbsolute(link, 1, -1, 0.5f);
    SendHeadRelative(link, 0, 0.25f);
    SendLiftSpeed(link, -20);
    SendBodyHeight(link, 12.5f);
    SendParking(link, true);
    SendParking(link, false);
    SendVolume(link, 75);
    ASSERT_EQ(link.sent.size(), 9u);
    EXPECT_EQ(link.sent[0].type, msg::kHeadSliderCorvina);
    EXPECT_EQ(link.sent[0].payload, Bytes({0xFC, 0x08}));
    EXPECT_EQ(link.sent[1].type, msg::kHeadSliderVel);
    EXPECT_EQ(link.sent[1].payload, Bytes({0xFE, 0xFF}));
    EXPECT_EQ(link.sent[2].payload, Bytes({0xFF, 0x7F, 0x01, 0x80, 0xFF, 0x3F}));
    EXPECT_EQ(link.sent[3].type, msg::kHeadRelative);
    EXPECT_EQ(link.sent[3].payload, Bytes({0, 0, 0xFF, 0x1F}));
    EXPECT_EQ(link.sent[4].payload, Bytes({0xEC}));
    EXPECT_EQ(link.sent[5].payload, Bytes({0, 0, 0x48, 0x41}));
    EXPECT_EQ(link.sent[6].type, msg::kParkStart);
    EXPECT_EQ(link.sent[7].type, msg::kParkStop);
    EXPECT_TRUE(link.sent[7].payload.empty());
    EXPECT_EQ(link.sent[8].payload, Bytes({75}));
}

TEST(ControlCommands, TextCommandKinds) {
    FakeLink link;
    SendEmotion(link, 3);
    SendPhrase(link, u"Привет");
    SendAvatar(link, "girl\xE0");
    SendScriptCommand(link, "Say(1);");
    ASSERT_EQ(link.sent.size(), 4u);
    EXPECT_EQ(link.sent[0].payload, Bytes({2, 0, 0, 0, '3', 0}));
    EXPECT_EQ(link.sent[1].payload,
              Bytes({0, 0, 0, 0}) + "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    EXPECT_EQ(link.sent[2].payload, Bytes({1, 0, 0, 0}) + std::string("girl\xE0\0", 6));
    EXPECT_EQ(link.sent[3].type, msg::kScriptCommand);
    EXPECT_EQ(link.sent[3].payload, std::string("Say(1);\0", 8));
}

struct StatusCase {
    const char* name;
    std::string payload;
    std::u16string battery;
    std::u16string height;
    std::optional<bool> randomWalk;
    std::optional<uint8_t> emotion;
};

class StatusDecoding : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusDecoding, Fields) {
    const StatusCase& c = GetParam();
    FakeLink link;
    std::optional<RobotStatus> got;
    auto reg = link.dispatcher.Register(
        msg::kStatus, [&](CStream& s, int32_t n) { got = DecodeRobotStatus(s, n); });
    // Another frame follows in the same buffer: a short status must not read it.
    CMemoryStream buffer;
    WriteU16(buffer, msg::kStatus);
    WriteI32(buffer, static_cast<int32_t>(c.payload.size()));
    WriteBytes(buffer, c.payload);
    WriteU16(buffer, 0x7777);
    WriteI32(buffer, 4);
    WriteU32(buffer, 0xFFFFFFFF);
    buffer.Seek(0, kSeekSet);
    EXPECT_EQ(link.dispatcher.DispatchMessage(buffer), 1);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(FormatBattery(*got), c.battery);
    EXPECT_EQ(FormatHeight(got->height), c.height);
    EXPECT_EQ(got->randomWalk, c.randomWalk);
    EXPECT_EQ(got->emotion, c.emotion);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, StatusDecoding,
    ::testing::Values(StatusCase{"nine", Bytes({87, 0, 0, 0, 1, 0, 0, 0x48, 0x41}), u"±87%",
                                 u"12.5", std::nullopt, std::nullopt},
                      StatusCase{"ten", Bytes({87, 0, 0, 0, 0, 0, 0, 0x48, 0x41, 1}), u"87%",
                                 u"12.5", true, std::nullopt},
                      StatusCase{"eleven", Bytes({5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5}), u"5%", u"0.0",
                                 false, uint8_t{5}},
                      StatusCase{"short", Bytes({50, 0}), u"50%", u"0.0", std::nullopt,
                                 std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RobotStatus, ModeFlagsAndSubscription) {
    CMemoryStream payload;
    WriteU8(payload, 2);
    WriteU8(payload, 0b10110111);
    for (int i = 0; i < 44; ++i)
        WriteU8(payload, static_cast<uint8_t>(i + 1));
    payload.Seek(0, kSeekSet);
    const RobotModeFlags f = DecodeRobotModeFlags(payload, 46);
    EXPECT_EQ(f.navMode, 2);
    EXPECT_TRUE(f.AutoMode());
    EXPECT_TRUE(f.QrMode());
    EXPECT_EQ(f.Permissions(), 0b101101);
    EXPECT_EQ(f.navStatus[43], 44);

    CMemoryStream shortPayload;
    WriteU8(shortPayload, 1);
    WriteU8(shortPayload, 1);
    WriteU8(shortPayload, 9);
    shortPayload.Seek(0, kSeekSet);
    const RobotModeFlags g = DecodeRobotModeFlags(shortPayload, 3);
    EXPECT_EQ(g.navStatus[0], 9);
    EXPECT_EQ(g.navStatus[1], 0);

    FakeLink link;
    SendMapSubscription(link, std::nullopt);
    SendMapSubscription(link, MapSubscription{0x01020304, -2});
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_TRUE(link.sent[0].payload.empty());
    EXPECT_EQ(link.sent[1].payload, Bytes({4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF, 1}));
}

TEST(RobotStatus, PollerWaitsForStateAndQueue) {
    FakeLink link;
    CStatusPoller poller;
    link.state = kStateAuthorising;
    for (int i = 0; i < 200; ++i)
        poller.Tick(link, 20);
    EXPECT_TRUE(link.sent.empty());
    link.state = kStateAuthorised;
    for (int i = 0; i < 150; ++i)
        poller.Tick(link, 20);  // exactly 3000 ms: not yet
    EXPECT_TRUE(link.sent.empty());
    link.queued = 101;
    poller.Tick(link, 20);
    EXPECT_TRUE(link.sent.empty());
    link.queued = 100;
    poller.Tick(link, 20);
    ASSERT_EQ(link.Of(msg::kStatus).size(), 1u);
    for (int i = 0; i < 151; ++i)
        poller.Tick(link, 20);
    EXPECT_EQ(link.Of(msg::kStatus).size(), 2u);
}

}  // namespace
}  // namespace velcora
