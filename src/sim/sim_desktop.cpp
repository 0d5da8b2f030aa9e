#include "sim/sim_desktop.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "media/color_convert.h"
#include "media/desktop_keys.h"
#include "media/frame_stamp.h"
#include "media/remote_desktop.h"
#include "sim/sim_features.h"

namespace velcora::sim {

namespace {

// 5 x 7 glyphs for ' ' .. '_', one byte per row, bit 4 the leftmost column.
// Characters without a glyph are drawn as a box.
constexpr uint8_t kFont[64][7] = {
    {0, 0, 0, 0, 0, 0, 0},                       // ' '
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04},  // !
    {0x0A, 0x0A, 0, 0, 0, 0, 0},                 // "
    {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A},  // #
    {0x04, 0x0F, 0x14, 0x0E, 0x05, 0x1E, 0x04},  // $
    {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03},  // %
    {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D},  // &
    {0x04, 0x04, 0, 0, 0, 0, 0},                 // '
    {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02},  // (
    {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08},  // )
    {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00},  // *
    {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00},  // +
    {0, 0, 0, 0, 0x0C, 0x04, 0x08},              // ,
    {0, 0, 0, 0x1F, 0, 0, 0},                    // -
    {0, 0, 0, 0, 0, 0x0C, 0x0C},                 // .
    {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10},  // /
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},  // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},  // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},  // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},  // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},  // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},  // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},  // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},  // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},  // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},  // 9
    {0, 0x0C, 0x0C, 0, 0x0C, 0x0C, 0},           // :
    {0, 0x0C, 0x0C, 0, 0x0C, 0x04, 0x08},        // ;
    {0x02, 0x04, 0x08, 0x10, 0x08, 0x04, 0x02},  // <
    {0, 0, 0x1F, 0, 0x1F, 0, 0},                 // =
    {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08},  // >
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04},  // ?
    {0x0E, 0x11, 0x17, 0x15, 0x17, 0x10, 0x0E},  // @
    {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},  // A
    {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E},  // B
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E},  // C
    {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C},  // D
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F},  // E
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10},  // F
    {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F},  // G
    {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},  // H
    {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E},  // I
    {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C},  // J
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11},  // K
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F},  // L
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11},  // M
    {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11},  // N
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // O
    {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10},  // P
    {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D},  // Q
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11},  // R
    {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E},  // S
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},  // T
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // U
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04},  // V
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A},  // W
    {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11},  // X
    {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04},  // Y
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F},  // Z
    {0x0E, 0x08, 0x08, 0x08, 0x08, 0x08, 0x0E},  // [
    {0x10, 0x10, 0x08, 0x04, 0x02, 0x01, 0x01},  // backslash
    {0x0E, 0x02, 0x02, 0x02, 0x02, 0x02, 0x0E},  // ]
    {0x04, 0x0A, 0x11, 0, 0, 0, 0},              // ^
    {0, 0, 0, 0, 0, 0, 0x1F},                    // _
};
constexpr uint8_t kBox[7] = {0x1F, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1F};

const uint8_t* GlyphOf(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z')
        u = static_cast<unsigned char>(u - 'a' + 'A');
    if (u == '|')
        return kFont['!' - ' '];
    if (u >= ' ' && u <= '_')
        return kFont[u - ' '];
    return kBox;
}

// A canvas that takes screen coordinates and draws them scaled into the picture.
struct Canvas {
    uint8_t* bgr;
    int32_t w, h, pitch;
    int32_t screenW, screenH;

    int32_t X(int32_t sx) const { return static_cast<int32_t>(int64_t{sx} * w / screenW); }
    int32_t Y(int32_t sy) const { return static_cast<int32_t>(int64_t{sy} * h / screenH); }

