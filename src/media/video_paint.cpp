#include "media/video_paint.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velcora::media {
namespace {

int32_t Saturate(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace

VideoLayout LayoutVideo(const PaintRect& area, int32_t w, int32_t h) {
    VideoLayout l;
    const int64_t roomW = static_cast<int64_t>(area.right) - area.left - 2 * kStripWidth;
    const int64_t roomH = static_cast<int64_t>(area.bottom) - area.top - kStripWidth;
    if (w <= 0 || h <= 0 || roomW <= 0 || roomH <= 0) {
        return l;
    }
    int64_t W = roomW;
    int64_t H = h * W / w;
    if (H > roomH) {
        H = roomH;
        W = H * w / h;
    }
    if (W <= 0 || H <= 0) {
        return l;
    }
    l.hasPicture = true;
    l.W = static_cast<int32_t>(W);
    l.H = static_cast<int32_t>(H);
    l.ox = static_cast<int32_t>((roomW - W) / 2);
    l.oy = static_cast<int32_t>((roomH - H) / 2);
    const int32_t s = kStripWidth;
    l.picture = {l.ox + s, l.oy + s, l.ox + s + l.W, l.oy + s + l.H};
    l.topStrip = {l.ox, l.oy, l.ox + l.W + 2 * s, l.oy + s};
    l.leftStrip = {l.ox, l.oy + s, l.ox + s, l.oy + l.H + s};
    l.rightStrip = {l.ox + l.W + s, l.oy + s, l.ox + l.W + 2 * s, l.oy + l.H + s};
    l.framed = {l.ox, l.oy, l.ox + l.W + 2 * s, l.oy + l.H + s};
    return l;
}

PaintPoint MapOverlayPoint(const VideoLayout& layout, int32_t w, int32_t h, int32_t x, int32_t y) {
    if (w <= 0 || h <= 0) {
        return {};
    }
    // Robot-supplied coordinates may be anything: keep the products in 64 bits.
    return {Saturate(static_cast<int64_t>(x) * layout.W / w + layout.ox + kStripWidth),
            Saturate(static_cast<int64_t>(y) * layout.H / h + layout.oy + kStripWidth)};
}

Rgb StripColour(double reading) {
    const double x = std::isnan(reading) ? 0.0 : std::clamp(reading, 0.0, 1.0);
    const auto red = static_cast<int64_t>(std::trunc(255.0 * x));
    const auto green = static_cast<int64_t>(std::trunc(128.0 * std::sin(x * M_PI / 2.0)));
    return {static_cast<uint8_t>(red % 256), static_cast<uint8_t>(green % 256), 0};
}

Rgb GradientColour(int32_t y, int32_t height) {
    if (height <= 1) {
        return kGradientTop;
    }
    const int64_t t = std::clamp<int64_t>(y, 0, height - 1);
    auto mix = [&](uint8_t a, uint8_t b) {
        return static_cast<uint8_t>(a + (static_cast<int64_t>(b) - a) * t / (height - 1));
    };
    return {mix(kGradientTop.r, kGradientBottom.r), mix(kGradientTop.g, kGradientBottom.g),
            mix(kGradientTop.b, kGradientBottom.b)};
}

}  // namespace velcora::media
