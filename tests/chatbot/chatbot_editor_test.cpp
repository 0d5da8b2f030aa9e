#include "chatbot/chatbot_editor.h"
#include "chatbot/chatbot_layout.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "chatbot/demo_script.h"
#include "chatbot/script_generator.h"
#include "link/text_codec.h"
#include "support/fake_link.h"
#include "support/temp_folder.h"

namespace velcora {
namespace {

using test::FakeLink;
using test::TempFolder;

std::string U8(std::u16string_view s) {
    return WideToUtf8(s);
}

// Answers the editor's questions from queues the test fills; a question the
// test did not expect fails it.
struct ScriptedView : IChatBotEditorView {
    template <typename T>
    static std::optional<T> Take(std::deque<std::optional<T>>& q, const char* what) {
        if (q.empty()) {
            ADD_FAILURE() << "unexpected " << what;
            return std::nullopt;
        }
        auto v = std::move(q.front());
        q.pop_front();
        return v;
    }

    EditorAnswer Ask(std::u16string_view title, std::u16string_view text,
                     EditorButtons buttons) override {
        asked.push_back(U8(title) + "|" + U8(text));
        askedButtons.push_back(buttons);
        const auto a = Take(answers, "question");
        return a ? *a : EditorAnswer::kCancel;
    }
    bool InputLine(std::u16string_view title, std::u16string_view prompt,
                   std::u16string& value) override {
        inputs.push_back(U8(title) + "|" + U8(prompt) + "|" + U8(value));
        const auto v = Take(lines, "input line");
        if (v) {
            value = *v;
        }
        return v.has_value();
    }
    bool InputScript(std::u16string& body) override {
        const auto v = Take(scripts, "script box");
        if (v) {
            body = *v;
        }
        return v.has_value();
    }
    bool EditFrameset(std::u16string& name, int32_t& priority) override {
        framesetDialogs.push_back(U8(name) + "|" + std::to_string(priority));
        const auto v = Take(framesets, "frameset dialog");
        if (v) {
            name = v->first;
            priority = v->second;
        }
        return v.has_value();
    }
    bool EditElement(CPatternElement& element, const std::vector<std::u16string>& names) override {
        lastNames = names;
        const auto v = Take(elements, "word panel");
        if (v) {
            element = *v;
        }
        return v.has_value();
    }
    bool InputWaitTime(int32_t& ms) override {
        const auto v = Take(waits, "wait time box");
        if (v) {
            ms = *v;
        }
        return v.has_value();
    }
    void ShowError(std::u16string_view text, std::u16string_view title) override {
        errors.push_back(U8(title) + "|" + U8(text));
    }
    void ShowMessage(std::u16string_view title, std::u16string_view text) override {
        messages.push_back(U8(title) + "|" + U8(text));
    }
    std::string ChooseOpenFile() override {
        const auto v = Take(openFiles, "open file choice");
        return v ? *v : std::string();
    }
    std::string ChooseSaveFile() override {
        const auto v = Take(saveFiles, "save file choice");
        return v ? *v : std::string();
    }
    TransferResult RunTransfer(CChatBotTransferRun& run) override {
        ++transfers;
        if (!transfer) {
            ADD_FAILURE() << "unexpected transfer";
            run.Cancel();
            return TransferResult::kCancelled;
        }
        return transfer(run);
    }
    void SetTitle(std::u16string_view t) override { title = U8(t); }
    void Changed(const ChatChange& change) override {
        changes.push_back(change);
        if (onChange) {
            onChange(change);
        }
    }
    std::function<void(const ChatChange&)> onChange;

    std::deque<std::optional<EditorAnswer>> answers;
    std::deque<std::optional<std::u16string>> lines;
    std::deque<std::optional<std::u16string>> scripts;
    std::deque<std::optional<std::pair<std::u16string, int32_t>>> framesets;
    std::deque<std::optional<CPatternElement>> elements;
    std::deque<std::optional<int32_t>> waits;
    std::deque<std::optional<std::string>> openFiles;
    std::deque<std::optional<std::string>> saveFiles;
    std::function<TransferResult(CChatBotTransferRun&)> transfer;

    std::vector<std::string> asked;
    std::vector<EditorButtons> askedButtons;
    std::vector<std::string> inputs;
    std::vector<std::string> framesetDialogs;
    std::vector<std::u16string> lastNames;
    std::vector<std::string> errors;
    std::vector<std::string> messages;
    std::vector<ChatChange> changes;
    std::string title;
    int transfers = 0;
};

std::string I32(int32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        out[static_cast<std::size_t>(i)] =
            static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
    }
    return out;
}

int32_t ReadI32At(const std::string& s, std::size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v |= static_cast<uint32_t>(static_cast<uint8_t>(s[at + static_cast<std::size_t>(i)]))
             << (8 * i);
    }
    return static_cast<int32_t>(v);
}

// A robot that acknowledges every upload chunk and stores what it got, and
// serves `stored` to downloads, one tick at a time.
struct Robot {
    Robot(FakeLink& l, std::string s) : link(l), stored(std::move(s)) {}
    FakeLink& link;
    std::string stored;
    std::string received;
    std::size_t seen = 0;

    void Pump() {
        for (; seen < link.sent.size(); ++seen) {
            const test::SentFrame f = link.sent[seen];
            if (f.type == msg::kChatBotUpload) {
                const int32_t offset = ReadI32At(f.payload, 0);
                const int32_t total = ReadI32At(f.payload, 4);
                received.resize(static_cast<std::size_t>(total));
                received.replace(static_cast<std::size_t>(offset), f.payload.size() - 8,
                                 f.payload.substr(8));
                link.Receive(msg::kChatBotUpload,
                             I32(offset + static_cast<int32_t>(f.payload.size() - 8)));
            } else if (f.type == msg::kChatBotDownloadRequest) {
                const int32_t offset = ReadI32At(f.payload, 0);
                if (offset < 0) {
                    continue;
                }
                const std::size_t n =
                    std::min<std::size_t>(8192, stored.size() - static_cast<std::size_t>(offset));
                link.Receive(msg::kChatBotDownloadChunk,
                             I32(offset) + I32(static_cast<int32_t>(stored.size())) +
                                 stored.substr(static_cast<std::size_t>(offset), n));
            }
        }
    }
    std::function<TransferResult(CChatBotTransferRun&)> Serve() {
        return [this](CChatBotTransferRun& run) {
            for (int i = 0; i < 1000 && run.Result() == TransferResult::kRunning; ++i) {
                run.Tick(kChatBotTransferTickMs);
                Pump();
            }
            return run.Result();
        };
    }
};

