// velcora-fault-relay: sits between the console and a robot on this machine and
// makes the link between them bad on purpose, reproducibly from a seed.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/version.h"
#include "platform/posix_reactor.h"
#include "sim/relay/fault_relay.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

int Usage(const char* error) {
    if (error)
        std::fprintf(stderr, "velcora-fault-relay: %s\n\n", error);
    std::fprintf(
        error ? stderr : stdout,
        "usage: velcora-fault-relay --target [ADDR:]PORT [--listen [ADDR:]PORT] [--seed N] [-v]\n"
        "                           [faults]\n\n"
        "Relays one console connection at a time to the robot at --target (both on\n"
        "IPv4 addresses of this machine) and misbehaves as told. Each run with the\n"
        "same seed and options makes the same choices.\n\n"
        "  --listen [ADDR:]PORT  where the console connects (default 127.0.0.1:0, a free\n"
        "                        port, printed as \"listening on ADDR:PORT\")\n"
        "  --target [ADDR:]PORT  the robot (default address 127.0.0.1)\n"
        "  --seed N              the random choices' seed (default 1)\n"
        "  -v                    print every fault as it happens, with its time\n"
        "  --version, --help\n"
        "Faults of each direction; prefix with up- (console to robot) or down- (robot to\n"
        "console) for one direction only:\n"
        "  --delay MS            every byte waits MS ms\n"
        "  --jitter MS           plus up to MS ms more (bytes keep their order)\n"
        "  --rate KBIT           at most KBIT kbit/s\n"
        "  --split               written one byte at a time\n"
        "Faults of the connection:\n"
        "  --cut-every S[-S]     cut the TCP connection after S seconds (a random time in\n"
        "                        the range), again and again\n"
        "  --stall-every S[-S]   the robot falls silent (the socket stays open) ...\n"
        "  --stall-for S[-S]     ... for this long (default 5-15)\n"
        "Corruption (a mode of its own; the handshake and frame headers are spared):\n"
        "  --corrupt P           flip one payload byte of a frame with chance P (0..1)\n");
    return error ? 2 : 0;
}

bool ParseEndpoint(const std::string& text, uint32_t& address, uint16_t& port) {
    std::string host = "127.0.0.1", number = text;
    if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        number = text.substr(colon + 1);
    }
    char* end = nullptr;
    const long p = std::strtol(number.c_str(), &end, 10);
    if (number.empty() || *end != '\0' || p < 0 || p > 65535)
        return false;
    port = static_cast<uint16_t>(p);
    return velcora::platform::ParseIpv4(host, address);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velcora;
    sim::RelayOptions o;
    o.stallFor = {5000, 15000};
    bool verbose = false, target = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        // Direction prefixes: --up-delay, --down-rate, ...
        std::vector<sim::DirectionFaults*> dirs{&o.up, &o.down};
        if (a.rfind("--up-", 0) == 0) {
            dirs = {&o.up};
            a = "--" + a.substr(5);
        } else if (a.rfind("--down-", 0) == 0) {
            dirs = {&o.down};
            a = "--" + a.substr(7);
        }
        auto number = [&](double lo, double hi, double& out) {
            const char* v = value();
            char* end = nullptr;
            out = v ? std::strtod(v, &end) : 0;
            return v && *end == '\0' && out >= lo && out <= hi;
        };
        double n = 0;
        if (a == "--help" || a == "-h") {
            return Usage(nullptr);
        } else if (a == "--version") {
            std::printf("velcora-fault-relay %s\n", VersionText());
            return 0;
        } else if (a == "-v") {
            verbose = true;
        } else if (a == "--listen" || a == "--target") {
            const char* v = value();
            const bool listen = a == "--listen";
            if (!v || !ParseEndpoint(v, listen ? o.listenAddress : o.targetAddress,
                                     listen ? o.listenPort : o.targetPort))
                return Usage((a + " needs [ADDR:]PORT").c_str());
            target = target || !listen;
        } else if (a == "--seed") {
            if (!number(0, 1e15, n))
                return Usage("--seed needs a number");
            o.seed = static_cast<uint64_t>(n);
        } else if (a == "--delay" || a == "--jitter" || a == "--rate") {
            if (!number(0, 3600000, n))
                return Usage((a + " needs a number").c_str());
            for (auto* d : dirs)
                (a == "--delay"    ? d->delayMs
                 : a == "--jitter" ? d->jitterMs
                                   : d->rateKbit) = static_cast<uint32_t>(n);
        } else if (a == "--split") {
            for (auto* d : dirs)
                d->split = true;
        } else if (a == "--corrupt") {
            if (!number(0, 1, n))
                return Usage("--corrupt needs a chance 0..1");
            for (auto* d : dirs)
                d->corrupt = n;
        } else if (a == "--cut-every" || a == "--stall-every" || a == "--stall-for") {
            const char* v = value();
            sim::MsRange& r = a == "--cut-every"     ? o.cutEvery
                              : a == "--stall-every" ? o.stallEvery
                                                     : o.stallFor;
            if (!v || !sim::ParseMsRange(v, r, 1000) || r.max == 0)
                return Usage((a + " needs seconds, S or S-S").c_str());
        } else {
            return Usage(("unknown argument " + a).c_str());
        }
    }
    if (!target)
        return Usage("--target is needed");

    platform::PollReactor reactor;
    sim::CFaultRelay relay(reactor, o, [verbose](uint32_t at, const std::string& what) {
        if (verbose) {
            std::fprintf(stderr, "[%7u.%03u] %s\n", at / 1000, at % 1000, what.c_str());
            std::fflush(stderr);
        }
    });
    if (!relay.Start()) {
        std::fprintf(stderr, "velcora-fault-relay: cannot listen on port %u\n", o.listenPort);
        return 1;
    }
    const uint32_t a = o.listenAddress;
    std::printf("listening on %u.%u.%u.%u:%u\n", a & 0xFF, (a >> 8) & 0xFF, (a >> 16) & 0xFF,
                a >> 24, relay.Port());
    std::fflush(stdout);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);
    while (!g_stop)
        reactor.RunUntil([] { return g_stop != 0; }, 200);
    const auto& c = relay.Stats();
    std::fprintf(stderr,
                 "connections %d, cuts %d, stalls %d, corrupted bytes %d, %lld bytes up, %lld "
                 "down\n",
                 c.connections, c.cuts, c.stalls, c.corrupted, static_cast<long long>(c.bytesUp),
                 static_cast<long long>(c.bytesDown));
    return 0;
}
