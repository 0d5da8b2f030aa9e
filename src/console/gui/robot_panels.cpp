#include "console/gui/robot_panels.h"

#include <QKeyEvent>
#include <QSignalBlocker>
#include <QWidget>
#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

namespace velcora::gui {

using namespace velcora::ui;

namespace {

QString Q(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

void EnableAll(std::initializer_list<CVelControl*> controls, bool on) {
    for (CVelControl* c : controls) {
        if (c)
            c->SetEnabled(on);
    }
}

// The game controller list is filled as it opens, so that a controller
// plugged in meanwhile is offered.
class OpeningFilter : public QObject {
  public:
    explicit OpeningFilter(CChassisPanel* panel) : panel_(panel) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::MouseButtonPress ||
            (e->type() == QEvent::KeyPress &&
             (static_cast<QKeyEvent*>(e)->key() == Qt::Key_F4 ||
              static_cast<QKeyEvent*>(e)->key() == Qt::Key_Space ||
              (static_cast<QKeyEvent*>(e)->modifiers() & Qt::AltModifier))))
            panel_->RefillJoysticks();
        return QObject::eventFilter(watched, e);
    }

  private:
    CChassisPanel* panel_;
};

}  // namespace

// ---- a group of controls -----------------------------------------------------------------

CControlGroup::CControlGroup(CVelContainer* owner, int h, const QString& caption,
                             const PanelContext& context)
    : CVelGroupBox(owner, kAlignTop, 0, h, caption),
      controller_(context.controller),
      settings_(context.settings),
      font_(context.font),
      boldFont_(context.boldFont) {
    SetFont(boldFont_);
    SetMargin(2);
}

void CControlGroup::Bind(CVelControl* c, int id) {
    c->SetId(id);
    c->SetFont(font_);
}

// ---- "Шасси:" ----------------------------------------------------------------------------

CChassisPanel::CChassisPanel(CVelContainer* owner, const PanelContext& context)
    : CControlGroup(owner, context.settings.wheelMode ? 298 : 266, QStringLiteral("Шасси:"),
                    context) {
    SetFlowRowCentred(true);
    driveJoy_ = new CVelJoy(this, kPlaceFlow, true, 130, 130);
    driveJoy_->SetPercent(static_cast<int>(std::lround(controller_.Keys().SpeedScale() * 100)));
    driveJoy_->SetHint(QStringLiteral("W/A/S/D — движение, «,» и «.» — скорость (F3)"));
    driveJoy_->Widget()->installEventFilter(context.keyFilter);
    QObject::connect(driveJoy_, &CVelJoy::valuesChanged, this, [this](float x, float y, float r) {
        controller_.Keys().SetDriveFromJoystick(x, y);
        controller_.Drive().SetDrive(controller_.Keys().DriveX(), controller_.Keys().DriveY(), r);
    });
    FlowNewRow();
    smooth_ =
        new CVelCheckBox(this, kPlaceFlow, 120, kPanelRowHeight, QStringLiteral("Плавный ход"));
    Bind(smooth_, kCmdSmoothRide);
    FlowNewRow();
    Bind(new CVelLabel(this, kPlaceFlow, 80, kPanelRowHeight, QStringLiteral("Громкость:")), 0);
    volume_ = new CVelTrackBar(this, kPlaceFlow, 180, kPanelRowHeight, 0, 100);
    volume_->SetPosition(75);
    Bind(volume_, kCmdVolume);
    if (settings_.wheelMode) {
        FlowNewRow();
        Bind(new CVelLabel(this, kPlaceFlow, 128, kPanelRowHeight,
                           QStringLiteral("Режим движения:")),
             0);
        moveMode_ = new CVelComboBox(this, kPlaceFlow, 132, kPanelRowHeight);
        moveMode_->SetItems(
            {QStringLiteral("Движение"), QStringLiteral("Поворот"), QStringLiteral("Стрейф")});
        moveMode_->SetItemIndex(0);
        Bind(moveMode_, kCmdMoveMode);
    }
    FlowNewRow();
    Bind(new CVelLabel(this, kPlaceFlow, 80, kPanelRowHeight, QStringLiteral("Джойстик:")), 0);
    joystickList_ = new CVelComboBox(this, kPlaceFlow, 180, kPanelRowHeight);
    joystickList_->SetHint(QStringLiteral("Игровой контроллер для управления роботом"));
    Bind(joystickList_, kCmdJoystick);
    joystickListFilter_ = std::make_unique<OpeningFilter>(this);
    joystickList_->Widget()->installEventFilter(joystickListFilter_.get());
    RefillJoysticks();
}

