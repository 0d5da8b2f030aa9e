#include "nav/map_transfer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>

#include "nav/map_format.h"

namespace velcora::nav {

namespace {

constexpr int32_t kAckNone = -2;
constexpr int32_t kAckRestart = -1;
// Large enough that the resend check fires on the same tick.
constexpr int32_t kResendNow = 100000;

}  // namespace

// A big packed map on its way through a worker thread, with the stamp it
// came with.
struct CMapTransfer::Inflation {
    Inflation(std::vector<uint8_t> packed, MapArrival a, uint32_t id, int32_t version)
        : inflater(std::move(packed)), arrival(a), mapId(id), nextVersion(version) {}
    CMapInflater inflater;
    std::atomic<bool> stop{false};
    std::future<CMapInflater::Step> result;
    MapArrival arrival;
    uint32_t mapId;
    int32_t nextVersion;
};

CMapTransfer::CMapTransfer(IRobotLink& link, CNavProject& map, IMapTransferView& view)
    : link_(link), map_(map), view_(view) {
    RegisterHandlers();
}

CMapTransfer::~CMapTransfer() {
    if (inflation_) {
        inflation_->stop = true;
        inflation_->result.wait();
    }
}

void CMapTransfer::RegisterHandlers() {
    CMessageDispatcher& d = link_.Dispatcher();
    auto with = [this](void (CMapTransfer::*handler)(CStream&)) {
        return [this, handler](CStream& payload, int32_t length) {
            CMemoryStream copy = CopyToMemory(payload, length);
            (this->*handler)(copy);
        };
    };
    registrations_.Add(d.Register(msg::kModeFlags, with(&CMapTransfer::OnNavStatus)));
    registrations_.Add(d.Register(msg::kMapStatus, with(&CMapTransfer::OnMapStatus)));
    registrations_.Add(d.Register(msg::kNavStateMap, [this](CStream& payload, int32_t length) {
        CMemoryStream copy = CopyToMemory(payload, length);
        OnStateMap(copy, false);
    }));
    registrations_.Add(
        d.Register(msg::kNavStatePackedMap, [this](CStream& payload, int32_t length) {
            CMemoryStream copy = CopyToMemory(payload, length);
            OnStateMap(copy, true);
        }));
    registrations_.Add(
        d.Register(msg::kMapLoadOn, [this](CStream&, int32_t) { SetLoadFromRobot(true); }));
    registrations_.Add(d.Register(msg::kMapChunk, [this](CStream& payload, int32_t length) {
        CMemoryStream copy = CopyToMemory(payload, length);
        OnMapChunk(copy, copy.Size());
    }));
    registrations_.Add(d.Register(msg::kMapUploadAck, [this](CStream& payload, int32_t length) {
        CMemoryStream copy = CopyToMemory(payload, length);
        OnUploadAck(copy, copy.Size());
    }));
}

// ------------------------------------------------------------------ toggles

void CMapTransfer::SetLoadFromRobot(bool on) {
    if (loadFromRobot_ == on) {
        return;
    }
    loadFromRobot_ = on;
    view_.ShowLoadFromRobot(on);
}

void CMapTransfer::SetCentreOnRobot(bool on) {
    if (centreOnRobot_ == on) {
        return;
    }
    centreOnRobot_ = on;
    view_.ShowCentreOnRobot(on);
    if (on) {
        view_.CentreOnRobot();
    }
}

void CMapTransfer::SetEmptyImage(bool on) {
    if (emptyImage_ == on) {
        return;
    }
    emptyImage_ = on;
    view_.ShowNavStatus(status_, emptyImage_);
}

// ------------------------------------------------------------ sending

void CMapTransfer::SendNavMode(NavMode mode) {
    mode_ = mode;
    CStream& s = link_.BeginFrame(msg::kNavModeSet);
    WriteU8(s, static_cast<uint8_t>(mode));
    link_.EndFrame();
    if (mode != NavMode::Recording) {
        SetEmptyImage(false);
    }
}

void CMapTransfer::SetPermissions(uint8_t bits) {
    permissions_ = bits & kNavPermissionMask;
    SendPermissions();
}

void CMapTransfer::SendPermissions() {
    CStream& s = link_.BeginFrame(msg::kNavPermissionsSet);
    WriteU8(s, permissions_ & kNavPermissionMask);
    link_.EndFrame();
}

void CMapTransfer::SendGoToPlace(int32_t placeNumber) {
    CStream& s = link_.BeginFrame(msg::kGoToPlace);
    WriteU32(s, static_cast<uint32_t>(placeNumber));
    link_.EndFrame();
    SetCentreOnRobot(true);
}

void CMapTransfer::SendRobotPose(double x, double y, double angle) {
    CStream& s = link_.BeginFrame(msg::kRobotPoseSet);
    WriteDouble(s, x);
    WriteDouble(s, y);
    WriteDouble(s, angle);
    link_.EndFrame();
}

// --------------------------------------------------------------- the clock

void CMapTransfer::Tick(uint32_t now) {
    int32_t elapsed = 0;
    if (lastTick_) {
        elapsed = static_cast<int32_t>(std::min<uint32_t>(now - *lastTick_, kMaxTickMs));
    }
    lastTick_ = now;
    now_ = now;
    PollInflation();

    AdvanceCountdown(elapsed);
    // The robot forgets a transfer when its connection ends: requests for it
    // after a reconnect would go unanswered for ever, and no poll is made
    // while a download runs, so the map would never arrive again. Given up,
    // it is offered anew after the first poll on the new connection.
    if ((!loadFromRobot_ || !link_.Authorised()) && download_ != DownloadState::Idle) {
        AbandonDownload();
    }
    // No poll while a map is being inflated: its stamp is not the map's yet.
    if (loadFromRobot_ && link_.Authorised() && link_.CanSendPeriodic() &&
        download_ == DownloadState::Idle && !inflation_ &&
        (!lastPoll_ || now - *lastPoll_ >= static_cast<uint32_t>(kPollIntervalMs))) {
        CStream& s = link_.BeginFrame(msg::kMapPoll);
        WriteU32(s, map_.mapId);
        WriteI32(s, map_.nextVersion);
        WriteU8(s, 2);
        link_.EndFrame();
        lastPoll_ = now;
    }
    UploadTick(elapsed);
}

void CMapTransfer::NoteStatusArrived() {
    lastPoll_ = now_ - static_cast<uint32_t>(kPollAfterStatusMs);
}

// ------------------------------------------------------------ status messages

void CMapTransfer::ApplyStatus(uint8_t mode, uint8_t flags, const RobotNavStatus& status) {
    mode_ = static_cast<NavMode>(mode);
    view_.ShowNavMode(mode_);
    permissions_ = PermissionsFromFlags(flags);
    view_.ShowRobotFlags(flags);
    status_ = status;
    if (mode_ != NavMode::Recording) {
        emptyImage_ = false;
    }
    view_.ShowNavStatus(status_, emptyImage_);
}

void CMapTransfer::OnNavStatus(CStream& payload) {
    const uint8_t mode = ReadU8(payload);
    const uint8_t flags = ReadU8(payload);
    ApplyStatus(mode, flags, ReadRobotNavStatus(payload));
}

void CMapTransfer::OnMapStatus(CStream& payload) {
    const uint8_t mode = ReadU8(payload);
    const uint8_t flags = ReadU8(payload);
    const uint32_t mapId = ReadU32(payload);
    const int32_t nextVersion = ReadI32(payload);
    ApplyStatus(mode, flags, ReadRobotNavStatus(payload));
    NoteStatusArrived();
    if (!loadFromRobot_) {
        return;
    }
    const uint32_t transferId = ReadU32(payload);
    const uint32_t packedSize = ReadU32(payload);
    if (packedSize > kMaxPackedSize) {
        return;
    }
    downloadMapId_ = mapId;
    downloadNextVersion_ = nextVersion;
    transferId_ = transferId;
    packedSize_ = packedSize;
    downloadBuffer_.Clear();
    countdown_ = 1;
    download_ = DownloadState::Running;
    view_.DownloadOpened(packedSize_);
    AdvanceCountdown(1);
}

bool CMapTransfer::MergeBody(CStream& body) {
    map_.emptyImageRead = false;
    // The robot's ids are kept: the next map it sends finds these items again.
    const bool ok = ReadBody(map_, body, MergeIds::Stored);
    if (map_.emptyImageRead) {
        map_.emptyImageRead = false;
        SetEmptyImage(true);
    }
    return ok;
}

void CMapTransfer::FinishArrival(MapArrival arrival, bool ok) {
    if (centreOnRobot_) {
        view_.CentreOnRobot();
    }
    view_.MapReceived(arrival, ok);
}

void CMapTransfer::OnStateMap(CStream& payload, bool packed) {
    const uint8_t mode = ReadU8(payload);
    const uint8_t flags = ReadU8(payload);
    const uint32_t mapId = ReadU32(payload);
    const int32_t nextVersion = ReadI32(payload);
    ApplyStatus(mode, flags, ReadRobotNavStatus(payload));
    NoteStatusArrived();
    if (!loadFromRobot_ || inflation_) {
        // While a big map is inflated the ones behind it are not read: the
        // poll after it asks again with its stamp.
        return;
    }
    // The map data is the rest of the payload, which was copied on its own.
    const int64_t rest = static_cast<int64_t>(payload.GetSize()) - payload.GetPosition();
    if (packed && rest > 0) {
        std::vector<uint8_t> bytes(static_cast<std::size_t>(rest));
        payload.Read(bytes.data(), static_cast<int32_t>(rest));
        ArrivePacked(std::move(bytes), MapArrival::Inline, mapId, nextVersion);
        return;
    }
    if (mapId != map_.mapId) {
        map_.Clear();
        view_.ForgetCurrentItem();
    }
    const bool ok = rest > 0 && MergeBody(payload);
    map_.mapId = mapId;
    map_.nextVersion = nextVersion;
    FinishArrival(MapArrival::Inline, ok);
}

void CMapTransfer::ArrivePacked(std::vector<uint8_t> packed, MapArrival arrival, uint32_t mapId,
                                int32_t nextVersion) {
    if (inflation_) {
        // A newer map replaces one still being inflated (its steps are short).
        inflation_->stop = true;
        inflation_->result.wait();
        inflation_.reset();
    }
    auto job = std::make_unique<Inflation>(std::move(packed), arrival, mapId, nextVersion);
    const CMapInflater::Step step = job->inflater.Run(kInflateAtOnce);
    if (step != CMapInflater::Step::More) {
        MergeInflated(arrival, mapId, nextVersion, step == CMapInflater::Step::Done,
                      job->inflater.Data(), job->inflater.Size());
        return;
    }
    Inflation* j = job.get();
    job->result =
        std::async(std::launch::async, [j] { return j->inflater.Run(INT64_MAX, &j->stop); });
    inflation_ = std::move(job);
}

void CMapTransfer::PollInflation() {
    if (!inflation_ ||
        inflation_->result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        return;
    }
    const std::unique_ptr<Inflation> done = std::move(inflation_);
    const bool inflated = done->result.get() == CMapInflater::Step::Done;
    MergeInflated(done->arrival, done->mapId, done->nextVersion, inflated, done->inflater.Data(),
                  done->inflater.Size());
}

void CMapTransfer::MergeInflated(MapArrival arrival, uint32_t mapId, int32_t nextVersion,
                                 bool inflated, const uint8_t* body, int64_t size) {
    if (mapId != map_.mapId) {
        map_.Clear();
        view_.ForgetCurrentItem();
    }
    bool ok = inflated && size <= INT32_MAX;
    if (ok) {
        CMemoryStream stream(1024);
        ok = stream.SetSize(static_cast<int32_t>(size));
        if (ok && size > 0) {
            std::memcpy(stream.Data(), body, static_cast<std::size_t>(size));
        }
        stream.Seek(0, kSeekSet);
        ok = ok && MergeBody(stream);
    }
    // A map sent with a status takes its stamp even when its data was
    // broken; a downloaded one only when it was read.
    if (ok || arrival == MapArrival::Inline) {
        map_.mapId = mapId;
        map_.nextVersion = nextVersion;
    }
    FinishArrival(arrival, ok);
}

// ------------------------------------------------------------------ download

void CMapTransfer::AdvanceCountdown(int32_t ms) {
    if (countdown_ <= 0) {
        return;
    }
    countdown_ -= ms;
    if (countdown_ > 0) {
        return;
    }
    countdown_ = kRequestRepeatMs;
    CStream& s = link_.BeginFrame(msg::kMapChunkRequest);
    WriteU32(s, transferId_);
    WriteU32(s, static_cast<uint32_t>(downloadBuffer_.Size()));
    link_.EndFrame();
}

void CMapTransfer::CancelDownload() {
    if (download_ == DownloadState::Running) {
        download_ = DownloadState::CancelPending;
    }
}

void CMapTransfer::AbandonDownload() {
    const bool windowOpen = download_ == DownloadState::Running;
    countdown_ = 0;
    download_ = DownloadState::Idle;
    downloadBuffer_.Clear();
    if (windowOpen) {
        view_.DownloadClosed(DownloadEnd::Abandoned);
    }
}

void CMapTransfer::OnMapChunk(CStream& payload, int32_t length) {
    // Chunks that belong to no running download (late duplicates after the
    // end) would otherwise rebuild a stale buffer and complete it again.
    if (download_ == DownloadState::Idle || length < 12) {
        return;
    }
    const uint32_t transferId = ReadU32(payload);
    const uint32_t offset = ReadU32(payload);
    const uint32_t count = ReadU32(payload);
    if (transferId != transferId_) {
        AbandonDownload();
        return;
    }
    // The robot's numbers decide where bytes land: a chunk must lie inside the
    // declared size and inside this message.
    const uint64_t end = uint64_t{offset} + count;
    if (end > packedSize_ || count > static_cast<uint32_t>(length - 12)) {
        return;
    }
    const auto endAt = static_cast<int32_t>(end);
    const int32_t oldSize = downloadBuffer_.Size();
    if (endAt > oldSize) {
        if (!downloadBuffer_.SetSize(endAt)) {
            return;
        }
        // A gap before the chunk reads as zeros, never as stale memory.
        std::memset(downloadBuffer_.Data() + oldSize, 0, static_cast<std::size_t>(endAt - oldSize));
    }
    if (count > 0) {
        payload.Read(downloadBuffer_.Data() + offset, static_cast<int32_t>(count));
    }

    if (static_cast<uint32_t>(downloadBuffer_.Size()) >= packedSize_) {
        const bool windowOpen = download_ == DownloadState::Running;
        countdown_ = 0;
        download_ = DownloadState::Idle;
        if (windowOpen) {
            view_.DownloadClosed(DownloadEnd::Complete);
        }
        link_.BeginFrame(msg::kMapTransferEnd);
        link_.EndFrame();
        CompleteDownload();
        return;
    }
    if (download_ == DownloadState::CancelPending) {
        countdown_ = 0;
        download_ = DownloadState::Idle;
        downloadBuffer_.Clear();
        link_.BeginFrame(msg::kMapTransferEnd);
        link_.EndFrame();
        view_.DownloadClosed(DownloadEnd::Cancelled);
        return;
    }
    view_.DownloadProgress(static_cast<uint32_t>(std::min<uint64_t>(end, packedSize_)));
    countdown_ = 1;
    AdvanceCountdown(1);
}

void CMapTransfer::CompleteDownload() {
    std::vector<uint8_t> packed(static_cast<std::size_t>(downloadBuffer_.Size()));
    if (!packed.empty()) {
        std::memcpy(packed.data(), downloadBuffer_.Data(), packed.size());
    }
    downloadBuffer_.Clear();
    ArrivePacked(std::move(packed), MapArrival::Download, downloadMapId_, downloadNextVersion_);
}

// -------------------------------------------------------------------- upload

bool CMapTransfer::StartUpload() {
    if (!link_.Authorised() || startingUpload_) {
        return false;
    }
    startingUpload_ = true;
    map_.NewMapId();
    if (!PackMap(map_, uploadBuffer_)) {
        startingUpload_ = false;
        upload_ = UploadState::Idle;
        view_.ShowError(u"Не удалось запаковать карту!", 10000);
        return false;
    }
    SetLoadFromRobot(false);
    uploadOffset_ = 0;
    resendCounter_ = kResendNow;
    ack_ = kAckNone;
    upload_ = UploadState::Sending;
    view_.UploadOpened(static_cast<uint32_t>(uploadBuffer_.Size()));
    SendUploadBegin();
    startingUpload_ = false;
    return true;
}

void CMapTransfer::CancelUpload() {
    upload_ = UploadState::Idle;
}

void CMapTransfer::SendUploadBegin() {
    CStream& s = link_.BeginFrame(msg::kMapUploadBegin);
    WriteU32(s, map_.mapId);
    WriteI32(s, map_.nextVersion);
    WriteU32(s, static_cast<uint32_t>(uploadBuffer_.Size()));
    link_.EndFrame();
}

void CMapTransfer::OnUploadAck(CStream& payload, int32_t length) {
    if (length >= 4) {
        ack_ = ReadI32(payload);
    }
}

void CMapTransfer::UploadTick(int32_t elapsed) {
    if (upload_ != UploadState::Sending) {
        return;
    }
    resendCounter_ += elapsed;
    if (!link_.Authorised()) {
        return;
    }
    const int32_t size = uploadBuffer_.Size();
    if (ack_ == kAckRestart) {
        ack_ = kAckNone;
        view_.UploadProgress(0);
        uploadOffset_ = 0;
        SendUploadBegin();
        resendCounter_ = kResendNow;
    } else if (ack_ != kAckNone) {
        if (ack_ == uploadOffset_) {
            if (uploadOffset_ >= size - kChunkSize) {
                upload_ = UploadState::Idle;
                view_.UploadComplete();
                return;
            }
            uploadOffset_ += kChunkSize;
        }
        resendCounter_ = kResendNow;
    }
    if (resendCounter_ < kResendMs) {
        return;
    }
    resendCounter_ = 0;
    ack_ = kAckNone;
    const int32_t count = std::min(kChunkSize, size - uploadOffset_);
    view_.UploadProgress(static_cast<uint32_t>(uploadOffset_ + count));
    CStream& s = link_.BeginFrame(msg::kMapUploadChunk);
    WriteU32(s, static_cast<uint32_t>(uploadOffset_));
    s.Write(uploadBuffer_.Data() + uploadOffset_, count);
    link_.EndFrame();
}

}  // namespace velcora::nav
