#include "ui/vel_control.h"

#include <QAbstractButton>
#include <QAction>
#include <QContextMenuEvent>
#include <QHash>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

#include "ui/vel_form.h"
#include "ui/vel_hint.h"

namespace velcora::ui {

namespace {

QHash<const QWidget*, CVelControl*>& Registry() {
    static QHash<const QWidget*, CVelControl*> registry;
    return registry;
}

QRect ToQ(const VRect& r) {
    return {r.x, r.y, r.w, r.h};
}
VRect FromQ(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

}  // namespace

// ---- CVelFont ---------------------------------------------------------------

CVelFont* CVelFont::Create(const QString& family, int pixelHeight, bool bold) {
    return new CVelFont(Describe(family, pixelHeight, bold));
}

QFont CVelFont::Describe(const QString& family, int pixelHeight, bool bold) {
    QFont f;
    // Verdana is rarely installed on Linux; DejaVu Sans has the same open,
    // wide shapes and full Cyrillic, so it is the first fallback.
    f.setFamilies({family, QStringLiteral("DejaVu Sans")});
    f.setPixelSize(std::max(1, pixelHeight));
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    return f;
}

void CVelFont::Release() {
    if (--refs_ <= 0) {
        delete this;
    }
}

// ---- CVelPopupMenu ------------------------------------------------------------

CVelPopupMenu::CVelPopupMenu() : menu_(std::make_unique<QMenu>()) {}
CVelPopupMenu::~CVelPopupMenu() = default;

CVelPopupMenu* CVelPopupMenu::Create() {
    return new CVelPopupMenu();
}

void CVelPopupMenu::Release() {
    if (--refs_ <= 0) {
        delete this;
    }
}

QAction* CVelPopupMenu::AddItem(int id, const QString& text, const QKeySequence& shortcut) {
    QAction* a = menu_->addAction(text);
    a->setData(id);
    a->setShortcut(shortcut);
    // Shortcuts are matched by the control that owns the menu, not globally.
    a->setShortcutContext(Qt::WidgetShortcut);
    QObject::connect(a, &QAction::triggered, menu_.get(), [this, id] {
        if (CVelControl* t = target_.data()) {
            t->SendCommand(id, VelNotify::Menu);
        }
    });
    return a;
}

void CVelPopupMenu::AddSeparator() {
    menu_->addSeparator();
}

QAction* CVelPopupMenu::Item(int id) const {
    for (QAction* a : menu_->actions()) {
        if (!a->isSeparator() && a->data().toInt() == id) {
            return a;
        }
    }
    return nullptr;
}

void CVelPopupMenu::EnableItem(int id, bool enabled) {
    if (QAction* a = Item(id)) {
        a->setEnabled(enabled);
    }
}

void CVelPopupMenu::CheckItem(int id, bool checked) {
    if (QAction* a = Item(id)) {
        a->setCheckable(true);
        a->setChecked(checked);
    }
}

void CVelPopupMenu::Popup(const QPoint& globalPos, CVelControl* target) {
    target_ = target;
    menu_->popup(globalPos);
}

bool CVelPopupMenu::HandleShortcut(const QKeySequence& keys, CVelControl* target) {
    for (QAction* a : menu_->actions()) {
        if (!a->isSeparator() && a->isEnabled() && !a->shortcut().isEmpty() &&
            a->shortcut().matches(keys) == QKeySequence::ExactMatch) {
            target_ = target;
            a->trigger();
            return true;
        }
    }
    return false;
}

// ---- CVelControl ----------------------------------------------------------------

CVelControl::CVelControl(CVelContainer* owner, QWidget* widget, uint32_t place, int w, int h)
    : widget_(widget), owner_(owner), place_(place) {
    Registry().insert(widget_, this);
    destroyedConn_ = QObject::connect(widget_, &QObject::destroyed, [this] {
        // The widget went first (its parent was deleted): the control follows.
        Registry().remove(widget_);
        widget_ = nullptr;
        delete this;
    });
    widget_->installEventFilter(this);
    if (owner_ != nullptr) {
        widget_->setParent(owner_->ClientWidget());
        owner_->children_.push_back(this);
        widget_->show();
        owner_->Place(this, place, w, h);
    } else {
        // A top-level control gets a font of its own.
        CVelFont* f = CVelFont::Create(QStringLiteral("Verdana"), 12);
        SetFont(f);
        f->Release();
        widget_->resize(w, h);
    }
    HintWatchStart();
}

CVelControl::~CVelControl() {
    HintForget(this);
    if (owner_ != nullptr) {
        owner_->RemoveChild(this);
    }
    if (font_ != nullptr) {
        font_->Release();
    }
    if (menu_ != nullptr) {
        menu_->Release();
    }
    if (widget_ != nullptr) {
        QObject::disconnect(destroyedConn_);
        Registry().remove(widget_);
        widget_->removeEventFilter(this);
        QWidget* w = widget_;
        widget_ = nullptr;
        delete w;
    }
}

CVelControl* CVelControl::FromWidget(const QWidget* widget) {
    return Registry().value(widget, nullptr);
}

CVelControl* CVelControl::Enclosing(const QWidget* widget) {
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (CVelControl* c = FromWidget(w)) {
            return c;
        }
    }
    return nullptr;
}

void CVelControl::Destroy() {
    delete this;
}

void CVelControl::SetFont(CVelFont* font) {
    if (font != nullptr) {
        font->AddRef();
    }
    if (font_ != nullptr) {
        font_->Release();
    }
    font_ = font;
    if (widget_ != nullptr) {
        widget_->setFont(font_ != nullptr ? font_->Font() : QFont());
    }
}

QFont CVelControl::EffectiveFont() const {
    return font_ != nullptr ? font_->Font() : (widget_ ? widget_->font() : QFont());
}

void CVelControl::SetColor(const QColor& color) {
    bgSet_ = true;
    drawBg_ = color.isValid();
    bg_ = color;
    ApplyPalette();
}

void CVelControl::SetTextColor(const QColor& color) {
    fg_ = color;
    ApplyPalette();
}

void CVelControl::SetGradient(const QColor& bottom) {
    gradient_ = bottom;
    if (widget_) {
        widget_->update();
    }
}

void CVelControl::ClearGradient() {
    gradient_.reset();
    if (widget_) {
        widget_->update();
    }
}

void CVelControl::ApplyPalette() {
    if (widget_ == nullptr) {
        return;
    }
    QPalette pal = widget_->palette();
    if (bgSet_ && drawBg_) {
        pal.setColor(QPalette::Window, bg_);
        pal.setColor(QPalette::Button, bg_);
    }
    if (fg_.isValid()) {
        pal.setColor(QPalette::WindowText, fg_);
        pal.setColor(QPalette::ButtonText, fg_);
        pal.setColor(QPalette::Text, fg_);
    }
    widget_->setPalette(pal);
    // Wrapped widgets fill their own background; surfaces paint theirs.
    if (dynamic_cast<CVelSurface*>(widget_) == nullptr && bgSet_) {
        widget_->setAutoFillBackground(drawBg_);
    }
    widget_->update();
}

void CVelControl::PaintBackground(QPainter& p, const QRect& r) const {
    if (!drawBg_ || widget_ == nullptr) {
        return;
    }
    const QColor top = bgSet_ ? bg_ : widget_->palette().color(QPalette::Window);
    if (gradient_) {
        QLinearGradient g(0, 0, 0, std::max(1, widget_->height()));
        g.setColorAt(0, top);
        g.setColorAt(1, *gradient_);
        p.fillRect(r, g);
    } else {
        p.fillRect(r, top);
    }
}

void CVelControl::PaintSurface(QPainter& p, const QRect& dirty) {
    PaintBackground(p, dirty);
}

QRect CVelControl::ClientRect() const {
    return widget_ ? widget_->rect() : QRect();
}

void CVelControl::Click() {
    SendCommand(id_, VelNotify::Click);
}

void CVelControl::SetEnabled(bool enabled) {
    if (widget_) {
        widget_->setEnabled(enabled);
    }
}

bool CVelControl::IsEnabled() const {
    return widget_ && widget_->isEnabled();
}

bool CVelControl::HasFocus() const {
    return widget_ && widget_->hasFocus();
}

void CVelControl::SetFocus() {
    if (widget_) {
        widget_->setFocus(Qt::OtherFocusReason);
    }
}

bool CVelControl::HandleEvent(const VelEvent&) {
    return false;
}

void CVelControl::SetText(const QString& text) {
    text_ = text;
}

void CVelControl::Show(bool visible) {
    if (widget_ == nullptr) {
        return;
    }
    widget_->setVisible(visible);
    if (owner_ != nullptr && place_ >= kAlignTop && place_ <= kAlignClient) {
        owner_->ReLayout();
    }
}

bool CVelControl::IsVisible() const {
    return widget_ && !widget_->isHidden();
}

void CVelControl::SetPopupMenu(CVelPopupMenu* menu) {
    if (menu != nullptr) {
        menu->AddRef();
    }
    if (menu_ != nullptr) {
        menu_->Release();
    }
    menu_ = menu;
}

void CVelControl::SetCursorShape(Qt::CursorShape shape) {
    if (widget_) {
        widget_->setCursor(shape);
    }
}

void CVelControl::SetGeometry(int x, int y, int w, int h) {
    if (widget_) {
        widget_->setGeometry(x, y, w, h);
    }
}

QRect CVelControl::Geometry() const {
    return widget_ ? widget_->geometry() : QRect();
}

void CVelControl::SetSize(int w, int h) {
    if (widget_ == nullptr) {
        return;
    }
    widget_->resize(w, h);
    if (owner_ != nullptr && place_ >= kAlignTop && place_ <= kAlignBottom) {
        owner_->ReLayout();
    }
}

CVelCustomForm* CVelControl::Form() const {
    for (const CVelControl* c = this; c != nullptr; c = c->owner_) {
        if (auto* f = dynamic_cast<CVelCustomForm*>(const_cast<CVelControl*>(c))) {
            return f;
        }
    }
    return nullptr;
}

void CVelControl::SendCommand(int id, VelNotify notify) {
    VelEvent e;
    e.kind = VelEventKind::Command;
    e.control = this;
    e.id = id;
    e.notify = notify;
    if (commandHandler_ && commandHandler_(e)) {
        return;
    }
    // The control first, then each owner in turn.
    for (CVelControl* c = this; c != nullptr; c = c->owner_) {
        if (c->HandleEvent(e)) {
            return;
        }
    }
}

bool CVelControl::Report(const VelEvent& e) {
    for (CVelControl* c = owner_ != nullptr ? owner_ : this; c != nullptr; c = c->owner_) {
        if (c->HandleEvent(e)) {
            return true;
        }
    }
    return false;
}

bool CVelControl::ShowPopupMenu(const QPoint& globalPos) {
    if (menu_ == nullptr) {
        return false;
    }
    VelEvent e;
    e.kind = VelEventKind::MenuUpdate;
    e.control = this;
    e.pos = widget_ ? widget_->mapFromGlobal(globalPos) : QPoint();
    e.menu = menu_;
    Report(e);
    menu_->Popup(globalPos, this);
    return true;
}

bool CVelControl::eventFilter(QObject* watched, QEvent* e) {
    if (watched != widget_) {
        return false;
    }
    return WidgetEvent(e);
}

bool CVelControl::WidgetEvent(QEvent* e) {
    VelEvent v;
    v.control = this;
    switch (e->type()) {
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: {
            auto* m = static_cast<QMouseEvent*>(e);
            v.pos = m->position().toPoint();
            v.modifiers = m->modifiers();
            if (widget_->childAt(v.pos) != nullptr) {
                // Passed up from a child that did not want it: it happened
                // over the child, not over this control.
                return false;
            }
            const bool press = e->type() == QEvent::MouseButtonPress;
            const bool dbl = e->type() == QEvent::MouseButtonDblClick;
            if (e->type() == QEvent::MouseMove) {
                v.kind = VelEventKind::MouseMove;
            } else if (m->button() == Qt::LeftButton) {
                v.kind = dbl ? VelEventKind::LeftDoubleClick
                             : (press ? VelEventKind::LeftDown : VelEventKind::LeftUp);
            } else if (m->button() == Qt::RightButton) {
                v.kind = press || dbl ? VelEventKind::RightDown : VelEventKind::RightUp;
            } else if (m->button() == Qt::MiddleButton) {
                v.kind = press || dbl ? VelEventKind::MiddleDown : VelEventKind::MiddleUp;
            } else {
                return false;
            }
            QPointer<CVelControl> alive(this);
            Report(v);
            if (!alive) {
                return true;
            }
            if (v.kind == VelEventKind::LeftDown || v.kind == VelEventKind::LeftDoubleClick) {
                leftDown_ = true;
            } else if (v.kind == VelEventKind::LeftUp) {
                const bool inside = widget_->rect().contains(v.pos);
                const bool wasDown = leftDown_;
                leftDown_ = false;
                if (inside && wasDown && !NativeClicks()) {
                    Click();
                }
            } else if (v.kind == VelEventKind::RightUp) {
                if (ShowPopupMenu(m->globalPosition().toPoint())) {
                    return true;
                }
            }
            return false;
        }
        case QEvent::Wheel: {
            auto* w = static_cast<QWheelEvent*>(e);
            v.kind = VelEventKind::Wheel;
            v.pos = w->position().toPoint();
            v.wheelDelta = w->angleDelta().y();
            v.modifiers = w->modifiers();
            return Report(v);
        }
        case QEvent::ContextMenu: {
            auto* c = static_cast<QContextMenuEvent*>(e);
            if (menu_ == nullptr) {
                return false;
            }
            // The mouse shows the menu on release; only the menu key shows it here.
            if (c->reason() == QContextMenuEvent::Keyboard) {
                ShowPopupMenu(c->globalPos());
            }
            return true;
        }
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(e);
            if (menu_ != nullptr && !k->isAutoRepeat() &&
                menu_->HandleShortcut(QKeySequence(k->keyCombination()), this)) {
                return true;
            }
            return false;
        }
        case QEvent::Resize: {
            v.kind = VelEventKind::Resized;
            v.pos = QPoint(widget_->width(), widget_->height());
            Report(v);
            return false;
        }
        default:
            return false;
    }
}

