#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include <unistd.h>

#include "app/ctl/ctl.h"
#include "link/robot_connection.h"
#include "media/color_convert.h"
#include "media/frame_stamp.h"
#include "media/wav_file.h"
#include "platform/posix_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_media.h"
#include "sim/sim_robot.h"

namespace velcora {
namespace {

// The simulated robot on a thread of its own, so that a velcoractl command
// runs exactly as from the shell.
class RobotThread {
  public:
    explicit RobotThread(sim::SimOptions options) {
        options.port = 0;
        options.password = "pw";
        thread_ = std::thread([this, options] {
            platform::PollReactor reactor;
            sim::CSimRobot robot(reactor, options);
            sim::InstallFeatures(robot);
            port_ = robot.Start() ? robot.Port() : 1;
            while (!stop_) {
                reactor.RunUntil([&] { return stop_.load(); }, 20);
                micBlocks_ = robot.Feature<sim::SimMedia>().micBlocks;
            }
        });
        while (port_ == 0) {
            std::this_thread::yield();
        }
        setenv("VELCORA_PASSWORD", "pw", 1);
    }
    ~RobotThread() {
        stop_ = true;
        thread_.join();
        unsetenv("VELCORA_PASSWORD");
    }
    uint16_t Port() const { return port_; }
    uint64_t MicBlocks() const { return micBlocks_; }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<uint16_t> port_{0};
    std::atomic<uint64_t> micBlocks_{0};
    std::thread thread_;
};

struct Result {
    int rc = -1;
    std::string out;
    std::string err;
};

Result RunCommand(const char* name, std::vector<std::string> args, uint16_t port) {
    ctl::Registry registry;
    ctl::RegisterMediaCommands(registry);
    const ctl::Command* command = registry.Find(name);
    EXPECT_TRUE(command);
    args.insert(args.end(), {"--host", "127.0.0.1", "--port", std::to_string(port), "--ini",
                             ::testing::TempDir() + "velcora_media_e2e_missing.ini"});
    ctl::Args a(args);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Result r;
    r.rc = command ? command->run(a) : -1;
    r.err = testing::internal::GetCapturedStderr();
    r.out = testing::internal::GetCapturedStdout();
    return r;
}

// A temporary path of this test alone: ctest runs the cases side by side.
std::string TempPath(const std::string& name) {
    std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(test.begin(), test.end(), '/', '_');
    return ::testing::TempDir() + "velcora_media_e2e_" + std::to_string(getpid()) + "_" + test +
           "_" + name;
}

std::string FreshDir(const std::string& name) {
    const std::string dir = TempPath(name);
    std::filesystem::remove_all(dir);
    return dir;
}

// A binary PPM back into a BGR picture.
bool ReadPpm(const std::string& path, int& w, int& h, std::vector<uint8_t>& bgr) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int max = 0;
    if (!(in >> magic >> w >> h >> max) || magic != "P6" || max != 255) {
        return false;
    }
    in.get();
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    if (!in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()))) {
        return false;
    }
    const int pitch = media::BgrPitch(w);
    bgr.assign(static_cast<size_t>(pitch) * h, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                bgr[y * pitch + 3 * x + c] = rgb[(static_cast<size_t>(y) * w + x) * 3 + 2 - c];
            }
        }
    }
    return true;
}

// Frequencies of the loud stretches of a recording, from zero crossings in
// windows of `windowMs`.
std::vector<double> WindowFrequencies(const std::vector<int16_t>& s, int rate, int windowMs) {
    std::vector<double> out;
    const size_t n = static_cast<size_t>(rate) * windowMs / 1000;
    for (size_t start = 0; start + n <= s.size(); start += n) {
        double energy = 0;
        int crossings = 0;
        for (size_t i = start; i < start + n; ++i) {
            energy += static_cast<double>(s[i]) * s[i];
            if (i > start && (s[i - 1] < 0) != (s[i] < 0)) {
                ++crossings;
            }
        }
        if (std::sqrt(energy / n) > 1000) {
            out.push_back(crossings / 2.0 * 1000.0 / windowMs);
        }
    }
    return out;
}

