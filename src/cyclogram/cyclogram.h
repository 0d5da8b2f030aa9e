// The cyclogram document: motor tracks of keyframes, one optional sound track
// of blocks, and the environment project of trackers bound to motors. Times
// are signed milliseconds; positions are 0..1 across a motor's raw range.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velcora {

// Interpolation on one side of a key. Other values read from a file are kept
// as they are and interpolate like step.
enum InterpolationMode : int32_t {
    kInterpolationLinear = 0,
    kInterpolationBezier = 1,
    kInterpolationStep = 2,
};

// Keys and blocks stay at least this far from their neighbours when moved or pasted.
inline constexpr int32_t kKeySpacingMs = 100;
// A key closer than this to a time is "at" that time for the editor.
inline constexpr int32_t kKeyNearMs = 50;
// Length of a freshly inserted audio block.
inline constexpr int32_t kNewBlockLengthMs = 500;
// Record arrays grow and shrink in steps of this many records.
inline constexpr int32_t kArrayStep = 32;
// Largest key, block and track counts a record may carry.
inline constexpr int32_t kMaxRecordCount = 20000;
// Largest tracker count an environment record may carry.
inline constexpr int32_t kMaxTrackerCount = 1000;

inline int32_t RoundUpToStep(int32_t count) {
    return count <= 0 ? 0 : ((count + kArrayStep - 1) / kArrayStep) * kArrayStep;
}

struct CyclogramKey {
    uint8_t selected = 0;
    int32_t time = 0;
    float value = 0.5f;
    int32_t inMode = kInterpolationBezier;
    float inDelta = 0.0f;
    int32_t inLength = 500;
    int32_t outMode = kInterpolationBezier;
    float outDelta = 0.0f;
    int32_t outLength = 500;
};

// Binary search over any time-ordered array: the last index whose time is at
// or before t; -1 when empty or t is before the first.
template <typename Array, typename TimeOf>
int32_t FindAtOrBefore(const Array& items, int64_t t, TimeOf timeOf) {
    const int32_t n = static_cast<int32_t>(items.size());
    if (n == 0 || t < timeOf(items[0])) {
        return -1;
    }
    if (t >= timeOf(items[n - 1])) {
        return n - 1;
    }
    int32_t lo = 0;
    int32_t hi = n - 1;
    while (lo < hi - 1) {
        const int32_t mid = (lo + hi) / 2;
        const int64_t tm = timeOf(items[mid]);
        if (tm < t) {
            lo = mid;
        } else if (tm == t) {
            return mid;
        } else {
            hi = mid;
        }
    }
    return lo;
}

class CCyclogramTrack {
  public:
    CCyclogramTrack() = default;
    virtual ~CCyclogramTrack() = default;

    int32_t motor = 0;
    uint8_t disabled = 0;
    uint8_t locked = 0;
    int32_t height = 40;

    int32_t count() const { return static_cast<int32_t>(keys_.size()); }
    int32_t capacity() const { return static_cast<int32_t>(keys_.capacity()); }
    const std::vector<CyclogramKey>& keys() const { return keys_; }
    CyclogramKey& key(int32_t i) { return keys_[static_cast<std::size_t>(i)]; }
    const CyclogramKey& key(int32_t i) const { return keys_[static_cast<std::size_t>(i)]; }

    // Appends a key as it stands (readers and tools); false when memory runs out.
    bool appendKey(const CyclogramKey& key);
    // Drops every key and gives room for `count` (reading); false when memory runs out.
    bool resetKeys(int32_t count);

    int32_t findKeyAtOrBefore(int32_t t) const;
    int32_t findKeyNear(int32_t t) const;
    float valueAt(int32_t t) const;
    // Index of the new key, or -1 when memory runs out.
    int32_t insertKeyAfter(int32_t i);
    void deleteKey(int32_t i);
    void deleteSelected();
    bool canPaste(const CCyclogramTrack& clip, int32_t t) const;
    bool paste(const CCyclogramTrack& clip, int32_t t);

  private:
    bool reserveFor(int32_t count);
    std::vector<CyclogramKey> keys_;
};

struct AudioBlock {
    int32_t start = 0;
    int32_t length = 0;
    uint8_t selected = 0;
    // Narrow text in the ANSI code page: speech, or a wave file name on the robot.
    std::optional<std::string> text;

    int64_t end() const { return static_cast<int64_t>(start) + length; }
    bool isWaveFile() const;
};

