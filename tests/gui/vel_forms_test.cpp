#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "gui/gui_app.h"
#include "gui/sample_form.h"
#include "ui/vel_controls.h"
#include "ui/vel_dialogs.h"
#include "ui/vel_form.h"
#include "ui/vel_hint.h"
#include "ui/vel_joy.h"

namespace velcora::ui {
namespace {

using test::App;
using test::Flush;

// A form that records what its controls report to it.
class RecordingForm : public CVelForm {
  public:
    RecordingForm(int w, int h) : CVelForm(PackPosition(0, 0), w, h, QStringLiteral("Тест")) {}
    bool HandleEvent(const VelEvent& e) override {
        events.push_back(e);
        if (e.kind == VelEventKind::MenuUpdate && e.menu != nullptr) {
            menuWasVisibleAtUpdate = e.menu->Menu()->isVisible();
            e.menu->EnableItem(7, false);
        }
        return CVelForm::HandleEvent(e);
    }
    std::vector<VelEvent> Of(VelEventKind k) const {
        std::vector<VelEvent> out;
        for (const VelEvent& e : events) {
            if (e.kind == k) {
                out.push_back(e);
            }
        }
        return out;
    }
    std::vector<VelEvent> events;
    bool menuWasVisibleAtUpdate = true;
};

class GuiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        CHintWindow::StopWatch();
        SetErrorSink({});
    }
    void TearDown() override { Flush(); }
};

TEST_F(GuiTest, AlignedChildrenAndAnchorsFollowTheFormOnResize) {
    auto* f = new RecordingForm(400, 300);
    f->Widget()->show();
    Flush();
    auto* top = new CVelPanel(f, kAlignTop, 0, 30);
    auto* bottom = new CVelPanel(f, kAlignBottom, 0, 20);
    auto* left = new CVelPanel(f, kAlignLeft, 50, 0);
    auto* fill = new CVelPanel(f, kAlignClient, 0, 0);
    auto* right = new CVelButton(fill, PackPosition(250, 10), 30, 20, QStringLiteral("Ок"));
    right->SetAnchors(kAnchorRight);
    auto* wide = new CVelEdit(fill, PackPosition(10, 40), 100, 20);
    wide->SetAnchors(kAnchorLeft | kAnchorRight);
    auto* corner = new CVelButton(fill, PackPosition(10, 200), 30, 20, QStringLiteral("Х"));
    corner->SetAnchors(kAnchorBottom | kAnchorCentreX);
    EXPECT_EQ(top->Geometry(), QRect(0, 0, 400, 30));
    EXPECT_EQ(bottom->Geometry(), QRect(0, 280, 400, 20));
    EXPECT_EQ(left->Geometry(), QRect(0, 30, 50, 250));
    EXPECT_EQ(fill->Geometry(), QRect(50, 30, 350, 250));

    f->Widget()->resize(500, 340);
    Flush();
    EXPECT_EQ(top->Geometry(), QRect(0, 0, 500, 30));
    EXPECT_EQ(bottom->Geometry(), QRect(0, 320, 500, 20));
    EXPECT_EQ(left->Geometry(), QRect(0, 30, 50, 290));
    EXPECT_EQ(fill->Geometry(), QRect(50, 30, 450, 290));
    EXPECT_EQ(right->Geometry(), QRect(350, 10, 30, 20));
    EXPECT_EQ(wide->Geometry(), QRect(10, 40, 200, 20));
    EXPECT_EQ(corner->Geometry(), QRect(60, 240, 30, 20));
    // The fill child reported its size change to the form.
    bool reported = false;
    for (const VelEvent& e : f->Of(VelEventKind::Resized)) {
        reported = reported || (e.control == fill && e.pos == QPoint(450, 290));
    }
    EXPECT_TRUE(reported);

    // Hiding an aligned child gives its room back.
    top->Show(false);
    EXPECT_EQ(left->Geometry(), QRect(0, 0, 50, 320));
    f->Destroy();
}

