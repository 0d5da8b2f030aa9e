// The robot's side of the remote file protocol over a sandboxed folder.
#include "sim/sim_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "files/remote_file_system.h"
#include "link/text_codec.h"
#include "sim/sim_features.h"

namespace velcora::sim {

namespace {

constexpr const char* kDrives[] = {"C", "D"};
// Files the protocol can describe: sizes and offsets travel as 32-bit values
// and the size of an opened file as a signed one.
constexpr int64_t kMaxFileSize = INT32_MAX;

std::optional<std::string> RealPath(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) {
        return std::nullopt;
    }
    std::string out(real);
    std::free(real);
    return out;
}

bool WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    close(fd);
    return ok;
}

// A quarter second of a 880 Hz tone, 8 kHz, 8-bit mono.
std::string BeepWave() {
    constexpr uint32_t kRate = 8000, kSamples = 2000;
    CMemoryStream s;
    WriteText(s, "RIFF");
    WriteU32(s, 36 + kSamples);
    WriteText(s, "WAVEfmt ");
    WriteU32(s, 16);
    WriteU16(s, 1);
    WriteU16(s, 1);
    WriteU32(s, kRate);
    WriteU32(s, kRate);
    WriteU16(s, 1);
    WriteU16(s, 8);
    WriteText(s, "data");
    WriteU32(s, kSamples);
    for (uint32_t i = 0; i < kSamples; ++i) {
        const double v = std::sin(2 * M_PI * 880.0 * i / kRate);
        WriteU8(s, static_cast<uint8_t>(128 + 100 * v));
    }
    return std::string(s.View());
}

// Bytes of no pattern a compressor or a mix-up of blocks would get away with.
std::string Telemetry(std::size_t size) {
    std::string out(size, '\0');
    uint32_t x = 0x2545F491u;
    for (auto& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return out;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// A name Windows would accept as one component.
bool ValidComponent(std::string_view name) {
    for (unsigned char c : name) {
        if (c < 0x20 || std::strchr("<>:\"|?*", c)) {
            return false;
        }
    }
    return true;
}

std::string Dirname(const std::string& path) {
    const auto at = path.rfind('/');
    return at == std::string::npos ? std::string(".") : path.substr(0, at);
}

bool WriteAll(int fd, const char* data, std::size_t count, off_t offset) {
    while (count > 0) {
        const ssize_t n = pwrite(fd, data, count, offset);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        count -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

}  // namespace

CSimDisk::CSimDisk(std::string sandbox) {
    if (!sandbox.empty()) {
        root_ = RealPath(sandbox).value_or(std::string());
    }
}

CSimDisk::~CSimDisk() {
    DiscardWrite();
    CloseRead();
}

bool CSimDisk::Seed(const std::string& sandbox) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(sandbox, ec)) {
        return fs::is_directory(sandbox, ec);
    }
    const fs::path root(sandbox);
    const fs::path demo = root / "C" / "demo";
    if (!fs::create_directories(demo / "sounds" / "archive", ec) ||
        !fs::create_directories(root / "D", ec)) {
        return false;
    }
    return WriteFile(demo / "readme.txt",
                     "Demo folder of the simulated robot.\r\n"
                     "Copy it to the console and back to try the file manager.\r\n") &&
           WriteFile(demo / "robot.ini", "[ROBOT]\r\nname=velcora-sim\r\nheight=12.5\r\n") &&
           WriteFile(demo / "Отчёт.txt", "Отчёт о работе робота за смену.\r\n") &&
           WriteFile(demo / "telemetry.bin", Telemetry(150000)) &&
           WriteFile(demo / "sounds" / "beep.wav", BeepWave());
}

bool CSimDisk::Inside(const std::string& realPath) const {
    return realPath == root_ ||
           (realPath.size() > root_.size() && realPath.compare(0, root_.size(), root_) == 0 &&
            realPath[root_.size()] == '/');
}

std::optional<std::string> CSimDisk::Resolve(std::string_view ansiPath, bool followLast) const {
    const auto host = ResolveHost(ansiPath, followLast);
    if (!host && !root_.empty()) {
        ++refused_;
    }
    return host;
}

std::optional<std::string> CSimDisk::ResolveHost(std::string_view ansiPath, bool followLast) const {
    if (root_.empty()) {
        return std::nullopt;
    }
    const std::string path = AnsiToUtf8(ansiPath);
    if (path.size() < 2 || path[1] != ':') {
        return std::nullopt;
    }
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    const auto drive = std::find_if(std::begin(kDrives), std::end(kDrives),
                                    [&](const char* d) { return d[0] == letter; });
    // "C:name" means the drive's current folder on Windows: not ours to guess.
    if (drive == std::end(kDrives) || (path.size() > 2 && !IsSeparator(path[2]))) {
        return std::nullopt;
    }
    std::string host = root_ + "/" + *drive;
    bool isRoot = true;
    std::size_t pos = 2;
    while (pos < path.size()) {
        std::size_t end = pos;
        while (end < path.size() && !IsSeparator(path[end])) {
            ++end;
        }
        const std::string_view part = std::string_view(path).substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == ".." || !ValidComponent(part)) {
            return std::nullopt;
        }
        host += "/";
        host += part;
        isRoot = false;
    }
    // The folder the path ends in must be inside, links resolved...
    const auto parent = RealPath(isRoot ? host : Dirname(host));
    if (!parent || !Inside(*parent)) {
        return std::nullopt;
    }
    // ...and so must what a link in the last place points to.
    struct stat st {};
    if (followLast && !isRoot && lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        const auto target = RealPath(host);
        if (!target || !Inside(*target)) {
            return std::nullopt;
        }
    }
    return host;
}

