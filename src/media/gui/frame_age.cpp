#include "media/gui/frame_age.h"

#include <algorithm>
#include <cstdio>

namespace velcora::media {

void CFrameAge::Shown(std::optional<uint32_t> delayAtArrivalMs) {
    if (!shown_) {
        firstShown_ = now_;
    }
    shown_ = true;
    stamped_ = delayAtArrivalMs.has_value();
    delayAtArrival_ = delayAtArrivalMs.value_or(0);
    shownAt_ = now_;
    recent_.push_back(now_);
    Tick(0);
}

void CFrameAge::Tick(int32_t elapsedMs) {
    now_ += std::max(elapsedMs, 0);
    while (!recent_.empty() && now_ - recent_.front() >= kRateWindowMs) {
        recent_.pop_front();
    }
}

void CFrameAge::Clear() {
    shown_ = false;
    stamped_ = false;
    recent_.clear();
}

int64_t CFrameAge::DelayMs() const {
    return shown_ ? delayAtArrival_ + (now_ - shownAt_) : 0;
}

double CFrameAge::FramesPerSecond() const {
    if (!shown_ || recent_.empty()) {
        return 0;
    }
    if (now_ - firstShown_ >= kRateWindowMs) {
        return static_cast<double>(recent_.size()) * 1000.0 / kRateWindowMs;
    }
    // Less than a window so far: the gaps between the pictures seen.
    const int64_t span = recent_.back() - recent_.front();
    if (recent_.size() < 2 || span <= 0) {
        return 0;
    }
    return static_cast<double>(recent_.size() - 1) * 1000.0 / static_cast<double>(span);
}

std::string CFrameAge::Text() const {
    if (!shown_) {
        return {};
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, "задержка %lld мс, %.1f к/с", static_cast<long long>(DelayMs()),
                  FramesPerSecond());
    return buf;
}

}  // namespace velcora::media
