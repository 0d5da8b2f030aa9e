#include "chatbot/question_pattern.h"

#include <gtest/gtest.h>

#include <string>

namespace velcora {
namespace {

CPatternElement Syn(std::initializer_list<std::u16string> alts) {
    CPatternElement e;
    e.alternatives = alts;
    return e;
}
CPatternElement Named(PatternKind kind, std::u16string name, std::u16string label = u"") {
    CPatternElement e;
    e.kind = kind;
    e.name = std::move(name);
    e.label = std::move(label);
    return e;
}

struct ParseCase {
    const char* name;
    std::u16string text;
    bool ok;
    CQuestion expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class PatternParse : public testing::TestWithParam<ParseCase> {};

TEST_P(PatternParse, GivesElements) {
    const ParseCase& c = GetParam();
    CQuestion q;
    EXPECT_EQ(ParsePattern(c.text, q), c.ok);
    EXPECT_EQ(q, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PatternParse,
    testing::Values(
        ParseCase{"JoinedAndAlternative", u"a&b|c d", true, {Syn({u"a b", u"c"}), Syn({u"d"})}},
        ParseCase{"SpacesAroundSeparators", u"  a & b |  c  ", true, {Syn({u"a b", u"c"})}},
        ParseCase{"DigitsAnyCase", u"<x:Digits>", true, {Named(PatternKind::kDigits, u"x")}},
        ParseCase{
            "NumberAnyCase", u"< город : NUMBER >", true, {Named(PatternKind::kNumber, u"город")}},
        ParseCase{"ReferenceWithLabel",
                  u"<fs:метка>",
                  true,
                  {Named(PatternKind::kFramesetRef, u"fs", u"метка")}},
        ParseCase{"ReferenceLabelKeepsColons",
                  u"<fs:a:b>",
                  true,
                  {Named(PatternKind::kFramesetRef, u"fs", u"a:b")}},
        ParseCase{"EmptyReference", u"<>", true, {Named(PatternKind::kFramesetRef, u"")}},
        ParseCase{"UnclosedOptional", u"[a", true, {Named(PatternKind::kOptional, u"a")}},
        ParseCase{"OptionalWords",
                  u"[very, much]",
                  true,
                  {Named(PatternKind::kOptional, u"very"), Named(PatternKind::kOptional, u"much")}},
        ParseCase{"ReferenceEndsWord",
                  u"a<b>c",
                  true,
                  {Syn({u"a"}), Named(PatternKind::kFramesetRef, u"b"), Syn({u"c"})}},
        ParseCase{"DanglingAmpersandJoinsNothing", u"a&,c", true, {Syn({u"a"}), Syn({u"c"})}},
        ParseCase{
            "Cyrillic", u"привет&робот|здравствуй", true, {Syn({u"привет робот", u"здравствуй"})}},
        ParseCase{"LeadingBar", u"|a", false, {}}, ParseCase{"LeadingAmpersand", u"&a", false, {}},
        ParseCase{"StrayClose", u"a ]", false, {Syn({u"a"})}},
        ParseCase{"LeadingGreater", u">a", false, {}},
        ParseCase{"GreaterAfterWordPassedOver", u"a > b", true, {Syn({u"a"}), Syn({u"b"})}},
        ParseCase{"BarInsideOptional", u"[a|b]", false, {Named(PatternKind::kOptional, u"a")}},
        ParseCase{
            "AmpersandInsideOptional", u"[a&b]", false, {Named(PatternKind::kOptional, u"a")}},
        ParseCase{
            "OptionalInsideOptional", u"[a [b]]", false, {Named(PatternKind::kOptional, u"a")}},
        // What was read before the error stands.
        ParseCase{"UnclosedReferenceKeepsWhatWasRead",
                  u"a <b c",
                  false,
                  {Syn({u"a"}), Named(PatternKind::kFramesetRef, u"b")}},
        ParseCase{"Empty", u"", true, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PatternPrint, EveryKindPrintsBackUnchanged) {
    const std::u16string text =
        u"привет&робот | здравствуй [пожалуйста] <город:number> <код:digits> <Имя> <Имя:кто>";
    CQuestion q;
    ASSERT_TRUE(ParsePattern(text, q));
    ASSERT_EQ(q.size(), 6u);
    EXPECT_EQ(PrintPattern(q), text);
}

TEST(PatternPrint, TypeWordsInLowerCase) {
    CQuestion q;
    ASSERT_TRUE(ParsePattern(u"<a:NUMBER> <b:Digits>", q));
    EXPECT_EQ(PrintPattern(q), u"<a:number> <b:digits>");
}

// Whatever the input, printing what was read and reading that again must give
// the same print: the generator relies on it for stable scripts.
TEST(PatternPrint, PrintIsAFixedPoint) {
    const std::u16string inputs[] = {
        u"a&b|c d",
        u"a&,c",
        u"a|",
        u"a& |b",
        u"<:x>",
        u"<:>",
        u"<a:b:c>",
        u"[a b] c",
        u"a|[b]",
        u"a|<x>",
        u"(a), b.",
        u"a&&b",
        u"<x> | y",
        u"a&<x>",
        u"\"q\" 'r'",
        u"a||b",
        u"x[y]z",
        u"<a:number>",
        std::u16string(300, u'ж'),
        u"a&" + std::u16string(300, u'b'),
    };
    for (const auto& in : inputs) {
        CQuestion first;
        ParsePattern(in, first);
        const std::u16string printed = PrintPattern(first);
        CQuestion second;
        ParsePattern(printed, second);
        EXPECT_EQ(PrintPattern(second), printed) << std::string(in.begin(), in.end());
    }
}

TEST(PatternParse, OverlongWordStartsTheNextElement) {
    CQuestion q;
    ASSERT_TRUE(ParsePattern(std::u16string(300, u'ж'), q));
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].alternatives[0].size(), 255u);
    EXPECT_EQ(q[1].alternatives[0].size(), 45u);
}

TEST(PatternParse, ReparsingReplacesElements) {
    CQuestion q;
    ASSERT_TRUE(ParsePattern(u"a b c", q));
    ASSERT_TRUE(ParsePattern(u"d", q));
    EXPECT_EQ(q, CQuestion{Syn({u"d"})});
}

TEST(WordChars, FollowTheTable) {
    const std::u16string word = u"azAZ09'*+-/:_\u0080жЁ\uFFFF";
    for (char16_t c : word) {
        EXPECT_TRUE(IsWordChar(c)) << static_cast<int>(c);
    }
    std::u16string other;
    for (char16_t c = 0; c <= 0x26; ++c) {
        other += c;
    }
    other += u"(),.;<=>?@[\\]^`{|}~\x7F";
    for (char16_t c : other) {
        EXPECT_FALSE(IsWordChar(c)) << static_cast<int>(c);
    }
}

}  // namespace
}  // namespace velcora
