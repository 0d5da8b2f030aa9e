// One panel of the file manager without its widgets: its file system, the
// drive and path entries of its combo box, the listing of its folder in the
// chosen order, and the rules for which commands apply to a selection.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/file_operations.h"
#include "files/file_system.h"

namespace velcora {

struct ComboEntry {
    std::u16string text;  // path entries are indented by three blanks per level
    bool isDrive = false;
    int level = 0;  // 0 for drives, 1 for the first folder below the drive, ...
};

class CFilePanelModel {
  public:
    explicit CFilePanelModel(std::unique_ptr<CFileSystem> fs);

    CFileSystem& FileSystem() { return *fs_; }
    bool IsRemote() const { return fs_->IsRemote(); }

    // Fills the drive entries; done once, when the panel is first shown.
    bool LoadDrives();
    const std::vector<std::u16string>& Drives() const { return drives_; }
    // The folder of a drive entry: "C:" for drive letters, else its path.
    static std::u16string DriveFolder(std::u16string_view driveName);

    // Re-reads the folder. A panel without a folder takes `remembered`, or
    // the first drive when that is empty; without drives there is nothing to
    // show (false). A failed listing leaves the list empty (false).
    bool Refresh(const std::u16string& remembered = {});
    const std::vector<CDirEntry>& Entries() const { return entries_; }
    std::optional<std::u16string> Folder() const { return fs_->CurrentPath(); }
    void SetFolder(std::u16string folder) { fs_->SetCurrentPath(std::move(folder)); }

    void SetSortMode(SortMode mode);
    SortMode Mode() const { return mode_; }

    // The drives, with the components of the folder after its own drive.
    std::vector<ComboEntry> ComboEntries() const;
    // Makes the chosen combo entry the folder (a drive, or the folder up to
    // the chosen level). False for an index out of range.
    bool ChooseComboEntry(std::size_t index);

    // Copy, delete and F5 need a first selected entry that is neither "."
    // nor "..".
    static bool CanCopy(const std::vector<CDirEntry>& selection);

  private:
    std::optional<std::size_t> DriveOfFolder() const;
    std::vector<std::u16string> FolderComponents(std::size_t drive) const;

    std::unique_ptr<CFileSystem> fs_;
    std::vector<std::u16string> drives_;
    std::vector<CDirEntry> entries_;
    SortMode mode_ = SortMode::ByName;
};

}  // namespace velcora
