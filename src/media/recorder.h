// The operator's microphone: captured buffers of about 120 ms are encoded to
// MP2 on a worker thread (plainly, or through the voice changer) and the
// window thread sends the finished payloads on its timer. Two buffers are
// always queued in the device.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/robot_link.h"
#include "link/stream.h"
#include "media/codec.h"
#include "media/voice_changer.h"
#include "platform/audio_input.h"

namespace velcora::media {

// Section AUDIO of the settings, as far as the microphone uses it.
struct RecorderSettings {
    int32_t device = -1;  // AUDIO_IN_DEVICE; -1 the default device
    int32_t speechSpeed = 130;
    int32_t speechBlockCount = 5;
    int32_t audioMinLevel = -1;
};

// Bytes of one capture buffer: a whole number of encoder blocks lasting about
// 120 ms. `encoderBlock` is the encoder's input block (times the voice
// changer's block count when it is on).
int32_t CaptureBufferSize(int32_t encoderBlock, int32_t bytesPerSample, int32_t rate);

class CRecorder {
  public:
    static constexpr int kQueuedBuffers = 2;

    explicit CRecorder(platform::IAudioInput& device, RecorderSettings settings = {});
    ~CRecorder();
    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    // False when the device or the encoder refuses (8-bit codes always do):
    // the microphone button then springs back.
    bool Open(uint8_t code, int32_t bitRate);
    void Close();
    bool IsOpen() const { return open_; }

    // Window thread, every tick: each finished payload goes out as one
    // microphone message; finished buffers are freed.
    void SendPending(IRobotLink& link);
    // The same, handing the payloads to the caller instead of a link.
    std::vector<std::string> TakePending();

    // Closes and reopens an open recorder with the new flag; false when the
    // reopen failed.
    bool SetVoiceChanger(bool on);
    bool VoiceChanger() const { return voiceChanger_; }
    void SetSettings(const RecorderSettings& settings) { settings_ = settings; }

    int32_t BufferSize() const { return bufferSize_; }
    // Waits until every buffer the device gave back has been processed, at
    // most `limitMs` (command-line use and tests).
    bool WaitProcessed(int limitMs);

  private:
    struct Buffer {
        std::unique_ptr<uint8_t[]> samples;
        int32_t size = 0;
        int32_t recorded = 0;
        bool returned = false;  // given back by the device
        int state = 0;          // 0 recording or not yet processed, 1 processed
        CMemoryStream output;
    };
    // The mutex is held for list and state changes only, never while encoding
    // or sending, so no wait on it can last: plain locks, no give-up time.
    using Lock = std::unique_lock<std::mutex>;

    bool QueueBuffer();  // mutex_ held
    void Completed(uintptr_t tag, int32_t recorded);
    void Run();
    Buffer* OldestReturned();  // mutex_ held
    void ProcessPlain(Buffer& b);
    void ProcessVoice(Buffer& b, CVoiceChanger& changer);
    void EncodeInto(const uint8_t* pcm, size_t bytes, CMemoryStream& out);

    platform::IAudioInput& device_;
    RecorderSettings settings_;
    CAudioEncoder encoder_;  // worker thread while open
    std::mutex mutex_;
    std::condition_variable wake_;                // a buffer came back, or stop
    std::condition_variable processed_;           // a buffer was processed
    std::list<std::unique_ptr<Buffer>> buffers_;  // guarded by mutex_, oldest first
    bool stopping_ = false;                       // guarded by mutex_
    std::thread worker_;                          // window thread
    bool open_ = false;                           // window thread
    bool voiceChanger_ = false;                   // window thread; copied by Open
    bool voiceRunning_ = false;                   // as opened
    uint8_t code_ = 0;
    int32_t bitRate_ = 0;
    int32_t bufferSize_ = 0;
};

}  // namespace velcora::media
