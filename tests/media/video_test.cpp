#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include <cmath>
#include <cstring>
#include <string>

#include "media/video_frame.h"
#include "media/video_paint.h"
#include "media/video_panel.h"
#include "media/video_stream.h"
#include "media_test_util.h"
#include "support/fake_link.h"

namespace velcora::media {
namespace {

std::string Le16(uint16_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
std::string Le32(uint32_t v) {
    return Le16(static_cast<uint16_t>(v)) + Le16(static_cast<uint16_t>(v >> 16));
}
std::string Bytes(const Packet& p) {
    return std::string(p.begin(), p.end());
}

std::string Frame8A11(uint8_t cam, uint16_t w, uint16_t h, const std::string& pic) {
    return std::string(1, static_cast<char>(cam)) + Le16(w) + Le16(h) + pic;
}
std::string Frame8A12(uint8_t cam, uint16_t w, uint16_t h, uint16_t l, uint16_t f, uint16_t r,
                      const std::string& pic) {
    return std::string(1, static_cast<char>(cam)) + Le16(w) + Le16(h) + Le16(l) + Le16(f) +
           Le16(r) + pic;
}
std::string Frame8A13(uint8_t cam, uint16_t w, uint16_t h, uint32_t n, const std::string& pic,
                      const std::string& tail) {
    return Frame8A12(cam, w, h, 50, 500, 400, "") + Le32(n) + pic + tail;
}

// ------------------------------------------------------------------ parsing

struct ParseCase {
    const char* name;
    msg::Type type;
    std::string payload;
    bool parsed;
    size_t pictureBytes;
    size_t lines;
};

class ParseFrame : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseFrame, ChecksEveryBound) {
    const auto& c = GetParam();
    const auto m = ParseVideoFrame(c.type, c.payload);
    ASSERT_EQ(m.has_value(), c.parsed);
    if (m) {
        EXPECT_EQ(m->picture.size(), c.pictureBytes);
        EXPECT_EQ(m->lines.size(), c.lines);
    }
}

const std::string kPic(20, 'p');
const std::string kLine = Le32(1) + Le32(2) + Le32(3) + Le32(4);

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseFrame,
    testing::Values(
        ParseCase{"plain", msg::kVideoFrame, Frame8A11(0, 8, 8, kPic), true, 20, 0},
        ParseCase{"plainTooShort", msg::kVideoFrame, std::string(5, '\0'), false, 0, 0},
        ParseCase{"plainTinyPicture", msg::kVideoFrame, Frame8A11(0, 8, 8, "0123456789"), true, 0,
                  0},
        ParseCase{"plainElevenBytes", msg::kVideoFrame, Frame8A11(0, 8, 8, "0123456789A"), true, 11,
                  0},
        ParseCase{"ranges", msg::kVideoFrameRanges, Frame8A12(1, 8, 8, 1, 2, 3, kPic), true, 20, 0},
        ParseCase{"rangesTooShort", msg::kVideoFrameRanges, std::string(11, '\0'), false, 0, 0},
        ParseCase{"linesTooShort", msg::kVideoFrameRangesLines, std::string(15, '\0'), false, 0, 0},
        ParseCase{"linesNoTail", msg::kVideoFrameRangesLines, Frame8A13(0, 8, 8, 20, kPic, ""),
                  true, 20, 0},
        ParseCase{"linesOneByteTail", msg::kVideoFrameRangesLines,
                  Frame8A13(0, 8, 8, 20, kPic, "x"), true, 20, 0},
        ParseCase{"linesTwo", msg::kVideoFrameRangesLines,
                  Frame8A13(0, 8, 8, 20, kPic, Le16(2) + kLine + kLine), true, 20, 2},
        ParseCase{"linesCountPastPayload", msg::kVideoFrameRangesLines,
                  Frame8A13(0, 8, 8, 20, kPic, Le16(500) + kLine + "abc"), true, 20, 1},
        ParseCase{"pictureLengthPastPayload", msg::kVideoFrameRangesLines,
                  Frame8A13(0, 8, 8, 21, kPic, ""), true, 0, 0},
        ParseCase{"pictureLengthHuge", msg::kVideoFrameRangesLines,
                  Frame8A13(0, 8, 8, 0xFFFFFFFFu, kPic, ""), true, 0, 0},
        ParseCase{"otherType", msg::kSoundBlock, Frame8A11(0, 8, 8, kPic), false, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseFrame, ReadsFieldsAndLineValues) {
    const auto m =
        ParseVideoFrame(msg::kVideoFrameRangesLines,
                        Frame8A13(2, 640, 480, 20, kPic,
                                  Le16(1) + Le32(0xFFFFFFF6u) + Le32(7) + Le32(8) + Le32(9)));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->camera, 2);
    EXPECT_EQ(m->width, 640);
    EXPECT_EQ(m->height, 480);
    EXPECT_EQ(m->leftRange, 50);
    EXPECT_EQ(m->forwardRange, 500);
    EXPECT_EQ(m->rightRange, 400);
    ASSERT_EQ(m->lines.size(), 1u);
    EXPECT_EQ(m->lines[0], (OverlayLine{-10, 7, 8, 9}));
}

struct RangeCase {
    int32_t v, lo, hi;
    double expected;
};
class Ranges : public testing::TestWithParam<RangeCase> {};
TEST_P(Ranges, Normalise) {
    const auto c = GetParam();
    EXPECT_DOUBLE_EQ(RangeValue(c.v, c.lo, c.hi), c.expected);
}
INSTANTIATE_TEST_SUITE_P(Cases, Ranges,
                         testing::Values(RangeCase{50, 100, 300, 1.0},
                                         RangeCase{100, 100, 300, 1.0},
                                         RangeCase{200, 100, 300, 0.5}, RangeCase{300, 100, 300, 0},
                                         RangeCase{65535, 100, 300, 0},
                                         // default forward limits: always far
                                         RangeCase{0, 600, 400, 0}, RangeCase{500, 600, 400, 0},
                                         RangeCase{9000, 600, 400, 0},
                                         // equal limits must not divide by zero
                                         RangeCase{5, 10, 10, 1.0}, RangeCase{11, 10, 10, 0}));

// ------------------------------------------------------------------ painting

TEST(VideoPaint, StripColours) {
    EXPECT_EQ(StripColour(0.0), (Rgb{0, 0, 0}));
    EXPECT_EQ(StripColour(1.0), (Rgb{255, 128, 0}));
    EXPECT_EQ(StripColour(0.5), (Rgb{127, 90, 0}));
    EXPECT_EQ(StripColour(-0.0), (Rgb{0, 0, 0}));
    EXPECT_EQ(StripColour(std::nan("")), (Rgb{0, 0, 0}));
    EXPECT_EQ(StripColour(7.0), (Rgb{255, 128, 0}));
    // The default forward limits keep the top strip black whatever the reading.
    VideoFrameMessage m;
    m.forwardRange = 0;
    EXPECT_EQ(StripColour(NormaliseRanges(m, {}).forward), (Rgb{0, 0, 0}));
}

TEST(VideoPaint, FitsThePictureBetweenItsStrips) {
    // A wide area: height limits, the picture is centred horizontally.
    const auto l = LayoutVideo({10, 20, 510, 290}, 320, 240);
    ASSERT_TRUE(l.hasPicture);
    EXPECT_EQ(l.H, 266);
    EXPECT_EQ(l.W, 354);
    EXPECT_EQ(l.ox, 69);
    EXPECT_EQ(l.oy, 0);
    // Width-limited case with exact numbers.
    const auto k = LayoutVideo({0, 0, 350, 400}, 320, 240);
    EXPECT_EQ(k.W, 342);
    EXPECT_EQ(k.H, 256);
    EXPECT_EQ(k.ox, 0);
    EXPECT_EQ(k.oy, (396 - 256) / 2);
    EXPECT_EQ(k.picture, (PaintRect{4, 74, 346, 330}));
    EXPECT_EQ(k.topStrip, (PaintRect{0, 70, 350, 74}));
    EXPECT_EQ(k.leftStrip, (PaintRect{0, 74, 4, 330}));
    EXPECT_EQ(k.rightStrip, (PaintRect{346, 74, 350, 330}));
    EXPECT_EQ(MapOverlayPoint(k, 320, 240, 160, 120), (PaintPoint{171 + 4, 128 + 74}));
    // Robot-supplied coordinates far outside the picture do not overflow.
    const auto far = MapOverlayPoint(k, 320, 240, 2147483647, -2147483647);
    EXPECT_GT(far.x, 1000000);
    EXPECT_LT(far.y, -1000000);
}

TEST(VideoPaint, TinyAreasAndEmptyPicturesPaintOnlyTheGradient) {
    EXPECT_FALSE(LayoutVideo({0, 0, 7, 100}, 320, 240).hasPicture);
    EXPECT_FALSE(LayoutVideo({0, 0, 8, 100}, 320, 240).hasPicture);
    EXPECT_FALSE(LayoutVideo({0, 0, 200, 4}, 320, 240).hasPicture);
    EXPECT_FALSE(LayoutVideo({0, 0, 200, 200}, 0, 240).hasPicture);
    EXPECT_FALSE(LayoutVideo({0, 0, 200, 200}, 320, 0).hasPicture);
    EXPECT_TRUE(LayoutVideo({0, 0, 9, 5}, 1, 1).hasPicture);
    EXPECT_EQ(GradientColour(0, 100), kGradientTop);
    EXPECT_EQ(GradientColour(99, 100), kGradientBottom);
    EXPECT_EQ(GradientColour(0, 1), kGradientTop);
}

// ------------------------------------------------------------------ streams

class VideoStreamTest : public testing::Test {
  protected:
    static void SetUpTestSuite() { packets_ = testutil::EncodeStream(64, 48, 16); }
    static std::vector<Packet> packets_;
};
std::vector<Packet> VideoStreamTest::packets_;

TEST_F(VideoStreamTest, QueueStopsAtSixWhileNothingIsTakenOver) {
    CVideoStream s;
    ASSERT_TRUE(s.Start());
    // The decoder holds the first picture back; let it swallow that one.
    ASSERT_TRUE(s.Enqueue(64, 48, Bytes(packets_[0]), {}));
    ASSERT_TRUE(s.WaitIdle(10000));
    EXPECT_EQ(s.QueuedCount(), 0);
    int accepted = 0;
    for (int i = 1; i <= 10; ++i) {
        accepted += s.Enqueue(64, 48, Bytes(packets_[i]), {}) ? 1 : 0;
    }
    EXPECT_EQ(accepted, CVideoStream::kMaxQueued);
    EXPECT_EQ(s.Dropped(), 4u);
    ASSERT_TRUE(s.WaitIdle(10000));
    EXPECT_EQ(s.QueuedCount(), CVideoStream::kMaxQueued);
    // Only the newest decoded picture survives the take-over.
    EXPECT_TRUE(s.TakeOver());
    EXPECT_EQ(s.QueuedCount(), 0);
    s.WithCurrent([](const VideoFrame* f) {
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->sequence, 7u);
        EXPECT_EQ(f->picture.width, 64);
        EXPECT_EQ(f->picture.pitch, 192);
        EXPECT_NE(f->picture.bgr, nullptr);
    });
    EXPECT_FALSE(s.TakeOver());
    s.Stop();
    EXPECT_FALSE(s.Streaming());
    s.WithCurrent([](const VideoFrame* f) { EXPECT_EQ(f, nullptr); });
    EXPECT_FALSE(s.Enqueue(64, 48, Bytes(packets_[1]), {}));
}

TEST_F(VideoStreamTest, UndecodableFramesAreDroppedAndSizeChangesReopen) {
    CVideoStream s;
    ASSERT_TRUE(s.Start());
    const std::string junk(40, '\x55');
    EXPECT_TRUE(s.Enqueue(64, 48, junk, {}));
    ASSERT_TRUE(s.WaitIdle(10000));
    EXPECT_EQ(s.QueuedCount(), 0);
    for (int i = 0; i < 3; ++i) {
        s.Enqueue(64, 48, Bytes(packets_[i]), {});
    }
    ASSERT_TRUE(s.WaitIdle(10000));
    ASSERT_TRUE(s.TakeOver());
    // A new stream of another announced size.
    const auto other = testutil::EncodeStream(96, 64, 3);
    for (const auto& p : other) {
        s.Enqueue(96, 64, Bytes(p), {{1, 2, 3, 4}});
    }
    ASSERT_TRUE(s.WaitIdle(10000));
    ASSERT_TRUE(s.TakeOver());
    s.WithCurrent([](const VideoFrame* f) {
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->picture.width, 96);
        EXPECT_EQ(f->picture.height, 64);
        EXPECT_EQ(f->lines, (std::vector<OverlayLine>{{1, 2, 3, 4}}));
    });
}

