#include "chatbot/script_text.h"

#include <gtest/gtest.h>

#include <string>

#include "link/text_codec.h"

namespace velcora {
namespace {

std::string Utf16Le(std::u16string_view text, bool mark) {
    std::string out = mark ? std::string("\xFF\xFE", 2) : std::string();
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

struct DecodeCase {
    const char* name;
    std::string bytes;
    ScriptEncoding encoding;
    std::u16string text;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

class Decode : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, PicksTheEncoding) {
    const DecodedScript d = DecodeScriptBytes(GetParam().bytes);
    EXPECT_EQ(d.encoding, GetParam().encoding);
    EXPECT_EQ(d.text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Decode,
    testing::Values(
        DecodeCase{"Utf8Mark", "\xEF\xBB\xBF\xD0\xB4\xD0\xB0", ScriptEncoding::kUtf8, u"да"},
        DecodeCase{"Utf16Mark", Utf16Le(u"да a", true), ScriptEncoding::kUtf16, u"да a"},
        DecodeCase{"Utf16NoMark", Utf16Le(u"ab", false), ScriptEncoding::kUtf16, u"ab"},
        // Cyrillic only: every high byte is non-zero, so the zero test must
        // find a Latin character (here the space).
        DecodeCase{"Utf16Cyrillic", Utf16Le(u"дд д", false), ScriptEncoding::kUtf16, u"дд д"},
        DecodeCase{"Utf16OddTail", Utf16Le(u"a", false) + "x", ScriptEncoding::kUtf16, u"a"},
        DecodeCase{"AsciiIsAnsi", "frameset(\"a\"){}", ScriptEncoding::kAnsi, u"frameset(\"a\"){}"},
        DecodeCase{"Cp1251", "\xE4\xE0", ScriptEncoding::kAnsi, u"да"},
        // Only aligned pairs count: a lone zero at an odd place is not UTF-16.
        DecodeCase{"MisalignedZero", std::string("\0a", 2), ScriptEncoding::kAnsi,
                   std::u16string(u"\0a", 2)},
        // The probe stops after 1000 bytes.
        DecodeCase{"ZeroBeyondProbe", std::string(1000, 'a') + std::string("a\0", 2),
                   ScriptEncoding::kAnsi, std::u16string(1001, u'a') + u'\0'},
        DecodeCase{"Empty", "", ScriptEncoding::kAnsi, u""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Encode, FollowsTheFlag) {
    EXPECT_EQ(EncodeScriptText(u"да", true), "\xEF\xBB\xBF\xD0\xB4\xD0\xB0");
    EXPECT_EQ(EncodeScriptText(u"да", false), "\xE4\xE0");
    EXPECT_EQ(EncodeScriptText(u"\uFEFFда", false), "\xE4\xE0");
}

TEST(Encode, TextBeyondTheCodePageGoesAsUtf8) {
    // Windows-1251 has no Greek; question marks would replace it silently.
    EXPECT_EQ(EncodeScriptText(u"αβ", false), "\xEF\xBB\xBF\xCE\xB1\xCE\xB2");
    EXPECT_EQ(EncodeScriptText(u"a?", false), "a?");
}

TEST(Encode, DecodingGivesTheTextBack) {
    const std::u16string text = u"frameset(\"Привет\")\r\n{\r\n}\r\n";
    for (bool utf8 : {false, true}) {
        const DecodedScript d = DecodeScriptBytes(EncodeScriptText(text, utf8));
        EXPECT_EQ(d.text, text);
        EXPECT_EQ(d.utf8(), utf8);
    }
}

}  // namespace
}  // namespace velcora