// ---- windowless controls ------------------------------------------------------

CVelDrawControl::CVelDrawControl(CVelContainer* owner, uint32_t place, int x, int y, int w, int h)
    : owner_(owner), place_(place), rect_(x, y, w, h) {
    owner_->drawControls_.push_back(this);
    if (place_ == kAlignClient) {
        owner_->ReLayout();
    }
    Invalidate();
}

CVelDrawControl::~CVelDrawControl() {
    if (font_ != nullptr) {
        font_->Release();
    }
    if (owner_ != nullptr) {
        auto& v = owner_->drawControls_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
        Invalidate();
    }
}

void CVelDrawControl::SetFont(CVelFont* font) {
    if (font != nullptr) {
        font->AddRef();
    }
    if (font_ != nullptr) {
        font_->Release();
    }
    font_ = font;
    Invalidate();
}

QFont CVelDrawControl::EffectiveFont() const {
    return font_ != nullptr ? font_->Font() : owner_->EffectiveFont();
}

void CVelDrawControl::SetRect(const QRect& r) {
    const QRect old = rect_;
    Invalidate();
    rect_ = r;
    Invalidate();
    if (old.size() != r.size()) {
        SizeChanged();
    }
    if (old.topLeft() != r.topLeft()) {
        PositionChanged();
    }
}

