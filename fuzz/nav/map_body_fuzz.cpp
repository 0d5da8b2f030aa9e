// Map bodies as they come from the robot or the clipboard, plain or packed,
// merged into a map that already holds items; whatever was read must write
// back out and read again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "nav/map_format.h"
#include "nav/map_json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    using namespace velcora::nav;
    if (size == 0) {
        return 0;
    }
    const bool packed = data[0] & 1;
    CMemoryStream input;
    input.Assign(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));

    CNavProject map([] { return 7; });
    map.walls.NewItem()->x = 1;
    map.obstacles.NewItem();
    map.zones.NewItem()->SetVertexCount(3);

    if (packed) {
        CMemoryStream body;
        if (UnpackMap(input, body)) {
            body.Seek(0, kSeekSet);
            ReadBody(map, body);
        }
    } else {
        ReadBody(map, input);
    }
    MapToJson(map);
    CMemoryStream again;
    if (WriteBody(map, again)) {
        again.Seek(0, kSeekSet);
        CNavProject copy([] { return 7; });
        ReadBody(copy, again);
    }
    return 0;
}
