#include "media/video_frame.h"

#include <algorithm>
#include <cstring>

namespace velcora::media {
namespace {

uint16_t U16At(std::string_view p, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(p[at]) |
                                 (static_cast<uint8_t>(p[at + 1]) << 8));
}

uint32_t U32At(std::string_view p, size_t at) {
    return static_cast<uint32_t>(U16At(p, at)) | (static_cast<uint32_t>(U16At(p, at + 2)) << 16);
}

}  // namespace

std::optional<VideoFrameMessage> ParseVideoFrame(msg::Type type, std::string_view payload) {
    VideoFrameMessage m;
    size_t minimum = 0;
    switch (type) {
        case msg::kVideoFrame:
            minimum = 6;
            break;
        case msg::kVideoFrameRanges:
            minimum = 12;
            break;
        case msg::kVideoFrameRangesLines:
            minimum = 16;
            break;
        default:
            return std::nullopt;
    }
    if (payload.size() < minimum) {
        return std::nullopt;
    }
    m.camera = static_cast<uint8_t>(payload[0]);
    m.width = U16At(payload, 1);
    m.height = U16At(payload, 3);
    size_t pictureAt = 5;
    size_t pictureLength = payload.size() - 5;
    if (type != msg::kVideoFrame) {
        m.hasRanges = true;
        m.leftRange = U16At(payload, 5);
        m.forwardRange = U16At(payload, 7);
        m.rightRange = U16At(payload, 9);
        pictureAt = 11;
        pictureLength = payload.size() - 11;
    }
    if (type == msg::kVideoFrameRangesLines) {
        pictureAt = 15;
        const size_t announced = U32At(payload, 11);
        if (announced > payload.size() - pictureAt) {
            return m;  // runs past the payload: no picture
        }
        pictureLength = announced;
        size_t at = pictureAt + pictureLength;
        if (payload.size() - at >= 2) {
            const size_t count = U16At(payload, at);
            at += 2;
            const size_t whole = std::min(count, (payload.size() - at) / 16);
            m.lines.reserve(whole);
            for (size_t i = 0; i < whole; ++i, at += 16) {
                m.lines.push_back({static_cast<int32_t>(U32At(payload, at)),
                                   static_cast<int32_t>(U32At(payload, at + 4)),
                                   static_cast<int32_t>(U32At(payload, at + 8)),
                                   static_cast<int32_t>(U32At(payload, at + 12))});
            }
        }
    }
    if (pictureLength >= static_cast<size_t>(kMinPictureBytes)) {
        m.picture = payload.substr(pictureAt, pictureLength);
    }
    return m;
}

double RangeValue(int32_t v, int32_t lo, int32_t hi) {
    if (lo == hi) {
        return v <= lo ? 1.0 : 0.0;
    }
    const double clamped = std::min<double>(std::max<double>(v, lo), hi);
    return (static_cast<double>(hi) - clamped) / (static_cast<double>(hi) - lo);
}

RangefinderReadings NormaliseRanges(const VideoFrameMessage& m, const RangefinderLimits& limits) {
    return {RangeValue(m.leftRange, limits.nearLimit, limits.farLimit),
            RangeValue(m.forwardRange, limits.forwardNear, limits.forwardFar),
            RangeValue(m.rightRange, limits.nearLimit, limits.farLimit)};
}

}  // namespace velcora::media
