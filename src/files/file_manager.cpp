#include "files/file_manager.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "files/local_file_system.h"
#include "files/remote_file_system.h"
#include "files/transfer_list.h"
#include "link/ini_file.h"
#include "link/text_codec.h"

namespace velcora {
namespace {

constexpr char16_t kSpecialCharacters[] =
    u"Название файла или директориии не должно содержать специальные символы!";

bool IsMarked(std::u16string_view item) {
    return !item.empty() && (item[0] == u'#' || item[0] == u'@');
}

// Names compare as the disk does: drive-letter disks ignore case.
bool SameName(std::u16string_view folder, std::u16string_view a, std::u16string_view b) {
    return IsDriveLetterPath(folder) ? CompareNoCase(a, b) == 0 : a == b;
}

std::u16string WithoutTrailingSeparators(std::u16string path) {
    while (path.size() > 1 && (path.back() == u'/' || path.back() == u'\\')) {
        path.pop_back();
    }
    return path;
}

}  // namespace

// ------------------------------------------------------------ helpers

// Marks an operation: while one runs, commands are refused; when the last
// one ends, a close asked for meanwhile is carried out.
class CFileManagerController::BusyScope {
  public:
    explicit BusyScope(CFileManagerController& c) : c_(c) {
        if (c_.busy_++ == 0) {
            c_.view_.BusyChanged(true);
        }
    }
    ~BusyScope() {
        if (--c_.busy_ == 0) {
            c_.OperationEnded();
        }
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    CFileManagerController& c_;
};

// The copy dialog's progress, with a close request counting as "Отмена".
class CFileManagerController::ClosingProgress : public ICopyProgress {
  public:
    ClosingProgress(ICopyProgress& inner, const bool& closing) : inner_(inner), closing_(closing) {}
    void Begin(int32_t items) override { inner_.Begin(items); }
    void ItemsDone(int32_t done) override { inner_.ItemsDone(done); }
    void FileStarted(const std::u16string& label, int32_t size) override {
        inner_.FileStarted(label, size);
    }
    void FileProgress(int32_t copied) override { inner_.FileProgress(copied); }
    bool CancelRequested() override { return inner_.CancelRequested() || closing_; }
    void End() override { inner_.End(); }

  private:
    ICopyProgress& inner_;
    const bool& closing_;
};

// The view's prompts, except that items left out are gathered and told
// once, when the operation ends, rather than one box per item.
class CFileManagerController::OperationPrompts : public IFilePrompts {
  public:
    explicit OperationPrompts(IFileManagerView& view) : view_(view) {}
    FailureAnswer AskFailure(const std::u16string& text) override {
        return view_.Prompts().AskFailure(text);
    }
    bool AskYesNo(const std::u16string& caption, const std::u16string& text) override {
        return view_.Prompts().AskYesNo(caption, text);
    }
    bool AskRetry(const std::u16string& text) override { return view_.Prompts().AskRetry(text); }
    void ShowError(const std::u16string& text, uint32_t timeoutMs) override {
        view_.Prompts().ShowError(text, timeoutMs);
    }
    std::optional<std::u16string> AskText(const std::u16string& title,
                                          const std::u16string& prompt) override {
        return view_.Prompts().AskText(title, prompt);
    }
    void Skipped(const std::u16string& path) override { skipped_.push_back(path); }

    void Flush() {
        if (skipped_.empty()) {
            return;
        }
        constexpr std::size_t kShown = 10;
        std::u16string text = u"Пропущено объектов: " +
                              Utf8ToWide(std::to_string(skipped_.size())) +
                              u" (имя или путь недопустимы):";
        for (std::size_t i = 0; i < skipped_.size() && i < kShown; ++i) {
            text += u"\n" + skipped_[i];
        }
        if (skipped_.size() > kShown) {
            text += u"\n...";
        }
        skipped_.clear();
        view_.Prompts().ShowError(text, 10000);
    }

