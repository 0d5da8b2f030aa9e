// Copies files and folder trees from one file system to another, through the
// CFileSystem interface only, so every direction is the same code. Progress
// and the "Отмена" button reach it through ICopyProgress, failures are put to
// the operator through IFilePrompts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "files/file_operations.h"
#include "files/file_system.h"

namespace velcora {

class ICopyProgress {
  public:
    virtual ~ICopyProgress() = default;
    // The overall bar runs from 0 to `items`.
    virtual void Begin(int32_t items) = 0;
    virtual void ItemsDone(int32_t done) = 0;
    // A new file: the label text and the file bar's range (the bar is reset).
    virtual void FileStarted(const std::u16string& label, int32_t size) = 0;
    virtual void FileProgress(int32_t copied) = 0;
    // Keeps the interface running for a moment and answers whether "Отмена"
    // has been pressed.
    virtual bool CancelRequested() = 0;
    virtual void End() = 0;
};

class CCopyEngine {
  public:
    static constexpr int32_t kBlockSize = 65536;

    CCopyEngine(IFilePrompts& prompts, ICopyProgress& progress);

    // Copies the file `source` into the folder `destFolder` under its own name.
    Outcome CopyFile(CFileSystem& from, const std::u16string& source, CFileSystem& to,
                     const std::u16string& destFolder);
    // Creates `destFolder`/<name of source> and copies the tree below it.
    Outcome CopyFolder(CFileSystem& from, const std::u16string& source, CFileSystem& to,
                       const std::u16string& destFolder);

    // Copies the items of a transfer list into `destFolder` of `to`. Items
    // marked "#" (folder) or "@" (file) are on the robot's disk (`remote`),
    // the rest on the local disk (`local`), where `isLocalFolder` tells
    // folders from files. Either side may be missing; its items are skipped.
    Outcome Paste(const std::vector<std::u16string>& items, CFileSystem* local, CFileSystem* remote,
                  CFileSystem& to, const std::u16string& destFolder,
                  const std::function<bool(const std::u16string&)>& isLocalFolder);

    bool Cancelled() const { return cancelled_; }

  private:
    bool PollCancel();

    IFilePrompts& prompts_;
    ICopyProgress& progress_;
    std::vector<uint8_t> block_;
    bool cancelled_ = false;
};

}  // namespace velcora
