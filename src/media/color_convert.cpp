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

// Both rows of a block row from pixel `x` on; `y1`/`o1` are null for a last
// odd row.
void PairScalar(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                uint8_t* o0, uint8_t* o1, int32_t x, int32_t width) {
    const Tables& t = GetTables();
    for (; x < width; ++x) {
        const int32_t c = x >> 1;
        const int32_t tb = t.b[u[c]];
        const int32_t tg = t.g[(u[c] << 8) | v[c]];
        const int32_t tr = t.r[v[c]];
        const int32_t a = y0[x];
        o0[3 * x + 0] = Clamp255(a + tb);
        o0[3 * x + 1] = Clamp255(a - tg);
        o0[3 * x + 2] = Clamp255(a + tr);
        if (y1) {
            const int32_t b = y1[x];
            o1[3 * x + 0] = Clamp255(b + tb);
            o1[3 * x + 1] = Clamp255(b - tg);
            o1[3 * x + 2] = Clamp255(b + tr);
        }
    }
}

// The vector paths compute the chroma terms exactly with integer and single
// precision arithmetic, checked against the formulas for every (U, V) pair:
//  - blue: trunc(2.03211 u) = sign(u) * ((|u| * 2081) >> 10) for |u| <= 128;
//  - red: trunc(1.13983 v) = sign(v) * ((|v| * 4669) >> 12) for |v| <= 128;
//  - green: the numerator is below 2^24, so it is exact as a float, and its
//    quotient by 100000 lies at least 1e-5 away from the next integer while
//    rounding moves it less than that: truncating the float quotient is exact.
constexpr int32_t kGreenPair = (19732 << 16) | 29030;  // (v, u) * (29030, 19732)

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

// sign(x) * f(|x|) for 16-bit lanes, with f a high-half multiply.
inline __m128i SignedMulHi(__m128i x, int shift, int16_t k) {
    const __m128i s = _mm_srai_epi16(x, 15);
    const __m128i a = _mm_sub_epi16(_mm_xor_si128(x, s), s);
    const __m128i t = _mm_mulhi_epu16(_mm_slli_epi16(a, shift), _mm_set1_epi16(k));
    return _mm_sub_epi16(_mm_xor_si128(t, s), s);
}

inline __m128i GreenQuotient(__m128i pairs) {
    const __m128i x =
        _mm_add_epi32(_mm_slli_epi32(_mm_madd_epi16(pairs, _mm_set1_epi32(kGreenPair)), 1),
                      _mm_srai_epi32(pairs, 16));
    return _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(x), _mm_set1_ps(100000.0f)));
}

// One row of 16 pixels from its luma and the (not yet doubled) terms of its 8 blocks.
inline void Row16Sse2(const uint8_t* y, __m128i b8, __m128i g8, __m128i r8, uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i yy = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m128i yLo = _mm_unpacklo_epi8(yy, zero);
    const __m128i yHi = _mm_unpackhi_epi8(yy, zero);
    // Each block's term serves two neighbouring pixels.
    const __m128i b = _mm_packus_epi16(_mm_add_epi16(yLo, _mm_unpacklo_epi16(b8, b8)),
                                       _mm_add_epi16(yHi, _mm_unpackhi_epi16(b8, b8)));
    const __m128i g = _mm_packus_epi16(_mm_sub_epi16(yLo, _mm_unpacklo_epi16(g8, g8)),
                                       _mm_sub_epi16(yHi, _mm_unpackhi_epi16(g8, g8)));
    const __m128i r = _mm_packus_epi16(_mm_add_epi16(yLo, _mm_unpacklo_epi16(r8, r8)),
                                       _mm_add_epi16(yHi, _mm_unpackhi_epi16(r8, r8)));
    Store16Sse2(b, g, r, out);
}

void PairSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v, uint8_t* o0,
              uint8_t* o1, int32_t width) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i bias = _mm_set1_epi16(128);
    int32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const int32_t c = x / 2;
        const __m128i uu = _mm_sub_epi16(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + c)), zero),
            bias);
        const __m128i vv = _mm_sub_epi16(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + c)), zero),
            bias);
        const __m128i b8 = SignedMulHi(uu, 6, 2081);
        const __m128i r8 = SignedMulHi(vv, 4, 4669);
        const __m128i g8 = _mm_packs_epi32(GreenQuotient(_mm_unpacklo_epi16(vv, uu)),
                                           GreenQuotient(_mm_unpackhi_epi16(vv, uu)));
        Row16Sse2(y0 + x, b8, g8, r8, o0 + 3 * x);
        if (y1) {
            Row16Sse2(y1 + x, b8, g8, r8, o1 + 3 * x);
        }
    }
    PairScalar(y0, y1, u, v, o0, o1, x, width);
}

// Byte shuffles that interleave 32 pixels of three planes into 96 bytes, in
// 256-bit registers: output chunk j (32 bytes) takes
// its two lanes from input lanes (0,0), (0,1) and (1,1) for j = 0, 1, 2.
struct ShuffleMasks256 {
    alignas(32) int8_t m[3][3][32];  // [output chunk][plane][byte]
    constexpr ShuffleMasks256() : m{} {
        for (int k = 0; k < 96; ++k) {
            const int chunk = k / 32;
            const int lane = (k % 32) / 16;
            const int sourceLane = chunk == 0 ? 0 : chunk == 2 ? 1 : lane;
            const int pixel = k / 3 - 16 * sourceLane;
            const int plane = k % 3;
            for (int p = 0; p < 3; ++p) {
                m[chunk][p][k % 32] =
                    static_cast<int8_t>(p == plane && pixel >= 0 && pixel < 16 ? pixel : -128);
            }
        }
    }
};
constexpr ShuffleMasks256 kShuffle256;

__attribute__((target("avx2"))) inline __m256i Mask256(int chunk, int plane) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(kShuffle256.m[chunk][plane]));
}

__attribute__((target("avx2"))) inline __m256i Chunk(int j, __m256i b, __m256i g, __m256i r) {
    return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(b, Mask256(j, 0)),
                                           _mm256_shuffle_epi8(g, Mask256(j, 1))),
                           _mm256_shuffle_epi8(r, Mask256(j, 2)));
}

__attribute__((target("avx2"))) inline void Store32Shuffle(__m256i b, __m256i g, __m256i r,
                                                           uint8_t* out) {
    const __m256i b0 = _mm256_permute2x128_si256(b, b, 0x00);
    const __m256i g0 = _mm256_permute2x128_si256(g, g, 0x00);
    const __m256i r0 = _mm256_permute2x128_si256(r, r, 0x00);
    const __m256i b1 = _mm256_permute2x128_si256(b, b, 0x11);
    const __m256i g1 = _mm256_permute2x128_si256(g, g, 0x11);
    const __m256i r1 = _mm256_permute2x128_si256(r, r, 0x11);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), Chunk(0, b0, g0, r0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), Chunk(1, b, g, r));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64), Chunk(2, b1, g1, r1));
}

__attribute__((target("avx2"))) inline __m256i SignedMulHi256(__m256i x, int shift, int16_t k) {
    const __m256i s = _mm256_srai_epi16(x, 15);
    const __m256i a = _mm256_sub_epi16(_mm256_xor_si256(x, s), s);
    const __m256i t =
        _mm256_mulhi_epu16(_mm256_sll_epi16(a, _mm_cvtsi32_si128(shift)), _mm256_set1_epi16(k));
    return _mm256_sub_epi16(_mm256_xor_si256(t, s), s);
}

__attribute__((target("avx2"))) inline __m256i GreenQuotient256(__m256i pairs) {
    const __m256i x = _mm256_add_epi32(
        _mm256_slli_epi32(_mm256_madd_epi16(pairs, _mm256_set1_epi32(kGreenPair)), 1),
        _mm256_srai_epi32(pairs, 16));
    return _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(x), _mm256_set1_ps(100000.0f)));
}

// 32 pixels of one row; `lo`/`hi` hold the doubled terms of pixels 0-15 and 16-31.
struct Doubled256 {
    __m256i lo, hi;
};

