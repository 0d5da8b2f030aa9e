#include "media/color_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace velcora::media {
namespace {

// The formulas written out per pixel, with no tables and no shortcuts.
void ReferenceBgr(const YuvPlanes& in, int w, int h, uint8_t* out, int pitch) {
    auto clamp = [](int64_t x) { return static_cast<uint8_t>(x < 0 ? 0 : x > 255 ? 255 : x); };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int64_t Y = in.y[y * in.yPitch + x];
            const int64_t U = in.u[(y / 2) * in.uPitch + x / 2] - 128;
            const int64_t V = in.v[(y / 2) * in.vPitch + x / 2] - 128;
            const int64_t p = 71498514388131LL * U;
            const int64_t bt = p >= 0 ? (p >> 45) : -((-p) >> 45);
            out[y * pitch + 3 * x + 0] = clamp(Y + bt);
            out[y * pitch + 3 * x + 1] = clamp(Y - (58060 * V + 39465 * U) / 100000);
            out[y * pitch + 3 * x + 2] = clamp(Y + 113983 * V / 100000);
        }
    }
}

struct Planes {
    int w, h;
    std::vector<uint8_t> y, u, v;
    int yp, cp;
    Planes(int w_, int h_) : w(w_), h(h_) {
        yp = w + 5;  // pitches wider than the rows, as decoders produce
        cp = (w + 1) / 2 + 3;
        y.resize(yp * h);
        u.resize(cp * ((h + 1) / 2));
        v.resize(u.size());
    }
    YuvPlanes View() const { return {y.data(), u.data(), v.data(), yp, cp, cp}; }
};

std::vector<SimdLevel> Levels() {
    std::vector<SimdLevel> out;
    for (SimdLevel l : {SimdLevel::kScalar, SimdLevel::kSse2, SimdLevel::kAvx2}) {
        if (SimdLevelAvailable(l)) {
            out.push_back(l);
        }
    }
    return out;
}

class ConvertLevel : public testing::TestWithParam<SimdLevel> {};

// Every (U, V) pair appears under luma values that drive all three channels
// past both ends of the range; pictures are wide enough for the vector loops.
TEST_P(ConvertLevel, EveryChromaPairMatchesTheFormulas) {
    const int w = 512 + 7;  // 256 blocks of chroma plus an odd tail
    const int h = 2 * 256;
    Planes p(w, h);
    std::mt19937 rng(7);
    for (int cy = 0; cy < (h + 1) / 2; ++cy) {
        for (int cx = 0; cx < (w + 1) / 2; ++cx) {
            p.u[cy * p.cp + cx] = static_cast<uint8_t>(cy);
            p.v[cy * p.cp + cx] = static_cast<uint8_t>(cx);
        }
    }
    for (auto& s : p.y) {
        s = static_cast<uint8_t>(rng());
    }
    // Put the extremes of luma in too.
    for (int x = 0; x < w; x += 3) {
        p.y[x] = 0;
        p.y[p.yp + x] = 255;
    }
    const int pitch = BgrPitch(w);
    std::vector<uint8_t> expected(pitch * h, 0xAA), actual(pitch * h, 0xAA);
    ReferenceBgr(p.View(), w, h, expected.data(), pitch);
    ConvertYuv420ToBgr(p.View(), w, h, actual.data(), pitch, GetParam());
    EXPECT_EQ(actual, expected);
}

TEST_P(ConvertLevel, OddSizesAndPaddingBytesUntouched) {
    std::mt19937 rng(11);
    for (auto [w, h] : {std::pair{1, 1}, {3, 3}, {15, 2}, {17, 5}, {33, 7}, {161, 9}, {65, 1}}) {
        Planes p(w, h);
        for (auto* plane : {&p.y, &p.u, &p.v}) {
            for (auto& s : *plane) {
                s = static_cast<uint8_t>(rng());
            }
        }
        const int pitch = BgrPitch(w);
        std::vector<uint8_t> expected(pitch * h, 0x5C), actual(pitch * h, 0x5C);
        ReferenceBgr(p.View(), w, h, expected.data(), pitch);
        ConvertYuv420ToBgr(p.View(), w, h, actual.data(), pitch, GetParam());
        EXPECT_EQ(actual, expected) << w << "x" << h;
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, ConvertLevel, testing::ValuesIn(Levels()));

TEST(ColorConvert, PitchRoundsUpToFourBytes) {
    EXPECT_EQ(BgrPitch(161), 484);
    EXPECT_EQ(BgrPitch(160), 480);
    EXPECT_EQ(BgrPitch(1), 4);
}

TEST(ColorConvert, BgrToYuvFollowsTheFormulasAndStaysInsideOddPictures) {
    // 3x3 picture in a buffer with no slack after the last row: the last
    // block repeats the edge pixel instead of reading outside.
    const int w = 3, h = 3, pitch = 9;
    std::vector<uint8_t> bgr(pitch * h);
    for (int i = 0; i < pitch * h; ++i) {
        bgr[i] = static_cast<uint8_t>(i * 29);
    }
    uint8_t y[9], u[4], v[4];
    ConvertBgrToYuv420(bgr.data(), w, h, pitch, {y, u, v, 3, 2, 2});
    for (int i = 0; i < 9; ++i) {
        const int b = bgr[3 * i], g = bgr[3 * i + 1], r = bgr[3 * i + 2];
        EXPECT_EQ(y[i], (299 * r + 587 * g + 114 * b) / 1000);
    }
    auto px = [&](int x, int yy, int c) { return bgr[yy * pitch + 3 * x + c]; };
    // Block (1,1) is the single corner pixel counted four times.
    const int bs = 4 * px(2, 2, 0), gs = 4 * px(2, 2, 1), rs = 4 * px(2, 2, 2);
    EXPECT_EQ(u[3], static_cast<uint8_t>((43600 * bs - 14713 * rs - 28886 * gs) / 400000 + 128));
    EXPECT_EQ(v[3], static_cast<uint8_t>((61500 * rs - 51499 * gs - 10001 * bs) / 400000 + 128));
    // Block (0,0) is four real pixels.
    int b0 = 0, g0 = 0, r0 = 0;
    for (int yy = 0; yy < 2; ++yy) {
        for (int x = 0; x < 2; ++x) {
            b0 += px(x, yy, 0);
            g0 += px(x, yy, 1);
            r0 += px(x, yy, 2);
        }
    }
    EXPECT_EQ(u[0], static_cast<uint8_t>((43600 * b0 - 14713 * r0 - 28886 * g0) / 400000 + 128));
}

}  // namespace
}  // namespace velcora::media
