// Painting the time line: 100 tracks of 1,000 Bezier keys 100 ms apart and a
// sound track of 200 blocks, 1600 x 900 pixels into an image, at the scale a
// time line opens with and zoomed out to show all 100 s. Our paint (the paint
// list of the visible part, then the painter) is set against one polyline per
// visible row through points sampled beforehand, one per pixel column.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <memory>
#include <vector>

#include "cyclogram/gui/tracks_view.h"
#include "cyclogram/time_line.h"

namespace {

using namespace velcora;

constexpr int kWidth = 1600;
constexpr int kHeight = 900;
constexpr int kTracks = 100;
constexpr int kKeys = 1000;
constexpr int kBlocks = 200;

QApplication& App() {
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

struct NoView : ITimeLineView {
    void Invalidate() override {}
    bool Confirm(const std::string&, const std::string&) override { return false; }
    void ShowError(const std::string&) override {}
    bool EditTrackProperties(TrackProperties&) override { return false; }
    bool EditAudioBlock(AudioBlock&) override { return false; }
};

std::unique_ptr<CCyclogram> Document() {
    auto doc = std::make_unique<CCyclogram>();
    for (int t = 0; t < kTracks; ++t) {
        CCyclogramTrack& track = doc->track(doc->addTrack());
        track.motor = t;
        for (int k = 0; k < kKeys; ++k) {
            CyclogramKey key;
            key.time = k * 100;
            key.value = static_cast<float>((k * 7 + t) % 11) / 10.0f;
            key.inLength = 40;
            key.outLength = 60;
            key.outDelta = 0.05f;
            track.appendKey(key);
        }
    }
    doc->audio = std::make_unique<CCyclogramAudioTrack>();
    for (int b = 0; b < kBlocks; ++b) {
        AudioBlock block;
        block.start = b * 500;
        block.length = 400;
        block.text = "block.wav";
        doc->audio->appendBlock(block);
    }
    return doc;
}

struct Scene {
    explicit Scene(double scale) {
        App();
        line.SetDocument(Document());
        line.SetVisible(true);
        line.SetClientSize(kWidth, kHeight);
        line.SetScale(scale);
        rulerFont.setPixelSize(8);
        labelFont.setPixelSize(11);
    }
    NoView view;
    CMemoryClipboard clipboard;
    CTimeLine line{view, clipboard};
    QImage image{kWidth, kHeight, QImage::Format_RGB32};
    QFont rulerFont{QStringLiteral("DejaVu Sans")};
    QFont labelFont{QStringLiteral("DejaVu Sans")};
    TimeLinePaintList list;
};

// Every 100 s across the track area.
double AllScale() {
    return static_cast<double>(kWidth - kHeaderWidth - kScrollBarSize) / (kKeys * 100.0);
}

void Ours(benchmark::State& state, double scale) {
    Scene scene(scale);
    for (auto _ : state) {
        QPainter p(&scene.image);
        scene.line.BuildPaintList(scene.list);
        cyclogram_gui::PaintTimeLine(p, scene.list, scene.rulerFont, scene.labelFont);
        p.end();
        benchmark::DoNotOptimize(scene.image.constBits());
    }
}

void Reference(benchmark::State& state, double scale) {
    Scene scene(scale);
    // Points sampled beforehand, one per pixel column of each visible row.
    std::vector<std::vector<QPoint>> rows;
    const CCyclogram& doc = scene.line.Document();
    for (int r = 0; r < doc.trackCount(); ++r) {
        const int64_t top = scene.line.RowTop(r);
        const int h = scene.line.RowHeight(r);
        if (top >= kHeight - kScrollBarSize) {
            break;
        }
        std::vector<QPoint> pts;
        for (int x = kHeaderWidth; x < kWidth - kScrollBarSize; ++x) {
            const int64_t t = XToTime(x, scene.line.Scale(), scene.line.HScroll());
            pts.emplace_back(x, ValueToY(top, h, doc.track(r).valueAt(static_cast<int32_t>(t))));
        }
        rows.push_back(std::move(pts));
    }
    for (auto _ : state) {
        QPainter p(&scene.image);
        p.fillRect(scene.image.rect(), Qt::white);
        for (const auto& pts : rows) {
            p.drawPolyline(pts.data(), static_cast<int>(pts.size()));
        }
        p.end();
        benchmark::DoNotOptimize(scene.image.constBits());
    }
}

void TracksPaintOpen_ours(benchmark::State& s) {
    Ours(s, kDefaultScale);
}
void TracksPaintOpen_reference(benchmark::State& s) {
    Reference(s, kDefaultScale);
}
void TracksPaintAll_ours(benchmark::State& s) {
    Ours(s, AllScale());
}
void TracksPaintAll_reference(benchmark::State& s) {
    Reference(s, AllScale());
}

}  // namespace

BENCHMARK(TracksPaintOpen_ours)->Name("TracksPaintOpen/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(TracksPaintOpen_reference)
    ->Name("TracksPaintOpen/reference")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(TracksPaintAll_ours)->Name("TracksPaintAll/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(TracksPaintAll_reference)
    ->Name("TracksPaintAll/reference")
    ->Unit(benchmark::kMillisecond);

namespace {
// The share of the paint list alone (no ratio: informative).
void TracksPaintListAll(benchmark::State& state) {
    Scene scene(AllScale());
    for (auto _ : state) {
        scene.line.BuildPaintList(scene.list);
        benchmark::DoNotOptimize(scene.list.points.data());
    }
}
}  // namespace
BENCHMARK(TracksPaintListAll)->Unit(benchmark::kMillisecond);
