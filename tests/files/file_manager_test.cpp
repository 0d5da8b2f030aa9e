#include "files/file_manager.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>

#include "files/local_file_system.h"
#include "files/remote_file_system.h"
#include "link/ini_file.h"
#include "prompts.h"
#include "scripted_robot.h"
#include "support/temp_folder.h"

namespace velcora {
namespace {

namespace fsys = std::filesystem;
using test::SentFrame;

class FakeView : public IFileManagerView {
  public:
    IFilePrompts& Prompts() override { return prompts; }
    void PanelChanged(PanelSide side) override { ++panelChanges[static_cast<int>(side)]; }
    void SelectionChanged(PanelSide) override {}
    void PanelEnabledChanged(PanelSide) override {}
    void EnablingChanged() override {}
    void FocusList(PanelSide side) override { focused = side; }
    void EditName(PanelSide side, std::size_t index) override { edited = {side, index}; }
    ReplaceAnswer AskReplace(const std::u16string& name) override {
        replaceAsked.push_back(name);
        if (replaceAnswers.empty()) {
            return ReplaceAnswer::Cancel;
        }
        const auto a = replaceAnswers.front();
        replaceAnswers.pop_front();
        return a;
    }
    bool ConfirmRestart() override { return restartYes; }
    ICopyProgress& CopyProgress(std::optional<int64_t> bytes) override {
        listBytes = bytes;
        return progress;
    }
    void BusyChanged(bool busy) override { busyChanges += busy ? 1 : 0; }
    void CloseNow() override { ++closeNow; }

