// The sound output device, in the shape the player needs: PCM buffers are
// written in order, stay owned by the caller, and are handed back one by one
// through a completion called on the device's own thread once played.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace velcora::platform {

class IAudioOutput {
  public:
    // Called on the device's thread when a written buffer has been played (or
    // given back by Reset). It must not block and must not call the device.
    using Completion = std::function<void(uintptr_t tag)>;

    virtual ~IAudioOutput() = default;
    // One channel of `bits` (8 unsigned or 16 signed) samples at `rate` Hz.
    virtual bool Open(int32_t rate, int32_t bits, Completion done) = 0;
    // Queues `size` bytes; they must stay valid until the completion for `tag`.
    virtual bool Write(const uint8_t* data, int32_t size, uintptr_t tag) = 0;
    // Stops playing and completes every written buffer before returning.
    virtual void Reset() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
};

// The default output device of the system through SDL audio.
class AudioOutput : public IAudioOutput {
  public:
    AudioOutput() = default;
    ~AudioOutput() override;
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    bool Open(int32_t rate, int32_t bits, Completion done) override;
    bool Write(const uint8_t* data, int32_t size, uintptr_t tag) override;
    void Reset() override;
    void Close() override;
    bool IsOpen() const override { return device_ != 0; }

  private:
    struct Pending {
        const uint8_t* data;
        int32_t size;
        int32_t played;
        uintptr_t tag;
    };
    static void Callback(void* self, uint8_t* stream, int length);
    void Fill(uint8_t* stream, int length);

    uint32_t device_ = 0;  // SDL device id; UI thread only
    bool subsystem_ = false;
    uint8_t silence_ = 0;
    Completion done_;  // set before the device starts, read by the device thread
    std::mutex mutex_;
    std::deque<Pending> queue_;  // guarded by mutex_
};

}  // namespace velcora::platform
