#include "link/robot_connection.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "link/handshake.h"
#include "platform/manual_reactor.h"

namespace velcora {
namespace {

using platform::kEventClose;
using platform::kEventConnect;
using platform::kEventRead;
using platform::kEventWrite;
using platform::ManualReactor;

std::string Frame(uint16_t type, const std::string& payload, int32_t length = -1) {
    CMemoryStream s;
    WriteU16(s, type);
    WriteI32(s, length < 0 ? static_cast<int32_t>(payload.size()) : length);
    WriteBytes(s, payload);
    return std::string(s.View());
}

std::string U32(uint32_t v) {
    CMemoryStream s;
    WriteU32(s, v);
    return std::string(s.View());
}

struct Parsed {
    uint16_t type;
    std::string payload;
};

// Cuts a byte run into frames (the test's view of what the console sent).
std::vector<Parsed> Frames(const std::string& bytes) {
    std::vector<Parsed> out;
    CMemoryStream s;
    s.Assign(bytes);
    while (s.GetSize() - s.GetPosition() >= 6) {
        const uint16_t type = ReadU16(s);
        const int32_t length = ReadI32(s);
        out.push_back({type, ReadBytes(s, length)});
    }
    return out;
}

class Owner : public IRobotConnectionOwner {
  public:
    void OnConnectionStateChanged() override {
        states.push_back(connection->State());
        texts.emplace_back(connection->StatusText());
        if (onChange)
            onChange();
    }
    void OnRobotAddress(uint32_t address) override { addresses.push_back(address); }
    CRobotConnection* connection = nullptr;
    std::vector<int32_t> states;
    std::vector<std::string> texts;
    std::vector<uint32_t> addresses;
    std::function<void()> onChange;
};

class ConnectionTest : public ::testing::Test {
  protected:
    explicit ConnectionTest(uint32_t start = 1000) : reactor(start) {}
    void SetUp() override { owner.connection = &link; }

    // Connects to a literal address and completes the TCP connect.
    void Open(bool tunnel = false) {
        ASSERT_TRUE(link.ConnectAnsi("10.1.2.3", 5554, tunnel));
        ASSERT_EQ(link.State(), kStateConnecting);
        reactor.Fire(link.Socket(), kEventConnect);
        ASSERT_EQ(link.State(), kStateAuthorising);
    }
    void Feed(const std::string& bytes) {
        reactor.Push(link.Socket(), bytes);
        reactor.Fire(link.Socket(), kEventRead);
    }
    void Authorise() {
        Open();
        Feed(Frame(msg::kAuth, U32(0x12345678)));
        Feed(Frame(msg::kAuthResult, std::string(1, '\1')));
        ASSERT_EQ(link.State(), kStateAuthorised);
        reactor.TakeSent(link.Socket());
    }
    // Ticks every 20 ms for `ms`, as the owner's timer would.
    void Run(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 20) {
            reactor.Advance(20);
            link.Tick();
        }
    }

    ManualReactor reactor;
    CMessageDispatcher dispatcher;
    Owner owner;
    CRobotConnection link{reactor, dispatcher, &owner};
};

TEST_F(ConnectionTest, FrameSplitOverReadsIsHandledOnceWhenComplete) {
    Authorise();
    std::vector<std::string> got;
    auto reg = dispatcher.Register(
        0x4100, [&](CStream& s, int32_t length) { got.push_back(ReadBytes(s, length)); });
    const std::string frame = Frame(0x4100, "abcdefghij");
    for (std::size_t cut : {1u, 5u, 6u, 7u, 15u}) {
        got.clear();
        Feed(frame.substr(0, cut));
        EXPECT_TRUE(got.empty()) << cut;
        Feed(frame.substr(cut));
        ASSERT_EQ(got.size(), 1u) << cut;
        EXPECT_EQ(got[0], "abcdefghij");
    }
    EXPECT_EQ(link.State(), kStateAuthorised);
}

TEST_F(ConnectionTest, SeveralFramesInOneReadInOrderWhateverHandlersRead) {
    Authorise();
    std::vector<std::string> got;
    auto a = dispatcher.Register(0x4100, [&](CStream& s, int32_t) {
        got.push_back("A" + ReadBytes(s, 1));  // reads less than its payload
    });
    auto b = dispatcher.Register(0x4107, [&](CStream& s, int32_t length) {
        got.push_back("B" + ReadBytes(s, length + 50));  // reads past it
    });
    link.TakeReceivedBytes();
    Feed(Frame(0x4100, "xyz") + Frame(0x4107, "") + Frame(2, "") + Frame(0x4100, "q") +
         Frame(0x9999, "ignored") + Frame(0x4107, "tail"));
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], "Ax");
    EXPECT_EQ(got[1].substr(0, 1), "B");
    EXPECT_EQ(got[2], "Aq");
    EXPECT_EQ(got[3], "Btail");
    EXPECT_EQ(link.ReceivedBytes(), 6 * 6 + 3 + 1 + 7 + 4);
    EXPECT_EQ(link.TakeReceivedBytes(), 51);
    EXPECT_EQ(link.ReceivedBytes(), 0);
}

