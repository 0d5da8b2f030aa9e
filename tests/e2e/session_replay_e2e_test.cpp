#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/ctl/ctl.h"
#include "link/robot_link.h"
#include "link/session_file.h"
#include "link/session_recorder.h"
#include "media/frame_stamp.h"
#include "platform/posix_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_replay.h"
#include "sim/sim_robot.h"
#include "support/temp_folder.h"

namespace velcora {
namespace {

// A robot on its own thread: the simulated one, or one replaying a recording.
class Robot {
  public:
    explicit Robot(sim::SimOptions options, std::string replay = {}) {
        options.port = 0;
        options.password = "pw";
        thread_ = std::thread([this, options, replay] {
            platform::PollReactor reactor;
            sim::CSimRobot robot(reactor, options);
            if (replay.empty()) {
                sim::InstallFeatures(robot);
            } else {
                auto player = std::make_shared<sim::CSessionReplay>(sim::ReplayOptions{replay});
                std::string error;
                if (!player->Open(error)) {
                    port_ = 1;
                    return;
                }
                sim::InstallReplay(robot, player);
            }
            port_ = robot.Start() ? robot.Port() : 1;
            while (!stop_) {
                reactor.RunUntil([&] { return stop_.load(); }, 20);
            }
        });
        while (port_ == 0) {
            std::this_thread::yield();
        }
        setenv("VELCORA_PASSWORD", "pw", 1);
    }
    ~Robot() {
        stop_ = true;
        thread_.join();
        unsetenv("VELCORA_PASSWORD");
    }
    uint16_t Port() const { return port_; }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<uint16_t> port_{0};
    std::thread thread_;
};

struct Result {
    int rc = -1;
    std::string out;
    std::string err;
};

Result RunCtl(std::vector<std::string> args, uint16_t port = 0) {
    ctl::Registry registry;
    ctl::RegisterMediaCommands(registry);
    ctl::RegisterSessionCommands(registry);
    const ctl::Command* command = registry.Find(args.front());
    EXPECT_TRUE(command);
    args.erase(args.begin());
    if (port != 0) {
        args.insert(args.end(), {"--host", "127.0.0.1", "--port", std::to_string(port), "--ini",
                                 ::testing::TempDir() + "velcora_replay_e2e_missing.ini"});
    }
    ctl::Args a(args);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Result r;
    r.rc = command ? command->run(a) : -1;
    r.err = testing::internal::GetCapturedStderr();
    r.out = testing::internal::GetCapturedStdout();
    return r;
}

std::vector<uint32_t> RobotFrames(const std::string& text) {
    std::vector<uint32_t> out;
    static const std::regex re("robot frame ([0-9]+)");
    for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
        out.push_back(static_cast<uint32_t>(std::stoul((*it)[1])));
    }
    return out;
}

std::vector<SessionRecord> ReadRecords(const std::string& path, std::string* error = nullptr) {
    std::vector<SessionRecord> out;
    CSessionReader reader;
    if (!reader.Open(path)) {
        if (error)
            *error = reader.Error();
        return out;
    }
    SessionRecord r;
    while (reader.Next(r) == CSessionReader::Result::kRecord) {
        out.push_back(r);
    }
    if (error)
        *error = reader.Error();
    return out;
}

// A video session recorded with --record replays to a second client as the
// same pictures: every stamp it reads is one the recording holds, in order.
// The export and the cut of that recording work on the same file.
TEST(SessionReplayE2E, RecordedVideoReplaysExportsAndCuts) {
    test::TempFolder dir;
    const std::string file = dir.File("video.vrec");
    sim::SimOptions o;
    o.videoWidth = 160;
    o.videoHeight = 120;
    {
        Robot robot(o);
        const Result r = RunCtl({"video", "--camera", "1", "--frames", "12", "--bitrate", "80000",
                                 "--out", dir.File("first"), "--record", file},
                                robot.Port());
        ASSERT_EQ(r.rc, ctl::kExitDone) << r.err;
    }
    // The pictures in the recording, through the console's decoder.
    const Result exported = RunCtl({"session", "export", file, "--video", "1", dir.File("png")});
    ASSERT_EQ(exported.rc, ctl::kExitDone) << exported.err;
    std::vector<uint32_t> recorded;
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.File("png")))
        names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        QImage image(QString::fromStdString(name));
        ASSERT_FALSE(image.isNull()) << name;
        image = image.convertToFormat(QImage::Format_BGR888);
        const auto stamp = media::ReadFrameStamp(image.constBits(), image.width(), image.height(),
                                                 static_cast<int32_t>(image.bytesPerLine()));
        ASSERT_TRUE(stamp) << name;
        recorded.push_back(stamp->frame);
    }
    ASSERT_GE(recorded.size(), 12u);
    EXPECT_TRUE(std::is_sorted(recorded.begin(), recorded.end()));

    // Pictures of the same millisecond are all kept, in order.
    {
        SessionHeader h;
        h.host = "127.0.0.1";
        h.port = 5554;
        std::string bytes = EncodeSessionHeader(h);
        for (const SessionRecord& r : ReadRecords(file))
            if (r.kind == RecordKind::kIncoming && r.type != msg::kAuth &&
                r.type != msg::kAuthResult)
                bytes += EncodeRecordHead(1000, r.kind, false, r.type, r.length) + r.payload;
        const std::string same = dir.File("same.vrec");
        std::FILE* f = std::fopen(same.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        const Result again = RunCtl({"session", "export", same, "--video", "1", dir.File("same")});
        ASSERT_EQ(again.rc, ctl::kExitDone) << again.err;
        std::vector<std::string> sameNames;
        for (const auto& e : std::filesystem::directory_iterator(dir.File("same")))
            sameNames.push_back(e.path().string());
        std::sort(sameNames.begin(), sameNames.end());
        std::vector<uint32_t> stamps;
        for (const auto& name : sameNames) {
            QImage image =
                QImage(QString::fromStdString(name)).convertToFormat(QImage::Format_BGR888);
            const auto stamp =
                media::ReadFrameStamp(image.constBits(), image.width(), image.height(),
                                      static_cast<int32_t>(image.bytesPerLine()));
            ASSERT_TRUE(stamp) << name;
            stamps.push_back(stamp->frame);
        }
        EXPECT_EQ(stamps, recorded);
    }

    {
        Robot replaying(o, file);
        ASSERT_GT(replaying.Port(), 1);
        const Result r = RunCtl({"video", "--camera", "1", "--frames", "8", "--bitrate", "80000",
                                 "--out", dir.File("second")},
                                replaying.Port());
        ASSERT_EQ(r.rc, ctl::kExitDone) << r.err;
        const std::vector<uint32_t> seen = RobotFrames(r.err);
        ASSERT_EQ(seen.size(), 8u) << r.err;
        const std::set<uint32_t> known(recorded.begin(), recorded.end());
        for (const uint32_t f : seen)
            EXPECT_TRUE(known.count(f)) << "frame " << f << " is not in the recording";
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    }

    // The status table has a row per status and navigation report.
    const std::vector<SessionRecord> all = ReadRecords(file);
    size_t reports = 0;
    uint32_t end = 0;
    for (const auto& r : all) {
        reports += r.kind == RecordKind::kIncoming &&
                   (r.type == msg::kStatus || r.type == msg::kModeFlags);
        end = std::max(end, r.ms);
    }
    const Result csv = RunCtl({"session", "export", file, "--status", dir.File("s.csv")});
    ASSERT_EQ(csv.rc, ctl::kExitDone) << csv.err;
    const std::string table = dir.Read("s.csv");
    EXPECT_EQ(static_cast<size_t>(std::count(table.begin(), table.end(), '\n')), reports + 1);
    EXPECT_EQ(table.rfind("time_s,battery,charging,height,nav_mode", 0), 0u);

    // A piece from the middle starts with the link's state and keeps only
    // the records of its span, on its own clock.
    const double from = end / 2000.0;
    const Result cut = RunCtl({"session", "cut", file, dir.File("piece.vrec"), "--from",
                               std::to_string(from), "--to", std::to_string(from + 0.2)});
    ASSERT_EQ(cut.rc, ctl::kExitDone) << cut.err;
    std::string error;
    const std::vector<SessionRecord> piece = ReadRecords(dir.File("piece.vrec"), &error);
    ASSERT_FALSE(piece.empty()) << error;
    EXPECT_EQ(piece.front().kind, RecordKind::kLinkState);
    EXPECT_EQ(piece.front().type, kStateAuthorised);
    size_t inSpan = 0;
    const auto fromMs = static_cast<uint32_t>(std::llround(from * 1000));
    for (const auto& r : all)
        inSpan += r.ms >= fromMs && r.ms <= fromMs + 200;
    EXPECT_EQ(piece.size(), inSpan + 1);
    for (const auto& r : piece)
        EXPECT_LE(r.ms, 200u);

    // The plot draws the picture rate of the recording: its colour is in the
    // lowest strip, nowhere else.
    const Result plot = RunCtl({"session", "plot", file, dir.File("p.png")});
    ASSERT_EQ(plot.rc, ctl::kExitDone) << plot.err;
    const QImage drawn(QString::fromStdString(dir.File("p.png")));
    ASSERT_EQ(drawn.size(), QSize(1200, 720));
    int orangeTop = 0;
    int orangeBottom = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 80; x < drawn.width(); ++x) {
            const QColor c = drawn.pixelColor(x, y);
            if (c.red() > 170 && c.green() > 80 && c.green() < 150 && c.blue() < 90)
                ++(y < 440 ? orangeTop : orangeBottom);
        }
    }
    EXPECT_EQ(orangeTop, 0);
    EXPECT_GT(orangeBottom, 15);

    const Result info = RunCtl({"session", "info", dir.File("piece.vrec"), "--json"});
    EXPECT_EQ(info.rc, ctl::kExitDone) << info.err;
    EXPECT_NE(info.out.find("\"complete\":true"), std::string::npos) << info.out;
}

