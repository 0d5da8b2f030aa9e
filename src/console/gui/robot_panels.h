// The main window's groups that work the robot's body: "Шасси:", "Режимы
// робота", "Эмоции", "Голова:", "Подъемик" and "Поднос". Each builds its
// controls, turns their commands into calls of the main controller and shows
// what the controller reports back; the window only places them.
#pragma once

#include <QObject>
#include <array>
#include <memory>

#include "console/main_controller.h"
#include "link/settings.h"
#include "ui/vel_controls.h"
#include "ui/vel_joy.h"

namespace velcora::gui {

// Command ids of the groups' controls, apart from the window's own.
enum PanelCommand : int {
    kCmdAutoMode = 0x120,
    kCmdRandomWalk,
    kCmdQrMode,
    kCmdParkStart,
    kCmdParkStop,
    kCmdAvatar,
    kCmdSmoothRide,
    kCmdVolume,
    kCmdMoveMode,
    kCmdJoystick,
    kCmdHeadSlider,
    kCmdHeadHome,
    kCmdRaise,
    kCmdLower,
    kCmdAutobalance,
    kCmdSendHeight,
    kCmdEmotion0,  // .. kCmdEmotion0 + 5
    kCmdAvatarFirst = 0x200,
};

// The height of a row of controls in the window's groups.
inline constexpr int kPanelRowHeight = 26;

// What every group takes from the window.
struct PanelContext {
    CMainController& controller;
    const CSettings& settings;
    ui::CVelFont* font;      // the controls'
    ui::CVelFont* boldFont;  // captions and read-outs
    // Sees the keys pressed on the drive joystick and the head controls
    // before they do (the window's drive keys).
    QObject* keyFilter;
};

// A captioned group of the window's controls.
class CControlGroup : public ui::CVelGroupBox {
  public:
    CControlGroup(ui::CVelContainer* owner, int h, const QString& caption,
                  const PanelContext& context);

  protected:
    // Gives `c` its command id and the controls' font.
    void Bind(ui::CVelControl* c, int id);

    CMainController& controller_;
    const CSettings& settings_;
    ui::CVelFont* font_;
    ui::CVelFont* boldFont_;
};

// "Шасси:": the drive joystick, smooth ride, the robot's volume, the move
// mode (wheeled robots) and the game controller.
class CChassisPanel : public CControlGroup {
  public:
    CChassisPanel(ui::CVelContainer* owner, const PanelContext& context);

    ui::CVelJoy* DriveJoy() const { return driveJoy_; }
    ui::CVelComboBox* JoystickList() const { return joystickList_; }
    // Fills the game controller drop-down with the controllers present now.
    void RefillJoysticks();

    void ShowDrive(float x, float y);
    void ShowStick(float x, float y, float r);
    void ShowSmoothRide(bool on);
    void ShowMoveMode(MoveMode mode);
    void ApplyEnabling(bool robotControls);

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    ui::CVelJoy* driveJoy_ = nullptr;
    ui::CVelCheckBox* smooth_ = nullptr;
    ui::CVelTrackBar* volume_ = nullptr;
    ui::CVelComboBox* moveMode_ = nullptr;
    ui::CVelComboBox* joystickList_ = nullptr;
    std::unique_ptr<QObject> joystickListFilter_;
};

// "Режимы робота": automatic, random walk and QR modes; parking and the
// avatar menu where the settings have them.
class CModesPanel : public CControlGroup {
  public:
    CModesPanel(ui::CVelContainer* owner, const PanelContext& context);

    ui::CVelSpdBtn* RandomWalkButton() const { return randomWalk_; }

