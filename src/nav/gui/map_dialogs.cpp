#include "nav/gui/map_dialogs.h"

#include <QDoubleSpinBox>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QSpinBox>
#include <algorithm>
#include <cmath>
#include <limits>

namespace velcora::nav {

namespace {

constexpr int kLabelWidth = 130;
constexpr int kFieldWidth = 170;
constexpr int kRowHeight = 24;
constexpr int kRowGap = 6;

}  // namespace

// ------------------------------------------------------------- number edit

CMapNumberEdit::CMapNumberEdit(ui::CVelContainer* owner, uint32_t place, int w, int h, double min,
                               double max, double step, int decimals, double value)
    : CVelCustomEdit(owner, new QDoubleSpinBox, place, w, h) {
    QDoubleSpinBox* box = SpinBox();
    box->setDecimals(decimals);
    box->setRange(min, max);
    box->setSingleStep(step);
    box->setKeyboardTracking(false);
    SetValue(value);
}

QDoubleSpinBox* CMapNumberEdit::SpinBox() const {
    return static_cast<QDoubleSpinBox*>(Widget());
}

double CMapNumberEdit::Value() const {
    return SpinBox()->value();
}

void CMapNumberEdit::SetValue(double v) {
    SpinBox()->setValue(std::isfinite(v) ? v : 0.0);
}

void CMapNumberEdit::SetReadOnly(bool on) {
    SpinBox()->setReadOnly(on);
}

// ---------------------------------------------------------- property forms

CMapPropertyForm::CMapPropertyForm(const QString& title, int rows)
    : ui::CVelForm(ui::kPlaceScreenCentre, kLabelWidth + kFieldWidth + 40,
                   rows * (kRowHeight + kRowGap) + 70, title) {
    SetEndsLoop(false);
    SetMargin(10);
}

CMapNumberEdit* CMapPropertyForm::Number(const QString& label, double min, double max, double step,
                                         int decimals, double value) {
    FlowNewRow();
    new ui::CVelLabel(this, ui::kPlaceFlow, kLabelWidth, kRowHeight, label);
    auto* edit = new CMapNumberEdit(this, ui::kPlaceFlow, kFieldWidth, kRowHeight, min, max, step,
                                    decimals, std::clamp(value, min, max));
    fields_.push_back(edit);
    return edit;
}

CMapNumberEdit* CMapPropertyForm::Coordinate(const QString& label, double value) {
    return Number(label, -kMaxPropertyValue, kMaxPropertyValue, 1, 2, value);
}

ui::CVelSpinEdit* CMapPropertyForm::Integer(const QString& label, int min, int max, int value) {
    FlowNewRow();
    new ui::CVelLabel(this, ui::kPlaceFlow, kLabelWidth, kRowHeight, label);
    auto* edit = new ui::CVelSpinEdit(this, ui::kPlaceFlow, kFieldWidth, kRowHeight, min, max,
                                      std::clamp(value, min, max));
    fields_.push_back(edit);
    return edit;
}

ui::CVelComboBox* CMapPropertyForm::Choice(const QString& label, const QStringList& items,
                                           int index) {
    FlowNewRow();
    new ui::CVelLabel(this, ui::kPlaceFlow, kLabelWidth, kRowHeight, label);
    auto* box = new ui::CVelComboBox(this, ui::kPlaceFlow, kFieldWidth, kRowHeight);
    box->SetItems(items);
    box->SetItemIndex(index);
    fields_.push_back(box);
    return box;
}

ui::CVelCheckBox* CMapPropertyForm::Check(const QString& text, bool on) {
    FlowNewRow();
    auto* box =
        new ui::CVelCheckBox(this, ui::kPlaceFlow, kLabelWidth + kFieldWidth, kRowHeight, text);
    box->SetChecked(on);
    fields_.push_back(box);
    return box;
}

void CMapPropertyForm::Shown(const QString& label, const QString& value) {
    FlowNewRow();
    new ui::CVelLabel(this, ui::kPlaceFlow, kLabelWidth, kRowHeight, label);
    new ui::CVelLabel(this, ui::kPlaceFlow, kFieldWidth, kRowHeight, value);
}

void CMapPropertyForm::Buttons() {
    FlowNewRow();
    FlowGap(8);
    new ui::CVelButton(this, ui::kPlaceFlow, 90, 26, QStringLiteral("OK"), kCmdOk);
    new ui::CVelButton(this, ui::kPlaceFlow, 90, 26, QStringLiteral("Отмена"), kCmdCancel);
    FlowCentreRow();
}

void CMapPropertyForm::Accept() {
    accepted_ = Values();
    Close(ui::kResultOk);
}

bool CMapPropertyForm::HandleEvent(const ui::VelEvent& e) {
    if (e.kind == ui::VelEventKind::Command && e.id == kCmdOk) {
        Accept();
        return true;
    }
    if (e.kind == ui::VelEventKind::Command && e.id == kCmdCancel) {
        Close(ui::kResultCancel);
        return true;
    }
    return ui::CVelForm::HandleEvent(e);
}

std::optional<ItemProperties> CMapPropertyForm::Run(const ItemProperties& current) {
    CMapPropertyForm* form = std::visit(
        [](const auto& v) -> CMapPropertyForm* {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, ImageProperties>) {
                return new CImagePropertyForm(v);
            } else if constexpr (std::is_same_v<T, WallProperties>) {
                return new CWallPropertyForm(v);
            } else if constexpr (std::is_same_v<T, PlaceProperties>) {
                return new CPlacePropertyForm(v);
            } else if constexpr (std::is_same_v<T, ZoneProperties>) {
                return new CZonePropertyForm(v);
            } else if constexpr (std::is_same_v<T, RobotProperties>) {
                return new CRobotPropertyForm(v);
            } else {
                return new CFloorLinePropertyForm(v);
            }
        },
        current);
    QPointer<ui::CVelControl> alive(form);
    const int result = form->ShowModal();
    if (!alive || result != ui::kResultOk) {
        return std::nullopt;
    }
    return form->Accepted();
}

