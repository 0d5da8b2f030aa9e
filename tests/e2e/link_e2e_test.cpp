#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "app/ctl/ctl.h"
#include "app/ctl/session.h"
#include "e2e/sim_thread.h"
#include "link/robot_connection.h"
#include "link/settings.h"
#include "platform/posix_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_robot.h"
#include "sim/sim_status.h"

namespace velcora {
namespace {

class Owner : public IRobotConnectionOwner {
  public:
    void OnConnectionStateChanged() override { ++changes; }
    int changes = 0;
};

// The console's connection and the simulated robot on one reactor and thread.
class LinkE2E : public ::testing::Test {
  protected:
    void Start(sim::SimOptions options, const std::string& password) {
        options.port = 0;
        robot = std::make_unique<sim::CSimRobot>(reactor, options);
        sim::InstallFeatures(*robot);
        ASSERT_TRUE(robot->Start());
        link.SetPasswordAnsi(password);
        ASSERT_TRUE(link.ConnectAnsi("127.0.0.1", robot->Port(), false));
    }
    bool WaitFor(int32_t state, uint32_t ms = 5000) {
        return reactor.RunUntil([&] { return link.State() == state; }, ms);
    }
    // Jumps over a time-out instead of waiting for it.
    void Skip(uint32_t ms) {
        reactor.AdvanceClock(ms);
        reactor.RunUntil([] { return false; }, 30);
    }

