// The map window's logic without widgets: the view's transform, the four
// tools as explicit state machines, the edit commands with their enabling,
// undo/redo, and the exchange with the robot through CMapTransfer. The window
// feeds it mouse and key input in screen pixels and shows what it reports
// through IMapEditorView.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "link/robot_link.h"
#include "link/robot_status.h"
#include "nav/map_geometry.h"
#include "nav/map_history.h"
#include "nav/map_transfer.h"
#include "nav/nav_project.h"

namespace velcora::nav {

enum class MapTool : int32_t { Select = 0, Pan = 1, DrawZone = 2, Rotate = 3 };
enum class MouseButton { Left, Middle, Right };
struct InputModifiers {
    bool ctrl = false;
    bool shift = false;
};

enum class MapCursor {
    Arrow,
    OverItem,  // an item that a press would take
    Moving,    // a selection, a vertex or the robot's heading follows the pointer
    Handle,    // over the robot's heading handle or a zone's vertex
    Pan,
    Panning,
    Cross,  // drawing a zone
    Rotate,
};

// The enabled state of the context menu, the undo entries and the controls
// that depend on the connection.
struct MapCommands {
    bool copy = false;
    bool cut = false;
    bool paste = false;
    bool remove = false;
    bool goTo = false;
    bool properties = false;
    bool selectLast = true;
    bool selectAll = true;
    bool undo = false;
    bool redo = false;
    // Mode buttons, permission toggles and R.
    bool navigation = false;
    bool upload = false;
};

// Values of the property dialogs; angles in degrees.
struct ImageProperties {
    double x = 0, y = 0, angle = 0;
    int32_t version = 0;
    bool noGo = false;
    double bodyHeight = 0;
    // The picture, 8-bit grey rows (shown only).
    int32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;
};
struct WallProperties {
    double x = 0, y = 0, angle = 0;
    int32_t side = 0;  // shown only
    int32_t version = 0;
};
struct PlaceProperties {
    static constexpr int32_t kMaxNumber = 134217727;
    static constexpr double kMaxBodyHeight = 200;
    int32_t number = 1;
    double bodyHeight = 0;
    double x = 0, y = 0, angle = 0;
    int32_t version = 0;
};
struct ZoneProperties {
    int32_t zoneType = kZoneNarrowPlace;
    int32_t version = 0;
    int32_t zoneNumber = 0;
    int32_t parameter = 0;
};
struct RobotProperties {
    double x = 0, y = 0, angle = 0;
};
struct FloorLineProperties {
    double x = 0, y = 0, angle = 0;
    double position = 0;  // -1..1
    FloorLineKind kind = FloorLineKind::Longitudinal;
    double lift = 0;  // -100..100
    double tilt = 0;  // degrees, -100..100
};
using ItemProperties = std::variant<ImageProperties, WallProperties, PlaceProperties,
                                    ZoneProperties, RobotProperties, FloorLineProperties>;
// The limit of the coordinate and angle fields.
inline constexpr double kMaxPropertyValue = 1e32;

enum class ApplyResult {
    Stored,
    // Everything but the place number was stored; the number is another place's.
    NumberTaken,
    // The item went away while the dialog was open (a robot map, an undo):
    // nothing was stored.
    ItemGone,
};

class IMapEditorView : public IMapTransferView {
  public:
    // The picture changed.
    virtual void Redraw() {}
    // Re-evaluate the menu entries and the tool bar (Commands()).
    virtual void CommandsChanged() {}
    // The editor switched the tool itself (a committed rotation).
    virtual void ShowTool(MapTool) {}
    // Copy and Cut: the clipboard gets these bytes under the map's format.
    virtual void PutOnClipboard(const std::string& /*bytes*/) {}
};

class CMapEditor : private IMapTransferView {
  public:
    static constexpr double kZoomStep = 1.4;
    static constexpr double kWheelStep = 1.1;
    static constexpr int32_t kWheelNotch = 120;
    // The pointer must move further than this before a selection is dragged.
    static constexpr int32_t kDragThresholdX = 8;
    static constexpr int32_t kDragThresholdY = 9;
    // A click this close to a zone's first vertex closes the zone.
    static constexpr int32_t kCloseZoneReach = 10;

