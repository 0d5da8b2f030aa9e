#include "ui/layout_geometry.h"

#include <algorithm>

namespace velcora::ui {

bool IsPlacementCode(uint32_t place) {
    return place >= kPlaceFlow && place <= kPlaceScreenCentre;
}

uint32_t PackPosition(int x, int y) {
    return (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16) | static_cast<uint16_t>(x);
}

void UnpackPosition(uint32_t place, int& x, int& y) {
    x = static_cast<int16_t>(place & 0xFFFF);
    y = static_cast<int16_t>(place >> 16);
}

VRect ApplyAnchors(VRect r, unsigned anchors, VSize before, VSize after) {
    const int dw = after.w - before.w;
    const int dh = after.h - before.h;
    if ((anchors & (kAnchorLeft | kAnchorRight)) == (kAnchorLeft | kAnchorRight)) {
        r.w = std::max(0, r.w + dw);
    } else if (anchors & kAnchorRight) {
        r.x += dw;
    } else if (anchors & kAnchorCentreX) {
        // Halving each size instead of the change keeps a centred control from
        // drifting when the container grows one pixel at a time.
        r.x += after.w / 2 - before.w / 2;
    }
    if ((anchors & (kAnchorTop | kAnchorBottom)) == (kAnchorTop | kAnchorBottom)) {
        r.h = std::max(0, r.h + dh);
    } else if (anchors & kAnchorBottom) {
        r.y += dh;
    } else if (anchors & kAnchorCentreY) {
        r.y += after.h / 2 - before.h / 2;
    }
    return r;
}

VRect LayoutChildren(VRect client, VSize& remembered, std::vector<LayoutItem>& items) {
    VRect free = client;
    for (LayoutItem& it : items) {
        if (!it.visible) {
            continue;
        }
        switch (it.place) {
            case kAlignTop: {
                const int h = std::min(it.rect.h, free.h);
                it.rect = {free.x, free.y, free.w, it.rect.h};
                free.y += h;
                free.h -= h;
                break;
            }
            case kAlignLeft: {
                const int w = std::min(it.rect.w, free.w);
                it.rect = {free.x, free.y, it.rect.w, free.h};
                free.x += w;
                free.w -= w;
                break;
            }
            case kAlignRight: {
                const int w = std::min(it.rect.w, free.w);
                it.rect = {free.Right() - it.rect.w, free.y, it.rect.w, free.h};
                free.w -= w;
                break;
            }
            case kAlignBottom: {
                const int h = std::min(it.rect.h, free.h);
                it.rect = {free.x, free.Bottom() - it.rect.h, free.w, it.rect.h};
                free.h -= h;
                break;
            }
            default:
                break;
        }
    }
    for (LayoutItem& it : items) {
        if (it.visible && it.place == kAlignClient) {
            it.rect = free;
            break;
        }
    }
    const VSize now{client.w, client.h};
    // The very first layout only records the size: nothing placed before it
    // was placed against an older size, so there is no change to follow.
    if (remembered.w != 0 || remembered.h != 0) {
        for (LayoutItem& it : items) {
            if (it.place >= kAlignTop && it.place <= kAlignClient) {
                continue;
            }
            if (it.anchors != 0) {
                it.rect = ApplyAnchors(it.rect, it.anchors, remembered, now);
            }
        }
    }
    remembered = now;
    return free;
}

VRect FlowLayout::Place(int w, int h) {
    if (x_ + w > right_ && rowStart_ < placed_.size()) {
        CloseRow();
    }
    placed_.push_back({x_ + kGap, top_ + kGap, w, h});
    rowHeight_ = std::max(rowHeight_, h);
    x_ += w + kGap;
    if (rowCentred_) {
        RecentreRowVertically();
    }
    return placed_.back();
}

void FlowLayout::RecentreRowVertically() {
    for (std::size_t i = rowStart_; i < placed_.size(); ++i) {
        placed_[i].y = top_ + kGap + (rowHeight_ - placed_[i].h) / 2;
    }
}

void FlowLayout::CentreCurrentRow() {
    if (rowStart_ >= placed_.size()) {
        return;
    }
    const int spanLeft = placed_[rowStart_].x;
    const int spanRight = placed_.back().Right();
    const int room = right_ - left_;
    const int span = spanRight - spanLeft;
    if (span >= room) {
        return;  // a row wider than its column stays at the left edge
    }
    const int shift = left_ + (room - span) / 2 - spanLeft;
    for (std::size_t i = rowStart_; i < placed_.size(); ++i) {
        placed_[i].x += shift;
    }
    x_ += shift;
}

void FlowLayout::CloseRow() {
    if (centreRows_) {
        CentreCurrentRow();
    }
    top_ += kGap + (rowHeight_ > 0 ? rowHeight_ : kEmptyRowHeight);
    x_ = left_;
    rowHeight_ = 0;
    rowStart_ = placed_.size();
}

void FlowLayout::NewRow() {
    CloseRow();
}

void FlowLayout::BeginColumn(int left, int right, int top) {
    if (rowStart_ < placed_.size()) {
        CloseRow();
    }
    left_ = left;
    right_ = right;
    x_ = left;
    top_ = top;
    rowHeight_ = 0;
    rowStart_ = placed_.size();
}

int FlowLayout::Bottom() const {
    return rowStart_ < placed_.size() ? top_ + 2 * kGap + rowHeight_ : top_ + kGap;
}

HintTracker::Actions HintTracker::Tick(int elapsedMs, const void* control, int x, int y,
                                       bool hasText) {
    Actions a;
    if (control != current_) {
        a.left = current_;
        a.entered = control;
        a.hide = showing_;
        showing_ = false;
        current_ = control;
        x_ = x, y_ = y;
        rest_ = 0;
        return a;
    }
    if (x != x_ || y != y_) {
        a.hide = showing_;
        showing_ = false;
        x_ = x, y_ = y;
        rest_ = 0;
        return a;
    }
    rest_ += elapsedMs;
    if (!showing_ && control != nullptr && hasText && rest_ > kRestMs) {
        a.show = true;
        showing_ = true;
    }
    return a;
}

void HintTracker::Forget(const void* control) {
    if (current_ == control) {
        current_ = nullptr;
        showing_ = false;
        rest_ = 0;
    }
}

}  // namespace velcora::ui
