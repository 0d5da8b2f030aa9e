// The groups that work the robot's body, clicked and held as an operator
// does, against the simulated robot: what each sends, and what the window
// shows back.
#include <gtest/gtest.h>

#include <QTest>
#include <cstring>
#include <string>

#include "console/gui/main_form.h"
#include "console/gui/robot_panels.h"
#include "gui/main_form_fixture.h"

namespace velcora::gui {
namespace {

int8_t Speed(const Frame& f) {
    return f.payload.size() == 1 ? static_cast<int8_t>(f.payload[0]) : int8_t{-128};
}

TEST_F(MainFormTest, BodyPanelsSendWhatTheirButtonsSay) {
    Ini(kSectionControls, "lift", "1");
    Ini(kSectionControls, "liftSpeed", "40");
    Ini(kSectionControls, "tray", "1");
    Ini(kSectionControls, "trayFixedMode", "0");
    Ini(kSectionControls, "traySpeed", "30");
    Ini(kSectionControls, "autobalans", "1");
    Ini(kSectionControls, "headAxis", "0");
    StartRobot();
    Open();
    CLiftPanel* lift = form->LiftPanel();
    CTrayPanel* tray = form->TrayPanel();
    CHeadPanel* head = form->HeadPanel();
    ASSERT_TRUE(lift && tray && head && tray->AutobalanceBox());
    // Nothing to work before the robot is there.
    EXPECT_FALSE(tray->RaiseButton()->IsEnabled());
    EXPECT_FALSE(lift->SendHeightButton()->IsEnabled());
    ASSERT_TRUE(Connect());
    EXPECT_TRUE(tray->RaiseButton()->IsEnabled());
    Pump();

    // The tray moves while its button is held and stops at the release.
    frames.clear();
    QWidget* trayUp = tray->RaiseButton()->Widget();
    QTest::mousePress(trayUp, Qt::LeftButton);
    Pump();
    ASSERT_EQ(Of(msg::kTraySpeed).size(), 1u);
    EXPECT_GT(Speed(Of(msg::kTraySpeed)[0]), 0);
    EXPECT_TRUE(tray->RaiseButton()->Down());
    QTest::mouseRelease(trayUp, Qt::LeftButton);
    Pump();
    ASSERT_EQ(Of(msg::kTraySpeed).size(), 2u);
    EXPECT_EQ(Speed(Of(msg::kTraySpeed)[1]), 0);
    EXPECT_FALSE(tray->RaiseButton()->Down());

    // Autobalance goes on from its box and off when the tray is moved by hand.
    QTest::mouseClick(tray->AutobalanceBox()->Widget(), Qt::LeftButton);
    Pump();
    ASSERT_EQ(Of(msg::kAutobalance).size(), 1u);
    EXPECT_EQ(Of(msg::kAutobalance)[0].payload, std::string("\x01", 1));
    EXPECT_TRUE(tray->AutobalanceBox()->Checked());
    QTest::mousePress(tray->LowerButton()->Widget(), Qt::LeftButton);
    QTest::mouseRelease(tray->LowerButton()->Widget(), Qt::LeftButton);
    Pump();
    EXPECT_FALSE(tray->AutobalanceBox()->Checked());
    ASSERT_EQ(Of(msg::kTraySpeed).size(), 4u);
    EXPECT_LT(Speed(Of(msg::kTraySpeed)[2]), 0);

    // The lift's buttons latch: a click starts it, a second click stops it.
    frames.clear();
    QTest::mouseClick(lift->RaiseButton()->Widget(), Qt::LeftButton);
    Pump();
    ASSERT_EQ(Of(msg::kLiftSpeed).size(), 1u);
    EXPECT_GT(Speed(Of(msg::kLiftSpeed)[0]), 0);
    EXPECT_TRUE(lift->RaiseButton()->Down());
    QTest::mouseClick(lift->RaiseButton()->Widget(), Qt::LeftButton);
    Pump();
    ASSERT_EQ(Of(msg::kLiftSpeed).size(), 2u);
    EXPECT_EQ(Speed(Of(msg::kLiftSpeed)[1]), 0);
    EXPECT_FALSE(lift->RaiseButton()->Down());

    // A height typed with a comma is sent; one that is no number is not.
    lift->HeightEdit()->SetText(QStringLiteral("12,5"));
    QTest::mouseClick(lift->SendHeightButton()->Widget(), Qt::LeftButton);
    lift->HeightEdit()->SetText(QStringLiteral("высоко"));
    QTest::mouseClick(lift->SendHeightButton()->Widget(), Qt::LeftButton);
    Pump();
    const auto heights = Of(msg::kBodyHeight);
    ASSERT_EQ(heights.size(), 1u);
    float h = 0;
    ASSERT_EQ(heights[0].payload.size(), sizeof h);
    std::memcpy(&h, heights[0].payload.data(), sizeof h);
    EXPECT_FLOAT_EQ(h, 12.5f);

    // The head goes home from its button.
    QTest::mouseClick(head->HomeButton()->Widget(), Qt::LeftButton);
    Pump();
    EXPECT_EQ(Of(msg::kHeadHome).size(), 1u);
}

}  // namespace
}  // namespace velcora::gui
