#include "console/main_controller.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "link/text_codec.h"
#include "support/fake_link.h"

namespace velcora {
namespace {

namespace fs = std::filesystem;

class FakeConnection : public test::FakeLink, public IConnectionControl {
  public:
    bool Connect(std::u16string_view host, uint16_t port, bool tunnel) override {
        connects.push_back({WideToUtf8(host), port, tunnel});
        return connectResult;
    }
    void Disconnect() override {
        ++disconnects;
        state = kStateIdle;
        if (owner)
            owner->OnConnectionStateChanged();
    }
    void SetPassword(std::u16string_view password) override {
        this->password = WideToUtf8(password);
    }
    std::string StatusText() const override {
        return std::string(ConnectionStatusText(state, heard));
    }
    int32_t TakeReceivedBytes() override {
        const int32_t n = received;
        received = 0;
        return n;
    }
    void Tick() override { ++ticks; }

    void Report(int32_t s, bool robotHeard = false) {
        state = s;
        heard = robotHeard;
        owner->OnConnectionStateChanged();
    }

    struct ConnectCall {
        std::string host;
        uint16_t port;
        bool tunnel;
    };
    std::vector<ConnectCall> connects;
    bool connectResult = true;
    int disconnects = 0;
    std::string password;
    int32_t received = 0;
    int ticks = 0;
    bool heard = false;
    IRobotConnectionOwner* owner = nullptr;
};

class RecordingView : public IMainView {
  public:
    void ShowLiftButtons(bool, bool) override {}
    void ShowTrayButtons(bool, bool) override {}
    void ShowAutobalance(bool) override {}
    void ShowEmotion(int e) override { emotion = e; }
    void ShowDrive(float, float) override {}
    void ShowSmoothRide(bool) override {}
    void ShowMoveMode(MoveMode) override {}
    void ShowHead(float x, float, float) override { headX = x; }
    void ShowHeadSlider(int16_t) override {}
    void ShowStick(float x, float y, float r) override { stick = {x, y, r}; }
    void ShowConnectionStatus(const std::string& t) override { status = t; }
    void ShowIncomingRate(const std::string& t) override { rate = t; }
    void ShowBattery(const std::u16string& t) override { battery = t; }
    void ShowHeight(const std::u16string& t) override { height = t; }
    void ShowRandomWalk(bool on) override { randomWalk = on; }
    void ShowAutoMode(bool on) override { autoMode = on; }
    void ShowQrMode(bool on) override { qrMode = on; }
    void ApplyEnabling(const MainEnabling& e) override {
        enabling = e;
        ++applied;
    }
    void ShowErrorBox(const std::string& t) override { errors.push_back(t); }
    void FocusDriveJoystick() override { ++focus; }

