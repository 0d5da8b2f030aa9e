#include "console/gui/connection_bar.h"

#include <initializer_list>
#include <string>
#include <utility>

namespace velcora::gui {

using namespace velcora::ui;

CConnectionBar::CConnectionBar(CVelContainer* owner, const PanelContext& context,
                               CSettings& settings, std::function<void(bool)> onRecord)
    : CControlGroup(owner, 64, QStringLiteral("Подключение"), context),
      stored_(settings),
      onRecord_(std::move(onRecord)) {
    direct_ = new CVelRadio(this, kPlaceFlow, 96, kPanelRowHeight, QStringLiteral("Напрямую"));
    tunnel_ =
        new CVelRadio(this, kPlaceFlow, 126, kPanelRowHeight, QStringLiteral("Через туннель"));
    Bind(direct_, kCmdConnectionType);
    Bind(tunnel_, kCmdConnectionType);
    new CVelSeparator(this, kPlaceFlow, 2, kPanelRowHeight, Qt::Vertical);
    Bind(new CVelLabel(this, kPlaceFlow, 40, kPanelRowHeight, QStringLiteral("Хост:")), 0);
    host_ = new CVelEdit(this, kPlaceFlow, 140, kPanelRowHeight);
    Bind(new CVelLabel(this, kPlaceFlow, 38, kPanelRowHeight, QStringLiteral("Порт:")), 0);
    port_ = new CVelSpinEdit(this, kPlaceFlow, 76, kPanelRowHeight, 1, 65535, 5554);
    Bind(new CVelLabel(this, kPlaceFlow, 56, kPanelRowHeight, QStringLiteral("Пароль:")), 0);
    password_ = new CVelEdit(this, kPlaceFlow, 110, kPanelRowHeight);
    password_->SetPassword(true);
    for (CVelControl* c : std::initializer_list<CVelControl*>{host_, port_, password_})
        Bind(c, 0);
    connect_ =
        new CVelSpdBtn(this, kPlaceFlow, 120, kPanelRowHeight, QStringLiteral("Подключение"));
    connect_->SetLatching(true);
    connect_->SetHint(QStringLiteral("Установить подключение к роботу (F9)"));
    Bind(connect_, kCmdConnect);
    connect_->SetFont(boldFont_);
    record_ =
        new CVelSpdBtn(this, kPlaceFlow, 130, kPanelRowHeight, QStringLiteral("Запись сеанса"));
    record_->SetLatching(true);
    record_->SetHint(QStringLiteral("Записывать всё, что приходит от робота и уходит к нему"));
    Bind(record_, kCmdRecordSession);
}

ConnectionFields CConnectionBar::Fields() const {
    ConnectionFields f;
    f.connectionType = tunnel_->Checked() ? 1 : 0;
    f.host = host_->Text().trimmed().toStdString();
    f.port = port_->Value();
    f.password = password_->Text().toStdString();
    return f;
}

void CConnectionBar::SetFields(const ConnectionFields& f) {
    direct_->SetChecked(f.connectionType != 1);
    tunnel_->SetChecked(f.connectionType == 1);
    shownConnectionType_ = f.connectionType == 1 ? 1 : 0;
    host_->SetText(QString::fromStdString(f.host));
    port_->SetValue(f.port);
    password_->SetText(QString::fromStdString(f.password));
}

void CConnectionBar::SwitchConnectionType() {
    const int chosen = tunnel_->Checked() ? 1 : 0;
    if (chosen == shownConnectionType_)
        return;
    const std::string host = host_->Text().trimmed().toStdString();
    if (shownConnectionType_ == 1) {
        stored_.pipeHost = host;
        stored_.pipePort = port_->Value();
    } else {
        stored_.host = host;
        stored_.port = port_->Value();
    }
    shownConnectionType_ = chosen;
    host_->SetText(QString::fromStdString(chosen == 1 ? stored_.pipeHost : stored_.host));
    port_->SetValue(chosen == 1 ? stored_.pipePort : stored_.port);
}

void CConnectionBar::ApplyEnabling(bool fields, bool connectDown) {
    for (CVelControl* c :
         std::initializer_list<CVelControl*>{direct_, tunnel_, host_, password_, port_})
        c->SetEnabled(fields);
    connect_->SetDown(connectDown);
}

bool CConnectionBar::HandleEvent(const VelEvent& e) {
    if (e.kind != VelEventKind::Command)
        return CControlGroup::HandleEvent(e);
    switch (e.id) {
        case kCmdConnect:
            if (connect_->Down())
                controller_.PressConnect(Fields());
            else
                controller_.ReleaseConnect();
            return true;
        case kCmdConnectionType:
            SwitchConnectionType();
            return true;
        case kCmdRecordSession:
            if (onRecord_)
                onRecord_(record_->Down());
            return true;
        default:
            return CControlGroup::HandleEvent(e);
    }
}

}  // namespace velcora::gui
