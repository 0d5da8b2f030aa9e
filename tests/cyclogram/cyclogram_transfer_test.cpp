#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cyclogram/cyclogram_format.h"
#include "cyclogram/cyclogram_transfer.h"
#include "support/fake_link.h"
#include "support/temp_folder.h"

namespace velcora {
namespace {

using test::FakeLink;

std::string I32(int32_t v) {
    CMemoryStream s;
    WriteI32(s, v);
    return std::string(s.View());
}

std::string Record(const CCyclogram& doc) {
    CMemoryStream s;
    writeCyclogram(doc, s, WriteScope::Full);
    return std::string(s.View());
}

std::string Record(const CCyclogramEnv& env) {
    CMemoryStream s;
    writeEnvironment(env, s);
    return std::string(s.View());
}

using TempDir = test::TempFolder;

void WriteFile(const std::string& path, const std::string& bytes) {
    CMemoryStream s;
    s.Assign(bytes);
    ASSERT_TRUE(s.SaveToFile(path));
}

std::string ReadFile(const std::string& path) {
    CMemoryStream s;
    if (!s.LoadFromFile(path)) {
        return "<missing>";
    }
    return std::string(s.View());
}

// ------------------------------------------------------------- cyclograms

struct CyclogramView : ICyclogramTransferView {
    void OnCyclogramList(const std::vector<std::string>& n) override { names = n; }
    void OnCyclogramLoaded(std::unique_ptr<CCyclogram> d) override { doc = std::move(d); }
    void OnCyclogramUploaded(const std::string& name) override { uploaded.push_back(name); }
    void OnRequestFailed(CyclogramRequest which, const std::string& text) override {
        failures.emplace_back(which, text);
    }
    std::vector<std::string> names;
    std::unique_ptr<CCyclogram> doc;
    std::vector<std::string> uploaded;
    std::vector<std::pair<CyclogramRequest, std::string>> failures;
};

struct CyclogramFixture : testing::Test {
    FakeLink link;
    CyclogramView view;
    CCyclogramTransfer transfer{link, view};
};

TEST_F(CyclogramFixture, RequestPayloads) {
    ASSERT_TRUE(transfer.requestList());
    ASSERT_TRUE(transfer.requestLoad("a"));
    ASSERT_TRUE(transfer.deleteCyclogram(""));
    ASSERT_TRUE(transfer.renameCyclogram("old", "new"));
    ASSERT_TRUE(transfer.run("walk"));
    ASSERT_TRUE(transfer.run("walk", {2000, 2600}));
    EXPECT_EQ(link.Of(msg::kListCyclograms).at(0).payload, "");
    EXPECT_EQ(link.Of(msg::kLoadCyclogram).at(0).payload, std::string("a\0", 2));
    EXPECT_EQ(link.Of(msg::kDeleteCyclogram).at(0).payload, std::string("\0", 1));
    EXPECT_EQ(link.Of(msg::kRenameCyclogram).at(0).payload, std::string("old\0new\0", 8));
    EXPECT_EQ(link.Of(msg::kRunCyclogram).at(0).payload,
              std::string("walk\0", 5) + I32(0) + I32(0));
    EXPECT_EQ(link.Of(msg::kRunCyclogram).at(1).payload,
              std::string("walk\0", 5) + I32(2000) + I32(2600));

    link.sent.clear();
    link.state = kStateConnecting;
    EXPECT_FALSE(transfer.requestList());
    EXPECT_FALSE(transfer.upload("x", CCyclogram()));
    EXPECT_FALSE(transfer.run("x"));
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(CyclogramFixture, ListRepliesAreBoundedAndEndAtThePayload) {
    const std::string longName(kMaxRobotNameLength + 1, 'x');
    const std::string payload = std::string("one\0\0two\0", 9) + longName + std::string("\0", 1) +
                                std::string(kMaxRobotNameLength, 'y') + std::string("\0last", 5);
    transfer.requestList();
    link.Receive(msg::kCyclogramList, payload);
    EXPECT_EQ(view.names, (std::vector<std::string>{
                              "one", "two", std::string(kMaxRobotNameLength, 'y'), "last"}));
    EXPECT_FALSE(transfer.countdown(CyclogramRequest::List).Running());
    transfer.Tick(10000);
    EXPECT_TRUE(view.failures.empty());
    link.Receive(msg::kCyclogramList, "");
    EXPECT_TRUE(view.names.empty());
}

TEST_F(CyclogramFixture, CountdownsExpireWithTheirTexts) {
    transfer.requestList();
    transfer.requestLoad("a");
    transfer.upload("a", CCyclogram());
    transfer.Tick(2999);
    EXPECT_TRUE(view.failures.empty());
    transfer.Tick(1);
    ASSERT_EQ(view.failures.size(), 1u);
    EXPECT_EQ(view.failures[0].first, CyclogramRequest::Upload);
    EXPECT_EQ(view.failures[0].second, "Ошибка загрузки циклограммы на робота!");
    transfer.Tick(999);
    EXPECT_EQ(view.failures.size(), 1u);
    transfer.Tick(1);
    ASSERT_EQ(view.failures.size(), 3u);
    EXPECT_EQ(view.failures[1].second, "Ошибка запроса списка циклограмм с робота!");
    EXPECT_EQ(view.failures[2].second, "Ошибка загрузка циклограммы с робота!");
    transfer.Tick(100000);
    EXPECT_EQ(view.failures.size(), 3u);  // each shows once
}

TEST_F(CyclogramFixture, LoadReadsIntoAFreshDocument) {
    CCyclogram doc;
    doc.loop = 1;
    doc.track(doc.addTrack()).motor = 5;
    link.Receive(msg::kCyclogram, Record(doc));  // not asked for: ignored
    EXPECT_FALSE(view.doc);

    transfer.requestLoad("a");
    link.Receive(msg::kCyclogram, Record(doc));
    ASSERT_TRUE(view.doc);
    EXPECT_EQ(view.doc->loop, 1);
    EXPECT_EQ(view.doc->track(0).motor, 5);
    transfer.Tick(5000);
    EXPECT_TRUE(view.failures.empty());

    view.doc.reset();
    transfer.requestLoad("a");
    std::string broken = Record(doc);
    broken.pop_back();  // the sound flag is gone: reads as "no sound"
    broken[5] = 2;      // but two tracks are announced
    link.Receive(msg::kCyclogram, broken);
    EXPECT_FALSE(view.doc);
    transfer.Tick(1);  // the unusable reply shows its error on the next tick
    ASSERT_EQ(view.failures.size(), 1u);
    EXPECT_EQ(view.failures[0].first, CyclogramRequest::Load);
}

TEST_F(CyclogramFixture, UploadAndRunAfterIt) {
    CCyclogram doc;
    doc.track(doc.addTrack()).motor = 2;
    ASSERT_TRUE(transfer.upload("walk", doc, AfterUpload::Run, {100, 900}));
    EXPECT_EQ(link.Of(msg::kUploadCyclogram).at(0).payload, std::string("walk\0", 5) + Record(doc));
    EXPECT_TRUE(transfer.runAfterUpload());
    link.Receive(msg::kCyclogramUploadResult, std::string("\0", 1));
    EXPECT_EQ(view.uploaded, (std::vector<std::string>{"walk"}));
    ASSERT_EQ(link.Of(msg::kRunCyclogram).size(), 1u);
    EXPECT_EQ(link.Of(msg::kRunCyclogram)[0].payload,
              std::string("walk\0", 5) + I32(100) + I32(900));

    // A plain upload clears the run request; a repeated result is not ours.
    transfer.upload("walk", doc, AfterUpload::Run);
    transfer.upload("walk", doc);
    EXPECT_FALSE(transfer.runAfterUpload());
    link.Receive(msg::kCyclogramUploadResult, std::string("\0", 1));
    link.Receive(msg::kCyclogramUploadResult, std::string("\0", 1));
    EXPECT_EQ(view.uploaded.size(), 2u);
    EXPECT_EQ(link.Of(msg::kRunCyclogram).size(), 1u);
}

TEST_F(CyclogramFixture, RefusedOrEmptyUploadResultsFail) {
    for (const std::string& reply : {std::string("\x01", 1), std::string()}) {
        view.failures.clear();
        transfer.upload("walk", CCyclogram(), AfterUpload::Run);
        link.Receive(msg::kCyclogramUploadResult, reply);
        transfer.Tick(20);
        ASSERT_EQ(view.failures.size(), 1u);
        EXPECT_EQ(view.failures[0].first, CyclogramRequest::Upload);
    }
    EXPECT_TRUE(view.uploaded.empty());
    EXPECT_TRUE(link.Of(msg::kRunCyclogram).empty());
}

TEST(CyclogramTransfer, RepliesStopWithTheController) {
    FakeLink link;
    CyclogramView view;
    {
        CCyclogramTransfer transfer(link, view);
        EXPECT_EQ(link.Receive(msg::kCyclogramList, std::string("a\0", 2)), 1);
    }
    EXPECT_EQ(link.Receive(msg::kCyclogramList, std::string("b\0", 2)), 0);
    EXPECT_EQ(view.names, (std::vector<std::string>{"a"}));
}

// ------------------------------------------------------------ environment

struct EnvView : IEnvironmentTransferView {
    bool Confirm(const std::string& q, const std::string& t) override {
        questions.push_back(q + "|" + t);
        return answer;
    }
    void OnRequestFailed(EnvironmentRequest which, const std::string& text) override {
        failures.emplace_back(which, text);
    }
    void OnEnvironmentReplaced() override { ++replaced; }
    void OnBackgroundChanged() override { ++backgroundChanged; }
    void OnChangedFlag(bool c) override { flags.push_back(c); }
    void OnEnvironmentUploaded() override { ++uploaded; }
    void OnMotorValues(bool any) override { motorValues.push_back(any); }

    bool answer = true;
    std::vector<std::string> questions;
    std::vector<std::pair<EnvironmentRequest, std::string>> failures;
    int replaced = 0;
    int backgroundChanged = 0;
    std::vector<bool> flags;
    int uploaded = 0;
    std::vector<bool> motorValues;
};

CCyclogramEnv SixTrackers() {
    CCyclogramEnv env;
    for (int i = 1; i <= 6; ++i) {
        env.addTracker({.motor = i, .leftRaw = 0, .rightRaw = 65535, .defaultRaw = 32768});
    }
    return env;
}

struct EnvFixture : testing::Test {
    TempDir dir;
    FakeLink link;
    EnvView view;
    CCyclogramEnv env;
    CEnvironmentTransfer transfer{link, view, env, {dir.File("env.cenv"), dir.File("cycbg.jpg")}};
};

TEST_F(EnvFixture, DownloadAsksAboutUnsentChanges) {
    transfer.markChanged();
    transfer.markChanged();
    EXPECT_EQ(view.flags, (std::vector<bool>{true}));
    view.answer = false;
    EXPECT_FALSE(transfer.requestEnvironment());
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_EQ(view.questions[0],
              "Проект окружения был изменен. Загрузка проекта с робота сбросит эти изменения. Вы "
              "хотите продолжить?|Загрузить проект окружения с робота");
    EXPECT_TRUE(link.sent.empty());
    view.answer = true;
    EXPECT_TRUE(transfer.requestEnvironment());
    EXPECT_EQ(link.Of(msg::kRequestEnvironmentProject).size(), 1u);
    EXPECT_TRUE(transfer.requestedOnce());
    transfer.Tick(3000);
    ASSERT_EQ(view.failures.size(), 1u);
    EXPECT_EQ(view.failures[0].second, "Не удалось загрузить с робота проект окружения!");
}

TEST_F(EnvFixture, ArrivalReplacesSavesAndComparesThePicture) {
    const std::string picture = "\xff\xd8picture";
    WriteFile(dir.File("cycbg.jpg"), picture);
    const BackgroundIdentity local = computeBackgroundChecksum(dir.File("cycbg.jpg"));
    CCyclogramEnv robot = SixTrackers();
    robot.backgroundSize = local.size;
    robot.backgroundChecksum = local.checksum;

    transfer.markChanged();
    transfer.requestEnvironment();
    link.Receive(msg::kEnvironmentProject, Record(robot));
    EXPECT_EQ(env.count(), 6);
    EXPECT_EQ(view.replaced, 1);
    EXPECT_FALSE(transfer.changed());
    EXPECT_EQ(ReadFile(dir.File("env.cenv")), Record(robot));
    EXPECT_TRUE(link.Of(msg::kRequestBackgroundPicture).empty());  // the same picture

    robot.backgroundChecksum ^= 1;
    transfer.requestEnvironment();
    link.Receive(msg::kEnvironmentProject, Record(robot));
    ASSERT_EQ(link.Of(msg::kRequestBackgroundPicture).size(), 1u);
    link.Receive(msg::kBackgroundPicture, "new picture");
    EXPECT_EQ(ReadFile(dir.File("cycbg.jpg")), "new picture");
    EXPECT_EQ(view.backgroundChanged, 1);
    link.Receive(msg::kBackgroundPicture, "pushed unasked");
    EXPECT_EQ(ReadFile(dir.File("cycbg.jpg")), "new picture");
}

TEST_F(EnvFixture, NoBackgroundDeletesTheLocalPicture) {
    WriteFile(dir.File("cycbg.jpg"), "old");
    transfer.requestEnvironment();
    link.Receive(msg::kEnvironmentProject, Record(SixTrackers()));
    EXPECT_FALSE(std::filesystem::exists(dir.File("cycbg.jpg")));
    EXPECT_EQ(view.backgroundChanged, 1);
    EXPECT_TRUE(link.Of(msg::kRequestBackgroundPicture).empty());
}

TEST_F(EnvFixture, MalformedRecordLeavesTheProject) {
    env = SixTrackers();
    transfer.markChanged();
    transfer.requestEnvironment();
    std::string bad = Record(CCyclogramEnv());
    bad[4] = '\xe9';  // 1001 trackers
    bad[5] = '\x03';
    link.Receive(msg::kEnvironmentProject, bad);
    EXPECT_EQ(env.count(), 6);
    EXPECT_TRUE(transfer.changed());
    EXPECT_FALSE(std::filesystem::exists(dir.File("env.cenv")));
    transfer.Tick(5000);
    EXPECT_TRUE(view.failures.empty());
}

TEST_F(EnvFixture, UploadSendsThePictureWhenAsked) {
    env = SixTrackers();
    WriteFile(dir.File("cycbg.jpg"), std::string("\x10\x01", 2));
    transfer.markChanged();
    ASSERT_TRUE(transfer.uploadEnvironment());
    EXPECT_EQ(env.backgroundSize, 2u);
    EXPECT_EQ(env.backgroundChecksum, 0x11);
    EXPECT_EQ(link.Of(msg::kUploadEnvironmentProject).at(0).payload, Record(env));

    link.Receive(msg::kEnvironmentUploadResult, std::string("\0\x01", 2));
    ASSERT_EQ(link.Of(msg::kSendBackgroundPicture).size(), 1u);
    EXPECT_EQ(link.Of(msg::kSendBackgroundPicture)[0].payload, std::string("\x10\x01", 2));
    EXPECT_TRUE(transfer.changed());
    link.Receive(msg::kBackgroundUploadResult, std::string("\0", 1));
    EXPECT_FALSE(transfer.changed());
    EXPECT_EQ(view.uploaded, 1);

    transfer.markChanged();
    transfer.uploadEnvironment();
    link.Receive(msg::kEnvironmentUploadResult, std::string("\0\0", 2));
    EXPECT_FALSE(transfer.changed());
    EXPECT_EQ(view.uploaded, 2);
    EXPECT_EQ(link.Of(msg::kSendBackgroundPicture).size(), 1u);
}

TEST_F(EnvFixture, UploadFailures) {
    struct Case {
        std::string reply;
        std::string backgroundReply;
        EnvironmentRequest which;
    };
    WriteFile(dir.File("cycbg.jpg"), "pic");
    const Case cases[] = {
        {std::string("\x02", 1), "", EnvironmentRequest::Upload},
        {std::string(), "", EnvironmentRequest::Upload},
        {std::string("\0\x01", 2), std::string("\x01", 1), EnvironmentRequest::BackgroundUpload},
        {std::string("\0\x01", 2), std::string(), EnvironmentRequest::BackgroundUpload},
    };
    for (const Case& c : cases) {
        view.failures.clear();
        transfer.markChanged();
        transfer.uploadEnvironment();
        link.Receive(msg::kEnvironmentUploadResult, c.reply);
        if (link.Of(msg::kSendBackgroundPicture).size() > 0) {
            link.Receive(msg::kBackgroundUploadResult, c.backgroundReply);
        }
        link.sent.clear();
        transfer.Tick(1);
        ASSERT_EQ(view.failures.size(), 1u);
        EXPECT_EQ(view.failures[0].first, c.which);
        EXPECT_TRUE(transfer.changed());
    }
    // The robot wants a picture this side no longer has.
    std::filesystem::remove(dir.File("cycbg.jpg"));
    view.failures.clear();
    transfer.uploadEnvironment();
    EXPECT_EQ(env.backgroundSize, 0u);
    link.Receive(msg::kEnvironmentUploadResult, std::string("\0\x01", 2));
    ASSERT_EQ(view.failures.size(), 1u);
    EXPECT_EQ(view.failures[0].second, "Не удалось передать на робота фон проекта окружения!");
}

TEST_F(EnvFixture, MotorValuesPollAndReply) {
    env = SixTrackers();
    transfer.Tick(5000);  // not requested from the robot yet: no polling
    EXPECT_TRUE(link.Of(msg::kPollMotorValues).empty());
    transfer.requestEnvironment();
    transfer.Tick(3000);
    EXPECT_TRUE(link.Of(msg::kPollMotorValues).empty());
    transfer.Tick(1);
    ASSERT_EQ(link.Of(msg::kPollMotorValues).size(), 1u);
    std::string expected = std::string("\x06\x00", 2);
    for (int i = 1; i <= 6; ++i) {
        expected += I32(i);
    }
    EXPECT_EQ(link.Of(msg::kPollMotorValues)[0].payload, expected);

    // n claims three pairs; only two and a half are there.
    std::string reply =
        std::string("\x03\x00", 2) + I32(2) + I32(-1) + I32(3) + I32(65535) + I32(4);
    link.Receive(msg::kMotorValues, reply);
    EXPECT_EQ(env.trackers[1].noValue, 1);
    EXPECT_NEAR(env.trackers[1].position, 0.5f, 0.001f);
    EXPECT_EQ(env.trackers[2].position, 1.0f);
    EXPECT_EQ(env.trackers[3].position, 0.5f);
    EXPECT_EQ(view.motorValues, (std::vector<bool>{true}));

    transfer.setOnlineMode(false);
    link.Receive(msg::kMotorValues, std::string("\x01\x00", 2) + I32(3) + I32(0));
    EXPECT_EQ(env.trackers[2].position, 1.0f);  // off-line: ignored
    transfer.setMouseDown(true);
    link.Receive(msg::kMotorValues, std::string("\x01\x00", 2) + I32(3) + I32(0));
    EXPECT_EQ(env.trackers[2].position, 0.0f);
    transfer.Tick(10000);
    EXPECT_EQ(link.Of(msg::kPollMotorValues).size(), 1u);

    ASSERT_TRUE(transfer.setMotor(7, -20));
    EXPECT_EQ(link.Of(msg::kSetMotor)[0].payload, I32(7) + I32(-20));
}

// -------------------------------------------------------------- wave files

struct WaveView : IWaveTransferView {
    bool Confirm(const std::string& q, const std::string& t) override {
        questions.push_back(q + "|" + t);
        return answer;
    }
    void OnRequestFailed(WaveRequest which, const std::string& text) override {
        failures.emplace_back(which, text);
    }
    void OnWaveListChanged() override { ++listChanged; }
    void OnUploadStarted(const std::string& title, int32_t total) override {
        started.push_back(title + "|" + std::to_string(total));
    }
    void OnUploadProgress(int32_t done, int32_t) override { progress.push_back(done); }
    void OnUploadFinished(bool ok) override { finished.push_back(ok); }

    bool answer = true;
    std::vector<std::string> questions;
    std::vector<std::pair<WaveRequest, std::string>> failures;
    int listChanged = 0;
    std::vector<std::string> started;
    std::vector<int32_t> progress;
    std::vector<bool> finished;
};

struct WaveFixture : testing::Test {
    TempDir dir;
    FakeLink link;
    WaveView view;
    CWaveList list;
    CWaveTransfer transfer{link, view, list};

    // A wave file whose packed form is exactly `packedSize` bytes.
    std::string FileWithPackedSize(int32_t packedSize) {
        std::mt19937 random(1);
        std::string noise(static_cast<std::size_t>(packedSize), '\0');
        for (auto& c : noise) {
            c = static_cast<char>(random());
        }
        const std::string path = dir.File("dir/sub/song.wav");
        std::filesystem::create_directories(dir.File("dir/sub"));
        for (int32_t size = packedSize; size > packedSize - 200; --size) {
            WriteFile(path, noise.substr(0, static_cast<std::size_t>(size)));
            CMemoryStream packed;
            packWaveFile(path, packed);
            if (packed.Size() == packedSize) {
                return path;
            }
        }
        ADD_FAILURE() << "no input packs to " << packedSize;
        return path;
    }

    std::vector<int32_t> ChunkOffsets() const {
        std::vector<int32_t> out;
        for (const auto& f : link.Of(msg::kWaveChunk)) {
            CMemoryStream s;
            s.Assign(f.payload);
            out.push_back(ReadI32(s));
        }
        return out;
    }
};

TEST_F(WaveFixture, ChunksFollowTheRobotsReplies) {
    const std::string path = FileWithPackedSize(70000);
    ASSERT_TRUE(transfer.uploadWaveFile(path));
    EXPECT_EQ(link.Of(msg::kBeginWaveUpload).at(0).payload,
              std::string("song.wav\0", 9) + I32(70000));
    EXPECT_EQ(view.started, (std::vector<std::string>{"Загрузить Wave-файл на робота|70000"}));
    EXPECT_TRUE(link.Of(msg::kWaveChunk).empty());
    for (int32_t o : {0, 32768, 65536}) {
        link.Receive(msg::kWaveChunkReply, I32(o));
    }
    EXPECT_EQ(ChunkOffsets(), (std::vector<int32_t>{0, 32768, 65536}));
    const auto chunks = link.Of(msg::kWaveChunk);
    EXPECT_EQ(chunks[0].payload.size(), 4u + 32768u);
    EXPECT_EQ(chunks[2].payload.size(), 4u + 4464u);
    EXPECT_EQ(view.progress, (std::vector<int32_t>{32768, 65536, 70000}));
    link.Receive(msg::kWaveChunkReply, I32(70000));
    EXPECT_EQ(view.finished, (std::vector<bool>{true}));
    EXPECT_FALSE(transfer.uploading());
    EXPECT_EQ(link.Of(msg::kListWaveFiles).size(), 1u);
    // The packed bytes sent are the file's packed form.
    CMemoryStream packed;
    packWaveFile(path, packed);
    std::string sent;
    for (const auto& c : chunks) {
        sent += c.payload.substr(4);
    }
    EXPECT_EQ(sent, std::string(packed.View()));
}

TEST_F(WaveFixture, NegativeReplyFailsOnTheNextTick) {
    ASSERT_TRUE(transfer.uploadWaveFile(FileWithPackedSize(1000)));
    link.Receive(msg::kWaveChunkReply, I32(0));
    link.Receive(msg::kWaveChunkReply, I32(-1));
    EXPECT_TRUE(view.failures.empty());
    transfer.Tick(100);
    ASSERT_EQ(view.failures.size(), 1u);
    EXPECT_EQ(view.failures[0].second, "Ошибка загрузки файла на робота!");
    EXPECT_EQ(view.finished, (std::vector<bool>{false}));
    EXPECT_EQ(link.Of(msg::kWaveChunk).size(), 1u);
    link.Receive(msg::kWaveChunkReply, I32(0));  // too late: nobody listens
    EXPECT_EQ(link.Of(msg::kWaveChunk).size(), 1u);
}

TEST_F(WaveFixture, AnOffsetBeyondTheEndCompletes) {
    ASSERT_TRUE(transfer.uploadWaveFile(FileWithPackedSize(1000)));
    link.Receive(msg::kWaveChunkReply, std::string("\x10", 1));  // too short to hold an offset
    EXPECT_TRUE(transfer.uploading());
    link.Receive(msg::kWaveChunkReply, I32(1 << 30));
    EXPECT_EQ(view.finished, (std::vector<bool>{true}));
    EXPECT_TRUE(link.Of(msg::kWaveChunk).empty());
}

TEST_F(WaveFixture, SilenceIsRetriedFourTimes) {
    ASSERT_TRUE(transfer.uploadWaveFile(FileWithPackedSize(1000)));
    link.Receive(msg::kWaveChunkReply, I32(0));
    for (int step = 0; step < 4 * 30; ++step) {
        transfer.Tick(100);
    }
    EXPECT_EQ(link.Of(msg::kWaveChunk).size(), 5u);  // the first and four resends
    EXPECT_TRUE(view.failures.empty());
    EXPECT_TRUE(transfer.uploading());
    for (int step = 0; step < 30; ++step) {
        transfer.Tick(100);
    }
    EXPECT_EQ(link.Of(msg::kWaveChunk).size(), 5u);
    EXPECT_FALSE(transfer.uploading());
    ASSERT_EQ(view.failures.size(), 1u);
    EXPECT_EQ(ChunkOffsets(), (std::vector<int32_t>{0, 0, 0, 0, 0}));
}

TEST_F(WaveFixture, TimerWaitsWhileDisconnectedAndCancelStops) {
    ASSERT_TRUE(transfer.uploadWaveFile(FileWithPackedSize(1000)));
    EXPECT_FALSE(transfer.uploadWaveFile(dir.File("dir/sub/song.wav")));  // one at a time
    link.state = kStateRetryWait;
    transfer.Tick(100000);
    EXPECT_TRUE(link.Of(msg::kWaveChunk).empty());
    link.state = kStateAuthorised;
    transfer.cancelUpload();
    link.Receive(msg::kWaveChunkReply, I32(0));
    transfer.Tick(100000);
    EXPECT_TRUE(link.Of(msg::kWaveChunk).empty());
    EXPECT_TRUE(view.failures.empty());
}

TEST_F(WaveFixture, UnreadableFileSendsNothing) {
    EXPECT_FALSE(transfer.uploadWaveFile(dir.File("missing.wav")));
    ASSERT_EQ(view.failures.size(), 1u);
    EXPECT_EQ(view.failures[0].second,
              "Невозможно открыть файл \"" + dir.File("missing.wav") + "\"!");
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(WaveFixture, ListAndDelete) {
    ASSERT_TRUE(transfer.requestWaveList());
    link.Receive(msg::kWaveFileList, std::string("a.wav\0", 6) + I32(1500) +
                                         std::string("b.wav\0", 6) + I32(20) + "tail");
    ASSERT_EQ(list.entries.size(), 2u);
    EXPECT_EQ(list.entries[1].name, "b.wav");
    EXPECT_EQ(list.entries[1].lengthMs, 20u);
    transfer.Tick(5000);
    EXPECT_TRUE(view.failures.empty());

    view.answer = false;
    EXPECT_FALSE(transfer.deleteWaveFile("a.wav"));
    view.answer = true;
    link.state = kStateIdle;
    EXPECT_FALSE(transfer.deleteWaveFile("a.wav"));
    EXPECT_EQ(view.failures.at(0).second, "Нет подключения к роботу!");
    link.state = kStateAuthorised;
    EXPECT_TRUE(transfer.deleteWaveFile("a.wav"));
    EXPECT_EQ(view.questions.back(),
              "Вы уверены, что хотите удалить \"a.wav\"?|Удалить Wave-файл с робота");
    EXPECT_EQ(link.Of(msg::kDeleteWaveFile).at(0).payload, std::string("a.wav\0", 6));
    ASSERT_EQ(list.entries.size(), 1u);

    transfer.requestWaveList();
    transfer.Tick(4000);
    EXPECT_EQ(view.failures.back().second, "Ошибка запроса списка файлов!");
}

TEST(AudioBlockDialog, LengthsAndFields) {
    EXPECT_EQ(SpeechLengthMs(180), 14500);
    EXPECT_EQ(SpeechLengthMs(0), 500);
    EXPECT_EQ(SpeechLengthMs(1), 577);
    EXPECT_EQ(WaveFileNameOf("C:\\a\\b|c/d.wav"), "d.wav");
    EXPECT_EQ(WaveFileNameOf("plain.wav"), "plain.wav");

    AudioBlock block{0, 900, 0, std::string("Song.WAV")};
    AudioBlockFields f = AudioBlockFields::FromBlock(block);
    EXPECT_TRUE(f.soundPage);
    EXPECT_EQ(f.fileName, "Song.WAV");
    f.soundPage = false;
    f.speech = "Привет";
    f.length = 1200;
    f.ApplyTo(block);
    EXPECT_EQ(*block.text, "\xcf\xf0\xe8\xe2\xe5\xf2");
    EXPECT_EQ(block.length, 1200);
    f.speech.clear();
    f.ApplyTo(block);
    EXPECT_FALSE(block.text);
}

}  // namespace
}  // namespace velcora