std::u16string Tail() {
    return u"\r\nrobotDialogCount = 0;\r\n\r\n\r\nfunction RobotPrompt()\r\n{\r\n}\r\n";
}

const std::u16string kBase =
    u"frameset(\"a\")\r\n{\r\n"
    u"\tframe(\"x\")\r\n\t{\r\n\t\tPlaySpeech(\"y\");\r\n\t}\r\n"
    u"\tframe(\"s\")\r\n\t{ Say(1);\r\n\t}\r\n"
    u"}\r\n" +
    Tail();

struct Fixture : testing::Test {
    FakeLink link;
    ScriptedView view;
    CChatBotEditor editor{link, view};
    TempFolder folder;

    void Load(const std::u16string& text) {
        folder.Write("in.txt", WideToUtf8(text));
        ASSERT_TRUE(editor.OpenPath(folder.File("in.txt")));
    }
    void LoadDemo() {
        folder.Write("demo.txt", std::string(DemoScriptBytes()));
        ASSERT_TRUE(editor.OpenPath(folder.File("demo.txt")));
    }
    std::u16string Text() const { return GenerateScript(editor.Script()); }

    static ChatSelection At(ChatItem item, std::vector<int32_t> fs, int32_t frame = -1,
                            int32_t index = -1, int32_t element = -1) {
        ChatSelection s;
        s.item = item;
        s.frameset = std::move(fs);
        s.frame = frame;
        s.index = index;
        s.element = element;
        return s;
    }
    static ChatSelection Dialog(int32_t d, int32_t phrase = -1) {
        ChatSelection s;
        s.area = ChatArea::kDialogues;
        s.item = phrase < 0 ? ChatItem::kDialog : ChatItem::kPhrase;
        s.dialog = d;
        s.index = phrase;
        return s;
    }
    static ChatSelection Prompt(int32_t p) {
        ChatSelection s;
        s.area = ChatArea::kPrompts;
        s.item = p < 0 ? ChatItem::kNone : ChatItem::kPrompt;
        s.index = p;
        return s;
    }
};

// ---------------------------------------------------------- edits -> text

struct EditCase {
    const char* name;
    std::function<void(Fixture&)> act;
    std::u16string expected;  // the whole generated script
};
void PrintTo(const EditCase& c, std::ostream* os) {
    *os << c.name;
}

// The fixture on its own, for parameterised tests that make one per case.
struct Edits : Fixture {
    void TestBody() override {}
};
class EditsTest : public testing::TestWithParam<EditCase> {};

const std::u16string kHead = u"frameset(\"a\")\r\n{\r\n";
const std::u16string kFrameX = u"\tframe(\"x\")\r\n\t{\r\n\t\tPlaySpeech(\"y\");\r\n\t}\r\n";
const std::u16string kFrameS = u"\tframe(\"s\")\r\n\t{ Say(1);\r\n\t}\r\n";