// The window thread is told of each decoded picture as it becomes ready, so
// that it can take it over at once; without B-frames that is one picture per
// packet, each told of before the next packet is even queued.
TEST_F(VideoStreamTest, EachDecodedPictureIsAnnouncedWhenReadyToTakeOver) {
    const auto noReorder = testutil::EncodeStream(64, 48, 8, 400000, 0);
    ASSERT_EQ(noReorder.size(), 8u);
    CVideoStream s;
    std::mutex m;
    std::condition_variable told;
    int announced = 0;
    int takenInCallback = 0;
    s.SetOnDecoded([&] {
        // Called without the stream's lock: taking over from here must work.
        const bool taken = s.TakeOver();
        std::lock_guard<std::mutex> lock(m);
        ++announced;
        takenInCallback += taken ? 1 : 0;
        told.notify_all();
    });
    ASSERT_TRUE(s.Start());
    for (std::size_t i = 0; i < noReorder.size(); ++i) {
        ASSERT_TRUE(s.Enqueue(64, 48, Bytes(noReorder[i]), {}));
        std::unique_lock<std::mutex> lock(m);
        ASSERT_TRUE(told.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return announced == static_cast<int>(i) + 1; }))
            << "packet " << i;
    }
    EXPECT_EQ(takenInCallback, 8);
    s.WithCurrent([](const VideoFrame* f) {
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->sequence, 8u);
    });
    // An undecodable frame announces nothing.
    ASSERT_TRUE(s.Enqueue(64, 48, std::string(40, '\x55'), {}));
    ASSERT_TRUE(s.WaitIdle(10000));
    EXPECT_EQ(announced, 8);
    s.Stop();
    // Replacing the announcement while streaming is refused; after Stop it is taken.
    s.SetOnDecoded(nullptr);
    ASSERT_TRUE(s.Start());
    ASSERT_TRUE(s.Enqueue(64, 48, Bytes(noReorder[0]), {}));
    ASSERT_TRUE(s.WaitIdle(10000));
    EXPECT_EQ(announced, 8);
}