TEST_F(ConnectionTest, LengthLimitIsInclusive) {
    Authorise();
    int32_t seen = -1;
    auto reg = dispatcher.Register(0x4100, [&](CStream&, int32_t length) { seen = length; });
    Feed(Frame(0x4100, std::string(20000000, 'z')));
    EXPECT_EQ(seen, 20000000);
    EXPECT_EQ(link.State(), kStateAuthorised);

    Feed(Frame(0x4100, "", 20000001));
    EXPECT_EQ(link.State(), kStateRetryWait);
    EXPECT_EQ(link.RetryCount(), 1);
    EXPECT_EQ(link.Socket(), platform::kNoSocket);
    Run(220);
    EXPECT_EQ(link.State(), kStateConnecting);  // retried
}

TEST_F(ConnectionTest, NegativeLengthBreaksTheStream) {
    Authorise();
    Feed(Frame(0x4100, "", -1).substr(0, 2) + std::string("\xff\xff\xff\xff", 4));
    EXPECT_EQ(link.State(), kStateRetryWait);
}

TEST_F(ConnectionTest, KeepAliveFromRobotSwitchesWaitingToConnected) {
    Authorise();
    EXPECT_EQ(link.StatusText(), "Ожидание...");
    int handled = 0;
    auto reg = dispatcher.Register(msg::kKeepAlive, [&](CStream&, int32_t) { ++handled; });
    owner.states.clear();
    Feed(Frame(msg::kKeepAlive, ""));
    EXPECT_TRUE(link.RobotHeard());
    EXPECT_EQ(link.StatusText(), "Подключено");
    EXPECT_EQ(owner.states, std::vector<int32_t>{kStateAuthorised});
    EXPECT_EQ(handled, 0);  // the keep-alive goes no further
}

TEST_F(ConnectionTest, ConsoleSendsKeepAliveAfterASecondOfSilence) {
    Authorise();
    Run(900);
    EXPECT_TRUE(reactor.TakeSent(link.Socket()).empty());
    Run(200);
    const auto frames = Frames(reactor.TakeSent(link.Socket()));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].type, msg::kKeepAlive);
    EXPECT_TRUE(frames[0].payload.empty());
}

TEST_F(ConnectionTest, SilentPeerFailsAfterFourSecondsAndFourthFailureIsFinal) {
    Open();
    Run(4000);
    EXPECT_EQ(link.State(), kStateAuthorising);
    Run(40);
    EXPECT_EQ(link.State(), kStateRetryWait);
    EXPECT_EQ(link.StatusText(), "Ошибка!");
    for (int attempt = 2; attempt <= 4; ++attempt) {
        Run(220);
        ASSERT_EQ(link.State(), kStateConnecting) << attempt;
        reactor.Fire(link.Socket(), kEventConnect);
        Run(4100);
    }
    EXPECT_EQ(link.State(), kStateFailed);
    EXPECT_EQ(link.StatusText(), "Ошибка подключения!");
    const int sockets = reactor.OpenSockets();
    Run(10000);
    EXPECT_EQ(link.State(), kStateFailed);
    EXPECT_EQ(reactor.OpenSockets(), sockets);
}

TEST_F(ConnectionTest, SuccessfulAuthorisationResetsTheFailureCount) {
    Open();
    reactor.Fire(link.Socket(), kEventClose);
    EXPECT_EQ(link.RetryCount(), 1);
    Run(220);
    reactor.Fire(link.Socket(), kEventConnect);
    Feed(Frame(msg::kAuth, U32(7)) + Frame(msg::kAuthResult, std::string(1, '\2')));
    EXPECT_EQ(link.State(), kStateAuthorised);  // any non-zero result is acceptance
    EXPECT_EQ(link.RetryCount(), 0);
}

