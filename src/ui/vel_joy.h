// The on-screen joystick: a stick dragged with the mouse (Ctrl locks it to
// one axis, release springs it back), an optional rotation handle above the
// stick, the percentage set by the owner, and a knob drawn tilted towards the
// stick from six layers. It publishes X (sideways), Y (forward) and R (turn),
// each in -1..1.
#pragma once

#include "ui/joy_geometry.h"
#include "ui/vel_control.h"

namespace velcora::ui {

class CVelJoy : public CVelControl {
    Q_OBJECT
  public:
    static constexpr int kDefaultSize = 120;

    CVelJoy(CVelContainer* owner, uint32_t place, bool rotation, int w = kDefaultSize,
            int h = kDefaultSize, int id = 0);

    float X() const { return v_.x; }
    float Y() const { return v_.y; }
    float R() const { return v_.r; }
    const JoyValues& Values() const { return v_; }
    // Sets the values (keys, the hat, a game controller); clamped to -1..1,
    // and R stays 0 without rotation.
    void SetValues(float x, float y, float r);
    bool Rotation() const { return rotation_; }
    void SetSpringBack(bool on) { springBack_ = on; }
    bool SpringBack() const { return springBack_; }
    // The percentage shown in the top-left corner, and its font (unset
    // properties, the weight among them, come from the control's own).
    void SetPercent(int percent);
    static QFont PercentFont();
    int Percent() const { return percent_; }
    JoyPart Dragging() const { return drag_; }
    JoyGeometry JoyGeom() const;

    void PaintSurface(QPainter& p, const QRect& dirty) override;

  signals:
    void valuesChanged(float x, float y, float r);
    // Keys pressed and released while the joystick has the focus; the owner
    // also receives them as KeyDown / KeyUp events.
    void keyPressed(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat);
    void keyReleased(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat);

  protected:
    bool WidgetEvent(QEvent* e) override;

  private:
    void Update(const JoyValues& v);
    void PaintLayer(QPainter& p, int layer, bool active) const;

    JoyValues v_;
    bool rotation_;
    bool springBack_ = true;
    int percent_ = 0;
    JoyPart drag_ = JoyPart::None;
    QPoint dragFrom_;
    JoyValues dragStart_;
};

}  // namespace velcora::ui
