#include "chatbot/chatbot_document.h"

#include "chatbot/script_generator.h"
#include "chatbot/script_reader.h"

namespace velcora {

bool CChatBotDocument::LoadBytes(std::string_view bytes) {
    DecodedScript decoded = DecodeScriptBytes(bytes);
    utf8_ = decoded.utf8();
    source_ = std::move(decoded.text);
    if (!ReadScript(source_, script_)) {
        return false;
    }
    modified_ = false;
    return true;
}

std::string CChatBotDocument::ScriptBytes() {
    source_ = GenerateScript(script_);
    return EncodeScriptText(source_, utf8_);
}

}  // namespace velcora