    platform::PollReactor reactor;
    CMessageDispatcher dispatcher;
    Owner owner;
    CRobotConnection link{reactor, dispatcher, &owner};
    platform::ScopedTimer tick{reactor, 20, [this] { link.Tick(); }};
    std::unique_ptr<sim::CSimRobot> robot;
};

TEST_F(LinkE2E, AuthorisedAndStatusAnswered) {
    sim::SimOptions o;
    o.password = "secret";
    Start(o, "secret");
    ASSERT_TRUE(WaitFor(kStateAuthorised));
    int32_t length = -1;
    uint32_t battery = 0;
    auto reg = dispatcher.Register(msg::kStatus, [&](CStream& s, int32_t n) {
        length = n;
        battery = ReadU32(s);
    });
    WriteBytes(link.BeginFrame(msg::kStatus), "");
    link.EndFrame();
    ASSERT_TRUE(reactor.RunUntil([&] { return length >= 0; }, 5000));
    EXPECT_EQ(length, 11);
    EXPECT_EQ(battery, robot->Feature<sim::SimStatus>().battery);
    // The robot's keep-alive (or the reply) marks it heard.
    EXPECT_TRUE(link.RobotHeard());
    EXPECT_EQ(link.StatusText(), "Подключено");
    // Both sides keep the link alive through a quiet spell.
    reactor.RunUntil([] { return false; }, 1500);
    EXPECT_EQ(link.State(), kStateAuthorised);
    EXPECT_GE(robot->Received(msg::kKeepAlive), 1);
}

TEST_F(LinkE2E, WrongPasswordIsRefusedWithoutRetry) {
    Start({}, "wrong");
    ASSERT_TRUE(WaitFor(kStateRefused));
    Skip(5000);
    EXPECT_EQ(link.State(), kStateRefused);
    EXPECT_EQ(robot->Connections(), 1);
}

TEST_F(LinkE2E, RefusingRobotEndsInStateTwo) {
    sim::SimOptions o;
    o.password = "secret";
    o.refusePassword = true;
    Start(o, "secret");
    ASSERT_TRUE(WaitFor(kStateRefused));
    EXPECT_EQ(link.StatusText(), "Неверный пароль!");
}

// Each broken attempt fails; three retries follow and the fourth failure is final.
struct FaultCase {
    const char* name;
    sim::SimOptions options;
    uint32_t skip;  // time jumped over per attempt
};

class FaultE2E : public LinkE2E, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultE2E, FailsAndRetriesThreeTimes) {
    Start(GetParam().options, "");
    for (int attempt = 1; attempt <= 4; ++attempt) {
        // Connected and then broken by the robot's fault.
        ASSERT_TRUE(reactor.RunUntil([&] { return robot->Connections() >= attempt; }, 5000))
            << attempt;
        if (GetParam().skip) {
            ASSERT_TRUE(WaitFor(kStateAuthorising)) << attempt;
            Skip(GetParam().skip);
        }
        ASSERT_TRUE(reactor.RunUntil(
            [&] { return link.State() == kStateRetryWait || link.State() == kStateFailed; }, 5000))
            << attempt;
        EXPECT_EQ(link.RetryCount(), attempt);
    }
    EXPECT_EQ(link.State(), kStateFailed);
    EXPECT_EQ(link.StatusText(), "Ошибка подключения!");
    reactor.RunUntil([] { return false; }, 400);
    EXPECT_EQ(robot->Connections(), 4);
}

sim::SimOptions Silent() {
    sim::SimOptions o;
    o.silent = true;
    return o;
}
sim::SimOptions BadLength() {
    sim::SimOptions o;
    o.badLength = true;
    return o;
}
sim::SimOptions ZeroChallenge() {
    sim::SimOptions o;
    o.zeroChallenge = true;
    return o;
}
sim::SimOptions DropAfter() {
    sim::SimOptions o;
    o.dropAfterMs = 100;
    return o;
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultE2E,
                         ::testing::Values(FaultCase{"Silent", Silent(), 4100},
                                           FaultCase{"ZeroChallenge", ZeroChallenge(), 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// A robot that breaks the link after authorising: each authorisation clears
// the failure count, so the console keeps coming back.
class BreakAfterAuthE2E : public LinkE2E, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(BreakAfterAuthE2E, FailsAndRetries) {
    Start(GetParam().options, "");
    for (int round = 1; round <= 3; ++round) {
        // Authorised (the robot counts the session), then broken.
        ASSERT_TRUE(reactor.RunUntil(
            [&] { return robot->Sessions() >= round && link.State() == kStateRetryWait; }, 5000))
            << round;
        EXPECT_EQ(link.RetryCount(), 1) << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, BreakAfterAuthE2E,
                         ::testing::Values(FaultCase{"BadLength", BadLength(), 0},
                                           FaultCase{"DropAfter", DropAfter(), 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// velcoractl's session on the same reactor as the robot.
TEST(SessionE2E, ExitCodesForAuthorisedRefusedAndUnreachable) {
    platform::PollReactor reactor;
    sim::SimOptions o;
    o.port = 0;
    o.password = "secret";
    sim::CSimRobot robot(reactor, o);
    sim::InstallFeatures(robot);
    ASSERT_TRUE(robot.Start());
    const std::string ini = ::testing::TempDir() + "velcora_e2e_missing.ini";

    ctl::ConnectionOptions options;
    options.host = "127.0.0.1";
    options.port = robot.Port();
    options.ini = ini;
    const std::string pwFile = ::testing::TempDir() + "velcora_e2e_pw";
    {
        std::FILE* f = std::fopen(pwFile.c_str(), "wb");
        std::fputs("secret\n", f);
        std::fclose(f);
    }
    options.passwordFile = pwFile;
    {
        ctl::Session session(options, &reactor);
        ASSERT_EQ(session.Open(), ctl::kExitDone);
        bool got = false;
        session.On(msg::kStatus, [&](CStream&, int32_t) { got = true; });
        session.Send(msg::kStatus);
        EXPECT_EQ(session.RunUntil([&] { return got; }, 5000), ctl::Session::Outcome::Done);
    }
    options.passwordFile.clear();
    setenv("VELCORA_PASSWORD", "nope", 1);
    {
        ctl::Session session(options, &reactor);
        testing::internal::CaptureStderr();
        EXPECT_EQ(session.Open(), ctl::kExitWrongPassword);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("Неверный пароль!"),
                  std::string::npos);
    }
    unsetenv("VELCORA_PASSWORD");
    robot.Stop();
    {
        options.connectTimeoutMs = 300;
        ctl::Session session(options, &reactor);
        testing::internal::CaptureStderr();
        EXPECT_EQ(session.Open(), ctl::kExitNoConnection);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("Ошибка подключения!"),
                  std::string::npos);
    }
    std::remove(pwFile.c_str());
}

// The tunnel takes the relay pair from the settings, and the password stored
// there is used when nothing else gives one.
TEST(SessionE2E, TunnelUsesRelayPairAndStoredPassword) {
    platform::PollReactor reactor;
    sim::SimOptions o;
    o.port = 0;
    o.password = "relay pw";
    sim::CSimRobot robot(reactor, o);
    ASSERT_TRUE(robot.Start());
    const std::string path = ::testing::TempDir() + "velcora_e2e_tunnel.ini";
    {
        IniFile ini(path);
        CSettings s;
        s.host = "10.255.255.1";  // the direct pair must not be used
        s.pipeHost = "127.0.0.1";
        s.pipePort = robot.Port();
        s.password = "relay pw";
        SaveSettings(ini, s);
        ASSERT_TRUE(ini.Save());
    }
    unsetenv("VELCORA_PASSWORD");
    ctl::ConnectionOptions options;
    options.ini = path;
    options.tunnel = true;
    ctl::Session session(options, &reactor);
    EXPECT_EQ(session.Open(), ctl::kExitDone);
    EXPECT_TRUE(session.Connection().Tunnel());
    std::remove(path.c_str());
}

// The command itself, with the robot in a thread of its own.
TEST(StatusCommandE2E, PrintsJson) {
    sim::SimOptions o;
    o.password = "pw";
    test::SimThread robot(o);
    ASSERT_TRUE(robot.Started());
    ctl::Registry registry;
    ctl::RegisterLinkCommands(registry);
    const ctl::Command* status = registry.Find("status");
    ASSERT_TRUE(status);
    setenv("VELCORA_PASSWORD", "pw", 1);
    ctl::Args args({"--json", "--host", "127.0.0.1", "--port", std::to_string(robot.Port()),
                    "--ini", ::testing::TempDir() + "velcora_e2e_missing.ini"});
    testing::internal::CaptureStdout();
    const int rc = status->run(args);
    const std::string out = testing::internal::GetCapturedStdout();
    unsetenv("VELCORA_PASSWORD");
    robot.Stop();
    EXPECT_EQ(rc, ctl::kExitDone);
    EXPECT_EQ(
        out,
        "{\"battery\":87,\"charging\":false,\"height\":12.5,\"randomWalk\":false,\"emotion\":0}\n");
}

}  // namespace
}  // namespace velcora

namespace velcora::sim {
namespace {

TEST(SimStatus, BatteryDrainsToLowThenChargesToFull) {
    SimStatus s;
    s.battery = 22;
    AdvanceBattery(s, 30000 * 2);
    EXPECT_EQ(s.battery, 20u);
    EXPECT_TRUE(s.charging);
    AdvanceBattery(s, 10000 * 79);
    EXPECT_EQ(s.battery, 99u);
    AdvanceBattery(s, 10000);
    EXPECT_EQ(s.battery, 100u);
    EXPECT_FALSE(s.charging);
    const std::string payload = StatusPayload(s);
    ASSERT_EQ(payload.size(), 11u);
    EXPECT_EQ(static_cast<uint8_t>(payload[0]), 100);
}

}  // namespace
}  // namespace velcora::sim

namespace velcora {
namespace {

// A robot that drops every connection shortly after accepting it: a session
// that rides through reconnects keeps going, asks again after each one, and
// is lost only when the connection's own retries give up.
TEST(SessionE2E, RidesThroughTheLinksOwnReconnects) {
    platform::PollReactor reactor;
    sim::SimOptions o;
    o.port = 0;
    o.password = "secret";
    o.dropAfterMs = 700;
    sim::CSimRobot robot(reactor, o);
    sim::InstallFeatures(robot);
    ASSERT_TRUE(robot.Start());
    ctl::ConnectionOptions options;
    options.host = "127.0.0.1";
    options.port = robot.Port();
    options.ini = ::testing::TempDir() + "velcora_e2e_ride.ini";
    setenv("VELCORA_PASSWORD", "secret", 1);
    {
        ctl::Session session(options, &reactor);
        int replies = 0, asked = 0;
        session.On(msg::kStatus, [&](CStream&, int32_t) { ++replies; });
        session.SetReconnectHandler([&] {
            ++asked;
            session.Send(msg::kStatus);
        });
        ASSERT_EQ(session.Open(), ctl::kExitDone);
        session.Send(msg::kStatus);
        EXPECT_EQ(
            session.RunUntil([&] { return session.Reconnects() >= 2 && replies >= 3; }, 10000),
            ctl::Session::Outcome::Done);
        EXPECT_EQ(asked, session.Reconnects());
    }
    {
        // Without a handler the first break ends the wait.
        ctl::Session session(options, &reactor);
        ASSERT_EQ(session.Open(), ctl::kExitDone);
        EXPECT_EQ(session.RunUntil([] { return false; }, 5000), ctl::Session::Outcome::Lost);
    }
    {
        // The robot goes away for good: the retries give up and the link is lost.
        ctl::Session session(options, &reactor);
        session.SetReconnectHandler([] {});
        ASSERT_EQ(session.Open(), ctl::kExitDone);
        robot.Stop();
        EXPECT_EQ(session.RunUntil([] { return false; }, 30000), ctl::Session::Outcome::Lost);
    }
    unsetenv("VELCORA_PASSWORD");
}

}  // namespace
}  // namespace velcora
