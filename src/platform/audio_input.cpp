#include "platform/audio_input.h"

#include "platform/sdl_library.h"

#include <algorithm>
#include <cstring>

#include "platform/audio_device.h"

namespace velcora::platform {

std::vector<std::string> CaptureDeviceNames() {
    std::vector<std::string> names;
    if (!StartSdlSubsystem(SDL_INIT_AUDIO)) {
        return names;
    }
    const int count = Sdl().SDL_GetNumAudioDevices(1);
    for (int i = 0; i < count; ++i) {
        const char* name = Sdl().SDL_GetAudioDeviceName(i, 1);
        names.emplace_back(name ? name : "");
    }
    StopSdlSubsystem(SDL_INIT_AUDIO);
    return names;
}

AudioInput::~AudioInput() {
    Close();
}

bool AudioInput::Open(int32_t device, int32_t rate, int32_t bits, Completion done) {
    Close();
    // The completion is in place before the device can call back.
    done_ = std::move(done);
    device_ = OpenMonoDevice({.capture = true,
                              .index = device,
                              .rate = rate,
                              .bits = bits,
                              .period = 512,
                              .callback = &AudioInput::Callback,
                              .self = this},
                             subsystem_);
    if (device_ == 0) {
        Close();
        return false;
    }
    return true;
}

bool AudioInput::Start() {
    if (device_ == 0) {
        return false;
    }
    Sdl().SDL_PauseAudioDevice(device_, 0);
    return true;
}

void AudioInput::Callback(void* self, uint8_t* stream, int length) {
    static_cast<AudioInput*>(self)->Take(stream, length);
}

void AudioInput::Take(const uint8_t* stream, int length) {
    // Recorded bytes fill the queued buffers in order; with none queued they
    // are lost, as with any device that was given nowhere to record.
    std::vector<Queued> full;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        int used = 0;
        while (used < length && !queue_.empty()) {
            Queued& q = queue_.front();
            const int n = std::min(length - used, q.size - q.recorded);
            std::memcpy(q.data + q.recorded, stream + used, static_cast<size_t>(n));
            used += n;
            q.recorded += n;
            if (q.recorded >= q.size) {
                full.push_back(q);
                queue_.pop_front();
            }
        }
    }
    // Outside the lock: the completion queues the next buffer.
    for (const Queued& q : full) {
        if (done_) {
            done_(q.tag, q.recorded);
        }
    }
}

bool AudioInput::AddBuffer(uint8_t* data, int32_t size, uintptr_t tag) {
    if (device_ == 0 || !data || size <= 0) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back({data, size, 0, tag});
    return true;
}

void AudioInput::Reset() {
    if (device_ == 0) {
        return;
    }
    Sdl().SDL_PauseAudioDevice(device_, 1);
    Sdl().SDL_LockAudioDevice(device_);
    std::deque<Queued> returned;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        returned.swap(queue_);
    }
    Sdl().SDL_UnlockAudioDevice(device_);
    for (const Queued& q : returned) {
        if (done_) {
            done_(q.tag, q.recorded);
        }
    }
}

void AudioInput::Close() {
    Reset();
    ReleaseMonoDevice(device_, subsystem_);
    done_ = nullptr;
}

}  // namespace velcora::platform
