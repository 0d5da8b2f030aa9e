// Arbitrary bytes cut into frames and dispatched to the main window's own
// handlers (status, mode flags, gesture number), the way the receive loop does:
// whatever a handler reads, the next frame starts where its length says.
#include <cstddef>
#include <cstdint>

#include "link/dispatcher.h"
#include "link/robot_status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    CMessageDispatcher dispatcher;
    uint32_t sink = 0;
    auto status = dispatcher.Register(msg::kStatus, [&](CStream& s, int32_t n) {
        const RobotStatus st = DecodeRobotStatus(s, n);
        sink += static_cast<uint32_t>(FormatBattery(st).size() + FormatHeight(st.height).size());
    });
    auto flags = dispatcher.Register(msg::kModeFlags, [&](CStream& s, int32_t n) {
        sink += DecodeRobotModeFlags(s, n).Permissions();
    });
    CMessageDispatcher::Registration gesture;
    gesture = dispatcher.Register(msg::kGestureRecord, [&](CStream& s, int32_t) {
        sink += ReadU32(s);
        gesture.Reset();  // a handler may end its own registration
    });

    CMemoryStream buffer;
    buffer.Assign(std::string_view(reinterpret_cast<const char*>(data), size));
    while (buffer.Size() - buffer.Position() >= 6) {
        const int32_t start = buffer.Position();
        ReadU16(buffer);
        const int32_t length = ReadI32(buffer);
        if (length < 0 || length > buffer.Size() - start - 6) {
            break;
        }
        buffer.Seek(start, kSeekSet);
        dispatcher.DispatchMessage(buffer);
        buffer.Seek(start + 6 + length, kSeekSet);
    }
    return static_cast<int>(sink & 0);
}
