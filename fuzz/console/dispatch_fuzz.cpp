// Arbitrary bytes cut into frames and dispatched to the main window's own
// handlers (status, mode flags), the gesture recorder and the servo reader,
// the way the receive loop does: whatever a handler reads, the next frame
// starts where its length says. The recorder and the reader wait from the
// start, and start again whenever a reply ended their wait.
#include <cstddef>
#include <cstdint>

#include "../sink_link.h"
#include "console/gestures.h"
#include "console/manual_control.h"
#include "link/robot_status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    fuzz::SinkLink link;
    CMessageDispatcher& dispatcher = link.Dispatcher();
    uint32_t sink = 0;
    auto status = dispatcher.Register(msg::kStatus, [&](CStream& s, int32_t n) {
        const RobotStatus st = DecodeRobotStatus(s, n);
        sink += static_cast<uint32_t>(FormatBattery(st).size() + FormatHeight(st.height).size());
    });
    auto flags = dispatcher.Register(msg::kModeFlags, [&](CStream& s, int32_t n) {
        sink += DecodeRobotModeFlags(s, n).Permissions();
    });

    IniFile scratch;  // no path: the recorder's saves go nowhere
    CGestures gestures(link, scratch);
    CGestureRecorder recorder(link, gestures);
    CServoReader reader(link, [&](ServoReadOutcome o, const ServoRange& r) {
        sink += static_cast<uint32_t>(o) + static_cast<uint32_t>(r.left);
    });
    uint32_t now = 0;
    auto rearm = [&] {
        if (!recorder.Pending())
            recorder.Start(static_cast<uint16_t>(now & 0xFFFF), "fuzz", now);
        if (!reader.Pending())
            reader.Start(static_cast<int32_t>(now % 64), now);
    };
    rearm();

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
        // Time moves on with every frame; now and then a wait runs out.
        now += static_cast<uint32_t>(length) * 37u + 20u;
        recorder.Tick(now);
        reader.Tick(now);
        rearm();
    }
    return static_cast<int>((sink + gestures.Count()) & 0);
}