    std::string status, rate;
    std::u16string battery, height;
    int emotion = -1;
    int randomWalk = -1, autoMode = -1, qrMode = -1;
    MainEnabling enabling;
    int applied = 0;
    std::vector<std::string> errors;
    int focus = 0;
    float headX = 0;
    std::array<float, 3> stick{};
};

class MainControllerTest : public ::testing::Test {
  protected:
    MainControllerTest() {
        dir = fs::temp_directory_path() /
              ("velcora_main_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        ini.SetPath((dir / "velcora.ini").string());
        link.state = kStateIdle;
    }
    ~MainControllerTest() override { fs::remove_all(dir); }

    CMainController& Make(uint32_t now = 1000) {
        controller = std::make_unique<CMainController>(link, link, settings, ini, view, now);
        link.owner = controller.get();
        controller->Refresh();
        return *controller;
    }
    IniFile Reload() {
        IniFile f(ini.Path());
        f.Load();
        return f;
    }

    fs::path dir;
    FakeConnection link;
    CSettings settings;
    IniFile ini;
    RecordingView view;
    std::unique_ptr<CMainController> controller;
};

TEST_F(MainControllerTest, DelayedTickCountsAsHalfASecond) {
    auto& c = Make(0);
    link.state = kStateAuthorised;
    uint32_t now = 0;
    // Six ticks two seconds apart make 3000 ms, not yet more than the status
    // interval; uncapped the first would already have sent.
    for (int i = 0; i < 6; ++i) {
        now += 2000;
        c.Tick(now);
        EXPECT_EQ(c.LastElapsed(), 500);
    }
    EXPECT_TRUE(link.Of(msg::kStatus).empty());
    c.Tick(now += 2000);
    EXPECT_EQ(link.Of(msg::kStatus).size(), 1u);
    c.Tick(now += 20);
    EXPECT_EQ(c.LastElapsed(), 20);
    EXPECT_EQ(link.ticks, 8);
}

TEST_F(MainControllerTest, IncomingRateOncePerSecond) {
    auto& c = Make(0);
    link.received = 1280;
    c.Tick(980);
    EXPECT_EQ(view.rate, "");
    EXPECT_EQ(link.received, 1280);
    c.Tick(1000);
    EXPECT_EQ(view.rate, "10.00");
    EXPECT_EQ(link.received, 0);
    link.received = 640;
    c.Tick(3000);  // a two-second window halves the rate
    EXPECT_EQ(view.rate, "2.50");
}

// The live panels tick after the rate display and before drive sending, with
// the same capped elapsed time.
TEST_F(MainControllerTest, PanelTickComesBeforeDriveSending) {
    auto& c = Make(0);
    link.state = kStateAuthorised;
    std::vector<std::pair<int32_t, size_t>> seen;  // elapsed, drive frames so far
    c.SetPanelTick([&](int32_t ms) { seen.push_back({ms, link.Of(msg::kDriveChassis).size()}); });
    c.Drive().SetDrive(0, 0.5f, 0);
    c.Tick(20);
    c.Tick(3000);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (std::pair<int32_t, size_t>{20, 0}));
    EXPECT_EQ(seen[1].first, 500);
    EXPECT_EQ(link.Of(msg::kDriveChassis).size(), 2u);
}

// Tool windows hook into the tick at fixed places: the panels' stage before
// any drive frame, the authorised stage only in state 7, the late stage after
// the status request and before the connection's tick; a dropped subscription
// is never called again.
TEST_F(MainControllerTest, ToolHooksRunAtTheirPlaceInTheTick) {
    auto& c = Make(0);
    struct Seen {
        std::string stage;
        int32_t elapsed;
        size_t drives, statuses;
        int connectionTicks;
        bool operator==(const Seen&) const = default;
    };
    std::vector<Seen> seen;
    auto record = [&](const char* stage) {
        return [&seen, this, stage](uint32_t, int32_t elapsed) {
            seen.push_back({stage, elapsed, link.Of(msg::kDriveChassis).size(),
                            link.Of(msg::kStatus).size(), link.ticks});
        };
    };
    HookSubscription late = c.OnTick(TickStage::Late, record("late"));
    HookSubscription authorised = c.OnTick(TickStage::Authorised, record("auth"));
    HookSubscription panels = c.OnTick(TickStage::Panels, record("panels"));
    c.Tick(20);  // not connected: no authorised stage
    EXPECT_EQ(seen, (std::vector<Seen>{{"panels", 20, 0, 0, 0}, {"late", 20, 0, 0, 0}}));
    seen.clear();
    link.state = kStateAuthorised;
    c.Drive().SetDrive(0, 0.5f, 0);
    c.Tick(3100);  // capped at 500
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], (Seen{"panels", 500, 0, 0, 1}));
    EXPECT_EQ(seen[1], (Seen{"auth", 500, 0, 0, 1}));
    EXPECT_EQ(seen[2], (Seen{"late", 500, 1, 0, 1}));
    // In the tick where the status request falls due the late stage sees it,
    // the authorised stage does not yet.
    uint32_t now = 3100;
    while (link.Of(msg::kStatus).empty() && now < 10000)
        c.Tick(now += 500);
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen[seen.size() - 2].statuses, 0u);
    EXPECT_EQ(seen.back().statuses, 1u);
    EXPECT_EQ(seen.back().connectionTicks, link.ticks - 1);
    seen.clear();
    authorised.Reset();
    late = HookSubscription();
    c.Tick(now + 20);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].stage, "panels");
}

