#include "ui/vel_hint.h"

#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace velcora::ui {

namespace {

struct HintState {
    HintTracker tracker;
    QTimer* timer = nullptr;
    bool stopped = false;
    CHintWindow* window = nullptr;
    bool shown = false;
};

HintState& State() {
    static HintState s;
    return s;
}

}  // namespace

CHintWindow::CHintWindow()
    : CVelControl(nullptr, new QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint), 0, 10, 10),
      label_(new QLabel(Widget())) {
    auto* lay = new QVBoxLayout(Widget());
    lay->setContentsMargins(4, 2, 4, 2);
    lay->addWidget(label_);
    QPalette pal = Widget()->palette();
    pal.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xE1));
    pal.setColor(QPalette::WindowText, Qt::black);
    Widget()->setPalette(pal);
    Widget()->setAutoFillBackground(true);
    Widget()->setAttribute(Qt::WA_ShowWithoutActivating);
}

CHintWindow::~CHintWindow() {
    if (State().window == this) {
        State().window = nullptr;
        State().shown = false;
    }
}

QString CHintWindow::Text() const {
    return label_->text();
}

void CHintWindow::ShowAt(const QString& text, const QPoint& globalPos) {
    label_->setText(text);
    Widget()->adjustSize();
    QPoint at = globalPos + QPoint(2, 20);
    // Keep the hint on the screen the cursor is on.
    if (QScreen* s = QGuiApplication::screenAt(globalPos)) {
        const QRect g = s->availableGeometry();
        at.setX(std::min(at.x(), g.right() - Widget()->width()));
        if (at.y() + Widget()->height() > g.bottom()) {
            at.setY(globalPos.y() - Widget()->height() - 4);
        }
    }
    Widget()->move(at);
    Widget()->show();
    Widget()->raise();
}

void CHintWindow::Hide() {
    Widget()->hide();
}

CHintWindow* CHintWindow::Current() {
    HintState& s = State();
    return s.shown ? s.window : nullptr;
}

void CHintWindow::Poll(const QPoint& globalPos, int elapsedMs) {
    HintState& s = State();
    CVelControl* over = nullptr;
    QWidget* w = QApplication::widgetAt(globalPos);
    if (w != nullptr && (s.window == nullptr || w->window() != s.window->Widget())) {
        over = CVelControl::Enclosing(w);
    }
    const bool hasText = over != nullptr && !over->Hint().isEmpty();
    const HintTracker::Actions a =
        s.tracker.Tick(elapsedMs, over, globalPos.x(), globalPos.y(), hasText);
    if (a.hide && s.window != nullptr) {
        s.window->Hide();
        s.shown = false;
    }
    // The tracker's pointers are live: a control forgets itself when it dies.
    if (a.left != nullptr) {
        VelEvent e;
        e.kind = VelEventKind::MouseLeave;
        e.control = static_cast<CVelControl*>(const_cast<void*>(a.left));
        e.control->HandleEvent(e);
    }
    if (a.entered != nullptr) {
        VelEvent e;
        e.kind = VelEventKind::MouseEnter;
        e.control = static_cast<CVelControl*>(const_cast<void*>(a.entered));
        e.control->HandleEvent(e);
    }
    if (a.show && over != nullptr) {
        if (s.window == nullptr) {
            s.window = new CHintWindow();
        }
        s.window->ShowAt(over->Hint(), globalPos);
        s.shown = true;
    }
}

void HintWatchStart() {
    HintState& s = State();
    if (s.timer != nullptr || s.stopped || QCoreApplication::instance() == nullptr) {
        return;
    }
    s.timer = new QTimer(QCoreApplication::instance());
    s.timer->setInterval(HintTracker::kTickMs);
    QObject::connect(s.timer, &QTimer::timeout, [] { CHintWindow::Poll(QCursor::pos()); });
    QObject::connect(s.timer, &QObject::destroyed, [] { State().timer = nullptr; });
    s.timer->start();
}

void CHintWindow::StopWatch() {
    HintState& s = State();
    s.stopped = true;
    delete s.timer;
    s.timer = nullptr;
}

bool CHintWindow::WatchRunning() {
    return State().timer != nullptr;
}

void HintForget(CVelControl* control) {
    HintState& s = State();
    if (s.tracker.Current() == control) {
        if (s.window != nullptr && s.shown) {
            s.window->Hide();
        }
        s.shown = false;
    }
    s.tracker.Forget(control);
}

}  // namespace velcora::ui