    void FillPixels(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t rgb) const {
        x0 = std::max(x0, 0);
        y0 = std::max(y0, 0);
        x1 = std::min(x1, w);
        y1 = std::min(y1, h);
        const uint8_t b = rgb & 0xFF, g = (rgb >> 8) & 0xFF, r = (rgb >> 16) & 0xFF;
        for (int32_t y = y0; y < y1; ++y) {
            uint8_t* p = bgr + static_cast<size_t>(y) * pitch + 3 * static_cast<size_t>(x0);
            for (int32_t x = x0; x < x1; ++x, p += 3) {
                p[0] = b;
                p[1] = g;
                p[2] = r;
            }
        }
    }
    void Fill(const SimRect& r, uint32_t rgb) const {
        FillPixels(X(r.x), Y(r.y), X(r.x + r.w), Y(r.y + r.h), rgb);
    }
    void Frame(const SimRect& r, uint32_t rgb) const {
        const int32_t x0 = X(r.x), y0 = Y(r.y), x1 = X(r.x + r.w), y1 = Y(r.y + r.h);
        FillPixels(x0, y0, x1, y0 + 1, rgb);
        FillPixels(x0, y1 - 1, x1, y1, rgb);
        FillPixels(x0, y0, x0 + 1, y1, rgb);
        FillPixels(x1 - 1, y0, x1, y1, rgb);
    }
    // Text at a screen point, in picture pixels of `scale`.
    void Text(int32_t sx, int32_t sy, const std::string& text, int32_t scale, uint32_t rgb) const {
        DrawSimText(bgr, w, h, pitch, X(sx), Y(sy), text, scale, rgb);
    }
};

constexpr uint32_t kBackgrounds[] = {0x2F6F8F, 0x5A3F7A, 0x3C7A3C, 0x7A5A2F};
constexpr uint32_t kActiveTitle = 0x2050C0;
constexpr uint32_t kInactiveTitle = 0x707070;
constexpr uint32_t kWindowBody = 0xF0F0F0;
constexpr uint32_t kTaskbar = 0x202830;
constexpr const char* kMenuLabels[CSimDesktopScene::kMenuItems] = {"REFRESH", "BACKGROUND",
                                                                   "CLOSE MENU"};
constexpr int32_t kMenuItemW = 260;
constexpr int32_t kMenuItemH = 40;

char CharacterOf(uint8_t vk, bool shift) {
    for (char32_t ch = 0x20; ch < 0x7F; ++ch) {
        const auto typed = media::KeyForCharacter(ch);
        if (typed && typed->key.vk == vk && typed->shift == shift)
            return static_cast<char>(ch);
    }
    return 0;
}

}  // namespace

void DrawSimText(uint8_t* bgr, int32_t width, int32_t height, int32_t pitch, int32_t x, int32_t y,
                 const std::string& text, int32_t scale, uint32_t colour) {
    const uint8_t b = colour & 0xFF, g = (colour >> 8) & 0xFF, r = (colour >> 16) & 0xFF;
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t* glyph = GlyphOf(text[i]);
        const int32_t gx = x + static_cast<int32_t>(i) * 6 * scale;
        if (gx >= width)
            break;
        for (int32_t row = 0; row < 7; ++row) {
            for (int32_t col = 0; col < 5; ++col) {
                if (!(glyph[row] & (0x10 >> col)))
                    continue;
                for (int32_t dy = 0; dy < scale; ++dy) {
                    const int32_t py = y + row * scale + dy;
                    if (py < 0 || py >= height)
                        continue;
                    for (int32_t dx = 0; dx < scale; ++dx) {
                        const int32_t px = gx + col * scale + dx;
                        if (px < 0 || px >= width)
                            continue;
                        uint8_t* p = bgr + static_cast<size_t>(py) * pitch + 3 * px;
                        p[0] = b;
                        p[1] = g;
                        p[2] = r;
                    }
                }
            }
        }
    }
}

// ------------------------------------------------------------------ scene

CSimDesktopScene::CSimDesktopScene(int32_t width, int32_t height)
    : width_(std::max(width, 64)), height_(std::max(height, 64)) {
    windows_.push_back(
        {"LOG", {width_ * 53 / 100, height_ * 6 / 100, width_ * 44 / 100, height_ * 46 / 100}});
    windows_.push_back(
        {"NOTES", {width_ * 30 / 100, height_ * 56 / 100, width_ * 36 / 100, height_ * 30 / 100}});
    zOrder_ = {0, 1};
    log_.emplace_back();
    background_ = kBackgrounds[0];
}

SimRect CSimDesktopScene::ButtonRect() const {
    return {width_ * 5 / 100, height_ * 32 / 100, width_ * 22 / 100, height_ * 11 / 100};
}

SimRect CSimDesktopScene::StartButtonRect() const {
    return {0, height_ - kTaskbarHeight, 160, kTaskbarHeight};
}

SimRect CSimDesktopScene::StartItemRect(size_t window) const {
    return {0, height_ - kTaskbarHeight - kMenuItemH * static_cast<int32_t>(window + 1), kMenuItemW,
            kMenuItemH};
}

