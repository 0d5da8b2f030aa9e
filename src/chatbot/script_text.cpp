#include "chatbot/script_text.h"

#include "chatbot/script_reader.h"
#include "link/text_codec.h"

namespace velcora {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::size_t kUtf16Probe = 1000;

bool LooksLikeUtf16(std::string_view bytes) {
    const std::size_t probe = bytes.size() < kUtf16Probe ? bytes.size() : kUtf16Probe;
    for (std::size_t i = 0; i + 1 < probe; i += 2) {
        if (bytes[i] != 0 && bytes[i + 1] == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

DecodedScript DecodeScriptBytes(std::string_view bytes) {
    DecodedScript out;
    if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
        out.encoding = ScriptEncoding::kUtf8;
        out.text = Utf8ToWide(bytes.substr(kUtf8Mark.size()));
        return out;
    }
    if (LooksLikeUtf16(bytes)) {
        out.encoding = ScriptEncoding::kUtf16;
        if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
            static_cast<uint8_t>(bytes[1]) == 0xFE) {
            bytes.remove_prefix(2);
        }
        out.text.resize(bytes.size() / 2);
        for (std::size_t i = 0; i < out.text.size(); ++i) {
            out.text[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                                (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
        }
        return out;
    }
    out.encoding = ScriptEncoding::kAnsi;
    out.text = AnsiToWide(bytes);
    return out;
}

std::string EncodeScriptText(std::u16string_view text, bool utf8) {
    if (!utf8) {
        std::string ansi = WideToAnsi(text);
        if (AnsiToWide(ansi) == StripBom(text)) {
            return ansi;
        }
    }
    std::string out(kUtf8Mark);
    out += WideToUtf8(StripBom(text));
    return out;
}

bool LoadScriptBytes(std::string_view bytes, CChatScript& script, DecodedScript* decoded) {
    DecodedScript local = DecodeScriptBytes(bytes);
    const bool ok = ReadScript(local.text, script);
    if (decoded) {
        *decoded = std::move(local);
    }
    return ok;
}

}  // namespace velcora
