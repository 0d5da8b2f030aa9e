// velcoractl screen and telnet against the simulated robot over 127.0.0.1:
// the desktop saved upright, input reaching the robot's screen, and the
// robot's console answering.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <thread>

#include "app/ctl/ctl.h"
#include "app/ctl/desktop_commands.h"
#include "app/ctl/session.h"
#include "media/color_convert.h"
#include "media/frame_stamp.h"
#include "platform/posix_reactor.h"
#include "sim/sim_desktop.h"
#include "sim/sim_features.h"
#include "sim/sim_robot.h"
#include "sim/sim_telnet.h"

namespace velcora {
namespace {

// The robot with its telnet console, on a thread of its own.
class DesktopRobot {
  public:
    DesktopRobot() {
        thread_ = std::thread([this] {
            platform::PollReactor reactor;
            sim::SimOptions o;
            o.port = 0;
            o.telnetPort = 0;
            sim::CSimRobot robot(reactor, o);
            sim::InstallFeatures(robot);
            const bool started = robot.Start();
            telnetPort_ = sim::TelnetPort(robot);
            port_ = started ? robot.Port() : 1;
            while (!stop_)
                reactor.RunUntil([this] { return stop_.load(); }, 20);
            if (inspect_)
                inspect_(robot);
        });
        while (port_ == 0)
            std::this_thread::yield();
    }
    ~DesktopRobot() { Stop(); }
    void Stop(std::function<void(sim::CSimRobot&)> inspect = nullptr) {
        if (!thread_.joinable())
            return;
        inspect_ = std::move(inspect);
        stop_ = true;
        thread_.join();
    }
    uint16_t Port() const { return port_; }
    uint16_t TelnetPort() const { return telnetPort_; }

  private:
    std::atomic<uint16_t> port_{0};
    std::atomic<uint16_t> telnetPort_{0};
    std::atomic<bool> stop_{false};
    std::function<void(sim::CSimRobot&)> inspect_;
    std::thread thread_;
};

struct Result {
    int rc = -1;
    std::string out;
    std::string err;
};

std::vector<std::string> Connection(uint16_t port) {
    return {"--host", "127.0.0.1",
            "--port", std::to_string(port),
            "--ini",  ::testing::TempDir() + "velcora_desktop_e2e_missing.ini"};
}

Result RunCtl(const char* name, std::vector<std::string> args, uint16_t port) {
    ctl::Registry registry;
    ctl::RegisterDesktopCommands(registry);
    const ctl::Command* command = registry.Find(name);
    EXPECT_TRUE(command);
    for (auto& a : Connection(port))
        args.push_back(a);
    ctl::Args a(args);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Result r;
    r.rc = command ? command->run(a) : -1;
    r.err = testing::internal::GetCapturedStderr();
    r.out = testing::internal::GetCapturedStdout();
    return r;
}

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "velcora_desktop_e2e_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + name;
}

uint32_t BigEndian(const std::string& s, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[at])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3]));
}

// Reads back the PNG files velcoractl writes (RGB, 8 bits, rows unfiltered)
// into a BGR picture.
bool ReadPng(const std::string& path, int& w, int& h, std::vector<uint8_t>& bgr) {
    std::ifstream in(path, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < 8 || file.compare(0, 8, std::string("\x89PNG\r\n\x1A\n", 8)) != 0)
        return false;
    std::string packed;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t length = BigEndian(file, at);
        const std::string type = file.substr(at + 4, 4);
        const std::string data = file.substr(at + 8, length);
        const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(file.data() + at + 4),
                                static_cast<uInt>(length + 4));
        if (crc != BigEndian(file, at + 8 + length))
            return false;
        if (type == "IHDR") {
            w = static_cast<int>(BigEndian(data, 0));
            h = static_cast<int>(BigEndian(data, 4));
            if (data.substr(8, 5) != std::string("\x08\x02\x00\x00\x00", 5))
                return false;
        } else if (type == "IDAT") {
            packed += data;
        }
        at += 12 + length;
    }
    std::vector<uint8_t> raw(static_cast<size_t>(w * 3 + 1) * h);
    uLongf size = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(packed.data()),
                   static_cast<uLong>(packed.size())) != Z_OK ||
        size != raw.size())
        return false;
    const int pitch = media::BgrPitch(w);
    bgr.assign(static_cast<size_t>(pitch) * h, 0);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = raw.data() + static_cast<size_t>(y) * (w * 3 + 1);
        if (row[0] != 0)
            return false;
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                bgr[y * pitch + 3 * x + c] = row[1 + 3 * x + 2 - c];
    }
    return true;
}

