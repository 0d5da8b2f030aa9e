#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "cyclogram/cyclogram_format.h"
#include "cyclogram/cyclogram_window.h"
#include "link/text_codec.h"
#include "support/fake_link.h"
#include "support/temp_folder.h"

namespace velcora {
namespace {

using test::FakeLink;

std::string Names(std::initializer_list<std::string> utf8) {
    CMemoryStream s;
    for (const auto& n : utf8) {
        WriteString(s, std::string_view(Utf8ToAnsi(n)));
    }
    return std::string(s.View());
}

std::string Record(const CCyclogram& doc) {
    CMemoryStream s;
    writeCyclogram(doc, s, WriteScope::Full);
    return std::string(s.View());
}

std::string EnvRecord(const CCyclogramEnv& env) {
    CMemoryStream s;
    writeEnvironment(env, s);
    return std::string(s.View());
}

std::string NameOf(const std::string& payload) {
    return payload.substr(0, payload.find('\0'));
}

// Views that record what they were asked and answer as told.
struct EnvView : IEnvironmentView {
    void Invalidate() override {}
    void OnToolbarChanged() override { ++toolbar; }
    bool Confirm(const std::string& title, const std::string&) override {
        questions.push_back(title);
        return yes;
    }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    std::string ChooseOpenFile(const std::string&, EnvFileKind) override { return file; }
    std::string ChooseSaveFile(const std::string&) override { return file; }
    bool LoadPicture(const std::string& path, int& w, int& h) override {
        std::ifstream in(path, std::ios::binary);
        char magic[2] = {};
        in.read(magic, 2);
        if (!in || magic[0] != '\xFF' || magic[1] != '\xD8') {
            return false;
        }
        w = 640;
        h = 480;
        return true;
    }
    void DropPicture() override { ++drops; }
    bool EditTrackerParameters(EnvTracker& t) override {
        if (!parameters) {
            return false;
        }
        t = *parameters;
        return true;
    }
    void ShowExactValue(int32_t i) override { exact.push_back(i); }
    int toolbar = 0, drops = 0;
    bool yes = true;
    std::string file;
    std::vector<std::string> questions, errors;
    std::optional<EnvTracker> parameters;
    std::vector<int32_t> exact;
};

struct LineView : ITimeLineView {
    void Invalidate() override {}
    bool Confirm(const std::string&, const std::string&) override { return true; }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    bool EditTrackProperties(TrackProperties&) override { return false; }
    bool EditAudioBlock(AudioBlock&) override { return false; }
    std::vector<std::string> errors;
};

struct WindowView : ICyclogramWindowView {
    SaveAnswer AskSave(const std::string& title, const std::string&) override {
        saveQuestions.push_back(title);
        return save;
    }
    bool Confirm(const std::string& title, const std::string&) override {
        questions.push_back(title);
        return yes;
    }
    bool PromptName(const std::string&, const std::string&, std::string& value) override {
        proposed = value;
        if (!typed) {
            return false;
        }
        value = *typed;
        return true;
    }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void OnListChanged() override { ++listChanges; }
    void StartLabelEdit(int32_t index) override { editing = index; }
    void ShowTimeLine(bool shown) override { timeLineShown = shown; }
    void OnCommandStateChanged() override {}
    void OnNewCyclogramName(const std::string& ansi) override { newNames.push_back(ansi); }
    std::string ChooseCyclogramFile(bool) override { return file; }
    std::string file;
    SaveAnswer save = SaveAnswer::No;
    bool yes = true;
    std::optional<std::string> typed;
    std::string proposed;
    std::vector<std::string> saveQuestions, questions, errors, newNames;
    int listChanges = 0;
    int32_t editing = -1;
    bool timeLineShown = false;
};

EnvTracker Tracker(int32_t motor, int32_t x = 0, int32_t y = 0, int32_t kind = 0) {
    EnvTracker t;
    t.motor = motor;
    t.kind = kind;
    t.x = x;
    t.y = y;
    return t;
}

// ------------------------------------------------------------- names

TEST(CyclogramNames, Rules) {
    const struct {
        std::string name;
        NameCheck want;
    } cases[] = {
        {"Осмотр", NameCheck::Ok},
        {"walk.v2", NameCheck::Ok},
        {"a/b", NameCheck::Forbidden},
        {"a\\b", NameCheck::Forbidden},
        {"a*", NameCheck::Forbidden},
        {"a?", NameCheck::Forbidden},
        {"a|b", NameCheck::Forbidden},
        {"a,b", NameCheck::Forbidden},
        {"", NameCheck::Empty},
        {"漢字", NameCheck::Forbidden},
        {std::string(255, 'x'), NameCheck::Ok},
        {std::string(256, 'x'), NameCheck::Forbidden},
        {"tab\there", NameCheck::Forbidden},
    };
    for (const auto& c : cases) {
        std::string ansi;
        EXPECT_EQ(CheckCyclogramName(c.name, ansi), c.want) << c.name;
        if (c.want == NameCheck::Ok) {
            EXPECT_EQ(AnsiToUtf8(ansi), c.name);
        }
    }
    EXPECT_TRUE(SameCyclogramName(Utf8ToAnsi("ОСМОТР Ёлки"), Utf8ToAnsi("осмотр ёлки")));
    EXPECT_FALSE(SameCyclogramName("abc", "abd"));
    EXPECT_EQ(ProposeCyclogramName({"Cyclogram1", "cyclogram2"}), "Cyclogram3");
    EXPECT_EQ(ProposeCyclogramName({"Cyclogram2"}), "Cyclogram1");
}

// ------------------------------------------------------------ window

struct WindowTest : testing::Test {
    WindowTest() {
        CCyclogramEnv env;
        env.addTracker(Tracker(5));
        env.addTracker(Tracker(6, 0, 60));
        saveEnvironmentFile(dir.File("env.cenv"), env);
        window = std::make_unique<CCyclogramWindow>(
            link, view, lineView, clipboard, envView,
            EnvironmentFiles{dir.File("env.cenv"), dir.File("cycbg.jpg")}, false);
        window->Environment().SetViewSize(400, 320);
        window->TimeLine().SetClientSize(1600, 600);
        window->OnConnectionState(true);
        link.Receive(msg::kCyclogramList, Names({"Осмотр", "Cyclogram1", "cyclogram2"}));
    }
    void Open(int32_t entry, std::unique_ptr<CCyclogram> doc) {
        window->SelectEntry(entry);
        window->Run(ListCommand::Edit);
        link.Receive(msg::kCyclogram, Record(*doc));
    }
    static std::unique_ptr<CCyclogram> TwoTracks() {
        auto doc = std::make_unique<CCyclogram>();
        for (int32_t motor : {5, 6}) {
            auto& t = doc->track(doc->addTrack());
            t.motor = motor;
            CyclogramKey a, b;
            a.time = 0;
            a.value = 0.25f;
            b.time = 2000;
            b.value = 0.75f;
            t.appendKey(a);
            t.appendKey(b);
        }
        return doc;
    }
    test::TempFolder dir;
    FakeLink link;
    WindowView view;
    LineView lineView;
    CMemoryClipboard clipboard;
    EnvView envView;
    std::unique_ptr<CCyclogramWindow> window;
};

TEST_F(WindowTest, ListArrivesAndCommandsFollowSelectionAndConnection) {
    EXPECT_EQ(link.Of(msg::kListCyclograms).size(), 1u);  // asked when connected
    ASSERT_EQ(window->Names().size(), 3u);
    EXPECT_FALSE(window->Enabled(ListCommand::Edit));
    window->SelectEntry(0);
    for (auto c : {ListCommand::Edit, ListCommand::Run, ListCommand::Rename, ListCommand::Delete,
                   ListCommand::Refresh, ListCommand::New}) {
        EXPECT_TRUE(window->Enabled(c));
    }
    window->OnConnectionState(false);
    for (auto c : {ListCommand::Edit, ListCommand::Run, ListCommand::Rename, ListCommand::Delete,
                   ListCommand::Refresh}) {
        EXPECT_FALSE(window->Enabled(c));
    }
    EXPECT_TRUE(window->Enabled(ListCommand::New));
    window->ListKeyDown(ListKey::F5, {});
    EXPECT_EQ(view.errors.back(), "Нет подключения к роботу!");
}

TEST_F(WindowTest, RunFromTheListIsWhole) {
    window->SelectEntry(0);
    window->ListKeyDown(ListKey::Enter, {false, true});
    const auto runs = link.Of(msg::kRunCyclogram);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].payload, Utf8ToAnsi("Осмотр") + std::string("\0\0\0\0\0\0\0\0\0", 9));
}

