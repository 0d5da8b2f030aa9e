// The event pump of the programs: waits run the reactor itself (nested), so
// socket events, timers and the connection's own tick keep going while a
// caller waits for the robot, in velcoractl and in the windows alike.
#pragma once

#include <cstdint>
#include <functional>

#include "files/event_pump.h"
#include "platform/reactor.h"

namespace velcora {

class CReactorPump : public IEventPump {
  public:
    static constexpr uint32_t kTickMs = 20;

    // `tick` is the connection's Tick; when given, it runs every kTickMs for
    // as long as a wait lasts, so that queued frames leave and the keep-alive
    // goes out even where the program's own timer does not run meanwhile.
    explicit CReactorPump(platform::Reactor& reactor, std::function<void()> tick = {});
    ~CReactorPump() override;
    CReactorPump(const CReactorPump&) = delete;
    CReactorPump& operator=(const CReactorPump&) = delete;

    uint32_t Now() override;
    // One short turn of the loop: whatever is ready is handled, waiting at
    // most `maxWaitMs` (and no more than a few milliseconds).
    void RunOnce(uint32_t maxWaitMs) override;
    bool WaitUntil(const std::function<bool()>& condition, uint32_t timeoutMs) override;

  private:
    // Keeps the tick timer running while at least one wait is in progress.
    class WaitScope;

    platform::Reactor& reactor_;
    std::function<void()> tick_;
    platform::ScopedTimer timer_;
    int depth_ = 0;
};

}  // namespace velcora
