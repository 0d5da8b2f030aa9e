#include "chatbot/question_match.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chatbot/demo_script.h"
#include "chatbot/script_text.h"
#include "link/text_codec.h"

namespace velcora {
namespace {

CChatFrameset Frameset(std::u16string name, std::vector<std::u16string> patterns) {
    CChatFrameset fs;
    fs.name = std::move(name);
    for (const auto& p : patterns) {
        CChatFrame f;
        CQuestion q;
        EXPECT_TRUE(ParsePattern(p, q)) << WideToUtf8(p);
        f.questions.push_back(q);
        fs.frames.push_back(std::move(f));
    }
    return fs;
}

struct KindCase {
    const char* pattern;
    const char* text;
    bool matches;
};
void PrintTo(const KindCase& c, std::ostream* os) {
    *os << c.pattern << " / " << c.text;
}
class Kinds : public testing::TestWithParam<KindCase> {};

TEST_P(Kinds, CoverTheWholeText) {
    CChatScript s;
    s.framesets.push_back(Frameset(u"q", {Utf8ToWide(GetParam().pattern)}));
    // Referenced framesets.
    s.framesets.push_back(Frameset(u"город", {u"москва", u"нижний&новгород", u"[город] тверь"}));
    const auto m = MatchQuestion(s, Utf8ToWide(GetParam().text));
    const bool matched = !m.empty() && m[0].framesetName == u"q";
    EXPECT_EQ(matched, GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(Synonyms, Kinds,
                         testing::Values(KindCase{"привет | здравствуй", "Здравствуй", true},
                                         KindCase{"привет | здравствуй", "привет здравствуй",
                                                  false},
                                         KindCase{"добрый&день | хай", "ДОБРЫЙ, день!", true},
                                         KindCase{"добрый&день", "добрый", false},
                                         KindCase{"привет робот", "привет", false},
                                         KindCase{"привет робот", "привет робот робот", false},
                                         KindCase{"ёлка", "ЁЛКА", true}));
INSTANTIATE_TEST_SUITE_P(Optional, Kinds,
                         testing::Values(KindCase{"как [ты] [сейчас] дела", "как дела", true},
                                         KindCase{"как [ты] [сейчас] дела", "как ты дела", true},
                                         KindCase{"как [ты] [сейчас] дела", "как сейчас ты дела",
                                                  false},
                                         KindCase{"[пожалуйста]", "", true},
                                         KindCase{"[пожалуйста]", "пожалуйста пожалуйста", false}));
INSTANTIATE_TEST_SUITE_P(Reference, Kinds,
                         testing::Values(KindCase{"еду в <город>", "еду в москву", false},
                                         KindCase{"еду в <город>", "еду в Москва", true},
                                         KindCase{"еду в <город:куда>", "еду в нижний новгород",
                                                  true},
                                         KindCase{"еду в <город>", "еду в город тверь", true},
                                         KindCase{"еду в <город>", "еду в тверь", true},
                                         KindCase{"еду в <город>", "еду в", false},
                                         KindCase{"еду в <нет>", "еду в москва", false}));
INSTANTIATE_TEST_SUITE_P(Number, Kinds,
                         testing::Values(KindCase{"дай <n:number> яблок", "дай 12 яблок", true},
                                         KindCase{"дай <n:number> яблок", "дай 1 2 яблок", false},
                                         KindCase{"дай <n:number> яблок", "дай два яблок", false},
                                         KindCase{"дай <n:number> яблок", "дай 1a яблок", false}));
INSTANTIATE_TEST_SUITE_P(Digits, Kinds,
                         testing::Values(KindCase{"номер <d:digits>", "номер 9", true},
                                         KindCase{"номер <d:digits>", "номер 9 1 6 000", true},
                                         KindCase{"номер <d:digits>", "номер", false},
                                         KindCase{"номер <d:digits> всё", "номер 1 2 всё", true},
                                         KindCase{"номер <d:digits>", "номер 1 и 2", false}));

TEST(Match, ListsTopLevelFirstThenDeeperInDocumentOrder) {
    CChatScript s;
    s.framesets.push_back(Frameset(u"A", {u"да", u"нет"}));
    s.framesets[0].frames[1].nested =
        std::make_unique<CChatFrameset>(Frameset(u"A1", {u"да | ага"}));
    s.framesets.push_back(Frameset(u"B", {u"[ну] да"}));
    const auto m = MatchQuestion(s, u"да");
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].frameset, std::vector<int32_t>{0});
    EXPECT_EQ(m[1].frameset, std::vector<int32_t>{1});
    EXPECT_EQ(m[2].frameset, (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(m[2].frame, 0);
    EXPECT_EQ(DescribeMatch(m[2]), u"A1 › фрейм 1 › да | ага");
    EXPECT_TRUE(MatchQuestion(s, u"ага ага").empty());
}

TEST(Match, ReferenceCyclesEndAndStayCheap) {
    CChatScript s;
    // "list" refers to itself: one item, or an item followed by a list.
    s.framesets.push_back(Frameset(u"list", {u"раз | два", u"<list> <list>"}));
    s.framesets.push_back(Frameset(u"q", {u"считаю <list>"}));
    s.framesets.push_back(Frameset(u"loop", {u"<loop>"}));
    s.framesets.push_back(Frameset(u"r", {u"<loop>"}));
    std::u16string text = u"считаю";
    for (int i = 0; i < 40; ++i) {
        text += u" раз";
    }
    // Eight levels of halving reach far enough for forty words.
    auto m = MatchQuestion(s, text);
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m.back().framesetName, u"q");
    EXPECT_TRUE(MatchQuestion(s, u"что-то").empty());

    // A chain deeper than eight references matches nothing.
    CChatScript chain;
    for (int i = 0; i < 12; ++i) {
        const std::u16string next = u"c" + Utf8ToWide(std::to_string(i + 1));
        chain.framesets.push_back(Frameset(u"c" + Utf8ToWide(std::to_string(i)),
                                           {i == 11 ? u"конец" : u"<" + next + u">"}));
    }
    const auto deep = MatchQuestion(chain, u"конец");
    std::vector<std::u16string> names;
    for (const auto& x : deep) {
        names.push_back(x.framesetName);
    }
    EXPECT_EQ(names.size(), 9u);  // c3 .. c11
    EXPECT_EQ(names.front(), u"c3");
}

TEST(Match, DemoGreeting) {
    CChatScript s;
    ASSERT_TRUE(LoadScriptBytes(DemoScriptBytes(), s));
    const auto m = MatchQuestion(s, u"привет робот");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].framesetName, u"Приветствие");
    const auto refs = MatchQuestion(s, u"покажи 5 назови здравствуй");
    // "<Числа>" covers "5" only through a question of Числа with one number...
    // it has none, so the reference question does not match.
    EXPECT_TRUE(refs.empty());
}

}  // namespace
}  // namespace velcora