double Median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// ------------------------------------------------------------------ video

class VideoE2E : public ::testing::TestWithParam<int> {};

// Each camera uses another form of the picture message (with ranges and
// lines, with ranges, plain); every one must decode to the robot's pictures,
// in the robot's order.
TEST_P(VideoE2E, PicturesDecodeWithTheRobotsFrameNumbersInOrder) {
    sim::SimOptions o;
    o.videoWidth = 160;
    o.videoHeight = 120;
    RobotThread robot(o);
    const std::string dir = FreshDir("frames");
    const int camera = GetParam();
    const Result r = RunCommand(
        "video",
        {"--camera", std::to_string(camera), "--frames", "8", "--bitrate", "80000", "--out", dir},
        robot.Port());
    ASSERT_EQ(r.rc, ctl::kExitDone) << r.err;
    std::vector<uint32_t> numbers;
    for (int i = 1; i <= 8; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame%05d.ppm", i);
        int w = 0;
        int h = 0;
        std::vector<uint8_t> bgr;
        ASSERT_TRUE(ReadPpm(dir + name, w, h, bgr)) << name;
        EXPECT_EQ(w, 160);
        EXPECT_EQ(h, 120);
        const auto stamp = media::ReadFrameStamp(bgr.data(), w, h, media::BgrPitch(w));
        ASSERT_TRUE(stamp) << name;
        numbers.push_back(stamp->frame);
        // The delay line names the same frame.
        EXPECT_NE(r.err.find(std::string(name + 1) + ": 160x120, robot frame " +
                             std::to_string(stamp->frame) + ", delay "),
                  std::string::npos)
            << r.err;
    }
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end());
    EXPECT_NE(r.out.find("8 pictures 160x120 written"), std::string::npos) << r.out;
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Cameras, VideoE2E, ::testing::Values(0, 1, 2));

// ------------------------------------------------------------------ listen

struct ListenCase {
    const char* name;
    const char* format;
    int rate;  // what the file must hold
    int bits;
};

class ListenE2E : public ::testing::TestWithParam<ListenCase> {};

// The robot plays its tones in turn; the recording holds them at their
// pitch, in their order. 8000 Hz is beyond the codec: the robot falls back to
// 22050 Hz and the file follows what was sent.
TEST_P(ListenE2E, RecordsTheRobotsTonesAtTheirFrequencies) {
    RobotThread robot({});
    const std::string path = TempPath("listen.wav");
    const Result r = RunCommand(
        "listen", {"--seconds", "1.7", "--out", path, "--format", GetParam().format}, robot.Port());
    ASSERT_EQ(r.rc, ctl::kExitDone) << r.err;
    media::WavData wav;
    ASSERT_TRUE(media::ReadWavFile(path, wav));
    EXPECT_EQ(wav.rate, GetParam().rate);
    EXPECT_EQ(wav.bits, GetParam().bits);
    const auto samples = media::ToMono16(wav);
    EXPECT_GT(samples.size(), static_cast<size_t>(wav.rate));  // more than a second
    const auto freqs = WindowFrequencies(samples, wav.rate, 50);
    ASSERT_GT(freqs.size(), 20u);
    std::vector<int> seen;  // tone indexes in the order heard
    size_t matched = 0;
    for (double f : freqs) {
        for (int t = 0; t < static_cast<int>(sim::kTones.size()); ++t) {
            if (std::abs(f - sim::kTones[t]) <= sim::kTones[t] * 0.03) {
                ++matched;
                if (seen.empty() || seen.back() != t) {
                    seen.push_back(t);
                }
            }
        }
    }
    // Windows across a change of tone measure neither.
    EXPECT_GE(matched, freqs.size() * 3 / 4);
    ASSERT_GE(seen.size(), 3u);
    for (size_t i = 1; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i], (seen[i - 1] + 1) % 3);
    }
    std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Formats, ListenE2E,
                         ::testing::Values(ListenCase{"Full", "0", 44100, 16},
                                           ListenCase{"Half8Bit", "0x41", 22050, 8},
                                           ListenCase{"Low", "3", 22050, 16}),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------ talk

