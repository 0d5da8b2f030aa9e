#include "ui/vel_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <algorithm>

#include "ui/vel_controls.h"

namespace velcora::ui {

namespace {

std::vector<CVelCustomForm*>& FormList() {
    static std::vector<CVelCustomForm*> forms;
    return forms;
}

CVelCustomForm*& MainFormSlot() {
    static CVelCustomForm* main = nullptr;
    return main;
}

ErrorSink& Sink() {
    static ErrorSink sink;
    return sink;
}

}  // namespace

// ---- CVelCustomForm ---------------------------------------------------------------

CVelCustomForm::CVelCustomForm(CVelContainer* owner, QWidget* widget, uint32_t place, int w, int h)
    : CVelContainer(owner, widget, place, w, h) {
    FormList().push_back(this);
    if (MainFormSlot() == nullptr) {
        MainFormSlot() = this;
    }
}

CVelCustomForm::~CVelCustomForm() {
    auto& forms = FormList();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
    if (loop_ != nullptr) {
        loop_->quit();
    }
    if (MainFormSlot() == this) {
        MainFormSlot() = nullptr;
        if (endsLoop_ && QCoreApplication::instance() != nullptr &&
            QThread::currentThread()->loopLevel() > 0) {
            QCoreApplication::quit();
        }
    }
}

const std::vector<CVelCustomForm*>& CVelCustomForm::Forms() {
    return FormList();
}

CVelCustomForm* CVelCustomForm::MainForm() {
    return MainFormSlot();
}

void CVelCustomForm::SetText(const QString& caption) {
    text_ = caption;
    Widget()->setWindowTitle(caption);
}

int CVelCustomForm::ShowModal() {
    struct Saved {
        QPointer<QWidget> widget;
        bool enabled;
    };
    std::vector<Saved> saved;
    for (CVelCustomForm* f : FormList()) {
        if (f != this && f->Widget() != nullptr) {
            // The form's own setting, not its effective state: a child form in
            // the frame's document area reads as disabled once the frame is.
            saved.push_back({f->Widget(), !f->Widget()->testAttribute(Qt::WA_ForceDisabled)});
            f->Widget()->setEnabled(false);
        }
    }
    QPointer<QWidget> active = QApplication::activeWindow();
    QPointer<QWidget> focus = QApplication::focusWidget();

    QPointer<CVelCustomForm> self(this);
    QEventLoop loop;
    loop_ = &loop;
    modalResult_ = 0;
    closing_ = false;
    Widget()->show();
    Widget()->raise();
    Widget()->activateWindow();
    loop.exec(QEventLoop::DialogExec);
    int result = kResultCancel;
    if (self) {
        loop_ = nullptr;
        result = modalResult_;
    }

    for (const Saved& s : saved) {
        if (s.widget) {
            s.widget->setEnabled(s.enabled);
        }
    }
    if (active) {
        active->activateWindow();
    }
    if (focus) {
        focus->setFocus(Qt::OtherFocusReason);
    }
    if (self && Widget() != nullptr) {
        Widget()->deleteLater();
    }
    return result;
}

void CVelCustomForm::Close(int code) {
    QMetaObject::invokeMethod(
        this, [this, code] { DoClose(code); }, Qt::QueuedConnection);
}

void CVelCustomForm::DoClose(int code) {
    if (closing_ || !CanClose(code)) {
        return;
    }
    modalResult_ = code;
    if (loop_ != nullptr) {
        Widget()->hide();
        loop_->quit();  // ShowModal restores the others and destroys the form
        return;
    }
    closing_ = true;
    Widget()->hide();
    Widget()->deleteLater();
}

void CVelCustomForm::AddAccelerator(const QKeySequence& keys, int commandId) {
    auto* s = new QShortcut(keys, Widget());
    s->setContext(Qt::WindowShortcut);
    QObject::connect(s, &QShortcut::activated, this,
                     [this, commandId] { SendCommand(commandId, VelNotify::Accelerator); });
}

bool CVelCustomForm::WidgetEvent(QEvent* e) {
    if (e->type() == QEvent::KeyPress && loop_ != nullptr &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
        Close(kResultCancel);
        return true;
    }
    if (e->type() == QEvent::Close && !closing_) {
        // The window's own close button: close the way Close() does, so that
        // a modal loop ends and the form is destroyed.
        e->ignore();
        Close(loop_ != nullptr ? kResultCancel : 0);
        return true;
    }
    return CVelContainer::WidgetEvent(e);
}

// ---- CVelForm ---------------------------------------------------------------------

CVelForm::CVelForm(uint32_t place, int w, int h, const QString& caption)
    : CVelCustomForm(nullptr, new CVelSurface(nullptr, Qt::Window), place, w, h) {
    SetText(caption);
    if (place == kPlaceScreenCentre) {
        if (QScreen* s = QGuiApplication::primaryScreen()) {
            const QRect g = s->availableGeometry();
            Widget()->move(g.x() + (g.width() - w) / 2, g.y() + (g.height() - h) / 2);
        }
    } else if (!IsPlacementCode(place)) {
        int x = 0, y = 0;
        UnpackPosition(place, x, y);
        Widget()->move(x, y);
    }
}

void CVelForm::EnableMDI() {
    if (mdi_ != nullptr) {
        return;
    }
    mdi_ = new QMdiArea(Widget());
    mdi_->show();
    ReLayout();
}

void CVelForm::PlaceFreeArea(const QRect& free) {
    if (mdi_ != nullptr) {
        mdi_->setGeometry(free);
    }
}

QMdiSubWindow* CVelForm::AddMdiChild(CVelMDIChildForm* child) {
    EnableMDI();
    QMdiSubWindow* sub = mdi_->addSubWindow(child->Widget());
    sub->setAttribute(Qt::WA_DeleteOnClose);
    if (child->Id() == 0) {
        // Children take the ids the window commands activate, skipping the
        // id of the window list itself.
        std::vector<int> used;
        for (CVelMDIChildForm* c : MdiChildren()) {
            used.push_back(c->Id());
        }
        int id = kMdiChildFirstId;
        while (id == kCmdMdiWindowList || std::find(used.begin(), used.end(), id) != used.end()) {
            ++id;
        }
        if (id <= 0xFFFF) {
            child->SetId(id);
        }
    }
    return sub;
}

std::vector<CVelMDIChildForm*> CVelForm::MdiChildren() const {
    std::vector<CVelMDIChildForm*> out;
    if (mdi_ == nullptr) {
        return out;
    }
    for (QMdiSubWindow* s : mdi_->subWindowList(QMdiArea::CreationOrder)) {
        if (auto* c = dynamic_cast<CVelMDIChildForm*>(CVelControl::FromWidget(s->widget()))) {
            out.push_back(c);
        }
    }
    return out;
}

CVelMDIChildForm* CVelForm::ActiveMdiChild() const {
    if (mdi_ == nullptr || mdi_->activeSubWindow() == nullptr) {
        return nullptr;
    }
    return dynamic_cast<CVelMDIChildForm*>(
        CVelControl::FromWidget(mdi_->activeSubWindow()->widget()));
}

void CVelForm::ActivateMdiChild(CVelMDIChildForm* child) {
    if (mdi_ != nullptr && child != nullptr && child->SubWindow() != nullptr) {
        if (child->SubWindow()->isMinimized()) {
            child->SubWindow()->showNormal();
        }
        mdi_->setActiveSubWindow(child->SubWindow());
    }
}

bool CVelForm::ActivateMdiChildById(int id) {
    for (CVelMDIChildForm* c : MdiChildren()) {
        if (c->Id() == id) {
            ActivateMdiChild(c);
            return true;
        }
    }
    return false;
}

void CVelForm::Tile() {
    if (mdi_) {
        mdi_->tileSubWindows();
    }
}

void CVelForm::Cascade() {
    if (mdi_) {
        mdi_->cascadeSubWindows();
    }
}

void CVelForm::ArrangeIcons() {
    if (mdi_ == nullptr) {
        return;
    }
    // Minimised children lined up along the bottom of the document area.
    int x = 0;
    for (QMdiSubWindow* s : mdi_->subWindowList(QMdiArea::CreationOrder)) {
        if (s->isMinimized()) {
            s->move(x, mdi_->viewport()->height() - s->height());
            x += s->width();
        }
    }
}

void CVelForm::RestoreActiveChild() {
    if (mdi_ && mdi_->activeSubWindow()) {
        mdi_->activeSubWindow()->showNormal();
    }
}

void CVelForm::MinimiseActiveChild() {
    if (mdi_ && mdi_->activeSubWindow()) {
        mdi_->activeSubWindow()->showMinimized();
    }
}

void CVelForm::ShowWindowList() {
    auto* list = new CMDISelectForm(this);
    const int result = list->ShowModal();
    if (result == kResultOk) {
        ActivateMdiChild(list->Chosen());
    }
}

bool CVelForm::HandleEvent(const VelEvent& e) {
    if (e.kind != VelEventKind::Command || mdi_ == nullptr) {
        return CVelCustomForm::HandleEvent(e);
    }
    switch (e.id) {
        case kCmdMdiTile:
            Tile();
            return true;
        case kCmdMdiCascade:
            Cascade();
            return true;
        case kCmdMdiArrangeIcons:
            ArrangeIcons();
            return true;
        case kCmdMdiRestore:
            RestoreActiveChild();
            return true;
        case kCmdMdiMinimise:
            MinimiseActiveChild();
            return true;
        case kCmdMdiWindowList:
            ShowWindowList();
            return true;
        default:
            break;
    }
    if ((e.id & 0xFF00) == 0xFF00 && (e.id & ~0xFFFF) == 0) {
        return ActivateMdiChildById(e.id);
    }
    return CVelCustomForm::HandleEvent(e);
}

// ---- CVelMDIChildForm ----------------------------------------------------------------

CVelMDIChildForm::CVelMDIChildForm(CVelForm* frame, int w, int h, const QString& caption)
    : CVelCustomForm(nullptr, new CVelSurface, 0, w, h), frame_(frame) {
    sub_ = frame_->AddMdiChild(this);
    SetText(caption);
    sub_->resize(w, h);
    sub_->show();
    // The document area's own placement looks for free room and may put a
    // new window mostly below or right of what can be seen; cascade from the
    // top left instead, kept inside the area as far as the window's size allows.
    if (QMdiArea* area = sub_->mdiArea()) {
        const int others = static_cast<int>(area->subWindowList().size()) - 1;
        const int step = 28 * (std::max(0, others) % 8);
        const QSize room = area->viewport()->size();
        sub_->move(std::clamp(step, 0, std::max(0, room.width() - sub_->width())),
                   std::clamp(step, 0, std::max(0, room.height() - sub_->height())));
    }
}

void CVelMDIChildForm::SetText(const QString& caption) {
    CVelCustomForm::SetText(caption);
    if (sub_ != nullptr) {
        sub_->setWindowTitle(caption);
    }
}

void CVelMDIChildForm::DoClose(int code) {
    if (sub_ == nullptr || IsModal()) {
        CVelCustomForm::DoClose(code);
        return;
    }
    if (closing_ || !CanClose(code)) {
        return;
    }
    closing_ = true;
    // The sub-window closes this form's widget first, then deletes itself
    // and the widget with it.
    sub_->close();
}

// ---- CMDISelectForm -------------------------------------------------------------------

CMDISelectForm::CMDISelectForm(CVelForm* frame)
    : CVelForm(kPlaceScreenCentre, 520, 320, QStringLiteral("MDI-окна")) {
    SetEndsLoop(false);
    list_ = new CVelListBox(this, kAlignClient, 0, 0, 1);
    for (CVelMDIChildForm* c : frame->MdiChildren()) {
        list_->AddItem(c->Text());
        children_.emplace_back(c);
    }
    if (list_->Count() > 0) {
        list_->SetItemIndex(0);
    }
}

bool CMDISelectForm::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command && e.control == list_ && e.notify == VelNotify::Activated) {
        const int i = list_->ItemIndex();
        if (i >= 0 && i < static_cast<int>(children_.size()) && children_[i]) {
            chosen_ = children_[i];
            Close(kResultOk);
        }
        return true;
    }
    return CVelForm::HandleEvent(e);
}

