#include "media/video_stream.h"

#include <chrono>

namespace velcora::media {

CVideoStream::~CVideoStream() {
    Stop();
}

bool CVideoStream::Start() {
    if (thread_.joinable()) {
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = false;
    }
    try {
        thread_ = std::thread(&CVideoStream::Run, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CVideoStream::Stop() {
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
    current_.reset();
    idle_.notify_all();
}

bool CVideoStream::Enqueue(uint16_t width, uint16_t height, std::string_view picture,
                           std::vector<OverlayLine> lines) {
    if (!thread_.joinable() || picture.empty()) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (static_cast<int>(queue_.size()) >= kMaxQueued) {
            ++dropped_;
            return false;
        }
    }
    // Copied outside the lock; the decode thread only ever shortens the queue.
    auto frame = std::make_unique<VideoFrame>();
    frame->width = width;
    frame->height = height;
    frame->data.assign(picture.begin(), picture.end());
    frame->lines = std::move(lines);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        frame->sequence = ++accepted_;
        queue_.push_back(std::move(frame));
    }
    wake_.notify_one();
    return true;
}

VideoFrame* CVideoStream::OldestQueued() {
    for (auto& f : queue_) {
        if (f->state == VideoFrame::kQueued) {
            return f.get();
        }
    }
    return nullptr;
}

void CVideoStream::Run() {
    CVideoDecoder decoder;
    int openedWidth = -1;
    int openedHeight = -1;
    for (;;) {
        VideoFrame* frame = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || (frame = OldestQueued()) != nullptr; });
            if (stop_) {
                break;
            }
            frame->state = VideoFrame::kDecoding;
        }
        // The frame stays linked (and so alive) while it is being decoded:
        // only this thread and Stop, after joining it, remove frames in state 2.
        if (!decoder.IsOpen() || openedWidth != frame->width || openedHeight != frame->height) {
            if (!decoder.Open(frame->width, frame->height)) {
                std::lock_guard<std::mutex> lock(mutex_);
                queue_.remove_if([&](const auto& f) { return f.get() == frame; });
                idle_.notify_all();
                break;
            }
            openedWidth = frame->width;
            openedHeight = frame->height;
        }
        const int result =
            decoder.Decode(frame->data.data(), static_cast<int32_t>(frame->data.size()));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (result == 1) {
                frame->picture = decoder.TakePicture();
                frame->state = VideoFrame::kDecoded;
                frame->data.clear();
                frame->data.shrink_to_fit();
            } else {
                queue_.remove_if([&](const auto& f) { return f.get() == frame; });
            }
        }
        idle_.notify_all();
        if (result == 1 && onDecoded_) {
            onDecoded_();
        }
    }
    decoder.Close();
}

void CVideoStream::SetOnDecoded(std::function<void()> onDecoded) {
    if (!thread_.joinable()) {
        onDecoded_ = std::move(onDecoded);
    }
}

bool CVideoStream::TakeOver() {
    std::lock_guard<std::mutex> lock(mutex_);
    bool taken = false;
    for (auto it = queue_.begin(); it != queue_.end();) {
        if ((*it)->state == VideoFrame::kDecoded) {
            current_ = std::move(*it);
            it = queue_.erase(it);
            taken = true;
        } else {
            ++it;
        }
    }
    return taken;
}

void CVideoStream::WithCurrent(const std::function<void(const VideoFrame*)>& paint) const {
    std::lock_guard<std::mutex> lock(mutex_);
    paint(current_.get());
}

int CVideoStream::QueuedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(queue_.size());
}

uint64_t CVideoStream::Accepted() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}

uint64_t CVideoStream::Dropped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

bool CVideoStream::WaitIdle(int limitMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(limitMs), [&] {
        for (const auto& f : queue_) {
            if (f->state != VideoFrame::kDecoded) {
                return false;
            }
        }
        return true;
    });
}

}  // namespace velcora::media