TEST_F(GuiTest, FlowLayoutWrapsAndCentresInsideAContainer) {
    auto* f = new RecordingForm(400, 300);
    auto* panel = new CVelPanel(f, kAlignClient, 0, 0);
    panel->SetMargin(2);
    std::vector<CVelControl*> buttons;
    for (int i = 0; i < 5; ++i) {
        buttons.push_back(new CVelButton(panel, kPlaceFlow, 110, 24, QString::number(i)));
    }
    // 396 wide inside the margin: three of 110 fit (x ends at 2 + 3 * 118).
    EXPECT_EQ(buttons[0]->Geometry(), QRect(10, 10, 110, 24));
    EXPECT_EQ(buttons[2]->Geometry(), QRect(246, 10, 110, 24));
    EXPECT_EQ(buttons[3]->Geometry(), QRect(10, 42, 110, 24));
    panel->FlowNewRow();
    panel->SetFlowCentreRows(true);
    auto* a = new CVelButton(panel, kPlaceFlow, 100, 24, QStringLiteral("а"));
    auto* b = new CVelButton(panel, kPlaceFlow, 100, 24, QStringLiteral("б"));
    panel->FlowCentreRow();
    const int mid = (a->Geometry().left() + b->Geometry().right() + 1) / 2;
    EXPECT_NEAR(mid, 2 + 396 / 2, 1);
    EXPECT_EQ(a->Geometry().top(), 74);
    f->Destroy();
}

TEST_F(GuiTest, HintOpensAfterRestAndClosesOnMove) {
    auto* f = new RecordingForm(300, 200);
    auto* b = new CVelButton(f, PackPosition(20, 20), 120, 30, QStringLiteral("Подключение"));
    b->SetHint(QStringLiteral("Установить подключение к роботу (F9)"));
    auto* plain = new CVelButton(f, PackPosition(20, 80), 120, 30, QStringLiteral("Без"));
    f->Widget()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f->Widget()));
    const QPoint at = b->Widget()->mapToGlobal(QPoint(60, 15));
    ASSERT_EQ(QApplication::widgetAt(at), b->Widget());

    CHintWindow::Poll(at);  // entered
    for (int i = 0; i < 6; ++i) {
        CHintWindow::Poll(at);
    }
    EXPECT_EQ(CHintWindow::Current(), nullptr);  // 300 ms is not yet more than 300
    CHintWindow::Poll(at);
    ASSERT_NE(CHintWindow::Current(), nullptr);
    EXPECT_EQ(CHintWindow::Current()->Text(), b->Hint());
    EXPECT_TRUE(CHintWindow::Current()->Widget()->isVisible());

    CHintWindow::Poll(at + QPoint(3, 0));
    EXPECT_EQ(CHintWindow::Current(), nullptr);

    // No text, no hint.
    const QPoint over = plain->Widget()->mapToGlobal(QPoint(10, 10));
    for (int i = 0; i < 10; ++i) {
        CHintWindow::Poll(over);
    }
    EXPECT_EQ(CHintWindow::Current(), nullptr);

    // A control destroyed under an open hint takes the hint with it.
    for (int i = 0; i < 8; ++i) {
        CHintWindow::Poll(at);
    }
    ASSERT_NE(CHintWindow::Current(), nullptr);
    b->Destroy();
    EXPECT_EQ(CHintWindow::Current(), nullptr);
    CHintWindow::Poll(at);
    f->Destroy();
}

TEST_F(GuiTest, ModalFormDisablesTheOthersAndEscapeGivesTwo) {
    auto* a = new RecordingForm(200, 100);
    auto* b = new RecordingForm(200, 100);
    auto* edit = new CVelEdit(a, PackPosition(5, 5), 100, 22);
    a->Widget()->show();
    b->Widget()->show();
    b->SetEnabled(false);
    QApplication::setActiveWindow(a->Widget());
    edit->SetFocus();

    auto* dialog = new CVelForm(kPlaceScreenCentre, 200, 100, QStringLiteral("Диалог"));
    auto* inside = new CVelEdit(dialog, PackPosition(5, 5), 100, 22);
    QPointer<CVelControl> alive(dialog);
    bool othersDisabled = false;
    QTimer::singleShot(0, [&] {
        othersDisabled = !a->IsEnabled() && !b->IsEnabled() && dialog->IsEnabled();
        inside->SetFocus();
        // Escape in a child control reaches the form.
        QTest::keyClick(inside->Widget(), Qt::Key_Escape);
    });
    EXPECT_EQ(dialog->ShowModal(), kResultCancel);
    EXPECT_TRUE(othersDisabled);
    EXPECT_TRUE(a->IsEnabled());
    EXPECT_FALSE(b->IsEnabled());  // it was disabled before
    EXPECT_TRUE(alive);            // readable right after
    Flush();
    EXPECT_FALSE(alive);  // then destroyed
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == edit->Widget(); }));

    auto* second = new CVelForm(kPlaceScreenCentre, 200, 100);
    QTimer::singleShot(0, [&] { second->Close(kResultOk); });
    EXPECT_EQ(second->ShowModal(), kResultOk);
    a->Destroy();
    b->Destroy();
}

