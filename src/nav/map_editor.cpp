#include "nav/map_editor.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "nav/map_format.h"

namespace velcora::nav {

namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;
constexpr int32_t kErrorMs = 10000;
constexpr std::size_t kSnapshotStep = 256;

double ToDegrees(double radians) {
    return radians * kDegrees;
}

// A dialog value, or the old one when the field held nothing usable.
double Field(double value, double old, double limit = kMaxPropertyValue) {
    return std::isfinite(value) ? std::clamp(value, -limit, limit) : old;
}
double AngleField(double degrees, double old) {
    return std::isfinite(degrees)
               ? std::clamp(degrees, -kMaxPropertyValue, kMaxPropertyValue) / kDegrees
               : old;
}

void StorePose(CNavPointItem& item, double x, double y, double angleDegrees) {
    item.x = Field(x, item.x);
    item.y = Field(y, item.y);
    item.angle = AngleField(angleDegrees, item.angle);
}

// "Выделить последние...": a positive whole number; numbers beyond the i32
// range mean "all of them".
std::optional<int32_t> ParseCount(std::u16string_view text) {
    while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    int64_t n = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        n = std::min<int64_t>(n * 10 + (c - u'0'), std::numeric_limits<int32_t>::max());
    }
    if (n <= 0) {
        return std::nullopt;
    }
    return static_cast<int32_t>(n);
}

}  // namespace

CMapEditor::CMapEditor(IRobotLink& link, IMapEditorView& view, RobotShape shape,
                       NavRandomSource random)
    : link_(link),
      view_(view),
      shape_(shape),
      map_(std::move(random)),
      transfer_(link, map_, *this) {}

void CMapEditor::SetViewRect(ScreenRect rect) {
    transform_.SetRect(rect);
}

void CMapEditor::SetCentre(MapPoint centre) {
    transform_.SetCentre(centre);
    view_.Redraw();
}

void CMapEditor::Changed() {
    view_.Redraw();
    view_.CommandsChanged();
}

// ------------------------------------------------------------------ edits

void CMapEditor::BeginEdit() {
    if (!loadBeforeEdit_) {
        loadBeforeEdit_ = transfer_.LoadFromRobot();
    }
    transfer_.SetLoadFromRobot(false);
}

void CMapEditor::HoldStep() {
    if (heldStep_.empty()) {
        heldStep_ = CMapHistory::Snapshot(map_);
    }
}

void CMapEditor::CommitStep() {
    if (!heldStep_.empty()) {
        history_.Push(std::move(heldStep_));
        heldStep_.clear();
    }
}

void CMapEditor::SetCurrent(ItemKind kind, CNavItem* item, int32_t detail) {
    currentKind_ = item ? kind : ItemKind::None;
    current_ = item;
    hitDetail_ = detail;
}

void CMapEditor::DropReferences() {
    SetCurrent(ItemKind::None, nullptr, -2);
    dialogKind_ = ItemKind::None;
    dialogItem_ = nullptr;
    drawnZone_ = nullptr;
    vertexZone_ = nullptr;
    vertexIndex_ = -1;
    rotation_.clear();
    press_ = Press::None;
    edit_ = Edit::None;
    heldStep_.clear();
    loadBeforeEdit_.reset();
}

void CMapEditor::AbortEdit() {
    if (edit_ == Edit::DrawingZone) {
        DeleteDrawnZone();
    } else if (edit_ == Edit::RotationArmed) {
        RestoreRotation();
    }
    if (press_ == Press::DragSelection || press_ == Press::DragVertex) {
        // What moved so far stays, and can be undone.
        CommitStep();
    }
    press_ = Press::None;
    vertexZone_ = nullptr;
    vertexIndex_ = -1;
    heldStep_.clear();
    loadBeforeEdit_.reset();
}

