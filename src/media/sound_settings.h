// The values behind the sound settings dialog, used for both directions: the
// robot's sound (format and bit rate asked of the robot) and the microphone
// (recording device, format and bit rate sent). The dialog only shows them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velcora::media {

enum class SoundDirection { kIncoming, kOutgoing };

inline constexpr std::string_view kSoundMenuEntry = "Настройка звука...";
inline constexpr std::string_view kIncomingTitle = "Настройка входящего звука";
inline constexpr std::string_view kOutgoingTitle = "Настройка исходящего звука";
inline constexpr std::string_view kDeviceLabel = "Записывающее устройство:";
inline constexpr std::string_view kDefaultDevice = "По умолчанию";
inline constexpr std::string_view kRateLabel = "Частота звука:";
inline constexpr std::string_view kBitsLabel = "Число бит:";
inline constexpr std::string_view kSoundBitRateLabel = "Вх.поток (кБит/сек):";
inline constexpr std::string_view kOkButton = "OK";
inline constexpr std::string_view kCancelButton = "Отмена";

inline constexpr std::array<int32_t, 2> kSampleBits = {16, 8};
inline constexpr std::array<int32_t, 5> kSoundBitRatesKbit = {8, 16, 32, 64, 128};

struct SoundSettingsValues {
    int32_t device = -1;  // AUDIO_IN_DEVICE
    uint8_t code = 0;     // inAudioParamCode / outAudioParamCode
    int32_t bitRate = 64000;
    bool operator==(const SoundSettingsValues&) const = default;
};

class CSoundSettingsModel {
  public:
    // `deviceNames` are the system's recording devices in device-number order.
    CSoundSettingsModel(SoundDirection direction, std::vector<std::string> deviceNames,
                        SoundSettingsValues current);

    std::string_view Title() const;
    // "По умолчанию" first (device -1), then every device by name.
    const std::vector<std::string>& DeviceEntries() const { return devices_; }
    std::vector<std::string> RateEntries() const;
    std::vector<std::string> BitsEntries() const;
    std::vector<std::string> BitRateEntries() const;

    // Selected entries, -1 for none.
    int DeviceIndex() const { return deviceIndex_; }
    int RateIndex() const { return rateIndex_; }
    int BitsIndex() const { return bitsIndex_; }
    int BitRateIndex() const { return bitRateIndex_; }
    void SelectDevice(int index);
    void SelectRate(int index);
    void SelectBits(int index);
    void SelectBitRate(int index);

    // "OK": the values to store. Lists without a selection keep the old value.
    SoundSettingsValues Accept() const;

  private:
    static int Checked(int index, size_t count) {
        return index >= 0 && static_cast<size_t>(index) < count ? index : -1;
    }

    SoundDirection direction_;
    SoundSettingsValues current_;
    std::vector<std::string> devices_;
    int deviceIndex_ = -1;
    int rateIndex_ = -1;
    int bitsIndex_ = -1;
    int bitRateIndex_ = -1;
};

// The menu entry is not offered while the console is locked.
inline bool SoundSettingsOffered(bool locked) {
    return !locked;
}

}  // namespace velcora::media
