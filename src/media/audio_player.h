// Robot sound: received blocks of MP2 packets are decoded on a playback thread
// and handed to the output device in strict arrival order, at most two at a
// time. The window thread receives and ticks; the device's thread only marks
// blocks played.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "link/dispatcher.h"
#include "link/robot_link.h"
#include "media/codec.h"
#include "platform/audio_output.h"

namespace velcora::media {

// Decodes the chunks of one sound block (each a 32-bit length and one MP2
// packet) and returns the 16-bit samples. Stops at a chunk that runs past the
// end or fails to decode; what was decoded before it stays.
std::vector<uint8_t> DecodeSoundChunks(CAudioDecoder& decoder, const uint8_t* chunks, size_t size);

class CAudioPlayer {
  public:
    static constexpr int kMaxBlocks = 8;
    static constexpr int kMaxInDevice = 2;
    // The device is released after this long without a received block.
    static constexpr int32_t kSilenceMs = 2000;
    // Wait before trying again a device that would not open.
    static constexpr int32_t kOpenRetryMs = 2000;
    static constexpr uint8_t kNoPending = 255;

    enum BlockState { kReceived = 1, kDecoded = 2, kReady = 3, kInDevice = 4, kPlayed = 5 };

    explicit CAudioPlayer(platform::IAudioOutput& device);
    ~CAudioPlayer();
    CAudioPlayer(const CAudioPlayer&) = delete;
    CAudioPlayer& operator=(const CAudioPlayer&) = delete;

    // True while fewer than kMaxBlocks blocks are held.
    bool Accepting() const;
    // Window thread: a whole sound-block payload (format code, then chunks of
    // a 32-bit length and one MP2 packet). False when it is dropped (player
    // full, or shorter than 6 bytes).
    bool AddBlock(std::string_view payload);
    // Window thread, on the timer.
    void Tick(int32_t elapsedMs);
    // Stops the thread, gives back what the device holds, frees every block
    // and closes the device.
    void Close();

    bool DeviceOpen() const { return device_.IsOpen(); }
    uint8_t CurrentFormat() const { return current_; }
    uint8_t PendingFormat() const;
    int BlockCount() const;
    int InDevice() const { return inDevice_.load(); }
    int32_t SilenceCountdown() const { return silence_; }
    // Blocks in each state, index 1..5 (for observers and tests).
    std::array<int, 6> StateCounts() const;
    // Waits until no block waits for decoding, at most `limitMs` (command-line
    // use and tests; the window never waits).
    bool WaitDecoded(int limitMs);

  private:
    struct Block {
        std::vector<uint8_t> payload;  // after the format code
        std::vector<uint8_t> pcm;      // 16-bit samples once decoded
        std::vector<uint8_t> out;      // what the device plays (8-bit conversion)
        std::atomic<int> state{kReceived};
    };

    bool Open(uint8_t code);
    // Stops the thread and the device; `freeBlocks` false keeps what has not
    // reached the device, for a reopen with another format.
    void CloseDevice(bool freeBlocks);
    void Run();
    void Completed(uintptr_t tag);

    platform::IAudioOutput& device_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;              // a block arrived, or stop
    std::condition_variable decoded_;           // a block was decoded
    std::list<std::unique_ptr<Block>> blocks_;  // guarded by mutex_, oldest first
    uint8_t pending_ = kNoPending;              // guarded by mutex_
    bool stop_ = false;                         // guarded by mutex_
    std::atomic<int> inDevice_{0};              // also changed by the device's thread
    uint8_t current_ = kNoPending;              // window thread
    int32_t silence_ = 0;                       // window thread
    int32_t openRetryMs_ = 0;                   // window thread
    std::thread thread_;                        // window thread
};

// The robot-sound side of the main window: keeps asking for sound while it is
// switched on and hands received blocks to the player.
class CRobotSoundControl {
  public:
    // A request when the countdown falls below zero, restarting here: every
    // 180 ms on a 20 ms timer.
    static constexpr int32_t kRequestRestartMs = 160;

    CRobotSoundControl(IRobotLink& link, CAudioPlayer& player);

    void SetEnabled(bool on);
    bool Enabled() const { return enabled_; }
    // `inAudioParamCode` and `inBitRate` of the settings.
    void SetRequest(uint8_t code, int32_t bitRate);
    // Sends the request when due; the player's own tick is separate.
    void Tick(int32_t elapsedMs);

  private:
    IRobotLink& link_;
    CAudioPlayer& player_;
    bool enabled_ = false;
    uint8_t code_ = 0;
    int32_t bitRate_ = 64000;
    int32_t countdown_ = 0;
    CMessageDispatcher::Registration registration_;
};

}  // namespace velcora::media