const EditCase kEditCases[] = {
    {"add frame after the first",
     [](Fixture& f) {
         f.editor.Select(Fixture::At(ChatItem::kFrame, {0}, 0));
         EXPECT_TRUE(f.editor.Run(ChatCommand::kAddFrame));
     },
     kHead + kFrameX + u"\tframe(\"\")\r\n\t{\r\n\t\tPlaySpeech(\"\");\r\n\t}\r\n" + kFrameS +
         u"}\r\n" + Tail()},
    {"add question after the selected one",
     [](Fixture& f) {
         f.editor.Select(Fixture::At(ChatItem::kQuestion, {0}, 0, 0));
         EXPECT_TRUE(f.editor.Run(ChatCommand::kAddQuestion));
         EXPECT_EQ(f.editor.Selection().index, 1);
     },
     kHead + u"\tframe(\"x\")\r\n\tframe(\"\")\r\n\t{\r\n\t\tPlaySpeech(\"y\");\r\n\t}\r\n" +
         kFrameS + u"}\r\n" + Tail()},
    {"question typed in the box is parsed again",
     [](Fixture& f) {
         f.editor.Select(Fixture::At(ChatItem::kQuestion, {0}, 0, 0));
         f.view.lines.push_back(u"привет & робот|здравствуй [ПОЖАЛУЙСТА] <x:Number>");
         EXPECT_TRUE(f.editor.Run(ChatCommand::kEdit));
         EXPECT_EQ(f.view.inputs.back(), "Правка вопроса|Вопрос:|x");
     },
     kHead +
         u"\tframe(\"привет&робот | здравствуй [ПОЖАЛУЙСТА] <x:number>\")\r\n\t{\r\n\t\t"
         u"PlaySpeech(\"y\");\r\n\t}\r\n" +
         kFrameS + u"}\r\n" + Tail()},
    {"a malformed question keeps what was read",
     [](Fixture& f) {
         f.editor.Select(Fixture::At(ChatItem::kQuestion, {0}, 0, 0));
         f.view.lines.push_back(u"да нет <x");
         EXPECT_TRUE(f.editor.Run(ChatCommand::kEdit));
     },
     kHead + u"\tframe(\"да нет <x>\")\r\n\t{\r\n\t\tPlaySpeech(\"y\");\r\n\t}\r\n" + kFrameS +
         u"}\r\n" + Tail()},
    {"word panel turns a word into a reference",
     [](Fixture& f) {
         f.editor.Select(Fixture::At(ChatItem::kElement, {0}, 0, 0, 0));
         CPatternElement e;
         e.kind = PatternKind::kFramesetRef;
         e.name = u"a";
         e.label = u"кто";
         f.view.elements.push_back(e);
         EXPECT_TRUE(f.editor.Run(ChatCommand::kEdit));
         EXPECT_EQ(f.view.lastNames, std::vector<std::u16string>{u"a"});
     },
     kHead + u"\tframe(\"<a:кто>\")\r\n\t{\r\n\t\tPlaySpeech(\"y\");\r\n\t}\r\n" + kFrameS +
         u"}\r\n" + Tail()},
    {"answer added and typed",
     [](Fixture& f) {
         f.editor.Select(Fixture::At(ChatItem::kAnswer, {0}, 0, 0));
         EXPECT_TRUE(f.editor.Run(ChatCommand::kAddAnswer));
         f.view.lines.push_back(u"Вот 'так'");
         EXPECT_TRUE(f.editor.Run(ChatCommand::kEdit));
     },
     kHead + u"\tframe(\"x\")\r\n\t{\r\n\t\tPlaySpeech(\"y\",\r\n\t\t\t\"Вот 'так'\");\r\n\t}\r\n" +
         kFrameS + u"}\r\n" + Tail()},
    {"answer frame switched to a script",
     [](Fixture& f) {
         f.editor.Select(Fixture::At(ChatItem::kAnswer, {0}, 0, 0));
         f.view.answers.push_back(EditorAnswer::kYes);
         f.view.scripts.push_back(u"\r\n\t\tSay(2);\r\n");
         EXPECT_TRUE(f.editor.Run(ChatCommand::kEditScript));
     },
     kHead + u"\tframe(\"x\")\r\n\t{\r\n\t\tSay(2);\r\n\t}\r\n" + kFrameS + u"}\r\n" + Tail()},
    {"script frame switched to answers",
     [](Fixture& f) {
         f.editor.Select(Fixture::At(ChatItem::kScript, {0}, 1));
         f.view.answers.push_back(EditorAnswer::kYes);
         EXPECT_TRUE(f.editor.Run(ChatCommand::kAddAnswer));
     },
     kHead + kFrameX + u"\tframe(\"s\")\r\n\t{\r\n\t\tPlaySpeech(\"\");\r\n\t}\r\n}\r\n" + Tail()},
    {"nested frameset starts as temp with priority 1",
     [](Fixture& f) {
         f.editor.Select(Fixture::At(ChatItem::kFrame, {0}, 0));
         f.view.framesets.push_back(std::pair<std::u16string, int32_t>(u"temp", 1));
         EXPECT_TRUE(f.editor.Run(ChatCommand::kAddFrameset));
         EXPECT_EQ(f.view.framesetDialogs, std::vector<std::string>{"temp|1"});
         EXPECT_EQ(f.editor.Selection().frameset, (std::vector<int32_t>{0, 0}));
     },
     kHead +
         u"\tframe(\"x\")\r\n\t{\r\n\t\tPlaySpeech(\"y\");\r\n\t\tframeset(\"temp\", 1)\r\n"
         u"\t\t{\r\n\t\t}\r\n\t}\r\n" +
         kFrameS + u"}\r\n" + Tail()},
    {"frameset renamed, priority 0 is no priority",
     [](Fixture& f) {
         f.editor.Select(Fixture::At(ChatItem::kFrameset, {0}));
         f.view.framesets.push_back(std::pair<std::u16string, int32_t>(u"б", 0));
         EXPECT_TRUE(f.editor.Run(ChatCommand::kEditFrameset));
     },
     u"frameset(\"б\")\r\n{\r\n" + kFrameX + kFrameS + u"}\r\n" + Tail()},
    {"top-level frameset added after the selected one",
     [](Fixture& f) {
         f.editor.Select(Fixture::At(ChatItem::kFrameset, {0}));
         f.view.lines.push_back(u"b");
         EXPECT_TRUE(f.editor.Run(ChatCommand::kAddFrameset));
         EXPECT_EQ(f.view.inputs.back(), "Добавить новый фреймсет|Введите название фреймсета:|");
     },
     kHead + kFrameX + kFrameS + u"}\r\nframeset(\"b\")\r\n{\r\n}\r\n" + Tail()},
    {"dialogue with a phrase after the wait",
     [](Fixture& f) {
         f.editor.Select(Fixture::Dialog(-1));
         EXPECT_TRUE(f.editor.Run(ChatCommand::kAddFrame));
         EXPECT_TRUE(f.editor.Run(ChatCommand::kAddPhraseAfterWait));
         f.view.lines.push_back(u"потом");
         EXPECT_TRUE(f.editor.Run(ChatCommand::kEdit));
         f.editor.Select(Fixture::Dialog(0));
         EXPECT_TRUE(f.editor.Run(ChatCommand::kAddPhrase));
         EXPECT_EQ(f.editor.Selection().index, 0);
         f.view.lines.push_back(u"сначала");
         EXPECT_TRUE(f.editor.Run(ChatCommand::kEdit));
         f.editor.Select(Fixture::Dialog(0));
         f.view.waits.push_back(99999);
         EXPECT_TRUE(f.editor.Run(ChatCommand::kEdit));
     },
     kHead + kFrameX + kFrameS +
         u"}\r\n\r\nrobotDialogCount = 1;\r\n\r\nfunction RobotDialog(inx)\r\n{\r\n"
         u"\tif (inx == 0)\r\n\t{\r\n\t\tPlaySpeech(\"сначала\");\r\n\r\n"
         u"\t\tif (!Wait(20000)) return;\r\n\r\n\t\tPlaySpeech(\"потом\");\r\n\t}\r\n}\r\n\r\n"
         u"\r\nfunction RobotPrompt()\r\n{\r\n}\r\n"},
    {"prompts added and typed",
     [](Fixture& f) {
         f.editor.Select(Fixture::Prompt(-1));
         EXPECT_TRUE(f.editor.Run(ChatCommand::kAddPhrase));
         f.view.lines.push_back(u"Заходите!");
         EXPECT_TRUE(f.editor.Run(ChatCommand::kEdit));
         EXPECT_TRUE(f.editor.Run(ChatCommand::kAddPhrase));
     },
     kHead + kFrameX + kFrameS +
         u"}\r\n\r\nrobotDialogCount = 0;\r\n\r\n\r\nfunction RobotPrompt()\r\n{\r\n"
         u"\tPlaySpeech(\"Заходите!\",\r\n\t\t\"\");\r\n}\r\n"},
};

TEST_P(EditsTest, GenerateTheExpectedScript) {
    Edits f;
    f.Load(kBase);
    GetParam().act(f);
    EXPECT_EQ(U8(f.Text()), U8(GetParam().expected));
    EXPECT_TRUE(f.editor.Modified());
    EXPECT_EQ(f.view.title, "Редактор чат-бота *");
    EXPECT_TRUE(f.view.errors.empty()) << f.view.errors.front();
}
INSTANTIATE_TEST_SUITE_P(Editor, EditsTest, testing::ValuesIn(kEditCases));

// ----------------------------------------------------------------- names

struct NameCase {
    const char* label;
    std::u16string name;
    const char* error;  // empty: accepted
};
void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.label;
}
class FramesetNames : public testing::TestWithParam<NameCase> {};

