// The document area and the lifecycle every tool window shares: one window of
// a kind, raised when asked again; handlers and hooks that end with the window;
// a window with unsaved work keeping the console open.
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>

#include "gui/main_form_fixture.h"
#include "sim/sim_status.h"
#include "ui/vel.h"

namespace velcora::gui {
namespace {

// A tool window that counts what reaches it through each channel it has.
class ProbeTool : public ui::CVelMDIChildForm {
  public:
    struct Counts {
        int open = 0, statusReplies = 0, states = 0, authorised = 0, lateTicks = 0;
        bool mayClose = true;
    };
    ProbeTool(ui::CVelForm* frame, ToolContext& tools, Counts& counts)
        : CVelMDIChildForm(frame, 500, 400, QStringLiteral("Проба")), counts_(counts) {
        ++counts_.open;
        status_ = tools.connection.Dispatcher().Register(
            msg::kStatus, [this](CStream&, int32_t) { ++counts_.statusReplies; });
        state_ = tools.hooks.OnStateChanged([this](int32_t) { ++counts_.states; });
        authorised_ = tools.hooks.OnAuthorised([this] { ++counts_.authorised; });
        tick_ =
            tools.hooks.OnTick(TickStage::Late, [this](uint32_t, int32_t) { ++counts_.lateTicks; });
    }
    ~ProbeTool() override { --counts_.open; }

  protected:
    bool CanClose(int) override { return counts_.mayClose; }