struct TalkCase {
    const char* name;
    const char* format;
    bool voiceChanger;
    double expected;  // Hz heard by the robot
};

class TalkE2E : public ::testing::TestWithParam<TalkCase> {};

// A 500 Hz tone goes through the microphone path and arrives at the robot at
// its pitch; the voice changer speeds it up by its default 130 %.
TEST_P(TalkE2E, TheRobotHearsTheTone) {
    const std::string in = TempPath("talk_in.wav");
    const std::string heard = TempPath("talk_out.wav");
    std::remove(heard.c_str());
    {
        media::CWavFileOutput file(in);
        ASSERT_TRUE(file.Open(44100, 16, nullptr));
        std::vector<int16_t> tone(44100 * 6 / 5);
        for (size_t i = 0; i < tone.size(); ++i) {
            tone[i] = static_cast<int16_t>(10000 * std::sin(2 * M_PI * 500 * i / 44100.0));
        }
        ASSERT_TRUE(file.Write(reinterpret_cast<const uint8_t*>(tone.data()),
                               static_cast<int32_t>(tone.size() * 2), 0));
        ASSERT_TRUE(file.Finish());
    }
    sim::SimOptions o;
    o.micOut = heard;
    RobotThread robot(o);
    std::vector<std::string> args = {in, "--format", GetParam().format};
    if (GetParam().voiceChanger) {
        args.push_back("--voice-changer");
    }
    const Result r = RunCommand("talk", args, robot.Port());
    ASSERT_EQ(r.rc, ctl::kExitDone) << r.err;
    int messages = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str() + r.out.find("s of sound sent in") + 18, "%d", &messages),
              1)
        << r.out;
    // The robot has heard everything once it has decoded every message.
    for (int i = 0; i < 250 && robot.MicBlocks() < static_cast<uint64_t>(messages); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(robot.MicBlocks(), static_cast<uint64_t>(messages));
    media::WavData wav;
    ASSERT_TRUE(media::ReadWavFile(heard, wav));
    const auto samples = media::ToMono16(wav);
    const auto freqs = WindowFrequencies(samples, wav.rate, 50);
    ASSERT_GE(freqs.size(), 10u);
    EXPECT_NEAR(Median(freqs), GetParam().expected, GetParam().expected * 0.03);
    std::remove(in.c_str());
    std::remove(heard.c_str());
}

INSTANTIATE_TEST_SUITE_P(Paths, TalkE2E,
                         ::testing::Values(TalkCase{"Plain", "0", false, 500},
                                           TalkCase{"Resampled", "1", false, 500},
                                           TalkCase{"VoiceChanger", "0", true, 650}),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------- streams on one thread

class Owner : public IRobotConnectionOwner {
  public:
    void OnConnectionStateChanged() override {}
};

// The console's connection and the robot on one reactor, with small pictures
// so that encoding keeps out of the way.
class StreamE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::SimOptions o;
        o.port = 0;
        o.videoWidth = 128;
        o.videoHeight = 96;
        robot = std::make_unique<sim::CSimRobot>(reactor, o);
        sim::InstallFeatures(*robot);
        ASSERT_TRUE(robot->Start());
        ASSERT_TRUE(link.ConnectAnsi("127.0.0.1", robot->Port(), false));
        ASSERT_TRUE(reactor.RunUntil([&] { return link.State() == kStateAuthorised; }, 5000));
        for (msg::Type t : {msg::kVideoFrame, msg::kVideoFrameRanges, msg::kVideoFrameRangesLines,
                            msg::kSoundBlock}) {
            registrations.Add(dispatcher.Register(t, [this, t](CStream&, int32_t) { ++got[t]; }));
        }
    }
    void Send(msg::Type type, const std::string& payload) {
        WriteBytes(link.BeginFrame(type), payload);
        link.EndFrame();
    }
    void Pass(uint32_t ms) {
        reactor.RunUntil([] { return false; }, ms);
    }
    sim::SimMedia& Media() { return robot->Feature<sim::SimMedia>(); }

    platform::PollReactor reactor;
    CMessageDispatcher dispatcher;
    Owner owner;
    CRobotConnection link{reactor, dispatcher, &owner};
    platform::ScopedTimer tick{reactor, 20, [this] { link.Tick(); }};
    std::unique_ptr<sim::CSimRobot> robot;
    CRegistrationSet registrations;
    std::map<msg::Type, int> got;
};

