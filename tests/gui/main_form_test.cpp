#include "console/gui/main_form.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "console/gui/cyclogram_panel.h"
#include "gui/gui_app.h"
#include "gui/main_form_fixture.h"
#include "link/control_commands.h"
#include "link/text_codec.h"
#include "media/pcm_feed_input.h"
#include "platform/qt_reactor.h"
#include "sim/sim_features.h"
#include "sim/sim_robot.h"
#include "sim/sim_status.h"
#include "support/fake_link.h"

namespace velcora::gui {
namespace {

namespace fs = std::filesystem;

TEST_F(MainFormTest, F9ConnectsAndF9AgainDisconnects) {
    StartRobot();
    Open();
    EXPECT_TRUE(form->HostEdit()->IsEnabled());
    ASSERT_TRUE(Connect());
    EXPECT_TRUE(form->ConnectButton()->Down());
    EXPECT_FALSE(form->HostEdit()->IsEnabled());
    EXPECT_FALSE(form->PasswordEdit()->IsEnabled());
    Pump();
    // The authorisation is followed by the map subscription.
    EXPECT_GE(robot->Received(msg::kMapSubscribe), 1);

    F9();
    EXPECT_EQ(form->Connection().State(), kStateIdle);
    EXPECT_EQ(Pane(0), QString());
    EXPECT_FALSE(form->ConnectButton()->Down());
    EXPECT_TRUE(form->HostEdit()->IsEnabled());
    EXPECT_TRUE(form->PortEdit()->IsEnabled());
    EXPECT_TRUE(errors.empty());
}

// The fields show what was used last; each connection type keeps its own
// host and port, also what was typed for it before switching.
TEST_F(MainFormTest, ConnectionFieldsShowTheStoredPairOfTheChosenType) {
    Ini(kSectionRobot, "host", "10.1.2.3");
    Ini(kSectionRobot, "port", "6000");
    Ini(kSectionPipe, "host", "relay.example");
    Ini(kSectionPipe, "port", "8090");
    Open();
    const auto shown = [this] {
        const ConnectionFields f = form->Fields();
        return f.host + ":" + std::to_string(f.port) + (f.connectionType == 1 ? " tunnel" : "");
    };
    EXPECT_EQ(shown(), "10.1.2.3:6000");
    QTest::mouseClick(form->TunnelRadio()->Widget(), Qt::LeftButton);
    EXPECT_EQ(shown(), "relay.example:8090 tunnel");
    form->HostEdit()->SetText(QStringLiteral("relay2"));
    QTest::mouseClick(form->DirectRadio()->Widget(), Qt::LeftButton);
    EXPECT_EQ(shown(), "10.1.2.3:6000");
    QTest::mouseClick(form->TunnelRadio()->Widget(), Qt::LeftButton);
    EXPECT_EQ(shown(), "relay2:8090 tunnel");
}

TEST_F(MainFormTest, WrongPasswordIsShownAndBoxed) {
    StartRobot();
    Open();
    Fill("не тот");
    F9();
    ASSERT_TRUE(WaitFor([&] { return Pane(0) == QStringLiteral("Неверный пароль!"); }));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Неверный пароль!");
    EXPECT_FALSE(form->ConnectButton()->Down());
    EXPECT_TRUE(form->HostEdit()->IsEnabled());
}

TEST_F(MainFormTest, HoldingWRepeatsAndReleasingSendsZero) {
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    form->SetTimerRunning(false);
    uint32_t now = reactor.Now();
    auto tick = [&](int n) {
        for (int i = 0; i < n; ++i) {
            now += 20;
            form->Controller().Tick(now);
        }
    };
    tick(1);
    Pump();
    frames.clear();

    QWidget* joy = form->DriveJoy()->Widget();
    QTest::keyPress(joy, Qt::Key_W);
    tick(1);
    // Qt's auto-repeat arrives as release and press pairs; they change nothing.
    QKeyEvent repeatUp(QEvent::KeyRelease, Qt::Key_W, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(joy, &repeatUp);
    tick(1);  // the pair may straddle a tick
    QKeyEvent repeatDown(QEvent::KeyPress, Qt::Key_W, Qt::NoModifier, QStringLiteral("w"), true);
    QApplication::sendEvent(joy, &repeatDown);
    tick(25);  // held: the value is said again every 250 ms
    Pump();
    auto drive = Of(msg::kDriveChassis);
    ASSERT_EQ(drive.size(), 3u);
    const std::string forward = DrivePayload(0, 0.3f);
    for (const auto& f : drive)
        EXPECT_EQ(f.payload, forward);

    QKeyEvent up(QEvent::KeyRelease, Qt::Key_W, Qt::NoModifier, QStringLiteral("w"), false);
    QApplication::sendEvent(joy, &up);
    tick(30);  // zero is said once, not repeated
    Pump();
    drive = Of(msg::kDriveChassis);
    ASSERT_EQ(drive.size(), 4u);
    EXPECT_EQ(drive[3].payload, DrivePayload(0, 0));
}

TEST_F(MainFormTest, DriveKeysFollowTheKeyPositionUnderACyrillicLayout) {
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    form->SetTimerRunning(false);
    uint32_t now = reactor.Now();
    form->Controller().Tick(now += 20);
    Pump();
    frames.clear();
    // "Ц" sits where W is; key code 25 is W's place (kernel code 17 + 8).
    QKeyEvent down(QEvent::KeyPress, 0x0426, Qt::NoModifier, 25, 0, 0, QStringLiteral("ц"));
    QApplication::sendEvent(form->DriveJoy()->Widget(), &down);
    form->Controller().Tick(now += 20);
    Pump();
    const auto drive = Of(msg::kDriveChassis);
    ASSERT_EQ(drive.size(), 1u);
    EXPECT_EQ(drive[0].payload, DrivePayload(0, 0.3f));
    // A key the console does not use is left alone whatever its place.
    QKeyEvent other(QEvent::KeyPress, 0x042D, Qt::NoModifier, 60, 0, 0, QStringLiteral("э"));
    QApplication::sendEvent(form->DriveJoy()->Widget(), &other);
    EXPECT_FLOAT_EQ(form->Controller().Keys().DriveY(), 0.3f);
}

TEST_F(MainFormTest, EmotionKeyOnlyWhileConnected) {
    StartRobot();
    Open();
    QWidget* joy = form->DriveJoy()->Widget();
    QTest::keyClick(joy, Qt::Key_7);
    form->TickNow();
    EXPECT_FALSE(form->EmotionButton(3)->Down());
    ASSERT_TRUE(Connect());
    Pump();
    frames.clear();
    QTest::keyClick(joy, Qt::Key_7);
    form->TickNow();
    Pump();
    const auto texts = Of(msg::kTextCommand);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].payload, std::string("\x02\x00\x00\x00"
                                            "3\0",
                                            6));
    EXPECT_TRUE(form->EmotionButton(3)->Down());
    EXPECT_FALSE(form->EmotionButton(0)->Down());
}

TEST_F(MainFormTest, StatusReplyShowsBatteryWhenEnabled) {
    Ini(kSectionControls, "battery", "1");
    Ini(kSectionControls, "lift", "1");
    StartRobot();
    robot->Feature<sim::SimStatus>().charging = true;
    robot->Feature<sim::SimStatus>().randomWalk = true;
    Open();
    ASSERT_TRUE(Connect());
    form->SetTimerRunning(false);
    // One tick 3000 ms late counts as 500 ms; seven of them pass the interval.
    uint32_t now = reactor.Now();
    for (int i = 0; i < 7; ++i) {
        now += 3000;
        form->Controller().Tick(now);
        EXPECT_EQ(form->Controller().LastElapsed(), 500);
    }
    ASSERT_TRUE(WaitFor([&] { return Pane(4) == QStringLiteral("±87%"); }));
    EXPECT_EQ(form->HeightLabel()->Text(), QStringLiteral("12.5"));
    EXPECT_TRUE(form->RandomWalkButton()->Down());
    Pump();
    // Setting the toggle from the report sends nothing back.
    EXPECT_EQ(robot->Received(msg::kRandomWalk), 0);
}

TEST_F(MainFormTest, LockedInterfaceKeepsConnectionFieldsDisabled) {
    Ini(kSectionInterface, "locked", "1");
    StartRobot();
    Open();
    for (ui::CVelControl* c : std::initializer_list<ui::CVelControl*>{
             form->HostEdit(), form->PasswordEdit(), form->PortEdit(), form->DirectRadio(),
             form->TunnelRadio()})
        EXPECT_FALSE(c->IsEnabled());
    // Neither the sound settings nor the video bit rate are offered.
    EXPECT_EQ(form->Sound()->RobotSoundButton()->PopupMenu(), nullptr);
    EXPECT_FALSE(form->VideoPanel(0)->BitRateList()->IsEnabled());
    ASSERT_TRUE(Connect());
    F9();
    EXPECT_EQ(form->Connection().State(), kStateIdle);
    EXPECT_FALSE(form->HostEdit()->IsEnabled());
    EXPECT_FALSE(form->PasswordEdit()->IsEnabled());
}

TEST_F(MainFormTest, StoredRectangleOffEveryScreenIsIgnored) {
    Ini(kSectionMainWindow, "left", "4000");
    Ini(kSectionMainWindow, "top", "100");
    Ini(kSectionMainWindow, "width", "900");
    Ini(kSectionMainWindow, "height", "650");
    Open({{0, 0, 1920, 1080}});
    const QRect g = form->Widget()->geometry();
    EXPECT_NE(g.left(), 4000);
    EXPECT_EQ(g.width(), 1880);  // the default on a large screen
    form->Destroy();
    form = nullptr;
    ui::test::Flush();
    // The same rectangle on a second monitor is taken.
    Open({{0, 0, 1920, 1080}, {3840, 0, 1920, 1080}});
    EXPECT_EQ(form->Widget()->geometry().left(), 4000);
    EXPECT_EQ(form->Widget()->geometry().width(), 900);
}

TEST_F(MainFormTest, ClosingSavesTheSettings) {
    Open();
    form->SetFields({1, "relay.example", 8090, "пароль"});
    form->Widget()->resize(1000, 700);
    QPointer<ui::CVelControl> alive(form);
    form->Close(0);
    ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }, 2000));
    form = nullptr;
    IniFile saved(iniPath);
    ASSERT_TRUE(saved.Load());
    CSettings s;
    LoadSettings(saved, s);
    EXPECT_EQ(s.windowWidth, 1000);
    EXPECT_EQ(s.windowHeight, 700);
    EXPECT_FALSE(s.windowMaximised);
    EXPECT_EQ(s.port, 5554);
    EXPECT_EQ(s.pipePort, 8081);
}

