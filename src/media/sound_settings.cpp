#include "media/sound_settings.h"

#include <algorithm>

#include "media/audio_format.h"

namespace velcora::media {

CSoundSettingsModel::CSoundSettingsModel(SoundDirection direction,
                                         std::vector<std::string> deviceNames,
                                         SoundSettingsValues current)
    : direction_(direction), current_(current) {
    devices_.emplace_back(kDefaultDevice);
    for (auto& name : deviceNames) {
        devices_.push_back(std::move(name));
    }
    deviceIndex_ = Checked(current.device + 1, devices_.size());
    // Bit 2 alone also means 44100 Hz: those codes show the first entry rather
    // than nothing (which would store a broken code on "OK").
    const int rate = current.code & 7;
    rateIndex_ = rate < static_cast<int>(kFormatRates.size()) ? rate : 0;
    bitsIndex_ = (current.code & kFormat8Bit) ? 1 : 0;
    const auto it =
        std::find(kSoundBitRatesKbit.begin(), kSoundBitRatesKbit.end(), current.bitRate / 1000);
    bitRateIndex_ = (it != kSoundBitRatesKbit.end() && current.bitRate % 1000 == 0)
                        ? static_cast<int>(it - kSoundBitRatesKbit.begin())
                        : -1;
}

std::string_view CSoundSettingsModel::Title() const {
    return direction_ == SoundDirection::kIncoming ? kIncomingTitle : kOutgoingTitle;
}

std::vector<std::string> CSoundSettingsModel::RateEntries() const {
    std::vector<std::string> out;
    for (int32_t r : kFormatRates) {
        out.push_back(std::to_string(r));
    }
    return out;
}

std::vector<std::string> CSoundSettingsModel::BitsEntries() const {
    return {std::to_string(kSampleBits[0]), std::to_string(kSampleBits[1])};
}

std::vector<std::string> CSoundSettingsModel::BitRateEntries() const {
    std::vector<std::string> out;
    for (int32_t k : kSoundBitRatesKbit) {
        out.push_back(std::to_string(k));
    }
    return out;
}

void CSoundSettingsModel::SelectDevice(int index) {
    deviceIndex_ = Checked(index, devices_.size());
}
void CSoundSettingsModel::SelectRate(int index) {
    rateIndex_ = Checked(index, kFormatRates.size());
}
void CSoundSettingsModel::SelectBits(int index) {
    bitsIndex_ = Checked(index, kSampleBits.size());
}
void CSoundSettingsModel::SelectBitRate(int index) {
    bitRateIndex_ = Checked(index, kSoundBitRatesKbit.size());
}

SoundSettingsValues CSoundSettingsModel::Accept() const {
    SoundSettingsValues v = current_;
    if (deviceIndex_ >= 0) {
        v.device = deviceIndex_ - 1;
    }
    const int rate = rateIndex_ >= 0 ? rateIndex_ : (current_.code & 3);
    const bool eightBit = bitsIndex_ >= 0 ? bitsIndex_ == 1 : (current_.code & kFormat8Bit) != 0;
    v.code = MakeFormatCode(rate, eightBit);
    if (bitRateIndex_ >= 0) {
        v.bitRate = kSoundBitRatesKbit[bitRateIndex_] * 1000;
    }
    return v;
}

}  // namespace velcora::media
