#include "console/gui/button_dialogs.h"

#include <QLineEdit>
#include <QPointer>
#include <type_traits>

#include "link/text_codec.h"
#include "ui/layout_geometry.h"

namespace velcora::gui {

using namespace velcora::ui;

namespace {

QString U(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString FromAnsi(const std::string& ansi) {
    return QString::fromStdU16String(AnsiToWide(ansi));
}

std::string ToAnsi(const QString& text) {
    return WideToAnsi(text.toStdU16String());
}

CVelLabel* FieldLabel(CVelContainer* owner, int w, const char* text) {
    owner->FlowNewRow();
    return new CVelLabel(owner, kPlaceFlow, w, 22, U(text));
}

void OkCancel(CVelContainer* owner, int ok, int cancel) {
    owner->FlowNewRow();
    new CVelButton(owner, kPlaceFlow, 90, 26, QStringLiteral("OK"), ok);
    new CVelButton(owner, kPlaceFlow, 90, 26, QStringLiteral("Отмена"), cancel);
    owner->FlowCentreRow();
}

template <typename Dialog>
auto RunModal(Dialog* dialog) -> std::decay_t<decltype(dialog->Accepted())> {
    QPointer<CVelControl> alive(dialog);
    const int result = dialog->ShowModal();
    if (!alive || result != kResultOk)
        return std::nullopt;
    return dialog->Accepted();
}

}  // namespace

// ---------------------------------------------------------- command button editor

CCommandButtonDlg::CCommandButtonDlg(const std::optional<CommandButtonData>& button)
    : CVelForm(kPlaceScreenCentre, 450, 270, QStringLiteral("Редактор командной кнопки")) {
    SetEndsLoop(false);
    SetMargin(10);
    const CommandButtonData b = button.value_or(CommandButtonData{});
    FieldLabel(this, 130, "Текст кнопки:");
    caption_ = new CVelEdit(this, kPlaceFlow, 290, 24, U(b.caption));
    caption_->SetMaxLength(static_cast<int>(kCommandCaptionLimit));
    FieldLabel(this, 130, "Ширина кнопки:");
    width_ = new CVelSpinEdit(this, kPlaceFlow, 80, 24, kCommandButtonMinWidth,
                              kCommandButtonMaxWidth, button ? b.width : kCommandButtonNewWidth);
    FlowNewRow();
    latched_ = new CVelCheckBox(this, kPlaceFlow, 300, 24, QStringLiteral("Кнопка с фиксацией"),
                                kCmdLatched);
    latched_->SetChecked(b.latched);
    FieldLabel(this, 420, "Команда в Korlang при нажатии:");
    FlowNewRow();
    press_ = new CVelEdit(this, kPlaceFlow, 420, 24, FromAnsi(b.pressCommand.value_or("")));
    press_->SetMaxLength(static_cast<int>(kCommandTextLimit));
    FieldLabel(this, 420, "Команда в Korlang при отжатии:");
    FlowNewRow();
    // Disabled while the button does not latch, but it keeps its text.
    release_ = new CVelEdit(this, kPlaceFlow, 420, 24, FromAnsi(b.releaseCommand.value_or("")));
    release_->SetMaxLength(static_cast<int>(kCommandTextLimit));
    release_->SetEnabled(b.latched);
    OkCancel(this, kCmdOk, kCmdCancel);
    caption_->SetFocus();
}

CommandButtonData CCommandButtonDlg::Values() const {
    CommandButtonData b;
    b.caption = caption_->Text().toStdString();
    b.width = width_->Value();
    b.latched = latched_->Checked();
    const std::string press = ToAnsi(press_->Text());
    const std::string release = ToAnsi(release_->Text());
    if (!press.empty())
        b.pressCommand = press;
    if (!release.empty())
        b.releaseCommand = release;
    return LimitedButton(std::move(b));
}

bool CCommandButtonDlg::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command) {
        switch (e.id) {
            case kCmdLatched:
                release_->SetEnabled(latched_->Checked());
                return true;
            case kCmdOk:
                accepted_ = Values();
                Close(kResultOk);
                return true;
            case kCmdCancel:
                Close(kResultCancel);
                return true;
            default:
                break;
        }
    }
    return CVelForm::HandleEvent(e);
}

