#include "nav/gui/map_painter.h"

#include <QFontMetrics>
#include <QLine>
#include <QPainter>
#include <QPen>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <vector>

namespace velcora::nav {

namespace {

// Markers reach at most this far from their item's point.
constexpr int kMarkerReach = 24;

QPoint Q(ScreenPoint p) {
    return {p.x, p.y};
}

// An item's own frame on the screen: its point and its heading's cosine and
// sine, worked out once per item.
class ItemAxes {
  public:
    ItemAxes(ScreenPoint origin, double angle)
        : x_(origin.x), y_(origin.y), c_(std::cos(angle)), s_(std::sin(angle)) {}
    QPoint operator()(double along, double across) const {
        return {static_cast<int>(std::lround(x_ + along * c_ - across * s_)),
                static_cast<int>(std::lround(y_ - (along * s_ + across * c_)))};
    }

  private:
    double x_, y_, c_, s_;
};

// Lines collected per pen and drawn with one call each.
class LineBatch {
  public:
    void Add(const QColor& colour, int width, QLine line) {
        for (auto& b : batches_) {
            if (b.colour == colour && b.width == width) {
                b.lines.push_back(line);
                return;
            }
        }
        batches_.push_back({colour, width, {line}});
    }
    void Flush(QPainter& p) {
        for (auto& b : batches_) {
            QPen pen(b.colour, b.width);
            pen.setCapStyle(Qt::FlatCap);
            p.setPen(pen);
            p.drawLines(b.lines.data(), static_cast<int>(b.lines.size()));
        }
        batches_.clear();
    }

  private:
    struct Batch {
        QColor colour;
        int width;
        std::vector<QLine> lines;
    };
    std::vector<Batch> batches_;
};

class Frame {
  public:
    Frame(QPainter& p, const CMapTransform& t, const QFont& font)
        : p_(p),
          t_(t),
          font_(font),
          view_(t.Rect().left, t.Rect().top, t.Rect().right - t.Rect().left,
                t.Rect().bottom - t.Rect().top) {}

    // The item's screen point when its marker can touch the view.
    std::optional<ScreenPoint> Visible(const CNavPointItem& item, int reach = kMarkerReach) const {
        if (!Finite(item.x, item.y) || !std::isfinite(item.angle)) {
            return std::nullopt;
        }
        const ScreenPoint s = t_.ToScreen(item.x, item.y);
        if (s.x < view_.left() - reach || s.x > view_.right() + reach ||
            s.y < view_.top() - reach || s.y > view_.bottom() + reach) {
            return std::nullopt;
        }
        return s;
    }

    void Zones(const CNavZoneList& zones) {
        std::vector<QPoint> points;
        for (const CNavZone* z = zones.First(); z; z = CNavZoneList::Next(z)) {
            const int n = std::min(z->VertexCount(), CMapPainter::kMaxZoneVertices);
            if (n < 2) {
                continue;
            }
            points.clear();
            QRect box;
            bool usable = true;
            int64_t sumX = 0;
            int64_t sumY = 0;
            for (int i = 0; i < n; ++i) {
                const NavVertex& v = z->Vertices()[i];
                if (!Finite(v.x, v.y)) {
                    usable = false;
                    break;
                }
                const ScreenPoint s = t_.ToScreen(v.x, v.y);
                points.push_back(Q(s));
                sumX += s.x;
                sumY += s.y;
            }
            if (!usable) {
                continue;
            }
            int minX = points[0].x(), maxX = minX, minY = points[0].y(), maxY = minY;
            for (const QPoint& q : points) {
                minX = std::min(minX, q.x());
                maxX = std::max(maxX, q.x());
                minY = std::min(minY, q.y());
                maxY = std::max(maxY, q.y());
            }
            box = QRect(QPoint(minX, minY), QPoint(maxX, maxY)).adjusted(-4, -4, 4, 4);
            if (!box.intersects(view_)) {
                continue;
            }
            const QColor outline = z->selected ? QColor(Qt::black) : ZoneOutline(z->zoneType);
            p_.setPen(QPen(outline, 1));
            if (n == 2) {
                p_.drawLine(points[0], points[1]);
            } else {
                p_.setBrush(ZoneFill(z->zoneType));
                p_.drawPolygon(points.data(), n);
                p_.setBrush(Qt::NoBrush);
            }
            if (z->selected) {
                p_.setPen(Qt::NoPen);
                p_.setBrush(Qt::black);
                for (const QPoint& q : points) {
                    p_.drawRect(q.x() - 2, q.y() - 2, 5, 5);
                }
                p_.setBrush(Qt::NoBrush);
            }
            if (z->zoneType == kZoneTrafficLight) {
                p_.setPen(Qt::black);
                p_.setFont(font_);
                const QPoint mean(static_cast<int>(sumX / n), static_cast<int>(sumY / n));
                p_.drawText(QRect(mean.x() - 60, mean.y() - 10, 120, 20), Qt::AlignCenter,
                            QString::number(z->zoneNumber));
            }
        }
    }

