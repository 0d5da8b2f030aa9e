// What the robot does with a console's wave upload: unpacking the received
// stream and reading the length from the unpacked file's header.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cyclogram/cyclogram_format.h"
#include "sim/sim_cyclogram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    constexpr std::size_t kLimit = 1u << 20;
    std::string wave;
    if (unpackWaveFile(bytes, wave, kLimit)) {
        if (wave.size() > kLimit) {
            std::abort();
        }
        (void)sim::WaveLengthMs(wave);
    }
    (void)sim::WaveLengthMs(bytes);
    (void)sim::SafeRobotName(bytes);
    return 0;
}
