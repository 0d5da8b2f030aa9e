#include "media/telnet.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "link/text_codec.h"
#include "platform/manual_reactor.h"
#include "support/fake_link.h"

namespace velcora::media {
namespace {

using platform::ManualReactor;

// A literal with its zero bytes.
template <size_t N>
std::string Bytes(const char (&s)[N]) {
    return std::string(s, N - 1);
}

const std::string kIac = "\xFF";
const std::string kWill = "\xFB";
const std::string kDo = "\xFD";
const std::string kDont = "\xFE";
const std::string kWont = "\xFC";

struct DecodeCase {
    const char* name;
    std::string input;
    std::u16string text;
    std::string replies;
};

class TelnetDecoding : public ::testing::TestWithParam<DecodeCase> {
  protected:
    static void Decode(const std::vector<std::string>& chunks, std::u16string& text,
                       std::string& replies) {
        CTelnetDecoder decoder;
        for (const auto& c : chunks)
            decoder.Feed(reinterpret_cast<const uint8_t*>(c.data()), c.size(), text, replies);
    }
};

TEST_P(TelnetDecoding, GivesTheSameTextAndAnswersHoweverTheStreamIsCut) {
    const std::string& in = GetParam().input;
    for (size_t cut = 0; cut <= in.size(); ++cut) {
        std::u16string text;
        std::string replies;
        Decode({in.substr(0, cut), in.substr(cut)}, text, replies);
        EXPECT_EQ(text, GetParam().text) << "cut at " << cut;
        EXPECT_EQ(replies, GetParam().replies) << "cut at " << cut;
    }
    std::vector<std::string> bytes;
    for (char c : in)
        bytes.emplace_back(1, c);
    std::u16string text;
    std::string replies;
    Decode(bytes, text, replies);
    EXPECT_EQ(text, GetParam().text);
    EXPECT_EQ(replies, GetParam().replies);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TelnetDecoding,
    ::testing::Values(
        DecodeCase{"LineBreaks", Bytes("a\r\nb\nc\r\0d\re\r\r\n"), u"a\nb\nc\nd\ne\n\n", ""},
        DecodeCase{"DoubledIacIsOneByte", "x" + kIac + kIac + "y", u"xЪy", ""},
        DecodeCase{"WillEchoAndSgaGetDo", kIac + kWill + "\x01" + kIac + kWill + "\x03" + "ok",
                   u"ok", kIac + kDo + "\x01" + kIac + kDo + "\x03"},
        DecodeCase{"OtherWillsGetDontEveryDoGetsWont",
                   kIac + kWill + "\x18" + kIac + kDo + "\x1F" + kIac + kDo + "\x01", u"",
                   kIac + kDont + "\x18" + kIac + kWont + "\x1F" + kIac + kWont + "\x01"},
        DecodeCase{"EachOptionAnsweredOnce",
                   kIac + kWill + "\x01" + kIac + kWill + "\x01" + kIac + kDo + "\x05" + kIac +
                       kDo + "\x05" + kIac + kWont + "\x01" + kIac + kDont + "\x05",
                   u"", kIac + kDo + "\x01" + kIac + kWont + "\x05"},
        DecodeCase{"SubnegotiationSkipped",
                   "a" + kIac + "\xFA\x18\x01" + kIac + kIac + "z" + kIac + "\xF0" + "b", u"ab",
                   ""},
        DecodeCase{"OneByteCommandsSkipped", "a" + kIac + "\xF1" + kIac + "\xF9" + "b", u"ab", ""},
        DecodeCase{"EscapeSequencesDropped",
                   "\x1B[1;31mred\x1B[0m \x1B]0;title\x07t\x1B(Bx\x1B]2;y\x1B\\z\x1B"
                   "7q",
                   u"red txzq", ""},
        DecodeCase{"ControlBytesDropped", Bytes("\a\b\0a\x7F\tb\x0C"), u"a\tb", ""},
        DecodeCase{"Koi8rWholeTable", "\xD0\xD2\xC9\xD7\xC5\xD4 \xB3\xA3 \x80\x81\x9C",
                   u"привет Ёё ─│°", ""},
        DecodeCase{"EndlessSequenceGivesUp", "\x1B[" + std::string(300, '1') + "ok",
                   std::u16string(300 - CTelnetDecoder::kMaxSequence - 1, u'1') + u"ok", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TelnetTrim, KeepsUpTo60000Characters) {
    EXPECT_EQ(TelnetTrimCount(std::u16string(60000, u'x')), 0u);
    EXPECT_EQ(TelnetTrimCount(u"short\ntext"), 0u);
}

struct TrimCase {
    const char* name;
    size_t length;
    std::vector<size_t> breaks;
    size_t dropped;
};

class TelnetTrimming : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TelnetTrimming, DropsThroughTheLastBreakAtOrBefore10000) {
    std::u16string text(GetParam().length, u'x');
    for (size_t b : GetParam().breaks)
        text[b] = u'\n';
    EXPECT_EQ(TelnetTrimCount(text), GetParam().dropped);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TelnetTrimming,
    ::testing::Values(TrimCase{"EarlyBreak", 60001, {10, 5000, 10001}, 5001},
                      TrimCase{"BreakAt10000", 60001, {10000}, 10001},
                      TrimCase{"NoBreakDropsTheFirst10000", 60001, {10001, 20000}, 10000},
                      // Two steps: after the first break the rest is still too long.
                      TrimCase{"RepeatsUntilItFits", 75000, {9000, 15000}, 15001},
                      TrimCase{"HundredThousandWithoutBreaks", 100000, {}, 40000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TelnetText, PushedTextIsAnsiToTheFirstZero) {
    EXPECT_EQ(PushedConsoleText(std::string("\xCF\xF0\xE8\xE2\xE5\xF2\r\nok\0junk", 13)),
              u"Привет\nok");
    EXPECT_EQ(TelnetLine(u"ъЪ"), std::string("\xDF\xFF\xFF\r\n"));
}

class RecordingView : public ITelnetView {
  public:
    void TelnetTextChanged(std::u16string_view added, size_t dropped) override {
        shown += added;
        shown.erase(0, dropped);
    }
    void TelnetStateChanged(TelnetState state) override { states.push_back(state); }
    std::u16string shown;
    std::vector<TelnetState> states;
};

constexpr uint32_t kRobot = 0x0A01A8C0u;  // 192.168.1.10

class TelnetConsoleTest : public ::testing::Test {
  protected:
    // Opens on port 2323 with the link up and connects.
    platform::SocketId OpenConnected() {
        console.Open(2323, kRobot, true);
        const auto s = reactor.LastSocket();
        reactor.Fire(s, platform::kEventConnect);
        EXPECT_EQ(console.State(), TelnetState::Connected);
        return s;
    }
    void Receive(platform::SocketId s, const std::string& bytes) {
        reactor.Push(s, bytes);
        reactor.Fire(s, platform::kEventRead);
    }

    ManualReactor reactor;
    test::FakeLink link;
    RecordingView view;
    CTelnetConsole console{reactor, &view, &link};
};

TEST_F(TelnetConsoleTest, ConnectsWithoutNagleToTheLinksAddress) {
    console.Open(2323, kRobot, true);
    EXPECT_EQ(console.State(), TelnetState::Connecting);
    const auto* s = reactor.Find(reactor.LastSocket());
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(s->noDelay);
    EXPECT_EQ(s->address, kRobot);
    EXPECT_EQ(s->port, 2323);
    reactor.Fire(reactor.LastSocket(), platform::kEventConnect);
    EXPECT_EQ(console.State(), TelnetState::Connected);
    Receive(reactor.LastSocket(), "\xF0\xD2\xC9\xD7\xC5\xD4\r\n");
    EXPECT_EQ(console.Text(), u"Привет\n");
    EXPECT_EQ(view.shown, console.Text());
}

struct PortCase {
    int port;
    bool connects;
};

class TelnetPorts : public TelnetConsoleTest, public ::testing::WithParamInterface<PortCase> {};

TEST_P(TelnetPorts, OnlyRealPortsConnect) {
    console.Open(GetParam().port, kRobot, true);
    EXPECT_EQ(reactor.OpenSockets(), GetParam().connects ? 1 : 0);
    if (GetParam().connects)
        EXPECT_EQ(reactor.Find(reactor.LastSocket())->port, GetParam().port);
    else
        EXPECT_EQ(console.State(), TelnetState::Off);
    reactor.Advance(10000);
    console.OnRobotAddress(kRobot);
    EXPECT_EQ(reactor.OpenSockets(), GetParam().connects ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Ports, TelnetPorts,
                         ::testing::Values(PortCase{-1, false}, PortCase{0, false},
                                           PortCase{70000, false}, PortCase{65536, false},
                                           PortCase{1, true}, PortCase{65535, true}));

TEST_F(TelnetConsoleTest, NoAddressOrAnIdleLinkMeansNoAttemptUntilTheLinkHandsOne) {
    console.Open(23, platform::kNoAddress, true);
    reactor.Advance(20000);
    EXPECT_EQ(console.Attempts(), 0);
    console.Open(23, kRobot, false);
    reactor.Advance(20000);
    EXPECT_EQ(console.Attempts(), 0);
    EXPECT_EQ(console.State(), TelnetState::Off);
    console.OnRobotAddress(kRobot);
    EXPECT_EQ(console.Attempts(), 1);
    EXPECT_EQ(console.State(), TelnetState::Connecting);
}

TEST_F(TelnetConsoleTest, RefusedConnectRetriesAt4000NotBefore) {
    console.Open(23, kRobot, true);
    reactor.Advance(50);
    reactor.Fire(reactor.LastSocket(), platform::kEventConnect, ECONNREFUSED);
    EXPECT_EQ(reactor.OpenSockets(), 0);
    EXPECT_EQ(console.State(), TelnetState::Connecting);
    reactor.Advance(3850);  // 3900 ms after the attempt
    EXPECT_EQ(console.Attempts(), 1);
    reactor.Advance(100);
    EXPECT_EQ(console.Attempts(), 2);
    EXPECT_EQ(reactor.OpenSockets(), 1);
}

TEST_F(TelnetConsoleTest, ConnectFailingAtOnceIsRetriedToo) {
    reactor.failConnect = true;
    console.Open(23, kRobot, true);
    EXPECT_EQ(reactor.OpenSockets(), 0);
    EXPECT_EQ(console.State(), TelnetState::Connecting);
    reactor.Advance(3900);
    EXPECT_EQ(console.Attempts(), 1);
    reactor.failConnect = false;
    reactor.Advance(100);
    EXPECT_EQ(console.Attempts(), 2);
    reactor.Fire(reactor.LastSocket(), platform::kEventConnect);
    EXPECT_EQ(console.State(), TelnetState::Connected);
}

TEST_F(TelnetConsoleTest, ConnectThatNeverEndsIsStartedAgain) {
    console.Open(23, kRobot, true);
    const auto first = reactor.LastSocket();
    reactor.Advance(4000);
    EXPECT_TRUE(reactor.Find(first)->closed);
    EXPECT_EQ(console.Attempts(), 2);
}

TEST_F(TelnetConsoleTest, RemoteCloseStaysQuiet) {
    const auto s = OpenConnected();
    reactor.Push(s, "bye\r\n");
    reactor.PeerClose(s);
    reactor.Fire(s, platform::kEventRead);
    EXPECT_EQ(console.Text(), u"bye\n");
    EXPECT_EQ(console.State(), TelnetState::ClosedByRobot);
    EXPECT_EQ(reactor.OpenSockets(), 0);
    reactor.Advance(20000);
    EXPECT_EQ(console.Attempts(), 1);
}

TEST_F(TelnetConsoleTest, CloseEventEndsTheConsoleToo) {
    const auto s = OpenConnected();
    reactor.Fire(s, platform::kEventClose, ECONNRESET);
    EXPECT_EQ(console.State(), TelnetState::ClosedByRobot);
    reactor.Advance(20000);
    EXPECT_EQ(console.Attempts(), 1);
}

TEST_F(TelnetConsoleTest, PushedTextTakesTheConsoleOverForGood) {
    OpenConnected();
    EXPECT_EQ(link.Receive(msg::kTelnetText, std::string("\xEE\xEA\r\n\0", 5)), 1);
    EXPECT_EQ(console.State(), TelnetState::TakenOver);
    EXPECT_EQ(console.Port(), -1);
    EXPECT_EQ(console.Text(), u"ок\n");
    EXPECT_EQ(reactor.OpenSockets(), 0);
    console.OnRobotAddress(kRobot);
    reactor.Advance(20000);
    EXPECT_EQ(console.Attempts(), 1);
    // An empty push is no message at all.
    link.Receive(msg::kTelnetText, "");
    EXPECT_EQ(console.Text(), u"ок\n");
}

TEST_F(TelnetConsoleTest, OperatorDisconnectEndsItUntilTheLinkReturns) {
    OpenConnected();
    console.OnOperatorDisconnect();
    EXPECT_EQ(console.State(), TelnetState::Off);
    EXPECT_EQ(reactor.OpenSockets(), 0);
    reactor.Advance(20000);
    EXPECT_EQ(console.Attempts(), 1);
    console.OnRobotAddress(kRobot);
    EXPECT_EQ(console.Attempts(), 2);
}

TEST_F(TelnetConsoleTest, NegotiationIsAnsweredAndLinesAreSentKoi8) {
    const auto s = OpenConnected();
    Receive(s, kIac + kWill + "\x01" + "login: ");
    EXPECT_EQ(reactor.TakeSent(s), kIac + kDo + "\x01");
    EXPECT_TRUE(console.SendLine(u"привет"));
    EXPECT_EQ(reactor.TakeSent(s), "\xD0\xD2\xC9\xD7\xC5\xD4\r\n");
    // What the socket cannot take now waits for its write event.
    reactor.SetSendRoom(s, 3);
    EXPECT_TRUE(console.SendLine(u"status"));
    EXPECT_EQ(reactor.TakeSent(s), "sta");
    reactor.SetSendRoom(s, -1);
    reactor.Fire(s, platform::kEventWrite);
    EXPECT_EQ(reactor.TakeSent(s), "tus\r\n");
}

TEST_F(TelnetConsoleTest, LinesNeedAConnection) {
    EXPECT_FALSE(console.SendLine(u"x"));
    console.Open(23, kRobot, true);
    EXPECT_FALSE(console.SendLine(u"x"));
}

TEST_F(TelnetConsoleTest, AFloodIsReadAMebibyteAtATimeAndTrimmed) {
    const auto s = OpenConnected();
    std::string flood;
    while (flood.size() < (3u << 19))
        flood += "0123456789 line of the robot's flood\r\n";
    reactor.Push(s, flood);
    reactor.Fire(s, platform::kEventRead);
    EXPECT_EQ(console.BytesReceived(), static_cast<uint64_t>(CTelnetConsole::kMaxReadPerEvent));
    EXPECT_LE(console.Text().size(), kTelnetTextKeep);
    EXPECT_EQ(view.shown, console.Text());
    reactor.Fire(s, platform::kEventRead);
    EXPECT_EQ(console.BytesReceived(), flood.size());
    EXPECT_EQ(console.Text().back(), u'\n');
    EXPECT_EQ(console.Text().substr(0, 11), u"0123456789 ");
}

TEST_F(TelnetConsoleTest, HundredThousandCharacterPushKeepsTheLast60000) {
    std::string big(100000, 'a');
    big[99999] = 'z';
    link.Receive(msg::kTelnetText, big);
    EXPECT_EQ(console.Text().size(), 60000u);
    EXPECT_EQ(console.Text().back(), u'z');
    EXPECT_EQ(view.shown, console.Text());
}

TEST(TelnetStateText, SaysWhereItConnects) {
    EXPECT_EQ(TelnetStateText(TelnetState::Connected, kRobot, 23), "Подключено к 192.168.1.10:23");
    EXPECT_EQ(TelnetStateText(TelnetState::Off, kRobot, -1), "Порт telnet не задан");
}

}  // namespace
}  // namespace velcora::media
