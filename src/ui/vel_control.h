// The control family's base: a CVelControl owns one QWidget, reports what
// happens on it to its owners, and carries the shared font, colours, popup
// menu, hover hint and placement of the control. Containers lay out their
// children by placement code, anchors and the flow layout.
//
// Controls are always created with new. A control lives exactly as long as its
// widget: deleting the control deletes the widget, and a widget deleted by its
// parent (or closed with delete-on-close) deletes its control.
#pragma once

#include <QColor>
#include <QFont>
#include <QKeySequence>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ui/layout_geometry.h"

class QMenu;
class QAction;
class QPainter;

namespace velcora::ui {

class CVelContainer;
class CVelCustomForm;
class CVelControl;

// One native font shared by reference count; it frees itself when the last
// holder releases it. Create() hands the caller one reference.
class CVelFont {
  public:
    static CVelFont* Create(const QString& family, int pixelHeight, bool bold = false);
    // The font Create makes, for whoever needs it before the control family
    // (the font preload).
    static QFont Describe(const QString& family, int pixelHeight, bool bold = false);
    void AddRef() { ++refs_; }
    void Release();
    int RefCount() const { return refs_; }
    const QFont& Font() const { return font_; }

  private:
    explicit CVelFont(const QFont& font) : font_(font) {}
    ~CVelFont() = default;
    QFont font_;
    int refs_ = 1;
};

// A popup menu shared by reference count. Choosing an entry sends its id as a
// command from the control the menu was shown for.
class CVelPopupMenu {
  public:
    static CVelPopupMenu* Create();
    void AddRef() { ++refs_; }
    void Release();
    int RefCount() const { return refs_; }

    QAction* AddItem(int id, const QString& text, const QKeySequence& shortcut = {});
    void AddSeparator();
    QAction* Item(int id) const;
    void EnableItem(int id, bool enabled);
    void CheckItem(int id, bool checked);
    QMenu* Menu() const { return menu_.get(); }

    void Popup(const QPoint& globalPos, CVelControl* target);
    // Runs the entry whose shortcut is `keys`; returns whether there was one.
    bool HandleShortcut(const QKeySequence& keys, CVelControl* target);

  private:
    CVelPopupMenu();
    ~CVelPopupMenu();
    std::unique_ptr<QMenu> menu_;
    QPointer<CVelControl> target_;
    int refs_ = 1;
};

enum class VelEventKind {
    MouseMove,
    LeftDown,
    LeftUp,
    LeftDoubleClick,
    RightDown,
    RightUp,
    MiddleDown,
    MiddleUp,
    Wheel,
    KeyDown,
    KeyUp,
    Command,     // a click, a menu entry, an accelerator or a notification
    Resized,     // the control's size changed
    MenuUpdate,  // its popup menu is about to open: enable and check entries
    MouseEnter,
    MouseLeave,
};

// What a command carries besides its id.
enum class VelNotify { Click, Changed, Activated, Menu, Accelerator };

struct VelEvent {
    VelEventKind kind = VelEventKind::Command;
    CVelControl* control = nullptr;  // the control it happened on
    QPoint pos;                      // in the control's coordinates
    int wheelDelta = 0;
    int key = 0;
    bool autoRepeat = false;
    Qt::KeyboardModifiers modifiers;
    int id = 0;
    VelNotify notify = VelNotify::Click;
    class CVelPopupMenu* menu = nullptr;
};

class CVelControl : public QObject {
    Q_OBJECT
  public:
    ~CVelControl() override;
    CVelControl(const CVelControl&) = delete;
    CVelControl& operator=(const CVelControl&) = delete;

    static CVelControl* FromWidget(const QWidget* widget);
    // The control a widget belongs to: the widget's own or its nearest ancestor's.
    static CVelControl* Enclosing(const QWidget* widget);

