// The robot replaying a recorded session: after the usual handshake it sends
// the frames the robot sent in the recording, at their recorded times counted
// from the recorded authorisation (faster or slower by a factor), and answers
// nothing but the keep-alive, which the robot itself does.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/session_file.h"
#include "sim/sim_robot.h"

namespace velcora::sim {

struct ReplayOptions {
    std::string path;
    double speed = 1.0;  // 2 plays twice as fast
    bool loop = false;   // start again at the end
};

class CSessionReplay {
  public:
    using Send = std::function<void(msg::Type type, std::string_view payload)>;

    explicit CSessionReplay(ReplayOptions options) : options_(std::move(options)) {}

    // Reads the header and finds the authorisation; false with `error` set
    // for a file that cannot be replayed (foreign, newer, cut before it
    // begins).
    bool Open(std::string& error);
    // A console was authorised: the recording starts from its beginning.
    void Restart();
    // Moves the replay on by `elapsedMs` of real time and sends every robot
    // frame that is due by then.
    void Tick(uint32_t elapsedMs, const Send& send);

    bool Finished() const { return finished_; }
    uint64_t FramesSent() const { return sent_; }
    int Rounds() const { return rounds_; }
    // A fault met while playing (the rest of the file is then left out).
    const std::string& Error() const { return error_; }
    // The recording's length from the authorisation, in ms.
    uint32_t LengthMs() const { return lengthMs_; }

  private:
    bool Fetch();

    ReplayOptions options_;
    CSessionReader reader_;
    uint32_t authorisedMs_ = 0;
    uint32_t lengthMs_ = 0;
    double clockMs_ = 0;
    std::optional<SessionRecord> next_;
    bool playing_ = false;
    bool finished_ = false;
    uint64_t sent_ = 0;
    int rounds_ = 0;
    std::string error_;
};

// Makes `robot` replay: each authorised console gets the recording from its
// start.
void InstallReplay(CSimRobot& robot, std::shared_ptr<CSessionReplay> replay);

}  // namespace velcora::sim
