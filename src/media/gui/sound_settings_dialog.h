// The sound settings dialog, for the robot's sound and for the microphone:
// recording device, sample rate, sample size and bit rate.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "media/sound_settings.h"
#include "ui/vel_controls.h"
#include "ui/vel_form.h"

namespace velcora::media {

class CSoundSettingsDialog : public ui::CVelForm {
  public:
    enum Command { kCmdOk = 7301, kCmdCancel };

    CSoundSettingsDialog(SoundDirection direction, std::vector<std::string> deviceNames,
                         SoundSettingsValues current);

    // Shows the dialog and waits; the values to store on "OK", nothing on
    // "Отмена" or when the dialog is closed otherwise.
    static std::optional<SoundSettingsValues> Run(SoundDirection direction,
                                                  std::vector<std::string> deviceNames,
                                                  SoundSettingsValues current);

    ui::CVelComboBox* Devices() const { return devices_; }
    ui::CVelComboBox* Rates() const { return rates_; }
    ui::CVelComboBox* Bits() const { return bits_; }
    ui::CVelComboBox* BitRates() const { return bitRates_; }
    ui::CVelButton* OkButton() const { return ok_; }
    ui::CVelButton* CancelButton() const { return cancel_; }
    // Set when the dialog closed with "OK".
    const std::optional<SoundSettingsValues>& Accepted() const { return accepted_; }

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    CSoundSettingsModel model_;
    ui::CVelComboBox* devices_ = nullptr;
    ui::CVelComboBox* rates_ = nullptr;
    ui::CVelComboBox* bits_ = nullptr;
    ui::CVelComboBox* bitRates_ = nullptr;
    ui::CVelButton* ok_ = nullptr;
    ui::CVelButton* cancel_ = nullptr;
    std::optional<SoundSettingsValues> accepted_;
};

}  // namespace velcora::media
