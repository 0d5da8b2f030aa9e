#include "files/file_operations.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files/file_panel.h"
#include "files/local_file_system.h"
#include "files/remote_file_system.h"
#include "prompts.h"
#include "scripted_robot.h"
#include "support/temp_folder.h"

namespace velcora {
namespace {

TEST(Texts, CountWords) {
    const std::pair<int64_t, const char16_t*> cases[] = {
        {1, u"объект"},    {2, u"объекта"},    {4, u"объекта"},    {5, u"объектов"},
        {11, u"объектов"}, {12, u"объектов"},  {14, u"объектов"},  {21, u"объект"},
        {22, u"объекта"},  {25, u"объектов"},  {111, u"объектов"}, {112, u"объектов"},
        {101, u"объект"},  {1000, u"объектов"}};
    for (const auto& [n, word] : cases) {
        EXPECT_EQ(ObjectsWord(n), word) << n;
    }
    EXPECT_EQ(DeleteQuestion({u"a.txt"}), u"Вы уверены, что хотите удалить \"a.txt\"?");
    EXPECT_EQ(DeleteQuestion(std::vector<std::u16string>(22, u"x")),
              u"Вы уверены, что хоите удалить 22 объекта?");
}

TEST(Texts, SizeColumn) {
    const std::pair<uint64_t, const char16_t*> cases[] = {
        {0, u"0"},         {1023, u"1023"},         {1024, u"1 k"},       {1048575, u"1023 k"},
        {1048576, u"1 M"}, {1073741823, u"1023 M"}, {1073741824, u"1 G"}, {5ull << 40, u"5120 G"}};
    for (const auto& [size, text] : cases) {
        EXPECT_EQ(SizeText({u"f", false, size}), text) << size;
    }
    EXPECT_EQ(SizeText({u"d", true, 4096}), u"");
}

TEST(Texts, CopyLabelKeepsTheEndOfLongPaths) {
    EXPECT_EQ(CopyLabel(std::u16string(63, u'a')), std::u16string(63, u'a'));
    const std::u16string longPath = std::u16string(6, u'x') + std::u16string(58, u'y');
    EXPECT_EQ(CopyLabel(longPath), u"..." + std::u16string(58, u'y'));
}

TEST(Paths, SeparatorsAndComponents) {
    EXPECT_EQ(JoinPanelPath(u"C:", u"a"), u"C:\\a");
    EXPECT_EQ(JoinPanelPath(u"C:\\", u"a"), u"C:\\a");
    EXPECT_EQ(JoinPanelPath(u"/home", u"a"), u"/home/a");
    EXPECT_EQ(JoinPanelPath(u"/", u"a"), u"/a");
    EXPECT_EQ(JoinSlash(u"C:\\demo", u"a"), u"C:\\demo/a");
    EXPECT_EQ(LastComponent(u"C:\\demo/sub\\"), u"sub");
    EXPECT_EQ(LastComponent(u"name"), u"name");
    EXPECT_EQ(ParentFolder(u"C:\\demo\\sub"), u"C:\\demo");
    EXPECT_EQ(ParentFolder(u"C:\\demo"), u"C:");
    EXPECT_EQ(ParentFolder(u"/home"), u"/");
    EXPECT_EQ(ParentFolder(u"/"), u"/");
    EXPECT_EQ(RootOf(u"d:\\x\\y"), u"d:");
    EXPECT_EQ(RootOf(u"/x/y"), u"/");
}

class SortTest : public ::testing::TestWithParam<SortMode> {};

TEST_P(SortTest, ParentFirstThenFoldersThenFiles) {
    std::vector<CDirEntry> listing = {{u"zeta.TXT", false, 1},    {u"Beta", true, 0},
                                      {u"alpha.bin", false, 900}, {u"..", true, 0},
                                      {u"README", false, 5},      {u".", true, 0},
                                      {u"ёлка.txt", false, 2},    {u"Ящик", true, 0}};
    const auto shown = PanelEntries(listing, GetParam());
    ASSERT_EQ(shown.size(), 7u);
    EXPECT_EQ(shown[0].name, u"..");
    EXPECT_EQ(shown[1].name, u"Beta");
    EXPECT_EQ(shown[2].name, u"Ящик");
    std::vector<std::u16string> files;
    for (std::size_t i = 3; i < shown.size(); ++i) {
        files.push_back(shown[i].name);
    }
    const std::vector<std::u16string> expected[] = {
        {u"alpha.bin", u"README", u"zeta.TXT", u"ёлка.txt"},
        {u"alpha.bin", u"zeta.TXT", u"ёлка.txt", u"README"},
        {u"zeta.TXT", u"ёлка.txt", u"README", u"alpha.bin"},
    };
    EXPECT_EQ(files, expected[static_cast<int>(GetParam())]);
}

INSTANTIATE_TEST_SUITE_P(AllModes, SortTest,
                         ::testing::Values(SortMode::ByName, SortMode::ByExtension,
                                           SortMode::BySize));

TEST(CreateFolderTest, SpecialCharactersAreRefusedAndAskedAgain) {
    test::TempFolder dir;
    CLocalFileSystem fs;
    test::ScriptedPrompts prompts;
    prompts.texts = {u"a+b", u"x:y", u"a-b"};
    EXPECT_EQ(CreateFolder(fs, dir.Wide(), prompts), u"a-b");
    EXPECT_EQ(prompts.errors.size(), 2u);
    EXPECT_EQ(prompts.lastTimeout, 10000u);
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path() / "a-b"));
    EXPECT_FALSE(dir.Exists("a+b"));