    CMapEditor(IRobotLink& link, IMapEditorView& view, RobotShape shape = {},
               NavRandomSource random = {});
    CMapEditor(const CMapEditor&) = delete;
    CMapEditor& operator=(const CMapEditor&) = delete;

    CNavProject& Map() { return map_; }
    const CNavProject& Map() const { return map_; }
    CMapTransfer& Transfer() { return transfer_; }
    const CMapTransform& Transform() const { return transform_; }
    const RobotShape& Shape() const { return shape_; }
    void SetViewRect(ScreenRect rect);
    void SetCentre(MapPoint centre);

    // ------------------------------------------------------------- tools
    // Ends a zone being drawn or an armed rotation as Esc does. Drawing a
    // zone and rotating switch loading from the robot off.
    void SetTool(MapTool tool);
    MapTool Tool() const { return tool_; }
    // The pan tool while the middle button is held, else the chosen one.
    MapTool EffectiveTool() const { return middlePan_ ? MapTool::Pan : tool_; }

    void MouseDown(MouseButton button, ScreenPoint p, InputModifiers mods);
    void MouseMove(ScreenPoint p, InputModifiers mods);
    void MouseUp(MouseButton button, ScreenPoint p, InputModifiers mods);
    void Wheel(int32_t delta);
    // Esc: drops the zone being drawn or restores an armed rotation. True when
    // it ended something.
    bool Escape();
    // A right click that ends a zone or a rotation is taken here; otherwise
    // the window shows its context menu.
    bool RightClickTaken() const { return edit_ != Edit::None; }
    MapCursor CursorAt(ScreenPoint p) const;

    // The rubber band (press and pointer) while one is dragged.
    std::optional<std::pair<ScreenPoint, ScreenPoint>> RubberBand() const;
    // The line from the rotation's pivot to the pointer while choosing or armed.
    std::optional<std::pair<ScreenPoint, ScreenPoint>> RotationLine() const;
    ItemKind CurrentKind() const { return currentKind_; }
    CNavItem* CurrentItem() const { return current_; }
    int32_t HitDetail() const { return hitDetail_; }
    bool DrawingZone() const { return edit_ == Edit::DrawingZone; }
    bool RotationArmed() const { return edit_ == Edit::RotationArmed; }
    bool Dragging() const { return press_ == Press::DragSelection; }

    // -------------------------------------------------------------- view
    void ZoomIn();
    void ZoomOut();
    // "Центрировать на роботе".
    void SetCentreOnRobot(bool on) { transfer_.SetCentreOnRobot(on); }
    void CentreOnRobotNow();

    // ----------------------------------------------------------- commands
    MapCommands Commands(bool clipboardHasMap) const;
    // A selection-only body to the clipboard.
    void Copy();
    void Cut();
    // Reads a body from the clipboard into the map: stored ids are kept, so a
    // cut selection comes back under its old ids. A body that does not read
    // whole changes nothing.
    bool Paste(std::string_view bytes);
    void Delete();
    // "Идти в это место": GoToPlace with the current place's number.
    bool GoToPlace();
    // The current item's values for its dialog; the dialog's OK stores them
    // into that same item.
    std::optional<ItemProperties> Properties();
    ApplyResult ApplyProperties(const ItemProperties& values);
    // "Выделить последние...": the text the operator typed. False (the error
    // is shown) unless it is a positive whole number.
    bool SelectLast(std::u16string_view text);
    void SelectAll();
    bool MarkPlace();
    // After the operator confirmed "Новая карта".
    void NewMap();
    bool Load(const std::string& path);
    bool SaveAs(const std::string& path);
    bool Undo();
    bool Redo();
    const CMapHistory& History() const { return history_; }

    // -------------------------------------------------------- navigation
    // The mode buttons (sends NavModeSet).
    void SetMode(NavMode mode);
    NavMode Mode() const { return transfer_.Mode(); }
    // R: recording on, or back to the last other mode shown (navigation off
    // when there was none). Only while authorised.
    bool ToggleRecording();
    void SetPermission(NavPermission bit, bool on);
    void SetLoadFromRobot(bool on) { transfer_.SetLoadFromRobot(on); }
    bool StartUpload() { return transfer_.StartUpload(); }
    // The connection's state changed: the controls' enabling follows.
    void ConnectionStateChanged();
    void Tick(uint32_t now) { transfer_.Tick(now); }
    // What 0x06FA carries: the map's stamp while loading from the robot is on.
    std::optional<MapSubscription> Subscription() const;

