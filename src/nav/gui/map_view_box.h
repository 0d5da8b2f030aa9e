// The map window: the tool bar, the map view with its context menu and the
// status bar of the robot's navigation status, over one CMapEditor. It lives
// in the main window's document area and takes the map messages, its share of
// the main window's tick and the connection's state reports while it is open.
#pragma once

#include <QPointer>
#include <array>
#include <memory>

#include "link/console_hooks.h"
#include "link/robot_connection.h"
#include "nav/gui/map_dialogs.h"
#include "nav/gui/map_view.h"
#include "nav/map_editor.h"
#include "ui/vel_controls.h"
#include "ui/vel_form.h"

class QObject;

namespace velcora::nav {

// The clipboard's type for map selections.
inline constexpr const char* kMapMimeType = "application/x-velcora-navmap";

class CMapViewBox : public ui::CVelMDIChildForm, private IMapEditorView {
  public:
    enum Command : int {
        kCmdNew = 7501,
        kCmdLoad,
        kCmdSave,
        kCmdLoadFromRobot,
        kCmdUpload,
        kCmdModeOff,                              // .. kCmdModeOff + 2
        kCmdPermissionFirst = kCmdModeOff + 3,    // six, in the tool bar's order
        kCmdToolFirst = kCmdPermissionFirst + 6,  // four
        kCmdMarkPlace = kCmdToolFirst + 4,
        kCmdCentre,
        kCmdZoomOut,
        kCmdZoomIn,
        // The context menu.
        kCmdCopy,
        kCmdCut,
        kCmdPaste,
        kCmdDelete,
        kCmdGoTo,
        kCmdProperties,
        kCmdSelectLast,
        kCmdSelectAll,
        kCmdUndo,
        kCmdRedo,
    };
    static constexpr int kDefaultWidth = 960;
    static constexpr int kDefaultHeight = 640;
    // The permission bit of each toggle, in the tool bar's order.
    static constexpr std::array<NavPermission, 6> kPermissionOrder{
        kPermitLongitudinalLines, kPermitTransverseLines, kPermitImages,
        kPermitWallsLeft,         kPermitWallsFront,      kPermitWallsRight};

    CMapViewBox(ui::CVelForm* frame, ToolContext& tools);
    ~CMapViewBox() override;

    CMapEditor& Editor() { return *editor_; }
    CMapView* View() const { return view_; }
    ui::CVelStatusBar* StatusBar() const { return status_; }
    ui::CVelSpdBtn* LoadFromRobotButton() const { return loadFromRobot_; }
    ui::CVelSpdBtn* UploadButton() const { return upload_; }
    ui::CVelSpdBtn* ModeButton(int mode) const { return modes_[mode]; }
    ui::CVelSpdBtn* PermissionButton(int i) const { return permissions_[i]; }
    ui::CVelSpdBtn* ToolButton(int tool) const { return tools_[tool]; }
    ui::CVelSpdBtn* CentreButton() const { return centre_; }
    ui::CVelPopupMenu* Menu() const { return menu_; }
    CMapProgressForm* UploadWindow() const { return uploadForm_.data(); }
    CMapProgressForm* DownloadWindow() const { return downloadForm_.data(); }
    // Every control of the tool bar, in its order (tests).
    const std::vector<ui::CVelControl*>& ToolBar() const { return toolBar_; }

    // R: recording on or off (the main window forwards it too).
    bool ToggleRecording();
    // Runs a command as its button or menu entry would.
    bool Run(int command);
    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    // IMapEditorView
    void ShowNavMode(NavMode mode) override;
    void ShowRobotFlags(uint8_t flags) override;
    void ShowLoadFromRobot(bool on) override;
    void ShowCentreOnRobot(bool on) override;
    void ShowNavStatus(const RobotNavStatus& status, bool emptyImage) override;
    void ShowError(const std::u16string& text, int32_t ms) override;
    void UploadOpened(uint32_t packedSize) override;
    void UploadProgress(uint32_t value) override;
    void UploadComplete() override;
    void DownloadOpened(uint32_t packedSize) override;
    void DownloadProgress(uint32_t value) override;
    void DownloadClosed(DownloadEnd end) override;
    void Redraw() override;
    void CommandsChanged() override;
    void ShowTool(MapTool tool) override;
    void PutOnClipboard(const std::string& bytes) override;

    void BuildToolBar();
    void BuildMenu();
    void BuildStatusBar();
    ui::CVelSpdBtn* Button(ui::CVelContainer* bar, const QString& caption, const QString& hint,
                           int command, bool latching, int width = 0);
    bool Key(int key, Qt::KeyboardModifiers modifiers, quint32 scanCode);
    bool ClipboardHasMap() const;
    void Properties();
    void SelectLast();
    void NewMap();
    void Load();
    void Save();
    void Paste();

    ToolContext& context_;
    std::unique_ptr<CMapEditor> editor_;
    CMapView* view_ = nullptr;
    ui::CVelStatusBar* status_ = nullptr;
    ui::CVelPopupMenu* menu_ = nullptr;
    ui::CVelFont* font_ = nullptr;
    ui::CVelFont* statusFont_ = nullptr;
    std::vector<ui::CVelControl*> toolBar_;
    ui::CVelSpdBtn* loadFromRobot_ = nullptr;
    ui::CVelSpdBtn* upload_ = nullptr;
    std::array<ui::CVelSpdBtn*, 3> modes_{};
    std::array<ui::CVelSpdBtn*, 6> permissions_{};
    std::array<ui::CVelSpdBtn*, 4> tools_{};
    ui::CVelSpdBtn* centre_ = nullptr;
    QPointer<CMapProgressForm> uploadForm_;
    QPointer<CMapProgressForm> downloadForm_;
    std::unique_ptr<QObject> recordKey_;
    HookSubscription stateHook_;
    HookSubscription tickHook_;
    HookSubscription subscriptionHook_;
    // Set while a modal dialog of this window runs: no second one opens.
    bool inDialog_ = false;
};

}  // namespace velcora::nav
