#include "nav/gui/map_painter.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>

#include "gui/gui_app.h"

namespace velcora::nav {
namespace {

constexpr int kW = 400;
constexpr int kH = 300;

class Painter : public ::testing::Test {
  protected:
    Painter() { ui::test::App(); }
    QImage Render(const MapOverlay& overlay = {}) {
        QImage image(kW, kH, QImage::Format_RGB32);
        image.fill(Qt::gray);
        QPainter p(&image);
        CMapPainter().Paint(p, map, t, RobotShape{}, overlay);
        return image;
    }
    // Whether some pixel within `r` of (x, y) has the colour.
    static bool Near(const QImage& image, int x, int y, QColor colour, int r = 1) {
        for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
                const QPoint q(x + dx, y + dy);
                if (image.rect().contains(q) && image.pixelColor(q) == colour) {
                    return true;
                }
            }
        }
        return false;
    }
    CNavProject map{[] { return 0; }};
    CMapTransform t{{0, 0, kW, kH}, 1.0, {0, 0}};
};

class WallSide : public Painter, public ::testing::WithParamInterface<std::pair<int, QColor>> {};

TEST_P(WallSide, StrokeInTheSideColour) {
    map.robot.x = 1e5;  // out of the picture
    auto* w = map.walls.NewItem();
    w->x = 100;  // 40 px right of the middle
    w->side = static_cast<uint8_t>(GetParam().first);
    const QImage image = Render();
    EXPECT_TRUE(Near(image, 200 + 40 + 4, 150, GetParam().second));
    EXPECT_TRUE(Near(image, 200 + 40 - 10, 150, GetParam().second));
    EXPECT_FALSE(Near(image, 200 + 40 + 14, 150, GetParam().second));  // ends at +8
}

INSTANTIATE_TEST_SUITE_P(Sides, WallSide,
                         ::testing::Values(std::pair{0, QColor(0, 0, 153)},
                                           std::pair{1, QColor(0, 153, 0)},
                                           std::pair{2, QColor(153, 0, 0)},
                                           std::pair{3, QColor(102, 102, 102)}));

struct ZoneCase {
    int type;
    QColor fill;
    QColor outline;
};
class ZoneType : public Painter, public ::testing::WithParamInterface<ZoneCase> {};

TEST_P(ZoneType, FillAndOutline) {
    map.robot.x = 1e5;
    auto* z = map.zones.NewItem();
    z->zoneType = GetParam().type;
    z->SetVertexCount(4);
    // A square 200 x 200 cm = 80 x 80 px around the middle.
    z->Vertices()[0] = {-100, -100};
    z->Vertices()[1] = {100, -100};
    z->Vertices()[2] = {100, 100};
    z->Vertices()[3] = {-100, 100};
    QImage image = Render();
    EXPECT_EQ(image.pixelColor(200 + 20, 150 + 25), GetParam().fill);
    EXPECT_TRUE(Near(image, 200 + 10, 150 - 40, GetParam().outline));

    // Selected: black outline and black dots on the vertices.
    z->selected = true;
    image = Render();
    EXPECT_TRUE(Near(image, 200 + 10, 150 - 40, Qt::black));
    EXPECT_EQ(image.pixelColor(200 + 40 + 2, 150 + 40 + 2), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(200 + 20, 150 + 25), GetParam().fill);
}

INSTANTIATE_TEST_SUITE_P(Types, ZoneType,
                         ::testing::Values(ZoneCase{0, {102, 102, 102}, {0, 0, 0}},
                                           ZoneCase{1, {238, 238, 238}, {136, 136, 136}},
                                           ZoneCase{3, {255, 255, 208}, {204, 204, 136}}));

