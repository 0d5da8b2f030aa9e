// The sound input device, in the shape the recorder needs: empty buffers are
// queued, filled in order, and handed back one by one through a completion
// called on the device's own thread.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace velcora::platform {

class IAudioInput {
  public:
    // Called on the device's thread (or in Reset) when a queued buffer comes
    // back, with the number of bytes recorded into it. The completion may queue
    // new buffers.
    using Completion = std::function<void(uintptr_t tag, int32_t recorded)>;

    virtual ~IAudioInput() = default;
    // `device` is an index into CaptureDeviceNames(), or -1 for the default.
    virtual bool Open(int32_t device, int32_t rate, int32_t bits, Completion done) = 0;
    // Queues an empty buffer; it must stay valid until its completion.
    virtual bool AddBuffer(uint8_t* data, int32_t size, uintptr_t tag) = 0;
    virtual bool Start() = 0;
    // Stops recording and hands back every queued buffer before returning.
    virtual void Reset() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
};

// The recording devices of the system by name, in device-number order.
std::vector<std::string> CaptureDeviceNames();

// A recording device through SDL audio capture.
class AudioInput : public IAudioInput {
  public:
    AudioInput() = default;
    ~AudioInput() override;
    AudioInput(const AudioInput&) = delete;
    AudioInput& operator=(const AudioInput&) = delete;

    bool Open(int32_t device, int32_t rate, int32_t bits, Completion done) override;
    bool AddBuffer(uint8_t* data, int32_t size, uintptr_t tag) override;
    bool Start() override;
    void Reset() override;
    void Close() override;
    bool IsOpen() const override { return device_ != 0; }

  private:
    struct Queued {
        uint8_t* data;
        int32_t size;
        int32_t recorded;
        uintptr_t tag;
    };
    static void Callback(void* self, uint8_t* stream, int length);
    void Take(const uint8_t* stream, int length);

    uint32_t device_ = 0;  // UI thread only
    bool subsystem_ = false;
    Completion done_;  // set before the device starts
    std::mutex mutex_;
    std::deque<Queued> queue_;  // guarded by mutex_
};

}  // namespace velcora::platform
