#include "media/gui/level_meter_input.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace velcora::media {

int32_t PeakLevelPercent(const uint8_t* data, int32_t bytes, int32_t bits) {
    if (!data || bytes <= 0) {
        return 0;
    }
    int32_t peak = 0;
    if (bits == 8) {
        for (int32_t i = 0; i < bytes; ++i) {
            peak = std::max(peak, std::abs((static_cast<int32_t>(data[i]) - 128) * 256));
        }
    } else {
        for (int32_t i = 0; i + 1 < bytes; i += 2) {
            const auto s = static_cast<int16_t>(data[i] | (data[i + 1] << 8));
            peak = std::max(peak, std::abs(static_cast<int32_t>(s)));
        }
    }
    if (peak <= 0) {
        return 0;
    }
    const double db = 20.0 * std::log10(static_cast<double>(peak) / 32768.0);
    return static_cast<int32_t>(std::clamp((db + 60.0) * 100.0 / 60.0, 0.0, 100.0));
}

bool CLevelMeterInput::Open(int32_t device, int32_t rate, int32_t bits, Completion done) {
    bits_ = bits;
    done_ = std::move(done);
    level_ = 0;
    return device_.Open(device, rate, bits, [this](uintptr_t tag, int32_t recorded) {
        uint8_t* data = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = buffers_.find(tag);
            if (it != buffers_.end()) {
                data = it->second;
                buffers_.erase(it);
            }
        }
        if (data && recorded > 0) {
            level_ = PeakLevelPercent(data, recorded, bits_);
        }
        if (done_) {
            done_(tag, recorded);
        }
    });
}

bool CLevelMeterInput::AddBuffer(uint8_t* data, int32_t size, uintptr_t tag) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        buffers_[tag] = data;
    }
    if (!device_.AddBuffer(data, size, tag)) {
        std::lock_guard<std::mutex> lock(mutex_);
        buffers_.erase(tag);
        return false;
    }
    return true;
}

void CLevelMeterInput::Reset() {
    device_.Reset();
    level_ = 0;
}

void CLevelMeterInput::Close() {
    device_.Close();
    std::lock_guard<std::mutex> lock(mutex_);
    buffers_.clear();
    level_ = 0;
}

}  // namespace velcora::media
