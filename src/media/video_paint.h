// Where a video panel puts its picture, strips and overlay lines, and in which
// colours. Plain arithmetic so that the view only draws what it is told.
#pragma once

#include <cstdint>

namespace velcora::media {

struct PaintRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool operator==(const PaintRect&) const = default;
};

struct PaintPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const PaintPoint&) const = default;
};

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kGradientTop{204, 204, 204};
inline constexpr Rgb kGradientBottom{102, 102, 102};
inline constexpr Rgb kOverlayColour{255, 0, 0};
inline constexpr int32_t kOverlayPenWidth = 2;
inline constexpr int32_t kStripWidth = 4;

// Rectangles are relative to the drawing area; right and bottom are exclusive.
struct VideoLayout {
    // False: nothing but the gradient is painted (no picture, or no room).
    bool hasPicture = false;
    int32_t W = 0;  // scaled picture size
    int32_t H = 0;
    int32_t ox = 0;  // offset of the strips' outer corner
    int32_t oy = 0;
    PaintRect picture;
    PaintRect topStrip;
    PaintRect leftStrip;
    PaintRect rightStrip;
    // Picture and strips together, left out of the gradient fill.
    PaintRect framed;
};

// Fits a w x h picture into the drawing area `area` (absolute coordinates).
VideoLayout LayoutVideo(const PaintRect& area, int32_t w, int32_t h);

// A picture point (x, y) of a w x h picture on the painted picture.
PaintPoint MapOverlayPoint(const VideoLayout& layout, int32_t w, int32_t h, int32_t x, int32_t y);

// Colour of a rangefinder strip for a reading in 0..1: black when far, orange
// (255, 128, 0) when near. Readings outside 0..1 (or not numbers) are clamped.
Rgb StripColour(double reading);

// Colour of the vertical background gradient at row `y` of `height` rows.
Rgb GradientColour(int32_t y, int32_t height);

}  // namespace velcora::media
