// The console's own disk. Drives are the mount points an operator cares
// about; a file being written lives under "name_" until EndWrite renames it,
// so a copy that stops half-way never leaves a truncated file under the real
// name.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_system.h"

namespace velcora {

// Opens a file with the desktop's default application. The desktop
// implementation lives with the windows; without one, Execute fails.
class IFileOpener {
  public:
    virtual ~IFileOpener() = default;
    virtual bool Open(const std::u16string& path, const std::u16string& workingDirectory) = 0;
};

enum class DriveKind { Removable, Fixed, Network, CdRom, RamDisk, Other };

struct MountEntry {
    std::string device;
    std::string mountPoint;
    std::string fsType;
};

// The lines of /proc/self/mounts, with the octal escapes of names decoded.
std::vector<MountEntry> ParseMounts(std::string_view text);

// The drive list shown to the operator: "/" and the home folder first, then
// removable, optical and network mounts, each with the suffix of its kind.
// `isRemovable` answers for a device path.
std::vector<std::u16string> OperatorDrives(
    const std::vector<MountEntry>& mounts, const std::string& home,
    const std::function<bool(const std::string&)>& isRemovable);

std::u16string DriveSuffix(DriveKind kind);
// The folder of a drive entry: its name without the kind suffix.
std::u16string DrivePath(std::u16string_view driveName);

struct LocalDriveSource {
    std::string mountsFile = "/proc/self/mounts";
    std::string home;  // empty: $HOME, else the password database
    std::string sysClassBlock = "/sys/class/block";
};

class CLocalFileSystem : public CFileSystem {
  public:
    explicit CLocalFileSystem(std::shared_ptr<IFileOpener> opener = nullptr,
                              LocalDriveSource drives = {});
    ~CLocalFileSystem() override;

    bool EnumDrives(const DriveCallback& callback) override;
    bool EnumDir(const std::u16string& path, const EntryCallback& callback) override;
    bool BeginWrite(const std::u16string& path) override;
    bool WriteAt(int32_t offset, const void* data, int32_t count) override;
    bool EndWrite() override;
    int32_t OpenRead(const std::u16string& path) override;
    bool ReadAt(int32_t offset, void* buffer, int32_t count) override;
    bool CloseRead() override;
    bool DeleteFile(const std::u16string& path) override;
    bool RemoveDirectory(const std::u16string& path) override;
    bool CreateDirectory(const std::u16string& path) override;
    bool Rename(const std::u16string& oldPath, const std::u16string& newPath) override;
    bool Execute(const std::u16string& path) override;

    // Whether the path names a folder (links followed); used to tell folders
    // from files in transfer lists of local items.
    static bool IsDirectory(const std::u16string& path);

  private:
    void DiscardWrite();

    std::shared_ptr<IFileOpener> opener_;
    LocalDriveSource drives_;
    int writeFd_ = -1;
    std::string tempName_;  // the file being written, "name_"
    int readFd_ = -1;
};

}  // namespace velcora
