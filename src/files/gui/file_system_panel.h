// One side of the file manager: its title, the drive and path combo box and
// the list of the folder's entries ("Файл", "Размер"). It shows what the
// controller holds and reports what the operator does; it decides nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "files/file_manager.h"
#include "ui/vel.h"
#include "ui/vel_list_view.h"

namespace velcora::files {

class CFileSystemPanel : public ui::CVelContainer {
    Q_OBJECT
  public:
    CFileSystemPanel(ui::CVelContainer* owner, uint32_t place, int w, int h, const QString& title,
                     PanelSide side, ui::CVelFont* titleFont);

    PanelSide Side() const { return side_; }
    ui::CVelLabel* Title() const { return title_; }
    ui::CVelComboBox* Combo() const { return combo_; }
    ui::CVelListView* List() const { return list_; }

    // Shows the entries (a copy: the list must not see the controller's
    // while it reads the folder again), the combo entries and the folder.
    void ShowPanel(const CFilePanelModel& model);
    void ShowSelection(const std::vector<std::size_t>& rows, std::optional<std::size_t> current);
    const std::vector<CDirEntry>& Entries() const { return entries_; }

  private:
    PanelSide side_;
    ui::CVelLabel* title_ = nullptr;
    ui::CVelComboBox* combo_ = nullptr;
    ui::CVelListView* list_ = nullptr;
    std::vector<CDirEntry> entries_;
};

}  // namespace velcora::files