TEST_F(MainFormTest, VideoToggleShowsPicturesAndReleaseStopsThem) {
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        media::CVideoPanel* panel = form->VideoPanel(i);
        EXPECT_EQ(panel->Camera(), i);
        const uint32_t pressed = reactor.Now();
        panel->VideoButton()->Press();
        ASSERT_TRUE(WaitFor([&] { return panel->Age().HasPicture(); }, 1000));
        EXPECT_LT(reactor.Now() - pressed, 1000u);
        // Only the panel that was switched on shows anything.
        EXPECT_FALSE(form->VideoPanel(1 - i)->Age().HasPicture());
        panel->VideoButton()->Press();
        EXPECT_FALSE(panel->Age().HasPicture());
    }
    Pump();
    const size_t requests = Of(msg::kVideoRequest).size();
    EXPECT_GE(requests, 2u);
    Pump();
    Pump();
    EXPECT_EQ(Of(msg::kVideoRequest).size(), requests);
}

TEST_F(MainFormTest, RobotSoundButtonRequestsSoundWhileDown) {
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    form->Sound()->RobotSoundButton()->Press();
    ASSERT_TRUE(form->Sound()->RobotSoundOn());
    // One request every 180 ms on the window's timer.
    reactor.RunUntil([] { return false; }, 700);
    Pump();
    const size_t requests = Of(msg::kSoundRequest).size();
    EXPECT_GE(requests, 3u);
    EXPECT_LE(requests, 5u);
    form->Sound()->RobotSoundButton()->Press();
    reactor.RunUntil([] { return false; }, 400);
    EXPECT_EQ(Of(msg::kSoundRequest).size(), requests);
}