  private:
    IFileManagerView& view_;
    std::vector<std::u16string> skipped_;
};

// ------------------------------------------------------------ lifecycle

CFileManagerController::CFileManagerController(IRobotLink& link, IniFile& ini,
                                               std::unique_ptr<CFileSystem> local,
                                               std::unique_ptr<CFileSystem> remote,
                                               IFileManagerView& view, IFileClipboard& clipboard,
                                               std::u16string home)
    : link_(link),
      ini_(ini),
      view_(view),
      clipboard_(clipboard),
      home_(std::move(home)),
      prompts_(std::make_unique<OperationPrompts>(view)) {
    panels_[0] = std::make_unique<CFilePanelModel>(std::move(local));
    panels_[1] = std::make_unique<CFilePanelModel>(std::move(remote));
}

CFileManagerController::~CFileManagerController() = default;

void CFileManagerController::Open(RemoteLoad remote) {
    BusyScope busy(*this);
    CFilePanelModel& left = Model(PanelSide::Left);
    left.LoadDrives();
    // A drive-letter folder comes from the settings of another system and
    // cannot be listed here.
    std::u16string folder = Utf8ToWide(ini_.GetString(kFileManagerSection, kLocalFolderKey, ""));
    if (folder.empty() || IsDriveLetterPath(folder)) {
        folder = home_;
    }
    left.SetFolder(folder);
    if (!left.Refresh() && folder != home_) {
        left.SetFolder(home_);
        left.Refresh();
    }
    ReportRejected(PanelSide::Left);
    SelectAfterRefresh(PanelSide::Left, std::nullopt, 0);
    view_.PanelChanged(PanelSide::Left);

    if (remote == RemoteLoad::NextTick) {
        remoteEnabled_ = false;
        view_.PanelEnabledChanged(PanelSide::Right);
        if (link_.Authorised()) {
            pendingState_ = kStateAuthorised;
        }
        return;
    }
    remoteEnabled_ = link_.Authorised();
    view_.PanelEnabledChanged(PanelSide::Right);
    if (remoteEnabled_) {
        LoadRemote();
    }
}

void CFileManagerController::SaveFolders() {
    if (const auto left = Panel(PanelSide::Left).Folder()) {
        ini_.WriteString(kFileManagerSection, kLocalFolderKey, WideToUtf8(*left));
    }
    if (const auto right = Panel(PanelSide::Right).Folder()) {
        ini_.WriteString(kFileManagerSection, kRemoteFolderKey, WideToUtf8(*right));
    }
}

bool CFileManagerController::RequestClose() {
    if (!Busy()) {
        return true;
    }
    // The operation's frames are on the stack below this call: the window
    // must stay until it has returned. The copy sees the request as "Отмена".
    closeRequested_ = true;
    return false;
}

void CFileManagerController::OperationEnded() {
    prompts_->Flush();
    view_.BusyChanged(false);
    if (closeRequested_) {
        view_.CloseNow();
        return;
    }
    view_.EnablingChanged();
}

void CFileManagerController::OnConnectionState(int32_t state) {
    if (Busy()) {
        pendingState_ = state;
        return;
    }
    ApplyConnectionState(state);
}

void CFileManagerController::Tick() {
    if (Busy() || !pendingState_ || closeRequested_) {
        return;
    }
    const int32_t state = *pendingState_;
    pendingState_.reset();
    ApplyConnectionState(state);
}

void CFileManagerController::ApplyConnectionState(int32_t state) {
    const bool enabled = state == kStateAuthorised;
    if (enabled != remoteEnabled_) {
        remoteEnabled_ = enabled;
        if (!enabled && focus_ == PanelSide::Right) {
            focus_.reset();
        }
        view_.PanelEnabledChanged(PanelSide::Right);
    }
    const CFilePanelModel& right = Panel(PanelSide::Right);
    if (enabled && (right.Drives().empty() || right.Entries().empty())) {
        BusyScope busy(*this);
        LoadRemote();
    } else {
        view_.EnablingChanged();
    }
}

void CFileManagerController::LoadRemote() {
    CFilePanelModel& right = Model(PanelSide::Right);
    if (right.Drives().empty()) {
        right.LoadDrives();
    }
    const bool first = !right.Folder();
    const std::u16string remembered =
        Utf8ToWide(ini_.GetString(kFileManagerSection, kRemoteFolderKey, ""));
    const bool listed = right.Refresh(remembered);
    // A remembered folder the robot no longer has gives way to its first drive.
    if (!listed && first && !remembered.empty() && !right.Drives().empty()) {
        right.SetFolder(CFilePanelModel::DriveFolder(right.Drives().front()));
        right.Refresh();
    }
    ReportRejected(PanelSide::Right);
    SelectAfterRefresh(PanelSide::Right, std::nullopt, 0);
    view_.PanelChanged(PanelSide::Right);
}

// ------------------------------------------------------------ state

bool CFileManagerController::PanelEnabled(PanelSide side) const {
    return side == PanelSide::Left || remoteEnabled_;
}

void CFileManagerController::SetSelection(PanelSide side, std::vector<std::size_t> rows,
                                          std::optional<std::size_t> current) {
    const std::size_t n = Panel(side).Entries().size();
    std::erase_if(rows, [n](std::size_t r) { return r >= n; });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    PanelState& s = state_[Index(side)];
    s.selection = std::move(rows);
    s.current = current && *current < n ? current : std::nullopt;
}

std::vector<CDirEntry> CFileManagerController::SelectedEntries(PanelSide side) const {
    std::vector<CDirEntry> out;
    const auto& entries = Panel(side).Entries();
    for (std::size_t r : Selection(side)) {
        if (r < entries.size()) {
            out.push_back(entries[r]);
        }
    }
    return out;
}

void CFileManagerController::SetFocus(std::optional<PanelSide> side) {
    focus_ = side;
}

std::optional<std::u16string> CFileManagerController::CurrentName(PanelSide side) const {
    const auto& entries = Panel(side).Entries();
    const auto current = Current(side);
    if (current && *current < entries.size()) {
        return entries[*current].name;
    }
    return std::nullopt;
}

void CFileManagerController::SelectAfterRefresh(PanelSide side,
                                                const std::optional<std::u16string>& focusName,
                                                std::size_t fallbackRow) {
    const auto& entries = Panel(side).Entries();
    PanelState& s = state_[Index(side)];
    s.selection.clear();
    s.current.reset();
    if (entries.empty()) {
        return;
    }
    std::size_t row = std::min(fallbackRow, entries.size() - 1);
    if (focusName) {
        const auto folder = Panel(side).Folder().value_or(u"");
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].name == *focusName) {
                row = i;
                break;
            }
        }
    }
    s.current = row;
    s.selection = {row};
}

