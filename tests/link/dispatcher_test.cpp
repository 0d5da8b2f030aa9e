#include "link/dispatcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velcora {
namespace {

// Frames one after another in one buffer, as the receive loop holds them.
CMemoryStream Frames(const std::vector<std::pair<msg::Type, std::string>>& frames) {
    CMemoryStream s;
    for (const auto& [type, payload] : frames) {
        WriteU16(s, type);
        WriteI32(s, static_cast<int32_t>(payload.size()));
        WriteBytes(s, payload);
    }
    s.Seek(0, kSeekSet);
    return s;
}

// Dispatches every frame of the buffer, moving on by each frame's length.
int DispatchAll(CMessageDispatcher& d, CMemoryStream& s) {
    int called = 0;
    while (s.Size() - s.Position() >= 6) {
        const int32_t start = s.Position();
        ReadU16(s);
        const int32_t length = ReadI32(s);
        s.Seek(start, kSeekSet);
        called += d.DispatchMessage(s);
        s.Seek(start + 6 + length, kSeekSet);
    }
    return called;
}

TEST(Dispatcher, RoutesByTypeAndDropsUnknownAndClosedOwners) {
    CMessageDispatcher d;
    std::vector<std::string> seen;
    auto a =
        d.Register(0x1111, [&](CStream& s, int32_t n) { seen.push_back("a" + ReadBytes(s, n)); });
    auto b =
        d.Register(0x2222, [&](CStream& s, int32_t) { seen.push_back("b" + ReadBytes(s, 1)); });
    auto b2 =
        d.Register(0x2222, [&](CStream& s, int32_t n) { seen.push_back("c" + ReadBytes(s, n)); });
    auto frames = Frames({{0x1111, "xy"}, {0x9999, "??"}, {0x2222, "pq"}, {0x1111, ""}});
    EXPECT_EQ(DispatchAll(d, frames), 4);
    // A partial read (b reads one byte) shifts neither the second handler nor the next frame.
    EXPECT_EQ(seen, (std::vector<std::string>{"axy", "bp", "cpq", "a"}));

    b2.Reset();
    EXPECT_TRUE(d.HasHandler(0x2222));
    b.Reset();
    EXPECT_FALSE(d.HasHandler(0x2222));
    auto again = Frames({{0x2222, "zz"}});
    EXPECT_EQ(DispatchAll(d, again), 0);
}

TEST(Dispatcher, ShortPayloadReadsZerosNotTheNextFrame) {
    CMessageDispatcher d;
    uint32_t value = 0xDEADBEEF;
    auto r = d.Register(0x1111, [&](CStream& s, int32_t) { value = ReadU32(s); });
    auto frames = Frames({{0x1111, "\x05"}, {0x7777, "\xff\xff\xff\xff"}});
    DispatchAll(d, frames);
    EXPECT_EQ(value, 5u);
}

TEST(Dispatcher, HandlersMayOpenAndCloseRegistrationsWhileRunning) {
    CMessageDispatcher d;
    int first = 0, second = 0, late = 0;
    CMessageDispatcher::Registration secondReg;
    CMessageDispatcher::Registration lateReg;
    CMessageDispatcher::Registration firstReg;
    firstReg = d.Register(0x1111, [&](CStream&, int32_t) {
        ++first;
        secondReg.Reset();  // another window closes
        firstReg.Reset();   // and this one too, while its handler runs
        lateReg = d.Register(0x1111, [&](CStream&, int32_t) { ++late; });
    });
    secondReg = d.Register(0x1111, [&](CStream&, int32_t) { ++second; });
    auto frames = Frames({{0x1111, ""}, {0x1111, ""}});
    DispatchAll(d, frames);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);  // closed before its turn
    EXPECT_EQ(late, 1);    // opened during the first frame: from the next one on
    // Many short-lived registrations do not pile up.
    for (int i = 0; i < 1000; ++i) {
        auto r = d.Register(0x3333, [](CStream&, int32_t) {});
    }
    EXPECT_FALSE(d.HasHandler(0x3333));
}

}  // namespace
}  // namespace velcora