    // Destroys the widget and this object.
    virtual void Destroy();
    // Takes a reference to `font` and releases the old one (nullptr: inherit).
    virtual void SetFont(CVelFont* font);
    // Background: an invalid colour means no background is drawn.
    virtual void SetColor(const QColor& color);
    virtual void SetTextColor(const QColor& color);
    // Vertical gradient from the background colour at the top to `bottom`.
    void SetGradient(const QColor& bottom);
    void ClearGradient();
    virtual QRect ClientRect() const;
    // Sends a command with the control's id, offered first to the control.
    virtual void Click();
    virtual void SetEnabled(bool enabled);
    virtual bool HasFocus() const;
    // The central handler: returns whether the event was taken.
    virtual bool HandleEvent(const VelEvent& e);

    virtual void SetText(const QString& text);
    virtual QString Text() const { return text_; }
    // The hover hint; none when empty.
    void SetHint(const QString& hint) { hint_ = hint; }
    const QString& Hint() const { return hint_; }

    void Show(bool visible = true);
    bool IsVisible() const;
    bool IsEnabled() const;
    void SetFocus();
    void SetPopupMenu(CVelPopupMenu* menu);
    CVelPopupMenu* PopupMenu() const { return menu_; }
    void SetCursorShape(Qt::CursorShape shape);
    void SetAnchors(unsigned anchors) { anchors_ = anchors; }
    unsigned Anchors() const { return anchors_; }
    uint32_t Placement() const { return place_; }
    void SetId(int id) { id_ = id; }
    int Id() const { return id_; }
    void SetGeometry(int x, int y, int w, int h);
    QRect Geometry() const;
    // Resizes; an aligned control makes its container lay out again.
    void SetSize(int w, int h);

    // A handler offered every command of this control before the control
    // itself and its owners; returns whether it took the command.
    void SetCommandHandler(std::function<bool(const VelEvent&)> handler) {
        commandHandler_ = std::move(handler);
    }
    // Sends a command from this control: the control, then its owners.
    void SendCommand(int id, VelNotify notify = VelNotify::Click);
    // Reports an event to the owners, nearest first, until one takes it.
    bool Report(const VelEvent& e);

    QWidget* Widget() const { return widget_; }
    CVelContainer* Owner() const { return owner_; }
    CVelCustomForm* Form() const;
    // The font in effect: the control's own or inherited.
    QFont EffectiveFont() const;
    const QColor& BackgroundColor() const { return bg_; }
    bool DrawsBackground() const { return drawBg_; }

    // Paints the background (flat or gradient) into `p` over `r`.
    void PaintBackground(QPainter& p, const QRect& r) const;
    // Painting of controls that draw themselves (surfaces).
    virtual void PaintSurface(QPainter& p, const QRect& dirty);

    // Shows the popup menu after telling the owners; returns whether shown.
    bool ShowPopupMenu(const QPoint& globalPos);

  protected:
    // Wraps `widget`, parents it to the owner's client widget and places it.
    CVelControl(CVelContainer* owner, QWidget* widget, uint32_t place, int w, int h);
    // Every event of the widget passes here first; return true to swallow it.
    virtual bool WidgetEvent(QEvent* e);
    // Whether the widget reports clicks itself (buttons), so that release
    // inside must not click a second time.
    virtual bool NativeClicks() const { return false; }
    bool eventFilter(QObject* watched, QEvent* e) override;

    QString text_;

  private:
    friend class CVelContainer;
    void ApplyPalette();

    QWidget* widget_ = nullptr;
    QMetaObject::Connection destroyedConn_;
    CVelContainer* owner_ = nullptr;
    CVelFont* font_ = nullptr;
    CVelPopupMenu* menu_ = nullptr;
    QString hint_;
    QColor bg_;
    bool drawBg_ = true;
    bool bgSet_ = false;
    QColor fg_;
    std::optional<QColor> gradient_;
    uint32_t place_ = 0;
    unsigned anchors_ = 0;
    int id_ = 0;
    bool leftDown_ = false;
    std::function<bool(const VelEvent&)> commandHandler_;
};

// A windowless control painted by its container.
class CVelDrawControl {
  public:
    CVelDrawControl(CVelContainer* owner, uint32_t place, int x, int y, int w, int h);
    virtual ~CVelDrawControl();
    CVelDrawControl(const CVelDrawControl&) = delete;
    CVelDrawControl& operator=(const CVelDrawControl&) = delete;

