#include "link/dispatcher.h"

#include <algorithm>

namespace velcora {

CMessageDispatcher::Registration::Registration(Registration&& other) noexcept
    : slot_(std::move(other.slot_)) {}

CMessageDispatcher::Registration& CMessageDispatcher::Registration::operator=(
    Registration&& other) noexcept {
    if (this != &other) {
        Reset();
        slot_ = std::move(other.slot_);
    }
    return *this;
}

void CMessageDispatcher::Registration::Reset() {
    if (slot_) {
        // The handler itself stays until the dispatcher drops the slot: it may
        // be the very handler that is running and ending its own registration.
        slot_->alive = false;
        slot_.reset();
    }
}

CMessageDispatcher::Registration CMessageDispatcher::Register(msg::Type type, Handler handler) {
    // Forget slots whose owners have closed, so the list never grows without
    // bound; not while a dispatch is walking the list.
    if (dispatching_ == 0) {
        slots_.erase(
            std::remove_if(slots_.begin(), slots_.end(), [](const auto& s) { return !s->alive; }),
            slots_.end());
    }
    auto slot = std::make_shared<DispatchSlot>();
    slot->type = type;
    slot->handler = std::move(handler);
    slots_.push_back(slot);
    Registration r;
    r.slot_ = std::move(slot);
    return r;
}

bool CMessageDispatcher::HasHandler(msg::Type type) const {
    return std::any_of(slots_.begin(), slots_.end(),
                       [type](const auto& s) { return s->alive && s->type == type; });
}

int CMessageDispatcher::DispatchMessage(CStream& frame) {
    const msg::Type type = ReadU16(frame);
    const int32_t length = ReadI32(frame);
    const int32_t payloadStart = frame.GetPosition();
    // Handlers see the payload alone: positions from 0, zeros past its end, and
    // never the bytes of the frame after it.
    const int32_t available = std::max(0, frame.GetSize() - payloadStart);
    CSubStream payload(frame, payloadStart, std::clamp(length, 0, available));
    return CallHandlers(type, payload, length);
}

int CMessageDispatcher::DispatchPayload(msg::Type type, const uint8_t* payload, int32_t length) {
    CMemoryView view(payload, length);
    return CallHandlers(type, view, length);
}

int CMessageDispatcher::CallHandlers(msg::Type type, CStream& payload, int32_t length) {
    // A handler may close a window (ending registrations) or open one (adding
    // them) while it runs. Slots are never removed during a dispatch, so the
    // ones present at the start stay valid and are tested before each call;
    // slots added meanwhile wait for the next frame.
    ++dispatching_;
    const size_t count = slots_.size();
    int called = 0;
    for (size_t i = 0; i < count; ++i) {
        DispatchSlot* slot = slots_[i].get();
        if (!slot->alive || slot->type != type || !slot->handler) {
            continue;
        }
        payload.Seek(0, kSeekSet);
        slot->handler(payload, length);
        ++called;
    }
    --dispatching_;
    return called;
}

}  // namespace velcora
