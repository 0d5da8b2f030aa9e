// The time-line editor without its window: the cyclogram being edited, the
// view state (scale, scroll, time cursor, fragment marks, tool, current
// track), mouse, wheel and keys, both pop-up menus, the clipboard, key
// recording, undo and redo, the enabling and pressed state of every button,
// and a paint list of what is visible. The window paints the list and turns
// its events into these calls; the questions and dialogs go back through
// ITimeLineView.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "cyclogram/cyclogram.h"
#include "cyclogram/time_line_geometry.h"

namespace velcora {

// The clipboard under the cyclogram format (application/x-velcora-cyclogram).
class IClipboard {
  public:
    virtual ~IClipboard() = default;
    virtual bool HasCyclogram() const = 0;
    // False when the clipboard holds no cyclogram data.
    virtual bool GetCyclogram(std::string& bytes) const = 0;
    // Replaces the clipboard's contents.
    virtual void SetCyclogram(const std::string& bytes) = 0;
};

// A clipboard held in memory (command-line use, tests, fuzzing).
class CMemoryClipboard : public IClipboard {
  public:
    bool HasCyclogram() const override { return has_; }
    bool GetCyclogram(std::string& bytes) const override {
        bytes = bytes_;
        return has_;
    }
    void SetCyclogram(const std::string& bytes) override {
        bytes_ = bytes;
        has_ = true;
    }
    void Clear() {
        bytes_.clear();
        has_ = false;
    }

  private:
    std::string bytes_;
    bool has_ = false;
};

struct TrackProperties {
    int32_t motor = 0;
    bool locked = false;
    bool disabled = false;
};

class ITimeLineView {
  public:
    virtual ~ITimeLineView() = default;
    // Something visible changed: paint again.
    virtual void Invalidate() = 0;
    // The document, the selection, the clipboard or the tool changed: the
    // buttons' enabling and pressed state may differ.
    virtual void OnCommandStateChanged() {}
    // Yes/No question (UTF-8); true for Yes.
    virtual bool Confirm(const std::string& title, const std::string& text) = 0;
    virtual void ShowError(const std::string& text) = 0;
    // "Свойства трека"; false for Cancel.
    virtual bool EditTrackProperties(TrackProperties& properties) = 0;
    // The audio block dialog; false for Cancel.
    virtual bool EditAudioBlock(AudioBlock& block) = 0;
};

struct InputMods {
    bool shift = false;
    bool ctrl = false;
};

enum class TimeLineKey { Delete, A, C, X, V, Z, Y, Left, Right, Home, Other };

enum class TimeLineTool : int32_t { Select = 0, TimeOnly = 1, RightPart = 2, Values = 3 };

enum class TimeLineCommand {
    ToolSelect,
    ToolTimeOnly,
    ToolRightPart,
    ToolValues,
    Copy,
    Cut,
    Paste,
    PasteTrack,
    Delete,
    InStep,
    InLinear,
    InBezier,
    OutStep,
    OutLinear,
    OutBezier,
    FragmentStart,
    FragmentEnd,
    FragmentCancel,
    Loop,
    ZoomIn,
    ZoomOut,
    Undo,
    Redo,
    SelectCurrent,
    SelectAll,
    // Pop-up menus: about the row under the menu.
    TrackProperties,
    RemoveTrack,
    AddTrack,
    AddAudioTrack,
    BlockProperties,
    InsertBlock,
};

enum class HitKind {
    None,
    Ruler,
    DeleteIcon,
    LockIcon,
    OnOffIcon,
    Header,
    Key,
    InHandle,
    OutHandle,
    Block,
    Resize,
    Area,
};

struct TimeLineHit {
    HitKind kind = HitKind::None;
    // Motor track index, or the sound row (== track count).
    int32_t row = -1;
    // Key or block index.
    int32_t item = -1;
    int64_t time = 0;
};

enum class TimeLinePopup { None, Header, Area };

struct ScrollRange {
    int32_t total = 0;  // content size in pixels
    int32_t page = 0;   // visible size
    int32_t max() const { return total > page ? total - page : 0; }
};

// What the visible part of the time line looks like, in pixels, without Qt.
struct TimeLinePaintList {
    struct Point {
        int x, y;
    };
    struct Row {
        int y = 0, h = 0;
        int32_t track = -1;  // -1: the sound track
        bool current = false, locked = false, disabled = false;
        std::string label;  // "Мотор" / "Звук"
        std::string motor;  // the motor number under the label
    };
    struct Polyline {
        std::size_t first = 0, count = 0;
        bool locked = false;
    };
    struct Key {
        int x, y;
        bool selected, locked;
    };
    struct Handle {
        int kx, ky, hx, hy;
    };
    struct Block {
        int x0, y0, x1, y1;
        bool selected;
        std::string text;  // UTF-8
    };
    struct Label {
        int x;
        std::string text;
    };
    int width = 0, height = 0;
    int areaRight = 0;                   // right edge of the track area
    int fragmentX0 = 0, fragmentX1 = 0;  // equal: no fragment
    bool hasFragment = false;
    std::vector<Row> rows;
    std::vector<RulerTick> ticks;
    std::vector<Label> labels;
    std::vector<Point> points;
    std::vector<Polyline> lines;
    std::vector<Key> keys;
    std::vector<Handle> handles;
    std::vector<Block> blocks;
    bool band = false;
    int bandX0 = 0, bandY0 = 0, bandX1 = 0, bandY1 = 0;
    int cursorX = 0;
    void Clear();
};

// The pose a document gives the trackers at time t: for every motor track
// that is not disabled and has a tracker with its motor number.
struct PoseEntry {
    int32_t tracker = 0;
    int32_t motor = 0;
    float position = 0.5f;
};
std::vector<PoseEntry> PoseAt(const CCyclogram& doc, const CCyclogramEnv& env, int32_t t);

class CTimeLine {
  public:
    // Undo keeps at least this many steps while they fit in the budget.
    static constexpr std::size_t kUndoBudgetBytes = 64u << 20;

