#include "files/reactor_pump.h"

#include <algorithm>

namespace velcora {

class CReactorPump::WaitScope {
  public:
    explicit WaitScope(CReactorPump& pump) : pump_(pump) {
        if (pump_.depth_++ == 0 && pump_.tick_) {
            pump_.timer_ = platform::ScopedTimer(pump_.reactor_, kTickMs, pump_.tick_);
        }
    }
    ~WaitScope() {
        if (--pump_.depth_ == 0) {
            pump_.timer_.Stop();
        }
    }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

  private:
    CReactorPump& pump_;
};

CReactorPump::CReactorPump(platform::Reactor& reactor, std::function<void()> tick)
    : reactor_(reactor), tick_(std::move(tick)) {}

CReactorPump::~CReactorPump() = default;

uint32_t CReactorPump::Now() {
    return reactor_.Now();
}

void CReactorPump::RunOnce(uint32_t maxWaitMs) {
    WaitScope scope(*this);
    // A reactor run of no time handles nothing; one millisecond is the least
    // that lets ready events through.
    const uint32_t slice = std::clamp<uint32_t>(maxWaitMs, 1, 5);
    reactor_.RunUntil([] { return false; }, slice);
}

bool CReactorPump::WaitUntil(const std::function<bool()>& condition, uint32_t timeoutMs) {
    WaitScope scope(*this);
    return reactor_.RunUntil(condition, timeoutMs);
}

}  // namespace velcora
