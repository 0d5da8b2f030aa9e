#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/ctl/ctl.h"
#include "app/ctl/session.h"
#include "cyclogram/cyclogram_format.h"
#include "link/text_codec.h"
#include "platform/posix_reactor.h"
#include "sim/sim_cyclogram.h"
#include "sim/sim_features.h"
#include "sim/sim_robot.h"

namespace velcora {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct Result {
    int code;
    std::string out;
    std::string err;
};

fs::path FreshFolder(const char* tag) {
    const fs::path dir =
        fs::temp_directory_path() /
        (std::string(tag) + testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// velcoractl's commands against a simulated robot running in its own thread.
class CyclogramCommandsE2E : public testing::Test {
  protected:
    void SetUp() override {
        root = FreshFolder("cyc_e2e_root_");
        work = FreshFolder("cyc_e2e_work_");
        sim::SimOptions o;
        o.port = 0;
        o.password = "pw";
        o.root = root.string();
        robot = std::make_unique<sim::CSimRobot>(reactor, o);
        sim::InstallFeatures(*robot);
        ASSERT_TRUE(robot->Start());
        port = robot->Port();
        thread = std::thread([this] {
            while (!stop)
                reactor.RunUntil([this] { return stop.load(); }, 50);
        });
        setenv("VELCORA_PASSWORD", "pw", 1);
    }
    void TearDown() override {
        StopRobot();
        unsetenv("VELCORA_PASSWORD");
        fs::remove_all(root);
        fs::remove_all(work);
    }
    // After this the robot's state may be looked at from the test.
    void StopRobot() {
        if (thread.joinable()) {
            stop = true;
            thread.join();
        }
    }
    Result Run(std::vector<std::string> argv) {
        ctl::Registry registry;
        ctl::RegisterCyclogramCommands(registry);
        const ctl::Command* command = registry.Find(argv.at(0));
        EXPECT_NE(command, nullptr);
        argv.insert(argv.end(), {"--host", "127.0.0.1", "--port", std::to_string(port), "--ini",
                                 (work / "missing.ini").string()});
        ctl::Args args(std::vector<std::string>(argv.begin() + 1, argv.end()));
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int code = command->run(args);
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        return {code, out, err};
    }
    std::string W(const char* name) const { return (work / name).string(); }
    fs::path Stored(const std::string& utf8) const { return root / "cyclogram" / utf8; }

    fs::path root, work;
    platform::PollReactor reactor;
    std::unique_ptr<sim::CSimRobot> robot;
    uint16_t port = 0;
    std::atomic<bool> stop{false};
    std::thread thread;
};

TEST_F(CyclogramCommandsE2E, DemoCyclogramsListPullDumpPushRoundTrip) {
    const Result ls = Run({"cyclogram", "ls"});
    ASSERT_EQ(ls.code, 0) << ls.err;
    EXPECT_EQ(ls.out, "Осмотр\nПриветствие\n");

    ASSERT_EQ(Run({"cyclogram", "pull", "Приветствие", W("a.cyg")}).code, 0);
    EXPECT_EQ(ReadFile(W("a.cyg")), ReadFile(Stored("Приветствие.cyg")));
    const Result dump = Run({"cyclogram", "dump", W("a.cyg")});
    ASSERT_EQ(dump.code, 0);
    EXPECT_NE(dump.out.find("\"text\":\"Здравствуйте!\""), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("\"text\":\"tone.wav\""), std::string::npos);

    ASSERT_EQ(Run({"cyclogram", "push", "Копия", W("a.cyg")}).code, 0);
    ASSERT_EQ(Run({"cyclogram", "pull", "Копия", W("b.cyg")}).code, 0);
    EXPECT_EQ(ReadFile(W("b.cyg")), ReadFile(W("a.cyg")));
    EXPECT_EQ(Run({"cyclogram", "ls"}).out, "Копия\nОсмотр\nПриветствие\n");
}

TEST_F(CyclogramCommandsE2E, PushRenameDeleteAndRun) {
    CCyclogram doc;
    CCyclogramTrack& t = doc.track(doc.addTrack());
    t.motor = 3;
    CyclogramKey k;
    k.value = 0.0f;
    t.appendKey(k);
    k.time = 2000;
    k.value = 1.0f;
    t.appendKey(k);
    ASSERT_TRUE(saveCyclogramFile(W("in.cyg"), doc));

    ASSERT_EQ(Run({"cyclogram", "push", "wave hello", W("in.cyg")}).code, 0);
    EXPECT_EQ(ReadFile(Stored("wave hello.cyg")), ReadFile(W("in.cyg")));
    ASSERT_EQ(Run({"cyclogram", "pull", "wave hello", W("out.cyg")}).code, 0);
    EXPECT_EQ(ReadFile(W("out.cyg")), ReadFile(W("in.cyg")));

    // A rename onto an existing cyclogram would lose it: refused, both kept.
    EXPECT_EQ(Run({"cyclogram", "mv", "wave hello", "Осмотр"}).code, 1);
    EXPECT_TRUE(fs::exists(Stored("wave hello.cyg")));
    ASSERT_EQ(Run({"cyclogram", "mv", "wave hello", "привет"}).code, 0);
    EXPECT_EQ(Run({"cyclogram", "ls"}).out, "Осмотр\nПриветствие\nпривет\n");
    EXPECT_EQ(Run({"cyclogram", "mv", "нет такой", "x"}).code, 1);

    ASSERT_EQ(Run({"cyclogram", "run", "привет", "--from", "500", "--to", "1500"}).code, 0);
    EXPECT_EQ(Run({"cyclogram", "run", "нет такой"}).code, 1);

    ASSERT_EQ(Run({"cyclogram", "rm", "привет"}).code, 0);
    EXPECT_FALSE(fs::exists(Stored("привет.cyg")));
    EXPECT_EQ(Run({"cyclogram", "rm", "привет"}).code, 1);
    EXPECT_EQ(Run({"cyclogram", "ls"}).out, "Осмотр\nПриветствие\n");

    // A missing cyclogram fails at once rather than after the load's time-out.
    const Result missing = Run({"cyclogram", "pull", "привет", W("none.cyg")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("Ошибка загрузка циклограммы с робота!"), std::string::npos);
    EXPECT_FALSE(fs::exists(W("none.cyg")));

    StopRobot();
    const auto& state = robot->Feature<sim::SimCyclogram>();
    ASSERT_EQ(state.runs.size(), 1u);
    EXPECT_EQ(state.runs[0].name, Utf8ToAnsi("привет"));
    EXPECT_EQ(state.runs[0].start, 500);
    EXPECT_EQ(state.runs[0].end, 1500);
    // Motor 3 (0..4095 in the demo project) was moved along the rising curve,
    // somewhere inside the fragment.
    EnvTracker range;
    range.rightRaw = 4095;
    ASSERT_TRUE(state.motors.count(3));
    EXPECT_GE(state.motors.at(3), RawOfPosition(range, t.valueAt(500)));
    EXPECT_LE(state.motors.at(3), RawOfPosition(range, t.valueAt(1500)));
}

TEST_F(CyclogramCommandsE2E, WavePushListDelete) {
    const std::string wave = sim::ToneWave(1250, 300);
    WriteFile(W("beep.wav"), wave);
    const Result push = Run({"wave", "push", W("beep.wav")});
    ASSERT_EQ(push.code, 0) << push.err;
    EXPECT_NE(push.err.find("sent"), std::string::npos);
    EXPECT_EQ(ReadFile(Stored("waves/beep.wav")), wave);
    EXPECT_EQ(Run({"wave", "ls"}).out, "beep.wav\t1250\ntone.wav\t500\n");

    ASSERT_EQ(Run({"wave", "rm", "beep.wav"}).code, 0);
    EXPECT_EQ(Run({"wave", "ls"}).out, "tone.wav\t500\n");
    EXPECT_EQ(Run({"wave", "rm", "beep.wav"}).code, 1);
    EXPECT_EQ(Run({"wave", "push", W("absent.wav")}).code, 1);
}

TEST_F(CyclogramCommandsE2E, EnvironmentPullAndPush) {
    ASSERT_EQ(Run({"env", "pull", W("e.cenv"), "--background", W("bg.jpg")}).code, 0);
    EXPECT_EQ(ReadFile(W("bg.jpg")), sim::DemoBackgroundJpeg());
    CCyclogramEnv env;
    ASSERT_TRUE(loadEnvironmentFile(W("e.cenv"), env));
    ASSERT_EQ(env.count(), 6);
    EXPECT_EQ(env.backgroundSize, sim::DemoBackgroundJpeg().size());

    // A changed project with a new picture: the robot asks for the picture.
    env.removeTracker(5);
    ASSERT_TRUE(saveEnvironmentFile(W("e.cenv"), env));
    WriteFile(W("new.jpg"), "\xFF\xD8 not much of a picture \xFF\xD9");
    ASSERT_EQ(Run({"env", "push", W("e.cenv"), "--background", W("new.jpg")}).code, 0);
    EXPECT_EQ(ReadFile(Stored("cycbg.jpg")), ReadFile(W("new.jpg")));
    CCyclogramEnv stored;
    ASSERT_TRUE(loadEnvironmentFile(Stored("env.cenv").string(), stored));
    EXPECT_EQ(stored.count(), 5);

    // Without a picture the project has none, and the robot drops its own.
    ASSERT_EQ(Run({"env", "push", W("e.cenv")}).code, 0);
    EXPECT_FALSE(fs::exists(Stored("cycbg.jpg")));
    fs::remove(W("bg.jpg"));
    const Result pulled = Run({"env", "pull", W("f.cenv"), "--background", W("bg.jpg")});
    ASSERT_EQ(pulled.code, 0);
    EXPECT_NE(pulled.err.find("no background"), std::string::npos);
    EXPECT_FALSE(fs::exists(W("bg.jpg")));
}

struct UsageCase {
    std::vector<std::string> argv;
};

class CyclogramUsage : public testing::TestWithParam<UsageCase> {};

// Malformed command lines are refused before any connection is tried.
TEST_P(CyclogramUsage, RefusedWithoutConnecting) {
    ctl::Registry registry;
    ctl::RegisterCyclogramCommands(registry);
    const auto& argv = GetParam().argv;
    ctl::Args args(std::vector<std::string>(argv.begin() + 1, argv.end()));
    testing::internal::CaptureStderr();
    EXPECT_EQ(registry.Find(argv[0])->run(args), ctl::kExitUsage);
    testing::internal::GetCapturedStderr();
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CyclogramUsage,
    testing::Values(UsageCase{{"cyclogram", "run", "x", "--from", "5"}},
                    UsageCase{{"cyclogram", "run", "x", "--from", "500", "--to", "500"}},
                    UsageCase{{"cyclogram", "run", "x", "--from", "-1", "--to", "5"}},
                    UsageCase{{"cyclogram", "ls", "--background", "a.jpg"}},
                    UsageCase{{"cyclogram", "pull", "x"}}, UsageCase{{"wave", "ls", "extra"}},
                    UsageCase{{"env", "push", "a.cenv", "--from", "1", "--to", "2"}},
                    UsageCase{{"wave", "play"}}));

// Raw messages to a robot on the test's own reactor.
class CyclogramRobotE2E : public testing::Test {
  protected:
    void SetUp() override {
        root = FreshFolder("cyc_e2e_raw_");
        sim::SimOptions o;
        o.port = 0;
        o.root = root.string();
        o.noValueMotor = 2;
        robot = std::make_unique<sim::CSimRobot>(reactor, o);
        sim::InstallFeatures(*robot);
        ASSERT_TRUE(robot->Start());
        ctl::ConnectionOptions c;
        c.host = "127.0.0.1";
        c.port = robot->Port();
        c.ini = (root / "missing.ini").string();
        unsetenv("VELCORA_PASSWORD");
        session = std::make_unique<ctl::Session>(c, &reactor);
        ASSERT_EQ(session->Open(), ctl::kExitDone);
    }
    void TearDown() override {
        session.reset();
        fs::remove_all(root);
    }
    // Sends and waits for the first reply of `replyType`.
    std::string Ask(msg::Type type, std::string_view payload, msg::Type replyType) {
        std::optional<std::string> reply;
        auto registration = session->Link().Dispatcher().Register(
            replyType, [&](CStream& s, int32_t n) { reply = ReadBytes(s, n); });
        session->Send(type, payload);
        EXPECT_EQ(session->RunUntil([&] { return reply.has_value(); }, 5000),
                  ctl::Session::Outcome::Done);
        return reply.value_or("");
    }
    static std::string Name(std::string_view name) { return std::string(name) + '\0'; }
    static std::string I32(int32_t v) {
        CMemoryStream m;
        WriteI32(m, v);
        return std::string(m.View());
    }
    int32_t ChunkReply(std::string_view payload) {
        const std::string r = Ask(msg::kWaveChunk, payload, msg::kWaveChunkReply);
        CMemoryStream m;
        WriteBytes(m, r);
        m.Seek(0, kSeekSet);
        return ReadI32(m);
    }

    fs::path root;
    platform::PollReactor reactor;
    std::unique_ptr<sim::CSimRobot> robot;
    std::unique_ptr<ctl::Session> session;
};

TEST_F(CyclogramRobotE2E, NamesThatLeaveTheFolderAreRefused) {
    CCyclogram doc;
    CMemoryStream record;
    ASSERT_TRUE(writeCyclogram(doc, record, WriteScope::Full));
    for (const char* bad : {"../escape", "a/b", "..", "a\\b", "tab\there"}) {
        EXPECT_EQ(Ask(msg::kUploadCyclogram, Name(bad) + std::string(record.View()),
                      msg::kCyclogramUploadResult),
                  "\1")
            << bad;
        const std::string begin = Name(bad) + I32(10);
        EXPECT_EQ(Ask(msg::kBeginWaveUpload, begin, msg::kWaveChunkReply), I32(-1)) << bad;
    }
    // A record that does not end where the payload ends is no cyclogram.
    EXPECT_EQ(Ask(msg::kUploadCyclogram, Name("ok") + std::string(record.View()) + "x",
                  msg::kCyclogramUploadResult),
              "\1");
    EXPECT_EQ(Ask(msg::kUploadCyclogram, Name("ok") + std::string(record.View()).substr(0, 9),
                  msg::kCyclogramUploadResult),
              "\1");
    EXPECT_FALSE(fs::exists(root / "escape.cyg"));
    EXPECT_FALSE(fs::exists(root / "cyclogram" / "ok.cyg"));
    EXPECT_EQ(Ask(msg::kUploadCyclogram, Name("ok") + std::string(record.View()),
                  msg::kCyclogramUploadResult),
              std::string(1, '\0'));
}

TEST_F(CyclogramRobotE2E, WaveChunksFollowTheRobotsOffsets) {
    const std::string wave = sim::ToneWave(300, 500);
    WriteFile(root / "w.wav", wave);
    CMemoryStream packed;
    ASSERT_TRUE(packWaveFile((root / "w.wav").string(), packed));
    const std::string bytes(packed.View());
    ASSERT_GT(bytes.size(), 10u);
    ASSERT_EQ(Ask(msg::kBeginWaveUpload, Name("w.wav") + I32(static_cast<int32_t>(bytes.size())),
                  msg::kWaveChunkReply),
              I32(0));
    // A chunk from the wrong place is answered with the offset wanted.
    EXPECT_EQ(ChunkReply(I32(5) + bytes.substr(5, 5)), 0);
    EXPECT_EQ(ChunkReply(I32(0) + bytes.substr(0, 10)), 10);
    EXPECT_EQ(ChunkReply(I32(0) + bytes.substr(0, 10)), 10);  // a resend
    EXPECT_EQ(ChunkReply(I32(10) + bytes.substr(10)), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(ReadFile(root / "cyclogram" / "waves" / "w.wav"), wave);
    // Past the announced size, or with no upload open: -1.
    ASSERT_EQ(Ask(msg::kBeginWaveUpload, Name("x.wav") + I32(4), msg::kWaveChunkReply), I32(0));
    EXPECT_EQ(ChunkReply(I32(0) + "12345"), -1);
    EXPECT_EQ(ChunkReply(I32(0) + "1234"), -1);
    // Packed bytes that are no zlib stream are not stored.
    ASSERT_EQ(Ask(msg::kBeginWaveUpload, Name("y.wav") + I32(4), msg::kWaveChunkReply), I32(0));
    EXPECT_EQ(ChunkReply(I32(0) + "abcd"), -1);
    EXPECT_FALSE(fs::exists(root / "cyclogram" / "waves" / "y.wav"));
}

TEST_F(CyclogramRobotE2E, MotorsFollowSetMotorAndOneHasNoValue) {
    auto poll = [&](std::initializer_list<int32_t> motors) {
        CMemoryStream m;
        WriteU16(m, static_cast<uint16_t>(motors.size()));
        for (int32_t motor : motors)
            WriteI32(m, motor);
        const std::string r = Ask(msg::kPollMotorValues, m.View(), msg::kMotorValues);
        CMemoryStream in;
        WriteBytes(in, r);
        in.Seek(0, kSeekSet);
        std::vector<std::pair<int32_t, int32_t>> values(ReadU16(in));
        for (auto& v : values) {
            v.first = ReadI32(in);
            v.second = ReadI32(in);
        }
        return values;
    };
    using V = std::vector<std::pair<int32_t, int32_t>>;
    // Defaults of the demo project; motor 77 has no tracker.
    EXPECT_EQ(poll({1, 2, 77}), (V{{1, 512}, {2, -1}, {77, 32768}}));
    session->Send(msg::kSetMotor, I32(1) + I32(700));
    session->Send(msg::kSetMotor, I32(2) + I32(300));
    session->Send(msg::kSetMotor, I32(6) + I32(5000));  // beyond the tracker's 100..900
    EXPECT_EQ(poll({1, 2, 6}), (V{{1, 700}, {2, -1}, {6, 900}}));
    // A count larger than the motors sent is cut to what is there.
    CMemoryStream m;
    WriteU16(m, 500);
    WriteI32(m, 1);
    EXPECT_EQ(Ask(msg::kPollMotorValues, m.View(), msg::kMotorValues).size(), 2u + 8u);
}

// --------------------------------------------------------- the robot's parts

TEST(SimCyclogram, SafeNames) {
    for (const char* good : {"a", "wave.wav", "...", ".hidden", "два слова"})
        EXPECT_TRUE(sim::SafeRobotName(Utf8ToAnsi(good))) << good;
    for (const char* bad : {"", ".", "..", "a/b", "a\\b", "a\nb", "\x7f"})
        EXPECT_FALSE(sim::SafeRobotName(bad)) << bad;
    EXPECT_TRUE(sim::SafeRobotName(std::string(255, 'a')));
    EXPECT_FALSE(sim::SafeRobotName(std::string(256, 'a')));
}

struct WaveCase {
    const char* name;
    std::string bytes;
    uint32_t ms;
};

class WaveLength : public testing::TestWithParam<WaveCase> {};

TEST_P(WaveLength, FromTheHeader) {
    EXPECT_EQ(sim::WaveLengthMs(GetParam().bytes), GetParam().ms);
}

std::string Chunk(std::string_view id, std::string_view body) {
    CMemoryStream m;
    WriteBytes(m, id);
    WriteU32(m, static_cast<uint32_t>(body.size()));
    WriteBytes(m, body);
    if (body.size() % 2)
        WriteU8(m, 0);
    return std::string(m.View());
}

std::string Fmt(uint32_t byteRate) {
    CMemoryStream m;
    WriteU16(m, 1);
    WriteU16(m, 2);
    WriteU32(m, 22050);
    WriteU32(m, byteRate);
    WriteU16(m, 4);
    WriteU16(m, 16);
    return std::string(m.View());
}

std::string Riff(std::string_view chunks) {
    return "RIFF" + std::string(4, '\0') + "WAVE" + std::string(chunks);
}

INSTANTIATE_TEST_SUITE_P(
    Files, WaveLength,
    testing::Values(WaveCase{"Tone", sim::ToneWave(500, 440), 500},
                    WaveCase{"OddChunkBeforeData",
                             Riff(Chunk("fmt ", Fmt(88200)) + Chunk("LIST", "abc") +
                                  Chunk("data", std::string(44100, '\0'))),
                             500},
                    // A data size beyond the file counts only the bytes present.
                    WaveCase{"TruncatedData",
                             Riff(Chunk("fmt ", Fmt(1000)) + "data" +
                                  std::string("\xff\xff\xff\x7f", 4) + std::string(250, '\0')),
                             250},
                    WaveCase{"NoFormat", Riff(Chunk("data", std::string(100, '\0'))), 0},
                    WaveCase{"ZeroByteRate", Riff(Chunk("fmt ", Fmt(0)) + Chunk("data", "ab")), 0},
                    WaveCase{"NotRiff", "RIFX" + std::string(40, '\0'), 0},
                    WaveCase{"Short", "RIFF", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A cyclogram ready to play: motor 1 ramps 0 -> 1 over 1000 ms (linear), motor
// 2 is disabled, and a speech block starts at 400 ms.
void Load(sim::SimCyclogram& s, bool loop) {
    auto doc = std::make_unique<CCyclogram>();
    doc->loop = loop ? 1 : 0;
    for (int32_t motor : {1, 2}) {
        CCyclogramTrack& t = doc->track(doc->addTrack());
        t.motor = motor;
        t.disabled = motor == 2;
        CyclogramKey a;
        a.value = 0.0f;
        a.outMode = kInterpolationLinear;
        CyclogramKey b;
        b.time = 1000;
        b.value = 1.0f;
        b.inMode = kInterpolationLinear;
        t.appendKey(a);
        t.appendKey(b);
    }
    doc->audio = std::make_unique<CCyclogramAudioTrack>();
    AudioBlock block;
    block.start = 400;
    block.length = 500;
    block.text = "hello";
    doc->audio->appendBlock(block);
    EnvTracker tracker;
    tracker.motor = 1;
    tracker.leftRaw = 1000;
    tracker.rightRaw = 2000;
    s.playback.env.addTracker(tracker);
    s.playback.doc = std::move(doc);
    s.playback.from = 0;
    s.playback.to = 1000;
    s.playback.t = 0;
}

TEST(SimPlayback, MotorsFollowTheCurveAndSoundBlocksSpeakOnce) {
    sim::SimCyclogram s;
    Load(s, false);
    std::vector<std::string> said;
    auto say = [&](const std::string& text) { said.push_back(text); };
    sim::AdvancePlayback(s, 250, say);
    EXPECT_EQ(s.motors.at(1), 1250);
    EXPECT_FALSE(s.motors.count(2));
    EXPECT_TRUE(said.empty());
    sim::AdvancePlayback(s, 150, say);  // 400: the block starts
    sim::AdvancePlayback(s, 100, say);
    EXPECT_EQ(said, std::vector<std::string>{"hello"});
    EXPECT_EQ(s.motors.at(1), 1500);
    // Past the end: the last pose stays and the playback is over.
    sim::AdvancePlayback(s, 5000, say);
    EXPECT_EQ(s.motors.at(1), 2000);
    EXPECT_EQ(s.playback.doc, nullptr);
}

TEST(SimPlayback, LoopWrapsAroundTheFragment) {
    sim::SimCyclogram s;
    Load(s, true);
    s.playback.from = 200;
    s.playback.t = 200;
    int spoken = 0;
    auto say = [&](const std::string&) { ++spoken; };
    sim::AdvancePlayback(s, 900, say);  // 1100 -> 300 in the 200..1000 loop
    EXPECT_EQ(s.playback.t, 300);
    EXPECT_EQ(s.motors.at(1), 1300);
    EXPECT_EQ(spoken, 1);
    sim::AdvancePlayback(s, 800, say);  // round again past 400
    EXPECT_EQ(spoken, 2);
    ASSERT_NE(s.playback.doc, nullptr);
}

TEST(SimDemo, SeededContentIsReadable) {
    const fs::path root = FreshFolder("cyc_e2e_seed_");
    platform::PollReactor reactor;
    sim::SimOptions o;
    o.root = root.string();
    sim::CSimRobot robot(reactor, o);
    sim::InstallFeatures(robot);
    const fs::path dir = root / "cyclogram";
    for (const char* name : {"Приветствие.cyg", "Осмотр.cyg"}) {
        CCyclogram doc;
        EXPECT_TRUE(loadCyclogramFile((dir / name).string(), doc)) << name;
        EXPECT_GT(doc.trackCount(), 0);
    }
    CCyclogramEnv env;
    ASSERT_TRUE(loadEnvironmentFile((dir / "env.cenv").string(), env));
    EXPECT_EQ(env.count(), 6);
    const BackgroundIdentity picture = computeBackgroundChecksum((dir / "cycbg.jpg").string());
    EXPECT_EQ(env.backgroundSize, picture.size);
    EXPECT_EQ(env.backgroundChecksum, picture.checksum);
    const std::string jpeg = ReadFile(dir / "cycbg.jpg");
    EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9");
    EXPECT_EQ(sim::WaveLengthMs(ReadFile(dir / "waves" / "tone.wav")), 500u);
    // An existing folder is never seeded again.
    fs::remove(dir / "Осмотр.cyg");
    sim::CSimRobot again(reactor, o);
    sim::InstallFeatures(again);
    EXPECT_FALSE(fs::exists(dir / "Осмотр.cyg"));
    fs::remove_all(root);
}

}  // namespace
}  // namespace velcora
