#include "files/gui/file_system_panel.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QStyle>
#include <QTreeView>

namespace velcora::files {
namespace {

const QIcon& FolderIcon() {
    static const QIcon icon = QIcon::fromTheme(
        QStringLiteral("folder"), QApplication::style()->standardIcon(QStyle::SP_DirIcon));
    return icon;
}

const QIcon& FileIcon() {
    static const QIcon icon = QIcon::fromTheme(
        QStringLiteral("text-x-generic"), QApplication::style()->standardIcon(QStyle::SP_FileIcon));
    return icon;
}

const QIcon& UpIcon() {
    static const QIcon icon =
        QIcon::fromTheme(QStringLiteral("go-up"),
                         QApplication::style()->standardIcon(QStyle::SP_FileDialogToParent));
    return icon;
}

}  // namespace

CFileSystemPanel::CFileSystemPanel(ui::CVelContainer* owner, uint32_t place, int w, int h,
                                   const QString& title, PanelSide side, ui::CVelFont* titleFont)
    : ui::CVelContainer(owner, place, w, h), side_(side) {
    SetMargin(3);
    title_ = new ui::CVelLabel(this, ui::kAlignTop, 0, 22, title);
    title_->SetFont(titleFont);
    if (auto* l = qobject_cast<QLabel*>(title_->Widget())) {
        l->setTextFormat(Qt::PlainText);
    }
    combo_ = new ui::CVelComboBox(this, ui::kAlignTop, 0, 26);
    QComboBox* c = combo_->Combo();
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setMaxVisibleItems(20);
    list_ = new ui::CVelListView(this, ui::kAlignClient, 0, 0);
    list_->SetColumns({{QStringLiteral("Файл"), 260, Qt::AlignLeft | Qt::AlignVCenter, true},
                       {QStringLiteral("Размер"), 90, Qt::AlignRight | Qt::AlignVCenter}});
}

void CFileSystemPanel::ShowPanel(const CFilePanelModel& model) {
    entries_ = model.Entries();
    list_->SetRows(static_cast<int>(entries_.size()), [this](int row, int column, int role) {
        const auto r = static_cast<std::size_t>(row);
        if (r >= entries_.size()) {
            return QVariant();
        }
        const CDirEntry& e = entries_[r];
        if (role == Qt::DecorationRole) {
            return QVariant(e.name == u".." ? UpIcon() : e.isDirectory ? FolderIcon() : FileIcon());
        }
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            return QVariant(column == 0 ? QString::fromStdU16String(e.name)
                                        : QString::fromStdU16String(SizeText(e)));
        }
        return QVariant();
    });
    QComboBox* c = combo_->Combo();
    const QSignalBlocker block(c);
    c->clear();
    for (const ComboEntry& e : model.ComboEntries()) {
        c->addItem(QString::fromStdU16String(e.text));
    }
    c->setCurrentIndex(-1);
    c->setEditText(QString::fromStdU16String(model.Folder().value_or(u"")));
}

void CFileSystemPanel::ShowSelection(const std::vector<std::size_t>& rows,
                                     std::optional<std::size_t> current) {
    std::vector<int> r;
    r.reserve(rows.size());
    for (std::size_t row : rows) {
        r.push_back(static_cast<int>(row));
    }
    list_->SetSelection(r, current ? static_cast<int>(*current) : -1);
    if (current) {
        list_->ScrollTo(static_cast<int>(*current));
    }
}

}  // namespace velcora::files