TEST_F(MainControllerTest, StateHooksFollowTheRefreshedStates) {
    Make();
    std::vector<int32_t> states;
    bool fieldsWhenCalled = true;
    HookSubscription sub = controller->OnStateChanged([&](int32_t s) {
        states.push_back(s);
        fieldsWhenCalled = view.enabling.connectionFields;
    });
    link.Report(kStateConnecting);
    link.Report(kStateAuthorised);
    EXPECT_FALSE(fieldsWhenCalled);  // the main controls were refreshed first
    link.Report(kStateFailed);
    link.Report(kStateIdle);
    EXPECT_EQ(states, (std::vector<int32_t>{kStateAuthorised, kStateFailed, kStateIdle}));
    sub.Reset();
    link.Report(kStateAuthorised);
    EXPECT_EQ(states.size(), 3u);
}

// Head keys, the mouse and the game controller's hat all move one head: each
// goes on from where another left it, and a drive key leaves it alone.
TEST_F(MainControllerTest, HeadFollowsKeysMouseAndHat) {
    auto& c = Make(0);
    link.state = kStateAuthorised;
    uint32_t now = 0;
    auto& hat = c.JoystickMapping();
    hat.OnJoystickHat(9000);  // fine steps: +0.05
    EXPECT_FLOAT_EQ(c.Keys().HeadX(), 0.05f);
    EXPECT_FLOAT_EQ(view.headX, 0.05f);
    c.Tick(now += 20);
    const size_t sent = link.Of(msg::kHeadAbsolute).size();
    ASSERT_GE(sent, 1u);
    c.Keys().KeyDown(ConsoleKey::Forward);
    c.Tick(now += 20);
    EXPECT_EQ(link.Of(msg::kHeadAbsolute).size(), sent);  // the head did not jump back

    c.MoveHead(0.4f, 0.2f, 0.1f);  // dragged by mouse
    hat.OnJoystickHat(9000);
    EXPECT_FLOAT_EQ(c.Keys().HeadX(), 0.45f);
    EXPECT_FLOAT_EQ(c.Keys().HeadZ(), 0.1f);  // the hat keeps the third axis
    c.Keys().KeyDown(ConsoleKey::HeadRight);
    EXPECT_FLOAT_EQ(hat.HeadX(), 0.55f);
    hat.OnJoystickHat(9000);
    EXPECT_FLOAT_EQ(c.Keys().HeadX(), 0.6f);

    c.MoveHeadSlider(9000);
    EXPECT_EQ(hat.HeadSlider(), 9000);
    EXPECT_EQ(c.Keys().HeadSlider(), 9000);

    // The controller's stick shows on the chassis joystick.
    hat.OnJoystickPolled(0.5f, -0.25f, 0);
    EXPECT_EQ(view.stick, (std::array<float, 3>{0.5f, -0.25f, 0}));
}

TEST_F(MainControllerTest, JoystickChoiceIsSaved) {
    settings.joystickNumber = 4;
    auto& c = Make(0);
    const auto entries = c.JoystickEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0], "<none>");
    // Chosen earlier but not present: no entry stands for it.
    EXPECT_EQ(c.JoystickEntry(1), -1);
    EXPECT_EQ(c.JoystickEntry(6), 5);
    c.ChooseJoystick(3);
    EXPECT_EQ(c.Joystick().Number(), 2);
    EXPECT_EQ(Reload().GetInt(kSectionJoystick, "number", -1), 2);
    c.ChooseJoystick(0);
    EXPECT_EQ(c.Joystick().Number(), -1);
    EXPECT_EQ(Reload().GetInt(kSectionJoystick, "number", 7), -1);
}

