// "Циклограммы" of the main window: the robot's cyclograms as its list
// reply names them, with "Запустить циклограмму" and "Редактировать
// циклограмму". Both act through the cyclogram page, which owns the list
// request and the editing.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/vel_controls.h"

namespace velcora::cyclogram_gui {
class CCyclogramView;
}

namespace velcora::gui {

class CCyclogramPanel : public ui::CVelGroupBox {
  public:
    enum Command { kCmdRun = 7701, kCmdEdit, kCmdList };

    // `showPage` brings the cyclogram page to the front before an edit.
    CCyclogramPanel(ui::CVelContainer* owner, uint32_t place, int w, int h,
                    std::function<void()> showPage);

    // Follows `view`'s list of the robot's cyclograms from now on.
    void Attach(cyclogram_gui::CCyclogramView& view);
    void SetButtonFont(ui::CVelFont* font);

    ui::CVelListBox* List() const { return list_; }
    ui::CVelButton* RunButton() const { return run_; }
    ui::CVelButton* EditButton() const { return edit_; }

    bool HandleEvent(const ui::VelEvent& e) override;

  private:
    void ShowNames(const std::vector<std::string>& names);
    void AddName(const std::string& name);

    std::function<void()> showPage_;
    cyclogram_gui::CCyclogramView* view_ = nullptr;
    ui::CVelListBox* list_ = nullptr;
    ui::CVelButton* run_ = nullptr;
    ui::CVelButton* edit_ = nullptr;
    std::vector<std::string> names_;  // narrow, as the robot sent them
};

}  // namespace velcora::gui