__attribute__((target("avx2"))) inline Doubled256 Double(__m256i t) {
    const __m256i a = _mm256_unpacklo_epi16(t, t);
    const __m256i b = _mm256_unpackhi_epi16(t, t);
    return {_mm256_permute2x128_si256(a, b, 0x20), _mm256_permute2x128_si256(a, b, 0x31)};
}

__attribute__((target("avx2"))) inline void Row32Avx2(const uint8_t* y, const Doubled256& tb,
                                                      const Doubled256& tg, const Doubled256& tr,
                                                      uint8_t* out) {
    const __m256i yLo = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y)));
    const __m256i yHi =
        _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + 16)));
    // packus works within 128-bit lanes; the permute puts the pixels back in order.
    const __m256i b = _mm256_permute4x64_epi64(
        _mm256_packus_epi16(_mm256_add_epi16(yLo, tb.lo), _mm256_add_epi16(yHi, tb.hi)), 0xD8);
    const __m256i g = _mm256_permute4x64_epi64(
        _mm256_packus_epi16(_mm256_sub_epi16(yLo, tg.lo), _mm256_sub_epi16(yHi, tg.hi)), 0xD8);
    const __m256i r = _mm256_permute4x64_epi64(
        _mm256_packus_epi16(_mm256_add_epi16(yLo, tr.lo), _mm256_add_epi16(yHi, tr.hi)), 0xD8);
    Store32Shuffle(b, g, r, out);
}

__attribute__((target("avx2"))) void PairAvx2(const uint8_t* y0, const uint8_t* y1,
                                              const uint8_t* u, const uint8_t* v, uint8_t* o0,
                                              uint8_t* o1, int32_t width) {
    const __m256i bias = _mm256_set1_epi16(128);
    int32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        const int32_t c = x / 2;
        const __m256i uu = _mm256_sub_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u + c))), bias);
        const __m256i vv = _mm256_sub_epi16(
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v + c))), bias);
        const Doubled256 tb = Double(SignedMulHi256(uu, 6, 2081));
        const Doubled256 tr = Double(SignedMulHi256(vv, 4, 4669));
        // In-lane unpacks and packs cancel out: the green terms come back in order.
        const Doubled256 tg =
            Double(_mm256_packs_epi32(GreenQuotient256(_mm256_unpacklo_epi16(vv, uu)),
                                      GreenQuotient256(_mm256_unpackhi_epi16(vv, uu))));
        Row32Avx2(y0 + x, tb, tg, tr, o0 + 3 * x);
        if (y1) {
            Row32Avx2(y1 + x, tb, tg, tr, o1 + 3 * x);
        }
    }
    PairScalar(y0, y1, u, v, o0, o1, x, width);
}

using PairFn = void (*)(const uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*,
                        uint8_t*, int32_t);

void PairScalarFrom0(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                     uint8_t* o0, uint8_t* o1, int32_t width) {
    PairScalar(y0, y1, u, v, o0, o1, 0, width);
}

PairFn PairFor(SimdLevel level) {
    switch (level) {
        case SimdLevel::kAvx2:
            return PairAvx2;
        case SimdLevel::kSse2:
            return PairSse2;
        case SimdLevel::kScalar:
            break;
    }
    return PairScalarFrom0;
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
    const PairFn pair = PairFor(level);
    for (int32_t cy = 0; cy * 2 < height; ++cy) {
        const int32_t y = cy * 2;
        const bool second = y + 1 < height;
        const uint8_t* y0 = in.y + static_cast<ptrdiff_t>(y) * in.yPitch;
        uint8_t* o0 = bgr + static_cast<ptrdiff_t>(y) * bgrPitch;
        // The chroma terms are worked out once for both rows of the block.
        pair(y0, second ? y0 + in.yPitch : nullptr, in.u + static_cast<ptrdiff_t>(cy) * in.uPitch,
             in.v + static_cast<ptrdiff_t>(cy) * in.vPitch, o0, second ? o0 + bgrPitch : nullptr,
             width);
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
