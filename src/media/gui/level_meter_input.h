// A recording device seen through a level meter: everything goes to the real
// device, and each buffer it hands back is measured on the way, so that the
// window can show how loud the microphone is without the recorder's help.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>

#include "platform/audio_input.h"

namespace velcora::media {

// Loudness of a buffer of samples as 0..100: the peak in decibels below full
// scale, with -60 dB and quieter at 0. 8-bit samples are unsigned.
int32_t PeakLevelPercent(const uint8_t* data, int32_t bytes, int32_t bits);

class CLevelMeterInput : public platform::IAudioInput {
  public:
    explicit CLevelMeterInput(platform::IAudioInput& device) : device_(device) {}

    bool Open(int32_t device, int32_t rate, int32_t bits, Completion done) override;
    bool AddBuffer(uint8_t* data, int32_t size, uintptr_t tag) override;
    bool Start() override { return device_.Start(); }
    void Reset() override;
    void Close() override;
    bool IsOpen() const override { return device_.IsOpen(); }

    // The level of the last buffer recorded, 0 while closed.
    int32_t Level() const { return level_.load(); }

  private:
    platform::IAudioInput& device_;
    int32_t bits_ = 16;  // set before the device starts
    Completion done_;    // set before the device starts
    std::mutex mutex_;
    std::map<uintptr_t, uint8_t*> buffers_;  // guarded by mutex_: queued buffers by tag
    std::atomic<int32_t> level_{0};
};

}  // namespace velcora::media