TEST_F(ConnectionTest, EventsWithErrorsOrForOldSocketsAreIgnored) {
    Open();
    const auto old = link.Socket();
    reactor.Fire(old, kEventClose, 104);
    EXPECT_EQ(link.State(), kStateAuthorising);
    reactor.Fire(old, kEventClose);
    ASSERT_EQ(link.State(), kStateRetryWait);
    Run(220);
    ASSERT_NE(link.Socket(), old);
    link.OnSocketEvent(old, kEventConnect, 0);
    EXPECT_EQ(link.State(), kStateConnecting);
}

TEST_F(ConnectionTest, StaleLookupAnswerIsIgnored) {
    ASSERT_TRUE(link.ConnectAnsi("robot.local", 5554, false));
    EXPECT_EQ(link.State(), kStateLookup);
    EXPECT_EQ(link.StatusText(), "Определение IP-адреса хоста...");
    const auto first = reactor.LastLookup();
    ASSERT_TRUE(link.ConnectAnsi("other.local", 5555, false));
    const auto second = reactor.LastLookup();
    ASSERT_NE(first, second);
    EXPECT_TRUE(reactor.DeliverLate(first, 0, 0x0100000A));
    EXPECT_EQ(link.State(), kStateLookup);
    EXPECT_EQ(link.Socket(), platform::kNoSocket);
    EXPECT_TRUE(reactor.CompleteLookup(second, 0, 0x0200000A));
    EXPECT_EQ(link.State(), kStateConnecting);
    EXPECT_EQ(link.Address(), 0x0200000Au);
    EXPECT_EQ(reactor.Find(link.Socket())->port, 5555);
    EXPECT_TRUE(reactor.Find(link.Socket())->noDelay);
}

TEST_F(ConnectionTest, FailedLookupCountsAsFailure) {
    ASSERT_TRUE(link.ConnectAnsi("nowhere", 1, false));
    reactor.CompleteLookup(reactor.LastLookup(), 0, platform::kNoAddress);
    EXPECT_EQ(link.State(), kStateRetryWait);
    Run(220);
    EXPECT_EQ(link.State(), kStateLookup);
    reactor.CompleteLookup(reactor.LastLookup(), 2, 0);
    EXPECT_EQ(link.RetryCount(), 2);
}

TEST_F(ConnectionTest, FramesBuiltBeforeConnectingAreDiscarded) {
    CStream& s = link.BeginFrame(msg::kStatus);
    WriteU32(s, 1);
    link.EndFrame();
    EXPECT_EQ(link.QueuedBytes(), 10);
    ASSERT_TRUE(link.ConnectAnsi("10.0.0.1", 5554, false));
    link.BeginFrame(msg::kStatus);
    link.EndFrame();
    reactor.Fire(link.Socket(), kEventConnect);
    EXPECT_EQ(link.QueuedBytes(), 0);
    Run(100);
    EXPECT_TRUE(reactor.TakeSent(link.Socket()).empty());
}

TEST_F(ConnectionTest, HandshakeAnswersWithScrambledPassword) {
    link.SetPasswordAnsi("secret");
    Open();
    Feed(Frame(msg::kAuth, U32(0xA1B2C3D4) + "extra"));
    auto frames = Frames(reactor.TakeSent(link.Socket()));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].type, msg::kAuth);
    EXPECT_EQ(frames[0].payload, Scramble(0xA1B2C3D4, "secret", 140));
    // Short handshake frames are skipped.
    Feed(Frame(msg::kAuth, "abc") + Frame(msg::kAuthResult, ""));
    EXPECT_TRUE(reactor.TakeSent(link.Socket()).empty());
    EXPECT_EQ(link.State(), kStateAuthorising);
}

TEST_F(ConnectionTest, EmptyPasswordAnswersWithEmptyFrame) {
    Open();
    Feed(Frame(msg::kAuth, U32(99)));
    auto frames = Frames(reactor.TakeSent(link.Socket()));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(frames[0].payload.empty());
}

TEST_F(ConnectionTest, ZeroChallengeFailsAndRefusalIsFinal) {
    Open();
    Feed(Frame(msg::kAuth, U32(0)));
    EXPECT_EQ(link.State(), kStateRetryWait);
    Run(220);
    reactor.Fire(link.Socket(), kEventConnect);
    Feed(Frame(msg::kAuth, U32(5)) + Frame(msg::kAuthResult, std::string(1, '\0')) +
         Frame(0x4100, "never parsed"));
    EXPECT_EQ(link.State(), kStateRefused);
    EXPECT_EQ(link.StatusText(), "Неверный пароль!");
    EXPECT_EQ(link.Socket(), platform::kNoSocket);
    Run(12000);
    EXPECT_EQ(link.State(), kStateRefused);
    EXPECT_EQ(reactor.OpenSockets(), 0);
}

