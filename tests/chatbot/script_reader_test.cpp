#include "chatbot/script_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "chatbot/demo_script.h"
#include "chatbot/script_generator.h"
#include "chatbot/script_text.h"
#include "link/text_codec.h"

namespace velcora {
namespace {

CChatScript Read(const std::u16string& text) {
    CChatScript s;
    EXPECT_TRUE(ReadScript(text, s)) << WideToUtf8(text);
    return s;
}

TEST(Reader, FramesetPriority) {
    const CChatScript s =
        Read(u"frameset(\"a\"){} frameset('b', 7) {} frameset(\"c\", -3){} frameset(\"d\",x){}");
    ASSERT_EQ(s.framesets.size(), 4u);
    EXPECT_EQ(s.framesets[0].priority, -1);
    EXPECT_EQ(s.framesets[1].name, u"b");
    EXPECT_EQ(s.framesets[1].priority, 7);
    EXPECT_EQ(s.framesets[2].priority, -3);
    EXPECT_EQ(s.framesets[3].priority, 0);
}

TEST(Reader, FrameKinds) {
    const CChatScript s = Read(
        u"frameset(\"f\") {\n"
        u"  frame(\"привет\") frame(\"здравствуй [робот]\") { PlaySpeech(\"Привет!\", 'Да'); }\n"
        u"  frame(\"a\") { Say(1); }\n"
        u"  frame(\"он\") pronoun ;\n"
        u"  frame(\"b\") { PlaySpeech(); }\n"
        u"  frame(\"c\") { PlaySpeech(\"x\"); Say(2); }\n"
        u"}");
    const auto& frames = s.framesets.at(0).frames;
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames[0].kind, FrameKind::kAnswer);
    EXPECT_EQ(frames[0].questions.size(), 2u);
    EXPECT_EQ(frames[0].questions[1].size(), 2u);
    EXPECT_EQ(frames[0].answers, (std::vector<std::u16string>{u"Привет!", u"Да"}));
    EXPECT_EQ(frames[1].kind, FrameKind::kScript);
    EXPECT_EQ(frames[1].script, u" Say(1); ");
    EXPECT_EQ(frames[2].kind, FrameKind::kPronoun);
    EXPECT_EQ(frames[3].kind, FrameKind::kAnswer);
    EXPECT_TRUE(frames[3].answers.empty());
    // Anything beyond one PlaySpeech and one nested frameset is a script.
    EXPECT_EQ(frames[4].kind, FrameKind::kScript);
    EXPECT_TRUE(frames[4].answers.empty());
    EXPECT_EQ(frames[4].script, u" PlaySpeech(\"x\"); Say(2); ");
}

TEST(Reader, ScriptBodyCountsBracesOutsideQuotes) {
    const CChatScript s =
        Read(u"frameset(\"f\"){ frame(\"a\") { if (x) { Say(\"}\"); } Say('{'); } }");
    EXPECT_EQ(s.framesets.at(0).frames.at(0).script, u" if (x) { Say(\"}\"); } Say('{'); ");
}

TEST(Reader, NestedFramesets) {
    const CChatScript s = Read(
        u"frameset(\"a\"){ frame(\"x\") { PlaySpeech(\"1\"); frameset(\"b\", 1) {"
        u" frame(\"y\") { PlaySpeech(\"2\"); frameset(\"c\") { frame(\"z\") pronoun; } } } } }");
    const CChatFrame& x = s.framesets.at(0).frames.at(0);
    ASSERT_TRUE(x.nested);
    EXPECT_EQ(x.nested->name, u"b");
    EXPECT_EQ(x.nested->priority, 1);
    const CChatFrame& y = x.nested->frames.at(0);
    ASSERT_TRUE(y.nested);
    EXPECT_EQ(y.nested->frames.at(0).kind, FrameKind::kPronoun);
    EXPECT_EQ(CountScript(s).framesets, 3);
}

std::u16string NestedScript(int levels) {
    std::u16string text;
    for (int i = 0; i <= levels; ++i) {
        text += u"frameset(\"n\") { frame(\"x\") { PlaySpeech(); ";
    }
    for (int i = 0; i <= levels; ++i) {
        text += u"} }";
    }
    return text;
}

TEST(Reader, NestingDepthIsBounded) {
    CChatScript s;
    EXPECT_TRUE(ReadScript(NestedScript(64), s));
    EXPECT_EQ(CountScript(s).framesets, 65);
    // Deeper levels stay inside the deepest frame as script text; far deeper
    // than any stack would take costs one pass per level read.
    for (int levels : {65, 200000}) {
        ASSERT_TRUE(ReadScript(NestedScript(levels), s));
        EXPECT_EQ(CountScript(s).framesets, 65);
        const CChatFrameset* deepest = &s.framesets.at(0);
        while (deepest->frames.at(0).nested) {
            deepest = deepest->frames.at(0).nested.get();
        }
        EXPECT_EQ(deepest->frames.at(0).kind, FrameKind::kScript);
    }
}

TEST(Reader, Dialogues) {
    const CChatScript s = Read(
        u"robotDialogCount = 2; this rest of the line is skipped\n"
        u"function RobotDialog(inx) {\n"
        u" if (inx == 0) { PlaySpeech(\"a\", \"b\"); if (!Wait(3000)) return; PlaySpeech(\"c\"); "
        u"}\n"
        u" else if (inx==7) { PlaySpeech(\"d\"); }\n"
        u"}\n"
        u"function RobotPrompt() { PlaySpeech(\"p\", \"q\"); }");
    ASSERT_EQ(s.dialogues.size(), 2u);
    EXPECT_EQ(s.dialogues[0], (CChatDialog{{{u"a", false}, {u"b", false}, {u"c", true}}, 3000}));
    EXPECT_EQ(s.dialogues[1], (CChatDialog{{{u"d", false}}, 0}));
    EXPECT_EQ(s.prompts, (std::vector<std::u16string>{u"p", u"q"}));
}

TEST(Reader, CommentsOutsideQuotesOnly) {
    const CChatScript s = Read(
        u"// frameset(\"hidden\"){}\n"
        u"/* frameset(\"also\"){}\n */ frameset(\"f\") {\n"
        u" frame(\"a // not a comment\") { PlaySpeech('/* kept */'); } // gone\n"
        u" frame(\"s\") { Say(1); // why\n /* how */ }\n"
        u"}");
    ASSERT_EQ(s.framesets.size(), 1u);
    const auto& frames = s.framesets[0].frames;
    EXPECT_EQ(PrintPattern(frames.at(0).questions.at(0)), u"a // not a comment");
    EXPECT_EQ(frames[0].answers.at(0), u"/* kept */");
    // A script keeps its own comments.
    EXPECT_EQ(frames[1].script, u" Say(1); // why\n /* how */ ");
}

TEST(Reader, StripCommentsKeepsPositionsAndLineBreaks) {
    EXPECT_EQ(StripComments(u"a/*x\r\ny*/b//c\r\n'//'\"/*"), u"a   \r\n   b   \r\n'//'\"/*");
}

class ReaderRejects : public testing::TestWithParam<const char16_t*> {};

TEST_P(ReaderRejects, WholeRead) {
    CChatScript s;
    s.prompts = {u"before"};
    EXPECT_FALSE(ReadScript(GetParam(), s));
    EXPECT_EQ(s.prompts, std::vector<std::u16string>{u"before"});
}

INSTANTIATE_TEST_SUITE_P(
    Broken, ReaderRejects,
    testing::Values(
        u"hello", u"frameset(\"a\"", u"frameset(a){}", u"frameset(\"a\") {",
        u"frameset(\"a\"){ frame(\"x\") }", u"frameset(\"a\"){ frame(\"x\") { Say(1); }",
        u"frameset(\"a\"){ frame(\"x) { } }", u"frameset(\"a\"){ frame(\"x\") pronoun }",
        u"frameset(\"a\"){ frame(\"x\") { \" } }", u"frameset(\"a\"){ Say(1); }",
        u"frameset(\"a\"){} }", u"function Foo() {}", u"function RobotPrompt() { Say(1); }",
        u"function RobotDialog(inx) { if (inx == 0) { Say(1); } }",
        u"function RobotDialog(inx) { if (inx == 0) { PlaySpeech(); } else }",
        u"function RobotDialog(inx) { if (inx == 0) { PlaySpeech(); "
        u"if (!Wait()) return; PlaySpeech(); } }",
        u"frameset(\"a\"){ /* } */", u"\u00A0"),
    [](const auto& info) { return std::to_string(info.index); });

// Read, write, read, write: the second text equals the first, and the
// documents agree. The generator's own closing indentation must not pile up
// in script bodies.
TEST(RoundTrip, WriteReadWriteIsStable) {
    const std::u16string inputs[] = {
        u"frameset(\"f\", 3) { frame(\"a\") { Say(1); } frame(\"b\") { x(); frameset(\"n\") {"
        u" frame(\"c\") { y(); } } } }",
        u"frameset(\"f\") { frame(\"a\") { Say(1); frameset(\"n\", 2) { frame(\"c\") {"
        u" PlaySpeech(\"1\"); frameset(\"m\") { frame(\"d\") { z(); } } } } } }",
        u"frameset(\"f\") { frame(\"a\") { // c\n } frame(\"q\") { PlaySpeech('\"x\"'); } }",
        u"function RobotDialog(inx) { if (inx == 0) { PlaySpeech(); if (!Wait(5)) return;"
        u" PlaySpeech(); } }",
    };
    for (const auto& in : inputs) {
        const CChatScript first = Read(in);
        const std::u16string text1 = GenerateScript(first);
        const CChatScript second = Read(text1);
        const std::u16string text2 = GenerateScript(second);
        EXPECT_EQ(WideToUtf8(text2), WideToUtf8(text1));
        EXPECT_EQ(GenerateScript(Read(text2)), text2);
    }
}

// A "frameset" indented deeper than a nested frameset of this frame, right
// at the start of a body, is script text; reading it once hung for good.
TEST(Reader, DeeperIndentedFramesetAtTheStartOfABodyStaysScript) {
    const CChatScript s = Read(
        u"frameset(\"a\"){ frame(\"x\") { PlaySpeech(\"1\"); frameset(\"b\") {"
        u" frame(\"y\") {\t\t\t\t\tframeset } } } }");
    const CChatFrame& y = s.framesets.at(0).frames.at(0).nested->frames.at(0);
    EXPECT_EQ(y.kind, FrameKind::kScript);
    EXPECT_EQ(y.script, u"\t\t\t\t\tframeset ");
    EXPECT_FALSE(y.nested);
}

TEST(RoundTrip, ScriptFrameWithNestedFramesetComesBackWhole) {
    CChatFrameset nested{u"n", 4, {}, true};
    CChatFrame inner;
    inner.questions.emplace_back();
    inner.kind = FrameKind::kScript;
    inner.script = u"\r\n\t\t\t\tz();\r\n";
    nested.frames.push_back(inner);
    CChatFrame f;
    f.questions.emplace_back();
    f.SwitchToScript();
    f.script = u"\r\n\t\tx();\r\n";
    f.nested = std::make_unique<CChatFrameset>(nested);
    CChatScript doc;
    doc.framesets.push_back({u"f", -1, {}, true});
    doc.framesets[0].frames.push_back(f);
    EXPECT_EQ(Read(GenerateScript(doc)), doc);
}

TEST(RoundTrip, DemoScriptFormatsUnchanged) {
    const std::string_view bytes = DemoScriptBytes();
    CChatScript doc;
    DecodedScript decoded;
    ASSERT_TRUE(LoadScriptBytes(bytes, doc, &decoded));
    EXPECT_TRUE(decoded.utf8());
    EXPECT_EQ(WideToUtf8(GenerateScript(doc)), bytes.substr(3));
    const ChatScriptCounts c = CountScript(doc);
    EXPECT_GT(c.dialogues, 1);
    EXPECT_GT(c.prompts, 1);
    // Every element kind, every frame kind and a nested frameset appear.
    bool kinds[5] = {};
    bool frameKinds[3] = {};
    bool nested = false;
    std::vector<const CChatFrameset*> todo;
    for (const auto& fs : doc.framesets) {
        todo.push_back(&fs);
    }
    while (!todo.empty()) {
        const CChatFrameset* fs = todo.back();
        todo.pop_back();
        for (const auto& f : fs->frames) {
            frameKinds[static_cast<int>(f.kind)] = true;
            for (const auto& q : f.questions) {
                for (const auto& e : q) {
                    kinds[static_cast<int>(e.kind)] = true;
                }
            }
            if (f.nested) {
                nested = true;
                todo.push_back(f.nested.get());
            }
        }
    }
    for (bool k : kinds) {
        EXPECT_TRUE(k);
    }
    for (bool k : frameKinds) {
        EXPECT_TRUE(k);
    }
    EXPECT_TRUE(nested);
}

}  // namespace
}  // namespace velcora
