#include "console/gui/cyclogram_panel.h"

#include "cyclogram/gui/cyclogram_view.h"
#include "link/text_codec.h"

namespace velcora::gui {

using namespace ui;

namespace {

constexpr int kRowH = 26;

QString Q(const std::string& ansi) {
    return QString::fromStdString(AnsiToUtf8(ansi));
}

}  // namespace

CCyclogramPanel::CCyclogramPanel(CVelContainer* owner, uint32_t place, int w, int h,
                                 std::function<void()> showPage)
    : CVelGroupBox(owner, place, w, h, QStringLiteral("Циклограммы")),
      showPage_(std::move(showPage)) {
    auto* buttons = new CVelPanel(this, kAlignBottom, 0, 2 * kRowH + 16);
    buttons->SetColor(owner->BackgroundColor());
    run_ = new CVelButton(buttons, kPlaceFlow, 200, kRowH, QStringLiteral("Запустить циклограмму"),
                          kCmdRun);
    buttons->FlowNewRow();
    edit_ = new CVelButton(buttons, kPlaceFlow, 200, kRowH,
                           QStringLiteral("Редактировать циклограмму"), kCmdEdit);
    list_ = new CVelListBox(this, kAlignClient, 0, 0);
    list_->SetId(kCmdList);
}

void CCyclogramPanel::Attach(cyclogram_gui::CCyclogramView& view) {
    view_ = &view;
    view.SetRobotListHook([this](const std::vector<std::string>& names) { ShowNames(names); });
    view.SetNewNameHook([this](const std::string& name) { AddName(name); });
}

void CCyclogramPanel::SetButtonFont(CVelFont* font) {
    run_->SetFont(font);
    edit_->SetFont(font);
}

void CCyclogramPanel::ShowNames(const std::vector<std::string>& names) {
    names_ = names;
    const int keep = list_->ItemIndex();
    list_->Clear();
    for (const auto& n : names)
        list_->AddItem(Q(n));
    list_->SetItemIndex(keep < static_cast<int>(names.size()) ? keep : -1);
}

void CCyclogramPanel::AddName(const std::string& name) {
    names_.push_back(name);
    list_->AddItem(Q(name));
}

bool CCyclogramPanel::HandleEvent(const VelEvent& e) {
    if (e.kind != VelEventKind::Command ||
        (e.id != kCmdRun && e.id != kCmdEdit && e.id != kCmdList))
        return CVelGroupBox::HandleEvent(e);
    // A double click in the list edits, as the button does.
    const bool edit = e.id == kCmdEdit || (e.id == kCmdList && e.notify == VelNotify::Activated);
    if (e.id == kCmdList && !edit)
        return true;
    const int row = list_->ItemIndex();
    if (!view_ || row < 0 || row >= static_cast<int>(names_.size()))
        return true;
    const std::string& name = names_[static_cast<std::size_t>(row)];
    if (edit) {
        if (showPage_)
            showPage_();
        view_->Window().EditByName(name);
    } else {
        view_->Window().RunByName(name);
    }
    return true;
}

}  // namespace velcora::gui