void CFileManagerController::ReportRejected(PanelSide side) {
    const auto folder = Panel(side).Folder();
    if (!folder) {
        return;
    }
    for (const auto& name : FileSystem(side).RejectedNames()) {
        prompts_->Skipped(JoinPanelPath(*folder, name));
    }
}

void CFileManagerController::RefreshPanel(PanelSide side,
                                          const std::optional<std::u16string>& focusName) {
    const std::size_t fallback = Current(side).value_or(0);
    CFilePanelModel& model = Model(side);
    if (side == PanelSide::Right && !model.Folder()) {
        LoadRemote();
        return;
    }
    model.Refresh();
    ReportRejected(side);
    SelectAfterRefresh(side, focusName, fallback);
    view_.PanelChanged(side);
}

// ------------------------------------------------------------ enabling

bool CFileManagerController::Applies(PanelSide side, FileCommand command,
                                     const std::optional<bool>& clipboardHasFiles) {
    if (Busy() || !PanelEnabled(side)) {
        return false;
    }
    const CFilePanelModel& model = Panel(side);
    const bool hasFolder = model.Folder().has_value();
    const std::vector<CDirEntry> selection = SelectedEntries(side);
    const bool canCopy = CFilePanelModel::CanCopy(selection);
    switch (command) {
        case FileCommand::Open:
            return hasFolder && !selection.empty();
        case FileCommand::Copy:
        case FileCommand::Delete:
            return canCopy;
        case FileCommand::CopyAcross: {
            // The other side must be there to take the copy.
            const PanelSide other = OtherSide(side);
            return canCopy && PanelEnabled(other) && Panel(other).Folder().has_value();
        }
        case FileCommand::Paste: {
            if (!hasFolder) {
                return false;
            }
            if (clipboardHasFiles) {
                return *clipboardHasFiles;
            }
            const auto files = clipboard_.Files();
            return files && !files->empty();
        }
        case FileCommand::SortByName:
        case FileCommand::SortByExtension:
        case FileCommand::SortBySize:
        case FileCommand::Rename:
        case FileCommand::CreateFolder:
        case FileCommand::Refresh:
        case FileCommand::SelectAll:
            return true;
    }
    return false;
}

