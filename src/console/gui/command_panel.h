// The command panel: operator-defined buttons that send robot-script commands,
// flowing left to right and wrapping at the panel's width, with the menu that
// adds, edits and removes them. A thin view over CCommandButtons.
#pragma once

#include <vector>

#include "console/command_buttons.h"
#include "console/gui/button_list_panel.h"
#include "ui/vel_controls.h"

namespace velcora::gui {

// A speed button of the command panel, 20 pixels high.
class CCommandButton : public ui::CVelSpdBtn {
  public:
    CCommandButton(ui::CVelContainer* owner, const CommandButtonData& data, int id);
    ~CCommandButton() override;
};

class CCommandPanel : public CButtonListPanel<CCommandButton> {
  public:
    enum Command {
        kCmdAdd = 7801,
        kCmdEdit,
        kCmdRemove,
        kCmdButtonFirst = 7900,  // one per button
    };

    CCommandPanel(ui::CVelContainer* owner, uint32_t place, int w, int h, CCommandButtons& buttons);
    ~CCommandPanel() override;

    void Rebuild() override;
    void ApplyEnabling(bool robotControls);
    // Grows or shrinks to the rows the buttons wrap into at the panel's width.
    void FitHeight();

    // The menu commands (the button index for editing and removing).
    void AddButton();
    void EditButton(std::size_t i);
    void RemoveButton(std::size_t i);

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    void Act(std::size_t i, const ButtonAction& action);

    CCommandButtons& model_;
    bool enabled_ = false;
};

}  // namespace velcora::gui
