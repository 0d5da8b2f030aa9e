#include "nav/nav_project.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace velcora::nav {
namespace {

NavRandomSource Sequence(std::vector<int32_t> draws) {
    return [draws = std::move(draws), i = std::size_t{0}]() mutable {
        return draws[i++ % draws.size()];
    };
}

TEST(NavProject, MapIdComesFromTwoDrawsAndIsRenewedOnClear) {
    CNavProject map(Sequence({0x1234, 0x7FFF, 1, 2}));
    EXPECT_EQ(map.mapId, 0x12347FFFu);
    auto* wall = map.walls.NewItem();
    wall->x = 5;
    map.robot.x = 7;
    map.route.SetPointCount(3);
    map.Clear();
    EXPECT_EQ(map.mapId, 0x00010002u);
    EXPECT_EQ(map.walls.First(), nullptr);
    EXPECT_EQ(map.nextVersion, 0);
    EXPECT_EQ(map.robot.x, 7);  // the pose and the route survive a clear
    EXPECT_EQ(map.route.PointCount(), 3);
}

TEST(NavProject, DefaultSourceKeepsBits15And31Clear) {
    for (int i = 0; i < 50; ++i) {
        CNavProject map;
        EXPECT_EQ(map.mapId & 0x80008000u, 0u);
    }
}

TEST(NavProject, NewItemsTakeTheCounterAndRenumberRunsAcrossListsInOrder) {
    CNavProject map;
    auto* place = map.places.NewItem();
    auto* image = map.images.NewItem();
    auto* line = map.floorLines.NewItem();
    auto* zone = map.zones.NewItem();
    EXPECT_EQ(place->id, 0);
    EXPECT_EQ(place->version, 0);
    EXPECT_EQ(zone->id, 3);
    EXPECT_EQ(map.nextVersion, 4);
    map.Renumber();
    EXPECT_EQ(image->id, 1);
    EXPECT_EQ(place->id, 2);
    EXPECT_EQ(zone->id, 3);
    EXPECT_EQ(line->id, 4);
    EXPECT_EQ(line->version, 4);
    EXPECT_EQ(map.nextVersion, 5);
}

TEST(NavProject, VersionCounterSaturatesInsteadOfTurningNegative) {
    CNavProject map;
    map.RaiseVersion(INT32_MAX);
    EXPECT_EQ(map.nextVersion, INT32_MAX);
    auto* a = map.walls.NewItem();
    auto* b = map.walls.NewItem();
    EXPECT_EQ(a->version, INT32_MAX);
    EXPECT_EQ(b->version, INT32_MAX);
    map.RaiseVersion(-10);
    EXPECT_EQ(map.nextVersion, INT32_MAX);
}

TEST(NavProject, ItemsUnlinkThemselvesFromAnyPosition) {
    CNavProject map;
    auto* a = map.walls.NewItem();
    auto* b = map.walls.NewItem();
    auto* c = map.walls.NewItem();
    delete b;
    EXPECT_EQ(a->Next(), c);
    EXPECT_EQ(c->Prev(), a);
    delete a;
    EXPECT_EQ(map.walls.First(), c);
    delete c;
    EXPECT_EQ(map.walls.First(), nullptr);
    EXPECT_EQ(map.walls.Last(), nullptr);
}

TEST(NavProject, SelectionOperations) {
    CNavProject map;
    auto* wall = map.walls.NewItem();
    auto* zone = map.zones.NewItem();
    auto* hidden = map.places.NewItem();
    auto* kept = map.places.NewItem();
    zone->SetVertexCount(2);
    zone->Vertices()[1] = {10, 20};
    wall->angle = 1.5;
    hidden->version = -1;

    EXPECT_FALSE(map.HasSelection());
    map.robot.selected = true;
    EXPECT_FALSE(map.HasSelection());  // the robot does not count
    hidden->selected = true;
    EXPECT_FALSE(map.HasSelection());  // nor an item that is never written
    map.SelectAll(true);
    kept->selected = false;
    EXPECT_TRUE(map.HasSelection());
    EXPECT_EQ(CNavProject::CountWritable(map.places, false), 1);
    EXPECT_EQ(CNavProject::CountWritable(map.places, true), 0);

    map.MoveSelection(3, -4);
    EXPECT_EQ(wall->x, 3);
    EXPECT_EQ(wall->y, -4);
    EXPECT_EQ(wall->angle, 1.5);
    EXPECT_EQ(zone->Vertices()[0].x, 3);
    EXPECT_EQ(zone->Vertices()[1].y, 16);
    EXPECT_EQ(map.robot.x, 3);
    EXPECT_EQ(kept->x, 0);

    map.DeleteSelection();
    EXPECT_EQ(map.walls.First(), nullptr);
    EXPECT_EQ(map.zones.First(), nullptr);
    EXPECT_EQ(map.places.First(), kept);
    EXPECT_EQ(map.places.Last(), kept);
}

TEST(NavProject, FindPlaceByNumberSkipsTheExcludedPlace) {
    CNavProject map;
    auto* a = map.places.NewItem();
    auto* b = map.places.NewItem();
    a->placeNumber = 4;
    b->placeNumber = 4;
    EXPECT_EQ(map.FindPlaceByNumber(4), a);
    EXPECT_EQ(map.FindPlaceByNumber(4, a), b);
    EXPECT_EQ(map.FindPlaceByNumber(5), nullptr);
    EXPECT_EQ(CNavProject::FindById(map.places, b->id), b);
    EXPECT_EQ(CNavProject::FindById(map.places, 99), nullptr);
}

struct ContainsCase {
    std::vector<NavVertex> vertices;
    double x, y;
    bool inside;
};

class ZoneContainsTest : public ::testing::TestWithParam<ContainsCase> {};

TEST_P(ZoneContainsTest, EvenOddRule) {
    CNavProject map;
    auto* zone = map.zones.NewItem();
    const auto& c = GetParam();
    ASSERT_TRUE(zone->SetVertexCount(static_cast<int32_t>(c.vertices.size())));
    for (std::size_t i = 0; i < c.vertices.size(); ++i) {
        zone->Vertices()[i] = c.vertices[i];
    }
    EXPECT_EQ(CNavProject::ZoneContains(*zone, c.x, c.y), c.inside);
}

const std::vector<NavVertex> kTriangle{{0, 0}, {100, 0}, {0, 100}};
const std::vector<NavVertex> kNotch{{0, 0}, {100, 0}, {100, 100}, {50, 20}, {0, 100}};

INSTANTIATE_TEST_SUITE_P(
    Shapes, ZoneContainsTest,
    ::testing::Values(ContainsCase{kTriangle, 10, 10, true}, ContainsCase{kTriangle, 60, 60, false},
                      ContainsCase{{{0, 0}, {100, 100}}, 50, 50, false},
                      ContainsCase{{}, 0, 0, false}, ContainsCase{kNotch, 50, 50, false},
                      ContainsCase{kNotch, 90, 50, true}, ContainsCase{kNotch, 10, 50, true},
                      ContainsCase{kTriangle, -1, 10, false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(NavProject, ImageAndZoneBlocksResizeAsAsked) {
    CNavProject map;
    auto* image = map.images.NewItem();
    ASSERT_TRUE(image->SetImageSize(4, 3));
    uint8_t* block = image->Pixels();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(image->PixelCount(), 12);
    EXPECT_TRUE(image->SetImageSize(4, 3));
    EXPECT_EQ(image->Pixels(), block);  // unchanged sizes keep the block
    EXPECT_TRUE(image->SetImageSize(0, 3));
    EXPECT_EQ(image->Pixels(), nullptr);
    EXPECT_EQ(image->Width(), 0);
    EXPECT_EQ(image->Height(), 0);

    auto* zone = map.zones.NewItem();
    EXPECT_TRUE(zone->SetVertexCount(-5));
    EXPECT_EQ(zone->VertexCount(), 0);
    EXPECT_TRUE(zone->SetVertexCount(5));
    EXPECT_EQ(zone->VertexCount(), 5);
    EXPECT_TRUE(zone->SetVertexCount(0));
    EXPECT_EQ(zone->Vertices(), nullptr);
}

TEST(NavProject, RouteCapacityGrowsInStepsOf64) {
    CNavProject map;
    EXPECT_EQ(map.route.Capacity(), 0);
    ASSERT_TRUE(map.route.SetPointCount(1));
    EXPECT_EQ(map.route.Capacity(), 64);
    map.route.Points()[0] = {1, 2, 3};
    ASSERT_TRUE(map.route.SetPointCount(64));
    EXPECT_EQ(map.route.Capacity(), 64);
    ASSERT_TRUE(map.route.SetPointCount(65));
    EXPECT_EQ(map.route.Capacity(), 128);
    EXPECT_EQ(map.route.Points()[0].y, 2);
    EXPECT_FALSE(map.route.SetPointCount(-1));
    EXPECT_EQ(map.route.PointCount(), 65);
    ASSERT_TRUE(map.route.SetPointCount(0));
    EXPECT_EQ(map.route.Capacity(), 0);
    EXPECT_EQ(map.route.Points(), nullptr);
}

struct TiltCase {
    double angleDegrees;
    double snappedDegrees;
    double tiltDegrees;
};

class FloorLineTiltTest : public ::testing::TestWithParam<TiltCase> {};

TEST_P(FloorLineTiltTest, SnapsToRightAnglesAndKeepsTheRest) {
    constexpr double kRad = std::numbers::pi / 180;
    CNavProject map;
    auto* line = map.floorLines.NewItem();
    line->angle = GetParam().angleDegrees * kRad;
    line->DeriveTiltFromAngle();
    EXPECT_NEAR(line->angle, GetParam().snappedDegrees * kRad, 1e-12);
    EXPECT_NEAR(line->tilt, GetParam().tiltDegrees * kRad, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Angles, FloorLineTiltTest,
                         ::testing::Values(TiltCase{100, 90, 10}, TiltCase{80, 90, -10},
                                           TiltCase{-100, -90, -10}, TiltCase{44, 0, 44},
                                           TiltCase{46, 90, -44}, TiltCase{0, 0, 0},
                                           TiltCase{370, 360, 10}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

}  // namespace
}  // namespace velcora::nav
