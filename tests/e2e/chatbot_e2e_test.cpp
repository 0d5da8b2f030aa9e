#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "app/ctl/ctl.h"
#include "app/ctl/session.h"
#include "chatbot/chatbot_document.h"
#include "chatbot/chatbot_transfer.h"
#include "chatbot/demo_script.h"
#include "e2e/sim_thread.h"
#include "platform/posix_reactor.h"
#include "sim/sim_chatbot.h"
#include "sim/sim_features.h"
#include "sim/sim_robot.h"

namespace velcora {
namespace {

namespace fs = std::filesystem;

std::string FreshFolder(const std::string& name) {
    static int counter = 0;
    const fs::path path = fs::path(::testing::TempDir()) /
                          (name + "_" + std::to_string(getpid()) + "_" + std::to_string(++counter));
    fs::remove_all(path);
    return path.string();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A script of several chunks in the form the generator writes, so that a
// push (which regenerates) sends exactly these bytes.
std::string LargeScript(bool utf8) {
    std::string text = utf8 ? "\xEF\xBB\xBF" : "";
    for (int i = 0; i < 200; ++i) {
        const std::string n = std::to_string(i);
        text += "frameset(\"fs" + n + "\", " + std::to_string(i % 7) + ")\r\n{\r\n\tframe(\"word" +
                n + " [maybe] <fs0:number>\")\r\n\t{\r\n\t\tPlaySpeech(\"answer " + n +
                "\",\r\n\t\t\t\"another answer\");\r\n\t}\r\n}\r\n";
    }
    CChatBotDocument document;
    EXPECT_TRUE(document.LoadBytes(text));
    return document.ScriptBytes();
}

struct Recorder : IChatBotTransferView {
    void OnProgress(int32_t done, int32_t total) override {
        last = done;
        lastTotal = total;
    }
    void OnFinished(TransferResult r) override { finished.push_back(r); }
    int32_t last = -1;
    int32_t lastTotal = -1;
    std::vector<TransferResult> finished;
};

// The console's transfers and the simulated robot on one reactor, so that the
// clock can be moved on over the resend delay.
class ChatbotE2E : public ::testing::Test {
  protected:
    void Start(sim::SimOptions o = {}) {
        root = FreshFolder("velcora_chatbot_e2e");
        o.port = 0;
        o.password = "pw";
        o.root = root;
        robot = std::make_unique<sim::CSimRobot>(reactor, o);
        sim::InstallFeatures(*robot);
        ASSERT_TRUE(robot->Start());
        passwordFile = root + "/pw";
        WriteAll(passwordFile, "pw\n");
        ctl::ConnectionOptions options;
        options.host = "127.0.0.1";
        options.port = robot->Port();
        options.ini = root + "/missing.ini";
        options.passwordFile = passwordFile;
        session = std::make_unique<ctl::Session>(options, &reactor);
        ASSERT_EQ(session->Open(), ctl::kExitDone);
    }
    void TearDown() override {
        session.reset();
        robot.reset();
        if (!root.empty())
            fs::remove_all(root);
    }
    // The editor's 50 ms timer, with the elapsed time taken from the clock.
    template <typename Transfer>
    platform::ScopedTimer Ticking(Transfer& transfer) {
        auto last = std::make_shared<uint32_t>(reactor.Now());
        return platform::ScopedTimer(reactor, 50, [this, &transfer, last] {
            const uint32_t now = reactor.Now();
            transfer.Tick(static_cast<int32_t>(now - *last));
            *last = now;
        });
    }
    template <typename Transfer>
    TransferResult Run(Transfer& transfer) {
        auto timer = Ticking(transfer);
        transfer.Start();
        reactor.RunUntil([&] { return transfer.Result() != TransferResult::kRunning; }, 20000);
        return transfer.Result();
    }
    // Moves the clock on in steps short enough for both sides' keep-alives.
    void Pass(uint32_t ms) {
        for (uint32_t done = 0; done < ms; done += 500) {
            reactor.AdvanceClock(500);
            reactor.RunUntil([] { return false; }, 30);
        }
    }
    std::string Stored() {
        std::string bytes;
        EXPECT_TRUE(sim::LoadChatBotScript(*robot, bytes));
        return bytes;
    }
    std::string Pull() {
        CChatBotDownload download(session->Link(), view);
        EXPECT_EQ(Run(download), TransferResult::kSucceeded);
        return download.Bytes();
    }

    platform::PollReactor reactor;
    std::string root;
    std::string passwordFile;
    std::unique_ptr<sim::CSimRobot> robot;
    std::unique_ptr<ctl::Session> session;
    Recorder view;
};

// Push then pull, with the robot serving downloads in chunks of its own size.
struct RoundTrip {
    const char* name;
    int32_t robotChunk;
    bool utf8;
};

class ChatbotRoundTrip : public ChatbotE2E, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(ChatbotRoundTrip, PushThenPullGivesTheSameBytes) {
    sim::SimOptions o;
    o.chatbotChunk = GetParam().robotChunk;
    Start(o);
    // The seeded demo script comes down first.
    EXPECT_EQ(Pull(), DemoScriptBytes());

    const std::string script = LargeScript(GetParam().utf8);
    ASSERT_GT(script.size(), 2u * kChatBotChunkSize);
    CChatBotUpload upload(session->Link(), view, script);
    ASSERT_EQ(Run(upload), TransferResult::kSucceeded);
    EXPECT_EQ(ReadAll(sim::ChatBotScriptPath(*robot)), script);
    const int chunks =
        static_cast<int>((script.size() + kChatBotChunkSize - 1) / kChatBotChunkSize);
    EXPECT_EQ(robot->Received(msg::kChatBotUpload), chunks);

    const int requestsBefore = robot->Received(msg::kChatBotDownloadRequest);
    const std::string pulled = Pull();
    EXPECT_EQ(pulled, script);
    // The opening and closing requests, one per chunk, nothing resent.
    const int served =
        static_cast<int>((script.size() + GetParam().robotChunk - 1) / GetParam().robotChunk);
    auto requests = [&] { return robot->Received(msg::kChatBotDownloadRequest) - requestsBefore; };
    EXPECT_TRUE(reactor.RunUntil([&] { return requests() >= served + 2; }, 5000));
    reactor.RunUntil([] { return false; }, 100);
    EXPECT_EQ(requests(), served + 2);
    CChatBotDocument document;
    EXPECT_TRUE(document.LoadBytes(pulled));
    EXPECT_EQ(document.Utf8(), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(Chunks, ChatbotRoundTrip,
                         ::testing::Values(RoundTrip{"Full", 8192, true},
                                           RoundTrip{"Uneven", 777, true},
                                           RoundTrip{"Large", 65536, false},
                                           RoundTrip{"Odd", 3001, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChatbotE2E, LostAcknowledgementIsResentAfterFourSeconds) {
    sim::SimOptions o;
    o.dropAck = 2;
    Start(o);
    const std::string script = LargeScript(true);
    const int chunks =
        static_cast<int>((script.size() + kChatBotChunkSize - 1) / kChatBotChunkSize);
    ASSERT_GE(chunks, 3);

    CChatBotUpload upload(session->Link(), view, script);
    auto timer = Ticking(upload);
    upload.Start();
    // The second chunk's acknowledgement is lost: the console waits.
    ASSERT_TRUE(reactor.RunUntil(
        [&] { return robot->Feature<sim::SimChatBot>().acknowledgements == 2; }, 5000));
    reactor.RunUntil([] { return false; }, 200);
    EXPECT_EQ(upload.Offset(), kChatBotChunkSize);
    EXPECT_EQ(robot->Received(msg::kChatBotUpload), 2);
    Pass(2500);
    EXPECT_EQ(robot->Received(msg::kChatBotUpload), 2);
    Pass(2000);
    ASSERT_TRUE(
        reactor.RunUntil([&] { return upload.Result() != TransferResult::kRunning; }, 10000));
    EXPECT_EQ(upload.Result(), TransferResult::kSucceeded);
    EXPECT_EQ(robot->Received(msg::kChatBotUpload), chunks + 1);
    EXPECT_EQ(session->Connection().State(), kStateAuthorised);
    EXPECT_EQ(Stored(), script);
    EXPECT_EQ(Pull(), script);
}

// Console input the robot must not take: nothing is stored and the script
// the robot holds stays whole.
struct BadFrame {
    const char* name;
    msg::Type type;
    std::string payload;
    bool acknowledged;  // with the offset 0
};

std::string I32(int32_t v) {
    CMemoryStream s;
    WriteI32(s, v);
    return std::string(s.View());
}

class ChatbotBadInput : public ChatbotE2E, public ::testing::WithParamInterface<BadFrame> {};

TEST_P(ChatbotBadInput, IsRefusedAndTheScriptKept) {
    Start();
    int acks = 0;
    int32_t ackedOffset = -1;
    int chunks = 0;
    session->On(msg::kChatBotUpload, [&](CStream& s, int32_t) {
        ++acks;
        ackedOffset = ReadI32(s);
    });
    session->On(msg::kChatBotDownloadChunk, [&](CStream&, int32_t) { ++chunks; });
    const int before = robot->Received(GetParam().type);
    session->Send(GetParam().type, GetParam().payload);
    ASSERT_TRUE(reactor.RunUntil([&] { return robot->Received(GetParam().type) > before; }, 5000));
    reactor.RunUntil([] { return false; }, 100);
    EXPECT_EQ(acks, GetParam().acknowledged ? 1 : 0);
    if (GetParam().acknowledged) {
        EXPECT_EQ(ackedOffset, 0);
    }
    EXPECT_EQ(chunks, 0);
    EXPECT_EQ(Stored(), DemoScriptBytes());
    EXPECT_FALSE(fs::exists(sim::ChatBotScriptPath(*robot) + ".new"));
    EXPECT_EQ(session->Connection().State(), kStateAuthorised);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ChatbotBadInput,
    ::testing::Values(
        BadFrame{"ShortUploadHeader", msg::kChatBotUpload, I32(0), false},
        BadFrame{"NegativeTotal", msg::kChatBotUpload, I32(0) + I32(-1), false},
        BadFrame{"TotalAboveLimit", msg::kChatBotUpload, I32(0) + I32(kChatBotMaxScript + 1) + "x",
                 false},
        BadFrame{"NegativeOffset", msg::kChatBotUpload, I32(-4) + I32(10) + "abcd", false},
        BadFrame{"ChunkPastTotal", msg::kChatBotUpload, I32(0) + I32(3) + "abcd", false},
        BadFrame{"OffsetWrapsAround", msg::kChatBotUpload, I32(INT32_MAX) + I32(10) + "ab", false},
        BadFrame{"NoOpenUpload", msg::kChatBotUpload, I32(8) + I32(10) + "ab", true},
        BadFrame{"ShortRequest", msg::kChatBotDownloadRequest, "\x01", false},
        BadFrame{"RequestPastEnd", msg::kChatBotDownloadRequest, I32(INT32_MAX), false},
        BadFrame{"NegativeRequest", msg::kChatBotDownloadRequest, I32(-2), false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChatbotE2E, UploadGapIsAskedForAgainAndCompletedOnlyWhole) {
    Start();
    std::vector<int32_t> acks;
    session->On(msg::kChatBotUpload, [&](CStream& s, int32_t) { acks.push_back(ReadI32(s)); });
    auto send = [&](int32_t offset, std::string_view bytes) {
        CMemoryStream s;
        WriteChatBotChunk(s, offset, 6, bytes);
        session->Send(msg::kChatBotUpload, s.View());
        const std::size_t before = acks.size();
        ASSERT_TRUE(reactor.RunUntil([&] { return acks.size() > before; }, 5000));
    };
    send(0, "ab");
    send(4, "ef");  // a gap: the robot asks for 2 again
    EXPECT_EQ(Stored(), DemoScriptBytes());
    send(2, "cd");
    send(4, "ef");
    EXPECT_EQ(acks, (std::vector<int32_t>{2, 2, 4, 6}));
    EXPECT_EQ(Stored(), "abcdef");
    // A resent last chunk is acknowledged again.
    send(4, "ef");
    EXPECT_EQ(acks.back(), 6);
    EXPECT_EQ(Stored(), "abcdef");
}

TEST(ChatbotSim, SeedsOnlyAMissingFolder) {
    platform::PollReactor reactor;
    const std::string root = FreshFolder("velcora_chatbot_seed");
    sim::SimOptions o;
    o.root = root;
    {
        sim::CSimRobot robot(reactor, o);
        sim::InstallChatbot(robot);
        EXPECT_EQ(ReadAll(sim::ChatBotScriptPath(robot)), DemoScriptBytes());
        WriteAll(sim::ChatBotScriptPath(robot), "kept");
    }
    {
        sim::CSimRobot robot(reactor, o);
        sim::InstallChatbot(robot);
        std::string bytes;
        ASSERT_TRUE(sim::LoadChatBotScript(robot, bytes));
        EXPECT_EQ(bytes, "kept");
    }
    fs::remove_all(root);
}

// The commands themselves against a robot on a thread of its own.
sim::SimOptions CommandRobot(const std::string& root) {
    sim::SimOptions o;
    o.password = "pw";
    o.root = root;
    o.chatbotChunk = 1000;
    return o;
}

TEST(ChatbotCommandE2E, PullThenFormatPrintsTheDemoScriptAndPushIsPulledBack) {
    const std::string root = FreshFolder("velcora_chatbot_ctl");
    fs::create_directories(root);
    WriteAll(root + "/pw", "pw\n");
    test::SimThread robot(CommandRobot(root + "/robot"));
    ASSERT_TRUE(robot.Started());
    ctl::Registry registry;
    ctl::RegisterChatbotCommands(registry);
    const ctl::Command* chatbot = registry.Find("chatbot");
    ASSERT_TRUE(chatbot);
    auto run = [&](std::vector<std::string> args, bool online) {
        if (online) {
            const std::string more[] = {
                "--host",          "127.0.0.1",  "--ini",  root + "/missing.ini",
                "--password-file", root + "/pw", "--port", std::to_string(robot.Port())};
            args.insert(args.end(), std::begin(more), std::end(more));
        }
        ctl::Args a(std::move(args));
        return chatbot->run(a);
    };

    const std::string pulled = root + "/s.txt";
    testing::internal::CaptureStderr();
    ASSERT_EQ(run({"pull", pulled}, true), ctl::kExitDone);
    const std::string progress = testing::internal::GetCapturedStderr();
    EXPECT_NE(progress.find("of " + std::to_string(DemoScriptBytes().size()) + " bytes"),
              std::string::npos)
        << progress;
    testing::internal::CaptureStdout();
    ASSERT_EQ(run({"format", pulled}, false), ctl::kExitDone);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), DemoScriptBytes().substr(3));

    const std::string pushed = root + "/big.txt";
    WriteAll(pushed, LargeScript(false));
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({"push", pushed}, true), ctl::kExitDone);
    testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({"pull", pulled}, true), ctl::kExitDone);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadAll(pulled), ReadAll(pushed));
    EXPECT_FALSE(fs::exists(pulled + ".part"));

    // A file that does not read is not sent.
    WriteAll(pushed, "frameset(\"a\") { frame(\"x\") }");
    testing::internal::CaptureStderr();
    EXPECT_EQ(run({"push", pushed}, true), ctl::kExitFailed);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Ошибка разбора текста!"),
              std::string::npos);
    EXPECT_EQ(run({"pull"}, true), ctl::kExitUsage);
    fs::remove_all(root);
}

}  // namespace
}  // namespace velcora
