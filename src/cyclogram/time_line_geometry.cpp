#include "cyclogram/time_line_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velcora {

int ClampPixel(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, -kPixelLimit, kPixelLimit));
}

int ClampPixel(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<int>(std::clamp(std::trunc(v), static_cast<double>(-kPixelLimit),
                                       static_cast<double>(kPixelLimit)));
}

double ClampScale(double scale) {
    if (!std::isfinite(scale)) {
        return kDefaultScale;
    }
    return std::clamp(scale, kMinScale, kMaxScale);
}

int TimeToX(int64_t t, double scale, int64_t hScroll) {
    return ClampPixel(static_cast<double>(t) * scale - static_cast<double>(hScroll) + kTimeOriginX);
}

int64_t XToTime(int64_t x, double scale, int64_t hScroll) {
    const double t = static_cast<double>(hScroll + x - kTimeOriginX) / ClampScale(scale);
    return static_cast<int64_t>(std::clamp(std::trunc(t), -4.0e15, 4.0e15));
}

int ValueToY(int64_t y0, int64_t h, double v) {
    if (std::isnan(v)) {
        v = 0.0;
    }
    v = std::clamp(v, -1.0e6, 1.0e6);
    return ClampPixel(y0 + h - static_cast<int64_t>(static_cast<double>(h) * v));
}

float YToValue(int64_t y0, int64_t h, int64_t y) {
    if (h <= 1) {
        return 0.0f;
    }
    const double v = static_cast<double>(y0 + h - y - 1) / static_cast<double>(h - 1);
    return static_cast<float>(std::clamp(v, 0.0, 1.0));
}

int64_t TruncateToStep(int64_t t) {
    return t / kTimeStepMs * kTimeStepMs;
}

RulerStep RulerStepFor(int64_t span) {
    int32_t major;
    if (span < 30000) {
        major = 1000;
    } else if (span < 100000) {
        major = 5000;
    } else if (span < 200000) {
        major = 10000;
    } else if (span <= 599999) {
        major = 20000;
    } else if (span < 1000000) {
        major = 60000;
    } else {
        major = 120000;
    }
    return {major, major / 10};
}

std::string RulerLabel(int64_t t) {
    char text[48];
    if (t < 60000) {
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(t / 1000));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(t / 60000),
                      static_cast<long long>((t / 1000) % 60));
    }
    return text;
}

std::vector<RulerTick> RulerTicks(int rightX, double scale, int64_t hScroll) {
    std::vector<RulerTick> ticks;
    if (rightX <= kHeaderWidth) {
        return ticks;
    }
    scale = ClampScale(scale);
    const int64_t left = XToTime(kHeaderWidth, scale, hScroll);
    const int64_t right = XToTime(rightX, scale, hScroll);
    const RulerStep step = RulerStepFor(right - left);
    // The last multiple of the major step at or before the left edge.
    int64_t first = left / step.major * step.major;
    if (first > left) {
        first -= step.major;
    }
    // A minor step is at least a few pixels at the clamped scales; the count
    // bound keeps a damaged state from looping long.
    for (int64_t i = 0, t = first; t <= right && i < 100000; ++i, t += step.minor) {
        const int x = TimeToX(t, scale, hScroll);
        if (x < kHeaderWidth || x > rightX) {
            continue;
        }
        ticks.push_back({x, t, i % 10 == 0});
    }
    return ticks;
}

}  // namespace velcora