void CMapEditor::DeleteDrawnZone() {
    if (drawnZone_) {
        if (current_ == drawnZone_) {
            SetCurrent(ItemKind::None, nullptr, -2);
        }
        if (dialogItem_ == drawnZone_) {
            dialogItem_ = nullptr;
            dialogKind_ = ItemKind::None;
        }
        delete drawnZone_;
        drawnZone_ = nullptr;
    }
    heldStep_.clear();
    edit_ = Edit::None;
}

void CMapEditor::SetTool(MapTool tool) {
    if (edit_ != Edit::None || press_ != Press::None) {
        AbortEdit();
        Changed();
    }
    tool_ = tool;
    if (tool == MapTool::DrawZone || tool == MapTool::Rotate) {
        transfer_.SetLoadFromRobot(false);
    }
    view_.ShowTool(tool_);
}

bool CMapEditor::Escape() {
    if (edit_ == Edit::None) {
        return false;
    }
    AbortEdit();
    Changed();
    return true;
}

// ------------------------------------------------------------------ mouse

void CMapEditor::MouseDown(MouseButton button, ScreenPoint p, InputModifiers mods) {
    if (button == MouseButton::Middle) {
        middlePan_ = true;
        middleLast_ = p;
        return;
    }
    if (button == MouseButton::Right) {
        if (edit_ != Edit::None) {
            AbortEdit();
            Changed();
        }
        return;
    }
    if (middlePan_ || press_ != Press::None) {
        return;
    }
    pressPoint_ = p;
    lastPoint_ = p;
    switch (tool_) {
        case MapTool::Select:
            SelectPress(p, mods);
            break;
        case MapTool::Pan:
            press_ = Press::Pan;
            break;
        case MapTool::DrawZone:
            ZonePress(p);
            break;
        case MapTool::Rotate:
            RotatePress(p);
            break;
    }
}

void CMapEditor::SelectPress(ScreenPoint p, InputModifiers mods) {
    const HitResult hit = HitTest(map_, transform_, shape_, p);
    SetCurrent(hit.kind, hit.item, hit.kind == ItemKind::Zone ? hit.detail : 0);
    if (!hit.item) {
        SetCurrent(ItemKind::None, nullptr, -2);
        if (!mods.ctrl) {
            map_.SelectAll(false);
        }
        press_ = Press::RubberBand;
        Changed();
        return;
    }
    if (hit.kind == ItemKind::Robot) {
        hitDetail_ = hit.detail;
    }
    if (mods.ctrl) {
        hit.item->selected = !hit.item->selected;
        press_ = Press::Held;
        Changed();
        return;
    }
    if (!hit.item->selected) {
        map_.SelectAll(false);
        hit.item->selected = true;
    }
    if (hit.kind == ItemKind::Zone && hit.detail >= 0) {
        HoldStep();
        BeginEdit();
        vertexZone_ = static_cast<CNavZone*>(hit.item);
        vertexIndex_ = hit.detail;
        press_ = Press::DragVertex;
    } else if (hit.kind == ItemKind::Robot && hit.detail == 1) {
        BeginEdit();
        robotTurned_ = false;
        press_ = Press::TurnRobot;
    } else {
        press_ = Press::Select;
    }
    Changed();
}

void CMapEditor::ZonePress(ScreenPoint p) {
    const MapPoint m = transform_.ToMap(p);
    if (edit_ != Edit::DrawingZone || !drawnZone_) {
        HoldStep();
        BeginEdit();
        map_.SelectAll(false);
        auto* zone = map_.zones.NewItem();
        if (!zone->SetVertexCount(2)) {
            delete zone;
            heldStep_.clear();
            return;
        }
        zone->Vertices()[0] = {m.x, m.y};
        zone->Vertices()[1] = {m.x, m.y};
        zone->selected = true;
        drawnZone_ = zone;
        edit_ = Edit::DrawingZone;
        SetCurrent(ItemKind::Zone, zone, -2);
        Changed();
        return;
    }
    CNavZone* zone = drawnZone_;
    const int32_t n = zone->VertexCount();
    const NavVertex first = zone->Vertices()[0];
    const ScreenPoint f = transform_.ToScreen(first.x, first.y);
    if (n > 1 && Finite(first.x, first.y) && std::abs(int64_t{p.x} - f.x) <= kCloseZoneReach &&
        std::abs(int64_t{p.y} - f.y) <= kCloseZoneReach) {
        zone->SetVertexCount(n - 1);
        edit_ = Edit::None;
        drawnZone_ = nullptr;
        if (zone->VertexCount() < 3) {
            if (current_ == zone) {
                SetCurrent(ItemKind::None, nullptr, -2);
            }
            delete zone;
            heldStep_.clear();
        } else {
            CommitStep();
        }
        loadBeforeEdit_.reset();
        Changed();
        return;
    }
    if (!zone->SetVertexCount(n + 1)) {
        return;
    }
    zone->Vertices()[n - 1] = {m.x, m.y};
    zone->Vertices()[n] = {m.x, m.y};
    Changed();
}