    prompts.texts = {u""};
    EXPECT_EQ(CreateFolder(fs, dir.Wide(), prompts), std::nullopt);
    for (char16_t c : std::u16string(u"*+/:?\\|")) {
        EXPECT_TRUE(HasForbiddenCharacters(std::u16string(u"a") + c));
    }
}

TEST(CreateFolderTest, FailureOffersRetry) {
    test::TempFolder dir;
    CLocalFileSystem fs;
    test::ScriptedPrompts prompts;
    prompts.texts = {u"x"};
    EXPECT_EQ(CreateFolder(fs, dir.Wide("missing/deeper"), prompts), std::nullopt);
    ASSERT_EQ(prompts.failures.size(), 1u);
    EXPECT_EQ(prompts.failures[0], u"Невозможно создать папку \"x\"!");
}

TEST(DeleteTest, TreesGoWholeButLinkedFoldersOnlyLoseTheLink) {
    test::TempFolder dir;
    dir.Write("keep/precious", "data");
    dir.Write("tree/a/b/file", "1");
    dir.Write("tree/top", "2");
    std::filesystem::create_directory_symlink(dir.Path() / "keep", dir.Path() / "tree/a/link");
    dir.Write("single", "3");
    CLocalFileSystem fs;
    test::ScriptedPrompts prompts;
    const std::vector<CDirEntry> selection = {
        {u"..", true, 0}, {u"tree", true, 0}, {u"single", false, 1}};
    EXPECT_EQ(DeleteEntries(fs, dir.Wide(), selection, prompts), Outcome::GoOn);
    EXPECT_EQ(prompts.questions.at(0), u"Удалить: Вы уверены, что хоите удалить 3 объекта?");
    EXPECT_FALSE(dir.Exists("tree"));
    EXPECT_FALSE(dir.Exists("single"));
    EXPECT_EQ(dir.Read("keep/precious"), "data");
    EXPECT_TRUE(prompts.failures.empty());

    prompts.yes = false;
    dir.Write("x", "");
    EXPECT_EQ(DeleteEntries(fs, dir.Wide(), {{u"x", false, 0}}, prompts), Outcome::Stop);
    EXPECT_TRUE(dir.Exists("x"));
}

class RemoteOpsTest : public ::testing::Test {
  protected:
    test::FakeLink link;
    test::ScriptedPump pump{link};
    test::MemoryRobot robot;
    CRemoteFileSystem fs{link, pump};
    test::ScriptedPrompts prompts;
    void SetUp() override {
        pump.peer = [this](const test::SentFrame& f) { return robot(f); };
    }
};