TEST_F(WindowTest, NewProposesAFreeNameAndStartsFromTheTrackers) {
    view.typed = "Cyclogram3";
    window->Run(ListCommand::New);
    EXPECT_EQ(view.proposed, "Cyclogram3");
    EXPECT_TRUE(view.timeLineShown);
    EXPECT_EQ(window->CurrentName(), "Cyclogram3");
    EXPECT_EQ(view.newNames, std::vector<std::string>{"Cyclogram3"});
    const auto& doc = window->TimeLine().Document();
    ASSERT_EQ(doc.trackCount(), 2);
    EXPECT_EQ(doc.track(1).motor, 6);
    EXPECT_TRUE(doc.audio != nullptr);
    EXPECT_TRUE(link.Of(msg::kUploadCyclogram).empty());  // nothing sent until the upload
    // Refusals leave everything as it was.
    for (const auto& [typed, error] : std::vector<std::pair<std::string, std::string>>{
             {"ОСМОТР", kNameExistsText}, {"a/b", kForbiddenNameText}}) {
        view.typed = typed;
        window->Run(ListCommand::New);
        EXPECT_EQ(view.errors.back(), error);
    }
    view.typed = "";
    const auto errors = view.errors.size();
    window->Run(ListCommand::New);
    EXPECT_EQ(view.errors.size(), errors);
    EXPECT_EQ(window->CurrentName(), "Cyclogram3");
}

