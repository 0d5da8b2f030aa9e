#include "nav/map_editor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "nav/map_format.h"
#include "support/fake_link.h"
#include "support/temp_folder.h"

namespace velcora::nav {
namespace {

using test::FakeLink;
constexpr double kPi = std::numbers::pi;

struct EditorView : IMapEditorView {
    void Redraw() override { ++redraws; }
    void CommandsChanged() override { ++commandChanges; }
    void ShowTool(MapTool t) override { tool = t; }
    void PutOnClipboard(const std::string& bytes) override { clipboard = bytes; }
    void ShowError(const std::u16string& text, int32_t ms) override {
        errors.push_back(text);
        errorMs = ms;
    }
    void ShowLoadFromRobot(bool on) override { loadShown = on; }
    void ShowNavMode(NavMode m) override { mode = m; }
    void UploadOpened(uint32_t) override { ++uploads; }

    int redraws = 0;
    int commandChanges = 0;
    MapTool tool = MapTool::Select;
    std::string clipboard;
    std::vector<std::u16string> errors;
    int32_t errorMs = 0;
    bool loadShown = false;
    NavMode mode = NavMode::Off;
    int uploads = 0;
};

std::string Le32(uint32_t v) {
    CMemoryStream s;
    WriteU32(s, v);
    return std::string(s.View());
}

// NavStateMap: mode, flags, mapId, nextVersion, status, then the body of `source`.
std::string StateMap(uint32_t mapId, const CNavProject& source) {
    CMemoryStream s;
    WriteU8(s, 1);
    WriteU8(s, 0);
    WriteU32(s, mapId);
    WriteI32(s, source.nextVersion);
    WriteRobotNavStatus(s, {});
    WriteBody(source, s, MapScope::Whole);
    return std::string(s.View());
}

class Editor : public ::testing::Test {
  protected:
    Editor() { editor.SetViewRect({0, 0, 800, 600}); }

    // Screen position of a map point in the 800 x 600 view.
    ScreenPoint At(double x, double y) const { return editor.Transform().ToScreen(x, y); }
    void Click(ScreenPoint p, InputModifiers m = {}) {
        editor.MouseDown(MouseButton::Left, p, m);
        editor.MouseUp(MouseButton::Left, p, m);
    }
    void Drag(ScreenPoint from, ScreenPoint to, InputModifiers m = {}) {
        editor.MouseDown(MouseButton::Left, from, m);
        editor.MouseMove(to, m);
        editor.MouseUp(MouseButton::Left, to, m);
    }
    CNavWall* AddWall(double x, double y, double angle = 0) {
        auto* w = map().walls.NewItem();
        w->x = x;
        w->y = y;
        w->angle = angle;
        return w;
    }
    CNavPlace* AddPlace(double x, double y, int32_t number) {
        auto* p = map().places.NewItem();
        p->x = x;
        p->y = y;
        p->placeNumber = number;
        return p;
    }
    CNavImage* AddImage(double x, double y) {
        auto* i = map().images.NewItem();
        i->x = x;
        i->y = y;
        return i;
    }
    CNavProject& map() { return editor.Map(); }
    // Puts the robot away from the items the tests place near the origin.
    void ParkRobot() { map().robot.x = 5000; }
    void ReceiveRobotMap(uint32_t mapId, const CNavProject& source) {
        link.Receive(msg::kNavStateMap, StateMap(mapId, source));
    }

