// The chat-bot editor as a tool window of the main window, against the
// simulated robot: its button, the transfers through their dialogs, closing
// with unsaved work.
#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

#include "chatbot/chat_script.h"
#include "chatbot/demo_script.h"
#include "chatbot/gui/chatbot_dialogs.h"
#include "chatbot/gui/chatbot_form.h"
#include "chatbot/gui/chatbot_views.h"
#include "chatbot/question_pattern.h"
#include "chatbot/script_text.h"
#include "gui/main_form_fixture.h"
#include "sim/sim_chatbot.h"
#include "ui/vel_dialogs.h"

namespace velcora::gui {
namespace {

using chatbot::CChatBotForm;

class ChatBotFormTest : public MainFormTest {
  protected:
    ChatBotFormTest() {
        Ini(kSectionControls, "remoteDesktop", "1");
        choiceSink_ = ui::SetChoiceSink(
            [this](const QString& title, const QString& text, const QStringList& buttons) {
                asked.push_back(title.toStdString() + "|" + text.toStdString());
                if (choices.empty()) {
                    ADD_FAILURE() << "unexpected question " << asked.back();
                    return -1;
                }
                const QString pick = choices.front();
                choices.erase(choices.begin());
                return static_cast<int>(buttons.indexOf(pick));
            });
        inputSink_ = ui::SetInputSink([this](const QString&, const QString& prompt, QString& v) {
            prompts.push_back(prompt.toStdString());
            if (inputs.empty())
                return false;
            v = inputs.front();
            inputs.erase(inputs.begin());
            return true;
        });
    }
    ~ChatBotFormTest() override {
        ui::SetChoiceSink(choiceSink_);
        ui::SetInputSink(inputSink_);
        chatbot::SetDialogHook(nullptr);
    }

    QPushButton* MainButton(const QString& caption) const {
        for (QPushButton* b : form->Widget()->findChildren<QPushButton*>()) {
            if (b->text() == caption)
                return b;
        }
        return nullptr;
    }
    CChatBotForm* Editor() const { return dynamic_cast<CChatBotForm*>(form->FindTool("chatbot")); }
    void Press(ChatCommand c) {
        ui::CVelButton* b = Editor()->Button(c);
        ASSERT_NE(b, nullptr);
        ASSERT_TRUE(b->Widget()->isVisible())
            << static_cast<int>(c) << " " << b->Widget()->x() << "," << b->Widget()->y();
        ASSERT_TRUE(b->Widget()->isEnabled());
        QTest::mouseClick(b->Widget(), Qt::LeftButton);
    }
    // Right-clicks the question view at `p` and chooses `c` from its menu.
    void Menu(const QPoint& p, ChatCommand c) {
        chatbot::CChatBotView* view = Editor()->QuestionView();
        QTest::mouseClick(view->Widget(), Qt::RightButton, {}, p);
        QAction* a = view->PopupMenu()->Item(chatbot::kCmdChatFirst + static_cast<int>(c));
        ASSERT_NE(a, nullptr);
        ASSERT_TRUE(a->isEnabled());
        view->PopupMenu()->Menu()->hide();
        a->trigger();
    }
    std::string RobotScript() {
        std::string bytes;
        EXPECT_TRUE(sim::LoadChatBotScript(*robot, bytes));
        return bytes;
    }
    void OpenDownloaded() {
        StartRobot();
        Open();
        ASSERT_TRUE(Connect());
        QTest::mouseClick(MainButton(QStringLiteral("Редактор чат-бота")), Qt::LeftButton);
        ASSERT_NE(Editor(), nullptr);
        Press(ChatCommand::kDownload);
        ASSERT_FALSE(Editor()->Editor().Script().framesets.empty());
    }

    std::vector<QString> choices;
    std::vector<std::string> asked;
    std::vector<QString> inputs;
    std::vector<std::string> prompts;

  private:
    ui::ChoiceSink choiceSink_;
    ui::InputSink inputSink_;
};

TEST_F(ChatBotFormTest, OneEditorPerButtonAndNoButtonWithoutTheSetting) {
    Open();
    QPushButton* button = MainButton(QStringLiteral("Редактор чат-бота"));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    ui::CVelMDIChildForm* first = form->FindTool("chatbot");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Text(), QStringLiteral("Редактор чат-бота"));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(form->FindTool("chatbot"), first);
    EXPECT_EQ(form->MdiChildren().size(), 1u);

