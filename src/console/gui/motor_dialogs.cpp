#include "console/gui/motor_dialogs.h"

#include <QApplication>
#include <QPointer>
#include <algorithm>
#include <cmath>

#include "ui/layout_geometry.h"

namespace velcora::gui {

using namespace velcora::ui;

namespace {

QString U(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

constexpr int kRawMin = -2147483647;
constexpr int kRawMax = 2147483647;

CVelSpinEdit* SpinRow(CVelContainer* owner, const char* label, int value, int min = kRawMin,
                      int max = kRawMax) {
    owner->FlowNewRow();
    new CVelLabel(owner, kPlaceFlow, 150, 24, U(label));
    return new CVelSpinEdit(owner, kPlaceFlow, 140, 24, min, max, value);
}

// Tall enough for every row it holds, whatever the fonts make of them.
void FitRows(CVelForm& form) {
    QWidget* w = form.Widget();
    w->resize(w->width(), std::max(w->height(), form.FlowBottom() + form.Margin()));
}

}  // namespace

// ------------------------------------------------------------ motor parameters

CMotorEditDialog::CMotorEditDialog(IRobotLink& link, platform::Reactor& reactor,
                                   const EnvTracker& tracker)
    : CVelForm(kPlaceScreenCentre, 340, 250, QStringLiteral("Правка параметров трекера")),
      reactor_(reactor),
      tracker_(tracker),
      reader_(link, [this](ServoReadOutcome o, const ServoRange& r) { OnRead(o, r); }) {
    SetEndsLoop(false);
    SetMargin(10);
    motor_ = SpinRow(this, "Номер мотора:", tracker.motor, 0, 255);
    FlowNewRow();
    new CVelLabel(this, kPlaceFlow, 150, 24, QStringLiteral("Тип трекера:"));
    kind_ = new CVelComboBox(this, kPlaceFlow, 140, 24);
    kind_->AddItem(QStringLiteral("Горизонтальный"));
    kind_->AddItem(QStringLiteral("Вертикальный"));
    kind_->SetItemIndex(tracker.kind == 1 ? 1 : 0);
    left_ = SpinRow(this, "Левое значение:", tracker.leftRaw);
    right_ = SpinRow(this, "Правое значение:", tracker.rightRaw);
    default_ = SpinRow(this, "По умолчанию:", tracker.defaultRaw);
    FlowNewRow();
    read_ = new CVelButton(this, kPlaceFlow, 296, 26, U(kServoReadButton), kCmdReadServo);
    FlowNewRow();
    new CVelButton(this, kPlaceFlow, 90, 26, QStringLiteral("OK"), kCmdOk);
    new CVelButton(this, kPlaceFlow, 90, 26, QStringLiteral("Отмена"), kCmdCancel);
    FlowCentreRow();
    FitRows(*this);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { TickNow(); });
}

CMotorEditDialog::~CMotorEditDialog() {
    timer_.stop();
    if (reader_.Pending())
        QApplication::restoreOverrideCursor();
}

void CMotorEditDialog::TickNow() {
    reader_.Tick(reactor_.Now());
}

void CMotorEditDialog::ShowReading(bool on) {
    read_->SetText(on ? QStringLiteral("Отмена") : U(kServoReadButton));
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        timer_.start(20);
    } else {
        QApplication::restoreOverrideCursor();
        timer_.stop();
    }
}

void CMotorEditDialog::OnRead(ServoReadOutcome outcome, const ServoRange& range) {
    ShowReading(false);
    switch (outcome) {
        case ServoReadOutcome::Read:
            left_->SetValue(range.left);
            right_->SetValue(range.right);
            default_->SetValue(range.defaultRaw);
            break;
        case ServoReadOutcome::Failed:
            ShowError(U(kServoReadFailed), 10000);
            break;
        case ServoReadOutcome::TimedOut:
            ShowError(U(kServoReadTimedOut), 10000);
            break;
    }
}

