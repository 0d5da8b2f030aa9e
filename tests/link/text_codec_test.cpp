#include "link/text_codec.h"

#include <gtest/gtest.h>
#include <iconv.h>

namespace velcora {
namespace {

TEST(TextCodec, InterfaceTextsThroughCp1251) {
    for (const char* text : {"Подключено", "Ожидание...", "Неверный пароль!",
                             "Определение IP-адреса хоста...", "Через туннель", "Ёлка ёж №5"}) {
        const std::u16string wide = Utf8ToWide(text);
        const std::string ansi = WideToAnsi(wide);
        EXPECT_EQ(ansi.size(), wide.size()) << text;  // one byte per character
        EXPECT_EQ(AnsiToWide(ansi), wide) << text;
        EXPECT_EQ(AnsiToUtf8(ansi), text);
    }
    EXPECT_EQ(WideToAnsi(u"Аа Яя"), "\xC0\xE0 \xDF\xFF");
    EXPECT_EQ(WideToAnsi(u"Ёё№"), "\xA8\xB8\xB9");
}

TEST(TextCodec, AnsiDropsBomAndReplacesUnknown) {
    EXPECT_EQ(WideToAnsi(u"\uFEFFдом"), "\xE4\xEE\xEC");
    EXPECT_EQ(WideToAnsi(u"a\u4E2Db"), "a?b");
    // Every byte maps to something and back, except the one hole of the code page.
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::u16string w = AnsiToWide(one);
        ASSERT_EQ(w.size(), 1u);
        if (w[0] != u'\uFFFD') {
            EXPECT_EQ(WideToAnsi(w), one) << b;
        }
    }
}

TEST(TextCodec, PhraseUnitsOneCodeUnitAtATime) {
    EXPECT_EQ(WideToUtf8Units(u"A"), "A");
    EXPECT_EQ(WideToUtf8Units(u"Я"), "\xD0\xAF");
    EXPECT_EQ(WideToUtf8Units(u"€"), "\xE2\x82\xAC");
    // A surrogate pair: each half on its own, three bytes each.
    const std::u16string smile = u"\U0001F600";
    ASSERT_EQ(smile.size(), 2u);
    const std::string units = WideToUtf8Units(smile);
    EXPECT_EQ(units, "\xED\xA0\xBD\xED\xB8\x80");
    EXPECT_EQ(Utf8UnitsToWide(units), smile);
    // Standard UTF-8 joins the pair instead.
    EXPECT_EQ(WideToUtf8(smile), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), smile);
    const std::u16string phrase = u"Привет, мир! 123";
    EXPECT_EQ(Utf8UnitsToWide(WideToUtf8Units(phrase)), phrase);
}

TEST(TextCodec, MalformedUtf8NeverOverruns) {
    EXPECT_EQ(Utf8UnitsToWide("\xD0"), u"\uFFFD");
    EXPECT_EQ(Utf8UnitsToWide("a\xE2\x82"), u"a\uFFFD\uFFFD");
    EXPECT_EQ(Utf8UnitsToWide("\xFF"
                              "b"),
              u"\uFFFD"
              u"b");
    EXPECT_EQ(Utf8UnitsToWide("\xC0\x80"), u"\uFFFD\uFFFD");  // overlong
    EXPECT_EQ(WideToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
}

TEST(TextCodec, Koi8rToCp1251) {
    // "Привет" in KOI8-R.
    EXPECT_EQ(Koi8rToAnsi("\xF0\xD2\xC9\xD7\xC5\xD4"), WideToAnsi(u"Привет"));
    EXPECT_EQ(Koi8rToAnsi("login: "), "login: ");
    EXPECT_EQ(Koi8rToAnsi("\xB3\xA3"), WideToAnsi(u"Ёё"));
    EXPECT_EQ(Koi8rToAnsi("\x80"), "?");  // a box-drawing character cp1251 lacks
}

// Every byte of both code pages against the C library's converter, where it
// has one: the console's own tables must read the robot's texts alike.
TEST(TextCodec, CodePagesAgreeWithTheSystemConverter) {
    for (const char* page : {"CP1251", "KOI8-R"}) {
        iconv_t cd = iconv_open("UTF-16LE", page);
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            GTEST_SKIP() << "no converter for " << page;
        }
        const bool koi8r = std::string(page) == "KOI8-R";
        for (int b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            unsigned char out[4] = {};
            char* inPtr = &in;
            char* outPtr = reinterpret_cast<char*>(out);
            size_t inLeft = 1;
            size_t outLeft = sizeof(out);
            char16_t expected = u'\uFFFD';
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
                outLeft == 2) {
                expected = static_cast<char16_t>(out[0] | (out[1] << 8));
            }
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            const char16_t ours = koi8r ? Koi8rTable()[b] : AnsiToWide(std::string(1, in))[0];
            EXPECT_EQ(static_cast<int>(ours), static_cast<int>(expected)) << page << " byte " << b;
        }
        iconv_close(cd);
    }
}

}  // namespace
}  // namespace velcora