TEST_F(VideoStreamTest, BothPanelsOnOneCameraDecodeTheirOwnCopies) {
    velcora::test::FakeLink link;
    CVideoPanelControl a(0, 120000, false), b(0, 120000, false), c(1, 120000, false);
    CVideoReception reception(link, {&a, &b, &c});
    ASSERT_TRUE(a.SetVideoOn(true));
    ASSERT_TRUE(b.SetVideoOn(true));
    ASSERT_TRUE(c.SetVideoOn(true));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(link.Receive(msg::kVideoFrameRanges,
                               Frame8A12(0, 64, 48, 100, 0, 300, Bytes(packets_[i]))),
                  1);
    }
    EXPECT_DOUBLE_EQ(reception.Readings().left, 1.0);
    EXPECT_DOUBLE_EQ(reception.Readings().right, 0.0);
    for (auto* p : {&a, &b}) {
        ASSERT_TRUE(p->Stream().WaitIdle(10000));
        EXPECT_TRUE(p->Stream().TakeOver());
    }
    const uint8_t* pa = nullptr;
    const uint8_t* pb = nullptr;
    a.Stream().WithCurrent([&](const VideoFrame* f) { pa = f ? f->picture.bgr.get() : nullptr; });
    b.Stream().WithCurrent([&](const VideoFrame* f) { pb = f ? f->picture.bgr.get() : nullptr; });
    ASSERT_NE(pa, nullptr);
    ASSERT_NE(pb, nullptr);
    EXPECT_NE(pa, pb);
    EXPECT_EQ(std::memcmp(pa, pb, 192 * 48), 0);
    EXPECT_EQ(c.Stream().Accepted(), 0u);
    // A picture length past the payload: the ranges count, the picture does not.
    link.Receive(msg::kVideoFrameRangesLines, Frame8A13(0, 64, 48, 100000, Bytes(packets_[5]), ""));
    EXPECT_EQ(a.Stream().Accepted(), 4u);
    EXPECT_EQ(reception.ReadingsVersion(), 5u);
    EXPECT_DOUBLE_EQ(reception.Readings().left, 1.0);
    EXPECT_DOUBLE_EQ(reception.Readings().right, 0.0);
    // Video off: stopped, freed, nothing more accepted.
    ASSERT_TRUE(a.SetVideoOn(false));
    a.Stream().WithCurrent([](const VideoFrame* f) { EXPECT_EQ(f, nullptr); });
    link.Receive(msg::kVideoFrame, Frame8A11(0, 64, 48, Bytes(packets_[6])));
    EXPECT_EQ(a.Stream().Accepted(), 4u);
    EXPECT_EQ(b.Stream().Accepted(), 5u);
}