struct StateCase {
    int32_t state;
    bool heard;
    std::string status;
    bool fields;
    bool down;
    bool error;
    int subscriptions;
};

void PrintTo(const StateCase& k, std::ostream* os) {
    *os << "state " << k.state;
}

class ConnectionStateTest : public MainControllerTest,
                            public ::testing::WithParamInterface<StateCase> {};

TEST_P(ConnectionStateTest, ReactsToState) {
    const StateCase& k = GetParam();
    Make();
    const int before = view.applied;
    link.Report(k.state, k.heard);
    EXPECT_EQ(view.status, k.status);
    const bool refreshed = k.state == 0 || k.state == 1 || k.state == 2 || k.state == 7;
    EXPECT_EQ(view.applied, before + (refreshed ? 1 : 0));
    if (refreshed) {
        EXPECT_EQ(view.enabling.connectionFields, k.fields);
        EXPECT_EQ(view.enabling.connectDown, k.down);
        EXPECT_EQ(view.enabling.robotControls, k.down);
    }
    EXPECT_EQ(view.errors.size(), k.error ? 1u : 0u);
    if (k.error) {
        EXPECT_EQ(view.errors[0], k.status);
    }
    EXPECT_EQ(link.Of(msg::kMapSubscribe).size(), static_cast<size_t>(k.subscriptions));
}

INSTANTIATE_TEST_SUITE_P(
    States, ConnectionStateTest,
    ::testing::Values(StateCase{0, false, "", true, false, false, 0},
                      StateCase{1, false, "Ошибка подключения!", true, false, true, 0},
                      StateCase{2, false, "Неверный пароль!", true, false, true, 0},
                      StateCase{5, false, "Подключение...", false, false, false, 0},
                      StateCase{7, true, "Подключено", false, true, false, 1}));

TEST_F(MainControllerTest, EverySecondAuthorisationReportSubscribesAgain) {
    Make();
    int hooks = 0;
    HookSubscription sub = controller->OnAuthorised([&] { ++hooks; });
    link.Report(kStateAuthorised, false);
    link.Report(kStateAuthorised, true);  // the robot is heard for the first time
    EXPECT_EQ(link.Of(msg::kMapSubscribe).size(), 2u);
    EXPECT_EQ(hooks, 2);
    EXPECT_EQ(link.Of(msg::kMapSubscribe)[0].payload, "");
}

TEST_F(MainControllerTest, LockedInterfaceKeepsFieldsDisabled) {
    settings.locked = true;
    Make();
    EXPECT_FALSE(view.enabling.connectionFields);
    for (int32_t s : {kStateFailed, kStateRefused, kStateIdle}) {
        link.Report(s);
        EXPECT_FALSE(view.enabling.connectionFields) << s;
    }
    link.connectResult = false;
    controller->PressConnect({0, "robot", 5554, ""});
    EXPECT_FALSE(view.enabling.connectionFields);
}

class ConnectTypeTest : public MainControllerTest, public ::testing::WithParamInterface<int> {};