    virtual void Destroy() { delete this; }
    virtual void SetFont(CVelFont* font);
    virtual void Paint(QPainter& p) = 0;
    virtual void SizeChanged() {}
    virtual void PositionChanged() {}

    void SetRect(const QRect& r);
    const QRect& Rect() const { return rect_; }
    uint32_t Placement() const { return place_; }
    CVelContainer* Owner() const { return owner_; }
    QFont EffectiveFont() const;
    // Asks the container to repaint this control's area.
    void Invalidate();

  private:
    friend class CVelContainer;
    CVelContainer* owner_;
    uint32_t place_;
    QRect rect_;
    CVelFont* font_ = nullptr;
};

class CVelDrawLabel : public CVelDrawControl {
  public:
    CVelDrawLabel(CVelContainer* owner, int x, int y, int w, int h, const QString& text,
                  int flags = Qt::AlignLeft | Qt::AlignVCenter);
    void SetText(const QString& text);
    const QString& Text() const { return text_; }
    void SetTextColor(const QColor& c);
    void SetFlags(int flags);
    void Paint(QPainter& p) override;

  private:
    QString text_;
    QColor color_ = Qt::black;
    int flags_;
};

class CVelContainer : public CVelControl {
    Q_OBJECT
  public:
    // A plain container drawn by the family (background, draw controls).
    CVelContainer(CVelContainer* owner, uint32_t place, int w, int h);
    ~CVelContainer() override;

    // Applies alignment, the fill child and anchors to the children.
    virtual void ReLayout();
    QRect ClientRect() const override;
    void SetMargin(int margin);
    int Margin() const { return margin_; }
    // The widget children are created in.
    virtual QWidget* ClientWidget() const { return Widget(); }
    const std::vector<CVelControl*>& Children() const { return children_; }
    const std::vector<CVelDrawControl*>& DrawControls() const { return drawControls_; }

    // Flow layout of the children placed with kPlaceFlow.
    void FlowNewRow();
    void FlowGap(int px);
    void FlowColumn(int left, int right, int top);
    void FlowCentreRow();
    void SetFlowRowCentred(bool on);
    void SetFlowCentreRows(bool on);
    // Bottom of what the flow layout has placed (with its trailing gap).
    int FlowBottom();

    void PaintSurface(QPainter& p, const QRect& dirty) override;
    void PaintDrawControls(QPainter& p, const QRect& dirty);

  protected:
    CVelContainer(CVelContainer* owner, QWidget* widget, uint32_t place, int w, int h);
    bool WidgetEvent(QEvent* e) override;
    // Room for the frame to place its document area after the alignment.
    virtual void PlaceFreeArea(const QRect& /*free*/) {}

  private:
    friend class CVelControl;
    friend class CVelDrawControl;
    void Place(CVelControl* child, uint32_t place, int w, int h);
    void RemoveChild(CVelControl* child);
    FlowLayout& EnsureFlow();
    void ApplyFlow();

    std::vector<CVelControl*> children_;
    std::vector<CVelDrawControl*> drawControls_;
    std::optional<FlowLayout> flow_;
    std::vector<CVelControl*> flowChildren_;  // parallel to the flow's placed rectangles
    VSize remembered_;
    int margin_ = 0;
    bool laidOut_ = false;
    bool inLayout_ = false;
};

// The widget of controls that paint themselves: its painting goes to the
// control's PaintSurface.
class CVelSurface : public QWidget {
  public:
    explicit CVelSurface(QWidget* parent = nullptr, Qt::WindowFlags f = {}) : QWidget(parent, f) {}

  protected:
    void paintEvent(QPaintEvent* e) override;
};

}  // namespace velcora::ui
