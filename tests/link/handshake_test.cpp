#include "link/handshake.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace velcora {
namespace {

uint8_t B(const std::string& s, std::size_t i) {
    return static_cast<uint8_t>(s[i]);
}

TEST(Scramble, OneCharacterGivesSeedBytesInSwappedOrderThenOneByte) {
    const KeyTable& key = HandshakeKey();
    const uint32_t seed = 0x89ABCDEFu;
    const std::string out = Scramble(seed, "x", 140);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(B(out, 0), 0xEF);
    EXPECT_EQ(B(out, 1), 0xCD);
    EXPECT_EQ(B(out, 2), 0x89);
    EXPECT_EQ(B(out, 3), 0xAB);
    const uint32_t c = seed & 0x7FFFFFFF;
    EXPECT_EQ(B(out, 4), 0xCD ^ key[c % 353] ^ 'x');
}

TEST(Scramble, LongPasswordIsCutAtTheLimit) {
    const std::string password(200, 'p');
    EXPECT_EQ(Scramble(12345, password, 140).size(), 140u);
    EXPECT_EQ(Scramble(12345, password, 4).size(), 4u);
    EXPECT_EQ(Scramble(12345, "", 140).size(), 4u);
    // Only the first 136 characters take part.
    EXPECT_EQ(Scramble(12345, password, 140), Scramble(12345, password.substr(0, 136), 140));
}

TEST(Scramble, ZeroStepUsesOneKeyByteAndChainsTheRunningByte) {
    const KeyTable& key = HandshakeKey();
    const uint32_t seed = 0x00F80123u;  // bits 16..18 are 0
    const std::string out = Scramble(seed, "abc", 140);
    ASSERT_EQ(out.size(), 7u);
    const uint8_t k = key[(seed & 0x7FFFFFFF) % 353];
    uint8_t p = B(out, 1);
    for (int i = 0; i < 3; ++i) {
        p = static_cast<uint8_t>(p ^ k ^ "abc"[i]);
        EXPECT_EQ(B(out, 4 + i), p) << i;
    }
}

TEST(Scramble, RoundTripOverRandomSeedsAndTexts) {
    std::mt19937 rng(42);
    for (int round = 0; round < 2000; ++round) {
        const uint32_t seed = rng();
        std::string text(rng() % 200, '\0');
        for (auto& ch : text)
            ch = static_cast<char>(1 + rng() % 255);
        const int limit = 4 + static_cast<int>(rng() % 200);
        const std::string bytes = Scramble(seed, text, limit);
        const auto back = Unscramble(bytes, static_cast<int>(bytes.size()) + 1);
        ASSERT_TRUE(back) << round;
        EXPECT_EQ(*back, text.substr(0, static_cast<std::size_t>(limit - 4))) << round;
    }
}

TEST(Unscramble, RefusesShortInputAndZeroCharacters) {
    EXPECT_FALSE(Unscramble("abc", 10));
    EXPECT_FALSE(Unscramble("abcd", 0));
    // A byte equal to the running byte XOR the key byte decodes to zero.
    const KeyTable& key = HandshakeKey();
    std::string bytes = Scramble(0x01020304, "", 140);
    bytes.push_back(static_cast<char>(key[0x01020304 % 353] ^ B(bytes, 1)));
    EXPECT_FALSE(Unscramble(bytes, 100));
}

TEST(StoredPassword, TwoSavesDifferAndBothLoadBack) {
    const std::string a = StorePassword("secret");
    const std::string b = StorePassword("secret");
    EXPECT_NE(a, b);
    EXPECT_EQ(a.size(), 2u * (4 + 6));
    EXPECT_EQ(LoadStoredPassword(a), "secret");
    EXPECT_EQ(LoadStoredPassword(b), "secret");
    EXPECT_EQ(StorePassword(""), "");
    EXPECT_EQ(LoadStoredPassword(StorePassword(std::string(300, 'q'))), std::string(127, 'q'));
}

TEST(StoredPassword, MalformedTextsLoadAsEmpty) {
    const std::string good = StorePassword("pw", 0x11223344);
    ASSERT_EQ(LoadStoredPassword(good), "pw");
    for (const std::string& bad : {std::string(""), good.substr(0, 5), good.substr(0, 6) + "zz",
                                   std::string("12 4"), good + "0"}) {
        EXPECT_EQ(LoadStoredPassword(bad), "") << bad;
    }
}

TEST(KeyFile, OnlyExactly353BytesAreAccepted) {
    const std::string path = ::testing::TempDir() + "velcora_key_test";
    for (std::size_t size : {352u, 353u, 354u}) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(f);
        const std::string text(size, 'k');
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        std::string error;
        const auto key = LoadKeyFile(path, error);
        EXPECT_EQ(key.has_value(), size == 353u) << size;
        EXPECT_EQ(error.empty(), size == 353u) << size;
        if (key) {
            EXPECT_EQ(Scramble(1, "a", 140, *key)[4], static_cast<char>(0 ^ 'k' ^ 'a'));
        }
    }
    std::remove(path.c_str());
    std::string error;
    EXPECT_FALSE(LoadKeyFile(path, error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace velcora
