// One interface over a disk: the operator's own and the robot's. The copy
// engine and the file manager work only through it, so copying in either
// direction is the same code.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velcora {

struct CDirEntry {
    std::u16string name;  // without path
    bool isDirectory = false;
    uint64_t size = 0;
    // A symbolic link (only the local disk reports them). A linked folder is
    // browsed and copied like a folder, but deleting it removes the link only.
    bool isLink = false;
};

using DriveCallback = std::function<void(const std::u16string& driveName)>;
using EntryCallback = std::function<void(const CDirEntry& entry)>;

class CFileSystem {
  public:
    explicit CFileSystem(bool remote) : remote_(remote) {}
    virtual ~CFileSystem() = default;
    CFileSystem(const CFileSystem&) = delete;
    CFileSystem& operator=(const CFileSystem&) = delete;

    // Calls `callback` once per drive; false without a callback or when the
    // drives cannot be listed.
    virtual bool EnumDrives(const DriveCallback& callback) = 0;
    // Calls `callback` once per entry, as the side lists them (the folder
    // itself and its parent included when the side reports them).
    virtual bool EnumDir(const std::u16string& path, const EntryCallback& callback) = 0;
    // At most one file is written and one read at a time. BeginWrite with an
    // empty path only discards the file being written.
    virtual bool BeginWrite(const std::u16string& path) = 0;
    virtual bool WriteAt(int32_t offset, const void* data, int32_t count) = 0;
    virtual bool EndWrite() = 0;
    // The file's size, or -1 when it cannot be opened.
    virtual int32_t OpenRead(const std::u16string& path) = 0;
    // Reads exactly `count` bytes at `offset`.
    virtual bool ReadAt(int32_t offset, void* buffer, int32_t count) = 0;
    virtual bool CloseRead() = 0;
    virtual bool DeleteFile(const std::u16string& path) = 0;
    // The directory must be empty.
    virtual bool RemoveDirectory(const std::u16string& path) = 0;
    virtual bool CreateDirectory(const std::u16string& path) = 0;
    virtual bool Rename(const std::u16string& oldPath, const std::u16string& newPath) = 0;
    // Opens or runs the file on its own side.
    virtual bool Execute(const std::u16string& path) = 0;

    // Names the last EnumDir left out because joining them to a folder could
    // lead outside it; the caller reports them. Only an untrusted side has any.
    virtual const std::vector<std::u16string>& RejectedNames() const {
        static const std::vector<std::u16string> kNone;
        return kNone;
    }

    bool IsRemote() const { return remote_; }
    // The folder a panel shows; none until first set.
    const std::optional<std::u16string>& CurrentPath() const { return currentPath_; }
    void SetCurrentPath(std::optional<std::u16string> path) { currentPath_ = std::move(path); }

  private:
    std::optional<std::u16string> currentPath_;
    bool remote_ = false;
};

}  // namespace velcora