// The image: its picture in grey beside the fields.
CImagePropertyForm::CImagePropertyForm(const ImageProperties& v)
    : CMapPropertyForm(QStringLiteral("Свойства изображения карты"), 7), v_(v) {
    auto* picture = new ui::CVelPaintBox(this, ui::kAlignRight, 200, 0);
    Widget()->resize(Widget()->width() + 210, std::max(Widget()->height(), 240));
    const ImageProperties* values = &v_;
    picture->SetPaintHandler([values](QPainter& p, const QRect&) {
        p.fillRect(p.viewport(), QColor(224, 224, 224));
        if (values->width <= 0 || values->height <= 0 ||
            values->pixels.size() < static_cast<std::size_t>(values->width) *
                                        static_cast<std::size_t>(values->height)) {
            return;
        }
        const QImage image(values->pixels.data(), values->width, values->height, values->width,
                           QImage::Format_Grayscale8);
        const QRect area = p.viewport().adjusted(4, 4, -4, -4);
        const QSize fitted = image.size().scaled(area.size(), Qt::KeepAspectRatio);
        p.drawImage(QRect(area.topLeft(), fitted), image);
    });
    x_ = Coordinate(QStringLiteral("X (см):"), v.x);
    y_ = Coordinate(QStringLiteral("Y (см):"), v.y);
    angle_ = Coordinate(QStringLiteral("Угол (°):"), v.angle);
    Shown(QStringLiteral("Версия:"), QString::number(v.version));
    noGo_ = Check(QStringLiteral("Не ходить сюда"), v.noGo);
    height_ = Coordinate(QStringLiteral("Высота корпуса:"), v.bodyHeight);
    Buttons();
}

