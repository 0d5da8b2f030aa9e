// Routes every incoming frame (other than the connection's own) to the handlers
// registered for its type. A registration lives as long as the object that
// owns it: when the owning window closes, its messages are dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "link/catalogue.h"
#include "link/stream.h"

namespace velcora {

struct DispatchSlot;

class CMessageDispatcher {
  public:
    // The stream holds the payload alone, positioned at its start; `length` is
    // the declared payload length. A handler may read less than the payload,
    // and reading past it yields zeros; the caller moves on by the length
    // either way.
    using Handler = std::function<void(CStream& payload, int32_t length)>;

    class Registration {
      public:
        Registration() = default;
        ~Registration() { Reset(); }
        Registration(Registration&& other) noexcept;
        Registration& operator=(Registration&& other) noexcept;
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;
        void Reset();
        bool Active() const { return slot_ != nullptr; }

      private:
        friend class CMessageDispatcher;
        std::shared_ptr<DispatchSlot> slot_;
    };

    CMessageDispatcher() = default;
    CMessageDispatcher(const CMessageDispatcher&) = delete;
    CMessageDispatcher& operator=(const CMessageDispatcher&) = delete;

    // Several handlers may share a type (both video panels showing one camera);
    // they are called in registration order.
    [[nodiscard]] Registration Register(msg::Type type, Handler handler);

    // The stream is at a complete frame's first byte. Re-reads the header and
    // calls the handlers for the type, each with the payload from its start.
    // Returns the number of handlers called. The frame stream's position is
    // left somewhere inside the frame; the caller moves on by the length.
    int DispatchMessage(CStream& frame);
    // The same for a frame already taken apart: the payload's bytes stay
    // where they are and handlers read them through a view.
    int DispatchPayload(msg::Type type, const uint8_t* payload, int32_t length);

    bool HasHandler(msg::Type type) const;

  private:
    int CallHandlers(msg::Type type, CStream& payload, int32_t length);

    std::vector<std::shared_ptr<DispatchSlot>> slots_;
    int dispatching_ = 0;  // depth of nested DispatchMessage calls
};

struct DispatchSlot {
    msg::Type type = 0;
    CMessageDispatcher::Handler handler;
    bool alive = true;
};

// A keeper of several registrations, for objects that handle many types.
class CRegistrationSet {
  public:
    void Add(CMessageDispatcher::Registration r) { items_.push_back(std::move(r)); }
    void Clear() { items_.clear(); }
    bool Empty() const { return items_.empty(); }

  private:
    std::vector<CMessageDispatcher::Registration> items_;
};

}  // namespace velcora