void CMapEditor::RotatePress(ScreenPoint p) {
    if (edit_ == Edit::RotationArmed) {
        // A click commits what the pointer has turned so far.
        ApplyRotation(p);
        rotation_.clear();
        edit_ = Edit::None;
        CommitStep();
        press_ = Press::Held;
        tool_ = MapTool::Select;
        view_.ShowTool(tool_);
        Changed();
        return;
    }
    pivot_ = transform_.ToMap(p);
    press_ = Press::RotatePivot;
    view_.Redraw();
}

void CMapEditor::MouseMove(ScreenPoint p, InputModifiers mods) {
    if (middlePan_) {
        Pan(middleLast_, p);
        middleLast_ = p;
        return;
    }
    switch (press_) {
        case Press::None:
            if (edit_ == Edit::RotationArmed) {
                ApplyRotation(p);
                lastPoint_ = p;
                view_.Redraw();
            } else if (edit_ == Edit::DrawingZone && drawnZone_) {
                const int32_t n = drawnZone_->VertexCount();
                if (n > 0) {
                    const MapPoint m = transform_.ToMap(p);
                    drawnZone_->Vertices()[n - 1] = {m.x, m.y};
                    view_.Redraw();
                }
            }
            break;
        case Press::Held:
            break;
        case Press::Select: {
            const int64_t dx = std::abs(int64_t{p.x} - pressPoint_.x);
            const int64_t dy = std::abs(int64_t{p.y} - pressPoint_.y);
            if (dx <= kDragThresholdX && dy < kDragThresholdY) {
                break;
            }
            if (map_.HasSelection()) {
                HoldStep();
            }
            BeginEdit();
            press_ = Press::DragSelection;
            [[fallthrough]];
        }
        case Press::DragSelection: {
            const double k = transform_.K();
            map_.MoveSelection((double(p.x) - lastPoint_.x) / k, (double(lastPoint_.y) - p.y) / k);
            lastPoint_ = p;
            view_.Redraw();
            break;
        }
        case Press::DragVertex:
            if (vertexZone_ && vertexIndex_ >= 0 && vertexIndex_ < vertexZone_->VertexCount()) {
                const MapPoint m = transform_.ToMap(p);
                vertexZone_->Vertices()[vertexIndex_] = {m.x, m.y};
                view_.Redraw();
            }
            break;
        case Press::TurnRobot: {
            CNavRobot& robot = map_.robot;
            if (Finite(robot.x, robot.y)) {
                robot.angle = HeadingToward(transform_.ToScreen(robot.x, robot.y), p, mods.shift);
                robotTurned_ = true;
                view_.Redraw();
            }
            break;
        }
        case Press::RubberBand:
        case Press::RotatePivot:
            lastPoint_ = p;
            view_.Redraw();
            break;
        case Press::Pan:
            Pan(lastPoint_, p);
            lastPoint_ = p;
            break;
    }
}

void CMapEditor::Pan(ScreenPoint from, ScreenPoint to) {
    const double k = transform_.K();
    const MapPoint c = transform_.Centre();
    transform_.SetCentre({c.x - (double(to.x) - from.x) / k, c.y + (double(to.y) - from.y) / k});
    transfer_.SetCentreOnRobot(false);
    view_.Redraw();
}