    void ShowAutoMode(bool on) { autoMode_->SetDown(on); }
    void ShowRandomWalk(bool on) { randomWalk_->SetDown(on); }
    void ShowQrMode(bool on) { qrMode_->SetDown(on); }
    void ApplyEnabling(bool robotControls);

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    ui::CVelSpdBtn* autoMode_ = nullptr;
    ui::CVelSpdBtn* randomWalk_ = nullptr;
    ui::CVelSpdBtn* qrMode_ = nullptr;
    ui::CVelButton* parkStart_ = nullptr;
    ui::CVelButton* parkStop_ = nullptr;
    ui::CVelButton* avatar_ = nullptr;
};

// "Эмоции": one latching button per face.
class CEmotionPanel : public CControlGroup {
  public:
    CEmotionPanel(ui::CVelContainer* owner, const PanelContext& context);

    ui::CVelSpdBtn* Button(int i) const { return buttons_[static_cast<std::size_t>(i)]; }
    void ShowEmotion(int emotion);

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    std::array<ui::CVelSpdBtn*, kEmotionCount> buttons_{};
};

// "Голова:": a joystick (a robot whose head has axes) or a slider, and the
// way home.
class CHeadPanel : public CControlGroup {
  public:
    CHeadPanel(ui::CVelContainer* owner, const PanelContext& context);

    ui::CVelButton* HomeButton() const { return home_; }
    void ShowHead(float x, float y, float z);
    void ShowHeadSlider(int16_t value);
    void ApplyEnabling(bool robotControls);

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    ui::CVelJoy* headJoy_ = nullptr;
    ui::CVelTrackBar* headSlider_ = nullptr;
    ui::CVelButton* home_ = nullptr;
};

// Raise and lower buttons that latch (act on the click) or act while held,
// as the settings say for the lift and for the tray.
class CRaiseLowerPanel : public CControlGroup {
  public:
    ui::CVelSpdBtn* RaiseButton() const { return raise_; }
    ui::CVelSpdBtn* LowerButton() const { return lower_; }
    void ShowButtons(bool raiseDown, bool lowerDown);
    void ApplyEnabling(bool robotControls);

    bool HandleEvent(const ui::VelEvent& e) override;

  protected:
    CRaiseLowerPanel(ui::CVelContainer* owner, int h, const QString& caption,
                     const PanelContext& context, bool latching);
    // Passes a press or release of one of the buttons to the controller.
    virtual void Edge(LiftButton which, ButtonEdge edge) = 0;

  private:
    bool latching_;
    ui::CVelSpdBtn* raise_ = nullptr;
    ui::CVelSpdBtn* lower_ = nullptr;
};

// "Подъемик": the lift's buttons, the height to set and the height now.
class CLiftPanel : public CRaiseLowerPanel {
  public:
    CLiftPanel(ui::CVelContainer* owner, const PanelContext& context);

    ui::CVelLabel* HeightLabel() const { return heightLabel_; }
    ui::CVelEdit* HeightEdit() const { return height_; }
    ui::CVelButton* SendHeightButton() const { return sendHeight_; }
    void ShowHeight(const QString& text) { heightLabel_->SetText(text); }
    void ApplyEnabling(bool robotControls);

    bool HandleEvent(const ui::VelEvent& e) override;

  protected:
    void Edge(LiftButton which, ButtonEdge edge) override;

  private:
    ui::CVelEdit* height_ = nullptr;
    ui::CVelButton* sendHeight_ = nullptr;
    ui::CVelLabel* heightLabel_ = nullptr;
};

// "Поднос": the tray's buttons and, where the robot has it, autobalance.
class CTrayPanel : public CRaiseLowerPanel {
  public:
    CTrayPanel(ui::CVelContainer* owner, const PanelContext& context);

    ui::CVelCheckBox* AutobalanceBox() const { return autobalance_; }
    void ShowAutobalance(bool on);
    void ApplyEnabling(bool robotControls);

    bool HandleEvent(const ui::VelEvent& e) override;

  protected:
    void Edge(LiftButton which, ButtonEdge edge) override;

  private:
    ui::CVelCheckBox* autobalance_ = nullptr;
};

}  // namespace velcora::gui
