#include "chatbot/script_generator.h"

#include <gtest/gtest.h>

#include <string>

namespace velcora {
namespace {

std::string Narrow(const std::u16string& w) {
    std::string out;
    for (char16_t c : w) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

CChatFrame AnswerFrame(std::u16string question, std::vector<std::u16string> answers) {
    CChatFrame f;
    CQuestion q;
    ParsePattern(question, q);
    f.questions.push_back(q);
    f.answers = std::move(answers);
    return f;
}

constexpr char kTail[] =
    "\r\nrobotDialogCount = 0;\r\n\r\n\r\nfunction RobotPrompt()\r\n{\r\n}\r\n";

TEST(Generator, EmptyDocumentHasCountAndEmptyPromptFunction) {
    EXPECT_EQ(Narrow(GenerateScript({})), kTail);
}

struct PriorityCase {
    int32_t priority;
    const char* head;
};
void PrintTo(const PriorityCase& c, std::ostream* os) {
    *os << c.priority;
}

class GeneratorPriority : public testing::TestWithParam<PriorityCase> {};

TEST_P(GeneratorPriority, WrittenOnlyAboveZero) {
    CChatScript s;
    s.framesets.push_back({u"f", GetParam().priority, {}, true});
    EXPECT_EQ(Narrow(GenerateScript(s)), std::string(GetParam().head) + "{\r\n}\r\n" + kTail);
}

INSTANTIATE_TEST_SUITE_P(Heads, GeneratorPriority,
                         testing::Values(PriorityCase{-1, "frameset(\"f\")\r\n"},
                                         PriorityCase{0, "frameset(\"f\")\r\n"},
                                         PriorityCase{5, "frameset(\"f\", 5)\r\n"}));

TEST(Generator, FramesOfEveryKindAndNestingDepth) {
    CChatFrameset inner{u"c", -1, {AnswerFrame(u"z", {})}, true};
    CChatFrame middleFrame = AnswerFrame(u"y", {u"Y"});
    middleFrame.nested = std::make_unique<CChatFrameset>(inner);
    CChatFrameset middle{u"b", 2, {}, true};
    middle.frames.push_back(std::move(middleFrame));

    CChatFrame answer = AnswerFrame(u"a&b | c", {u"one", u"two"});
    answer.questions.push_back(answer.questions[0]);
    answer.nested = std::make_unique<CChatFrameset>(std::move(middle));
    CChatFrame script = AnswerFrame(u"s", {});
    script.SwitchToScript();
    script.script = u" Say(1); ";
    CChatFrame pronoun = AnswerFrame(u"p", {});
    pronoun.kind = FrameKind::kPronoun;

    CChatScript s;
    s.framesets.push_back({u"a", -1, {}, true});
    s.framesets[0].frames.push_back(std::move(answer));
    s.framesets[0].frames.push_back(std::move(script));
    s.framesets[0].frames.push_back(std::move(pronoun));

    const std::string expected =
        "frameset(\"a\")\r\n{\r\n"
        "\tframe(\"a&b | c\")\r\n"
        "\tframe(\"a&b | c\")\r\n"
        "\t{\r\n"
        "\t\tPlaySpeech(\"one\",\r\n"
        "\t\t\t\"two\");\r\n"
        "\t\tframeset(\"b\", 2)\r\n\t\t{\r\n"
        "\t\t\tframe(\"y\")\r\n"
        "\t\t\t{\r\n"
        "\t\t\t\tPlaySpeech(\"Y\");\r\n"
        "\t\t\t\tframeset(\"c\")\r\n\t\t\t\t{\r\n"
        "\t\t\t\t\tframe(\"z\")\r\n"
        "\t\t\t\t\t{\r\n"
        "\t\t\t\t\t\tPlaySpeech();\r\n"
        "\t\t\t\t\t}\r\n"
        "\t\t\t\t}\r\n"
        "\t\t\t}\r\n"
        "\t\t}\r\n"
        "\t}\r\n"
        "\tframe(\"s\")\r\n"
        "\t{ Say(1); \t}\r\n"
        "\tframe(\"p\")\r\n"
        "\t\tpronoun;\r\n"
        "}\r\n";
    EXPECT_EQ(Narrow(GenerateScript(s)), expected + kTail);
}

TEST(Generator, DialoguesAndPrompts) {
    CChatScript s;
    s.dialogues.push_back({{{u"a", false}, {u"w1", true}, {u"b", false}, {u"w2", true}}, 5000});
    s.dialogues.push_back({{{u"c", false}}, 700});
    s.dialogues.push_back({{{u"w", true}}, 10});
    s.prompts = {u"p1", u"p2"};
    const std::string expected =
        "\r\nrobotDialogCount = 3;\r\n\r\n"
        "function RobotDialog(inx)\r\n{\r\n"
        "\tif (inx == 0)\r\n\t{\r\n"
        "\t\tPlaySpeech(\"a\",\r\n\t\t\t\"b\");\r\n"
        "\r\n\t\tif (!Wait(5000)) return;\r\n\r\n"
        "\t\tPlaySpeech(\"w1\",\r\n\t\t\t\"w2\");\r\n"
        "\t}\r\n"
        "\telse\r\n"
        "\tif (inx == 1)\r\n\t{\r\n"
        "\t\tPlaySpeech(\"c\");\r\n"
        "\t}\r\n"
        "\telse\r\n"
        "\tif (inx == 2)\r\n\t{\r\n"
        "\t\tPlaySpeech();\r\n"
        "\r\n\t\tif (!Wait(10)) return;\r\n\r\n"
        "\t\tPlaySpeech(\"w\");\r\n"
        "\t}\r\n"
        "}\r\n\r\n"
        "\r\nfunction RobotPrompt()\r\n{\r\n"
        "\tPlaySpeech(\"p1\",\r\n\t\t\"p2\");\r\n"
        "}\r\n";
    EXPECT_EQ(Narrow(GenerateScript(s)), expected);
}

TEST(Generator, TextWithDoubleQuoteGoesInSingleQuotes) {
    CChatScript s;
    s.prompts = {u"say \"hi\"", u"it's", u"both ' and \""};
    EXPECT_EQ(Narrow(GenerateScript(s)).substr(sizeof(kTail) - 4),
              "\tPlaySpeech('say \"hi\"',\r\n\t\t\"it's\",\r\n\t\t\"both ' and \"\");\r\n}\r\n");
}

}  // namespace
}  // namespace velcora
