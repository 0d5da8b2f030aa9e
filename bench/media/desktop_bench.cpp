// The remote desktop and the telnet console against their references:
// - the window's picture path (parse the screen message, decode, turn the
//   rows upright into the shown picture) against decoding the same packets;
// - over loopback with the simulated robot: pictures shown per second against
//   pictures sent, and the time from a click to the picture showing it
//   against one encode plus decode of such a picture;
// - the telnet console reading 10 MB in 16 KiB chunks (decoder and bounded
//   text) against looking every byte up in the code table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/robot_connection.h"
#include "link/text_codec.h"
#include "media/codec.h"
#include "media/color_convert.h"
#include "media/remote_desktop.h"
#include "media/telnet.h"
#include "platform/manual_reactor.h"
#include "platform/posix_reactor.h"
#include "sim/sim_desktop.h"
#include "sim/sim_features.h"
#include "sim/sim_robot.h"
#include "support/fake_link.h"

namespace {

using namespace velcora;
using namespace velcora::media;

// ------------------------------------------------------------ picture path

struct DesktopStream {
    int w = 0, h = 0;
    std::vector<std::string> payloads;  // screen messages as the robot sends them
};

// A second of the simulated desktop with its clock, pointer and spinner
// moving, encoded as the robot does (no B-frames, bottom row first).
const DesktopStream& StreamOf(int w, int h) {
    static std::map<std::pair<int, int>, DesktopStream> cache;
    DesktopStream& s = cache[{w, h}];
    if (!s.payloads.empty())
        return s;
    s.w = w;
    s.h = h;
    sim::CSimDesktopScene scene(w * 2, h * 2);
    CVideoEncoder enc;
    enc.Open(w, h, 25, 1500000, 0);
    const int pitch = BgrPitch(w);
    std::vector<uint8_t> picture(static_cast<size_t>(pitch) * h);
    for (int i = 0; i < 25; ++i) {
        scene.LeftMove(40 * i, 30 * i);
        scene.Render(picture.data(), w, h, pitch, static_cast<uint32_t>(i), 1000u * i);
        const auto flipped = UprightRows({w, h, pitch, picture.data()}, pitch);
        std::vector<Packet> packets;
        enc.Encode(flipped.data(), w, h, pitch, packets);
        for (const Packet& p : packets) {
            std::string m;
            m += static_cast<char>(w & 0xFF);
            m += static_cast<char>(w >> 8);
            m += static_cast<char>(h & 0xFF);
            m += static_cast<char>(h >> 8);
            m.append(reinterpret_cast<const char*>(p.data()), p.size());
            s.payloads.push_back(std::move(m));
        }
    }
    return s;
}

void PicturePathOurs(benchmark::State& state, int w, int h) {
    const DesktopStream& s = StreamOf(w, h);
    test::FakeLink link;
    CRemoteDesktop desktop(link, nullptr);
    // What the window shows: the picture upright, one copy per picture.
    std::vector<uint8_t> shown(static_cast<size_t>(w) * 3 * h);
    size_t i = 0;
    for (auto _ : state) {
        link.Receive(msg::kDesktopScreen, s.payloads[i]);
        const PictureView pic = desktop.Current();
        if (pic.bgr) {
            for (int32_t y = 0; y < pic.height; ++y)
                std::memcpy(shown.data() + static_cast<size_t>(y) * w * 3,
                            pic.bgr + static_cast<size_t>(pic.height - 1 - y) * pic.pitch,
                            static_cast<size_t>(w) * 3);
        }
        benchmark::DoNotOptimize(shown.data());
        i = (i + 1) % s.payloads.size();
    }
    state.SetItemsProcessed(state.iterations());
}

void PicturePathReference(benchmark::State& state, int w, int h) {
    const DesktopStream& s = StreamOf(w, h);
    CVideoDecoder decoder;
    decoder.Open(w, h);
    size_t i = 0;
    for (auto _ : state) {
        const std::string& m = s.payloads[i];
        decoder.Decode(reinterpret_cast<const uint8_t*>(m.data()) + 4,
                       static_cast<int32_t>(m.size()) - 4);
        benchmark::DoNotOptimize(decoder.Bgr());
        i = (i + 1) % s.payloads.size();
    }
    state.SetItemsProcessed(state.iterations());
}

// ---------------------------------------------------------------- loopback

// The simulated robot on a thread of its own.
class RobotThread {
  public:
    explicit RobotThread(sim::SimOptions o) {
        thread_ = std::thread([this, o] {
            platform::PollReactor reactor;
            sim::CSimRobot robot(reactor, o);
            sim::InstallFeatures(robot);
            port_ = robot.Start() ? robot.Port() : 1;
            while (!stop_)
                reactor.RunUntil([this] { return stop_.load(); }, 20);
            sent_ = robot.Feature<sim::SimDesktop>().picturesSent;
        });
        while (port_ == 0)
            std::this_thread::yield();
    }
    ~RobotThread() { Stop(); }
    uint64_t Stop() {
        if (thread_.joinable()) {
            stop_ = true;
            thread_.join();
        }
        return sent_;
    }
    uint16_t Port() const { return port_; }

