// Every console message the simulated robot's map handles, in any order and
// with any payload, with the robot's time moving on between them (so that
// go-to drives and recording run on whatever arrived).
#include <cstddef>
#include <cstdint>

#include "link/stream.h"
#include "platform/manual_reactor.h"
#include "sim/sim_map.h"
#include "sim/sim_robot.h"

using namespace velcora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    platform::ManualReactor reactor;
    sim::SimOptions options;
    sim::CSimRobot robot(reactor, options);
    sim::BuildDemoMap(sim::RobotMap(robot));
    const auto& types = sim::MapMessageTypes();
    // Each message: type index, payload length (u16), payload, then ticks.
    std::size_t at = 0;
    while (at + 4 <= size) {
        const msg::Type type = types[data[at] % types.size()];
        const std::size_t length = data[at + 1] | (data[at + 2] << 8);
        const uint8_t ticks = data[at + 3];
        at += 4;
        const std::size_t take = length < size - at ? length : size - at;
        CMemoryStream payload;
        payload.Write(data + at, static_cast<int32_t>(take));
        payload.Seek(0, kSeekSet);
        at += take;
        sim::HandleMapMessage(robot, type, payload, static_cast<int32_t>(take));
        for (int i = 0; i < ticks % 8; ++i) {
            sim::AdvanceMap(robot, 1000);
        }
    }
    return 0;
}
