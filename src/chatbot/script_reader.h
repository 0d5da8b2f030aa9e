// Reads a chat-bot script text back into the document. The reader takes the
// generator's output and hand-written scripts of the same shape; anything else
// fails the whole read (the editor then says "Ошибка разбора текста!").
#pragma once

#include <string>
#include <string_view>

#include "chatbot/chat_script.h"

namespace velcora {

// Outside quoted strings ("..." or '...'), "//" to the end of the line and
// "/*" to "*/" become spaces; line breaks stay, so every character keeps its
// position.
std::u16string StripComments(std::u16string_view text);

// Replaces `out` on success; leaves it untouched on failure. Framesets nest at
// most 64 levels deep: a deeper one is not read as a frameset, so the frame
// holding it keeps it as script text.
bool ReadScript(std::u16string_view text, CChatScript& out);

}  // namespace velcora
