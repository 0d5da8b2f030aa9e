#include "ui/vel_tab_control.h"

#include <QSignalBlocker>
#include <QTabBar>

namespace velcora::ui {

CVelTabControl::CVelTabControl(CVelContainer* owner, uint32_t place, int w, int h, int id)
    : CVelContainer(owner, place, w, h), bar_(new QTabBar(Widget())) {
    SetId(id);
    bar_->setDrawBase(true);
    bar_->setExpanding(false);
    QObject::connect(bar_, &QTabBar::currentChanged, this, [this] {
        ShowActive();
        SendCommand(Id(), VelNotify::Changed);
    });
}

CVelPanel* CVelTabControl::AddPage(const QString& caption) {
    auto* page = new CVelPanel(this, kAlignClient, 0, 0);
    pages_.push_back(page);
    {
        QSignalBlocker b(bar_);
        bar_->addTab(caption);
    }
    ShowActive();
    return page;
}

CVelPanel* CVelTabControl::Page(int index) const {
    return index >= 0 && index < PageCount() ? pages_[static_cast<std::size_t>(index)] : nullptr;
}

int CVelTabControl::ActivePage() const {
    return bar_->currentIndex();
}

void CVelTabControl::SetActivePage(int index) {
    if (index < 0 || index >= PageCount()) {
        return;
    }
    {
        QSignalBlocker b(bar_);
        bar_->setCurrentIndex(index);
    }
    ShowActive();
}

QString CVelTabControl::PageCaption(int index) const {
    return bar_->tabText(index);
}

QRect CVelTabControl::ClientRect() const {
    QRect r = CVelContainer::ClientRect();
    r.setTop(r.top() + bar_->sizeHint().height());
    return r;
}

void CVelTabControl::ReLayout() {
    const QRect all = CVelContainer::ClientRect();
    bar_->setGeometry(all.left(), all.top(), all.width(), bar_->sizeHint().height());
    CVelContainer::ReLayout();
}

void CVelTabControl::ShowActive() {
    const int active = bar_->currentIndex();
    for (int i = 0; i < PageCount(); ++i) {
        pages_[static_cast<std::size_t>(i)]->Show(i == active);
    }
    ReLayout();
    if (CVelPanel* page = Page(active)) {
        page->ReLayout();
    }
}

}  // namespace velcora::ui