ItemProperties CImagePropertyForm::Values() const {
    ImageProperties out = v_;
    out.x = x_->Value();
    out.y = y_->Value();
    out.angle = angle_->Value();
    out.noGo = noGo_->Checked();
    out.bodyHeight = height_->Value();
    return out;
}

CWallPropertyForm::CWallPropertyForm(const WallProperties& v)
    : CMapPropertyForm(QStringLiteral("Свойства стены карты"), 5), v_(v) {
    x_ = Coordinate(QStringLiteral("X (см):"), v.x);
    y_ = Coordinate(QStringLiteral("Y (см):"), v.y);
    angle_ = Coordinate(QStringLiteral("Угол (°):"), v.angle);
    Shown(QStringLiteral("Сторона:"), QString::number(v.side));
    Shown(QStringLiteral("Версия:"), QString::number(v.version));
    Buttons();
}

ItemProperties CWallPropertyForm::Values() const {
    WallProperties out = v_;
    out.x = x_->Value();
    out.y = y_->Value();
    out.angle = angle_->Value();
    return out;
}

CPlacePropertyForm::CPlacePropertyForm(const PlaceProperties& v)
    : CMapPropertyForm(QStringLiteral("Свойства места карты"), 6), v_(v) {
    number_ = Integer(QStringLiteral("Номер места:"), 1, PlaceProperties::kMaxNumber, v.number);
    height_ = Number(QStringLiteral("Высота корпуса:"), 0, PlaceProperties::kMaxBodyHeight, 1, 1,
                     v.bodyHeight);
    x_ = Coordinate(QStringLiteral("X (см):"), v.x);
    y_ = Coordinate(QStringLiteral("Y (см):"), v.y);
    angle_ = Coordinate(QStringLiteral("Угол (°):"), v.angle);
    Shown(QStringLiteral("Версия:"), QString::number(v.version));
    Buttons();
}

ItemProperties CPlacePropertyForm::Values() const {
    PlaceProperties out = v_;
    out.number = number_->Value();
    out.bodyHeight = height_->Value();
    out.x = x_->Value();
    out.y = y_->Value();
    out.angle = angle_->Value();
    return out;
}

CZonePropertyForm::CZonePropertyForm(const ZoneProperties& v)
    : CMapPropertyForm(QStringLiteral("Свойства зоны карты"), 4), v_(v) {
    type_ = Choice(
        QStringLiteral("Тип зоны:"),
        {QStringLiteral("Узкое место"), QStringLiteral("Светофор"), QStringLiteral("Зона 3")},
        std::clamp(v.zoneType, 1, 3) - 1);
    Shown(QStringLiteral("Версия:"), QString::number(v.version));
    number_ =
        Integer(QStringLiteral("Номер:"), 0, std::numeric_limits<int32_t>::max(), v.zoneNumber);
    parameter_ = Integer(QStringLiteral("Параметр:"), std::numeric_limits<int32_t>::min(),
                         std::numeric_limits<int32_t>::max(), v.parameter);
    Buttons();
}

ItemProperties CZonePropertyForm::Values() const {
    ZoneProperties out = v_;
    out.zoneType = type_->ItemIndex() + 1;
    out.zoneNumber = number_->Value();
    out.parameter = parameter_->Value();
    return out;
}

CRobotPropertyForm::CRobotPropertyForm(const RobotProperties& v)
    : CMapPropertyForm(QStringLiteral("Свойства положения робота"), 3) {
    x_ = Coordinate(QStringLiteral("X (см):"), v.x);
    y_ = Coordinate(QStringLiteral("Y (см):"), v.y);
    angle_ = Coordinate(QStringLiteral("Угол (°):"), v.angle);
    Buttons();
}

ItemProperties CRobotPropertyForm::Values() const {
    return RobotProperties{x_->Value(), y_->Value(), angle_->Value()};
}

