// The main window's logic without the widgets: the 20 ms tick and its duties
// in order, the reactions to every connection state, the connect command, the
// robot's status and mode-flag reports, the interface lock, the placement of
// the window and saving the settings. The window implements IMainView, hands
// in the operator's actions and shows what it is told.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/drive_controller.h"
#include "console/drive_keys.h"
#include "console/joystick_mapping.h"
#include "link/console_hooks.h"
#include "link/hook_list.h"
#include "link/ini_file.h"
#include "link/robot_connection.h"
#include "link/robot_link.h"
#include "link/robot_status.h"
#include "link/settings.h"
#include "platform/joystick.h"

namespace velcora {

// What the main window needs of the connection besides IRobotLink; the
// connection itself through CConnectionControl, a recording stand-in in tests.
class IConnectionControl {
  public:
    virtual ~IConnectionControl() = default;
    virtual bool Connect(std::u16string_view host, uint16_t port, bool tunnel) = 0;
    virtual void Disconnect() = 0;
    virtual void SetPassword(std::u16string_view password) = 0;
    virtual std::string StatusText() const = 0;  // UTF-8
    virtual int32_t TakeReceivedBytes() = 0;
    virtual void Tick() = 0;
};

class CConnectionControl : public IConnectionControl {
  public:
    explicit CConnectionControl(CRobotConnection& c) : c_(c) {}
    bool Connect(std::u16string_view host, uint16_t port, bool tunnel) override {
        return c_.Connect(host, port, tunnel);
    }
    void Disconnect() override { c_.Disconnect(); }
    void SetPassword(std::u16string_view password) override { c_.SetPassword(password); }
    std::string StatusText() const override { return std::string(c_.StatusText()); }
    int32_t TakeReceivedBytes() override { return c_.TakeReceivedBytes(); }
    void Tick() override { c_.Tick(); }

  private:
    CRobotConnection& c_;
};

// Which controls are enabled and how the connect button stands; the window
// applies it to its controls.
struct MainEnabling {
    // Connection type, host, password and port.
    bool connectionFields = true;
    // The latched connect button shows pressed.
    bool connectDown = false;
    // Phrase box, volume, mode toggles, lift, tray, parking, autobalance, head
    // slider, command buttons and cyclogram tools.
    bool robotControls = false;
};

// The connection fields as the operator filled them in (UTF-8).
struct ConnectionFields {
    int connectionType = 0;  // 0 direct, 1 through the relay
    std::string host;
    int port = 0;
    std::string password;
};

struct WindowRect {
    int left = 0, top = 0, width = 0, height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    bool Contains(int x, int y) const {
        return x >= left && x < Right() && y >= top && y < Bottom();
    }
    bool operator==(const WindowRect&) const = default;
};

// The window's place when none is stored: on a screen of at least 1400 x 900
// most of the screen, so that tool windows have room; elsewhere `small`.
WindowRect DefaultWindowRect(const WindowRect& screen, const WindowRect& small);

// The stored rectangle (missing values from `fallback`, at least 320 x 240),
// or nothing when neither test point lies on one of `screens`.
std::optional<WindowRect> StoredWindowRect(const CSettings& settings, const WindowRect& fallback,
                                           const std::vector<WindowRect>& screens);

class IMainView : public IDriveControlView, public IDriveKeysView {
  public:
    // Status bar panes 0, 2 and 4 (UTF-8).
    virtual void ShowConnectionStatus(const std::string& text) = 0;
    virtual void ShowIncomingRate(const std::string& text) = 0;
    virtual void ShowBattery(const std::u16string& text) = 0;
    virtual void ShowHeight(const std::u16string& text) = 0;
    // Toggle buttons set from the robot's reports, without sending.
    virtual void ShowRandomWalk(bool on) = 0;
    virtual void ShowAutoMode(bool on) = 0;
    virtual void ShowQrMode(bool on) = 0;
    virtual void ApplyEnabling(const MainEnabling& enabling) = 0;
    virtual void ShowErrorBox(const std::string& text) = 0;
    virtual void FocusDriveJoystick() = 0;
    // The chassis joystick mirrors the game controller's stick (no sending).
    virtual void ShowStick(float x, float y, float r) = 0;
};

// The first entry of the game controller drop-down.
inline constexpr std::string_view kNoJoystickEntry = "<none>";

class CMainController : public IRobotConnectionOwner, public IConsoleHooks {
  public:
    static constexpr int32_t kTickMs = 20;
    static constexpr int32_t kMaxElapsedMs = 500;
    static constexpr int32_t kRateWindowMs = 1000;
    static constexpr int32_t kFocusAfterConnectMs = 100;

    // `ini` is where the settings are saved; `settings` were loaded from it.
    CMainController(IRobotLink& link, IConnectionControl& connection, CSettings& settings,
                    IniFile& ini, IMainView& view, uint32_t now);
    ~CMainController() override;
    CMainController(const CMainController&) = delete;
    CMainController& operator=(const CMainController&) = delete;

