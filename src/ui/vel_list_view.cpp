#include "ui/vel_list_view.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QItemSelection>
#include <QKeyEvent>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <memory>

namespace velcora::ui {

// ---- the model: every cell comes from the owner's function ------------------

class CVelListView::Model : public QAbstractTableModel {
  public:
    explicit Model(CVelListView& list) : QAbstractTableModel(nullptr), list_(list) {}

    void SetColumns(const std::vector<Column>& columns) {
        beginResetModel();
        columns_ = columns;
        endResetModel();
    }
    void SetRows(int count, CellFn cell) {
        beginResetModel();
        count_ = count;
        cell_ = std::move(cell);
        endResetModel();
    }
    const std::vector<Column>& Columns() const { return columns_; }

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : count_; }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(columns_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= count_) {
            return {};
        }
        if (role == Qt::TextAlignmentRole) {
            const auto c = static_cast<std::size_t>(index.column());
            return c < columns_.size() ? QVariant(static_cast<int>(columns_[c].align)) : QVariant();
        }
        if (!cell_ || (role != Qt::DisplayRole && role != Qt::DecorationRole &&
                       role != Qt::EditRole && role != Qt::ToolTipRole)) {
            return {};
        }
        if (role == Qt::DecorationRole && index.column() != 0) {
            return {};
        }
        QVariant v = cell_(index.row(), index.column(), role);
        if (role == Qt::EditRole && !v.isValid()) {
            v = cell_(index.row(), index.column(), Qt::DisplayRole);
        }
        return v;
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        const auto c = static_cast<std::size_t>(section);
        if (o != Qt::Horizontal || c >= columns_.size()) {
            return {};
        }
        if (role == Qt::DisplayRole) {
            return columns_[c].title;
        }
        if (role == Qt::TextAlignmentRole) {
            return static_cast<int>(columns_[c].align);
        }
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = QAbstractTableModel::flags(index);
        if (!index.isValid()) {
            return f | Qt::ItemIsDropEnabled;
        }
        f |= Qt::ItemIsDragEnabled;
        if (index.column() == 0 && list_.hooks_.editable && list_.hooks_.editable(index.row())) {
            f |= Qt::ItemIsEditable;
        }
        return f;
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole || !index.isValid() || !list_.hooks_.edited) {
            return false;
        }
        // The editor is still closing: the owner may replace every row in
        // answer, so it hears of the edit once the editor is gone.
        const int row = index.row();
        const QString text = value.toString();
        QPointer<CVelControl> alive(&list_);
        QTimer::singleShot(0, &list_, [this, alive, row, text] {
            if (alive && list_.hooks_.edited) {
                list_.hooks_.edited(row, text);
            }
        });
        return true;
    }
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

  private:
    CVelListView& list_;
    std::vector<Column> columns_;
    int count_ = 0;
    CellFn cell_;
};

// ---- the view: drag and drop go through the hooks ---------------------------

namespace {

// Keeps every format of dropped data for after the drop.
QMimeData* CopyOf(const QMimeData* data) {
    auto* copy = new QMimeData;
    for (const QString& format : data->formats()) {
        copy->setData(format, data->data(format));
    }
    return copy;
}

}  // namespace

class CVelListView::Tree : public QTreeView {
  public:
    explicit Tree(CVelListView* list) : list_(list) {}
    void Detach() { list_ = nullptr; }
    bool Editing() const { return state() == EditingState; }

  protected:
    void startDrag(Qt::DropActions) override {
        if (!list_ || !list_->hooks_.dragData) {
            return;
        }
        QMimeData* data = list_->hooks_.dragData(list_->SelectedRows());
        if (!data) {
            return;
        }
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        // Only a copy: a program told "moved" deletes what it gave.
        drag->exec(Qt::CopyAction, Qt::CopyAction);
    }
    void dragEnterEvent(QDragEnterEvent* e) override { Judge(e); }
    void dragMoveEvent(QDragMoveEvent* e) override { Judge(e); }
    void dropEvent(QDropEvent* e) override {
        if (!Acceptable(e)) {
            e->ignore();
            return;
        }
        e->setDropAction(Qt::CopyAction);
        e->accept();
        std::shared_ptr<QMimeData> copy(CopyOf(e->mimeData()));
        QPointer<Tree> alive(this);
        QTimer::singleShot(0, this, [alive, copy] {
            if (alive && alive->list_ && alive->list_->hooks_.dropped) {
                alive->list_->hooks_.dropped(copy.get());
            }
        });
    }

  private:
    bool Acceptable(QDropEvent* e) const {
        return list_ && list_->hooks_.canDrop && (e->possibleActions() & Qt::CopyAction) &&
               list_->hooks_.canDrop(e->mimeData(), e->source());
    }
    void Judge(QDragMoveEvent* e) {
        if (Acceptable(e)) {
            e->setDropAction(Qt::CopyAction);
            e->accept();
        } else {
            e->ignore();
        }
    }

    CVelListView* list_;
};

// ---- the control ------------------------------------------------------------