void CMapEditor::MouseUp(MouseButton button, ScreenPoint p, InputModifiers mods) {
    if (button == MouseButton::Middle) {
        if (middlePan_) {
            middlePan_ = false;
        }
        return;
    }
    if (button != MouseButton::Left) {
        return;
    }
    FinishPress(p, mods);
}

void CMapEditor::FinishPress(ScreenPoint p, InputModifiers mods) {
    const Press press = press_;
    press_ = Press::None;
    switch (press) {
        case Press::RubberBand:
            if (!mods.ctrl) {
                map_.SelectAll(false);
            }
            SelectInRect(map_, transform_, pressPoint_, p);
            Changed();
            break;
        case Press::DragSelection:
            CommitStep();
            if (map_.robot.selected) {
                transfer_.SendRobotPose(map_.robot.x, map_.robot.y, map_.robot.angle);
                if (loadBeforeEdit_) {
                    transfer_.SetLoadFromRobot(*loadBeforeEdit_);
                }
            }
            loadBeforeEdit_.reset();
            Changed();
            break;
        case Press::TurnRobot:
            if (robotTurned_) {
                transfer_.SendRobotPose(map_.robot.x, map_.robot.y, map_.robot.angle);
                if (loadBeforeEdit_) {
                    transfer_.SetLoadFromRobot(*loadBeforeEdit_);
                }
            }
            loadBeforeEdit_.reset();
            Changed();
            break;
        case Press::DragVertex:
            CommitStep();
            vertexZone_ = nullptr;
            vertexIndex_ = -1;
            loadBeforeEdit_.reset();
            Changed();
            break;
        case Press::RotatePivot:
            ArmRotation(p);
            Changed();
            break;
        case Press::Select:
        case Press::Held:
        case Press::Pan:
        case Press::None:
            break;
    }
}

void CMapEditor::Wheel(int32_t delta) {
    wheelRemainder_ += std::clamp(delta, -(1 << 20), 1 << 20);
    double scale = transform_.Scale();
    while (wheelRemainder_ >= kWheelNotch) {
        scale *= kWheelStep;
        wheelRemainder_ -= kWheelNotch;
    }
    while (wheelRemainder_ <= -kWheelNotch) {
        scale /= kWheelStep;
        wheelRemainder_ += kWheelNotch;
    }
    transform_.SetScale(scale);
    view_.Redraw();
}

// ---------------------------------------------------------------- rotation

void CMapEditor::ArmRotation(ScreenPoint release) {
    const MapPoint r = transform_.ToMap(release);
    referenceAngle_ = std::atan2(r.y - pivot_.y, r.x - pivot_.x);
    rotation_.clear();
    std::size_t count = 0;
    auto countSelected = [&count](const CNavList& list) {
        for (const CNavItem* it = list.First(); it; it = it->Next()) {
            count += it->selected ? 1 : 0;
        }
    };
    countSelected(map_.images);
    countSelected(map_.places);
    countSelected(map_.walls);
    countSelected(map_.floorLines);
    rotation_.reserve((count + kSnapshotStep - 1) / kSnapshotStep * kSnapshotStep);
    auto take = [this](CNavList& list) {
        for (CNavItem* it = list.First(); it; it = it->Next()) {
            if (it->selected) {
                auto* point = static_cast<CNavPointItem*>(it);
                rotation_.push_back({point, point->x, point->y, point->angle});
            }
        }
    };
    take(map_.images);
    take(map_.places);
    take(map_.walls);
    take(map_.floorLines);
    lastPoint_ = release;
    if (!rotation_.empty()) {
        HoldStep();
    }
    edit_ = Edit::RotationArmed;
}

void CMapEditor::ApplyRotation(ScreenPoint p) {
    const MapPoint m = transform_.ToMap(p);
    const double theta = std::atan2(m.y - pivot_.y, m.x - pivot_.x) - referenceAngle_;
    if (!std::isfinite(theta)) {
        return;
    }
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    for (const PoseSnapshot& snap : rotation_) {
        const double dx = snap.x - pivot_.x;
        const double dy = snap.y - pivot_.y;
        snap.item->x = pivot_.x + dx * c - dy * s;
        snap.item->y = pivot_.y + dx * s + dy * c;
        snap.item->angle = FoldAngle(snap.angle + theta);
    }
}

