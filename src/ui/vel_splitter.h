// A thin bar that the operator drags to share room between the aligned control
// before it and whatever the container leaves free after it (the frame's
// document area).
#pragma once

#include "ui/vel_control.h"

namespace velcora::ui {

class CVelSplitter : public CVelControl {
    Q_OBJECT
  public:
    // Placed with `place` (kAlignLeft: it resizes `target`'s width). `target`
    // keeps at least `minSize` and leaves at least `minRest` free.
    CVelSplitter(CVelContainer* owner, uint32_t place, int thickness, CVelControl* target,
                 int minSize, int minRest);

    // Gives the target `size` within the limits; returns what it got.
    int MoveTo(int size);

  protected:
    bool WidgetEvent(QEvent* e) override;

  private:
    CVelControl* target_;
    int minSize_;
    int minRest_;
    int grab_ = -1;  // where the drag started, in the owner's coordinates
    int startSize_ = 0;
};

}  // namespace velcora::ui