// Shift on the drive joystick talks while held, unless Ctrl is held too; the
// release reaches the microphone whatever else is held by then.
TEST_F(MainFormTest, ShiftOnTheDriveJoystickIsPushToTalk) {
    StartRobot();
    Open();
    QWidget* joy = form->DriveJoy()->Widget();
    media::CSoundControls* sound = form->Sound();
    // Key events as the system sends them (QTest would press the modifiers
    // one by one first).
    auto key = [joy](QEvent::Type type, int k, Qt::KeyboardModifiers m) {
        QKeyEvent e(type, k, m);
        QApplication::sendEvent(joy, &e);
    };
    key(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_TRUE(sound->MicrophoneOn());
    EXPECT_TRUE(microphone.IsOpen());
    key(QEvent::KeyRelease, Qt::Key_Shift, Qt::ControlModifier);
    EXPECT_FALSE(sound->MicrophoneOn());
    EXPECT_FALSE(microphone.IsOpen());
    key(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_FALSE(sound->MicrophoneOn());
    key(QEvent::KeyRelease, Qt::Key_Shift, Qt::ControlModifier);
    // Drive keys still work beside it.
    key(QEvent::KeyPress, Qt::Key_W, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(form->Controller().Keys().DriveY(), 0.3f);
    key(QEvent::KeyRelease, Qt::Key_W, Qt::NoModifier);
}

// A controller plugged in after the window opened is offered when the list
// opens; choosing it drives the robot and the on-screen joystick follows.
TEST_F(MainFormTest, ChosenGameControllerDrivesTheRobot) {
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 12, 1);
    ASSERT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* device = SDL_JoystickOpen(index);
    ASSERT_NE(device, nullptr);
    ui::CVelComboBox* list = form->JoystickList();
    QTest::mouseClick(list->Widget(), Qt::LeftButton);
    list->Combo()->hidePopup();
    ASSERT_EQ(list->Count(), index + 2);
    EXPECT_EQ(list->ItemText(0), QStringLiteral("<none>"));
    EXPECT_EQ(list->ItemText(index + 1), QString::fromUtf8(SDL_JoystickName(device)));
    list->SetItemIndex(index + 1);
    emit list->Combo()->activated(index + 1);
    EXPECT_EQ(form->Settings().joystickNumber, index);

    Pump();
    frames.clear();
    SDL_JoystickSetVirtualAxis(device, 1, -32768);  // stick fully forward
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto drive = Of(msg::kDriveChassis);
            return !drive.empty() && drive.back().payload == DrivePayload(0, 1.0f);
        },
        2000));
    EXPECT_FLOAT_EQ(form->DriveJoy()->Y(), 1.0f);

    // "<none>" lets go of it: the stick no longer reaches the robot.
    list->SetItemIndex(0);
    emit list->Combo()->activated(0);
    SDL_JoystickSetVirtualAxis(device, 1, 0);
    reactor.RunUntil([] { return false; }, 200);
    EXPECT_FLOAT_EQ(form->DriveJoy()->Y(), 1.0f);
    SDL_JoystickClose(device);
    SDL_JoystickDetachVirtual(index);
    IniFile saved(iniPath);
    ASSERT_TRUE(saved.Load());
    EXPECT_EQ(saved.GetInt(kSectionJoystick, "number", 7), -1);
}

