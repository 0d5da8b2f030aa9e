#include "media/remote_desktop.h"

#include <gtest/gtest.h>

#include "media/color_convert.h"
#include "media_test_util.h"
#include "support/fake_link.h"

namespace velcora::media {
namespace {

using test::FakeLink;
using test::SentFrame;

// Every picture leaves the encoder at once, as the robot's desktop stream does.
std::vector<Packet> DesktopStream(int w, int h, int frames) {
    CVideoEncoder enc;
    std::vector<Packet> packets;
    EXPECT_TRUE(enc.Open(w, h, 10.0, 800000, 0));
    for (int i = 0; i < frames; ++i) {
        const auto pic = testutil::Pattern(w, h, i);
        enc.Encode(pic.data(), w, h, BgrPitch(w), packets);
    }
    return packets;
}

std::string ScreenPayload(int w, int h, const Packet& packet) {
    std::string s;
    s += static_cast<char>(w & 0xFF);
    s += static_cast<char>(w >> 8);
    s += static_cast<char>(h & 0xFF);
    s += static_cast<char>(h >> 8);
    s.append(reinterpret_cast<const char*>(packet.data()), packet.size());
    return s;
}

struct Point {
    uint16_t x, y;
    bool operator==(const Point&) const = default;
};

Point PointOf(const SentFrame& f) {
    EXPECT_EQ(f.payload.size(), 4u);
    const auto* p = reinterpret_cast<const uint8_t*>(f.payload.data());
    return {static_cast<uint16_t>(p[0] | p[1] << 8), static_cast<uint16_t>(p[2] | p[3] << 8)};
}

struct KeyMessage {
    uint8_t vk, scan;
    uint32_t flags;
    bool operator==(const KeyMessage&) const = default;
};

std::vector<KeyMessage> KeysSent(const FakeLink& link) {
    std::vector<KeyMessage> out;
    for (const auto& f : link.Of(msg::kDesktopControl9)) {
        EXPECT_EQ(f.payload.size(), 6u);
        const auto* p = reinterpret_cast<const uint8_t*>(f.payload.data());
        out.push_back(
            {p[0], p[1], static_cast<uint32_t>(p[2] | p[3] << 8 | p[4] << 16 | p[5] << 24)});
    }
    return out;
}

class RecordingView : public IRemoteDesktopView {
  public:
    void DesktopContentChanged(int32_t w, int32_t h) override {
        events.push_back("content " + std::to_string(w) + "x" + std::to_string(h));
    }
    void DesktopPictureChanged() override { events.push_back("picture"); }
    std::vector<std::string> events;
};

class RemoteDesktopTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { packets_ = DesktopStream(320, 240, 3); }

    // A desktop showing one 320 x 240 picture in a 200 x 200 view.
    void ShowPicture() {
        ASSERT_EQ(packets_.size(), 3u);
        ASSERT_EQ(link.Receive(msg::kDesktopScreen, ScreenPayload(320, 240, packets_[0])), 1);
        ASSERT_TRUE(desktop.HasPicture());
        desktop.SetViewport(200, 200);
        link.sent.clear();
    }