TEST_P(FramesetNames, CheckedOnAdd) {
    Edits f;
    f.LoadDemo();
    const auto before = f.editor.Script().framesets.size();
    f.view.lines.push_back(GetParam().name);
    const bool added = f.editor.Run(ChatCommand::kAddFrameset);
    if (*GetParam().error == 0) {
        EXPECT_TRUE(added);
        EXPECT_EQ(f.editor.Script().framesets.size(), before + 1);
        EXPECT_TRUE(f.view.errors.empty());
    } else {
        EXPECT_FALSE(added);
        EXPECT_EQ(f.editor.Script().framesets.size(), before);
        EXPECT_EQ(f.view.errors,
                  std::vector<std::string>{std::string("Ошибка|") + GetParam().error});
        EXPECT_FALSE(f.editor.Modified());
    }
}

constexpr const char* kBad = "Название фреймсета содержит недопустимые символы!";
constexpr const char* kTaken = "Такой фреймсет уже существует!";

INSTANTIATE_TEST_SUITE_P(
    Editor, FramesetNames,
    testing::Values(NameCase{"empty", u"", kBad}, NameCase{"254", std::u16string(254, u'я'), ""},
                    NameCase{"255", std::u16string(255, u'я'), kBad},
                    NameCase{"space", u"a b", kBad}, NameCase{"dot", u"a.b", kBad},
                    NameCase{"quote", u"a\"b", kBad},
                    NameCase{"cyrillic and word signs", u"Новый_фреймсет-2:+", ""},
                    NameCase{"top level taken", u"Приветствие", kTaken},
                    NameCase{"nested taken", u"Уточнение", kTaken},
                    NameCase{"case differs", u"приветствие", ""}));

TEST(Editor, NestedFramesetDialogAsksAgainUntilTheNameIsFreeAndCancelDropsIt) {
    Edits f;
    f.LoadDemo();
    // "который час" (frame 2 of Приветствие) has no nested frameset.
    f.editor.Select(Fixture::At(ChatItem::kQuestion, {0}, 2, 0));
    f.view.framesets.push_back(std::pair<std::u16string, int32_t>(u"Знакомство", 1));
    f.view.framesets.push_back(std::nullopt);
    EXPECT_FALSE(f.editor.Run(ChatCommand::kAddFrameset));
    EXPECT_EQ(f.view.framesetDialogs, (std::vector<std::string>{"temp|1", "Знакомство|1"}));
    EXPECT_EQ(f.view.errors, std::vector<std::string>{std::string("Ошибка|") + kTaken});
    EXPECT_FALSE(f.editor.Script().framesets[0].frames[2].nested);
    EXPECT_FALSE(f.editor.Modified());
    EXPECT_FALSE(f.editor.Enabled(ChatCommand::kUndo));
}

// --------------------------------------------------------- confirmations

struct ConfirmCase {
    const char* name;
    std::function<ChatSelection()> select;
    ChatCommand command;
    const char* question;                          // "title|text"
    std::function<void(Fixture&)> more = nullptr;  // after Yes, when a box follows
};
void PrintTo(const ConfirmCase& c, std::ostream* os) {
    *os << c.name;
}
class Confirmations : public testing::TestWithParam<std::tuple<ConfirmCase, bool>> {};

TEST_P(Confirmations, YesChangesNoKeeps) {
    const auto& [c, yes] = GetParam();
    Edits f;
    f.LoadDemo();
    const std::u16string before = f.Text();
    f.editor.Select(c.select());
    ASSERT_TRUE(f.editor.Enabled(c.command));
    f.view.answers.push_back(yes ? EditorAnswer::kYes : EditorAnswer::kNo);
    if (yes && c.more) {
        c.more(f);
    }
    EXPECT_EQ(f.editor.Run(c.command), yes);
    EXPECT_EQ(f.view.asked, std::vector<std::string>{c.question});
    EXPECT_EQ(f.view.askedButtons, std::vector<EditorButtons>{EditorButtons::kYesNo});
    EXPECT_EQ(f.Text() != before, yes);
    EXPECT_EQ(f.editor.Modified(), yes);
}

INSTANTIATE_TEST_SUITE_P(
    Editor, Confirmations,
    testing::Combine(
        testing::Values(
            ConfirmCase{"frameset",
                        [] {
                            return Fixture::At(ChatItem::kFrameset, {0, 1});
                        },
                        ChatCommand::kDeleteFrameset,
                        "Удалить фреймсет|Вы действительно хотите удалить фреймсет "
                        "\"Знакомство\" и все его фреймы?"},
            ConfirmCase{"frame", [] { return Fixture::At(ChatItem::kFrame, {1}, 0); },
                        ChatCommand::kDeleteFrame, "Удалить фрейм|Удалить данный фрейм?"},
            ConfirmCase{"question", [] { return Fixture::At(ChatItem::kQuestion, {0}, 0, 1); },
                        ChatCommand::kDeleteQuestion,
                        "Удалить вопрос|Вы действительно хотите удалить этот вопрос?"},
            ConfirmCase{"answer", [] { return Fixture::At(ChatItem::kAnswer, {0}, 0, 1); },
                        ChatCommand::kDeleteAnswer,
                        "Удалить ответ|Вы действительно хоите удалить этот ответ?"},
            ConfirmCase{"dialogue", [] { return Fixture::Dialog(1); }, ChatCommand::kDeleteFrame,
                        "Удалить фрейм|Удалить данный фрейм?"},
            ConfirmCase{"dialogue phrase", [] { return Fixture::Dialog(0, 1); },
                        ChatCommand::kDeletePhrase, "Удалить фразу|Удалить эту фразу?"},
            ConfirmCase{"prompt", [] { return Fixture::Prompt(2); }, ChatCommand::kDeletePhrase,
                        "Удалить фразу|Удалить эту фразу?"},
            ConfirmCase{"answers over a script",
                        [] { return Fixture::At(ChatItem::kScript, {0}, 2); },
                        ChatCommand::kAddAnswer,
                        "Добавить ответ|Переключение на режим ответов удалит скрипт. Продолжить?"},
            ConfirmCase{"script over answers",
                        [] { return Fixture::At(ChatItem::kAnswer, {0}, 0, 0); },
                        ChatCommand::kEditScript,
                        "Правка|Переключение на скрипт удалит все ответы на вопросы. Продолжить?",
                        [](Fixture& f) { f.view.scripts.push_back(u" Say(3); "); }}),
        testing::Bool()));

