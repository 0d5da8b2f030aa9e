// The robot computer's desktop: keeps the robot streaming its screen, decodes
// the pictures, and turns the operator's mouse and keys into the robot's
// input messages. The desktop window and the command-line client are views
// over it; everything here is free of the toolkit and runs on the UI thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "link/dispatcher.h"
#include "link/robot_link.h"
#include "media/codec.h"
#include "media/desktop_keys.h"

namespace velcora::media {

// Interface texts (UTF-8).
inline constexpr std::string_view kDesktopTitle = "Удаленный рабочий стол";
inline constexpr std::string_view kDesktopCommand = "Удаленный рабочий стол";

// What the desktop tells its view.
class IRemoteDesktopView {
  public:
    virtual ~IRemoteDesktopView() = default;
    // The picture size changed: the scroll ranges follow the new content
    // size; called before the first picture of that size is shown.
    virtual void DesktopContentChanged(int32_t contentWidth, int32_t contentHeight) = 0;
    // A new picture is current; show it now.
    virtual void DesktopPictureChanged() = 0;
};

enum class MouseButton { Left, Right };

// A picture held elsewhere: 24-bit B, G, R rows at `pitch`, first row first.
struct PictureView {
    int32_t width = 0;
    int32_t height = 0;
    int32_t pitch = 0;
    const uint8_t* bgr = nullptr;
};

// Shortcuts a desktop environment takes for itself before a window sees them.
enum class SystemShortcut { AltTab, AltEsc, CtrlEsc };

class CRemoteDesktop {
  public:
    static constexpr int32_t kKeepAliveMs = 921;
    static constexpr int32_t kMinScreenPayload = 10;
    static constexpr int32_t kMaxSide = 4096;
    // Room kept around the picture in the scrolled content.
    static constexpr int32_t kContentMargin = 16;
    // How long the Alt+F4 sent to the robot excuses a local close request.
    static constexpr uint32_t kAltF4HoldMs = 500;
    static constexpr uint32_t kKeyDown = 0;
    static constexpr uint32_t kKeyUp = 2;

    // Registers for the robot's screen pictures for as long as it lives.
    // The scrollbar sizes count into the content size.
    CRemoteDesktop(IRobotLink& link, IRemoteDesktopView* view, int32_t scrollbarWidth = 0,
                   int32_t scrollbarHeight = 0);
    ~CRemoteDesktop();
    CRemoteDesktop(const CRemoteDesktop&) = delete;
    CRemoteDesktop& operator=(const CRemoteDesktop&) = delete;

    // --- the keep-alive, on the main window's tick
    void Tick(int32_t elapsedMs);
    int32_t KeepAliveCountdown() const { return countdown_; }

    // --- pictures
    // A screen message's payload. True when a new picture became current.
    bool HandleScreen(const uint8_t* data, int32_t length);
    // The current picture as decoded: the robot's bottom screen row first.
    PictureView Current() const;
    bool HasPicture() const { return hasPicture_; }
    int32_t Width() const { return hasPicture_ ? decoder_.Width() : 0; }
    int32_t Height() const { return hasPicture_ ? decoder_.Height() : 0; }
    // Pictures that became current so far.
    uint64_t Pictures() const { return pictures_; }
    // The announced size the decoder is open for (0 x 0 before any).
    int32_t StreamWidth() const { return streamWidth_; }
    int32_t StreamHeight() const { return streamHeight_; }

    // --- the view's geometry
    int32_t ContentWidth() const { return contentWidth_; }
    int32_t ContentHeight() const { return contentHeight_; }
    // The visible part of the content; the scroll position is clamped to it.
    void SetViewport(int32_t width, int32_t height);
    void ScrollTo(int32_t x, int32_t y);
    void ScrollBy(int32_t dx, int32_t dy) { ScrollTo(scrollX_ + dx, scrollY_ + dy); }
    int32_t ScrollX() const { return scrollX_; }
    int32_t ScrollY() const { return scrollY_; }
    int32_t MaxScrollX() const;
    int32_t MaxScrollY() const;

    // --- the mouse, in view (client) coordinates
    void MouseDown(MouseButton button, int32_t x, int32_t y);
    void MouseMove(int32_t x, int32_t y);
    void MouseUp(MouseButton button, int32_t x, int32_t y);
    bool LeftHeld() const { return leftHeld_; }

    // --- keys; `now` is the reactor's tick
    void KeyDown(DesktopKey key, bool autoRepeat, uint32_t now);
    void KeyUp(DesktopKey key, bool autoRepeat);
    // Tab or Esc pressed and released on the robot for a shortcut the local
    // desktop would take; the shortcut's own key-up is not sent again.
    void SendShortcut(SystemShortcut shortcut);
    // Presses the keys in order and releases them in reverse (menus and the
    // command line: "alt+f4").
    void SendCombo(const std::vector<DesktopKey>& keys);
    // Focus went elsewhere or the window closes: every key still down and
    // a held button are released on the robot.
    void ReleaseAll();
    // Keys the robot holds down, by virtual key.
    const std::map<uint8_t, DesktopKey>& HeldKeys() const { return held_; }

    // A local close request at `now`: false when it is the echo of an
    // Alt+F4 meant for the robot (sent within kAltF4HoldMs), which it uses up.
    bool AcceptClose(uint32_t now);

  private:
    void SendPoint(msg::Type type, int32_t x, int32_t y);
    void SendKey(DesktopKey key, uint32_t flags);
    bool InsidePicture(int32_t x, int32_t y) const;
    // View coordinates to picture coordinates clamped into the picture.
    void ClampToPicture(int32_t& x, int32_t& y) const;
    bool AltHeld() const;

    IRobotLink& link_;
    IRemoteDesktopView* view_;
    CMessageDispatcher::Registration registration_;
    int32_t scrollbarWidth_;
    int32_t scrollbarHeight_;
    int32_t countdown_ = 0;

    // The decoder keeps the current picture in its own buffer, reused from
    // picture to picture.
    CVideoDecoder decoder_;
    int32_t streamWidth_ = 0;
    int32_t streamHeight_ = 0;
    bool hasPicture_ = false;
    uint64_t pictures_ = 0;

    int32_t contentWidth_ = 0;
    int32_t contentHeight_ = 0;
    int32_t viewportWidth_ = 0;
    int32_t viewportHeight_ = 0;
    int32_t scrollX_ = 0;
    int32_t scrollY_ = 0;

    bool leftHeld_ = false;
    bool rightHeld_ = false;
    // Where the last button message pointed (picture coordinates), for a
    // release still owed when the focus goes.
    int32_t lastX_ = 0;
    int32_t lastY_ = 0;
    std::map<uint8_t, DesktopKey> held_;
    // Keys whose release belongs to a shortcut already sent whole.
    std::map<uint8_t, DesktopKey> swallowed_;
    std::optional<uint32_t> altF4At_;
};

// The picture rows in screen order (the robot sends its bottom row first),
// packed at `pitch` (0: the picture's own). For saving and drawing upright.
std::vector<uint8_t> UprightRows(const PictureView& picture, int32_t pitch = 0);

}  // namespace velcora::media
