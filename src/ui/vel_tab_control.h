// Pages behind a row of tabs. Each page is a panel filling the room under the
// tabs; only the active one is shown. Choosing a tab sends Changed with the
// control's id; SetActivePage is silent.
#pragma once

#include <vector>

#include "ui/vel_controls.h"

class QTabBar;

namespace velcora::ui {

class CVelTabControl : public CVelContainer {
    Q_OBJECT
  public:
    CVelTabControl(CVelContainer* owner, uint32_t place, int w, int h, int id = 0);

    CVelPanel* AddPage(const QString& caption);
    int PageCount() const { return static_cast<int>(pages_.size()); }
    CVelPanel* Page(int index) const;
    int ActivePage() const;
    void SetActivePage(int index);
    QString PageCaption(int index) const;
    QTabBar* TabBar() const { return bar_; }
    QRect ClientRect() const override;
    void ReLayout() override;

  private:
    void ShowActive();
    QTabBar* bar_;
    std::vector<CVelPanel*> pages_;
};

}  // namespace velcora::ui
