// A caller that must wait for the robot keeps the user interface running
// meanwhile: it runs the event loop a step at a time until its condition
// holds or its time is up. The reactor implements this for the programs;
// tests implement it with a hand-driven clock and a scripted robot.
#pragma once

#include <cstdint>
#include <functional>

namespace velcora {

class IEventPump {
  public:
    virtual ~IEventPump() = default;
    // The millisecond tick of the event loop; it wraps at 2^32.
    virtual uint32_t Now() = 0;
    // Handles whatever events are ready (socket readiness, the timers and
    // with them the connection's own tick), waiting at most `maxWaitMs` for
    // the first one. It may return early and may handle nothing.
    virtual void RunOnce(uint32_t maxWaitMs) = 0;
    // Runs the loop until `condition` holds (true) or `timeoutMs` have passed
    // on the pump's clock (false). The condition is checked first, so a wait
    // that is already over costs no event-loop step. A pump whose loop can
    // wait on a condition itself does so, without a step's latency.
    virtual bool WaitUntil(const std::function<bool()>& condition, uint32_t timeoutMs) {
        const uint32_t start = Now();
        while (!condition()) {
            const uint32_t elapsed = Now() - start;  // wraps correctly
            if (elapsed >= timeoutMs) {
                return false;
            }
            RunOnce(timeoutMs - elapsed);
        }
        return true;
    }
};

// Runs the pump until `condition` holds (true) or `timeoutMs` have passed on
// the pump's clock (false).
inline bool PumpUntil(IEventPump& pump, uint32_t timeoutMs,
                      const std::function<bool()>& condition) {
    return pump.WaitUntil(condition, timeoutMs);
}

}  // namespace velcora