TEST_F(WindowTest, AModifiedCyclogramAsksBeforeAnotherIsOpened) {
    Open(0, TwoTracks());
    ASSERT_TRUE(view.timeLineShown);
    window->TimeLine().Run(TimeLineCommand::Loop);
    ASSERT_TRUE(window->TimeLine().Modified());
    window->SelectEntry(1);

    view.save = SaveAnswer::Cancel;
    window->Run(ListCommand::Edit);
    EXPECT_EQ(link.Of(msg::kLoadCyclogram).size(), 1u);
    EXPECT_TRUE(link.Of(msg::kUploadCyclogram).empty());

    view.save = SaveAnswer::Yes;  // uploads and stops
    window->Run(ListCommand::Edit);
    ASSERT_EQ(link.Of(msg::kUploadCyclogram).size(), 1u);
    EXPECT_EQ(NameOf(link.Of(msg::kUploadCyclogram)[0].payload), Utf8ToAnsi("Осмотр"));
    EXPECT_EQ(link.Of(msg::kLoadCyclogram).size(), 1u);
    link.Receive(msg::kCyclogramUploadResult, std::string(1, '\0'));
    EXPECT_FALSE(window->TimeLine().Modified());

    window->TimeLine().Run(TimeLineCommand::Loop);
    view.save = SaveAnswer::No;
    window->Run(ListCommand::Edit);
    EXPECT_FALSE(view.timeLineShown);
    ASSERT_EQ(link.Of(msg::kLoadCyclogram).size(), 2u);
    EXPECT_EQ(NameOf(link.Of(msg::kLoadCyclogram)[1].payload), "Cyclogram1");
    EXPECT_EQ(view.saveQuestions.size(), 3u);
}

