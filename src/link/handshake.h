// The password scrambling shared by the handshake and the stored password.
// The response to a challenge is 4 seed bytes (bytes 0, 1, 3, 2 of the seed)
// followed by one byte per password character, each chained to the previous
// one through the key table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/key_text.h"

namespace velcora {

using KeyTable = std::array<uint8_t, kKeyLength>;

// The key table in use: the built-in text, or the file named by the
// environment variable VELCORA_KEY_FILE when that file holds exactly 353
// bytes. Loaded once, on first use.
const KeyTable& HandshakeKey();
// Why VELCORA_KEY_FILE was refused; empty when it is unset or was accepted.
// Programs check this at start and stop with the text, so that a console never
// runs with a key the operator did not mean.
const std::string& HandshakeKeyError();
// Reads a key file: exactly kKeyLength bytes. On failure `error` says why.
std::optional<KeyTable> LoadKeyFile(const std::string& path, std::string& error);

// Up to `limit` bytes: the seed bytes, then one byte per character taken.
std::string Scramble(uint32_t seed, std::string_view text, int limit, const KeyTable& key);
std::string Scramble(uint32_t seed, std::string_view text, int limit);
// The inverse, for the stored password: nullopt for fewer than 4 bytes, no
// room, or a character that comes out as zero. At most capacity - 1 characters.
std::optional<std::string> Unscramble(std::string_view bytes, int capacity, const KeyTable& key);
std::optional<std::string> Unscramble(std::string_view bytes, int capacity);

// The stored form of a password (ANSI text): at most 127 characters scrambled
// with `seed` and written as lower-case hexadecimal; empty for no password.
std::string StorePassword(std::string_view password, uint32_t seed);
// The same with a fresh random seed, so the same password never looks the same twice.
std::string StorePassword(std::string_view password);
// Back to the ANSI text; anything malformed gives an empty password.
std::string LoadStoredPassword(std::string_view stored);

}  // namespace velcora