EnvTracker CMotorEditDialog::Values() const {
    EnvTracker t = tracker_;
    t.motor = motor_->Value();
    t.kind = kind_->ItemIndex() == 1 ? 1 : 0;
    t.leftRaw = left_->Value();
    t.rightRaw = right_->Value();
    t.defaultRaw = default_->Value();
    return t;
}

bool CMotorEditDialog::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command) {
        switch (e.id) {
            case kCmdReadServo:
                // The button reads "Отмена" while a read is pending.
                if (reader_.Pending()) {
                    reader_.Cancel();
                    ShowReading(false);
                } else if (reader_.Start(motor_->Value(), reactor_.Now())) {
                    ShowReading(true);
                }
                return true;
            case kCmdOk:
                accepted_ = true;
                Close(kResultOk);
                return true;
            case kCmdCancel:
                Close(kResultCancel);
                return true;
            default:
                break;
        }
    }
    return CVelForm::HandleEvent(e);
}

bool CMotorEditDialog::Run(IRobotLink& link, platform::Reactor& reactor, EnvTracker& tracker) {
    auto* dialog = new CMotorEditDialog(link, reactor, tracker);
    QPointer<CVelControl> alive(dialog);
    const int result = dialog->ShowModal();
    if (!alive || result != kResultOk)
        return false;
    tracker = dialog->Values();
    return true;
}

// ------------------------------------------------------------------ exact value

CTrackValueDialog::CTrackValueDialog(EnvTracker& tracker, std::function<void(float)> setPosition)
    : CVelForm(kPlaceScreenCentre, 360, 150, QStringLiteral("Установить точное значение")),
      value_(tracker, std::move(setPosition)) {
    SetEndsLoop(false);
    SetMargin(10);
    slider_ =
        new CVelTrackBar(this, kPlaceFlow, 330, 26, 0, kSliderSteps, Qt::Horizontal, kCmdSlider);
    FlowNewRow();
    new CVelLabel(this, kPlaceFlow, 70, 24, QStringLiteral("Значение:"));
    fraction_ = new CVelEdit(this, kPlaceFlow, 90, 24, {}, kCmdFraction);
    new CVelLabel(this, kPlaceFlow, 40, 24, QStringLiteral("RAW:"),
                  Qt::AlignRight | Qt::AlignVCenter);
    raw_ = new CVelEdit(this, kPlaceFlow, 110, 24, {}, kCmdRaw);
    FlowNewRow();
    new CVelButton(this, kPlaceFlow, 90, 26, QStringLiteral("OK"), kCmdClose);
    FlowCentreRow();
    FitRows(*this);
    ShowValue(nullptr);
}

void CTrackValueDialog::ShowValue(CVelControl* from) {
    showing_ = true;
    if (from != slider_)
        slider_->SetPosition(static_cast<int>(std::lround(value_.Fraction() * kSliderSteps)));
    fraction_->SetText(QString::number(static_cast<double>(value_.Fraction()), 'f', 3));
    raw_->SetText(QString::number(value_.Raw()));
    showing_ = false;
}

bool CTrackValueDialog::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command) {
        switch (e.id) {
            case kCmdSlider:
                if (!showing_) {
                    value_.SetFraction(static_cast<double>(slider_->Position()) / kSliderSteps);
                    ShowValue(slider_);
                }
                return true;
            case kCmdFraction:
                // Enter applies the typed value.
                if (e.notify == VelNotify::Activated &&
                    value_.SetFractionText(fraction_->Text().toStdString()))
                    ShowValue(fraction_);
                return true;
            case kCmdRaw:
                if (e.notify == VelNotify::Activated &&
                    value_.SetRawText(raw_->Text().toStdString()))
                    ShowValue(raw_);
                return true;
            case kCmdClose:
                Close(kResultOk);
                return true;
            default:
                break;
        }
    }
    return CVelForm::HandleEvent(e);
}

void CTrackValueDialog::Run(EnvTracker& tracker, std::function<void(float)> setPosition) {
    auto* dialog = new CTrackValueDialog(tracker, std::move(setPosition));
    dialog->ShowModal();
}

}  // namespace velcora::gui
