#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "app/ctl/ctl.h"
#include "e2e/sim_thread.h"
#include "files/copy_engine.h"
#include "files/local_file_system.h"
#include "files/policy_prompts.h"
#include "files/reactor_pump.h"
#include "files/remote_file_system.h"
#include "link/robot_connection.h"
#include "link/text_codec.h"
#include "platform/posix_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_files.h"
#include "sim/sim_robot.h"
#include "support/temp_folder.h"

namespace velcora {
namespace {

namespace fs = std::filesystem;

// Every file below `folder` by its path relative to it, with an FNV-1a
// checksum of its bytes; folders appear with an empty checksum.
std::map<std::string, std::string> Checksums(const fs::path& folder) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        const std::string rel = fs::relative(e.path(), folder).string();
        if (e.is_directory()) {
            out[rel] = "";
            continue;
        }
        std::ifstream in(e.path(), std::ios::binary);
        uint64_t h = 1469598103934665603ull;
        char c;
        while (in.get(c)) {
            h = (h ^ static_cast<uint8_t>(c)) * 1099511628211ull;
        }
        out[rel] = std::to_string(h);
    }
    return out;
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Quiet : public ICopyProgress {
  public:
    void Begin(int32_t) override {}
    void ItemsDone(int32_t) override {}
    void FileStarted(const std::u16string&, int32_t) override {}
    void FileProgress(int32_t) override {}
    bool CancelRequested() override { return false; }
    void End() override {}
};

// The console's remote file system and the simulated robot on one reactor.
class FilesE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::SimOptions o;
        o.port = 0;
        o.root = (root.Path() / "robot").string();
        fs::create_directories(o.root);
        robot = std::make_unique<sim::CSimRobot>(reactor, o);
        sim::InstallFeatures(*robot);
        ASSERT_TRUE(robot->Start());
        ASSERT_TRUE(link.ConnectAnsi("127.0.0.1", robot->Port(), false));
        ASSERT_TRUE(reactor.RunUntil([&] { return link.Authorised(); }, 5000));
    }
    fs::path Disk(const std::string& relative = {}) const {
        return root.Path() / "robot" / "files" / relative;
    }
    sim::SimFiles& Files() { return robot->Feature<sim::SimFiles>(); }

    test::TempFolder root;
    platform::PollReactor reactor;
    CMessageDispatcher dispatcher;
    struct : IRobotConnectionOwner {
        void OnConnectionStateChanged() override {}
    } owner;
    CRobotConnection link{reactor, dispatcher, &owner};
    CReactorPump pump{reactor, [this] { link.Tick(); }};
    std::unique_ptr<sim::CSimRobot> robot;
    CRemoteFileSystem remote{link, pump};
    CLocalFileSystem local;
};

TEST_F(FilesE2E, FolderTreeRobotToLocalToRobotKeepsEveryByte) {
    // A block-sized file and one just over it travel as several requests.
    std::string big(CCopyEngine::kBlockSize * 2 + 17, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 7919 >> 3);
    }
    std::ofstream(Disk("C/demo/sounds/archive/block.bin"), std::ios::binary)
        << big.substr(0, CCopyEngine::kBlockSize);
    std::ofstream(Disk("C/demo/big.bin"), std::ios::binary) << big;
    std::ofstream(Disk("C/demo/empty.txt"), std::ios::binary) << "";

    CPolicyPrompts prompts(OnError::Stop);
    Quiet progress;
    CCopyEngine engine(prompts, progress);
    const fs::path down = root.Path() / "down";
    fs::create_directories(down);
    ASSERT_EQ(engine.CopyFolder(remote, u"C:\\demo", local, Utf8ToWide(down.string())),
              Outcome::GoOn);
    ASSERT_TRUE(remote.CreateDirectory(u"D:\\back"));
    ASSERT_EQ(engine.CopyFolder(local, Utf8ToWide((down / "demo").string()), remote, u"D:\\back"),
              Outcome::GoOn);
    EXPECT_FALSE(prompts.HadFailures());

    const auto original = Checksums(Disk("C/demo"));
    EXPECT_GE(original.size(), 9u);
    EXPECT_EQ(Checksums(down / "demo"), original);
    EXPECT_EQ(Checksums(Disk("D/back/demo")), original);
    EXPECT_TRUE(fs::exists(Disk("D/back/demo/Отчёт.txt")));
}

