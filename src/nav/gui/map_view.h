// The map view: paints the editor's map and hands mouse, wheel and key input
// to the editor; the window owns both.
#pragma once

#include <functional>

#include "nav/gui/map_painter.h"
#include "nav/map_editor.h"
#include "ui/vel_control.h"

namespace velcora::nav {

class CMapView : public ui::CVelControl {
    Q_OBJECT
  public:
    CMapView(ui::CVelContainer* owner, uint32_t place, int w, int h, CMapEditor& editor);

    void PaintSurface(QPainter& p, const QRect& dirty) override;
    // Keys the window handles (undo, R, the menu's shortcuts); true when taken.
    void SetKeyHandler(std::function<bool(int key, Qt::KeyboardModifiers, quint32 scanCode)> h) {
        keys_ = std::move(h);
    }
    // Follows the editor's state: the cursor for the pointer's place.
    void UpdateCursor();

  protected:
    bool WidgetEvent(QEvent* e) override;

  private:
    CMapEditor& editor_;
    CMapPainter painter_;
    std::function<bool(int, Qt::KeyboardModifiers, quint32)> keys_;
    bool rightTaken_ = false;
};

}  // namespace velcora::nav
