// The service window and the tracker dialogs against the simulated robot.
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSlider>

#include "console/gui/button_dialogs.h"
#include "console/gui/gesture_panel.h"
#include "console/gui/manual_form.h"
#include "console/gui/motor_dialogs.h"
#include "gui/phrases_fixture.h"
#include "ui/vel_dialogs.h"

namespace velcora::gui {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

class ServiceTest : public PhrasesFormTest {
  protected:
    CManualForm* OpenService() { return dynamic_cast<CManualForm*>(form->OpenTool("service")); }
    int Row(CManualForm* service, int motor) {
        for (std::size_t i = 0; i < service->Entries().size(); ++i) {
            if (service->Entries()[i].motor == motor)
                return static_cast<int>(i);
        }
        return -1;
    }
};

TEST_F(ServiceTest, ButtonShowsForArmsAndHeadsToo) {
    Ini("CONTROLS", "armCalib", "3");
    StartRobot();
    Open();
    EXPECT_TRUE(form->Settings().ServiceButton());
    auto* service = OpenService();
    ASSERT_NE(service, nullptr);
    std::vector<int> motors;
    for (const auto& e : service->Entries())
        motors.push_back(e.motor);
    EXPECT_EQ(motors, (std::vector<int>{40, 41, 42, 60, 61, 62}));
    // Nothing sends until connected.
    EXPECT_FALSE(service->CancelButton()->IsEnabled());
    EXPECT_FALSE(service->RecordButton()->IsEnabled());
}

TEST_F(ServiceTest, SliderDrivesTheSelectedWheelAndStopsIt) {
    Ini("CONTROLS", "wheelCalib", "3");
    Ini("CONTROLS", "headCalib", "1");
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    auto* service = OpenService();
    ASSERT_NE(service, nullptr);
    EXPECT_FALSE(service->Slider()->IsEnabled());
    service->Motors()->List()->setCurrentRow(Row(service, 2));
    EXPECT_TRUE(service->Slider()->IsEnabled());
    service->Slider()->Slider()->setValue(37);
    Pump();
    ASSERT_EQ(Of(msg::kWheelMotors).size(), 1u);
    EXPECT_EQ(Of(msg::kWheelMotors)[0].payload, Bytes({0, 37, 0}));
    ASSERT_EQ(Of(msg::kMotorValue).size(), 1u);
    EXPECT_EQ(Of(msg::kMotorValue)[0].payload, Bytes({2, 37}));
    // Left while positive stops the motor first.
    service->Slider()->SetFocus();
    QTest::keyClick(service->Slider()->Widget(), Qt::Key_Left);
    EXPECT_EQ(service->Slider()->Position(), 0);
    // Another motor: the running one is stopped before.
    service->Slider()->Slider()->setValue(-20);
    service->Motors()->List()->setCurrentRow(Row(service, 12));
    QTest::mouseClick(service->CalibrateButton()->Widget(), Qt::LeftButton);
    QTest::mouseClick(service->CancelButton()->Widget(), Qt::LeftButton);
    Pump();
    const auto values = Of(msg::kMotorValue);
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[1].payload, Bytes({2, 0}));
    EXPECT_EQ(values[2].payload, Bytes({2, -20}));
    EXPECT_EQ(values[3].payload, Bytes({2, 0}));
    const auto calibration = Of(msg::kMotorCalibration);
    ASSERT_EQ(calibration.size(), 2u);
    EXPECT_EQ(calibration[0].payload, Bytes({12}));
    EXPECT_EQ(calibration[1].payload, Bytes({0}));
}

struct RecordCase {
    const char* name;
    sim::SimOptions::GestureReply reply;
    bool recorded;
};