void CMapEditor::RestoreRotation() {
    for (const PoseSnapshot& snap : rotation_) {
        snap.item->x = snap.x;
        snap.item->y = snap.y;
        snap.item->angle = snap.angle;
    }
    rotation_.clear();
    heldStep_.clear();
    edit_ = Edit::None;
}

MapCursor CMapEditor::CursorAt(ScreenPoint p) const {
    if (middlePan_) {
        return MapCursor::Panning;
    }
    switch (tool_) {
        case MapTool::Pan:
            return press_ == Press::Pan ? MapCursor::Panning : MapCursor::Pan;
        case MapTool::DrawZone:
            return MapCursor::Cross;
        case MapTool::Rotate:
            return MapCursor::Rotate;
        case MapTool::Select:
            break;
    }
    switch (press_) {
        case Press::DragSelection:
        case Press::DragVertex:
        case Press::TurnRobot:
            return MapCursor::Moving;
        case Press::RubberBand:
            return MapCursor::Arrow;
        default:
            break;
    }
    const HitResult hit = HitTest(map_, transform_, shape_, p);
    if (hit.kind == ItemKind::None) {
        return MapCursor::Arrow;
    }
    if ((hit.kind == ItemKind::Robot && hit.detail == 1) ||
        (hit.kind == ItemKind::Zone && hit.detail >= 0)) {
        return MapCursor::Handle;
    }
    return MapCursor::OverItem;
}

std::optional<std::pair<ScreenPoint, ScreenPoint>> CMapEditor::RubberBand() const {
    if (press_ != Press::RubberBand) {
        return std::nullopt;
    }
    return std::make_pair(pressPoint_, lastPoint_);
}

std::optional<std::pair<ScreenPoint, ScreenPoint>> CMapEditor::RotationLine() const {
    if (press_ != Press::RotatePivot && edit_ != Edit::RotationArmed) {
        return std::nullopt;
    }
    return std::make_pair(transform_.ToScreen(pivot_.x, pivot_.y), lastPoint_);
}

// -------------------------------------------------------------------- view

void CMapEditor::ZoomIn() {
    transform_.SetScale(transform_.Scale() * kZoomStep);
    view_.Redraw();
}

void CMapEditor::ZoomOut() {
    transform_.SetScale(transform_.Scale() / kZoomStep);
    view_.Redraw();
}

void CMapEditor::CentreOnRobotNow() {
    transform_.SetCentre({map_.robot.x, map_.robot.y});
    view_.Redraw();
}

// --------------------------------------------------- what the robot sends

void CMapEditor::ShowNavMode(NavMode mode) {
    if (mode != NavMode::Recording) {
        lastOtherMode_ = mode;
    }
    view_.ShowNavMode(mode);
}

void CMapEditor::ShowLoadFromRobot(bool on) {
    view_.ShowLoadFromRobot(on);
    view_.CommandsChanged();
}

void CMapEditor::ForgetCurrentItem() {
    // The map was cleared under the editor: whatever it held is gone.
    DropReferences();
    history_.Clear();
}

void CMapEditor::CentreOnRobot() {
    CentreOnRobotNow();
}

void CMapEditor::MapReceived(MapArrival arrival, bool ok) {
    // A merge keeps every item the editor holds, so the edit can end as Esc
    // ends it; the robot's map is the new starting point for undo.
    if (edit_ != Edit::None || press_ != Press::None) {
        AbortEdit();
    }
    history_.Clear();
    view_.MapReceived(arrival, ok);
    Changed();
}

// ---------------------------------------------------------------- commands

