// Where things are on the time line: the ruler at the top, the track headers
// on the left, rows stacked below the ruler, times across. Every coordinate
// is worked out in 64 bits and clamped before it becomes a pixel, because
// times, scales and scroll offsets come from files and from the robot.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velcora {

inline constexpr int kRulerHeight = 18;
inline constexpr int kHeaderWidth = 120;
// x of time 0 with nothing scrolled.
inline constexpr int kTimeOriginX = 124;
// The ruler takes clicks from here on (the header's corner is left alone).
inline constexpr int kRulerClickX = 110;
inline constexpr int kMinTrackHeight = 40;
inline constexpr int kMaxTrackHeight = 500;
inline constexpr int kSoundRowHeight = 40;
inline constexpr int kScrollBarSize = 16;
inline constexpr double kDefaultScale = 0.05;
inline constexpr double kMinScale = 0.0005;
inline constexpr double kMaxScale = 20.0;
// A key or handle is hit within this many pixels in x and in y.
inline constexpr int kHitTolerance = 6;
// The bottom border of a motor row resizes it within this many pixels.
inline constexpr int kResizeZone = 4;
// Header icons: 16 x 16, delete at the top right, lock and on/off at the bottom.
inline constexpr int kIconSize = 16;
inline constexpr int kDeleteIconX = 102;
inline constexpr int kLockIconX = 84;
inline constexpr int kOnOffIconX = 102;
inline constexpr int kIconMargin = 2;
// Times snap to this step when clicked or dragged.
inline constexpr int32_t kTimeStepMs = 100;

// Pixels never leave this range, so that sums of them stay far from overflow.
inline constexpr int64_t kPixelLimit = 1 << 28;
int ClampPixel(int64_t v);
int ClampPixel(double v);
double ClampScale(double scale);

// x of time t (truncated), and the time under x (truncated toward zero).
int TimeToX(int64_t t, double scale, int64_t hScroll);
int64_t XToTime(int64_t x, double scale, int64_t hScroll);
// y of position v in a row of height h at y0, and the position under y (0..1).
int ValueToY(int64_t y0, int64_t h, double v);
float YToValue(int64_t y0, int64_t h, int64_t y);
// Cuts a time down to the step (toward zero).
int64_t TruncateToStep(int64_t t);

struct RulerStep {
    int32_t major = 1000;
    int32_t minor = 100;
};
// The steps for a visible span of `span` ms.
RulerStep RulerStepFor(int64_t span);
// "%d" seconds below a minute, "%d:%02d" from a minute on.
std::string RulerLabel(int64_t t);

struct RulerTick {
    int x = 0;
    int64_t time = 0;
    bool major = false;
};
// The ticks between the track area's left edge (x 120) and `rightX`.
std::vector<RulerTick> RulerTicks(int rightX, double scale, int64_t hScroll);

}  // namespace velcora
