// Placement, anchoring and flow arithmetic of the control family, kept free of
// any toolkit so that the rules can be exercised directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velcora::ui {

struct VRect {
    int x = 0, y = 0, w = 0, h = 0;
    int Right() const { return x + w; }
    int Bottom() const { return y + h; }
    bool operator==(const VRect&) const = default;
};

struct VSize {
    int w = 0, h = 0;
    bool operator==(const VSize&) const = default;
};

// The position argument of a create call: a packed position or one of these.
inline constexpr uint32_t kPlaceFlow = 0x80008000u;
inline constexpr uint32_t kAlignTop = 0x80008001u;
inline constexpr uint32_t kAlignLeft = 0x80008002u;
inline constexpr uint32_t kAlignRight = 0x80008003u;
inline constexpr uint32_t kAlignBottom = 0x80008004u;
inline constexpr uint32_t kAlignClient = 0x80008005u;
inline constexpr uint32_t kPlaceScreenCentre = 0x80008006u;

bool IsPlacementCode(uint32_t place);
// x in the low 16 bits, y in the high 16 bits, both signed.
uint32_t PackPosition(int x, int y);
void UnpackPosition(uint32_t place, int& x, int& y);

// Anchor bits.
inline constexpr unsigned kAnchorLeft = 0x01;
inline constexpr unsigned kAnchorTop = 0x02;
inline constexpr unsigned kAnchorRight = 0x04;
inline constexpr unsigned kAnchorBottom = 0x08;
inline constexpr unsigned kAnchorCentreX = 0x10;
inline constexpr unsigned kAnchorCentreY = 0x20;

// One child as the re-layout sees it, in z-order.
struct LayoutItem {
    uint32_t place = 0;  // placement code, packed position or kPlaceFlow
    unsigned anchors = 0;
    VRect rect;
    bool visible = true;  // hidden children take no room in the alignment
};

// Re-lays out the children of a container whose client area is `client`.
// `remembered` is the client size seen by the previous layout; it is updated.
// Returns the area left free after the alignment (where a fill child goes).
VRect LayoutChildren(VRect client, VSize& remembered, std::vector<LayoutItem>& items);

// Moves and stretches one anchored rectangle for a change of the container's
// client size from `before` to `after`.
VRect ApplyAnchors(VRect r, unsigned anchors, VSize before, VSize after);

// The flow-layout cursor of a container.
class FlowLayout {
  public:
    static constexpr int kGap = 8;
    static constexpr int kEmptyRowHeight = 18;

    FlowLayout(int left, int top, int right) : left_(left), right_(right), x_(left), top_(top) {}

    // Places a control of the given size and returns where it goes. Earlier
    // controls of the row may move too (centred rows); see Placed().
    VRect Place(int w, int h);
    // Closes the current row; an empty row still takes kEmptyRowHeight.
    void NewRow();
    // Leaves `px` pixels of room before the next control.
    void AddGap(int px) { x_ += px; }
    // Closes the row and continues in the column between `left` and `right`,
    // starting at `top`.
    void BeginColumn(int left, int right, int top);
    // Controls of the current and later rows are centred vertically in their row.
    void SetRowCentred(bool on) { rowCentred_ = on; }
    // Finished rows are centred horizontally between the bounds.
    void SetCentreRows(bool on) { centreRows_ = on; }
    // Centres the controls of the current row horizontally now.
    void CentreCurrentRow();

    // Every rectangle placed so far, in placing order.
    const std::vector<VRect>& Placed() const { return placed_; }
    int X() const { return x_; }
    int Top() const { return top_; }
    int RowHeight() const { return rowHeight_; }
    int Left() const { return left_; }
    int Right() const { return right_; }
    // Bottom of everything placed so far, including the gap under the last row.
    int Bottom() const;

  private:
    void CloseRow();
    void RecentreRowVertically();

    int left_, right_;
    int x_;
    int top_;
    int rowHeight_ = 0;
    bool rowCentred_ = false;
    bool centreRows_ = false;
    std::size_t rowStart_ = 0;  // index in placed_ of the row's first control
    std::vector<VRect> placed_;
};

// The hover-hint watch, fed every 50 ms with what lies under the cursor.
class HintTracker {
  public:
    static constexpr int kTickMs = 50;
    static constexpr int kRestMs = 300;

    struct Actions {
        const void* left = nullptr;     // told that the mouse left it
        const void* entered = nullptr;  // told that the mouse entered it
        bool hide = false;              // close the open hint
        bool show = false;              // open the hint for Current()
    };

    // `control` is the control under the cursor (nullptr for none) and
    // `hasText` whether it has a hint text.
    Actions Tick(int elapsedMs, const void* control, int x, int y, bool hasText);
    // A control is going away: forget it so that it is never told anything.
    void Forget(const void* control);

    const void* Current() const { return current_; }
    bool Showing() const { return showing_; }

  private:
    const void* current_ = nullptr;
    int x_ = 0, y_ = 0;
    int rest_ = 0;
    bool showing_ = false;
};

}  // namespace velcora::ui
