// A robot sound block: its chunks are walked and decoded as the player does,
// and the result is converted for an 8-bit device.
#include <cstddef>
#include <cstdint>

#include "media/audio_player.h"
#include "media/codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora::media;
    static CAudioDecoder decoder;
    if (!decoder.IsOpen() && !decoder.Open()) {
        return 0;
    }
    if (size < 6) {
        return 0;  // the player refuses these
    }
    const auto pcm = DecodeSoundChunks(decoder, data + 1, size - 1);
    volatile uint32_t sink = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        sink = sink +
               static_cast<uint8_t>((static_cast<int16_t>(pcm[i] | (pcm[i + 1] << 8)) >> 8) + 128);
    }
    return 0;
}
