#include "link/hook_list.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace velcora {
namespace {

// A window closing inside a hook (its own or another's) must not be called
// afterwards, and one opening inside a hook waits for the next round.
TEST(HookListTest, HooksAddedOrDroppedDuringACall) {
    HookList<int> list;
    std::vector<int> calls;
    HookSubscription second;
    HookSubscription added;
    HookSubscription first = list.Add([&](int v) {
        calls.push_back(10 + v);
        second.Reset();
        added = list.Add([&](int w) { calls.push_back(30 + w); });
    });
    second = list.Add([&](int v) { calls.push_back(20 + v); });
    list.Call(1);
    EXPECT_EQ(calls, (std::vector<int>{11}));
    calls.clear();
    first.Reset();
    list.Call(2);
    EXPECT_EQ(calls, (std::vector<int>{32}));
    added.Reset();
    EXPECT_TRUE(list.Empty());
}

TEST(HookListTest, SubscriptionsMoveAndOutliveTheirList) {
    int calls = 0;
    HookSubscription kept;
    {
        HookList<> list;
        HookSubscription a = list.Add([&] { ++calls; });
        kept = std::move(a);
        EXPECT_FALSE(a.Active());
        list.Call();
        EXPECT_EQ(calls, 1);
        HookSubscription self;
        self = list.Add([&] {
            ++calls;
            self.Reset();  // drops itself while being called
        });
        list.Call();
        list.Call();
        EXPECT_EQ(calls, 4);
    }
    EXPECT_TRUE(kept.Active());
    kept.Reset();
}

}  // namespace
}  // namespace velcora
