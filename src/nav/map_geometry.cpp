#include "nav/map_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace velcora::nav {

namespace {

constexpr double kPi = std::numbers::pi;

int32_t ClampToInt(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<int32_t>(
        std::clamp(v, -CMapTransform::kMaxOffset, CMapTransform::kMaxOffset));
}

// Tolerances of the hit test, in screen pixels.
constexpr double kPlaceAcross = 17;
constexpr double kPlaceBack = 17;
constexpr double kHandleReach = 10;
constexpr double kFloorLineAcross = 10;
constexpr double kFloorLineAlong = 18;
constexpr double kImageAlong = 10;
constexpr double kImageAcross = 8;
constexpr double kWallAlong = 12;
constexpr double kWallAcross = 8;
constexpr double kVertexReach = 8;
constexpr double kSnapReach = 0.2;
// The farthest corner of any point item's tolerance box (a place: 17 and 17).
constexpr int64_t kFrameReach = 25;

}  // namespace

bool Finite(double x, double y) {
    return std::isfinite(x) && std::isfinite(y);
}

CMapTransform::CMapTransform(ScreenRect rect, double scale, MapPoint centre) : rect_(rect) {
    SetScale(scale);
    SetCentre(centre);
}

void CMapTransform::SetScale(double scale) {
    if (std::isfinite(scale)) {
        scale_ = std::clamp(scale, kMinScale, kMaxScale);
    }
}

void CMapTransform::SetCentre(MapPoint centre) {
    if (Finite(centre.x, centre.y)) {
        centre_ = centre;
    }
}

ScreenPoint CMapTransform::Middle() const {
    // Halved sums with integer division, as the window's client rectangle is.
    return {static_cast<int32_t>((int64_t{rect_.left} + rect_.right) / 2),
            static_cast<int32_t>((int64_t{rect_.top} + rect_.bottom) / 2)};
}

ScreenPoint CMapTransform::ToScreen(double x, double y) const {
    const ScreenPoint m = Middle();
    const double k = K();
    // Clamped before truncation; the clamp bounds keep the sums inside int32.
    const int32_t dx = ClampToInt(std::trunc((x - centre_.x) * k));
    const int32_t dy = ClampToInt(std::trunc((y - centre_.y) * k));
    return {static_cast<int32_t>(std::clamp<int64_t>(int64_t{m.x} + dx, INT32_MIN, INT32_MAX)),
            static_cast<int32_t>(std::clamp<int64_t>(int64_t{m.y} - dy, INT32_MIN, INT32_MAX))};
}

MapPoint CMapTransform::ToMap(double sx, double sy) const {
    const ScreenPoint m = Middle();
    const double k = K();
    return {(sx - m.x) / k + centre_.x, (m.y - sy) / k + centre_.y};
}

FramePoint ToItemFrame(ScreenPoint itemAt, double angle, ScreenPoint p) {
    const double dx = double(p.x) - itemAt.x;
    const double dy = double(itemAt.y) - p.y;  // upward, like the map
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return {dx * c + dy * s, -dx * s + dy * c};
}

void FromItemFrame(ScreenPoint itemAt, double angle, double along, double across, double& sx,
                   double& sy) {
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    sx = itemAt.x + along * c - across * s;
    sy = itemAt.y - (along * s + across * c);
}

ScreenPoint HandlePoint(const CMapTransform& t, const CNavRobot& robot) {
    const ScreenPoint at = t.ToScreen(robot.x, robot.y);
    double sx = 0;
    double sy = 0;
    FromItemFrame(at, std::isfinite(robot.angle) ? robot.angle : 0, kHandleDistance, 0, sx, sy);
    return {ClampToInt(std::trunc(sx)), ClampToInt(std::trunc(sy))};
}

namespace {

bool PointUsable(const CNavPointItem& item) {
    return Finite(item.x, item.y) && std::isfinite(item.angle);
}

// The item's frame point for p, or nothing when the item has no usable pose.
std::optional<FramePoint> Frame(const CMapTransform& t, const CNavPointItem& item, ScreenPoint p) {
    if (!PointUsable(item)) {
        return std::nullopt;
    }
    const ScreenPoint at = t.ToScreen(item.x, item.y);
    // No tolerance reaches further than this from the item's point: the
    // turn is worked out only for items near the pointer.
    if (std::abs(int64_t{p.x} - at.x) > kFrameReach ||
        std::abs(int64_t{p.y} - at.y) > kFrameReach) {
        return std::nullopt;
    }
    return ToItemFrame(at, item.angle, p);
}

template <typename T>
T* NewestHit(const CNavListOf<T>& list, auto&& hits) {
    for (T* it = list.Last(); it; it = static_cast<T*>(it->Prev())) {
        if (hits(*it)) {
            return it;
        }
    }
    return nullptr;
}

}  // namespace