    form->Destroy();
    form = nullptr;
    ui::test::Flush();
    Ini(kSectionControls, "remoteDesktop", "0");
    Open();
    EXPECT_EQ(MainButton(QStringLiteral("Редактор чат-бота")), nullptr);
}

// The views get their first size while they are still being built; the
// scroll bar must still stand along the right edge, full height.
TEST_F(ChatBotFormTest, ScrollBarStandsAlongTheRightEdge) {
    Open();
    QTest::mouseClick(MainButton(QStringLiteral("Редактор чат-бота")), Qt::LeftButton);
    ASSERT_NE(Editor(), nullptr);
    Pump();
    int checked = 0;
    for (QScrollBar* bar : Editor()->Widget()->findChildren<QScrollBar*>()) {
        QWidget* view = bar->parentWidget();
        if (!view->isVisibleTo(Editor()->Widget()) || bar->orientation() != Qt::Vertical ||
            view->inherits("QAbstractScrollArea") ||
            view->parentWidget()->inherits("QAbstractScrollArea"))
            continue;
        ++checked;
        EXPECT_EQ(bar->geometry().right(), view->width() - 1);
        EXPECT_EQ(bar->height(), view->height());
    }
    EXPECT_EQ(checked, 1);
}

TEST_F(ChatBotFormTest, DownloadShowsTheDemoAndATypedFramesetIsWhatTheRobotStores) {
    OpenDownloaded();
    CChatBotForm* editor = Editor();
    EXPECT_EQ(editor->Editor().Script().framesets[0].name, u"Приветствие");
    EXPECT_EQ(editor->Text(), QStringLiteral("Редактор чат-бота"));
    ui::test::Flush();
    // The first frameset's head is drawn where a click selects it.
    const auto head = editor->QuestionView()->BoxRect([] {
        ChatSelection s;
        s.item = ChatItem::kFrameset;
        s.frameset = {0};
        return s;
    }());
    ASSERT_TRUE(head.has_value());
    QTest::mouseClick(editor->QuestionView()->Widget(), Qt::LeftButton, {}, head->center());
    EXPECT_EQ(editor->Editor().Selection().frameset, std::vector<int32_t>{0});
    if (const char* shot = std::getenv("VELCORA_CHATBOT_SHOT")) {
        editor->Widget()->grab().save(QString::fromUtf8(shot));
        for (int page : {1, 2, 3}) {
            editor->ShowPage(page);
            ui::test::Flush();
            editor->Widget()->grab().save(QString::fromUtf8(shot) + QString::number(page) + ".png");
        }
        editor->ShowPage(0);
    }

    inputs.push_back(QStringLiteral("Проверка"));
    Menu(head->center(), ChatCommand::kAddFrameset);
    EXPECT_EQ(prompts, std::vector<std::string>{"Введите название фреймсета:"});
    ASSERT_EQ(editor->Editor().Script().framesets.size(), 5u);
    EXPECT_EQ(editor->Editor().Script().framesets[1].name, u"Проверка");
    EXPECT_EQ(editor->Text(), QStringLiteral("Редактор чат-бота *"));

    Press(ChatCommand::kUpload);
    EXPECT_EQ(editor->Text(), QStringLiteral("Редактор чат-бота"));
    const std::string stored = RobotScript();
    CChatScript script;
    ASSERT_TRUE(LoadScriptBytes(stored, script));
    EXPECT_EQ(script, editor->Editor().Script());
    EXPECT_EQ(stored.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_TRUE(errors.empty());
}

TEST_F(ChatBotFormTest, CancelledUploadLeavesTheRobotsScript) {
    OpenDownloaded();
    // A prompt long enough for the script to go in several chunks.
    ChatSelection prompts;
    prompts.area = ChatArea::kPrompts;
    Editor()->Editor().Select(prompts);
    ASSERT_TRUE(Editor()->Editor().Run(ChatCommand::kAddPhrase));
    inputs.push_back(QString(12000, QChar(u'я')));
    ASSERT_TRUE(Editor()->Editor().Run(ChatCommand::kEdit));
    int dialogs = 0;
    chatbot::SetDialogHook([&](ui::CVelForm& d) {
        ++dialogs;
        auto* p = dynamic_cast<chatbot::CChatBotProgressDialog*>(&d);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->Text(), QStringLiteral("Передать файл в память робота"));
        // Cancelled once the robot has taken the first chunk.
        EXPECT_TRUE(WaitFor([&] { return p->Transfer().Done() > 0; }));
        EXPECT_LT(p->Transfer().Done(), p->Transfer().Total());
        QTest::mouseClick(p->CancelButton()->Widget(), Qt::LeftButton);
    });
    Press(ChatCommand::kUpload);
    EXPECT_EQ(dialogs, 1);
    Pump();
    EXPECT_EQ(RobotScript(), std::string(DemoScriptBytes()));
    EXPECT_EQ(Editor()->Text(), QStringLiteral("Редактор чат-бота *"));
}

TEST_F(ChatBotFormTest, ClosingWithUnsavedWorkAsksAndCancelKeepsBoth) {
    OpenDownloaded();
    Editor()->ShowPage(chatbot::kPagePrompts);
    Editor()->Editor().Run(ChatCommand::kAddPhrase);
    QPointer<QWidget> window(form->Widget());
    choices = {QStringLiteral("Отмена")};
    form->Close(0);
    Pump();
    ASSERT_TRUE(window);
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(asked, std::vector<std::string>{"Закрытие|Файл не сохранен. Сохранить?"});

    // The editor alone: No to saving, Cancel to uploading keeps it.
    asked.clear();
    choices = {QStringLiteral("Нет"), QStringLiteral("Отмена")};
    Editor()->Close(0);
    Pump();
    ASSERT_NE(Editor(), nullptr);
    EXPECT_EQ(asked.size(), 2u);

    asked.clear();
    choices = {QStringLiteral("Нет"), QStringLiteral("Нет")};
    form->Close(0);
    ASSERT_TRUE(WaitFor([&] { return window.isNull(); }));
    form = nullptr;
    EXPECT_EQ(asked, (std::vector<std::string>{
                         "Закрытие|Файл не сохранен. Сохранить?",
                         "Закрытие|Файл не записан в память робот. Передать файл на робота?"}));
}

// The word panel and the frameset dialog, filled in as an operator would.
TEST_F(ChatBotFormTest, WordPanelAndFramesetDialog) {
    OpenDownloaded();
    CChatBotForm* editor = Editor();
    ChatSelection element;
    element.item = ChatItem::kElement;
    element.frameset = {2};
    element.frame = 0;
    element.index = 0;
    element.element = 1;  // <x:number> in "сколько&будет <x:number> плюс <y:number>"
    editor->Editor().Select(element);
    const auto box = editor->QuestionView()->BoxRect(element);
    ASSERT_TRUE(box.has_value());
    std::vector<QString> seen;
    chatbot::SetDialogHook([&](ui::CVelForm& d) {
        seen.push_back(d.Text());
        auto* ok = dynamic_cast<chatbot::CChatBotOkDialog*>(&d);
        ASSERT_NE(ok, nullptr);
        for (ui::CVelControl* c : ok->Body()->Children()) {
            if (auto* word = dynamic_cast<chatbot::CChatBotWordPanel*>(c)) {
                EXPECT_EQ(word->Kind()->ItemIndex(), 3);
                EXPECT_EQ(word->Word()->Text(), QStringLiteral("x"));
                // A word with a synonym instead of the number.
                word->Kind()->SetItemIndex(0);
                word->Word()->SetText(QStringLiteral("пять"));
                word->Synonyms()->SetText(QStringLiteral("шесть\n\n  семь  восемь "));
            }
        }
        QTest::mouseClick(ok->OkButton()->Widget(), Qt::LeftButton);
    });
    QTest::mouseDClick(editor->QuestionView()->Widget(), Qt::LeftButton, {}, box->center());
    EXPECT_EQ(seen, std::vector<QString>{QStringLiteral("Параметры слова")});
    EXPECT_EQ(PrintPattern(editor->Editor().Script().framesets[2].frames[0].questions[0]),
              u"сколько&будет пять | шесть | семь&восемь плюс <y:number>");

    // The frameset dialog opens with the name and priority; OK keeps them.
    seen.clear();
    ChatSelection head;
    head.item = ChatItem::kFrameset;
    head.frameset = {2};
    editor->Editor().Select(head);
    editor->Editor().Run(ChatCommand::kEditFrameset);
    EXPECT_EQ(seen, std::vector<QString>{QStringLiteral("Правка фреймсета")});
    EXPECT_EQ(editor->Editor().Script().framesets[2].name, u"Числа");
    EXPECT_TRUE(errors.empty());
}

// Opened and closed twice while connected: nothing it registered outlives it.
TEST_F(ChatBotFormTest, OpenedAndClosedTwiceWhileConnected) {
    StartRobot();
    Open();
    ASSERT_TRUE(Connect());
    for (int round = 0; round < 2; ++round) {
        auto* editor = dynamic_cast<CChatBotForm*>(form->OpenTool("chatbot"));
        ASSERT_NE(editor, nullptr);
        Press(ChatCommand::kDownload);
        form->Controller().OnConnectionStateChanged();
        QPointer<QWidget> w(editor->Widget());
        editor->Close(0);
        ASSERT_TRUE(WaitFor([&] { return w.isNull(); }));
        EXPECT_EQ(form->FindTool("chatbot"), nullptr);
        form->Controller().OnConnectionStateChanged();
        Pump();
    }
    EXPECT_TRUE(errors.empty());
}

}  // namespace
}  // namespace velcora::gui
