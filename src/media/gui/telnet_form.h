// "Telnet": the robot's console text, read-only on grey in a fixed-pitch
// font, growing at the end as it arrives; a line below it to type commands
// and a strip saying what the connection does. A view over CTelnetConsole.
#pragma once

#include <memory>

#include "link/console_hooks.h"
#include "media/telnet.h"
#include "ui/vel.h"

namespace velcora::media {

class CTelnetForm : public ui::CVelMDIChildForm, public ITelnetView {
    Q_OBJECT
  public:
    static constexpr int kWidth = 800;
    static constexpr int kHeight = 600;

    CTelnetForm(ui::CVelForm* frame, ToolContext& tools);
    ~CTelnetForm() override;

    CTelnetConsole& Console() { return *console_; }
    // The link found the robot / the operator disconnected (relayed by the
    // main window).
    void OnRobotAddress(uint32_t address);
    void OnOperatorDisconnect();
    // Reads the port from the settings again and starts over, as a window
    // opened now would.
    void Reopen();

    ui::CVelMemo* TextArea() const { return text_; }
    ui::CVelEdit* InputLine() const { return input_; }
    ui::CVelLabel* StateStrip() const { return state_; }
    // Sends what the input line holds and clears it.
    void SendInput();

    // ITelnetView
    void TelnetTextChanged(std::u16string_view added, size_t dropped) override;
    void TelnetStateChanged(TelnetState state) override;

  private:
    ToolContext& tools_;
    std::unique_ptr<CTelnetConsole> console_;
    ui::CVelMemo* text_ = nullptr;
    ui::CVelEdit* input_ = nullptr;
    ui::CVelLabel* state_ = nullptr;
    ui::CVelFont* font_ = nullptr;
    ui::CVelFont* textFont_ = nullptr;
};

}  // namespace velcora::media