TEST_F(WindowTest, WhileALoadIsPendingEditAndNewWait) {
    window->SelectEntry(0);
    window->Run(ListCommand::Edit);
    EXPECT_TRUE(window->LoadPending());
    EXPECT_FALSE(window->Enabled(ListCommand::Edit));
    EXPECT_FALSE(window->Enabled(ListCommand::New));
    view.typed = "Other";
    window->Run(ListCommand::New);
    EXPECT_EQ(window->CurrentName(), Utf8ToAnsi("Осмотр"));
    // The time-out gives the buttons back and shows the error.
    window->Tick(4000);
    EXPECT_FALSE(window->LoadPending());
    EXPECT_TRUE(window->Enabled(ListCommand::New));
    EXPECT_EQ(view.errors.back(), "Ошибка загрузка циклограммы с робота!");
    // A reply nobody waits for any more changes nothing.
    link.Receive(msg::kCyclogram, Record(*TwoTracks()));
    EXPECT_FALSE(view.timeLineShown);
}

TEST_F(WindowTest, RunWhenModifiedUploadsFirst) {
    Open(0, TwoTracks());
    auto& line = window->TimeLine();
    line.SetCurrentTime(500);
    line.Run(TimeLineCommand::FragmentStart);
    line.SetCurrentTime(1500);
    line.Run(TimeLineCommand::FragmentEnd);
    window->Run(TimeLineAction::Run);  // not modified: runs at once
    ASSERT_EQ(link.Of(msg::kRunCyclogram).size(), 1u);
    line.SetCurrentTime(1000);
    window->Environment().SetPosition(0, 0.9f);  // records a key
    ASSERT_TRUE(line.Modified());
    window->Run(TimeLineAction::Run);
    ASSERT_EQ(link.Of(msg::kUploadCyclogram).size(), 1u);
    EXPECT_EQ(link.Of(msg::kRunCyclogram).size(), 1u);
    link.Receive(msg::kCyclogramUploadResult, std::string(1, '\0'));
    const auto runs = link.Of(msg::kRunCyclogram);
    ASSERT_EQ(runs.size(), 2u);
    CMemoryStream p;
    p.Assign(runs[1].payload);
    EXPECT_EQ(ReadString(p).value_or(""), Utf8ToAnsi("Осмотр"));
    EXPECT_EQ(ReadI32(p), 500);
    EXPECT_EQ(ReadI32(p), 1500);
    EXPECT_FALSE(line.Modified());
}

TEST_F(WindowTest, RenameAndDelete) {
    Open(0, TwoTracks());
    window->SelectEntry(0);
    window->ListKeyDown(ListKey::F2, {});
    EXPECT_EQ(view.editing, 0);
    window->EndLabelEdit("CYCLOGRAM1");
    EXPECT_EQ(view.errors.back(), kNameExistsText);
    EXPECT_TRUE(link.Of(msg::kRenameCyclogram).empty());
    window->ListKeyDown(ListKey::F2, {});
    window->EndLabelEdit("Осмотр/2");
    EXPECT_EQ(view.errors.back(), kForbiddenNameText);
    window->ListKeyDown(ListKey::F2, {});
    window->EndLabelEdit("");
    EXPECT_TRUE(link.Of(msg::kRenameCyclogram).empty());
    window->ListKeyDown(ListKey::F2, {});
    window->EndLabelEdit("ОСМОТР");  // its own name in other letters
    ASSERT_EQ(link.Of(msg::kRenameCyclogram).size(), 1u);
    EXPECT_EQ(window->CurrentName(), Utf8ToAnsi("ОСМОТР"));

    link.Receive(msg::kCyclogramList, Names({"ОСМОТР", "Cyclogram1"}));
    window->SelectEntry(0);
    view.yes = false;
    window->ListKeyDown(ListKey::Delete, {});
    EXPECT_TRUE(link.Of(msg::kDeleteCyclogram).empty());
    view.yes = true;
    window->ListKeyDown(ListKey::Delete, {});
    ASSERT_EQ(link.Of(msg::kDeleteCyclogram).size(), 1u);
    EXPECT_FALSE(view.timeLineShown);
    EXPECT_FALSE(window->TimeLine().Modified());
    EXPECT_EQ(view.questions.back(), "Удалить циклограмму");
}