    FakeLink link;
    EditorView view;
    CMapEditor editor{link, view, RobotShape{}, [] { return 7; }};
};

// ---------------------------------------------------------------- transform

struct TransformCase {
    ScreenRect rect;
    double scale;
    MapPoint centre;
    MapPoint point;
    ScreenPoint expected;
};

class TransformTable : public ::testing::TestWithParam<TransformCase> {};

TEST_P(TransformTable, MapsToScreen) {
    const auto& c = GetParam();
    const CMapTransform t(c.rect, c.scale, c.centre);
    EXPECT_EQ(t.ToScreen(c.point.x, c.point.y), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransformTable,
    ::testing::Values(
        // 100 cm at scale 1 is 40 pixels right of the middle.
        TransformCase{{0, 0, 800, 600}, 1.0, {0, 0}, {100, 0}, {440, 300}},
        // Map y grows upward.
        TransformCase{{0, 0, 800, 600}, 1.0, {0, 0}, {0, 100}, {400, 260}},
        // Halved edge sums use integer division.
        TransformCase{{0, 0, 801, 601}, 1.0, {0, 0}, {0, 0}, {400, 300}},
        TransformCase{{10, 20, 811, 621}, 1.0, {0, 0}, {0, 0}, {410, 320}},
        // Offsets truncate toward zero on both sides.
        TransformCase{{0, 0, 800, 600}, 1.0, {0, 0}, {-3, 0}, {399, 300}},
        TransformCase{{0, 0, 800, 600}, 1.0, {0, 0}, {3, 0}, {401, 300}},
        TransformCase{{0, 0, 800, 600}, 1.0, {0, 0}, {-1, -1}, {400, 300}},
        TransformCase{{0, 0, 800, 600}, 2.0, {50, 50}, {0, 0}, {360, 340}},
        // Huge values are clamped, never overflowed.
        TransformCase{
            {0, 0, 800, 600}, 1000.0, {0, 0}, {1e300, -1e300}, {400 + (1 << 24), 300 + (1 << 24)}},
        TransformCase{{0, 0, 800, 600}, 1.0, {0, 0}, {-INFINITY, 0}, {400 - (1 << 24), 300}}));

TEST(Transform, ScreenBackToMapAndScaleLimits) {
    CMapTransform t({0, 0, 800, 600}, 1.0, {10, 20});
    const MapPoint m = t.ToMap(ScreenPoint{440, 260});
    EXPECT_DOUBLE_EQ(m.x, 110);
    EXPECT_DOUBLE_EQ(m.y, 120);
    t.SetScale(1e9);
    EXPECT_EQ(t.Scale(), CMapTransform::kMaxScale);
    t.SetScale(0);
    EXPECT_EQ(t.Scale(), CMapTransform::kMinScale);
    t.SetScale(NAN);
    EXPECT_EQ(t.Scale(), CMapTransform::kMinScale);
    t.SetCentre({NAN, 1});
    EXPECT_EQ(t.Centre().x, 10);
}

TEST_F(Editor, ZoomStepsAndWheelNotches) {
    for (int i = 0; i < 3; ++i) {
        editor.ZoomIn();
    }
    EXPECT_NEAR(editor.Transform().Scale(), 2.744, 1e-12);
    editor.ZoomOut();
    EXPECT_NEAR(editor.Transform().Scale(), 1.96, 1e-12);

    CMapEditor wheel(link, view);
    wheel.Wheel(60);  // half a notch: nothing yet
    EXPECT_EQ(wheel.Transform().Scale(), 1.0);
    wheel.Wheel(60);
    EXPECT_NEAR(wheel.Transform().Scale(), 1.1, 1e-12);
    wheel.Wheel(-240);
    EXPECT_NEAR(wheel.Transform().Scale(), 1 / 1.1, 1e-12);
    for (int i = 0; i < 200; ++i) {
        wheel.Wheel(-1200);
    }
    EXPECT_EQ(wheel.Transform().Scale(), CMapTransform::kMinScale);
}

// --------------------------------------------------------------- hit test

TEST_F(Editor, HitOrderAtOnePoint) {
    // One of each kind stacked at the origin; each removal uncovers the next.
    auto* zone = map().zones.NewItem();
    zone->SetVertexCount(3);
    zone->Vertices()[0] = {-100, -100};
    zone->Vertices()[1] = {100, -100};
    zone->Vertices()[2] = {0, 100};
    auto* obstacle = map().obstacles.NewItem();
    (void)obstacle;
    auto* wall = AddWall(0, 0);
    auto* image = AddImage(0, 0);
    auto* line = map().floorLines.NewItem();
    auto* place = AddPlace(0, 0, 1);
    const ScreenPoint p = At(0, 0);
    const CMapTransform& t = editor.Transform();
    const RobotShape shape;

    const std::vector<std::pair<CNavItem*, ItemKind>> order{
        {place, ItemKind::Place}, {&map().robot, ItemKind::Robot}, {line, ItemKind::FloorLine},
        {image, ItemKind::Image}, {wall, ItemKind::Wall},          {zone, ItemKind::Zone}};
    for (const auto& [item, kind] : order) {
        const HitResult hit = HitTest(map(), t, shape, p);
        ASSERT_EQ(hit.item, item) << int(kind);
        EXPECT_EQ(hit.kind, kind);
        if (item == &map().robot) {
            ParkRobot();
        } else {
            delete item;
        }
    }
    // Only the obstacle is left, and obstacles are never hit.
    EXPECT_EQ(HitTest(map(), t, shape, p).kind, ItemKind::None);
}

struct ToleranceCase {
    const char* what;
    ItemKind kind;
    int dx, dy;  // from the item's screen position; items face +x
    bool hit;
};

class HitTolerance : public ::testing::TestWithParam<ToleranceCase> {};

TEST_P(HitTolerance, Edges) {
    const auto& c = GetParam();
    CNavProject map([] { return 0; });
    map.robot.x = 1e6;
    CNavPointItem* item = nullptr;
    switch (c.kind) {
        case ItemKind::Place:
            item = map.places.NewItem();
            break;
        case ItemKind::FloorLine:
            item = map.floorLines.NewItem();
            break;
        case ItemKind::Image:
            item = map.images.NewItem();
            break;
        case ItemKind::Wall:
            item = map.walls.NewItem();
            break;
        default:
            FAIL();
    }
    const CMapTransform t({0, 0, 800, 600}, 1.0, {0, 0});
    const HitResult hit = HitTest(map, t, {}, {400 + c.dx, 300 + c.dy});
    EXPECT_EQ(hit.item == item, c.hit) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HitTolerance,
    ::testing::Values(ToleranceCase{"place across", ItemKind::Place, -5, 17, true},
                      ToleranceCase{"place across out", ItemKind::Place, -5, 18, false},
                      ToleranceCase{"place at its point", ItemKind::Place, 0, 0, true},
                      ToleranceCase{"place ahead", ItemKind::Place, 1, 0, false},
                      ToleranceCase{"place back", ItemKind::Place, -16, 0, true},
                      ToleranceCase{"place back out", ItemKind::Place, -17, 0, false},
                      ToleranceCase{"floor line along", ItemKind::FloorLine, 18, 10, true},
                      ToleranceCase{"floor line out", ItemKind::FloorLine, 19, 0, false},
                      ToleranceCase{"image", ItemKind::Image, -10, 8, true},
                      ToleranceCase{"image out", ItemKind::Image, 0, 9, false},
                      ToleranceCase{"wall", ItemKind::Wall, 12, -8, true},
                      ToleranceCase{"wall out", ItemKind::Wall, 13, 0, false}));

TEST_F(Editor, ItemsAtNonFinitePositionsAreNeverHit) {
    auto* wall = AddWall(NAN, 0);
    auto* image = AddImage(0, 0);
    image->angle = INFINITY;
    ParkRobot();
    EXPECT_EQ(HitTest(map(), editor.Transform(), {}, At(0, 0)).kind, ItemKind::None);
    (void)wall;
    map().robot.x = NAN;
    EXPECT_EQ(HitTest(map(), editor.Transform(), {}, {400 + 40, 300}).kind, ItemKind::None);
}

TEST_F(Editor, RobotHandleThenOutline) {
    // The handle is 40 pixels ahead; the outline reaches 16 cm ahead = 6 px.
    const CMapTransform& t = editor.Transform();
    auto hit = HitTest(map(), t, {}, {440 + 10, 300 - 10});
    EXPECT_EQ(hit.kind, ItemKind::Robot);
    EXPECT_EQ(hit.detail, 1);
    hit = HitTest(map(), t, {}, {400 - 16, 300});  // 40 cm behind
    EXPECT_EQ(hit.kind, ItemKind::Robot);
    EXPECT_EQ(hit.detail, 0);
    EXPECT_EQ(HitTest(map(), t, {}, {400 - 17, 300}).kind, ItemKind::None);  // 42.5 cm
    map().robot.angle = kPi / 2;  // the handle turns with the robot
    hit = HitTest(map(), t, {}, {400, 260});
    EXPECT_EQ(hit.detail, 1);
}

// ------------------------------------------------------------- select tool

TEST_F(Editor, RubberBandTakesEdgesButNotZones) {
    ParkRobot();
    auto* inside = AddWall(0, 0);
    auto* edge = AddImage(250, 0);  // 100 px right: on the band's edge
    auto* outside = AddPlace(260, 0, 1);
    auto* zone = map().zones.NewItem();
    zone->SetVertexCount(3);
    zone->Vertices()[0] = {10, 10};
    zone->Vertices()[1] = {20, 10};
    zone->Vertices()[2] = {10, 20};
    Drag({300, 200}, {500, 400});
    EXPECT_TRUE(inside->selected);
    EXPECT_TRUE(edge->selected);
    EXPECT_FALSE(outside->selected);
    EXPECT_FALSE(zone->selected);
    EXPECT_FALSE(editor.RubberBand());
}

TEST_F(Editor, CtrlToggleKeepsTheOthers) {
    ParkRobot();
    auto* a = AddWall(0, 0);
    auto* b = AddWall(200, 0);
    a->selected = b->selected = true;
    Click(At(0, 0), {.ctrl = true});
    EXPECT_FALSE(a->selected);
    EXPECT_TRUE(b->selected);
    Click(At(0, 0), {.ctrl = true});
    EXPECT_TRUE(a->selected);
    // Without Ctrl, a press on an unselected item selects only it.
    a->selected = false;
    Click(At(0, 0));
    EXPECT_TRUE(a->selected);
    EXPECT_FALSE(b->selected);
    // A press on nothing deselects everything.
    Click(At(-500, 0));
    EXPECT_FALSE(a->selected);
}

struct ThresholdCase {
    int dx, dy;
    bool drags;
};
class DragThreshold : public Editor, public ::testing::WithParamInterface<ThresholdCase> {};

TEST_P(DragThreshold, StartsBeyondEightAcrossOrNineDown) {
    ParkRobot();
    auto* wall = AddWall(0, 0);
    const ScreenPoint p = At(0, 0);
    editor.MouseDown(MouseButton::Left, p, {});
    editor.MouseMove({p.x + GetParam().dx, p.y + GetParam().dy}, {});
    EXPECT_EQ(editor.Dragging(), GetParam().drags);
    editor.MouseUp(MouseButton::Left, {p.x + GetParam().dx, p.y + GetParam().dy}, {});
    if (GetParam().drags) {
        // The item follows the pointer by the whole movement in map units.
        EXPECT_DOUBLE_EQ(wall->x, GetParam().dx / 0.4);
        EXPECT_DOUBLE_EQ(wall->y, -GetParam().dy / 0.4);
        EXPECT_TRUE(editor.History().CanUndo());
    } else {
        EXPECT_EQ(wall->x, 0);
        EXPECT_FALSE(editor.History().CanUndo());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DragThreshold,
                         ::testing::Values(ThresholdCase{8, 0, false}, ThresholdCase{9, 0, true},
                                           ThresholdCase{-9, 0, true}, ThresholdCase{0, 8, false},
                                           ThresholdCase{0, 9, true}, ThresholdCase{8, 8, false}));

struct SnapCase {
    double pointerDegrees;
    bool shift;
    double expectedDegrees;
};
class HeadingSnap : public Editor, public ::testing::WithParamInterface<SnapCase> {};

TEST_P(HeadingSnap, TurnsTheRobotAndSendsItsPose) {
    map().robot.x = 10;
    map().robot.y = -20;
    link.state = kStateAuthorised;
    editor.SetLoadFromRobot(true);
    const ScreenPoint r = At(10, -20);
    editor.MouseDown(MouseButton::Left, {r.x + 40, r.y}, {});
    EXPECT_FALSE(editor.Transfer().LoadFromRobot());  // off during the edit
    const double a = GetParam().pointerDegrees * kPi / 180;
    const ScreenPoint to{r.x + static_cast<int>(std::lround(100 * std::cos(a))),
                         r.y - static_cast<int>(std::lround(100 * std::sin(a)))};
    editor.MouseMove(to, {.shift = GetParam().shift});
    editor.MouseUp(MouseButton::Left, to, {.shift = GetParam().shift});
    EXPECT_NEAR(map().robot.angle * 180 / kPi, GetParam().expectedDegrees, 0.6);

    const auto sent = link.Of(msg::kRobotPoseSet);
    ASSERT_EQ(sent.size(), 1u);
    CMemoryStream s;
    s.Assign(sent[0].payload);
    ASSERT_EQ(sent[0].payload.size(), 24u);
    EXPECT_EQ(ReadDouble(s), 10.0);
    EXPECT_EQ(ReadDouble(s), -20.0);
    EXPECT_EQ(ReadDouble(s), map().robot.angle);
    EXPECT_TRUE(editor.Transfer().LoadFromRobot());  // restored after the pose
    EXPECT_FALSE(editor.History().CanUndo());        // the robot is never a step
}

INSTANTIATE_TEST_SUITE_P(Cases, HeadingSnap,
                         ::testing::Values(SnapCase{40, false, 45}, SnapCase{40, true, 40},
                                           SnapCase{-93, false, -90}, SnapCase{30, false, 30},
                                           SnapCase{178, false, 180}));

TEST_F(Editor, DraggingTheRobotSendsTheNewPose) {
    map().robot.selected = true;
    Drag(At(0, 0), {At(0, 0).x + 20, At(0, 0).y});
    const auto sent = link.Of(msg::kRobotPoseSet);
    ASSERT_EQ(sent.size(), 1u);
    CMemoryStream s;
    s.Assign(sent[0].payload);
    EXPECT_DOUBLE_EQ(ReadDouble(s), 50.0);
}

TEST_F(Editor, ZoneVertexFollowsThePointer) {
    ParkRobot();
    auto* zone = map().zones.NewItem();
    zone->SetVertexCount(3);
    zone->Vertices()[0] = {0, 0};
    zone->Vertices()[1] = {200, 0};
    zone->Vertices()[2] = {0, 200};
    zone->selected = true;
    Drag({At(200, 0).x + 5, At(200, 0).y - 5}, At(300, 100));
    EXPECT_DOUBLE_EQ(zone->Vertices()[1].x, 300);
    EXPECT_DOUBLE_EQ(zone->Vertices()[1].y, 100);
    EXPECT_DOUBLE_EQ(zone->Vertices()[0].x, 0);  // not a drag of the whole zone
    EXPECT_TRUE(editor.Undo());
    EXPECT_DOUBLE_EQ(map().zones.First()->Vertices()[1].x, 200);
}

// ---------------------------------------------------------------- zones

struct ZoneCase {
    int fixed;  // vertices clicked before closing
    bool stays;
};
class DrawZone : public Editor, public ::testing::WithParamInterface<ZoneCase> {};

TEST_P(DrawZone, ClosingOnTheFirstVertex) {
    ParkRobot();
    editor.SetTool(MapTool::DrawZone);
    const std::vector<ScreenPoint> points{{100, 100}, {300, 100}, {300, 300}, {100, 300}};
    for (int i = 0; i < GetParam().fixed; ++i) {
        editor.MouseMove(points[i], {});
        Click(points[i]);
    }
    editor.MouseMove({104, 96}, {});
    Click({104, 96});  // within 10 px of the first vertex
    EXPECT_FALSE(editor.DrawingZone());
    ASSERT_EQ(map().zones.Count(), GetParam().stays ? 1 : 0);
    if (GetParam().stays) {
        EXPECT_EQ(map().zones.First()->VertexCount(), GetParam().fixed);
        EXPECT_TRUE(map().zones.First()->selected);
        EXPECT_EQ(editor.CurrentKind(), ItemKind::Zone);
        EXPECT_TRUE(editor.History().CanUndo());
    } else {
        EXPECT_EQ(editor.CurrentKind(), ItemKind::None);
        EXPECT_FALSE(editor.History().CanUndo());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DrawZone,
                         ::testing::Values(ZoneCase{1, false}, ZoneCase{2, false},
                                           ZoneCase{3, true}, ZoneCase{4, true}));

TEST_F(Editor, EscRightClickAndToolChangeDropTheZoneBeingDrawn) {
    for (int way = 0; way < 3; ++way) {
        editor.SetTool(MapTool::DrawZone);
        Click({100, 100});
        Click({200, 100});
        EXPECT_TRUE(editor.DrawingZone());
        if (way == 0) {
            EXPECT_TRUE(editor.Escape());
        } else if (way == 1) {
            EXPECT_TRUE(editor.RightClickTaken());
            editor.MouseDown(MouseButton::Right, {0, 0}, {});
        } else {
            editor.SetTool(MapTool::Select);
        }
        EXPECT_FALSE(editor.DrawingZone()) << way;
        EXPECT_EQ(map().zones.Count(), 0) << way;
        EXPECT_EQ(editor.CurrentItem(), nullptr);
    }
}

// ------------------------------------------------------------- rotation

TEST_F(Editor, RotationCommitsOnClickAndRestoresOnEsc) {
    ParkRobot();
    auto* wall = AddWall(100, 0, 0.5);
    auto* zone = map().zones.NewItem();
    zone->SetVertexCount(2);
    zone->Vertices()[1] = {100, 0};
    wall->selected = zone->selected = true;
    editor.SetTool(MapTool::Rotate);
    // Pivot at the origin, reference direction +x.
    Drag(At(0, 0), At(100, 0));
    EXPECT_TRUE(editor.RotationArmed());
    editor.MouseMove(At(0, 100), {});  // a quarter turn
    EXPECT_NEAR(wall->x, 0, 1e-9);
    EXPECT_NEAR(wall->y, 100, 1e-9);
    EXPECT_NEAR(wall->angle, 0.5 + kPi / 2, 1e-9);
    EXPECT_DOUBLE_EQ(zone->Vertices()[1].x, 100);  // zones do not turn
    EXPECT_TRUE(editor.Escape());
    EXPECT_DOUBLE_EQ(wall->x, 100);
    EXPECT_DOUBLE_EQ(wall->angle, 0.5);

    Drag(At(0, 0), At(100, 0));
    editor.MouseMove(At(-100, 0), {});  // half a turn: the angle folds into [-pi, pi)
    Click(At(-100, 0));
    EXPECT_FALSE(editor.RotationArmed());
    EXPECT_EQ(editor.Tool(), MapTool::Select);
    EXPECT_EQ(view.tool, MapTool::Select);
    EXPECT_NEAR(wall->x, -100, 1e-9);
    EXPECT_NEAR(wall->angle, 0.5 - kPi, 1e-9);
    EXPECT_TRUE(editor.Undo());
    EXPECT_DOUBLE_EQ(map().walls.First()->x, 100);
}

TEST(Angles, FoldIntoHalfOpenRange) {
    EXPECT_DOUBLE_EQ(FoldAngle(kPi), -kPi);
    EXPECT_DOUBLE_EQ(FoldAngle(-kPi), -kPi);
    EXPECT_NEAR(FoldAngle(3 * kPi + 0.25), -kPi + 0.25, 1e-9);
    EXPECT_NEAR(FoldAngle(-0.25), -0.25, 1e-15);
    EXPECT_EQ(FoldAngle(NAN), 0);
}

// ------------------------------------------------------------- commands

TEST_F(Editor, CutThenPasteRestoresTheOldIds) {
    ParkRobot();
    AddWall(0, 0);
    auto* b = AddWall(10, 0);
    auto* place = AddPlace(20, 0, 4);
    const int32_t wallId = b->id;
    const int32_t placeId = place->id;
    b->selected = place->selected = true;
    Click(At(10, 0));  // b becomes the current item
    editor.Cut();
    EXPECT_EQ(editor.CurrentItem(), nullptr);
    EXPECT_EQ(map().walls.Count(), 1);
    EXPECT_EQ(map().places.Count(), 0);
    ASSERT_FALSE(view.clipboard.empty());
    AddWall(99, 99);  // takes the next id
    ASSERT_TRUE(editor.Paste(view.clipboard));
    ASSERT_NE(CNavProject::FindById(map().walls, wallId), nullptr);
    EXPECT_EQ(static_cast<CNavWall*>(CNavProject::FindById(map().walls, wallId))->x, 10);
    ASSERT_NE(CNavProject::FindById(map().places, placeId), nullptr);
    EXPECT_GT(map().nextVersion, std::max(wallId, placeId));
    // Later items never take a pasted id.
    auto* fresh = AddWall(0, 50);
    EXPECT_NE(fresh->id, wallId);
    EXPECT_NE(fresh->id, placeId);
}

TEST_F(Editor, PasteOfGarbageChangesNothing) {
    AddWall(0, 0);
    EXPECT_FALSE(editor.Paste("garbage bytes that are no map"));
    EXPECT_FALSE(editor.Paste(""));
    EXPECT_EQ(map().walls.Count(), 1);
    EXPECT_FALSE(editor.History().CanUndo());
}

struct SelectLastCase {
    const char16_t* text;
    bool ok;
    int selected;
};
class SelectLast : public Editor, public ::testing::WithParamInterface<SelectLastCase> {};

TEST_P(SelectLast, TakesTheNewestImages) {
    for (int i = 0; i < 8; ++i) {
        AddImage(i, 0);
    }
    auto* wall = AddWall(0, 0);
    wall->selected = true;
    EXPECT_EQ(editor.SelectLast(GetParam().text), GetParam().ok);
    if (!GetParam().ok) {
        ASSERT_EQ(view.errors.size(), 1u);
        EXPECT_EQ(view.errors[0], u"Число введено неверно!");
        EXPECT_EQ(view.errorMs, 10000);
        EXPECT_TRUE(wall->selected);
        return;
    }
    EXPECT_FALSE(wall->selected);
    int selected = 0;
    bool newestFirst = true;
    bool seenUnselected = false;
    for (auto* it = map().images.Last(); it; it = static_cast<CNavImage*>(it->Prev())) {
        if (it->selected) {
            ++selected;
            newestFirst &= !seenUnselected;
        } else {
            seenUnselected = true;
        }
    }
    EXPECT_EQ(selected, GetParam().selected);
    EXPECT_TRUE(newestFirst);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectLast,
    ::testing::Values(SelectLastCase{u"0", false, 0}, SelectLastCase{u"abc", false, 0},
                      SelectLastCase{u"-3", false, 0}, SelectLastCase{u"", false, 0},
                      SelectLastCase{u"5", true, 5}, SelectLastCase{u" 2 ", true, 2},
                      SelectLastCase{u"99999999999", true, 8}));

TEST_F(Editor, PlaceNumberTakenKeepsTheOldNumberButStoresThePose) {
    ParkRobot();
    AddPlace(0, 0, 3);
    auto* b = AddPlace(500, 0, 5);
    Click(At(500, 0));
    ASSERT_EQ(editor.CurrentItem(), b);
    auto values = editor.Properties();
    ASSERT_TRUE(values);
    auto place = std::get<PlaceProperties>(*values);
    place.number = 3;
    place.x = 600;
    place.angle = 90;
    EXPECT_EQ(editor.ApplyProperties(place), ApplyResult::NumberTaken);
    EXPECT_EQ(b->placeNumber, 5);
    EXPECT_EQ(b->x, 600);
    EXPECT_NEAR(b->angle, kPi / 2, 1e-12);
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_EQ(view.errors[0], u"Такой номер места уже есть на карте!");

    editor.Properties();
    place.number = 9;
    EXPECT_EQ(editor.ApplyProperties(place), ApplyResult::Stored);
    EXPECT_EQ(b->placeNumber, 9);
    EXPECT_EQ(editor.LastPlaceNumber(), 9u);
}

TEST_F(Editor, MarkPlaceTakesTheNextFreeNumberAtTheRobot) {
    map().robot.x = 70;
    map().robot.angle = 1;
    AddPlace(0, 0, 1);
    AddPlace(0, 0, 2);
    editor.SetLoadFromRobot(true);
    ASSERT_TRUE(editor.MarkPlace());
    auto* place = map().places.Last();
    EXPECT_EQ(place->placeNumber, 3);
    EXPECT_EQ(place->x, 70);
    EXPECT_EQ(place->angle, 1);
    EXPECT_FALSE(editor.Transfer().LoadFromRobot());
    EXPECT_EQ(link.Of(msg::kMapUploadBegin).size(), 1u);  // uploaded at once
    ASSERT_TRUE(editor.MarkPlace());
    EXPECT_EQ(map().places.Last()->placeNumber, 4);
}

TEST_F(Editor, GoToSendsThePlaceNumber) {
    ParkRobot();
    AddPlace(0, 0, 12);
    EXPECT_FALSE(editor.GoToPlace());
    Click(At(0, 0));
    ASSERT_TRUE(editor.Commands(false).goTo);
    ASSERT_TRUE(editor.GoToPlace());
    const auto sent = link.Of(msg::kGoToPlace);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, Le32(12));
    EXPECT_TRUE(editor.Transfer().CentreOnRobotEnabled());
}

struct EnablingCase {
    int32_t state;
    bool select;
    bool clipboard;
};
class Enabling : public Editor, public ::testing::WithParamInterface<EnablingCase> {};

TEST_P(Enabling, FollowsSelectionClipboardAndConnection) {
    ParkRobot();
    auto* wall = AddWall(0, 0);
    if (GetParam().select) {
        Click(At(0, 0));
    }
    link.state = GetParam().state;
    const MapCommands c = editor.Commands(GetParam().clipboard);
    const bool authorised = GetParam().state == kStateAuthorised;
    EXPECT_EQ(c.copy, GetParam().select);
    EXPECT_EQ(c.cut, GetParam().select);
    EXPECT_EQ(c.remove, GetParam().select);
    EXPECT_EQ(c.properties, GetParam().select);
    EXPECT_FALSE(c.goTo);  // a wall is no place
    EXPECT_EQ(c.paste, GetParam().clipboard);
    EXPECT_TRUE(c.selectAll);
    EXPECT_TRUE(c.selectLast);
    EXPECT_EQ(c.navigation, authorised);
    EXPECT_EQ(c.upload, authorised);
    EXPECT_EQ(editor.ToggleRecording(), authorised);
    (void)wall;
}

INSTANTIATE_TEST_SUITE_P(Cases, Enabling,
                         ::testing::Values(EnablingCase{kStateIdle, false, false},
                                           EnablingCase{kStateIdle, true, true},
                                           EnablingCase{kStateAuthorising, true, false},
                                           EnablingCase{kStateAuthorised, false, true},
                                           EnablingCase{kStateAuthorised, true, false}));

TEST_F(Editor, RTogglesRecordingAndReturnsToTheLastOtherMode) {
    auto modes = [this] {
        std::string out;
        for (const auto& f : link.Of(msg::kNavModeSet)) {
            out += char('0' + f.payload[0]);
        }
        return out;
    };
    editor.ToggleRecording();  // nothing shown yet: back to 0 later
    editor.ToggleRecording();
    editor.SetMode(NavMode::Navigation);
    editor.ToggleRecording();
    editor.ToggleRecording();
    // The robot reports navigation off; R goes to recording and back to it.
    CMemoryStream s;
    WriteU8(s, 0);
    WriteU8(s, 0);
    WriteRobotNavStatus(s, {});
    link.Receive(msg::kModeFlags, std::string(s.View()));
    editor.ToggleRecording();
    editor.ToggleRecording();
    EXPECT_EQ(modes(), "2012120");
    EXPECT_EQ(view.mode, NavMode::Off);
}

TEST_F(Editor, PermissionsTravelAsTheirBits) {
    editor.SetPermission(kPermitWallsLeft, true);
    editor.SetPermission(kPermitImages, true);
    editor.SetPermission(kPermitWallsLeft, false);
    const auto sent = link.Of(msg::kNavPermissionsSet);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].payload, std::string(1, '\x08'));
    EXPECT_EQ(sent[1].payload, std::string(1, '\x28'));
    EXPECT_EQ(sent[2].payload, std::string(1, '\x20'));
}

// ------------------------------------------------- robot maps under an edit

class RobotMapMidEdit : public Editor {
  protected:
    void SetUp() override {
        ParkRobot();
        other.robot.x = 5000;
        auto* w = other.walls.NewItem();
        w->x = -300;
    }
    CNavProject other{[] { return 3; }};
};

TEST_F(RobotMapMidEdit, DragEndsWhenAForeignMapClearsTheMap) {
    auto* wall = AddWall(0, 0);
    editor.MouseDown(MouseButton::Left, At(0, 0), {});
    editor.MouseMove({At(0, 0).x + 30, At(0, 0).y}, {});
    ASSERT_TRUE(editor.Dragging());
    link.Receive(msg::kMapLoadOn, "");
    ReceiveRobotMap(map().mapId + 1, other);  // another map: cleared first
    EXPECT_FALSE(editor.Dragging());
    EXPECT_EQ(editor.CurrentItem(), nullptr);
    // Further pointer input touches nothing that was freed.
    editor.MouseMove({At(0, 0).x + 60, At(0, 0).y}, {});
    editor.MouseUp(MouseButton::Left, {At(0, 0).x + 60, At(0, 0).y}, {});
    EXPECT_EQ(map().walls.Count(), 1);
    EXPECT_EQ(map().walls.First()->x, -300);
    EXPECT_FALSE(editor.History().CanUndo());
    (void)wall;
}

TEST_F(RobotMapMidEdit, ZoneBeingDrawnGoesAsEscWouldDrop) {
    editor.SetTool(MapTool::DrawZone);
    Click({100, 100});
    Click({200, 100});
    link.Receive(msg::kMapLoadOn, "");
    ReceiveRobotMap(map().mapId, other);  // the same map: merged
    EXPECT_FALSE(editor.DrawingZone());
    EXPECT_EQ(map().zones.Count(), 0);
    Click({300, 300});  // starts a new zone rather than touching the old one
    EXPECT_TRUE(editor.DrawingZone());
    editor.Escape();
    ReceiveRobotMap(map().mapId + 5, other);
    EXPECT_EQ(map().zones.Count(), 0);
}

TEST_F(RobotMapMidEdit, ArmedRotationIsRestored) {
    auto* wall = AddWall(100, 0);
    wall->selected = true;
    editor.SetTool(MapTool::Rotate);
    Drag(At(0, 0), At(100, 0));
    editor.MouseMove(At(0, 100), {});
    link.Receive(msg::kMapLoadOn, "");
    ReceiveRobotMap(map().mapId, other);
    EXPECT_FALSE(editor.RotationArmed());
    EXPECT_DOUBLE_EQ(wall->x, 100);
    editor.MouseMove(At(-100, 0), {});
    EXPECT_DOUBLE_EQ(wall->x, 100);
}

TEST_F(RobotMapMidEdit, OpenDialogStoresNothingWhenItsItemIsGone) {
    AddWall(0, 0);
    Click(At(0, 0));
    ASSERT_TRUE(editor.Properties());
    link.Receive(msg::kMapLoadOn, "");
    ReceiveRobotMap(map().mapId + 1, other);
    WallProperties values;
    values.x = 1234;
    EXPECT_EQ(editor.ApplyProperties(values), ApplyResult::ItemGone);
    EXPECT_EQ(map().walls.First()->x, -300);
}

// ------------------------------------------------------------- files, undo

TEST_F(Editor, FailedLoadLeavesTheMap) {
    test::TempFolder folder;
    AddWall(1, 2);
    const uint32_t mapId = map().mapId;
    folder.Write("broken.navm", "NA2M\x05\x00\x00\x00garbage");
    EXPECT_FALSE(editor.Load(folder.File("broken.navm")));
    EXPECT_FALSE(editor.Load(folder.File("missing.navm")));
    ASSERT_EQ(view.errors.size(), 2u);
    EXPECT_EQ(view.errors[0], u"Невозможно открыть файл!");
    EXPECT_EQ(map().walls.Count(), 1);
    EXPECT_EQ(map().mapId, mapId);

    ASSERT_TRUE(editor.SaveAs(folder.File("good.navm")));
    AddWall(5, 5);
    Click(At(5, 5));
    EXPECT_TRUE(editor.History().CanUndo() || true);
    ASSERT_TRUE(editor.Load(folder.File("good.navm")));
    EXPECT_EQ(map().walls.Count(), 1);
    EXPECT_EQ(map().walls.First()->id, 1);  // renumbered from 1
    EXPECT_EQ(editor.CurrentItem(), nullptr);
    EXPECT_TRUE(editor.Transfer().CentreOnRobotEnabled());
    EXPECT_FALSE(editor.SaveAs(folder.File("no/such/folder/x.navm")));
    EXPECT_EQ(view.errors.back(), u"Невозможно сохранить файл!");
}

TEST_F(Editor, NewMapClearsAndUploads) {
    AddWall(0, 0);
    map().robot.x = 40;
    map().robot.selected = true;
    editor.SetLoadFromRobot(true);
    editor.NewMap();
    EXPECT_EQ(map().walls.Count(), 0);
    EXPECT_EQ(map().robot.x, 0);
    EXPECT_FALSE(map().robot.selected);
    EXPECT_FALSE(editor.Transfer().LoadFromRobot());
    EXPECT_TRUE(editor.Transfer().CentreOnRobotEnabled());
    EXPECT_EQ(link.Of(msg::kMapUploadBegin).size(), 1u);
}

TEST_F(Editor, UndoRedoAcrossCommands) {
    ParkRobot();
    auto* a = AddWall(0, 0);
    AddWall(200, 0);
    a->selected = true;
    editor.Delete();
    EXPECT_EQ(map().walls.Count(), 1);
    editor.SelectAll();
    Drag(At(200, 0), {At(200, 0).x + 40, At(200, 0).y});
    EXPECT_DOUBLE_EQ(map().walls.First()->x, 300);
    EXPECT_EQ(editor.History().UndoSteps(), 2);

    ASSERT_TRUE(editor.Undo());
    EXPECT_DOUBLE_EQ(map().walls.First()->x, 200);
    ASSERT_TRUE(editor.Undo());
    EXPECT_EQ(map().walls.Count(), 2);
    EXPECT_FALSE(editor.Undo());
    ASSERT_TRUE(editor.Redo());
    EXPECT_EQ(map().walls.Count(), 1);
    ASSERT_TRUE(editor.Redo());
    EXPECT_DOUBLE_EQ(map().walls.First()->x, 300);
    EXPECT_FALSE(editor.Redo());
    // The robot moved in a drag is not undone.
    EXPECT_DOUBLE_EQ(map().robot.x, 5100);

    // A new edit drops the redo side; a robot map drops both.
    editor.Undo();
    editor.SelectAll();
    editor.Delete();
    EXPECT_FALSE(editor.History().CanRedo());
    link.Receive(msg::kMapLoadOn, "");
    CNavProject other([] { return 1; });
    ReceiveRobotMap(map().mapId, other);
    EXPECT_FALSE(editor.History().CanUndo());
}

TEST(History, KeepsAtMostAHundredStepsAndItsBytes) {
    CNavProject map([] { return 0; });
    CMapHistory history;
    for (int i = 0; i < 150; ++i) {
        map.walls.NewItem()->x = i;
        ASSERT_TRUE(history.Record(map));
    }
    EXPECT_EQ(history.UndoSteps(), CMapHistory::kMaxSteps);

    // Two snapshots of a 40 MiB image exceed 64 MiB: only the newest stays.
    CMapHistory big;
    auto* image = map.images.NewItem();
    ASSERT_TRUE(image->SetImageSize(8000, 5000));
    std::memset(image->Pixels(), 1, 8000 * 5000);
    ASSERT_TRUE(big.Record(map));
    ASSERT_TRUE(big.Record(map));
    EXPECT_EQ(big.UndoSteps(), 1);
    EXPECT_LE(big.Bytes(), CMapHistory::kMaxBytes);
}

TEST(History, SnapshotKeepsWhatFilesLeaveOut) {
    CNavProject map([] { return 0; });
    auto* obstacle = map.obstacles.NewItem();
    obstacle->x = 33;
    auto* hidden = map.walls.NewItem();
    hidden->version = -4;
    hidden->selected = true;
    auto* zone = map.zones.NewItem();
    zone->SetVertexCount(2);
    zone->Vertices()[1] = {5, 6};
    const std::string snap = CMapHistory::Snapshot(map);
    map.obstacles.DeleteAll();
    map.walls.DeleteAll();
    map.zones.DeleteAll();
    ASSERT_TRUE(CMapHistory::Restore(map, snap));
    EXPECT_EQ(map.obstacles.First()->x, 33);
    EXPECT_EQ(map.walls.First()->version, -4);
    EXPECT_TRUE(map.walls.First()->selected);
    EXPECT_EQ(map.zones.First()->Vertices()[1].y, 6);
    EXPECT_FALSE(CMapHistory::Restore(map, snap.substr(0, snap.size() - 3)));
}

TEST(Grid, StepsOfOneTwoFiveAtLeastFiftyPixelsApart) {
    for (double k : {0.0004, 0.004, 0.04, 0.4, 0.5, 1.0, 4.0, 9.9, 400.0}) {
        const double step = GridStep(k);
        EXPECT_GE(step * k, 50 - 1e-9) << k;
        EXPECT_LE(step * k, 125 + 1e-9) << k;
    }
    EXPECT_DOUBLE_EQ(GridStep(0.4), 200);
    EXPECT_DOUBLE_EQ(GridStep(1.0), 50);
}

}  // namespace
}  // namespace velcora::nav
