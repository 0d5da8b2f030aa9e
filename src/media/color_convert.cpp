#include "media/color_convert.h"

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace velcora::media {
namespace {

// The blue factor 2.03211 in fixed point with 45 fraction bits.
constexpr int64_t kBlueFactor = 71498514388131LL;

int32_t BlueTerm(int32_t u) {
    // Shifting a negative product would round toward minus infinity; the
    // factor is applied to the magnitude so that it rounds toward zero.
    const int64_t p = kBlueFactor * (u < 0 ? -u : u);
    const int32_t t = static_cast<int32_t>(p >> 45);
    return u < 0 ? -t : t;
}

// Chroma terms looked up per block: the green term depends on both samples, so
// its table is indexed by (U << 8) | V.
struct Tables {
    std::array<int16_t, 256> b{};
    std::array<int16_t, 256> r{};
    std::vector<int16_t> g;
    Tables() : g(65536) {
        for (int i = 0; i < 256; ++i) {
            b[i] = static_cast<int16_t>(BlueTerm(i - 128));
            r[i] = static_cast<int16_t>(113983 * (i - 128) / 100000);
        }
        for (int u = 0; u < 256; ++u) {
            for (int v = 0; v < 256; ++v) {
                g[(u << 8) | v] =
                    static_cast<int16_t>((58060 * (v - 128) + 39465 * (u - 128)) / 100000);
            }
        }
    }
};

const Tables& GetTables() {
    static const Tables tables;
    return tables;
}

uint8_t Clamp255(int32_t x) {
    return static_cast<uint8_t>(x < 0 ? 0 : (x > 255 ? 255 : x));
}

// One output row from `x` on, with the per-block terms of its chroma row.
void RowScalar(const uint8_t* y, const int16_t* tb, const int16_t* tg, const int16_t* tr,
               uint8_t* out, int32_t x, int32_t width) {
    for (; x < width; ++x) {
        const int32_t yy = y[x];
        const int32_t c = x >> 1;
        out[3 * x + 0] = Clamp255(yy + tb[c]);
        out[3 * x + 1] = Clamp255(yy - tg[c]);
        out[3 * x + 2] = Clamp255(yy + tr[c]);
    }
}

// Packs four B,G,R,0 pixels (one register) into their 12 bytes at the bottom.
inline __m128i Pack4(__m128i p) {
    const __m128i keepLow = _mm_set1_epi64x(0x0000000000FFFFFFLL);
    const __m128i keepHigh = _mm_set1_epi64x(0x0000FFFFFF000000LL);
    // Six bytes at the bottom of each 64-bit half.
    const __m128i q =
        _mm_or_si128(_mm_and_si128(p, keepLow), _mm_and_si128(_mm_srli_epi64(p, 8), keepHigh));
    const __m128i low6 = _mm_set_epi32(0, 0, 0x0000FFFF, -1);
    const __m128i next6 = _mm_set_epi32(0, -1, static_cast<int>(0xFFFF0000u), 0);
    return _mm_or_si128(_mm_and_si128(q, low6), _mm_and_si128(_mm_srli_si128(q, 2), next6));
}

// Sixteen pixels of B, G and R planes into 48 interleaved bytes (SSE2 only).
inline void Store16Sse2(__m128i b, __m128i g, __m128i r, uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bgLo = _mm_unpacklo_epi8(b, g);
    const __m128i bgHi = _mm_unpackhi_epi8(b, g);
    const __m128i rLo = _mm_unpacklo_epi8(r, zero);
    const __m128i rHi = _mm_unpackhi_epi8(r, zero);
    const __m128i p0 = Pack4(_mm_unpacklo_epi16(bgLo, rLo));
    const __m128i p1 = Pack4(_mm_unpackhi_epi16(bgLo, rLo));
    const __m128i p2 = Pack4(_mm_unpacklo_epi16(bgHi, rHi));
    const __m128i p3 = Pack4(_mm_unpackhi_epi16(bgHi, rHi));
    const __m128i o0 = _mm_or_si128(p0, _mm_slli_si128(p1, 12));
    const __m128i o1 = _mm_or_si128(_mm_srli_si128(p1, 4), _mm_slli_si128(p2, 8));
    const __m128i o2 = _mm_or_si128(_mm_srli_si128(p2, 8), _mm_slli_si128(p3, 4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), o0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), o1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), o2);
}