    void Obstacles(const CNavObstacleList& obstacles) {
        p_.setPen(Qt::NoPen);
        p_.setBrush(QBrush(kObstacleColour, Qt::DiagCrossPattern));
        for (const CNavObstacle* o = obstacles.First(); o; o = CNavObstacleList::Next(o)) {
            if (const auto s = Visible(*o)) {
                p_.drawRect(s->x - 8, s->y - 8, 16, 16);
            }
        }
        p_.setBrush(Qt::NoBrush);
    }

    void Grid() {
        const double k = t_.K();
        const double step = GridStep(k);
        const MapPoint topLeft = t_.ToMap(view_.left(), view_.top());
        const MapPoint bottomRight = t_.ToMap(view_.right() + 1, view_.bottom() + 1);
        const double firstX = std::ceil(topLeft.x / step);
        const double lastX = std::floor(bottomRight.x / step);
        const double firstY = std::ceil(bottomRight.y / step);
        const double lastY = std::floor(topLeft.y / step);
        LineBatch lines;
        std::vector<std::pair<int, double>> xs;
        std::vector<std::pair<int, double>> ys;
        // At least 50 pixels apart, so a few dozen lines at most.
        for (double i = firstX; i <= lastX && xs.size() < 1000; ++i) {
            const int x = t_.ToScreen(i * step, 0).x;
            xs.emplace_back(x, i * step);
            lines.Add(kGridColour, 1, QLine(x, view_.top(), x, view_.bottom()));
        }
        for (double i = firstY; i <= lastY && ys.size() < 1000; ++i) {
            const int y = t_.ToScreen(0, i * step).y;
            ys.emplace_back(y, i * step);
            lines.Add(kGridColour, 1, QLine(view_.left(), y, view_.right(), y));
        }
        lines.Flush(p_);
        p_.setFont(font_);
        p_.setPen(QColor(136, 136, 136));
        const QFontMetrics fm(font_);
        for (const auto& [x, value] : xs) {
            p_.drawText(x + 2, view_.bottom() - fm.descent() - 1, Label(value));
        }
        for (const auto& [y, value] : ys) {
            p_.drawText(view_.left() + 2, y - 2, Label(value));
        }
    }

    void Robot(const CNavRobot& robot, const RobotShape& shape) {
        const double reach =
            (std::fabs(shape.halfWidth) + std::fabs(shape.frontSize) + std::fabs(shape.backSize)) *
            t_.K();
        const auto s = Visible(robot, static_cast<int>(std::min(reach, 1e6)) + 48);
        if (!s) {
            return;
        }
        const double c = std::cos(robot.angle);
        const double sn = std::sin(robot.angle);
        auto corner = [&](double along, double across) {
            return Q(
                t_.ToScreen(robot.x + along * c - across * sn, robot.y + along * sn + across * c));
        };
        const QPoint outline[4] = {
            corner(shape.frontSize, shape.halfWidth), corner(shape.frontSize, -shape.halfWidth),
            corner(-shape.backSize, -shape.halfWidth), corner(-shape.backSize, shape.halfWidth)};
        p_.setPen(QPen(robot.selected ? QColor(Qt::black) : QColor(102, 102, 204),
                       robot.selected ? 2 : 1));
        p_.setBrush(kRobotFill);
        p_.drawPolygon(outline, 4);
        p_.setBrush(Qt::NoBrush);
        const QPoint handle = ItemAxes(*s, robot.angle)(kHandleDistance, 0);
        p_.setPen(QPen(Qt::red, 2));
        p_.drawLine(Q(*s), handle);
        p_.setPen(Qt::NoPen);
        p_.setBrush(Qt::red);
        p_.drawEllipse(handle, 4, 4);
        p_.setBrush(Qt::NoBrush);
    }

