// The game controller end to end: SDL's virtual joystick stands in for the
// device, platform::Joystick reads it and the mapping turns it into control
// messages on a recording link.
#include "console/joystick_mapping.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <array>

#include "link/stream.h"
#include "platform/joystick.h"
#include "support/fake_link.h"

namespace velcora {
namespace {

using test::FakeLink;

TEST(JoystickAxes, FormulaAndDeadZone) {
    struct Case {
        int32_t pos;
        float x;  // after the dead zone
    };
    const Case cases[] = {
        {0, 0.0f},            // the middle of SDL's range
        {-1, 0.0f},           //
        {3276, 0.0f},         // just inside 10 %
        {-3276, 0.0f},        //
        {3400, 0.1038f},      // just outside
        {32767, 1.0f},        // the ends
        {-32768, -1.0f},      //
        {-16384, -0.49999f},  //
    };
    for (const Case& c : cases) {
        const float x = platform::JoystickDeadZone(platform::JoystickAxis(c.pos, -32768, 32767));
        EXPECT_NEAR(x, c.x, 1e-3) << c.pos;
        const float y =
            platform::JoystickDeadZone(platform::JoystickAxisInverted(c.pos, -32768, 32767));
        EXPECT_NEAR(y, -c.x, 1e-3) << c.pos;
    }
    // A degenerate range never divides by zero.
    EXPECT_EQ(platform::JoystickAxis(5, 7, 7), 0.0f);
    EXPECT_EQ(platform::JoystickAxis(5, 9, 7), 0.0f);
}

TEST(JoystickAxes, HatDirections) {
    EXPECT_EQ(platform::JoystickHatHundredths(SDL_HAT_CENTERED), platform::kHatCentred);
    EXPECT_EQ(platform::JoystickHatHundredths(SDL_HAT_UP), 0);
    EXPECT_EQ(platform::JoystickHatHundredths(SDL_HAT_RIGHTUP), 4500);
    EXPECT_EQ(platform::JoystickHatHundredths(SDL_HAT_RIGHT), 9000);
    EXPECT_EQ(platform::JoystickHatHundredths(SDL_HAT_DOWN), 18000);
    EXPECT_EQ(platform::JoystickHatHundredths(SDL_HAT_LEFT), 27000);
    EXPECT_EQ(platform::JoystickHatHundredths(SDL_HAT_LEFTUP), 31500);
}

class RecordingKeysView : public IDriveKeysView {
  public:
    void ShowDrive(float, float) override {}
    void ShowSmoothRide(bool) override {}
    void ShowMoveMode(MoveMode m) override { mode = m; }
    void ShowHead(float, float, float) override {}
    void ShowHeadSlider(int16_t) override {}
    MoveMode mode = MoveMode::Move;
};

class RecordingMappingView : public IJoystickMappingView {
  public:
    void ShowStick(float x, float y, float r) override { stick = {x, y, r}, ++sticks; }
    void ShowHead(float x, float y) override { head = {x, y}; }
    void ShowHeadSlider(int16_t v) override { slider = v; }
    std::array<float, 3> stick{};
    int sticks = 0;
    std::array<float, 2> head{};
    int16_t slider = 0;
};

// A virtual controller with six axes (two sticks and two triggers), twelve
// buttons and a hat, chosen in a Joystick whose reports go to the mapping.
class VirtualController : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(joystick.DeviceNames().size() < platform::Joystick::kMaxListed);
        Attach();
        JoystickMappingOptions o;
        o.wheelModeBtn[0] = 6;
        o.wheelModeBtn[1] = 7;
        o.wheelModeBtn[2] = 8;
        o.liftUpBtn = 9;
        o.liftDownBtn = 10;
        o.trayUpBtn = 11;
        o.trayDownBtn = 12;
        o.lift = o.tray = true;
        o.liftSpeed = 40;
        o.traySpeed = 25;
        mapping.SetOptions(o);
        joystick.SetListener(&mapping);
        joystick.SetNumber(index);
    }
    void TearDown() override {
        Detach();
        joystick.SetNumber(-1);
    }
    void Attach() {
        index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 12, 1);
        ASSERT_GE(index, 0) << SDL_GetError();
        device = SDL_JoystickOpen(index);
        ASSERT_NE(device, nullptr);
        // Triggers rest at one end, as on a real pad.
        SDL_JoystickSetVirtualAxis(device, 2, -32768);
        SDL_JoystickSetVirtualAxis(device, 5, -32768);
    }
    void Detach() {
        if (device) {
            SDL_JoystickClose(device);
            device = nullptr;
            SDL_JoystickDetachVirtual(index);
        }
    }
    void Button(int b, bool down) { SDL_JoystickSetVirtualButton(device, b, down ? 1 : 0); }
    void Hat(uint8_t v) { SDL_JoystickSetVirtualHat(device, 0, v); }
    void Axis(int a, int16_t v) { SDL_JoystickSetVirtualAxis(device, a, v); }
    std::vector<int8_t> Speeds(msg::Type type) {
        std::vector<int8_t> out;
        for (const auto& f : link.Of(type)) {
            out.push_back(f.payload.size() == 1 ? static_cast<int8_t>(f.payload[0]) : 99);
        }
        return out;
    }

    platform::Joystick joystick;
    FakeLink link;
    RecordingKeysView keysView;
    RecordingMappingView view;
    CDriveController control{link, {}};
    CDriveKeys keys{control, {}, &keysView};
    CJoystickMapping mapping{link, control, keys, {}, &view};
    int index = -1;
    SDL_Joystick* device = nullptr;
};

