// What a connection shows an observer of its traffic (the session recorder):
// every complete frame in both directions and every change of the link's
// state. Called on the connection's thread, synchronously; an observer must
// return at once (it may copy, never wait).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "link/catalogue.h"

namespace velcora {

enum class FrameDirection : uint8_t {
    kIncoming = 0,  // robot to console
    kOutgoing = 1,  // console to robot
};

// The receive block an incoming payload lies in. An observer that keeps a
// reference to `data` instead of copying the payload keeps the bytes alive and
// unchanged: the connection never writes over a block someone else holds.
// `bytes` is the block's size, for an observer that bounds what it holds.
struct FrameBlock {
    const std::shared_ptr<uint8_t[]>& data;
    int32_t bytes;
};

class IFrameTap {
  public:
    virtual ~IFrameTap() = default;
    // `now` is the connection's tick; `payload` is valid only during the call.
    virtual void OnFrame(uint32_t now, FrameDirection direction, msg::Type type,
                         std::string_view payload) = 0;
    // An incoming frame whose payload lies in `block`; an observer that only
    // copies need not tell the two apart.
    virtual void OnIncomingFrame(uint32_t now, msg::Type type, std::string_view payload,
                                 const FrameBlock& block) {
        (void)block;
        OnFrame(now, FrameDirection::kIncoming, type, payload);
    }
    // The link went into `state` (a LinkState) towards host:port.
    virtual void OnLinkState(uint32_t now, int32_t state, std::string_view host, uint16_t port,
                             bool tunnel) = 0;
};

}  // namespace velcora
