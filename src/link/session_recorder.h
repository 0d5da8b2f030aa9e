// Records a session: every frame the connection shows it, with the time, the
// direction and the type, into a recording file (see session_file.h). The
// connection's thread only puts the frame into a bounded queue (a picture or
// a sound block by a reference to the receive block it lies in, small frames
// as a copy); a worker thread of the recorder's own writes the file. When the
// disk falls behind and the queue is full, pictures and sound are dropped
// first (and counted); the connection's thread never waits for the disk.
//
// Frames are first noted on the connection's side alone (small ones copied
// aside) and go to the queue a few times a second, together: pictures, sound
// and keep-alives arrive some hundred times a second, each to cold caches,
// and a lock and a queue the worker has just used cost a frame several times
// what noting it does. Link states, the handshake, large copies, and
// everything once the queue nears its bound go to the queue at once, after
// what was noted before them.
//
// The frame and link-state calls, Open, Close, WriteSoon and Drained belong to
// the connection's thread (Close may also run elsewhere once the recorder is
// no longer the connection's tap); the rest may be asked from any thread.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/frame_tap.h"
#include "link/session_file.h"

namespace velcora {

struct RecorderOptions {
    std::string path;
    // Past this many bytes the recording goes on in a new numbered file
    // ("s.vrec", "s-2.vrec", "s-3.vrec", ...); 0 = one file.
    int64_t maxFileBytes = 0;
    // What may wait for the disk (payload bytes, roughly).
    int64_t queueBytes = 64 << 20;
    // The wall clock as milliseconds since 1970 UTC, read once per file.
    std::function<int64_t()> wallClockMs;
    std::string consoleVersion;
};

class CSessionRecorder : public IFrameTap {
  public:
    enum class State { kClosed, kWaiting, kRecording, kFailed };
    struct Drops {
        uint64_t video = 0;
        uint64_t sound = 0;
        uint64_t other = 0;
        uint64_t Total() const { return video + sound + other; }
    };

    explicit CSessionRecorder(RecorderOptions options);
    ~CSessionRecorder() override;
    CSessionRecorder(const CSessionRecorder&) = delete;
    CSessionRecorder& operator=(const CSessionRecorder&) = delete;

    // Creates the file (mode 0600) and starts the worker; the recording
    // itself begins with the next connection. False with `error` set when the
    // file cannot be created.
    bool Open(std::string& error);
    // Writes what waits, ends the worker and closes the file; false when
    // something could not be written (ErrorText says what).
    bool Close();

    // For the status bar and the command line (the connection's thread).
    State GetState() const;
    // Milliseconds since the recording began; 0 while it waits.
    uint32_t ElapsedMs(uint32_t now) const;
    // Bytes written so far, every file together.
    int64_t BytesWritten() const { return written_.load(); }
    uint64_t FramesRecorded() const { return frames_.load(); }
    Drops Dropped() const;
    std::string ErrorText() const;
    // The file being written now and how many there are.
    std::string CurrentPath() const;
    int FileCount() const;

    // IFrameTap
    void OnFrame(uint32_t now, FrameDirection direction, msg::Type type,
                 std::string_view payload) override;
    void OnIncomingFrame(uint32_t now, msg::Type type, std::string_view payload,
                         const FrameBlock& block) override;
    void OnLinkState(uint32_t now, int32_t state, std::string_view host, uint16_t port,
                     bool tunnel) override;

    // Nothing waits and the worker is idle (benchmarks pace the stream by it).
    bool Drained() const;
    // Has the worker write what waits now rather than at its next turn.
    void WriteSoon();

    // Tests: runs on the worker before each record is written (a stalled disk).
    void SetWriteGate(std::function<void()> gate) { gate_ = std::move(gate); }

    // Incoming payloads this long or longer are not copied: the item keeps
    // the receive block they lie in until they are written.
    static constexpr std::size_t kKeepBlockFrom = 1024;
    // The worker writes what waits this often, or at once when this much
    // waits (or the bound is reached first).
    static constexpr int kWriteEveryMs = 50;
    static constexpr int64_t kWakeBytes = 4 << 20;
    // Noted frames go to the queue this often, or at this many.
    static constexpr int kNoteForMs = 200;
    static constexpr std::size_t kNotedFrames = 32;

