// Keeps the console's map and the robot's in step: uploads the map in
// acknowledged chunks, polls for the robot's map stamp, downloads the robot's
// map in requested chunks or takes it inline from a status message, and sends
// the navigation mode, the recording permissions, go-to-place and the robot's
// pose. UI-free: the map window (and velcoractl) implement the view below and
// drive the controller with Tick(now) from their timer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/dispatcher.h"
#include "link/robot_link.h"
#include "nav/nav_project.h"
#include "nav/nav_status.h"

namespace velcora::nav {

enum class DownloadEnd {
    Complete,   // every byte arrived (the map is read right after)
    Abandoned,  // another transfer id, loading from the robot switched off, or the link lost
    Cancelled,  // the operator closed the window; the robot has been told
};

enum class MapArrival {
    Download,  // a finished chunked download
    Inline,    // NavStateMap or NavStatePackedMap
};

// What the controller shows. Every call has an empty default so that a view
// implements only what it displays.
class IMapTransferView {
  public:
    virtual ~IMapTransferView() = default;

    // The robot reported its mode / flags: set the buttons, send nothing back.
    virtual void ShowNavMode(NavMode) {}
    // Bits 2 to 7 are the permissions (PermissionsFromFlags); bits 0 and 1 the
    // main window's automatic-mode and follow-the-QR-code toggles.
    virtual void ShowRobotFlags(uint8_t) {}
    // The controller switched "Загружать карту из памяти робота" or
    // "Центрировать на роботе" itself.
    virtual void ShowLoadFromRobot(bool) {}
    virtual void ShowCentreOnRobot(bool) {}
    // New status, or the empty-image indicator changed. The texts come from
    // FormatDifference / FormatSensor.
    virtual void ShowNavStatus(const RobotNavStatus&, bool /*emptyImage*/) {}
    virtual void ShowError(const std::u16string& /*text*/, int32_t /*milliseconds*/) {}

    // The upload window "Передача карты": opened (the bar's maximum is the
    // packed size), moved, closed by the controller when the upload is done.
    virtual void UploadOpened(uint32_t /*packedSize*/) {}
    virtual void UploadProgress(uint32_t /*value*/) {}
    virtual void UploadComplete() {}

    // The download window "Скачивание карты": opened or brought to the front
    // (only one exists), moved, closed.
    virtual void DownloadOpened(uint32_t /*packedSize*/) {}
    virtual void DownloadProgress(uint32_t /*value*/) {}
    virtual void DownloadClosed(DownloadEnd) {}

    // The map was cleared for another robot map: drop the current item.
    virtual void ForgetCurrentItem() {}
    // "Центрировать на роботе" is on and a map arrived: centre on the robot.
    virtual void CentreOnRobot() {}
    // A robot map was merged (ok) or could not be unpacked or read (what was
    // merged before the failure stays): redraw, update the menus.
    virtual void MapReceived(MapArrival, bool /*ok*/) {}
};

class CMapTransfer {
  public:
    static constexpr int32_t kChunkSize = 49152;
    static constexpr int32_t kResendMs = 4000;
    static constexpr int32_t kPollIntervalMs = 2000;
    // A status message moves the last poll this far back, so the next poll
    // follows 200 ms later.
    static constexpr int32_t kPollAfterStatusMs = 1800;
    static constexpr int32_t kRequestRepeatMs = 10000;
    static constexpr int32_t kMaxTickMs = 500;
    // The robot declares the packed size; anything larger is not a map.
    static constexpr uint32_t kMaxPackedSize = 256u << 20;
    // Header of NavStateMap / NavStatePackedMap before the map data.
    static constexpr int32_t kStateHeaderSize = 10 + RobotNavStatus::kSize;

    enum class UploadState { Idle, Sending };
    enum class DownloadState {
        Idle,
        Running,
        // The operator closed the window; the robot is told at the next chunk.
        CancelPending,
    };

    // A packed map that inflates to more than this is finished on a worker
    // thread and arrives at a later tick, so that the window never freezes
    // for it; smaller ones arrive at once.
    static constexpr int64_t kInflateAtOnce = int64_t{16} << 20;

    // Registers the incoming map messages on the link's dispatcher for the
    // controller's lifetime.
    CMapTransfer(IRobotLink& link, CNavProject& map, IMapTransferView& view);
    // Stops a map being inflated and waits for its thread.
    ~CMapTransfer();
    CMapTransfer(const CMapTransfer&) = delete;
    CMapTransfer& operator=(const CMapTransfer&) = delete;

    // The periodic work, every timer tick: the download countdown, the poll
    // and the upload's chunks and resends. `now` is a wrapping millisecond tick.
    void Tick(uint32_t now);