TEST(SessionCommands, DamagedRecordingsFailWithTheirReason) {
    test::TempFolder dir;
    dir.Write("foreign.vrec", "hello, world");
    const Result foreign = RunCtl({"session", "info", dir.File("foreign.vrec")});
    EXPECT_EQ(foreign.rc, ctl::kExitFailed);
    EXPECT_NE(foreign.err.find("is not a session recording"), std::string::npos) << foreign.err;

    // A recording cut inside its last record: the summary of what is there,
    // then the reason, and exit 1.
    {
        RecorderOptions o;
        o.path = dir.File("s.vrec");
        CSessionRecorder rec(o);
        std::string error;
        ASSERT_TRUE(rec.Open(error));
        rec.OnLinkState(0, kStateAuthorised, "h", 1, false);
        rec.OnFrame(10, FrameDirection::kIncoming, msg::kStatus, std::string(11, '\x20'));
        rec.OnFrame(20, FrameDirection::kIncoming, msg::kStatus, std::string(11, '\x30'));
        ASSERT_TRUE(rec.Close());
    }
    const std::string whole = dir.Read("s.vrec");
    dir.Write("cut.vrec", whole.substr(0, whole.size() - 3));
    const Result cut = RunCtl({"session", "info", dir.File("cut.vrec")});
    EXPECT_EQ(cut.rc, ctl::kExitFailed);
    EXPECT_NE(cut.out.find("in 1 "), std::string::npos) << cut.out;
    EXPECT_NE(cut.err.find("is cut short"), std::string::npos) << cut.err;
    const Result csv =
        RunCtl({"session", "export", dir.File("cut.vrec"), "--status", dir.File("cut.csv")});
    EXPECT_EQ(csv.rc, ctl::kExitFailed);
    EXPECT_NE(csv.out.find("1 status rows"), std::string::npos) << csv.out;

    const Result usage = RunCtl(
        {"session", "cut", dir.File("s.vrec"), dir.File("x.vrec"), "--from", "2", "--to", "1"});
    EXPECT_EQ(usage.rc, ctl::kExitUsage);
}

