// Transfer lists on the desktop's clipboard and in drags: our own file-drop
// block, which carries the robot's items too, plus the local files as
// "text/uri-list" and as the copied-files list desktop file managers paste.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "files/file_manager.h"
#include "files/local_file_system.h"

class QMimeData;

namespace velcora::files {

inline constexpr char kGnomeCopiedFilesMimeType[] = "x-special/gnome-copied-files";

// The data of a transfer list. Robot items ("#", "@") go into the block only:
// they cannot leave the console.
QMimeData* MakeFileMimeData(const std::vector<std::u16string>& items);
// The items of dropped or pasted data: the block when there is one, else the
// local files of a uri-list or copied-files list. Nothing when it holds none.
std::optional<std::vector<std::u16string>> FilesFromMime(const QMimeData* data);

class CQtFileClipboard : public IFileClipboard {
  public:
    void PutFiles(const std::vector<std::u16string>& items) override;
    std::optional<std::vector<std::u16string>> Files() override;
};

// Opens local files with the desktop's default application.
class CDesktopOpener : public IFileOpener {
  public:
    bool Open(const std::u16string& path, const std::u16string& workingDirectory) override;
};

}  // namespace velcora::files