void CVelDrawControl::Invalidate() {
    if (owner_ != nullptr && owner_->Widget() != nullptr) {
        owner_->Widget()->update(rect_);
    }
}

CVelDrawLabel::CVelDrawLabel(CVelContainer* owner, int x, int y, int w, int h, const QString& text,
                             int flags)
    : CVelDrawControl(owner, PackPosition(x, y), x, y, w, h), text_(text), flags_(flags) {}

void CVelDrawLabel::SetText(const QString& text) {
    if (text != text_) {
        text_ = text;
        Invalidate();
    }
}

void CVelDrawLabel::SetTextColor(const QColor& c) {
    color_ = c;
    Invalidate();
}

void CVelDrawLabel::SetFlags(int flags) {
    flags_ = flags;
    Invalidate();
}

void CVelDrawLabel::Paint(QPainter& p) {
    p.setFont(EffectiveFont());
    p.setPen(color_);
    p.drawText(Rect(), flags_, text_);
}

// ---- CVelContainer -----------------------------------------------------------------

CVelContainer::CVelContainer(CVelContainer* owner, uint32_t place, int w, int h)
    : CVelContainer(owner, new CVelSurface, place, w, h) {}

CVelContainer::CVelContainer(CVelContainer* owner, QWidget* widget, uint32_t place, int w, int h)
    : CVelControl(owner, widget, place, w, h) {
    // The container was sized while it was still being built, before its
    // own layout could run: remember that size now, before any anchored child.
    ReLayout();
}