TEST_F(ConnectionTest, TunnelGivesTheHandshakeTenSeconds) {
    Open(true);
    Run(9900);
    EXPECT_EQ(link.State(), kStateAuthorising);
    Run(200);
    EXPECT_EQ(link.State(), kStateRetryWait);
}

TEST_F(ConnectionTest, LargeQueueIsNotHeldToOneChunkPerTick) {
    Authorise();
    const std::string big(300000, 'b');
    reactor.SetSendRoom(link.Socket(), 100000);
    CStream& s = link.BeginFrame(0x4101);
    WriteBytes(s, big);
    link.EndFrame();
    EXPECT_EQ(reactor.Find(link.Socket())->outgoing.size(), 100000u);
    reactor.SetSendRoom(link.Socket(), -1);
    reactor.Fire(link.Socket(), kEventWrite);  // the socket can take more
    EXPECT_EQ(link.QueuedBytes(), 0);
    auto frames = Frames(reactor.TakeSent(link.Socket()));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].payload, big);
}

TEST_F(ConnectionTest, OwnerMayDisconnectFromInsideTheReceiveLoop) {
    Authorise();
    int calls = 0;
    auto reg = dispatcher.Register(0x4100, [&](CStream&, int32_t) {
        ++calls;
        link.Disconnect();
    });
    Feed(Frame(0x4100, "a") + Frame(0x4100, "b"));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(link.State(), kStateIdle);
    EXPECT_EQ(link.QueuedBytes(), 0);
}

// Handlers read their payload where it lies in the receive buffer, so a
// handler that ends the connection and then keeps reading must still see its
// own bytes, and a read event that arrives while it runs (a nested event loop)
// must neither disturb them nor reorder the frames.
TEST_F(ConnectionTest, PayloadStaysReadableWhileItsHandlerRuns) {
    Authorise();
    std::string afterDisconnect;
    auto reg = dispatcher.Register(0x4100, [&](CStream& s, int32_t) {
        link.Disconnect();
        afterDisconnect = ReadBytes(s, 5);
    });
    Feed(Frame(0x4100, "hello") + Frame(0x4100, "never"));
    EXPECT_EQ(afterDisconnect, "hello");
    EXPECT_EQ(link.State(), kStateIdle);
}

// A handler that waits for the robot runs a nested event loop: frames that
// arrive meanwhile are dispatched from inside it, in order after its own, and
// its own payload stays readable even when the new bytes need a larger block.
TEST_F(ConnectionTest, ReadEventInsideAHandlerIsServedAtOnce) {
    Authorise();
    std::vector<std::string> order;
    std::string firstAfterNested;
    bool nested = false;
    const std::string big(400000, 'b');
    auto reg = dispatcher.Register(0x4100, [&](CStream& s, int32_t length) {
        if (nested) {
            const std::string bytes = ReadBytes(s, length);
            order.push_back(bytes.size() > 10 ? "big" : bytes);
            return;
        }
        nested = true;
        order.push_back(ReadBytes(s, 5));
        reactor.Push(link.Socket(), Frame(0x4100, "third") + Frame(0x4100, big));
        reactor.Fire(link.Socket(), kEventRead);
        s.Seek(0, kSeekSet);
        firstAfterNested = ReadBytes(s, length);
    });
    Feed(Frame(0x4100, "first") + Frame(0x4100, "second"));
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "third", "big"}));
    EXPECT_EQ(firstAfterNested, "first");
    EXPECT_EQ(link.State(), kStateAuthorised);
    // And the link goes on as usual afterwards.
    Feed(Frame(0x4100, "fifth"));
    EXPECT_EQ(order.back(), "fifth");
}

// Frames larger than the room offered to one read, and many frames in one
// burst, arrive whole and in order however the reads cut them.
struct BurstCase {
    std::vector<int32_t> payloadSizes;
    std::size_t pushStep;  // bytes made available per read event
};

class ConnectionBurst : public ConnectionTest, public ::testing::WithParamInterface<BurstCase> {};

// The frames of a burst, each payload a different run of letters.
std::string BurstBytes(const BurstCase& c, std::vector<std::string>& sent) {
    std::string bytes;
    for (std::size_t i = 0; i < c.payloadSizes.size(); ++i) {
        std::string payload(static_cast<std::size_t>(c.payloadSizes[i]), '\0');
        for (std::size_t k = 0; k < payload.size(); ++k)
            payload[k] = static_cast<char>('a' + (i * 7 + k) % 26);
        bytes += Frame(0x4100, payload);
        sent.push_back(payload);
    }
    return bytes;
}