// ---- error box ----------------------------------------------------------------------------

int ErrorTimeoutFor(const QString& text, int ms) {
    if (ms >= 0) {
        return ms;
    }
    return text == QStringLiteral("Нет подключения к роботу!") ? 2000 : 10000;
}

ErrorSink SetErrorSink(ErrorSink sink) {
    ErrorSink old = std::move(Sink());
    Sink() = std::move(sink);
    return old;
}

QMessageBox* ShowError(const QString& text, int ms) {
    ms = ErrorTimeoutFor(text, ms);
    if (Sink()) {
        Sink()(text, ms);
        return nullptr;
    }
    auto* box =
        new QMessageBox(QMessageBox::Critical, QStringLiteral("Ошибка"), text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    // Texts carry names from the robot and the disk: "<b>x" is no markup.
    box->setTextFormat(Qt::PlainText);
    auto* timer = new QTimer(box);
    timer->setObjectName(QStringLiteral("errorTimeout"));
    timer->setSingleShot(true);
    timer->setInterval(ms);
    QObject::connect(timer, &QTimer::timeout, box, &QMessageBox::close);
    // Shown without blocking: the caller is often the connection reporting a
    // state change, and a nested loop here would run its timer inside it.
    box->show();
    if (ms > 0) {  // 0: the box stays until the operator closes it
        timer->start();
    }
    return box;
}

}  // namespace velcora::ui
