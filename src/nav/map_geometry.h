// Where map items land on the screen and which item a screen point hits. The
// view shows map centimetres at scale x 0.4 pixels each around a centre point;
// every item is tested in its own turned frame in screen pixels.
#pragma once

#include <cstdint>
#include <optional>

#include "nav/nav_project.h"

namespace velcora::nav {

struct ScreenPoint {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

struct ScreenRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

struct MapPoint {
    double x = 0;
    double y = 0;
};

// The robot's outline in cm around its position (the "ROBOT DRAW" settings).
struct RobotShape {
    double halfWidth = 27.5;
    double frontSize = 16.0;
    double backSize = 42.0;
};

class CMapTransform {
  public:
    static constexpr double kPixelsPerCm = 0.4;
    static constexpr double kMinScale = 0.001;
    static constexpr double kMaxScale = 1000.0;
    // Screen offsets are clamped to this before they become integers, so a
    // far-away or huge coordinate can neither overflow nor reach a painter
    // with values it cannot rasterise.
    static constexpr double kMaxOffset = 1 << 24;

    CMapTransform() = default;
    CMapTransform(ScreenRect rect, double scale, MapPoint centre);

    // Offsets from the middle are truncated toward zero; y grows upward on
    // the map and downward on the screen.
    ScreenPoint ToScreen(double x, double y) const;
    MapPoint ToMap(ScreenPoint p) const { return ToMap(double(p.x), double(p.y)); }
    MapPoint ToMap(double sx, double sy) const;
    // Pixels per centimetre.
    double K() const { return scale_ * kPixelsPerCm; }
    ScreenPoint Middle() const;

    ScreenRect Rect() const { return rect_; }
    double Scale() const { return scale_; }
    MapPoint Centre() const { return centre_; }
    // The scale stays within kMinScale..kMaxScale; a non-finite value is ignored.
    void SetScale(double scale);
    // A non-finite centre is ignored.
    void SetCentre(MapPoint centre);
    void SetRect(ScreenRect rect) { rect_ = rect; }

  private:
    ScreenRect rect_;
    double scale_ = 1.0;
    MapPoint centre_;
};

// True when both values are finite numbers.
bool Finite(double x, double y);

// A point in an item's own frame: `along` its heading, `across` to its left
// (both in screen pixels, the screen's y axis flipped to the map's).
struct FramePoint {
    double along = 0;
    double across = 0;
};
FramePoint ToItemFrame(ScreenPoint itemAt, double angle, ScreenPoint p);
// And back: the screen point at (along, across) of an item at `itemAt`.
void FromItemFrame(ScreenPoint itemAt, double angle, double along, double across, double& sx,
                   double& sy);

// The kinds of the current item, with the codes the window uses.
enum class ItemKind : int32_t {
    None = 0,
    Image = 1,
    Wall = 2,
    Place = 3,
    Zone = 4,
    Robot = 5,
    FloorLine = 6
};

struct HitResult {
    ItemKind kind = ItemKind::None;
    CNavItem* item = nullptr;  // the robot for ItemKind::Robot
    // Zone: the vertex hit (>= 0), -1 a selected zone, -2 an unselected one.
    // Robot: 1 when its heading handle was hit, else 0.
    int32_t detail = 0;
};

// The robot's heading handle sits this far ahead of it.
inline constexpr int32_t kHandleDistance = 40;
ScreenPoint HandlePoint(const CMapTransform& t, const CNavRobot& robot);

// The first item hit, in this order: places (newest first), the robot's
// handle, the robot, floor lines (oldest first), images, walls, zones (newest
// first). Obstacles and items at non-finite positions are never hit.
HitResult HitTest(const CNavProject& map, const CMapTransform& t, const RobotShape& shape,
                  ScreenPoint p);

// Selects every image, floor line, wall and place, and the robot, whose screen
// position lies inside the rectangle spanned by a and b, edges included.
// Zones and obstacles are left alone. Returns how many were selected.
int32_t SelectInRect(CNavProject& map, const CMapTransform& t, ScreenPoint a, ScreenPoint b);

// The heading from the robot toward a screen point, snapped to the nearest
// multiple of 45 degrees when within 0.2 rad of it unless `free`.
double HeadingToward(ScreenPoint robotAt, ScreenPoint p, bool free);
// Folds an angle into [-pi, pi).
double FoldAngle(double a);

// The spacing of the grid in cm: 1, 2 or 5 times a power of ten, the first
// whose lines lie at least 50 pixels apart (so at most 125 apart).
double GridStep(double pixelsPerCm);

}  // namespace velcora::nav
