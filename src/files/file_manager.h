// The file manager without its widgets: the two panels (the operator's disk
// on the left, the robot's on the right), their selections and the focused
// list, every command of the menus, keys, tool bar and drops, which of them
// apply at the moment, and the remembered folders.
//
// Remote calls run the event loop while they wait for the robot, so the
// window's events arrive in the middle of an operation. The controller does
// one operation at a time: while one runs, further commands and drops are
// refused, a connection change waits for the next tick, and a close request
// cancels the copy and is carried out once the operation has returned.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/copy_engine.h"
#include "files/file_operations.h"
#include "files/file_panel.h"
#include "link/robot_link.h"

namespace velcora {

class IniFile;

enum class PanelSide : int { Left = 0, Right = 1 };
inline PanelSide OtherSide(PanelSide side) {
    return side == PanelSide::Left ? PanelSide::Right : PanelSide::Left;
}

// The entries of a panel's context menu, in its order.
enum class FileCommand : int {
    Open,
    SortByName,
    SortByExtension,
    SortBySize,
    Copy,
    CopyAcross,  // F5
    Paste,
    Delete,
    Rename,
    CreateFolder,
    Refresh,
    SelectAll,
};
inline constexpr std::size_t kFileCommandCount = 12;

enum class ToolCommand : int { Copy, Paste, Delete, LeftToRight, RightToLeft, Restart };
inline constexpr std::size_t kToolCommandCount = 6;

struct FileManagerEnabling {
    std::array<std::array<bool, kFileCommandCount>, 2> menu{};
    std::array<bool, kToolCommandCount> tools{};

    bool Menu(PanelSide side, FileCommand c) const {
        return menu[static_cast<std::size_t>(side)][static_cast<std::size_t>(c)];
    }
    bool Tool(ToolCommand c) const { return tools[static_cast<std::size_t>(c)]; }
};

enum class CommandResult {
    Done,
    Disabled,  // the command does not apply now
    Refused,   // another operation is running
};

enum class ReplaceAnswer { Yes, YesToAll, No, Cancel };

class IFileManagerView {
  public:
    virtual ~IFileManagerView() = default;
    virtual IFilePrompts& Prompts() = 0;
    // The panel's listing, combo entries and folder were read again.
    virtual void PanelChanged(PanelSide side) = 0;
    // The controller chose the selection or the current entry.
    virtual void SelectionChanged(PanelSide side) = 0;
    virtual void PanelEnabledChanged(PanelSide side) = 0;
    // What applies may have changed: read Enabling() again.
    virtual void EnablingChanged() = 0;
    virtual void FocusList(PanelSide side) = 0;
    // Starts the in-place edit of the entry's name; the edit ends in Rename.
    virtual void EditName(PanelSide side, std::size_t index) = 0;
    // "«%s» уже есть в папке назначения. Заменить?"
    virtual ReplaceAnswer AskReplace(const std::u16string& name) = 0;
    // The restart question (warning icon, "Нет" the default).
    virtual bool ConfirmRestart() = 0;
    // The copy dialog's progress for a paste; `listBytes` is the list's total
    // when it holds only files of known size. Begin opens it, End closes it.
    virtual ICopyProgress& CopyProgress(std::optional<int64_t> listBytes) = 0;
    // An operation began or ended.
    virtual void BusyChanged(bool busy) = 0;
    // A close asked for during an operation can be carried out now. Called
    // from inside the controller: post the close, never destroy it here.
    virtual void CloseNow() = 0;
};

// The clipboard as the file manager sees it: transfer lists.
class IFileClipboard {
  public:
    virtual ~IFileClipboard() = default;
    virtual void PutFiles(const std::vector<std::u16string>& items) = 0;
    // The files on the clipboard; nothing when it holds none.
    virtual std::optional<std::vector<std::u16string>> Files() = 0;
};

// Settings section and keys of the remembered folders.
inline constexpr char kFileManagerSection[] = "FILE MANAGER";
inline constexpr char kLocalFolderKey[] = "local";
inline constexpr char kRemoteFolderKey[] = "remote";

class CFileManagerController {
  public:
    // `home` is the left panel's folder when none is stored, when the stored
    // one is a drive-letter path (settings of another system) or when it
    // cannot be listed.
    CFileManagerController(IRobotLink& link, IniFile& ini, std::unique_ptr<CFileSystem> local,
                           std::unique_ptr<CFileSystem> remote, IFileManagerView& view,
                           IFileClipboard& clipboard, std::u16string home);
    ~CFileManagerController();
    CFileManagerController(const CFileManagerController&) = delete;
    CFileManagerController& operator=(const CFileManagerController&) = delete;

