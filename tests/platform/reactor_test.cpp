#include <gtest/gtest.h>
#include <QCoreApplication>

#include <memory>
#include <string>
#include <vector>

#include "platform/posix_reactor.h"
#include "platform/qt_reactor.h"

namespace velcora::platform {
namespace {

// Both real reactors must behave alike: the link cannot tell them apart.
class RealReactor : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        if (GetParam()) {
            static int argc = 1;
            static char name[] = "platform_tests";
            static char* argv[] = {name, nullptr};
            if (!QCoreApplication::instance())
                app = std::make_unique<QCoreApplication>(argc, argv);
            reactor = std::make_unique<QtReactor>();
        } else {
            reactor = std::make_unique<PollReactor>();
        }
    }
    void TearDown() override { reactor.reset(); }

    std::unique_ptr<QCoreApplication> app;
    std::unique_ptr<Reactor> reactor;
};

TEST_P(RealReactor, ListenConnectExchangeAndClose) {
    Reactor& r = *reactor;
    SocketId server = kNoSocket;
    std::string serverGot;
    std::vector<uint16_t> clientEvents;
    bool serverClosed = false;
    const SocketId listener = r.Listen(kLoopback, 0, [&](SocketId l, uint16_t event, int) {
        ASSERT_EQ(event, kEventAccept);
        uint32_t peer = 0;
        server = r.Accept(
            l,
            [&](SocketId s, uint16_t ev, int) {
                if (ev == kEventRead) {
                    char buf[4096];
                    const int32_t n = r.Receive(s, buf, sizeof(buf));
                    if (n > 0)
                        serverGot.append(buf, static_cast<std::size_t>(n));
                } else if (ev == kEventClose) {
                    serverClosed = true;
                }
            },
            &peer);
        EXPECT_EQ(peer, kLoopback);
    });
    ASSERT_NE(listener, kNoSocket);
    const uint16_t port = r.LocalPort(listener);
    ASSERT_NE(port, 0);

    std::string clientGot;
    const SocketId client = r.OpenTcp([&](SocketId s, uint16_t event, int error) {
        EXPECT_EQ(error, 0);
        clientEvents.push_back(event);
        if (event == kEventRead) {
            const int32_t n = r.Available(s);
            std::string buf(static_cast<std::size_t>(n), '\0');
            EXPECT_EQ(r.Receive(s, buf.data(), n), n);
            clientGot += buf;
        }
    });
    ASSERT_NE(client, kNoSocket);
    EXPECT_TRUE(r.SetNoDelay(client));
    ASSERT_NE(r.Connect(client, kLoopback, port), IoResult::Failed);
    ASSERT_TRUE(r.RunUntil([&] { return !clientEvents.empty() && server != kNoSocket; }, 5000));
    EXPECT_EQ(clientEvents.front(), kEventConnect);

    // A big block: the client keeps sending as the socket takes it.
    const std::string big(16 << 20, 'x');
    std::size_t sent = 0;
    bool blocked = false;
    while (sent < big.size()) {
        const int32_t n =
            r.Send(client, big.data() + sent,
                   static_cast<int32_t>(std::min<std::size_t>(65536, big.size() - sent)));
        ASSERT_GE(n, 0);
        if (n == 0) {
            blocked = true;
            const std::size_t before = clientEvents.size();
            ASSERT_TRUE(r.RunUntil([&] { return clientEvents.size() > before; }, 5000));
            EXPECT_EQ(clientEvents.back(), kEventWrite);
        }
        sent += static_cast<std::size_t>(n);
    }
    EXPECT_TRUE(blocked);
    ASSERT_TRUE(r.RunUntil([&] { return serverGot.size() == big.size(); }, 10000));

    EXPECT_EQ(r.Send(server, "pong", 4), 4);
    ASSERT_TRUE(r.RunUntil([&] { return clientGot == "pong"; }, 5000));

    r.Close(client);
    ASSERT_TRUE(r.RunUntil([&] { return serverClosed; }, 5000));
    r.Close(server);
    r.Close(listener);
}

TEST_P(RealReactor, TimersLookupsAndDeadlines) {
    Reactor& r = *reactor;
    int ticks = 0;
    {
        ScopedTimer timer(r, 10, [&] { ++ticks; });
        EXPECT_TRUE(r.RunUntil([&] { return ticks >= 3; }, 5000));
    }
    const int after = ticks;
    const uint32_t start = r.Now();
    EXPECT_FALSE(r.RunUntil([] { return false; }, 60));
    EXPECT_GE(r.Now() - start, 60u);
    EXPECT_EQ(ticks, after);  // the timer stopped with its scope

    bool posted = false;
    r.Post([&] { posted = true; });
    EXPECT_TRUE(r.RunUntil([&] { return posted; }, 1000));

    int answers = 0;
    uint32_t address = 0;
    const LookupId cancelled =
        r.LookupHost("localhost", [&](LookupId, int, uint32_t) { ++answers; });
    r.CancelLookup(cancelled);
    const LookupId id = r.LookupHost("localhost", [&](LookupId got, int error, uint32_t a) {
        EXPECT_EQ(got, id);
        EXPECT_EQ(error, 0);
        address = a;
        ++answers;
    });
    ASSERT_NE(id, kNoLookup);
    EXPECT_TRUE(r.RunUntil([&] { return answers > 0; }, 5000));
    r.RunUntil([] { return false; }, 50);
    EXPECT_EQ(answers, 1);
    EXPECT_EQ(address & 0xFF, 127u);
}

TEST_P(RealReactor, RefusedConnectReportsTheError) {
    Reactor& r = *reactor;
    // A port that was just free: nobody listens there.
    const SocketId probe = r.Listen(kLoopback, 0, [](SocketId, uint16_t, int) {});
    const uint16_t port = r.LocalPort(probe);
    r.Close(probe);
    int error = 0;
    uint16_t event = 0;
    const SocketId s = r.OpenTcp([&](SocketId, uint16_t ev, int err) {
        event = ev;
        error = err;
    });
    if (r.Connect(s, kLoopback, port) != IoResult::Failed) {
        ASSERT_TRUE(r.RunUntil([&] { return event != 0; }, 5000));
        EXPECT_EQ(event, kEventConnect);
        EXPECT_NE(error, 0);
    }
    r.Close(s);
}

INSTANTIATE_TEST_SUITE_P(Loops, RealReactor, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Qt" : "Poll"; });

TEST(Ipv4, ParsesOnlyDottedQuads) {
    uint32_t a = 0;
    EXPECT_TRUE(ParseIpv4("127.0.0.1", a));
    EXPECT_EQ(a, kLoopback);
    for (const char* bad :
         {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "a.b.c.d", "1..2.3", "1.2.3.4 "}) {
        EXPECT_FALSE(ParseIpv4(bad, a)) << bad;
    }
}

}  // namespace
}  // namespace velcora::platform