// Paths that would reach outside the robot's disk, or that no Windows disk
// has, are refused by every kind of request and leave nothing behind.
class EscapeE2E : public FilesE2E, public ::testing::WithParamInterface<const char*> {};

TEST_P(EscapeE2E, RefusedByEveryRequest) {
    fs::create_directories(root.Path() / "outside");
    std::ofstream(root.Path() / "outside" / "secret.txt") << "secret";
    fs::create_symlink(root.Path() / "outside", Disk("C/out"));
    const std::u16string path = AnsiToWide(Utf8ToAnsi(GetParam()));
    const int refusedBefore = Files().disk->Refused();

    EXPECT_FALSE(remote.EnumDir(path, nullptr));
    EXPECT_EQ(remote.OpenRead(path), -1);
    EXPECT_FALSE(remote.BeginWrite(path + u"\\new.txt"));
    EXPECT_FALSE(remote.CreateDirectory(path + u"\\made"));
    EXPECT_FALSE(remote.Execute(path));
    EXPECT_FALSE(remote.Rename(u"C:\\demo\\readme.txt", path + u"\\moved.txt"));
    EXPECT_GE(Files().disk->Refused() - refusedBefore, 6);
    EXPECT_TRUE(Files().executed.empty());
    EXPECT_TRUE(fs::exists(Disk("C/demo/readme.txt")));
    EXPECT_EQ(Checksums(root.Path() / "outside").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Paths, EscapeE2E,
                         ::testing::Values("C:\\..", "C:\\demo\\..\\..\\..\\outside",
                                           "C:/demo/../../x", "C:\\out", "C:\\out\\secret.txt",
                                           "E:\\", "\\outside", "/tmp", "C:relative",
                                           "C:\\demo\\a:b", "C:\\demo\\what?"));

TEST_F(FilesE2E, LinkOutCannotBeDeletedThroughButGoesAsALink) {
    fs::create_directories(root.Path() / "outside");
    std::ofstream(root.Path() / "outside" / "keep.txt") << "keep";
    fs::create_symlink(root.Path() / "outside" / "keep.txt", Disk("C/link.txt"));
    EXPECT_FALSE(remote.DeleteFile(u"C:\\link.txt\\..\\demo\\readme.txt"));
    // Not listed (the robot cannot serve it), but removing the link itself
    // touches nothing outside.
    std::vector<std::u16string> names;
    ASSERT_TRUE(remote.EnumDir(u"C:", [&](const CDirEntry& e) { names.push_back(e.name); }));
    EXPECT_EQ(names, std::vector<std::u16string>{u"demo"});
    EXPECT_TRUE(remote.DeleteFile(u"C:\\link.txt"));
    EXPECT_TRUE(fs::exists(root.Path() / "outside" / "keep.txt"));
}

TEST_F(FilesE2E, DriveRootsStayAndOpeningOrRestartingRunsNothing) {
    EXPECT_FALSE(remote.RemoveDirectory(u"D:"));
    EXPECT_FALSE(remote.Rename(u"D:\\", u"C:\\d"));
    EXPECT_FALSE(remote.DeleteFile(u"C:"));
    EXPECT_TRUE(fs::is_directory(Disk("D")));

    EXPECT_TRUE(remote.Execute(u"C:\\demo\\readme.txt"));
    EXPECT_FALSE(remote.Execute(u"C:\\demo\\missing.exe"));
    ASSERT_TRUE(SendRestart(link));
    ASSERT_TRUE(reactor.RunUntil([&] { return Files().restarts == 1; }, 5000));
    EXPECT_EQ(Files().executed, std::vector<std::string>{"C:\\demo\\readme.txt"});
    EXPECT_EQ(link.State(), kStateAuthorised);
}

TEST_F(FilesE2E, WritingGoesThroughTheTemporaryName) {
    std::ofstream(Disk("C/report.txt")) << "old";
    ASSERT_TRUE(remote.BeginWrite(u"C:\\report.txt"));
    ASSERT_TRUE(remote.WriteAt(0, "new!", 4));
    EXPECT_EQ(Slurp(Disk("C/report.txt")), "old");
    EXPECT_TRUE(fs::exists(Disk("C/report.txt_")));
    ASSERT_TRUE(remote.EndWrite());
    EXPECT_EQ(Slurp(Disk("C/report.txt")), "new!");
    EXPECT_FALSE(fs::exists(Disk("C/report.txt_")));

    // An abandoned file leaves neither name, and the old file is untouched.
    ASSERT_TRUE(remote.BeginWrite(u"C:\\report.txt"));
    ASSERT_TRUE(remote.WriteAt(0, "x", 1));
    ASSERT_TRUE(remote.BeginWrite(u""));
    EXPECT_FALSE(fs::exists(Disk("C/report.txt_")));
    EXPECT_EQ(Slurp(Disk("C/report.txt")), "new!");
    EXPECT_FALSE(remote.EndWrite());

    // A read is never answered short: a block past the end is refused.
    ASSERT_EQ(remote.OpenRead(u"C:\\report.txt"), 4);
    char buffer[8];
    EXPECT_FALSE(remote.ReadAt(2, buffer, 4));
    EXPECT_TRUE(remote.ReadAt(1, buffer, 3));
    EXPECT_EQ(std::string(buffer, 3), "ew!");
    EXPECT_TRUE(remote.CloseRead());
}

// ------------------------------------------------------- velcoractl fs

// The commands against the simulated robot in a thread of its own, as a
// separate program would be.
class FsCommandE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(Robot());
        sim::SimOptions o;
        o.root = Robot().string();
        robot = std::make_unique<test::SimThread>(o);
        ASSERT_TRUE(robot->Started());
        ctl::RegisterFilesCommands(registry);
        unsetenv("VELCORA_PASSWORD");
    }
    fs::path Robot() const { return root.Path() / "robot"; }
    fs::path Disk(const std::string& relative) const { return Robot() / "files" / relative; }

    struct Result {
        int rc;
        std::string out, err;
    };
    Result Run(std::vector<std::string> words) {
        for (const std::string extra : {"--host", "127.0.0.1", "--port"}) {
            words.push_back(extra);
        }
        words.push_back(std::to_string(robot->Port()));
        words.push_back("--ini");
        words.push_back((root.Path() / "missing.ini").string());
        ctl::Args args(std::move(words));
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int rc = registry.Find("fs")->run(args);
        std::string out = testing::internal::GetCapturedStdout();
        return {rc, out, testing::internal::GetCapturedStderr()};
    }

    test::TempFolder root;
    std::unique_ptr<test::SimThread> robot;
    ctl::Registry registry;
};

