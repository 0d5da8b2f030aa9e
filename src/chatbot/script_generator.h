// Writes a chat-bot document as the robot's script text: tabs for indentation,
// CR LF line ends. The script reader accepts exactly this output.
#pragma once

#include <string>

#include "chatbot/chat_script.h"

namespace velcora {

std::u16string GenerateScript(const CChatScript& script);

// One frameset at `indent` tabs, appended to `out` (nested framesets go two
// tabs deeper than their frame's frameset).
void GenerateFrameset(const CChatFrameset& frameset, int indent, std::u16string& out);

}  // namespace velcora