SimRect CSimDesktopScene::MenuItemRect(int item) const {
    const int32_t x = std::min(menuX_, width_ - kMenuItemW);
    const int32_t y = std::min(menuY_, height_ - kTaskbarHeight - kMenuItemH * kMenuItems);
    return {std::max(x, 0), std::max(y, 0) + item * kMenuItemH, kMenuItemW, kMenuItemH};
}

int CSimDesktopScene::WindowAt(int32_t x, int32_t y) const {
    for (size_t i : zOrder_) {
        if (windows_[i].visible && windows_[i].rect.Contains(x, y))
            return static_cast<int>(i);
    }
    return -1;
}

void CSimDesktopScene::Raise(size_t window) {
    windows_[window].visible = true;
    zOrder_.erase(std::find(zOrder_.begin(), zOrder_.end(), window));
    zOrder_.insert(zOrder_.begin(), window);
}

void CSimDesktopScene::CloseActive() {
    for (size_t i : zOrder_) {
        if (windows_[i].visible) {
            windows_[i].visible = false;
            LogLine("<CLOSED " + windows_[i].title + ">");
            return;
        }
    }
}

void CSimDesktopScene::SwitchWindow() {
    // The front window goes to the back: the next one comes forward.
    std::vector<size_t> visible;
    for (size_t i : zOrder_) {
        if (windows_[i].visible)
            visible.push_back(i);
    }
    if (visible.size() < 2)
        return;
    Raise(visible.back());
}

void CSimDesktopScene::LogLine(const std::string& text) {
    log_.back() = text;
    log_.emplace_back();
    while (log_.size() > kLogLines)
        log_.erase(log_.begin());
}

void CSimDesktopScene::Type(char c) {
    std::string& line = log_.back();
    if (line.size() >= kLogLineLength)
        log_.emplace_back();
    log_.back() += c;
    while (log_.size() > kLogLines)
        log_.erase(log_.begin());
}

bool CSimDesktopScene::LeftDown(int32_t x, int32_t y) {
    pointerX_ = x;
    pointerY_ = y;
    ++clicks_;
    if (menuOpen_) {
        menuOpen_ = false;
        for (int i = 0; i < kMenuItems; ++i) {
            if (!MenuItemRect(i).Contains(x, y))
                continue;
            if (i == 1) {
                const auto* it =
                    std::find(std::begin(kBackgrounds), std::end(kBackgrounds), background_);
                const size_t next = (static_cast<size_t>(it - std::begin(kBackgrounds)) + 1) %
                                    std::size(kBackgrounds);
                background_ = kBackgrounds[next];
            }
            LogLine(std::string("<MENU ") + kMenuLabels[i] + ">");
        }
        return true;
    }
    if (startOpen_) {
        startOpen_ = false;
        for (size_t i = 0; i < windows_.size(); ++i) {
            if (StartItemRect(i).Contains(x, y))
                Raise(i);
        }
        return true;
    }
    if (StartButtonRect().Contains(x, y)) {
        startOpen_ = true;
        return true;
    }
    const int window = WindowAt(x, y);
    if (window >= 0) {
        Raise(static_cast<size_t>(window));
        const SimRect& r = windows_[static_cast<size_t>(window)].rect;
        if (y < r.y + kTitleHeight) {
            dragging_ = window;
            dragDx_ = x - r.x;
            dragDy_ = y - r.y;
        }
        return true;
    }
    if (ButtonRect().Contains(x, y)) {
        buttonPressed_ = true;
        return true;
    }
    return true;  // the pointer moved
}

bool CSimDesktopScene::LeftMove(int32_t x, int32_t y) {
    pointerX_ = x;
    pointerY_ = y;
    if (dragging_ >= 0) {
        SimRect& r = windows_[static_cast<size_t>(dragging_)].rect;
        // The title bar stays reachable.
        r.x = std::clamp(x - dragDx_, -r.w + 80, width_ - 80);
        r.y = std::clamp(y - dragDy_, 0, height_ - kTaskbarHeight - kTitleHeight);
    }
    return true;
}

bool CSimDesktopScene::LeftUp(int32_t x, int32_t y) {
    LeftMove(x, y);
    dragging_ = -1;
    if (buttonPressed_) {
        buttonPressed_ = false;
        if (ButtonRect().Contains(x, y)) {
            buttonOn_ = !buttonOn_;
            LogLine(buttonOn_ ? "<BUTTON ON>" : "<BUTTON OFF>");
        }
    }
    return true;
}

