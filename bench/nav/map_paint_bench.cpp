// Painting a large map (2000 images, 10000 walls, places, zones and a route)
// into a 1280 x 800 picture, fitted and zoomed four times, against one
// drawLines call with as many segments into the same picture; and the hover
// hit test against a plain loop over the same pointer positions.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QLine>
#include <QPainter>
#include <cmath>
#include <memory>
#include <vector>

#include "nav/gui/map_painter.h"
#include "nav/map_geometry.h"

namespace {

using namespace velcora::nav;

constexpr int kW = 1280;
constexpr int kH = 800;

void EnsureApp() {
    static std::unique_ptr<QGuiApplication> app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "bench_nav_paint";
        static char* argv[] = {name, nullptr};
        return std::make_unique<QGuiApplication>(argc, argv);
    }();
}

const CNavProject& LargeMap() {
    static const std::unique_ptr<CNavProject> map = [] {
        auto m = std::make_unique<CNavProject>([] { return 1; });
        uint32_t noise = 1;
        auto next = [&noise] {
            noise = noise * 1664525u + 1013904223u;
            return noise >> 8;
        };
        // Items spread over a 60 x 40 m floor.
        for (int i = 0; i < 2000; ++i) {
            CNavImage* image = m->images.NewItem();
            image->x = next() % 6000;
            image->y = next() % 4000;
            image->angle = (next() % 628) / 100.0;
            image->SetImageSize(4, 4);
        }
        for (int i = 0; i < 10000; ++i) {
            CNavWall* wall = m->walls.NewItem();
            wall->x = next() % 6000;
            wall->y = next() % 4000;
            wall->angle = (next() % 628) / 100.0;
            wall->side = static_cast<uint8_t>(i & 3);
        }
        for (int i = 0; i < 50; ++i) {
            CNavPlace* place = m->places.NewItem();
            place->x = next() % 6000;
            place->y = next() % 4000;
            place->placeNumber = i + 1;
        }
        for (int i = 0; i < 20; ++i) {
            CNavZone* zone = m->zones.NewItem();
            zone->zoneType = 1 + i % 3;
            zone->SetVertexCount(4);
            const double x = next() % 6000;
            const double y = next() % 4000;
            zone->Vertices()[0] = {x, y};
            zone->Vertices()[1] = {x + 200, y};
            zone->Vertices()[2] = {x + 200, y + 150};
            zone->Vertices()[3] = {x, y + 150};
        }
        m->route.SetPointCount(500);
        for (int i = 0; i < 500; ++i) {
            m->route.Points()[i] = {i * 12.0, 2000 + 300 * std::sin(i / 20.0), 0};
        }
        m->route.progress = 200;
        return m;
    }();
    return *map;
}

CMapTransform View(int zoom) {
    CMapTransform t = FitMap(LargeMap(), {}, {0, 0, kW, kH});
    t.SetScale(t.Scale() * zoom);
    return t;
}

void Paint(benchmark::State& state, int zoom) {
    EnsureApp();
    QImage image(kW, kH, QImage::Format_RGB32);
    const CMapTransform t = View(zoom);
    const CMapPainter painter;
    for (auto _ : state) {
        QPainter p(&image);
        painter.Paint(p, LargeMap(), t, {});
        benchmark::DoNotOptimize(image.constBits());
    }
}

// The segments the painter strokes for walls, images and the route, in one call.
void Reference(benchmark::State& state) {
    EnsureApp();
    QImage image(kW, kH, QImage::Format_RGB32);
    const int segments = 10000 * 7 + 2000 * 2 + 499;
    std::vector<QLine> lines;
    uint32_t noise = 7;
    for (int i = 0; i < segments; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const int x = static_cast<int>((noise >> 8) % kW);
        const int y = static_cast<int>((noise >> 4) % kH);
        lines.emplace_back(x, y, x + 12, y + 5);
    }
    for (auto _ : state) {
        QPainter p(&image);
        p.fillRect(image.rect(), Qt::white);
        p.setPen(QPen(Qt::black, 1));
        p.drawLines(lines.data(), static_cast<int>(lines.size()));
        benchmark::DoNotOptimize(image.constBits());
    }
}

void PaintFitted_ours(benchmark::State& state) {
    Paint(state, 1);
}
void PaintZoomed_ours(benchmark::State& state) {
    Paint(state, 4);
}

std::vector<ScreenPoint> Pointers() {
    std::vector<ScreenPoint> out;
    for (int y = 0; y < kH; y += 40) {
        for (int x = 0; x < kW; x += 40) {
            out.push_back({x, y});
        }
    }
    return out;
}

void HitTest_ours(benchmark::State& state) {
    const CMapTransform t = View(1);
    const auto pointers = Pointers();
    for (auto _ : state) {
        for (const ScreenPoint& p : pointers) {
            benchmark::DoNotOptimize(HitTest(LargeMap(), t, {}, p));
        }
    }
}

// Every wall and image checked with an unturned box at each position.
void HitTest_reference(benchmark::State& state) {
    const CMapTransform t = View(1);
    const auto pointers = Pointers();
    const CNavProject& map = LargeMap();
    for (auto _ : state) {
        for (const ScreenPoint& p : pointers) {
            const CNavItem* found = nullptr;
            for (const CNavList* list : {static_cast<const CNavList*>(&map.images),
                                         static_cast<const CNavList*>(&map.walls)}) {
                for (const CNavItem* it = list->First(); it && !found; it = it->Next()) {
                    const auto* point = static_cast<const CNavPointItem*>(it);
                    const ScreenPoint s = t.ToScreen(point->x, point->y);
                    if (std::abs(s.x - p.x) <= 10 && std::abs(s.y - p.y) <= 8) {
                        found = it;
                    }
                }
            }
            benchmark::DoNotOptimize(found);
        }
    }
}

}  // namespace

BENCHMARK(PaintFitted_ours)->Name("PaintFitted/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(Reference)->Name("PaintFitted/reference")->Unit(benchmark::kMillisecond);
BENCHMARK(PaintZoomed_ours)->Name("PaintZoomed/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(Reference)->Name("PaintZoomed/reference")->Unit(benchmark::kMillisecond);
BENCHMARK(HitTest_ours)->Name("HoverHitTest/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(HitTest_reference)->Name("HoverHitTest/reference")->Unit(benchmark::kMillisecond);
