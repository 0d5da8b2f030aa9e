#include "media/gui/sound_settings_dialog.h"

#include <QPointer>

namespace velcora::media {

namespace {

QString U(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

ui::CVelComboBox* Row(ui::CVelContainer* owner, std::string_view label,
                      const std::vector<std::string>& entries, int selected, int width) {
    owner->FlowNewRow();
    new ui::CVelLabel(owner, ui::kPlaceFlow, 170, 24, U(label));
    auto* list = new ui::CVelComboBox(owner, ui::kPlaceFlow, width, 24);
    for (const auto& e : entries) {
        list->AddItem(U(e));
    }
    list->SetItemIndex(selected);
    return list;
}

}  // namespace

CSoundSettingsDialog::CSoundSettingsDialog(SoundDirection direction,
                                           std::vector<std::string> deviceNames,
                                           SoundSettingsValues current)
    : ui::CVelForm(ui::kPlaceScreenCentre, 420, 190, {}),
      model_(direction, std::move(deviceNames), current) {
    SetText(U(model_.Title()));
    SetMargin(8);
    devices_ = Row(this, kDeviceLabel, model_.DeviceEntries(), model_.DeviceIndex(), 220);
    rates_ = Row(this, kRateLabel, model_.RateEntries(), model_.RateIndex(), 100);
    bits_ = Row(this, kBitsLabel, model_.BitsEntries(), model_.BitsIndex(), 100);
    bitRates_ = Row(this, kSoundBitRateLabel, model_.BitRateEntries(), model_.BitRateIndex(), 100);
    FlowNewRow();
    ok_ = new ui::CVelButton(this, ui::kPlaceFlow, 90, 26, U(kOkButton), kCmdOk);
    cancel_ = new ui::CVelButton(this, ui::kPlaceFlow, 90, 26, U(kCancelButton), kCmdCancel);
    FlowCentreRow();
}

bool CSoundSettingsDialog::HandleEvent(const ui::VelEvent& e) {
    if (e.kind == ui::VelEventKind::Command && e.id == kCmdOk) {
        model_.SelectDevice(devices_->ItemIndex());
        model_.SelectRate(rates_->ItemIndex());
        model_.SelectBits(bits_->ItemIndex());
        model_.SelectBitRate(bitRates_->ItemIndex());
        accepted_ = model_.Accept();
        Close(ui::kResultOk);
        return true;
    }
    if (e.kind == ui::VelEventKind::Command && e.id == kCmdCancel) {
        Close(ui::kResultCancel);
        return true;
    }
    return ui::CVelForm::HandleEvent(e);
}

std::optional<SoundSettingsValues> CSoundSettingsDialog::Run(SoundDirection direction,
                                                             std::vector<std::string> deviceNames,
                                                             SoundSettingsValues current) {
    auto* dialog = new CSoundSettingsDialog(direction, std::move(deviceNames), current);
    QPointer<ui::CVelControl> alive(dialog);
    const int result = dialog->ShowModal();
    // The dialog is still readable here; it is deleted later by the loop.
    if (!alive || result != ui::kResultOk) {
        return std::nullopt;
    }
    return dialog->Accepted();
}

}  // namespace velcora::media