void CChassisPanel::RefillJoysticks() {
    const std::vector<std::string> entries = controller_.JoystickEntries();
    QStringList items;
    for (const auto& e : entries)
        items << Q(e);
    joystickList_->SetItems(items);
    joystickList_->SetItemIndex(controller_.JoystickEntry(entries.size()));
}

void CChassisPanel::ShowDrive(float x, float y) {
    const QSignalBlocker block(driveJoy_);
    driveJoy_->SetValues(x, y, driveJoy_->R());
    driveJoy_->SetPercent(static_cast<int>(std::lround(controller_.Keys().SpeedScale() * 100)));
}

void CChassisPanel::ShowStick(float x, float y, float r) {
    const QSignalBlocker block(driveJoy_);
    driveJoy_->SetValues(x, y, r);
}

void CChassisPanel::ShowSmoothRide(bool on) {
    smooth_->SetChecked(on);
}

void CChassisPanel::ShowMoveMode(MoveMode mode) {
    if (moveMode_)
        moveMode_->SetItemIndex(static_cast<int>(mode));
}

void CChassisPanel::ApplyEnabling(bool robotControls) {
    volume_->SetEnabled(robotControls);
}

bool CChassisPanel::HandleEvent(const VelEvent& e) {
    if (e.kind != VelEventKind::Command)
        return CControlGroup::HandleEvent(e);
    switch (e.id) {
        case kCmdSmoothRide:
            controller_.Keys().SetSmoothRide(smooth_->Checked());
            return true;
        case kCmdVolume:
            if (e.notify == VelNotify::Changed)
                controller_.SetVolume(volume_->Position());
            return true;
        case kCmdMoveMode:
            if (moveMode_ && moveMode_->ItemIndex() >= 0)
                controller_.Keys().SetMoveMode(static_cast<MoveMode>(moveMode_->ItemIndex()));
            return true;
        case kCmdJoystick:
            controller_.ChooseJoystick(joystickList_->ItemIndex());
            return true;
        default:
            return CControlGroup::HandleEvent(e);
    }
}

// ---- "Режимы робота" ---------------------------------------------------------------------

CModesPanel::CModesPanel(CVelContainer* owner, const PanelContext& context)
    : CControlGroup(owner, context.settings.park || !context.settings.avatars.empty() ? 100 : 66,
                    QStringLiteral("Режимы робота"), context) {
    SetFlowRowCentred(true);
    autoMode_ = new CVelSpdBtn(this, kPlaceFlow, 80, kPanelRowHeight, QStringLiteral("Авто"));
    autoMode_->SetLatching(true);
    autoMode_->SetHint(QStringLiteral("Автоматический режим"));
    Bind(autoMode_, kCmdAutoMode);
    randomWalk_ =
        new CVelSpdBtn(this, kPlaceFlow, 100, kPanelRowHeight, QStringLiteral("Блуждать"));
    randomWalk_->SetLatching(true);
    randomWalk_->SetHint(QStringLiteral("Режим случайных блужданий"));
    Bind(randomWalk_, kCmdRandomWalk);
    qrMode_ = new CVelSpdBtn(this, kPlaceFlow, 60, kPanelRowHeight, QStringLiteral("QR"));
    qrMode_->SetLatching(true);
    qrMode_->SetHint(QStringLiteral("Режим \"Следуй за QR-кодом\""));
    Bind(qrMode_, kCmdQrMode);

    if (settings_.park) {
        FlowNewRow();
        parkStart_ =
            new CVelButton(this, kPlaceFlow, 100, kPanelRowHeight, QStringLiteral("Парковка"));
        parkStart_->SetHint(QStringLiteral("Начать парковку на зарядное устройство"));
        Bind(parkStart_, kCmdParkStart);
        parkStop_ = new CVelButton(this, kPlaceFlow, 60, kPanelRowHeight, QStringLiteral("Стоп"));
        parkStop_->SetHint(QStringLiteral("Остановить парковку на зарядное устройство"));
        Bind(parkStop_, kCmdParkStop);
    }
    if (!settings_.avatars.empty()) {
        avatar_ =
            new CVelButton(this, kPlaceFlow, 100, kPanelRowHeight, QStringLiteral("Аватар ▾"));
        avatar_->SetHint(QStringLiteral("Выбрать аватар робота"));
        Bind(avatar_, kCmdAvatar);
        CVelPopupMenu* menu = CVelPopupMenu::Create();
        for (std::size_t i = 0; i < settings_.avatars.size(); ++i)
            menu->AddItem(kCmdAvatarFirst + static_cast<int>(i), Q(settings_.avatars[i].name));
        avatar_->SetPopupMenu(menu);
        menu->Release();  // the button holds it
    }
}