TEST_P(ConnectTypeTest, StoresFieldsInTheTypesPairAndSaves) {
    const int type = GetParam();
    settings.host = "old-direct";
    settings.pipeHost = "old-pipe";
    auto& c = Make();
    c.PressConnect({type, "10.0.0.9", 6000, "пароль"});
    EXPECT_EQ(link.password, "пароль");
    ASSERT_EQ(link.connects.size(), 1u);
    EXPECT_EQ(link.connects[0].host, "10.0.0.9");
    EXPECT_EQ(link.connects[0].port, 6000);
    EXPECT_EQ(link.connects[0].tunnel, type == 1);
    IniFile saved = Reload();
    EXPECT_EQ(saved.GetInt(kSectionRobot, "connectionType", -1), type);
    EXPECT_EQ(saved.GetString(kSectionRobot, "host"), type == 0 ? "10.0.0.9" : "old-direct");
    EXPECT_EQ(saved.GetString(kSectionPipe, "host"), type == 1 ? "10.0.0.9" : "old-pipe");
    EXPECT_EQ(saved.GetInt(type == 1 ? kSectionPipe : kSectionRobot, "port", 0), 6000);
    CSettings back;
    LoadSettings(saved, back);
    EXPECT_EQ(back.password, "пароль");
    // Fields locked while connecting; the focus returns to the joystick after 100 ms.
    EXPECT_FALSE(view.enabling.connectionFields);
    EXPECT_TRUE(view.enabling.connectDown);
    for (uint32_t t = 1020; t <= 1080; t += 20)
        c.Tick(t);
    EXPECT_EQ(view.focus, 0);
    c.Tick(1100);
    EXPECT_EQ(view.focus, 1);
    c.Tick(1120);
    EXPECT_EQ(view.focus, 1);
}

INSTANTIATE_TEST_SUITE_P(Types, ConnectTypeTest, ::testing::Values(0, 1));

TEST_F(MainControllerTest, FailedConnectRefreshesAsDisconnected) {
    auto& c = Make();
    link.connectResult = false;
    c.PressConnect({0, "", 5554, ""});
    EXPECT_TRUE(view.enabling.connectionFields);
    EXPECT_FALSE(view.enabling.connectDown);
    EXPECT_FALSE(c.ConnectDown());
    // An impossible port is never handed to the connection.
    link.connectResult = true;
    c.PressConnect({0, "robot", 70000, ""});
    EXPECT_EQ(link.connects.size(), 1u);
    EXPECT_FALSE(c.ConnectDown());
}

TEST_F(MainControllerTest, ToggleConnectsThenDisconnects) {
    auto& c = Make();
    const ConnectionFields f{0, "robot", 5554, "x"};
    c.ToggleConnect(f);
    EXPECT_EQ(link.connects.size(), 1u);
    link.Report(kStateAuthorised, true);
    EXPECT_TRUE(c.ConnectDown());
    c.ToggleConnect(f);
    EXPECT_EQ(link.disconnects, 1);
    EXPECT_EQ(link.connects.size(), 1u);
    EXPECT_FALSE(c.ConnectDown());
    EXPECT_TRUE(view.enabling.connectionFields);
    // A failure releases the button, so the next F9 connects again.
    c.ToggleConnect(f);
    link.Report(kStateFailed);
    c.ToggleConnect(f);
    EXPECT_EQ(link.connects.size(), 3u);
}