TEST(DesktopE2e, ScreenGrabWritesTheDesktopUpright) {
    DesktopRobot robot;
    const std::string png = TempPath("d.png");
    const Result r = RunCtl("screen", {"grab", png}, robot.Port());
    ASSERT_EQ(r.rc, 0) << r.err;
    int w = 0, h = 0;
    std::vector<uint8_t> bgr;
    ASSERT_TRUE(ReadPng(png, w, h, bgr));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    const int pitch = media::BgrPitch(w);
    // Only an upright picture carries a readable stamp in its top-left corner.
    EXPECT_TRUE(media::ReadFrameStamp(bgr.data(), w, h, pitch).has_value());
    // And the taskbar is at the bottom.
    const uint8_t* p = &bgr[(h - 4) * pitch + 3 * (w / 2)];
    EXPECT_NEAR(p[0], 0x30, 24);
    EXPECT_NEAR(p[1], 0x28, 24);
    EXPECT_NEAR(p[2], 0x20, 24);
    std::remove(png.c_str());
}

TEST(DesktopE2e, ClickAndTypingReachTheRobotsScreen) {
    DesktopRobot robot;
    sim::CSimDesktopScene layout(1280, 960);
    const sim::SimRect b = layout.ButtonRect();
    const Result click =
        RunCtl("screen", {"click", std::to_string((b.x + 20) / 2), std::to_string((b.y + 20) / 2)},
               robot.Port());
    ASSERT_EQ(click.rc, 0) << click.err;
    const Result typed = RunCtl("screen", {"type", "Hi 5!"}, robot.Port());
    ASSERT_EQ(typed.rc, 0) << typed.err;
    const Result keys = RunCtl("screen", {"key", "enter", "alt+f4"}, robot.Port());
    ASSERT_EQ(keys.rc, 0) << keys.err;
    bool on = false;
    std::vector<std::string> log;
    bool logOpen = true;
    robot.Stop([&](sim::CSimRobot& r) {
        const sim::SimDesktop& d = r.Feature<sim::SimDesktop>();
        on = d.scene->ButtonOn();
        log = d.scene->Log();
        logOpen = d.scene->Windows()[0].visible;
    });
    EXPECT_TRUE(on);
    EXPECT_NE(std::find(log.begin(), log.end(), "Hi 5!"), log.end());
    EXPECT_FALSE(logOpen);  // Alt+F4 closed the front window, the log
}

TEST(SimDesktopScene, WindowsDragSwitchCloseAndComeBack) {
    sim::CSimDesktopScene scene(1280, 960);
    const sim::SimRect notes = scene.Windows()[1].rect;
    // Dragged by its title bar, the window follows; the title stays on screen.
    scene.LeftDown(notes.x + 50, notes.y + 10);
    scene.LeftMove(notes.x + 150, notes.y - 1000);
    scene.LeftUp(notes.x + 150, notes.y - 1000);
    EXPECT_EQ(scene.Windows()[1].rect.x, notes.x + 100);
    EXPECT_EQ(scene.Windows()[1].rect.y, 0);
    EXPECT_EQ(scene.ZOrder().front(), 1u);
    // Alt+Tab brings the other one forward; Alt+F4 closes the front one.
    scene.Key(0x12, true);
    EXPECT_TRUE(scene.Key(0x09, true));
    EXPECT_EQ(scene.ZOrder().front(), 0u);
    EXPECT_TRUE(scene.Key(0x73, true));
    scene.Key(0x12, false);
    EXPECT_FALSE(scene.Windows()[0].visible);
    // Ctrl+Esc opens the start menu, which brings it back.
    scene.Key(0x11, true);
    scene.Key(0x1B, true);
    scene.Key(0x11, false);
    ASSERT_TRUE(scene.StartMenuOpen());
    const sim::SimRect item = scene.StartItemRect(0);
    scene.LeftDown(item.x + 5, item.y + 5);
    scene.LeftUp(item.x + 5, item.y + 5);
    EXPECT_TRUE(scene.Windows()[0].visible);
    EXPECT_FALSE(scene.StartMenuOpen());
}

