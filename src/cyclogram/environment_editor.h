// The environment view without its window: trackers over a background
// picture, their geometry and drawing, the tools that operate and place them,
// the arrow keys, the tool-bar and pop-up commands, ".cenv" files, the
// background picture and the working copy "env.cenv". Moving a tracker tells
// the listener (the cyclogram window records a key) and, on-line, sets the
// robot's motor. Decoding pictures and the dialogs stay with the window.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cyclogram/cyclogram.h"
#include "cyclogram/cyclogram_transfer.h"
#include "cyclogram/time_line.h"

namespace velcora {

enum class EnvTool : int32_t {
    Operate = 0,
    SelectMove = 1,
    PlaceHorizontal = 10,
    PlaceVertical = 11,
};

enum class EnvCommand {
    New,
    Load,
    Save,
    Download,
    Upload,
    Online,
    Edit,
    ToolSelectMove,
    ToolHorizontal,
    ToolVertical,
    ExactValue,
    TrackerParameters,
    DeleteTracker,
    LoadBackground,
    DeleteBackground,
};

enum class EnvFileKind { Project, Picture };
enum class EnvKey { Left, Right, Up, Down, Delete, Other };

// A tracker's place in a view of w x h pixels (both at least 10).
struct TrackerShape {
    int cx = 0, cy = 0;
    int halfLength = 0;     // L
    int knobThickness = 0;  // e, half of it
    int knobLength = 0;     // m, half of it
    bool vertical = false;
    int barX0 = 0, barY0 = 0, barX1 = 0, barY1 = 0;
    int knobX0 = 0, knobY0 = 0, knobX1 = 0, knobY1 = 0;
    int boxX0 = 0, boxY0 = 0, boxX1 = 0, boxY1 = 0;  // what takes clicks
};
TrackerShape ShapeOf(const EnvTracker& tracker, int w, int h);

struct EnvPaintList {
    struct Tracker {
        TrackerShape shape;
        bool noValue = false;
        bool selectedKnob = false;  // green knob (operating)
        bool frame = false;         // dotted frame (editing)
    };
    bool picture = false;
    int pictureX = 0, pictureY = 0, pictureW = 0, pictureH = 0;
    std::vector<Tracker> trackers;
};

class IEnvironmentView {
  public:
    virtual ~IEnvironmentView() = default;
    virtual void Invalidate() = 0;
    // The tool bar's enabling, pressed state or visible group changed.
    virtual void OnToolbarChanged() = 0;
    virtual bool Confirm(const std::string& title, const std::string& text) = 0;
    virtual void ShowError(const std::string& text) = 0;
    // File choices (UTF-8 paths); empty when cancelled.
    virtual std::string ChooseOpenFile(const std::string& title, EnvFileKind kind) = 0;
    virtual std::string ChooseSaveFile(const std::string& title) = 0;
    // Decodes the picture; false when it is none. Its size in pixels.
    virtual bool LoadPicture(const std::string& path, int& width, int& height) = 0;
    virtual void DropPicture() = 0;
    // The tracker parameters dialog; false for Cancel.
    virtual bool EditTrackerParameters(EnvTracker& tracker) = 0;
    // The exact-value dialog for tracker i (it calls SetPosition as it goes).
    virtual void ShowExactValue(int32_t tracker) = 0;
};

// The cyclogram window, told what the trackers do.
class IEnvironmentListener {
  public:
    virtual ~IEnvironmentListener() = default;
    virtual void OnTrackerMoved(int32_t tracker, int32_t motor, float position) = 0;
    // The selected tracker's motor, or -1.
    virtual void OnTrackerSelected(int32_t motor) = 0;
    // The operator took hold of a knob, or let it go.
    virtual void OnTrackerGesture(bool begins) = 0;
};

class CEnvironmentEditor : private IEnvironmentTransferView {
  public:
    static constexpr float kArrowStep = 0.05f;

