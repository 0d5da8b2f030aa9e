// Hover hints: a 50 ms watch over the cursor tells controls when the mouse
// enters and leaves them, and after 300 ms at rest over a control with a hint
// text opens a CHintWindow near the cursor; moving the mouse closes it.
#pragma once

#include <QPoint>
#include <QString>

#include "ui/vel_control.h"

class QLabel;
class QTimer;

namespace velcora::ui {

class CHintWindow : public CVelControl {
    Q_OBJECT
  public:
    CHintWindow();
    ~CHintWindow() override;
    void ShowAt(const QString& text, const QPoint& globalPos);
    void Hide();
    QString Text() const override;

    // The open hint, or nullptr.
    static CHintWindow* Current();
    // One step of the watch: the cursor is at `globalPos`, `elapsedMs` after
    // the previous step. The timer calls this with the real cursor.
    static void Poll(const QPoint& globalPos, int elapsedMs = 50);
    // Stops the timer so that a caller (a test) can drive Poll by hand.
    static void StopWatch();
    static bool WatchRunning();

  private:
    QLabel* label_;
};

// Used by the control base.
void HintWatchStart();
void HintForget(CVelControl* control);

}  // namespace velcora::ui
