// A map body as the robot or the clipboard could send it, read into a map,
// painted at several scales and hit-tested at several points, then put
// through the editor's gestures and commands. The first byte picks the view.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "../sink_link.h"
#include "nav/gui/map_painter.h"
#include "nav/map_editor.h"
#include "nav/map_format.h"
#include "nav/map_geometry.h"

namespace {

using namespace velcora;
using namespace velcora::nav;

void EnsureApp() {
    static std::unique_ptr<QGuiApplication> app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_map_paint";
        static char* argv[] = {name, nullptr};
        return std::make_unique<QGuiApplication>(argc, argv);
    }();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    EnsureApp();
    const uint8_t pick = data[0];
    const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
    CMemoryStream input;
    input.Assign(body);
    CNavProject map([] { return 5; });
    ReadBody(map, input, MergeIds::Stored);

    static const double kScales[] = {0.001, 0.37, 1.0, 4.0, 1000.0};
    const RobotShape shape;
    QImage image(160, 100, QImage::Format_RGB32);
    const ScreenRect rect{0, 0, 160, 100};
    for (double scale : {kScales[pick % 5], kScales[(pick / 5) % 5]}) {
        const CMapTransform fitted = FitMap(map, shape, rect);
        for (const CMapTransform& t :
             {CMapTransform(rect, scale, fitted.Centre()), CMapTransform(rect, scale, {0, 0})}) {
            QPainter p(&image);
            MapOverlay overlay;
            overlay.rubberBand = std::pair{ScreenPoint{-5, 3}, ScreenPoint{200, 90}};
            CMapPainter().Paint(p, map, t, shape, overlay);
            for (int y = -20; y <= 120; y += 35) {
                for (int x = -20; x <= 180; x += 45) {
                    HitTest(map, t, shape, {x, y});
                }
            }
            SelectInRect(map, t, {0, 0}, {160, 100});
        }
    }

    // The same body through the editor: pasted, then pressed, dragged,
    // turned, deleted and undone at points the input chooses.
    fuzz::SinkLink link;
    IMapEditorView view;
    CMapEditor editor(link, view, shape, [] { return 9; });
    editor.SetViewRect(rect);
    editor.Paste(body);
    editor.SelectAll();
    for (std::size_t i = 1; i + 2 < size && i < 64; i += 3) {
        const ScreenPoint a{data[i] - 40, data[i + 1] - 40};
        const ScreenPoint b{data[i + 2] - 40, data[i] - 60};
        const InputModifiers mods{.ctrl = (data[i] & 1) != 0, .shift = (data[i] & 2) != 0};
        editor.SetTool(static_cast<MapTool>(data[i + 1] % 4));
        editor.MouseDown(MouseButton::Left, a, mods);
        editor.MouseMove(b, mods);
        editor.MouseUp(MouseButton::Left, b, mods);
        editor.MouseMove(a, mods);
        if (data[i + 2] % 7 == 0) {
            editor.Escape();
        } else if (data[i + 2] % 7 == 1) {
            editor.Delete();
        } else if (data[i + 2] % 7 == 2) {
            editor.Undo();
        } else if (data[i + 2] % 7 == 3) {
            editor.Cut();
            editor.Paste(body);
        } else if (data[i + 2] % 7 == 4) {
            if (auto values = editor.Properties()) {
                editor.ApplyProperties(*values);
            }
        }
    }
    editor.Redo();
    QPainter p(&image);
    CMapPainter().Paint(p, editor.Map(), editor.Transform(), shape);
    return 0;
}

// Fontconfig keeps its caches for the life of the process on purpose.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
