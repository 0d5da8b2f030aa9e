#include "cyclogram/time_line.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "cyclogram/cyclogram_format.h"
#include "link/text_codec.h"

namespace velcora {

namespace {

constexpr const char* kDeleteTrackTitle = "Удалить трек";
constexpr const char* kDeleteTrackQuestion = "Удалить данный трек?";
constexpr const char* kClipboardFormatError = "Ошибка формата в буфере обмена";
constexpr const char* kPasteDoesNotFit =
    "Невозможно вставить фрагмент из буфера обмена в данное место";
constexpr const char* kPasteTrackRefused =
    "Содержимое буфера обмена невозможно вставить на данный трек!";
constexpr const char* kBlockDoesNotFit = "В данное место нельзя вставить аудиоблок";
constexpr double kZoomStep = 1.5;
constexpr double kWheelZoomStep = 1.2;
// Blocks are hit and banded at this depth below their row's top.
constexpr int kBlockBandDepth = 20;
constexpr int kBlockInset = 3;
constexpr int64_t kI32Max = std::numeric_limits<int32_t>::max();

int32_t Saturate(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), kI32Max));
}

int64_t KeyTime(const CyclogramKey& k) {
    return k.time;
}

bool Near(int64_t a, int64_t b) {
    return a - b > -kHitTolerance && a - b < kHitTolerance;
}

double Bezier(double s, const double x[4]) {
    const double r = 1.0 - s;
    return r * r * r * x[0] + 3.0 * s * r * r * x[1] + 3.0 * s * s * r * x[2] + s * s * s * x[3];
}

// The control points of the Bezier segment from k to n, as the value rule has them.
void SegmentControls(const CyclogramKey& k, const CyclogramKey& n, double p[4], double q[4]) {
    const double d = std::max(static_cast<double>(static_cast<int64_t>(n.time) - k.time), 20.0);
    double outLength = k.outLength, outDelta = k.outDelta;
    if (k.outMode == kInterpolationLinear) {
        outLength = d;
        outDelta = static_cast<double>(n.value) - k.value;
    } else if (k.outMode == kInterpolationStep) {
        outLength = d;
        outDelta = 0.0;
    }
    double inLength = n.inLength, inDelta = n.inDelta;
    if (n.inMode == kInterpolationLinear) {
        inLength = d;
        inDelta = static_cast<double>(k.value) - n.value;
    } else if (n.inMode == kInterpolationStep) {
        inLength = d;
        inDelta = 0.0;
    }
    outLength = std::min(outLength, d);
    inLength = std::min(inLength, d);
    p[0] = k.time;
    p[1] = k.time + outLength;
    p[2] = n.time - inLength;
    p[3] = n.time;
    q[0] = k.value;
    q[1] = k.value + outDelta;
    q[2] = n.value + inDelta;
    q[3] = n.value;
}

// Builds a polyline, merging the points that fall on one pixel column into
// its two extremes, in the order the curve passes them: the column is drawn
// from the lowest to the highest point either way.
class PolylineBuilder {
  public:
    explicit PolylineBuilder(std::vector<TimeLinePaintList::Point>& points) : points_(points) {}
    void Add(int x, int y) {
        if (has_ && x == colX_) {
            yMin_ = std::min(yMin_, y);
            yMax_ = std::max(yMax_, y);
            yLast_ = y;
            return;
        }
        Flush();
        has_ = true;
        colX_ = x;
        yFirst_ = yMin_ = yMax_ = yLast_ = y;
    }
    void Flush() {
        if (!has_) {
            return;
        }
        if (yFirst_ <= yLast_) {
            Emit(yMin_);
            Emit(yMax_);
        } else {
            Emit(yMax_);
            Emit(yMin_);
        }
        has_ = false;
    }

  private:
    void Emit(int y) {
        if (!points_.empty() && emitted_ && points_.back().x == colX_ && points_.back().y == y) {
            return;
        }
        points_.push_back({colX_, y});
        emitted_ = true;
    }
    std::vector<TimeLinePaintList::Point>& points_;
    bool has_ = false;
    bool emitted_ = false;
    int colX_ = 0, yFirst_ = 0, yMin_ = 0, yMax_ = 0, yLast_ = 0;  // of the open column
};

}  // namespace

void TimeLinePaintList::Clear() {
    rows.clear();
    ticks.clear();
    labels.clear();
    points.clear();
    lines.clear();
    keys.clear();
    handles.clear();
    blocks.clear();
    band = false;
    hasFragment = false;
}

std::vector<PoseEntry> PoseAt(const CCyclogram& doc, const CCyclogramEnv& env, int32_t t) {
    std::vector<PoseEntry> pose;
    for (int32_t i = 0; i < doc.trackCount(); ++i) {
        const CCyclogramTrack& track = doc.track(i);
        if (track.disabled) {
            continue;
        }
        const int32_t tracker = env.findTracker(track.motor);
        if (tracker >= 0) {
            pose.push_back({tracker, track.motor, track.valueAt(t)});
        }
    }
    return pose;
}

CTimeLine::CTimeLine(ITimeLineView& view, IClipboard& clipboard)
    : view_(view), clipboard_(clipboard), doc_(std::make_unique<CCyclogram>()) {}

CTimeLine::~CTimeLine() = default;

// ------------------------------------------------------------- document

void CTimeLine::SetDocument(std::unique_ptr<CCyclogram> doc) {
    doc_ = doc ? std::move(doc) : std::make_unique<CCyclogram>();
    for (int32_t i = 0; i < doc_->trackCount(); ++i) {
        auto& t = doc_->track(i);
        t.height = std::clamp(t.height, kMinTrackHeight, kMaxTrackHeight);
    }
    undo_.clear();
    redo_.clear();
    undoBytes_ = 0;
    generation_ = ++nextGeneration_;
    savedGeneration_ = generation_;
    modified_ = false;
    currentTime_ = 0;
    fragmentStart_ = fragmentEnd_ = 0;
    hScroll_ = vScroll_ = 0;
    currentTrack_ = -1;
    drag_ = {};
    gestureDepth_ = 0;
    gestureCaptured_ = false;
    menuRow_ = menuBlock_ = -1;
    Refresh();
}

void CTimeLine::ReplaceDocument(std::unique_ptr<CCyclogram> doc) {
    if (!doc) {
        return;
    }
    BeforeChange();
    doc_ = std::move(doc);
    for (int32_t i = 0; i < doc_->trackCount(); ++i) {
        auto& t = doc_->track(i);
        t.height = std::clamp(t.height, kMinTrackHeight, kMaxTrackHeight);
    }
    currentTrack_ = -1;
    menuRow_ = menuBlock_ = -1;
    drag_ = {};
    Changed();
}

void CTimeLine::MarkSaved(uint64_t generation) {
    savedGeneration_ = generation;
    modified_ = generation_ != savedGeneration_;
    view_.OnCommandStateChanged();
}