MapCommands CMapEditor::Commands(bool clipboardHasMap) const {
    MapCommands c;
    const bool selection = map_.HasSelection();
    c.copy = selection || map_.robot.selected;
    c.cut = selection;
    c.remove = selection;
    c.paste = clipboardHasMap;
    c.goTo = currentKind_ == ItemKind::Place && current_;
    c.properties = currentKind_ != ItemKind::None && current_;
    c.undo = history_.CanUndo();
    c.redo = history_.CanRedo();
    c.navigation = link_.Authorised();
    c.upload = link_.Authorised();
    return c;
}

void CMapEditor::Copy() {
    CMemoryStream body(4096);
    if (!WriteBody(map_, body, MapScope::SelectionOnly)) {
        return;
    }
    view_.PutOnClipboard(std::string(body.View()));
    view_.CommandsChanged();
}

void CMapEditor::Cut() {
    AbortEdit();
    Copy();
    if (!map_.HasSelection()) {
        return;
    }
    history_.Record(map_);
    map_.DeleteSelection();
    DropReferences();
    Changed();
}

void CMapEditor::Delete() {
    AbortEdit();
    if (map_.HasSelection()) {
        history_.Record(map_);
        map_.DeleteSelection();
    }
    DropReferences();
    Changed();
}

bool CMapEditor::Paste(std::string_view bytes) {
    // Read into a scratch map first: a clipboard body from anywhere must read
    // whole before it touches the map.
    CMemoryStream stream(1024);
    if (bytes.empty() || !stream.Assign(bytes)) {
        return false;
    }
    {
        CNavProject scratch([] { return 0; });
        if (!ReadBody(scratch, stream, MergeIds::Stored)) {
            return false;
        }
    }
    AbortEdit();
    history_.Record(map_);
    map_.SelectAll(false);
    stream.Seek(0, kSeekSet);
    ReadBody(map_, stream, MergeIds::Stored);
    // The pasted ids were stored ones; later items must not take them again.
    for (const CNavList* list : map_.lists) {
        for (const CNavItem* it = list->First(); it; it = it->Next()) {
            map_.RaiseVersion(it->id);
        }
    }
    Changed();
    return true;
}

bool CMapEditor::GoToPlace() {
    if (currentKind_ != ItemKind::Place || !current_) {
        return false;
    }
    transfer_.SendGoToPlace(static_cast<CNavPlace*>(current_)->placeNumber);
    return true;
}

std::optional<ItemProperties> CMapEditor::Properties() {
    dialogKind_ = ItemKind::None;
    dialogItem_ = nullptr;
    if (!current_) {
        return std::nullopt;
    }
    dialogKind_ = currentKind_;
    dialogItem_ = current_;
    switch (currentKind_) {
        case ItemKind::Image: {
            const auto& it = static_cast<const CNavImage&>(*current_);
            ImageProperties v{it.x,          it.y,       ToDegrees(it.angle), it.version, it.noGo,
                              it.bodyHeight, it.Width(), it.Height(),         {}};
            if (it.Pixels()) {
                v.pixels.assign(it.Pixels(), it.Pixels() + it.PixelCount());
            }
            return v;
        }
        case ItemKind::Wall: {
            const auto& it = static_cast<const CNavWall&>(*current_);
            return WallProperties{it.x, it.y, ToDegrees(it.angle), it.side, it.version};
        }
        case ItemKind::Place: {
            const auto& it = static_cast<const CNavPlace&>(*current_);
            return PlaceProperties{it.placeNumber, it.bodyHeight,       it.x,
                                   it.y,           ToDegrees(it.angle), it.version};
        }
        case ItemKind::Zone: {
            const auto& it = static_cast<const CNavZone&>(*current_);
            return ZoneProperties{it.zoneType, it.version, it.zoneNumber, it.parameter};
        }
        case ItemKind::Robot: {
            const auto& it = static_cast<const CNavRobot&>(*current_);
            return RobotProperties{it.x, it.y, ToDegrees(it.angle)};
        }
        case ItemKind::FloorLine: {
            const auto& it = static_cast<const CNavFloorLine&>(*current_);
            return FloorLineProperties{it.x,
                                       it.y,
                                       ToDegrees(it.angle),
                                       it.position,
                                       static_cast<FloorLineKind>(it.kind),
                                       it.lift,
                                       ToDegrees(it.tilt)};
        }
        case ItemKind::None:
            break;
    }
    dialogKind_ = ItemKind::None;
    dialogItem_ = nullptr;
    return std::nullopt;
}

