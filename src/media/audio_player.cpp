#include "media/audio_player.h"

#include <chrono>
#include <cstring>

#include "media/audio_format.h"

namespace velcora::media {

std::vector<uint8_t> DecodeSoundChunks(CAudioDecoder& decoder, const uint8_t* chunks, size_t size) {
    const uint8_t* p = chunks;
    size_t left = chunks ? size : 0;
    while (left > 4) {
        uint32_t length;
        std::memcpy(&length, p, 4);  // little-endian hosts only, as everywhere here
        p += 4;
        left -= 4;
        if (length > left) {
            break;
        }
        if (decoder.Decode(p, static_cast<int32_t>(length)) < 0) {
            break;
        }
        p += length;
        left -= length;
    }
    return decoder.TakePcm();
}

CAudioPlayer::CAudioPlayer(platform::IAudioOutput& device) : device_(device) {}

CAudioPlayer::~CAudioPlayer() {
    Close();
}

bool CAudioPlayer::Accepting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(blocks_.size()) < kMaxBlocks;
}

uint8_t CAudioPlayer::PendingFormat() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_;
}

int CAudioPlayer::BlockCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(blocks_.size());
}

std::array<int, 6> CAudioPlayer::StateCounts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::array<int, 6> counts{};
    for (const auto& b : blocks_) {
        ++counts[b->state.load()];
    }
    return counts;
}

bool CAudioPlayer::AddBlock(std::string_view payload) {
    if (payload.size() < 6) {
        return false;
    }
    const uint8_t code = static_cast<uint8_t>(payload[0]);
    auto block = std::make_unique<Block>();
    block->payload.assign(payload.begin() + 1, payload.end());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (static_cast<int>(blocks_.size()) >= kMaxBlocks) {
            return false;
        }
        blocks_.push_back(std::move(block));
        silence_ = kSilenceMs;
        if (!device_.IsOpen() || code != current_) {
            pending_ = code;
        }
    }
    wake_.notify_one();
    return true;
}

void CAudioPlayer::Tick(int32_t elapsedMs) {
    if (device_.IsOpen()) {
        if (silence_ > 0) {
            silence_ -= elapsedMs;
            if (silence_ <= 0) {
                Close();
                return;
            }
        }
    }
    bool failed = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Decoded blocks become ready strictly in arrival order.
        for (auto& b : blocks_) {
            if (b->state == kReceived) {
                break;
            }
            if (b->state == kDecoded) {
                b->state = kReady;
            }
        }
        if (device_.IsOpen()) {
            const bool eightBit = FormatBits(current_) == 8;
            for (auto& b : blocks_) {
                const int s = b->state;
                if (s == kInDevice || s == kPlayed) {
                    continue;
                }
                if (s != kReady || inDevice_.load() >= kMaxInDevice) {
                    break;
                }
                if (eightBit) {
                    // The codec gives 16-bit samples; an 8-bit device gets their
                    // high bytes, offset to unsigned.
                    const size_t n = b->pcm.size() / 2;
                    b->out.resize(n);
                    for (size_t i = 0; i < n; ++i) {
                        int16_t v;
                        std::memcpy(&v, &b->pcm[2 * i], 2);
                        b->out[i] = static_cast<uint8_t>((v >> 8) + 128);
                    }
                } else {
                    b->out.swap(b->pcm);
                }
                if (b->out.empty()) {
                    // Decoded to nothing (a damaged block): there is nothing
                    // for the device to play.
                    b->state = kPlayed;
                    continue;
                }
                b->state = kInDevice;
                inDevice_.fetch_add(1);
                if (!device_.Write(b->out.data(), static_cast<int32_t>(b->out.size()),
                                   reinterpret_cast<uintptr_t>(b.get()))) {
                    b->state = kReady;
                    inDevice_.fetch_sub(1);
                    failed = true;
                    break;
                }
            }
        }
        if (!failed) {
            blocks_.remove_if([](const auto& b) { return b->state == kPlayed; });
        }
    }
    if (failed) {
        Close();
        return;
    }
    // A device that would not open is not tried again on every tick: on a
    // machine without sound that would flood the sound system's log.
    if (openRetryMs_ > 0) {
        openRetryMs_ -= elapsedMs;
        if (openRetryMs_ > 0) {
            return;
        }
    }
    uint8_t pending;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending = pending_;
        pending_ = kNoPending;
    }
    if (pending != kNoPending && !Open(pending)) {
        openRetryMs_ = kOpenRetryMs;
        std::lock_guard<std::mutex> lock(mutex_);
        if (pending_ == kNoPending) {
            pending_ = pending;
        }
    }
}

