#include "console/gui/manual_form.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QSlider>

#include "console/gui/gesture_panel.h"
#include "link/robot_connection.h"
#include "platform/reactor.h"
#include "ui/layout_geometry.h"

namespace velcora::gui {

using namespace velcora::ui;

namespace {

QString U(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// The first arrow press towards the other side stops the motor; the slider
// sees the key only when the controller lets it through.
class ArrowFilter : public QObject {
  public:
    explicit ArrowFilter(std::function<bool(bool left)> arrow) : arrow_(std::move(arrow)) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(e)->key();
            if ((key == Qt::Key_Left || key == Qt::Key_Right) && arrow_(key == Qt::Key_Left))
                return true;
        }
        return QObject::eventFilter(watched, e);
    }

  private:
    std::function<bool(bool)> arrow_;
};

}  // namespace

CManualForm::CManualForm(CVelForm* frame, ToolContext& tools, CGestureRecorder& recorder,
                         CGestures& gestures)
    : CVelMDIChildForm(frame, 560, 320, QStringLiteral("Сервисное обслуживание")),
      tools_(tools),
      recorder_(recorder),
      gestures_(gestures),
      control_(tools.connection),
      entries_(MotorEntries(tools.settings)) {
    SetMargin(8);
    motors_ = new CVelListBox(this, kAlignLeft, 210, 0, kCmdMotors);
    for (const auto& m : entries_)
        motors_->AddItem(U(m.caption));
    auto* right = new CVelPanel(this, kAlignClient, 0, 0);
    right->SetMargin(10);
    new CVelLabel(right, kPlaceFlow, 300, 22, QStringLiteral("Скорость мотора:"));
    right->FlowNewRow();
    slider_ = new CVelTrackBar(right, kPlaceFlow, 300, 30, kManualSliderMin, kManualSliderMax,
                               Qt::Horizontal, kCmdSlider);
    slider_->Slider()->setSingleStep(kManualSliderStep);
    slider_->Slider()->setPageStep(kManualSliderStep * 4);
    slider_->Slider()->setTickInterval(kManualSliderStep * 6);
    slider_->Slider()->setTickPosition(QSlider::TicksBelow);
    slider_->SetHint(QStringLiteral("Двойной щелчок — остановить"));
    right->FlowNewRow();
    value_ = new CVelLabel(right, kPlaceFlow, 300, 22, QStringLiteral("0"), Qt::AlignCenter);
    right->FlowNewRow();
    calibrate_ =
        new CVelButton(right, kPlaceFlow, 140, 28, QStringLiteral("Калибровка"), kCmdCalibrate);
    cancel_ = new CVelButton(right, kPlaceFlow, 140, 28, QStringLiteral("Отмена"), kCmdCancel);
    right->FlowNewRow();
    record_ =
        new CVelButton(right, kPlaceFlow, 286, 28, QStringLiteral("Записать жест"), kCmdRecord);
    keyFilter_ = std::make_unique<ArrowFilter>([this](bool left) {
        if (!control_.ArrowKey(left))
            return false;
        ShowSlider(0);
        return true;
    });
    slider_->Slider()->installEventFilter(keyFilter_.get());
    stateHook_ = tools_.hooks.OnStateChanged([this](int32_t) { Refresh(); });
    Refresh();
}

CManualForm::~CManualForm() {
    if (slider_ && slider_->Slider())
        slider_->Slider()->removeEventFilter(keyFilter_.get());
    // A motor left running is stopped as the window goes.
    control_.Close();
    if (waiting_)
        QApplication::restoreOverrideCursor();
}

void CManualForm::ShowSlider(int value) {
    showing_ = true;
    slider_->SetPosition(value);
    value_->SetText(QString::number(value));
    showing_ = false;
}

void CManualForm::Refresh() {
    const ManualEnabling e = control_.Enabling();
    motors_->SetEnabled(e.list);
    slider_->SetEnabled(e.slider);
    calibrate_->SetEnabled(e.calibrate);
    cancel_->SetEnabled(e.cancel);
    record_->SetEnabled(e.record && !waiting_);
}

void CManualForm::SetWaiting(bool on) {
    if (on == waiting_)
        return;
    waiting_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    Refresh();
}

void CManualForm::Record() {
    if (waiting_ || !control_.Enabling().record)
        return;
    QPointer<CManualForm> self(this);
    const bool started =
        StartGestureRecording(recorder_, gestures_, tools_.reactor.Now(), [self](bool) {
            if (self)
                self->SetWaiting(false);
        });
    if (self && started)
        SetWaiting(true);
}

bool CManualForm::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::LeftDoubleClick && e.control == slider_ && slider_->IsEnabled()) {
        control_.ResetSlider();
        ShowSlider(0);
        return true;
    }
    if (e.kind != VelEventKind::Command)
        return CVelMDIChildForm::HandleEvent(e);
    switch (e.id) {
        case kCmdMotors: {
            const int row = motors_->ItemIndex();
            control_.Select(row >= 0 && row < static_cast<int>(entries_.size())
                                ? entries_[static_cast<std::size_t>(row)].motor
                                : 0);
            ShowSlider(control_.Slider());
            Refresh();
            return true;
        }
        case kCmdSlider:
            if (!showing_) {
                const int shown = control_.SetSlider(slider_->Position());
                if (shown != slider_->Position())
                    ShowSlider(shown);
                else
                    value_->SetText(QString::number(shown));
            }
            return true;
        case kCmdCalibrate:
            control_.Calibrate();
            return true;
        case kCmdCancel:
            control_.CancelCalibration();
            return true;
        case kCmdRecord:
            Record();
            return true;
        default:
            return CVelMDIChildForm::HandleEvent(e);
    }
}

}  // namespace velcora::gui