bool CSimDesktopScene::RightDown(int32_t x, int32_t y) {
    pointerX_ = x;
    pointerY_ = y;
    startOpen_ = false;
    menuOpen_ = true;
    menuX_ = x;
    menuY_ = y;
    return true;
}

bool CSimDesktopScene::RightUp(int32_t x, int32_t y) {
    pointerX_ = x;
    pointerY_ = y;
    return true;
}

bool CSimDesktopScene::Key(uint8_t vk, bool down) {
    if (media::IsAltKey(vk)) {
        alt_ = down;
        return false;
    }
    if (media::IsControlKey(vk)) {
        ctrl_ = down;
        return false;
    }
    if (media::IsShiftKey(vk)) {
        shift_ = down;
        return false;
    }
    if (!down)
        return false;
    if (alt_ && vk == media::vk::kTab) {
        SwitchWindow();
        return true;
    }
    if (alt_ && vk == media::vk::kF4) {
        CloseActive();
        return true;
    }
    if (ctrl_ && vk == media::vk::kEscape) {
        startOpen_ = !startOpen_;
        menuOpen_ = false;
        return true;
    }
    if (vk == media::vk::kEscape) {
        const bool was = menuOpen_ || startOpen_;
        menuOpen_ = startOpen_ = false;
        return was;
    }
    if (vk == media::vk::kReturn) {
        log_.emplace_back();
        while (log_.size() > kLogLines)
            log_.erase(log_.begin());
        return true;
    }
    if (vk == 0x08) {
        if (!log_.back().empty())
            log_.back().pop_back();
        return true;
    }
    if (ctrl_ || alt_)
        return false;
    const char c = CharacterOf(vk, shift_);
    if (c == 0 || c == '\t')
        return false;
    Type(c);
    return true;
}

void CSimDesktopScene::Render(uint8_t* bgr, int32_t w, int32_t h, int32_t pitch, uint32_t frame,
                              uint32_t clockMs) const {
    const Canvas c{bgr, w, h, pitch, width_, height_};
    c.FillPixels(0, 0, w, h, background_);

    // The button.
    const SimRect button = ButtonRect();
    c.Fill(button, buttonOn_ ? 0x30C040 : (buttonPressed_ ? 0x606060 : 0x909090));
    c.Frame(button, 0x000000);
    c.Text(button.x + 16, button.y + 16, buttonOn_ ? "BUTTON: ON" : "BUTTON: OFF", 2, 0x000000);
    c.Text(button.x, button.y + button.h + 12, "CLICK TO TOGGLE", 1, 0xFFFFFF);

    // Windows, back to front.
    for (auto it = zOrder_.rbegin(); it != zOrder_.rend(); ++it) {
        const SimWindow& win = windows_[*it];
        if (!win.visible)
            continue;
        const bool active = *it == zOrder_.front();
        c.Fill(win.rect, kWindowBody);
        c.Fill({win.rect.x, win.rect.y, win.rect.w, kTitleHeight},
               active ? kActiveTitle : kInactiveTitle);
        c.Frame(win.rect, 0x000000);
        c.Text(win.rect.x + 12, win.rect.y + 12, win.title, 1, 0xFFFFFF);
        if (*it == 0) {
            int32_t y = win.rect.y + kTitleHeight + 10;
            for (const std::string& line : log_) {
                c.Text(win.rect.x + 12, y, line, 1, 0x000000);
                y += 24;
            }
        } else {
            c.Text(win.rect.x + 12, win.rect.y + kTitleHeight + 12, "DRAG ME BY THE TITLE", 1,
                   0x000000);
            c.Text(win.rect.x + 12, win.rect.y + kTitleHeight + 40, "ALT+TAB SWITCHES", 1,
                   0x000000);
            c.Text(win.rect.x + 12, win.rect.y + kTitleHeight + 68, "ALT+F4 CLOSES", 1, 0x000000);
            c.Text(win.rect.x + 12, win.rect.y + kTitleHeight + 96, "CTRL+ESC: START", 1, 0x000000);
        }
    }

    // The taskbar with the start button, the clock and the spinner.
    c.Fill({0, height_ - kTaskbarHeight, width_, kTaskbarHeight}, kTaskbar);
    const SimRect start = StartButtonRect();
    c.Fill({start.x + 4, start.y + 4, start.w - 8, start.h - 8}, startOpen_ ? 0x3070E0 : 0x405060);
    c.Text(start.x + 24, start.y + 14, "START", 2, 0xFFFFFF);
    char clock[16];
    const uint32_t s = clockMs / 1000;
    std::snprintf(clock, sizeof clock, "%02u:%02u:%02u", s / 3600 % 24, s / 60 % 60, s % 60);
    c.Text(width_ - 220, height_ - kTaskbarHeight + 14, clock, 2, 0xFFFFFF);
    const double angle = (frame % 12) * (3.14159265358979 / 6);
    const int32_t cx = width_ - 260, cy = height_ - kTaskbarHeight / 2;
    for (int i = 0; i < 12; ++i) {
        const double a = i * (3.14159265358979 / 6);
        const int32_t px = cx + static_cast<int32_t>(std::lround(14 * std::cos(a)));
        const int32_t py = cy + static_cast<int32_t>(std::lround(14 * std::sin(a)));
        const bool lit = std::fabs(a - angle) < 0.01;
        c.Fill({px - 3, py - 3, 6, 6}, lit ? 0xFFD040 : 0x506070);
    }

    if (startOpen_) {
        for (size_t i = 0; i < windows_.size(); ++i) {
            const SimRect r = StartItemRect(i);
            c.Fill(r, 0xE0E0E0);
            c.Frame(r, 0x000000);
            c.Text(r.x + 12, r.y + 12, windows_[i].title, 1, 0x000000);
        }
    }
    if (menuOpen_) {
        for (int i = 0; i < kMenuItems; ++i) {
            const SimRect r = MenuItemRect(i);
            c.Fill(r, 0xFFFFE0);
            c.Frame(r, 0x000000);
            c.Text(r.x + 12, r.y + 12, kMenuLabels[i], 1, 0x000000);
        }
    }

    // The pointer: a small arrow.
    const int32_t px = c.X(pointerX_), py = c.Y(pointerY_);
    for (int32_t row = 0; row < 12; ++row) {
        c.FillPixels(px, py + row, px + row / 2 + 1, py + row + 1, 0xFFFFFF);
        c.FillPixels(px + row / 2 + 1, py + row, px + row / 2 + 2, py + row + 1, 0x000000);
    }
}

