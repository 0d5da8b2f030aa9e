// The robot's status: a battery that drains while working and, once low,
// charges back to full on the charger; the body height; the random-walk mode
// and the current emotion.
#include "sim/sim_status.h"
#include "sim/sim_features.h"

namespace velcora::sim {

namespace {

constexpr uint32_t kDrainMsPerPercent = 30000;
constexpr uint32_t kChargeMsPerPercent = 10000;
constexpr uint32_t kLowBattery = 20;

}  // namespace

void AdvanceBattery(SimStatus& s, uint32_t elapsedMs) {
    s.elapsed += elapsedMs;
    const uint32_t step = s.charging ? kChargeMsPerPercent : kDrainMsPerPercent;
    while (s.elapsed >= step) {
        s.elapsed -= step;
        if (s.charging) {
            if (s.battery < 100)
                ++s.battery;
            if (s.battery >= 100) {
                s.charging = false;
                s.elapsed = 0;
                break;
            }
        } else {
            if (s.battery > 0)
                --s.battery;
            if (s.battery <= kLowBattery) {
                s.charging = true;
                s.elapsed = 0;
                break;
            }
        }
    }
}

std::string StatusPayload(const SimStatus& s) {
    CMemoryStream body;
    WriteU32(body, s.battery);
    WriteU8(body, s.charging ? 1 : 0);
    WriteFloat(body, s.height);
    WriteU8(body, s.randomWalk ? 1 : 0);
    WriteU8(body, s.emotion);
    return std::string(body.View());
}

void InstallStatus(CSimRobot& robot) {
    robot.OnTick(
        [&robot](uint32_t elapsedMs) { AdvanceBattery(robot.Feature<SimStatus>(), elapsedMs); });
    robot.On(msg::kStatus, [&robot](CStream&, int32_t) {
        const SimStatus& s = robot.Feature<SimStatus>();
        robot.Send(msg::kStatus, StatusPayload(s));
        robot.Log("status: battery %u%%%s, height %.1f", s.battery, s.charging ? " (charging)" : "",
                  static_cast<double>(s.height));
    });
}

}  // namespace velcora::sim
