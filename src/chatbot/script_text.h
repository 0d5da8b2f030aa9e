// The bytes of a chat-bot script file, as it lies on the local disk or in the
// robot's memory, and the text the editor works with.
#pragma once

#include <string>
#include <string_view>

#include "chatbot/chat_script.h"

namespace velcora {

enum class ScriptEncoding {
    kAnsi,   // Windows-1251
    kUtf8,   // UTF-8 after the mark EF BB BF
    kUtf16,  // UTF-16 little-endian, with or without the mark FF FE
};

struct DecodedScript {
    std::u16string text;
    ScriptEncoding encoding = ScriptEncoding::kAnsi;
    // Uploads of this text go out as UTF-8 as well.
    bool utf8() const { return encoding == ScriptEncoding::kUtf8; }
};

// UTF-8 when the bytes start with its mark; UTF-16 LE when an aligned byte pair
// within the first 1000 bytes is non-zero then zero; Windows-1251 otherwise.
DecodedScript DecodeScriptBytes(std::string_view bytes);

// UTF-8 with its mark when `utf8` is set, Windows-1251 otherwise. A text that
// Windows-1251 cannot hold goes out as UTF-8 too rather than losing characters.
std::string EncodeScriptText(std::u16string_view text, bool utf8);

// Decodes and reads; `decoded` (when given) receives the text even when the
// read fails.
bool LoadScriptBytes(std::string_view bytes, CChatScript& script, DecodedScript* decoded = nullptr);

}  // namespace velcora