bool CAudioPlayer::Open(uint8_t code) {
    // A change of format keeps the blocks that have not reached the device:
    // they play on the reopened one.
    CloseDevice(false);
    if (!device_.Open(FormatRate(code), FormatBits(code),
                      [this](uintptr_t tag) { Completed(tag); })) {
        return false;
    }
    current_ = code;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = false;
    }
    try {
        thread_ = std::thread(&CAudioPlayer::Run, this);
    } catch (const std::system_error&) {
        device_.Close();
        current_ = kNoPending;
        return false;
    }
    silence_ = kSilenceMs;
    return true;
}

void CAudioPlayer::Completed(uintptr_t tag) {
    // The device's thread: only this block's state and the device count.
    reinterpret_cast<Block*>(tag)->state = kPlayed;
    inDevice_.fetch_sub(1);
}

void CAudioPlayer::Close() {
    CloseDevice(true);
}

void CAudioPlayer::CloseDevice(bool freeBlocks) {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    // Every written buffer comes back through the completion before Reset
    // returns, so no block is left in the device's hands.
    device_.Reset();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (freeBlocks) {
            blocks_.clear();
            pending_ = kNoPending;
        } else {
            blocks_.remove_if([](const auto& b) { return b->state == kPlayed; });
        }
    }
    device_.Close();
    inDevice_ = 0;
    current_ = kNoPending;
    silence_ = 0;
    decoded_.notify_all();
}

void CAudioPlayer::Run() {
    CAudioDecoder decoder;
    const bool ready = decoder.Open();
    for (;;) {
        Block* block = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] {
                if (stop_) {
                    return true;
                }
                for (auto& b : blocks_) {
                    if (b->state == kReceived) {
                        block = b.get();
                        return true;
                    }
                }
                return false;
            });
            if (stop_) {
                break;
            }
            if (block->payload.size() <= 3) {
                blocks_.remove_if([&](const auto& b) { return b.get() == block; });
                decoded_.notify_all();
                continue;
            }
        }
        if (ready) {
            block->pcm = DecodeSoundChunks(decoder, block->payload.data(), block->payload.size());
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            block->state = kDecoded;  // even when nothing came out: it plays as nothing
        }
        decoded_.notify_all();
    }
    decoder.Close();
}

bool CAudioPlayer::WaitDecoded(int limitMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return decoded_.wait_for(lock, std::chrono::milliseconds(limitMs), [&] {
        if (!thread_.joinable()) {
            return true;
        }
        for (const auto& b : blocks_) {
            if (b->state == kReceived) {
                return false;
            }
        }
        return true;
    });
}

// ------------------------------------------------------------------ control

CRobotSoundControl::CRobotSoundControl(IRobotLink& link, CAudioPlayer& player)
    : link_(link), player_(player) {
    registration_ =
        link.Dispatcher().Register(msg::kSoundBlock, [this](CStream& payload, int32_t length) {
            // A full player drops the message without reading it.
            if (length < 6 || !player_.Accepting()) {
                return;
            }
            player_.AddBlock(ReadBytes(payload, length));
        });
}

void CRobotSoundControl::SetEnabled(bool on) {
    if (on && !enabled_) {
        countdown_ = 0;
    }
    enabled_ = on;
}

void CRobotSoundControl::SetRequest(uint8_t code, int32_t bitRate) {
    code_ = code;
    bitRate_ = bitRate;
}

void CRobotSoundControl::Tick(int32_t elapsedMs) {
    if (!enabled_ || !link_.Authorised()) {
        return;
    }
    countdown_ -= elapsedMs;
    if (countdown_ < 0 && link_.CanSendPeriodic()) {
        countdown_ = kRequestRestartMs;
        CStream& s = link_.BeginFrame(msg::kSoundRequest);
        WriteU8(s, code_);
        WriteI32(s, bitRate_);
        link_.EndFrame();
    }
}

}  // namespace velcora::media
