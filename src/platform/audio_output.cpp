#include "platform/audio_output.h"

#include "platform/sdl_library.h"

#include <cstring>
#include <vector>

#include "platform/audio_device.h"

namespace velcora::platform {

AudioOutput::~AudioOutput() {
    Close();
}

bool AudioOutput::Open(int32_t rate, int32_t bits, Completion done) {
    Close();
    // The completion is in place before the device can call back.
    done_ = std::move(done);
    device_ = OpenMonoDevice({.capture = false,
                              .index = -1,
                              .rate = rate,
                              .bits = bits,
                              .period = 1024,
                              .callback = &AudioOutput::Callback,
                              .self = this},
                             subsystem_, &silence_);
    if (device_ == 0) {
        Close();
        return false;
    }
    Sdl().SDL_PauseAudioDevice(device_, 0);
    return true;
}

void AudioOutput::Callback(void* self, uint8_t* stream, int length) {
    static_cast<AudioOutput*>(self)->Fill(stream, length);
}

void AudioOutput::Fill(uint8_t* stream, int length) {
    // Never wait here: if the queue is busy this period plays silence.
    std::vector<uintptr_t> finished;
    int filled = 0;
    if (mutex_.try_lock()) {
        while (filled < length && !queue_.empty()) {
            Pending& p = queue_.front();
            const int n = std::min(length - filled, p.size - p.played);
            if (n > 0)
                std::memcpy(stream + filled, p.data + p.played, static_cast<size_t>(n));
            filled += n;
            p.played += n;
            if (p.played >= p.size) {
                finished.push_back(p.tag);
                queue_.pop_front();
            }
        }
        mutex_.unlock();
    }
    if (filled < length) {
        std::memset(stream + filled, silence_, static_cast<size_t>(length - filled));
    }
    for (uintptr_t tag : finished) {
        if (done_) {
            done_(tag);
        }
    }
}

bool AudioOutput::Write(const uint8_t* data, int32_t size, uintptr_t tag) {
    if (device_ == 0 || size < 0 || (size > 0 && !data)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back({data, size, 0, tag});
    return true;
}

void AudioOutput::Reset() {
    if (device_ == 0) {
        return;
    }
    // Holding the device lock keeps the callback out while the queue is emptied.
    Sdl().SDL_LockAudioDevice(device_);
    std::deque<Pending> returned;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        returned.swap(queue_);
    }
    Sdl().SDL_UnlockAudioDevice(device_);
    for (const Pending& p : returned) {
        if (done_) {
            done_(p.tag);
        }
    }
}

void AudioOutput::Close() {
    Reset();
    ReleaseMonoDevice(device_, subsystem_);
    done_ = nullptr;
}

}  // namespace velcora::platform