TEST(SimDesktopScene, RightClickMenuAndTyping) {
    sim::CSimDesktopScene scene(1280, 960);
    const uint32_t background = scene.Background();
    scene.RightDown(1250, 900);  // near the corner: the menu stays on screen
    scene.RightUp(1250, 900);
    ASSERT_TRUE(scene.MenuOpen());
    const sim::SimRect item = scene.MenuItemRect(1);
    EXPECT_LE(item.x + item.w, 1280);
    scene.LeftDown(item.x + 5, item.y + 5);
    EXPECT_FALSE(scene.MenuOpen());
    EXPECT_NE(scene.Background(), background);
    for (uint8_t vk : {0x10, 0x41, 0x31})  // Shift, A, 1
        scene.Key(vk, true);
    scene.Key(0x08, true);  // backspace
    EXPECT_EQ(scene.Log().back(), "A");
}

struct UsageCase {
    std::vector<std::string> args;
    int rc;
};

class ScreenUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(ScreenUsage, IsCheckedBeforeConnecting) {
    // Port 1: nothing listens; a usage error never gets that far.
    const Result r = RunCtl("screen", GetParam().args, 1);
    EXPECT_EQ(r.rc, GetParam().rc) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScreenUsage,
    ::testing::Values(UsageCase{{}, 2}, UsageCase{{"grab"}, 2}, UsageCase{{"click", "1"}, 2},
                      UsageCase{{"click", "-1", "5"}, 2}, UsageCase{{"drag", "1", "2", "3"}, 2},
                      UsageCase{{"key", "hyper+x"}, 2}, UsageCase{{"type", "жук"}, 2},
                      UsageCase{{"watch", "--seconds", "0"}, 2},
                      UsageCase{{"grab", "x.png", "--right"}, 2}, UsageCase{{"paint"}, 2}));

TEST(DesktopE2e, ClickOutsideThePictureFails) {
    DesktopRobot robot;
    const Result r = RunCtl("screen", {"click", "700", "10"}, robot.Port());
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("outside the 640x480 picture"), std::string::npos) << r.err;
}

// The telnet console with its input from a pipe and its output in a file.
Result RunTelnet(uint16_t port, int telnetPort, const std::string& input) {
    ctl::ConnectionOptions options;
    options.host = "127.0.0.1";
    options.port = port;
    options.ini = ::testing::TempDir() + "velcora_desktop_e2e_missing.ini";
    ctl::Session session(options);
    Result r;
    testing::internal::CaptureStderr();
    r.rc = session.Open();
    if (r.rc == 0) {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        EXPECT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
        ::close(fds[1]);
        std::FILE* out = std::tmpfile();
        r.rc = ctl::RunTelnetConsole(session, telnetPort, fds[0], out);
        ::close(fds[0]);
        std::rewind(out);
        char buffer[4096];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, out)) > 0)
            r.out.append(buffer, got);
        std::fclose(out);
    }
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

TEST(DesktopE2e, TelnetEchoesPrivetAndEndsAfterTheInput) {
    DesktopRobot robot;
    const Result r = RunTelnet(robot.Port(), robot.TelnetPort(), "echo привет\n");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("Консоль робота"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("robot> echo привет\nпривет\nrobot> "), std::string::npos) << r.out;
}

TEST(DesktopE2e, TelnetEndsWhenTheRobotClosesTheConsole) {
    DesktopRobot robot;
    const Result r = RunTelnet(robot.Port(), robot.TelnetPort(), "exit\nstatus\n");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("До свидания!"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Батарея"), std::string::npos) << r.out;
}

TEST(DesktopE2e, TelnetToAClosedPortIsUnreachable) {
    DesktopRobot robot;
    const Result r = RunTelnet(robot.Port(), 1, "status\n");
    EXPECT_EQ(r.rc, 3);
    EXPECT_NE(r.err.find("unreachable"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace velcora