  private:
    Counts& counts_;
    CMessageDispatcher::Registration status_;
    HookSubscription state_, authorised_, tick_;
};

class ToolWindowsTest : public MainFormTest {
  protected:
    void OpenWithProbe() {
        Open();
        form->RegisterTool("probe", [this] { return new ProbeTool(form, form->Tools(), counts); });
    }
    ProbeTool::Counts counts;
    ProbeTool::Counts otherCounts;  // a second kind of window
};

TEST_F(ToolWindowsTest, OneWindowOfAKindRaisedWhenAskedAgain) {
    OpenWithProbe();
    EXPECT_EQ(form->OpenTool("nothing"), nullptr);
    ui::CVelMDIChildForm* first = form->OpenTool("probe");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(form->FindTool("probe"), first);
    first->SubWindow()->showMinimized();
    EXPECT_EQ(form->OpenTool("probe"), first);
    EXPECT_EQ(counts.open, 1);
    EXPECT_FALSE(first->SubWindow()->isMinimized());
    EXPECT_EQ(form->MdiArea()->activeSubWindow(), first->SubWindow());
    EXPECT_EQ(form->MdiChildren().size(), 1u);
}

// With every tool window offered, each button lies inside the bar at the
// smallest size the window starts with (the last ones used to wrap to a row
// the bar had no room for).
TEST_F(ToolWindowsTest, EveryToolButtonFitsTheBar) {
    Ini(kSectionControls, "remoteDesktop", "1");
    Ini(kSectionControls, "liftCalib", "1");
    Open();
    const QStringList captions = {"Telnet", "Удаленный рабочий стол", "Файловый менеджер",
                                  "Редактор чат-бота", "Сервисное обслуживание"};
    int found = 0;
    for (QPushButton* b : form->Widget()->findChildren<QPushButton*>()) {
        if (!captions.contains(b->text()))
            continue;
        ++found;
        EXPECT_TRUE(b->isVisibleTo(form->Widget())) << b->text().toStdString();
        EXPECT_TRUE(b->parentWidget()->rect().contains(b->geometry())) << b->text().toStdString();
    }
    EXPECT_EQ(found, captions.size());
}

// New windows cascade from the top left of the document area, never placed
// where only their title can be seen.
TEST_F(ToolWindowsTest, NewWindowsCascadeFromTheTopLeft) {
    OpenWithProbe();
    form->RegisterTool("second",
                       [this] { return new ProbeTool(form, form->Tools(), otherCounts); });
    ui::CVelMDIChildForm* a = form->OpenTool("probe");
    ui::CVelMDIChildForm* b = form->OpenTool("second");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    const QRect room = form->MdiArea()->viewport()->rect();
    const QRect ra = a->SubWindow()->geometry(), rb = b->SubWindow()->geometry();
    EXPECT_EQ(ra.topLeft(), QPoint(0, 0));
    EXPECT_GT(rb.left(), ra.left());
    EXPECT_GT(rb.top(), ra.top());
    EXPECT_TRUE(room.contains(rb.topLeft()));
    EXPECT_LT(rb.top(), room.height() / 2) << "the second window's body is in view";
}

// A window that waits on the robot while it opens runs the event loop; a
// second press of its button then raises nothing and makes no second window.
TEST_F(ToolWindowsTest, PressedAgainWhileItOpensMakesNoSecondWindow) {
    Open();
    bool askedAgain = false;
    ui::CVelMDIChildForm* nested = nullptr;
    form->RegisterTool("probe", [this, &nested, &askedAgain] {
        askedAgain = true;
        nested = form->OpenTool("probe");
        return new ProbeTool(form, form->Tools(), counts);
    });
    ui::CVelMDIChildForm* made = form->OpenTool("probe");
    EXPECT_TRUE(askedAgain);
    EXPECT_EQ(nested, nullptr);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(counts.open, 1);
    EXPECT_EQ(form->OpenTool("probe"), made);
    EXPECT_EQ(counts.open, 1);
}

// Opened and closed twice while connected: a closed window gets nothing more,
// and nothing it registered outlives it (the sanitizers see any use after
// free).
TEST_F(ToolWindowsTest, HandlersAndHooksEndWithTheWindow) {
    StartRobot();
    OpenWithProbe();
    ASSERT_TRUE(Connect());
    for (int round = 0; round < 2; ++round) {
        counts = {};
        ui::CVelMDIChildForm* w = form->OpenTool("probe");
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(WaitFor([&] { return counts.lateTicks >= 3; }));
        // A state report and a status reply reach it while it is open.
        form->Controller().OnConnectionStateChanged();
        EXPECT_EQ(counts.states, 1);
        EXPECT_EQ(counts.authorised, 1);
        ASSERT_TRUE(WaitFor([&] { return counts.statusReplies >= 1; }, 8000));
        w->Close();
        ASSERT_TRUE(WaitFor([&] { return counts.open == 0; }));
        EXPECT_EQ(form->FindTool("probe"), nullptr);
        const ProbeTool::Counts after = counts;
        form->Controller().OnConnectionStateChanged();
        Pump();
        EXPECT_EQ(counts.lateTicks, after.lateTicks);
        EXPECT_EQ(counts.states, after.states);
        EXPECT_EQ(counts.authorised, after.authorised);
    }
}

TEST_F(ToolWindowsTest, UnsavedWorkKeepsTheConsoleOpen) {
    OpenWithProbe();
    QPointer<QWidget> window(form->Widget());
    form->OpenTool("probe");
    counts.mayClose = false;
    form->Close(0);
    Pump();
    ASSERT_TRUE(window);
    EXPECT_EQ(counts.open, 1);
    counts.mayClose = true;
    form->Close(0);
    ASSERT_TRUE(WaitFor([&] { return window.isNull(); }));
    form = nullptr;
    EXPECT_EQ(counts.open, 0);
}

// On a 1920 x 1080 screen the document area has room for a 900 x 600 tool
// window while the driving camera keeps its place; the bar between them moves
// the room one way or the other, within limits.
TEST_F(ToolWindowsTest, DocumentAreaBesideTheCameras) {
    Open({{0, 0, 1920, 1080}});
    ui::test::Flush();
    const QRect area = form->MdiArea()->geometry();
    EXPECT_GE(area.width(), 900);
    EXPECT_GE(area.height(), 600);
    const QRect camera = form->VideoPanel(0)->Widget()->geometry();
    EXPECT_GE(camera.width(), 200);
    EXPECT_GE(camera.height(), 150);
    ui::CVelSplitter* bar = form->VideoSplitter();
    EXPECT_EQ(bar->MoveTo(10), 160);
    ui::test::Flush();
    EXPECT_GT(form->MdiArea()->geometry().width(), area.width());
    const int widest = bar->MoveTo(5000);
    ui::test::Flush();
    EXPECT_GE(form->MdiArea()->geometry().width(), 320);
    EXPECT_EQ(form->VideoColumn()->Geometry().width(), widest);
}

}  // namespace
}  // namespace velcora::gui