CVelListView::CVelListView(CVelContainer* owner, uint32_t place, int w, int h, int id)
    : CVelControl(owner, new Tree(this), place, w, h) {
    SetId(id);
    QTreeView* v = View();
    model_ = new Model(*this);
    model_->setParent(v);
    v->setModel(model_);
    v->setRootIsDecorated(false);
    v->setItemsExpandable(false);
    v->setUniformRowHeights(true);  // what makes long lists cheap
    v->setAllColumnsShowFocus(true);
    v->setSelectionMode(QAbstractItemView::ExtendedSelection);
    v->setSelectionBehavior(QAbstractItemView::SelectRows);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setDragEnabled(true);
    v->setAcceptDrops(true);
    v->viewport()->setAcceptDrops(true);
    v->setDropIndicatorShown(false);
    v->setDragDropMode(QAbstractItemView::DragDrop);
    v->setDefaultDropAction(Qt::CopyAction);
    v->setTextElideMode(Qt::ElideMiddle);
    v->header()->setStretchLastSection(false);
    v->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(v, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        ShowPopupMenu(View()->viewport()->mapToGlobal(pos));
    });
    QObject::connect(v, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& i) {
        if (hooks_.activated && i.isValid()) {
            hooks_.activated(i.row());
        }
    });
    auto changed = [this] {
        if (!settingSelection_ && hooks_.selectionChanged) {
            hooks_.selectionChanged();
        }
    };
    QObject::connect(v->selectionModel(), &QItemSelectionModel::selectionChanged, this, changed);
    QObject::connect(v->selectionModel(), &QItemSelectionModel::currentChanged, this, changed);
}

CVelListView::~CVelListView() {
    if (auto* v = static_cast<Tree*>(Widget())) {
        v->Detach();
    }
}

QTreeView* CVelListView::View() const {
    return static_cast<QTreeView*>(Widget());
}

void CVelListView::SetColumns(const std::vector<Column>& columns) {
    model_->SetColumns(columns);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const int i = static_cast<int>(c);
        View()->setColumnWidth(i, columns[c].width);
        View()->header()->setSectionResizeMode(
            i, columns[c].stretch ? QHeaderView::Stretch : QHeaderView::Interactive);
    }
}

void CVelListView::SetRows(int count, CellFn cell) {
    const bool was = settingSelection_;
    settingSelection_ = true;
    rows_ = std::max(0, count);
    model_->SetRows(rows_, std::move(cell));
    settingSelection_ = was;
}

std::vector<int> CVelListView::SelectedRows() const {
    std::vector<int> rows;
    for (const QItemSelectionRange& r : View()->selectionModel()->selection()) {
        for (int row = r.top(); row <= r.bottom(); ++row) {
            rows.push_back(row);
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int CVelListView::CurrentRow() const {
    const QModelIndex i = View()->selectionModel()->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void CVelListView::SetSelection(const std::vector<int>& rows, int current) {
    const bool was = settingSelection_;
    settingSelection_ = true;
    QItemSelectionModel* sel = View()->selectionModel();
    QItemSelection selection;
    const int last = static_cast<int>(model_->Columns().size()) - 1;
    // Runs of neighbouring rows make one range each.
    std::vector<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i;
        while (j + 1 < sorted.size() && sorted[j + 1] <= sorted[j] + 1) {
            ++j;
        }
        if (sorted[i] >= 0 && sorted[j] < rows_ && last >= 0) {
            selection.select(model_->index(sorted[i], 0), model_->index(sorted[j], last));
        }
        i = j + 1;
    }
    if (current >= 0 && current < rows_) {
        sel->setCurrentIndex(model_->index(current, 0), QItemSelectionModel::NoUpdate);
    } else {
        sel->clearCurrentIndex();
    }
    sel->select(selection, QItemSelectionModel::ClearAndSelect);
    settingSelection_ = was;
}

void CVelListView::SelectAll() {
    std::vector<int> all(static_cast<std::size_t>(rows_));
    for (int i = 0; i < rows_; ++i) {
        all[static_cast<std::size_t>(i)] = i;
    }
    SetSelection(all, CurrentRow());
}

void CVelListView::ScrollTo(int row) {
    if (row >= 0 && row < rows_) {
        View()->scrollTo(model_->index(row, 0));
    }
}

bool CVelListView::EditRow(int row) {
    if (row < 0 || row >= rows_ || !hooks_.editable || !hooks_.editable(row)) {
        return false;
    }
    const QModelIndex i = model_->index(row, 0);
    View()->scrollTo(i);
    View()->edit(i);
    return IsEditing();
}

bool CVelListView::IsEditing() const {
    return static_cast<const Tree*>(Widget())->Editing();
}

bool CVelListView::WidgetEvent(QEvent* e) {
    switch (e->type()) {
        case QEvent::KeyPress:
            // Keys the editor leaves (its Enter among them) come up here
            // while it closes: they are the editor's, not commands.
            if (IsEditing()) {
                return CVelControl::WidgetEvent(e);
            }
            if (hooks_.key && hooks_.key(static_cast<QKeyEvent*>(e))) {
                return true;
            }
            break;
        case QEvent::FocusIn:
            if (hooks_.focus) {
                hooks_.focus(true);
            }
            break;
        case QEvent::FocusOut:
            if (hooks_.focus) {
                hooks_.focus(false);
            }
            break;
        default:
            break;
    }
    return CVelControl::WidgetEvent(e);
}

}  // namespace velcora::ui
