// What the robot reports about itself: the status reply, the mode flags, and
// the map subscription sent on every authorisation.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "link/robot_link.h"

namespace velcora {

struct RobotStatus {
    uint32_t battery = 0;  // percent
    bool charging = false;
    float height = 0.0f;
    std::optional<bool> randomWalk;  // only in replies of 10 bytes or more
    std::optional<uint8_t> emotion;  // only in replies of 11 bytes or more
};

// Decodes a status reply; the optional fields are read only when the length
// covers them, the rest reads as zeros when the payload is short.
RobotStatus DecodeRobotStatus(CStream& payload, int32_t length);

// "±87%" on the charger, "87%" off it.
std::u16string FormatBattery(const RobotStatus& status);
// The body height with one decimal ("12.5").
std::u16string FormatHeight(float height);

inline constexpr int kNavStatusRecordSize = 44;

struct RobotModeFlags {
    uint8_t navMode = 0;
    uint8_t flags = 0;
    std::array<uint8_t, kNavStatusRecordSize> navStatus{};

    bool AutoMode() const { return (flags & 0x01) != 0; }
    bool QrMode() const { return (flags & 0x02) != 0; }
    // The six map-recording permissions (bits 2..7) as bits 0..5.
    uint8_t Permissions() const { return static_cast<uint8_t>(flags >> 2); }
};

RobotModeFlags DecodeRobotModeFlags(CStream& payload, int32_t length);

// The subscription: empty, or (mapId, version, 1) while a map window loads
// the map from the robot.
struct MapSubscription {
    uint32_t mapId = 0;
    int32_t version = 0;
};
void SendMapSubscription(IRobotLink& link, const std::optional<MapSubscription>& map);

// Sends the status request every 3000 ms while authorised, holding back while
// the send queue is busy.
class CStatusPoller {
  public:
    static constexpr int32_t kIntervalMs = 3000;
    void Tick(IRobotLink& link, int32_t elapsedMs);

  private:
    int32_t counter_ = 0;
};

}  // namespace velcora
