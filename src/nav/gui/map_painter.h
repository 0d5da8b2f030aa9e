// Paints a navigation map into any QPainter (the map view, velcoractl's
// pictures, the benchmarks), back to front: zones, obstacles, the grid, the
// robot, walls, images, floor lines, places, the route, then the editor's
// rubber band and rotation line. Items whose marker lies wholly outside the
// view are skipped; strokes of one pen go out in one call, not antialiased.
//
// Marker shapes (all in screen pixels, in the item's own frame, x along its
// heading): a wall is a stroke from -12 to +8 with six hatch ticks behind it;
// an image a "T" whose stem points along the heading; a floor line a stroke of
// +-18 with a cross tick; a place a pentagon with its tip at the place and its
// body 17 pixels behind it, labelled with its number; an obstacle a 16-pixel
// square of cross hatching. Grid lines are 1, 2 or 5 times a power of ten cm
// apart, the first such step that puts them at least 50 pixels apart.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <optional>
#include <utility>

#include "nav/map_geometry.h"
#include "nav/nav_project.h"

class QPainter;

namespace velcora::nav {

struct MapOverlay {
    std::optional<std::pair<ScreenPoint, ScreenPoint>> rubberBand;
    std::optional<std::pair<ScreenPoint, ScreenPoint>> rotationLine;
};

// Colours that carry meaning.
QColor WallColour(int side);
QColor ZoneFill(int zoneType);
QColor ZoneOutline(int zoneType);
inline const QColor kGridColour{204, 204, 204};
inline const QColor kRobotFill{153, 153, 255};
inline const QColor kPlaceFill{238, 238, 238};
inline const QColor kRouteDone{102, 255, 102};
inline const QColor kObstacleColour{102, 102, 102};

class CMapPainter {
  public:
    static constexpr int kMaxZoneVertices = 1000;
    static constexpr int kLabelPixels = 10;

    CMapPainter();
    void SetFont(const QFont& font) { font_ = font; }

    // Paints the whole view rectangle of `t`.
    void Paint(QPainter& p, const CNavProject& map, const CMapTransform& t, const RobotShape& shape,
               const MapOverlay& overlay = {}) const;

  private:
    QFont font_;
};

// The scale and centre that fit every finite item of the map into `rect`
// with a margin; the robot alone (at scale 1) when the map is empty.
CMapTransform FitMap(const CNavProject& map, const RobotShape& shape, ScreenRect rect);

// The map as a picture of `width` x `height` pixels: at the given scale and
// centre, or fitted to its finite items. An empty image when the size is not
// positive or the picture cannot be allocated.
struct MapView {
    double scale = 1.0;
    MapPoint centre;
};
QImage RenderMap(const CNavProject& map, const RobotShape& shape, int width, int height,
                 const std::optional<MapView>& view = std::nullopt);

}  // namespace velcora::nav
