// Reads arbitrary bytes as an environment record and converts every tracker's
// positions back and forth.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "cyclogram/cyclogram_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    CMemoryStream in;
    in.Assign(std::string_view(reinterpret_cast<const char*>(data), size));
    CCyclogramEnv env;
    if (!readEnvironment(in, env)) {
        return 0;
    }
    volatile int64_t sink = 0;
    for (const EnvTracker& t : env.trackers) {
        sink = sink + RawOfPosition(t, t.position) + RawOfPosition(t, 1.0f);
        sink = sink + static_cast<int64_t>(PositionOfRaw(t, t.leftRaw) * 1000);
    }
    (void)sink;
    CMemoryStream out;
    writeEnvironment(env, out);
    return 0;
}