class RecordingTest : public ServiceTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordingTest, RecordsThroughTheRobot) {
    Ini("CONTROLS", "wheelCalib", "1");
    Ini("CONTROLS", "gestures", "1");
    Ini("GESTURES", "0", "Поклон");
    Ini("GESTURES", "1", "Привет");
    Ini("GESTURES", "3", "Танец");
    const auto reply = GetParam().reply;
    StartTunedRobot([reply](sim::SimOptions& o) { o.gestureReply = reply; });
    Open();
    ASSERT_TRUE(Connect());
    auto* service = OpenService();
    ASSERT_NE(service, nullptr);
    Gesture proposed;
    WhenOpen<CGestureDialog>([&](CGestureDialog* d) {
        proposed = d->Values();
        d->Name()->SetText(QStringLiteral("Взмах"));
        d->SendCommand(CGestureDialog::kCmdOk);
    });
    QTest::mouseClick(service->RecordButton()->Widget(), Qt::LeftButton);
    EXPECT_EQ(proposed, (Gesture{2, "Жест 2"}));
    ASSERT_TRUE(WaitFor([&] { return !form->GestureRecorder().Pending(); }, 6000));
    EXPECT_TRUE(service->RecordButton()->IsEnabled());
    if (GetParam().recorded) {
        EXPECT_TRUE(errors.empty());
        ASSERT_EQ(form->Gestures().Count(), 4u);
        EXPECT_EQ(form->Gestures().At(3), (Gesture{2, "Взмах"}));
        ASSERT_TRUE(WaitFor([&] { return form->GesturePanel()->Count() == 4u; }, 1000));
        IniFile ini(iniPath);
        ASSERT_TRUE(ini.Load());
        EXPECT_EQ(ini.GetString("GESTURES", "2"), "Взмах");
    } else {
        EXPECT_EQ(errors, std::vector<std::string>{"Ошибка записи жеста на робота!"});
        EXPECT_EQ(form->Gestures().Count(), 3u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Service, RecordingTest,
    ::testing::Values(RecordCase{"ok", sim::SimOptions::GestureReply::Ok, true},
                      RecordCase{"other", sim::SimOptions::GestureReply::Other, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServiceTest, ReplacingAnExistingGestureAsksFirst) {
    Ini("CONTROLS", "wheelCalib", "1");
    Ini("GESTURES", "0", "Поклон");
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    auto* service = OpenService();
    ASSERT_NE(service, nullptr);
    std::vector<QString> questions;
    auto previous = ui::SetChoiceSink([&](const QString&, const QString& text, const QStringList&) {
        questions.push_back(text);
        return questions.size() == 1 ? 1 : 0;  // "Нет", then "Да"
    });
    int opened = 0;
    std::function<void(CGestureDialog*)> answer = [&](CGestureDialog* d) {
        ++opened;
        d->Number()->SetValue(0);
        d->Name()->SetText(QStringLiteral("Новый поклон"));
        if (opened < 2)
            WhenOpen<CGestureDialog>(answer);
        d->SendCommand(CGestureDialog::kCmdOk);
    };
    WhenOpen<CGestureDialog>(answer);
    service->Record();
    ui::SetChoiceSink(previous);
    EXPECT_EQ(opened, 2);
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0], QStringLiteral("Жест с таким номером уже существует. Заменить его?"));
    ASSERT_TRUE(WaitFor([&] { return !form->GestureRecorder().Pending(); }, 6000));
    ASSERT_EQ(form->Gestures().Count(), 1u);
    EXPECT_EQ(form->Gestures().At(0).name, "Новый поклон");
}

TEST_F(ServiceTest, OpenAndCloseTwiceWhileConnected) {
    Ini("CONTROLS", "wheelCalib", "2");
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    for (int round = 0; round < 2; ++round) {
        auto* service = OpenService();
        ASSERT_NE(service, nullptr);
        service->Motors()->List()->setCurrentRow(1);
        service->Slider()->Slider()->setValue(10);
        QPointer<ui::CVelControl> alive(service);
        service->Close(0);
        ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }, 2000));
        EXPECT_EQ(form->FindTool("service"), nullptr);
    }
    Pump();
    // Closing with the slider off zero stopped the motor each time.
    const auto values = Of(msg::kMotorValue);
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[1].payload, Bytes({2, 0}));
    EXPECT_EQ(values[3].payload, Bytes({2, 0}));
}

// Every control of a dialog lies inside it (the buttons of the last row
// used to be cut off).
void ExpectAllInside(ui::CVelForm* dialog) {
    const QRect inside = dialog->Widget()->rect();
    for (QWidget* w : dialog->Widget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!w->isHidden()) {
            EXPECT_TRUE(inside.contains(w->geometry())) << w->metaObject()->className();
        }
    }
}

TEST_F(ServiceTest, ServoReadFillsTheLimitsOrSaysItFailed) {
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    EnvTracker tracker;
    tracker.motor = 2;
    auto* dialog = new CMotorEditDialog(form->Connection(), reactor, tracker);
    ExpectAllInside(dialog);
    QTest::mouseClick(dialog->ReadButton()->Widget(), Qt::LeftButton);
    EXPECT_EQ(dialog->ReadButton()->Text(), QStringLiteral("Отмена"));
    ASSERT_TRUE(WaitFor([&] { return !dialog->Reading(); }, 3000));
    EXPECT_EQ(dialog->Left()->Value(), 200);
    EXPECT_EQ(dialog->Right()->Value(), 800);
    EXPECT_EQ(dialog->Default()->Value(), 500);
    EXPECT_EQ(dialog->ReadButton()->Text(), QStringLiteral("Считать с сервы"));

    // The motor without a value reads as -1s.
    dialog->Motor()->SetValue(6);
    QTest::mouseClick(dialog->ReadButton()->Widget(), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !dialog->Reading(); }, 3000));
    EXPECT_EQ(errors, std::vector<std::string>{"Ошибка чтения значений с сервы!"});
    EXPECT_EQ(dialog->Left()->Value(), 200);

    // "Отмена" while a read is pending drops it.
    QTest::mouseClick(dialog->ReadButton()->Widget(), Qt::LeftButton);
    QTest::mouseClick(dialog->ReadButton()->Widget(), Qt::LeftButton);
    EXPECT_FALSE(dialog->Reading());
    const EnvTracker edited = dialog->Values();
    EXPECT_EQ(edited.motor, 6);
    EXPECT_EQ(edited.rightRaw, 800);
    dialog->Destroy();
    Pump();
    EXPECT_EQ(Of(msg::kServoRangeRequest).size(), 3u);
}

TEST_F(ServiceTest, ExactValueKeepsItsViewsTogether) {
    EnvTracker tracker;
    tracker.leftRaw = 200;
    tracker.rightRaw = 800;
    tracker.position = 0.5f;
    std::vector<float> stored;
    auto* dialog = new CTrackValueDialog(tracker, [&](float f) { stored.push_back(f); });
    ExpectAllInside(dialog);
    EXPECT_EQ(dialog->RawEdit()->Text(), QStringLiteral("500"));
    dialog->RawEdit()->SetText(QStringLiteral("650"));
    QTest::keyClick(dialog->RawEdit()->Widget(), Qt::Key_Return);
    EXPECT_EQ(dialog->FractionEdit()->Text(), QStringLiteral("0.750"));
    EXPECT_EQ(dialog->Slider()->Position(), 750);
    dialog->Slider()->Slider()->setValue(250);
    EXPECT_EQ(dialog->RawEdit()->Text(), QStringLiteral("350"));
    EXPECT_EQ(stored, (std::vector<float>{0.75f, 0.25f}));
    dialog->Destroy();
}

}  // namespace
}  // namespace velcora::gui