// ------------------------------------------------------------------ requests

TEST(VideoPanel, RequestsEveryHundredMillisecondsWhileOn) {
    velcora::test::FakeLink link;
    CVideoPanelControl p(2, 240000, false);
    for (int i = 0; i < 5; ++i) {
        p.Tick(link, 20);
    }
    EXPECT_TRUE(link.sent.empty());  // video off
    ASSERT_TRUE(p.SetVideoOn(true));
    for (int i = 0; i < 11; ++i) {
        p.Tick(link, 20);
    }
    const auto req = link.Of(msg::kVideoRequest);
    ASSERT_EQ(req.size(), 3u);  // ticks 1, 6 and 11
    EXPECT_EQ(req[0].payload, std::string("\x02") + Le32(240000) + "\x03");
    // Not connected: nothing; a full send queue holds the request back.
    link.state = kStateConnecting;
    for (int i = 0; i < 10; ++i) {
        p.Tick(link, 20);
    }
    link.state = kStateAuthorised;
    link.queued = 101;
    for (int i = 0; i < 10; ++i) {
        p.Tick(link, 20);
    }
    EXPECT_EQ(link.Of(msg::kVideoRequest).size(), 3u);
    link.queued = 0;
    p.Tick(link, 20);
    EXPECT_EQ(link.Of(msg::kVideoRequest).size(), 4u);
}

TEST(VideoPanel, CameraCommandOnlyWhenConnectedAndUnlocked) {
    velcora::test::FakeLink link;
    CVideoPanelControl open(3, 30000, false), locked(1, 30000, true);
    EXPECT_TRUE(open.SendCameraCommand(link));
    EXPECT_FALSE(locked.SendCameraCommand(link));
    EXPECT_FALSE(locked.CameraCommandEnabled(link));
    link.state = kStateIdle;
    EXPECT_FALSE(open.CameraCommandEnabled(link));
    EXPECT_FALSE(open.SendCameraCommand(link));
    const auto sent = link.Of(msg::kVideoCommand);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, "\x03");
}

TEST(VideoPanel, ListsAndCaption) {
    EXPECT_EQ(VideoCaption(0), "Видео 1");
    EXPECT_EQ(CameraEntry(3), "Камера 3");
    EXPECT_EQ(VideoBitRateIndex(2500000), 8);
    EXPECT_EQ(VideoBitRateIndex(64000), -1);
}

}  // namespace
}  // namespace velcora::media
