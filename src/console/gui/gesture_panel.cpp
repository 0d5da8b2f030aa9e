#include "console/gui/gesture_panel.h"

#include <QTimer>

#include "console/gui/button_dialogs.h"
#include "ui/layout_geometry.h"
#include "ui/vel_dialogs.h"
#include "ui/vel_form.h"

namespace velcora::gui {

using namespace velcora::ui;

namespace {

QString U(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// Asks for a gesture until its number is free (or it is `keep`'s own);
// nothing when cancelled.
std::optional<Gesture> AskGesture(const CGestures& gestures, const char* title, Gesture proposal,
                                  int keep) {
    for (;;) {
        auto g = CGestureDialog::Run(U(title), proposal);
        if (!g)
            return std::nullopt;
        const int at = gestures.Find(g->number);
        if (at < 0 || at == keep)
            return g;
        ShowError(U(kGestureExists));
        proposal = *g;
    }
}

}  // namespace

CGesturePanel::CGesturePanel(CVelContainer* owner, uint32_t place, int w, int h,
                             CGestures& gestures, const CSettings& settings,
                             std::function<void(int32_t ms)> focusCountdown)
    : CButtonListPanel(owner, place, w, h, QStringLiteral("Жесты")),
      gestures_(gestures),
      settings_(settings),
      focusCountdown_(std::move(focusCountdown)) {
    buttonMenu_->AddItem(kCmdChange, QStringLiteral("Изменить жест"));
    buttonMenu_->AddItem(kCmdRemove, QStringLiteral("Удалить жест"));
    buttonMenu_->AddSeparator();
    buttonMenu_->AddItem(kCmdAdd, U(kAddGestureTitle));
    // An empty panel still offers to add one.
    panelMenu_->AddItem(kCmdAdd, U(kAddGestureTitle));
    SetHint(QStringLiteral("Правая кнопка мыши — «Добавить существующий жест»"));
    gestures_.SetChanged([this] { Rebuild(); });
    Rebuild();
}

CGesturePanel::~CGesturePanel() {
    gestures_.SetChanged(nullptr);
}

void CGesturePanel::Rebuild() {
    DestroyButtons();
    const QRect c = ClientRect();
    int y = c.top();
    for (std::size_t i = 0; i < gestures_.Count(); ++i) {
        const Gesture& g = gestures_.At(i);
        auto* b =
            new CVelButton(this, PackPosition(c.left(), y), kGestureButtonWidth,
                           kGestureButtonHeight, U(g.name), kCmdGestureFirst + static_cast<int>(i));
        b->SetHint(U(GestureCaption(g.number)));
        Adopt(b);
        y += kGestureButtonHeight + kGestureButtonGap;
    }
}

void CGesturePanel::Perform(std::size_t i) {
    if (settings_.joyAutoFocus && focusCountdown_)
        focusCountdown_(kGestureFocusMs);
    if (!gestures_.Perform(i))
        ShowError(U(kNoConnection), kNoConnectionErrorMs);
}

void CGesturePanel::AddExisting() {
    if (auto g = AskGesture(gestures_, kAddGestureTitle, Gesture{0, {}}, -1))
        gestures_.Add(g->number, g->name);
}

void CGesturePanel::Change(std::size_t i) {
    if (i >= gestures_.Count())
        return;
    if (auto g = AskGesture(gestures_, kChangeGestureTitle, gestures_.At(i), static_cast<int>(i)))
        gestures_.Change(i, g->number, g->name);
}

void CGesturePanel::Remove(std::size_t i) {
    gestures_.Remove(i);
}

bool CGesturePanel::HandleEvent(const VelEvent& e) {
    const int index = IndexOf(e.control);
    if (e.kind == VelEventKind::MenuUpdate) {
        menuButton_ = index;
        return true;
    }
    if (e.kind != VelEventKind::Command)
        return CVelGroupBox::HandleEvent(e);
    const int id = e.id;
    if (id >= kCmdGestureFirst && id < kCmdGestureFirst + static_cast<int>(buttons_.size())) {
        Perform(static_cast<std::size_t>(id - kCmdGestureFirst));
        return true;
    }
    // Menu commands run after the menu's event: they rebuild the buttons.
    const int target = menuButton_;
    switch (id) {
        case kCmdAdd:
            QTimer::singleShot(0, this, [this] { AddExisting(); });
            return true;
        case kCmdChange:
            if (target >= 0)
                QTimer::singleShot(0, this,
                                   [this, target] { Change(static_cast<std::size_t>(target)); });
            return true;
        case kCmdRemove:
            if (target >= 0)
                QTimer::singleShot(0, this,
                                   [this, target] { Remove(static_cast<std::size_t>(target)); });
            return true;
        default:
            return CVelGroupBox::HandleEvent(e);
    }
}

bool StartGestureRecording(CGestureRecorder& recorder, CGestures& gestures, uint32_t now,
                           std::function<void(bool recorded)> finished) {
    if (recorder.Pending())
        return false;
    Gesture proposal{recorder.ProposedNumber(), recorder.ProposedName()};
    for (;;) {
        auto g = CGestureDialog::Run(U(kAddGestureTitle), proposal);
        if (!g)
            return false;
        if (!gestures.Exists(g->number) ||
            AskQuestion(U(kAddGestureTitle), U(kGestureReplace)) == Answer::Yes) {
            proposal = *g;
            break;
        }
        proposal = *g;
    }
    return recorder.Start(proposal.number, proposal.name, now,
                          [finished](RecordOutcome outcome, uint16_t) {
                              const bool ok = outcome == RecordOutcome::Recorded;
                              if (!ok)
                                  ShowError(U(kGestureRecordFailed), 10000);
                              if (finished)
                                  finished(ok);
                          });
}

}  // namespace velcora::gui