    void Walls(const CNavWallList& walls) {
        LineBatch lines;
        for (const CNavWall* w = walls.First(); w; w = CNavWallList::Next(w)) {
            const auto s = Visible(*w);
            if (!s) {
                continue;
            }
            const QColor colour = WallColour(w->side);
            const int stroke = w->selected ? 3 : 2;
            const int tick = w->selected ? 2 : 1;
            const ItemAxes at(*s, w->angle);
            lines.Add(colour, stroke, QLine(at(-12, 0), at(8, 0)));
            for (int a = -12; a <= 8; a += 4) {
                lines.Add(colour, tick, QLine(at(a, 0), at(a - 4, -5)));
            }
        }
        lines.Flush(p_);
    }

    void Images(const CNavImageList& images) {
        LineBatch lines;
        for (const CNavImage* im = images.First(); im; im = CNavImageList::Next(im)) {
            const auto s = Visible(*im);
            if (!s) {
                continue;
            }
            const QColor colour =
                im->PixelCount() > 0 && im->Pixels() ? QColor(Qt::black) : QColor(Qt::red);
            const int width = im->selected ? 3 : 1;
            const ItemAxes at(*s, im->angle);
            lines.Add(colour, width, QLine(at(-8, -7), at(-8, 7)));
            lines.Add(colour, width, QLine(at(-8, 0), at(10, 0)));
        }
        lines.Flush(p_);
    }

    void FloorLines(const CNavFloorLineList& floorLines) {
        LineBatch lines;
        for (const CNavFloorLine* f = floorLines.First(); f; f = CNavFloorLineList::Next(f)) {
            const auto s = Visible(*f);
            if (!s) {
                continue;
            }
            const QColor colour = f->kind == static_cast<uint8_t>(FloorLineKind::Transverse)
                                      ? QColor(204, 102, 0)
                                      : QColor(0, 128, 128);
            const int width = f->selected ? 3 : 1;
            const ItemAxes at(*s, f->angle);
            lines.Add(colour, width, QLine(at(-18, 0), at(18, 0)));
            lines.Add(colour, width, QLine(at(0, -8), at(0, 8)));
        }
        lines.Flush(p_);
    }

    void Places(const CNavPlaceList& places) {
        p_.setFont(font_);
        for (const CNavPlace* pl = places.First(); pl; pl = CNavPlaceList::Next(pl)) {
            const auto s = Visible(*pl);
            if (!s) {
                continue;
            }
            const ItemAxes at(*s, pl->angle);
            const QPoint shape[5] = {at(0, 0), at(-6, 12), at(-16, 12), at(-16, -12), at(-6, -12)};
            p_.setPen(QPen(Qt::black, pl->selected ? 3 : 1));
            p_.setBrush(kPlaceFill);
            p_.drawPolygon(shape, 5);
            p_.setBrush(Qt::NoBrush);
            const QPoint middle = at(-9, 0);
            p_.setPen(Qt::black);
            p_.drawText(QRect(middle.x() - 40, middle.y() - 8, 80, 16), Qt::AlignCenter,
                        QString::number(pl->placeNumber));
        }
    }

    void Route(const CNavRoute& route) {
        const int n = route.PointCount();
        if (n < 2) {
            return;
        }
        const int progress = std::clamp(route.progress, 0, n - 1);
        LineBatch lines;
        const NavRoutePoint* pts = route.Points();
        const QRect wide = view_.adjusted(-4, -4, 4, 4);
        for (int i = 1; i < n; ++i) {
            if (!Finite(pts[i - 1].x, pts[i - 1].y) || !Finite(pts[i].x, pts[i].y)) {
                continue;
            }
            const QPoint a = Q(t_.ToScreen(pts[i - 1].x, pts[i - 1].y));
            const QPoint b = Q(t_.ToScreen(pts[i].x, pts[i].y));
            // Segments wholly on one side of the view cannot cross it.
            if ((a.x() < wide.left() && b.x() < wide.left()) ||
                (a.x() > wide.right() && b.x() > wide.right()) ||
                (a.y() < wide.top() && b.y() < wide.top()) ||
                (a.y() > wide.bottom() && b.y() > wide.bottom())) {
                continue;
            }
            lines.Add(i <= progress ? kRouteDone : QColor(Qt::black), 2, QLine(a, b));
        }
        lines.Flush(p_);
    }

    void Overlay(const MapOverlay& overlay) {
        if (overlay.rubberBand) {
            QPen pen(Qt::black, 1, Qt::DotLine);
            p_.setPen(pen);
            p_.setBrush(Qt::NoBrush);
            p_.drawRect(
                QRect(Q(overlay.rubberBand->first), Q(overlay.rubberBand->second)).normalized());
        }
        if (overlay.rotationLine) {
            p_.setPen(QPen(Qt::black, 1));
            p_.drawLine(Q(overlay.rotationLine->first), Q(overlay.rotationLine->second));
        }
    }

