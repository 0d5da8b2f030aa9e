#include "media/pcm_feed_input.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace velcora::media {

bool CPcmFeedInput::Open(int32_t, int32_t rate, int32_t bits, Completion done) {
    if (refuseOpen || open_) {
        return false;
    }
    rate_ = rate;
    bits_ = bits;
    done_ = std::move(done);
    open_ = true;
    started_ = false;
    return true;
}

bool CPcmFeedInput::AddBuffer(uint8_t* data, int32_t size, uintptr_t tag) {
    if (!open_ || !data || size <= 0) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back({data, size, 0, tag});
    return true;
}

bool CPcmFeedInput::Start() {
    started_ = open_;
    return started_;
}

size_t CPcmFeedInput::Feed(const uint8_t* data, size_t size) {
    if (!started_) {
        return 0;
    }
    size_t used = 0;
    while (used < size) {
        Queued full{};
        bool complete = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) {
                break;
            }
            Queued& q = queue_.front();
            const size_t n = std::min(size - used, static_cast<size_t>(q.size - q.recorded));
            std::memcpy(q.data + q.recorded, data + used, n);
            used += n;
            q.recorded += static_cast<int32_t>(n);
            if (q.recorded >= q.size) {
                full = q;
                complete = true;
                queue_.pop_front();
            }
        }
        // Outside the lock: the completion queues the next buffer.
        if (complete && done_) {
            done_(full.tag, full.recorded);
        }
    }
    return used;
}

size_t CPcmFeedInput::QueuedBuffers() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
}

void CPcmFeedInput::Reset() {
    std::deque<Queued> returned;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        returned.swap(queue_);
    }
    started_ = false;
    for (const Queued& q : returned) {
        if (done_) {
            done_(q.tag, q.recorded);
        }
    }
}

void CPcmFeedInput::Close() {
    Reset();
    open_ = false;
    done_ = nullptr;
}

}  // namespace velcora::media
