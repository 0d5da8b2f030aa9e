// The remote desktop and telnet windows of the main window against the
// simulated robot in the same process: the tool-bar buttons, pictures and
// input reaching the robot's desktop, and the robot's console.
#include <QAbstractButton>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QScrollBar>

#include "gui/main_form_fixture.h"
#include "media/gui/remote_desktop_form.h"
#include "media/gui/telnet_form.h"
#include "sim/sim_desktop.h"
#include "sim/sim_telnet.h"

namespace velcora::gui {
namespace {

class DesktopWindowsTest : public MainFormTest {
  protected:
    // The robot with its desktop and a telnet console on a free port; the
    // settings offer the desktop and name that port.
    void StartDesktopRobot() {
        sim::SimOptions o;
        o.port = 0;
        o.password = Utf8ToAnsi("секрет");
        o.videoWidth = 320;
        o.videoHeight = 240;
        o.telnetPort = 0;
        robot = std::make_unique<sim::CSimRobot>(reactor, o);
        sim::InstallFeatures(*robot);
        ASSERT_TRUE(robot->Start());
        ASSERT_NE(sim::TelnetPort(*robot), 0);
        robot->OnFrame([this](msg::Type type, std::string_view payload) {
            frames.push_back({type, std::string(payload)});
        });
        Ini(kSectionControls, "remoteDesktop", "1");
        Ini(kSectionRobot, "telnet_port", std::to_string(sim::TelnetPort(*robot)));
    }

    QAbstractButton* ToolButton(const QString& text) const {
        for (auto* b : form->Widget()->findChildren<QAbstractButton*>()) {
            if (b->text() == text)
                return b;
        }
        return nullptr;
    }

    media::CRemoteDesktopForm* OpenDesktop() {
        QAbstractButton* button = ToolButton(QStringLiteral("Удаленный рабочий стол"));
        EXPECT_NE(button, nullptr);
        if (!button)
            return nullptr;
        QTest::mouseClick(button, Qt::LeftButton);
        return dynamic_cast<media::CRemoteDesktopForm*>(form->FindTool("desktop"));
    }

    sim::SimDesktop& Desktop() { return robot->Feature<sim::SimDesktop>(); }

