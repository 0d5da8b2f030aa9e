// The chat-bot document: framesets of questions with their answers or script,
// the robot's own dialogue lines and its prompts. Texts are kept as the
// interface works with them (UTF-16); conversion happens at load and upload.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chatbot/question_pattern.h"

namespace velcora {

struct CChatFrameset;

enum class FrameKind : int32_t {
    kAnswer = 0,   // answers spoken with PlaySpeech
    kScript = 1,   // a block of robot script kept verbatim
    kPronoun = 2,  // resolves a pronoun from the previous context; no block
};

struct CChatFrame {
    CChatFrame() = default;
    CChatFrame(const CChatFrame& other);
    CChatFrame& operator=(const CChatFrame& other);
    CChatFrame(CChatFrame&&) noexcept = default;
    CChatFrame& operator=(CChatFrame&&) noexcept = default;

    std::vector<CQuestion> questions;
    FrameKind kind = FrameKind::kAnswer;
    std::vector<std::u16string> answers;  // kAnswer
    std::u16string script;                // kScript: the text between the braces
    // Active only inside this frame's context (answer and script frames).
    std::unique_ptr<CChatFrameset> nested;
    bool expanded = true;  // editor view state, never written

    // The two sides exclude each other: switching drops the other side.
    void SwitchToScript();
    void SwitchToAnswers();

    bool operator==(const CChatFrame& other) const;
};

struct CChatFrameset {
    std::u16string name;
    int32_t priority = -1;  // -1 when the script gives none
    std::vector<CChatFrame> frames;
    bool expanded = true;  // editor view state, never written

    bool operator==(const CChatFrameset& other) const {
        return name == other.name && priority == other.priority && frames == other.frames &&
               expanded == other.expanded;
    }
};

struct CChatPhrase {
    std::u16string text;
    bool afterWait = false;  // spoken only if the listener stays silent for the wait time
    bool operator==(const CChatPhrase&) const = default;
};

struct CChatDialog {
    std::vector<CChatPhrase> phrases;
    int32_t waitTime = 0;
    bool operator==(const CChatDialog&) const = default;
};

struct CChatScript {
    std::vector<CChatFrameset> framesets;
    std::vector<CChatDialog> dialogues;
    std::vector<std::u16string> prompts;

    bool operator==(const CChatScript&) const = default;
};

// Totals over the whole document, nested framesets included.
struct ChatScriptCounts {
    int64_t framesets = 0;
    int64_t frames = 0;
    int64_t questions = 0;
    int64_t answers = 0;
    int64_t dialogues = 0;
    int64_t prompts = 0;
};
ChatScriptCounts CountScript(const CChatScript& script);

}  // namespace velcora