FileManagerEnabling CFileManagerController::Enabling() {
    FileManagerEnabling e;
    if (Busy()) {
        return e;
    }
    const auto files = clipboard_.Files();
    const bool hasFiles = files && !files->empty();
    for (PanelSide side : {PanelSide::Left, PanelSide::Right}) {
        for (std::size_t c = 0; c < kFileCommandCount; ++c) {
            e.menu[Index(side)][c] = Applies(side, static_cast<FileCommand>(c), hasFiles);
        }
    }
    auto tool = [&e](ToolCommand c) -> bool& { return e.tools[static_cast<std::size_t>(c)]; };
    if (focus_) {
        tool(ToolCommand::Copy) = e.Menu(*focus_, FileCommand::Copy);
        tool(ToolCommand::Paste) = e.Menu(*focus_, FileCommand::Paste);
        tool(ToolCommand::Delete) = e.Menu(*focus_, FileCommand::Delete);
    }
    tool(ToolCommand::LeftToRight) = e.Menu(PanelSide::Left, FileCommand::CopyAcross);
    tool(ToolCommand::RightToLeft) = e.Menu(PanelSide::Right, FileCommand::CopyAcross);
    tool(ToolCommand::Restart) = link_.Authorised();
    return e;
}

// ------------------------------------------------------------ commands

CommandResult CFileManagerController::Run(PanelSide side, FileCommand command) {
    if (Busy()) {
        return CommandResult::Refused;
    }
    if (!Applies(side, command, std::nullopt)) {
        return CommandResult::Disabled;
    }
    switch (command) {
        case FileCommand::Open: {
            const auto selection = Selection(side);
            const auto current = Current(side);
            const std::size_t row =
                current && std::binary_search(selection.begin(), selection.end(), *current)
                    ? *current
                    : selection.front();
            BusyScope busy(*this);
            OpenEntryOf(side, Panel(side).Entries()[row]);
            break;
        }
        case FileCommand::SortByName:
            SetSort(side, SortMode::ByName);
            break;
        case FileCommand::SortByExtension:
            SetSort(side, SortMode::ByExtension);
            break;
        case FileCommand::SortBySize:
            SetSort(side, SortMode::BySize);
            break;
        case FileCommand::Copy:
            clipboard_.PutFiles(TransferList(side));
            view_.EnablingChanged();
            break;
        case FileCommand::CopyAcross: {
            BusyScope busy(*this);
            PasteInto(OtherSide(side), TransferList(side));
            break;
        }
        case FileCommand::Paste: {
            auto files = clipboard_.Files();
            if (!files) {
                return CommandResult::Disabled;
            }
            BusyScope busy(*this);
            PasteInto(side, std::move(*files));
            break;
        }
        case FileCommand::Delete: {
            BusyScope busy(*this);
            const auto name = CurrentName(side);
            DeleteEntries(FileSystem(side), *Panel(side).Folder(), SelectedEntries(side),
                          *prompts_);
            RefreshPanel(side, name);
            break;
        }
        case FileCommand::Rename: {
            const auto current = Current(side);
            if (current && Panel(side).Entries()[*current].name != u"..") {
                view_.EditName(side, *current);
            }
            break;
        }
        case FileCommand::CreateFolder: {
            const auto folder = Panel(side).Folder();
            if (!folder) {
                break;
            }
            BusyScope busy(*this);
            if (const auto name = CreateFolder(FileSystem(side), *folder, *prompts_)) {
                RefreshPanel(side, *name);
                view_.FocusList(side);
            }
            break;
        }
        case FileCommand::Refresh: {
            BusyScope busy(*this);
            RefreshPanel(side, CurrentName(side));
            break;
        }
        case FileCommand::SelectAll:
            SelectAll(side);
            break;
    }
    return CommandResult::Done;
}

