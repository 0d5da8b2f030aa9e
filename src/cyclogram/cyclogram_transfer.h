// Exchange of cyclograms, the environment project, motor values and wave files
// with the robot. Each controller builds the requests, runs the countdowns of
// the requests that expect an answer, and turns replies (untrusted input) into
// calls on a small view interface; windows and the command-line client are
// such views. Time enters only through Tick(elapsedMs).
//
// Texts: names of cyclograms and wave files, and block texts, are narrow texts
// in the ANSI code page as they travel on the wire; operator-facing texts
// handed to views are UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cyclogram/cyclogram.h"
#include "link/robot_link.h"

namespace velcora {

// Longest cyclogram or wave file name accepted from the robot, in bytes.
inline constexpr int32_t kMaxRobotNameLength = 255;
// Wave files travel in pieces of this many packed bytes.
inline constexpr int32_t kWaveChunkSize = 32768;
inline constexpr int32_t kWaveStepMs = 3000;
inline constexpr int32_t kWaveMaxRetries = 3;  // the step that finds more than this many gives up
inline constexpr int32_t kMotorPollPeriodMs = 3000;

extern const char* const kNoConnectionText;  // "Нет подключения к роботу!"

// One request that expects an answer: counts down while running; a reply
// clears it; a reply found unusable makes it expire on the next tick.
class CRequestCountdown {
  public:
    void Start(int32_t ms) {
        remaining_ = ms;
        awaited_ = true;
    }
    void Clear() {
        remaining_ = 0;
        awaited_ = false;
    }
    void ExpireNextTick() { remaining_ = 1; }
    bool Running() const { return remaining_ > 0; }
    int32_t Remaining() const { return remaining_; }
    // True once, on the tick that runs it out.
    bool Advance(int32_t elapsedMs);
    // A reply arrived: true (and cleared) when one was awaited, false for a
    // reply nobody asked for or one that came after the request gave up.
    bool Answer();

  private:
    int32_t remaining_ = 0;
    bool awaited_ = false;
};

// ------------------------------------------------------------- cyclograms

enum class CyclogramRequest { List, Load, Upload };

class ICyclogramTransferView {
  public:
    virtual ~ICyclogramTransferView() = default;
    // The robot's cyclogram names (ANSI), in arrival order, empty names left out.
    virtual void OnCyclogramList(const std::vector<std::string>& names) = 0;
    // A requested cyclogram arrived and was read whole.
    virtual void OnCyclogramLoaded(std::unique_ptr<CCyclogram> doc) = 0;
    // The robot stored the uploaded cyclogram (the document is no longer modified).
    virtual void OnCyclogramUploaded(const std::string& name) = 0;
    // The request failed or timed out; `text` is the error to show.
    virtual void OnRequestFailed(CyclogramRequest which, const std::string& text) = 0;
};

// What happens when an upload succeeds.
enum class AfterUpload { Nothing, Run };

struct FragmentMarks {
    int32_t start = 0;  // both 0: the whole cyclogram
    int32_t end = 0;
};

class CCyclogramTransfer {
  public:
    static constexpr int32_t kListTimeoutMs = 4000;
    static constexpr int32_t kLoadTimeoutMs = 4000;
    static constexpr int32_t kUploadTimeoutMs = 3000;

    CCyclogramTransfer(IRobotLink& link, ICyclogramTransferView& view);

    // Each returns false, sending nothing, while the robot is not connected.
    bool requestList();
    bool requestLoad(const std::string& name);
    bool upload(const std::string& name, const CCyclogram& doc,
                AfterUpload after = AfterUpload::Nothing, FragmentMarks marks = {});
    bool deleteCyclogram(const std::string& name);
    bool renameCyclogram(const std::string& oldName, const std::string& newName);
    bool run(const std::string& name, FragmentMarks marks = {});

    void Tick(int32_t elapsedMs);

    const CRequestCountdown& countdown(CyclogramRequest which) const;
    bool runAfterUpload() const { return runAfterUpload_; }

  private:
    void onList(CStream& payload, int32_t length);
    void onCyclogram(CStream& payload, int32_t length);
    void onUploadResult(CStream& payload, int32_t length);

    IRobotLink& link_;
    ICyclogramTransferView& view_;
    CRequestCountdown list_, load_, upload_;
    bool runAfterUpload_ = false;
    std::string uploadName_;
    FragmentMarks uploadMarks_;
    CRegistrationSet registrations_;
};

// ------------------------------------------------------------ environment

enum class EnvironmentRequest { Download, Upload, BackgroundDownload, BackgroundUpload };

class IEnvironmentTransferView {
  public:
    virtual ~IEnvironmentTransferView() = default;
    // Yes/No question; false stops the action.
    virtual bool Confirm(const std::string& question, const std::string& title) = 0;
    virtual void OnRequestFailed(EnvironmentRequest which, const std::string& text) = 0;
    // The project was replaced by the robot's copy (and saved as the working copy).
    virtual void OnEnvironmentReplaced() = 0;
    // The background picture file was replaced or deleted: reload it.
    virtual void OnBackgroundChanged() = 0;
    // The project's "changed since the robot's copy" flag went on or off.
    virtual void OnChangedFlag(bool changed) = 0;
    // The robot holds the project (and the picture when it wanted it).
    virtual void OnEnvironmentUploaded() = 0;
    // A motor-value reply was applied to the trackers.
    virtual void OnMotorValues(bool anyChanged) = 0;
};

struct EnvironmentFiles {
    std::string workingCopy;  // "env.cenv" beside the program
    std::string background;   // "cycbg.jpg" beside the program
};

class CEnvironmentTransfer {
  public:
    static constexpr int32_t kDownloadTimeoutMs = 3000;
    static constexpr int32_t kUploadTimeoutMs = 4000;
    static constexpr int32_t kBackgroundTimeoutMs = 5000;

