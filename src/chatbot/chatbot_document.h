// What the chat-bot editor holds besides the document itself: the script text
// last read or generated, the encoding it came in (an UTF-8 script goes back
// as UTF-8) and whether there are unsaved changes. The editor window, the
// transfers and the command-line client all go through it.
#pragma once

#include <string>
#include <string_view>

#include "chatbot/chat_script.h"
#include "chatbot/script_text.h"

namespace velcora {

class CChatBotDocument {
  public:
    // A downloaded or opened file. The text always replaces the source text;
    // the document only when the text reads, which also clears the modified
    // mark. False: the caller shows "Ошибка разбора текста!".
    bool LoadBytes(std::string_view bytes);

    // The generated script in the file's encoding, for an upload or a save;
    // the source text becomes the generated one.
    std::string ScriptBytes();

    // After a successful upload or save.
    void MarkStored() { modified_ = false; }
    void MarkModified() { modified_ = true; }

    CChatScript& Script() { return script_; }
    const CChatScript& Script() const { return script_; }
    const std::u16string& SourceText() const { return source_; }
    bool Utf8() const { return utf8_; }
    bool Modified() const { return modified_; }

  private:
    CChatScript script_;
    std::u16string source_;
    bool utf8_ = false;
    bool modified_ = false;
};

}  // namespace velcora