    CTimeLine(ITimeLineView& view, IClipboard& clipboard);
    ~CTimeLine();

    // ---- document
    const CCyclogram& Document() const { return *doc_; }
    // Replaces the document (loaded or new): view state back to the start,
    // undo cleared, not modified.
    void SetDocument(std::unique_ptr<CCyclogram> doc);
    // Replaces the document as an edit (a file imported over it): one undo step.
    void ReplaceDocument(std::unique_ptr<CCyclogram> doc);
    bool Modified() const { return modified_; }
    // Each edit gives the document a new generation; an upload remembers the
    // generation it sent and, when it succeeds, marks that one as stored.
    uint64_t Generation() const { return generation_; }
    void MarkSaved(uint64_t generation);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }

    // ---- view state
    double Scale() const { return scale_; }
    void SetScale(double scale);
    int32_t HScroll() const { return hScroll_; }
    int32_t VScroll() const { return vScroll_; }
    void SetHScroll(int64_t v);
    void SetVScroll(int64_t v);
    int32_t CurrentTime() const { return currentTime_; }
    void SetCurrentTime(int64_t t);
    int32_t FragmentStart() const { return fragmentStart_; }
    int32_t FragmentEnd() const { return fragmentEnd_; }
    TimeLineTool Tool() const { return tool_; }
    void SetTool(TimeLineTool tool);
    int32_t CurrentTrack() const { return currentTrack_; }
    void SetCurrentTrack(int32_t track);
    void SetClientSize(int w, int h);
    int ClientWidth() const { return width_; }
    int ClientHeight() const { return height_; }
    ScrollRange VerticalRange() const;
    ScrollRange HorizontalRange() const;

    // ---- geometry
    int32_t RowCount() const;
    int64_t RowTop(int32_t row) const;
    int32_t RowHeight(int32_t row) const;
    bool IsSoundRow(int32_t row) const;
    TimeLineHit HitTest(int x, int y) const;
    // The hint over a header icon (UTF-8), empty elsewhere.
    std::string HintAt(int x, int y) const;
    // Whether the pointer would resize a row there.
    bool ResizeCursorAt(int x, int y) const;

    // ---- input
    void MouseDown(int x, int y, InputMods mods);
    void MouseMove(int x, int y, InputMods mods);
    void MouseUp(int x, int y, InputMods mods);
    void DoubleClick(int x, int y, InputMods mods);
    // notches > 0: towards the user.
    void Wheel(int notches, InputMods mods);
    bool KeyDown(TimeLineKey key, InputMods mods);
    bool Dragging() const { return drag_.kind != DragKind::None; }

    // ---- pop-up menus: which one opens at (x, y); the menu's commands are
    // about that row (and block).
    TimeLinePopup PreparePopup(int x, int y);
    // For Ctrl+Shift+V: the current track.
    void PopupOnCurrentTrack();