    uint32_t LastPlaceNumber() const { return lastPlaceNumber_; }
    int32_t WheelRemainder() const { return wheelRemainder_; }

  private:
    // The left button's gesture in progress.
    enum class Press {
        None,
        Held,    // a Ctrl-toggle: nothing follows the pointer
        Select,  // pressed on an item; a drag once the threshold is passed
        DragSelection,
        DragVertex,
        TurnRobot,
        RubberBand,
        Pan,
        RotatePivot,  // the rotate tool's press-drag choosing the reference
    };
    // Edits that outlive a press.
    enum class Edit { None, DrawingZone, RotationArmed };
    struct PoseSnapshot {
        CNavPointItem* item;
        double x, y, angle;
    };

    // IMapTransferView: the editor keeps what touches the map, the rest goes on.
    void ShowNavMode(NavMode mode) override;
    void ShowRobotFlags(uint8_t flags) override { view_.ShowRobotFlags(flags); }
    void ShowLoadFromRobot(bool on) override;
    void ShowCentreOnRobot(bool on) override { view_.ShowCentreOnRobot(on); }
    void ShowNavStatus(const RobotNavStatus& s, bool empty) override {
        view_.ShowNavStatus(s, empty);
    }
    void ShowError(const std::u16string& text, int32_t ms) override { view_.ShowError(text, ms); }
    void UploadOpened(uint32_t size) override { view_.UploadOpened(size); }
    void UploadProgress(uint32_t v) override { view_.UploadProgress(v); }
    void UploadComplete() override { view_.UploadComplete(); }
    void DownloadOpened(uint32_t size) override { view_.DownloadOpened(size); }
    void DownloadProgress(uint32_t v) override { view_.DownloadProgress(v); }
    void DownloadClosed(DownloadEnd e) override { view_.DownloadClosed(e); }
    void ForgetCurrentItem() override;
    void CentreOnRobot() override;
    void MapReceived(MapArrival arrival, bool ok) override;

    void SelectPress(ScreenPoint p, InputModifiers mods);
    void ZonePress(ScreenPoint p);
    void RotatePress(ScreenPoint p);
    void FinishPress(ScreenPoint p, InputModifiers mods);
    void Pan(ScreenPoint from, ScreenPoint to);
    void ApplyRotation(ScreenPoint p);
    void ArmRotation(ScreenPoint release);
    void RestoreRotation();
    void DeleteDrawnZone();

    // An edit that may change the map starts: loading from the robot goes off
    // and its state is remembered (once per edit).
    void BeginEdit();
    // Ends whatever gesture and edit is running, as Esc would.
    void AbortEdit();
    // Forgets every item the editor holds, without touching them: they may
    // already be gone.
    void DropReferences();
    void SetCurrent(ItemKind kind, CNavItem* item, int32_t detail);
    // The undo step of the edit in progress, kept until the edit changes the map.
    void HoldStep();
    void CommitStep();
    void Changed();

    IRobotLink& link_;
    IMapEditorView& view_;
    RobotShape shape_;
    CNavProject map_;
    CMapTransfer transfer_;
    CMapTransform transform_;
    CMapHistory history_;

    MapTool tool_ = MapTool::Select;
    Press press_ = Press::None;
    Edit edit_ = Edit::None;
    bool middlePan_ = false;
    ScreenPoint middleLast_;
    ScreenPoint pressPoint_;
    ScreenPoint lastPoint_;
    bool robotTurned_ = false;

    ItemKind currentKind_ = ItemKind::None;
    CNavItem* current_ = nullptr;
    int32_t hitDetail_ = -2;
    // The item whose dialog is open.
    ItemKind dialogKind_ = ItemKind::None;
    CNavItem* dialogItem_ = nullptr;

    CNavZone* drawnZone_ = nullptr;
    CNavZone* vertexZone_ = nullptr;
    int32_t vertexIndex_ = -1;

    MapPoint pivot_;
    double referenceAngle_ = 0;
    std::vector<PoseSnapshot> rotation_;

    std::optional<bool> loadBeforeEdit_;
    std::string heldStep_;
    int32_t wheelRemainder_ = 0;
    uint32_t lastPlaceNumber_ = 0;
    std::optional<NavMode> lastOtherMode_;
};

}  // namespace velcora::nav
