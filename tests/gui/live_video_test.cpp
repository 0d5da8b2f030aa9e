// A video panel on screen against the simulated robot's cameras.
#include <QImage>
#include <QMenu>

#include "gui/live_fixture.h"
#include "media/gui/video_panel.h"
#include "media/video_paint.h"

namespace velcora::media {
namespace {

using test::Near;

QColor Q(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

class LiveVideo : public test::LiveRobot {
  protected:
    void SetUp() override {
        Start([this] {
            panel = new CVideoPanel(form, ui::kAlignLeft, CVideoPanel::kDefaultWidth,
                                    CVideoPanel::kDefaultHeight, *link, 0, 240000, false);
            reception = std::make_unique<CVideoReception>(
                *link, std::vector<CVideoPanelControl*>{&panel->Control()});
            panel->SetReception(reception.get());
            onTick = [this](int32_t ms) { panel->Tick(ms); };
        });
    }
    QImage Area() const { return panel->DrawingArea()->Widget()->grab().toImage(); }

    // The rendered area against the fit rules for a w x h picture.
    void ExpectFramedPicture(const QImage& img, int w, int h) {
        SCOPED_TRACE(testing::Message() << img.width() << "x" << img.height());
        const VideoLayout l = LayoutVideo({0, 0, img.width(), img.height()}, w, h);
        ASSERT_TRUE(l.hasPicture);
        const RangefinderReadings r = reception->Readings();
        auto at = [&](int x, int y) { return img.pixelColor(x, y); };
        auto gradient = [&](int y) { return Q(GradientColour(y, img.height())); };
        // Strips on three sides in their readings' colours.
        const int midY = l.picture.top + l.H / 2;
        EXPECT_TRUE(Near(at(l.leftStrip.left + 1, midY), Q(StripColour(r.left))));
        EXPECT_TRUE(Near(at(l.rightStrip.left + 1, midY), Q(StripColour(r.right))));
        EXPECT_TRUE(
            Near(at(l.picture.left + l.W / 2, l.topStrip.top + 1), Q(StripColour(r.forward))));
        // No strip below the picture; the gradient outside the frame.
        if (l.picture.bottom < img.height()) {
            EXPECT_TRUE(
                Near(at(l.picture.left + l.W / 2, l.picture.bottom), gradient(l.picture.bottom)));
        }
        if (l.ox > 0) {
            EXPECT_TRUE(Near(at(l.ox - 1, midY), gradient(midY)));
        }
        if (l.oy > 0) {
            EXPECT_TRUE(Near(at(l.picture.left + 5, l.oy - 1), gradient(l.oy - 1)));
        }
        // Inside: the camera's picture with the robot's red lines over it.
        int notGradient = 0, red = 0, samples = 0;
        for (int y = l.picture.top; y < l.picture.bottom; y += 2) {
            for (int x = l.picture.left; x < l.picture.right; x += 2) {
                const QColor c = at(x, y);
                ++samples;
                notGradient += !Near(c, gradient(y), 6);
                red += c.red() > 240 && c.green() < 20 && c.blue() < 20;
            }
        }
        EXPECT_GT(notGradient, samples / 2);
        EXPECT_GT(red, 10);
    }

    CVideoPanel* panel = nullptr;
    std::unique_ptr<CVideoReception> reception;
};

TEST_F(LiveVideo, ButtonStreamsPaintsAndClears) {
    QImage img = Area();
    EXPECT_TRUE(Near(img.pixelColor(img.width() / 2, 0), Q(GradientColour(0, img.height()))));

    const uint32_t pressed = reactor->Now();
    panel->VideoButton()->Press();
    ASSERT_TRUE(panel->VideoOn());
    // Decoded pictures on screen within a second.
    ASSERT_TRUE(reactor->RunUntil([&] { return panel->Age().HasPicture(); }, 1000));
    EXPECT_LT(reactor->Now() - pressed, 1000u);
    Run(600);
    const auto requests = TimesOf(msg::kVideoRequest);
    ASSERT_GE(requests.size(), 5u);
    // Each request goes on the first tick 80 ms after the one before, about
    // every 100 ms; late ticks on a busy machine stretch that, never shorten.
    EXPECT_GE(MeanGap(requests), 78.0);
    EXPECT_LE(MeanGap(requests), 180.0);
    EXPECT_GT(panel->Age().FramesPerSecond(), 5.0);
    // The simulator stamps its pictures, so the delay counts from its clock.
    EXPECT_TRUE(panel->Age().Stamped());
    EXPECT_LT(panel->Age().DelayMs(), 1000);

    // The picture where the fit rules put it: limited by the height, then by
    // the width.
    ExpectFramedPicture(Area(), 320, 240);
    form->Widget()->resize(300, 460);
    Run(200);
    ExpectFramedPicture(Area(), 320, 240);

    // Released: no more requests, only the gradient.
    panel->VideoButton()->Press();
    EXPECT_FALSE(panel->VideoOn());
    EXPECT_FALSE(panel->Age().HasPicture());
    const size_t before = TimesOf(msg::kVideoRequest).size();
    Run(500);
    EXPECT_EQ(TimesOf(msg::kVideoRequest).size(), before);
    img = Area();
    for (int y = 0; y < img.height(); y += 7) {
        for (int x = 0; x < img.width(); x += 11) {
            ASSERT_TRUE(Near(img.pixelColor(x, y), Q(GradientColour(y, img.height()))))
                << x << "," << y;
        }
    }
}

TEST_F(LiveVideo, CameraCommandOnlyWhenConnectedAndUnlocked) {
    auto enabled = [](CVideoPanel* p) {
        p->DrawingArea()->ShowPopupMenu(p->DrawingArea()->Widget()->mapToGlobal(QPoint(5, 5)));
        p->Menu()->Menu()->hide();
        return p->Menu()->Item(CVideoPanel::kCmdCameraCommand)->isEnabled();
    };
    EXPECT_TRUE(enabled(panel));
    panel->SetCamera(2);
    panel->Menu()->Item(CVideoPanel::kCmdCameraCommand)->trigger();
    ASSERT_TRUE(reactor->RunUntil([&] { return !TimesOf(msg::kVideoCommand).empty(); }, 2000));

    auto* locked = new CVideoPanel(form, ui::kAlignRight, 200, 200, *link, 1, 50000, true);
    EXPECT_FALSE(enabled(locked));
    EXPECT_FALSE(locked->BitRateList()->IsEnabled());
    EXPECT_EQ(locked->BitRateList()->ItemIndex(), 1);
    EXPECT_EQ(locked->CameraList()->ItemIndex(), 1);
    EXPECT_EQ(locked->CameraList()->ItemText(3), QStringLiteral("Камера 3"));
    locked->Destroy();
    // A bit rate that is not offered selects nothing.
    panel->SetBitRate(400000);
    EXPECT_EQ(panel->BitRateList()->ItemIndex(), -1);
    link->Disconnect();
    EXPECT_FALSE(enabled(panel));
}

}  // namespace
}  // namespace velcora::media
