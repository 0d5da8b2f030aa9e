// The robot's picture messages and the rangefinder readings they carry.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "link/catalogue.h"

namespace velcora::media {

// A line the robot draws over the picture, in picture pixels.
struct OverlayLine {
    int32_t x1 = 0;
    int32_t y1 = 0;
    int32_t x2 = 0;
    int32_t y2 = 0;
    bool operator==(const OverlayLine&) const = default;
};

// One picture message taken apart. `picture` points into the payload it was
// parsed from and is empty when the message carries no usable picture.
struct VideoFrameMessage {
    uint8_t camera = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    bool hasRanges = false;
    uint16_t leftRange = 0;
    uint16_t forwardRange = 0;
    uint16_t rightRange = 0;
    std::string_view picture;
    std::vector<OverlayLine> lines;
};

// Pictures shorter than this are not worth a decoder's time.
inline constexpr int32_t kMinPictureBytes = 11;

// Takes a kVideoFrame, kVideoFrameRanges or kVideoFrameRangesLines payload
// apart. Nothing at all for another type or a payload below the type's
// minimum (6, 12, 16 bytes). A picture length that runs past the payload, or
// a picture below kMinPictureBytes, leaves `picture` empty (the ranges still
// count). Overlay lines are read when at least 2 bytes follow the picture; a
// count that promises more lines than the bytes hold keeps the whole ones.
std::optional<VideoFrameMessage> ParseVideoFrame(msg::Type type, std::string_view payload);

// Limits of the rangefinder display (section RANGEFINDERS of the settings).
struct RangefinderLimits {
    int32_t nearLimit = 100;
    int32_t farLimit = 300;
    int32_t forwardNear = 600;
    int32_t forwardFar = 400;
};

// The three readings in 0..1: 1 at or below the near limit, 0 at or beyond
// the far one.
struct RangefinderReadings {
    double left = 0;
    double forward = 0;
    double right = 0;
};

// (hi - clamp(v, lo, hi)) / (hi - lo). Equal limits give 1 at or below the
// limit and 0 beyond it instead of dividing by zero.
double RangeValue(int32_t v, int32_t lo, int32_t hi);
RangefinderReadings NormaliseRanges(const VideoFrameMessage& m, const RangefinderLimits& limits);

}  // namespace velcora::media