std::optional<CommandButtonData> CCommandButtonDlg::Run(
    const std::optional<CommandButtonData>& button) {
    return RunModal(new CCommandButtonDlg(button));
}

// ------------------------------------------------------------- command parameters

CCommandParamsDialog::CCommandParamsDialog(const std::string& ansiCommand)
    : CVelForm(kPlaceScreenCentre, 600, 400, QStringLiteral("Параметры команды")),
      command_(ansiCommand) {
    SetEndsLoop(false);
    SetMargin(6);
    auto* bottom = new CVelPanel(this, kAlignBottom, 0, 40);
    bottom->SetMargin(6);
    OkCancel(bottom, kCmdOk, kCmdCancel);
    auto* scroll = new CVelScrollBox(this, kAlignClient, 0, 0);
    const auto labels = PlaceholderLabels(ansiCommand);
    constexpr int kRow = 54;
    int y = 6;
    for (const auto& label : labels) {
        labels_.push_back(new CVelLabel(scroll, PackPosition(8, y), 540, 22, FromAnsi(label)));
        auto* field = new CVelEdit(scroll, PackPosition(8, y + 24), 540, 24);
        fields_.push_back(field);
        y += kRow;
    }
    scroll->SetContentSize(560, y + 6);
    if (!fields_.empty())
        fields_.front()->SetFocus();
}

bool CCommandParamsDialog::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command && e.id == kCmdOk) {
        std::vector<std::string> values;
        for (auto* f : fields_) {
            const std::u16string text = f->Text().toStdU16String();
            values.push_back(
                WideToAnsi(std::u16string_view(text).substr(0, kPlaceholderValueLimit)));
        }
        accepted_ = FillPlaceholders(command_, values);
        Close(kResultOk);
        return true;
    }
    if (e.kind == VelEventKind::Command && e.id == kCmdCancel) {
        Close(kResultCancel);
        return true;
    }
    return CVelForm::HandleEvent(e);
}

std::optional<std::string> CCommandParamsDialog::Run(const std::string& ansiCommand) {
    return RunModal(new CCommandParamsDialog(ansiCommand));
}

// ------------------------------------------------------------------ gesture dialog

CGestureDialog::CGestureDialog(const QString& title, const Gesture& gesture)
    : CVelForm(kPlaceScreenCentre, 400, 140, title) {
    SetEndsLoop(false);
    SetMargin(10);
    FieldLabel(this, 130, "Номер жеста:");
    number_ = new CVelSpinEdit(this, kPlaceFlow, 100, 24, 0, 65535, gesture.number);
    FieldLabel(this, 130, "Название жеста:");
    name_ = new CVelEdit(this, kPlaceFlow, 230, 24, U(gesture.name));
    name_->SetMaxLength(static_cast<int>(kGestureNameLimit));
    OkCancel(this, kCmdOk, kCmdCancel);
    name_->SetFocus();
}

Gesture CGestureDialog::Values() const {
    return {static_cast<uint16_t>(std::clamp(number_->Value(), 0, 65535)),
            name_->Text().toStdString()};
}

bool CGestureDialog::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command && e.id == kCmdOk) {
        accepted_ = Values();
        Close(kResultOk);
        return true;
    }
    if (e.kind == VelEventKind::Command && e.id == kCmdCancel) {
        Close(kResultCancel);
        return true;
    }
    return CVelForm::HandleEvent(e);
}

std::optional<Gesture> CGestureDialog::Run(const QString& title, const Gesture& gesture) {
    return RunModal(new CGestureDialog(title, gesture));
}

}  // namespace velcora::gui