TEST(Editor, LastQuestionOfAFrameCannotBeDeletedAndPronounFramesKeepTheirKind) {
    Edits f;
    f.LoadDemo();
    f.editor.Select(Fixture::At(ChatItem::kQuestion, {0}, 1, 0));
    EXPECT_FALSE(f.editor.Enabled(ChatCommand::kDeleteQuestion));
    // "он | она" in Знакомство is a pronoun frame.
    f.editor.Select(Fixture::At(ChatItem::kQuestion, {0, 1}, 1, 0));
    ASSERT_EQ(f.editor.Selection().item, ChatItem::kQuestion);
    EXPECT_FALSE(f.editor.Enabled(ChatCommand::kAddAnswer));
    EXPECT_FALSE(f.editor.Enabled(ChatCommand::kEditScript));
}

// -------------------------------------------------------- refused texts

struct RefusedCase {
    const char* name;
    std::function<void(Fixture&)> act;
};
void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}
class Refused : public testing::TestWithParam<RefusedCase> {};

const std::u16string kRefuseBase =
    kHead + kFrameX + kFrameS +
    u"}\r\n\r\nrobotDialogCount = 1;\r\n\r\nfunction RobotDialog(inx)\r\n{\r\n"
    u"\tif (inx == 0)\r\n\t{\r\n\t\tPlaySpeech(\"d\");\r\n\t}\r\n}\r\n\r\n"
    u"\r\nfunction RobotPrompt()\r\n{\r\n\tPlaySpeech(\"p\");\r\n}\r\n";

TEST_P(Refused, TextTheScriptCannotCarry) {
    Edits f;
    f.Load(kRefuseBase);
    ASSERT_EQ(U8(f.Text()), U8(kRefuseBase));
    GetParam().act(f);
    EXPECT_EQ(f.view.errors, std::vector<std::string>{"Ошибка|Ошибка разбора текста!"});
    EXPECT_EQ(U8(f.Text()), U8(kRefuseBase));
    EXPECT_FALSE(f.editor.Modified());
    EXPECT_FALSE(f.editor.Enabled(ChatCommand::kUndo));
}

void EditAnswer(Fixture& f, std::u16string text) {
    f.editor.Select(Fixture::At(ChatItem::kAnswer, {0}, 0, 0));
    f.view.lines.push_back(std::move(text));
    EXPECT_FALSE(f.editor.Run(ChatCommand::kEdit));
}
void EditBody(Fixture& f, std::u16string body) {
    f.editor.Select(Fixture::At(ChatItem::kScript, {0}, 1));
    f.view.scripts.push_back(std::move(body));
    EXPECT_FALSE(f.editor.Run(ChatCommand::kEdit));
}
void EditWord(Fixture& f, PatternKind kind, std::vector<std::u16string> alternatives,
              std::u16string name = {}) {
    f.editor.Select(Fixture::At(ChatItem::kElement, {0}, 0, 0, 0));
    CPatternElement e;
    e.kind = kind;
    e.alternatives = std::move(alternatives);
    e.name = std::move(name);
    f.view.elements.push_back(e);
    EXPECT_FALSE(f.editor.Run(ChatCommand::kEdit));
}

INSTANTIATE_TEST_SUITE_P(
    Editor, Refused,
    testing::Values(
        RefusedCase{"answer with both quotes",
                    [](Fixture& f) { EditAnswer(f, u"он 'сказал' \""); }},
        RefusedCase{"body with an unclosed brace", [](Fixture& f) { EditBody(f, u" if (x) { "); }},
        RefusedCase{"body with an unclosed quote", [](Fixture& f) { EditBody(f, u" Say(\"a); "); }},
        RefusedCase{"body that reads as answers",
                    [](Fixture& f) { EditBody(f, u" PlaySpeech(\"a\"); "); }},
        RefusedCase{"synonym with a dot",
                    [](Fixture& f) { EditWord(f, PatternKind::kSynonyms, {u"a.b"}); }},
        RefusedCase{"empty synonym",
                    [](Fixture& f) {
                        EditWord(f, PatternKind::kSynonyms, {u"a", u""});
                    }},
        RefusedCase{"optional of two words",
                    [](Fixture& f) { EditWord(f, PatternKind::kOptional, {}, u"a b"); }},
        RefusedCase{"dialogue phrase with both quotes",
                    [](Fixture& f) {
                        f.editor.Select(Fixture::Dialog(0, 0));
                        f.view.lines.push_back(u"'\"");
                        EXPECT_FALSE(f.editor.Run(ChatCommand::kEdit));
                    }},
        RefusedCase{"prompt with both quotes", [](Fixture& f) {
                        f.editor.Select(Fixture::Prompt(0));
                        f.view.lines.push_back(u"'\"");
                        EXPECT_FALSE(f.editor.Run(ChatCommand::kEdit));
                    }}));

// ------------------------------------------------- the mark and the file

TEST(Editor, MarkAfterEachAction) {
    Edits f;
    FakeLink& link = f.link;
    Robot robot{link, std::string(DemoScriptBytes())};
    f.view.transfer = robot.Serve();
    const std::string path = f.folder.File("saved.txt");

    EXPECT_TRUE(f.editor.Run(ChatCommand::kNewFile));
    EXPECT_EQ(f.view.title, "Редактор чат-бота");
    EXPECT_TRUE(f.editor.Run(ChatCommand::kDownload));
    EXPECT_FALSE(f.editor.Modified());
    EXPECT_EQ(f.editor.Script().framesets[0].name, u"Приветствие");

    f.view.lines.push_back(u"b");
    ASSERT_TRUE(f.editor.Run(ChatCommand::kAddFrameset));
    EXPECT_EQ(f.view.title, "Редактор чат-бота *");

    f.view.saveFiles.push_back(path);
    ASSERT_TRUE(f.editor.Run(ChatCommand::kSaveFile));
    EXPECT_EQ(f.view.title, "Редактор чат-бота");
    // The file keeps the encoding the script came in.
    EXPECT_EQ(f.folder.Read("saved.txt").substr(0, 3), "\xEF\xBB\xBF");

    f.view.lines.push_back(u"c");
    ASSERT_TRUE(f.editor.Run(ChatCommand::kAddFrameset));
    EXPECT_TRUE(f.editor.Modified());
    ASSERT_TRUE(f.editor.Run(ChatCommand::kUpload));
    EXPECT_FALSE(f.editor.Modified());
    EXPECT_EQ(robot.received, WideToUtf8(u"\uFEFF") + WideToUtf8(f.Text()));

    // A download that does not read: the document and the mark stay.
    f.view.lines.push_back(u"d");
    ASSERT_TRUE(f.editor.Run(ChatCommand::kAddFrameset));
    robot.stored = "frameset(";
    f.view.answers.push_back(EditorAnswer::kNo);  // not saved: replace anyway
    EXPECT_FALSE(f.editor.Run(ChatCommand::kDownload));
    EXPECT_EQ(f.view.errors, std::vector<std::string>{"Ошибка|Ошибка разбора текста!"});
    EXPECT_TRUE(f.editor.Modified());
    EXPECT_EQ(f.editor.Script().framesets.size(), 7u);
    EXPECT_TRUE(f.editor.Enabled(ChatCommand::kUndo));

    // An open that reads clears it, and undo starts afresh.
    f.view.answers.push_back(EditorAnswer::kNo);
    f.view.openFiles.push_back(path);
    ASSERT_TRUE(f.editor.Run(ChatCommand::kOpenFile));
    EXPECT_FALSE(f.editor.Modified());
    EXPECT_EQ(f.editor.Script().framesets.size(), 5u);
    EXPECT_FALSE(f.editor.Enabled(ChatCommand::kUndo));
}