    // "Загрузить карту в память робота": new mapId, pack, loading from the
    // robot off, upload window open, MapUploadBegin. False when not
    // authorised or packing failed ("Не удалось запаковать карту!" shown).
    bool StartUpload();
    // The upload window's "Отмена": nothing more is sent.
    void CancelUpload();
    // The download window's "Отмена"; noticed at the next chunk.
    void CancelDownload();

    // The operator's toggles. Switching loading off abandons a running
    // download at the next tick.
    void SetLoadFromRobot(bool on);
    bool LoadFromRobot() const { return loadFromRobot_; }
    void SetCentreOnRobot(bool on);
    bool CentreOnRobotEnabled() const { return centreOnRobot_; }

    // The mode buttons: sends NavModeSet. A mode other than recording clears
    // the empty-image indicator.
    void SendNavMode(NavMode mode);
    // The six permission toggles: stores the bits and sends NavPermissionsSet.
    void SetPermissions(uint8_t bits);
    void SendPermissions();
    uint8_t Permissions() const { return permissions_; }
    // Sends GoToPlace and switches "Центрировать на роботе" on.
    void SendGoToPlace(int32_t placeNumber);
    // RobotPoseSet, after the operator moved or turned the robot on the map.
    void SendRobotPose(double x, double y, double angle);

    NavMode Mode() const { return mode_; }
    const RobotNavStatus& Status() const { return status_; }
    bool EmptyImageIndicator() const { return emptyImage_; }

    UploadState Upload() const { return upload_; }
    int32_t UploadOffset() const { return uploadOffset_; }
    int32_t UploadSize() const { return uploadBuffer_.Size(); }
    DownloadState Download() const { return download_; }
    uint32_t DownloadTransferId() const { return transferId_; }
    uint32_t DownloadPackedSize() const { return packedSize_; }
    int32_t DownloadReceived() const { return downloadBuffer_.Size(); }
    // A big map is being inflated away from this thread; its arrival is
    // reported at the tick after it finished.
    bool Inflating() const { return inflation_ != nullptr; }

  private:
    void RegisterHandlers();
    // What the four status messages have in common: the mode buttons, the
    // flags and the status bar.
    void ApplyStatus(uint8_t mode, uint8_t flags, const RobotNavStatus& status);
    void SetEmptyImage(bool on);
    void NoteStatusArrived();

    void OnNavStatus(CStream& payload);
    void OnMapStatus(CStream& payload);
    void OnStateMap(CStream& payload, bool packed);
    void OnMapChunk(CStream& payload, int32_t length);
    void OnUploadAck(CStream& payload, int32_t length);

    void AdvanceCountdown(int32_t ms);
    // Drops a running download without telling the robot.
    void AbandonDownload();
    void CompleteDownload();
    // Reads a map body into the map, noticing images without pixels.
    bool MergeBody(CStream& body);
    void FinishArrival(MapArrival arrival, bool ok);
    // Inflates and merges a packed map with its stamp: at once when it is
    // small, else on a worker thread, finished by PollInflation.
    struct Inflation;
    void ArrivePacked(std::vector<uint8_t> packed, MapArrival arrival, uint32_t mapId,
                      int32_t nextVersion);
    void MergeInflated(MapArrival arrival, uint32_t mapId, int32_t nextVersion, bool inflated,
                       const uint8_t* body, int64_t size);
    void PollInflation();

    void UploadTick(int32_t elapsed);
    void SendUploadBegin();

    IRobotLink& link_;
    CNavProject& map_;
    IMapTransferView& view_;
    CRegistrationSet registrations_;

    bool loadFromRobot_ = false;
    bool centreOnRobot_ = false;
    uint8_t permissions_ = 0;
    NavMode mode_ = NavMode::Off;
    RobotNavStatus status_;
    bool emptyImage_ = false;

    std::optional<uint32_t> lastTick_;
    uint32_t now_ = 0;
    std::optional<uint32_t> lastPoll_;

    DownloadState download_ = DownloadState::Idle;
    uint32_t transferId_ = 0;
    uint32_t packedSize_ = 0;
    int32_t countdown_ = 0;
    CMemoryStream downloadBuffer_{1024};
    uint32_t downloadMapId_ = 0;
    int32_t downloadNextVersion_ = 0;

    UploadState upload_ = UploadState::Idle;
    bool startingUpload_ = false;
    CMemoryStream uploadBuffer_{1024};
    int32_t ack_ = -2;
    int32_t uploadOffset_ = 0;
    int32_t resendCounter_ = 0;

    std::unique_ptr<Inflation> inflation_;
};

}  // namespace velcora::nav
