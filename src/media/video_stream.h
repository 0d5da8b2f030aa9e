// One panel's video: received pictures wait in a short queue, a thread of the
// panel's own decodes them, and the window thread takes the newest decoded
// picture over on its timer. One mutex guards the queue, every frame's state
// and the current picture; the decode thread never holds it while decoding.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "media/codec.h"
#include "media/video_frame.h"

namespace velcora::media {

struct VideoFrame {
    enum State { kQueued = 1, kDecoding = 2, kDecoded = 3 };
    // As announced by the robot.
    uint16_t width = 0;
    uint16_t height = 0;
    std::vector<uint8_t> data;
    std::vector<OverlayLine> lines;
    // Present once decoded.
    Picture picture;
    State state = kQueued;
    // Counts accepted frames from 1, so that a caller can match what it
    // enqueued with what it sees.
    uint64_t sequence = 0;
};

class CVideoStream {
  public:
    // More waiting frames than this and new ones are dropped: when decoding
    // falls behind, latency stays bounded.
    static constexpr int kMaxQueued = 6;

    CVideoStream() = default;
    ~CVideoStream();
    CVideoStream(const CVideoStream&) = delete;
    CVideoStream& operator=(const CVideoStream&) = delete;

    // Starts the decode thread (window thread). False if it could not start.
    bool Start();
    // Stops and joins the decode thread, then frees the current picture and
    // every queued frame.
    void Stop();
    bool Streaming() const { return thread_.joinable(); }

    // Window thread. Copies the picture; false when not streaming, when the
    // picture is empty or when the queue is full (the frame is dropped).
    bool Enqueue(uint16_t width, uint16_t height, std::string_view picture,
                 std::vector<OverlayLine> lines);
    // Window thread, on the timer or when told a picture is ready: the newest
    // decoded frame becomes current (older decoded ones are freed). True when
    // the picture changed.
    bool TakeOver();
    // Called on the decode thread, without the lock, each time a picture has
    // been decoded and waits for TakeOver, so that the window thread can be
    // asked to take it at once rather than on its next tick. Set it while not
    // streaming; it must stay callable until Stop returns.
    void SetOnDecoded(std::function<void()> onDecoded);
    // Calls `paint` with the current frame (or null) under the mutex, so the
    // picture cannot be freed while it is drawn.
    void WithCurrent(const std::function<void(const VideoFrame*)>& paint) const;

    int QueuedCount() const;
    uint64_t Accepted() const;
    uint64_t Dropped() const;
    // Waits until nothing is queued or being decoded, at most `limitMs`
    // (for command-line use and tests; the window never waits).
    bool WaitIdle(int limitMs);

  private:
    void Run();
    VideoFrame* OldestQueued();  // mutex_ held

    mutable std::mutex mutex_;
    std::condition_variable wake_;                  // frames queued or stop requested
    std::condition_variable idle_;                  // a frame finished decoding
    std::list<std::unique_ptr<VideoFrame>> queue_;  // guarded by mutex_, oldest first
    std::unique_ptr<VideoFrame> current_;           // guarded by mutex_
    bool stop_ = false;                             // guarded by mutex_
    uint64_t accepted_ = 0;                         // guarded by mutex_
    uint64_t dropped_ = 0;                          // guarded by mutex_
    std::thread thread_;                            // window thread only
    std::function<void()> onDecoded_;               // set while no thread runs
};

}  // namespace velcora::media