std::string VideoRequest(uint8_t camera, int32_t bitRate) {
    CMemoryStream s;
    WriteU8(s, camera);
    WriteI32(s, bitRate);
    WriteU8(s, 3);
    return std::string(s.View());
}

// One request starts a camera; without another it stops 300 ms later. A
// camera the robot does not have, and a truncated request, start nothing.
TEST_F(StreamE2E, VideoFlowsWhileRequestedAndStopsAfterThreeHundredMs) {
    Send(msg::kVideoRequest, VideoRequest(7, 100000));
    Send(msg::kVideoRequest, VideoRequest(0, 100000).substr(0, 4));
    Pass(150);
    for (const auto& c : Media().cameras) {
        EXPECT_FALSE(c.streaming);
    }
    Send(msg::kVideoRequest, VideoRequest(1, 100000));
    ASSERT_TRUE(reactor.RunUntil([&] { return got[msg::kVideoFrameRanges] >= 2; }, 3000));
    EXPECT_TRUE(Media().cameras[1].streaming);
    // The last request is 300 ms old: the stream has stopped.
    reactor.AdvanceClock(320);
    Pass(60);
    EXPECT_FALSE(Media().cameras[1].streaming);
    const int before = got[msg::kVideoFrameRanges];
    Pass(200);
    EXPECT_EQ(got[msg::kVideoFrameRanges], before);
    EXPECT_EQ(got[msg::kVideoFrame] + got[msg::kVideoFrameRangesLines], 0);
}

TEST_F(StreamE2E, SoundFlowsWhileRequested) {
    CMemoryStream s;
    WriteU8(s, 0);
    WriteI32(s, 64000);
    Send(msg::kSoundRequest, std::string(s.View()));
    ASSERT_TRUE(reactor.RunUntil([&] { return got[msg::kSoundBlock] >= 2; }, 3000));
    reactor.AdvanceClock(sim::kSoundIdleMs + 20);
    Pass(60);
    EXPECT_FALSE(Media().soundOn);
}

TEST(SimMediaRules, ToneSequenceAndBitRates) {
    EXPECT_EQ(sim::ToneAt(0, 44100), 440);
    EXPECT_EQ(sim::ToneAt(44100 / 2, 44100), 660);
    EXPECT_EQ(sim::ToneAt(44100, 44100), 880);
    EXPECT_EQ(sim::ToneAt(44100 * 3 / 2, 44100), 440);
    // The codec's tables: full rates from 32, half rates from 8 kbit/s.
    EXPECT_EQ(sim::NearestMp2BitRate(44100, 8000), 32000);
    EXPECT_EQ(sim::NearestMp2BitRate(22050, 8000), 8000);
    EXPECT_EQ(sim::NearestMp2BitRate(44100, 500000), 192000);
    EXPECT_EQ(sim::NearestMp2BitRate(44100, 64000), 64000);
}

}  // namespace
}  // namespace velcora
