// The robot's disk: a Windows-style robot with drives "C:" and "D:", which
// are the folders C and D of a sandbox on the host. Every path the console
// sends is confined to the sandbox; files are written under "name_" and take
// their name when complete; opening a file and restarting are only logged.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_system.h"
#include "sim/sim_robot.h"

namespace velcora::sim {

class CSimDisk {
  public:
    // Host paths: `sandbox` holds the drive folders. An empty sandbox is no
    // disk at all: every request fails.
    explicit CSimDisk(std::string sandbox);
    ~CSimDisk();
    CSimDisk(const CSimDisk&) = delete;
    CSimDisk& operator=(const CSimDisk&) = delete;

    // Creates the sandbox with the demo content (C:\demo with a few files and
    // a subfolder) when it does not exist yet; false when it cannot.
    static bool Seed(const std::string& sandbox);

    bool Usable() const { return !root_.empty(); }
    // The host path of a robot path (ANSI code page, "\" or "/"), or nothing
    // when the path is malformed or would lead outside the sandbox: "..",
    // a path without drive, characters a Windows name cannot have, or a link
    // pointing out. `followLast` checks where a link in the last place points
    // (for operations that go through it rather than act on the link).
    std::optional<std::string> Resolve(std::string_view ansiPath, bool followLast) const;

    std::vector<std::u16string> Drives() const;
    // The folder's entries, "." and ".." first below a drive's root.
    std::optional<std::vector<CDirEntry>> List(std::string_view ansiPath) const;

    // An empty path only discards the file being written.
    bool BeginWrite(std::string_view ansiPath);
    bool WriteAt(uint32_t offset, std::string_view bytes);
    // The finished file's size, or -1.
    int32_t EndWrite();
    // The size, or -1.
    int32_t OpenRead(std::string_view ansiPath);
    // Exactly `count` bytes at `offset`, or nothing.
    std::optional<std::string> ReadAt(uint32_t offset, uint32_t count);
    void CloseRead();

    bool MakeDirectory(std::string_view ansiPath);
    bool DeleteFile(std::string_view ansiPath);
    bool RemoveDirectory(std::string_view ansiPath);
    bool Rename(std::string_view from, std::string_view to);
    // Checks that the file exists; nothing is run.
    bool Execute(std::string_view ansiPath);

    // A new console session: an unfinished file is discarded, a read closed.
    void Reset();

    // The host path of the file being written ("name_"), empty when none.
    const std::string& WritingTemp() const { return writeTemp_; }
    // Paths refused so far: malformed, leading outside, or through a folder
    // that does not exist.
    int Refused() const { return refused_; }

  private:
    std::optional<std::string> ResolveHost(std::string_view ansiPath, bool followLast) const;
    bool Inside(const std::string& realPath) const;
    void DiscardWrite();

    std::string root_;  // the sandbox's real path; empty: no disk
    int writeFd_ = -1;
    std::string writeTemp_;
    std::string writeTarget_;
    int readFd_ = -1;
    int64_t readSize_ = 0;
    mutable int refused_ = 0;
};

struct SimFiles {
    std::unique_ptr<CSimDisk> disk;
    std::vector<std::string> executed;  // paths "opened", as the console sent them
    int restarts = 0;
    // The file being read is one of the unreadable ones.
    bool readingUnreadable = false;
    // File-chunk replies held back to keep to the file rate, and when the
    // next may leave.
    struct Held {
        uint32_t due;
        msg::Type type;
        std::string payload;
    };
    std::vector<Held> held;
    uint32_t nextChunkAt = 0;
};

// Whether `ansiPath` names one of the files (a robot path, "\" or "/", or a
// bare name matching the last component), ignoring case as the robot does.
bool MatchesAnyFile(std::string_view ansiPath, const std::vector<std::string>& names);

}  // namespace velcora::sim
