#include "console/gui/command_panel.h"

#include <QTimer>

#include "console/gui/button_dialogs.h"
#include "ui/layout_geometry.h"
#include "ui/vel_dialogs.h"

namespace velcora::gui {

using namespace velcora::ui;

namespace {

QString U(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace

CCommandButton::CCommandButton(CVelContainer* owner, const CommandButtonData& data, int id)
    : CVelSpdBtn(owner, PackPosition(0, 0), data.width, kCommandButtonHeight, U(data.caption), id) {
    SetLatching(data.latched);
    SetHint(U(CommandButtonHint(data)));
}

CCommandButton::~CCommandButton() = default;

CCommandPanel::CCommandPanel(CVelContainer* owner, uint32_t place, int w, int h,
                             CCommandButtons& buttons)
    : CButtonListPanel(owner, place, w, h, QStringLiteral("Команды")), model_(buttons) {
    SetMargin(2);
    SetHint(QStringLiteral("Правая кнопка мыши — «Добавить кнопку»"));
    panelMenu_->AddItem(kCmdAdd, QStringLiteral("Добавить кнопку"));
    buttonMenu_->AddItem(kCmdAdd, QStringLiteral("Добавить кнопку"));
    buttonMenu_->AddItem(kCmdEdit, QStringLiteral("Правка кнопки"));
    buttonMenu_->AddItem(kCmdRemove, QStringLiteral("Удалить кнопку"));
    Rebuild();
}

CCommandPanel::~CCommandPanel() = default;

void CCommandPanel::Rebuild() {
    DestroyButtons();
    for (std::size_t i = 0; i < model_.Count(); ++i) {
        auto* b = new CCommandButton(this, model_.Button(i), kCmdButtonFirst + static_cast<int>(i));
        b->SetEnabled(enabled_);
        Adopt(b);
    }
    FitHeight();
}

void CCommandPanel::FitHeight() {
    // Left to right, wrapping at the panel's width.
    constexpr int kGap = 4;
    const QRect c = ClientRect();
    int x = c.left();
    int y = c.top();
    for (auto* b : buttons_) {
        const int w = b->Geometry().width();
        if (x > c.left() && x + w > c.right() + 1) {
            x = c.left();
            y += kCommandButtonHeight + kGap;
        }
        b->SetGeometry(x, y, w, kCommandButtonHeight);
        x += w + kGap;
    }
    // The caption and the frame above the client area, the rows, the margin.
    const int h = y + kCommandButtonHeight + Margin() + 4;
    if (h != Geometry().height() && Geometry().width() > 0)
        SetSize(Geometry().width(), h);
}

void CCommandPanel::ApplyEnabling(bool robotControls) {
    enabled_ = robotControls;
    for (auto* b : buttons_)
        b->SetEnabled(robotControls);
}

void CCommandPanel::Act(std::size_t i, const ButtonAction& action) {
    if (action.askParameters) {
        const auto& press = model_.Button(i).pressCommand;
        if (!press)
            return;
        if (auto filled = CCommandParamsDialog::Run(*press))
            model_.Perform(ButtonAction{*filled, false});
        return;
    }
    model_.Perform(action);
}

void CCommandPanel::AddButton() {
    if (!model_.CanAdd())
        return;
    if (auto b = CCommandButtonDlg::Run(std::nullopt)) {
        model_.Add(*b);
        Rebuild();
    }
}

void CCommandPanel::EditButton(std::size_t i) {
    if (i >= model_.Count())
        return;
    if (auto b = CCommandButtonDlg::Run(model_.Button(i))) {
        model_.Replace(i, *b);
        Rebuild();
    }
}

void CCommandPanel::RemoveButton(std::size_t i) {
    if (i >= model_.Count())
        return;
    if (AskQuestion(QStringLiteral("Удалить кнопку"),
                    QStringLiteral("Вы действительно хотите удалить кнопку?")) != Answer::Yes)
        return;
    model_.Remove(i);
    Rebuild();
}

bool CCommandPanel::HandleEvent(const VelEvent& e) {
    const int index = IndexOf(e.control);
    if (e.kind == VelEventKind::MenuUpdate) {
        menuButton_ = index;
        if (e.menu) {
            e.menu->EnableItem(kCmdAdd, model_.CanAdd());
        }
        return true;
    }
    // A button that does not latch acts while it is held.
    if ((e.kind == VelEventKind::LeftDown || e.kind == VelEventKind::LeftUp) && index >= 0 &&
        e.control->IsEnabled()) {
        const auto& data = model_.Button(static_cast<std::size_t>(index));
        if (!data.latched) {
            Act(static_cast<std::size_t>(index),
                e.kind == VelEventKind::LeftDown ? ButtonDown(data) : ButtonUp(data));
        }
        return false;  // the button itself still goes down and up
    }
    if (e.kind != VelEventKind::Command)
        return CVelGroupBox::HandleEvent(e);
    const int id = e.id;
    if (id >= kCmdButtonFirst && id < kCmdButtonFirst + static_cast<int>(buttons_.size())) {
        const auto i = static_cast<std::size_t>(id - kCmdButtonFirst);
        Act(i, ButtonClick(model_.Button(i), buttons_[i]->Down()));
        return true;
    }
    // The menu's commands run after the menu's own event: editing rebuilds
    // the buttons, the one whose menu it was among them.
    const int target = menuButton_;
    switch (id) {
        case kCmdAdd:
            QTimer::singleShot(0, this, [this] { AddButton(); });
            return true;
        case kCmdEdit:
            if (target >= 0)
                QTimer::singleShot(
                    0, this, [this, target] { EditButton(static_cast<std::size_t>(target)); });
            return true;
        case kCmdRemove:
            if (target >= 0)
                QTimer::singleShot(
                    0, this, [this, target] { RemoveButton(static_cast<std::size_t>(target)); });
            return true;
        default:
            return CVelGroupBox::HandleEvent(e);
    }
}

}  // namespace velcora::gui