TEST_P(ConnectionBurst, EveryFrameArrivesWholeAndInOrder) {
    Authorise();
    const BurstCase c = GetParam();
    std::vector<std::string> sent;
    const std::string bytes = BurstBytes(c, sent);
    std::vector<std::string> got;
    auto reg = dispatcher.Register(
        0x4100, [&](CStream& s, int32_t length) { got.push_back(ReadBytes(s, length)); });
    for (std::size_t at = 0; at < bytes.size(); at += c.pushStep)
        Feed(bytes.substr(at, c.pushStep));
    ASSERT_EQ(got.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(got[i], sent[i]) << "frame " << i;
    EXPECT_EQ(link.State(), kStateAuthorised);
}

// A tap that keeps the receive blocks instead of copying (as the recorder
// does) finds its payloads unchanged however many reads come after them.
class HoldingTap : public IFrameTap {
  public:
    void OnFrame(uint32_t, FrameDirection, msg::Type, std::string_view) override {}
    void OnIncomingFrame(uint32_t, msg::Type type, std::string_view payload,
                         const FrameBlock& block) override {
        if (type != 0x4100)
            return;
        held.emplace_back(block.data, payload);
        blocks.insert(block.data.get());
    }
    void OnLinkState(uint32_t, int32_t, std::string_view, uint16_t, bool) override {}
    std::vector<std::pair<std::shared_ptr<uint8_t[]>, std::string_view>> held;
    std::set<const uint8_t*> blocks;
};

TEST_P(ConnectionBurst, PayloadsATapHoldsStayAsTheyArrived) {
    Authorise();
    HoldingTap tap;
    link.SetFrameTap(&tap);
    const BurstCase c = GetParam();
    std::vector<std::string> sent;
    const std::string bytes = BurstBytes(c, sent);
    for (std::size_t at = 0; at < bytes.size(); at += c.pushStep)
        Feed(bytes.substr(at, c.pushStep));
    link.SetFrameTap(nullptr);
    ASSERT_EQ(tap.held.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(tap.held[i].second, sent[i]) << "frame " << i;
}

// A tap that lets go after each read gets the same few blocks again: the
// connection neither grows without end nor writes over what is still held.
TEST_F(ConnectionTest, BlocksATapLetsGoAreUsedAgain) {
    Authorise();
    HoldingTap tap;
    link.SetFrameTap(&tap);
    for (int read = 0; read < 300; ++read) {
        tap.held.clear();
        std::string bytes;
        for (int k = 0; k < 3; ++k)
            bytes += Frame(0x4100, std::string(20000, static_cast<char>('a' + (read + k) % 26)));
        Feed(bytes);
        ASSERT_EQ(tap.held.size(), 3u);
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(tap.held[k].second,
                      std::string(20000, static_cast<char>('a' + (read + k) % 26)));
    }
    link.SetFrameTap(nullptr);
    EXPECT_LE(tap.blocks.size(), 10u);
}

INSTANTIATE_TEST_SUITE_P(Cuts, ConnectionBurst,
                         ::testing::Values(BurstCase{std::vector<int32_t>(600, 1024), 1u << 30},
                                           BurstCase{std::vector<int32_t>(600, 1024), 1000},
                                           BurstCase{{3000000, 0, 5, 2000000}, 1u << 30},
                                           BurstCase{{3000000, 0, 5, 2000000}, 250000},
                                           BurstCase{{0, 0, 300000, 1}, 7}));

TEST_F(ConnectionTest, ConnectNeedsAHostAndAnOwner) {
    EXPECT_FALSE(link.ConnectAnsi("", 5554, false));
    CRobotConnection orphan(reactor, dispatcher, nullptr);
    EXPECT_FALSE(orphan.ConnectAnsi("10.0.0.1", 5554, false));
    EXPECT_EQ(orphan.State(), kStateIdle);
}

class WrapTest : public ConnectionTest {
  protected:
    WrapTest() : ConnectionTest(0xFFFFFFFFu - 1500) {}
};

TEST_F(WrapTest, TimersSurviveTheTickCounterWrapping) {
    Authorise();
    Run(1100);  // keep-alive across the wrap
    auto frames = Frames(reactor.TakeSent(link.Socket()));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].type, msg::kKeepAlive);
    Run(2000);
    EXPECT_EQ(link.State(), kStateAuthorised);
    EXPECT_LT(reactor.Now(), 10000u);  // really wrapped
    Run(1000);
    EXPECT_EQ(link.State(), kStateRetryWait);  // silent robot: 4000 ms after its last byte
}

}  // namespace
}  // namespace velcora
