#include "sim/sim_replay.h"

#include "link/robot_link.h"

namespace velcora::sim {

namespace {

// The robot's own frames that a replaying robot sends again: the handshake
// and the keep-alive belong to the link of now.
bool Replayable(const SessionRecord& r) {
    return r.kind == RecordKind::kIncoming && !r.withheld && !IsHandshakeType(r.type) &&
           r.type != msg::kKeepAlive;
}

}  // namespace

bool CSessionReplay::Open(std::string& error) {
    if (!reader_.Open(options_.path)) {
        error = reader_.Error();
        return false;
    }
    // One pass for the authorisation and the length; a fault later in the
    // file only shortens the replay.
    bool found = false;
    std::optional<uint32_t> firstFrame;
    SessionRecord r;
    CSessionReader::Result result;
    while ((result = reader_.Next(r, false)) == CSessionReader::Result::kRecord) {
        if (!found && r.kind == RecordKind::kLinkState && r.type == kStateAuthorised) {
            authorisedMs_ = r.ms;
            found = true;
        }
        if (Replayable(r)) {
            if (!firstFrame) {
                firstFrame = r.ms;
            }
            lengthMs_ = r.ms;
        }
    }
    if (!firstFrame) {
        error = options_.path + (result == CSessionReader::Result::kError
                                     ? ": " + reader_.Error()
                                     : std::string(" holds nothing the robot sent"));
        return false;
    }
    if (!found) {
        // A recording without its start: play from its first frame.
        authorisedMs_ = *firstFrame;
    }
    lengthMs_ = lengthMs_ >= authorisedMs_ ? lengthMs_ - authorisedMs_ : 0;
    return reader_.Rewind();
}

void CSessionReplay::Restart() {
    next_.reset();
    clockMs_ = 0;
    finished_ = false;
    playing_ = reader_.Rewind();
    error_.clear();
    rounds_ = playing_ ? 1 : 0;
}

bool CSessionReplay::Fetch() {
    SessionRecord r;
    for (;;) {
        const auto result = reader_.Next(r, true);
        if (result == CSessionReader::Result::kRecord) {
            if (Replayable(r) && r.ms >= authorisedMs_) {
                next_ = std::move(r);
                return true;
            }
            continue;
        }
        if (result == CSessionReader::Result::kError) {
            error_ = reader_.Error();
            return false;
        }
        if (!options_.loop || sent_ == 0 || !reader_.Rewind()) {
            return false;
        }
        // Round again: the clock starts over at the authorisation.
        clockMs_ = 0;
        ++rounds_;
    }
}

void CSessionReplay::Tick(uint32_t elapsedMs, const Send& send) {
    if (!playing_ || finished_) {
        return;
    }
    clockMs_ += elapsedMs * options_.speed;
    for (;;) {
        if (!next_ && !Fetch()) {
            finished_ = true;
            return;
        }
        if (next_->ms - authorisedMs_ > clockMs_) {
            return;
        }
        send(next_->type, next_->payload);
        ++sent_;
        next_.reset();
    }
}

void InstallReplay(CSimRobot& robot, std::shared_ptr<CSessionReplay> replay) {
    robot.OnSession([&robot, replay] {
        replay->Restart();
        robot.Log("replaying from the start");
    });
    robot.OnTick([&robot, replay](uint32_t elapsed) {
        if (!robot.Authorised()) {
            return;
        }
        const bool was = replay->Finished();
        replay->Tick(elapsed, [&robot](msg::Type type, std::string_view payload) {
            robot.Send(type, payload);
        });
        if (!was && replay->Finished()) {
            if (!replay->Error().empty()) {
                std::fprintf(stderr, "velcora-robot-sim: %s\n", replay->Error().c_str());
            }
            robot.Log("the recording is over: %llu frames sent",
                      static_cast<unsigned long long>(replay->FramesSent()));
        }
    });
}

}  // namespace velcora::sim
