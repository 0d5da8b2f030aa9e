// The console's main window: the panels built from the control family, the
// status bar, the accelerators and the drive keys. It owns the connection and
// the main controller; everything it does beyond showing is forwarded there.
#pragma once

#include <QRect>
#include <QTimer>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "console/main_controller.h"
#include "link/dispatcher.h"
#include "link/ini_file.h"
#include "link/robot_connection.h"
#include "link/settings.h"
#include "platform/reactor.h"
#include "ui/vel.h"

namespace velcora::gui {

// Command ids of the main window.
enum MainCommand : int {
    kCmdConnect = 100,
    kCmdToggleConnect,  // F9
    kCmdFocusDrive,     // F3
    kCmdFocusPhrase,    // F4
    kCmdAutoMode,
    kCmdRandomWalk,
    kCmdQrMode,
    kCmdParkStart,
    kCmdParkStop,
    kCmdAvatar,
    kCmdSmoothRide,
    kCmdVolume,
    kCmdMoveMode,
    kCmdHeadSlider,
    kCmdHeadHome,
    kCmdLiftUp,
    kCmdLiftDown,
    kCmdTrayUp,
    kCmdTrayDown,
    kCmdAutobalance,
    kCmdSendHeight,
    kCmdEmotion0,  // .. kCmdEmotion0 + 5
    kCmdAvatarFirst = 0x200,
};

class CMainForm : public ui::CVelForm, public IMainView {
  public:
    static constexpr int kDefaultWidth = 1180;
    static constexpr int kDefaultHeight = 720;

    // Loads the settings from `iniPath` and builds the window; `screens`
    // overrides the monitors the stored placement is checked against (tests).
    CMainForm(platform::Reactor& reactor, std::string iniPath,
              const std::vector<WindowRect>* screens = nullptr);
    ~CMainForm() override;

    // The connection fields as shown.
    ConnectionFields Fields() const;
    void SetFields(const ConnectionFields& fields);

    CMainController& Controller() { return *controller_; }
    CRobotConnection& Connection() { return connection_; }
    CSettings& Settings() { return settings_; }

    // For tests and the screenshot.
    ui::CVelStatusBar* StatusBar() const { return status_; }
    ui::CVelSpdBtn* ConnectButton() const { return connect_; }
    ui::CVelEdit* HostEdit() const { return host_; }
    ui::CVelEdit* PasswordEdit() const { return password_; }
    ui::CVelSpinEdit* PortEdit() const { return port_; }
    ui::CVelRadio* DirectRadio() const { return direct_; }
    ui::CVelRadio* TunnelRadio() const { return tunnel_; }
    ui::CVelJoy* DriveJoy() const { return driveJoy_; }
    ui::CVelSpdBtn* EmotionButton(int i) const { return emotions_[i]; }
    ui::CVelSpdBtn* RandomWalkButton() const { return randomWalk_; }
    ui::CVelLabel* HeightLabel() const { return heightLabel_; }
    // Runs one timer tick now (the 20 ms timer calls the same).
    void TickNow();
    // Stops or restarts the 20 ms timer (tests tick by hand).
    void SetTimerRunning(bool on);

    bool HandleEvent(const ui::VelEvent& e) override;

    // IMainView
    void ShowConnectionStatus(const std::string& text) override;
    void ShowIncomingRate(const std::string& text) override;
    void ShowBattery(const std::u16string& text) override;
    void ShowHeight(const std::u16string& text) override;
    void ShowRandomWalk(bool on) override;
    void ShowAutoMode(bool on) override;
    void ShowQrMode(bool on) override;
    void ApplyEnabling(const MainEnabling& e) override;
    void ShowErrorBox(const std::string& text) override;
    void FocusDriveJoystick() override;
    void ShowLiftButtons(bool raiseDown, bool lowerDown) override;
    void ShowTrayButtons(bool raiseDown, bool lowerDown) override;
    void ShowAutobalance(bool on) override;
    void ShowEmotion(int emotion) override;
    void ShowDrive(float x, float y) override;
    void ShowSmoothRide(bool on) override;
    void ShowMoveMode(MoveMode mode) override;
    void ShowHead(float x, float y, float z) override;
    void ShowHeadSlider(int16_t value) override;

