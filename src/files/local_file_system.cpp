#include "files/local_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "link/text_codec.h"

namespace velcora {
namespace {

std::string Native(const std::u16string& path) {
    return WideToUtf8(path);
}

// Mount tables escape blanks, tabs, newlines and backslashes as \ooo.
std::string Unescape(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

bool IsOneOf(const std::string& value, std::initializer_list<const char*> set) {
    return std::any_of(set.begin(), set.end(), [&](const char* s) { return value == s; });
}

bool IsNetworkType(const std::string& fs) {
    return IsOneOf(
        fs, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "ceph", "9p", "glusterfs",
             "davfs", "fuse.sshfs", "fuse.davfs2", "fuse.rclone", "fuse.glusterfs", "fuse.ceph"});
}

bool IsUnder(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

DriveKind KindOf(const MountEntry& m, const std::function<bool(const std::string&)>& removable) {
    if (IsNetworkType(m.fsType)) {
        return DriveKind::Network;
    }
    if (IsOneOf(m.fsType, {"iso9660", "udf"})) {
        return DriveKind::CdRom;
    }
    if (IsOneOf(m.fsType, {"tmpfs", "ramfs"})) {
        return DriveKind::RamDisk;
    }
    if ((removable && removable(m.device)) || IsUnder(m.mountPoint, "/media") ||
        IsUnder(m.mountPoint, "/run/media")) {
        return DriveKind::Removable;
    }
    if (m.device.rfind("/dev/", 0) == 0) {
        return DriveKind::Fixed;
    }
    return DriveKind::Other;
}

// The mount that holds `path`: the longest mount point that is a prefix.
const MountEntry* MountOf(const std::vector<MountEntry>& mounts, const std::string& path) {
    const MountEntry* best = nullptr;
    for (const auto& m : mounts) {
        if ((m.mountPoint == "/" || path == m.mountPoint || IsUnder(path, m.mountPoint)) &&
            (!best || m.mountPoint.size() >= best->mountPoint.size())) {
            best = &m;
        }
    }
    return best;
}

std::string HomeFolder() {
    if (const char* h = std::getenv("HOME"); h && *h) {
        return h;
    }
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
        return pw->pw_dir;
    }
    return {};
}

bool DeviceRemovable(const std::string& sysClassBlock, const std::string& device) {
    if (device.rfind("/dev/", 0) != 0) {
        return false;
    }
    char resolved[PATH_MAX];
    std::string dev = device;
    if (realpath(device.c_str(), resolved)) {
        dev = resolved;
    }
    const std::string name = dev.substr(dev.rfind('/') + 1);
    if (name.empty()) {
        return false;
    }
    // A partition's flag lives on its disk, one folder up.
    std::string node = sysClassBlock + "/" + name;
    if (realpath(node.c_str(), resolved)) {
        node = resolved;
    }
    for (const std::string& flag : {node + "/removable", node + "/../removable"}) {
        std::ifstream in(flag);
        int value = 0;
        if (in >> value) {
            return value == 1;
        }
    }
    return false;
}

// Moves all `count` bytes at `offset` through pread or pwrite, going on after
// short moves and interruptions; false on an error or an early end of file.
template <typename Byte, typename Move>
bool MoveAll(Move move, int fd, Byte* data, int32_t count, off_t offset) {
    while (count > 0) {
        const ssize_t n = move(fd, data, static_cast<size_t>(count), offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        count -= static_cast<int32_t>(n);
        offset += n;
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* data, int32_t count, off_t offset) {
    return MoveAll(::pwrite, fd, data, count, offset);
}

bool ReadAll(int fd, uint8_t* data, int32_t count, off_t offset) {
    return MoveAll(::pread, fd, data, count, offset);
}

}  // namespace

std::vector<MountEntry> ParseMounts(std::string_view text) {
    std::vector<MountEntry> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        std::array<std::string_view, 3> fields;
        std::size_t found = 0, at = 0;
        while (found < fields.size() && at < line.size()) {
            while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) {
                ++at;
            }
            std::size_t stop = at;
            while (stop < line.size() && line[stop] != ' ' && line[stop] != '\t') {
                ++stop;
            }
            if (stop > at) {
                fields[found++] = line.substr(at, stop - at);
            }
            at = stop;
        }
        if (found == fields.size()) {
            out.push_back({Unescape(fields[0]), Unescape(fields[1]), std::string(fields[2])});
        }
    }
    return out;
}

std::u16string DriveSuffix(DriveKind kind) {
    switch (kind) {
        case DriveKind::Removable:
            return u" - Сменный";
        case DriveKind::Fixed:
            return u" - Жесткий";
        case DriveKind::Network:
            return u" - Сетевой";
        case DriveKind::CdRom:
            return u" - CD-ROM";
        case DriveKind::RamDisk:
            return u" - RAM-диск";
        case DriveKind::Other:
            break;
    }
    return {};
}

std::u16string DrivePath(std::u16string_view driveName) {
    for (DriveKind kind : {DriveKind::Removable, DriveKind::Fixed, DriveKind::Network,
                           DriveKind::CdRom, DriveKind::RamDisk}) {
        const std::u16string suffix = DriveSuffix(kind);
        if (driveName.size() > suffix.size() && driveName.ends_with(suffix)) {
            return std::u16string(driveName.substr(0, driveName.size() - suffix.size()));
        }
    }
    return std::u16string(driveName);
}

std::vector<std::u16string> OperatorDrives(
    const std::vector<MountEntry>& mounts, const std::string& home,
    const std::function<bool(const std::string&)>& isRemovable) {
    struct Drive {
        std::string path;
        DriveKind kind;
    };
    std::vector<Drive> drives;
    auto add = [&](const std::string& path, DriveKind kind) {
        for (const auto& d : drives) {
            if (d.path == path) {
                return;
            }
        }
        drives.push_back({path, kind});
    };
    auto kindAt = [&](const std::string& path) {
        const MountEntry* m = MountOf(mounts, path);
        DriveKind kind = m ? KindOf(*m, isRemovable) : DriveKind::Fixed;
        // The system disk and the home folder are the operator's own disk even
        // in a container whose root is an overlay.
        return kind == DriveKind::Other ? DriveKind::Fixed : kind;
    };
    add("/", kindAt("/"));
    if (!home.empty() && home != "/") {
        add(home, kindAt(home));
    }
    std::vector<Drive> others;
    for (const auto& m : mounts) {
        if (m.mountPoint == "/" || IsUnder(m.mountPoint, "/proc") ||
            IsUnder(m.mountPoint, "/sys") || IsUnder(m.mountPoint, "/dev")) {
            continue;
        }
        const DriveKind kind = KindOf(m, isRemovable);
        const bool wanted = kind == DriveKind::Network || kind == DriveKind::CdRom ||
                            kind == DriveKind::Removable ||
                            (IsUnder(m.mountPoint, "/mnt") && kind != DriveKind::Other);
        if (wanted) {
            others.push_back({m.mountPoint, kind});
        }
    }
    std::sort(others.begin(), others.end(),
              [](const Drive& a, const Drive& b) { return a.path < b.path; });
    for (const auto& d : others) {
        add(d.path, d.kind);
    }
    std::vector<std::u16string> names;
    for (const auto& d : drives) {
        names.push_back(Utf8ToWide(d.path) + DriveSuffix(d.kind));
    }
    return names;
}

CLocalFileSystem::CLocalFileSystem(std::shared_ptr<IFileOpener> opener, LocalDriveSource drives)
    : CFileSystem(false), opener_(std::move(opener)), drives_(std::move(drives)) {}

CLocalFileSystem::~CLocalFileSystem() {
    DiscardWrite();
    CloseRead();
}

bool CLocalFileSystem::EnumDrives(const DriveCallback& callback) {
    if (!callback) {
        return false;
    }
    std::ifstream in(drives_.mountsFile);
    std::stringstream text;
    text << in.rdbuf();
    const std::string home = drives_.home.empty() ? HomeFolder() : drives_.home;
    const std::string sys = drives_.sysClassBlock;
    for (const auto& name :
         OperatorDrives(ParseMounts(text.str()), home,
                        [&](const std::string& d) { return DeviceRemovable(sys, d); })) {
        callback(name);
    }
    return true;
}

bool CLocalFileSystem::EnumDir(const std::u16string& path, const EntryCallback& callback) {
    if (path.empty()) {
        return false;
    }
    const std::string folder = Native(path);
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        return false;
    }
    const int dirFd = dirfd(dir);
    while (const dirent* d = readdir(dir)) {
        CDirEntry entry;
        entry.name = Utf8ToWide(d->d_name);
        struct stat st {};
        struct stat lst {};
        const bool haveLink = fstatat(dirFd, d->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0;
        entry.isLink = haveLink && S_ISLNK(lst.st_mode);
        if (fstatat(dirFd, d->d_name, &st, 0) == 0) {
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.size = entry.isDirectory ? 0 : static_cast<uint64_t>(st.st_size);
        } else if (haveLink) {
            // A dangling link is shown as the small file it is.
            entry.size = static_cast<uint64_t>(lst.st_size);
        }
        if (callback) {
            callback(entry);
        }
    }
    closedir(dir);
    return true;
}

void CLocalFileSystem::DiscardWrite() {
    if (writeFd_ >= 0) {
        close(writeFd_);
        writeFd_ = -1;
        unlink(tempName_.c_str());
    }
    tempName_.clear();
}

bool CLocalFileSystem::BeginWrite(const std::u16string& path) {
    DiscardWrite();
    if (path.empty()) {
        return false;
    }
    tempName_ = Native(path) + "_";
    writeFd_ = open(tempName_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (writeFd_ < 0) {
        tempName_.clear();
        return false;
    }
    return true;
}

bool CLocalFileSystem::WriteAt(int32_t offset, const void* data, int32_t count) {
    if (writeFd_ < 0 || offset < 0 || count < 0 || (count > 0 && !data)) {
        return false;
    }
    return WriteAll(writeFd_, static_cast<const uint8_t*>(data), count, offset);
}

bool CLocalFileSystem::EndWrite() {
    if (writeFd_ < 0) {
        tempName_.clear();
        return false;
    }
    const std::string temp = tempName_;
    const bool closed = close(writeFd_) == 0;
    writeFd_ = -1;
    tempName_.clear();
    // A close that fails may have lost buffered data: the file is not
    // trusted and not renamed over an older good one.
    bool ok = closed && temp.size() > 1 &&
              rename(temp.c_str(), temp.substr(0, temp.size() - 1).c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
    }
    return ok;
}

int32_t CLocalFileSystem::OpenRead(const std::u16string& path) {
    CloseRead();
    if (path.empty()) {
        return -1;
    }
    const int fd = open(Native(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    // A folder opens on Linux but cannot be read; a file beyond the 32-bit
    // size cannot be copied whole, and a wrapped size would copy it cut short.
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode) || st.st_size < 0 || st.st_size > INT32_MAX) {
        close(fd);
        return -1;
    }
    readFd_ = fd;
    return static_cast<int32_t>(st.st_size);
}

bool CLocalFileSystem::ReadAt(int32_t offset, void* buffer, int32_t count) {
    if (readFd_ < 0 || offset < 0 || count < 0 || (count > 0 && !buffer)) {
        return false;
    }
    return ReadAll(readFd_, static_cast<uint8_t*>(buffer), count, offset);
}

bool CLocalFileSystem::CloseRead() {
    if (readFd_ < 0) {
        return true;
    }
    const bool ok = close(readFd_) == 0;
    readFd_ = -1;
    return ok;
}

bool CLocalFileSystem::DeleteFile(const std::u16string& path) {
    return !path.empty() && unlink(Native(path).c_str()) == 0;
}

bool CLocalFileSystem::RemoveDirectory(const std::u16string& path) {
    if (path.empty()) {
        return false;
    }
    const std::string native = Native(path);
    struct stat lst {};
    // A link to a folder is removed as a link, never through its target.
    if (lstat(native.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        return unlink(native.c_str()) == 0;
    }
    return rmdir(native.c_str()) == 0;
}

bool CLocalFileSystem::CreateDirectory(const std::u16string& path) {
    if (path.empty()) {
        return false;
    }
    const std::string native = Native(path);
    if (mkdir(native.c_str(), 0777) == 0) {
        return true;
    }
    return errno == EEXIST && IsDirectory(path);
}

bool CLocalFileSystem::Rename(const std::u16string& oldPath, const std::u16string& newPath) {
    if (oldPath.empty() || newPath.empty()) {
        return false;
    }
    const std::string from = Native(oldPath);
    const std::string to = Native(newPath);
    // A rename never replaces an existing item: that would silently destroy
    // the other file or folder.
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    struct stat st {};
    if (lstat(to.c_str(), &st) == 0) {
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
}

bool CLocalFileSystem::Execute(const std::u16string& path) {
    if (!opener_ || path.empty()) {
        return false;
    }
    return opener_->Open(path, CurrentPath().value_or(std::u16string()));
}

bool CLocalFileSystem::IsDirectory(const std::u16string& path) {
    struct stat st {};
    return !path.empty() && stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace velcora