    CEnvironmentTransfer(IRobotLink& link, IEnvironmentTransferView& view, CCyclogramEnv& env,
                         EnvironmentFiles files);

    // Asks first when the project has unsent changes; false when declined or
    // not connected.
    bool requestEnvironment();
    bool uploadEnvironment();
    bool requestBackground();
    bool pollMotorValues();
    bool setMotor(int32_t motor, int32_t raw);

    void markChanged();
    void clearChanged();
    bool changed() const { return changed_; }
    void setOnlineMode(bool on) { online_ = on; }
    bool onlineMode() const { return online_; }
    // The operator holds a tracker: replies are applied even off-line.
    void setMouseDown(bool down) { mouseDown_ = down; }
    // The project has been requested from the robot once (polling waits for it).
    bool requestedOnce() const { return requestedOnce_; }

    // Countdowns, and the motor-value poll every 3000 ms in on-line mode.
    void Tick(int32_t elapsedMs);

    const CRequestCountdown& countdown(EnvironmentRequest which) const;

  private:
    void onEnvironment(CStream& payload, int32_t length);
    void onBackground(CStream& payload, int32_t length);
    void onUploadResult(CStream& payload, int32_t length);
    void onBackgroundUploadResult(CStream& payload, int32_t length);
    void onMotorValues(CStream& payload, int32_t length);
    bool sendBackground();

    IRobotLink& link_;
    IEnvironmentTransferView& view_;
    CCyclogramEnv& env_;
    EnvironmentFiles files_;
    CRequestCountdown download_, upload_, backgroundDownload_, backgroundUpload_;
    bool changed_ = false;
    bool online_ = true;
    bool mouseDown_ = false;
    bool requestedOnce_ = false;
    int32_t pollElapsed_ = 0;
    CRegistrationSet registrations_;
};

// -------------------------------------------------------------- wave files

struct WaveFileEntry {
    std::string name;  // ANSI
    uint32_t lengthMs = 0;
};

// The robot's wave files, held once for the whole program.
struct CWaveList {
    std::vector<WaveFileEntry> entries;
};

enum class WaveRequest { List, Upload, Delete };

class IWaveTransferView {
  public:
    virtual ~IWaveTransferView() = default;
    virtual bool Confirm(const std::string& question, const std::string& title) = 0;
    virtual void OnRequestFailed(WaveRequest which, const std::string& text) = 0;
    virtual void OnWaveListChanged() = 0;
    // Opens the progress window (title, range 0..total packed bytes).
    virtual void OnUploadStarted(const std::string& title, int32_t total) = 0;
    virtual void OnUploadProgress(int32_t done, int32_t total) = 0;
    // Closes the progress window; a failure also arrives as OnRequestFailed.
    virtual void OnUploadFinished(bool ok) = 0;
};

class CWaveTransfer {
  public:
    static constexpr int32_t kListTimeoutMs = 4000;

    CWaveTransfer(IRobotLink& link, IWaveTransferView& view, CWaveList& list);

    bool requestWaveList();
    // Packs and announces the file (a UTF-8 local path); the robot's replies
    // then ask for the chunks. False when nothing was sent.
    bool uploadWaveFile(const std::string& path);
    // Ends the upload: later replies are ignored and nothing is resent.
    void cancelUpload();
    bool uploading() const { return uploading_; }
    // Asks, then sends the deletion and drops the entry; false when nothing was sent.
    bool deleteWaveFile(const std::string& name);

    void Tick(int32_t elapsedMs);

    int32_t packedSize() const { return packed_.Size(); }
    int32_t retries() const { return retries_; }

  private:
    void onList(CStream& payload, int32_t length);
    void onChunkReply(CStream& payload, int32_t length);
    void sendChunk();
    void finishUpload(bool ok);

    IRobotLink& link_;
    IWaveTransferView& view_;
    CWaveList& list_;
    CRequestCountdown listCountdown_;
    CMemoryStream packed_;
    bool uploading_ = false;
    int32_t offset_ = 0;
    int32_t stepTimer_ = 0;
    int32_t retries_ = 0;
    CMessageDispatcher::Registration listRegistration_;
    CMessageDispatcher::Registration chunkRegistration_;
};

// The wire name of a local file: everything up to the last '/', '\' or '|' removed.
std::string WaveFileNameOf(const std::string& path);

// ------------------------------------------------------- audio block dialog

// Length given to a speech block as its text changes: 14 s per 180 characters
// plus half a second.
int32_t SpeechLengthMs(int32_t characters);

// The fields of the audio block dialog for one block (texts in UTF-8).
struct AudioBlockFields {
    bool soundPage = false;  // the wave-file page is the open one
    std::string fileName;
    std::string speech;
    int32_t length = 0;

    static AudioBlockFields FromBlock(const AudioBlock& block);
    // OK: stores the length and the open page's text; an empty field stores no text.
    void ApplyTo(AudioBlock& block) const;
};

}  // namespace velcora
