#include "ui/vel_splitter.h"

#include <QMouseEvent>
#include <algorithm>

namespace velcora::ui {

CVelSplitter::CVelSplitter(CVelContainer* owner, uint32_t place, int thickness, CVelControl* target,
                           int minSize, int minRest)
    : CVelControl(owner, new CVelSurface, place, thickness, 0),
      target_(target),
      minSize_(minSize),
      minRest_(minRest) {
    SetCursorShape(Qt::SplitHCursor);
}

int CVelSplitter::MoveTo(int size) {
    if (target_ == nullptr)
        return 0;
    const QRect t = target_->Geometry();
    // Room the target may take: up to the owner's right edge less what must
    // stay free and this bar.
    int limit = size;
    if (Owner() != nullptr) {
        const QRect client = Owner()->ClientRect();
        limit = client.right() + 1 - t.left() - Geometry().width() - minRest_;
    }
    const int w = std::max(minSize_, std::min(size, limit));
    if (w != t.width())
        target_->SetSize(w, t.height());
    return w;
}

bool CVelSplitter::WidgetEvent(QEvent* e) {
    switch (e->type()) {
        case QEvent::MouseButtonPress: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (m->button() == Qt::LeftButton && target_ != nullptr) {
                grab_ = Widget()->mapToParent(m->position().toPoint()).x();
                startSize_ = target_->Geometry().width();
                return true;
            }
            break;
        }
        case QEvent::MouseMove:
            if (grab_ >= 0) {
                auto* m = static_cast<QMouseEvent*>(e);
                const int x = Widget()->mapToParent(m->position().toPoint()).x();
                MoveTo(startSize_ + x - grab_);
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (grab_ >= 0) {
                grab_ = -1;
                return true;
            }
            break;
        default:
            break;
    }
    return CVelControl::WidgetEvent(e);
}

}  // namespace velcora::ui