TEST_F(WindowTest, FirstShowAsksForTheEnvironmentOnce) {
    EXPECT_TRUE(link.Of(msg::kRequestEnvironmentProject).empty());
    window->SetPageActive(true);
    EXPECT_EQ(link.Of(msg::kRequestEnvironmentProject).size(), 1u);
    window->SetPageActive(false);
    window->OnConnectionState(false);
    window->OnConnectionState(true);
    window->SetPageActive(true);
    EXPECT_EQ(link.Of(msg::kRequestEnvironmentProject).size(), 1u);
}

TEST_F(WindowTest, TrackersAndTracks) {
    Open(0, TwoTracks());
    auto& env = window->Environment();
    auto& line = window->TimeLine();
    // Selecting a tracker highlights the first track of its motor.
    const TrackerShape s = ShapeOf(env.Env().trackers[1], 400, 320);
    env.MouseDown(s.knobX0 + 1, s.cy);
    env.MouseUp(s.knobX0 + 1, s.cy);
    EXPECT_EQ(line.CurrentTrack(), 1);
    // A knob drag is one key and one undo step, and the robot hears it.
    line.SetCurrentTime(1000);
    const int knob = (s.knobX0 + s.knobX1) / 2;
    env.MouseDown(knob, s.cy);
    for (int dx = 1; dx <= 10; ++dx) {
        env.MouseMove(knob + dx, s.cy);
    }
    env.MouseUp(knob + 10, s.cy);
    EXPECT_EQ(line.Document().track(1).count(), 3);
    EXPECT_EQ(line.UndoSteps(), 1u);
    EXPECT_EQ(link.Of(msg::kSetMotor).size(), 10u);
    // A pose moves the trackers without recording.
    line.SetCurrentTime(2000);
    window->Run(TimeLineAction::ApplyPose);
    EXPECT_FLOAT_EQ(env.Env().trackers[0].position, 0.75f);
    EXPECT_EQ(line.Document().track(0).count(), 2);
    EXPECT_EQ(line.UndoSteps(), 1u);
    // Recording all: a key on every tracked motor, one step.
    line.SetCurrentTime(3000);
    window->Run(TimeLineAction::RecordAll);
    EXPECT_EQ(line.Document().track(0).count(), 3);
    EXPECT_EQ(line.Document().track(1).count(), 4);
    EXPECT_EQ(line.UndoSteps(), 2u);
    line.Run(TimeLineCommand::Undo);
    EXPECT_EQ(line.Document().track(0).count(), 2);
}

TEST_F(WindowTest, CyclogramFiles) {
    Open(0, TwoTracks());
    view.file = dir.File("walk.cyg");
    window->Run(TimeLineAction::Export);
    CCyclogram saved;
    ASSERT_TRUE(loadCyclogramFile(view.file, saved));
    EXPECT_EQ(saved.trackCount(), 2);
    // A damaged file changes nothing; a good one replaces the document as one edit.
    dir.Write("bad.cyg", "Cygm\x01\xff\xff\xff\xff");
    view.file = dir.File("bad.cyg");
    window->Run(TimeLineAction::Import);
    EXPECT_EQ(view.errors.back(), "Невозможно прочитать файл \"" + view.file + "\"!");
    EXPECT_FALSE(window->TimeLine().Modified());
    CCyclogram other;
    other.addTrack();
    ASSERT_TRUE(saveCyclogramFile(dir.File("one.cyg"), other));
    view.file = dir.File("one.cyg");
    window->Run(TimeLineAction::Import);
    EXPECT_EQ(window->TimeLine().Document().trackCount(), 1);
    EXPECT_TRUE(window->TimeLine().Modified());
    window->TimeLine().Run(TimeLineCommand::Undo);
    EXPECT_EQ(window->TimeLine().Document().trackCount(), 2);
    EXPECT_FALSE(window->TimeLine().Modified());
}