TEST_F(FsCommandE2E, DemoFolderCopiedOutAndBackUnderAnotherName) {
    const std::string copied = (root.Path() / "copied").string();
    auto r = Run({"get", "C:\\demo", copied});
    ASSERT_EQ(r.rc, ctl::kExitDone) << r.err;
    EXPECT_NE(r.err.find("C:\\demo/telemetry.bin (146 k)"), std::string::npos) << r.err;
    fs::rename(root.Path() / "copied" / "demo", root.Path() / "copied" / "demo-back");
    r = Run({"put", (root.Path() / "copied" / "demo-back").string(), "C:\\"});
    ASSERT_EQ(r.rc, ctl::kExitDone) << r.err;

    const auto original = Checksums(Disk("C/demo"));
    EXPECT_EQ(Checksums(root.Path() / "copied" / "demo-back"), original);
    EXPECT_EQ(Checksums(Disk("C/demo-back")), original);

    r = Run({"ls", "C:\\demo-back", "--json"});
    ASSERT_EQ(r.rc, ctl::kExitDone) << r.err;
    EXPECT_EQ(r.out,
              "[{\"name\":\"sounds\",\"isDirectory\":true,\"size\":0},"
              "{\"name\":\"readme.txt\",\"isDirectory\":false,\"size\":95},"
              "{\"name\":\"robot.ini\",\"isDirectory\":false,\"size\":40},"
              "{\"name\":\"telemetry.bin\",\"isDirectory\":false,\"size\":150000},"
              "{\"name\":\"Отчёт.txt\",\"isDirectory\":false,\"size\":58}]\n");
}