  private:
    std::thread thread_;
    std::atomic<uint16_t> port_{0};
    std::atomic<bool> stop_{false};
    uint64_t sent_ = 0;
};

class Owner : public IRobotConnectionOwner {
  public:
    void OnConnectionStateChanged() override {}
};

struct Counter : IRemoteDesktopView {
    void DesktopContentChanged(int32_t, int32_t) override {}
    void DesktopPictureChanged() override {
        ++shown;
        shownAt = std::chrono::steady_clock::now();
    }
    uint64_t shown = 0;
    std::chrono::steady_clock::time_point shownAt;
};

struct LoopbackResult {
    double shownPerSecond = 0;
    double sentPerSecond = 0;
    std::vector<double> clickMs;
    bool ok = false;
};

// Streams the 1920 x 1080 desktop (sent at 960 x 540) at 25 pictures a second
// for three seconds, then clicks the robot's button twenty times.
const LoopbackResult& Loopback() {
    static LoopbackResult r;
    static bool done = false;
    if (done)
        return r;
    done = true;
    sim::SimOptions o;
    o.port = 0;
    o.desktopWidth = 1920;
    o.desktopHeight = 1080;
    o.desktopFps = 25;
    RobotThread robot(o);
    platform::PollReactor reactor;
    CMessageDispatcher dispatcher;
    Owner owner;
    CRobotConnection link(reactor, dispatcher, &owner);
    if (!link.ConnectAnsi("127.0.0.1", robot.Port(), false))
        return r;
    Counter view;
    CRemoteDesktop desktop(link, &view);
    uint32_t last = reactor.Now();
    platform::ScopedTimer tick(reactor, 20, [&] {
        const uint32_t now = reactor.Now();
        desktop.Tick(static_cast<int32_t>(now - last));
        last = now;
        link.Tick();
    });
    if (!reactor.RunUntil([&] { return view.shown > 0; }, 5000))
        return r;
    const uint64_t shownBefore = view.shown;
    const auto start = std::chrono::steady_clock::now();
    reactor.RunUntil([] { return false; }, 3000);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.shownPerSecond = static_cast<double>(view.shown - shownBefore) / seconds;

    sim::CSimDesktopScene layout(o.desktopWidth, o.desktopHeight);
    const sim::SimRect b = layout.ButtonRect();
    for (int i = 0; i < 20; ++i) {
        // Between pictures of the stream, so that the next one is the click's.
        reactor.RunUntil([] { return false; }, 17);
        const uint64_t before = view.shown;
        const auto clicked = std::chrono::steady_clock::now();
        desktop.MouseDown(MouseButton::Left, (b.x + 20) / 2, (b.y + 20) / 2);
        desktop.MouseUp(MouseButton::Left, (b.x + 20) / 2, (b.y + 20) / 2);
        link.Flush();
        // The button's colour flips in the picture that answers the click.
        const bool expectOn = i % 2 == 0;
        const bool shown = reactor.RunUntil(
            [&] {
                if (view.shown == before)
                    return false;
                const PictureView pic = desktop.Current();
                const uint8_t* p = pic.bgr +
                                   static_cast<size_t>(pic.height - 1 - (b.y + 8) / 2) * pic.pitch +
                                   3 * ((b.x + 8) / 2);
                const bool green = p[1] > 150 && p[0] < 120;
                return green == expectOn;
            },
            2000);
        if (shown)
            r.clickMs.push_back(
                std::chrono::duration<double, std::milli>(view.shownAt - clicked).count());
    }
    // Shown against sent over the whole session (every picture went to us).
    const uint64_t sent = robot.Stop();
    if (sent == 0 || view.shown == 0)
        return r;
    r.sentPerSecond =
        r.shownPerSecond * static_cast<double>(sent) / static_cast<double>(view.shown);
    r.ok = !r.clickMs.empty();
    return r;
}

double Percentile(std::vector<double> v, int percent) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[(v.size() - 1) * static_cast<size_t>(percent) / 100];
}

void LoopbackRate(benchmark::State& state, bool ours) {
    const LoopbackResult& r = Loopback();
    if (!r.ok || r.shownPerSecond <= 0) {
        state.SkipWithError("the simulated robot's desktop did not stream");
        return;
    }
    for (auto _ : state)
        state.SetIterationTime(1.0 / (ours ? r.shownPerSecond : r.sentPerSecond));
    state.counters["pictures_per_s"] = ours ? r.shownPerSecond : r.sentPerSecond;
}

