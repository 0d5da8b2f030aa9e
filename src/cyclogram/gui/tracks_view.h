// The time line's window: paints the paint list of CTimeLine, turns mouse,
// wheel and keys into its calls, shows its pop-up menus and hover hints, and
// answers its questions with the console's dialogs.
#pragma once

#include <QFont>
#include <functional>
#include <memory>

#include "cyclogram/time_line.h"
#include "ui/vel.h"
#include "ui/vel_scroll_bar.h"

class QKeyEvent;
class QPainter;

namespace velcora::cyclogram_gui {

// Paints a paint list (also used by the benchmark).
void PaintTimeLine(QPainter& p, const TimeLinePaintList& list, const QFont& rulerFont,
                   const QFont& labelFont);

class CCyclogramTracksView : public ui::CVelContainer, public ITimeLineView {
    Q_OBJECT
  public:
    CCyclogramTracksView(ui::CVelContainer* owner, uint32_t place, int w, int h);
    ~CCyclogramTracksView() override;

    void SetTimeLine(CTimeLine* line);
    CTimeLine* TimeLine() const { return line_; }
    // The time line's own commands changed state (the bar above follows).
    void SetCommandStateHook(std::function<void()> hook) { commandHook_ = std::move(hook); }
    // The audio block dialog (it needs the robot's link and wave list).
    void SetBlockEditor(std::function<bool(AudioBlock&)> editor) {
        blockEditor_ = std::move(editor);
    }
    ui::CVelScrollBar* VerticalBar() const { return vBar_; }
    ui::CVelScrollBar* HorizontalBar() const { return hBar_; }

    // A key for the time line (its own, or undo and redo from elsewhere on the page).
    bool HandleKey(QKeyEvent* k);
    // Paints the whole view into `p` (the window's painting and pictures).
    void Render(QPainter& p);

    // ITimeLineView
    void Invalidate() override;
    void OnCommandStateChanged() override;
    bool Confirm(const std::string& title, const std::string& text) override;
    void ShowError(const std::string& text) override;
    bool EditTrackProperties(TrackProperties& properties) override;
    bool EditAudioBlock(AudioBlock& block) override;

    void PaintSurface(QPainter& p, const QRect& dirty) override;
    void ReLayout() override;
    bool HandleEvent(const ui::VelEvent& e) override;

  protected:
    bool WidgetEvent(QEvent* e) override;

  private:
    void SyncScrollBars();
    void ShowPopup(const QPoint& local, const QPoint& global);

    CTimeLine* line_ = nullptr;
    ui::CVelScrollBar* vBar_;
    ui::CVelScrollBar* hBar_;
    QFont rulerFont_;
    QFont labelFont_;
    TimeLinePaintList list_;
    ui::CVelPopupMenu* headerMenu_ = nullptr;
    ui::CVelPopupMenu* areaMenu_ = nullptr;
    ui::CVelPopupMenu* soundMenu_ = nullptr;
    std::function<void()> commandHook_;
    std::function<bool(AudioBlock&)> blockEditor_;
    InputMods menuMods_;
};

}  // namespace velcora::cyclogram_gui
