#include "ui/vel_scroll_bar.h"

#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>

#include "ui/vel_controls.h"

namespace velcora::ui {

CVelScrollBar::CVelScrollBar(CVelContainer* owner, uint32_t place, int w, int h,
                             Qt::Orientation orientation, int id)
    : CVelControl(owner, new QScrollBar(orientation), place, w, h) {
    SetId(id);
    QObject::connect(Bar(), &QScrollBar::valueChanged, this,
                     [this] { SendCommand(Id(), VelNotify::Changed); });
}

QScrollBar* CVelScrollBar::Bar() const {
    return static_cast<QScrollBar*>(Widget());
}

void CVelScrollBar::SetRange(int total, int page) {
    QSignalBlocker b(Bar());
    page = std::max(page, 0);
    Bar()->setRange(0, std::max(total - page, 0));
    Bar()->setPageStep(std::max(page, 1));
    Bar()->setSingleStep(std::max(page / 8, 2));
}

int CVelScrollBar::Position() const {
    return Bar()->value();
}

void CVelScrollBar::SetPosition(int v) {
    QSignalBlocker b(Bar());
    Bar()->setValue(v);
}

int CVelScrollBar::Maximum() const {
    return Bar()->maximum();
}

void CVelButtonGroup::Add(CVelSpdBtn* button) {
    button->SetLatching(true);
    buttons_.push_back(button);
}

void CVelButtonGroup::SetDown(CVelSpdBtn* button) {
    for (CVelSpdBtn* b : buttons_) {
        b->SetDown(b == button);
    }
}

CVelSpdBtn* CVelButtonGroup::Down() const {
    for (CVelSpdBtn* b : buttons_) {
        if (b->Down()) {
            return b;
        }
    }
    return nullptr;
}

}  // namespace velcora::ui