TEST_F(VirtualController, ListedByNameAndPolledEvery50ms) {
    const auto names = joystick.DeviceNames();
    ASSERT_GT(names.size(), static_cast<size_t>(index));
    EXPECT_FALSE(names[index].empty());
    // 20 ms ticks: a poll at 60, 100, 160, 200 ms... two every 100 ms.
    int polls = 0;
    struct Counter : platform::IJoystickListener {
        void OnJoystickButton(int, bool) override {}
        void OnJoystickHat(int32_t) override {}
        void OnJoystickPolled(float, float, float) override { ++*n; }
        int* n;
    } counter;
    counter.n = &polls;
    joystick.SetListener(&counter);
    for (int t = 0; t < 1000; t += 20) {
        joystick.Tick(20);
    }
    EXPECT_EQ(polls, 20);
    // Nothing is polled without a chosen controller.
    joystick.SetNumber(-1);
    for (int t = 0; t < 1000; t += 20) {
        joystick.Tick(20);
    }
    EXPECT_EQ(polls, 20);
}

TEST_F(VirtualController, StickNearTheMiddleDrivesNothing) {
    struct Case {
        int16_t x, y, r;
        int8_t bx, by, bz;  // drive bytes (times 127, truncated)
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0, 0},
        {3000, -3000, 3200, 0, 0, 0},   // within 10 % of the middle
        {32767, 0, 0, 127, 0, 0},       // full right
        {0, -32768, 0, 0, 127, 0},      // forward is the axis's small end
        {0, 16384, 0, 0, -63, 0},       // halfway back
        {0, 0, -32768, 0, 0, -127},     // turning on the right stick
        {-3276, 3276, -3276, 0, 0, 0},  // the dead zone's edge
    };
    for (const Case& c : cases) {
        Axis(0, c.x);
        Axis(1, c.y);
        Axis(3, c.r);
        ASSERT_TRUE(joystick.Poll());
        link.sent.clear();
        control.Tick(20);
        control.Tick(300);  // a repeat, should nothing have changed
        auto frames = link.Of(msg::kDriveChassis);
        if (c.bx == 0 && c.by == 0 && c.bz == 0) {
            // At rest: at most the single stop after a movement.
            for (const auto& f : frames) {
                EXPECT_EQ(f.payload, std::string(4, '\0')) << c.x << " " << c.y;
            }
            EXPECT_EQ(joystick.X(), 0.0f);
            EXPECT_EQ(joystick.Y(), 0.0f);
            EXPECT_EQ(joystick.R(), 0.0f);
        } else {
            ASSERT_FALSE(frames.empty()) << c.x << " " << c.y << " " << c.r;
            const std::string& p = frames.front().payload;
            EXPECT_EQ(static_cast<int8_t>(p[0]), c.by);
            EXPECT_EQ(static_cast<int8_t>(p[1]), c.bx);
            EXPECT_EQ(static_cast<int8_t>(p[2]), c.bz);
        }
    }
    EXPECT_NEAR(view.stick[2], 0.0f, 1e-6);
}

