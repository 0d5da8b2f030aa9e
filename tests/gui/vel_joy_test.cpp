#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include "gui/gui_app.h"
#include "ui/vel_form.h"
#include "ui/vel_joy.h"

namespace velcora::ui {
namespace {

class KeyForm : public CVelForm {
  public:
    KeyForm() : CVelForm(PackPosition(0, 0), 300, 200) {}
    bool HandleEvent(const VelEvent& e) override {
        if (e.kind == VelEventKind::KeyDown || e.kind == VelEventKind::KeyUp) {
            keys.push_back(e);
            return true;
        }
        return CVelForm::HandleEvent(e);
    }
    std::vector<VelEvent> keys;
};

class JoyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::App();
        form = new KeyForm();
        form->Widget()->show();
    }
    void TearDown() override {
        form->Destroy();
        test::Flush();
    }
    void Mouse(CVelJoy* j, QEvent::Type type, QPoint at, Qt::KeyboardModifiers mods = {}) {
        const bool move = type == QEvent::MouseMove;
        const Qt::MouseButton button = move ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, at, j->Widget()->mapToGlobal(at), button, held, mods);
        QApplication::sendEvent(j->Widget(), &e);
    }
    KeyForm* form = nullptr;
};

// The default 120 x 120 control: centre (60, 60), k = 30, stick half side 22.

TEST_F(JoyTest, DragMovesClampsAndSpringsBack) {
    auto* j = new CVelJoy(form, PackPosition(10, 10), false);
    QSignalSpy spy(j, &CVelJoy::valuesChanged);
    Mouse(j, QEvent::MouseButtonPress, {60, 60});
    EXPECT_EQ(j->Dragging(), JoyPart::Stick);
    Mouse(j, QEvent::MouseMove, {75, 45});
    EXPECT_FLOAT_EQ(j->X(), 0.5f);
    EXPECT_FLOAT_EQ(j->Y(), 0.5f);
    Mouse(j, QEvent::MouseMove, {260, -300});
    EXPECT_FLOAT_EQ(j->X(), 1.0f);
    EXPECT_FLOAT_EQ(j->Y(), 1.0f);
    EXPECT_EQ(j->R(), 0.0f);
    ASSERT_GE(spy.count(), 2);
    Mouse(j, QEvent::MouseButtonRelease, {260, -300});
    EXPECT_EQ(j->Values(), JoyValues{});
    EXPECT_EQ(spy.last().at(0).toFloat(), 0.0f);
    EXPECT_TRUE(j->HasFocus() || !form->Widget()->isActiveWindow());
    EXPECT_EQ(j->Dragging(), JoyPart::None);
}

TEST_F(JoyTest, CtrlLocksTheAxisAndKeepsTheStickOnRelease) {
    auto* j = new CVelJoy(form, PackPosition(10, 10), true);
    Mouse(j, QEvent::MouseButtonPress, {60, 60}, Qt::ControlModifier);
    Mouse(j, QEvent::MouseMove, {66, 36}, Qt::ControlModifier);  // mostly up
    EXPECT_EQ(j->X(), 0.0f);
    EXPECT_FLOAT_EQ(j->Y(), 0.8f);
    Mouse(j, QEvent::MouseButtonRelease, {66, 36}, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(j->Y(), 0.8f);  // left where it was
    j->SetSpringBack(false);
    Mouse(j, QEvent::MouseButtonPress, {60, 36});
    Mouse(j, QEvent::MouseMove, {63, 36});
    Mouse(j, QEvent::MouseButtonRelease, {63, 36});
    EXPECT_FLOAT_EQ(j->X(), 0.1f);
    EXPECT_FLOAT_EQ(j->Y(), 0.8f);
}

TEST_F(JoyTest, RotationHandleTurnsOnlyWhenRotationIsEnabled) {
    auto* turning = new CVelJoy(form, PackPosition(0, 0), true);
    Mouse(turning, QEvent::MouseButtonPress, {60, 30});
    EXPECT_EQ(turning->Dragging(), JoyPart::Handle);
    Mouse(turning, QEvent::MouseMove, {75, 30});
    EXPECT_FLOAT_EQ(turning->R(), 0.5f);
    EXPECT_EQ(turning->X(), 0.0f);
    Mouse(turning, QEvent::MouseButtonRelease, {75, 30});
    EXPECT_EQ(turning->R(), 0.0f);

    auto* fixed = new CVelJoy(form, PackPosition(150, 0), false);
    Mouse(fixed, QEvent::MouseButtonPress, {60, 30});
    EXPECT_EQ(fixed->Dragging(), JoyPart::None);
    Mouse(fixed, QEvent::MouseMove, {90, 30});
    Mouse(fixed, QEvent::MouseButtonRelease, {90, 30});
    EXPECT_EQ(fixed->Values(), JoyValues{});
    fixed->SetValues(0.5f, 2.0f, 0.7f);  // R stays 0 without rotation, Y is clamped
    EXPECT_EQ(fixed->Values(), (JoyValues{0.5f, 1.0f, 0.0f}));
}

TEST_F(JoyTest, KeysGoToTheOwnerAndPercentIsPainted) {
    auto* j = new CVelJoy(form, PackPosition(0, 0), true);
    QSignalSpy pressed(j, &CVelJoy::keyPressed);
    j->SetFocus();
    QTest::keyPress(j->Widget(), Qt::Key_W);
    QTest::keyRelease(j->Widget(), Qt::Key_W);
    ASSERT_EQ(form->keys.size(), 2u);
    EXPECT_EQ(form->keys[0].kind, VelEventKind::KeyDown);
    EXPECT_EQ(form->keys[0].key, Qt::Key_W);
    EXPECT_EQ(form->keys[0].control, j);
    EXPECT_EQ(form->keys[1].kind, VelEventKind::KeyUp);
    EXPECT_EQ(pressed.count(), 1);

    // The percentage changes the top-left corner of the picture.
    j->SetPercent(0);
    const QImage before = j->Widget()->grab().toImage().copy(0, 0, 30, 14);
    j->SetPercent(100);
    const QImage after = j->Widget()->grab().toImage().copy(0, 0, 30, 14);
    EXPECT_NE(before, after);
}

}  // namespace
}  // namespace velcora::ui