CommandResult CFileManagerController::RunTool(ToolCommand command) {
    if (Busy()) {
        return CommandResult::Refused;
    }
    switch (command) {
        case ToolCommand::Copy:
        case ToolCommand::Paste:
        case ToolCommand::Delete: {
            if (!focus_) {
                return CommandResult::Disabled;
            }
            const FileCommand c = command == ToolCommand::Copy    ? FileCommand::Copy
                                  : command == ToolCommand::Paste ? FileCommand::Paste
                                                                  : FileCommand::Delete;
            return Run(*focus_, c);
        }
        case ToolCommand::LeftToRight:
            return Run(PanelSide::Left, FileCommand::CopyAcross);
        case ToolCommand::RightToLeft:
            return Run(PanelSide::Right, FileCommand::CopyAcross);
        case ToolCommand::Restart:
            if (!link_.Authorised()) {
                return CommandResult::Disabled;
            }
            if (view_.ConfirmRestart()) {
                SendRestart(link_);
            }
            return CommandResult::Done;
    }
    return CommandResult::Disabled;
}

CommandResult CFileManagerController::OpenRow(PanelSide side, std::size_t row) {
    if (Busy()) {
        return CommandResult::Refused;
    }
    if (!PanelEnabled(side) || !Panel(side).Folder() || row >= Panel(side).Entries().size()) {
        return CommandResult::Disabled;
    }
    BusyScope busy(*this);
    OpenEntryOf(side, Panel(side).Entries()[row]);
    return CommandResult::Done;
}

CommandResult CFileManagerController::OpenParent(PanelSide side) {
    if (Busy()) {
        return CommandResult::Refused;
    }
    const auto folder = Panel(side).Folder();
    if (!PanelEnabled(side) || !folder ||
        WithoutTrailingSeparators(ParentFolder(*folder)) == WithoutTrailingSeparators(*folder)) {
        return CommandResult::Disabled;
    }
    BusyScope busy(*this);
    OpenEntryOf(side, CDirEntry{u"..", true, 0, false});
    return CommandResult::Done;
}

void CFileManagerController::OpenEntryOf(PanelSide side, const CDirEntry& entry) {
    const std::u16string old = Panel(side).Folder().value_or(u"");
    if (OpenEntry(FileSystem(side), entry, *prompts_) != OpenResult::FolderChanged) {
        return;
    }
    // Going up puts the focus on the folder just left.
    std::optional<std::u16string> focus;
    if (entry.name == u"..") {
        focus = LastComponent(old);
    }
    RefreshPanel(side, focus);
}

CommandResult CFileManagerController::ChooseCombo(PanelSide side, std::size_t index) {
    if (Busy()) {
        return CommandResult::Refused;
    }
    if (!PanelEnabled(side) || !Model(side).ChooseComboEntry(index)) {
        return CommandResult::Disabled;
    }
    BusyScope busy(*this);
    RefreshPanel(side, std::nullopt);
    return CommandResult::Done;
}

