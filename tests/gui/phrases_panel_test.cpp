// The phrase panel, the command panel and the gestures panel of the main
// window, checked by what the simulated robot receives.
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTimer>

#include "console/gui/button_dialogs.h"
#include "console/gui/command_panel.h"
#include "console/gui/gesture_panel.h"
#include "console/gui/phrase_panel.h"
#include "gui/main_form_fixture.h"
#include "gui/phrases_fixture.h"
#include "ui/vel_dialogs.h"

namespace velcora::gui {
namespace {

std::string Terminated(const std::string& utf8) {
    return Utf8ToAnsi(utf8) + std::string(1, '\0');
}

std::string Phrase(const std::string& utf8) {
    test::FakeLink link;
    SendPhrase(link, Utf8ToWide(utf8));
    return link.sent.at(0).payload;
}

TEST_F(PhrasesFormTest, EnterInTheBoxSpeaksAndTopsTheHistory) {
    Ini("HISTORY", "count", "1");
    Ini("HISTORY", "item0", "Старая фраза");
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    auto* panel = form->PhrasePanel();
    panel->Box()->SetText(QStringLiteral("Добрый   день"));
    QTest::keyClick(panel->Box()->Widget(), Qt::Key_Return);
    // The focus goes back to the drive joystick after 100 ms.
    EXPECT_EQ(form->Controller().FocusCountdown(), kPhraseFocusMs);
    // A phrase that differs only in case is said and leaves the list alone.
    panel->Box()->SetText(QStringLiteral("СТАРАЯ ФРАЗА"));
    QTest::keyClick(panel->Box()->Widget(), Qt::Key_Return, Qt::ControlModifier);
    Pump();
    const auto said = Of(msg::kTextCommand);
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[0].payload, Phrase("Добрый  день"));
    EXPECT_EQ(said[1].payload, Phrase("СТАРАЯ ФРАЗА"));
    EXPECT_TRUE(panel->Box()->Text().isEmpty());
    ASSERT_EQ(panel->List()->Count(), 2);
    EXPECT_EQ(panel->List()->ItemText(0), QStringLiteral("Добрый  день"));
}

TEST_F(PhrasesFormTest, DisconnectedBoxIsDisabledAndSendsNothing) {
    StartRobot();
    Open();
    auto* panel = form->PhrasePanel();
    EXPECT_FALSE(panel->Box()->IsEnabled());
    EXPECT_FALSE(panel->SayButton()->IsEnabled());
    panel->Box()->SetText(QStringLiteral("никто не слышит"));
    panel->SpeakBox();
    EXPECT_EQ(panel->Box()->Text(), QStringLiteral("никто не слышит"));
    EXPECT_EQ(form->Phrases().Count(), 0u);
    ASSERT_TRUE(Connect());
    EXPECT_TRUE(panel->Box()->IsEnabled());
    Pump();
    EXPECT_TRUE(Of(msg::kTextCommand).empty());
}

TEST_F(PhrasesFormTest, CtrlHotKeyByKeyPositionAndOtherKeysPassOn) {
    Ini("HISTORY", "count", "2");
    Ini("HISTORY", "item0", "без клавиши");
    Ini("HISTORY", "item1", "Здравствуйте");
    Ini("HISTORY", "hotkey1", std::to_string('Q'));
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    QWidget* joy = form->DriveJoy()->Widget();
    QTest::keyClick(joy, Qt::Key_Q, Qt::ControlModifier);
    // Under a Cyrillic layout "Й" sits where Q is (kernel code 16 + 8).
    QKeyEvent cyr(QEvent::KeyPress, 0x0419, Qt::ControlModifier, 24, 0, 0, QStringLiteral("й"));
    QApplication::sendEvent(joy, &cyr);
    Pump();
    const auto said = Of(msg::kTextCommand);
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[0].payload, Phrase("Здравствуйте"));
    EXPECT_EQ(said[1].payload, Phrase("Здравствуйте"));
    // Ctrl+Q is not the drive key Q (head left).
    EXPECT_FLOAT_EQ(form->Controller().Keys().HeadX(), 0.0f);