TEST_F(MainControllerTest, StatusReplyUpdatesWithoutSending) {
    Make();
    std::string reply;
    reply += std::string("\x57\x00\x00\x00", 4);  // 87 %
    reply += '\x01';                              // charging
    reply += std::string("\x00\x00\x48\x41", 4);  // 12.5f
    reply += '\x01';                              // random walk
    reply += '\x03';                              // emotion 3
    link.Receive(msg::kStatus, reply);
    EXPECT_EQ(view.battery, u"");  // the battery display is off by default
    EXPECT_EQ(view.height, u"12.5");
    EXPECT_EQ(view.randomWalk, 1);
    EXPECT_EQ(view.emotion, 3);
    settings.battery = true;
    link.Receive(msg::kStatus, reply);
    EXPECT_EQ(view.battery, u"±87%");
    // A short reply leaves the optional buttons alone; a bad emotion is dropped.
    view.randomWalk = -1;
    view.emotion = -1;
    link.Receive(msg::kStatus, reply.substr(0, 9));
    EXPECT_EQ(view.randomWalk, -1);
    reply[10] = '\x09';
    link.Receive(msg::kStatus, reply);
    EXPECT_EQ(view.emotion, -1);
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(MainControllerTest, ModeFlagsSetToggles) {
    Make();
    std::string flags(46, '\0');
    flags[1] = 0x02;
    link.Receive(msg::kModeFlags, flags);
    EXPECT_EQ(view.autoMode, 0);
    EXPECT_EQ(view.qrMode, 1);
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(MainControllerTest, EmotionKeyActsOnlyWhileAuthorised) {
    auto& c = Make();
    c.Keys().KeyDown(ConsoleKey::Emotion3);
    EXPECT_TRUE(link.Of(msg::kTextCommand).empty());
    link.Report(kStateAuthorised, true);
    c.Keys().KeyDown(ConsoleKey::Emotion3);
    ASSERT_EQ(link.Of(msg::kTextCommand).size(), 1u);
    EXPECT_EQ(link.Of(msg::kTextCommand)[0].payload, std::string("\x02\x00\x00\x00"
                                                                 "3\0",
                                                                 6));
    EXPECT_EQ(view.emotion, 3);
}

TEST_F(MainControllerTest, CloseSavesPlacementAndSettings) {
    settings.locked = true;
    auto& c = Make();
    ASSERT_TRUE(c.Close({15, 25, 800, 600}, true));
    IniFile saved = Reload();
    CSettings back;
    LoadSettings(saved, back);
    EXPECT_EQ(back.windowLeft, 15);
    EXPECT_EQ(back.windowTop, 25);
    EXPECT_EQ(back.windowWidth, 800);
    EXPECT_EQ(back.windowHeight, 600);
    EXPECT_TRUE(back.windowMaximised);
    EXPECT_TRUE(back.locked);
}

struct PlacementCase {
    const char* name;
    std::optional<int> left, top, width, height;
    std::vector<WindowRect> screens;
    std::optional<WindowRect> expected;
};

void PrintTo(const PlacementCase& k, std::ostream* os) {
    *os << k.name;
}

class PlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTest, StoredRectangle) {
    const auto& k = GetParam();
    CSettings s;
    s.windowLeft = k.left;
    s.windowTop = k.top;
    s.windowWidth = k.width;
    s.windowHeight = k.height;
    EXPECT_EQ(StoredWindowRect(s, {50, 60, 1000, 700}, k.screens), k.expected);
}

const std::vector<WindowRect> kTwoScreens = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};

INSTANTIATE_TEST_SUITE_P(
    Rules, PlacementTest,
    ::testing::Values(
        PlacementCase{"OnFirst", 10, 20, 800, 600, kTwoScreens, WindowRect{10, 20, 800, 600}},
        PlacementCase{"OnSecond", 2000, 100, 800, 600, kTwoScreens,
                      WindowRect{2000, 100, 800, 600}},
        // On a monitor that is no longer there.
        PlacementCase{"OffEvery", 3500, 100, 800, 600, kTwoScreens, std::nullopt},
        PlacementCase{"Above", 100, -900, 800, 600, kTwoScreens, std::nullopt},
        // Only the bottom-right test point is on a screen.
        PlacementCase{"BottomRightOnly", -700, -500, 800, 600, kTwoScreens,
                      WindowRect{-700, -500, 800, 600}},
        // The top-left point lies 100 px inside, i.e. past this small screen.
        PlacementCase{"CornerOnly", 1900, 1060, 800, 600, {{0, 0, 1920, 1080}}, std::nullopt},
        PlacementCase{"RaisedToMinimum", 10, 10, 100, 50, kTwoScreens,
                      WindowRect{10, 10, 320, 240}},
        PlacementCase{"MissingKeepsDefault", std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                      kTwoScreens, WindowRect{50, 60, 1000, 700}},
        PlacementCase{"NoScreens", 10, 20, 800, 600, {}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velcora