CVelContainer::~CVelContainer() {
    // Windowless controls first, then the children, while this object is
    // still whole for their owner callbacks.
    while (!drawControls_.empty()) {
        CVelDrawControl* d = drawControls_.back();
        drawControls_.pop_back();
        d->owner_ = nullptr;
        delete d;
    }
    while (!children_.empty()) {
        delete children_.back();
    }
}

void CVelContainer::RemoveChild(CVelControl* child) {
    children_.erase(std::remove(children_.begin(), children_.end(), child), children_.end());
    std::replace(flowChildren_.begin(), flowChildren_.end(), child,
                 static_cast<CVelControl*>(nullptr));
}

QRect CVelContainer::ClientRect() const {
    QWidget* w = ClientWidget();
    if (w == nullptr) {
        return {};
    }
    QRect r = w->contentsRect().marginsRemoved(QMargins(margin_, margin_, margin_, margin_));
    if (r.width() < 0) {
        r.setWidth(0);
    }
    if (r.height() < 0) {
        r.setHeight(0);
    }
    return r;
}

void CVelContainer::SetMargin(int margin) {
    margin_ = std::max(0, margin);
    ReLayout();
}

FlowLayout& CVelContainer::EnsureFlow() {
    if (!flow_) {
        if (!laidOut_) {
            ReLayout();
        }
        const QRect c = ClientRect();
        // Until the container has a size, rows may be as wide as the default
        // layout rectangle.
        const int right = c.width() > 0 ? c.right() + 1 : 1000;
        flow_.emplace(c.left(), c.top(), right);
    }
    return *flow_;
}