    // ---- commands
    bool Enabled(TimeLineCommand c) const;
    bool Pressed(TimeLineCommand c) const;
    void Run(TimeLineCommand c, InputMods mods = {});

    // ---- trackers
    // A tracker moved (or every tracker when recording all): a key at the
    // current time on the first track of that motor.
    void RecordKey(int32_t motor, float value);
    void SetApplyingPose(bool on) { applyingPose_ = on; }
    bool ApplyingPose() const { return applyingPose_; }
    // Edits between these make one undo step (a tracker drag, recording all).
    void BeginGesture();
    void EndGesture();

    std::size_t UndoSteps() const { return undo_.size(); }
    std::size_t RedoSteps() const { return redo_.size(); }
    std::size_t UndoBytes() const { return undoBytes_; }

    // ---- painting: the visible part only.
    void BuildPaintList(TimeLinePaintList& out) const;

  private:
    enum class DragKind { None, Ruler, Track, Resize, Items, Handle, Band, Icon };
    struct Drag {
        DragKind kind = DragKind::None;
        TimeLineHit press;
        int pressX = 0, pressY = 0;
        int x = 0, y = 0;
        int64_t anchor = 0;
        bool setsValue = false;
        bool moved = false;
    };
    struct Snapshot {
        std::string packed;  // deflated record + row heights
        uint64_t generation = 0;
        std::size_t Bytes() const { return packed.size() + sizeof(Snapshot); }
    };

    int AreaRight() const;
    int AreaBottom() const;
    void ClampScroll();
    void Changed();  // after every edit of the document
    void Refresh();  // repaint and re-enable
    void BeforeChange();
    Snapshot Capture() const;
    bool Restore(const Snapshot& s);
    void PushUndo(Snapshot s);
    void TrimUndo();
    void Undo();
    void Redo();
    // Undo and redo alike: the newest snapshot of `from` becomes the document
    // and what the document was goes onto `to`; nothing moves when the
    // snapshot cannot be restored.
    void StepHistory(std::deque<Snapshot>& from, std::deque<Snapshot>& to);

    void DragItems(int x, int y);
    void DragHandle(int x, int y);
    void FinishBand(const Drag& drag);
    void ReleaseOnIcon(const TimeLineHit& hit);
    void SetKeyValueFromMouse(int32_t row, int32_t key, int y);
    bool SingleSelectedKey(int32_t& row, int32_t& key) const;
    bool HandleShown(const CCyclogramTrack& t, int32_t key, bool incoming) const;
    void HandlePoint(int32_t row, int32_t key, bool incoming, int& hx, int& hy) const;
    void ClickItem(int32_t row, int32_t item, InputMods mods);
    void SetInMode(int32_t mode);
    void SetOutMode(int32_t mode);
    int32_t SharedMode(bool incoming) const;
    void Copy();
    void Cut();
    void Paste();
    void PasteTrack(int32_t row);
    void DeleteSelected();
    void SelectCurrent(InputMods mods);
    void SetFragment(TimeLineCommand c);
    void Zoom(double factor);
    void EditTrack(int32_t row);
    void RemoveTrack(int32_t row);
    void EditBlock(int32_t item);
    void InsertBlock();
    bool ReadClipboard(CCyclogram& clip) const;

    ITimeLineView& view_;
    IClipboard& clipboard_;
    std::unique_ptr<CCyclogram> doc_;
    bool modified_ = false;
    bool visible_ = false;
    uint64_t generation_ = 0;
    uint64_t nextGeneration_ = 0;
    uint64_t savedGeneration_ = 0;
    double scale_ = kDefaultScale;
    int32_t hScroll_ = 0;
    int32_t vScroll_ = 0;
    int32_t currentTime_ = 0;
    int32_t fragmentStart_ = 0;
    int32_t fragmentEnd_ = 0;
    TimeLineTool tool_ = TimeLineTool::Select;
    int32_t currentTrack_ = -1;
    bool applyingPose_ = false;
    int width_ = 0;
    int height_ = 0;
    Drag drag_;
    int32_t menuRow_ = -1;
    int32_t menuBlock_ = -1;
    int gestureDepth_ = 0;
    bool gestureCaptured_ = false;
    std::deque<Snapshot> undo_;
    std::deque<Snapshot> redo_;
    std::size_t undoBytes_ = 0;
};

}  // namespace velcora