void CModesPanel::ApplyEnabling(bool robotControls) {
    EnableAll({autoMode_, randomWalk_, qrMode_, parkStart_, parkStop_, avatar_}, robotControls);
}

bool CModesPanel::HandleEvent(const VelEvent& e) {
    if (e.kind != VelEventKind::Command)
        return CControlGroup::HandleEvent(e);
    const int id = e.id;
    if (id >= kCmdAvatarFirst &&
        id < kCmdAvatarFirst + static_cast<int>(settings_.avatars.size())) {
        controller_.ChooseAvatar(static_cast<std::size_t>(id - kCmdAvatarFirst));
        return true;
    }
    switch (id) {
        case kCmdAutoMode:
            controller_.SetAutoMode(autoMode_->Down());
            return true;
        case kCmdRandomWalk:
            controller_.SetRandomWalk(randomWalk_->Down());
            return true;
        case kCmdQrMode:
            controller_.SetQrMode(qrMode_->Down());
            return true;
        case kCmdParkStart:
            controller_.Parking(true);
            return true;
        case kCmdParkStop:
            controller_.Parking(false);
            return true;
        case kCmdAvatar:
            if (avatar_)
                avatar_->ShowPopupMenu(
                    avatar_->Widget()->mapToGlobal(QPoint(0, avatar_->Widget()->height())));
            return true;
        default:
            return CControlGroup::HandleEvent(e);
    }
}

// ---- "Эмоции" ----------------------------------------------------------------------------

CEmotionPanel::CEmotionPanel(CVelContainer* owner, const PanelContext& context)
    : CControlGroup(owner, 64, QStringLiteral("Эмоции"), context) {
    static const char* const kHints[kEmotionCount] = {"Нейтральная эмоция (клавиша 4)",
                                                      "Грусть (клавиша 5)",
                                                      "Улыбка (клавиша 6)",
                                                      "Глаза сердечками (клавиша 7)",
                                                      "Подмигнуть влево (клавиша 9)",
                                                      "Подмигнуть право (клавиша 0)"};
    static const char* const kFaces[kEmotionCount] = {"😐", "☹", "☺", "♥", "◐", "◑"};
    SetFlowRowCentred(true);
    for (int i = 0; i < kEmotionCount; ++i) {
        auto* b = new CVelSpdBtn(this, kPlaceFlow, 36, 30, QString::fromUtf8(kFaces[i]));
        b->SetLatching(true);
        b->SetHint(QString::fromUtf8(kHints[i]));
        Bind(b, kCmdEmotion0 + i);
        buttons_[static_cast<std::size_t>(i)] = b;
    }
}

void CEmotionPanel::ShowEmotion(int emotion) {
    for (int i = 0; i < kEmotionCount; ++i)
        Button(i)->SetDown(i == emotion);
}

