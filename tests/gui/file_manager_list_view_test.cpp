// The list the file manager's panels are made of: rows from the owner's
// function, selection both ways, in-place editing and the drop hooks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QTreeView>

#include "gui/gui_app.h"
#include "ui/vel.h"
#include "ui/vel_list_view.h"

namespace velcora::ui {
namespace {

class ListViewTest : public ::testing::Test {
  protected:
    ListViewTest() {
        test::App();
        form = new CVelForm(PackPosition(0, 0), 400, 300);
        list = new CVelListView(form, kAlignClient, 0, 0);
        list->SetColumns({{QStringLiteral("Файл"), 200, Qt::AlignLeft | Qt::AlignVCenter, true},
                          {QStringLiteral("Размер"), 80, Qt::AlignRight | Qt::AlignVCenter}});
        list->SetRows(kRows, [](int row, int column, int role) {
            if (role != Qt::DisplayRole && role != Qt::EditRole) {
                return QVariant();
            }
            return QVariant(column == 0 ? QStringLiteral("name%1").arg(row) : QString::number(row));
        });
        list->On().selectionChanged = [this] { ++selectionReports; };
        form->Widget()->show();
        test::Flush();
    }
    ~ListViewTest() override {
        form->Destroy();
        test::Flush();
    }
    QRect RowRect(int row) const {
        QTreeView* v = list->View();
        return v->visualRect(v->model()->index(row, 0));
    }

    static constexpr int kRows = 100000;
    CVelForm* form;
    CVelListView* list;
    int selectionReports = 0;
};

TEST_F(ListViewTest, SelectionBothWays) {
    EXPECT_EQ(list->View()->model()->rowCount(), kRows);
    selectionReports = 0;  // the view may pick a current row when it is shown
    list->SetSelection({10, 3, 2, 1}, 2);
    EXPECT_EQ(list->SelectedRows(), (std::vector<int>{1, 2, 3, 10}));
    EXPECT_EQ(list->CurrentRow(), 2);
    list->SelectAll();
    EXPECT_EQ(list->SelectedRows().size(), static_cast<std::size_t>(kRows));
    list->SetSelection({}, -1);
    EXPECT_TRUE(list->SelectedRows().empty());
    EXPECT_EQ(selectionReports, 0) << "what the owner sets is not reported back";

    QTest::mouseClick(list->View()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      RowRect(4).center());
    EXPECT_GT(selectionReports, 0);
    EXPECT_EQ(list->SelectedRows(), std::vector<int>{4});
    QTest::mouseClick(list->View()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      RowRect(6).center());
    EXPECT_EQ(list->SelectedRows(), (std::vector<int>{4, 6}));
    EXPECT_EQ(list->CurrentRow(), 6);
}

TEST_F(ListViewTest, InPlaceEditReportsAfterTheEditorClosed) {
    list->On().editable = [](int row) { return row != 0; };
    std::vector<std::pair<int, QString>> edits;
    int keys = 0;
    list->On().edited = [&](int row, const QString& text) { edits.push_back({row, text}); };
    list->On().key = [&](QKeyEvent*) {
        ++keys;
        return false;
    };
    EXPECT_FALSE(list->EditRow(0));
    EXPECT_FALSE(list->EditRow(kRows));
    ASSERT_TRUE(list->EditRow(5));
    auto* editor = list->View()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), QStringLiteral("name5"));
    editor->selectAll();
    QTest::keyClicks(editor, "renamed");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(edits.empty()) << "not while the editor is closing";
    test::Flush();
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits[0], std::make_pair(5, QStringLiteral("renamed")));
    EXPECT_EQ(keys, 0) << "the editor's keys are not the list's";
    EXPECT_FALSE(list->IsEditing());
}

TEST_F(ListViewTest, DropsGoThroughTheHooksAsCopies) {
    bool allow = false;
    std::vector<QString> dropped;
    list->On().canDrop = [&](const QMimeData*, QObject* source) { return allow && !source; };
    list->On().dropped = [&](const QMimeData* d) { dropped.push_back(d->text()); };
    QMimeData data;
    data.setText(QStringLiteral("payload"));
    QWidget* viewport = list->View()->viewport();
    auto drop = [&](Qt::DropActions actions) {
        QDragEnterEvent enter(QPoint(10, 10), actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDropEvent e(QPointF(10, 10), actions, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &e);
        return std::make_pair(e.isAccepted(), e.dropAction());
    };
    EXPECT_FALSE(drop(Qt::CopyAction).first);
    allow = true;
    EXPECT_FALSE(drop(Qt::MoveAction).first) << "a move-only drag cannot be copied";
    const auto [accepted, action] = drop(Qt::CopyAction | Qt::MoveAction);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(action, Qt::CopyAction);
    EXPECT_TRUE(dropped.empty()) << "handled after the drop has finished";
    test::Flush();
    EXPECT_EQ(dropped, std::vector<QString>{QStringLiteral("payload")});
}

}  // namespace
}  // namespace velcora::ui
