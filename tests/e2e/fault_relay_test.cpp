// The console's link through the fault relay: it gets through delay, jitter, a
// throttle and one-byte writes; it comes back after a cut and outlasts a short
// stall; corrupted payloads never touch the handshake and never crash it.
#include "sim/relay/fault_relay.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "link/control_commands.h"
#include "link/robot_connection.h"
#include "link/robot_status.h"
#include "platform/posix_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_robot.h"

namespace velcora {
namespace {

class Owner : public IRobotConnectionOwner {
  public:
    void OnConnectionStateChanged() override {}
};

class RelayE2E : public ::testing::Test {
  protected:
    void Start(sim::RelayOptions r) {
        sim::SimOptions o;
        o.port = 0;
        o.password = "pw";
        robot = std::make_unique<sim::CSimRobot>(reactor, o);
        sim::InstallFeatures(*robot);
        ASSERT_TRUE(robot->Start());
        r.targetPort = robot->Port();
        relay = std::make_unique<sim::CFaultRelay>(
            reactor, r, [this](uint32_t, const std::string& what) { log.push_back(what); });
        ASSERT_TRUE(relay->Start());
        link.SetPasswordAnsi("pw");
        ASSERT_TRUE(link.ConnectAnsi("127.0.0.1", relay->Port(), false));
        statuses =
            link.Dispatcher().Register(msg::kStatus, [this](CStream&, int32_t) { ++replies; });
    }
    bool Authorised(uint32_t ms = 8000) {
        return reactor.RunUntil([&] { return link.State() == kStateAuthorised; }, ms);
    }
    // Asks for the status and waits for the answer.
    bool RoundTrip(uint32_t ms = 8000) {
        const int before = replies;
        SendStatusRequest(link);
        return reactor.RunUntil([&] { return replies > before; }, ms);
    }
    void TearDown() override {
        statuses.Reset();
        link.Disconnect();
        if (relay)
            relay->Stop();
    }

    platform::PollReactor reactor;
    CMessageDispatcher dispatcher;
    Owner owner;
    CRobotConnection link{reactor, dispatcher, &owner};
    platform::ScopedTimer tick{reactor, 20, [this] { link.Tick(); }};
    std::unique_ptr<sim::CSimRobot> robot;
    std::unique_ptr<sim::CFaultRelay> relay;
    CMessageDispatcher::Registration statuses;
    std::vector<std::string> log;
    int replies = 0;
};

TEST_F(RelayE2E, SlowJitteryOneByteLinkStillWorks) {
    sim::RelayOptions r;
    r.up = {.delayMs = 30, .jitterMs = 40, .rateKbit = 64, .split = true};
    r.down = {.delayMs = 30, .jitterMs = 40, .rateKbit = 256, .split = true};
    Start(r);
    ASSERT_TRUE(Authorised());
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(RoundTrip()) << i;
    EXPECT_GT(relay->Stats().bytesDown, 0);
    EXPECT_EQ(relay->Stats().connections, 1);
}

TEST_F(RelayE2E, ComesBackAfterACutAndOutlastsAShortStall) {
    sim::RelayOptions r;
    r.stallEvery = {300, 300};
    r.stallFor = {800, 800};
    Start(r);
    ASSERT_TRUE(Authorised());
    ASSERT_TRUE(RoundTrip());  // the first stall may come in the middle of it
    relay->CutNow();
    ASSERT_TRUE(reactor.RunUntil([&] { return link.State() != kStateAuthorised; }, 3000));
    ASSERT_TRUE(Authorised());
    EXPECT_EQ(relay->Stats().connections, 2);
    EXPECT_EQ(relay->Stats().cuts, 1);
    // A robot silent for 800 ms is waited for; the link stays up.
    ASSERT_TRUE(reactor.RunUntil([&] { return relay->Stats().stalls >= 1; }, 3000));
    EXPECT_TRUE(RoundTrip());
    EXPECT_EQ(link.State(), kStateAuthorised);
    EXPECT_EQ(relay->Stats().connections, 2);
}

// Every frame's payload from the robot gets a flipped byte: the handshake is
// spared (so the link still authorises) and whatever arrives is read without
// harm.
TEST_F(RelayE2E, CorruptionSparesTheHandshake) {
    sim::RelayOptions r;
    r.down.corrupt = 1.0;
    r.seed = 42;
    Start(r);
    ASSERT_TRUE(Authorised());
    for (int i = 0; i < 3; ++i)
        RoundTrip(2000);
    EXPECT_GT(relay->Stats().corrupted, 0);
    EXPECT_EQ(relay->Stats().connections, 1);
    EXPECT_NE(log.front().find("accepted"), std::string::npos);
}

TEST(RelayOptions, SecondRanges) {
    sim::MsRange r;
    EXPECT_TRUE(sim::ParseMsRange("10-60", r, 1000));
    EXPECT_EQ(r.min, 10000u);
    EXPECT_EQ(r.max, 60000u);
    EXPECT_TRUE(sim::ParseMsRange("7", r, 1000));
    EXPECT_EQ(r.min, 7000u);
    for (const char* bad : {"", "-", "5-", "9-3", "a", "1-2-3", "9999999999"})
        EXPECT_FALSE(sim::ParseMsRange(bad, r, 1000)) << bad;
}

}  // namespace
}  // namespace velcora
