// The robot computer's desktop, simulated: a screen with a clock, a log
// window that echoes the keys it gets, a button that clicks toggle, windows
// to drag, a right-click menu, Alt+Tab, Alt+F4 and Ctrl+Esc, the pointer, a
// readable frame stamp and a spinner. It is streamed at half size as MPEG-4
// (no B-frames, so each picture leaves at once; rows bottom first, as the
// robot sends them) while the console keeps sending keep-alives. Input that
// changes the screen sends a picture as soon as the input at hand is handled.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/codec.h"
#include "sim/sim_robot.h"

namespace velcora::sim {

// The stream ends this long after the last keep-alive (they come every 921 ms).
inline constexpr uint32_t kDesktopIdleMs = 2500;
inline constexpr int32_t kDesktopBitRate = 1500000;

struct SimRect {
    int32_t x = 0, y = 0, w = 0, h = 0;
    bool Contains(int32_t px, int32_t py) const {
        return px >= x && py >= y && px < x + w && py < y + h;
    }
};

struct SimWindow {
    std::string title;
    SimRect rect;
    bool visible = true;
};

// The desktop itself, in screen coordinates; input methods return whether
// the screen changed.
class CSimDesktopScene {
  public:
    static constexpr int32_t kTaskbarHeight = 48;
    static constexpr int32_t kTitleHeight = 40;
    static constexpr size_t kLogLines = 12;
    static constexpr size_t kLogLineLength = 40;

    CSimDesktopScene(int32_t width, int32_t height);

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

    bool LeftDown(int32_t x, int32_t y);
    bool LeftMove(int32_t x, int32_t y);
    bool LeftUp(int32_t x, int32_t y);
    bool RightDown(int32_t x, int32_t y);
    bool RightUp(int32_t x, int32_t y);
    // A key message: virtual key, down (true) or up.
    bool Key(uint8_t vk, bool down);

    // Draws the screen scaled to `w` x `h` (top row first).
    void Render(uint8_t* bgr, int32_t w, int32_t h, int32_t pitch, uint32_t frame,
                uint32_t clockMs) const;

    // --- what tests and the log look at
    bool ButtonOn() const { return buttonOn_; }
    SimRect ButtonRect() const;
    const std::vector<SimWindow>& Windows() const { return windows_; }
    // Front-most first.
    const std::vector<size_t>& ZOrder() const { return zOrder_; }
    // Every line of the log window, the one being typed last.
    const std::vector<std::string>& Log() const { return log_; }
    bool MenuOpen() const { return menuOpen_; }
    bool StartMenuOpen() const { return startOpen_; }
    int32_t PointerX() const { return pointerX_; }
    int32_t PointerY() const { return pointerY_; }
    uint32_t Background() const { return background_; }
    uint64_t Clicks() const { return clicks_; }

    // The context menu's items and the start menu's button.
    static constexpr int kMenuItems = 3;
    SimRect MenuItemRect(int item) const;
    SimRect StartButtonRect() const;
    SimRect StartItemRect(size_t window) const;

  private:
    // The visible window whose rectangle holds the point, front-most first;
    // -1 for none.
    int WindowAt(int32_t x, int32_t y) const;
    void Raise(size_t window);
    void CloseActive();
    void SwitchWindow();
    void Type(char c);
    void LogLine(const std::string& text);

    int32_t width_;
    int32_t height_;
    std::vector<SimWindow> windows_;
    std::vector<size_t> zOrder_;
    std::vector<std::string> log_;
    bool buttonOn_ = false;
    bool buttonPressed_ = false;
    bool menuOpen_ = false;
    int32_t menuX_ = 0, menuY_ = 0;
    bool startOpen_ = false;
    int dragging_ = -1;
    int32_t dragDx_ = 0, dragDy_ = 0;
    int32_t pointerX_ = 0, pointerY_ = 0;
    bool alt_ = false, ctrl_ = false, shift_ = false;
    uint32_t background_ = 0;
    uint64_t clicks_ = 0;
};

struct SimDesktop {
    std::unique_ptr<CSimDesktopScene> scene;
    bool streaming = false;
    bool dirty = false;  // input changed the screen: a picture is on its way
    // Tells a posted picture whether the robot is still there.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    ~SimDesktop() { *alive = false; }
    uint32_t sinceKeepAlive = 0;
    uint32_t due = 0;
    uint32_t frame = 0;
    media::CVideoEncoder encoder;
    std::vector<uint8_t> picture;  // upright, as drawn
    std::vector<uint8_t> flipped;  // as sent: bottom row first
    uint64_t picturesSent = 0;
    uint64_t keepAlives = 0;
    uint64_t inputs = 0;
    uint64_t ignored = 0;  // short or off-screen input
    // The last button message as received (robot screen coordinates).
    int32_t lastPressX = -1, lastPressY = -1;
};

// The picture size the desktop is sent at.
inline int32_t DesktopPictureWidth(const SimOptions& o) {
    return o.desktopWidth / 2;
}
inline int32_t DesktopPictureHeight(const SimOptions& o) {
    return o.desktopHeight / 2;
}

// Draws `text` (ASCII; lower case as upper case) in a 5 x 7 font scaled by
// `scale`, in `colour` (0xRRGGBB), clipped to the picture.
void DrawSimText(uint8_t* bgr, int32_t width, int32_t height, int32_t pitch, int32_t x, int32_t y,
                 const std::string& text, int32_t scale, uint32_t colour);

}  // namespace velcora::sim