TEST_F(VirtualController, RotationDisabledKeepsTurnAtZero) {
    joystick.SetRotation(false);
    Axis(3, 32767);
    ASSERT_TRUE(joystick.Poll());
    EXPECT_EQ(joystick.R(), 0.0f);
}

TEST_F(VirtualController, ButtonsChooseModesAndRunLiftAndTray) {
    struct Case {
        int button;  // 0-based on the controller
        MoveMode mode;
    };
    // Configured buttons 6, 7, 8 and the first three buttons alike.
    const Case cases[] = {{6, MoveMode::Turn}, {5, MoveMode::Move}, {7, MoveMode::Strafe},
                          {0, MoveMode::Move}, {1, MoveMode::Turn}, {2, MoveMode::Strafe},
                          {6, MoveMode::Turn}};
    for (const Case& c : cases) {
        Button(c.button, true);
        ASSERT_TRUE(joystick.Poll());
        Button(c.button, false);
        ASSERT_TRUE(joystick.Poll());
        EXPECT_EQ(keysView.mode, c.mode) << c.button;
    }
    // The chosen mode shapes the drive message: turning sends x with the flag.
    Axis(0, 32767);
    ASSERT_TRUE(joystick.Poll());
    link.sent.clear();
    control.Tick(20);
    ASSERT_EQ(link.Of(msg::kDriveChassis).size(), 1u);
    EXPECT_EQ(link.Of(msg::kDriveChassis)[0].payload[3], 1);

    // Lift (buttons 9, 10) and tray (11, 12): pressed sends the speed,
    // released sends 0.
    link.sent.clear();
    Button(8, true);
    joystick.Poll();
    joystick.Poll();  // held: nothing more
    Button(8, false);
    joystick.Poll();
    Button(9, true);
    joystick.Poll();
    Button(9, false);
    joystick.Poll();
    EXPECT_EQ(Speeds(msg::kLiftSpeed), (std::vector<int8_t>{40, 0, -40, 0}));
    Button(10, true);
    Button(11, true);
    joystick.Poll();
    Button(10, false);
    Button(11, false);
    joystick.Poll();
    EXPECT_EQ(Speeds(msg::kTraySpeed), (std::vector<int8_t>{25, -25, 0, 0}));

    // A robot without lift or tray hears nothing from those buttons.
    auto o = mapping.Options();
    o.lift = o.tray = false;
    mapping.SetOptions(o);
    link.sent.clear();
    Button(8, true);
    Button(10, true);
    joystick.Poll();
    EXPECT_TRUE(link.Of(msg::kLiftSpeed).empty());
    EXPECT_TRUE(link.Of(msg::kTraySpeed).empty());
}

