// What a connection shows an observer of its traffic (the session recorder):
// every complete frame in both directions and every change of the link's
// state. Called on the connection's thread, synchronously; an observer must
// return at once (it may copy, never wait).
#pragma once

#include <cstdint>
#include <string_view>

#include "link/catalogue.h"

namespace velcora {

enum class FrameDirection : uint8_t {
    kIncoming = 0,  // robot to console
    kOutgoing = 1,  // console to robot
};

class IFrameTap {
  public:
    virtual ~IFrameTap() = default;
    // `now` is the connection's tick; `payload` is valid only during the call.
    virtual void OnFrame(uint32_t now, FrameDirection direction, msg::Type type,
                         std::string_view payload) = 0;
    // The link went into `state` (a LinkState) towards host:port.
    virtual void OnLinkState(uint32_t now, int32_t state, std::string_view host, uint16_t port,
                             bool tunnel) = 0;
};

}  // namespace velcora
