#include "media/frame_stamp.h"

#include <chrono>
#include <cstdio>

namespace velcora::media {
namespace {

constexpr int kGrid = 8;
constexpr int kBits = kGrid * kGrid;
constexpr uint64_t kSync = 0xA5;
constexpr int kFrameBits = 24;
constexpr int kClockBits = 27;
constexpr int kDataBits = 8 + kFrameBits + kClockBits;  // 59, then a 5-bit check

// CRC-5 (polynomial x^5 + x^2 + 1) over the low `bits` bits, lowest first.
uint32_t Crc5(uint64_t value, int bits) {
    uint32_t crc = 0x1F;
    for (int i = 0; i < bits; ++i) {
        const uint32_t in = static_cast<uint32_t>((value >> i) & 1);
        const uint32_t top = (crc >> 4) & 1;
        crc = (crc << 1) & 0x1F;
        if (top ^ in) {
            crc ^= 0x05;
        }
    }
    return crc;
}

uint64_t Pack(FrameStamp s) {
    const uint64_t data = kSync | (static_cast<uint64_t>(s.frame & kStampFrameMask) << 8) |
                          (static_cast<uint64_t>(s.clockMs % kDayMs) << (8 + kFrameBits));
    return data | (static_cast<uint64_t>(Crc5(data, kDataBits)) << kDataBits);
}

void Fill(uint8_t* bgr, int32_t width, int32_t height, int32_t pitch, int32_t x0, int32_t y0,
          int32_t w, int32_t h, uint8_t b, uint8_t g, uint8_t r) {
    for (int32_t y = y0 < 0 ? 0 : y0; y < y0 + h && y < height; ++y) {
        uint8_t* row = bgr + static_cast<ptrdiff_t>(y) * pitch;
        for (int32_t x = x0 < 0 ? 0 : x0; x < x0 + w && x < width; ++x) {
            row[3 * x] = b;
            row[3 * x + 1] = g;
            row[3 * x + 2] = r;
        }
    }
}

// 5 x 7 glyphs, one byte per row, bit 4 the leftmost column.
const uint8_t* Glyph(char c) {
    static const uint8_t kDigits[10][7] = {
        {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
        {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
        {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
        {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
        {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}};
    static const uint8_t kColon[7] = {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00};
    static const uint8_t kDot[7] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C};
    if (c >= '0' && c <= '9') {
        return kDigits[c - '0'];
    }
    if (c == ':') {
        return kColon;
    }
    if (c == '.') {
        return kDot;
    }
    return nullptr;
}

}  // namespace

int32_t FrameStampCell(int32_t width, int32_t height) {
    const int32_t side = width < height ? width : height;
    const int32_t cell = 8 * (side / 240 > 1 ? side / 240 : 1);
    return kGrid * cell <= side ? cell : 0;
}

void DrawDigits(uint8_t* bgr, int32_t width, int32_t height, int32_t pitch, int32_t x, int32_t y,
                const char* text, int32_t scale) {
    int32_t n = 0;
    while (text[n]) {
        ++n;
    }
    Fill(bgr, width, height, pitch, x - scale, y - scale, (6 * n + 1) * scale, 9 * scale, 0, 0, 0);
    for (int32_t i = 0; i < n; ++i) {
        const uint8_t* glyph = Glyph(text[i]);
        if (!glyph) {
            continue;
        }
        for (int row = 0; row < 7; ++row) {
            for (int col = 0; col < 5; ++col) {
                if (glyph[row] & (0x10 >> col)) {
                    Fill(bgr, width, height, pitch, x + (6 * i + col) * scale, y + row * scale,
                         scale, scale, 255, 255, 255);
                }
            }
        }
    }
}

bool DrawFrameStamp(uint8_t* bgr, int32_t width, int32_t height, int32_t pitch, FrameStamp stamp) {
    const int32_t cell = FrameStampCell(width, height);
    if (!bgr || cell == 0 || pitch < width * 3) {
        return false;
    }
    const uint64_t bits = Pack(stamp);
    for (int i = 0; i < kBits; ++i) {
        const uint8_t v = ((bits >> i) & 1) ? 255 : 0;
        Fill(bgr, width, height, pitch, (i % kGrid) * cell, (i / kGrid) * cell, cell, cell, v, v,
             v);
    }
    // The same in digits, beside the grid where there is room.
    const int32_t scale = cell / 8;
    const int32_t x = kGrid * cell + 2 * scale;
    char text[32];
    std::snprintf(text, sizeof text, "%u", stamp.frame & kStampFrameMask);
    DrawDigits(bgr, width, height, pitch, x, scale, text, scale);
    const uint32_t ms = stamp.clockMs % kDayMs;
    std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    DrawDigits(bgr, width, height, pitch, x, 11 * scale, text, scale);
    return true;
}

std::optional<FrameStamp> ReadFrameStamp(const uint8_t* bgr, int32_t width, int32_t height,
                                         int32_t pitch) {
    const int32_t cell = FrameStampCell(width, height);
    if (!bgr || cell == 0 || pitch < width * 3) {
        return std::nullopt;
    }
    // The inner half of each cell: its edges blur into the neighbours.
    const int32_t inset = cell / 4;
    uint64_t bits = 0;
    for (int i = 0; i < kBits; ++i) {
        const int32_t x0 = (i % kGrid) * cell + inset;
        const int32_t y0 = (i / kGrid) * cell + inset;
        uint32_t sum = 0;
        uint32_t count = 0;
        for (int32_t y = y0; y < y0 + cell - 2 * inset; ++y) {
            const uint8_t* row = bgr + static_cast<ptrdiff_t>(y) * pitch;
            for (int32_t x = x0; x < x0 + cell - 2 * inset; ++x) {
                sum += row[3 * x] + row[3 * x + 1] + row[3 * x + 2];
                count += 3;
            }
        }
        if (count && sum / count >= 128) {
            bits |= uint64_t{1} << i;
        }
    }
    const uint64_t data = bits & ((uint64_t{1} << kDataBits) - 1);
    if ((data & 0xFF) != kSync || (bits >> kDataBits) != Crc5(data, kDataBits)) {
        return std::nullopt;
    }
    FrameStamp s;
    s.frame = static_cast<uint32_t>((data >> 8) & kStampFrameMask);
    s.clockMs = static_cast<uint32_t>(data >> (8 + kFrameBits));
    if (s.clockMs >= kDayMs) {
        return std::nullopt;
    }
    return s;
}

uint32_t StampDelayMs(uint32_t stampMs, uint32_t nowMs) {
    stampMs %= kDayMs;
    nowMs %= kDayMs;
    return nowMs >= stampMs ? nowMs - stampMs : nowMs + kDayMs - stampMs;
}

uint32_t WallClockMsOfDay() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    return static_cast<uint32_t>(ms % kDayMs);
}

}  // namespace velcora::media