TEST(Editor, FilesThatCannotBeOpenedOrSaved) {
    Edits f;
    f.Load(kBase);
    // Above the size a script may have (a sparse file: nothing is written).
    f.folder.Write("big.txt", "");
    std::filesystem::resize_file(f.folder.File("big.txt"), kChatBotMaxScript + 1);
    EXPECT_FALSE(f.editor.OpenPath(f.folder.File("big.txt")));
    EXPECT_FALSE(f.editor.OpenPath(f.folder.File("missing.txt")));
    EXPECT_EQ(f.view.errors, std::vector<std::string>(2, "Ошибка|Невозможно открыть файл!"));
    EXPECT_EQ(U8(f.Text()), U8(kBase));

    // A folder stands where the file should go: the save fails and leaves
    // nothing beside it.
    f.view.errors.clear();
    std::filesystem::create_directories(f.folder.File("taken/inside"));
    EXPECT_FALSE(f.editor.SavePath(f.folder.File("taken")));
    EXPECT_EQ(f.view.errors, std::vector<std::string>{"Ошибка|Невозможно сохранить файл!"});
    EXPECT_FALSE(std::filesystem::exists(f.folder.File("taken.part")));
    EXPECT_TRUE(std::filesystem::exists(f.folder.File("taken/inside")));

    // Saving over an existing file replaces it whole.
    f.folder.Write("old.txt", std::string(100000, 'x'));
    EXPECT_TRUE(f.editor.SavePath(f.folder.File("old.txt")));
    EXPECT_EQ(f.folder.Read("old.txt"), WideToAnsi(kBase));
}

TEST(Editor, TransfersNeedTheConnection) {
    Edits f;
    f.Load(kBase);
    f.link.state = kStateConnecting;
    EXPECT_FALSE(f.editor.Run(ChatCommand::kUpload));
    EXPECT_FALSE(f.editor.Run(ChatCommand::kDownload));
    EXPECT_EQ(f.view.errors, std::vector<std::string>(2, "Ошибка|Нет подключения к роботу!"));
    EXPECT_EQ(f.view.transfers, 0);
    EXPECT_TRUE(f.link.sent.empty());
}

// ------------------------------------------------- replace and close

struct CloseCase {
    const char* name;
    bool connected;
    std::vector<EditorAnswer> answers;
    std::vector<std::optional<std::string>> saveChoices;  // "" stands for the folder's file
    bool uploadCancelled;
    bool closes;
    std::vector<std::string> asked;
};
void PrintTo(const CloseCase& c, std::ostream* os) {
    *os << c.name;
}
class Closing : public testing::TestWithParam<CloseCase> {};

constexpr const char* kAskSave = "Закрытие|Файл не сохранен. Сохранить?";
constexpr const char* kAskUpload =
    "Закрытие|Файл не записан в память робот. Передать файл на робота?";

TEST_P(Closing, AsksAndKeepsTheWindowOnCancel) {
    const CloseCase& c = GetParam();
    Edits f;
    f.Load(kBase);
    f.editor.Select(Fixture::Prompt(-1));
    ASSERT_TRUE(f.editor.Run(ChatCommand::kAddPhrase));
    f.link.state = c.connected ? kStateAuthorised : kStateIdle;
    Robot robot{f.link, ""};
    f.view.transfer = [&](CChatBotTransferRun& run) {
        if (c.uploadCancelled) {
            run.Tick(50);
            run.Cancel();
            return TransferResult::kCancelled;
        }
        return robot.Serve()(run);
    };
    for (EditorAnswer a : c.answers) {
        f.view.answers.push_back(a);
    }
    for (const auto& s : c.saveChoices) {
        f.view.saveFiles.push_back(s && s->empty() ? f.folder.File("out.txt") : s);
    }
    EXPECT_EQ(f.editor.CanClose(), c.closes);
    EXPECT_EQ(f.view.asked, c.asked);
    EXPECT_TRUE(f.view.answers.empty());
    EXPECT_TRUE(f.view.saveFiles.empty());
    for (EditorButtons b : f.view.askedButtons) {
        EXPECT_EQ(b, EditorButtons::kYesNoCancel);
    }
}

using A = EditorAnswer;
INSTANTIATE_TEST_SUITE_P(
    Editor, Closing,
    testing::Values(
        CloseCase{"cancel at save", true, {A::kCancel}, {}, false, false, {kAskSave}},
        CloseCase{"save cancelled", true, {A::kYes}, {std::nullopt}, false, false, {kAskSave}},
        CloseCase{"saved then upload cancelled",
                  true,
                  {A::kYes, A::kCancel},
                  {""},
                  false,
                  false,
                  {kAskSave, kAskUpload}},
        CloseCase{"no and no", true, {A::kNo, A::kNo}, {}, false, true, {kAskSave, kAskUpload}},
        CloseCase{"uploaded", true, {A::kNo, A::kYes}, {}, false, true, {kAskSave, kAskUpload}},
        CloseCase{"upload dialog cancelled",
                  true,
                  {A::kNo, A::kYes},
                  {},
                  true,
                  false,
                  {kAskSave, kAskUpload}},
        CloseCase{"offline asks only to save", false, {A::kNo}, {}, false, true, {kAskSave}}));