// ------------------------------------------------------------------ timing

struct SpeedCase {
    const char* name;
    double speed;
    uint32_t dueMs;  // real time by which the last frame has gone
};

class ReplaySpeed : public ::testing::TestWithParam<SpeedCase> {};

// Frames leave at their recorded time after the authorisation, divided by
// the speed; only what the robot sent is sent again.
TEST_P(ReplaySpeed, FramesLeaveAtTheirScaledTimes) {
    test::TempFolder dir;
    const std::string file = dir.File("s.vrec");
    {
        RecorderOptions o;
        o.path = file;
        CSessionRecorder rec(o);
        std::string error;
        ASSERT_TRUE(rec.Open(error));
        rec.OnLinkState(500, kStateAuthorising, "h", 1, false);
        rec.OnFrame(510, FrameDirection::kIncoming, msg::kAuth, "abcd");
        rec.OnLinkState(1000, kStateAuthorised, "h", 1, false);
        for (uint32_t k = 1; k <= 20; ++k) {
            rec.OnFrame(1000 + k * 100, FrameDirection::kIncoming, msg::kStatus,
                        std::string(1, static_cast<char>(k)));
            rec.OnFrame(1000 + k * 100, FrameDirection::kOutgoing, msg::kStatus, "");
            rec.OnFrame(1000 + k * 100, FrameDirection::kIncoming, msg::kKeepAlive, "");
        }
        ASSERT_TRUE(rec.Close());
    }
    sim::CSessionReplay replay({file, GetParam().speed, false});
    std::string error;
    ASSERT_TRUE(replay.Open(error)) << error;
    EXPECT_EQ(replay.LengthMs(), 2000u);
    replay.Restart();
    std::vector<std::pair<uint32_t, std::string>> sent;
    uint32_t now = 0;
    const auto send = [&](msg::Type type, std::string_view payload) {
        EXPECT_EQ(type, msg::kStatus);
        sent.push_back({now, std::string(payload)});
    };
    const uint32_t due = GetParam().dueMs;
    while (now + 10 < due) {
        now += 10;
        replay.Tick(10, send);
    }
    EXPECT_EQ(sent.size(), 19u);
    EXPECT_FALSE(replay.Finished());
    now += 10;
    replay.Tick(10, send);
    ASSERT_EQ(sent.size(), 20u);
    for (uint32_t k = 1; k <= 20; ++k) {
        EXPECT_EQ(sent[k - 1].second, std::string(1, static_cast<char>(k)));
        EXPECT_NEAR(sent[k - 1].first, k * 100 / GetParam().speed, 10.0);
    }
    replay.Tick(10, send);
    EXPECT_TRUE(replay.Finished());
}