std::vector<std::u16string> CSimDisk::Drives() const {
    std::vector<std::u16string> out;
    for (const char* d : kDrives) {
        out.push_back(Utf8ToWide(std::string(d) + ":"));
    }
    return out;
}

std::optional<std::vector<CDirEntry>> CSimDisk::List(std::string_view ansiPath) const {
    const auto host = Resolve(ansiPath, true);
    if (!host) {
        return std::nullopt;
    }
    DIR* dir = opendir(host->c_str());
    if (!dir) {
        return std::nullopt;
    }
    std::vector<CDirEntry> files;
    while (const dirent* d = readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string full = *host + "/" + name;
        struct stat st {};
        if (lstat(full.c_str(), &st) != 0) {
            continue;
        }
        if (S_ISLNK(st.st_mode)) {
            // A link is shown as what it points to, when that is on our disk.
            const auto target = RealPath(full);
            if (!target || !Inside(*target) || stat(full.c_str(), &st) != 0) {
                continue;
            }
        }
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) {
            continue;
        }
        CDirEntry e;
        e.name = Utf8ToWide(name);
        e.isDirectory = S_ISDIR(st.st_mode);
        e.size = e.isDirectory ? 0 : static_cast<uint64_t>(st.st_size);
        files.push_back(std::move(e));
    }
    closedir(dir);
    std::sort(files.begin(), files.end(),
              [](const CDirEntry& a, const CDirEntry& b) { return a.name < b.name; });
    // Below a drive's root a Windows listing starts with the folder itself
    // and its parent.
    std::vector<CDirEntry> out;
    const auto real = RealPath(*host);
    bool driveRoot = false;
    for (const char* d : kDrives) {
        driveRoot = driveRoot || (real && *real == root_ + "/" + d);
    }
    if (!driveRoot) {
        out.push_back({u".", true, 0, false});
        out.push_back({u"..", true, 0, false});
    }
    out.insert(out.end(), files.begin(), files.end());
    return out;
}

void CSimDisk::DiscardWrite() {
    if (writeFd_ >= 0) {
        close(writeFd_);
        unlink(writeTemp_.c_str());
    }
    writeFd_ = -1;
    writeTemp_.clear();
    writeTarget_.clear();
}

