#include "media/gui/remote_desktop_form.h"

#include <QFocusEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <cstring>

#include "link/robot_connection.h"
#include "platform/reactor.h"

namespace velcora::media {

namespace {

constexpr int kWheelStep = 60;  // pixels per wheel notch
const QColor kBackground(0x30, 0x30, 0x30);

// The toolkit reports the keyboard's own key number on X11 as the evdev code
// plus 8; for the main block the evdev code is the set-1 scan code.
std::optional<DesktopKey> KeyOfEvent(const QKeyEvent* k) {
    if (auto key = KeyForToolkitKey(k->key()))
        return key;
    const quint32 native = k->nativeScanCode();
    if (native > 8 && native - 8 <= 0x58)
        return KeyForScanCode(static_cast<uint8_t>(native - 8));
    return std::nullopt;
}

}  // namespace

// The picture itself: paints the current picture at the scroll position and
// hands the mouse and every key to the desktop while it has the focus.
class DesktopSurface : public QWidget {
  public:
    DesktopSurface(CRemoteDesktopForm* form, platform::Reactor& reactor)
        : form_(form), reactor_(reactor) {
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setCursor(Qt::ArrowCursor);
    }
    void Detach() { form_ = nullptr; }

  protected:
    bool event(QEvent* e) override {
        switch (e->type()) {
            case QEvent::ShortcutOverride:
                // While the robot has the keyboard no key acts here: no
                // accelerator, phrase hot key or help.
                e->accept();
                return true;
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
                // Taken here so that Tab does not move the focus.
                HandleKey(static_cast<QKeyEvent*>(e), e->type() == QEvent::KeyPress);
                return true;
            default:
                return QWidget::event(e);
        }
    }

    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), kBackground);
        if (!form_)
            return;
        const QImage& image = form_->Picture();
        if (!image.isNull())
            p.drawImage(QPoint(-form_->Desktop().ScrollX(), -form_->Desktop().ScrollY()), image);
    }

    void resizeEvent(QResizeEvent*) override {
        if (form_)
            form_->DesktopContentChanged(form_->Desktop().ContentWidth(),
                                         form_->Desktop().ContentHeight());
    }

    void mousePressEvent(QMouseEvent* m) override {
        setFocus(Qt::MouseFocusReason);
        if (!form_)
            return;
        const QPoint p = m->position().toPoint();
        if (m->button() == Qt::LeftButton)
            form_->Desktop().MouseDown(MouseButton::Left, p.x(), p.y());
        else if (m->button() == Qt::RightButton)
            form_->Desktop().MouseDown(MouseButton::Right, p.x(), p.y());
    }
    void mouseMoveEvent(QMouseEvent* m) override {
        if (form_ && (m->buttons() & Qt::LeftButton)) {
            const QPoint p = m->position().toPoint();
            form_->Desktop().MouseMove(p.x(), p.y());
        }
    }
    void mouseReleaseEvent(QMouseEvent* m) override {
        if (!form_)
            return;
        const QPoint p = m->position().toPoint();
        if (m->button() == Qt::LeftButton)
            form_->Desktop().MouseUp(MouseButton::Left, p.x(), p.y());
        else if (m->button() == Qt::RightButton)
            form_->Desktop().MouseUp(MouseButton::Right, p.x(), p.y());
    }
    void mouseDoubleClickEvent(QMouseEvent* m) override { mousePressEvent(m); }
    void wheelEvent(QWheelEvent* w) override {
        if (!form_)
            return;
        QPoint steps = w->angleDelta() / 120;
        if (w->modifiers() & Qt::ShiftModifier)
            steps = QPoint(steps.y(), 0);
        form_->HorizontalBar()->setValue(form_->HorizontalBar()->value() - steps.x() * kWheelStep);
        form_->VerticalBar()->setValue(form_->VerticalBar()->value() - steps.y() * kWheelStep);
        w->accept();
    }
    void focusOutEvent(QFocusEvent* e) override {
        // Keys released elsewhere would stay down on the robot.
        if (form_)
            form_->Desktop().ReleaseAll();
        QWidget::focusOutEvent(e);
    }

  private:
    void HandleKey(QKeyEvent* k, bool down) {
        if (!form_)
            return;
        CRemoteDesktop& desktop = form_->Desktop();
        const Qt::KeyboardModifiers mods = k->modifiers();
        if (down) {
            const int key = k->key();
            if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && (mods & Qt::AltModifier)) {
                desktop.SendShortcut(SystemShortcut::AltTab);
                return;
            }
            if (key == Qt::Key_Escape && (mods & Qt::AltModifier)) {
                desktop.SendShortcut(SystemShortcut::AltEsc);
                return;
            }
            if (key == Qt::Key_Escape && (mods & Qt::ControlModifier)) {
                desktop.SendShortcut(SystemShortcut::CtrlEsc);
                return;
            }
        }
        const auto key = KeyOfEvent(k);
        if (!key)
            return;
        if (down)
            desktop.KeyDown(*key, k->isAutoRepeat(), reactor_.Now());
        else
            desktop.KeyUp(*key, k->isAutoRepeat());
    }

    CRemoteDesktopForm* form_;
    platform::Reactor& reactor_;
};

