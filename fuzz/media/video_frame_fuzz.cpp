// A picture message from the robot, parsed and then decoded and laid out as a
// panel would: the first input byte picks the message type.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "media/codec.h"
#include "media/video_frame.h"
#include "media/video_paint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    using namespace velcora::media;
    if (size == 0) {
        return 0;
    }
    static const msg::Type kTypes[] = {msg::kVideoFrame, msg::kVideoFrameRanges,
                                       msg::kVideoFrameRangesLines};
    const msg::Type type = kTypes[data[0] % 3];
    const std::string_view payload(reinterpret_cast<const char*>(data + 1), size - 1);
    const auto m = ParseVideoFrame(type, payload);
    if (!m) {
        return 0;
    }
    NormaliseRanges(*m, {});
    if (m->picture.empty()) {
        return 0;
    }
    static CVideoDecoder decoder;
    static int openedW = -1, openedH = -1;
    if (!decoder.IsOpen() || openedW != m->width || openedH != m->height) {
        if (!decoder.Open(m->width, m->height)) {
            return 0;
        }
        openedW = m->width;
        openedH = m->height;
    }
    if (decoder.Decode(reinterpret_cast<const uint8_t*>(m->picture.data()),
                       static_cast<int32_t>(m->picture.size())) == 1) {
        const Picture p = decoder.TakePicture();
        const auto layout = LayoutVideo({0, 0, 350, 240}, p.width, p.height);
        for (const auto& line : m->lines) {
            MapOverlayPoint(layout, p.width, p.height, line.x1, line.y1);
            MapOverlayPoint(layout, p.width, p.height, line.x2, line.y2);
        }
    }
    return 0;
}