bool CEmotionPanel::HandleEvent(const VelEvent& e) {
    if (e.kind != VelEventKind::Command || e.id < kCmdEmotion0 ||
        e.id >= kCmdEmotion0 + kEmotionCount)
        return CControlGroup::HandleEvent(e);
    // Sent only while authorised; otherwise the button springs back.
    const int i = e.id - kCmdEmotion0;
    if (!controller_.Drive().Emotion(i))
        Button(i)->SetDown(false);
    return true;
}

// ---- "Голова:" ---------------------------------------------------------------------------

CHeadPanel::CHeadPanel(CVelContainer* owner, const PanelContext& context)
    : CControlGroup(owner, context.settings.headAxis != 0 ? 200 : 210, QStringLiteral("Голова:"),
                    context) {
    SetFlowRowCentred(true);
    if (settings_.headAxis != 0) {
        // Only the absolute head joystick has a third axis.
        headJoy_ = new CVelJoy(this, kPlaceFlow, settings_.headDeltas == 0, 120, 120);
        headJoy_->SetHint(QStringLiteral("I/K/J/L — голова, M — в исходное положение"));
        headJoy_->Widget()->installEventFilter(context.keyFilter);
        QObject::connect(headJoy_, &CVelJoy::valuesChanged, this,
                         [this](float x, float y, float r) { controller_.MoveHead(x, y, r); });
    } else {
        headSlider_ = new CVelTrackBar(this, kPlaceFlow, 40, 130, -32767, 32767, Qt::Vertical);
        headSlider_->SetHint(QStringLiteral("Голова: J/L, M — в исходное положение"));
        headSlider_->Widget()->installEventFilter(context.keyFilter);
        Bind(headSlider_, kCmdHeadSlider);
    }
    FlowNewRow();
    home_ = new CVelButton(this, kPlaceFlow, 150, kPanelRowHeight, QStringLiteral("Исходное (M)"));
    Bind(home_, kCmdHeadHome);
}

void CHeadPanel::ShowHead(float x, float y, float z) {
    if (headJoy_) {
        const QSignalBlocker block(headJoy_);
        headJoy_->SetValues(x, y, z);
    }
}

void CHeadPanel::ShowHeadSlider(int16_t value) {
    if (headSlider_)
        headSlider_->SetPosition(value);
}

void CHeadPanel::ApplyEnabling(bool robotControls) {
    EnableAll({headSlider_}, robotControls);
}

bool CHeadPanel::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command && e.id == kCmdHeadSlider && headSlider_) {
        controller_.MoveHeadSlider(static_cast<int16_t>(headSlider_->Position()));
        return true;
    }
    if (e.kind == VelEventKind::Command && e.id == kCmdHeadHome) {
        controller_.Keys().KeyDown(ConsoleKey::HeadHome);
        return true;
    }
    return CControlGroup::HandleEvent(e);
}

// ---- raise and lower ---------------------------------------------------------------------

CRaiseLowerPanel::CRaiseLowerPanel(CVelContainer* owner, int h, const QString& caption,
                                   const PanelContext& context, bool latching)
    : CControlGroup(owner, h, caption, context), latching_(latching) {
    raise_ = new CVelSpdBtn(this, kPlaceFlow, 90, kPanelRowHeight, QStringLiteral("▲ Вверх"));
    Bind(raise_, kCmdRaise);
    lower_ = new CVelSpdBtn(this, kPlaceFlow, 90, kPanelRowHeight, QStringLiteral("▼ Вниз"));
    Bind(lower_, kCmdLower);
    for (auto* b : {raise_, lower_})
        b->SetLatching(latching_);
}

void CRaiseLowerPanel::ShowButtons(bool raiseDown, bool lowerDown) {
    raise_->SetDown(raiseDown);
    lower_->SetDown(lowerDown);
}

void CRaiseLowerPanel::ApplyEnabling(bool robotControls) {
    EnableAll({raise_, lower_}, robotControls);
}