// The surface with its two scrollbars, as one control of the form.
class CDesktopArea : public ui::CVelControl {
  public:
    CDesktopArea(ui::CVelContainer* owner, CRemoteDesktopForm* form, platform::Reactor& reactor)
        : CVelControl(owner, new QWidget, ui::kAlignClient, 0, 0) {
        auto* grid = new QGridLayout(Widget());
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setSpacing(0);
        surface = new DesktopSurface(form, reactor);
        horizontal = new QScrollBar(Qt::Horizontal);
        vertical = new QScrollBar(Qt::Vertical);
        grid->addWidget(surface, 0, 0);
        grid->addWidget(vertical, 0, 1);
        grid->addWidget(horizontal, 1, 0);
        for (QScrollBar* bar : {horizontal, vertical})
            bar->setFocusPolicy(Qt::NoFocus);
    }

    DesktopSurface* surface = nullptr;
    QScrollBar* horizontal = nullptr;
    QScrollBar* vertical = nullptr;
};

CRemoteDesktopForm::CRemoteDesktopForm(ui::CVelForm* frame, ToolContext& tools)
    : CVelMDIChildForm(frame, kWidth, kHeight,
                       QString::fromUtf8(kDesktopTitle.data(), kDesktopTitle.size())),
      tools_(tools) {
    font_ = ui::CVelFont::Create(QStringLiteral("Verdana"), 12);
    SetFont(font_);
    auto* bar = new ui::CVelPanel(this, ui::kAlignTop, 0, 40);
    keys_ = new ui::CVelButton(bar, ui::kPlaceFlow, 90, 24, QStringLiteral("Клавиши"));
    keys_->SetId(kCmdKeys);
    keys_->SetHint(
        QStringLiteral("Сочетания, которые рабочий стол этого компьютера оставляет себе"));
    snapshot_ = new ui::CVelButton(bar, ui::kPlaceFlow, 90, 24, QStringLiteral("Снимок…"));
    snapshot_->SetId(kCmdSnapshot);
    snapshot_->SetHint(QStringLiteral("Сохранить картинку рабочего стола в файл PNG"));
    keysMenu_ = ui::CVelPopupMenu::Create();
    keysMenu_->AddItem(kCmdAltTab, QStringLiteral("Alt+Tab"));
    keysMenu_->AddItem(kCmdAltEsc, QStringLiteral("Alt+Esc"));
    keysMenu_->AddItem(kCmdCtrlEsc, QStringLiteral("Ctrl+Esc"));
    keysMenu_->AddItem(kCmdAltF4, QStringLiteral("Alt+F4"));
    keys_->SetPopupMenu(keysMenu_);

    area_ = new CDesktopArea(this, this, tools_.reactor);
    const int extent = area_->Widget()->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    desktop_ = std::make_unique<CRemoteDesktop>(tools_.connection, this, extent, extent);
    auto scrolled = [this] {
        desktop_->ScrollTo(area_->horizontal->value(), area_->vertical->value());
        area_->surface->update();
    };
    QObject::connect(area_->horizontal, &QScrollBar::valueChanged, this, scrolled);
    QObject::connect(area_->vertical, &QScrollBar::valueChanged, this, scrolled);
    // The keep-alive runs on the main window's tick while it is authorised.
    tick_ = tools_.hooks.OnTick(TickStage::Authorised,
                                [this](uint32_t, int32_t elapsedMs) { desktop_->Tick(elapsedMs); });
    // Whoever gives the window the focus gives it to the picture.
    Widget()->setFocusProxy(area_->surface);
    area_->surface->setFocus();
}

