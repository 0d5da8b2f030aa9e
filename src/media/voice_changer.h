// The voice changer: speech is gathered into whole utterances behind a learned
// noise gate and sent shortened in time (and so raised in pitch).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velcora::media {

class CVoiceChanger {
  public:
    // An utterance that never pauses is cut at this size.
    static constexpr int64_t kMaxUtteranceBytes = 5000000;

    // `minLevel` negative: learn the gate on the third buffer. `speechSpeed`
    // is the speed-up in percent (100 keeps the length); it is kept within
    // 25..1000 so that a stray setting cannot blow an utterance up without bound.
    CVoiceChanger(int32_t minLevel, int32_t speechSpeed);

    // Takes one captured buffer of 16-bit samples (silenced in place when the
    // gate closes). True when it ended an utterance: `utterance` then holds
    // it resampled to the new length.
    bool Process(int16_t* samples, size_t count, std::vector<int16_t>& utterance);

    int32_t Threshold() const { return threshold_; }
    int32_t LastLevel() const { return level_; }
    size_t Accumulated() const { return accumulated_.size(); }
    int32_t SpeechSpeed() const { return speed_; }

  private:
    int32_t threshold_;
    int32_t speed_;
    int32_t level_ = 0;
    int64_t processed_ = 0;
    std::vector<int16_t> accumulated_;
};

}  // namespace velcora::media