// A small screen gets the window's own size; with every group of the body
// in the second column, the cyclogram buttons must still be on it.
TEST_F(MainFormTest, CyclogramButtonsStayInASmallWindow) {
    for (const char* key : {"cyclograms", "lift", "tray", "autobalans", "park"})
        Ini(kSectionControls, key, "1");
    Open({{0, 0, 1280, 800}});
    ui::test::Flush();
    ASSERT_NE(form->CyclogramPanel(), nullptr);
    QWidget* window = form->Widget();
    for (ui::CVelButton* b :
         {form->CyclogramPanel()->RunButton(), form->CyclogramPanel()->EditButton()}) {
        QWidget* w = b->Widget();
        const QRect inWindow(w->mapTo(window, QPoint(0, 0)), w->size());
        EXPECT_TRUE(w->isVisibleTo(window));
        EXPECT_TRUE(form->StatusBar()->Widget()->geometry().top() >= inWindow.bottom())
            << inWindow.bottom() << " under the status bar at "
            << form->StatusBar()->Widget()->geometry().top();
    }
}

TEST_F(MainFormTest, ClosingKeepsThePanelsChoices) {
    Ini(kSectionCameras, "camera1", "2");
    Ini(kSectionVideo, "bitrate2", "50000");
    Open();
    EXPECT_EQ(form->VideoPanel(0)->Camera(), 2);
    ASSERT_NE(form->Sound()->MicrophoneButton()->PopupMenu(), nullptr);
    EXPECT_NE(
        form->Sound()->MicrophoneButton()->PopupMenu()->Item(media::CSoundControls::kCmdSettings),
        nullptr);
    EXPECT_EQ(form->VideoPanel(1)->BitRateList()->ItemIndex(), 1);
    form->VideoPanel(0)->SetCamera(3);
    form->VideoPanel(1)->SetBitRate(1400000);
    QPointer<ui::CVelControl> alive(form);
    form->Close(0);
    ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }, 2000));
    form = nullptr;
    IniFile saved(iniPath);
    ASSERT_TRUE(saved.Load());
    CSettings s;
    LoadSettings(saved, s);
    EXPECT_EQ(s.camera[0], 3);
    EXPECT_EQ(s.camera[1], 1);
    EXPECT_EQ(s.bitrate[1], 1400000);
}

}  // namespace
}  // namespace velcora::gui
