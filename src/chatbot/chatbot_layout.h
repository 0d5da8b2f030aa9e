// Where the chat-bot editor's views draw each item: framesets, frames and
// pattern elements as boxes, one clickable area per item. Kept out of the
// widgets so that hit tests and layout are tested without them, and so that
// a large script costs only what an edit touched: the question view lays out
// one top-level frameset at a time and keeps only the heights of the rest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chatbot/chatbot_editor.h"

namespace velcora {

// Text widths in pixels, as the view's font measures them.
class ITextMeasure {
  public:
    virtual ~ITextMeasure() = default;
    virtual int32_t Width(std::u16string_view text) = 0;
    virtual int32_t LineHeight() = 0;
};

enum class ChatBoxKind {
    kExpander,       // the +/- of a frameset or a frame
    kFramesetHead,   // a frameset's name and priority
    kFrameHead,      // "Фрейм N"
    kQuestionLabel,  // "Вопрос:" in front of a question's elements (opens the whole question)
    kElement,        // one pattern element
    kAnswer,
    kScript,  // a script body, several lines
    kPronoun,
    kDialogHead,  // a robot dialogue with its wait time
    kPhrase,      // a dialogue phrase
    kPrompt,
    kHint,  // what to do in an empty view; not an item
};

struct ChatBox {
    int32_t x = 0;
    int64_t y = 0;
    int32_t w = 0;
    int32_t h = 0;
    ChatBoxKind kind = ChatBoxKind::kHint;
    ChatSelection target;
    std::u16string text;
    bool expanded = false;   // kExpander: what it shows
    bool afterWait = false;  // kPhrase
    bool Contains(int32_t px, int64_t py) const {
        return px >= x && px < x + w && py >= y && py < y + h;
    }
};

// Geometry shared by the views.
struct ChatLayoutMetrics {
    int32_t margin = 6;
    int32_t indent = 20;
    int32_t gap = 4;
    int32_t padding = 6;
};

// Whether a box stands for the selection (an element box for its element, a
// question label for the whole question, a head for its frameset or frame).
bool BoxShowsSelection(const ChatBox& box, const ChatSelection& s);

// The question-answer view: top-level framesets stacked top to bottom.
class CChatQuestionLayout {
  public:
    explicit CChatQuestionLayout(ITextMeasure& measure, ChatLayoutMetrics metrics = {});

    // The width the element rows wrap at; lays everything out again.
    void SetWidth(const CChatScript& script, int32_t width);
    int32_t Width() const { return width_; }
    // Every block again (a new document).
    void Rebuild(const CChatScript& script);
    // Only what `change` touched.
    void Apply(const CChatScript& script, const ChatChange& change);
    int64_t TotalHeight() const;

    // The boxes that meet the rows [top, bottom).
    std::vector<ChatBox> BoxesIn(const CChatScript& script, int64_t top, int64_t bottom) const;
    std::optional<ChatBox> HitTest(const CChatScript& script, int32_t x, int64_t y) const;
    // The box that shows the selection, in whole-view coordinates.
    std::optional<ChatBox> Locate(const CChatScript& script, const ChatSelection& s) const;
    // Top of block `index`.
    int64_t BlockTop(std::size_t index) const;
    std::size_t BlockCount() const { return heights_.size(); }

  private:
    // Lays out one top-level frameset from y = 0; returns its height. Boxes
    // meeting [top, bottom) go to `out` when given.
    int32_t Block(const CChatScript& script, std::size_t index, std::vector<ChatBox>* out,
                  int64_t top, int64_t bottom) const;
    void Sum();

    ITextMeasure& measure_;
    ChatLayoutMetrics m_;
    int32_t width_ = 600;
    std::vector<int32_t> heights_;
    std::vector<int64_t> tops_;  // heights_'s prefix sums, one more entry
};

// The robot's dialogues or the prompts: one row per item, laid out whole.
class CChatListLayout {
  public:
    CChatListLayout(ITextMeasure& measure, ChatArea area, ChatLayoutMetrics metrics = {});
    void Rebuild(const CChatScript& script, int32_t width);
    const std::vector<ChatBox>& Boxes() const { return boxes_; }
    int64_t TotalHeight() const { return height_; }
    std::optional<ChatBox> HitTest(int32_t x, int64_t y) const;
    std::optional<ChatBox> Locate(const ChatSelection& s) const;

  private:
    ITextMeasure& measure_;
    ChatArea area_;
    ChatLayoutMetrics m_;
    std::vector<ChatBox> boxes_;
    int64_t height_ = 0;
};

// How one element reads in its box.
std::u16string ElementText(const CPatternElement& e);

}  // namespace velcora
