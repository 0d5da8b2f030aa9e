#include "nav/gui/map_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

namespace velcora::nav {

namespace {

ScreenPoint ToPoint(const QPointF& p) {
    // Far outside the widget (a drag that left it) the values stay sane.
    const auto clampCoord = [](double v) { return static_cast<int32_t>(std::clamp(v, -1e6, 1e6)); };
    return {clampCoord(p.x()), clampCoord(p.y())};
}

InputModifiers Mods(Qt::KeyboardModifiers m) {
    return {.ctrl = (m & Qt::ControlModifier) != 0, .shift = (m & Qt::ShiftModifier) != 0};
}

Qt::CursorShape Shape(MapCursor c) {
    switch (c) {
        case MapCursor::Arrow:
            return Qt::ArrowCursor;
        case MapCursor::OverItem:
            return Qt::SizeAllCursor;
        case MapCursor::Moving:
            return Qt::ClosedHandCursor;
        case MapCursor::Handle:
            return Qt::PointingHandCursor;
        case MapCursor::Pan:
            return Qt::OpenHandCursor;
        case MapCursor::Panning:
            return Qt::ClosedHandCursor;
        case MapCursor::Cross:
            return Qt::CrossCursor;
        case MapCursor::Rotate:
            return Qt::SizeBDiagCursor;
    }
    return Qt::ArrowCursor;
}

}  // namespace

CMapView::CMapView(ui::CVelContainer* owner, uint32_t place, int w, int h, CMapEditor& editor)
    : CVelControl(owner, new ui::CVelSurface, place, w, h), editor_(editor) {
    Widget()->setMouseTracking(true);
    Widget()->setFocusPolicy(Qt::StrongFocus);
    Widget()->setAttribute(Qt::WA_OpaquePaintEvent);
    editor_.SetViewRect({0, 0, Widget()->width(), Widget()->height()});
}

void CMapView::PaintSurface(QPainter& p, const QRect&) {
    MapOverlay overlay;
    overlay.rubberBand = editor_.RubberBand();
    overlay.rotationLine = editor_.RotationLine();
    painter_.Paint(p, editor_.Map(), editor_.Transform(), editor_.Shape(), overlay);
}

void CMapView::UpdateCursor() {
    const QPoint at = Widget()->mapFromGlobal(QCursor::pos());
    SetCursorShape(Shape(editor_.CursorAt(ToPoint(at))));
}

bool CMapView::WidgetEvent(QEvent* e) {
    switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            auto* m = static_cast<QMouseEvent*>(e);
            const ScreenPoint p = ToPoint(m->position());
            SetFocus();
            if (m->button() == Qt::LeftButton) {
                editor_.MouseDown(MouseButton::Left, p, Mods(m->modifiers()));
            } else if (m->button() == Qt::MiddleButton) {
                editor_.MouseDown(MouseButton::Middle, p, Mods(m->modifiers()));
            } else if (m->button() == Qt::RightButton) {
                rightTaken_ = editor_.RightClickTaken();
                editor_.MouseDown(MouseButton::Right, p, Mods(m->modifiers()));
            }
            SetCursorShape(Shape(editor_.CursorAt(p)));
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* m = static_cast<QMouseEvent*>(e);
            const ScreenPoint p = ToPoint(m->position());
            if (m->button() == Qt::LeftButton) {
                editor_.MouseUp(MouseButton::Left, p, Mods(m->modifiers()));
            } else if (m->button() == Qt::MiddleButton) {
                editor_.MouseUp(MouseButton::Middle, p, Mods(m->modifiers()));
            } else if (m->button() == Qt::RightButton) {
                editor_.MouseUp(MouseButton::Right, p, Mods(m->modifiers()));
                if (!rightTaken_) {
                    ShowPopupMenu(m->globalPosition().toPoint());
                }
                rightTaken_ = false;
            }
            SetCursorShape(Shape(editor_.CursorAt(p)));
            return true;
        }
        case QEvent::MouseMove: {
            auto* m = static_cast<QMouseEvent*>(e);
            const ScreenPoint p = ToPoint(m->position());
            editor_.MouseMove(p, Mods(m->modifiers()));
            SetCursorShape(Shape(editor_.CursorAt(p)));
            return true;
        }
        case QEvent::Wheel: {
            auto* w = static_cast<QWheelEvent*>(e);
            editor_.Wheel(w->angleDelta().y());
            return true;
        }
        case QEvent::ContextMenu:
            if (static_cast<QContextMenuEvent*>(e)->reason() == QContextMenuEvent::Keyboard) {
                ShowPopupMenu(static_cast<QContextMenuEvent*>(e)->globalPos());
            }
            return true;
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(e);
            if (k->key() == Qt::Key_Escape && editor_.Escape()) {
                return true;
            }
            if (keys_ && keys_(k->key(), k->modifiers(), k->nativeScanCode())) {
                return true;
            }
            return ui::CVelControl::WidgetEvent(e);
        }
        case QEvent::Resize:
            editor_.SetViewRect({0, 0, Widget()->width(), Widget()->height()});
            return ui::CVelControl::WidgetEvent(e);
        default:
            return ui::CVelControl::WidgetEvent(e);
    }
}

}  // namespace velcora::nav