    static std::vector<Packet> packets_;
    FakeLink link;
    RecordingView view;
    CRemoteDesktop desktop{link, &view};
};

std::vector<Packet> RemoteDesktopTest::packets_;

TEST_F(RemoteDesktopTest, KeepAliveAtTheFirstTickThenEvery47thOnlyWhileAuthorised) {
    std::vector<int> sentAt;
    for (int tick = 1; tick <= 200; ++tick) {
        const size_t before = link.sent.size();
        desktop.Tick(20);
        if (link.sent.size() != before)
            sentAt.push_back(tick);
    }
    EXPECT_EQ(sentAt, (std::vector<int>{1, 48, 95, 142, 189}));
    for (const auto& f : link.sent) {
        EXPECT_EQ(f.type, msg::kDesktopKeepAlive);
        EXPECT_TRUE(f.payload.empty());
    }

    link.sent.clear();
    for (int32_t state : {kStateIdle, kStateConnecting, kStateAuthorising}) {
        link.state = state;
        for (int i = 0; i < 100; ++i)
            desktop.Tick(20);
    }
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(RemoteDesktopTest, FullSendQueueHoldsTheKeepAliveUntilItDrains) {
    link.queued = 101;
    for (int i = 0; i < 60; ++i)
        desktop.Tick(20);
    EXPECT_TRUE(link.sent.empty());
    link.queued = 100;
    desktop.Tick(20);
    EXPECT_EQ(link.Of(msg::kDesktopKeepAlive).size(), 1u);
    EXPECT_EQ(desktop.KeepAliveCountdown(), CRemoteDesktop::kKeepAliveMs);
}

TEST_F(RemoteDesktopTest, ClickIsPictureCoordinatesDoubled) {
    ShowPicture();
    desktop.ScrollTo(100, 0);
    ASSERT_EQ(desktop.ScrollX(), 100);
    desktop.MouseDown(MouseButton::Left, 10, 20);
    desktop.MouseUp(MouseButton::Left, 10, 20);
    ASSERT_EQ(link.Of(msg::kDesktopScreen).size(), 1u);
    EXPECT_EQ(PointOf(link.Of(msg::kDesktopScreen)[0]), (Point{220, 40}));
    EXPECT_EQ(PointOf(link.Of(msg::kDesktopControl3)[0]), (Point{220, 40}));
    EXPECT_FALSE(desktop.LeftHeld());
}

TEST_F(RemoteDesktopTest, PressesOutsideThePictureSendNothing) {
    ShowPicture();
    desktop.ScrollTo(1000, 1000);  // clamped to the content's end, past the picture
    EXPECT_EQ(desktop.ScrollX(), 320 + 16 - 200);
    EXPECT_EQ(desktop.ScrollY(), 240 + 16 - 200);
    desktop.MouseDown(MouseButton::Left, 199, 100);  // x 335: in the margin
    desktop.MouseDown(MouseButton::Right, 10, 199);  // y 255
    desktop.MouseMove(50, 50);
    desktop.MouseUp(MouseButton::Left, 50, 50);
    desktop.MouseUp(MouseButton::Right, 50, 50);
    desktop.ScrollTo(0, 0);
    desktop.MouseDown(MouseButton::Left, -1, 5);
    EXPECT_TRUE(link.sent.empty());
    EXPECT_FALSE(desktop.LeftHeld());
}

struct DragCase {
    const char* name;
    int32_t x, y;     // where the drag ends, view coordinates
    uint16_t rx, ry;  // what the robot gets
};

class DesktopDrag : public RemoteDesktopTest, public ::testing::WithParamInterface<DragCase> {};

TEST_P(DesktopDrag, DragsPastAnEdgeStayOnIt) {
    ShowPicture();
    desktop.MouseDown(MouseButton::Left, 100, 100);
    desktop.MouseMove(GetParam().x, GetParam().y);
    desktop.MouseUp(MouseButton::Left, GetParam().x, GetParam().y);
    const Point expected{GetParam().rx, GetParam().ry};
    EXPECT_EQ(PointOf(link.Of(msg::kDesktopControl2).at(0)), expected);
    EXPECT_EQ(PointOf(link.Of(msg::kDesktopControl3).at(0)), expected);
}

INSTANTIATE_TEST_SUITE_P(Edges, DesktopDrag,
                         ::testing::Values(DragCase{"Left", -30, 50, 0, 100},
                                           DragCase{"Top", 50, -5000, 100, 0},
                                           DragCase{"Right", 900, 50, 638, 100},
                                           DragCase{"Bottom", 50, 241, 100, 478},
                                           DragCase{"Corner", -1, -1, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RemoteDesktopTest, RightButtonPairsWithItsPress) {
    ShowPicture();
    desktop.MouseDown(MouseButton::Right, 30, 40);
    desktop.MouseUp(MouseButton::Right, 500, 40);
    EXPECT_EQ(PointOf(link.Of(msg::kDesktopRightDown).at(0)), (Point{60, 80}));
    EXPECT_EQ(PointOf(link.Of(msg::kDesktopRightUp).at(0)), (Point{638, 80}));
    // A release without its press in the picture is not the robot's business.
    desktop.MouseUp(MouseButton::Right, 30, 40);
    EXPECT_EQ(link.Of(msg::kDesktopRightUp).size(), 1u);
}

TEST_F(RemoteDesktopTest, KeysCarryTheirFlagsAndRepeatsOnlyPress) {
    const DesktopKey a = *KeyForName("a");
    desktop.KeyDown(a, false, 0);
    desktop.KeyDown(a, true, 30);
    desktop.KeyUp(a, true);  // between two repeats
    desktop.KeyDown(a, true, 60);
    desktop.KeyUp(a, false);
    EXPECT_EQ(KeysSent(link),
              (std::vector<KeyMessage>{
                  {0x41, 0x1E, 0}, {0x41, 0x1E, 0}, {0x41, 0x1E, 0}, {0x41, 0x1E, 2}}));
    EXPECT_TRUE(desktop.HeldKeys().empty());
}

TEST_F(RemoteDesktopTest, ScanCodeKeepsItsLowSevenBits) {
    desktop.KeyDown({0x26, 0xC8}, false, 0);
    EXPECT_EQ(KeysSent(link), (std::vector<KeyMessage>{{0x26, 0x48, 0}}));
}

TEST_F(RemoteDesktopTest, FocusLossReleasesKeysAndTheHeldButton) {
    ShowPicture();
    desktop.KeyDown(kShiftKey, false, 0);
    desktop.KeyDown(*KeyForName("x"), false, 0);
    desktop.MouseDown(MouseButton::Left, 5, 6);
    desktop.MouseMove(7, 8);
    link.sent.clear();
    desktop.ReleaseAll();
    const auto keys = KeysSent(link);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].flags, 2u);
    EXPECT_EQ(keys[1].flags, 2u);
    EXPECT_EQ(PointOf(link.Of(msg::kDesktopControl3).at(0)), (Point{14, 16}));
    EXPECT_FALSE(desktop.LeftHeld());
    link.sent.clear();
    desktop.ReleaseAll();  // nothing owed any more
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(RemoteDesktopTest, ClosingTheDesktopReleasesWhatIsOwed) {
    FakeLink other;
    {
        CRemoteDesktop d(other, nullptr);
        d.KeyDown(kControlKey, false, 0);
    }
    EXPECT_EQ(KeysSent(other), (std::vector<KeyMessage>{{0x11, 0x1D, 0}, {0x11, 0x1D, 2}}));
    EXPECT_FALSE(other.dispatcher.HasHandler(msg::kDesktopScreen));
}

TEST_F(RemoteDesktopTest, ShortcutsSendTabOrEscDownAndUpOnce) {
    desktop.KeyDown(kAltKey, false, 0);
    desktop.SendShortcut(SystemShortcut::AltTab);
    desktop.KeyUp(kTabKey, false);  // the shortcut's own release
    desktop.KeyUp(kAltKey, false);
    desktop.KeyDown(kControlKey, false, 0);
    desktop.SendShortcut(SystemShortcut::CtrlEsc);
    desktop.KeyUp(kEscapeKey, false);
    desktop.KeyUp(kControlKey, false);
    EXPECT_EQ(KeysSent(link), (std::vector<KeyMessage>{{0x12, 0x38, 0},
                                                       {9, 15, 0},
                                                       {9, 15, 2},
                                                       {0x12, 0x38, 2},
                                                       {0x11, 0x1D, 0},
                                                       {27, 1, 0},
                                                       {27, 1, 2},
                                                       {0x11, 0x1D, 2}}));
}

TEST_F(RemoteDesktopTest, ComboPressesInOrderAndReleasesInReverse) {
    desktop.SendCombo(ParseKeyCombo("alt+f4"));
    EXPECT_EQ(KeysSent(link),
              (std::vector<KeyMessage>{
                  {0x12, 0x38, 0}, {0x73, 0x3E, 0}, {0x73, 0x3E, 2}, {0x12, 0x38, 2}}));
    EXPECT_TRUE(desktop.AcceptClose(10));  // nothing was pressed here
}

struct CloseCase {
    uint32_t closeAfterMs;
    bool accepted;
};

class DesktopAltF4 : public RemoteDesktopTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(DesktopAltF4, ExcusesOnlyTheCloseItCaused) {
    const uint32_t t0 = 0xFFFFFF00u;  // across the tick's wrap
    desktop.KeyDown(kAltKey, false, t0);
    desktop.KeyDown(kF4Key, false, t0);
    EXPECT_EQ(desktop.AcceptClose(t0 + GetParam().closeAfterMs), GetParam().accepted);
    // Used up either way: the next close is the operator's.
    EXPECT_TRUE(desktop.AcceptClose(t0 + GetParam().closeAfterMs + 1));
    EXPECT_EQ(KeysSent(link).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Times, DesktopAltF4,
                         ::testing::Values(CloseCase{0, false}, CloseCase{100, false},
                                           CloseCase{499, false}, CloseCase{500, true},
                                           CloseCase{600, true}));

TEST_F(RemoteDesktopTest, F4WithoutAltIsNoCloseExcuse) {
    desktop.KeyDown(kF4Key, false, 0);
    EXPECT_TRUE(desktop.AcceptClose(10));
}

struct BadPayload {
    const char* name;
    std::string payload;
};

class DesktopBadPayload : public ::testing::TestWithParam<BadPayload> {};

TEST_P(DesktopBadPayload, IsIgnoredWithoutADecoder) {
    FakeLink link;
    RecordingView view;
    CRemoteDesktop desktop(link, &view);
    link.Receive(msg::kDesktopScreen, GetParam().payload);
    EXPECT_EQ(desktop.StreamWidth(), 0);
    EXPECT_FALSE(desktop.HasPicture());
    EXPECT_TRUE(view.events.empty());
    EXPECT_EQ(desktop.ContentWidth(), 0);
}

std::string Sized(int w, int h, size_t extra) {
    return ScreenPayload(w, h, Packet(extra, 0x55));
}

INSTANTIATE_TEST_SUITE_P(Cases, DesktopBadPayload,
                         ::testing::Values(BadPayload{"NineBytes", Sized(64, 64, 5)},
                                           BadPayload{"WidthZero", Sized(0, 64, 20)},
                                           BadPayload{"HeightZero", Sized(64, 0, 20)},
                                           BadPayload{"Wide", Sized(5000, 10, 20)},
                                           BadPayload{"Tall", Sized(10, 4097, 20)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RemoteDesktopTest, SizeChangeReopensAndSetsTheContentBeforeThePicture) {
    CRemoteDesktop d(link, &view, 15, 17);
    ASSERT_TRUE(d.HandleScreen(
        reinterpret_cast<const uint8_t*>(ScreenPayload(320, 240, packets_[0]).data()),
        static_cast<int32_t>(ScreenPayload(320, 240, packets_[0]).size())));
    EXPECT_EQ(d.ContentWidth(), 320 + 15 + 16);
    EXPECT_EQ(d.ContentHeight(), 240 + 17 + 16);
    const auto small = DesktopStream(160, 96, 1);
    ASSERT_EQ(small.size(), 1u);
    view.events.clear();
    const std::string p = ScreenPayload(160, 96, small[0]);
    ASSERT_TRUE(
        d.HandleScreen(reinterpret_cast<const uint8_t*>(p.data()), static_cast<int32_t>(p.size())));
    EXPECT_EQ(view.events, (std::vector<std::string>{"content " + std::to_string(160 + 15 + 16) +
                                                         "x" + std::to_string(96 + 17 + 16),
                                                     "picture"}));
    EXPECT_EQ(d.Width(), 160);
    EXPECT_EQ(d.Height(), 96);
}

TEST_F(RemoteDesktopTest, UndecodablePacketKeepsThePreviousPicture) {
    ShowPicture();
    const PictureView before = desktop.Current();
    const std::vector<uint8_t> copy(before.bgr, before.bgr + before.pitch * before.height);
    view.events.clear();
    std::string garbage = ScreenPayload(320, 240, Packet(200, 0xA7));
    EXPECT_EQ(link.Receive(msg::kDesktopScreen, garbage), 1);
    EXPECT_TRUE(desktop.HasPicture());
    const PictureView after = desktop.Current();
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), after.bgr));
    EXPECT_TRUE(view.events.empty());
    // And the stream goes on.
    EXPECT_EQ(link.Receive(msg::kDesktopScreen, ScreenPayload(320, 240, packets_[1])), 1);
    EXPECT_EQ(desktop.Pictures(), 2u);
}

TEST(RemoteDesktopPicture, UprightRowsPutsTheFirstDecodedRowLast) {
    const int w = 3, h = 4, pitch = 12;
    std::vector<uint8_t> bgr(pitch * h);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < w * 3; ++i)
            bgr[y * pitch + i] = static_cast<uint8_t>(y * 10 + i);
    const auto rows = UprightRows({w, h, pitch, bgr.data()}, 9);
    ASSERT_EQ(rows.size(), 36u);
    for (int y = 0; y < h; ++y)
        EXPECT_EQ(rows[y * 9], (h - 1 - y) * 10) << y;
    EXPECT_TRUE(UprightRows({}).empty());
}

}  // namespace
}  // namespace velcora::media