TEST_F(GuiTest, CommandsGoToTheControlThenItsOwners) {
    auto* f = new RecordingForm(300, 200);
    auto* panel = new CVelPanel(f, kAlignClient, 0, 0);
    auto* b = new CVelButton(panel, PackPosition(10, 10), 80, 24, QStringLiteral("Да"), 42);
    f->Widget()->show();
    QTest::mouseClick(b->Widget(), Qt::LeftButton);
    auto cmds = f->Of(VelEventKind::Command);
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].id, 42);
    EXPECT_EQ(cmds[0].control, b);
    // Presses and releases were reported with the control and position.
    auto downs = f->Of(VelEventKind::LeftDown);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].control, b);
    EXPECT_EQ(downs[0].pos, b->Widget()->rect().center());

    // The control's own handler takes it first.
    int own = 0;
    b->SetCommandHandler([&](const VelEvent&) { return ++own, true; });
    QTest::mouseClick(b->Widget(), Qt::LeftButton);
    EXPECT_EQ(own, 1);
    EXPECT_EQ(f->Of(VelEventKind::Command).size(), 1u);

    // A plain control clicks on release only when released inside.
    auto* paint = new CVelPaintBox(panel, PackPosition(100, 100), 50, 50);
    paint->SetId(9);
    QTest::mousePress(paint->Widget(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(paint->Widget(), Qt::LeftButton, {}, QPoint(80, 5));
    EXPECT_EQ(f->Of(VelEventKind::Command).size(), 1u);
    QTest::mouseClick(paint->Widget(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(f->Of(VelEventKind::Command).size(), 2u);
    EXPECT_EQ(f->Of(VelEventKind::Command).back().id, 9);
    f->Destroy();
}

TEST_F(GuiTest, RadioGroupReportsTheChoiceAsItsOwnChange) {
    auto* f = new RecordingForm(300, 200);
    auto* group =
        new CVelRadioGroupBox(f, kAlignLeft, 180, 0, QStringLiteral("Режим движения:"), 5);
    for (const char* t : {"Движение", "Поворот", "Стрейф"}) {
        group->AddItem(QString::fromUtf8(t));
    }
    group->SetItemIndex(0);
    f->Widget()->show();
    EXPECT_TRUE(f->Of(VelEventKind::Command).empty());  // set by the program: silent
    auto* second = group->Children()[1];
    EXPECT_GT(second->Geometry().top(), group->Children()[0]->Geometry().bottom());
    QTest::mouseClick(second->Widget(), Qt::LeftButton, {}, QPoint(5, 10));
    EXPECT_EQ(group->ItemIndex(), 1);
    auto cmds = f->Of(VelEventKind::Command);
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].control, group);
    EXPECT_EQ(cmds[0].id, 5);
    EXPECT_EQ(cmds[0].notify, VelNotify::Changed);
    f->Destroy();
}

TEST_F(GuiTest, PopupMenuOpensOnRightReleaseAfterTheOwnerUpdatesIt) {
    auto* f = new RecordingForm(300, 200);
    auto* box = new CVelPaintBox(f, PackPosition(10, 10), 100, 100);
    CVelPopupMenu* menu = CVelPopupMenu::Create();
    menu->AddItem(7, QStringLiteral("Удалить"), QKeySequence(Qt::Key_Delete));
    menu->AddItem(8, QStringLiteral("Свойства"), QKeySequence(Qt::Key_F2));
    box->SetPopupMenu(menu);
    EXPECT_EQ(menu->RefCount(), 2);
    f->Widget()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f->Widget()));

    QTest::mousePress(box->Widget(), Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_TRUE(f->Of(VelEventKind::MenuUpdate).empty());
    QTest::mouseRelease(box->Widget(), Qt::RightButton, {}, QPoint(20, 20));
    ASSERT_EQ(f->Of(VelEventKind::MenuUpdate).size(), 1u);
    EXPECT_FALSE(f->menuWasVisibleAtUpdate);
    EXPECT_TRUE(menu->Menu()->isVisible());
    EXPECT_FALSE(menu->Item(7)->isEnabled());
    menu->Menu()->hide();

    // The menu's shortcut keys act through the control.
    box->Widget()->setFocusPolicy(Qt::StrongFocus);
    box->SetFocus();
    QTest::keyClick(box->Widget(), Qt::Key_F2);
    auto cmds = f->Of(VelEventKind::Command);
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].id, 8);
    EXPECT_EQ(cmds[0].notify, VelNotify::Menu);
    QTest::keyClick(box->Widget(), Qt::Key_Delete);  // disabled entry
    EXPECT_EQ(f->Of(VelEventKind::Command).size(), 1u);

    menu->Release();
    EXPECT_EQ(menu->RefCount(), 1);
    f->Destroy();  // releases the last reference
}

