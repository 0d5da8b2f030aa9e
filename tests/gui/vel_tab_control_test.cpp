// The tab control, the scroll bar and exclusive button groups: what the
// operator does reports a command; what the program sets is silent.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTabBar>
#include <QTest>

#include "gui/gui_app.h"
#include "ui/vel.h"
#include "ui/vel_scroll_bar.h"
#include "ui/vel_tab_control.h"

namespace velcora::ui {
namespace {

class Recorder : public CVelForm {
  public:
    Recorder() : CVelForm(PackPosition(0, 0), 500, 400) {}
    bool HandleEvent(const VelEvent& e) override {
        if (e.kind == VelEventKind::Command) {
            commands.push_back(e.id);
        }
        return CVelForm::HandleEvent(e);
    }
    std::vector<int> commands;
};

TEST(VelTabControl, PagesFillTheRoomUnderTheTabs) {
    test::App();
    auto* form = new Recorder;
    auto* tabs = new CVelTabControl(form, kAlignClient, 0, 0, 42);
    CVelPanel* a = tabs->AddPage(QStringLiteral("Видео"));
    CVelPanel* b = tabs->AddPage(QStringLiteral("Циклограммы"));
    form->Widget()->show();
    form->ReLayout();
    tabs->ReLayout();
    EXPECT_EQ(tabs->PageCount(), 2);
    EXPECT_EQ(tabs->ActivePage(), 0);
    EXPECT_TRUE(a->IsVisible());
    EXPECT_FALSE(b->IsVisible());
    EXPECT_GE(a->Geometry().top(), tabs->TabBar()->height());
    tabs->SetActivePage(1);  // silent
    EXPECT_TRUE(form->commands.empty());
    EXPECT_TRUE(b->IsVisible());
    EXPECT_FALSE(a->IsVisible());
    EXPECT_EQ(b->Geometry().height(), tabs->ClientRect().height());
    QTest::mouseClick(tabs->TabBar(), Qt::LeftButton, {}, tabs->TabBar()->tabRect(0).center());
    EXPECT_EQ(tabs->ActivePage(), 0);
    EXPECT_EQ(form->commands, std::vector<int>{42});
    form->Destroy();
    test::Flush();
}

TEST(VelScrollBar, RangeOfContentAgainstPage) {
    test::App();
    auto* form = new Recorder;
    auto* bar = new CVelScrollBar(form, kAlignRight, 16, 0, Qt::Vertical, 7);
    bar->SetRange(1000, 300);
    EXPECT_EQ(bar->Maximum(), 700);
    bar->SetRange(200, 300);  // everything fits
    EXPECT_EQ(bar->Maximum(), 0);
    bar->SetRange(1000, 300);
    bar->SetPosition(500);
    EXPECT_TRUE(form->commands.empty());
    bar->Bar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(form->commands, std::vector<int>{7});
    EXPECT_GT(bar->Position(), 500);

    CVelButtonGroup group;
    auto* one = new CVelSpdBtn(form, kPlaceFlow, 30, 24, QStringLiteral("1"));
    auto* two = new CVelSpdBtn(form, kPlaceFlow, 30, 24, QStringLiteral("2"));
    group.Add(one);
    group.Add(two);
    group.SetDown(two);
    EXPECT_EQ(group.Down(), two);
    EXPECT_FALSE(one->Down());
    group.SetDown(nullptr);
    EXPECT_EQ(group.Down(), nullptr);
    form->Destroy();
    test::Flush();
}

}  // namespace
}  // namespace velcora::ui