  private:
    // A receive block that queued items lie in. Its whole size counts
    // against the queue's bound for as long as any of them waits.
    struct PinnedBlock {
        PinnedBlock(std::shared_ptr<uint8_t[]> block, int64_t size, std::atomic<int64_t>& total)
            : data(std::move(block)), bytes(size), pinned(total) {
            pinned += bytes;
        }
        ~PinnedBlock() { pinned -= bytes; }
        PinnedBlock(const PinnedBlock&) = delete;
        PinnedBlock& operator=(const PinnedBlock&) = delete;
        std::shared_ptr<uint8_t[]> data;
        int64_t bytes;
        std::atomic<int64_t>& pinned;
    };
    // What an item costs beside its copied payload.
    static constexpr int64_t kItemCost = 64;
    struct Item {
        uint32_t tick = 0;
        RecordKind kind = RecordKind::kIncoming;
        bool withheld = false;
        msg::Type type = 0;
        uint32_t length = 0;
        std::string payload;               // a copy, or empty when
        std::shared_ptr<PinnedBlock> pin;  // the payload lies at `at` in a receive block
        const char* at = nullptr;
        uint64_t dropsBefore = 0;              // frames dropped just before this one
        std::unique_ptr<SessionHeader> begin;  // the recording starts here
        std::string_view Payload() const { return pin ? std::string_view(at, length) : payload; }
        int64_t Cost() const { return static_cast<int64_t>(payload.size()) + kItemCost; }
        bool Media() const { return kind != RecordKind::kLinkState && IsMediaType(type); }
    };
    // Over the bound: what is queued and the blocks queued items lie in.
    bool OverBound(int64_t cost) const {  // mutex_ held
        return Held() + cost > options_.queueBytes;
    }
    bool ShouldWake() const {  // mutex_ held
        return Held() >= std::min(kWakeBytes, options_.queueBytes / 2);
    }
    int64_t Held() const {  // mutex_ held
        return queuedBytes_ + pinnedBytes_.load(std::memory_order_relaxed);
    }

    // A frame noted on the connection's thread: its payload kept in a
    // receive block, or copied aside.
    struct Noted {
        const char* at;  // in notedBlocks_[block]
        uint32_t tick;
        uint32_t length;
        msg::Type type;
        uint16_t block;   // or kCopied:
        uint32_t copyAt;  // at this offset in notedCopies_
        RecordKind kind;
    };
    static constexpr uint16_t kCopied = 0xFFFF;
    void Push(Item item);  // the connection's thread
    // Kept out of the way of the few instructions that note a picture (the
    // connection's thread).
    [[gnu::noinline]] void NoteBlock(const FrameBlock& block);
    [[gnu::noinline]] void QueueNoted();
    // What was noted, then `then` when given, into the queue under one lock.
    void Queue(Item* then);
    // Notes a frame; goes to the queue with what waits when it is time.
    void Note(const Noted& frame, int64_t cost);
    void Admit(Item item);             // mutex_ held
    bool WakeDue();                    // mutex_ held
    void CountDrop(const Item& item);  // mutex_ held
    void Run();                        // the worker
    bool WriteItem(const Item& item);
    bool WriteBytes(std::string_view bytes);
    bool StartFile(uint32_t tick);
    std::string NumberedPath(int number) const;

    RecorderOptions options_;

    // Declared before the queue, whose items' pins count down into it.
    std::atomic<int64_t> pinnedBytes_{0};
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Item> queue_;     // guarded by mutex_, oldest first
    int64_t queuedBytes_ = 0;    // guarded by mutex_
    uint64_t pendingDrops_ = 0;  // guarded by mutex_: dropped since the last queued item
    Drops drops_;                // guarded by mutex_
    bool stop_ = false;          // guarded by mutex_
    bool idle_ = false;          // guarded by mutex_: the worker waits for work
    bool soon_ = false;          // guarded by mutex_: write now, not at the next turn
    bool failed_ = false;        // guarded by mutex_
    std::string error_;          // guarded by mutex_
    std::string currentPath_;    // guarded by mutex_
    int fileCount_ = 0;          // guarded by mutex_

    // The connection's thread; what each picture touches comes first, in
    // lines of its own (the worker writes the fields around them all along).
    alignas(64) bool open_ = false;
    bool begun_ = false;
    std::size_t notedCount_ = 0;
    // The data of notedBlocks_.back(), kept here: the pin itself lies in a
    // line the worker writes whenever it lets go of a pin.
    const uint8_t* notedBlock_ = nullptr;
    uint32_t notedSince_ = 0;
    int64_t notedBytes_ = 0;  // their cost and the blocks first kept for them
    int64_t noteRoom_ = 0;    // what may be noted before the bound must be asked
    // The blocks noted payloads lie in, in the order they came.
    std::vector<std::shared_ptr<PinnedBlock>> notedBlocks_;
    std::array<Noted, kNotedFrames> noted_;
    std::string notedCopies_;             // the small payloads noted
    std::weak_ptr<PinnedBlock> lastPin_;  // the block the last kept payload lay in
    uint32_t startTick_ = 0;
    std::thread worker_;

    // The worker only (set up by Open before the worker starts).
    alignas(64) std::FILE* file_ = nullptr;
    int64_t fileBytes_ = 0;
    uint32_t fileStartTick_ = 0;
    int32_t lastState_ = 0;
    uint32_t lastMs_ = 0;
    std::optional<SessionHeader> header_;  // of the first file, once begun
    std::function<void()> gate_;

    std::atomic<int64_t> written_{0};
    std::atomic<uint64_t> frames_{0};
    std::atomic<bool> begunShared_{false};
};

}  // namespace velcora