// ----------------------------------------------------------------- feature

namespace {

void StopStream(CSimRobot& robot, SimDesktop& d) {
    d.encoder.Close();
    d.streaming = false;
    robot.Log("desktop: stream stopped");
}

void SendDesktop(CSimRobot& robot, SimDesktop& d) {
    const int32_t w = DesktopPictureWidth(robot.Options());
    const int32_t h = DesktopPictureHeight(robot.Options());
    const int32_t pitch = media::BgrPitch(w);
    d.picture.resize(static_cast<size_t>(pitch) * h);
    const uint32_t frame = d.frame++;
    const uint32_t clock = media::WallClockMsOfDay();
    d.scene->Render(d.picture.data(), w, h, pitch, frame, clock);
    media::DrawFrameStamp(d.picture.data(), w, h, pitch, {frame, clock});
    // The robot's screen leaves bottom row first.
    d.flipped = media::UprightRows({w, h, pitch, d.picture.data()}, pitch);
    std::vector<media::Packet> packets;
    if (d.encoder.Encode(d.flipped.data(), w, h, pitch, packets) < 0)
        return;
    for (const media::Packet& p : packets) {
        CStream& s = robot.BeginFrame(msg::kDesktopScreen);
        WriteU16(s, static_cast<uint16_t>(w));
        WriteU16(s, static_cast<uint16_t>(h));
        s.Write(p.data(), static_cast<int32_t>(p.size()));
        if (robot.EndFrame())
            ++d.picturesSent;
    }
}

// A button message: x, y in screen coordinates; false when short or off the screen.
bool ReadPoint(CSimRobot& robot, CStream& payload, int32_t length, int32_t& x, int32_t& y) {
    SimDesktop& d = robot.Feature<SimDesktop>();
    if (length < 4) {
        ++d.ignored;
        return false;
    }
    x = ReadU16(payload);
    y = ReadU16(payload);
    if (x >= d.scene->Width() || y >= d.scene->Height()) {
        ++d.ignored;
        return false;
    }
    ++d.inputs;
    return true;
}

void Changed(CSimRobot& robot, SimDesktop& d, bool changed) {
    // Input shows at once rather than at the next picture's turn: the picture
    // leaves once the frames received together are handled, so a burst of
    // moves makes one picture, not one each.
    if (!changed || !d.streaming || d.dirty)
        return;
    d.dirty = true;
    robot.Reactor().Post([&robot, &d, alive = d.alive] {
        if (!*alive || !d.dirty)
            return;
        d.dirty = false;
        if (d.streaming) {
            d.due = 0;
            SendDesktop(robot, d);
        }
    });
}

}  // namespace