INSTANTIATE_TEST_SUITE_P(Speeds, ReplaySpeed,
                         ::testing::Values(SpeedCase{"Recorded", 1.0, 2000},
                                           SpeedCase{"FourTimes", 4.0, 500},
                                           SpeedCase{"Half", 0.5, 4000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Replay, LoopsAndRefusesNewerRecordings) {
    test::TempFolder dir;
    const std::string file = dir.File("s.vrec");
    {
        RecorderOptions o;
        o.path = file;
        CSessionRecorder rec(o);
        std::string error;
        ASSERT_TRUE(rec.Open(error));
        rec.OnLinkState(0, kStateAuthorised, "h", 1, false);
        rec.OnFrame(100, FrameDirection::kIncoming, msg::kStatus, "a");
        rec.OnFrame(200, FrameDirection::kIncoming, msg::kStatus, "b");
        ASSERT_TRUE(rec.Close());
    }
    sim::CSessionReplay replay({file, 1.0, true});
    std::string error;
    ASSERT_TRUE(replay.Open(error)) << error;
    replay.Restart();
    std::string sent;
    for (int i = 0; i < 50; ++i)
        replay.Tick(10, [&](msg::Type, std::string_view p) { sent += p; });
    EXPECT_EQ(sent, "ababa");
    EXPECT_FALSE(replay.Finished());
    // A new console starts from the beginning.
    replay.Restart();
    sent.clear();
    replay.Tick(150, [&](msg::Type, std::string_view p) { sent += p; });
    EXPECT_EQ(sent, "a");

    std::string bytes = dir.Read("s.vrec");
    bytes[8] = 9;
    dir.Write("newer.vrec", bytes);
    sim::CSessionReplay newer({dir.File("newer.vrec"), 1.0, false});
    EXPECT_FALSE(newer.Open(error));
    EXPECT_NE(error.find("by a newer console"), std::string::npos) << error;
}

}  // namespace
}  // namespace velcora