TEST_F(Painter, TrafficLightZoneShowsItsNumberAndTwoVerticesAreALine) {
    map.robot.x = 1e5;
    auto* z = map.zones.NewItem();
    z->zoneType = kZoneTrafficLight;
    z->zoneNumber = 8;
    z->SetVertexCount(3);
    z->Vertices()[0] = {-200, -100};
    z->Vertices()[1] = {200, -100};
    z->Vertices()[2] = {0, 200};
    auto* line = map.zones.NewItem();
    line->SetVertexCount(2);
    line->Vertices()[0] = {-400, -300};
    line->Vertices()[1] = {-300, -300};
    const QImage image = Render();
    // Text pixels (dark) at the mean of the vertices, inside the pink fill.
    int dark = 0;
    for (int y = 150 - 20; y < 150 + 10; ++y) {
        for (int x = 200 - 10; x < 200 + 10; ++x) {
            dark += image.pixelColor(x, y).value() < 100 ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 3);
    EXPECT_EQ(image.pixelColor(200 + 30, 150 + 20), QColor(255, 224, 224));
    EXPECT_TRUE(Near(image, 200 - 140, 150 + 120, QColor(136, 136, 136)));
}

TEST_F(Painter, RouteSplitsAtItsProgress) {
    map.robot.x = 1e5;
    ASSERT_TRUE(map.route.SetPointCount(3));
    map.route.Points()[0] = {-300, 100, 0};
    map.route.Points()[1] = {0, 100, 0};
    map.route.Points()[2] = {300, 100, 0};
    map.route.progress = 1;
    QImage image = Render();
    EXPECT_TRUE(Near(image, 200 - 60, 150 - 40, kRouteDone));
    EXPECT_TRUE(Near(image, 200 + 60, 150 - 40, Qt::black));
    map.route.progress = -5;  // treated as 0: everything still to go
    image = Render();
    EXPECT_TRUE(Near(image, 200 - 60, 150 - 40, Qt::black));
}

TEST_F(Painter, RobotImagesPlacesAndObstacles) {
    auto* empty = map.images.NewItem();
    empty->x = -250;  // 100 px left
    auto* picture = map.images.NewItem();
    picture->x = 250;
    ASSERT_TRUE(picture->SetImageSize(2, 2));
    auto* place = map.places.NewItem();
    place->y = 250;
    place->placeNumber = 7;
    auto* obstacle = map.obstacles.NewItem();
    obstacle->y = -250;
    const QImage image = Render();
    // The robot: fill inside its outline, the red handle 40 px ahead.
    EXPECT_EQ(image.pixelColor(200 - 10, 150 + 5), kRobotFill);
    EXPECT_EQ(image.pixelColor(200 + 40, 150), QColor(Qt::red));
    EXPECT_TRUE(Near(image, 200 - 100 + 4, 150, Qt::red));
    EXPECT_TRUE(Near(image, 200 + 100 + 4, 150, Qt::black));
    EXPECT_EQ(image.pixelColor(200 - 14, 150 - 100 - 10), kPlaceFill);
    // Cross hatching: both grey and white inside the obstacle's square.
    bool grey = false;
    bool white = false;
    for (int y = 150 + 100 - 7; y < 150 + 100 + 7; ++y) {
        for (int x = 200 - 7; x < 200 + 7; ++x) {
            grey |= image.pixelColor(x, y) == kObstacleColour;
            white |= image.pixelColor(x, y) == QColor(Qt::white);
        }
    }
    EXPECT_TRUE(grey);
    EXPECT_TRUE(white);
}

TEST_F(Painter, NonFiniteAndFarItemsAreSkipped) {
    map.robot.x = NAN;
    for (double v : {double(NAN), double(INFINITY), 1e300, -1e300}) {
        map.walls.NewItem()->x = v;
        map.images.NewItem()->y = v;
        auto* z = map.zones.NewItem();
        z->SetVertexCount(3);
        z->Vertices()[0] = {v, 0};
        z->Vertices()[1] = {0, v};
        z->Vertices()[2] = {v, v};
    }
    const QImage image = Render();
    // White background and grey grid only.
    for (int y = 0; y < kH; y += 7) {
        for (int x = 0; x < kW; x += 7) {
            const QColor c = image.pixelColor(x, y);
            ASSERT_TRUE(c == QColor(Qt::white) || c == kGridColour || c.red() == c.blue())
                << x << "," << y;
        }
    }
}

TEST_F(Painter, RubberBandIsDotted) {
    map.robot.x = 1e5;
    MapOverlay overlay;
    overlay.rubberBand = std::pair{ScreenPoint{50, 50}, ScreenPoint{150, 120}};
    const QImage image = Render(overlay);
    int black = 0;
    for (int x = 50; x <= 150; ++x) {
        black += image.pixelColor(x, 50) == QColor(Qt::black) ? 1 : 0;
    }
    EXPECT_GT(black, 20);
    EXPECT_LT(black, 90);
}

TEST(FitMap, TakesTheFiniteItems) {
    ui::test::App();
    CNavProject map([] { return 0; });
    map.walls.NewItem()->x = 1000;
    map.walls.NewItem()->x = -1000;
    map.walls.NewItem()->x = NAN;
    const CMapTransform t = FitMap(map, {}, {0, 0, 1280, 800});
    EXPECT_NEAR(t.Centre().x, 0, 1e-9);
    EXPECT_GT(t.ToScreen(1000, 0).x, 1200);
    EXPECT_LT(t.ToScreen(1000, 0).x, 1280);
}

}  // namespace
}  // namespace velcora::nav