// A name the robot sends may hold terminal escapes; the listing and the
// copy's messages show them as '?' so they cannot act on the terminal.
TEST_F(FsCommandE2E, RobotNamesReachTheTerminalWithoutControlCharacters) {
    fs::create_directories(Disk("C/esc"));
    std::ofstream(Disk("C/esc") /
                  "a\x1b]0;owned\x07"
                  "b.txt")
        << "x";
    auto r = Run({"ls", "C:\\esc"});
    ASSERT_EQ(r.rc, ctl::kExitDone) << r.err;
    EXPECT_NE(r.out.find("a?]0;owned?b.txt"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    // The simulated robot, like the disk it stands for, cannot open such a
    // name: the failure names the file, again harmlessly.
    r = Run({"get", "C:\\esc", (root.Path() / "out").string()});
    EXPECT_EQ(r.rc, ctl::kExitFailed);
    EXPECT_NE(r.err.find("a?]0;owned?b.txt"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
}

// A file the robot lists but cannot open (its name has a character the
// robot's code page lacks): stop ends the copy there, skip copies the rest;
// both exit 1 with the failure text.
struct PolicyCase {
    const char* policy;
    bool lastCopied;
};

class OnErrorE2E : public FsCommandE2E, public ::testing::WithParamInterface<PolicyCase> {};

TEST_P(OnErrorE2E, UnopenableFile) {
    fs::create_directories(Disk("D/set"));
    std::ofstream(Disk("D/set/a.txt")) << "first";
    std::ofstream(Disk("D/set/m-日本.txt")) << "unreachable";
    std::ofstream(Disk("D/set/z.txt")) << "last";
    const auto r =
        Run({"get", "D:\\set", (root.Path() / "out").string(), "--on-error", GetParam().policy});
    EXPECT_EQ(r.rc, ctl::kExitFailed);
    EXPECT_NE(r.err.find("Невозможно открыть файл \"D:\\set/m-??.txt\"!"), std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::exists(root.Path() / "out" / "set" / "a.txt"));
    EXPECT_EQ(fs::exists(root.Path() / "out" / "set" / "z.txt"), GetParam().lastCopied);
    EXPECT_FALSE(fs::exists(root.Path() / "out" / "set" / "m-??.txt"));
}

INSTANTIATE_TEST_SUITE_P(Policies, OnErrorE2E,
                         ::testing::Values(PolicyCase{"stop", false}, PolicyCase{"skip", true},
                                           PolicyCase{"retry", false}),
                         [](const auto& info) { return std::string(info.param.policy); });

TEST_F(FsCommandE2E, ManagesFoldersAndNamesWithTheConsolesTexts) {
    struct Step {
        std::vector<std::string> words;
        int rc;
        const char* err;  // part of stderr, or nullptr
    };
    const Step steps[] = {
        {{"mkdir", "D:\\a+b"},
         ctl::kExitFailed,
         "Название файла или директориии не должно содержать специальные символы!"},
        {{"mkdir", "D:\\a-b"}, ctl::kExitDone, nullptr},
        {{"put", (Disk("C/demo/readme.txt")).string(), "D:\\a-b"}, ctl::kExitDone, nullptr},
        {{"mv", "D:\\a-b", "c-d"}, ctl::kExitDone, nullptr},
        {{"mv", "D:\\missing", "x"}, ctl::kExitFailed, "Невозможно переименовать файл!"},
        {{"open", "D:\\c-d\\nothing.exe"},
         ctl::kExitFailed,
         "Невозможно выполнить программу или открыть файл \"nothing.exe\"!"},
        {{"open", "D:\\c-d\\readme.txt"}, ctl::kExitDone, nullptr},
        {{"rm", "D:\\c-d", "D:\\gone"}, ctl::kExitFailed, "Невозможно удалить файл \"D:\\gone\"!"},
        {{"rm", "D:"}, ctl::kExitFailed, "Невозможно удалить директорию \"D:\"!"},
        {{"restart"}, ctl::kExitDone, nullptr},
        {{"ls"}, ctl::kExitUsage, "usage: fs ls PATH [--json]"},
        {{"get", "C:\\demo", "x", "--on-error", "maybe"}, ctl::kExitUsage, "--on-error"},
    };
    for (const auto& step : steps) {
        const auto r = Run(step.words);
        EXPECT_EQ(r.rc, step.rc) << step.words[0] << " " << r.err;
        if (step.err) {
            EXPECT_NE(r.err.find(step.err), std::string::npos) << step.words[0] << ": " << r.err;
        }
    }
    EXPECT_FALSE(fs::exists(Disk("D/c-d")));
    EXPECT_FALSE(fs::exists(Disk("D/a-b")));
    EXPECT_TRUE(fs::is_directory(Disk("D")));
}

}  // namespace
}  // namespace velcora
