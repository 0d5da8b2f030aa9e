// How stale the shown picture is and how often it changes, for the corner of
// a video panel. Time comes from the owner's timer; a picture that carries the
// sender's stamp adds the delay it already had when it arrived.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace velcora::media {

class CFrameAge {
  public:
    // Pictures shown within this window count towards the frame rate.
    static constexpr int32_t kRateWindowMs = 1000;

    // A new picture went on screen; `delayAtArrivalMs` is its age then, when
    // known from its stamp.
    void Shown(std::optional<uint32_t> delayAtArrivalMs);
    void Tick(int32_t elapsedMs);
    // No picture any more (video switched off).
    void Clear();

    bool HasPicture() const { return shown_; }
    // Age of the picture on screen now.
    int64_t DelayMs() const;
    // Whether the delay includes the way from the sender (a stamp was read).
    bool Stamped() const { return stamped_; }
    double FramesPerSecond() const;
    // "задержка 120 мс, 15.0 к/с"; empty without a picture.
    std::string Text() const;

  private:
    int64_t now_ = 0;
    bool shown_ = false;
    bool stamped_ = false;
    int64_t shownAt_ = 0;
    int64_t delayAtArrival_ = 0;
    int64_t firstShown_ = 0;
    std::deque<int64_t> recent_;  // times of the pictures shown within the window
};

}  // namespace velcora::media
