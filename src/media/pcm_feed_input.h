// An input device fed by the program instead of a microphone: samples pushed
// with Feed fill the queued buffers in order, and full buffers come back
// through the completion on the feeding thread. Feeds a wave file through the
// recorder as if it were spoken.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

#include "platform/audio_input.h"

namespace velcora::media {

class CPcmFeedInput : public platform::IAudioInput {
  public:
    bool Open(int32_t device, int32_t rate, int32_t bits, Completion done) override;
    bool AddBuffer(uint8_t* data, int32_t size, uintptr_t tag) override;
    bool Start() override;
    void Reset() override;
    void Close() override;
    bool IsOpen() const override { return open_; }

    // Records `size` bytes; bytes with no buffer queued for them are lost, as
    // with a real device. Returns the bytes taken.
    size_t Feed(const uint8_t* data, size_t size);
    int32_t Rate() const { return rate_; }
    int32_t Bits() const { return bits_; }
    size_t QueuedBuffers() const;

    // What the next Open is refused with (for callers that need a failing device).
    bool refuseOpen = false;

  private:
    struct Queued {
        uint8_t* data;
        int32_t size;
        int32_t recorded;
        uintptr_t tag;
    };
    Completion done_;
    mutable std::mutex mutex_;
    std::deque<Queued> queue_;  // guarded by mutex_
    bool open_ = false;
    bool started_ = false;
    int32_t rate_ = 0;
    int32_t bits_ = 0;
};

}  // namespace velcora::media