TEST_F(VirtualController, HatMovesTheHead) {
    struct Step {
        uint8_t hat;
        float x, y;
    };
    // headDeltas 1 is read as 32: steps of 0.32, the diagonal changes nothing.
    CSettings s;
    s.headDeltas = 1;
    auto o = mapping.Options();
    o.headDeltas = JoystickMappingFromSettings(s).headDeltas;
    mapping.SetOptions(o);
    const Step relative[] = {{SDL_HAT_UP, 0, 0.32f},    {SDL_HAT_RIGHTUP, 0, 0.32f},
                             {SDL_HAT_RIGHT, 0.32f, 0}, {SDL_HAT_DOWN, 0, -0.32f},
                             {SDL_HAT_LEFT, -0.32f, 0}, {SDL_HAT_CENTERED, 0, 0}};
    for (const Step& st : relative) {
        Hat(st.hat);
        ASSERT_TRUE(joystick.Poll());
        EXPECT_FLOAT_EQ(mapping.HeadX(), st.x) << int(st.hat);
        EXPECT_FLOAT_EQ(mapping.HeadY(), st.y) << int(st.hat);
    }
    // Fine steps without a head step: each push adds 0.05.
    o.headDeltas = 0;
    mapping.SetOptions(o);
    const Step fine[] = {{SDL_HAT_UP, 0, 0.05f},        {SDL_HAT_CENTERED, 0, 0.05f},
                         {SDL_HAT_UP, 0, 0.10f},        {SDL_HAT_LEFTUP, 0, 0.10f},
                         {SDL_HAT_RIGHT, 0.05f, 0.10f}, {SDL_HAT_DOWN, 0.05f, 0.05f},
                         {SDL_HAT_LEFT, 0.0f, 0.05f}};
    for (const Step& st : fine) {
        Hat(st.hat);
        ASSERT_TRUE(joystick.Poll());
        EXPECT_NEAR(mapping.HeadX(), st.x, 1e-6) << int(st.hat);
        EXPECT_NEAR(mapping.HeadY(), st.y, 1e-6) << int(st.hat);
    }
    EXPECT_NEAR(view.head[1], 0.05f, 1e-6);
    // The absolute head command carries the values on the next tick.
    link.sent.clear();
    control.Tick(20);
    ASSERT_EQ(link.Of(msg::kHeadAbsolute).size(), 1u);
    CMemoryStream p;
    WriteBytes(p, link.Of(msg::kHeadAbsolute)[0].payload);
    p.Seek(0, kSeekSet);
    EXPECT_EQ(static_cast<int16_t>(ReadU16(p)), 0);
    EXPECT_EQ(static_cast<int16_t>(ReadU16(p)), static_cast<int16_t>(0.05f * 32767));

    // A window with a head slider: left and right step it by 4000, up
    // returns it home.
    o.headSlider = true;
    mapping.SetOptions(o);
    const std::pair<uint8_t, int16_t> slider[] = {{SDL_HAT_RIGHT, 4000}, {SDL_HAT_CENTERED, 4000},
                                                  {SDL_HAT_RIGHT, 8000}, {SDL_HAT_RIGHTUP, 8000},
                                                  {SDL_HAT_LEFT, 4000},  {SDL_HAT_UP, 0},
                                                  {SDL_HAT_DOWN, 0}};
    for (const auto& [hat, v] : slider) {
        Hat(hat);
        ASSERT_TRUE(joystick.Poll());
        EXPECT_EQ(mapping.HeadSlider(), v) << int(hat);
    }
}

TEST_F(VirtualController, UnpluggedKeepsLastValuesAndComesBack) {
    Axis(0, 32767);
    Button(8, true);
    ASSERT_TRUE(joystick.Poll());
    EXPECT_EQ(joystick.X(), 1.0f);
    ASSERT_TRUE(joystick.Attached());
    Detach();
    // Polls go on without a device: no reports, the last values stay.
    link.sent.clear();
    const int sticks = view.sticks;
    for (int t = 0; t < 500; t += 20) {
        joystick.Tick(20);
    }
    EXPECT_FALSE(joystick.Attached());
    EXPECT_FALSE(joystick.Poll());
    EXPECT_EQ(joystick.X(), 1.0f);
    EXPECT_EQ(view.sticks, sticks);
    EXPECT_TRUE(link.sent.empty());
    // Plugged back in (possibly under another number): taken up again, and
    // the lift button let go meanwhile is reported released.
    Attach();
    ASSERT_TRUE(joystick.Poll());
    EXPECT_TRUE(joystick.Attached());
    EXPECT_EQ(joystick.X(), 0.0f);
    EXPECT_EQ(Speeds(msg::kLiftSpeed), (std::vector<int8_t>{0}));
}

}  // namespace
}  // namespace velcora