void RowSse2(const uint8_t* y, const int16_t* tb, const int16_t* tg, const int16_t* tr,
             uint8_t* out, int32_t width) {
    const __m128i zero = _mm_setzero_si128();
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i yy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x));
        const __m128i yLo = _mm_unpacklo_epi8(yy, zero);
        const __m128i yHi = _mm_unpackhi_epi8(yy, zero);
        const __m128i b8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tb + x / 2));
        const __m128i g8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tg + x / 2));
        const __m128i r8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tr + x / 2));
        // Each block's term serves two neighbouring pixels.
        const __m128i b = _mm_packus_epi16(_mm_add_epi16(yLo, _mm_unpacklo_epi16(b8, b8)),
                                           _mm_add_epi16(yHi, _mm_unpackhi_epi16(b8, b8)));
        const __m128i g = _mm_packus_epi16(_mm_sub_epi16(yLo, _mm_unpacklo_epi16(g8, g8)),
                                           _mm_sub_epi16(yHi, _mm_unpackhi_epi16(g8, g8)));
        const __m128i r = _mm_packus_epi16(_mm_add_epi16(yLo, _mm_unpacklo_epi16(r8, r8)),
                                           _mm_add_epi16(yHi, _mm_unpackhi_epi16(r8, r8)));
        Store16Sse2(b, g, r, out + 3 * x);
    }
    RowScalar(y, tb, tg, tr, out, x, width);
}

// Byte shuffles that interleave 16 pixels of three planes into 48 bytes.
struct ShuffleMasks {
    alignas(16) int8_t m[3][3][16];  // [output register][plane][byte]
    constexpr ShuffleMasks() : m{} {
        for (int k = 0; k < 48; ++k) {
            const int reg = k / 16;
            const int pixel = k / 3;
            const int plane = k % 3;
            for (int p = 0; p < 3; ++p) {
                m[reg][p][k % 16] = static_cast<int8_t>(p == plane ? pixel : -128);
            }
        }
    }
};
constexpr ShuffleMasks kShuffle;

__attribute__((target("avx2"))) inline __m128i Mask(int reg, int plane) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kShuffle.m[reg][plane]));
}

__attribute__((target("avx2"))) inline void Store16Shuffle(__m128i b, __m128i g, __m128i r,
                                                           uint8_t* out) {
    for (int reg = 0; reg < 3; ++reg) {
        const __m128i o = _mm_or_si128(
            _mm_or_si128(_mm_shuffle_epi8(b, Mask(reg, 0)), _mm_shuffle_epi8(g, Mask(reg, 1))),
            _mm_shuffle_epi8(r, Mask(reg, 2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * reg), o);
    }
}

// Sixteen int16 block terms, each doubled for the two pixels of its block.
__attribute__((target("avx2"))) inline __m256i Doubled(const int16_t* t) {
    const __m256i wide =
        _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t)));
    return _mm256_or_si256(_mm256_and_si256(wide, _mm256_set1_epi32(0xFFFF)),
                           _mm256_slli_epi32(wide, 16));
}

__attribute__((target("avx2"))) void RowAvx2(const uint8_t* y, const int16_t* tb, const int16_t* tg,
                                             const int16_t* tr, uint8_t* out, int32_t width) {
    int32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m256i yLo =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x)));
        const __m256i yHi =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + x + 16)));
        const int32_t c = x / 2;
        // packus works within 128-bit lanes; the permute puts the pixels back in order.
        const __m256i b = _mm256_permute4x64_epi64(
            _mm256_packus_epi16(_mm256_add_epi16(yLo, Doubled(tb + c)),
                                _mm256_add_epi16(yHi, Doubled(tb + c + 8))),
            0xD8);
        const __m256i g = _mm256_permute4x64_epi64(
            _mm256_packus_epi16(_mm256_sub_epi16(yLo, Doubled(tg + c)),
                                _mm256_sub_epi16(yHi, Doubled(tg + c + 8))),
            0xD8);
        const __m256i r = _mm256_permute4x64_epi64(
            _mm256_packus_epi16(_mm256_add_epi16(yLo, Doubled(tr + c)),
                                _mm256_add_epi16(yHi, Doubled(tr + c + 8))),
            0xD8);
        Store16Shuffle(_mm256_castsi256_si128(b), _mm256_castsi256_si128(g),
                       _mm256_castsi256_si128(r), out + 3 * x);
        Store16Shuffle(_mm256_extracti128_si256(b, 1), _mm256_extracti128_si256(g, 1),
                       _mm256_extracti128_si256(r, 1), out + 3 * x + 48);
    }
    RowScalar(y, tb, tg, tr, out, x, width);
}

using RowFn = void (*)(const uint8_t*, const int16_t*, const int16_t*, const int16_t*, uint8_t*,
                       int32_t);

void RowScalarFrom0(const uint8_t* y, const int16_t* tb, const int16_t* tg, const int16_t* tr,
                    uint8_t* out, int32_t width) {
    RowScalar(y, tb, tg, tr, out, 0, width);
}

RowFn RowFor(SimdLevel level) {
    switch (level) {
        case SimdLevel::kAvx2:
            return RowAvx2;
        case SimdLevel::kSse2:
            return RowSse2;
        case SimdLevel::kScalar:
            break;
    }
    return RowScalarFrom0;
}

}  // namespace

