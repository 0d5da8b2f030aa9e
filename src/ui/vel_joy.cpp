#include "ui/vel_joy.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace velcora::ui {

CVelJoy::CVelJoy(CVelContainer* owner, uint32_t place, bool rotation, int w, int h, int id)
    : CVelControl(owner, new CVelSurface, place, w, h), rotation_(rotation) {
    SetId(id);
    Widget()->setMouseTracking(true);
    Widget()->setFocusPolicy(Qt::StrongFocus);
    // The stick sits on whatever panel holds it.
    SetColor(QColor());
}

JoyGeometry CVelJoy::JoyGeom() const {
    return ComputeJoyGeometry(Widget()->width(), Widget()->height());
}

void CVelJoy::Update(const JoyValues& v) {
    JoyValues n{JoyClamp(v.x), JoyClamp(v.y), rotation_ ? JoyClamp(v.r) : 0.0f};
    if (n == v_) {
        return;
    }
    v_ = n;
    Widget()->update();
    emit valuesChanged(v_.x, v_.y, v_.r);
}

void CVelJoy::SetValues(float x, float y, float r) {
    Update({x, y, r});
}

void CVelJoy::SetPercent(int percent) {
    if (percent != percent_) {
        percent_ = percent;
        Widget()->update();
    }
}

bool CVelJoy::WidgetEvent(QEvent* e) {
    switch (e->type()) {
        case QEvent::MouseButtonPress: {
            auto* m = static_cast<QMouseEvent*>(e);
            const bool taken = CVelControl::WidgetEvent(e);
            if (m->button() == Qt::LeftButton) {
                const QPoint p = m->position().toPoint();
                drag_ = JoyHitTest(JoyGeom(), v_, rotation_, p.x(), p.y());
                dragFrom_ = p;
                dragStart_ = v_;
            }
            return taken;
        }
        case QEvent::MouseMove: {
            auto* m = static_cast<QMouseEvent*>(e);
            const QPoint p = m->position().toPoint();
            if (drag_ != JoyPart::None) {
                Update(JoyDrag(drag_, dragStart_, JoyGeom().k, p.x() - dragFrom_.x(),
                               p.y() - dragFrom_.y(),
                               m->modifiers().testFlag(Qt::ControlModifier)));
            } else {
                switch (JoyHitTest(JoyGeom(), v_, rotation_, p.x(), p.y())) {
                    case JoyPart::Stick:
                        Widget()->setCursor(Qt::PointingHandCursor);
                        break;
                    case JoyPart::Handle:
                        Widget()->setCursor(Qt::SizeHorCursor);
                        break;
                    case JoyPart::None:
                        Widget()->unsetCursor();
                        break;
                }
            }
            return CVelControl::WidgetEvent(e);
        }
        case QEvent::MouseButtonRelease: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (m->button() == Qt::LeftButton) {
                Widget()->setFocus(Qt::MouseFocusReason);
                Update(JoyRelease(v_, springBack_, drag_ != JoyPart::None,
                                  m->modifiers().testFlag(Qt::ControlModifier)));
                drag_ = JoyPart::None;
            }
            return CVelControl::WidgetEvent(e);
        }
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto* k = static_cast<QKeyEvent*>(e);
            if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
                return false;
            }
            const bool press = e->type() == QEvent::KeyPress;
            if (press && CVelControl::WidgetEvent(e)) {
                return true;  // a popup menu shortcut
            }
            VelEvent v;
            v.kind = press ? VelEventKind::KeyDown : VelEventKind::KeyUp;
            v.control = this;
            v.key = k->key();
            v.modifiers = k->modifiers();
            v.autoRepeat = k->isAutoRepeat();
            if (press) {
                emit keyPressed(v.key, v.modifiers, v.autoRepeat);
            } else {
                emit keyReleased(v.key, v.modifiers, v.autoRepeat);
            }
            return Report(v);
        }
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            Widget()->update();  // the cap shows whether the stick has the keys
            return false;
        default:
            return CVelControl::WidgetEvent(e);
    }
}

namespace {

void Disc(QPainter& p, qreal radius, const QColor& light, const QColor& dark, QPointF shine) {
    QRadialGradient g(shine, radius * 1.6);
    g.setColorAt(0, light);
    g.setColorAt(1, dark);
    p.setBrush(g);
    p.drawEllipse(QPointF(0, 0), radius, radius);
}

}  // namespace