CRemoteDesktopForm::~CRemoteDesktopForm() {
    tick_.Reset();
    if (area_)
        area_->surface->Detach();
    // The robot gets the releases still owed while the link still exists.
    desktop_.reset();
    keysMenu_->Release();
    font_->Release();
}

QWidget* CRemoteDesktopForm::Surface() const {
    return area_->surface;
}

QScrollBar* CRemoteDesktopForm::HorizontalBar() const {
    return area_->horizontal;
}

QScrollBar* CRemoteDesktopForm::VerticalBar() const {
    return area_->vertical;
}

void CRemoteDesktopForm::DesktopContentChanged(int32_t, int32_t) {
    if (!desktop_)
        return;
    DesktopSurface* s = area_->surface;
    desktop_->SetViewport(s->width(), s->height());
    const QSignalBlocker hb(area_->horizontal);
    const QSignalBlocker vb(area_->vertical);
    area_->horizontal->setRange(0, desktop_->MaxScrollX());
    area_->horizontal->setPageStep(std::max(s->width(), 1));
    area_->horizontal->setValue(desktop_->ScrollX());
    area_->vertical->setRange(0, desktop_->MaxScrollY());
    area_->vertical->setPageStep(std::max(s->height(), 1));
    area_->vertical->setValue(desktop_->ScrollY());
    s->update();
}

void CRemoteDesktopForm::DesktopPictureChanged() {
    const PictureView pic = desktop_->Current();
    if (!pic.bgr)
        return;
    if (image_.width() != pic.width || image_.height() != pic.height)
        image_ = QImage(pic.width, pic.height, QImage::Format_BGR888);
    // The robot sends its bottom row first: the copy turns it upright.
    const size_t rowBytes = static_cast<size_t>(pic.width) * 3;
    for (int32_t y = 0; y < pic.height; ++y)
        std::memcpy(image_.scanLine(y),
                    pic.bgr + static_cast<size_t>(pic.height - 1 - y) * pic.pitch, rowBytes);
    area_->surface->update();
}

bool CRemoteDesktopForm::SaveSnapshot(const QString& file) const {
    return !image_.isNull() && image_.save(file, "PNG");
}

bool CRemoteDesktopForm::HandleEvent(const ui::VelEvent& e) {
    if (e.kind != ui::VelEventKind::Command)
        return CVelMDIChildForm::HandleEvent(e);
    switch (e.id) {
        case kCmdKeys:
            keys_->ShowPopupMenu(
                keys_->Widget()->mapToGlobal(QPoint(0, keys_->Widget()->height())));
            return true;
        case kCmdAltTab:
            desktop_->SendCombo({kAltKey, kTabKey});
            break;
        case kCmdAltEsc:
            desktop_->SendCombo({kAltKey, kEscapeKey});
            break;
        case kCmdCtrlEsc:
            desktop_->SendCombo({kControlKey, kEscapeKey});
            break;
        case kCmdAltF4:
            desktop_->SendCombo({kAltKey, kF4Key});
            break;
        case kCmdSnapshot: {
            if (image_.isNull()) {
                ui::ShowError(QStringLiteral("Картинки рабочего стола ещё нет"));
                return true;
            }
            const QString file = ui::ChooseSaveFile(
                QStringLiteral("Снимок рабочего стола"), QStringLiteral("PNG (*.png)"),
                QStringLiteral("png"), QString::fromStdString(tools_.settingsDir));
            if (!file.isEmpty() && !SaveSnapshot(file))
                ui::ShowError(QStringLiteral("Не удалось сохранить снимок: ") + file);
            return true;
        }
        default:
            return CVelMDIChildForm::HandleEvent(e);
    }
    area_->surface->setFocus();
    return true;
}

bool CRemoteDesktopForm::CanClose(int code) {
    // The close request an Alt+F4 for the robot makes here is not the
    // operator's; a later one is.
    if (!desktop_->AcceptClose(tools_.reactor.Now()))
        return false;
    return CVelMDIChildForm::CanClose(code);
}

}  // namespace velcora::media
