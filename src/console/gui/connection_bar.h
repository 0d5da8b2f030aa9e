// "Подключение" along the top of the main window: direct or through the
// relay, host, port and password, the connect and session recording
// switches, and a row of buttons the window fills with its tool windows.
#pragma once

#include <functional>

#include "console/gui/robot_panels.h"
#include "console/main_controller.h"
#include "link/settings.h"
#include "ui/vel_controls.h"

namespace velcora::gui {

class CConnectionBar : public CControlGroup {
  public:
    enum Command : int { kCmdConnect = 0x110, kCmdConnectionType, kCmdRecordSession };

    // `settings` keeps the host and port of the connection type the operator
    // switches away from; `onRecord` is told where the recording switch was
    // put.
    CConnectionBar(ui::CVelContainer* owner, const PanelContext& context, CSettings& settings,
                   std::function<void(bool down)> onRecord);

    // The fields as shown.
    ConnectionFields Fields() const;
    void SetFields(const ConnectionFields& fields);
    // Shows the stored host and port of the chosen connection type, keeping
    // what the fields held for the type shown before.
    void SwitchConnectionType();
    void ApplyEnabling(bool fields, bool connectDown);

    ui::CVelSpdBtn* ConnectButton() const { return connect_; }
    ui::CVelSpdBtn* RecordButton() const { return record_; }
    ui::CVelEdit* HostEdit() const { return host_; }
    ui::CVelEdit* PasswordEdit() const { return password_; }
    ui::CVelSpinEdit* PortEdit() const { return port_; }
    ui::CVelRadio* DirectRadio() const { return direct_; }
    ui::CVelRadio* TunnelRadio() const { return tunnel_; }

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    CSettings& stored_;
    std::function<void(bool)> onRecord_;
    ui::CVelRadio* direct_ = nullptr;
    ui::CVelRadio* tunnel_ = nullptr;
    int shownConnectionType_ = 0;  // whose host and port the fields show
    ui::CVelEdit* host_ = nullptr;
    ui::CVelEdit* password_ = nullptr;
    ui::CVelSpinEdit* port_ = nullptr;
    ui::CVelSpdBtn* connect_ = nullptr;
    ui::CVelSpdBtn* record_ = nullptr;
};

}  // namespace velcora::gui
