// Colour conversion between the decoder's planar YUV 4:2:0 and the console's
// packed 24-bit B, G, R pictures. The integer formulas are fixed: pictures must
// come out byte for byte the same on every machine, whichever path runs.
#pragma once

#include <cstdint>

namespace velcora::media {

// Row pitch of a BGR picture: the width times 3 rounded up to a multiple of 4.
inline int32_t BgrPitch(int32_t width) {
    return (width * 3 + 3) & ~3;
}

struct YuvPlanes {
    const uint8_t* y = nullptr;
    const uint8_t* u = nullptr;
    const uint8_t* v = nullptr;
    int32_t yPitch = 0;
    int32_t uPitch = 0;
    int32_t vPitch = 0;
};

struct YuvPlanesOut {
    uint8_t* y = nullptr;
    uint8_t* u = nullptr;
    uint8_t* v = nullptr;
    int32_t yPitch = 0;
    int32_t uPitch = 0;
    int32_t vPitch = 0;
};

// Instruction sets the YUV to BGR conversion can use.
enum class SimdLevel { kScalar, kSse2, kAvx2 };

// The best level this processor runs (checked once).
SimdLevel BestSimdLevel();
// True when the processor can run `level`.
bool SimdLevelAvailable(SimdLevel level);

// Chroma planes hold (width + 1) / 2 samples per row and (height + 1) / 2 rows.
// The output receives `height` rows of `width` pixels at `bgrPitch`.
void ConvertYuv420ToBgr(const YuvPlanes& in, int32_t width, int32_t height, uint8_t* bgr,
                        int32_t bgrPitch);
void ConvertYuv420ToBgr(const YuvPlanes& in, int32_t width, int32_t height, uint8_t* bgr,
                        int32_t bgrPitch, SimdLevel level);

// The encoder's direction. The source is read at `bgrPitch`; a last odd row or
// column of 2x2 blocks repeats the edge pixel, so nothing outside the picture
// is read.
void ConvertBgrToYuv420(const uint8_t* bgr, int32_t width, int32_t height, int32_t bgrPitch,
                        const YuvPlanesOut& out);

// The three chroma terms of one 2x2 block (added to, subtracted from and added
// to the luma for B, G and R).
struct ChromaTerms {
    int32_t b;
    int32_t g;
    int32_t r;
};
ChromaTerms ChromaTermsFor(uint8_t u, uint8_t v);

}  // namespace velcora::media
