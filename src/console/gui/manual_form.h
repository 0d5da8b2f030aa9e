// The service window ("Сервисное обслуживание"): pick a motor, move it with a
// centred slider, start or cancel its calibration, and record the robot's
// pose as a gesture. A tool window over CManualControl.
#pragma once

#include <QTimer>
#include <memory>

#include "console/gestures.h"
#include "console/manual_control.h"
#include "link/console_hooks.h"
#include "ui/vel_controls.h"
#include "ui/vel_form.h"

namespace velcora::gui {

class CManualForm : public ui::CVelMDIChildForm {
  public:
    enum Command {
        kCmdMotors = 8201,
        kCmdSlider,
        kCmdCalibrate,
        kCmdCancel,
        kCmdRecord,
    };

    CManualForm(ui::CVelForm* frame, ToolContext& tools, CGestureRecorder& recorder,
                CGestures& gestures);
    ~CManualForm() override;

    CManualControl& Control() { return control_; }
    const std::vector<MotorEntry>& Entries() const { return entries_; }
    ui::CVelListBox* Motors() const { return motors_; }
    ui::CVelTrackBar* Slider() const { return slider_; }
    ui::CVelButton* CalibrateButton() const { return calibrate_; }
    ui::CVelButton* CancelButton() const { return cancel_; }
    ui::CVelButton* RecordButton() const { return record_; }

    // Enabling after a state change or a selection.
    void Refresh();
    // "Записать жест".
    void Record();

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    void ShowSlider(int value);
    void SetWaiting(bool on);

    ToolContext& tools_;
    CGestureRecorder& recorder_;
    CGestures& gestures_;
    CManualControl control_;
    std::vector<MotorEntry> entries_;
    ui::CVelListBox* motors_ = nullptr;
    ui::CVelTrackBar* slider_ = nullptr;
    ui::CVelLabel* value_ = nullptr;
    ui::CVelButton* calibrate_ = nullptr;
    ui::CVelButton* cancel_ = nullptr;
    ui::CVelButton* record_ = nullptr;
    std::unique_ptr<QObject> keyFilter_;
    HookSubscription stateHook_;
    bool showing_ = false;
    bool waiting_ = false;
};

}  // namespace velcora::gui
