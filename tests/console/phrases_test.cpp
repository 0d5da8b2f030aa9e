#include "console/phrases.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/text_codec.h"
#include "support/fake_link.h"

namespace velcora {
namespace {

std::string U32(uint32_t v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

struct NormaliseCase {
    std::u16string in;
    std::u16string out;
};

class NormaliseTest : public ::testing::TestWithParam<NormaliseCase> {};

TEST_P(NormaliseTest, OnePassFromLeftToRight) {
    EXPECT_EQ(NormalisePhrase(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Phrases, NormaliseTest,
    ::testing::Values(NormaliseCase{u"привет\r\nмир", u"привет мир"},
                      NormaliseCase{u"a\tb", u"a b"}, NormaliseCase{u"a  b", u"a b"},
                      NormaliseCase{u"a   b", u"a  b"}, NormaliseCase{u"a    b", u"a  b"},
                      NormaliseCase{u"a\r\r\rb", u"ab"}, NormaliseCase{u"\n\n", u"  "},
                      // A tab becomes a space but does not pair with the one after it.
                      NormaliseCase{u"a\t b", u"a  b"}, NormaliseCase{u"", u""}));

TEST(PhraseCut, NeverSplitsASurrogatePair) {
    std::u16string text(510, u'x');
    text += u"\U0001F600";  // units 511 and 512
    EXPECT_EQ(CutPhrase(text).size(), 510u);
    std::u16string plain(600, u'y');
    EXPECT_EQ(CutPhrase(plain).size(), 511u);
    EXPECT_EQ(CutPhrase(u"short"), u"short");
}

TEST(HotKeyOf, LettersAndDigitsOnly) {
    EXPECT_EQ(HotKeyOf(u'q'), 'Q');
    EXPECT_EQ(HotKeyOf(u'Z'), 'Z');
    EXPECT_EQ(HotKeyOf(u'7'), '7');
    EXPECT_FALSE(HotKeyOf(u'й'));
    EXPECT_FALSE(HotKeyOf(u'+'));
    EXPECT_FALSE(HotKeyOf(u' '));
}

class PhrasesTest : public ::testing::Test {
  protected:
    PhrasesTest() { settings.history.clear(); }

    CPhrases& Make() {
        phrases = std::make_unique<CPhrases>(
            link, settings,
            [this] {
                ++saves;
                return true;
            },
            [this](int32_t ms) { countdown = ms; });
        return *phrases;
    }
    void History(std::initializer_list<std::pair<const char*, bool>> items) {
        settings.history.clear();
        for (const auto& [text, locked] : items)
            settings.history.push_back({text, locked, 0});
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& item : settings.history)
            out.push_back(item.text);
        return out;
    }
    std::vector<std::string> Said() const {
        std::vector<std::string> out;
        for (const auto& f : link.Of(msg::kTextCommand)) {
            EXPECT_EQ(f.payload.substr(0, 4), U32(0));
            out.push_back(WideToUtf8(Utf8UnitsToWide(f.payload.substr(4))));
        }
        return out;
    }

    test::FakeLink link;
    CSettings settings;
    std::unique_ptr<CPhrases> phrases;
    int saves = 0;
    int32_t countdown = 0;
};

TEST_F(PhrasesTest, BoxSendsNormalisedTextAndInsertsOnTop) {
    History({{"старое", false}});
    auto& p = Make();
    EXPECT_TRUE(p.SpeakBox(u"два\r\nслова"));
    EXPECT_EQ(Said(), std::vector<std::string>{"два слова"});
    EXPECT_EQ(Texts(), (std::vector<std::string>{"два слова", "старое"}));
    EXPECT_EQ(countdown, kPhraseFocusMs);
}

TEST_F(PhrasesTest, CaseInsensitiveMatchKeepsTheOrder) {
    History({{"Hello", false}, {"Привет Мир", false}});
    auto& p = Make();
    EXPECT_TRUE(p.SpeakBox(u"пРИВЕТ мИР"));
    EXPECT_TRUE(p.SpeakBox(u"HELLO"));
    EXPECT_EQ(Said(), (std::vector<std::string>{"пРИВЕТ мИР", "HELLO"}));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Hello", "Привет Мир"}));
}

TEST_F(PhrasesTest, DisconnectedOrEmptyBoxSendsNothing) {
    auto& p = Make();
    link.state = kStateAuthorising;
    EXPECT_FALSE(p.SpeakBox(u"текст"));
    EXPECT_EQ(countdown, kPhraseFocusMs);  // the focus still goes back
    link.state = kStateAuthorised;
    EXPECT_FALSE(p.SpeakBox(u""));
    EXPECT_TRUE(link.sent.empty());
    EXPECT_TRUE(settings.history.empty());
}

TEST_F(PhrasesTest, NoFocusCountdownWithoutAutoFocus) {
    settings.joyAutoFocus = false;
    Make().SpeakBox(u"x");
    EXPECT_EQ(countdown, 0);
}

struct TrimCase {
    std::vector<std::pair<const char*, bool>> before;
    int limit;
    std::vector<std::string> after;
};

class TrimTest : public PhrasesTest, public ::testing::WithParamInterface<TrimCase> {};

TEST_P(TrimTest, UnlockedGoFromTheBottomNeverTheTop) {
    settings.history.clear();
    for (const auto& [text, locked] : GetParam().before)
        settings.history.push_back({text, locked, 0});
    settings.maxHistoryItems = GetParam().limit;
    Make().SpeakBox(u"D");
    EXPECT_EQ(Texts(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Phrases, TrimTest,
    ::testing::Values(TrimCase{{{"A", true}, {"B", false}, {"C", false}}, 3, {"D", "A", "B"}},
                      // Every phrase locked: one over the limit.
                      TrimCase{{{"A", true}, {"B", true}, {"C", true}}, 3, {"D", "A", "B", "C"}},
                      // Limit 1 keeps the new top phrase only.
                      TrimCase{{{"A", false}, {"B", false}}, 1, {"D"}},
                      TrimCase{{{"A", false}, {"B", true}, {"C", false}}, 2, {"D", "B"}}));

TEST_F(PhrasesTest, HistorySpeaksExactlyAsStoredCutTo511) {
    std::string longText(600, 'a');
    longText[1] = ' ';
    longText[2] = ' ';
    settings.history = {{longText, false, 0}, {"second", false, 0}};
    auto& p = Make();
    EXPECT_TRUE(p.Speak(1));
    EXPECT_TRUE(p.Speak(0));
    const auto said = Said();
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[0], "second");
    EXPECT_EQ(said[1], longText.substr(0, 511));  // no normalisation
    EXPECT_EQ(Texts()[0], longText);
}

TEST_F(PhrasesTest, HotKeyAnswers) {
    settings.history = {{"one", false, 0}, {"two", false, 'W'}};
    auto& p = Make();
    EXPECT_EQ(p.SetHotKey(0, u"q"), HotKeyAnswer::Set);
    EXPECT_EQ(settings.history[0].hotkey, 'Q');
    EXPECT_EQ(p.SetHotKey(0, u"ж"), HotKeyAnswer::Refused);
    EXPECT_EQ(p.SetHotKey(0, u"ab"), HotKeyAnswer::Refused);
    EXPECT_EQ(settings.history[0].hotkey, 'Q');
    EXPECT_EQ(p.SetHotKey(1, u""), HotKeyAnswer::Removed);
    EXPECT_EQ(settings.history[1].hotkey, 0);

    EXPECT_TRUE(p.SpeakHotKey('Q'));
    EXPECT_FALSE(p.SpeakHotKey('W'));
    EXPECT_EQ(Said(), std::vector<std::string>{"one"});
}

TEST_F(PhrasesTest, FirstPhraseWithTheHotKeyFromTheTop) {
    settings.history = {{"a", false, 0}, {"b", false, '5'}, {"c", false, '5'}};
    EXPECT_EQ(Make().FindHotKey('5'), 1);
}

TEST_F(PhrasesTest, LoadedHotKeysAndLimitAreSanitised) {
    settings.history = {{"a", false, 'q'}, {"b", false, 1234}, {"c", false, '9'}};
    settings.maxHistoryItems = 0;
    auto& p = Make();
    EXPECT_EQ(p.Item(0).hotkey, 0);
    EXPECT_EQ(p.Item(1).hotkey, 0);
    EXPECT_EQ(p.Item(2).hotkey, '9');
    EXPECT_EQ(p.Limit(), 1);
}

TEST_F(PhrasesTest, LimitAnswers) {
    History({{"A", false}, {"B", false}, {"C", false}});
    auto& p = Make();
    for (const char16_t* bad : {u"", u"0", u"-3", u"abc", u"2.5", u"99999999999"})
        EXPECT_EQ(p.SetLimit(bad), LimitAnswer::Refused) << WideToUtf8(bad);
    EXPECT_EQ(saves, 0);
    EXPECT_EQ(p.SetLimit(u" 2 "), LimitAnswer::Set);
    EXPECT_EQ(p.Limit(), 2);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(saves, 1);
}

TEST_F(PhrasesTest, EditAddDelete) {
    settings.history = {{"A", true, 'K'}, {"B", false, 0}, {"C", false, 0}};
    auto& p = Make();
    p.Edit(0, u"A2");
    EXPECT_EQ(p.Item(0).text, "A2");
    EXPECT_TRUE(p.Item(0).locked);
    EXPECT_EQ(p.Item(0).hotkey, 'K');
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(p.Add(u"new"), 3u);
    EXPECT_TRUE(link.sent.empty());
    p.Delete(1);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"A2", "C", "new"}));
    p.DeleteUnlocked();
    EXPECT_EQ(Texts(), std::vector<std::string>{"A2"});
    p.DeleteAll();
    EXPECT_EQ(p.Count(), 0u);
    // Stored phrases are at most 4095 characters, as loading reads them.
    p.Add(std::u16string(5000, u'ы'));
    EXPECT_EQ(Utf8ToWide(p.Item(0).text).size(), kPhraseStoreLimit);
}

TEST_F(PhrasesTest, MenuEnabling) {
    settings.history = {{"open", false, 0}, {"locked", true, 0}};
    auto& p = Make();
    using C = PhraseCommand;
    struct Row {
        C command;
        int selected;
        bool uiLocked;
        int32_t state;
        bool enabled;
    };
    const Row rows[] = {
        {C::Say, 0, false, kStateAuthorised, true},
        {C::Say, 0, false, kStateConnecting, false},
        {C::Say, -1, false, kStateAuthorised, false},
        {C::CopyToEditor, 1, true, kStateIdle, true},
        {C::CopyToEditor, -1, false, kStateIdle, false},
        {C::Lock, 0, false, kStateIdle, true},
        {C::Lock, 0, true, kStateIdle, false},
        {C::HotKey, 1, true, kStateIdle, true},
        {C::Edit, 1, false, kStateIdle, true},
        {C::Edit, 1, true, kStateIdle, false},
        {C::Edit, 0, true, kStateIdle, true},
        {C::Delete, 1, true, kStateIdle, false},
        {C::Delete, -1, false, kStateIdle, false},
        {C::DeleteUnlocked, -1, true, kStateIdle, true},
        {C::DeleteAll, -1, false, kStateIdle, true},
        {C::DeleteAll, -1, true, kStateIdle, false},
        {C::Limit, -1, true, kStateIdle, false},
        {C::Add, -1, true, kStateIdle, true},
    };
    for (const auto& r : rows) {
        settings.locked = r.uiLocked;
        link.state = r.state;
        EXPECT_EQ(p.Command(r.command, r.selected).enabled, r.enabled)
            << static_cast<int>(r.command) << " selected " << r.selected << " locked "
            << r.uiLocked;
    }
    settings.locked = false;
    EXPECT_TRUE(p.Command(C::Lock, 1).checked);
    EXPECT_FALSE(p.Command(C::Lock, 0).checked);
}

TEST_F(PhrasesTest, LanguageIsAnsiWithTerminator) {
    settings.languages = {"ru", "Англ"};
    auto& p = Make();
    p.SpeakLanguage(1);
    p.SpeakLanguage(7);
    const auto frames = link.Of(msg::kSpeechLanguage);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].payload, Utf8ToAnsi("Англ") + std::string(1, '\0'));
}

}  // namespace
}  // namespace velcora
