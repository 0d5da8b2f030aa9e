// The wave-file reader (the microphone's file input) over arbitrary files:
// whatever it accepts is consistent with its header and converts safely.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "media/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora::media;
    static const std::string path = "/tmp/velcora_wav_fuzz_" + std::to_string(getpid()) + ".wav";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size > 0 && std::fwrite(data, 1, size, f) != size) {
            std::fclose(f);
            return 0;
        }
        std::fclose(f);
    } else {
        return 0;
    }
    WavData wav;
    const bool ok = ReadWavFile(path, wav);
    std::remove(path.c_str());
    if (!ok)
        return 0;
    if (wav.rate <= 0 || wav.channels <= 0 || (wav.bits != 8 && wav.bits != 16))
        std::abort();
    if (wav.samples.size() > size)
        std::abort();
    if (wav.bits == 16) {
        const auto mono = ToMono16(wav);
        (void)Resample16(mono, wav.rate, 22050);
    }
    return 0;
}
