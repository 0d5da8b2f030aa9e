// Screen messages from the robot (0x3311) through the remote desktop's
// decoder, then the mouse and keys the operator could use on what came out:
// the first two input bytes place a drag, the rest is the message.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "../sink_link.h"
#include "media/remote_desktop.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    using namespace velcora::media;
    if (size < 2)
        return 0;
    static fuzz::SinkLink link;
    // One desktop for the whole run, as a window keeps one across pictures.
    static CRemoteDesktop desktop(link, nullptr, 15, 15);
    const int32_t x = static_cast<int8_t>(data[0]) * 40;
    const int32_t y = static_cast<int8_t>(data[1]) * 40;
    link.Receive(msg::kDesktopScreen,
                 std::string_view(reinterpret_cast<const char*>(data + 2), size - 2));
    desktop.SetViewport(200, 150);
    desktop.ScrollTo(x, y);
    desktop.MouseDown(MouseButton::Left, 10, 10);
    desktop.MouseMove(x, y);
    desktop.MouseUp(MouseButton::Left, -x, -y);
    desktop.MouseDown(MouseButton::Right, x, y);
    desktop.ReleaseAll();
    if (desktop.HasPicture()) {
        const auto rows = UprightRows(desktop.Current());
        if (rows.empty())
            __builtin_trap();
    }
    return 0;
}