CommandResult CFileManagerController::TypePath(PanelSide side, const std::u16string& path) {
    if (Busy()) {
        return CommandResult::Refused;
    }
    if (!PanelEnabled(side) || path.empty()) {
        return CommandResult::Disabled;
    }
    BusyScope busy(*this);
    Model(side).SetFolder(path);
    RefreshPanel(side, std::nullopt);
    view_.FocusList(side);
    return CommandResult::Done;
}

CommandResult CFileManagerController::Rename(PanelSide side, std::size_t row,
                                             const std::u16string& newName) {
    if (Busy()) {
        return CommandResult::Refused;
    }
    const auto folder = Panel(side).Folder();
    if (!PanelEnabled(side) || !folder || row >= Panel(side).Entries().size() ||
        Panel(side).Entries()[row].name == u"..") {
        return CommandResult::Disabled;
    }
    BusyScope busy(*this);
    const std::u16string oldName = Panel(side).Entries()[row].name;
    std::u16string focus = oldName;
    // A separator or a dot name would move the entry out of its folder (or
    // over its parent): such a name is refused like a special character.
    if (newName.find_first_of(u"/\\") != std::u16string::npos || newName == u"." ||
        newName == u"..") {
        prompts_->ShowError(kSpecialCharacters, 10000);
    } else if (RenameEntry(FileSystem(side), *folder, oldName, newName, *prompts_) &&
               !newName.empty()) {
        focus = newName;
    }
    RefreshPanel(side, focus);
    return CommandResult::Done;
}

CommandResult CFileManagerController::Drop(PanelSide side,
                                           const std::vector<std::u16string>& items) {
    if (Busy()) {
        return CommandResult::Refused;
    }
    if (!PanelEnabled(side) || !Panel(side).Folder()) {
        return CommandResult::Disabled;
    }
    BusyScope busy(*this);
    PasteInto(side, items);
    return CommandResult::Done;
}

std::vector<std::u16string> CFileManagerController::TransferList(PanelSide side) const {
    const auto folder = Panel(side).Folder();
    if (!folder) {
        return {};
    }
    return BuildTransferList(*folder, SelectedEntries(side), Panel(side).IsRemote());
}

void CFileManagerController::SelectAll(PanelSide side) {
    PanelState& s = state_[Index(side)];
    s.selection.resize(Panel(side).Entries().size());
    for (std::size_t i = 0; i < s.selection.size(); ++i) {
        s.selection[i] = i;
    }
    view_.SelectionChanged(side);
    view_.EnablingChanged();
}

void CFileManagerController::SetSort(PanelSide side, SortMode mode) {
    CFilePanelModel& model = Model(side);
    std::set<std::u16string> selected;
    for (const auto& e : SelectedEntries(side)) {
        selected.insert(e.name);
    }
    const auto current = CurrentName(side);
    model.SetSortMode(mode);
    PanelState& s = state_[Index(side)];
    s.selection.clear();
    s.current.reset();
    const auto& entries = model.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (selected.count(entries[i].name)) {
            s.selection.push_back(i);
        }
        if (current && entries[i].name == *current) {
            s.current = i;
        }
    }
    view_.PanelChanged(side);
}

// ------------------------------------------------------------ paste

std::optional<int64_t> CFileManagerController::ListBytes(
    const std::vector<std::u16string>& items) const {
    std::map<std::u16string, uint64_t> robotFiles;
    if (const auto folder = Panel(PanelSide::Right).Folder()) {
        for (const auto& e : Panel(PanelSide::Right).Entries()) {
            if (!e.isDirectory) {
                robotFiles[JoinPanelPath(*folder, e.name)] = e.size;
            }
        }
    }
    int64_t total = 0;
    for (const auto& item : items) {
        if (IsMarked(item)) {
            const auto it = robotFiles.find(item.substr(1));
            if (item[0] == u'#' || it == robotFiles.end()) {
                return std::nullopt;
            }
            total += static_cast<int64_t>(it->second);
            continue;
        }
        std::error_code ec;
        const std::filesystem::path path(WideToUtf8(item));
        if (!std::filesystem::is_regular_file(path, ec)) {
            return std::nullopt;
        }
        const auto size = std::filesystem::file_size(path, ec);
        if (ec) {
            return std::nullopt;
        }
        total += static_cast<int64_t>(size);
    }
    return total;
}