  private:
    static QString Label(double value) {
        return QString::number(std::fabs(value) < 1e-9 ? 0.0 : value, 'g', 12);
    }

    QPainter& p_;
    const CMapTransform& t_;
    const QFont& font_;
    QRect view_;
};

}  // namespace

QColor WallColour(int side) {
    switch (side) {
        case 0:
            return {0, 0, 153};
        case 1:
            return {0, 153, 0};
        case 2:
            return {153, 0, 0};
        case 3:
            return {102, 102, 102};
        default:
            return {153, 0, 153};
    }
}

QColor ZoneFill(int zoneType) {
    switch (zoneType) {
        case 0:
            return {102, 102, 102};
        case 1:
            return {238, 238, 238};
        case 2:
            return {255, 224, 224};
        case 3:
            return {255, 255, 208};
        default:
            return {224, 240, 255};
    }
}

QColor ZoneOutline(int zoneType) {
    switch (zoneType) {
        case 0:
            return {0, 0, 0};
        case 1:
            return {136, 136, 136};
        case 2:
            return {255, 136, 136};
        case 3:
            return {204, 204, 136};
        default:
            return {136, 170, 204};
    }
}

CMapPainter::CMapPainter() {
    font_.setFamily(QStringLiteral("DejaVu Sans"));
    font_.setPixelSize(kLabelPixels);
}

void CMapPainter::Paint(QPainter& p, const CNavProject& map, const CMapTransform& t,
                        const RobotShape& shape, const MapOverlay& overlay) const {
    const ScreenRect r = t.Rect();
    const QRect view(r.left, r.top, r.right - r.left, r.bottom - r.top);
    p.save();
    p.setClipRect(view);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.fillRect(view, Qt::white);
    Frame f(p, t, font_);
    f.Zones(map.zones);
    f.Obstacles(map.obstacles);
    f.Grid();
    f.Robot(map.robot, shape);
    f.Walls(map.walls);
    f.Images(map.images);
    f.FloorLines(map.floorLines);
    f.Places(map.places);
    f.Route(map.route);
    f.Overlay(overlay);
    p.restore();
}

CMapTransform FitMap(const CNavProject& map, const RobotShape& shape, ScreenRect rect) {
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    auto take = [&](double x, double y) {
        if (Finite(x, y)) {
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
    };
    for (const CNavList* list : map.lists) {
        for (const CNavItem* it = list->First(); it; it = it->Next()) {
            if (const auto* point = dynamic_cast<const CNavPointItem*>(it)) {
                take(point->x, point->y);
            } else if (const auto* zone = dynamic_cast<const CNavZone*>(it)) {
                for (int32_t i = 0; i < zone->VertexCount(); ++i) {
                    take(zone->Vertices()[i].x, zone->Vertices()[i].y);
                }
            }
        }
    }
    for (int32_t i = 0; i < map.route.PointCount(); ++i) {
        take(map.route.Points()[i].x, map.route.Points()[i].y);
    }
    const double reach = std::max({shape.halfWidth, shape.frontSize, shape.backSize, 0.0});
    take(map.robot.x - reach, map.robot.y - reach);
    take(map.robot.x + reach, map.robot.y + reach);
    if (!std::isfinite(minX)) {
        return CMapTransform(rect, 1.0, {0, 0});
    }
    // A margin for the markers, which are drawn in pixels around their points.
    const double w = std::max(1, rect.right - rect.left - 2 * 40);
    const double h = std::max(1, rect.bottom - rect.top - 2 * 40);
    const double spanX = std::max(maxX - minX, 1.0);
    const double spanY = std::max(maxY - minY, 1.0);
    double scale = std::min(w / spanX, h / spanY) / CMapTransform::kPixelsPerCm;
    if (!std::isfinite(scale)) {
        scale = CMapTransform::kMinScale;
    }
    return CMapTransform(rect, scale, {minX / 2 + maxX / 2, minY / 2 + maxY / 2});
}

QImage RenderMap(const CNavProject& map, const RobotShape& shape, int width, int height,
                 const std::optional<MapView>& view) {
    if (width <= 0 || height <= 0) {
        return {};
    }
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) {
        return image;
    }
    const ScreenRect rect{0, 0, width, height};
    const CMapTransform t =
        view ? CMapTransform(rect, view->scale, view->centre) : FitMap(map, shape, rect);
    QPainter p(&image);
    CMapPainter().Paint(p, map, t, shape);
    return image;
}

}  // namespace velcora::nav
