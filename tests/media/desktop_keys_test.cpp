#include "media/desktop_keys.h"

#include <gtest/gtest.h>

#include <set>

namespace velcora::media {
namespace {

struct ToolkitCase {
    int toolkit;
    DesktopKey key;
};

class ToolkitKeys : public ::testing::TestWithParam<ToolkitCase> {};

TEST_P(ToolkitKeys, MapToVirtualKeyAndScanCode) {
    const auto key = KeyForToolkitKey(GetParam().toolkit);
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(*key, GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToolkitKeys,
    ::testing::Values(ToolkitCase{'A', {0x41, 0x1E}}, ToolkitCase{'Z', {0x5A, 0x2C}},
                      ToolkitCase{'0', {0x30, 0x0B}}, ToolkitCase{'!', {0x31, 0x02}},
                      ToolkitCase{' ', {0x20, 0x39}}, ToolkitCase{'~', {0xC0, 0x29}},
                      ToolkitCase{0x01000000, {27, 1}},       // Escape
                      ToolkitCase{0x01000001, {9, 15}},       // Tab
                      ToolkitCase{0x01000002, {9, 15}},       // Shift+Tab
                      ToolkitCase{0x01000005, {0x0D, 0x1C}},  // keypad Enter
                      ToolkitCase{0x01000023, {0x12, 0x38}},  // Alt
                      ToolkitCase{0x01000033, {0x73, 0x3E}},  // F4
                      ToolkitCase{0x0100003B, {0x7B, 0x58}},  // F12
                      ToolkitCase{0x01000013, {0x26, 0x48}},  // Up
                      ToolkitCase{0x0419, {0x51, 0x10}},      // Й sits on Q
                      ToolkitCase{0x0401, {0xC0, 0x29}},      // Ё on `
                      ToolkitCase{0x042E, {0xBE, 0x34}}));    // Ю on .

TEST(DesktopKeys, UnknownKeysHaveNoCode) {
    EXPECT_FALSE(KeyForToolkitKey(0x01000100).has_value());
    EXPECT_FALSE(KeyForToolkitKey(0x00E9).has_value());
    EXPECT_FALSE(KeyForScanCode(0).has_value());
    EXPECT_FALSE(KeyForScanCode(0x80).has_value());
}

TEST(DesktopKeys, TableHasOneKeyPerVirtualKeyAndScanCodesRoundTrip) {
    std::set<uint8_t> seen;
    for (int code = 1; code < 256; ++code) {
        const auto key = KeyForVirtualKey(static_cast<uint8_t>(code));
        if (!key || key->vk != code)
            continue;
        EXPECT_TRUE(seen.insert(key->vk).second);
        EXPECT_LE(key->scan, 0x7F);
    }
    EXPECT_GT(seen.size(), 80u);
    for (char c : std::string("qwertyuiop[]asdfghjkl;'zxcvbnm,./`1234567890-=")) {
        const auto typed = KeyForCharacter(static_cast<char32_t>(c));
        ASSERT_TRUE(typed.has_value()) << c;
        EXPECT_FALSE(typed->shift);
        EXPECT_EQ(KeyForScanCode(typed->key.scan), typed->key) << c;
    }
}

TEST(DesktopKeys, CharactersNeedShiftWhereAUsLayoutDoes) {
    EXPECT_TRUE(KeyForCharacter('A')->shift);
    EXPECT_TRUE(KeyForCharacter('?')->shift);
    EXPECT_FALSE(KeyForCharacter('/')->shift);
    EXPECT_EQ(KeyForCharacter('\n')->key.vk, 0x0D);
    EXPECT_FALSE(KeyForCharacter(U'ж').has_value());
}

struct ComboCase {
    const char* text;
    std::vector<uint8_t> vks;  // empty: refused
};

class KeyCombos : public ::testing::TestWithParam<ComboCase> {};

TEST_P(KeyCombos, ParseByName) {
    std::vector<uint8_t> vks;
    for (const auto& key : ParseKeyCombo(GetParam().text))
        vks.push_back(key.vk);
    EXPECT_EQ(vks, GetParam().vks);
}

INSTANTIATE_TEST_SUITE_P(
    Names, KeyCombos,
    ::testing::Values(ComboCase{"alt+f4", {0x12, 0x73}}, ComboCase{"ALT+Tab", {0x12, 0x09}},
                      ComboCase{"ctrl+esc", {0x11, 0x1B}},
                      ComboCase{"ctrl+shift+esc", {0x11, 0x10, 0x1B}},
                      ComboCase{"ctrl+c", {0x11, 0x43}}, ComboCase{"enter", {0x0D}},
                      ComboCase{"+", {0xBB}}, ComboCase{"ctrl+plus", {0x11, 0xBB}},
                      ComboCase{"win", {0x5B}}, ComboCase{"f13", {}}, ComboCase{"alt+", {}},
                      ComboCase{"", {}}, ComboCase{"alt++", {}}, ComboCase{"hyper+x", {}}));

}  // namespace
}  // namespace velcora::media