TEST(Editor, ReplacingUnsavedEditsAsksFirst) {
    for (ChatCommand command :
         {ChatCommand::kNewFile, ChatCommand::kOpenFile, ChatCommand::kDownload}) {
        Edits f;
        f.Load(kBase);
        f.editor.Select(Fixture::Prompt(-1));
        ASSERT_TRUE(f.editor.Run(ChatCommand::kAddPhrase));
        const std::u16string edited = f.Text();
        const std::string title = U8(CChatBotEditor::Text(command));

        // Cancel keeps everything; Yes with a save that fails keeps it too.
        f.view.answers.push_back(EditorAnswer::kCancel);
        EXPECT_FALSE(f.editor.Run(command));
        f.view.answers.push_back(EditorAnswer::kYes);
        f.view.saveFiles.push_back(f.folder.File("no/such/folder/x.txt"));
        EXPECT_FALSE(f.editor.Run(command));
        EXPECT_EQ(f.view.asked,
                  std::vector<std::string>(2, title + "|Файл не сохранен. Сохранить?"));
        EXPECT_EQ(f.view.errors, std::vector<std::string>{"Ошибка|Невозможно сохранить файл!"});
        EXPECT_EQ(f.Text(), edited);
        EXPECT_TRUE(f.editor.Modified());
        EXPECT_EQ(f.view.transfers, 0);
    }
}

// ---------------------------------------------------------------- search

TEST(Editor, SearchGoesOnInDocumentOrderWithoutWrapping) {
    Edits f;
    f.LoadDemo();
    f.editor.ToggleExpanded(Fixture::At(ChatItem::kFrameset, {0}));
    f.editor.ToggleExpanded(Fixture::At(ChatItem::kFrame, {0}, 1));
    ASSERT_FALSE(f.editor.Script().framesets[0].frames[1].expanded);
    ASSERT_FALSE(f.editor.Script().framesets[0].expanded);

    f.view.lines.push_back(u"ВЕЛКОРА");
    ASSERT_TRUE(f.editor.Run(ChatCommand::kFind));
    EXPECT_EQ(f.view.inputs.back(), "Найти|Введите искомый текст:|");
    // The first hit is the answer of "как тебя зовут", opened to be seen.
    EXPECT_EQ(f.editor.Selection(), Fixture::At(ChatItem::kAnswer, {0}, 1, 0));
    EXPECT_TRUE(f.editor.Script().framesets[0].expanded);
    EXPECT_TRUE(f.editor.Script().framesets[0].frames[1].expanded);

    // Then inside its nested framesets, two levels down.
    ASSERT_TRUE(f.editor.Run(ChatCommand::kFindNext));
    EXPECT_EQ(f.editor.Selection(), Fixture::At(ChatItem::kAnswer, {0, 1, 0}, 0, 0));
    EXPECT_FALSE(f.editor.Run(ChatCommand::kFindNext));
    EXPECT_EQ(f.view.messages, std::vector<std::string>{"Найти|Совпадений больше нет!"});
    EXPECT_EQ(f.editor.Selection(), Fixture::At(ChatItem::kAnswer, {0, 1, 0}, 0, 0));
    // Searching moves nothing in the document.
    EXPECT_FALSE(f.editor.Modified());

    // Questions, dialogues and prompts are searched too, from the selection.
    f.editor.Select(Fixture::At(ChatItem::kFrameset, {2}));
    f.view.lines.push_back(u"<x:NUMBER>");
    ASSERT_TRUE(f.editor.Run(ChatCommand::kFind));
    EXPECT_EQ(f.editor.Selection(), Fixture::At(ChatItem::kQuestion, {2}, 0, 0));
    f.view.lines.push_back(u"всего доброго");
    ASSERT_TRUE(f.editor.Run(ChatCommand::kFind));
    EXPECT_EQ(f.editor.Selection(), Fixture::Dialog(2, 0));
    f.view.lines.push_back(u"номера");
    ASSERT_TRUE(f.editor.Run(ChatCommand::kFind));
    EXPECT_EQ(f.editor.Selection(), Fixture::Prompt(2));
}

// ------------------------------------------------------------ undo, redo

// Every character 7 pixels wide, rows 15 high.
struct FixedMeasure : ITextMeasure {
    int32_t Width(std::u16string_view text) override {
        return static_cast<int32_t>(text.size()) * 7;
    }
    int32_t LineHeight() override { return 15; }
};

TEST(Editor, UndoBackToTheLoadedTextByteForByteAndRedo) {
    Edits f;
    f.LoadDemo();
    // A view that lays out only what each change names stays equal to a
    // layout made afresh.
    FixedMeasure measure;
    CChatQuestionLayout layout(measure);
    layout.SetWidth(f.editor.Script(), 500);
    f.view.onChange = [&](const ChatChange& c) { layout.Apply(f.editor.Script(), c); };
    auto sameAsFresh = [&] {
        CChatQuestionLayout fresh(measure);
        fresh.SetWidth(f.editor.Script(), 500);
        EXPECT_EQ(layout.TotalHeight(), fresh.TotalHeight());
        EXPECT_EQ(layout.BoxesIn(f.editor.Script(), 0, layout.TotalHeight()).size(),
                  fresh.BoxesIn(f.editor.Script(), 0, fresh.TotalHeight()).size());
    };
    const std::string loaded(DemoScriptBytes());
    ASSERT_EQ(f.editor.Document().SourceText(), Utf8ToWide(loaded.substr(3)));

    f.editor.Select(Fixture::At(ChatItem::kFrame, {0, 1}, 1));
    ASSERT_TRUE(f.editor.Run(ChatCommand::kAddQuestion));
    f.view.lines.push_back(u"новый вопрос");
    ASSERT_TRUE(f.editor.Run(ChatCommand::kEdit));
    f.editor.Select(Fixture::At(ChatItem::kFrameset, {1}));
    f.view.answers.push_back(EditorAnswer::kYes);
    ASSERT_TRUE(f.editor.Run(ChatCommand::kDeleteFrameset));
    f.editor.Select(Fixture::Dialog(0, 0));
    ASSERT_TRUE(f.editor.Run(ChatCommand::kToggleAfterWait));
    f.editor.Select(Fixture::Prompt(0));
    f.view.answers.push_back(EditorAnswer::kYes);
    ASSERT_TRUE(f.editor.Run(ChatCommand::kDeletePhrase));
    f.editor.Select(Fixture::At(ChatItem::kFrameset, {0}));
    f.view.lines.push_back(u"Последний");
    ASSERT_TRUE(f.editor.Run(ChatCommand::kAddFrameset));
    const std::u16string edited = f.Text();

    int undone = 0;
    while (f.editor.Run(ChatCommand::kUndo)) {
        ++undone;
    }
    EXPECT_EQ(undone, 6);
    sameAsFresh();
    EXPECT_EQ(EncodeScriptText(f.Text(), true), loaded);
    EXPECT_EQ(f.editor.Selection(), Fixture::At(ChatItem::kFrame, {0, 1}, 1));

    while (f.editor.Run(ChatCommand::kRedo)) {
    }
    EXPECT_EQ(U8(f.Text()), U8(edited));
    sameAsFresh();
    // A new edit drops what could be redone.
    ASSERT_TRUE(f.editor.Run(ChatCommand::kUndo));
    f.editor.Select(Fixture::Prompt(-1));
    ASSERT_TRUE(f.editor.Run(ChatCommand::kAddPhrase));
    EXPECT_FALSE(f.editor.Enabled(ChatCommand::kRedo));
}