    // A key on the drive joystick or a head control; returns whether taken.
    bool DriveKey(int key, Qt::KeyboardModifiers modifiers, bool autoRepeat, bool down);

  protected:
    bool CanClose(int code) override;

  private:
    class Relay : public IRobotConnectionOwner {
      public:
        void OnConnectionStateChanged() override {
            if (target)
                target->OnConnectionStateChanged();
        }
        CMainController* target = nullptr;
    };

    void BuildToolbar();
    void BuildModes(ui::CVelContainer* column);
    void BuildChassis(ui::CVelContainer* column);
    void BuildHead(ui::CVelContainer* column);
    void BuildLiftAndTray(ui::CVelContainer* column);
    void BuildEmotions(ui::CVelContainer* column);
    void BuildWorkArea();
    void PlaceWindow(const std::vector<WindowRect>* screens);
    bool Command(const ui::VelEvent& e);
    void Bind(ui::CVelControl* c, int id);
    ui::CVelGroupBox* Group(ui::CVelContainer* owner, uint32_t place, int w, int h,
                            const QString& caption);

    platform::Reactor& reactor_;
    IniFile ini_;
    CSettings settings_;
    CMessageDispatcher dispatcher_;
    Relay relay_;
    CRobotConnection connection_;
    CConnectionControl connectionControl_{connection_};
    std::unique_ptr<CMainController> controller_;
    QTimer timer_;
    ui::CVelFont* font_ = nullptr;
    ui::CVelFont* boldFont_ = nullptr;
    ui::CVelPopupMenu* avatarMenu_ = nullptr;

    ui::CVelStatusBar* status_ = nullptr;
    ui::CVelRadio* direct_ = nullptr;
    ui::CVelRadio* tunnel_ = nullptr;
    ui::CVelEdit* host_ = nullptr;
    ui::CVelEdit* password_ = nullptr;
    ui::CVelSpinEdit* port_ = nullptr;
    ui::CVelSpdBtn* connect_ = nullptr;
    ui::CVelSpdBtn* autoMode_ = nullptr;
    ui::CVelSpdBtn* randomWalk_ = nullptr;
    ui::CVelSpdBtn* qrMode_ = nullptr;
    ui::CVelButton* parkStart_ = nullptr;
    ui::CVelButton* parkStop_ = nullptr;
    ui::CVelButton* avatar_ = nullptr;
    ui::CVelJoy* driveJoy_ = nullptr;
    ui::CVelCheckBox* smooth_ = nullptr;
    ui::CVelTrackBar* volume_ = nullptr;
    ui::CVelComboBox* moveMode_ = nullptr;
    ui::CVelJoy* headJoy_ = nullptr;
    ui::CVelTrackBar* headSlider_ = nullptr;
    ui::CVelSpdBtn* liftUp_ = nullptr;
    ui::CVelSpdBtn* liftDown_ = nullptr;
    ui::CVelEdit* height_ = nullptr;
    ui::CVelButton* sendHeight_ = nullptr;
    ui::CVelLabel* heightLabel_ = nullptr;
    ui::CVelSpdBtn* trayUp_ = nullptr;
    ui::CVelSpdBtn* trayDown_ = nullptr;
    ui::CVelCheckBox* autobalance_ = nullptr;
    std::array<ui::CVelSpdBtn*, kEmotionCount> emotions_{};
    ui::CVelControl* phraseBox_ = nullptr;
    ui::CVelControl* videos_ = nullptr;
    ui::CVelControl* video1_ = nullptr;
    std::unique_ptr<QObject> keyFilter_;
};

}  // namespace velcora::gui