TEST_F(WindowTest, ClosingWithAModifiedCyclogramAsks) {
    EXPECT_TRUE(window->CanClose());
    Open(0, TwoTracks());
    window->TimeLine().Run(TimeLineCommand::Loop);
    view.save = SaveAnswer::Cancel;
    EXPECT_FALSE(window->CanClose());
    view.save = SaveAnswer::Yes;
    EXPECT_FALSE(window->CanClose());
    EXPECT_EQ(link.Of(msg::kUploadCyclogram).size(), 1u);
    view.save = SaveAnswer::No;
    EXPECT_TRUE(window->CanClose());
}

// ------------------------------------------------------- environment

struct EnvTest : testing::Test {
    std::unique_ptr<CEnvironmentEditor> Make(bool locked = false) {
        auto e = std::make_unique<CEnvironmentEditor>(
            link, view, EnvironmentFiles{dir.File("env.cenv"), dir.File("cycbg.jpg")}, locked);
        e->SetViewSize(400, 320);
        return e;
    }
    test::TempFolder dir;
    FakeLink link;
    EnvView view;
};

TEST(TrackerShapeTest, SizesFollowTheViewHeight) {
    const struct {
        int h, L, e, m;
    } cases[] = {{320, 32, 4, 6}, {100, 20, 2, 3}, {10, 20, 2, 3}, {800, 80, 10, 15}};
    for (const auto& c : cases) {
        const TrackerShape s = ShapeOf(Tracker(1), 400, c.h);
        EXPECT_EQ(s.cx, 200);
        EXPECT_EQ(s.cy, c.h / 2);
        EXPECT_EQ(s.halfLength, c.L);
        EXPECT_EQ(s.knobThickness, c.e);
        EXPECT_EQ(s.knobLength, c.m);
    }
    // Coordinates from a file far outside the view stay pixels.
    const TrackerShape far = ShapeOf(Tracker(1, INT32_MAX, INT32_MIN), 400, 1000);
    EXPECT_EQ(far.cx, kPixelLimit);
    EXPECT_EQ(far.cy, -kPixelLimit);
}

TEST_F(EnvTest, KnobDragArrowsAndTheRobot) {
    auto e = Make();
    EnvTracker t = Tracker(3);
    t.position = 0.0f;
    e->MutableEnv().addTracker(t);
    const TrackerShape s = ShapeOf(e->Env().trackers[0], 400, 320);
    e->MouseDown(s.knobX0 + 1, s.cy);
    e->MouseMove(s.knobX0 + 1 + 2 * s.halfLength, s.cy);
    EXPECT_FLOAT_EQ(e->Env().trackers[0].position, 1.0f);
    e->MouseMove(s.knobX0 + 100 + 2 * s.halfLength, s.cy);
    e->MouseUp(s.knobX0 + 100 + 2 * s.halfLength, s.cy);
    EXPECT_FLOAT_EQ(e->Env().trackers[0].position, 1.0f);
    auto sets = link.Of(msg::kSetMotor);
    ASSERT_EQ(sets.size(), 1u);
    CMemoryStream p;
    p.Assign(sets[0].payload);
    EXPECT_EQ(ReadI32(p), 3);
    EXPECT_EQ(ReadI32(p), 65535);
    // Right at 1 stays and sends nothing.
    e->KeyDown(EnvKey::Right, {});
    EXPECT_EQ(link.Of(msg::kSetMotor).size(), 1u);
    e->SetPosition(0, 0.5f);
    for (int i = 0; i < 3; ++i) {
        e->KeyDown(EnvKey::Down, {});
    }
    EXPECT_NEAR(e->Env().trackers[0].position, 0.65f, 1e-6);
    // A reply with no value: the default raw, drawn red.
    CMemoryStream reply;
    WriteU16(reply, 1);
    WriteI32(reply, 3);
    WriteI32(reply, -1);
    link.Receive(msg::kMotorValues, std::string(reply.View()));
    EXPECT_NEAR(e->Env().trackers[0].position, 0.5f, 0.001f);
    EnvPaintList paint;
    e->BuildPaintList(paint);
    ASSERT_EQ(paint.trackers.size(), 1u);
    EXPECT_TRUE(paint.trackers[0].noValue);
    EXPECT_TRUE(paint.trackers[0].selectedKnob);
}

