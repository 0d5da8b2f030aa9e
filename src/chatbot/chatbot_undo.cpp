#include "chatbot/chatbot_undo.h"

namespace velcora {

namespace {

template <typename T>
bool Apply(std::vector<T>& list, int32_t index, const std::optional<ChatUndoStep::Item>& from,
           const std::optional<ChatUndoStep::Item>& to) {
    if (index < 0) {
        return false;
    }
    const auto at = static_cast<std::size_t>(index);
    if (from && to) {
        if (at >= list.size()) {
            return false;
        }
        list[at] = std::get<T>(*to);
    } else if (to) {
        if (at > list.size()) {
            return false;
        }
        list.insert(list.begin() + index, std::get<T>(*to));
    } else if (from) {
        if (at >= list.size()) {
            return false;
        }
        list.erase(list.begin() + index);
    }
    return true;
}

bool ApplyStep(CChatScript& script, const ChatUndoStep& step, bool forward) {
    const auto& from = forward ? step.before : step.after;
    const auto& to = forward ? step.after : step.before;
    switch (step.area) {
        case ChatArea::kQuestions:
            return Apply(script.framesets, step.index, from, to);
        case ChatArea::kDialogues:
            return Apply(script.dialogues, step.index, from, to);
        case ChatArea::kPrompts:
            return Apply(script.prompts, step.index, from, to);
    }
    return false;
}

}  // namespace

void CChatBotUndo::Push(ChatUndoStep step) {
    steps_.resize(done_);
    steps_.push_back(std::move(step));
    if (steps_.size() > kMaxUndoSteps) {
        steps_.pop_front();
    }
    done_ = steps_.size();
}

void CChatBotUndo::Clear() {
    steps_.clear();
    done_ = 0;
}

const ChatUndoStep* CChatBotUndo::Undo(CChatScript& script) {
    if (!CanUndo() || !ApplyStep(script, steps_[done_ - 1], false)) {
        return nullptr;
    }
    --done_;
    return &steps_[done_];
}

const ChatUndoStep* CChatBotUndo::Redo(CChatScript& script) {
    if (!CanRedo() || !ApplyStep(script, steps_[done_], true)) {
        return nullptr;
    }
    return &steps_[done_++];
}

}  // namespace velcora
