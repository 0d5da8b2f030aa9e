// The cyclogram page against the simulated robot: opening a cyclogram,
// recording a key by dragging a tracker, undo, running a modified cyclogram,
// the clipboard, placing and uploading trackers, a wave file through the
// audio block dialog, and locked mode.
#include <QClipboard>
#include <QGuiApplication>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <algorithm>
#include <fstream>

#include "cyclogram/gui/cyclogram_dialogs.h"
#include "cyclogram/gui/cyclogram_view.h"
#include "gui/main_form_fixture.h"
#include "sim/sim_cyclogram.h"
#include "ui/vel_dialogs.h"
#include "ui/vel_tab_control.h"

namespace velcora::gui {
namespace {

using cyclogram_gui::CCyclogramView;

class CyclogramPageTest : public MainFormTest {
  protected:
    ~CyclogramPageTest() override {
        ui::SetChoiceSink(previousChoice);
        ui::SetFileSink(previousFile);
    }
    void OpenPage(bool locked = false) {
        Ini(kSectionControls, "cyclograms", "1");
        if (locked) {
            Ini(kSectionInterface, "cyclogramLocked", "1");
        }
        StartRobot();
        Open();
        form->Widget()->resize(1880, 1000);
        ASSERT_TRUE(Connect());
        ASSERT_NE(form->WorkTabs(), nullptr);
        EXPECT_EQ(form->WorkTabs()->ActivePage(), 0);
        // "--open cyclograms" names the page like a tool window and shows it.
        const auto names = form->ToolNames();
        EXPECT_NE(std::find(names.begin(), names.end(), "cyclograms"), names.end());
        form->OpenTool("cyclograms");
        EXPECT_EQ(form->WorkTabs()->ActivePage(), 1);
        EXPECT_GT(form->WorkTabs()->Geometry().width(), 900);
        page = form->CyclogramView();
        ASSERT_NE(page, nullptr);
        // The robot's list and environment arrive by themselves.
        ASSERT_TRUE(WaitFor([&] {
            return page->Window().Names().size() == 2 &&
                   page->Window().Environment().Env().count() == 6;
        }));
        QApplication::processEvents();
    }
    void Edit(const std::string& utf8) {
        const auto& names = page->Window().Names();
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == Utf8ToAnsi(utf8)) {
                page->List()->List()->setCurrentRow(static_cast<int>(i));
            }
        }
        QTest::keyClick(page->List()->List(), Qt::Key_Return);
        ASSERT_TRUE(WaitFor([&] { return page->Window().TimeLine().Visible(); }));
        QApplication::processEvents();
    }
    QWidget* Tracks() { return page->Tracks()->Widget(); }
    QWidget* EnvWidget() { return page->EnvView()->Widget(); }
    CTimeLine& Line() { return page->Window().TimeLine(); }
    const CCyclogramTrack* TrackOf(int32_t motor) {
        const int32_t i = Line().Document().findTrack(motor);
        return i < 0 ? nullptr : &Line().Document().track(i);
    }
    void Click(ui::CVelSpdBtn* b) {
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(b->IsEnabled());
        QTest::mouseClick(b->Widget(), Qt::LeftButton);
    }
    // Drags the knob of the tracker of `motor` by (dx, dy).
    void DragTracker(int32_t motor, int dx, int dy) {
        auto& env = page->Window().Environment();
        const int32_t i = env.Env().findTracker(motor);
        ASSERT_GE(i, 0);
        const TrackerShape s = ShapeOf(env.Env().trackers[static_cast<std::size_t>(i)],
                                       env.ViewWidth(), env.ViewHeight());
        const QPoint knob((s.knobX0 + s.knobX1) / 2, (s.knobY0 + s.knobY1) / 2);
        QTest::mousePress(EnvWidget(), Qt::LeftButton, {}, knob);
        for (int k = 1; k <= 4; ++k) {
            QTest::mouseMove(EnvWidget(), knob + QPoint(dx * k / 4, dy * k / 4));
        }
        QTest::mouseRelease(EnvWidget(), Qt::LeftButton, {}, knob + QPoint(dx, dy));
    }

    CCyclogramView* page = nullptr;
    ui::ChoiceSink previousChoice;
    ui::FileSink previousFile;
};

