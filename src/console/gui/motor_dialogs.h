// The two tracker dialogs: the parameters of a motor track (with the servo's
// own limits read on request) and the exact value of a track point. Both
// work on an EnvTracker the caller owns (the environment view's trackers).
#pragma once

#include <QTimer>
#include <functional>
#include <memory>

#include "console/manual_control.h"
#include "cyclogram/cyclogram.h"
#include "link/robot_link.h"
#include "platform/reactor.h"
#include "ui/vel_controls.h"
#include "ui/vel_form.h"

namespace velcora::gui {

inline constexpr const char* kServoReadButton = "Считать с сервы";
inline constexpr const char* kServoReadFailed = "Ошибка чтения значений с сервы!";
inline constexpr const char* kServoReadTimedOut = "Вышло время ожидания ответа!";

// "Правка параметров трекера".
class CMotorEditDialog : public ui::CVelForm {
  public:
    enum Command { kCmdOk = 7501, kCmdCancel, kCmdReadServo };

    CMotorEditDialog(IRobotLink& link, platform::Reactor& reactor, const EnvTracker& tracker);
    ~CMotorEditDialog() override;

    // Runs it; on "OK" the tracker takes motor, kind and the three raw values.
    static bool Run(IRobotLink& link, platform::Reactor& reactor, EnvTracker& tracker);

    // The fields over the tracker given.
    EnvTracker Values() const;
    bool Accepted() const { return accepted_; }
    // The servo read's deadline (its timer calls it).
    void TickNow();
    bool Reading() const { return reader_.Pending(); }

    ui::CVelSpinEdit* Motor() const { return motor_; }
    ui::CVelComboBox* Kind() const { return kind_; }
    ui::CVelSpinEdit* Left() const { return left_; }
    ui::CVelSpinEdit* Right() const { return right_; }
    ui::CVelSpinEdit* Default() const { return default_; }
    ui::CVelButton* ReadButton() const { return read_; }

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    void OnRead(ServoReadOutcome outcome, const ServoRange& range);
    void ShowReading(bool on);

    platform::Reactor& reactor_;
    EnvTracker tracker_;
    CServoReader reader_;
    QTimer timer_;
    ui::CVelSpinEdit* motor_ = nullptr;
    ui::CVelComboBox* kind_ = nullptr;
    ui::CVelSpinEdit* left_ = nullptr;
    ui::CVelSpinEdit* right_ = nullptr;
    ui::CVelSpinEdit* default_ = nullptr;
    ui::CVelButton* read_ = nullptr;
    bool accepted_ = false;
};

// "Установить точное значение".
class CTrackValueDialog : public ui::CVelForm {
  public:
    enum Command { kCmdClose = 7521, kCmdSlider, kCmdFraction, kCmdRaw };
    static constexpr int kSliderSteps = 1000;

    // `setPosition` as CTrackValue takes it.
    CTrackValueDialog(EnvTracker& tracker, std::function<void(float)> setPosition = nullptr);

    static void Run(EnvTracker& tracker, std::function<void(float)> setPosition = nullptr);

    const CTrackValue& Value() const { return value_; }
    ui::CVelTrackBar* Slider() const { return slider_; }
    ui::CVelEdit* FractionEdit() const { return fraction_; }
    ui::CVelEdit* RawEdit() const { return raw_; }

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    // Shows the value in the views other than `from`.
    void ShowValue(ui::CVelControl* from);

    CTrackValue value_;
    ui::CVelTrackBar* slider_ = nullptr;
    ui::CVelEdit* fraction_ = nullptr;
    ui::CVelEdit* raw_ = nullptr;
    bool showing_ = false;
};

}  // namespace velcora::gui