CFloorLinePropertyForm::CFloorLinePropertyForm(const FloorLineProperties& v)
    : CMapPropertyForm(QStringLiteral("Линия пола"), 7) {
    x_ = Coordinate(QStringLiteral("X (см):"), v.x);
    y_ = Coordinate(QStringLiteral("Y (см):"), v.y);
    angle_ = Coordinate(QStringLiteral("Угол (°):"), v.angle);
    position_ = Number(QStringLiteral("Положение:"), -1, 1, 0.05, 2, v.position);
    kind_ =
        Choice(QStringLiteral("Тип:"), {QStringLiteral("Продольная"), QStringLiteral("Поперечная")},
               v.kind == FloorLineKind::Transverse ? 1 : 0);
    lift_ = Number(QStringLiteral("Подъемик"), -100, 100, 1, 1, v.lift);
    tilt_ = Number(QStringLiteral("Наклон:"), -100, 100, 1, 2, v.tilt);
    Buttons();
}

ItemProperties CFloorLinePropertyForm::Values() const {
    FloorLineProperties out;
    out.x = x_->Value();
    out.y = y_->Value();
    out.angle = angle_->Value();
    out.position = position_->Value();
    out.kind = kind_->ItemIndex() == 1 ? FloorLineKind::Transverse : FloorLineKind::Longitudinal;
    out.lift = lift_->Value();
    out.tilt = tilt_->Value();
    return out;
}

// --------------------------------------------------------- progress windows

CMapProgressForm::CMapProgressForm(const QString& title, const QString& label, uint32_t maximum,
                                   std::function<void()> onCancel)
    : ui::CVelForm(ui::kPlaceScreenCentre, 340, label.isEmpty() ? 100 : 124, title),
      maximum_(maximum),
      onCancel_(std::move(onCancel)) {
    SetEndsLoop(false);
    SetMargin(10);
    // A map arriving while the operator drives must not take the keyboard
    // from the main window.
    Widget()->setAttribute(Qt::WA_ShowWithoutActivating);
    if (!label.isEmpty()) {
        new ui::CVelLabel(this, ui::kPlaceFlow, 310, 22, label);
        FlowNewRow();
    }
    bar_ = new ui::CVelProgressBar(this, ui::kPlaceFlow, 310, 20, 0, 1000);
    FlowNewRow();
    FlowGap(6);
    new ui::CVelButton(this, ui::kPlaceFlow, 90, 26, QStringLiteral("Отмена"), kCmdCancel);
    FlowCentreRow();
}

void CMapProgressForm::SetMaximum(uint32_t maximum) {
    maximum_ = maximum;
    bar_->SetPosition(0);
}

void CMapProgressForm::SetProgress(uint32_t value) {
    // The bar counts thousandths, so that no packed size overflows its range.
    const uint64_t scaled =
        maximum_ == 0 ? 1000 : std::min<uint64_t>(uint64_t{value} * 1000 / maximum_, 1000);
    bar_->SetPosition(static_cast<int>(scaled));
}

int CMapProgressForm::Position() const {
    return bar_->Position();
}

void CMapProgressForm::Finish() {
    finished_ = true;
    Close(ui::kResultOk);
}

bool CMapProgressForm::CanClose(int) {
    if (!finished_) {
        finished_ = true;
        if (onCancel_) {
            onCancel_();
        }
    }
    return true;
}

bool CMapProgressForm::HandleEvent(const ui::VelEvent& e) {
    if (e.kind == ui::VelEventKind::Command && e.id == kCmdCancel) {
        Close(ui::kResultCancel);
        return true;
    }
    return ui::CVelForm::HandleEvent(e);
}

CUploadForm::CUploadForm(uint32_t packedSize, std::function<void()> onCancel)
    : CMapProgressForm(QStringLiteral("Передача карты"),
                       QStringLiteral("Передача карты на робота..."), packedSize,
                       std::move(onCancel)) {}

CDownloadForm::CDownloadForm(uint32_t packedSize, std::function<void()> onCancel)
    : CMapProgressForm(QStringLiteral("Скачивание карты"), {}, packedSize, std::move(onCancel)) {}

}  // namespace velcora::nav