void CVelContainer::ApplyFlow() {
    if (!flow_) {
        return;
    }
    const auto& placed = flow_->Placed();
    for (std::size_t i = 0; i < flowChildren_.size() && i < placed.size(); ++i) {
        if (CVelControl* c = flowChildren_[i]; c != nullptr && c->Widget() != nullptr) {
            c->Widget()->setGeometry(ToQ(placed[i]));
        }
    }
}

void CVelContainer::Place(CVelControl* child, uint32_t place, int w, int h) {
    QWidget* cw = child->Widget();
    if (!laidOut_) {
        ReLayout();
    }
    if (place == kPlaceFlow) {
        FlowLayout& f = EnsureFlow();
        f.Place(w, h);
        flowChildren_.push_back(child);
        ApplyFlow();
    } else if (place >= kAlignTop && place <= kAlignClient) {
        cw->resize(w, h);
        ReLayout();
    } else if (place == kPlaceScreenCentre) {
        const QRect c = ClientRect();
        cw->setGeometry(c.x() + (c.width() - w) / 2, c.y() + (c.height() - h) / 2, w, h);
    } else {
        int x = 0, y = 0;
        UnpackPosition(place, x, y);
        cw->setGeometry(x, y, w, h);
    }
}

void CVelContainer::ReLayout() {
    if (inLayout_) {
        return;  // moving children must not start a layout inside a layout
    }
    inLayout_ = true;
    laidOut_ = true;
    std::vector<LayoutItem> items;
    std::vector<CVelControl*> controls;
    for (CVelControl* c : children_) {
        if (c->Widget() == nullptr || c->Widget()->isWindow()) {
            continue;
        }
        items.push_back({c->Placement(), c->Anchors(), FromQ(c->Widget()->geometry()),
                         !c->Widget()->isHidden()});
        controls.push_back(c);
    }
    const std::size_t ownCount = items.size();
    for (CVelDrawControl* d : drawControls_) {
        items.push_back({d->Placement(), 0, FromQ(d->Rect()), true});
    }
    const VRect free = LayoutChildren(FromQ(ClientRect()), remembered_, items);
    for (std::size_t i = 0; i < ownCount; ++i) {
        const QRect r = ToQ(items[i].rect);
        if (controls[i]->Widget()->geometry() != r) {
            controls[i]->Widget()->setGeometry(r);
        }
    }
    for (std::size_t i = ownCount; i < items.size(); ++i) {
        CVelDrawControl* d = drawControls_[i - ownCount];
        if (d->Rect() != ToQ(items[i].rect)) {
            d->SetRect(ToQ(items[i].rect));
        }
    }
    PlaceFreeArea(ToQ(free));
    inLayout_ = false;
}