TEST_F(RemoteOpsTest, FailedDeleteAsksAndContinueSkipsOnlyThatItem) {
    robot.dirs.insert("C:\\d");
    robot.files["C:\\d\\a"] = "1";
    robot.files["C:\\d\\b"] = "2";
    robot.undeletable.insert("C:\\d\\a");
    prompts.answers = {FailureAnswer::TryAgain, FailureAnswer::Continue, FailureAnswer::Continue};
    EXPECT_EQ(DeleteEntry(fs, u"C:", {u"d", true, 0}, prompts), Outcome::GoOn);
    EXPECT_EQ(prompts.failures,
              (std::vector<std::u16string>{u"Невозможно удалить файл \"C:\\d\\a\"!",
                                           u"Невозможно удалить файл \"C:\\d\\a\"!"}));
    EXPECT_FALSE(robot.files.count("C:\\d\\b"));
    EXPECT_TRUE(robot.files.count("C:\\d\\a"));
}

TEST_F(RemoteOpsTest, DeleteNeverFollowsARobotNameOutOfTheFolder) {
    robot.dirs.insert("C:\\d");
    robot.files["C:\\victim"] = "mine";
    robot.extraEntries["C:\\d"] = {test::ListingEntry("..\\victim", false, 4)};
    EXPECT_EQ(DeleteEntry(fs, u"C:", {u"d", true, 0}, prompts), Outcome::GoOn);
    EXPECT_TRUE(robot.files.count("C:\\victim"));
    EXPECT_EQ(prompts.skipped, (std::vector<std::u16string>{u"C:\\d\\..\\victim"}));
}

TEST_F(RemoteOpsTest, OpenRenameAndThePanel) {
    robot.dirs.insert("C:\\demo");
    robot.dirs.insert("C:\\demo\\sub");
    robot.files["C:\\demo\\run.bat"] = "x";
    CFilePanelModel panel(std::make_unique<CRemoteFileSystem>(link, pump));
    ASSERT_TRUE(panel.LoadDrives());
    ASSERT_TRUE(panel.Refresh());  // no folder yet: the first drive
    EXPECT_EQ(panel.Folder(), u"C:");
    ASSERT_EQ(panel.Entries().size(), 2u);
    EXPECT_EQ(panel.Entries()[0].name, u"..");

    CFileSystem& rfs = panel.FileSystem();
    EXPECT_EQ(OpenEntry(rfs, panel.Entries()[1], prompts), OpenResult::FolderChanged);
    EXPECT_EQ(panel.Folder(), u"C:\\demo");
    ASSERT_TRUE(panel.Refresh());
    EXPECT_EQ(OpenEntry(rfs, {u"sub", true, 0}, prompts), OpenResult::FolderChanged);
    const auto combo = panel.ComboEntries();
    ASSERT_EQ(combo.size(), 4u);
    EXPECT_EQ(combo[1].text, u"   demo");
    EXPECT_EQ(combo[2].text, u"      sub");
    EXPECT_EQ(combo[3].text, u"D:");
    ASSERT_TRUE(panel.ChooseComboEntry(1));
    EXPECT_EQ(panel.Folder(), u"C:\\demo");

    EXPECT_EQ(OpenEntry(rfs, {u"run.bat", false, 1}, prompts), OpenResult::Executed);
    EXPECT_EQ(robot.executed, (std::vector<std::string>{"C:\\demo\\run.bat"}));
    EXPECT_TRUE(RenameEntry(rfs, u"C:\\demo", u"run.bat", u"go.bat", prompts));
    EXPECT_TRUE(robot.files.count("C:\\demo\\go.bat"));
    EXPECT_FALSE(RenameEntry(rfs, u"C:\\demo", u"run.bat", u"x.bat", prompts));
    EXPECT_EQ(prompts.errors.back(), u"Невозможно переименовать файл!");
    EXPECT_EQ(OpenEntry(rfs, {u"run.bat", false, 1}, prompts), OpenResult::Failed);
    EXPECT_EQ(prompts.errors.back(),
              u"Невозможно выполнить программу или открыть файл \"run.bat\"!");
    EXPECT_EQ(OpenEntry(rfs, {u".", true, 0}, prompts), OpenResult::FolderChanged);
    EXPECT_EQ(panel.Folder(), u"C:");
}

}  // namespace
}  // namespace velcora