// The main window's own list: "Запустить циклограмму" runs the chosen one
// whole; "Редактировать циклограмму" shows the page with it opened.
TEST_F(CyclogramPageTest, MainWindowListRunsAndEdits) {
    OpenPage();
    form->OpenTool("cyclograms");
    form->SelectWorkPage(0);
    ui::CVelListBox* list = form->CyclogramList();
    ASSERT_EQ(list->Count(), 2);
    auto* widget = qobject_cast<QListWidget*>(list->Widget());
    ASSERT_NE(widget, nullptr);
    widget->setCurrentRow(1);
    QPushButton* run = nullptr;
    QPushButton* edit = nullptr;
    for (QPushButton* b : form->Widget()->findChildren<QPushButton*>()) {
        if (b->text() == QStringLiteral("Запустить циклограмму") &&
            !page->Widget()->isAncestorOf(b))
            run = b;
        if (b->text() == QStringLiteral("Редактировать циклограмму"))
            edit = b;
    }
    ASSERT_NE(run, nullptr);
    ASSERT_NE(edit, nullptr);
    frames.clear();
    QTest::mouseClick(run, Qt::LeftButton);
    Pump();
    ASSERT_EQ(Of(msg::kRunCyclogram).size(), 1u);
    const std::string name = page->Window().Names()[1];
    EXPECT_NE(Of(msg::kRunCyclogram)[0].payload.find(name), std::string::npos);
    EXPECT_EQ(form->WorkTabs()->ActivePage(), 0);

    QTest::mouseClick(edit, Qt::LeftButton);
    EXPECT_EQ(form->WorkTabs()->ActivePage(), 1);
    ASSERT_TRUE(WaitFor([&] { return page->Window().CurrentName() == name; }));
}

