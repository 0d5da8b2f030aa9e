#include "link/handshake.h"

#include <cstdio>
#include <cstdlib>
#include <random>

namespace velcora {

namespace {

constexpr std::size_t kStoredPasswordChars = 127;
constexpr int kStoredLimit = 256;
constexpr std::size_t kStoredTextRoom = 511;

KeyTable BuiltInKey() {
    KeyTable key{};
    for (std::size_t i = 0; i < kKeyLength; ++i) {
        key[i] = static_cast<uint8_t>(kBuiltInKeyText[i]);
    }
    return key;
}

struct ActiveKey {
    KeyTable key = BuiltInKey();
    std::string error;

    ActiveKey() {
        const char* path = std::getenv("VELCORA_KEY_FILE");
        if (!path || !*path) {
            return;
        }
        if (auto loaded = LoadKeyFile(path, error)) {
            key = *loaded;
        }
    }
};

const ActiveKey& Active() {
    static const ActiveKey active;
    return active;
}

int HexDigit(char ch) {
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

}  // namespace

const KeyTable& HandshakeKey() {
    return Active().key;
}

const std::string& HandshakeKeyError() {
    return Active().error;
}

std::optional<KeyTable> LoadKeyFile(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "VELCORA_KEY_FILE: cannot open " + path;
        return std::nullopt;
    }
    KeyTable key{};
    const std::size_t got = std::fread(key.data(), 1, key.size(), f);
    const bool more = std::fgetc(f) != EOF;
    std::fclose(f);
    if (got != kKeyLength || more) {
        error = "VELCORA_KEY_FILE: " + path + " must hold exactly 353 bytes";
        return std::nullopt;
    }
    error.clear();
    return key;
}

std::string Scramble(uint32_t seed, std::string_view text, int limit, const KeyTable& key) {
    std::string out;
    const uint8_t seedBytes[4] = {static_cast<uint8_t>(seed), static_cast<uint8_t>(seed >> 8),
                                  static_cast<uint8_t>(seed >> 24),
                                  static_cast<uint8_t>(seed >> 16)};
    out.assign(reinterpret_cast<const char*>(seedBytes), 4);
    uint32_t c = seed & 0x7FFFFFFFu;
    const uint32_t s = (seed >> 16) & 7u;
    uint8_t p = seedBytes[1];
    for (char ch : text) {
        if (static_cast<int>(out.size()) >= limit || ch == '\0') {
            break;
        }
        p = static_cast<uint8_t>(p ^ key[c % kKeyLength] ^ static_cast<uint8_t>(ch));
        out.push_back(static_cast<char>(p));
        c += s;
    }
    return out;
}

std::string Scramble(uint32_t seed, std::string_view text, int limit) {
    return Scramble(seed, text, limit, HandshakeKey());
}

std::optional<std::string> Unscramble(std::string_view bytes, int capacity, const KeyTable& key) {
    if (bytes.size() < 4 || capacity <= 0) {
        return std::nullopt;
    }
    const auto b = [&](std::size_t i) { return static_cast<uint8_t>(bytes[i]); };
    const uint32_t seed = b(0) | (static_cast<uint32_t>(b(1)) << 8) |
                          (static_cast<uint32_t>(b(3)) << 16) | (static_cast<uint32_t>(b(2)) << 24);
    uint32_t c = seed & 0x7FFFFFFFu;
    const uint32_t s = b(3) & 7u;
    uint8_t p = b(1);
    std::string out;
    for (std::size_t i = 4; i < bytes.size() && static_cast<int>(out.size()) < capacity - 1; ++i) {
        const uint8_t ch = static_cast<uint8_t>(key[c % kKeyLength] ^ b(i) ^ p);
        if (ch == 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(ch));
        c += s;
        p = b(i);
    }
    return out;
}

std::optional<std::string> Unscramble(std::string_view bytes, int capacity) {
    return Unscramble(bytes, capacity, HandshakeKey());
}

std::string StorePassword(std::string_view password, uint32_t seed) {
    if (password.empty()) {
        return {};
    }
    const std::string bytes =
        Scramble(seed, password.substr(0, kStoredPasswordChars), kStoredLimit);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const auto v = static_cast<uint8_t>(ch);
        hex.push_back(kDigits[v >> 4]);
        hex.push_back(kDigits[v & 15]);
    }
    return hex;
}

std::string StorePassword(std::string_view password) {
    static std::mt19937 generator{std::random_device{}()};
    const uint32_t high = generator() & 0xFFFFu;
    const uint32_t low = generator() & 0xFFFFu;
    return StorePassword(password, (high << 16) | low);
}

std::string LoadStoredPassword(std::string_view stored) {
    stored = stored.substr(0, kStoredTextRoom);
    // Pairs of hex digits only; a stray character or an odd digit spoils it all.
    if (stored.empty() || stored.size() % 2 != 0) {
        return {};
    }
    std::string bytes;
    bytes.reserve(stored.size() / 2);
    for (std::size_t i = 0; i < stored.size(); i += 2) {
        const int hi = HexDigit(stored[i]);
        const int lo = HexDigit(stored[i + 1]);
        if (hi < 0 || lo < 0) {
            return {};
        }
        bytes.push_back(static_cast<char>(hi * 16 + lo));
    }
    auto text = Unscramble(bytes, static_cast<int>(bytes.size()));
    if (!text) {
        return {};
    }
    if (text->size() > kStoredPasswordChars) {
        text->resize(kStoredPasswordChars);
    }
    return *text;
}

}  // namespace velcora