    test::ScriptedPrompts prompts;
    test::RecordingProgress progress;
    std::deque<ReplaceAnswer> replaceAnswers;
    std::vector<std::u16string> replaceAsked;
    std::optional<std::pair<PanelSide, std::size_t>> edited;
    std::optional<PanelSide> focused;
    std::optional<int64_t> listBytes;
    bool restartYes = false;
    int panelChanges[2] = {0, 0};
    int busyChanges = 0;
    int closeNow = 0;
};

class FakeClipboard : public IFileClipboard {
  public:
    void PutFiles(const std::vector<std::u16string>& items) override { files = items; }
    std::optional<std::vector<std::u16string>> Files() override { return files; }
    std::optional<std::vector<std::u16string>> files;
};

std::string Pattern(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (auto& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return s;
}

class FileManagerTest : public ::testing::Test {
  public:
    test::TempFolder home;
    IniFile ini;
    test::FakeLink link;
    test::ScriptedPump pump{link};
    test::MemoryRobot robot;
    FakeView view;
    FakeClipboard clipboard;
    std::unique_ptr<CFileManagerController> fm;

    void SetUp() override {
        pump.latencyMs = 1;
        pump.peer = [this](const SentFrame& f) { return robot(f); };
        robot.dirs.insert("C:\\demo");
        robot.files["C:\\demo\\a.txt"] = "alpha";
        robot.files["C:\\demo\\big.bin"] = Pattern(5 * CCopyEngine::kBlockSize + 3, 7);
        home.Write("local.txt", "local bytes");
        home.Write("sub/inner.txt", "inner");
    }
    void Make() {
        LocalDriveSource drives;
        drives.mountsFile = home.File("no-mounts");
        drives.home = home.Path().string();
        fm = std::make_unique<CFileManagerController>(
            link, ini, std::make_unique<CLocalFileSystem>(nullptr, drives),
            std::make_unique<CRemoteFileSystem>(link, pump), view, clipboard, home.Wide());
    }
    void OpenAt(const std::string& remoteFolder = "C:\\demo") {
        ini.WriteString(kFileManagerSection, kRemoteFolderKey, remoteFolder);
        Make();
        fm->Open();
    }
    std::optional<std::size_t> Row(PanelSide side, std::u16string_view name) const {
        const auto& e = fm->Panel(side).Entries();
        for (std::size_t i = 0; i < e.size(); ++i) {
            if (e[i].name == name) {
                return i;
            }
        }
        return std::nullopt;
    }
    void Select(PanelSide side, std::initializer_list<std::u16string_view> names) {
        std::vector<std::size_t> rows;
        for (auto n : names) {
            const auto r = Row(side, n);
            ASSERT_TRUE(r) << "no row " << WideToUtf8(n);
            rows.push_back(*r);
        }
        fm->SetSelection(side, rows, rows.empty() ? std::nullopt : std::optional(rows.front()));
    }
    // Runs `action` once, in the middle of the next wait for the robot.
    void DuringNextWait(std::function<void()> action) {
        pump.onAdvance = [this, action = std::move(action)](uint32_t, uint32_t) mutable {
            if (action) {
                auto a = std::move(action);
                action = nullptr;
                a();
            }
        };
    }
};

// ------------------------------------------------------------ opening

struct LocalCase {
    const char* name;
    std::optional<std::string> stored;  // nullopt: no key; "@sub": the home's sub folder
    bool keepsStored;
};

class LocalFolderTest : public FileManagerTest, public ::testing::WithParamInterface<LocalCase> {};

TEST_P(LocalFolderTest, LeftPanelStartsInTheStoredFolderOrHome) {
    const LocalCase& c = GetParam();
    std::string stored;
    if (c.stored) {
        stored = *c.stored == "@sub" ? home.File("sub") : *c.stored;
        ini.WriteString(kFileManagerSection, kLocalFolderKey, stored);
    }
    link.state = kStateIdle;
    Make();
    fm->Open();
    const auto folder = fm->Panel(PanelSide::Left).Folder();
    ASSERT_TRUE(folder);
    EXPECT_EQ(WideToUtf8(*folder), c.keepsStored ? stored : home.Path().string());
    EXPECT_FALSE(fm->Panel(PanelSide::Left).Entries().empty());
    EXPECT_FALSE(fm->PanelEnabled(PanelSide::Right));
    EXPECT_TRUE(link.sent.empty()) << "nothing asked of a robot that is not there";
}

INSTANTIATE_TEST_SUITE_P(Cases, LocalFolderTest,
                         ::testing::Values(LocalCase{"Missing", std::nullopt, false},
                                           LocalCase{"DriveLetter", "C:", false},
                                           LocalCase{"DriveLetterFolder", "C:\\Users", false},
                                           LocalCase{"Unlistable", "/no/such/folder/here", false},
                                           LocalCase{"Stored", "@sub", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileManagerTest, RightPanelFollowsTheConnectionAndTheStoredFolder) {
    link.state = kStateIdle;
    ini.WriteString(kFileManagerSection, kRemoteFolderKey, "C:\\demo");
    Make();
    fm->Open();
    EXPECT_FALSE(fm->PanelEnabled(PanelSide::Right));
    EXPECT_FALSE(fm->Panel(PanelSide::Right).Folder());

    link.state = kStateAuthorised;
    fm->OnConnectionState(kStateAuthorised);
    EXPECT_TRUE(fm->PanelEnabled(PanelSide::Right));
    EXPECT_EQ(fm->Panel(PanelSide::Right).Folder(), u"C:\\demo");
    EXPECT_TRUE(Row(PanelSide::Right, u"a.txt"));
    EXPECT_EQ(fm->Panel(PanelSide::Right).Drives().size(), 2u);

    // A second report with the panel filled reads nothing again.
    const auto listings = link.Of(msg::kDirectoryRequest).size();
    fm->OnConnectionState(kStateAuthorised);
    EXPECT_EQ(link.Of(msg::kDirectoryRequest).size(), listings);

    link.state = kStateFailed;
    fm->OnConnectionState(kStateFailed);
    EXPECT_FALSE(fm->PanelEnabled(PanelSide::Right));
    EXPECT_FALSE(fm->Enabling().Tool(ToolCommand::Restart));
}

TEST_F(FileManagerTest, AWindowBeingMadeReadsTheRobotOnTheNextTick) {
    ini.WriteString(kFileManagerSection, kRemoteFolderKey, "C:\\demo");
    Make();
    fm->Open(CFileManagerController::RemoteLoad::NextTick);
    EXPECT_TRUE(link.sent.empty());
    EXPECT_FALSE(fm->PanelEnabled(PanelSide::Right));
    fm->Tick();
    EXPECT_TRUE(fm->PanelEnabled(PanelSide::Right));
    EXPECT_TRUE(Row(PanelSide::Right, u"a.txt"));
}

TEST_F(FileManagerTest, ForgottenRemoteFolderGivesWayToTheFirstDrive) {
    OpenAt("C:\\gone");
    EXPECT_EQ(fm->Panel(PanelSide::Right).Folder(), u"C:");
    EXPECT_TRUE(Row(PanelSide::Right, u"demo"));
}

TEST_F(FileManagerTest, FoldersAreWrittenAtClosingRemoteOnlyWhenThereIsOne) {
    link.state = kStateIdle;
    Make();
    fm->Open();
    fm->SaveFolders();
    EXPECT_EQ(ini.GetString(kFileManagerSection, kLocalFolderKey), home.Path().string());
    EXPECT_FALSE(ini.Find(kFileManagerSection, kRemoteFolderKey));

    link.state = kStateAuthorised;
    fm->OnConnectionState(kStateAuthorised);
    ASSERT_EQ(fm->OpenRow(PanelSide::Right, *Row(PanelSide::Right, u"demo")), CommandResult::Done);
    fm->SaveFolders();
    EXPECT_EQ(ini.GetString(kFileManagerSection, kRemoteFolderKey), "C:\\demo");
}

// ------------------------------------------------------------ enabling

struct EnablingCase {
    const char* name;
    std::function<void(FileManagerTest&)> setup;
    std::vector<std::pair<PanelSide, FileCommand>> on;  // the rest of the list checked is off
    std::vector<ToolCommand> tools;                     // the tools that are on
};

class EnablingTest : public FileManagerTest, public ::testing::WithParamInterface<EnablingCase> {};

constexpr FileCommand kChecked[] = {FileCommand::Open,       FileCommand::Copy,
                                    FileCommand::CopyAcross, FileCommand::Paste,
                                    FileCommand::Delete,     FileCommand::Rename};

TEST_P(EnablingTest, MenuAndToolBarFollowTheRules) {
    OpenAt();
    GetParam().setup(*this);
    const FileManagerEnabling e = fm->Enabling();
    for (PanelSide side : {PanelSide::Left, PanelSide::Right}) {
        for (FileCommand c : kChecked) {
            const auto& on = GetParam().on;
            const bool expected = std::find(on.begin(), on.end(), std::pair(side, c)) != on.end();
            EXPECT_EQ(e.Menu(side, c), expected)
                << "side " << static_cast<int>(side) << " command " << static_cast<int>(c);
        }
    }
    for (std::size_t t = 0; t < kToolCommandCount; ++t) {
        const auto& tools = GetParam().tools;
        const bool expected =
            std::find(tools.begin(), tools.end(), static_cast<ToolCommand>(t)) != tools.end();
        EXPECT_EQ(e.tools[t], expected) << "tool " << t;
    }
}

using P = PanelSide;
using F = FileCommand;
using T = ToolCommand;

INSTANTIATE_TEST_SUITE_P(
    Table, EnablingTest,
    ::testing::Values(
        // Refreshed panels have their first row (".." or the first entry)
        // current and selected; rename is always on.
        EnablingCase{"NoFocusNoToolsButAcrossAndRestart",
                     [](FileManagerTest& t) {
                         auto& s = t;
                         s.Select(P::Left, {u"local.txt"});
                         s.Select(P::Right, {u"a.txt"});
                     },
                     {{P::Left, F::Open},
                      {P::Left, F::Copy},
                      {P::Left, F::CopyAcross},
                      {P::Left, F::Delete},
                      {P::Left, F::Rename},
                      {P::Right, F::Open},
                      {P::Right, F::Copy},
                      {P::Right, F::CopyAcross},
                      {P::Right, F::Delete},
                      {P::Right, F::Rename}},
                     {T::LeftToRight, T::RightToLeft, T::Restart}},
        EnablingCase{"DotDotFirstDisablesCopyDeleteAcross",
                     [](FileManagerTest& t) {
                         auto& s = t;
                         s.Select(P::Right, {u"..", u"a.txt"});
                         s.Select(P::Left, {});
                         s.fm->SetFocus(P::Right);
                     },
                     {{P::Right, F::Open}, {P::Right, F::Rename}, {P::Left, F::Rename}},
                     {T::Restart}},
        EnablingCase{"FocusedLeftWithClipboardFiles",
                     [](FileManagerTest& t) {
                         auto& s = t;
                         s.Select(P::Left, {u"sub"});
                         s.Select(P::Right, {});
                         s.fm->SetFocus(P::Left);
                         s.fm->Run(P::Left, F::Copy);
                     },
                     {{P::Left, F::Open},
                      {P::Left, F::Copy},
                      {P::Left, F::CopyAcross},
                      {P::Left, F::Delete},
                      {P::Left, F::Paste},
                      {P::Left, F::Rename},
                      {P::Right, F::Paste},
                      {P::Right, F::Rename}},
                     {T::Copy, T::Paste, T::Delete, T::LeftToRight, T::Restart}},
        EnablingCase{
            "DisconnectedRightIsOffAndLeftCannotCopyAcross",
            [](FileManagerTest& t) {
                auto& s = t;
                s.Select(P::Left, {u"local.txt"});
                s.fm->SetFocus(P::Right);
                s.link.state = kStateFailed;
                s.fm->OnConnectionState(kStateFailed);
            },
            {{P::Left, F::Open}, {P::Left, F::Copy}, {P::Left, F::Delete}, {P::Left, F::Rename}},
            {}}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ one operation at a time

TEST_F(FileManagerTest, CommandsAndDropsDuringAWaitAreRefused) {
    OpenAt();
    fm->SetFocus(PanelSide::Right);
    std::vector<CommandResult> results;
    FileManagerEnabling during;
    DuringNextWait([&] {
        results.push_back(fm->Run(PanelSide::Left, FileCommand::Refresh));
        results.push_back(fm->Run(PanelSide::Right, FileCommand::Delete));
        results.push_back(fm->RunTool(ToolCommand::Restart));
        results.push_back(fm->Drop(PanelSide::Left, {u"@C:\\demo\\a.txt"}));
        results.push_back(fm->OpenRow(PanelSide::Left, 0));
        results.push_back(fm->OpenParent(PanelSide::Right));
        results.push_back(fm->TypePath(PanelSide::Left, u"/"));
        results.push_back(fm->Rename(PanelSide::Left, 1, u"x"));
        results.push_back(fm->ChooseCombo(PanelSide::Right, 0));
        during = fm->Enabling();
    });
    ASSERT_EQ(fm->Run(PanelSide::Right, FileCommand::Refresh), CommandResult::Done);
    ASSERT_EQ(results.size(), 9u);
    for (CommandResult r : results) {
        EXPECT_EQ(r, CommandResult::Refused);
    }
    for (const auto& side : during.menu) {
        for (bool on : side) {
            EXPECT_FALSE(on);
        }
    }
    EXPECT_TRUE(link.Of(msg::kRestart).empty());
    EXPECT_FALSE(fsys::exists(home.Path() / "a.txt"));
    EXPECT_EQ(fm->Panel(PanelSide::Left).Folder(), home.Wide());
}

TEST_F(FileManagerTest, StateReportsDuringAWaitAreServedOnTheNextTick) {
    link.state = kStateIdle;
    ini.WriteString(kFileManagerSection, kRemoteFolderKey, "C:\\demo");
    Make();
    fm->Open();
    // Reports that come while the robot's disk is first read wait for it.
    link.state = kStateAuthorised;
    bool enabledDuring = true;
    DuringNextWait([&] {
        link.state = kStateFailed;
        fm->OnConnectionState(kStateFailed);
        enabledDuring = fm->PanelEnabled(PanelSide::Right);
        link.state = kStateAuthorised;
        fm->OnConnectionState(kStateAuthorised);
    });
    fm->OnConnectionState(kStateAuthorised);
    EXPECT_TRUE(enabledDuring) << "the report waited for the operation";
    EXPECT_TRUE(fm->PanelEnabled(PanelSide::Right));
    const auto listings = link.Of(msg::kDirectoryRequest).size();

    // A failure report during a refresh: the panel stays until the tick.
    DuringNextWait([&] { fm->OnConnectionState(kStateFailed); });
    fm->Run(PanelSide::Right, FileCommand::Refresh);
    EXPECT_TRUE(fm->PanelEnabled(PanelSide::Right));
    fm->Tick();
    EXPECT_FALSE(fm->PanelEnabled(PanelSide::Right));
    // And the state 7 after it is served at once, the panel not read again.
    fm->OnConnectionState(kStateAuthorised);
    EXPECT_TRUE(fm->PanelEnabled(PanelSide::Right));
    EXPECT_EQ(link.Of(msg::kDirectoryRequest).size(), listings + 1);
}

TEST_F(FileManagerTest, CloseDuringACopyCancelsItAndClosesAfterwards) {
    OpenAt();
    Select(PanelSide::Right, {u"big.bin"});
    bool closeNow = true;
    pump.onAdvance = [&](uint32_t, uint32_t) {
        if (link.Of(msg::kReadChunk).size() == 2 && closeNow) {
            closeNow = fm->RequestClose();
        }
    };
    ASSERT_EQ(fm->Run(PanelSide::Right, FileCommand::CopyAcross), CommandResult::Done);
    EXPECT_FALSE(closeNow);
    EXPECT_EQ(view.closeNow, 1);
    EXPECT_LT(link.Of(msg::kReadChunk).size(), 6u) << "the copy stopped";
    EXPECT_FALSE(fsys::exists(home.Path() / "big.bin"));
    EXPECT_FALSE(fsys::exists(home.Path() / "big.bin_"));
    EXPECT_TRUE(fm->RequestClose());
    // Nothing more is served once closing.
    EXPECT_EQ(fm->Run(PanelSide::Right, FileCommand::Refresh), CommandResult::Done);
}

TEST_F(FileManagerTest, CloseDuringAnUploadLeavesNothingOnTheRobot) {
    home.Write("up.bin", Pattern(4 * CCopyEngine::kBlockSize, 3));
    OpenAt();
    Select(PanelSide::Left, {u"up.bin"});
    pump.onAdvance = [&](uint32_t, uint32_t) {
        if (link.Of(msg::kWriteChunk).size() == 1) {
            fm->RequestClose();
        }
    };
    fm->Run(PanelSide::Left, FileCommand::CopyAcross);
    EXPECT_EQ(view.closeNow, 1);
    EXPECT_FALSE(robot.files.count("C:\\demo\\up.bin"));
    EXPECT_TRUE(robot.writing.empty()) << "the started file was discarded";
}

// ------------------------------------------------------------ commands

TEST_F(FileManagerTest, CopyAcrossBothWaysKeepsEveryByte) {
    OpenAt();
    Select(PanelSide::Right, {u"a.txt", u"big.bin"});
    ASSERT_EQ(fm->Run(PanelSide::Right, FileCommand::CopyAcross), CommandResult::Done);
    EXPECT_EQ(home.Read("big.bin"), robot.files["C:\\demo\\big.bin"]);
    EXPECT_EQ(home.Read("a.txt"), "alpha");
    // Both sizes were known from the listing.
    EXPECT_EQ(view.listBytes, int64_t(5 + robot.files["C:\\demo\\big.bin"].size()));
    EXPECT_TRUE(Row(PanelSide::Left, u"big.bin")) << "the left panel was refreshed";

    Select(PanelSide::Left, {u"sub"});
    ASSERT_EQ(fm->Run(PanelSide::Left, FileCommand::CopyAcross), CommandResult::Done);
    EXPECT_EQ(robot.files["C:\\demo\\sub\\inner.txt"], "inner");
    EXPECT_FALSE(view.listBytes) << "a folder has no known size";
}

TEST_F(FileManagerTest, ClipboardCarriesRobotItemsToTheLeftPanel) {
    OpenAt();
    Select(PanelSide::Right, {u"a.txt"});
    ASSERT_EQ(fm->Run(PanelSide::Right, FileCommand::Copy), CommandResult::Done);
    ASSERT_TRUE(clipboard.files);
    EXPECT_EQ(*clipboard.files, std::vector<std::u16string>{u"@C:\\demo\\a.txt"});
    ASSERT_EQ(fm->Run(PanelSide::Left, FileCommand::Paste), CommandResult::Done);
    EXPECT_EQ(home.Read("a.txt"), "alpha");
}

TEST_F(FileManagerTest, DropsSkipWhatIsNeitherALocalPathNorARobotItem) {
    OpenAt();
    ASSERT_EQ(fm->Drop(PanelSide::Right, {u"relative.txt", u"@", u"", home.Wide("local.txt")}),
              CommandResult::Done);
    EXPECT_EQ(robot.files["C:\\demo\\local.txt"], "local bytes");
    ASSERT_EQ(view.prompts.errors.size(), 1u);
    EXPECT_NE(view.prompts.errors[0].find(u"relative.txt"), std::u16string::npos);
    EXPECT_NE(view.prompts.errors[0].find(u"3"), std::u16string::npos);
}

TEST_F(FileManagerTest, ExistingNamesAskBeforeReplacing) {
    OpenAt();
    home.Write("a.txt", "old");
    home.Write("big.bin", "old");
    fm->Run(PanelSide::Left, FileCommand::Refresh);
    Select(PanelSide::Right, {u"a.txt", u"big.bin"});

    view.replaceAnswers = {ReplaceAnswer::No, ReplaceAnswer::Yes};
    fm->Run(PanelSide::Right, FileCommand::CopyAcross);
    EXPECT_EQ(view.replaceAsked, (std::vector<std::u16string>{u"a.txt", u"big.bin"}));
    EXPECT_EQ(home.Read("a.txt"), "old");
    EXPECT_EQ(home.Read("big.bin"), robot.files["C:\\demo\\big.bin"]);

    view.replaceAsked.clear();
    home.Write("a.txt", "old");
    view.replaceAnswers = {ReplaceAnswer::Cancel};
    fm->Run(PanelSide::Right, FileCommand::CopyAcross);
    EXPECT_EQ(view.replaceAsked.size(), 1u);
    EXPECT_EQ(home.Read("a.txt"), "old");

    // A folder replaced by a folder: the old tree goes, the new one comes.
    robot.dirs.insert("C:\\demo\\sub");
    robot.files["C:\\demo\\sub\\stale.txt"] = "stale";
    fm->Run(PanelSide::Right, FileCommand::Refresh);
    Select(PanelSide::Left, {u"sub"});
    view.replaceAnswers = {ReplaceAnswer::YesToAll};
    fm->Run(PanelSide::Left, FileCommand::CopyAcross);
    EXPECT_FALSE(robot.files.count("C:\\demo\\sub\\stale.txt"));
    EXPECT_EQ(robot.files["C:\\demo\\sub\\inner.txt"], "inner");
}

TEST_F(FileManagerTest, ReplaceQuestionFollowsTheDiskNotAnOldListing) {
    home.Write("a.txt", "old");
    OpenAt();
    ASSERT_TRUE(Row(PanelSide::Left, u"a.txt"));
    fsys::remove(home.Path() / "a.txt");
    Select(PanelSide::Right, {u"a.txt"});
    fm->Run(PanelSide::Right, FileCommand::CopyAcross);
    EXPECT_TRUE(view.replaceAsked.empty());
    EXPECT_EQ(home.Read("a.txt"), "alpha");
}

TEST_F(FileManagerTest, PastingIntoTheSourceFolderIsLeftAlone) {
    OpenAt();
    Select(PanelSide::Left, {u"local.txt"});
    fm->Run(PanelSide::Left, FileCommand::Copy);
    fm->Run(PanelSide::Left, FileCommand::Paste);
    EXPECT_TRUE(view.replaceAsked.empty());
    EXPECT_EQ(home.Read("local.txt"), "local bytes");
    EXPECT_EQ(view.prompts.errors.size(), 1u);
}

struct RenameCase {
    const char* name;
    std::u16string typed;
    bool renamed;
};

class RenameTest : public FileManagerTest, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(RenameTest, NamesThatLeaveTheFolderAreRefused) {
    OpenAt();
    const auto row = Row(PanelSide::Right, u"a.txt");
    ASSERT_TRUE(row);
    ASSERT_EQ(fm->Rename(PanelSide::Right, *row, GetParam().typed), CommandResult::Done);
    EXPECT_EQ(link.Of(msg::kRename).size(), GetParam().renamed ? 1u : 0u);
    if (GetParam().renamed) {
        EXPECT_TRUE(view.prompts.errors.empty());
        const auto now = Row(PanelSide::Right, GetParam().typed);
        ASSERT_TRUE(now);
        EXPECT_EQ(fm->Current(PanelSide::Right), now) << "the renamed entry keeps the focus";
    } else {
        ASSERT_EQ(view.prompts.errors.size(), 1u);
        EXPECT_EQ(view.prompts.errors[0],
                  u"Название файла или директориии не должно содержать специальные символы!");
        EXPECT_TRUE(robot.files.count("C:\\demo\\a.txt"));
    }
}

INSTANTIATE_TEST_SUITE_P(Names, RenameTest,
                         ::testing::Values(RenameCase{"Slash", u"a/b", false},
                                           RenameCase{"Backslash", u"..\\b", false},
                                           RenameCase{"Dot", u".", false},
                                           RenameCase{"DotDot", u"..", false},
                                           RenameCase{"Plain", u"b+c.txt", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileManagerTest, GoingUpFocusesTheFolderLeftAndRefreshKeepsTheFocus) {
    OpenAt();
    ASSERT_EQ(fm->OpenParent(PanelSide::Right), CommandResult::Done);
    EXPECT_EQ(fm->Panel(PanelSide::Right).Folder(), u"C:");
    ASSERT_TRUE(fm->Current(PanelSide::Right));
    EXPECT_EQ(fm->Panel(PanelSide::Right).Entries()[*fm->Current(PanelSide::Right)].name, u"demo");
    EXPECT_EQ(fm->OpenParent(PanelSide::Right), CommandResult::Disabled)
        << "the root has no parent";

    ASSERT_EQ(fm->Run(PanelSide::Right, FileCommand::Open), CommandResult::Done);
    Select(PanelSide::Right, {u"big.bin"});
    robot.files["C:\\demo\\0first.txt"] = "";
    fm->Run(PanelSide::Right, FileCommand::Refresh);
    EXPECT_EQ(fm->Panel(PanelSide::Right).Entries()[*fm->Current(PanelSide::Right)].name,
              u"big.bin");
}

TEST_F(FileManagerTest, DeleteCreateAndRestart) {
    OpenAt();
    Select(PanelSide::Right, {u"a.txt", u"big.bin"});
    view.prompts.yes = true;
    ASSERT_EQ(fm->Run(PanelSide::Right, FileCommand::Delete), CommandResult::Done);
    EXPECT_TRUE(robot.files.empty());
    ASSERT_EQ(view.prompts.questions.size(), 1u);
    EXPECT_EQ(view.prompts.questions[0], u"Удалить: Вы уверены, что хоите удалить 2 объекта?");

    view.prompts.texts = {u"a+b", u"a-b"};
    ASSERT_EQ(fm->Run(PanelSide::Right, FileCommand::CreateFolder), CommandResult::Done);
    EXPECT_TRUE(robot.dirs.count("C:\\demo\\a-b"));
    EXPECT_EQ(fm->Panel(PanelSide::Right).Entries()[*fm->Current(PanelSide::Right)].name, u"a-b");
    EXPECT_EQ(view.focused, PanelSide::Right);

    ASSERT_EQ(fm->Run(PanelSide::Right, FileCommand::Rename), CommandResult::Done);
    ASSERT_TRUE(view.edited);
    EXPECT_EQ(view.edited->second, *fm->Current(PanelSide::Right));

    view.restartYes = false;
    fm->RunTool(ToolCommand::Restart);
    EXPECT_TRUE(link.Of(msg::kRestart).empty());
    view.restartYes = true;
    fm->RunTool(ToolCommand::Restart);
    EXPECT_EQ(link.Of(msg::kRestart).size(), 1u);
}

TEST_F(FileManagerTest, SortingKeepsTheSelectionByName) {
    OpenAt();
    Select(PanelSide::Right, {u"big.bin"});
    ASSERT_EQ(fm->Run(PanelSide::Right, FileCommand::SortBySize), CommandResult::Done);
    const auto& entries = fm->Panel(PanelSide::Right).Entries();
    EXPECT_EQ(entries[0].name, u"..");
    EXPECT_EQ(entries.back().name, u"big.bin");
    ASSERT_EQ(fm->Selection(PanelSide::Right).size(), 1u);
    EXPECT_EQ(entries[fm->Selection(PanelSide::Right)[0]].name, u"big.bin");
    fm->Run(PanelSide::Right, FileCommand::SelectAll);
    EXPECT_EQ(fm->Selection(PanelSide::Right).size(), entries.size());
}

}  // namespace
}  // namespace velcora