TEST_F(GuiTest, ControlsLiveAsLongAsTheirWidgetsAndShareFonts) {
    auto* f = new RecordingForm(300, 200);
    CVelFont* font = CVelFont::Create(QStringLiteral("Verdana"), 14, true);
    auto* panel = new CVelPanel(f, kAlignClient, 0, 0);
    auto* l1 = new CVelLabel(panel, kPlaceFlow, 80, 20, QStringLiteral("один"));
    auto* l2 = new CVelLabel(panel, kPlaceFlow, 80, 20, QStringLiteral("два"));
    l1->SetFont(font);
    l2->SetFont(font);
    font->Release();
    EXPECT_EQ(font->RefCount(), 2);
    EXPECT_EQ(l1->Widget()->font().pixelSize(), 14);
    QPointer<CVelControl> p1(l1), p2(l2), pp(panel);
    QPointer<QWidget> w2(l2->Widget());
    l2->Destroy();
    EXPECT_FALSE(w2);
    EXPECT_EQ(font->RefCount(), 1);
    EXPECT_EQ(panel->Children().size(), 1u);
    // Deleting a widget takes its control and the controls inside it.
    delete panel->Widget();
    EXPECT_FALSE(pp);
    EXPECT_FALSE(p1);
    EXPECT_TRUE(f->Children().empty());
    f->Destroy();
}

// The popup list of a combo box is made when it first opens, with the font
// the box has by then; changes of font after that reach the list as usual.
TEST_F(GuiTest, ComboBoxListTakesTheBoxFontWhenItOpens) {
    auto* f = new RecordingForm(300, 200);
    auto* panel = new CVelPanel(f, kAlignClient, 0, 0);
    auto* combo = new CVelComboBox(panel, kPlaceFlow, 120, 24);
    combo->SetItems({QStringLiteral("первый"), QStringLiteral("второй")});
    CVelFont* big = CVelFont::Create(QStringLiteral("DejaVu Sans"), 21);
    panel->SetFont(big);
    big->Release();
    f->Show();
    Flush();
    QComboBox* box = combo->Combo();
    const auto listMade = [box] {
        return box->findChild<QFrame*>(QString(), Qt::FindDirectChildrenOnly) != nullptr;
    };
    EXPECT_FALSE(listMade());
    // Measured with the font it has, not the one it was made with.
    QComboBox plain;
    plain.addItems({QStringLiteral("первый"), QStringLiteral("второй")});
    EXPECT_GT(box->sizeHint().height(), plain.sizeHint().height());

    box->showPopup();
    Flush();
    ASSERT_TRUE(listMade());
    EXPECT_EQ(box->view()->font().pixelSize(), 21);
    EXPECT_EQ(box->view()->model()->rowCount(), 2);
    box->hidePopup();

    CVelFont* small = CVelFont::Create(QStringLiteral("DejaVu Sans"), 9);
    combo->SetFont(small);
    small->Release();
    EXPECT_EQ(box->view()->font().pixelSize(), 9);
    f->Destroy();
}

TEST_F(GuiTest, ErrorBoxCaptionAndTimeouts) {
    std::vector<std::pair<QString, int>> shown;
    SetErrorSink([&](const QString& t, int ms) { shown.emplace_back(t, ms); });
    ShowError(QStringLiteral("Нет подключения к роботу!"));
    ShowError(QStringLiteral("Неверный пароль!"));
    ShowError(QStringLiteral("Нет подключения к роботу!"), 500);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].second, 2000);
    EXPECT_EQ(shown[1].second, 10000);
    EXPECT_EQ(shown[2].second, 500);
    SetErrorSink({});

    QPointer<QMessageBox> box = ShowError(QStringLiteral("Неверный пароль!"));
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());  // shown without blocking the caller
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Ошибка"));
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->text(), QStringLiteral("Неверный пароль!"));
    auto* timer = box->findChild<QTimer*>(QStringLiteral("errorTimeout"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 10000);
    EXPECT_TRUE(timer->isActive());
    timer->setInterval(0);  // let it expire now
    timer->start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return box.isNull(); }));
}