void CFileManagerController::PasteInto(PanelSide side, std::vector<std::u16string> items) {
    const auto folder = Panel(side).Folder();
    if (!folder || !PanelEnabled(side)) {
        return;
    }
    const std::u16string destFolder = *folder;
    CFileSystem& dest = FileSystem(side);
    const bool robotReachable = PanelEnabled(PanelSide::Right);

    // What may be copied at all: robot items carry their marker, every other
    // item must be an absolute path of this machine. Anything else (a
    // relative name, an empty text) would be looked up in some folder
    // nobody chose.
    std::vector<std::u16string> accepted;
    for (auto& item : items) {
        if (IsMarked(item) ? item.size() > 1 : (!item.empty() && item[0] == u'/')) {
            accepted.push_back(std::move(item));
        } else {
            prompts_->Skipped(item);
        }
    }

    // An item whose name the destination already has: the operator decides;
    // the same item pasted into its own folder is left alone. The listing is
    // read again first: what the panel shows may be old.
    if (!accepted.empty()) {
        RefreshPanel(side, CurrentName(side));
    }
    bool yesToAll = false;
    std::vector<std::u16string> toCopy;
    for (auto& item : accepted) {
        const bool robot = IsMarked(item);
        const std::u16string path = robot ? item.substr(1) : item;
        const std::u16string name = LastComponent(path);
        const auto& entries = Panel(side).Entries();
        const auto existing = std::find_if(entries.begin(), entries.end(), [&](const CDirEntry& e) {
            return e.name != u".." && SameName(destFolder, e.name, name);
        });
        if (existing == entries.end()) {
            toCopy.push_back(std::move(item));
            continue;
        }
        const bool sameSide = robot == (side == PanelSide::Right);
        if (sameSide && SameName(destFolder, WithoutTrailingSeparators(ParentFolder(path)),
                                 WithoutTrailingSeparators(destFolder))) {
            prompts_->ShowError(Format1(u"«%s» уже находится в этой папке.", name), 10000);
            continue;
        }
        if (!yesToAll) {
            switch (view_.AskReplace(name)) {
                case ReplaceAnswer::Cancel:
                    RefreshPanel(side, CurrentName(side));
                    return;
                case ReplaceAnswer::No:
                    continue;
                case ReplaceAnswer::YesToAll:
                    yesToAll = true;
                    break;
                case ReplaceAnswer::Yes:
                    break;
            }
        }
        // A file takes the place of a file as it is written; anything else
        // has to go first, or the copy would fail on (or mix with) it.
        const bool sourceIsFolder = robot ? item[0] == u'#' : CLocalFileSystem::IsDirectory(path);
        if (existing->isDirectory || sourceIsFolder) {
            const CDirEntry old = *existing;
            if (DeleteEntry(dest, destFolder, old, *prompts_) == Outcome::Stop) {
                RefreshPanel(side, CurrentName(side));
                return;
            }
        }
        toCopy.push_back(std::move(item));
    }

    if (!toCopy.empty()) {
        ClosingProgress progress(view_.CopyProgress(ListBytes(toCopy)), closeRequested_);
        CCopyEngine engine(*prompts_, progress);
        engine.Paste(toCopy, &FileSystem(PanelSide::Left),
                     robotReachable ? &FileSystem(PanelSide::Right) : nullptr, dest, destFolder,
                     [](const std::u16string& p) { return CLocalFileSystem::IsDirectory(p); });
    }
    if (!closeRequested_) {
        RefreshPanel(side, CurrentName(side));
    }
}

}  // namespace velcora