    // The 20 ms timer.
    void Tick(uint32_t now);
    // The live panels' part of the tick (video pictures and requests, robot
    // sound, microphone): after the incoming rate, before drive sending.
    void SetPanelTick(std::function<void(int32_t elapsedMs)> tick) { panelTick_ = std::move(tick); }

    // IRobotConnectionOwner
    void OnConnectionStateChanged() override;

    // The connect button pressed (true) or released (false) by the operator.
    void PressConnect(const ConnectionFields& fields);
    void ReleaseConnect();
    // F9: press or release the connect button.
    void ToggleConnect(const ConnectionFields& fields);
    bool ConnectDown() const { return connectDown_; }

    // Sets the controls to the disconnected state (start-up).
    void Refresh();
    MainEnabling Enabling() const;

    // The focus countdown; the drive joystick gets the focus when it runs out.
    void SetFocusCountdown(int32_t ms) { focusCountdown_ = ms; }
    int32_t FocusCountdown() const { return focusCountdown_; }

    // Operator toggles that send at once (only while authorised).
    void SetAutoMode(bool on);
    void SetRandomWalk(bool on);
    void SetQrMode(bool on);
    void Parking(bool start);
    void SetVolume(int volume);
    void SendHeight(double height);
    // An avatar menu entry (index into the settings' avatars).
    void ChooseAvatar(std::size_t index);

    // The head moved by the mouse on the head joystick or the head slider:
    // sent from there, and the keys and the controller's hat go on from there.
    void MoveHead(float x, float y, float z);
    void MoveHeadSlider(int16_t value);

    // The game controller drop-down: "<none>", then the controllers present
    // by name. The entry of the chosen controller, -1 when it is not listed
    // (chosen earlier and not plugged in now).
    std::vector<std::string> JoystickEntries();
    int JoystickEntry(std::size_t entryCount) const;
    // Entry 0 lets go of the controller; the choice is saved.
    void ChooseJoystick(int entry);

    // IConsoleHooks: the tool windows' share of the state reports and the tick.
    HookSubscription OnStateChanged(std::function<void(int32_t state)> hook) override {
        return stateHooks_.Add(std::move(hook));
    }
    HookSubscription OnAuthorised(std::function<void()> hook) override {
        return authorisedHooks_.Add(std::move(hook));
    }
    HookSubscription OnTick(TickStage stage,
                            std::function<void(uint32_t now, int32_t elapsedMs)> hook) override;

    // At close: keeps the window's restored rectangle and saves the settings.
    bool Close(const WindowRect& restored, bool maximised);
    bool SaveSettingsNow();

    CDriveController& Drive() { return drive_; }
    CDriveKeys& Keys() { return keys_; }
    CJoystickMapping& JoystickMapping() { return mapping_; }
    platform::Joystick& Joystick() { return joystick_; }
    CSettings& Settings() { return settings_; }
    int32_t LastElapsed() const { return lastElapsed_; }

  private:
    // What the keys show also moves the controller's hat origin.
    class KeysRelay : public IDriveKeysView {
      public:
        explicit KeysRelay(CMainController& c) : c_(c) {}
        void ShowDrive(float x, float y) override { c_.view_.ShowDrive(x, y); }
        void ShowSmoothRide(bool on) override { c_.view_.ShowSmoothRide(on); }
        void ShowMoveMode(MoveMode mode) override { c_.view_.ShowMoveMode(mode); }
        void ShowHead(float x, float y, float z) override;
        void ShowHeadSlider(int16_t value) override;

      private:
        CMainController& c_;
    };
    // What the game controller changed also moves the keys' head.
    class MappingRelay : public IJoystickMappingView {
      public:
        explicit MappingRelay(CMainController& c) : c_(c) {}
        void ShowStick(float x, float y, float r) override { c_.view_.ShowStick(x, y, r); }
        void ShowHead(float x, float y) override;
        void ShowHeadSlider(int16_t value) override;

      private:
        CMainController& c_;
    };

    void OnStatus(CStream& payload, int32_t length);
    void OnModeFlags(CStream& payload, int32_t length);

    IRobotLink& link_;
    IConnectionControl& connection_;
    CSettings& settings_;
    IniFile& ini_;
    IMainView& view_;
    KeysRelay keysRelay_{*this};
    MappingRelay mappingRelay_{*this};
    CDriveController drive_;
    CDriveKeys keys_;
    CJoystickMapping mapping_;
    platform::Joystick joystick_;
    std::function<void(int32_t)> panelTick_;
    CStatusPoller poller_;
    CRegistrationSet registrations_;
    HookList<int32_t> stateHooks_;
    HookList<> authorisedHooks_;
    HookList<uint32_t, int32_t> panelTickHooks_;
    HookList<uint32_t, int32_t> authorisedTickHooks_;
    HookList<uint32_t, int32_t> lateTickHooks_;

    uint32_t lastTick_;
    uint32_t rateStart_;
    int32_t lastElapsed_ = 0;
    int32_t focusCountdown_ = 0;
    bool connectDown_ = false;
};

}  // namespace velcora
