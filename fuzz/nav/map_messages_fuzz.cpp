// Every incoming map message, in any order and with any payload, against the
// transfer controller with loading from the robot on and time moving on.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "../sink_link.h"
#include "nav/map_transfer.h"

namespace {

using namespace velcora;
using fuzz::SinkLink;

constexpr msg::Type kIncoming[] = {msg::kModeFlags,         msg::kMapStatus, msg::kNavStateMap,
                                   msg::kNavStatePackedMap, msg::kMapLoadOn, msg::kMapChunk,
                                   msg::kMapUploadAck};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SinkLink link;
    nav::CNavProject map([] { return 11; });
    nav::IMapTransferView view;
    nav::CMapTransfer transfer(link, map, view);
    transfer.SetLoadFromRobot(true);
    uint32_t now = 0;
    transfer.Tick(now);

    // Records: [selector u8][length u16][payload]. Selectors past the message
    // types move time on, cancel, start an upload or flip loading.
    std::size_t at = 0;
    while (at + 3 <= size) {
        const uint8_t selector = data[at];
        const std::size_t length = data[at + 1] | (std::size_t{data[at + 2]} << 8);
        at += 3;
        const std::size_t take = std::min(length, size - at);
        const std::string_view payload(reinterpret_cast<const char*>(data + at), take);
        at += take;
        const unsigned kind = selector % 12;
        if (kind < 7) {
            link.Receive(kIncoming[kind], payload);
        } else if (kind == 7) {
            now += 20 + static_cast<uint32_t>(length) * 16;
            transfer.Tick(now);
        } else if (kind == 8) {
            transfer.CancelDownload();
        } else if (kind == 9) {
            transfer.StartUpload();
        } else if (kind == 10) {
            transfer.SetLoadFromRobot(!transfer.LoadFromRobot());
        } else {
            transfer.CancelUpload();
        }
    }
    return 0;
}
