#include "chatbot/chat_script.h"

namespace velcora {

CChatFrame::CChatFrame(const CChatFrame& other)
    : questions(other.questions),
      kind(other.kind),
      answers(other.answers),
      script(other.script),
      nested(other.nested ? std::make_unique<CChatFrameset>(*other.nested) : nullptr),
      expanded(other.expanded) {}

CChatFrame& CChatFrame::operator=(const CChatFrame& other) {
    if (this != &other) {
        CChatFrame copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void CChatFrame::SwitchToScript() {
    kind = FrameKind::kScript;
    answers.clear();
}

void CChatFrame::SwitchToAnswers() {
    kind = FrameKind::kAnswer;
    script.clear();
}

bool CChatFrame::operator==(const CChatFrame& other) const {
    if (questions != other.questions || kind != other.kind || answers != other.answers ||
        script != other.script || expanded != other.expanded) {
        return false;
    }
    if (!nested || !other.nested) {
        return !nested && !other.nested;
    }
    return *nested == *other.nested;
}

namespace {

void CountFrameset(const CChatFrameset& fs, ChatScriptCounts& c) {
    ++c.framesets;
    for (const CChatFrame& f : fs.frames) {
        ++c.frames;
        c.questions += static_cast<int64_t>(f.questions.size());
        c.answers += static_cast<int64_t>(f.answers.size());
        if (f.nested) {
            CountFrameset(*f.nested, c);
        }
    }
}

}  // namespace

ChatScriptCounts CountScript(const CChatScript& script) {
    ChatScriptCounts c;
    for (const CChatFrameset& fs : script.framesets) {
        CountFrameset(fs, c);
    }
    c.dialogues = static_cast<int64_t>(script.dialogues.size());
    c.prompts = static_cast<int64_t>(script.prompts.size());
    return c;
}

}  // namespace velcora
