#include "files/copy_engine.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files/local_file_system.h"
#include "files/policy_prompts.h"
#include "files/remote_file_system.h"
#include "files/transfer_list.h"
#include "prompts.h"
#include "scripted_robot.h"
#include "support/temp_folder.h"

namespace velcora {
namespace {

namespace fsys = std::filesystem;

std::string Pattern(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        s[i] = static_cast<char>(seed >> 16);
    }
    return s;
}

class CopyTest : public ::testing::Test {
  protected:
    test::TempFolder dir;
    CLocalFileSystem local;
    test::FakeLink link;
    test::ScriptedPump pump{link};
    test::MemoryRobot robot;
    CRemoteFileSystem remote{link, pump};
    test::ScriptedPrompts prompts;
    test::RecordingProgress progress;
    CCopyEngine engine{prompts, progress};

    void SetUp() override {
        pump.latencyMs = 1;
        pump.peer = [this](const test::SentFrame& f) { return robot(f); };
    }
    Outcome PasteLocal(const std::vector<std::u16string>& items, CFileSystem& to,
                       const std::u16string& folder) {
        return engine.Paste(items, &local, &remote, to, folder, CLocalFileSystem::IsDirectory);
    }
};

TEST_F(CopyTest, TreeRobotToLocalToRobotKeepsEveryByte) {
    robot.dirs.insert("C:\\demo");
    robot.dirs.insert("C:\\demo\\sub");
    robot.dirs.insert("C:\\demo\\empty");
    robot.files["C:\\demo\\big.bin"] = Pattern(3 * CCopyEngine::kBlockSize + 17, 1);
    robot.files["C:\\demo\\block.bin"] = Pattern(CCopyEngine::kBlockSize, 2);
    robot.files["C:\\demo\\zero.txt"] = "";
    const std::string report =
        "C:\\demo\\sub\\" + WideToAnsi(u"Отчёт.txt");  // robot names are ANSI
    robot.files[report] = Pattern(100, 3);

    // Ctrl+C in the robot's panel, Ctrl+V in the local one.
    const auto items = BuildTransferList(u"C:", {{u"demo", true, 0}}, true);
    ASSERT_EQ(items, std::vector<std::u16string>{u"#C:\\demo"});
    ASSERT_EQ(PasteLocal(items, local, dir.Wide()), Outcome::GoOn);
    EXPECT_EQ(dir.Read("demo/big.bin"), robot.files["C:\\demo\\big.bin"]);
    EXPECT_EQ(dir.Read("demo/sub/Отчёт.txt"), robot.files[report]);
    EXPECT_TRUE(fsys::is_directory(dir.Path() / "demo/empty"));
    EXPECT_TRUE(fsys::exists(dir.Path() / "demo/zero.txt"));
    EXPECT_EQ(progress.done, 1);

    // And back under another name.
    fsys::rename(dir.Path() / "demo", dir.Path() / "copied");
    ASSERT_EQ(PasteLocal({dir.Wide("copied")}, remote, u"D:"), Outcome::GoOn);
    for (const auto& [path, data] : std::map(robot.files)) {
        if (path.rfind("C:\\demo\\", 0) == 0) {
            const std::string back = "D:\\copied\\" + path.substr(8);
            ASSERT_TRUE(robot.files.count(back)) << back;
            EXPECT_EQ(robot.files[back], data) << back;
        }
    }
    EXPECT_TRUE(robot.dirs.count("D:\\copied\\empty"));
    EXPECT_TRUE(prompts.failures.empty());
}

TEST_F(CopyTest, CancellingMidFileLeavesNoTarget) {
    dir.Write("src/big.bin", Pattern(5 * CCopyEngine::kBlockSize, 4));
    fsys::create_directory(dir.Path() / "dst");
    progress.cancelAtPoll = 2;
    EXPECT_EQ(PasteLocal({dir.Wide("src/big.bin"), dir.Wide("src/other")}, local, dir.Wide("dst")),
              Outcome::Stop);
    EXPECT_TRUE(fsys::is_empty(dir.Path() / "dst"));
    EXPECT_EQ(progress.lastCopied, 2 * CCopyEngine::kBlockSize);
    EXPECT_TRUE(progress.ended);
}

TEST_F(CopyTest, CancellingDuringTheRobotsFileDiscardsItThere) {
    robot.files["C:\\big.bin"] = Pattern(3 * CCopyEngine::kBlockSize, 5);
    progress.cancelAtPoll = 1;
    dir.Write("big.bin", robot.files["C:\\big.bin"]);
    EXPECT_EQ(PasteLocal({dir.Wide("big.bin")}, remote, u"D:"), Outcome::Stop);
    EXPECT_FALSE(robot.files.count("D:\\big.bin"));
    const auto begins = link.Of(msg::kWriteBegin);
    ASSERT_EQ(begins.size(), 2u);
    EXPECT_EQ(begins[1].payload, std::string(1, '\0'));  // the discard
}

TEST_F(CopyTest, UnreadableFileIsSkippedWithContinueWhileTheRestIsCopied) {
    robot.dirs.insert("C:\\d");
    robot.files["C:\\d\\a.txt"] = "first";
    robot.files["C:\\d\\bad.txt"] = Pattern(10, 6);
    robot.files["C:\\d\\c.txt"] = "last";
    robot.unreadable.insert("C:\\d\\bad.txt");
    prompts.answers = {FailureAnswer::TryAgain, FailureAnswer::Continue};
    ASSERT_EQ(PasteLocal({u"#C:\\d"}, local, dir.Wide()), Outcome::GoOn);
    EXPECT_EQ(prompts.failures,
              (std::vector<std::u16string>(2, u"Невозможно прочитать файл \"C:\\d/bad.txt\"!")));
    EXPECT_EQ(dir.Read("d/a.txt"), "first");
    EXPECT_EQ(dir.Read("d/c.txt"), "last");
    EXPECT_FALSE(dir.Exists("d/bad.txt"));
    EXPECT_FALSE(dir.Exists("d/bad.txt_"));
}

TEST_F(CopyTest, CancelInAPromptStopsEverything) {
    robot.files["C:\\x"] = "1";
    robot.files["C:\\y"] = "2";
    prompts.answers = {FailureAnswer::Cancel};
    EXPECT_EQ(PasteLocal({u"@C:\\missing", u"@C:\\x"}, local, dir.Wide()), Outcome::Stop);
    EXPECT_EQ(prompts.failures.at(0), u"Невозможно открыть файл \"C:\\missing\"!");
    EXPECT_FALSE(dir.Exists("x"));
}

TEST_F(CopyTest, RobotNamesNeverLeaveTheChosenFolder) {
    robot.dirs.insert("C:\\demo");
    robot.files["C:\\demo\\fine.txt"] = "ok";
    robot.extraEntries["C:\\demo"] = {test::ListingEntry("../x", false, 3),
                                      test::ListingEntry("..\\y", true, 0),
                                      test::ListingEntry("..", true, 0)};
    fsys::create_directory(dir.Path() / "dest");
    ASSERT_EQ(PasteLocal({u"#C:\\demo", u"@C:\\demo\\.."}, local, dir.Wide("dest")), Outcome::GoOn);
    EXPECT_EQ(dir.Read("dest/demo/fine.txt"), "ok");
    std::vector<std::string> outside;
    for (const auto& e : fsys::recursive_directory_iterator(dir.Path())) {
        const auto rel = fsys::relative(e.path(), dir.Path()).string();
        if (rel.rfind("dest", 0) != 0) {
            outside.push_back(rel);
        }
    }
    EXPECT_TRUE(outside.empty());
    EXPECT_EQ(prompts.skipped.size(), 4u);  // three listed names and one item
}

TEST_F(CopyTest, FolderIsNotCopiedIntoItself) {
    dir.Write("a/f", "1");
    prompts.answers = {FailureAnswer::Continue};
    EXPECT_EQ(PasteLocal({dir.Wide("a")}, local, dir.Wide("a")), Outcome::GoOn);
    EXPECT_EQ(prompts.failures.size(), 1u);
    EXPECT_FALSE(dir.Exists("a/a"));
    // A copy beside itself is fine.
    fsys::create_directory(dir.Path() / "b");
    EXPECT_EQ(PasteLocal({dir.Wide("a")}, local, dir.Wide("b")), Outcome::GoOn);
    EXPECT_EQ(dir.Read("b/a/f"), "1");
}

TEST_F(CopyTest, LinksInsideATreeAreNotFollowed) {
    dir.Write("src/f", "1");
    fsys::create_directory_symlink(dir.Path() / "src", dir.Path() / "src/loop");
    fsys::create_directory(dir.Path() / "dst");
    EXPECT_EQ(PasteLocal({dir.Wide("src")}, local, dir.Wide("dst")), Outcome::GoOn);
    EXPECT_EQ(dir.Read("dst/src/f"), "1");
    EXPECT_FALSE(dir.Exists("dst/src/loop"));
    EXPECT_EQ(prompts.skipped.size(), 1u);
}

TEST_F(CopyTest, StandingRulesForScriptedCopies) {
    robot.dirs.insert("C:\\d");
    robot.files["C:\\d\\a"] = "1";
    robot.files["C:\\d\\b"] = "2";
    robot.unreadable.insert("C:\\d\\a");
    struct Case {
        OnError policy;
        Outcome outcome;
        std::size_t messages;
        bool copiedB;
    };
    const Case cases[] = {{OnError::Stop, Outcome::Stop, 1, false},
                          {OnError::Skip, Outcome::GoOn, 1, true},
                          {OnError::Retry, Outcome::Stop, 4, false}};
    for (const auto& c : cases) {
        test::TempFolder target;
        CPolicyPrompts policy(c.policy, 3);
        CCopyEngine scripted(policy, progress);
        EXPECT_EQ(scripted.Paste({u"#C:\\d"}, &local, &remote, local, target.Wide(), nullptr),
                  c.outcome);
        EXPECT_EQ(policy.Messages().size(), c.messages);
        EXPECT_EQ(target.Exists("d/b"), c.copiedB);
        EXPECT_FALSE(target.Exists("d/a"));
        EXPECT_TRUE(policy.HadFailures());
    }
}

}  // namespace
}  // namespace velcora