TEST_F(EnvTest, PlacingTrackersAndTheOnlineButton) {
    auto e = Make();
    EXPECT_TRUE(e->Enabled(EnvCommand::Online));
    EXPECT_TRUE(e->Pressed(EnvCommand::Online));
    e->Run(EnvCommand::Edit);
    EXPECT_TRUE(e->Visible(EnvCommand::ToolHorizontal));
    e->Run(EnvCommand::ToolHorizontal);
    e->MouseDown(200 + 10, 160 + 20);
    e->MouseUp(200 + 10, 160 + 20);
    EXPECT_EQ(e->Tool(), EnvTool::SelectMove);
    e->Run(EnvCommand::ToolVertical);
    e->MouseDown(100, 100);
    e->MouseUp(100, 100);
    ASSERT_EQ(e->Env().count(), 2);
    EXPECT_EQ(e->Env().trackers[0].motor, 1);
    EXPECT_EQ(e->Env().trackers[1].motor, 2);
    EXPECT_EQ(e->Env().trackers[0].x, 10);
    EXPECT_EQ(e->Env().trackers[0].y, 20);
    EXPECT_EQ(e->Env().trackers[1].kind, 1);
    EXPECT_EQ(e->Selected(), 1);
    // The project now differs from the robot's: on-line is off and unavailable.
    EXPECT_FALSE(e->Pressed(EnvCommand::Online));
    EXPECT_FALSE(e->Enabled(EnvCommand::Online));
    e->KeyDown(EnvKey::Left, {false, true});
    EXPECT_EQ(e->Env().trackers[1].x, (100 - 200) * 320 / 320 - 10);
    // Leaving edit mode writes the working copy.
    e->Run(EnvCommand::Edit);
    CCyclogramEnv saved;
    ASSERT_TRUE(loadEnvironmentFile(dir.File("env.cenv"), saved));
    EXPECT_EQ(saved.count(), 2);
    EXPECT_EQ(e->Tool(), EnvTool::Operate);
    // The robot's copy arrives: on-line is offered again.
    view.yes = true;
    e->Run(EnvCommand::Download);
    CCyclogramEnv robot;
    robot.addTracker(Tracker(9));
    link.Receive(msg::kEnvironmentProject, EnvRecord(robot));
    EXPECT_TRUE(e->Enabled(EnvCommand::Online));
    EXPECT_EQ(e->Env().count(), 1);
    EXPECT_EQ(view.questions.back(), "Загрузить проект окружения с робота");
}

