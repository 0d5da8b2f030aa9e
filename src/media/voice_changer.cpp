#include "media/voice_changer.h"

#include <algorithm>
#include <cstdlib>

namespace velcora::media {

CVoiceChanger::CVoiceChanger(int32_t minLevel, int32_t speechSpeed)
    : threshold_(minLevel < 0 ? -1 : minLevel), speed_(std::clamp(speechSpeed, 25, 1000)) {
    accumulated_.reserve(512);
}

bool CVoiceChanger::Process(int16_t* samples, size_t count, std::vector<int16_t>& utterance) {
    int64_t sum = 0;
    for (size_t i = 0; i < count; ++i) {
        sum += std::abs(static_cast<int32_t>(samples[i]));
    }
    level_ = count ? static_cast<int32_t>(sum / static_cast<int64_t>(count)) : 0;
    ++processed_;
    if (threshold_ < 0) {
        // The first buffers are taken as the room's noise.
        if (processed_ == 3) {
            threshold_ = level_ * 3 / 2;
        }
    } else if (level_ < (2 * threshold_) / 3) {
        std::fill(samples, samples + count, int16_t{0});
    }
    accumulated_.insert(accumulated_.end(), samples, samples + count);
    const bool ended = (threshold_ > 0 && level_ < threshold_) ||
                       static_cast<int64_t>(accumulated_.size()) * 2 > kMaxUtteranceBytes;
    if (!ended) {
        return false;
    }
    const int64_t n = static_cast<int64_t>(accumulated_.size());
    const int64_t m = n * 100 / speed_;
    utterance.resize(static_cast<size_t>(m));
    for (int64_t i = 0; i < m; ++i) {
        // round(i * n / m), kept inside the input at the very end.
        const int64_t at = std::min((2 * i * n + m) / (2 * m), n - 1);
        utterance[static_cast<size_t>(i)] = accumulated_[static_cast<size_t>(at)];
    }
    accumulated_.clear();
    return true;
}

}  // namespace velcora::media
