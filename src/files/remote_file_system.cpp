#include "files/remote_file_system.h"

#include <cstring>

#include "link/catalogue.h"
#include "link/text_codec.h"

namespace velcora {
namespace {

// A zero-terminated text at `pos`; nullopt when the payload ends first.
std::optional<std::string_view> TakeText(std::string_view payload, std::size_t& pos) {
    const std::size_t zero = payload.find('\0', pos);
    if (zero == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view text = payload.substr(pos, zero - pos);
    pos = zero + 1;
    return text;
}

bool ValidPath(const std::u16string& path) {
    return path.find(u'\0') == std::u16string::npos;
}

}  // namespace

bool IsPlainEntryName(std::u16string_view name) {
    return !name.empty() && name != u"." && name != u".." &&
           name.find_first_of(u"/\\") == std::u16string_view::npos;
}

std::optional<std::vector<std::u16string>> ParseDriveList(std::string_view payload) {
    if (payload.empty() || payload[0] == 0) {
        return std::nullopt;
    }
    std::vector<std::u16string> names;
    std::size_t pos = 1;
    while (pos < payload.size()) {
        auto text = TakeText(payload, pos);
        if (!text) {
            // The last name may lack its terminator; it is whole all the same.
            text = payload.substr(pos);
            pos = payload.size();
        }
        if (!text->empty()) {
            names.push_back(AnsiToWide(*text));
        }
    }
    return names;
}

DirectoryListing ParseDirectoryListing(std::string_view payload) {
    DirectoryListing out;
    if (payload.empty() || payload[0] == 0) {
        return out;
    }
    std::size_t pos = 1;
    bool seenDot = false, seenDotDot = false;
    while (pos < payload.size()) {
        auto name = TakeText(payload, pos);
        // An entry cut short means entries may be missing: the listing as a
        // whole cannot be trusted.
        if (!name || payload.size() - pos < 9) {
            out.entries.clear();
            return out;
        }
        CDirEntry entry;
        entry.name = AnsiToWide(*name);
        entry.isDirectory = payload[pos] != 0;
        uint64_t size = 0;
        for (int i = 0; i < 8; ++i) {
            size |= static_cast<uint64_t>(static_cast<uint8_t>(payload[pos + 1 + i])) << (8 * i);
        }
        entry.size = size;
        pos += 9;
        bool allowed = IsPlainEntryName(entry.name);
        if (entry.name == u"." && !seenDot) {
            seenDot = allowed = true;
        } else if (entry.name == u".." && !seenDotDot) {
            seenDotDot = allowed = true;
        }
        if (allowed) {
            out.entries.push_back(std::move(entry));
        } else {
            out.rejected.push_back(std::move(entry.name));
        }
    }
    out.ok = true;
    return out;
}

std::string FailureReply() {
    return std::string(1, '\0');
}

std::string StatusReply(int32_t value) {
    CMemoryStream s;
    WriteU8(s, 1);
    WriteI32(s, value);
    return std::string(s.View());
}

std::string DriveListReply(const std::vector<std::u16string>& drives) {
    CMemoryStream s;
    WriteU8(s, 1);
    for (const auto& d : drives) {
        WriteString(s, WideToAnsi(d));
    }
    return std::string(s.View());
}

std::string DirectoryListingReply(const std::vector<CDirEntry>& entries) {
    CMemoryStream s;
    WriteU8(s, 1);
    for (const auto& e : entries) {
        WriteString(s, WideToAnsi(e.name));
        WriteU8(s, e.isDirectory ? 1 : 0);
        WriteU64(s, e.size);
    }
    return std::string(s.View());
}

CRemoteFileSystem::CRemoteFileSystem(IRobotLink& link, IEventPump& pump, RemoteTiming timing)
    : CFileSystem(true), link_(link), pump_(pump), timing_(timing) {
    auto& d = link_.Dispatcher();
    registrations_.Add(
        d.Register(msg::kStatusReply, [this](CStream& s, int32_t n) { OnStatus(s, n); }));
    registrations_.Add(d.Register(msg::kWriteBeginReply,
                                  [this](CStream& s, int32_t n) { OnWriteBeginReply(s, n); }));
    registrations_.Add(d.Register(msg::kReadChunkReply,
                                  [this](CStream& s, int32_t n) { OnReadChunkReply(s, n); }));
    registrations_.Add(
        d.Register(msg::kDriveList, [this](CStream& s, int32_t n) { OnDriveList(s, n); }));
    registrations_.Add(d.Register(msg::kDirectoryListing,
                                  [this](CStream& s, int32_t n) { OnDirectoryListing(s, n); }));
}

CRemoteFileSystem::~CRemoteFileSystem() = default;

bool CRemoteFileSystem::Call(Request kind, msg::Type type,
                             const std::function<bool(CStream&)>& body) {
    // One request at a time: a second one from a handler nested in our own
    // wait would take the first one's reply.
    if (pending_ != Request::None) {
        return false;
    }
    bool ok = false;
    for (int attempt = 0; attempt < timing_.attempts; ++attempt) {
        if (!link_.Authorised() &&
            !PumpUntil(pump_, timing_.connectWaitMs, [this] { return link_.Authorised(); })) {
            break;
        }
        pending_ = kind;
        done_ = failed_ = false;
        lastStatus_ = -1;
        drives_.clear();
        entries_.clear();
        CStream& s = link_.BeginFrame(type);
        const bool built = body(s);
        link_.EndFrame();
        if (!built) {
            break;
        }
        PumpUntil(pump_, timing_.replyWaitMs,
                  [this] { return done_ || failed_ || !link_.Authorised(); });
        if (failed_) {
            break;
        }
        if (done_) {
            ok = true;
            break;
        }
    }
    pending_ = Request::None;
    readBuffer_ = nullptr;
    readCount_ = 0;
    return ok;
}

bool CRemoteFileSystem::PathRequest(Request kind, msg::Type type, const std::u16string& path) {
    if (!ValidPath(path)) {
        return false;
    }
    const std::string ansi = WideToAnsi(path);
    return Call(kind, type, [&](CStream& s) { return WriteString(s, ansi) > 0; });
}

bool CRemoteFileSystem::EnumDrives(const DriveCallback& callback) {
    if (!callback ||
        !Call(Request::Drives, msg::kDriveListRequest, [](CStream&) { return true; })) {
        return false;
    }
    // Handed over after the wait, so that the caller's code never runs inside
    // the link's receive path.
    const auto drives = std::move(drives_);
    drives_.clear();
    for (const auto& d : drives) {
        callback(d);
    }
    return true;
}

bool CRemoteFileSystem::EnumDir(const std::u16string& path, const EntryCallback& callback) {
    if (Busy()) {
        return false;
    }
    rejected_.clear();
    if (!PathRequest(Request::Listing, msg::kDirectoryRequest, path)) {
        return false;
    }
    const auto entries = std::move(entries_);
    entries_.clear();
    if (callback) {
        for (const auto& e : entries) {
            callback(e);
        }
    }
    return true;
}

bool CRemoteFileSystem::BeginWrite(const std::u16string& path) {
    return PathRequest(Request::BeginWrite, msg::kWriteBegin, path);
}

bool CRemoteFileSystem::WriteAt(int32_t offset, const void* data, int32_t count) {
    if (offset < 0 || count < 0 || count > kMaxChunk || (count > 0 && !data)) {
        return false;
    }
    return Call(Request::Status, msg::kWriteChunk, [&](CStream& s) {
        WriteU32(s, static_cast<uint32_t>(offset));
        return count == 0 || s.Write(data, count) == count;
    });
}

bool CRemoteFileSystem::EndWrite() {
    return Call(Request::Status, msg::kWriteEnd, [](CStream&) { return true; });
}

int32_t CRemoteFileSystem::OpenRead(const std::u16string& path) {
    if (!PathRequest(Request::OpenRead, msg::kReadOpen, path)) {
        return -1;
    }
    // A negative size is no file we could copy.
    return lastStatus_ < 0 ? -1 : lastStatus_;
}

bool CRemoteFileSystem::ReadAt(int32_t offset, void* buffer, int32_t count) {
    // The pending read's buffer belongs to the request in flight; a nested
    // call must not swap it.
    if (Busy() || offset < 0 || count < 0 || count > kMaxChunk || (count > 0 && !buffer)) {
        return false;
    }
    readBuffer_ = static_cast<uint8_t*>(buffer);
    readCount_ = count;
    return Call(Request::ReadChunk, msg::kReadChunk, [&](CStream& s) {
        WriteU32(s, static_cast<uint32_t>(offset));
        WriteU32(s, static_cast<uint32_t>(count));
        return true;
    });
}

bool CRemoteFileSystem::CloseRead() {
    return Call(Request::Status, msg::kReadClose, [](CStream&) { return true; });
}

bool CRemoteFileSystem::DeleteFile(const std::u16string& path) {
    return PathRequest(Request::Status, msg::kDeleteFile, path);
}

bool CRemoteFileSystem::RemoveDirectory(const std::u16string& path) {
    return PathRequest(Request::Status, msg::kRemoveDirectory, path);
}

bool CRemoteFileSystem::CreateDirectory(const std::u16string& path) {
    return PathRequest(Request::Status, msg::kMakeDirectory, path);
}

bool CRemoteFileSystem::Rename(const std::u16string& oldPath, const std::u16string& newPath) {
    if (!ValidPath(oldPath) || !ValidPath(newPath)) {
        return false;
    }
    const std::string from = WideToAnsi(oldPath);
    const std::string to = WideToAnsi(newPath);
    return Call(Request::Status, msg::kRename,
                [&](CStream& s) { return WriteString(s, from) > 0 && WriteString(s, to) > 0; });
}

bool CRemoteFileSystem::Execute(const std::u16string& path) {
    return PathRequest(Request::Status, msg::kExecute, path);
}

// A status reply answers the requests that expect one. A reply of success
// never completes a request that expects data: that would report a buffer or
// listing the robot never filled as read.
void CRemoteFileSystem::OnStatus(CStream& payload, int32_t length) {
    if (pending_ == Request::None || length < 1) {
        return;
    }
    const bool ok = ReadU8(payload) != 0;
    const bool expectsData = pending_ == Request::ReadChunk || pending_ == Request::Drives ||
                             pending_ == Request::Listing;
    if (!ok) {
        failed_ = true;
        done_ = true;
        return;
    }
    if (expectsData) {
        return;
    }
    if (length >= 5) {
        lastStatus_ = ReadI32(payload);
    } else if (pending_ == Request::OpenRead) {
        // Without the size the file cannot be copied; wait for a whole reply.
        return;
    }
    done_ = true;
}

void CRemoteFileSystem::OnWriteBeginReply(CStream& payload, int32_t length) {
    if ((pending_ != Request::BeginWrite && pending_ != Request::Status) || length < 1) {
        return;
    }
    failed_ = ReadU8(payload) == 0;
    done_ = true;
}

void CRemoteFileSystem::OnReadChunkReply(CStream& payload, int32_t length) {
    if (pending_ != Request::ReadChunk || length < 1) {
        return;
    }
    if (ReadU8(payload) == 0) {
        failed_ = true;
        done_ = true;
        return;
    }
    // Exactly the bytes asked for, or the reply is not for this request.
    if (length - 1 != readCount_) {
        return;
    }
    if (readCount_ > 0 && payload.Read(readBuffer_, readCount_) != readCount_) {
        return;
    }
    done_ = true;
}

void CRemoteFileSystem::OnDriveList(CStream& payload, int32_t length) {
    if (pending_ != Request::Drives || length < 1) {
        return;
    }
    auto drives = ParseDriveList(ReadBytes(payload, length));
    if (!drives) {
        failed_ = true;
    } else {
        drives_ = std::move(*drives);
    }
    done_ = true;
}

void CRemoteFileSystem::OnDirectoryListing(CStream& payload, int32_t length) {
    if (pending_ != Request::Listing || length < 1) {
        return;
    }
    auto listing = ParseDirectoryListing(ReadBytes(payload, length));
    if (!listing.ok) {
        failed_ = true;
    } else {
        entries_ = std::move(listing.entries);
        rejected_ = std::move(listing.rejected);
    }
    done_ = true;
}

bool SendRestart(IRobotLink& link) {
    if (!link.Authorised()) {
        return false;
    }
    link.BeginFrame(msg::kRestart);
    link.EndFrame();
    return true;
}

}  // namespace velcora