void InstallDesktop(CSimRobot& robot) {
    SimDesktop& d = robot.Feature<SimDesktop>();
    d.scene = std::make_unique<CSimDesktopScene>(robot.Options().desktopWidth,
                                                 robot.Options().desktopHeight);

    robot.On(msg::kDesktopKeepAlive, [&robot, &d](CStream&, int32_t) {
        ++d.keepAlives;
        d.sinceKeepAlive = 0;
        if (d.streaming)
            return;
        const int32_t w = DesktopPictureWidth(robot.Options());
        const int32_t h = DesktopPictureHeight(robot.Options());
        if (!d.encoder.Open(w, h, robot.Options().desktopFps, kDesktopBitRate, 0)) {
            robot.Log("desktop: the encoder refused %dx%d", w, h);
            return;
        }
        d.streaming = true;
        d.due = 0;
        robot.Log("desktop: streaming %dx%d at %d pictures/s", w, h, robot.Options().desktopFps);
        SendDesktop(robot, d);
    });
    robot.On(msg::kDesktopScreen, [&robot, &d](CStream& payload, int32_t length) {
        int32_t x = 0, y = 0;
        if (ReadPoint(robot, payload, length, x, y)) {
            d.lastPressX = x;
            d.lastPressY = y;
            Changed(robot, d, d.scene->LeftDown(x, y));
        }
    });
    robot.On(msg::kDesktopControl2, [&robot, &d](CStream& payload, int32_t length) {
        int32_t x = 0, y = 0;
        if (ReadPoint(robot, payload, length, x, y))
            Changed(robot, d, d.scene->LeftMove(x, y));
    });
    robot.On(msg::kDesktopControl3, [&robot, &d](CStream& payload, int32_t length) {
        int32_t x = 0, y = 0;
        if (ReadPoint(robot, payload, length, x, y))
            Changed(robot, d, d.scene->LeftUp(x, y));
    });
    robot.On(msg::kDesktopRightDown, [&robot, &d](CStream& payload, int32_t length) {
        int32_t x = 0, y = 0;
        if (ReadPoint(robot, payload, length, x, y)) {
            d.lastPressX = x;
            d.lastPressY = y;
            Changed(robot, d, d.scene->RightDown(x, y));
        }
    });
    robot.On(msg::kDesktopRightUp, [&robot, &d](CStream& payload, int32_t length) {
        int32_t x = 0, y = 0;
        if (ReadPoint(robot, payload, length, x, y))
            Changed(robot, d, d.scene->RightUp(x, y));
    });
    robot.On(msg::kDesktopControl9, [&robot, &d](CStream& payload, int32_t length) {
        if (length < 6) {
            ++d.ignored;
            return;
        }
        const uint8_t vk = ReadU8(payload);
        ReadU8(payload);  // the scan code: the virtual key says it all here
        const uint32_t flags = ReadU32(payload);
        ++d.inputs;
        Changed(robot, d, d.scene->Key(vk, (flags & 2) == 0));
    });
    robot.OnSession([&robot, &d] {
        if (d.streaming)
            StopStream(robot, d);
    });
    robot.OnTick([&robot, &d](uint32_t elapsedMs) {
        if (!d.streaming)
            return;
        d.sinceKeepAlive += elapsedMs;
        if (d.sinceKeepAlive > kDesktopIdleMs || !robot.Authorised()) {
            StopStream(robot, d);
            return;
        }
        d.due += elapsedMs * static_cast<uint32_t>(std::max(1, robot.Options().desktopFps));
        if (d.due < 1000)
            return;
        // One picture per tick at most: after a stall pictures are skipped.
        d.due = d.due >= 2000 ? 0 : d.due - 1000;
        SendDesktop(robot, d);
    });
}

}  // namespace velcora::sim
