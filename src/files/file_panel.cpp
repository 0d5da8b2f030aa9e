#include "files/file_panel.h"

#include "files/local_file_system.h"

namespace velcora {
namespace {

bool IsSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

}  // namespace

CFilePanelModel::CFilePanelModel(std::unique_ptr<CFileSystem> fs) : fs_(std::move(fs)) {}

bool CFilePanelModel::LoadDrives() {
    drives_.clear();
    return fs_->EnumDrives([this](const std::u16string& d) { drives_.push_back(d); });
}

std::u16string CFilePanelModel::DriveFolder(std::u16string_view driveName) {
    if (IsDriveLetterPath(driveName)) {
        return std::u16string(driveName.substr(0, 2));
    }
    return DrivePath(driveName);
}

bool CFilePanelModel::Refresh(const std::u16string& remembered) {
    entries_.clear();
    if (!fs_->CurrentPath()) {
        if (!remembered.empty()) {
            fs_->SetCurrentPath(remembered);
        } else if (!drives_.empty()) {
            fs_->SetCurrentPath(DriveFolder(drives_.front()));
        } else {
            return false;
        }
    }
    std::vector<CDirEntry> listing;
    if (!fs_->EnumDir(*fs_->CurrentPath(), [&](const CDirEntry& e) { listing.push_back(e); })) {
        return false;
    }
    entries_ = PanelEntries(std::move(listing), mode_);
    return true;
}

void CFilePanelModel::SetSortMode(SortMode mode) {
    mode_ = mode;
    SortEntries(entries_, mode_);
}

std::optional<std::size_t> CFilePanelModel::DriveOfFolder() const {
    const auto& folder = fs_->CurrentPath();
    if (!folder) {
        return std::nullopt;
    }
    std::optional<std::size_t> best;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < drives_.size(); ++i) {
        const std::u16string root = DriveFolder(drives_[i]);
        const bool drive = IsDriveLetterPath(root);
        const bool prefix = folder->size() >= root.size() &&
                            (drive ? CompareNoCase(folder->substr(0, root.size()), root) == 0
                                   : folder->compare(0, root.size(), root) == 0) &&
                            (folder->size() == root.size() || IsSeparator((*folder)[root.size()]) ||
                             IsSeparator(root.back()));
        if (prefix && (!best || root.size() > bestLength)) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

std::vector<std::u16string> CFilePanelModel::FolderComponents(std::size_t drive) const {
    std::vector<std::u16string> parts;
    const std::u16string& folder = *fs_->CurrentPath();
    const std::u16string root = DriveFolder(drives_[drive]);
    std::u16string part;
    for (std::size_t i = root.size(); i <= folder.size(); ++i) {
        if (i == folder.size() || IsSeparator(folder[i])) {
            if (!part.empty()) {
                parts.push_back(std::move(part));
            }
            part.clear();
        } else {
            part.push_back(folder[i]);
        }
    }
    return parts;
}

std::vector<ComboEntry> CFilePanelModel::ComboEntries() const {
    std::vector<ComboEntry> out;
    const auto drive = DriveOfFolder();
    for (std::size_t i = 0; i < drives_.size(); ++i) {
        out.push_back({drives_[i], true, 0});
        if (drive && *drive == i) {
            int level = 0;
            for (const auto& part : FolderComponents(i)) {
                ++level;
                out.push_back({std::u16string(3 * static_cast<std::size_t>(level), u' ') + part,
                               false, level});
            }
        }
    }
    return out;
}

bool CFilePanelModel::ChooseComboEntry(std::size_t index) {
    const auto entries = ComboEntries();
    if (index >= entries.size()) {
        return false;
    }
    // Walk back to the drive the entry belongs to.
    std::size_t driveEntry = index;
    while (!entries[driveEntry].isDrive) {
        --driveEntry;
    }
    std::u16string folder = DriveFolder(entries[driveEntry].text);
    for (std::size_t i = driveEntry + 1; i <= index; ++i) {
        folder = JoinPanelPath(folder, entries[i].text.substr(3 * entries[i].level));
    }
    fs_->SetCurrentPath(std::move(folder));
    return true;
}

bool CFilePanelModel::CanCopy(const std::vector<CDirEntry>& selection) {
    return !selection.empty() && selection.front().name != u"." && selection.front().name != u"..";
}

}  // namespace velcora
