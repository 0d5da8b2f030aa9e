#include "media/remote_desktop.h"

#include <algorithm>
#include <cstring>

namespace velcora::media {

namespace {

uint16_t LoadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

CRemoteDesktop::CRemoteDesktop(IRobotLink& link, IRemoteDesktopView* view, int32_t scrollbarWidth,
                               int32_t scrollbarHeight)
    : link_(link),
      view_(view),
      scrollbarWidth_(std::max(scrollbarWidth, 0)),
      scrollbarHeight_(std::max(scrollbarHeight, 0)) {
    registration_ =
        link_.Dispatcher().Register(msg::kDesktopScreen, [this](CStream& payload, int32_t length) {
            if (length < kMinScreenPayload)
                return;
            const std::string bytes = ReadBytes(payload, length);
            HandleScreen(reinterpret_cast<const uint8_t*>(bytes.data()),
                         static_cast<int32_t>(bytes.size()));
        });
}

CRemoteDesktop::~CRemoteDesktop() {
    registration_.Reset();
    // Nothing the robot was told to hold stays held after the window is gone.
    ReleaseAll();
}

void CRemoteDesktop::Tick(int32_t elapsedMs) {
    if (!link_.Authorised())
        return;
    countdown_ -= elapsedMs;
    // A full send queue holds the keep-alive back to the next tick.
    if (countdown_ <= 0 && link_.CanSendPeriodic()) {
        countdown_ = kKeepAliveMs;
        link_.BeginFrame(msg::kDesktopKeepAlive);
        link_.EndFrame();
    }
}

bool CRemoteDesktop::HandleScreen(const uint8_t* data, int32_t length) {
    if (!data || length < kMinScreenPayload)
        return false;
    const int32_t width = LoadU16(data);
    const int32_t height = LoadU16(data + 2);
    // A size the robot cannot have is not worth a decoder.
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return false;
    if (!decoder_.IsOpen() || width != streamWidth_ || height != streamHeight_) {
        decoder_.Close();
        hasPicture_ = false;
        streamWidth_ = 0;
        streamHeight_ = 0;
        if (!decoder_.Open(width, height))
            return false;
        streamWidth_ = width;
        streamHeight_ = height;
        contentWidth_ = width + scrollbarWidth_ + kContentMargin;
        contentHeight_ = height + scrollbarHeight_ + kContentMargin;
        ScrollTo(scrollX_, scrollY_);
        if (view_)
            view_->DesktopContentChanged(contentWidth_, contentHeight_);
    }
    if (decoder_.Decode(data + 4, length - 4) != 1 || !decoder_.Bgr())
        return false;
    hasPicture_ = true;
    ++pictures_;
    if (view_)
        view_->DesktopPictureChanged();
    return true;
}

PictureView CRemoteDesktop::Current() const {
    if (!hasPicture_)
        return {};
    return {decoder_.Width(), decoder_.Height(), decoder_.Pitch(), decoder_.Bgr()};
}

void CRemoteDesktop::SetViewport(int32_t width, int32_t height) {
    viewportWidth_ = std::max(width, 0);
    viewportHeight_ = std::max(height, 0);
    ScrollTo(scrollX_, scrollY_);
}

int32_t CRemoteDesktop::MaxScrollX() const {
    return std::max(contentWidth_ - viewportWidth_, 0);
}

int32_t CRemoteDesktop::MaxScrollY() const {
    return std::max(contentHeight_ - viewportHeight_, 0);
}

void CRemoteDesktop::ScrollTo(int32_t x, int32_t y) {
    scrollX_ = std::clamp(x, 0, MaxScrollX());
    scrollY_ = std::clamp(y, 0, MaxScrollY());
}

bool CRemoteDesktop::InsidePicture(int32_t x, int32_t y) const {
    return hasPicture_ && x >= 0 && y >= 0 && x < decoder_.Width() && y < decoder_.Height();
}

void CRemoteDesktop::ClampToPicture(int32_t& x, int32_t& y) const {
    // A drag that leaves the picture stays on its edge; unclamped, a point
    // left of it would wrap to the far right of the robot's screen.
    const int32_t w = hasPicture_ ? decoder_.Width() : streamWidth_;
    const int32_t h = hasPicture_ ? decoder_.Height() : streamHeight_;
    x = std::clamp(x, 0, std::max(w - 1, 0));
    y = std::clamp(y, 0, std::max(h - 1, 0));
}

void CRemoteDesktop::SendPoint(msg::Type type, int32_t x, int32_t y) {
    lastX_ = x;
    lastY_ = y;
    if (!link_.Authorised())
        return;
    CStream& s = link_.BeginFrame(type);
    WriteU16(s, static_cast<uint16_t>(x * 2));
    WriteU16(s, static_cast<uint16_t>(y * 2));
    link_.EndFrame();
}

void CRemoteDesktop::MouseDown(MouseButton button, int32_t x, int32_t y) {
    const int32_t px = x + scrollX_;
    const int32_t py = y + scrollY_;
    if (!InsidePicture(px, py))
        return;
    if (button == MouseButton::Left) {
        leftHeld_ = true;
        SendPoint(msg::kDesktopScreen, px, py);
    } else {
        rightHeld_ = true;
        SendPoint(msg::kDesktopRightDown, px, py);
    }
}

void CRemoteDesktop::MouseMove(int32_t x, int32_t y) {
    if (!leftHeld_)
        return;
    int32_t px = x + scrollX_;
    int32_t py = y + scrollY_;
    ClampToPicture(px, py);
    SendPoint(msg::kDesktopControl2, px, py);
}

void CRemoteDesktop::MouseUp(MouseButton button, int32_t x, int32_t y) {
    int32_t px = x + scrollX_;
    int32_t py = y + scrollY_;
    ClampToPicture(px, py);
    // A release follows its press wherever the pointer went meanwhile, so the
    // robot never keeps a button down.
    if (button == MouseButton::Left && leftHeld_) {
        leftHeld_ = false;
        SendPoint(msg::kDesktopControl3, px, py);
    } else if (button == MouseButton::Right && rightHeld_) {
        rightHeld_ = false;
        SendPoint(msg::kDesktopRightUp, px, py);
    }
}

void CRemoteDesktop::SendKey(DesktopKey key, uint32_t flags) {
    if (!link_.Authorised())
        return;
    CStream& s = link_.BeginFrame(msg::kDesktopControl9);
    WriteU8(s, key.vk);
    WriteU8(s, static_cast<uint8_t>(key.scan & 0x7F));
    WriteU32(s, flags);
    link_.EndFrame();
}

bool CRemoteDesktop::AltHeld() const {
    return std::any_of(held_.begin(), held_.end(),
                       [](const auto& entry) { return IsAltKey(entry.first); });
}

void CRemoteDesktop::KeyDown(DesktopKey key, bool autoRepeat, uint32_t now) {
    (void)autoRepeat;  // held keys repeat on the robot as they do here
    if (key.vk == vk::kF4 && AltHeld())
        altF4At_ = now;
    held_[key.vk] = key;
    SendKey(key, kKeyDown);
}

void CRemoteDesktop::KeyUp(DesktopKey key, bool autoRepeat) {
    // Between two repeated presses no key went up.
    if (autoRepeat)
        return;
    if (swallowed_.erase(key.vk) != 0 && held_.find(key.vk) == held_.end())
        return;
    held_.erase(key.vk);
    SendKey(key, kKeyUp);
}

void CRemoteDesktop::SendShortcut(SystemShortcut shortcut) {
    const DesktopKey key = shortcut == SystemShortcut::AltTab ? kTabKey : kEscapeKey;
    SendKey(key, kKeyDown);
    SendKey(key, kKeyUp);
    held_.erase(key.vk);
    swallowed_[key.vk] = key;
}

void CRemoteDesktop::SendCombo(const std::vector<DesktopKey>& keys) {
    for (const DesktopKey& key : keys)
        SendKey(key, kKeyDown);
    for (auto it = keys.rbegin(); it != keys.rend(); ++it)
        SendKey(*it, kKeyUp);
}

void CRemoteDesktop::ReleaseAll() {
    for (const auto& [code, key] : held_)
        SendKey(key, kKeyUp);
    held_.clear();
    swallowed_.clear();
    if (leftHeld_) {
        leftHeld_ = false;
        SendPoint(msg::kDesktopControl3, lastX_, lastY_);
    }
    if (rightHeld_) {
        rightHeld_ = false;
        SendPoint(msg::kDesktopRightUp, lastX_, lastY_);
    }
}

bool CRemoteDesktop::AcceptClose(uint32_t now) {
    const bool echo = altF4At_ && now - *altF4At_ < kAltF4HoldMs;
    altF4At_.reset();
    return !echo;
}

std::vector<uint8_t> UprightRows(const PictureView& picture, int32_t pitch) {
    if (!picture.bgr || picture.width <= 0 || picture.height <= 0)
        return {};
    const int32_t rowBytes = picture.width * 3;
    if (pitch < rowBytes)
        pitch = std::max(picture.pitch, rowBytes);
    std::vector<uint8_t> out(static_cast<size_t>(pitch) * static_cast<size_t>(picture.height));
    for (int32_t y = 0; y < picture.height; ++y) {
        const uint8_t* from = picture.bgr + static_cast<size_t>(picture.height - 1 - y) *
                                                static_cast<size_t>(picture.pitch);
        std::memcpy(out.data() + static_cast<size_t>(y) * static_cast<size_t>(pitch), from,
                    static_cast<size_t>(rowBytes));
    }
    return out;
}

}  // namespace velcora::media
