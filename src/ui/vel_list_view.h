// A list of rows in columns with icons (the "details" view of a file list):
// multi-selection, in-place editing of the first column, and hooks for
// dragging rows out and dropping data in. The rows are not items: a model
// asks the owner for each visible cell, so a list of 100,000 rows costs no
// more than the rows on screen.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <functional>
#include <vector>

#include "ui/vel_control.h"

class QKeyEvent;
class QMimeData;
class QTreeView;

namespace velcora::ui {

class CVelListView : public CVelControl {
    Q_OBJECT
  public:
    struct Column {
        QString title;
        int width = 100;
        Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
        bool stretch = false;  // takes the width the other columns leave
    };
    // Answers one cell: the text (Qt::DisplayRole), the icon
    // (Qt::DecorationRole), the text the editor starts with (Qt::EditRole).
    // An invalid QVariant is an empty cell.
    using CellFn = std::function<QVariant(int row, int column, int role)>;

    struct Hooks {
        // The selection or the current row changed by the operator.
        std::function<void()> selectionChanged;
        // A double click on a row.
        std::function<void(int row)> activated;
        // The list got (true) or lost (false) the keyboard focus.
        std::function<void(bool focused)> focus;
        // A key before the list handles it; true when taken.
        std::function<bool(QKeyEvent* key)> key;
        // Whether a row's name may be edited in place.
        std::function<bool(int row)> editable;
        // The in-place edit of a row ended with `text`. Called from the
        // event loop after the editor has closed, so it may change the rows.
        std::function<void(int row, const QString& text)> edited;
        // The data a drag of the selected rows carries; nullptr: no drag.
        // Drags offer the copy action only.
        std::function<QMimeData*(const std::vector<int>& rows)> dragData;
        // Whether data dragged over the list (from `source`, nullptr when
        // from another program) may be dropped.
        std::function<bool(const QMimeData* data, QObject* source)> canDrop;
        // Data dropped on the list, as a copy; called from the event loop
        // after the drop has finished, so a long operation does not hold
        // the dragging program.
        std::function<void(const QMimeData* data)> dropped;
    };

    CVelListView(CVelContainer* owner, uint32_t place, int w, int h, int id = 0);
    ~CVelListView() override;

    Hooks& On() { return hooks_; }
    QTreeView* View() const;

    void SetColumns(const std::vector<Column>& columns);
    // Replaces every row; the selection is cleared.
    void SetRows(int count, CellFn cell);
    int RowCount() const { return rows_; }

    // Selected rows, ascending.
    std::vector<int> SelectedRows() const;
    // The row with the focus rectangle; -1 when none.
    int CurrentRow() const;
    // Selects `rows` and makes `current` the current row (-1: none); the
    // selection hook is not called.
    void SetSelection(const std::vector<int>& rows, int current);
    void SelectAll();
    void ScrollTo(int row);
    // Opens the editor on the first column of the row; false when the row
    // may not be edited.
    bool EditRow(int row);
    bool IsEditing() const;

  protected:
    bool WidgetEvent(QEvent* e) override;

  private:
    class Model;
    class Tree;
    friend class Model;
    friend class Tree;

    Hooks hooks_;
    Model* model_ = nullptr;
    int rows_ = 0;
    bool settingSelection_ = false;
};

}  // namespace velcora::ui
