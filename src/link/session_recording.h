// The console's recording switch: starts and stops a session recording on
// the connection and says in a few words how it goes (for the status bar).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/robot_connection.h"
#include "link/session_recorder.h"

namespace velcora {

class CSessionRecording {
  public:
    explicit CSessionRecording(CRobotConnection& connection) : connection_(connection) {}
    ~CSessionRecording() { Stop(); }
    CSessionRecording(const CSessionRecording&) = delete;
    CSessionRecording& operator=(const CSessionRecording&) = delete;

    // Starts recording into options.path; a link that is up now is recorded
    // from this moment, one that is down from its next connection. False with
    // `error` set when the file cannot be created. `now` is the link's tick.
    bool Start(RecorderOptions options, uint32_t now, std::string& error);
    // Writes what waits and closes the file; false when the recording could
    // not be written whole (LastError says why).
    bool Stop();
    bool Active() const { return recorder_ != nullptr; }
    const std::string& LastError() const { return lastError_; }
    CSessionRecorder* Recorder() const { return recorder_.get(); }

    // "Запись 01:23, 4.5 МБ"; empty when not recording.
    std::string StatusText(uint32_t now) const;

  private:
    CRobotConnection& connection_;
    std::unique_ptr<CSessionRecorder> recorder_;
    std::string lastError_;
};

// "1:05:09" / "05:09" and "812 КБ" / "4.5 МБ", as the status bar shows them.
std::string RecordingTimeText(uint32_t ms);
std::string RecordingSizeText(int64_t bytes);

}  // namespace velcora