TEST_F(EnvTest, FilesAndTheBackground) {
    dir.Write("broken.cenv", "CyEv\x05");
    dir.Write("cycbg.jpg", std::string("\xFF\xD8picture", 9));
    auto e = Make();
    EXPECT_TRUE(e->HasPicture());
    EXPECT_EQ(e->Env().backgroundSize, 9u);
    e->MutableEnv().addTracker(Tracker(4));
    view.file = dir.File("broken.cenv");
    e->Run(EnvCommand::Load);
    EXPECT_EQ(view.errors.back(), "Невозможно прочитать файл \"" + dir.File("broken.cenv") + "\"!");
    EXPECT_EQ(e->Env().count(), 1);
    EXPECT_FALSE(e->ChangedFlag());
    // Saving and loading a project.
    view.file = dir.File("two.cenv");
    e->Run(EnvCommand::Save);
    e->MutableEnv().addTracker(Tracker(7));
    e->Run(EnvCommand::Load);
    EXPECT_EQ(e->Env().count(), 1);
    EXPECT_TRUE(e->ChangedFlag());
    view.file = dir.File("no/such/folder/x.cenv");
    e->Run(EnvCommand::Save);
    EXPECT_NE(view.errors.back().find("Невозможно записать файл"), std::string::npos);
    // Choosing the background file itself keeps it whole.
    view.file = dir.File("cycbg.jpg");
    e->Run(EnvCommand::LoadBackground);
    EXPECT_EQ(dir.Read("cycbg.jpg"), std::string("\xFF\xD8picture", 9));
    EXPECT_TRUE(e->HasPicture());
    // A new project keeps the picture.
    e->Run(EnvCommand::New);
    EXPECT_EQ(e->Env().count(), 0);
    EXPECT_TRUE(e->HasPicture());
    EXPECT_TRUE(e->Enabled(EnvCommand::DeleteBackground));
    e->Run(EnvCommand::DeleteBackground);
    EXPECT_FALSE(e->HasPicture());
    EXPECT_FALSE(dir.Exists("cycbg.jpg"));
    EXPECT_FALSE(e->Enabled(EnvCommand::DeleteBackground));
    // Not a picture: none.
    dir.Write("text.jpg", "hello");
    view.file = dir.File("text.jpg");
    e->Run(EnvCommand::LoadBackground);
    EXPECT_FALSE(e->HasPicture());
}

TEST_F(EnvTest, LockedModeAndThePopup) {
    auto e = Make(true);
    for (auto c :
         {EnvCommand::New, EnvCommand::Upload, EnvCommand::Edit, EnvCommand::ToolSelectMove,
          EnvCommand::TrackerParameters, EnvCommand::DeleteTracker, EnvCommand::LoadBackground,
          EnvCommand::DeleteBackground}) {
        EXPECT_FALSE(e->Visible(c));
    }
    EXPECT_TRUE(e->Visible(EnvCommand::ExactValue));
    EXPECT_TRUE(e->Visible(EnvCommand::Download));
    e->MutableEnv().addTracker(Tracker(2));
    EXPECT_FALSE(e->Enabled(EnvCommand::ExactValue));
    e->DoubleClick(200, 160);
    EXPECT_EQ(view.exact, std::vector<int32_t>{0});
    e->KeyDown(EnvKey::Delete, {});
    EXPECT_EQ(e->Env().count(), 1);

    auto open = Make();
    open->MutableEnv().addTracker(Tracker(2));
    open->Run(EnvCommand::Edit);
    EXPECT_EQ(open->DefaultPopupItem(), EnvCommand::TrackerParameters);
    EnvTracker changed = Tracker(8);
    changed.leftRaw = 100;
    changed.rightRaw = 200;
    view.parameters = changed;
    open->DoubleClick(200, 160);
    EXPECT_EQ(open->Env().trackers[0].motor, 8);
    EXPECT_EQ(open->Env().trackers[0].rightRaw, 200);
    EXPECT_EQ(open->Env().trackers[0].x, 0);
    open->KeyDown(EnvKey::Delete, {});
    EXPECT_EQ(open->Env().count(), 0);
    EXPECT_EQ(view.questions.back(), "Удаление трекера");
}

TEST_F(EnvTest, PollingWaitsForTheFirstRequest) {
    auto e = Make();
    e->MutableEnv().addTracker(Tracker(1));
    e->MutableEnv().addTracker(Tracker(2));
    e->Tick(4000);
    EXPECT_TRUE(link.Of(msg::kPollMotorValues).empty());
    e->Run(EnvCommand::Download);
    e->Tick(3000);
    EXPECT_TRUE(link.Of(msg::kPollMotorValues).empty());
    e->Tick(20);
    const auto polls = link.Of(msg::kPollMotorValues);
    ASSERT_EQ(polls.size(), 1u);
    EXPECT_EQ(polls[0].payload.size(), 2u + 8u);
}

}  // namespace
}  // namespace velcora