// Each layer is drawn in the coordinates of a 120-pixel control centred on
// the origin; the caller has moved, turned and scaled the painter.
void CVelJoy::PaintLayer(QPainter& p, int layer, bool active) const {
    p.setPen(QPen(QColor(20, 22, 26, 160), 1.0));
    switch (layer) {
        case 0:  // socket in the panel
            Disc(p, 27, QColor(0x6A, 0x70, 0x7A), QColor(0x26, 0x29, 0x2F), QPointF(-8, -10));
            break;
        case 1:  // rubber boot
            Disc(p, 20, QColor(0x55, 0x59, 0x61), QColor(0x1E, 0x20, 0x24), QPointF(-6, -8));
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(QColor(0x70, 0x74, 0x7C, 140), 1.0));
            p.drawEllipse(QPointF(0, 0), 14, 14);
            break;
        case 2:  // shaft, lower part
            Disc(p, 9, QColor(0xB8, 0xBD, 0xC4), QColor(0x55, 0x59, 0x60), QPointF(-3, -3));
            break;
        case 3:  // shaft, upper part
            Disc(p, 8, QColor(0xCC, 0xD0, 0xD6), QColor(0x66, 0x6A, 0x72), QPointF(-3, -3));
            break;
        case 4:  // knob skirt
            Disc(p, 21, QColor(0x3C, 0x4A, 0x5E), QColor(0x14, 0x1A, 0x24), QPointF(-7, -8));
            break;
        default: {  // knob cap, warmer while the stick has the keys
            const QColor light = active ? QColor(0xFF, 0xB8, 0x5C) : QColor(0x74, 0xA8, 0xE8);
            const QColor dark = active ? QColor(0xB8, 0x5A, 0x10) : QColor(0x1E, 0x4E, 0x96);
            Disc(p, 17, light, dark, QPointF(-6, -7));
            // The grip mark shows the turn.
            p.setPen(QPen(QColor(255, 255, 255, 200), 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(0, -4), QPointF(0, -14));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(255, 255, 255, 90));
            p.drawEllipse(QPointF(-6, -7), 4.5, 3);
            break;
        }
    }
}

QFont CVelJoy::PercentFont() {
    QFont f;
    f.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    f.setPixelSize(9);
    return f;
}

void CVelJoy::PaintSurface(QPainter& p, const QRect& dirty) {
    PaintBackground(p, dirty);
    p.setRenderHint(QPainter::Antialiasing);
    const JoyGeometry g = JoyGeom();
    const int c = JoyStickHalf(g);

    // The field the stick moves in, with its axes.
    const qreal field = g.k + c;
    p.setPen(QPen(QColor(0x80, 0x86, 0x90), 1.0));
    p.setBrush(QColor(0, 0, 0, 18));
    p.drawEllipse(QPointF(g.cx, g.cy), field, field);
    p.setPen(QPen(QColor(0x80, 0x86, 0x90, 120), 1.0, Qt::DashLine));
    p.drawLine(QPointF(g.cx - field, g.cy), QPointF(g.cx + field, g.cy));
    p.drawLine(QPointF(g.cx, g.cy - field), QPointF(g.cx, g.cy + field));

    if (rotation_) {
        // The rotation handle sits where it is grabbed: above the stick.
        int kx = 0, ky = 0;
        JoyStickCentre(g, v_, kx, ky);
        const QRectF h(kx - c + 2, ky - 2 * c + 1, 2 * c - 4, c - 2);
        p.setPen(QPen(QColor(0x30, 0x34, 0x3A), 1.0));
        p.setBrush(drag_ == JoyPart::Handle ? QColor(0xF0, 0xC0, 0x60) : QColor(0xC8, 0xCC, 0xD2));
        p.drawRoundedRect(h, 3, 3);
        p.setPen(QPen(QColor(0x30, 0x34, 0x3A), 1.2));
        const qreal my = h.center().y();
        const qreal a = h.width() * 0.3;
        p.drawLine(QPointF(h.center().x() - a, my), QPointF(h.center().x() + a, my));
        p.drawLine(QPointF(h.center().x() - a, my), QPointF(h.center().x() - a + 3, my - 3));
        p.drawLine(QPointF(h.center().x() - a, my), QPointF(h.center().x() - a + 3, my + 3));
        p.drawLine(QPointF(h.center().x() + a, my), QPointF(h.center().x() + a - 3, my - 3));
        p.drawLine(QPointF(h.center().x() + a, my), QPointF(h.center().x() + a - 3, my + 3));
    }

    const bool active = Widget()->hasFocus();
    for (int i = 0; i < kJoyLayers; ++i) {
        const JoyLayerPose pose = JoyLayer(g, v_, i);
        p.save();
        p.translate(g.cx + pose.dx, g.cy + pose.dy);
        p.rotate(pose.angle * 180.0 / M_PI);
        p.scale(pose.scale, pose.scale);
        PaintLayer(p, i, active);
        p.restore();
    }

    p.setFont(PercentFont());
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawText(QRect(2, 1, Widget()->width() - 4, 12), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("%1%").arg(percent_));
}

}  // namespace velcora::ui