// One encode plus one decode of a 960 x 540 desktop picture, in ms.
double EncodeDecodeMs() {
    const DesktopStream& s = StreamOf(960, 540);
    (void)s;
    sim::CSimDesktopScene scene(1920, 1080);
    const int w = 960, h = 540, pitch = BgrPitch(w);
    std::vector<uint8_t> picture(static_cast<size_t>(pitch) * h);
    CVideoEncoder enc;
    enc.Open(w, h, 25, 1500000, 0);
    CVideoDecoder dec;
    dec.Open(w, h);
    std::vector<double> times;
    for (int i = 0; i < 30; ++i) {
        scene.LeftDown(i * 7, 500);
        scene.Render(picture.data(), w, h, pitch, static_cast<uint32_t>(i), 0);
        const auto start = std::chrono::steady_clock::now();
        std::vector<Packet> packets;
        enc.Encode(picture.data(), w, h, pitch, packets);
        for (const Packet& p : packets)
            dec.Decode(p.data(), static_cast<int32_t>(p.size()));
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    return Percentile(times, 50);
}

void ClickLatency(benchmark::State& state, bool ours, int percent) {
    double ms = 0;
    if (ours) {
        const LoopbackResult& r = Loopback();
        if (!r.ok) {
            state.SkipWithError("no click was answered");
            return;
        }
        ms = Percentile(r.clickMs, percent);
    } else {
        static const double reference = EncodeDecodeMs();
        ms = reference;
    }
    for (auto _ : state)
        state.SetIterationTime(ms / 1000.0);
    state.counters["ms"] = ms;
}

// ------------------------------------------------------------------ telnet

// 10 MB of a busy console: KOI8-R lines, colours, telnet commands.
const std::vector<std::string>& TelnetChunks() {
    static std::vector<std::string> chunks;
    if (!chunks.empty())
        return chunks;
    const std::string line =
        WideToKoi8r(u"robot: состояние 87% ─ заряд, ёмкость 1234 мА·ч") + "\x1B[32mOK\x1B[0m\r\n";
    std::string all;
    while (all.size() < 10u * 1000 * 1000) {
        all += line;
        if (all.size() % 97 == 0)
            all += "\xFF\xF1";  // a no-op command now and then
    }
    for (size_t at = 0; at < all.size(); at += 16384)
        chunks.push_back(all.substr(at, 16384));
    return chunks;
}

void TelnetOurs(benchmark::State& state) {
    const auto& chunks = TelnetChunks();
    for (auto _ : state) {
        platform::ManualReactor reactor;
        CTelnetConsole console(reactor, nullptr);
        console.Open(23, platform::kLoopback, true);
        const auto socket = reactor.LastSocket();
        reactor.Fire(socket, platform::kEventConnect);
        for (const std::string& c : chunks) {
            reactor.Push(socket, c);
            reactor.Fire(socket, platform::kEventRead);
        }
        benchmark::DoNotOptimize(console.Text().data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(chunks.size()) * 16384);
}

void TelnetReference(benchmark::State& state) {
    const auto& chunks = TelnetChunks();
    const char16_t* table = Koi8rTable();
    for (auto _ : state) {
        std::u16string text;
        for (const std::string& c : chunks) {
            text.clear();
            for (char b : c)
                text += table[static_cast<uint8_t>(b)];
            benchmark::DoNotOptimize(text.data());
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(chunks.size()) * 16384);
}

[[maybe_unused]] const int kRegistered = [] {
    for (auto [w, h] : {std::pair{640, 480}, std::pair{960, 540}}) {
        const std::string base =
            "desktop_picture_path/" + std::to_string(w) + "x" + std::to_string(h);
        benchmark::RegisterBenchmark((base + "/ours").c_str(), PicturePathOurs, w, h);
        benchmark::RegisterBenchmark((base + "/reference").c_str(), PicturePathReference, w, h);
    }
    benchmark::RegisterBenchmark("desktop_loopback_rate_960x540/ours", LoopbackRate, true)
        ->UseManualTime()
        ->Iterations(1);
    benchmark::RegisterBenchmark("desktop_loopback_rate_960x540/reference", LoopbackRate, false)
        ->UseManualTime()
        ->Iterations(1);
    for (int percent : {50, 95}) {
        const std::string base = "desktop_click_to_picture_p" + std::to_string(percent);
        benchmark::RegisterBenchmark((base + "/ours").c_str(), ClickLatency, true, percent)
            ->UseManualTime()
            ->Iterations(1);
        benchmark::RegisterBenchmark((base + "/reference").c_str(), ClickLatency, false, percent)
            ->UseManualTime()
            ->Iterations(1);
    }
    benchmark::RegisterBenchmark("telnet_10MB/ours", TelnetOurs)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("telnet_10MB/reference", TelnetReference)
        ->Unit(benchmark::kMillisecond);
    return 0;
}();

}  // namespace