class CCyclogramAudioTrack {
  public:
    CCyclogramAudioTrack() = default;
    virtual ~CCyclogramAudioTrack() = default;

    uint8_t disabled = 0;
    uint8_t locked = 0;

    int32_t count() const { return static_cast<int32_t>(blocks_.size()); }
    int32_t capacity() const { return static_cast<int32_t>(blocks_.capacity()); }
    const std::vector<AudioBlock>& blocks() const { return blocks_; }
    AudioBlock& block(int32_t i) { return blocks_[static_cast<std::size_t>(i)]; }
    const AudioBlock& block(int32_t i) const { return blocks_[static_cast<std::size_t>(i)]; }

    bool appendBlock(AudioBlock block);
    bool resetBlocks(int32_t count);

    int32_t findBlockAtOrBefore(int32_t t) const;
    int32_t findBlockCovering(int32_t t) const;
    int32_t addBlockAt(int32_t t);
    void deleteBlock(int32_t i);
    void deleteSelected();
    bool canPaste(const CCyclogramAudioTrack& clip, int32_t t) const;
    bool paste(const CCyclogramAudioTrack& clip, int32_t t);

  private:
    bool reserveFor(int32_t count);
    std::vector<AudioBlock> blocks_;
};

struct EnvTracker {
    int32_t motor = 0;
    int32_t kind = 0;  // 0 horizontal, 1 vertical
    int32_t leftRaw = 0;
    int32_t rightRaw = 65535;
    int32_t defaultRaw = 32768;
    float position = 0.5f;
    int32_t x = 0;
    int32_t y = 0;
    uint8_t noValue = 0;
};

// The raw value at position p, truncated toward zero.
int32_t RawOfPosition(const EnvTracker& tracker, float p);
// The position of raw value r, clamped to 0..1. A tracker whose two ends are
// the same raw value has no range to place r in; it sits at position 0.
float PositionOfRaw(const EnvTracker& tracker, int32_t r);

class CCyclogramEnv {
  public:
    CCyclogramEnv() = default;
    virtual ~CCyclogramEnv() = default;

    std::vector<EnvTracker> trackers;
    uint32_t backgroundSize = 0;
    uint8_t backgroundChecksum = 0;

    int32_t count() const { return static_cast<int32_t>(trackers.size()); }
    int32_t findTracker(int32_t motor) const;
    // Index of the new tracker, or -1 when memory runs out or the project is full.
    int32_t addTracker(const EnvTracker& tracker);
    void removeTracker(int32_t i);
    void clear();
};

struct MoveRange {
    int32_t maxLeft = 0;
    int32_t maxRight = 0;
};

class CCyclogram {
  public:
    CCyclogram() = default;
    virtual ~CCyclogram() = default;
    CCyclogram(const CCyclogram&) = delete;
    CCyclogram& operator=(const CCyclogram&) = delete;
    CCyclogram(CCyclogram&&) noexcept = default;
    CCyclogram& operator=(CCyclogram&&) noexcept = default;

    uint8_t loop = 0;
    std::unique_ptr<CCyclogramAudioTrack> audio;

    int32_t trackCount() const { return static_cast<int32_t>(tracks_.size()); }
    CCyclogramTrack& track(int32_t i) { return *tracks_[static_cast<std::size_t>(i)]; }
    const CCyclogramTrack& track(int32_t i) const { return *tracks_[static_cast<std::size_t>(i)]; }

    // Index of the new track (motor 0, height 40), or -1 when memory runs out.
    int32_t addTrack();
    void removeTrack(int32_t i);
    void swapTracks(int32_t i, int32_t j);
    // Drops every track and the sound track.
    void clear();
    bool resetFromEnvironment(const CCyclogramEnv& env);
    // The first track driving `motor`, or -1.
    int32_t findTrack(int32_t motor) const;

    int32_t endTime() const;
    bool selectAll(bool flag);
    bool anySelected() const;
    bool exactlyOneSelected() const;
    int32_t earliestSelectedTime() const;
    MoveRange selectionMoveRange() const;
    void moveSelected(int32_t delta);
    int32_t rightPartMoveLimit() const;
    void moveRightPart(int32_t delta);
    void deleteSelected();
    bool paste(const CCyclogram& clip, int32_t t);

  private:
    std::vector<std::unique_ptr<CCyclogramTrack>> tracks_;
};

}  // namespace velcora
