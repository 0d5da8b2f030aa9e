// The simulated robot's desktop under any input: each 5-byte record is a
// message type (button down, move, up, right down, right up, key) and its
// fields; every few records the screen is drawn.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/color_convert.h"
#include "sim/sim_desktop.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    sim::CSimDesktopScene scene(1280, 960);
    std::vector<uint8_t> picture(static_cast<size_t>(media::BgrPitch(160)) * 120);
    for (size_t at = 0; at + 5 <= size; at += 5) {
        const uint8_t kind = data[at] % 6;
        const int32_t x = (data[at + 1] | data[at + 2] << 8) % 1400;
        const int32_t y = (data[at + 3] | data[at + 4] << 8) % 1100;
        switch (kind) {
            case 0:
                scene.LeftDown(x, y);
                break;
            case 1:
                scene.LeftMove(x, y);
                break;
            case 2:
                scene.LeftUp(x, y);
                break;
            case 3:
                scene.RightDown(x, y);
                break;
            case 4:
                scene.RightUp(x, y);
                break;
            default:
                scene.Key(data[at + 1], (data[at + 2] & 1) == 0);
                break;
        }
        if (at % 40 == 0)
            scene.Render(picture.data(), 160, 120, media::BgrPitch(160), static_cast<uint32_t>(at),
                         static_cast<uint32_t>(at) * 1000);
    }
    if (scene.Log().empty() || scene.Log().size() > sim::CSimDesktopScene::kLogLines)
        __builtin_trap();
    return 0;
}
