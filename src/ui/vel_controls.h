// The standard controls of the family. Each one wraps one Qt widget and
// reports the operator's actions as commands (VelNotify::Click for presses,
// Changed for values the operator changed, Activated for double clicks);
// values set by the program report nothing.
#pragma once

#include <QStringList>
#include <functional>

#include "ui/vel_control.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QStatusBar;
class QToolButton;

namespace velcora::ui {

// A container with a flat or gradient background and optional sunken frame.
class CVelPanel : public CVelContainer {
    Q_OBJECT
  public:
    CVelPanel(CVelContainer* owner, uint32_t place, int w, int h);
    void SetBevel(bool on);
    void PaintSurface(QPainter& p, const QRect& dirty) override;

  private:
    bool bevel_ = false;
};

// A captioned frame around a group of controls.
class CVelGroupBox : public CVelContainer {
    Q_OBJECT
  public:
    CVelGroupBox(CVelContainer* owner, uint32_t place, int w, int h, const QString& caption);
    void SetText(const QString& caption) override;
    QRect ClientRect() const override;
    QGroupBox* Box() const;

  protected:
    CVelGroupBox(CVelContainer* owner, QGroupBox* box, uint32_t place, int w, int h,
                 const QString& caption);
};

// A group box whose caption is a check box (its children follow it).
class CVelCheckGroupBox : public CVelGroupBox {
    Q_OBJECT
  public:
    CVelCheckGroupBox(CVelContainer* owner, uint32_t place, int w, int h, const QString& caption);
    bool Checked() const;
    void SetChecked(bool on);
};

// A group box of radio buttons, one a row; choosing one reports Changed with
// the group's id.
class CVelRadioGroupBox : public CVelGroupBox {
    Q_OBJECT
  public:
    CVelRadioGroupBox(CVelContainer* owner, uint32_t place, int w, int h, const QString& caption,
                      int id = 0);
    void AddItem(const QString& text);
    int Count() const { return static_cast<int>(radios_.size()); }
    int ItemIndex() const;
    void SetItemIndex(int index);
    bool HandleEvent(const VelEvent& e) override;

  private:
    std::vector<class CVelRadio*> radios_;
};

// A container whose children scroll inside it.
class CVelScrollBox : public CVelContainer {
    Q_OBJECT
  public:
    CVelScrollBox(CVelContainer* owner, uint32_t place, int w, int h);
    QWidget* ClientWidget() const override { return inner_; }
    QRect ClientRect() const override;
    // The size of the scrolled area.
    void SetContentSize(int w, int h);

  private:
    QWidget* inner_;
};

// Controls with a caption.
class CVelTitleControl : public CVelControl {
    Q_OBJECT
  public:
    void SetText(const QString& text) override;
    QString Text() const override;

  protected:
    using CVelControl::CVelControl;
};

class CVelButton : public CVelTitleControl {
    Q_OBJECT
  public:
    CVelButton(CVelContainer* owner, uint32_t place, int w, int h, const QString& text, int id = 0);
    QPushButton* Button() const;

  protected:
    bool NativeClicks() const override { return true; }
};

class CVelCheckBox : public CVelTitleControl {
    Q_OBJECT
  public:
    CVelCheckBox(CVelContainer* owner, uint32_t place, int w, int h, const QString& text,
                 int id = 0);
    bool Checked() const;
    void SetChecked(bool on);

  protected:
    bool NativeClicks() const override { return true; }
};

class CVelRadio : public CVelTitleControl {
    Q_OBJECT
  public:
    CVelRadio(CVelContainer* owner, uint32_t place, int w, int h, const QString& text, int id = 0);
    bool Checked() const;
    void SetChecked(bool on);

  protected:
    bool NativeClicks() const override { return true; }
};

class CVelLabel : public CVelTitleControl {
    Q_OBJECT
  public:
    CVelLabel(CVelContainer* owner, uint32_t place, int w, int h, const QString& text,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter);
    void SetAlignment(Qt::Alignment align);
};

// A flat speed button; latching buttons stay down until pressed again.
class CVelSpdBtn : public CVelTitleControl {
    Q_OBJECT
  public:
    CVelSpdBtn(CVelContainer* owner, uint32_t place, int w, int h, const QString& text, int id = 0);
    void SetLatching(bool on);
    bool Down() const;
    // Silent: shows the button pressed or released without a command.
    void SetDown(bool down);
    // As if the operator pressed it: a latching button toggles, and the
    // command is sent.
    void Press();
    QToolButton* Button() const;