    // Reads the working copy (a missing or damaged one leaves the project
    // empty) and the background picture.
    CEnvironmentEditor(IRobotLink& link, IEnvironmentView& view, EnvironmentFiles files,
                       bool locked);
    // Writes the working copy.
    ~CEnvironmentEditor() override;
    CEnvironmentEditor(const CEnvironmentEditor&) = delete;
    CEnvironmentEditor& operator=(const CEnvironmentEditor&) = delete;

    void SetListener(IEnvironmentListener* listener) { listener_ = listener; }
    const CCyclogramEnv& Env() const { return env_; }
    CCyclogramEnv& MutableEnv() { return env_; }
    CEnvironmentTransfer& Transfer() { return transfer_; }
    const EnvironmentFiles& Files() const { return files_; }
    bool Locked() const { return locked_; }
    bool HasPicture() const { return picture_; }

    void SetViewSize(int w, int h);
    int ViewWidth() const { return w_; }
    int ViewHeight() const { return h_; }
    int32_t HitTracker(int x, int y) const;

    EnvTool Tool() const { return tool_; }
    int32_t Selected() const { return selected_; }
    bool EditMode() const { return editMode_; }
    bool OnlineMode() const { return transfer_.onlineMode(); }
    bool ChangedFlag() const { return transfer_.changed(); }

    // Clamps p to 0..1; when it differs, stores it, sets the motor on-line
    // and tells the listener.
    void SetPosition(int32_t i, float p);
    void MarkChanged() { transfer_.markChanged(); }
    void ClearChanged() { transfer_.clearChanged(); }

    void MouseDown(int x, int y);
    void MouseMove(int x, int y);
    void MouseUp(int x, int y);
    // Runs the pop-up menu's default item.
    void DoubleClick(int x, int y);
    bool KeyDown(EnvKey key, InputMods mods);

    bool Visible(EnvCommand c) const;
    bool Enabled(EnvCommand c) const;
    bool Pressed(EnvCommand c) const;
    EnvCommand DefaultPopupItem() const;
    void Run(EnvCommand c);

    // The request countdowns and the on-line poll.
    void Tick(int32_t elapsedMs) { transfer_.Tick(elapsedMs); }
    // Writes "env.cenv" now.
    bool SaveWorkingCopy();

    void BuildPaintList(EnvPaintList& out) const;

  private:
    enum class DragKind { None, Knob, Place };

    // IEnvironmentTransferView
    bool Confirm(const std::string& question, const std::string& title) override;
    void OnRequestFailed(EnvironmentRequest which, const std::string& text) override;
    void OnEnvironmentReplaced() override;
    void OnBackgroundChanged() override;
    void OnChangedFlag(bool changed) override;
    void OnEnvironmentUploaded() override;
    void OnMotorValues(bool anyChanged) override;

    void Select(int32_t i);
    void SetTool(EnvTool tool);
    void SetEditMode(bool on);
    void EndDrag();
    void ReloadPicture();
    void RefreshBackgroundIdentity();
    void LoadProject();
    void SaveProject();
    void LoadBackground();
    void DeleteBackground();

    IRobotLink& link_;
    IEnvironmentView& view_;
    EnvironmentFiles files_;
    bool locked_;
    CCyclogramEnv env_;
    CEnvironmentTransfer transfer_;
    IEnvironmentListener* listener_ = nullptr;
    bool picture_ = false;
    int pictureW_ = 0, pictureH_ = 0;
    int w_ = 10, h_ = 10;
    EnvTool tool_ = EnvTool::Operate;
    int32_t selected_ = -1;
    bool editMode_ = false;
    bool mouseDown_ = false;
    DragKind drag_ = DragKind::None;
    int pressX_ = 0, pressY_ = 0;
    float startPosition_ = 0.0f;
    int32_t startX_ = 0, startY_ = 0;
};

}  // namespace velcora