    // No phrase has C: the box copies as usual.
    auto* box = form->PhrasePanel()->Box();
    box->SetText(QStringLiteral("копия"));
    box->SetFocus();
    box->LineEdit()->selectAll();
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(box->Widget(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("копия"));
    EXPECT_TRUE(form->PhraseBoxEditing());
}

TEST_F(PhrasesFormTest, LanguageButtonAloneDownSendsItsName) {
    Ini("LANGUAGES", "lang0", "ru");
    Ini("LANGUAGES", "lang3", "Англ");
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    auto* panel = form->PhrasePanel();
    ASSERT_EQ(panel->LanguageCount(), 2u);
    panel->LanguageButton(0)->Press();
    panel->LanguageButton(1)->Press();
    Pump();
    EXPECT_FALSE(panel->LanguageButton(0)->Down());
    EXPECT_TRUE(panel->LanguageButton(1)->Down());
    const auto sent = Of(msg::kSpeechLanguage);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].payload, Terminated("ru"));
    EXPECT_EQ(sent[1].payload, Terminated("Англ"));
}

TEST_F(PhrasesFormTest, AutoFocusToggleIsWrittenAtOnce) {
    StartRobot();
    Open();
    form->PhrasePanel()->AutoFocusButton()->Press();
    IniFile ini(iniPath);
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(ini.GetInt("CONTROLS", "joyAutoFocus", 1), 0);
    EXPECT_FALSE(form->Settings().joyAutoFocus);
}

TEST_F(PhrasesFormTest, HistoryMenuKeysAndDialogs) {
    Ini("HISTORY", "count", "1");
    Ini("HISTORY", "item0", "первая");
    StartRobot();
    Open();
    auto* panel = form->PhrasePanel();
    std::vector<QString> answers = {QStringLiteral("ж"), QStringLiteral("q"), QStringLiteral("0"),
                                    QStringLiteral("5"), QStringLiteral("новая")};
    std::vector<QString> titles;
    auto previous = ui::SetInputSink([&](const QString& title, const QString&, QString& value) {
        titles.push_back(title);
        if (answers.empty())
            return false;
        value = answers.front();
        answers.erase(answers.begin());
        return true;
    });
    panel->List()->SetItemIndex(0);
    panel->Run(PhraseCommand::HotKey);                         // "ж": refused
    panel->Run(PhraseCommand::HotKey);                         // "q": Q
    panel->Run(PhraseCommand::Limit);                          // "0" refused, asked again: 5
    QTest::keyClick(panel->List()->Widget(), Qt::Key_Insert);  // "новая" at the bottom
    ui::SetInputSink(previous);
    EXPECT_EQ(form->Phrases().Item(0).hotkey, 'Q');
    EXPECT_EQ(form->Phrases().Limit(), 5);
    ASSERT_EQ(form->Phrases().Count(), 2u);
    EXPECT_EQ(form->Phrases().Item(1).text, "новая");
    EXPECT_EQ(panel->List()->ItemIndex(), 1);
    EXPECT_EQ(errors, (std::vector<std::string>{"Данная клавиша не может быть назначена!",
                                                "Число введено неправильно!"}));
    EXPECT_EQ(titles.size(), 5u);
    // Del removes the selected phrase; the limit change was saved.
    QTest::keyClick(panel->List()->Widget(), Qt::Key_Delete);
    EXPECT_EQ(form->Phrases().Count(), 1u);
    IniFile ini(iniPath);
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(ini.GetInt("HISTORY", "max_history_item_count", 0), 5);
}

TEST_F(PhrasesFormTest, CommandButtonEdges) {
    Ini("DBUTTON0", "text", "Держать");
    Ini("DBUTTON0", "down", "A");
    Ini("DBUTTON0", "up", "B");
    Ini("DBUTTON1", "text", "Фикс");
    Ini("DBUTTON1", "fixed", "1");
    Ini("DBUTTON1", "down", "on");
    Ini("DBUTTON1", "up", "off");
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    auto* panel = form->CommandPanel();
    ASSERT_EQ(panel->Count(), 2u);
    EXPECT_EQ(panel->Button(0)->Geometry().height(), kCommandButtonHeight);
    EXPECT_EQ(panel->Button(0)->Hint(), QStringLiteral("При нажатии: A\nПри отжатии: B"));
    QWidget* hold = panel->Button(0)->Widget();
    QTest::mousePress(hold, Qt::LeftButton);
    Pump();
    ASSERT_EQ(Of(msg::kScriptCommand).size(), 1u);
    QTest::mouseRelease(hold, Qt::LeftButton);
    QWidget* latch = panel->Button(1)->Widget();
    QTest::mouseClick(latch, Qt::LeftButton);
    EXPECT_TRUE(panel->Button(1)->Down());
    QTest::mouseClick(latch, Qt::LeftButton);
    Pump();
    const auto sent = Of(msg::kScriptCommand);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].payload, Terminated("A"));
    EXPECT_EQ(sent[1].payload, Terminated("B"));
    EXPECT_EQ(sent[2].payload, Terminated("on"));
    EXPECT_EQ(sent[3].payload, Terminated("off"));
}