  protected:
    bool NativeClicks() const override { return true; }
};

class CVelCustomEdit : public CVelControl {
    Q_OBJECT
  public:
    virtual void SetReadOnly(bool on) = 0;

  protected:
    using CVelControl::CVelControl;
};

class CVelEdit : public CVelCustomEdit {
    Q_OBJECT
  public:
    CVelEdit(CVelContainer* owner, uint32_t place, int w, int h, const QString& text = {},
             int id = 0);
    void SetText(const QString& text) override;
    QString Text() const override;
    void SetPassword(bool on);
    void SetReadOnly(bool on) override;
    void SetMaxLength(int n);
    QLineEdit* LineEdit() const;
};

class CVelSpinEdit : public CVelCustomEdit {
    Q_OBJECT
  public:
    CVelSpinEdit(CVelContainer* owner, uint32_t place, int w, int h, int min, int max, int value,
                 int id = 0);
    int Value() const;
    void SetValue(int v);
    void SetRange(int min, int max);
    void SetReadOnly(bool on) override;
    QSpinBox* SpinBox() const;
};

class CVelCustomMemo : public CVelCustomEdit {
    Q_OBJECT
  protected:
    using CVelCustomEdit::CVelCustomEdit;
};

class CVelMemo : public CVelCustomMemo {
    Q_OBJECT
  public:
    CVelMemo(CVelContainer* owner, uint32_t place, int w, int h, int id = 0);
    void SetText(const QString& text) override;
    QString Text() const override;
    void Append(const QString& line);
    void SetReadOnly(bool on) override;
    QPlainTextEdit* Editor() const;
};

class CVelListBox : public CVelControl {
    Q_OBJECT
  public:
    CVelListBox(CVelContainer* owner, uint32_t place, int w, int h, int id = 0);
    void AddItem(const QString& text);
    void Clear();
    int Count() const;
    QString ItemText(int index) const;
    int ItemIndex() const;
    void SetItemIndex(int index);
    QListWidget* List() const;
};

class CVelComboBox : public CVelControl {
    Q_OBJECT
  public:
    CVelComboBox(CVelContainer* owner, uint32_t place, int w, int h, int id = 0);
    void AddItem(const QString& text);
    void SetItems(const QStringList& items);
    void Clear();
    int Count() const;
    QString ItemText(int index) const;
    int ItemIndex() const;
    void SetItemIndex(int index);
    QComboBox* Combo() const;
};

class CVelTrackBar : public CVelControl {
    Q_OBJECT
  public:
    CVelTrackBar(CVelContainer* owner, uint32_t place, int w, int h, int min, int max,
                 Qt::Orientation orientation = Qt::Horizontal, int id = 0);
    int Position() const;
    void SetPosition(int v);
    void SetRange(int min, int max);
    QSlider* Slider() const;
};

class CVelProgressBar : public CVelControl {
    Q_OBJECT
  public:
    CVelProgressBar(CVelContainer* owner, uint32_t place, int w, int h, int min = 0, int max = 100);
    void SetPosition(int v);
    int Position() const;
};

// A bar of text panes; a pane with stretch takes the room left over.
class CVelStatusBar : public CVelControl {
    Q_OBJECT
  public:
    struct Pane {
        int width;
        bool stretch = false;
    };
    CVelStatusBar(CVelContainer* owner, const std::vector<Pane>& panes, int h = 22);
    int PaneCount() const { return static_cast<int>(panes_.size()); }
    void SetPaneText(int pane, const QString& text);
    QString PaneText(int pane) const;

  private:
    std::vector<QLabel*> panes_;
};

class CVelSeparator : public CVelControl {
    Q_OBJECT
  public:
    CVelSeparator(CVelContainer* owner, uint32_t place, int w, int h,
                  Qt::Orientation orientation = Qt::Horizontal);
};

// A control painted by a handler the owner gives.
class CVelPaintBox : public CVelControl {
    Q_OBJECT
  public:
    CVelPaintBox(CVelContainer* owner, uint32_t place, int w, int h);
    void SetPaintHandler(std::function<void(QPainter&, const QRect&)> handler) {
        paint_ = std::move(handler);
    }
    void PaintSurface(QPainter& p, const QRect& dirty) override;

  private:
    std::function<void(QPainter&, const QRect&)> paint_;
};

}  // namespace velcora::ui
