// "Файловый менеджер": the operator's disk on the left, the robot's on the
// right, a tool bar above. A thin view over CFileManagerController: it shows
// the panels, turns keys, menus, buttons and drops into the controller's
// commands and puts the controller's questions to the operator.
#pragma once

#include <QPointer>
#include <array>
#include <memory>

#include "files/file_manager.h"
#include "files/gui/copy_file_dialog.h"
#include "files/gui/file_clipboard.h"
#include "files/gui/file_system_panel.h"
#include "files/reactor_pump.h"
#include "link/console_hooks.h"
#include "ui/vel.h"

class QKeyEvent;

namespace velcora::files {

class CFileManagerForm : public ui::CVelMDIChildForm, public IFileManagerView {
    Q_OBJECT
  public:
    static constexpr int kWidth = 860;
    static constexpr int kHeight = 600;

    CFileManagerForm(ui::CVelForm* frame, ToolContext& tools);
    ~CFileManagerForm() override;

    CFileManagerController& Controller() { return *controller_; }
    CFileSystemPanel* Panel(PanelSide side) const { return panels_[Index(side)]; }
    ui::CVelSpdBtn* ToolButton(ToolCommand c) const { return tools_[static_cast<std::size_t>(c)]; }
    ui::CVelPopupMenu* Menu(PanelSide side) const { return menus_[Index(side)]; }
    // The copy dialog of the copy in progress (or the last one), if any.
    CCopyFileDialog* CopyDialog() const { return dialog_; }

    bool HandleEvent(const ui::VelEvent& e) override;

    // IFileManagerView
    IFilePrompts& Prompts() override;
    void PanelChanged(PanelSide side) override;
    void SelectionChanged(PanelSide side) override;
    void PanelEnabledChanged(PanelSide side) override;
    void EnablingChanged() override;
    void FocusList(PanelSide side) override;
    void EditName(PanelSide side, std::size_t index) override;
    ReplaceAnswer AskReplace(const std::u16string& name) override;
    bool ConfirmRestart() override;
    ICopyProgress& CopyProgress(std::optional<int64_t> listBytes) override;
    void BusyChanged(bool busy) override;
    void CloseNow() override;

  protected:
    bool CanClose(int code) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void DoClose(int code) override;

  private:
    class OperatorPrompts;
    class DialogProgress;

    static std::size_t Index(PanelSide side) { return static_cast<std::size_t>(side); }
    void BuildToolBar();
    void BuildPanel(PanelSide side, uint32_t place, int width, const QString& title);
    void BuildMenu(PanelSide side);
    void WirePanel(PanelSide side);
    bool Key(PanelSide side, QKeyEvent* key);
    void ListSelectionChanged(PanelSide side);
    void UpdateMenu(PanelSide side);
    void SetInputEnabled(bool enabled);
    void LayOutPanels();

    ToolContext& context_;
    CReactorPump pump_;
    CQtFileClipboard clipboard_;
    std::unique_ptr<OperatorPrompts> prompts_;
    std::unique_ptr<DialogProgress> progress_;
    ui::CVelFont* titleFont_ = nullptr;
    ui::CVelFont* font_ = nullptr;
    ui::CVelContainer* toolBar_ = nullptr;
    std::array<ui::CVelSpdBtn*, kToolCommandCount> tools_{};
    std::array<CFileSystemPanel*, 2> panels_{};
    std::array<ui::CVelPopupMenu*, 2> menus_{};
    std::array<std::array<QAction*, 3>, 2> sortActions_{};
    // A child window of this one: it may go with this window's widget first.
    QPointer<CCopyFileDialog> dialog_;
    std::unique_ptr<CFileManagerController> controller_;
    HookSubscription stateHook_;
    HookSubscription tickHook_;
    bool ownClose_ = false;
    bool frameClose_ = false;
};

}  // namespace velcora::files
