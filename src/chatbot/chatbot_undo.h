// Undo and redo for the chat-bot editor. A step holds only the item it
// touched: one top-level frameset (nested ones travel inside it), one robot
// dialogue or one prompt, as it was before and after (either side absent for
// an insertion or a removal), and where the selection stood.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "chatbot/chat_script.h"

namespace velcora {

// Which list of the document an item or a selection belongs to.
enum class ChatArea : int32_t {
    kQuestions = 0,  // framesets
    kDialogues = 1,
    kPrompts = 2,
};

enum class ChatItem : int32_t {
    kNone,
    kFrameset,
    kFrame,
    kQuestion,
    kElement,  // one element of a question's pattern
    kAnswer,
    kScript,
    kPronoun,
    kDialog,
    kPhrase,
    kPrompt,
};

// What the operator has selected. `frameset` is the path to a frameset: the
// top-level index, then for each level the frame whose nested frameset it is.
struct ChatSelection {
    ChatArea area = ChatArea::kQuestions;
    ChatItem item = ChatItem::kNone;
    std::vector<int32_t> frameset;
    int32_t frame = -1;
    int32_t index = -1;    // question, answer, phrase (of `dialog`) or prompt
    int32_t element = -1;  // kElement: the element of question `index`
    int32_t dialog = -1;   // kDialog, kPhrase

    bool operator==(const ChatSelection&) const = default;
};

inline constexpr std::size_t kMaxUndoSteps = 100;

struct ChatUndoStep {
    using Item = std::variant<CChatFrameset, CChatDialog, std::u16string>;
    ChatArea area = ChatArea::kQuestions;
    int32_t index = 0;
    std::optional<Item> before;
    std::optional<Item> after;
    ChatSelection selectionBefore;
    ChatSelection selectionAfter;
};

class CChatBotUndo {
  public:
    // A new step drops what could be redone; the oldest step goes beyond
    // kMaxUndoSteps.
    void Push(ChatUndoStep step);
    void Clear();
    bool CanUndo() const { return done_ > 0; }
    bool CanRedo() const { return done_ < steps_.size(); }
    std::size_t Size() const { return steps_.size(); }

    // Applies the step backwards (forwards) to `script` and returns it, or
    // nullptr when there is none or it no longer fits the document.
    const ChatUndoStep* Undo(CChatScript& script);
    const ChatUndoStep* Redo(CChatScript& script);

  private:
    std::deque<ChatUndoStep> steps_;
    std::size_t done_ = 0;  // steps applied; [done_, size) can be redone
};

}  // namespace velcora