TEST_F(PhrasesFormTest, PlaceholdersAreFilledInTheDialog) {
    Ini("DBUTTON0", "text", "Ехать");
    Ini("DBUTTON0", "down", "move({speed}, {dir})");
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    std::vector<QString> labels;
    WhenOpen<CCommandParamsDialog>([&](CCommandParamsDialog* d) {
        for (std::size_t i = 0; i < d->FieldCount(); ++i)
            labels.push_back(d->Label(i)->Text());
        d->Field(0)->SetText(QStringLiteral("5"));
        d->Field(1)->SetText(QStringLiteral("left"));
        d->SendCommand(CCommandParamsDialog::kCmdOk);
    });
    QWidget* b = form->CommandPanel()->Button(0)->Widget();
    QTest::mousePress(b, Qt::LeftButton);
    Pump();
    EXPECT_TRUE(Of(msg::kScriptCommand).empty());  // nothing as it goes down
    QTest::mouseRelease(b, Qt::LeftButton);
    Pump();
    EXPECT_EQ(labels, (std::vector<QString>{QStringLiteral("speed"), QStringLiteral("dir")}));
    const auto sent = Of(msg::kScriptCommand);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, Terminated("move(5, left)"));
}

TEST_F(PhrasesFormTest, CommandButtonsAddedAndRemovedAreSaved) {
    StartRobot();
    Open();
    WhenOpen<CCommandButtonDlg>([&](CCommandButtonDlg* d) {
        EXPECT_EQ(d->Width()->Value(), kCommandButtonNewWidth);
        EXPECT_FALSE(d->Release()->IsEnabled());
        d->Caption()->SetText(QStringLiteral("Новая"));
        d->Press()->SetText(QStringLiteral("сказать(привет)"));
        d->SendCommand(CCommandButtonDlg::kCmdOk);
    });
    form->CommandPanel()->AddButton();
    ASSERT_EQ(form->CommandPanel()->Count(), 1u);
    IniFile ini(iniPath);
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(ini.GetString("DBUTTON0", "text"), "Новая");
    EXPECT_EQ(ini.GetString("DBUTTON0", "down"), "сказать(привет)");

    auto previous = ui::SetChoiceSink(
        [](const QString&, const QString&, const QStringList&) { return 0; });  // "Да"
    form->CommandPanel()->RemoveButton(0);
    ui::SetChoiceSink(previous);
    EXPECT_EQ(form->CommandPanel()->Count(), 0u);
    ASSERT_TRUE(ini.Load());
    EXPECT_FALSE(ini.HasSection("DBUTTON0"));
}

TEST_F(PhrasesFormTest, GestureClickPerformsOrSaysThereIsNoConnection) {
    Ini("CONTROLS", "gestures", "1");
    Ini("GESTURES", "7", "Поклон");
    StartRobot();
    Open();
    auto* panel = form->GesturePanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_EQ(panel->Count(), 1u);
    EXPECT_EQ(panel->Button(0)->Hint(), QStringLiteral("Жест 7"));
    EXPECT_EQ(panel->Button(0)->Geometry().size(),
              QSize(kGestureButtonWidth, kGestureButtonHeight));
    QTest::mouseClick(panel->Button(0)->Widget(), Qt::LeftButton);
    EXPECT_EQ(errors, std::vector<std::string>{"Нет подключения к роботу!"});
    EXPECT_EQ(form->Controller().FocusCountdown(), kGestureFocusMs);
    ASSERT_TRUE(Connect());
    QTest::mouseClick(panel->Button(0)->Widget(), Qt::LeftButton);
    Pump();
    const auto sent = Of(msg::kGesturePlay);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, std::string("\x07\0\0\0", 4));
}

TEST_F(PhrasesFormTest, GesturesAreKeptWithThePanelHidden) {
    Ini("GESTURES", "3", "Привет");
    StartRobot();
    Open();
    EXPECT_EQ(form->GesturePanel(), nullptr);
    ASSERT_EQ(form->Gestures().Count(), 1u);
    QPointer<ui::CVelControl> alive(form);
    form->Close(0);
    ASSERT_TRUE(WaitFor([&] { return alive.isNull(); }, 2000));
    form = nullptr;
    IniFile ini(iniPath);
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(ini.GetString("GESTURES", "3"), "Привет");
}

}  // namespace
}  // namespace velcora::gui
