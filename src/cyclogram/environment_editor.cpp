#include "cyclogram/environment_editor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "cyclogram/cyclogram_format.h"
#include "cyclogram/time_line_geometry.h"

namespace velcora {

namespace {

// Tracker coordinates are in units of 1/320 of the view's height.
constexpr int64_t kUnits = 320;
constexpr int kFrameGap = 3;

std::string Format(const char* pattern, const std::string& value) {
    std::string out(pattern);
    const auto at = out.find("%s");
    if (at != std::string::npos) {
        out.replace(at, 2, value);
    }
    return out;
}

int32_t SaturateI32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace

TrackerShape ShapeOf(const EnvTracker& tracker, int w, int h) {
    const int64_t W = std::max(w, 10), H = std::max(h, 10);
    TrackerShape s;
    s.cx = ClampPixel(W / 2 + H * tracker.x / kUnits);
    s.cy = ClampPixel(H / 2 + H * tracker.y / kUnits);
    s.halfLength = static_cast<int>(std::max<int64_t>(H / 10, 20));
    s.knobThickness = static_cast<int>(std::max<int64_t>(H / 80, 2));
    s.knobLength = static_cast<int>(std::max<int64_t>(H * 6 / kUnits, 3));
    s.vertical = tracker.kind == 1;
    const int L = s.halfLength, e = s.knobThickness, m = s.knobLength;
    float p = tracker.position;
    if (!(p >= 0.0f)) {
        p = 0.0f;
    }
    p = std::min(p, 1.0f);
    const int along = static_cast<int>(static_cast<float>(2 * L) * p);
    if (!s.vertical) {
        s.barX0 = s.cx - L;
        s.barY0 = s.cy - 1;
        s.barX1 = s.cx + L;
        s.barY1 = s.cy + 2;
        const int kx = s.cx - L + along;
        s.knobX0 = kx - e;
        s.knobY0 = s.cy - m;
        s.knobX1 = kx + e;
        s.knobY1 = s.cy + m;
        s.boxX0 = s.cx - L - e;
        s.boxY0 = s.cy - m;
        s.boxX1 = s.cx + L + e;
        s.boxY1 = s.cy + m;
    } else {
        s.barX0 = s.cx - 2;
        s.barY0 = s.cy - L;
        s.barX1 = s.cx + 1;
        s.barY1 = s.cy + L;
        const int ky = s.cy - L + along;
        s.knobX0 = s.cx - m;
        s.knobY0 = ky - e;
        s.knobX1 = s.cx + m;
        s.knobY1 = ky + e;
        s.boxX0 = s.cx - m;
        s.boxY0 = s.cy - L - e;
        s.boxX1 = s.cx + m;
        s.boxY1 = s.cy + L + e;
    }
    return s;
}

CEnvironmentEditor::CEnvironmentEditor(IRobotLink& link, IEnvironmentView& view,
                                       EnvironmentFiles files, bool locked)
    : link_(link),
      view_(view),
      files_(std::move(files)),
      locked_(locked),
      transfer_(link, *this, env_, files_) {
    CCyclogramEnv stored;
    if (loadEnvironmentFile(files_.workingCopy, stored)) {
        env_.trackers = std::move(stored.trackers);
        env_.backgroundSize = stored.backgroundSize;
        env_.backgroundChecksum = stored.backgroundChecksum;
    }
    ReloadPicture();
    if (picture_) {
        RefreshBackgroundIdentity();
    }
}

CEnvironmentEditor::~CEnvironmentEditor() {
    SaveWorkingCopy();
}

bool CEnvironmentEditor::SaveWorkingCopy() {
    return saveEnvironmentFile(files_.workingCopy, env_);
}

void CEnvironmentEditor::ReloadPicture() {
    int w = 0, h = 0;
    picture_ = view_.LoadPicture(files_.background, w, h) && w > 0 && h > 0;
    pictureW_ = picture_ ? w : 0;
    pictureH_ = picture_ ? h : 0;
    if (!picture_) {
        view_.DropPicture();
    }
    view_.Invalidate();
}

void CEnvironmentEditor::RefreshBackgroundIdentity() {
    const BackgroundIdentity id = computeBackgroundChecksum(files_.background);
    env_.backgroundSize = id.size;
    env_.backgroundChecksum = id.checksum;
}

void CEnvironmentEditor::SetViewSize(int w, int h) {
    w_ = std::max(w, 10);
    h_ = std::max(h, 10);
    view_.Invalidate();
}

int32_t CEnvironmentEditor::HitTracker(int x, int y) const {
    for (int32_t i = env_.count() - 1; i >= 0; --i) {
        const TrackerShape s = ShapeOf(env_.trackers[static_cast<std::size_t>(i)], w_, h_);
        if (x >= s.boxX0 && x <= s.boxX1 && y >= s.boxY0 && y <= s.boxY1) {
            return i;
        }
    }
    return -1;
}

void CEnvironmentEditor::SetPosition(int32_t i, float p) {
    if (i < 0 || i >= env_.count() || std::isnan(p)) {
        return;
    }
    p = std::clamp(p, 0.0f, 1.0f);
    EnvTracker& t = env_.trackers[static_cast<std::size_t>(i)];
    if (t.position == p) {
        return;
    }
    t.position = p;
    view_.Invalidate();
    if (transfer_.onlineMode()) {
        transfer_.setMotor(t.motor, RawOfPosition(t, p));
    }
    if (listener_) {
        // The listener may not reach back into the array: pass copies.
        const int32_t motor = t.motor;
        listener_->OnTrackerMoved(i, motor, p);
    }
}

void CEnvironmentEditor::Select(int32_t i) {
    if (i == selected_) {
        return;
    }
    selected_ = i;
    view_.Invalidate();
    view_.OnToolbarChanged();
    if (listener_) {
        listener_->OnTrackerSelected(i >= 0 ? env_.trackers[static_cast<std::size_t>(i)].motor
                                            : -1);
    }
}

void CEnvironmentEditor::SetTool(EnvTool tool) {
    tool_ = tool;
    view_.OnToolbarChanged();
}

void CEnvironmentEditor::EndDrag() {
    if (drag_ == DragKind::Knob && listener_) {
        listener_->OnTrackerGesture(false);
    }
    drag_ = DragKind::None;
    mouseDown_ = false;
    transfer_.setMouseDown(false);
}

void CEnvironmentEditor::MouseDown(int x, int y) {
    EndDrag();
    mouseDown_ = true;
    transfer_.setMouseDown(true);
    pressX_ = x;
    pressY_ = y;
    switch (tool_) {
        case EnvTool::Operate:
        case EnvTool::SelectMove: {
            const int32_t hit = HitTracker(x, y);
            Select(hit);
            if (hit < 0) {
                break;
            }
            const EnvTracker& t = env_.trackers[static_cast<std::size_t>(hit)];
            if (tool_ == EnvTool::Operate) {
                drag_ = DragKind::Knob;
                startPosition_ = t.position;
                if (listener_) {
                    listener_->OnTrackerGesture(true);
                }
            } else {
                drag_ = DragKind::Place;
                startX_ = t.x;
                startY_ = t.y;
            }
            break;
        }
        case EnvTool::PlaceHorizontal:
        case EnvTool::PlaceVertical: {
            EnvTracker t;
            t.motor = env_.count() + 1;
            t.kind = tool_ == EnvTool::PlaceVertical ? 1 : 0;
            t.leftRaw = 0;
            t.rightRaw = 65535;
            t.defaultRaw = 32768;
            t.position = 0.5f;
            t.x = SaturateI32((static_cast<int64_t>(x) - w_ / 2) * kUnits / h_);
            t.y = SaturateI32((static_cast<int64_t>(y) - h_ / 2) * kUnits / h_);
            const int32_t i = env_.addTracker(t);
            if (i < 0) {
                break;
            }
            MarkChanged();
            Select(i);
            SetTool(EnvTool::SelectMove);
            view_.Invalidate();
            break;
        }
    }
}

void CEnvironmentEditor::MouseMove(int x, int y) {
    if (!mouseDown_ || selected_ < 0 || selected_ >= env_.count()) {
        return;
    }
    EnvTracker& t = env_.trackers[static_cast<std::size_t>(selected_)];
    if (drag_ == DragKind::Knob) {
        const TrackerShape s = ShapeOf(t, w_, h_);
        const int64_t d =
            t.kind == 1 ? static_cast<int64_t>(y) - pressY_ : static_cast<int64_t>(x) - pressX_;
        SetPosition(selected_,
                    startPosition_ + static_cast<float>(d) / static_cast<float>(2 * s.halfLength));
    } else if (drag_ == DragKind::Place) {
        t.x = SaturateI32(startX_ + (static_cast<int64_t>(x) - pressX_) * kUnits / h_);
        t.y = SaturateI32(startY_ + (static_cast<int64_t>(y) - pressY_) * kUnits / h_);
        MarkChanged();
        view_.Invalidate();
    }
}

void CEnvironmentEditor::MouseUp(int x, int y) {
    MouseMove(x, y);
    EndDrag();
}

void CEnvironmentEditor::DoubleClick(int x, int y) {
    Select(HitTracker(x, y));
    const EnvCommand c = DefaultPopupItem();
    if (Visible(c) && Enabled(c)) {
        Run(c);
    }
}

bool CEnvironmentEditor::KeyDown(EnvKey key, InputMods mods) {
    if (key == EnvKey::Delete) {
        if (Visible(EnvCommand::DeleteTracker) && Enabled(EnvCommand::DeleteTracker)) {
            Run(EnvCommand::DeleteTracker);
        }
        return true;
    }
    if (selected_ < 0 || selected_ >= env_.count() || key == EnvKey::Other) {
        return false;
    }
    EnvTracker& t = env_.trackers[static_cast<std::size_t>(selected_)];
    if (tool_ == EnvTool::Operate) {
        const float step = key == EnvKey::Left || key == EnvKey::Up ? -kArrowStep : kArrowStep;
        SetPosition(selected_, t.position + step);
        return true;
    }
    if (tool_ == EnvTool::SelectMove) {
        const int32_t step = mods.ctrl ? 10 : 1;
        switch (key) {
            case EnvKey::Left:
                t.x = SaturateI32(static_cast<int64_t>(t.x) - step);
                break;
            case EnvKey::Right:
                t.x = SaturateI32(static_cast<int64_t>(t.x) + step);
                break;
            case EnvKey::Up:
                t.y = SaturateI32(static_cast<int64_t>(t.y) - step);
                break;
            default:
                t.y = SaturateI32(static_cast<int64_t>(t.y) + step);
                break;
        }
        MarkChanged();
        view_.Invalidate();
        return true;
    }
    return false;
}

// ------------------------------------------------------------ commands

bool CEnvironmentEditor::Visible(EnvCommand c) const {
    switch (c) {
        case EnvCommand::New:
        case EnvCommand::Upload:
        case EnvCommand::Edit:
        case EnvCommand::TrackerParameters:
        case EnvCommand::DeleteTracker:
        case EnvCommand::LoadBackground:
        case EnvCommand::DeleteBackground:
            return !locked_;
        case EnvCommand::ToolSelectMove:
        case EnvCommand::ToolHorizontal:
        case EnvCommand::ToolVertical:
            return !locked_ && editMode_;
        default:
            return true;
    }
}

bool CEnvironmentEditor::Enabled(EnvCommand c) const {
    if (!Visible(c)) {
        return false;
    }
    const bool tracker = selected_ >= 0 && selected_ < env_.count();
    switch (c) {
        case EnvCommand::Download:
        case EnvCommand::Upload:
            return link_.Authorised();
        case EnvCommand::Online:
            return !transfer_.changed();
        case EnvCommand::ExactValue:
        case EnvCommand::TrackerParameters:
        case EnvCommand::DeleteTracker:
            return tracker;
        case EnvCommand::DeleteBackground:
            return env_.backgroundSize != 0;
        default:
            return true;
    }
}

bool CEnvironmentEditor::Pressed(EnvCommand c) const {
    switch (c) {
        case EnvCommand::Online:
            return transfer_.onlineMode();
        case EnvCommand::Edit:
            return editMode_;
        case EnvCommand::ToolSelectMove:
            return tool_ == EnvTool::SelectMove;
        case EnvCommand::ToolHorizontal:
            return tool_ == EnvTool::PlaceHorizontal;
        case EnvCommand::ToolVertical:
            return tool_ == EnvTool::PlaceVertical;
        default:
            return false;
    }
}

EnvCommand CEnvironmentEditor::DefaultPopupItem() const {
    return editMode_ ? EnvCommand::TrackerParameters : EnvCommand::ExactValue;
}

void CEnvironmentEditor::SetEditMode(bool on) {
    editMode_ = on;
    EndDrag();
    SetTool(on ? EnvTool::SelectMove : EnvTool::Operate);
    if (!on) {
        SaveWorkingCopy();
    }
    view_.Invalidate();
}

void CEnvironmentEditor::Run(EnvCommand c) {
    if (!Enabled(c)) {
        return;
    }
    switch (c) {
        case EnvCommand::New:
            if (view_.Confirm("Новый проект окружения",
                              "Вы действительно хотите создать новый проект окружения, удалив "
                              "существующий?")) {
                env_.clear();
                Select(-1);
                MarkChanged();
                view_.Invalidate();
            }
            break;
        case EnvCommand::Load:
            LoadProject();
            break;
        case EnvCommand::Save:
            SaveProject();
            break;
        case EnvCommand::Download:
            if (transfer_.requestEnvironment()) {
                view_.OnToolbarChanged();
            }
            break;
        case EnvCommand::Upload:
            transfer_.uploadEnvironment();
            break;
        case EnvCommand::Online:
            transfer_.setOnlineMode(!transfer_.onlineMode());
            view_.OnToolbarChanged();
            break;
        case EnvCommand::Edit:
            SetEditMode(!editMode_);
            break;
        case EnvCommand::ToolSelectMove:
            SetTool(EnvTool::SelectMove);
            break;
        case EnvCommand::ToolHorizontal:
            SetTool(EnvTool::PlaceHorizontal);
            break;
        case EnvCommand::ToolVertical:
            SetTool(EnvTool::PlaceVertical);
            break;
        case EnvCommand::ExactValue:
            view_.ShowExactValue(selected_);
            break;
        case EnvCommand::TrackerParameters: {
            EnvTracker copy = env_.trackers[static_cast<std::size_t>(selected_)];
            const int32_t index = selected_;
            if (!view_.EditTrackerParameters(copy) || index >= env_.count()) {
                break;
            }
            EnvTracker& t = env_.trackers[static_cast<std::size_t>(index)];
            t.motor = copy.motor;
            t.leftRaw = copy.leftRaw;
            t.rightRaw = copy.rightRaw;
            t.defaultRaw = copy.defaultRaw;
            t.kind = copy.kind == 1 ? 1 : 0;
            MarkChanged();
            view_.Invalidate();
            break;
        }
        case EnvCommand::DeleteTracker:
            if (view_.Confirm("Удаление трекера", "Удалить трекер?")) {
                env_.removeTracker(selected_);
                selected_ = -1;
                Select(-1);
                MarkChanged();
                view_.Invalidate();
                view_.OnToolbarChanged();
            }
            break;
        case EnvCommand::LoadBackground:
            LoadBackground();
            break;
        case EnvCommand::DeleteBackground:
            DeleteBackground();
            break;
    }
}

void CEnvironmentEditor::LoadProject() {
    const std::string path =
        view_.ChooseOpenFile("Загрузить проект окружения", EnvFileKind::Project);
    if (path.empty()) {
        return;
    }
    // A file that cannot be read whole changes nothing. Readers fill a short
    // record with zeros, so the record must also take up the file exactly.
    CCyclogramEnv fresh;
    CMemoryStream bytes;
    CMemoryStream again;
    const bool read = bytes.LoadFromFile(path) && readEnvironment(bytes, fresh) &&
                      writeEnvironment(fresh, again) && again.Size() == bytes.Size();
    if (!read) {
        view_.ShowError(Format("Невозможно прочитать файл \"%s\"!", path));
        return;
    }
    MarkChanged();
    env_.trackers = std::move(fresh.trackers);
    RefreshBackgroundIdentity();
    selected_ = -1;
    Select(-1);
    view_.Invalidate();
    view_.OnToolbarChanged();
}

void CEnvironmentEditor::SaveProject() {
    const std::string path = view_.ChooseSaveFile("Сохранить проект окружения");
    if (path.empty()) {
        return;
    }
    if (!saveEnvironmentFile(path, env_)) {
        view_.ShowError(Format("Невозможно записать файл \"%s\"!", path));
    }
}

void CEnvironmentEditor::LoadBackground() {
    const std::string path =
        view_.ChooseOpenFile("Загрузить фон из файла...", EnvFileKind::Picture);
    if (path.empty()) {
        return;
    }
    MarkChanged();
    // Read it whole first: the chosen file may be the background file itself.
    CMemoryStream bytes;
    int w = 0, h = 0;
    if (!bytes.LoadFromFile(path) || !view_.LoadPicture(path, w, h) || w <= 0 || h <= 0) {
        picture_ = false;
        view_.DropPicture();
        view_.Invalidate();
        return;
    }
    if (!ReplaceFile(files_.background, bytes.View())) {
        view_.ShowError(Format("Невозможно записать файл \"%s\"!", files_.background));
    }
    picture_ = true;
    pictureW_ = w;
    pictureH_ = h;
    RefreshBackgroundIdentity();
    view_.Invalidate();
    view_.OnToolbarChanged();
}

void CEnvironmentEditor::DeleteBackground() {
    if (!view_.Confirm("Удалить фон", "Вы действительно хотите удалить фон?")) {
        return;
    }
    picture_ = false;
    view_.DropPicture();
    MarkChanged();
    std::remove(files_.background.c_str());
    env_.backgroundSize = 0;
    env_.backgroundChecksum = 0;
    view_.Invalidate();
    view_.OnToolbarChanged();
}

// ------------------------------------------------- transfer notifications

bool CEnvironmentEditor::Confirm(const std::string& question, const std::string& title) {
    return view_.Confirm(title, question);
}

void CEnvironmentEditor::OnRequestFailed(EnvironmentRequest, const std::string& text) {
    view_.ShowError(text);
}

void CEnvironmentEditor::OnEnvironmentReplaced() {
    selected_ = -1;
    if (listener_) {
        listener_->OnTrackerSelected(-1);
    }
    view_.Invalidate();
    view_.OnToolbarChanged();
}

void CEnvironmentEditor::OnBackgroundChanged() {
    ReloadPicture();
}

void CEnvironmentEditor::OnChangedFlag(bool changed) {
    // A project the robot does not have cannot drive the robot's motors.
    if (changed) {
        transfer_.setOnlineMode(false);
    }
    view_.OnToolbarChanged();
}

void CEnvironmentEditor::OnEnvironmentUploaded() {
    view_.OnToolbarChanged();
}

void CEnvironmentEditor::OnMotorValues(bool anyChanged) {
    if (anyChanged) {
        view_.Invalidate();
    }
}

// ------------------------------------------------------------ painting

void CEnvironmentEditor::BuildPaintList(EnvPaintList& out) const {
    out.trackers.clear();
    out.picture = picture_;
    if (picture_) {
        out.pictureH = h_;
        out.pictureW = ClampPixel(static_cast<int64_t>(pictureW_) * h_ / std::max(pictureH_, 1));
        out.pictureX = (w_ - out.pictureW) / 2;
        out.pictureY = 0;
    }
    for (int32_t i = 0; i < env_.count(); ++i) {
        const EnvTracker& t = env_.trackers[static_cast<std::size_t>(i)];
        EnvPaintList::Tracker p;
        p.shape = ShapeOf(t, w_, h_);
        p.noValue = t.noValue != 0;
        p.selectedKnob = !editMode_ && i == selected_;
        p.frame = editMode_ && i == selected_;
        if (p.frame) {
            p.shape.boxX0 -= kFrameGap;
            p.shape.boxY0 -= kFrameGap;
            p.shape.boxX1 += kFrameGap;
            p.shape.boxY1 += kFrameGap;
        }
        out.trackers.push_back(p);
    }
}

}  // namespace velcora
