// The robot's status as the status feature keeps it; other features (body
// lift, random walk, emotions) change it through robot.Feature<SimStatus>().
#pragma once

#include <cstdint>
#include <string>

namespace velcora::sim {

struct SimStatus {
    uint32_t battery = 87;  // percent
    bool charging = false;
    float height = 12.5f;  // body height
    bool randomWalk = false;
    uint8_t emotion = 0;   // 0..5
    uint32_t elapsed = 0;  // ms towards the next battery step
};

void AdvanceBattery(SimStatus& status, uint32_t elapsedMs);
// The 0xCC04 reply: battery, charging, height, random walk, emotion (11 bytes).
std::string StatusPayload(const SimStatus& status);

}  // namespace velcora::sim
