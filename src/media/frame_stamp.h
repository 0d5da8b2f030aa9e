// A machine-readable stamp in the top-left corner of a picture: the frame
// number and the sender's clock (milliseconds since midnight, UTC) as an 8 x 8
// grid of black and white cells, with a sync byte and a check. The cells are
// aligned to the codec's 8-pixel blocks and large enough to survive the
// lowest bit rates, so the receiving side can tell which frame it decoded and
// how old it is. Digits are drawn beside the grid for people.
#pragma once

#include <cstdint>
#include <optional>

namespace velcora::media {

struct FrameStamp {
    uint32_t frame = 0;    // low 24 bits are kept
    uint32_t clockMs = 0;  // milliseconds since midnight, below kDayMs
    bool operator==(const FrameStamp&) const = default;
};

inline constexpr uint32_t kDayMs = 86400000;
inline constexpr uint32_t kStampFrameMask = 0xFFFFFF;

// Side of one cell in pixels for a picture of this size; 0 when the grid
// does not fit.
int32_t FrameStampCell(int32_t width, int32_t height);

// Draws the grid and the digits into a BGR picture (top row first). False
// when the picture is too small for the grid.
bool DrawFrameStamp(uint8_t* bgr, int32_t width, int32_t height, int32_t pitch, FrameStamp stamp);

// Reads the grid back; nothing when the picture carries no valid stamp.
std::optional<FrameStamp> ReadFrameStamp(const uint8_t* bgr, int32_t width, int32_t height,
                                         int32_t pitch);

// Milliseconds from `stampMs` to `nowMs`, both since midnight; a stamp taken
// just before midnight and read just after still gives a small delay.
uint32_t StampDelayMs(uint32_t stampMs, uint32_t nowMs);

// The wall clock as milliseconds since midnight, UTC: what the sender stamps
// and the receiver compares with (both ends are assumed to keep time).
uint32_t WallClockMsOfDay();

// Draws `text` (digits, ':' and '.') in a 5 x 7 font scaled by `scale`, in
// white on a black box, clipped to the picture.
void DrawDigits(uint8_t* bgr, int32_t width, int32_t height, int32_t pitch, int32_t x, int32_t y,
                const char* text, int32_t scale);

}  // namespace velcora::media
