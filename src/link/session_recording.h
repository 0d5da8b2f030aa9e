// The console's recording switch: starts and stops a session recording on
// the connection and says in a few words how it goes (for the status bar).
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "link/robot_connection.h"
#include "link/session_recorder.h"

namespace velcora {

class CSessionRecording {
  public:
    explicit CSessionRecording(CRobotConnection& connection) : connection_(connection) {}
    ~CSessionRecording() {
        Stop();
        WaitClosed();
    }
    CSessionRecording(const CSessionRecording&) = delete;
    CSessionRecording& operator=(const CSessionRecording&) = delete;

    // Starts recording into options.path; a link that is up now is recorded
    // from this moment, one that is down from its next connection. False with
    // `error` set when the file cannot be created. `now` is the link's tick.
    bool Start(RecorderOptions options, uint32_t now, std::string& error);
    // Writes what waits and closes the file; false when the recording could
    // not be written whole (LastError says why).
    bool Stop();
    // The same without waiting for the disk: no frame is recorded from now
    // on, and a thread of its own writes what waits and closes the file.
    // PollClosed tells how it went.
    void StopSoon();
    // Ends the closings that are done; false (with `error`) for one that could
    // not write the recording whole. Call it now and then (the window's tick).
    bool PollClosed(std::string& error);
    // Waits for every closing (the window going, tests).
    void WaitClosed();
    bool Closing() const { return !closing_.empty(); }
    bool Active() const { return recorder_ != nullptr; }
    const std::string& LastError() const { return lastError_; }
    CSessionRecorder* Recorder() const { return recorder_.get(); }

    // "Запись 01:23, 4.5 МБ"; empty when not recording.
    std::string StatusText(uint32_t now) const;

  private:
    struct Closer {
        std::unique_ptr<CSessionRecorder> recorder;
        std::thread thread;
        bool ok = true;  // written by the thread before done
        std::atomic<bool> done{false};
    };

    CRobotConnection& connection_;
    std::unique_ptr<CSessionRecorder> recorder_;
    std::string lastError_;
    std::list<Closer> closing_;  // the owner's thread
};

// "1:05:09" / "05:09" and "812 КБ" / "4.5 МБ", as the status bar shows them.
std::string RecordingTimeText(uint32_t ms);
std::string RecordingSizeText(int64_t bytes);

// A file for a new recording in `folder` (made when missing), named by the
// UTC time "session-YYYYMMDD-HHMMSS.vrec"; a second recording in the same
// second gets "-2", "-3", … so that none shares a file.
std::string NewRecordingPath(const std::string& folder, int64_t utcSeconds);

}  // namespace velcora