bool CRaiseLowerPanel::HandleEvent(const VelEvent& e) {
    const bool ours = e.control == raise_ || e.control == lower_;
    const LiftButton which = e.control == raise_ ? LiftButton::Raise : LiftButton::Lower;
    // Latching buttons act on the click; momentary ones while held.
    if (e.kind == VelEventKind::Command && ours) {
        if (latching_)
            Edge(which, ButtonEdge::Press);
        return true;
    }
    if ((e.kind == VelEventKind::LeftDown || e.kind == VelEventKind::LeftUp) && ours &&
        !latching_ && e.control->IsEnabled()) {
        Edge(which, e.kind == VelEventKind::LeftDown ? ButtonEdge::Press : ButtonEdge::Release);
        return true;
    }
    return CControlGroup::HandleEvent(e);
}

// ---- "Подъемик" --------------------------------------------------------------------------

CLiftPanel::CLiftPanel(CVelContainer* owner, const PanelContext& context)
    : CRaiseLowerPanel(owner, 130, QStringLiteral("Подъемик"), context,
                       context.settings.liftFixedMode) {
    FlowNewRow();
    Bind(new CVelLabel(this, kPlaceFlow, 56, kPanelRowHeight, QStringLiteral("Высота:")), 0);
    height_ = new CVelEdit(this, kPlaceFlow, 56, kPanelRowHeight, QStringLiteral("0.0"));
    Bind(height_, 0);
    sendHeight_ = new CVelButton(this, kPlaceFlow, 72, kPanelRowHeight, QStringLiteral("Задать"));
    sendHeight_->SetHint(QStringLiteral("Задать высоту корпуса"));
    Bind(sendHeight_, kCmdSendHeight);
    FlowNewRow();
    Bind(new CVelLabel(this, kPlaceFlow, 72, kPanelRowHeight, QStringLiteral("Сейчас:")), 0);
    heightLabel_ = new CVelLabel(this, kPlaceFlow, 80, kPanelRowHeight, QStringLiteral("—"));
    heightLabel_->SetFont(boldFont_);
}

void CLiftPanel::ApplyEnabling(bool robotControls) {
    CRaiseLowerPanel::ApplyEnabling(robotControls);
    EnableAll({height_, sendHeight_}, robotControls);
}

bool CLiftPanel::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command && e.id == kCmdSendHeight) {
        bool ok = false;
        const double h = height_->Text().trimmed().replace(',', '.').toDouble(&ok);
        if (ok && std::isfinite(h))
            controller_.SendHeight(h);
        return true;
    }
    return CRaiseLowerPanel::HandleEvent(e);
}

void CLiftPanel::Edge(LiftButton which, ButtonEdge edge) {
    controller_.Drive().LiftButtonEdge(which, edge);
}

// ---- "Поднос" ----------------------------------------------------------------------------

CTrayPanel::CTrayPanel(CVelContainer* owner, const PanelContext& context)
    : CRaiseLowerPanel(owner, context.settings.autobalans ? 98 : 66, QStringLiteral("Поднос"),
                       context, context.settings.trayFixedMode) {
    if (settings_.autobalans) {
        FlowNewRow();
        autobalance_ =
            new CVelCheckBox(this, kPlaceFlow, 120, kPanelRowHeight, QStringLiteral("Автобаланс"));
        Bind(autobalance_, kCmdAutobalance);
    }
}

void CTrayPanel::ShowAutobalance(bool on) {
    if (autobalance_)
        autobalance_->SetChecked(on);
}

void CTrayPanel::ApplyEnabling(bool robotControls) {
    CRaiseLowerPanel::ApplyEnabling(robotControls);
    EnableAll({autobalance_}, robotControls);
}

bool CTrayPanel::HandleEvent(const VelEvent& e) {
    if (e.kind == VelEventKind::Command && e.id == kCmdAutobalance && autobalance_) {
        controller_.Drive().SetAutobalance(autobalance_->Checked());
        return true;
    }
    return CRaiseLowerPanel::HandleEvent(e);
}

void CTrayPanel::Edge(LiftButton which, ButtonEdge edge) {
    controller_.Drive().TrayButtonEdge(which, edge);
}

}  // namespace velcora::gui