void CVelContainer::FlowNewRow() {
    EnsureFlow().NewRow();
}
void CVelContainer::FlowGap(int px) {
    EnsureFlow().AddGap(px);
}
void CVelContainer::FlowColumn(int left, int right, int top) {
    EnsureFlow().BeginColumn(left, right, top);
    ApplyFlow();
}
void CVelContainer::FlowCentreRow() {
    EnsureFlow().CentreCurrentRow();
    ApplyFlow();
}
void CVelContainer::SetFlowRowCentred(bool on) {
    EnsureFlow().SetRowCentred(on);
}
void CVelContainer::SetFlowCentreRows(bool on) {
    EnsureFlow().SetCentreRows(on);
}
int CVelContainer::FlowBottom() {
    return EnsureFlow().Bottom();
}

bool CVelContainer::WidgetEvent(QEvent* e) {
    if (e->type() == QEvent::Resize) {
        ReLayout();
    }
    return CVelControl::WidgetEvent(e);
}

void CVelContainer::PaintDrawControls(QPainter& p, const QRect& dirty) {
    for (CVelDrawControl* d : drawControls_) {
        if (d->Rect().intersects(dirty)) {
            p.save();
            d->Paint(p);
            p.restore();
        }
    }
}

void CVelContainer::PaintSurface(QPainter& p, const QRect& dirty) {
    PaintBackground(p, dirty);
    PaintDrawControls(p, dirty);
}

void CVelSurface::paintEvent(QPaintEvent* e) {
    if (CVelControl* c = CVelControl::FromWidget(this)) {
        QPainter p(this);
        c->PaintSurface(p, e->rect());
    }
}

}  // namespace velcora::ui