ChromaTerms ChromaTermsFor(uint8_t u, uint8_t v) {
    const Tables& t = GetTables();
    return {t.b[u], t.g[(u << 8) | v], t.r[v]};
}

bool SimdLevelAvailable(SimdLevel level) {
    switch (level) {
        case SimdLevel::kAvx2:
            return __builtin_cpu_supports("avx2");
        case SimdLevel::kSse2:
            return __builtin_cpu_supports("sse2");
        case SimdLevel::kScalar:
            return true;
    }
    return false;
}

SimdLevel BestSimdLevel() {
    static const SimdLevel best = SimdLevelAvailable(SimdLevel::kAvx2)   ? SimdLevel::kAvx2
                                  : SimdLevelAvailable(SimdLevel::kSse2) ? SimdLevel::kSse2
                                                                         : SimdLevel::kScalar;
    return best;
}

void ConvertYuv420ToBgr(const YuvPlanes& in, int32_t width, int32_t height, uint8_t* bgr,
                        int32_t bgrPitch) {
    ConvertYuv420ToBgr(in, width, height, bgr, bgrPitch, BestSimdLevel());
}

void ConvertYuv420ToBgr(const YuvPlanes& in, int32_t width, int32_t height, uint8_t* bgr,
                        int32_t bgrPitch, SimdLevel level) {
    if (width <= 0 || height <= 0 || !bgr || !in.y || !in.u || !in.v) {
        return;
    }
    if (!SimdLevelAvailable(level)) {
        level = SimdLevel::kScalar;
    }
    const Tables& t = GetTables();
    const RowFn row = RowFor(level);
    const int32_t blocks = (width + 1) / 2;
    // Padded so that the vector paths may load a whole register past the last block.
    std::unique_ptr<int16_t[]> terms(new int16_t[3 * (blocks + 16)]);
    int16_t* tb = terms.get();
    int16_t* tg = tb + blocks + 16;
    int16_t* tr = tg + blocks + 16;
    for (int32_t cy = 0; cy * 2 < height; ++cy) {
        const uint8_t* u = in.u + static_cast<ptrdiff_t>(cy) * in.uPitch;
        const uint8_t* v = in.v + static_cast<ptrdiff_t>(cy) * in.vPitch;
        // The chroma terms are worked out once for both rows of the block.
        for (int32_t i = 0; i < blocks; ++i) {
            tb[i] = t.b[u[i]];
            tg[i] = t.g[(u[i] << 8) | v[i]];
            tr[i] = t.r[v[i]];
        }
        for (int32_t yy = cy * 2; yy < std::min(cy * 2 + 2, height); ++yy) {
            row(in.y + static_cast<ptrdiff_t>(yy) * in.yPitch, tb, tg, tr,
                bgr + static_cast<ptrdiff_t>(yy) * bgrPitch, width);
        }
    }
}

void ConvertBgrToYuv420(const uint8_t* bgr, int32_t width, int32_t height, int32_t bgrPitch,
                        const YuvPlanesOut& out) {
    if (width <= 0 || height <= 0 || !bgr || !out.y || !out.u || !out.v) {
        return;
    }
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = bgr + static_cast<ptrdiff_t>(y) * bgrPitch;
        uint8_t* dst = out.y + static_cast<ptrdiff_t>(y) * out.yPitch;
        for (int32_t x = 0; x < width; ++x) {
            const int32_t b = src[3 * x], g = src[3 * x + 1], r = src[3 * x + 2];
            dst[x] = static_cast<uint8_t>((299 * r + 587 * g + 114 * b) / 1000);
        }
    }
    const int32_t rows = (height - 1) / 2 + 1;
    const int32_t cols = (width - 1) / 2 + 1;
    for (int32_t by = 0; by < rows; ++by) {
        const int32_t y0 = 2 * by;
        const int32_t y1 = std::min(y0 + 1, height - 1);
        uint8_t* du = out.u + static_cast<ptrdiff_t>(by) * out.uPitch;
        uint8_t* dv = out.v + static_cast<ptrdiff_t>(by) * out.vPitch;
        for (int32_t bx = 0; bx < cols; ++bx) {
            const int32_t x0 = 2 * bx;
            const int32_t x1 = std::min(x0 + 1, width - 1);
            int32_t bs = 0, gs = 0, rs = 0;
            for (int32_t yy : {y0, y1}) {
                const uint8_t* row = bgr + static_cast<ptrdiff_t>(yy) * bgrPitch;
                for (int32_t xx : {x0, x1}) {
                    bs += row[3 * xx];
                    gs += row[3 * xx + 1];
                    rs += row[3 * xx + 2];
                }
            }
            du[bx] = static_cast<uint8_t>((43600 * bs - 14713 * rs - 28886 * gs) / 400000 + 128);
            dv[bx] = static_cast<uint8_t>((61500 * rs - 51499 * gs - 10001 * bs) / 400000 + 128);
        }
    }
}

}  // namespace velcora::media
