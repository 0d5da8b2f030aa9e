// What a protocol controller needs from the robot connection: build frames,
// see the state and the send queue, and register for incoming types. The
// connection implements it; tests use a recording stand-in.
#pragma once

#include <cstdint>

#include "link/catalogue.h"
#include "link/dispatcher.h"
#include "link/stream.h"

namespace velcora {

// Connection states.
enum LinkState : int32_t {
    kStateIdle = 0,
    kStateFailed = 1,
    kStateRefused = 2,
    kStateRetryWait = 3,
    kStateLookup = 4,
    kStateConnecting = 5,
    kStateAuthorising = 6,
    kStateAuthorised = 7,
};

// Periodic senders hold back while more than this many bytes wait to be sent.
inline constexpr int32_t kPeriodicQueueLimit = 100;

class IRobotLink {
  public:
    virtual ~IRobotLink() = default;
    // Opens a frame of `type` and returns the stream to write the payload into;
    // nothing else may be called on the link until EndFrame.
    virtual CStream& BeginFrame(msg::Type type) = 0;
    virtual void EndFrame() = 0;
    virtual int32_t State() const = 0;
    // Bytes waiting in the send queue.
    virtual int32_t QueuedBytes() const = 0;
    virtual CMessageDispatcher& Dispatcher() = 0;

    bool Authorised() const { return State() == kStateAuthorised; }
    bool CanSendPeriodic() const { return QueuedBytes() <= kPeriodicQueueLimit; }
};

}  // namespace velcora