TEST_F(GuiTest, FrameActivatesChildrenByIdAndFromTheWindowList) {
    auto* frame = new RecordingForm(600, 400);
    new CVelStatusBar(frame, {{100, true}});
    frame->EnableMDI();
    frame->Widget()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame->Widget()));
    EXPECT_EQ(frame->MdiArea()->geometry().bottom() + 1, 400 - 22);
    auto* c1 = new CVelMDIChildForm(frame, 200, 150, QStringLiteral("Карта"));
    auto* c2 = new CVelMDIChildForm(frame, 200, 150, QStringLiteral("Циклограммы"));
    auto* c3 = new CVelMDIChildForm(frame, 200, 150, QStringLiteral("Файлы"));
    EXPECT_EQ(c1->Id(), 0xFF00);
    EXPECT_EQ(c3->Id(), 0xFF02);
    ASSERT_EQ(frame->MdiChildren().size(), 3u);

    frame->SendCommand(0xFF01);
    EXPECT_EQ(frame->MdiArea()->activeSubWindow(), c2->SubWindow());
    frame->SendCommand(0xFF00);
    EXPECT_EQ(frame->ActiveMdiChild(), c1);

    // The window list: "MDI-окна", 520 x 320, children by caption.
    bool listed = false;
    QPointer<CMDISelectForm> open;
    QTimer::singleShot(0, [&] {
        auto* list = dynamic_cast<CMDISelectForm*>(CVelCustomForm::Forms().back());
        open = list;
        ASSERT_NE(list, nullptr);
        listed = list->Text() == QStringLiteral("MDI-окна") &&
                 list->Widget()->size() == QSize(520, 320) && list->List()->Count() == 3 &&
                 list->List()->ItemText(2) == QStringLiteral("Файлы");
        list->List()->SetItemIndex(2);
        QListWidget* w = list->List()->List();
        emit w->itemDoubleClicked(w->item(2));
    });
    // Never hang the run if the list does not close.
    QTimer::singleShot(5000, [&] {
        if (open) {
            open->Close(kResultCancel);
        }
    });
    frame->SendCommand(kCmdMdiWindowList);
    EXPECT_TRUE(listed);
    EXPECT_EQ(frame->ActiveMdiChild(), c3);

    // Closing a child destroys it and it leaves the list.
    QPointer<CVelControl> gone(c2);
    c2->Close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return gone.isNull(); }));
    EXPECT_EQ(frame->MdiChildren().size(), 2u);
    frame->Destroy();
    Flush();
}

TEST_F(GuiTest, SampleFormRendersWithContent) {
    auto s = test::BuildSampleForm();
    s.form->Widget()->show();
    Flush();
    const QImage img = s.form->Widget()->grab().toImage();
    ASSERT_EQ(img.size(), QSize(720, 430));
    // The video panel's gradient darkens downwards.
    const QColor topPx = img.pixelColor(700, 120);
    const QColor lowPx = img.pixelColor(700, 390);
    EXPECT_GT(topPx.lightness(), lowPx.lightness());
    EXPECT_EQ(s.status->PaneText(4), QStringLiteral("±87%"));
    s.form->Destroy();
}

}  // namespace
}  // namespace velcora::ui

namespace velcora::ui {
namespace {

// Questions answered through the sink: the index of the button maps to the
// answer, a box closed without a choice is Cancel where there is one and No
// where there is not; an input never returns more than it may hold.
TEST(VelDialogsTest, AnswersThroughTheSinks) {
    int next = 0;
    QStringList shown;
    ChoiceSink old = SetChoiceSink([&](const QString&, const QString&, const QStringList& b) {
        shown = b;
        return next;
    });
    EXPECT_EQ(AskQuestion("t", "q"), Answer::Yes);
    EXPECT_EQ(shown, (QStringList{"Да", "Нет"}));
    next = 1;
    EXPECT_EQ(AskQuestion("t", "q", Buttons::YesNoCancel), Answer::No);
    EXPECT_EQ(shown.size(), 3);
    next = -1;
    EXPECT_EQ(AskQuestion("t", "q", Buttons::YesNoCancel), Answer::Cancel);
    EXPECT_EQ(AskQuestion("t", "q"), Answer::No);
    next = 7;  // out of range counts as closed
    EXPECT_EQ(AskChoice("t", "q", {"a", "b"}), -1);
    SetChoiceSink(old);

    InputSink oldInput = SetInputSink([](const QString&, const QString&, QString& v) {
        v += QStringLiteral("йцукен");
        return true;
    });
    QString value = QStringLiteral("ab");
    EXPECT_TRUE(InputQuery("t", "p", value, 5));
    EXPECT_EQ(value, QStringLiteral("abйцу"));
    SetInputSink([](const QString&, const QString&, QString& v) {
        v = QStringLiteral("changed");
        return false;
    });
    value = QStringLiteral("kept");
    EXPECT_FALSE(InputQuery("t", "p", value));
    EXPECT_EQ(value, QStringLiteral("kept"));
    SetInputSink(oldInput);
}

}  // namespace
}  // namespace velcora::ui