void CTimeLine::Changed() {
    generation_ = ++nextGeneration_;
    modified_ = generation_ != savedGeneration_;
    ClampScroll();
    Refresh();
}

void CTimeLine::Refresh() {
    view_.Invalidate();
    view_.OnCommandStateChanged();
}

// ---------------------------------------------------------------- undo

CTimeLine::Snapshot CTimeLine::Capture() const {
    Snapshot s;
    s.generation = generation_;
    CMemoryStream m(1 << 16);
    if (!writeCyclogram(*doc_, m, WriteScope::Full)) {
        return s;
    }
    for (int32_t i = 0; i < doc_->trackCount(); ++i) {
        WriteI32(m, doc_->track(i).height);
    }
    const uLong raw = static_cast<uLong>(m.Size());
    uLongf packedSize = compressBound(raw);
    try {
        s.packed.resize(4 + packedSize);
    } catch (const std::bad_alloc&) {
        s.packed.clear();
        return s;
    }
    for (int i = 0; i < 4; ++i) {
        s.packed[static_cast<std::size_t>(i)] = static_cast<char>((raw >> (8 * i)) & 0xFF);
    }
    if (compress2(reinterpret_cast<Bytef*>(s.packed.data() + 4), &packedSize, m.Data(), raw, 1) !=
        Z_OK) {
        s.packed.clear();
        return s;
    }
    s.packed.resize(4 + packedSize);
    s.packed.shrink_to_fit();
    return s;
}