HitResult HitTest(const CNavProject& map, const CMapTransform& t, const RobotShape& shape,
                  ScreenPoint p) {
    if (auto* place = NewestHit(map.places, [&](const CNavPlace& it) {
            const auto f = Frame(t, it, p);
            return f && std::fabs(f->across) <= kPlaceAcross && f->along > -kPlaceBack &&
                   f->along <= 0;
        })) {
        return {ItemKind::Place, place, 0};
    }

    const CNavRobot& robot = map.robot;
    if (PointUsable(robot)) {
        const ScreenPoint h = HandlePoint(t, robot);
        if (std::abs(int64_t{p.x} - h.x) <= kHandleReach &&
            std::abs(int64_t{p.y} - h.y) <= kHandleReach) {
            return {ItemKind::Robot, const_cast<CNavRobot*>(&robot), 1};
        }
        const MapPoint m = t.ToMap(p);
        const double dx = m.x - robot.x;
        const double dy = m.y - robot.y;
        const double c = std::cos(robot.angle);
        const double s = std::sin(robot.angle);
        const double along = dx * c + dy * s;
        const double across = -dx * s + dy * c;
        if (std::fabs(across) < shape.halfWidth && along >= -shape.backSize &&
            along < shape.frontSize) {
            return {ItemKind::Robot, const_cast<CNavRobot*>(&robot), 0};
        }
    }

    for (CNavFloorLine* it = map.floorLines.First(); it; it = CNavFloorLineList::Next(it)) {
        const auto f = Frame(t, *it, p);
        if (f && std::fabs(f->across) <= kFloorLineAcross &&
            std::fabs(f->along) <= kFloorLineAlong) {
            return {ItemKind::FloorLine, it, 0};
        }
    }
    if (auto* image = NewestHit(map.images, [&](const CNavImage& it) {
            const auto f = Frame(t, it, p);
            return f && std::fabs(f->along) <= kImageAlong && std::fabs(f->across) <= kImageAcross;
        })) {
        return {ItemKind::Image, image, 0};
    }
    if (auto* wall = NewestHit(map.walls, [&](const CNavWall& it) {
            const auto f = Frame(t, it, p);
            return f && std::fabs(f->along) <= kWallAlong && std::fabs(f->across) <= kWallAcross;
        })) {
        return {ItemKind::Wall, wall, 0};
    }

    const MapPoint m = t.ToMap(p);
    for (CNavZone* zone = map.zones.Last(); zone; zone = static_cast<CNavZone*>(zone->Prev())) {
        const int32_t n = zone->VertexCount();
        if (n < 2) {
            continue;
        }
        if (zone->selected) {
            const NavVertex* v = zone->Vertices();
            for (int32_t i = 0; i < n; ++i) {
                if (!Finite(v[i].x, v[i].y)) {
                    continue;
                }
                const ScreenPoint s = t.ToScreen(v[i].x, v[i].y);
                if (std::abs(int64_t{p.x} - s.x) <= kVertexReach &&
                    std::abs(int64_t{p.y} - s.y) <= kVertexReach) {
                    return {ItemKind::Zone, zone, i};
                }
            }
        }
        if (CNavProject::ZoneContains(*zone, m.x, m.y)) {
            return {ItemKind::Zone, zone, zone->selected ? -1 : -2};
        }
    }
    return {};
}

int32_t SelectInRect(CNavProject& map, const CMapTransform& t, ScreenPoint a, ScreenPoint b) {
    const int32_t x0 = std::min(a.x, b.x);
    const int32_t x1 = std::max(a.x, b.x);
    const int32_t y0 = std::min(a.y, b.y);
    const int32_t y1 = std::max(a.y, b.y);
    int32_t count = 0;
    auto take = [&](CNavPointItem& item) {
        if (!PointUsable(item)) {
            return;
        }
        const ScreenPoint s = t.ToScreen(item.x, item.y);
        if (s.x >= x0 && s.x <= x1 && s.y >= y0 && s.y <= y1) {
            item.selected = true;
            ++count;
        }
    };
    for (CNavImage* it = map.images.First(); it; it = CNavImageList::Next(it)) {
        take(*it);
    }
    for (CNavFloorLine* it = map.floorLines.First(); it; it = CNavFloorLineList::Next(it)) {
        take(*it);
    }
    for (CNavWall* it = map.walls.First(); it; it = CNavWallList::Next(it)) {
        take(*it);
    }
    for (CNavPlace* it = map.places.First(); it; it = CNavPlaceList::Next(it)) {
        take(*it);
    }
    take(map.robot);
    return count;
}

double FoldAngle(double a) {
    if (!std::isfinite(a)) {
        return 0;
    }
    double r = std::fmod(a + kPi, 2 * kPi);
    if (r < 0) {
        r += 2 * kPi;
    }
    r -= kPi;
    // fmod can land exactly on the upper end after the shifts.
    return r >= kPi ? r - 2 * kPi : r;
}

double HeadingToward(ScreenPoint robotAt, ScreenPoint p, bool free) {
    const double angle = std::atan2(double(robotAt.y) - p.y, double(p.x) - robotAt.x);
    if (free) {
        return angle;
    }
    const double eighth = kPi / 4;
    const double snapped = std::round(angle / eighth) * eighth;
    return std::fabs(angle - snapped) < kSnapReach ? snapped : angle;
}

double GridStep(double pixelsPerCm) {
    constexpr double kMinSpacing = 50;
    if (!(pixelsPerCm > 0) || !std::isfinite(pixelsPerCm)) {
        return 1;
    }
    double decade = std::pow(10.0, std::floor(std::log10(kMinSpacing / pixelsPerCm)));
    for (;;) {
        for (double m : {1.0, 2.0, 5.0}) {
            if (m * decade * pixelsPerCm >= kMinSpacing) {
                return m * decade;
            }
        }
        decade *= 10;
    }
}

}  // namespace velcora::nav
