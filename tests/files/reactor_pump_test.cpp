#include "files/reactor_pump.h"

#include <gtest/gtest.h>

#include "platform/posix_reactor.h"

namespace velcora {
namespace {

TEST(ReactorPump, WaitEndsWhenTheConditionHoldsAndTicksOnlyWhileWaiting) {
    platform::PollReactor reactor;
    int ticks = 0;
    CReactorPump pump(reactor, [&] { ++ticks; });
    bool fired = false;
    platform::ScopedTimer later(reactor, 120, [&] { fired = true; });

    const uint32_t start = pump.Now();
    EXPECT_TRUE(PumpUntil(pump, 5000, [&] { return fired; }));
    const uint32_t waited = pump.Now() - start;
    EXPECT_GE(waited, 110u);
    EXPECT_LT(waited, 1000u);
    EXPECT_GE(ticks, 3);

    // Outside a wait the pump adds nothing to the loop.
    const int before = ticks;
    reactor.RunUntil([] { return false; }, 100);
    EXPECT_EQ(ticks, before);
    EXPECT_FALSE(PumpUntil(pump, 60, [] { return false; }));
    EXPECT_GT(ticks, before);
}

// A wait nested in a handler run by another wait must not stop the outer
// wait's tick when it ends.
TEST(ReactorPump, NestedWaitKeepsTheOuterTick) {
    platform::PollReactor reactor;
    int ticks = 0;
    CReactorPump pump(reactor, [&] { ++ticks; });
    bool nestedDone = false;
    int ticksAfterNested = -1;
    reactor.Post([&] {
        PumpUntil(pump, 50, [] { return false; });
        nestedDone = true;
        ticksAfterNested = ticks;
    });
    EXPECT_FALSE(PumpUntil(pump, 250, [] { return false; }));
    ASSERT_TRUE(nestedDone);
    EXPECT_GE(ticks - ticksAfterNested, 4);
}

TEST(ReactorPump, RunOnceReturnsWithinItsWait) {
    platform::PollReactor reactor;
    CReactorPump pump(reactor);
    const uint32_t start = pump.Now();
    for (int i = 0; i < 5; ++i) {
        pump.RunOnce(0);
    }
    pump.RunOnce(3);
    EXPECT_LT(pump.Now() - start, 200u);
}

}  // namespace
}  // namespace velcora