TEST(Editor, UndoKeepsAHundredStepsAndNewClearsThem) {
    Edits f;
    f.Load(kBase);
    f.editor.Select(Fixture::Prompt(-1));
    for (int i = 0; i < 105; ++i) {
        ASSERT_TRUE(f.editor.Run(ChatCommand::kAddPhrase));
    }
    int undone = 0;
    while (f.editor.Run(ChatCommand::kUndo)) {
        ++undone;
    }
    EXPECT_EQ(undone, 100);
    EXPECT_EQ(f.editor.Script().prompts.size(), 5u);
    f.view.answers.push_back(EditorAnswer::kNo);
    ASSERT_TRUE(f.editor.Run(ChatCommand::kNewFile));
    EXPECT_FALSE(f.editor.Enabled(ChatCommand::kRedo));
    EXPECT_TRUE(f.editor.Script().prompts.empty());
}

// --------------------------------------------------------- transfers

TEST(Editor, ReauthorisationResendsTheUploadAtOnce) {
    Edits f;
    f.LoadDemo();
    std::size_t firstChunks = 0;
    f.view.transfer = [&](CChatBotTransferRun& run) {
        run.Tick(kChatBotTransferTickMs);
        firstChunks = f.link.Of(msg::kChatBotUpload).size();
        EXPECT_EQ(firstChunks, 1u);
        // A second state-7 report: the same chunk at once, not 4 s later.
        f.editor.OnAuthorised();
        const auto chunks = f.link.Of(msg::kChatBotUpload);
        EXPECT_EQ(chunks.size(), 2u);
        EXPECT_EQ(chunks[0].payload, chunks[1].payload);
        // And the retry time starts from there.
        for (int t = 0; t < kChatBotRetryMs / kChatBotTransferTickMs - 1; ++t) {
            run.Tick(kChatBotTransferTickMs);
        }
        EXPECT_EQ(f.link.Of(msg::kChatBotUpload).size(), 2u);
        run.Tick(kChatBotTransferTickMs);
        EXPECT_EQ(f.link.Of(msg::kChatBotUpload).size(), 3u);
        run.Cancel();
        return TransferResult::kCancelled;
    };
    EXPECT_FALSE(f.editor.Run(ChatCommand::kUpload));
    EXPECT_FALSE(f.editor.TransferRunning());
    // Outside a transfer the report changes nothing.
    f.editor.OnAuthorised();
    EXPECT_EQ(f.link.Of(msg::kChatBotUpload).size(), 3u);
}

TEST(Editor, ReauthorisationStartsTheDownloadOver) {
    Edits f;
    // Long enough to come in several chunks.
    const std::string stored = std::string(DemoScriptBytes()) + "\r\n//" + std::string(20000, 'x');
    Robot robot{f.link, stored};
    f.view.transfer = [&](CChatBotTransferRun& run) -> TransferResult {
        run.Tick(kChatBotTransferTickMs);
        robot.Pump();  // the first 8192 bytes are in
        EXPECT_GT(run.Done(), 0);
        const auto before = f.link.Of(msg::kChatBotDownloadRequest).size();
        f.editor.OnAuthorised();
        const auto requests = f.link.Of(msg::kChatBotDownloadRequest);
        EXPECT_EQ(requests.size(), before + 1);
        EXPECT_EQ(requests.back().payload, I32(-1));
        EXPECT_EQ(run.Done(), 0);
        // Then from offset 0 on the next tick, and to the end.
        run.Tick(kChatBotTransferTickMs);
        EXPECT_EQ(f.link.Of(msg::kChatBotDownloadRequest).back().payload, I32(0));
        return robot.Serve()(run);
    };
    ASSERT_TRUE(f.editor.Run(ChatCommand::kDownload));
    EXPECT_EQ(f.editor.Document().SourceText().size(), Utf8ToWide(stored.substr(3)).size());
    EXPECT_EQ(f.editor.Script().framesets.size(), 4u);
}

// ------------------------------------------------------------ question check

TEST(Editor, CheckQuestionListsAndSelectsTheFirstMatch) {
    Edits f;
    f.LoadDemo();
    f.editor.ToggleExpanded(Fixture::At(ChatItem::kFrameset, {0}));
    f.view.lines.push_back(u"Привет,  робот!");
    ASSERT_TRUE(f.editor.Run(ChatCommand::kCheckQuestion));
    EXPECT_EQ(f.view.inputs.back(), "Проверить вопрос|Проверить вопрос:|");
    EXPECT_EQ(f.view.messages,
              std::vector<std::string>{"Проверить вопрос|Приветствие › фрейм 1 › привет&робот | "
                                       "здравствуй [пожалуйста]"});
    EXPECT_EQ(f.editor.Selection(), Fixture::At(ChatItem::kQuestion, {0}, 0, 0));
    EXPECT_TRUE(f.editor.Script().framesets[0].expanded);

    f.view.lines.push_back(u"пока");
    EXPECT_FALSE(f.editor.Run(ChatCommand::kCheckQuestion));
    EXPECT_EQ(f.view.inputs.back(), "Проверить вопрос|Проверить вопрос:|Привет,  робот!");
    EXPECT_EQ(f.view.messages.back(), "Проверить вопрос|Совпадений нет");
}

}  // namespace
}  // namespace velcora