bool CTimeLine::Restore(const Snapshot& s) {
    if (s.packed.size() < 4) {
        return false;
    }
    uLongf raw = 0;
    for (int i = 0; i < 4; ++i) {
        raw |= static_cast<uLongf>(static_cast<uint8_t>(s.packed[static_cast<std::size_t>(i)]))
               << (8 * i);
    }
    std::string bytes;
    try {
        bytes.resize(raw);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (uncompress(reinterpret_cast<Bytef*>(bytes.data()), &raw,
                   reinterpret_cast<const Bytef*>(s.packed.data() + 4),
                   static_cast<uLong>(s.packed.size() - 4)) != Z_OK) {
        return false;
    }
    CMemoryStream m;
    if (!m.Assign(bytes)) {
        return false;
    }
    auto fresh = std::make_unique<CCyclogram>();
    if (!readCyclogram(m, *fresh)) {
        return false;
    }
    for (int32_t i = 0; i < fresh->trackCount(); ++i) {
        fresh->track(i).height = std::clamp(ReadI32(m), kMinTrackHeight, kMaxTrackHeight);
    }
    doc_ = std::move(fresh);
    if (currentTrack_ >= doc_->trackCount()) {
        currentTrack_ = -1;
    }
    menuRow_ = menuBlock_ = -1;
    drag_ = {};
    generation_ = s.generation;
    modified_ = generation_ != savedGeneration_;
    ClampScroll();
    Refresh();
    return true;
}

void CTimeLine::PushUndo(Snapshot s) {
    if (s.packed.empty()) {
        return;  // nothing could be kept; the edit goes ahead without a step
    }
    for (const auto& r : redo_) {
        undoBytes_ -= r.Bytes();
    }
    redo_.clear();
    undoBytes_ += s.Bytes();
    undo_.push_back(std::move(s));
    TrimUndo();
}

void CTimeLine::TrimUndo() {
    while (undoBytes_ > kUndoBudgetBytes && undo_.size() > 1) {
        undoBytes_ -= undo_.front().Bytes();
        undo_.pop_front();
    }
}

void CTimeLine::BeforeChange() {
    if (gestureDepth_ > 0 && gestureCaptured_) {
        return;
    }
    PushUndo(Capture());
    if (gestureDepth_ > 0) {
        gestureCaptured_ = true;
    }
}

void CTimeLine::BeginGesture() {
    if (gestureDepth_++ == 0) {
        gestureCaptured_ = false;
    }
}

void CTimeLine::EndGesture() {
    if (gestureDepth_ > 0 && --gestureDepth_ == 0) {
        gestureCaptured_ = false;
    }
}

void CTimeLine::Undo() {
    StepHistory(undo_, redo_);
}

void CTimeLine::Redo() {
    StepHistory(redo_, undo_);
}

void CTimeLine::StepHistory(std::deque<Snapshot>& from, std::deque<Snapshot>& to) {
    if (from.empty()) {
        return;
    }
    Snapshot current = Capture();
    Snapshot target = std::move(from.back());
    from.pop_back();
    undoBytes_ -= target.Bytes();
    if (current.packed.empty() || !Restore(target)) {
        undoBytes_ += target.Bytes();
        from.push_back(std::move(target));
        return;
    }
    undoBytes_ += current.Bytes();
    to.push_back(std::move(current));
    gestureCaptured_ = false;
    TrimUndo();
}

// ---------------------------------------------------------- view state

void CTimeLine::SetScale(double scale) {
    const double old = scale_;
    scale_ = ClampScale(scale);
    // Keep the time at the left edge of the track area where it was.
    const double leftTime = (static_cast<double>(hScroll_) + kHeaderWidth - kTimeOriginX) / old;
    hScroll_ = Saturate(ClampPixel(leftTime * scale_ - kHeaderWidth + kTimeOriginX));
    ClampScroll();
    Refresh();
}

void CTimeLine::SetHScroll(int64_t v) {
    hScroll_ = Saturate(v);
    ClampScroll();
    view_.Invalidate();
}

void CTimeLine::SetVScroll(int64_t v) {
    vScroll_ = Saturate(v);
    ClampScroll();
    view_.Invalidate();
}

void CTimeLine::SetCurrentTime(int64_t t) {
    currentTime_ = Saturate(TruncateToStep(std::clamp<int64_t>(t, 0, kI32Max)));
    view_.Invalidate();
}

void CTimeLine::SetTool(TimeLineTool tool) {
    tool_ = tool;
    Refresh();
}

void CTimeLine::SetCurrentTrack(int32_t track) {
    currentTrack_ = track >= 0 && track < doc_->trackCount() ? track : -1;
    view_.Invalidate();
}

void CTimeLine::SetClientSize(int w, int h) {
    width_ = std::max(w, 0);
    height_ = std::max(h, 0);
    ClampScroll();
    view_.Invalidate();
}

int CTimeLine::AreaRight() const {
    return std::max(width_ - kScrollBarSize, kHeaderWidth);
}

int CTimeLine::AreaBottom() const {
    return std::max(height_ - kScrollBarSize, kRulerHeight);
}

ScrollRange CTimeLine::VerticalRange() const {
    int64_t total = 0;
    for (int32_t r = 0; r < RowCount(); ++r) {
        total += RowHeight(r);
    }
    return {ClampPixel(total), std::max(height_ - kRulerHeight - kScrollBarSize, 0)};
}

ScrollRange CTimeLine::HorizontalRange() const {
    // The time cursor counts too, so that wherever the keys put it, it can be scrolled to.
    const int64_t end = std::max<int64_t>(doc_->endTime(), currentTime_);
    return {ClampPixel(static_cast<double>(end) * scale_ + 40.0),
            std::max(width_ - kHeaderWidth - kScrollBarSize, 0)};
}

void CTimeLine::ClampScroll() {
    vScroll_ = std::clamp(vScroll_, 0, VerticalRange().max());
    hScroll_ = std::clamp(hScroll_, 0, HorizontalRange().max());
}

// ------------------------------------------------------------ geometry

int32_t CTimeLine::RowCount() const {
    return doc_->trackCount() + (doc_->audio ? 1 : 0);
}

bool CTimeLine::IsSoundRow(int32_t row) const {
    return doc_->audio && row == doc_->trackCount();
}

int32_t CTimeLine::RowHeight(int32_t row) const {
    if (row >= 0 && row < doc_->trackCount()) {
        return std::clamp(doc_->track(row).height, kMinTrackHeight, kMaxTrackHeight);
    }
    return kSoundRowHeight;
}

int64_t CTimeLine::RowTop(int32_t row) const {
    int64_t top = kRulerHeight - static_cast<int64_t>(vScroll_);
    for (int32_t r = 0; r < row && r < RowCount(); ++r) {
        top += RowHeight(r);
    }
    return top;
}

bool CTimeLine::SingleSelectedKey(int32_t& row, int32_t& key) const {
    if (!doc_->exactlyOneSelected()) {
        return false;
    }
    for (int32_t r = 0; r < doc_->trackCount(); ++r) {
        const auto& t = doc_->track(r);
        if (t.locked) {
            continue;
        }
        for (int32_t i = 0; i < t.count(); ++i) {
            if (t.key(i).selected) {
                row = r;
                key = i;
                return true;
            }
        }
    }
    return false;  // the one selected item is a block
}

bool CTimeLine::HandleShown(const CCyclogramTrack& t, int32_t key, bool incoming) const {
    const auto& k = t.key(key);
    return (incoming ? k.inMode : k.outMode) == kInterpolationBezier;
}

void CTimeLine::HandlePoint(int32_t row, int32_t key, bool incoming, int& hx, int& hy) const {
    const auto& k = doc_->track(row).key(key);
    const int64_t top = RowTop(row);
    const int32_t h = RowHeight(row);
    const int64_t t = incoming ? static_cast<int64_t>(k.time) - k.inLength
                               : static_cast<int64_t>(k.time) + k.outLength;
    const double v = static_cast<double>(k.value) + (incoming ? k.inDelta : k.outDelta);
    hx = TimeToX(t, scale_, hScroll_);
    hy = ValueToY(top, h, v);
}

TimeLineHit CTimeLine::HitTest(int x, int y) const {
    TimeLineHit hit;
    if (y < kRulerHeight) {
        if (x >= kRulerClickX) {
            hit.kind = HitKind::Ruler;
            hit.time = XToTime(x, scale_, hScroll_);
        }
        return hit;
    }
    int32_t singleRow = -1, singleKey = -1;
    const bool single = tool_ == TimeLineTool::Select && SingleSelectedKey(singleRow, singleKey);
    int64_t top = kRulerHeight - static_cast<int64_t>(vScroll_);
    for (int32_t row = 0; row < RowCount(); ++row) {
        const int32_t h = RowHeight(row);
        if (y < top || y >= top + h) {
            top += h;
            continue;
        }
        hit.row = row;
        hit.time = XToTime(x, scale_, hScroll_);
        const int64_t bottom = top + h;
        const bool iconBottomRow =
            y >= bottom - kIconMargin - kIconSize && y < bottom - kIconMargin;
        if (x >= kDeleteIconX && x < kDeleteIconX + kIconSize && y >= top + kIconMargin &&
            y < top + kIconMargin + kIconSize) {
            hit.kind = HitKind::DeleteIcon;
            return hit;
        }
        if (iconBottomRow && x >= kLockIconX && x < kLockIconX + kIconSize) {
            hit.kind = HitKind::LockIcon;
            return hit;
        }
        if (iconBottomRow && x >= kOnOffIconX && x < kOnOffIconX + kIconSize) {
            hit.kind = HitKind::OnOffIcon;
            return hit;
        }
        if (x < kHeaderWidth) {
            hit.kind = HitKind::Header;
            return hit;
        }
        const bool sound = IsSoundRow(row);
        if (!sound) {
            const auto& t = doc_->track(row);
            if (!t.locked) {
                for (int32_t i = 0; i < t.count(); ++i) {
                    const auto& k = t.key(i);
                    if (Near(x, TimeToX(k.time, scale_, hScroll_)) &&
                        Near(y, ValueToY(top, h, k.value))) {
                        hit.kind = HitKind::Key;
                        hit.item = i;
                        return hit;
                    }
                }
            }
            if (single && singleRow == row) {
                for (const bool incoming : {true, false}) {
                    if (!HandleShown(t, singleKey, incoming)) {
                        continue;
                    }
                    int hx = 0, hy = 0;
                    HandlePoint(row, singleKey, incoming, hx, hy);
                    if (Near(x, hx) && Near(y, hy)) {
                        hit.kind = incoming ? HitKind::InHandle : HitKind::OutHandle;
                        hit.item = singleKey;
                        return hit;
                    }
                }
            }
        } else if (!doc_->audio->locked) {
            const auto& a = *doc_->audio;
            for (int32_t i = 0; i < a.count(); ++i) {
                const auto& b = a.block(i);
                if (x >= TimeToX(b.start, scale_, hScroll_) &&
                    x <= TimeToX(b.end(), scale_, hScroll_) && y >= top + kBlockInset &&
                    y <= bottom - kBlockInset) {
                    hit.kind = HitKind::Block;
                    hit.item = i;
                    return hit;
                }
            }
        }
        if (!sound && y >= bottom - kResizeZone) {
            hit.kind = HitKind::Resize;
            return hit;
        }
        if (x >= kHeaderWidth && x < AreaRight()) {
            hit.kind = HitKind::Area;
        }
        return hit;
    }
    return hit;
}

std::string CTimeLine::HintAt(int x, int y) const {
    switch (HitTest(x, y).kind) {
        case HitKind::DeleteIcon:
            return "Удалить трек";
        case HitKind::LockIcon:
            return "Заблокировать трек";
        case HitKind::OnOffIcon:
            return "Выключить работу трека";
        default:
            return {};
    }
}

bool CTimeLine::ResizeCursorAt(int x, int y) const {
    return HitTest(x, y).kind == HitKind::Resize;
}

// --------------------------------------------------------------- mouse

void CTimeLine::ClickItem(int32_t row, int32_t item, InputMods mods) {
    if (!mods.shift && !mods.ctrl) {
        doc_->selectAll(false);
    }
    if (IsSoundRow(row)) {
        doc_->audio->block(item).selected = 1;
    } else {
        doc_->track(row).key(item).selected = 1;
    }
    Refresh();
}

void CTimeLine::MouseDown(int x, int y, InputMods mods) {
    const TimeLineHit hit = HitTest(x, y);
    drag_ = {};
    drag_.press = hit;
    drag_.pressX = drag_.x = x;
    drag_.pressY = drag_.y = y;
    BeginGesture();
    switch (hit.kind) {
        case HitKind::None:
            break;
        case HitKind::Ruler:
            SetCurrentTime(hit.time);
            drag_.kind = DragKind::Ruler;
            break;
        case HitKind::DeleteIcon:
        case HitKind::LockIcon:
        case HitKind::OnOffIcon:
            drag_.kind = DragKind::Icon;
            break;
        case HitKind::Header:
            drag_.kind = DragKind::Track;
            break;
        case HitKind::Resize:
            drag_.kind = DragKind::Resize;
            break;
        case HitKind::Key: {
            const auto& k = doc_->track(hit.row).key(hit.item);
            if (k.selected) {
                drag_.kind = DragKind::Items;
                drag_.anchor = k.time;
                drag_.setsValue = tool_ == TimeLineTool::Select && doc_->exactlyOneSelected();
            } else {
                ClickItem(hit.row, hit.item, mods);
            }
            break;
        }
        case HitKind::Block:
            if (doc_->audio->block(hit.item).selected && tool_ != TimeLineTool::Values) {
                drag_.kind = DragKind::Items;
                drag_.anchor = hit.time;
            } else {
                ClickItem(hit.row, hit.item, mods);
            }
            break;
        case HitKind::InHandle:
        case HitKind::OutHandle:
            drag_.kind = DragKind::Handle;
            break;
        case HitKind::Area:
            if (!mods.shift && !mods.ctrl && doc_->selectAll(false)) {
                Refresh();
            }
            drag_.kind = DragKind::Band;
            break;
    }
}

void CTimeLine::MouseMove(int x, int y, InputMods /*mods*/) {
    if (drag_.kind == DragKind::None) {
        return;
    }
    if (x != drag_.pressX || y != drag_.pressY) {
        drag_.moved = true;
    }
    drag_.x = x;
    drag_.y = y;
    switch (drag_.kind) {
        case DragKind::Ruler:
            SetCurrentTime(XToTime(x, scale_, hScroll_));
            break;
        case DragKind::Resize: {
            const int32_t row = drag_.press.row;
            if (row >= 0 && row < doc_->trackCount()) {
                doc_->track(row).height = static_cast<int32_t>(
                    std::clamp<int64_t>(y - RowTop(row), kMinTrackHeight, kMaxTrackHeight));
                ClampScroll();
                view_.Invalidate();
            }
            break;
        }
        case DragKind::Items:
            DragItems(x, y);
            break;
        case DragKind::Handle:
            DragHandle(x, y);
            break;
        case DragKind::Band:
        case DragKind::Track:
            view_.Invalidate();
            break;
        case DragKind::None:
        case DragKind::Icon:
            break;
    }
}

void CTimeLine::SetKeyValueFromMouse(int32_t row, int32_t key, int y) {
    if (row < 0 || row >= doc_->trackCount() || key < 0 || key >= doc_->track(row).count()) {
        return;
    }
    const float v = YToValue(RowTop(row), RowHeight(row), y);
    auto& k = doc_->track(row).key(key);
    if (k.value == v) {
        return;
    }
    BeforeChange();
    doc_->track(row).key(key).value = v;
    Changed();
}

void CTimeLine::DragItems(int x, int y) {
    const bool onKey = drag_.press.kind == HitKind::Key;
    if (tool_ == TimeLineTool::Values) {
        if (onKey) {
            SetKeyValueFromMouse(drag_.press.row, drag_.press.item, y);
        }
        return;
    }
    if (tool_ == TimeLineTool::Select && drag_.setsValue && onKey) {
        SetKeyValueFromMouse(drag_.press.row, drag_.press.item, y);
    }
    int64_t offset = TruncateToStep(XToTime(x, scale_, hScroll_) - drag_.anchor);
    if (tool_ == TimeLineTool::RightPart) {
        // A damaged document can report negative room: it allows no move left.
        const int64_t limit = std::max(doc_->rightPartMoveLimit(), 0);
        offset = std::max(offset, -limit);
        // Nothing may be pushed past the largest time.
        offset = std::min<int64_t>(offset, kI32Max - doc_->endTime());
        if (offset == 0) {
            return;
        }
        BeforeChange();
        drag_.anchor += offset;
        doc_->moveRightPart(static_cast<int32_t>(offset));
    } else {
        const MoveRange range = doc_->selectionMoveRange();
        offset =
            std::clamp<int64_t>(offset, -std::max(range.maxLeft, 0), std::max(range.maxRight, 0));
        if (offset == 0) {
            return;
        }
        BeforeChange();
        drag_.anchor += offset;
        doc_->moveSelected(static_cast<int32_t>(offset));
    }
    Changed();
}

void CTimeLine::DragHandle(int x, int y) {
    const int32_t row = drag_.press.row, key = drag_.press.item;
    if (row < 0 || row >= doc_->trackCount() || key < 0 || key >= doc_->track(row).count()) {
        return;
    }
    auto& t = doc_->track(row);
    const auto& k = t.key(key);
    const float v = YToValue(RowTop(row), RowHeight(row), y);
    const float delta = v - k.value;
    int64_t mouse = XToTime(x, scale_, hScroll_);
    const bool incoming = drag_.press.kind == HitKind::InHandle;
    int32_t length;
    if (incoming) {
        int64_t lo = key > 0 ? t.key(key - 1).time : 0;
        const int64_t hi = static_cast<int64_t>(k.time) - kKeySpacingMs;
        lo = std::min(lo, hi);  // keys closer than the spacing leave no room
        length = Saturate(k.time - std::clamp(mouse, lo, hi));
    } else {
        const int64_t lo = static_cast<int64_t>(k.time) + kKeySpacingMs;
        int64_t hi =
            key + 1 < t.count() ? t.key(key + 1).time : std::numeric_limits<int64_t>::max();
        hi = std::max(lo, hi);
        length = Saturate(std::clamp(mouse, lo, hi) - k.time);
    }
    const int32_t oldLength = incoming ? k.inLength : k.outLength;
    const float oldDelta = incoming ? k.inDelta : k.outDelta;
    if (oldLength == length && oldDelta == delta) {
        return;
    }
    BeforeChange();
    auto& key2 = t.key(key);
    (incoming ? key2.inLength : key2.outLength) = length;
    (incoming ? key2.inDelta : key2.outDelta) = delta;
    Changed();
}

void CTimeLine::FinishBand(const Drag& drag) {
    const int x0 = std::min(drag.pressX, drag.x), x1 = std::max(drag.pressX, drag.x);
    const int y0 = std::min(drag.pressY, drag.y), y1 = std::max(drag.pressY, drag.y);
    auto inside = [&](int64_t x, int64_t y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1; };
    bool any = false;
    int64_t top = kRulerHeight - static_cast<int64_t>(vScroll_);
    for (int32_t row = 0; row < RowCount(); ++row) {
        const int32_t h = RowHeight(row);
        if (IsSoundRow(row)) {
            auto& a = *doc_->audio;
            if (!a.locked) {
                for (int32_t i = 0; i < a.count(); ++i) {
                    auto& b = a.block(i);
                    const int64_t by = top + kBlockBandDepth;
                    if (inside(TimeToX(b.start, scale_, hScroll_), by) &&
                        inside(TimeToX(b.end(), scale_, hScroll_), by)) {
                        any = any || !b.selected;
                        b.selected = 1;
                    }
                }
            }
        } else {
            auto& t = doc_->track(row);
            if (!t.locked) {
                for (int32_t i = 0; i < t.count(); ++i) {
                    auto& k = t.key(i);
                    if (inside(TimeToX(k.time, scale_, hScroll_), ValueToY(top, h, k.value))) {
                        any = any || !k.selected;
                        k.selected = 1;
                    }
                }
            }
        }
        top += h;
    }
    (void)any;
    Refresh();
}

void CTimeLine::ReleaseOnIcon(const TimeLineHit& hit) {
    const bool sound = IsSoundRow(hit.row);
    if (hit.row < 0 || (!sound && hit.row >= doc_->trackCount())) {
        return;
    }
    switch (hit.kind) {
        case HitKind::DeleteIcon:
            if (view_.Confirm(kDeleteTrackTitle, kDeleteTrackQuestion)) {
                RemoveTrack(hit.row);
            }
            break;
        case HitKind::OnOffIcon:
            BeforeChange();
            if (sound) {
                doc_->audio->disabled = doc_->audio->disabled ? 0 : 1;
            } else {
                auto& t = doc_->track(hit.row);
                t.disabled = t.disabled ? 0 : 1;
            }
            Changed();
            break;
        case HitKind::LockIcon:
            BeforeChange();
            if (sound) {
                doc_->audio->locked = doc_->audio->locked ? 0 : 1;
            } else {
                auto& t = doc_->track(hit.row);
                t.locked = t.locked ? 0 : 1;
            }
            Changed();
            break;
        default:
            break;
    }
}

void CTimeLine::MouseUp(int x, int y, InputMods mods) {
    MouseMove(x, y, mods);
    const Drag drag = drag_;
    drag_ = {};
    switch (drag.kind) {
        case DragKind::Track: {
            const TimeLineHit over = HitTest(x, y);
            const int32_t from = drag.press.row;
            if (over.row >= 0 && over.row != from && x < kHeaderWidth && !IsSoundRow(over.row) &&
                from >= 0 && from < doc_->trackCount()) {
                BeforeChange();
                doc_->swapTracks(from, over.row);
                if (currentTrack_ == from) {
                    currentTrack_ = over.row;
                } else if (currentTrack_ == over.row) {
                    currentTrack_ = from;
                }
                Changed();
            }
            break;
        }
        case DragKind::Band:
            FinishBand(drag);
            break;
        case DragKind::Icon: {
            const TimeLineHit over = HitTest(x, y);
            if (!drag.moved && over.kind == drag.press.kind && over.row == drag.press.row) {
                ReleaseOnIcon(over);
            }
            break;
        }
        default:
            view_.Invalidate();
            break;
    }
    EndGesture();
}

void CTimeLine::DoubleClick(int x, int y, InputMods mods) {
    const TimeLineHit hit = HitTest(x, y);
    drag_ = {};
    switch (hit.kind) {
        case HitKind::Ruler:
            SelectCurrent(mods);
            break;
        case HitKind::Block:
            EditBlock(hit.item);
            break;
        case HitKind::Header:
            if (!IsSoundRow(hit.row)) {
                EditTrack(hit.row);
            }
            break;
        default:
            break;
    }
}

void CTimeLine::Wheel(int notches, InputMods mods) {
    if (notches == 0) {
        return;
    }
    notches = std::clamp(notches, -100, 100);
    if (mods.ctrl) {
        SetScale(scale_ * std::pow(kWheelZoomStep, notches));
        return;
    }
    const int visible = std::max(height_ - kRulerHeight - kScrollBarSize, 0);
    const int step = std::max(visible / 8, 2);
    SetVScroll(static_cast<int64_t>(vScroll_) + static_cast<int64_t>(notches) * step);
}

bool CTimeLine::KeyDown(TimeLineKey key, InputMods mods) {
    auto run = [&](TimeLineCommand c) {
        if (Enabled(c)) {
            Run(c, mods);
        }
        return true;
    };
    switch (key) {
        case TimeLineKey::Delete:
            return run(TimeLineCommand::Delete);
        case TimeLineKey::Left:
        case TimeLineKey::Right: {
            const int64_t step = mods.shift ? 1000 : kTimeStepMs;
            SetCurrentTime(static_cast<int64_t>(currentTime_) +
                           (key == TimeLineKey::Left ? -step : step));
            ClampScroll();
            return true;
        }
        case TimeLineKey::Home:
            SetCurrentTime(0);
            return true;
        default:
            break;
    }
    if (!mods.ctrl) {
        return false;
    }
    switch (key) {
        case TimeLineKey::A:
            return run(TimeLineCommand::SelectAll);
        case TimeLineKey::C:
            return run(TimeLineCommand::Copy);
        case TimeLineKey::X:
            return run(TimeLineCommand::Cut);
        case TimeLineKey::V:
            if (mods.shift) {
                PopupOnCurrentTrack();
                return run(TimeLineCommand::PasteTrack);
            }
            return run(TimeLineCommand::Paste);
        case TimeLineKey::Z:
            return run(mods.shift ? TimeLineCommand::Redo : TimeLineCommand::Undo);
        case TimeLineKey::Y:
            return run(TimeLineCommand::Redo);
        default:
            return false;
    }
}

// ------------------------------------------------------------ pop-ups

TimeLinePopup CTimeLine::PreparePopup(int x, int y) {
    const TimeLineHit hit = HitTest(x, y);
    menuRow_ = hit.row;
    menuBlock_ = hit.kind == HitKind::Block ? hit.item : -1;
    view_.OnCommandStateChanged();
    if (hit.row < 0) {
        // Below the rows: the header menu still adds tracks.
        if (y >= kRulerHeight && x < kHeaderWidth) {
            return TimeLinePopup::Header;
        }
        return y >= kRulerHeight ? TimeLinePopup::Area : TimeLinePopup::None;
    }
    switch (hit.kind) {
        case HitKind::Header:
        case HitKind::DeleteIcon:
        case HitKind::LockIcon:
        case HitKind::OnOffIcon:
            return TimeLinePopup::Header;
        default:
            return TimeLinePopup::Area;
    }
}

void CTimeLine::PopupOnCurrentTrack() {
    menuRow_ = currentTrack_;
    menuBlock_ = -1;
}

// ------------------------------------------------------------ commands

bool CTimeLine::Enabled(TimeLineCommand c) const {
    const bool motorRow = menuRow_ >= 0 && menuRow_ < doc_->trackCount();
    switch (c) {
        case TimeLineCommand::Copy:
        case TimeLineCommand::Cut:
        case TimeLineCommand::Delete:
        case TimeLineCommand::InStep:
        case TimeLineCommand::InLinear:
        case TimeLineCommand::InBezier:
        case TimeLineCommand::OutStep:
        case TimeLineCommand::OutLinear:
        case TimeLineCommand::OutBezier:
            return doc_->anySelected();
        case TimeLineCommand::Paste:
            return clipboard_.HasCyclogram();
        case TimeLineCommand::PasteTrack:
            return clipboard_.HasCyclogram() && motorRow;
        case TimeLineCommand::Undo:
            return !undo_.empty();
        case TimeLineCommand::Redo:
            return !redo_.empty();
        case TimeLineCommand::TrackProperties:
            return motorRow;
        case TimeLineCommand::RemoveTrack:
            return motorRow || IsSoundRow(menuRow_);
        case TimeLineCommand::AddAudioTrack:
            return !doc_->audio;
        case TimeLineCommand::BlockProperties:
            return IsSoundRow(menuRow_) && menuBlock_ >= 0 && menuBlock_ < doc_->audio->count();
        case TimeLineCommand::InsertBlock:
            return IsSoundRow(menuRow_);
        default:
            return true;
    }
}

int32_t CTimeLine::SharedMode(bool incoming) const {
    int32_t shared = -1;
    bool any = false;
    for (int32_t r = 0; r < doc_->trackCount(); ++r) {
        const auto& t = doc_->track(r);
        if (t.locked) {
            continue;
        }
        for (const auto& k : t.keys()) {
            if (!k.selected) {
                continue;
            }
            const int32_t m = incoming ? k.inMode : k.outMode;
            if (!any) {
                shared = m;
                any = true;
            } else if (m != shared) {
                return -1;
            }
        }
    }
    return shared;
}

bool CTimeLine::Pressed(TimeLineCommand c) const {
    switch (c) {
        case TimeLineCommand::ToolSelect:
            return tool_ == TimeLineTool::Select;
        case TimeLineCommand::ToolTimeOnly:
            return tool_ == TimeLineTool::TimeOnly;
        case TimeLineCommand::ToolRightPart:
            return tool_ == TimeLineTool::RightPart;
        case TimeLineCommand::ToolValues:
            return tool_ == TimeLineTool::Values;
        case TimeLineCommand::Loop:
            return doc_->loop != 0;
        case TimeLineCommand::InStep:
            return SharedMode(true) == kInterpolationStep;
        case TimeLineCommand::InLinear:
            return SharedMode(true) == kInterpolationLinear;
        case TimeLineCommand::InBezier:
            return SharedMode(true) == kInterpolationBezier;
        case TimeLineCommand::OutStep:
            return SharedMode(false) == kInterpolationStep;
        case TimeLineCommand::OutLinear:
            return SharedMode(false) == kInterpolationLinear;
        case TimeLineCommand::OutBezier:
            return SharedMode(false) == kInterpolationBezier;
        default:
            return false;
    }
}

void CTimeLine::Run(TimeLineCommand c, InputMods mods) {
    if (!Enabled(c)) {
        return;
    }
    switch (c) {
        case TimeLineCommand::ToolSelect:
            SetTool(TimeLineTool::Select);
            break;
        case TimeLineCommand::ToolTimeOnly:
            SetTool(TimeLineTool::TimeOnly);
            break;
        case TimeLineCommand::ToolRightPart:
            SetTool(TimeLineTool::RightPart);
            break;
        case TimeLineCommand::ToolValues:
            SetTool(TimeLineTool::Values);
            break;
        case TimeLineCommand::Copy:
            Copy();
            break;
        case TimeLineCommand::Cut:
            Cut();
            break;
        case TimeLineCommand::Paste:
            Paste();
            break;
        case TimeLineCommand::PasteTrack:
            PasteTrack(menuRow_);
            break;
        case TimeLineCommand::Delete:
            DeleteSelected();
            break;
        case TimeLineCommand::InStep:
            SetInMode(kInterpolationStep);
            break;
        case TimeLineCommand::InLinear:
            SetInMode(kInterpolationLinear);
            break;
        case TimeLineCommand::InBezier:
            SetInMode(kInterpolationBezier);
            break;
        case TimeLineCommand::OutStep:
            SetOutMode(kInterpolationStep);
            break;
        case TimeLineCommand::OutLinear:
            SetOutMode(kInterpolationLinear);
            break;
        case TimeLineCommand::OutBezier:
            SetOutMode(kInterpolationBezier);
            break;
        case TimeLineCommand::FragmentStart:
        case TimeLineCommand::FragmentEnd:
        case TimeLineCommand::FragmentCancel:
            SetFragment(c);
            break;
        case TimeLineCommand::Loop:
            BeforeChange();
            doc_->loop = doc_->loop ? 0 : 1;
            Changed();
            break;
        case TimeLineCommand::ZoomIn:
            Zoom(kZoomStep);
            break;
        case TimeLineCommand::ZoomOut:
            Zoom(1.0 / kZoomStep);
            break;
        case TimeLineCommand::Undo:
            Undo();
            break;
        case TimeLineCommand::Redo:
            Redo();
            break;
        case TimeLineCommand::SelectCurrent:
            SelectCurrent(mods);
            break;
        case TimeLineCommand::SelectAll:
            doc_->selectAll(true);
            Refresh();
            break;
        case TimeLineCommand::TrackProperties:
            EditTrack(menuRow_);
            break;
        case TimeLineCommand::RemoveTrack:
            if (view_.Confirm(kDeleteTrackTitle, kDeleteTrackQuestion)) {
                RemoveTrack(menuRow_);
            }
            break;
        case TimeLineCommand::AddTrack:
            BeforeChange();
            if (doc_->addTrack() >= 0) {
                Changed();
            }
            break;
        case TimeLineCommand::AddAudioTrack:
            BeforeChange();
            try {
                doc_->audio = std::make_unique<CCyclogramAudioTrack>();
            } catch (const std::bad_alloc&) {
                break;
            }
            Changed();
            break;
        case TimeLineCommand::BlockProperties:
            EditBlock(menuBlock_);
            break;
        case TimeLineCommand::InsertBlock:
            InsertBlock();
            break;
    }
}

void CTimeLine::Zoom(double factor) {
    SetScale(scale_ * factor);
}

void CTimeLine::SetInMode(int32_t mode) {
    BeforeChange();
    for (int32_t r = 0; r < doc_->trackCount(); ++r) {
        auto& t = doc_->track(r);
        if (t.locked) {
            continue;
        }
        for (int32_t i = 0; i < t.count(); ++i) {
            if (!t.key(i).selected) {
                continue;
            }
            t.key(i).inMode = mode;
            if (mode != kInterpolationBezier && i > 0) {
                t.key(i - 1).outMode = mode;
            }
        }
    }
    Changed();
}

void CTimeLine::SetOutMode(int32_t mode) {
    BeforeChange();
    for (int32_t r = 0; r < doc_->trackCount(); ++r) {
        auto& t = doc_->track(r);
        if (t.locked) {
            continue;
        }
        for (int32_t i = 0; i < t.count(); ++i) {
            if (!t.key(i).selected) {
                continue;
            }
            t.key(i).outMode = mode;
            if (mode != kInterpolationBezier && i + 1 < t.count()) {
                t.key(i + 1).inMode = mode;
            }
        }
    }
    Changed();
}

void CTimeLine::Copy() {
    CMemoryStream m;
    if (!writeCyclogram(*doc_, m, WriteScope::SelectedOnly)) {
        return;
    }
    clipboard_.SetCyclogram(std::string(m.View()));
    view_.OnCommandStateChanged();
}

void CTimeLine::Cut() {
    CMemoryStream m;
    if (!writeCyclogram(*doc_, m, WriteScope::SelectedOnly)) {
        return;
    }
    clipboard_.SetCyclogram(std::string(m.View()));
    DeleteSelected();
}

bool CTimeLine::ReadClipboard(CCyclogram& clip) const {
    std::string bytes;
    if (!clipboard_.GetCyclogram(bytes)) {
        return false;
    }
    CMemoryStream m;
    if (!m.Assign(bytes)) {
        return false;
    }
    return readCyclogram(m, clip);
}

void CTimeLine::Paste() {
    CCyclogram clip;
    if (!ReadClipboard(clip)) {
        view_.ShowError(kClipboardFormatError);
        return;
    }
    doc_->selectAll(false);
    Snapshot before = Capture();
    if (!doc_->paste(clip, currentTime_)) {
        Refresh();
        view_.ShowError(kPasteDoesNotFit);
        return;
    }
    PushUndo(std::move(before));
    Changed();
}

void CTimeLine::PasteTrack(int32_t row) {
    if (row < 0 || row >= doc_->trackCount()) {
        return;
    }
    CCyclogram clip;
    if (!ReadClipboard(clip)) {
        view_.ShowError(kClipboardFormatError);
        return;
    }
    if (clip.trackCount() != 1) {
        view_.ShowError(kPasteTrackRefused);
        return;
    }
    doc_->selectAll(false);
    Snapshot before = Capture();
    if (!doc_->track(row).paste(clip.track(0), currentTime_)) {
        Refresh();
        view_.ShowError(kPasteDoesNotFit);
        return;
    }
    PushUndo(std::move(before));
    Changed();
}

void CTimeLine::DeleteSelected() {
    if (!doc_->anySelected()) {
        return;
    }
    BeforeChange();
    doc_->deleteSelected();
    Changed();
}

void CTimeLine::SelectCurrent(InputMods mods) {
    if (!mods.shift && !mods.ctrl) {
        doc_->selectAll(false);
    }
    for (int32_t r = 0; r < doc_->trackCount(); ++r) {
        auto& t = doc_->track(r);
        if (t.locked) {
            continue;
        }
        const int32_t i = t.findKeyNear(currentTime_);
        if (i >= 0) {
            t.key(i).selected = 1;
        }
    }
    if (doc_->audio && !doc_->audio->locked) {
        const int32_t i = doc_->audio->findBlockCovering(currentTime_);
        if (i >= 0) {
            doc_->audio->block(i).selected = 1;
        }
    }
    Refresh();
}

void CTimeLine::SetFragment(TimeLineCommand c) {
    if (c == TimeLineCommand::FragmentStart) {
        fragmentStart_ = currentTime_;
        if (static_cast<int64_t>(fragmentEnd_) <
            static_cast<int64_t>(fragmentStart_) + kTimeStepMs) {
            fragmentEnd_ = Saturate(static_cast<int64_t>(fragmentStart_) + kTimeStepMs);
        }
    } else if (c == TimeLineCommand::FragmentEnd) {
        fragmentEnd_ = currentTime_;
        if (static_cast<int64_t>(fragmentStart_) >
            static_cast<int64_t>(fragmentEnd_) - kTimeStepMs) {
            fragmentStart_ = std::max(fragmentEnd_ - kTimeStepMs, 0);
        }
    } else {
        fragmentStart_ = fragmentEnd_ = 0;
    }
    if (doc_->loop) {
        BeforeChange();
        doc_->loop = 0;
        Changed();
    } else {
        Refresh();
    }
}

void CTimeLine::EditTrack(int32_t row) {
    if (row < 0 || row >= doc_->trackCount()) {
        return;
    }
    auto& t = doc_->track(row);
    TrackProperties p{t.motor, t.locked != 0, t.disabled != 0};
    if (!view_.EditTrackProperties(p)) {
        return;
    }
    BeforeChange();
    auto& t2 = doc_->track(row);
    t2.motor = std::max(p.motor, 0);
    t2.locked = p.locked ? 1 : 0;
    t2.disabled = p.disabled ? 1 : 0;
    Changed();
}

void CTimeLine::RemoveTrack(int32_t row) {
    if (IsSoundRow(row)) {
        BeforeChange();
        doc_->audio.reset();
    } else if (row >= 0 && row < doc_->trackCount()) {
        BeforeChange();
        doc_->removeTrack(row);
        if (currentTrack_ == row) {
            currentTrack_ = -1;
        } else if (currentTrack_ > row) {
            --currentTrack_;
        }
    } else {
        return;
    }
    menuRow_ = menuBlock_ = -1;
    Changed();
}

void CTimeLine::EditBlock(int32_t item) {
    if (!doc_->audio || item < 0 || item >= doc_->audio->count()) {
        return;
    }
    AudioBlock copy = doc_->audio->block(item);
    if (!view_.EditAudioBlock(copy)) {
        return;
    }
    BeforeChange();
    auto& b = doc_->audio->block(item);
    b.length = std::max(copy.length, 0);
    b.text = std::move(copy.text);
    Changed();
}

void CTimeLine::InsertBlock() {
    if (!doc_->audio) {
        return;
    }
    Snapshot before = Capture();
    const int32_t i = doc_->audio->addBlockAt(currentTime_);
    if (i < 0) {
        view_.ShowError(kBlockDoesNotFit);
        return;
    }
    AudioBlock copy = doc_->audio->block(i);
    view_.Invalidate();
    if (!view_.EditAudioBlock(copy)) {
        doc_->audio->deleteBlock(i);
        Refresh();
        return;
    }
    auto& b = doc_->audio->block(i);
    b.length = std::max(copy.length, 0);
    b.text = std::move(copy.text);
    PushUndo(std::move(before));
    Changed();
}

void CTimeLine::RecordKey(int32_t motor, float value) {
    if (!visible_ || applyingPose_) {
        return;
    }
    const int32_t row = doc_->findTrack(motor);
    if (row < 0 || doc_->track(row).locked) {
        return;
    }
    auto& t = doc_->track(row);
    const int32_t at = t.findKeyAtOrBefore(currentTime_);
    if (at >= 0 && t.key(at).time == currentTime_) {
        if (t.key(at).value == value) {
            return;
        }
        BeforeChange();
        t.key(at).value = value;
        Changed();
        return;
    }
    BeforeChange();
    const int32_t i = t.insertKeyAfter(at);
    if (i < 0) {
        return;
    }
    auto& k = t.key(i);
    k.time = currentTime_;
    const int64_t previous = i > 0 ? t.key(i - 1).time : 0;
    const int64_t room = std::max<int64_t>(static_cast<int64_t>(k.time) - previous, 0);
    k.inLength = static_cast<int32_t>(std::clamp<int64_t>(k.inLength, 0, room));
    k.value = value;
    Changed();
}

// ------------------------------------------------------------ painting

void CTimeLine::BuildPaintList(TimeLinePaintList& out) const {
    out.Clear();
    out.width = width_;
    out.height = height_;
    out.areaRight = AreaRight();
    out.ticks = RulerTicks(out.areaRight, scale_, hScroll_);
    for (const auto& tick : out.ticks) {
        if (tick.major) {
            out.labels.push_back({tick.x, RulerLabel(tick.time)});
        }
    }
    if (fragmentStart_ != 0 || fragmentEnd_ != 0) {
        out.hasFragment = true;
        out.fragmentX0 = TimeToX(fragmentStart_, scale_, hScroll_);
        out.fragmentX1 = TimeToX(fragmentEnd_, scale_, hScroll_);
    }
    out.cursorX = TimeToX(currentTime_, scale_, hScroll_);

    // A little beyond both edges, so that lines leave the area cleanly.
    const int64_t tLeft = XToTime(kHeaderWidth - kHitTolerance, scale_, hScroll_);
    const int64_t tRight = XToTime(out.areaRight + kHitTolerance, scale_, hScroll_);
    int32_t singleRow = -1, singleKey = -1;
    const bool single = tool_ == TimeLineTool::Select && SingleSelectedKey(singleRow, singleKey);
    const int bottom = AreaBottom();

    int64_t top = kRulerHeight - static_cast<int64_t>(vScroll_);
    for (int32_t row = 0; row < RowCount(); ++row) {
        const int32_t h = RowHeight(row);
        if (top + h <= kRulerHeight) {
            top += h;
            continue;
        }
        if (top >= bottom) {
            break;
        }
        TimeLinePaintList::Row r;
        r.y = ClampPixel(top);
        r.h = h;
        if (IsSoundRow(row)) {
            const auto& a = *doc_->audio;
            r.track = -1;
            r.locked = a.locked != 0;
            r.disabled = a.disabled != 0;
            r.label = "Звук";
            int32_t i = std::max(a.findBlockAtOrBefore(Saturate(tLeft)), 0);
            for (; i < a.count(); ++i) {
                const auto& b = a.block(i);
                if (b.start > tRight) {
                    break;
                }
                if (b.end() < tLeft) {
                    continue;
                }
                out.blocks.push_back(
                    {TimeToX(b.start, scale_, hScroll_), ClampPixel(top + kBlockInset),
                     TimeToX(b.end(), scale_, hScroll_), ClampPixel(top + h - kBlockInset),
                     b.selected != 0, b.text ? AnsiToUtf8(*b.text) : std::string()});
            }
        } else {
            const auto& t = doc_->track(row);
            r.track = row;
            r.current = row == currentTrack_;
            r.locked = t.locked != 0;
            r.disabled = t.disabled != 0;
            r.label = "Мотор";
            r.motor = std::to_string(t.motor);
            const auto& keys = t.keys();
            const int32_t n = t.count();
            if (n > 0) {
                TimeLinePaintList::Polyline line;
                line.first = out.points.size();
                line.locked = t.locked != 0;
                PolylineBuilder poly(out.points);
                int32_t i = std::max(FindAtOrBefore(keys, tLeft, KeyTime), 0);
                for (; i < n; ++i) {
                    const auto& k = keys[static_cast<std::size_t>(i)];
                    const int x0 = TimeToX(k.time, scale_, hScroll_);
                    const int y0 = ValueToY(top, h, k.value);
                    if (x0 >= kHeaderWidth - kHitTolerance && x0 <= out.areaRight + kHitTolerance) {
                        out.keys.push_back({x0, y0, k.selected != 0 && !t.locked, t.locked != 0});
                    }
                    if (k.time > tRight) {
                        poly.Add(x0, y0);
                        break;
                    }
                    if (i + 1 >= n) {
                        poly.Add(x0, y0);
                        break;
                    }
                    const auto& nk = keys[static_cast<std::size_t>(i) + 1];
                    const int x1 = TimeToX(nk.time, scale_, hScroll_);
                    const int32_t outMode = k.outMode, inMode = nk.inMode;
                    if (outMode != kInterpolationBezier && inMode != kInterpolationBezier) {
                        poly.Add(x0, y0);
                        if (outMode != kInterpolationLinear && inMode != kInterpolationLinear) {
                            poly.Add(x1, y0);  // step: along, then up or down at the next key
                        }
                    } else {
                        double p[4], q[4];
                        SegmentControls(k, nk, p, q);
                        // Samples at s = k/32; a narrow segment takes every
                        // second, fourth ... of them, about one per pixel.
                        const int64_t width = std::abs(static_cast<int64_t>(x1) - x0);
                        int stride = 32;
                        while (stride > 1 && width * stride > 32) {
                            stride /= 2;
                        }
                        for (int s = 0; s < 32; s += stride) {
                            const double u = s / 32.0;
                            poly.Add(ClampPixel((Bezier(u, p) * scale_) -
                                                static_cast<double>(hScroll_) + kTimeOriginX),
                                     ValueToY(top, h, Bezier(u, q)));
                        }
                    }
                }
                poly.Flush();
                line.count = out.points.size() - line.first;
                out.lines.push_back(line);
            }
            if (single && singleRow == row) {
                const auto& k = t.key(singleKey);
                const int kx = TimeToX(k.time, scale_, hScroll_);
                const int ky = ValueToY(top, h, k.value);
                for (const bool incoming : {true, false}) {
                    if (HandleShown(t, singleKey, incoming)) {
                        int hx = 0, hy = 0;
                        HandlePoint(row, singleKey, incoming, hx, hy);
                        out.handles.push_back({kx, ky, hx, hy});
                    }
                }
            }
        }
        out.rows.push_back(std::move(r));
        top += h;
    }
    if (drag_.kind == DragKind::Band) {
        out.band = true;
        out.bandX0 = std::min(drag_.pressX, drag_.x);
        out.bandX1 = std::max(drag_.pressX, drag_.x);
        out.bandY0 = std::min(drag_.pressY, drag_.y);
        out.bandY1 = std::max(drag_.pressY, drag_.y);
    }
}

}  // namespace velcora