    // A pixel of the shown picture at a point of the robot's screen.
    QColor ShownAt(media::CRemoteDesktopForm* w, int32_t screenX, int32_t screenY) const {
        return w->Picture().pixelColor(screenX / 2, screenY / 2);
    }
};

bool Near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

TEST_F(DesktopWindowsTest, ButtonsOpenTheWindowsAndASecondPressRaisesThem) {
    StartDesktopRobot();
    Open();
    QAbstractButton* telnet = ToolButton(QStringLiteral("Telnet"));
    ASSERT_NE(telnet, nullptr);
    media::CRemoteDesktopForm* desktop = OpenDesktop();
    ASSERT_NE(desktop, nullptr);
    EXPECT_EQ(desktop->SubWindow()->windowTitle(), QStringLiteral("Удаленный рабочий стол"));
    EXPECT_EQ(desktop->SubWindow()->size(), QSize(572, 600));
    QTest::mouseClick(telnet, Qt::LeftButton);
    auto* console = dynamic_cast<media::CTelnetForm*>(form->FindTool("telnet"));
    ASSERT_NE(console, nullptr);
    EXPECT_EQ(console->SubWindow()->windowTitle(), QStringLiteral("Telnet"));
    EXPECT_EQ(OpenDesktop(), desktop);
    EXPECT_EQ(form->MdiArea()->activeSubWindow(), desktop->SubWindow());
    EXPECT_EQ(form->MdiChildren().size(), 2u);
}

TEST_F(DesktopWindowsTest, WithoutTheSettingThereIsNoDesktopButton) {
    StartRobot();
    Open();
    EXPECT_EQ(ToolButton(QStringLiteral("Удаленный рабочий стол")), nullptr);
    EXPECT_NE(ToolButton(QStringLiteral("Telnet")), nullptr);
}

TEST_F(DesktopWindowsTest, AClickTogglesTheRobotsButtonAndArrivesDoubled) {
    StartDesktopRobot();
    Open();
    ASSERT_TRUE(Connect());
    media::CRemoteDesktopForm* w = OpenDesktop();
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(WaitFor([&] { return !w->Picture().isNull(); }));
    EXPECT_EQ(w->Picture().size(), QSize(640, 480));
    // Upright: the taskbar is at the bottom of the picture (away from its clock).
    EXPECT_TRUE(Near(ShownAt(w, 700, 950), QColor(0x20, 0x28, 0x30), 24));

    QWidget* surface = w->Surface();
    w->HorizontalBar()->setValue(100);
    ASSERT_EQ(w->Desktop().ScrollX(), 100);
    QTest::mouseClick(surface, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
    ASSERT_TRUE(WaitFor([&] { return Desktop().lastPressX >= 0; }));
    EXPECT_EQ(Desktop().lastPressX, 220);
    EXPECT_EQ(Desktop().lastPressY, 40);

    w->HorizontalBar()->setValue(0);
    const sim::SimRect b = Desktop().scene->ButtonRect();
    const QPoint centre((b.x + b.w / 2) / 2, (b.y + b.h / 2) / 2);
    EXPECT_FALSE(Near(ShownAt(w, b.x + 8, b.y + 8), QColor(0x30, 0xC0, 0x40), 40));
    QTest::mouseClick(surface, Qt::LeftButton, Qt::NoModifier, centre);
    ASSERT_TRUE(WaitFor([&] { return Desktop().scene->ButtonOn(); }));
    // The picture that input sends at once shows it switched on.
    EXPECT_TRUE(
        WaitFor([&] { return Near(ShownAt(w, b.x + 8, b.y + 8), QColor(0x30, 0xC0, 0x40), 40); }));
}

TEST_F(DesktopWindowsTest, TypingReachesTheRobotsLogAndNoKeyActsHere) {
    StartDesktopRobot();
    Open();
    ASSERT_TRUE(Connect());
    media::CRemoteDesktopForm* w = OpenDesktop();
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(WaitFor([&] { return Desktop().streaming; }));
    w->Surface()->setFocus();
    QTest::keyClicks(w->Surface(), QStringLiteral("hello 42"));
    // F9 would disconnect and Tab would move the focus, were they not the robot's.
    QTest::keyClick(w->Surface(), Qt::Key_F9);
    QTest::keyClick(w->Surface(), Qt::Key_Tab);
    ASSERT_TRUE(WaitFor([&] { return Desktop().scene->Log().back() == "hello 42"; }));
    EXPECT_TRUE(form->Connection().Authorised());
    EXPECT_EQ(QApplication::focusWidget(), w->Surface());
}

TEST_F(DesktopWindowsTest, AltF4GoesToTheRobotAndTheWindowStays) {
    StartDesktopRobot();
    Open();
    ASSERT_TRUE(Connect());
    media::CRemoteDesktopForm* w = OpenDesktop();
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(WaitFor([&] { return Desktop().streaming; }));
    QTest::keyPress(w->Surface(), Qt::Key_Alt, Qt::AltModifier);
    QTest::keyPress(w->Surface(), Qt::Key_F4, Qt::AltModifier);
    // What a desktop makes of Alt+F4 here: a close request for the window.
    w->Close(0);
    Pump();
    QTest::keyRelease(w->Surface(), Qt::Key_F4, Qt::AltModifier);
    QTest::keyRelease(w->Surface(), Qt::Key_Alt);
    ASSERT_TRUE(WaitFor([&] {
        const auto& windows = Desktop().scene->Windows();
        return !windows[0].visible || !windows[1].visible;
    }));
    EXPECT_EQ(form->FindTool("desktop"), w);
}

TEST_F(DesktopWindowsTest, ClosingEndsTheKeepAlivesAndTheHeldKeys) {
    StartDesktopRobot();
    Open();
    ASSERT_TRUE(Connect());
    form->SetTimerRunning(false);
    uint32_t now = reactor.Now();
    media::CRemoteDesktopForm* w = OpenDesktop();
    ASSERT_NE(w, nullptr);
    for (int i = 0; i < 100; ++i)
        form->Controller().Tick(now += 20);
    Pump();
    EXPECT_EQ(Of(msg::kDesktopKeepAlive).size(), 3u);  // at 20, 960 and 1900 ms
    QTest::keyPress(w->Surface(), Qt::Key_Shift);
    w->Close(0);
    ui::test::Flush();
    EXPECT_EQ(form->FindTool("desktop"), nullptr);
    for (int i = 0; i < 200; ++i)
        form->Controller().Tick(now += 20);
    Pump();
    EXPECT_EQ(Of(msg::kDesktopKeepAlive).size(), 3u);
    const auto keys = Of(msg::kDesktopControl9);
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[1].payload, std::string("\x10\x2A\x02\x00\x00\x00", 6));
}

TEST_F(DesktopWindowsTest, WindowsOpenAndCloseTwiceWhileConnected) {
    StartDesktopRobot();
    Open();
    ASSERT_TRUE(Connect());
    for (int round = 0; round < 2; ++round) {
        for (const char* name : {"desktop", "telnet"}) {
            ui::CVelMDIChildForm* w = form->OpenTool(name);
            ASSERT_NE(w, nullptr);
            Pump();
            w->Close(0);
            ui::test::Flush();
            EXPECT_EQ(form->FindTool(name), nullptr);
        }
    }
    EXPECT_FALSE(form->Connection().Dispatcher().HasHandler(msg::kDesktopScreen));
    EXPECT_FALSE(form->Connection().Dispatcher().HasHandler(msg::kTelnetText));
    EXPECT_TRUE(form->Connection().Authorised());
}

TEST_F(DesktopWindowsTest, TelnetShowsTheGreetingAndAnswersStatus) {
    StartDesktopRobot();
    Open();
    ASSERT_TRUE(Connect());
    QAbstractButton* button = ToolButton(QStringLiteral("Telnet"));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    auto* w = dynamic_cast<media::CTelnetForm*>(form->FindTool("telnet"));
    ASSERT_NE(w, nullptr);
    QPlainTextEdit* text = w->TextArea()->Editor();
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(text->palette().color(QPalette::Base), QColor(192, 192, 192));
    ASSERT_TRUE(
        WaitFor([&] { return text->toPlainText().contains(QStringLiteral("Консоль робота")); }));
    EXPECT_EQ(w->Console().State(), media::TelnetState::Connected);
    w->InputLine()->SetText(QStringLiteral("status"));
    QTest::keyClick(w->InputLine()->LineEdit(), Qt::Key_Return);
    ASSERT_TRUE(
        WaitFor([&] { return text->toPlainText().contains(QStringLiteral("Батарея: 87%")); }));
    EXPECT_TRUE(w->InputLine()->Text().isEmpty());
    EXPECT_EQ(text->textCursor().position(), text->document()->characterCount() - 1);
}

TEST_F(DesktopWindowsTest, TelnetTextPushedThroughTheLinkTakesOver) {
    StartDesktopRobot();
    Open();
    ASSERT_TRUE(Connect());
    auto* w = dynamic_cast<media::CTelnetForm*>(form->OpenTool("telnet"));
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(WaitFor([&] { return w->Console().State() == media::TelnetState::Connected; }));
    ASSERT_TRUE(w->Console().SendLine(u"push привет по связи"));
    ASSERT_TRUE(WaitFor([&] { return w->Console().State() == media::TelnetState::TakenOver; }));
    ASSERT_TRUE(
        WaitFor([&] { return w->TextArea()->Text().contains(QStringLiteral("привет по связи")); }));
    EXPECT_EQ(w->StateStrip()->Text(),
              QStringLiteral("Консоль приходит через основное подключение"));
}

TEST_F(DesktopWindowsTest, TelnetFollowsTheOperatorsDisconnect) {
    StartDesktopRobot();
    Open();
    auto* w = dynamic_cast<media::CTelnetForm*>(form->OpenTool("telnet"));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Console().State(), media::TelnetState::Off);
    ASSERT_TRUE(Connect());
    ASSERT_TRUE(WaitFor([&] { return w->Console().State() == media::TelnetState::Connected; }));
    F9();
    EXPECT_EQ(w->Console().State(), media::TelnetState::Off);
}

}  // namespace
}  // namespace velcora::gui