bool CSimDisk::BeginWrite(std::string_view ansiPath) {
    DiscardWrite();
    if (ansiPath.empty()) {
        return true;
    }
    const auto host = Resolve(ansiPath, false);
    struct stat st {};
    if (!host || (lstat(host->c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        return false;
    }
    const std::string temp = *host + "_";
    // Never through a link: "name_" is ours to create.
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    writeFd_ = fd;
    writeTemp_ = temp;
    writeTarget_ = *host;
    return true;
}

bool CSimDisk::WriteAt(uint32_t offset, std::string_view bytes) {
    if (writeFd_ < 0 ||
        static_cast<int64_t>(offset) + static_cast<int64_t>(bytes.size()) > kMaxFileSize) {
        return false;
    }
    return WriteAll(writeFd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
}

int32_t CSimDisk::EndWrite() {
    if (writeFd_ < 0) {
        return -1;
    }
    struct stat st {};
    const bool measured = fstat(writeFd_, &st) == 0;
    const bool closed = close(writeFd_) == 0;
    writeFd_ = -1;
    const bool renamed =
        measured && closed && rename(writeTemp_.c_str(), writeTarget_.c_str()) == 0;
    if (!renamed) {
        unlink(writeTemp_.c_str());
    }
    writeTemp_.clear();
    writeTarget_.clear();
    return renamed ? static_cast<int32_t>(st.st_size) : -1;
}

int32_t CSimDisk::OpenRead(std::string_view ansiPath) {
    CloseRead();
    const auto host = Resolve(ansiPath, true);
    if (!host) {
        return -1;
    }
    const int fd = open(host->c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0) {
        return -1;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) {
        close(fd);
        return -1;
    }
    readFd_ = fd;
    readSize_ = st.st_size;
    return static_cast<int32_t>(st.st_size);
}

std::optional<std::string> CSimDisk::ReadAt(uint32_t offset, uint32_t count) {
    if (readFd_ < 0 || count > static_cast<uint32_t>(CSimRobot::kMaxFrameLength - 1) ||
        static_cast<int64_t>(offset) + count > readSize_) {
        return std::nullopt;
    }
    std::string out(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            pread(readFd_, out.data() + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return std::nullopt;  // shorter than it was: never a short reply
        }
        done += static_cast<std::size_t>(n);
    }
    return out;
}

void CSimDisk::CloseRead() {
    if (readFd_ >= 0) {
        close(readFd_);
    }
    readFd_ = -1;
    readSize_ = 0;
}

bool CSimDisk::MakeDirectory(std::string_view ansiPath) {
    const auto host = Resolve(ansiPath, true);
    if (!host) {
        return false;
    }
    if (mkdir(host->c_str(), 0755) == 0) {
        return true;
    }
    struct stat st {};
    return errno == EEXIST && stat(host->c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CSimDisk::DeleteFile(std::string_view ansiPath) {
    const auto host = Resolve(ansiPath, false);
    struct stat st {};
    return host && lstat(host->c_str(), &st) == 0 && !S_ISDIR(st.st_mode) &&
           unlink(host->c_str()) == 0;
}

bool CSimDisk::RemoveDirectory(std::string_view ansiPath) {
    const auto host = Resolve(ansiPath, false);
    // A drive's own folder stays.
    if (!host || Dirname(*host) == root_) {
        return false;
    }
    return rmdir(host->c_str()) == 0;
}

bool CSimDisk::Rename(std::string_view from, std::string_view to) {
    const auto a = Resolve(from, false);
    const auto b = Resolve(to, false);
    if (!a || !b || Dirname(*a) == root_ || Dirname(*b) == root_) {
        return false;
    }
    // Windows does not replace an existing entry by renaming.
    struct stat st {};
    if (lstat(b->c_str(), &st) == 0) {
        return false;
    }
    return rename(a->c_str(), b->c_str()) == 0;
}

bool CSimDisk::Execute(std::string_view ansiPath) {
    const auto host = Resolve(ansiPath, true);
    struct stat st {};
    return host && stat(host->c_str(), &st) == 0;
}

void CSimDisk::Reset() {
    DiscardWrite();
    CloseRead();
}

// ------------------------------------------------------------ the robot

namespace {

std::string FoldedPath(std::string_view path) {
    std::string out(path);
    for (char& c : out) {
        if (c == '/') {
            c = '\\';
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    while (out.size() > 1 && out.back() == '\\') {
        out.pop_back();
    }
    return out;
}

// The text up to the first zero byte at `pos` (or to the end), and past it.
std::string TakeText(std::string_view body, std::size_t& pos) {
    if (pos >= body.size()) {
        return {};
    }
    const std::size_t zero = body.find('\0', pos);
    const std::size_t end = zero == std::string_view::npos ? body.size() : zero;
    std::string text(body.substr(pos, end - pos));
    pos = end + 1;
    return text;
}

}  // namespace

bool MatchesAnyFile(std::string_view ansiPath, const std::vector<std::string>& names) {
    const std::string path = FoldedPath(ansiPath);
    const auto slash = path.rfind('\\');
    const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const auto& name : names) {
        const std::string n = FoldedPath(name);
        if (!n.empty() && (n == path || n == last)) {
            return true;
        }
    }
    return false;
}

void InstallFiles(CSimRobot& robot) {
    SimFiles& state = robot.Feature<SimFiles>();
    std::string sandbox;
    if (!robot.Root().empty()) {
        sandbox = (std::filesystem::path(robot.Root()) / "files").string();
        if (!CSimDisk::Seed(sandbox)) {
            robot.Log("files: cannot prepare %s; the disk is off", sandbox.c_str());
            sandbox.clear();
        }
    }
    state.disk = std::make_unique<CSimDisk>(sandbox);
    CSimDisk& disk = *state.disk;

    robot.OnSession([&disk, &state] {
        disk.Reset();
        state.held.clear();
        state.readingUnreadable = false;
    });

    // With a file rate, each chunk's reply leaves once the chunk's bytes
    // would have taken their time at that rate.
    const uint32_t rate = robot.Options().fileRateKbps;
    auto sendChunkReply = [&robot, &state, rate](msg::Type type, std::string payload,
                                                 std::size_t bytes) {
        if (rate == 0) {
            robot.Send(type, payload);
            return;
        }
        const uint32_t now = robot.Reactor().Now();
        const auto cost = static_cast<uint32_t>(bytes * 1000 / (uint64_t{rate} * 1024));
        const uint32_t start =
            static_cast<int32_t>(state.nextChunkAt - now) > 0 ? state.nextChunkAt : now;
        state.nextChunkAt = start + cost;
        state.held.push_back({state.nextChunkAt, type, std::move(payload)});
    };
    if (rate != 0) {
        robot.OnTick([&robot, &state](uint32_t) {
            const uint32_t now = robot.Reactor().Now();
            while (!state.held.empty() && static_cast<int32_t>(now - state.held.front().due) >= 0) {
                robot.Send(state.held.front().type, state.held.front().payload);
                state.held.erase(state.held.begin());
            }
        });
    }

    // Each handler takes the frame's own bytes first, so that a text without
    // its zero byte can never run on into the next frame.
    auto on = [&robot](msg::Type type, std::function<void(std::string_view)> handler) {
        robot.On(type, [handler = std::move(handler)](CStream& payload, int32_t length) {
            const std::string body = ReadBytes(payload, length);
            handler(body);
        });
    };
    auto status = [&robot](bool ok, int32_t value, const char* what, const std::string& path) {
        robot.Send(msg::kStatusReply, ok ? StatusReply(value) : FailureReply());
        robot.Log("files: %s %s: %s", what, AnsiToUtf8(path).c_str(), ok ? "done" : "failed");
    };
    auto pathOf = [](std::string_view body) {
        std::size_t pos = 0;
        return TakeText(body, pos);
    };

    on(msg::kDriveListRequest, [&robot, &disk](std::string_view) {
        robot.Send(msg::kDriveList, disk.Usable() ? DriveListReply(disk.Drives()) : FailureReply());
    });
    on(msg::kDirectoryRequest, [&robot, &disk, pathOf](std::string_view body) {
        const std::string path = pathOf(body);
        const auto entries = disk.List(path);
        robot.Send(msg::kDirectoryListing,
                   entries ? DirectoryListingReply(*entries) : FailureReply());
        robot.Log("files: list %s: %s", AnsiToUtf8(path).c_str(), entries ? "done" : "failed");
    });
    on(msg::kWriteBegin, [&robot, &disk, pathOf](std::string_view body) {
        const std::string path = pathOf(body);
        const bool ok = disk.BeginWrite(path);
        robot.Send(msg::kWriteBeginReply, std::string(1, ok ? '\1' : '\0'));
        robot.Log("files: write %s: %s", AnsiToUtf8(path).c_str(), ok ? "started" : "failed");
    });
    on(msg::kWriteChunk, [&disk, sendChunkReply](std::string_view body) {
        CMemoryStream s;
        bool ok = body.size() >= 4;
        if (ok) {
            s.Assign(body.substr(0, 4));
            ok = disk.WriteAt(ReadU32(s), body.substr(4));
        }
        sendChunkReply(msg::kStatusReply,
                       ok ? StatusReply(static_cast<int32_t>(body.size() - 4)) : FailureReply(),
                       body.size());
    });
    on(msg::kWriteEnd, [&robot, &disk](std::string_view) {
        const int32_t size = disk.EndWrite();
        robot.Send(msg::kStatusReply, size >= 0 ? StatusReply(size) : FailureReply());
        robot.Log("files: write end: %s", size >= 0 ? "done" : "failed");
    });
    on(msg::kReadOpen, [status, &disk, &robot, &state, pathOf](std::string_view body) {
        const std::string path = pathOf(body);
        const int32_t size = disk.OpenRead(path);
        state.readingUnreadable = MatchesAnyFile(path, robot.Options().unreadable);
        status(size >= 0, size, "read", path);
    });
    on(msg::kReadChunk, [&disk, &state, sendChunkReply](std::string_view body) {
        std::optional<std::string> bytes;
        if (body.size() >= 8 && !state.readingUnreadable) {
            CMemoryStream s;
            s.Assign(body.substr(0, 8));
            const uint32_t offset = ReadU32(s);
            const uint32_t count = ReadU32(s);
            bytes = disk.ReadAt(offset, count);
        }
        if (!bytes) {
            sendChunkReply(msg::kReadChunkReply, FailureReply(), 0);
            return;
        }
        const std::size_t n = bytes->size();
        std::string reply;
        reply.reserve(n + 1);
        reply.push_back('\1');
        reply += *bytes;
        sendChunkReply(msg::kReadChunkReply, std::move(reply), n);
    });
    on(msg::kReadClose, [&robot, &disk](std::string_view) {
        disk.CloseRead();
        robot.Send(msg::kStatusReply, StatusReply(0));
    });
    on(msg::kMakeDirectory, [status, &disk, pathOf](std::string_view body) {
        const std::string path = pathOf(body);
        status(disk.MakeDirectory(path), 0, "make folder", path);
    });
    on(msg::kDeleteFile, [status, &disk, pathOf](std::string_view body) {
        const std::string path = pathOf(body);
        status(disk.DeleteFile(path), 0, "delete", path);
    });
    on(msg::kRemoveDirectory, [status, &disk, pathOf](std::string_view body) {
        const std::string path = pathOf(body);
        status(disk.RemoveDirectory(path), 0, "remove folder", path);
    });
    on(msg::kRename, [status, &disk](std::string_view body) {
        std::size_t pos = 0;
        const std::string from = TakeText(body, pos);
        const std::string to = TakeText(body, pos);
        const bool ok = disk.Rename(from, to);
        status(ok, 0, "rename", from + " -> " + to);
    });
    on(msg::kExecute, [status, &disk, &state, pathOf](std::string_view body) {
        const std::string path = pathOf(body);
        const bool ok = disk.Execute(path);
        if (ok) {
            state.executed.push_back(path);
        }
        // Opening is only noted: the simulator runs nothing it is sent.
        status(ok, 0, "open (not run)", path);
    });
    on(msg::kRestart, [&robot, &state](std::string_view) {
        ++state.restarts;
        robot.Log("files: restart of the robot's program requested (not carried out)");
    });
}

}  // namespace velcora::sim
