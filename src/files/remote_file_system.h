// The robot's disk, reached through request messages on the robot link. Every
// operation waits for the robot's reply while the event loop keeps running;
// an unanswered request is sent again, up to three times in all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/event_pump.h"
#include "files/file_system.h"
#include "link/dispatcher.h"
#include "link/robot_link.h"

namespace velcora {

// A name the robot lists that may be joined to a folder path: not empty, not
// "." or "..", and without "/" or "\" (either would reach outside the folder).
bool IsPlainEntryName(std::u16string_view name);

// The drive list reply: nullopt when the robot reports failure.
std::optional<std::vector<std::u16string>> ParseDriveList(std::string_view payload);

struct DirectoryListing {
    bool ok = false;  // the robot reported success and the payload was whole
    std::vector<CDirEntry> entries;
    // Names left out because they could lead outside the folder (see
    // IsPlainEntryName; one "." and one ".." are allowed through).
    std::vector<std::u16string> rejected;
};
DirectoryListing ParseDirectoryListing(std::string_view payload);

// The robot's side of the replies, for the simulated robot: a failure of any
// reply type is the single byte 0; names go out in the ANSI code page.
std::string FailureReply();
std::string StatusReply(int32_t value);
std::string DriveListReply(const std::vector<std::u16string>& drives);
std::string DirectoryListingReply(const std::vector<CDirEntry>& entries);

struct RemoteTiming {
    uint32_t connectWaitMs = 3999;  // for the connection to be authorised, per attempt
    uint32_t replyWaitMs = 3000;    // for the reply, per attempt
    int attempts = 3;
};

class CRemoteFileSystem : public CFileSystem {
  public:
    // Registers for the file replies on the link's dispatcher for as long as
    // the object lives.
    CRemoteFileSystem(IRobotLink& link, IEventPump& pump, RemoteTiming timing = {});
    ~CRemoteFileSystem() override;

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

    // Names the last EnumDir left out (see IsPlainEntryName).
    const std::vector<std::u16string>& RejectedNames() const override { return rejected_; }
    // True while a request waits for its reply.
    bool Busy() const { return pending_ != Request::None; }

    // The largest block one write or read request can carry in a frame.
    static constexpr int32_t kMaxChunk = 20000000 - 8;

  private:
    enum class Request { None, Status, OpenRead, BeginWrite, ReadChunk, Drives, Listing };

    bool Call(Request kind, msg::Type type, const std::function<bool(CStream&)>& body);
    bool PathRequest(Request kind, msg::Type type, const std::u16string& path);
    void OnStatus(CStream& payload, int32_t length);
    void OnWriteBeginReply(CStream& payload, int32_t length);
    void OnReadChunkReply(CStream& payload, int32_t length);
    void OnDriveList(CStream& payload, int32_t length);
    void OnDirectoryListing(CStream& payload, int32_t length);

    IRobotLink& link_;
    IEventPump& pump_;
    RemoteTiming timing_;
    CRegistrationSet registrations_;

    // The one request in flight.
    Request pending_ = Request::None;
    bool done_ = false;
    bool failed_ = false;
    int32_t lastStatus_ = -1;
    uint8_t* readBuffer_ = nullptr;
    int32_t readCount_ = 0;
    std::vector<std::u16string> drives_;
    std::vector<CDirEntry> entries_;
    std::vector<std::u16string> rejected_;
};

// Asks the robot to restart its program; false when the robot is not
// connected (nothing is sent then).
bool SendRestart(IRobotLink& link);

}  // namespace velcora