TEST_F(CyclogramPageTest, RecordByTrackerUndoAndRunWhenModified) {
    OpenPage();
    EXPECT_EQ(form->WorkTabs()->PageCaption(1), QStringLiteral("Циклограммы"));
    ASSERT_EQ(form->CyclogramList()->Count(), 2);
    Edit("Осмотр");
    ASSERT_NE(TrackOf(5), nullptr);
    EXPECT_EQ(TrackOf(5)->count(), 3);
    EXPECT_FALSE(Line().Modified());

    // The ruler at 1 s, then the waist tracker.
    const int x = TimeToX(1000, Line().Scale(), Line().HScroll());
    QTest::mouseClick(Tracks(), Qt::LeftButton, {}, QPoint(x + 2, 6));
    EXPECT_EQ(Line().CurrentTime(), 1000);
    frames.clear();
    DragTracker(5, 30, 0);
    ASSERT_EQ(TrackOf(5)->count(), 4);
    EXPECT_EQ(TrackOf(5)->key(1).time, 1000);
    EXPECT_TRUE(Line().Modified());
    Pump();
    EXPECT_FALSE(Of(msg::kSetMotor).empty());
    EXPECT_EQ(Line().UndoSteps(), 1u);

    // Ctrl+Z takes it back, Ctrl+Y restores it.
    // The trackers have the focus after the drag: undo works from there too.
    QTest::keyClick(EnvWidget(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(TrackOf(5)->count(), 3);
    EXPECT_FALSE(Line().Modified());
    Tracks()->setFocus();
    QTest::keyClick(Tracks(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(TrackOf(5)->count(), 4);
    EXPECT_TRUE(Line().Modified());

    // Run when modified: the upload first, the run when the robot has it.
    frames.clear();
    Click(page->Button(QStringLiteral("Запустить циклограмму"), 1));
    ASSERT_TRUE(WaitFor([&] { return !Of(msg::kRunCyclogram).empty(); }));
    ASSERT_EQ(Of(msg::kUploadCyclogram).size(), 1u);
    std::size_t upload = 0, run = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].type == msg::kUploadCyclogram)
            upload = i;
        if (frames[i].type == msg::kRunCyclogram)
            run = i;
    }
    EXPECT_LT(upload, run);
    EXPECT_FALSE(Line().Modified());
    // The robot stored what was recorded: 0.6 at 2000 ms on motor 5 was there before.
    auto& sim = robot->Feature<sim::SimCyclogram>();
    EXPECT_EQ(sim.runs.back().name, Utf8ToAnsi("Осмотр"));
}

TEST_F(CyclogramPageTest, ClipboardAndPicture) {
    OpenPage();
    Edit("Осмотр");
    // Select the keys at 2 s by a double click on the ruler there.
    Line().SetCurrentTime(2000);
    Tracks()->setFocus();
    Line().Run(TimeLineCommand::SelectCurrent);
    ASSERT_TRUE(Line().Document().anySelected());
    QTest::keyClick(Tracks(), Qt::Key_C, Qt::ControlModifier);
    const QMimeData* m = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->hasFormat(QStringLiteral("application/x-velcora-cyclogram")));
    QTest::keyClick(Tracks(), Qt::Key_Home);
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(Tracks(), Qt::Key_Right, Qt::ShiftModifier);
    }
    EXPECT_EQ(Line().CurrentTime(), 6000);
    const int before = TrackOf(5)->count();
    QTest::keyClick(Tracks(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(TrackOf(5)->count(), before + 1);
    EXPECT_EQ(TrackOf(5)->keys().back().time, 6000);
    EXPECT_TRUE(errors.empty()) << errors.front();

    // The page as an operator sees it.
    QApplication::processEvents();
    const QString file = QString::fromStdString((dir / "cyclogram_page.png").string());
    EXPECT_TRUE(page->Widget()->grab().save(file));
    if (const char* out = std::getenv("VELCORA_SCREENSHOT_DIR")) {
        page->Widget()->grab().save(QString::fromLocal8Bit(out) + "/cyclogram_page.png");
    }
}

TEST_F(CyclogramPageTest, TrackersPlacedAndUploaded) {
    OpenPage();
    auto& env = page->Window().Environment();
    Click(page->Button(QStringLiteral("Правка")));
    EXPECT_TRUE(env.EditMode());
    Click(page->Button(QStringLiteral("Горизонтальный трекер")));
    QTest::mouseClick(EnvWidget(), Qt::LeftButton, {}, QPoint(40, 40));
    EXPECT_EQ(env.Env().count(), 7);
    EXPECT_EQ(env.Env().trackers.back().motor, 7);
    // A project the robot does not have: on-line is off and cannot be pressed.
    EXPECT_FALSE(page->Button(QStringLiteral("Режим on-line управления звеньями"))->IsEnabled());
    frames.clear();
    Click(page->Button(QStringLiteral("Передать проект окружения на робота")));
    ASSERT_TRUE(WaitFor([&] { return !env.ChangedFlag(); }));
    EXPECT_EQ(Of(msg::kUploadEnvironmentProject).size(), 1u);
    EXPECT_TRUE(page->Button(QStringLiteral("Режим on-line управления звеньями"))->IsEnabled());
    Click(page->Button(QStringLiteral("Правка")));
    CCyclogramEnv saved;
    ASSERT_TRUE(loadEnvironmentFile((dir / "env.cenv").string(), saved));
    EXPECT_EQ(saved.count(), 7);
}

TEST_F(CyclogramPageTest, WaveUploadedThroughTheAudioBlockDialog) {
    OpenPage();
    const std::string wav = (dir / "hello.wav").string();
    std::ofstream(wav, std::ios::binary) << sim::ToneWave(800, 440);
    previousFile = ui::SetFileSink([&](ui::FileDialogKind, const QString&, const QString&) {
        return QString::fromStdString(wav);
    });
    AudioBlock block;
    block.start = 0;
    block.length = 500;
    block.text = "tone.wav";
    CWaveList waves;
    auto* dialog = new cyclogram_gui::CAudioBlockDialog(form->Connection(), waves, block);
    EXPECT_EQ(dialog->Pages()->ActivePage(), 1);
    EXPECT_EQ(dialog->FileEdit()->Text(), QStringLiteral("tone.wav"));
    ASSERT_TRUE(WaitFor([&] { return !waves.entries.empty(); }));
    dialog->UploadWave();  // runs the progress window until the robot has it all
    ASSERT_TRUE(WaitFor([&] {
        for (const auto& e : waves.entries)
            if (e.name == "hello.wav")
                return true;
        return false;
    }));
    EXPECT_EQ(Of(msg::kBeginWaveUpload).size(), 1u);
    EXPECT_GE(Of(msg::kWaveChunk).size(), 1u);
    // Choosing the new entry fills the name and its length.
    for (int i = 0; i < dialog->WaveList()->Count(); ++i) {
        if (dialog->WaveList()->ItemText(i) == QStringLiteral("hello.wav"))
            dialog->WaveList()->List()->setCurrentRow(i);
    }
    EXPECT_EQ(dialog->FileEdit()->Text(), QStringLiteral("hello.wav"));
    EXPECT_EQ(dialog->LengthEdit()->Value(), 800);
    AudioBlock out = block;
    dialog->Fields().ApplyTo(out);
    EXPECT_EQ(*out.text, "hello.wav");
    dialog->Destroy();
}

TEST_F(CyclogramPageTest, LockedModeHasNoEditingButtons) {
    OpenPage(true);
    for (const char* hint : {"Новый проект окружения", "Передать проект окружения на робота",
                             "Правка", "Горизонтальный трекер"}) {
        EXPECT_EQ(page->Button(QString::fromUtf8(hint)), nullptr) << hint;
    }
    EXPECT_NE(page->Button(QStringLiteral("Загрузить проект окружения с робота")), nullptr);
    EXPECT_FALSE(page->Window().Environment().Visible(EnvCommand::DeleteTracker));
}

}  // namespace
}  // namespace velcora::gui
