#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "cyclogram/cyclogram_format.h"
#include "cyclogram/time_line.h"

namespace velcora {
namespace {

struct View : ITimeLineView {
    void Invalidate() override { ++paints; }
    bool Confirm(const std::string& title, const std::string&) override {
        questions.push_back(title);
        return yes;
    }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    bool EditTrackProperties(TrackProperties& p) override {
        if (!props) {
            return false;
        }
        p = *props;
        return true;
    }
    bool EditAudioBlock(AudioBlock& b) override {
        if (blockText.empty()) {
            return false;
        }
        b.text = blockText;
        return true;
    }
    int paints = 0;
    bool yes = true;
    std::vector<std::string> questions, errors;
    std::optional<TrackProperties> props;
    std::string blockText;
};

CyclogramKey Key(int32_t time, float value = 0.5f) {
    CyclogramKey k;
    k.time = time;
    k.value = value;
    return k;
}

std::unique_ptr<CCyclogram> Doc(std::initializer_list<std::initializer_list<int32_t>> tracks,
                                bool audio = false) {
    auto doc = std::make_unique<CCyclogram>();
    int32_t motor = 1;
    for (const auto& times : tracks) {
        auto& t = doc->track(doc->addTrack());
        t.motor = motor++;
        for (int32_t time : times) {
            t.appendKey(Key(time));
        }
    }
    if (audio) {
        doc->audio = std::make_unique<CCyclogramAudioTrack>();
    }
    return doc;
}

// The time line at 1 pixel a millisecond, 1600 x 900.
struct TimeLineTest : testing::Test {
    void Load(std::unique_ptr<CCyclogram> doc) {
        line.SetDocument(std::move(doc));
        line.SetVisible(true);
        line.SetClientSize(1600, 900);
        line.SetScale(1.0);
    }
    int X(int64_t t) const { return TimeToX(t, line.Scale(), line.HScroll()); }
    int Y(int32_t row, float v) const { return ValueToY(line.RowTop(row), line.RowHeight(row), v); }
    CyclogramKey& K(int32_t track, int32_t key) { return doc().track(track).key(key); }
    CCyclogram& doc() { return const_cast<CCyclogram&>(line.Document()); }
    void Drag(int x0, int y0, int x1, int y1, InputMods mods = {}) {
        line.MouseDown(x0, y0, mods);
        line.MouseMove(x1, y1, mods);
        line.MouseUp(x1, y1, mods);
    }
    std::vector<int32_t> Times(int32_t track) {
        std::vector<int32_t> out;
        for (const auto& k : doc().track(track).keys()) {
            out.push_back(k.time);
        }
        return out;
    }
    View view;
    CMemoryClipboard clipboard;
    CTimeLine line{view, clipboard};
};

// ---------------------------------------------------------------- ruler

TEST(TimeLineGeometry, RulerStepsAtTheirBoundaries) {
    const struct {
        int64_t span;
        int32_t major;
    } cases[] = {{29999, 1000},   {30000, 5000},    {99999, 5000},   {100000, 10000},
                 {199999, 10000}, {200000, 20000},  {599999, 20000}, {600000, 60000},
                 {999999, 60000}, {1000000, 120000}};
    for (const auto& c : cases) {
        EXPECT_EQ(RulerStepFor(c.span).major, c.major) << c.span;
        EXPECT_EQ(RulerStepFor(c.span).minor, c.major / 10) << c.span;
    }
}

TEST(TimeLineGeometry, RulerLabels) {
    EXPECT_EQ(RulerLabel(5000), "5");
    EXPECT_EQ(RulerLabel(59000), "59");
    EXPECT_EQ(RulerLabel(60000), "1:00");
    EXPECT_EQ(RulerLabel(65000), "1:05");
    EXPECT_EQ(RulerLabel(3 * 60000 + 42000), "3:42");
}

TEST(TimeLineGeometry, TicksEveryTenthMajorFromTheFirst) {
    // 1480 px at 0.05 px/ms: 29600 ms, major 1000.
    const auto ticks = RulerTicks(1600, 0.05, 0);
    ASSERT_FALSE(ticks.empty());
    for (const auto& t : ticks) {
        EXPECT_EQ(t.major, t.time % 1000 == 0) << t.time;
        EXPECT_GE(t.x, kHeaderWidth);
    }
    EXPECT_EQ(ticks.front().time, 0);
    EXPECT_EQ(ticks.front().x, kTimeOriginX);
}

TEST(TimeLineGeometry, CoordinatesStayInRange) {
    EXPECT_EQ(TimeToX(1000, 0.05, 0), 174);
    EXPECT_EQ(XToTime(174, 0.05, 0), 1000);
    EXPECT_EQ(ValueToY(18, 40, 0.0), 58);
    EXPECT_EQ(ValueToY(18, 40, 1.0), 18);
    EXPECT_FLOAT_EQ(YToValue(18, 40, 57), 0.0f);
    EXPECT_FLOAT_EQ(YToValue(18, 40, 18), 1.0f);
    EXPECT_FLOAT_EQ(YToValue(18, 40, 500), 0.0f);
    // Extreme times and scales give clamped pixels, not overflow.
    EXPECT_EQ(TimeToX(INT32_MAX, 20.0, INT32_MIN), kPixelLimit);
    EXPECT_EQ(ClampScale(100.0), kMaxScale);
    EXPECT_EQ(ClampScale(0.0), kMinScale);
    EXPECT_EQ(ClampScale(std::nan("")), kDefaultScale);
}

// ---------------------------------------------------------------- mouse

TEST_F(TimeLineTest, RulerClickSetsTheTimeCutToTheStep) {
    Load(Doc({{0}}));
    line.MouseDown(X(1234), 5, {});
    EXPECT_EQ(line.CurrentTime(), 1200);
    line.MouseMove(X(2299), 5, {});
    EXPECT_EQ(line.CurrentTime(), 2200);
    line.MouseMove(kHeaderWidth, 5, {});
    EXPECT_EQ(line.CurrentTime(), 0);
    line.MouseUp(kHeaderWidth, 5, {});
    EXPECT_FALSE(line.Modified());
}

TEST_F(TimeLineTest, DraggingSelectedKeysMovesInStepsAndStopsShortOfNeighbours) {
    const struct {
        int dx;
        int32_t expected;
    } cases[] = {{149, 1100}, {250, 1200}, {99, 1000}, {-149, 900}, {5000, 1900}, {-5000, 0}};
    for (const auto& c : cases) {
        Load(Doc({{1000, 2000}}));
        for (TimeLineTool tool : {TimeLineTool::Select, TimeLineTool::TimeOnly}) {
            Load(Doc({{1000, 2000}}));
            line.SetTool(tool);
            const int y = Y(0, 0.5f);
            line.MouseDown(X(1000), y, {});  // selects
            line.MouseUp(X(1000), y, {});
            Drag(X(1000), y, X(1000) + c.dx, y);
            EXPECT_EQ(K(0, 0).time, c.expected) << c.dx;
            EXPECT_EQ(K(0, 1).time, 2000);
            if (tool == TimeLineTool::TimeOnly) {
                EXPECT_EQ(line.Modified(), c.expected != 1000);
            }
        }
    }
}

TEST_F(TimeLineTest, SelectModeWithOneKeyAlsoSetsItsValue) {
    Load(Doc({{1000, 2000}}));
    const int y = Y(0, 0.5f);
    line.MouseDown(X(1000), y, {});
    line.MouseUp(X(1000), y, {});
    Drag(X(1000), y, X(1000), static_cast<int>(line.RowTop(0)));  // the top of the row
    EXPECT_FLOAT_EQ(K(0, 0).value, 1.0f);
    EXPECT_EQ(K(0, 0).time, 1000);
}

TEST_F(TimeLineTest, RightPartToolMovesEverythingFromTheEarliestSelectedItem) {
    auto d = Doc({{0, 1000, 2000}, {500, 1500}}, true);
    AudioBlock b;
    b.start = 1200;
    b.length = 300;
    d->audio->appendBlock(b);
    Load(std::move(d));
    line.SetTool(TimeLineTool::RightPart);
    const int y = Y(0, 0.5f);
    line.MouseDown(X(1000), y, {});
    line.MouseUp(X(1000), y, {});
    Drag(X(1000), y, X(1000) + 300, y);
    EXPECT_EQ(Times(0), (std::vector<int32_t>{0, 1300, 2300}));
    EXPECT_EQ(Times(1), (std::vector<int32_t>{500, 1800}));
    EXPECT_EQ(doc().audio->block(0).start, 1500);
    // Left: at most to 100 ms after the keys that stay (1300 - 0 - 100, 1800 - 500 - 100).
    Drag(X(1300), y, X(1300) - 5000, y);
    EXPECT_EQ(Times(0), (std::vector<int32_t>{0, 100, 1100}));
    EXPECT_EQ(Times(1), (std::vector<int32_t>{500, 600}));
}

TEST_F(TimeLineTest, ValueToolChangesOnlyTheValue) {
    Load(Doc({{1000, 2000}}));
    line.SetTool(TimeLineTool::Values);
    const int y = Y(0, 0.5f);
    line.MouseDown(X(1000), y, {});
    line.MouseUp(X(1000), y, {});
    Drag(X(1000), y, X(1000) + 500, line.RowTop(0) + line.RowHeight(0) - 1);
    EXPECT_EQ(K(0, 0).time, 1000);
    EXPECT_FLOAT_EQ(K(0, 0).value, 0.0f);
}

TEST_F(TimeLineTest, HandlesStayBetweenTheNeighbours) {
    Load(Doc({{0, 1500, 3000}}));
    const int y = Y(0, 0.5f);
    const int top = static_cast<int>(line.RowTop(0));
    line.MouseDown(X(1500), y, {});
    line.MouseUp(X(1500), y, {});
    // Incoming handle at 1500 - 500.
    ASSERT_EQ(line.HitTest(X(1000), y).kind, HitKind::InHandle);
    Drag(X(1000), y, X(1490), y);  // within 100 ms of its own key
    EXPECT_EQ(K(0, 1).inLength, 100);
    Drag(X(1400), y, X(-300), y);  // beyond the previous key
    EXPECT_EQ(K(0, 1).inLength, 1500);
    ASSERT_EQ(line.HitTest(X(2000), y).kind, HitKind::OutHandle);
    Drag(X(2000), y, X(1510), top);
    EXPECT_EQ(K(0, 1).outLength, 100);
    EXPECT_NEAR(K(0, 1).outDelta, 0.5f, 0.01f);
    Drag(X(1600), top, X(3700), top);
    EXPECT_EQ(K(0, 1).outLength, 1500);
    // Another tool shows no handles.
    line.SetTool(TimeLineTool::TimeOnly);
    EXPECT_NE(line.HitTest(X(1510), top).kind, HitKind::OutHandle);
}

TEST_F(TimeLineTest, RowHeightStaysWithinLimits) {
    Load(Doc({{0}}));
    const int bottom = static_cast<int>(line.RowTop(0)) + line.RowHeight(0) - 1;
    ASSERT_EQ(line.HitTest(600, bottom).kind, HitKind::Resize);
    Drag(600, bottom, 600, bottom + 1000);
    EXPECT_EQ(line.RowHeight(0), kMaxTrackHeight);
    Drag(600, static_cast<int>(line.RowTop(0)) + kMaxTrackHeight - 1, 600, 0);
    EXPECT_EQ(line.RowHeight(0), kMinTrackHeight);
    EXPECT_FALSE(line.Modified());
}

TEST_F(TimeLineTest, RubberBandAddsKeysAndWholeBlocksOfUnlockedTracks) {
    auto d = Doc({{100, 500, 900}, {300}}, true);
    d->track(1).locked = 1;
    AudioBlock inside, across;
    inside.start = 200;
    inside.length = 200;
    across.start = 600;
    across.length = 600;
    d->audio->appendBlock(inside);
    d->audio->appendBlock(across);
    Load(std::move(d));
    K(0, 2).selected = 1;
    Drag(X(50), line.RowTop(0) + 1, X(700), 800, {true, false});
    EXPECT_TRUE(K(0, 0).selected && K(0, 1).selected && K(0, 2).selected);
    EXPECT_FALSE(K(1, 0).selected);
    EXPECT_TRUE(doc().audio->block(0).selected);
    EXPECT_FALSE(doc().audio->block(1).selected);
}

TEST_F(TimeLineTest, HeaderIconsAndSwap) {
    Load(Doc({{0}, {0}, {0}}));
    const int top1 = static_cast<int>(line.RowTop(1));
    EXPECT_EQ(line.HintAt(kDeleteIconX + 1, top1 + 3), "Удалить трек");
    EXPECT_EQ(line.HintAt(kLockIconX + 1, top1 + 39 - 3), "Заблокировать трек");
    EXPECT_EQ(line.HintAt(kOnOffIconX + 1, top1 + 39 - 3), "Выключить работу трека");
    Drag(kLockIconX + 1, top1 + 36, kLockIconX + 1, top1 + 36);
    EXPECT_TRUE(doc().track(1).locked);
    EXPECT_TRUE(line.Modified());
    Drag(kOnOffIconX + 1, top1 + 36, kOnOffIconX + 1, top1 + 36);
    EXPECT_TRUE(doc().track(1).disabled);
    Drag(10, top1 + 10, 10, static_cast<int>(line.RowTop(2)) + 10);
    EXPECT_EQ(doc().track(2).motor, 2);
    EXPECT_EQ(doc().track(1).motor, 3);
    view.yes = false;
    Drag(kDeleteIconX + 1, top1 + 3, kDeleteIconX + 1, top1 + 3);
    EXPECT_EQ(doc().trackCount(), 3);
    view.yes = true;
    Drag(kDeleteIconX + 1, top1 + 3, kDeleteIconX + 1, top1 + 3);
    EXPECT_EQ(doc().trackCount(), 2);
    EXPECT_EQ(view.questions.size(), 2u);
}

// ------------------------------------------------------------- commands

TEST_F(TimeLineTest, InterpolationGroupsShowTheSharedMode) {
    Load(Doc({{0, 1000, 2000}}));
    EXPECT_FALSE(line.Enabled(TimeLineCommand::InStep));
    EXPECT_FALSE(line.Pressed(TimeLineCommand::InBezier));
    K(0, 1).selected = 1;
    EXPECT_TRUE(line.Pressed(TimeLineCommand::InBezier));
    line.Run(TimeLineCommand::InStep);
    EXPECT_EQ(K(0, 1).inMode, kInterpolationStep);
    EXPECT_EQ(K(0, 0).outMode, kInterpolationStep);
    EXPECT_TRUE(line.Pressed(TimeLineCommand::InStep));
    line.Run(TimeLineCommand::OutLinear);
    EXPECT_EQ(K(0, 2).inMode, kInterpolationLinear);
    K(0, 2).selected = 1;  // in modes now differ: step and linear
    EXPECT_FALSE(line.Pressed(TimeLineCommand::InStep));
    EXPECT_FALSE(line.Pressed(TimeLineCommand::InLinear));
    EXPECT_FALSE(line.Pressed(TimeLineCommand::InBezier));
}

TEST_F(TimeLineTest, FragmentMarks) {
    const struct {
        int32_t start, end, time;
        TimeLineCommand c;
        int32_t wantStart, wantEnd;
    } cases[] = {
        {0, 5050, 5000, TimeLineCommand::FragmentStart, 5000, 5100},
        {0, 9000, 5000, TimeLineCommand::FragmentStart, 5000, 9000},
        {5000, 6000, 5000, TimeLineCommand::FragmentEnd, 4900, 5000},
        {1000, 6000, 3000, TimeLineCommand::FragmentEnd, 1000, 3000},
        {0, 0, 0, TimeLineCommand::FragmentEnd, 0, 0},
        {1000, 2000, 0, TimeLineCommand::FragmentCancel, 0, 0},
    };
    for (const auto& c : cases) {
        Load(Doc({{0}}));
        line.SetCurrentTime(c.start);
        line.Run(TimeLineCommand::FragmentStart);
        line.SetCurrentTime(c.end);
        line.Run(TimeLineCommand::FragmentEnd);
        if (c.start == 0 && c.end == 0) {
            line.Run(TimeLineCommand::FragmentCancel);
        }
        line.SetCurrentTime(c.time);
        line.Run(c.c);
        EXPECT_EQ(line.FragmentStart(), c.wantStart);
        EXPECT_EQ(line.FragmentEnd(), c.wantEnd);
    }
    // A mark switches the loop off, which is an edit.
    Load(Doc({{0}}));
    line.Run(TimeLineCommand::Loop);
    line.MarkSaved(line.Generation());
    line.Run(TimeLineCommand::FragmentStart);
    EXPECT_FALSE(line.Pressed(TimeLineCommand::Loop));
    EXPECT_TRUE(line.Modified());
}

TEST_F(TimeLineTest, RecordingAKey) {
    auto d = Doc({{0, 2000}, {}, {}});
    d->track(2).locked = 1;
    Load(std::move(d));
    line.SetCurrentTime(2000);
    line.RecordKey(1, 0.9f);  // on a key: only its value
    EXPECT_EQ(Times(0), (std::vector<int32_t>{0, 2000}));
    EXPECT_FLOAT_EQ(K(0, 1).value, 0.9f);
    line.SetCurrentTime(1900);
    line.RecordKey(1, 0.2f);
    EXPECT_EQ(Times(0), (std::vector<int32_t>{0, 1900, 2000}));
    EXPECT_FLOAT_EQ(K(0, 1).value, 0.2f);
    EXPECT_LE(K(0, 1).inLength, 1900);
    line.SetCurrentTime(300);
    line.RecordKey(2, 0.7f);  // an empty track
    EXPECT_EQ(Times(1), (std::vector<int32_t>{300}));
    EXPECT_EQ(K(1, 0).inLength, 300);
    line.RecordKey(3, 0.7f);  // locked
    line.RecordKey(9, 0.7f);  // no such motor
    EXPECT_EQ(doc().track(2).count(), 0);
    line.SetApplyingPose(true);
    line.RecordKey(2, 0.1f);
    EXPECT_FLOAT_EQ(K(1, 0).value, 0.7f);
    line.SetApplyingPose(false);
    line.SetVisible(false);
    line.RecordKey(2, 0.1f);
    EXPECT_FLOAT_EQ(K(1, 0).value, 0.7f);
}

TEST_F(TimeLineTest, ClipboardRoundTripAndRefusals) {
    Load(Doc({{2000, 2600}, {2000}}));
    EXPECT_FALSE(line.Enabled(TimeLineCommand::Paste));
    K(0, 0).selected = K(0, 1).selected = K(1, 0).selected = 1;
    line.Run(TimeLineCommand::Copy);
    ASSERT_TRUE(line.Enabled(TimeLineCommand::Paste));
    // Two tracks cannot go into one.
    line.PreparePopup(X(500), Y(0, 0.5f));
    line.Run(TimeLineCommand::PasteTrack);
    EXPECT_EQ(view.errors.back(), "Содержимое буфера обмена невозможно вставить на данный трек!");
    // Right on top of the copied keys: refused.
    line.SetCurrentTime(2000);
    line.Run(TimeLineCommand::Paste);
    EXPECT_EQ(view.errors.back(), "Невозможно вставить фрагмент из буфера обмена в данное место");
    EXPECT_FALSE(line.Modified());
    line.SetCurrentTime(5000);
    line.Run(TimeLineCommand::Paste);
    EXPECT_EQ(Times(0), (std::vector<int32_t>{2000, 2600, 5000, 5600}));
    EXPECT_EQ(Times(1), (std::vector<int32_t>{2000, 5000}));
    EXPECT_TRUE(K(0, 2).selected && !K(0, 0).selected);
    EXPECT_TRUE(line.Modified());
    // Cut takes what is selected away.
    line.Run(TimeLineCommand::Cut);
    EXPECT_EQ(Times(0), (std::vector<int32_t>{2000, 2600}));
    // Garbage on the clipboard.
    clipboard.SetCyclogram("not a cyclogram");
    line.Run(TimeLineCommand::Paste);
    EXPECT_EQ(view.errors.back(), "Ошибка формата в буфере обмена");
}

TEST_F(TimeLineTest, PasteTrackPutsOneTrackIntoTheCurrentOne) {
    Load(Doc({{1000, 1500}, {}}));
    K(0, 0).selected = K(0, 1).selected = 1;
    line.Run(TimeLineCommand::Copy);
    line.SetCurrentTrack(1);
    line.SetCurrentTime(3000);
    EXPECT_TRUE(line.KeyDown(TimeLineKey::V, {true, true}));
    EXPECT_EQ(Times(1), (std::vector<int32_t>{3000, 3500}));
}

TEST_F(TimeLineTest, AudioBlocks) {
    Load(Doc({}, true));
    const int soundY = static_cast<int>(line.RowTop(0)) + 20;
    EXPECT_EQ(line.PreparePopup(X(100), soundY), TimeLinePopup::Area);
    EXPECT_TRUE(line.Enabled(TimeLineCommand::InsertBlock));
    EXPECT_FALSE(line.Enabled(TimeLineCommand::BlockProperties));
    view.blockText = "";  // cancel removes it
    line.Run(TimeLineCommand::InsertBlock);
    EXPECT_EQ(doc().audio->count(), 0);
    view.blockText = "hello.wav";
    line.Run(TimeLineCommand::InsertBlock);
    ASSERT_EQ(doc().audio->count(), 1);
    EXPECT_EQ(*doc().audio->block(0).text, "hello.wav");
    line.SetCurrentTime(200);
    line.Run(TimeLineCommand::InsertBlock);
    EXPECT_EQ(view.errors.back(), "В данное место нельзя вставить аудиоблок");
    EXPECT_EQ(line.PreparePopup(X(100), soundY), TimeLinePopup::Area);
    EXPECT_TRUE(line.Enabled(TimeLineCommand::BlockProperties));
    EXPECT_FALSE(line.Enabled(TimeLineCommand::AddAudioTrack));
}

TEST_F(TimeLineTest, TrackPropertiesAndTracks) {
    Load(Doc({{0}}));
    EXPECT_EQ(line.PreparePopup(10, 30), TimeLinePopup::Header);
    view.props = TrackProperties{7, true, true};
    line.Run(TimeLineCommand::TrackProperties);
    EXPECT_EQ(doc().track(0).motor, 7);
    EXPECT_TRUE(doc().track(0).locked && doc().track(0).disabled);
    line.Run(TimeLineCommand::AddTrack);
    line.Run(TimeLineCommand::AddAudioTrack);
    EXPECT_EQ(line.RowCount(), 3);
    EXPECT_EQ(doc().track(1).motor, 0);
}

// ----------------------------------------------------------------- undo

TEST_F(TimeLineTest, UndoTakesBackWholeActionsAndKnowsTheStoredState) {
    Load(Doc({{1000, 3000}}));
    const int y = Y(0, 0.5f);
    line.MouseDown(X(1000), y, {});
    line.MouseUp(X(1000), y, {});
    EXPECT_EQ(line.UndoSteps(), 0u);  // selecting is no step
    line.MouseDown(X(1000), y, {});
    for (int dx = 10; dx <= 500; dx += 10) {
        line.MouseMove(X(1000) + dx, y, {});
    }
    line.MouseUp(X(1000) + 500, y, {});
    EXPECT_EQ(K(0, 0).time, 1500);
    EXPECT_EQ(line.UndoSteps(), 1u);  // the whole drag
    line.SetCurrentTime(2000);
    line.RecordKey(1, 0.3f);
    EXPECT_EQ(line.UndoSteps(), 2u);
    const uint64_t uploaded = line.Generation();
    line.MarkSaved(uploaded);
    EXPECT_FALSE(line.Modified());

    EXPECT_TRUE(line.KeyDown(TimeLineKey::Z, {false, true}));
    EXPECT_EQ(Times(0), (std::vector<int32_t>{1500, 3000}));
    EXPECT_TRUE(line.Modified());
    EXPECT_TRUE(line.KeyDown(TimeLineKey::Z, {false, true}));
    EXPECT_EQ(Times(0), (std::vector<int32_t>{1000, 3000}));
    EXPECT_FALSE(line.Enabled(TimeLineCommand::Undo));
    EXPECT_TRUE(line.KeyDown(TimeLineKey::Y, {false, true}));
    EXPECT_TRUE(line.KeyDown(TimeLineKey::Z, {true, true}));
    EXPECT_EQ(Times(0), (std::vector<int32_t>{1500, 2000, 3000}));
    EXPECT_FALSE(line.Modified());  // back where it was uploaded
    EXPECT_FALSE(line.Enabled(TimeLineCommand::Redo));

    // A new edit drops what could be redone; loading clears everything.
    line.KeyDown(TimeLineKey::Z, {false, true});
    line.Run(TimeLineCommand::Loop);
    EXPECT_FALSE(line.Enabled(TimeLineCommand::Redo));
    Load(Doc({{0}}));
    EXPECT_EQ(line.UndoSteps(), 0u);
    EXPECT_FALSE(line.Modified());
}

TEST_F(TimeLineTest, UndoKeepsAHundredStepsOfALargeDocument) {
    auto d = std::make_unique<CCyclogram>();
    for (int t = 0; t < 8; ++t) {
        auto& track = d->track(d->addTrack());
        track.motor = t + 1;
        for (int k = 0; k < 1000; ++k) {
            track.appendKey(Key(k * 100, static_cast<float>((k * 37 + t) % 100) / 100.0f));
        }
    }
    Load(std::move(d));
    for (int i = 0; i < 120; ++i) {
        line.Run(TimeLineCommand::Loop);
    }
    EXPECT_GE(line.UndoSteps(), 100u);
    EXPECT_LE(line.UndoBytes(), CTimeLine::kUndoBudgetBytes);
}

// ------------------------------------------------- damaged documents

// Keys out of order, closer than 100 ms, negative times and overlapping
// blocks, through every tool and command: nothing crashes, no clamp is
// given a low end above its high end (UBSan and the assertions of the
// standard library would see it).
TEST_F(TimeLineTest, UnorderedDocumentThroughEveryTool) {
    auto make = [] {
        auto d = std::make_unique<CCyclogram>();
        auto& t = d->track(d->addTrack());
        t.motor = 1;
        for (int32_t time : {3000, 1000, 1050, -500, 1000, 2000}) {
            t.appendKey(Key(time, 0.3f));
        }
        d->audio = std::make_unique<CCyclogramAudioTrack>();
        for (auto [start, length] : {std::pair{1000, 2000}, {500, 100}, {-300, 50}}) {
            AudioBlock b;
            b.start = start;
            b.length = length;
            d->audio->appendBlock(b);
        }
        return d;
    };
    for (TimeLineTool tool : {TimeLineTool::Select, TimeLineTool::TimeOnly, TimeLineTool::RightPart,
                              TimeLineTool::Values}) {
        Load(make());
        line.SetScale(0.1);
        line.SetTool(tool);
        line.Run(TimeLineCommand::SelectAll);
        for (int x = 100; x < 700; x += 37) {
            for (int y = 0; y < 140; y += 9) {
                line.MouseDown(x, y, {});
                line.MouseMove(x + 200, y + 7, {});
                line.MouseMove(x - 400, y - 7, {});
                line.MouseUp(x - 400, y - 7, {});
            }
        }
        line.Run(TimeLineCommand::SelectAll);
        for (auto c : {TimeLineCommand::InStep, TimeLineCommand::OutLinear, TimeLineCommand::Copy,
                       TimeLineCommand::Paste, TimeLineCommand::SelectCurrent,
                       TimeLineCommand::Delete, TimeLineCommand::Undo, TimeLineCommand::Redo}) {
            line.Run(c);
        }
        TimeLinePaintList paint;
        line.BuildPaintList(paint);
    }
}

// ---------------------------------------------------------------- paint

TEST_F(TimeLineTest, PaintListHoldsOnlyTheVisiblePart) {
    auto d = std::make_unique<CCyclogram>();
    for (int t = 0; t < 100; ++t) {
        auto& track = d->track(d->addTrack());
        track.motor = t;
        for (int k = 0; k < 1000; ++k) {
            track.appendKey(Key(k * 100, (k % 2) ? 0.2f : 0.8f));
        }
    }
    Load(std::move(d));
    line.SetScale(0.05);
    TimeLinePaintList paint;
    line.BuildPaintList(paint);
    // 900 - 18 - 16 pixels of 40-pixel rows: 22 rows, the last one cut.
    EXPECT_EQ(paint.rows.size(), 22u);
    // 1480 pixels at 0.05 px/ms: 29.6 s of keys, 100 ms apart.
    for (const auto& k : paint.keys) {
        EXPECT_GE(k.x, kHeaderWidth - kHitTolerance);
        EXPECT_LE(k.x, paint.areaRight + kHitTolerance);
    }
    EXPECT_LT(paint.keys.size(), 22u * 310u);
    // Every pixel column holds at most two points of a line.
    for (const auto& line : paint.lines) {
        int same = 1;
        for (std::size_t i = line.first + 1; i < line.first + line.count; ++i) {
            same = paint.points[i].x == paint.points[i - 1].x ? same + 1 : 1;
            EXPECT_LE(same, 2);
        }
    }
}

TEST(PoseAtTest, EnabledTracksWithATracker) {
    CCyclogram doc;
    for (int32_t motor : {5, 6, 7}) {
        auto& t = doc.track(doc.addTrack());
        t.motor = motor;
        t.appendKey(Key(0, 0.1f));
        t.appendKey(Key(2000, 0.6f));
    }
    doc.track(1).disabled = 1;
    CCyclogramEnv env;
    for (int32_t motor : {7, 6, 5}) {
        EnvTracker t;
        t.motor = motor;
        env.addTracker(t);
    }
    const auto pose = PoseAt(doc, env, 2000);
    ASSERT_EQ(pose.size(), 2u);
    EXPECT_EQ(pose[0].motor, 5);
    EXPECT_EQ(pose[0].tracker, 2);
    EXPECT_FLOAT_EQ(pose[0].position, 0.6f);
    EXPECT_EQ(pose[1].motor, 7);
}

}  // namespace
}  // namespace velcora
