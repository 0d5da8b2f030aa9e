// Command lines typed into the simulated robot's telnet console: whatever the
// line, the shell answers from the robot's own state and runs nothing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/manual_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_telnet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    static platform::ManualReactor reactor;
    static sim::CSimRobot robot = [] {
        sim::SimOptions o;
        o.port = 0;
        return sim::CSimRobot(reactor, o);
    }();
    static const bool installed = (sim::InstallFeatures(robot), true);
    (void)installed;
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    // Floods are long by design: keep the runs short.
    if (line.find("flood") != std::string_view::npos && size > 16)
        return 0;
    const sim::ShellReply reply = sim::RunShellLine(robot, line);
    if (!reply.exit && reply.text.empty() &&
        line.find_first_not_of(" \t") != std::string_view::npos)
        __builtin_trap();
    return 0;
}