ApplyResult CMapEditor::ApplyProperties(const ItemProperties& values) {
    CNavItem* item = dialogItem_;
    const ItemKind kind = dialogKind_;
    dialogItem_ = nullptr;
    dialogKind_ = ItemKind::None;
    if (!item) {
        return ApplyResult::ItemGone;
    }
    // The robot's pose is not an undo step: the robot keeps its own.
    if (kind != ItemKind::Robot) {
        history_.Record(map_);
    }
    ApplyResult result = ApplyResult::Stored;
    if (const auto* v = std::get_if<ImageProperties>(&values); v && kind == ItemKind::Image) {
        auto& it = static_cast<CNavImage&>(*item);
        StorePose(it, v->x, v->y, v->angle);
        it.noGo = v->noGo;
        it.bodyHeight = static_cast<float>(Field(v->bodyHeight, it.bodyHeight, 1e30));
    } else if (const auto* w = std::get_if<WallProperties>(&values); w && kind == ItemKind::Wall) {
        StorePose(static_cast<CNavWall&>(*item), w->x, w->y, w->angle);
    } else if (const auto* p = std::get_if<PlaceProperties>(&values);
               p && kind == ItemKind::Place) {
        auto& it = static_cast<CNavPlace&>(*item);
        StorePose(it, p->x, p->y, p->angle);
        it.bodyHeight = static_cast<float>(
            std::clamp(Field(p->bodyHeight, it.bodyHeight), 0.0, PlaceProperties::kMaxBodyHeight));
        const int32_t number = std::clamp(p->number, 1, PlaceProperties::kMaxNumber);
        if (map_.FindPlaceByNumber(number, &it)) {
            view_.ShowError(u"Такой номер места уже есть на карте!", kErrorMs);
            result = ApplyResult::NumberTaken;
        } else {
            it.placeNumber = number;
            lastPlaceNumber_ = static_cast<uint32_t>(number);
        }
    } else if (const auto* z = std::get_if<ZoneProperties>(&values); z && kind == ItemKind::Zone) {
        auto& it = static_cast<CNavZone&>(*item);
        it.zoneType = std::clamp(z->zoneType, 1, 3);
        it.zoneNumber = std::max(z->zoneNumber, 0);
        it.parameter = z->parameter;
    } else if (const auto* r = std::get_if<RobotProperties>(&values);
               r && kind == ItemKind::Robot) {
        StorePose(static_cast<CNavRobot&>(*item), r->x, r->y, r->angle);
    } else if (const auto* f = std::get_if<FloorLineProperties>(&values);
               f && kind == ItemKind::FloorLine) {
        auto& it = static_cast<CNavFloorLine&>(*item);
        StorePose(it, f->x, f->y, f->angle);
        it.position = std::clamp(Field(f->position, it.position), -1.0, 1.0);
        it.kind = static_cast<uint8_t>(f->kind == FloorLineKind::Transverse ? 1 : 0);
        it.lift = static_cast<float>(std::clamp(Field(f->lift, it.lift), -100.0, 100.0));
        it.tilt = std::clamp(Field(f->tilt, ToDegrees(it.tilt)), -100.0, 100.0) / kDegrees;
    } else {
        return ApplyResult::ItemGone;
    }
    Changed();
    return result;
}

bool CMapEditor::SelectLast(std::u16string_view text) {
    const auto n = ParseCount(text);
    if (!n) {
        view_.ShowError(u"Число введено неверно!", kErrorMs);
        return false;
    }
    map_.SelectAll(false);
    int32_t left = *n;
    for (CNavImage* it = map_.images.Last(); it && left > 0;
         it = static_cast<CNavImage*>(it->Prev()), --left) {
        it->selected = true;
    }
    Changed();
    return true;
}

