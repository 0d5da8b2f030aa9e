// A scroll bar: a range of content against a visible page. Moving it sends
// Changed with the control's id; SetPosition and SetRange are silent.
#pragma once

#include "ui/vel_control.h"

class QScrollBar;

namespace velcora::ui {

class CVelScrollBar : public CVelControl {
    Q_OBJECT
  public:
    CVelScrollBar(CVelContainer* owner, uint32_t place, int w, int h,
                  Qt::Orientation orientation = Qt::Vertical, int id = 0);
    // Content of `total` pixels seen through `page` pixels.
    void SetRange(int total, int page);
    int Position() const;
    void SetPosition(int v);
    int Maximum() const;
    QScrollBar* Bar() const;
};

// Latching speed buttons of which at most one is down.
class CVelSpdBtn;
class CVelButtonGroup {
  public:
    void Add(CVelSpdBtn* button);
    // Shows `button` down and the others up (nullptr: all up); silent.
    void SetDown(CVelSpdBtn* button);
    CVelSpdBtn* Down() const;
    const std::vector<CVelSpdBtn*>& Buttons() const { return buttons_; }

  private:
    std::vector<CVelSpdBtn*> buttons_;
};

}  // namespace velcora::ui