    // At opening: the left panel from the settings, the right one when the
    // robot is connected, at once or on the next tick. A window that is
    // still being made waits for the tick: the robot's reply runs the event
    // loop, and nothing may reach a half-made window.
    enum class RemoteLoad { Now, NextTick };
    void Open(RemoteLoad remote = RemoteLoad::Now);
    // At closing: writes the folders into the settings (the caller saves).
    void SaveFolders();
    // True: close now. False: an operation runs; it is cancelled and
    // CloseNow() follows once it has returned.
    bool RequestClose();
    bool CloseRequested() const { return closeRequested_; }

    // The connection's state reports and the window's tick (which serves a
    // report that came during an operation).
    void OnConnectionState(int32_t state);
    void Tick();

    bool Busy() const { return busy_ > 0; }

    const CFilePanelModel& Panel(PanelSide side) const { return *panels_[Index(side)]; }
    bool PanelEnabled(PanelSide side) const;
    CFileSystem& FileSystem(PanelSide side) { return panels_[Index(side)]->FileSystem(); }

    // The list's selection (row indices) and current row, as the view has them.
    void SetSelection(PanelSide side, std::vector<std::size_t> rows,
                      std::optional<std::size_t> current);
    const std::vector<std::size_t>& Selection(PanelSide side) const {
        return state_[Index(side)].selection;
    }
    std::optional<std::size_t> Current(PanelSide side) const { return state_[Index(side)].current; }
    std::vector<CDirEntry> SelectedEntries(PanelSide side) const;
    // The list that has the focus; none when neither has it.
    void SetFocus(std::optional<PanelSide> side);
    std::optional<PanelSide> Focus() const { return focus_; }

    // What applies now; nothing while an operation runs.
    FileManagerEnabling Enabling();

    CommandResult Run(PanelSide side, FileCommand command);
    CommandResult RunTool(ToolCommand command);
    // Enter or a double click on a row.
    CommandResult OpenRow(PanelSide side, std::size_t row);
    // Backspace: the parent folder.
    CommandResult OpenParent(PanelSide side);
    CommandResult ChooseCombo(PanelSide side, std::size_t index);
    CommandResult TypePath(PanelSide side, const std::u16string& path);
    // The in-place edit of a row's name ended with `newName`.
    CommandResult Rename(PanelSide side, std::size_t row, const std::u16string& newName);
    // Files dropped on the panel's list (a transfer list).
    CommandResult Drop(PanelSide side, const std::vector<std::u16string>& items);

    // The transfer list of the panel's selection (for a drag).
    std::vector<std::u16string> TransferList(PanelSide side) const;

  private:
    struct PanelState {
        std::vector<std::size_t> selection;
        std::optional<std::size_t> current;
    };
    class BusyScope;
    class ClosingProgress;
    class OperationPrompts;

    static std::size_t Index(PanelSide side) { return static_cast<std::size_t>(side); }
    CFilePanelModel& Model(PanelSide side) { return *panels_[Index(side)]; }
    // `clipboardHasFiles` saves reading the clipboard again for each panel.
    bool Applies(PanelSide side, FileCommand command, const std::optional<bool>& clipboardHasFiles);
    void ApplyConnectionState(int32_t state);
    // Drives (once) and the folder of the robot's panel.
    void LoadRemote();
    // Reads the folder again; the entry named `focusName` (when listed)
    // becomes the current and only selected one, else the row that was.
    void RefreshPanel(PanelSide side, const std::optional<std::u16string>& focusName);
    void SelectAfterRefresh(PanelSide side, const std::optional<std::u16string>& focusName,
                            std::size_t fallbackRow);
    void ReportRejected(PanelSide side);
    std::optional<std::u16string> CurrentName(PanelSide side) const;
    void OpenEntryOf(PanelSide side, const CDirEntry& entry);
    void PasteInto(PanelSide side, std::vector<std::u16string> items);
    std::optional<int64_t> ListBytes(const std::vector<std::u16string>& items) const;
    void SelectAll(PanelSide side);
    void SetSort(PanelSide side, SortMode mode);
    void Restart();
    void OperationEnded();

    IRobotLink& link_;
    IniFile& ini_;
    IFileManagerView& view_;
    IFileClipboard& clipboard_;
    std::u16string home_;
    std::array<std::unique_ptr<CFilePanelModel>, 2> panels_;
    std::array<PanelState, 2> state_;
    std::optional<PanelSide> focus_;
    bool remoteEnabled_ = false;
    int busy_ = 0;
    bool closeRequested_ = false;
    std::optional<int32_t> pendingState_;
    std::unique_ptr<OperationPrompts> prompts_;
};

}  // namespace velcora