void CMapEditor::SelectAll() {
    map_.SelectAll(true);
    Changed();
}

bool CMapEditor::MarkPlace() {
    AbortEdit();
    int64_t number = int64_t{lastPlaceNumber_} + 1;
    while (number <= PlaceProperties::kMaxNumber &&
           map_.FindPlaceByNumber(static_cast<int32_t>(number))) {
        ++number;
    }
    if (number > PlaceProperties::kMaxNumber) {
        return false;
    }
    lastPlaceNumber_ = static_cast<uint32_t>(number);
    history_.Record(map_);
    auto* place = map_.places.NewItem();
    place->placeNumber = static_cast<int32_t>(number);
    place->x = map_.robot.x;
    place->y = map_.robot.y;
    place->angle = map_.robot.angle;
    transfer_.SetLoadFromRobot(false);
    Changed();
    transfer_.StartUpload();
    return true;
}

void CMapEditor::NewMap() {
    AbortEdit();
    map_.Clear();
    DropReferences();
    history_.Clear();
    transfer_.SetLoadFromRobot(false);
    map_.robot.x = 0;
    map_.robot.y = 0;
    map_.robot.angle = 0;
    map_.robot.selected = false;
    CentreOnRobotNow();
    transfer_.SetCentreOnRobot(true);
    Changed();
    transfer_.StartUpload();
}

bool CMapEditor::Load(const std::string& path) {
    AbortEdit();
    transfer_.SetLoadFromRobot(false);
    SetCurrent(ItemKind::None, nullptr, -2);
    transfer_.SetCentreOnRobot(true);
    // Loaded aside first, so that a file that does not read leaves the map.
    CNavProject scratch;
    CMemoryStream body(1 << 16);
    if (!LoadFile(scratch, path) || !WriteBody(scratch, body, MapScope::Whole)) {
        view_.ShowError(u"Невозможно открыть файл!", kErrorMs);
        Changed();
        return false;
    }
    map_.Clear();
    DropReferences();
    history_.Clear();
    body.Seek(0, kSeekSet);
    ReadBody(map_, body, MergeIds::Stored);
    map_.mapId = scratch.mapId;
    map_.nextVersion = scratch.nextVersion;
    CentreOnRobotNow();
    Changed();
    return true;
}

bool CMapEditor::SaveAs(const std::string& path) {
    if (!SaveFile(map_, path)) {
        view_.ShowError(u"Невозможно сохранить файл!", kErrorMs);
        return false;
    }
    return true;
}

bool CMapEditor::Undo() {
    AbortEdit();
    const bool done = history_.Undo(map_);
    DropReferences();
    Changed();
    return done;
}

bool CMapEditor::Redo() {
    AbortEdit();
    const bool done = history_.Redo(map_);
    DropReferences();
    Changed();
    return done;
}

// -------------------------------------------------------------- navigation

void CMapEditor::SetMode(NavMode mode) {
    transfer_.SendNavMode(mode);
    ShowNavMode(mode);
}

bool CMapEditor::ToggleRecording() {
    if (!link_.Authorised()) {
        return false;
    }
    if (transfer_.Mode() != NavMode::Recording) {
        SetMode(NavMode::Recording);
    } else {
        SetMode(lastOtherMode_.value_or(NavMode::Off));
    }
    return true;
}

void CMapEditor::SetPermission(NavPermission bit, bool on) {
    uint8_t bits = transfer_.Permissions();
    bits = on ? static_cast<uint8_t>(bits | bit) : static_cast<uint8_t>(bits & ~bit);
    transfer_.SetPermissions(bits);
}

void CMapEditor::ConnectionStateChanged() {
    view_.CommandsChanged();
}

std::optional<MapSubscription> CMapEditor::Subscription() const {
    if (!transfer_.LoadFromRobot()) {
        return std::nullopt;
    }
    return MapSubscription{map_.mapId, map_.nextVersion};
}

}  // namespace velcora::nav
