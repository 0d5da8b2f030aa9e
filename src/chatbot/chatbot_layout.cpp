#include "chatbot/chatbot_layout.h"

#include <algorithm>
#include <string>

#include "chatbot/question_pattern.h"

namespace velcora {

namespace {

std::u16string Number(int64_t n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// Collects boxes of one block; only those meeting [top, bottom) are kept.
struct Sink {
    std::vector<ChatBox>* out;
    int64_t top;
    int64_t bottom;
    void Add(ChatBox b) {
        if (out && b.y + b.h > top && b.y < bottom) {
            out->push_back(std::move(b));
        }
    }
};

class BlockWriter {
  public:
    BlockWriter(ITextMeasure& measure, const ChatLayoutMetrics& m, int32_t width, Sink& sink)
        : measure_(measure), m_(m), width_(width), sink_(sink), row_(measure.LineHeight() + 6) {}

    void Frameset(const CChatFrameset& fs, std::vector<int32_t>& path, int32_t x) {
        ChatSelection s;
        s.item = ChatItem::kFrameset;
        s.frameset = path;
        std::u16string head = u"Фреймсет: " + fs.name;
        if (fs.priority > 0) {
            head += u"  (приоритет " + Number(fs.priority) + u")";
        }
        Head(x, s, fs.expanded, ChatBoxKind::kFramesetHead, std::move(head));
        if (!fs.expanded) {
            return;
        }
        for (std::size_t f = 0; f < fs.frames.size(); ++f) {
            Frame(fs.frames[f], path, static_cast<int32_t>(f), x + m_.indent);
        }
    }

    int64_t Y() const { return y_; }

  private:
    void Head(int32_t x, const ChatSelection& s, bool expanded, ChatBoxKind kind,
              std::u16string text) {
        ChatBox e;
        e.x = x;
        e.y = y_;
        e.w = row_;
        e.h = row_;
        e.kind = ChatBoxKind::kExpander;
        e.target = s;
        e.expanded = expanded;
        sink_.Add(e);
        ChatBox b;
        b.x = x + row_ + m_.gap;
        b.y = y_;
        b.w = measure_.Width(text) + 2 * m_.padding;
        b.h = row_;
        b.kind = kind;
        b.target = s;
        b.text = std::move(text);
        sink_.Add(std::move(b));
        y_ += row_ + m_.gap;
    }

    void Box(int32_t x, int32_t w, int32_t h, ChatBoxKind kind, const ChatSelection& s,
             std::u16string text) {
        ChatBox b;
        b.x = x;
        b.y = y_;
        b.w = w;
        b.h = h;
        b.kind = kind;
        b.target = s;
        b.text = std::move(text);
        sink_.Add(std::move(b));
        y_ += h + m_.gap;
    }

    int32_t Fit(int32_t x, int32_t w) const {
        return std::max<int32_t>(row_, std::min(w, width_ - x - m_.margin));
    }

    void Frame(const CChatFrame& frame, std::vector<int32_t>& path, int32_t f, int32_t x) {
        ChatSelection s;
        s.item = ChatItem::kFrame;
        s.frameset = path;
        s.frame = f;
        std::u16string head = u"Фрейм " + Number(f + 1);
        if (frame.kind == FrameKind::kPronoun) {
            head += u" — местоимение";
        } else if (frame.kind == FrameKind::kScript) {
            head += u" — скрипт";
        }
        Head(x, s, frame.expanded, ChatBoxKind::kFrameHead, std::move(head));
        if (!frame.expanded) {
            return;
        }
        const int32_t ix = x + m_.indent;
        for (std::size_t q = 0; q < frame.questions.size(); ++q) {
            Question(frame.questions[q], s, static_cast<int32_t>(q), ix);
        }
        switch (frame.kind) {
            case FrameKind::kAnswer:
                s.item = ChatItem::kAnswer;
                for (std::size_t a = 0; a < frame.answers.size(); ++a) {
                    s.index = static_cast<int32_t>(a);
                    std::u16string text = u"Ответ: " + frame.answers[a];
                    const int32_t w = measure_.Width(text) + 2 * m_.padding;
                    Box(ix, Fit(ix, w), row_, ChatBoxKind::kAnswer, s, std::move(text));
                }
                s.index = -1;
                break;
            case FrameKind::kScript: {
                s.item = ChatItem::kScript;
                std::u16string_view body = frame.script;
                // The line break after "{" is the generator's, not the body's.
                while (!body.empty() && (body.front() == u'\r' || body.front() == u'\n')) {
                    body.remove_prefix(1);
                }
                const auto lines =
                    static_cast<int32_t>(std::count(body.begin(), body.end(), u'\n')) + 1;
                const int32_t h = std::min(lines, 400) * measure_.LineHeight() + 2 * m_.padding;
                Box(ix, Fit(ix, width_), h, ChatBoxKind::kScript, s, std::u16string(body));
                break;
            }
            case FrameKind::kPronoun:
                s.item = ChatItem::kPronoun;
                Box(ix, measure_.Width(u"pronoun;") + 2 * m_.padding, row_, ChatBoxKind::kPronoun,
                    s, u"pronoun;");
                break;
        }
        if (frame.nested) {
            path.push_back(f);
            Frameset(*frame.nested, path, ix);
            path.pop_back();
        }
    }

    void Question(const CQuestion& q, ChatSelection s, int32_t index, int32_t x) {
        s.item = ChatItem::kQuestion;
        s.index = index;
        std::u16string label = u"Вопрос:";
        const int32_t lw = measure_.Width(label) + 2 * m_.padding;
        ChatBox l;
        l.x = x;
        l.y = y_;
        l.w = lw;
        l.h = row_;
        l.kind = ChatBoxKind::kQuestionLabel;
        l.target = s;
        l.text = std::move(label);
        sink_.Add(std::move(l));
        const int32_t left = x + lw + m_.gap;
        int32_t cx = left;
        s.item = ChatItem::kElement;
        for (std::size_t e = 0; e < q.size(); ++e) {
            s.element = static_cast<int32_t>(e);
            std::u16string text = ElementText(q[e]);
            const int32_t w = measure_.Width(text) + 2 * m_.padding;
            // Wraps under the first element, never before it.
            if (cx > left && cx + w > width_ - m_.margin) {
                cx = left;
                y_ += row_ + m_.gap;
            }
            ChatBox b;
            b.x = cx;
            b.y = y_;
            b.w = w;
            b.h = row_;
            b.kind = ChatBoxKind::kElement;
            b.target = s;
            b.text = std::move(text);
            sink_.Add(std::move(b));
            cx += w + m_.gap;
        }
        y_ += row_ + m_.gap;
    }

    ITextMeasure& measure_;
    const ChatLayoutMetrics& m_;
    int32_t width_;
    Sink& sink_;
    int32_t row_;
    int64_t y_ = 0;
};

}  // namespace

std::u16string ElementText(const CPatternElement& e) {
    return PrintPattern(CQuestion{e});
}

bool BoxShowsSelection(const ChatBox& box, const ChatSelection& s) {
    if (box.kind == ChatBoxKind::kHint || box.kind == ChatBoxKind::kExpander) {
        return false;
    }
    if (box.target == s) {
        return true;
    }
    // A selected question lights up all its elements.
    return s.item == ChatItem::kQuestion && box.kind == ChatBoxKind::kElement &&
           box.target.frameset == s.frameset && box.target.frame == s.frame &&
           box.target.index == s.index;
}

// ------------------------------------------------------------ questions

CChatQuestionLayout::CChatQuestionLayout(ITextMeasure& measure, ChatLayoutMetrics metrics)
    : measure_(measure), m_(metrics) {}

void CChatQuestionLayout::SetWidth(const CChatScript& script, int32_t width) {
    if (width == width_ && heights_.size() == script.framesets.size()) {
        return;
    }
    width_ = width;
    Rebuild(script);
}

int32_t CChatQuestionLayout::Block(const CChatScript& script, std::size_t index,
                                   std::vector<ChatBox>* out, int64_t top, int64_t bottom) const {
    Sink sink{out, top, bottom};
    BlockWriter w(measure_, m_, width_, sink);
    std::vector<int32_t> path{static_cast<int32_t>(index)};
    w.Frameset(script.framesets[index], path, m_.margin);
    return static_cast<int32_t>(w.Y());
}

void CChatQuestionLayout::Rebuild(const CChatScript& script) {
    heights_.resize(script.framesets.size());
    for (std::size_t i = 0; i < heights_.size(); ++i) {
        heights_[i] = Block(script, i, nullptr, 0, 0);
    }
    Sum();
}

void CChatQuestionLayout::Apply(const CChatScript& script, const ChatChange& change) {
    const auto i = static_cast<std::size_t>(change.index);
    switch (change.kind) {
        case ChatChange::kSelection:
        case ChatChange::kDialogues:
        case ChatChange::kPrompts:
            return;
        case ChatChange::kFrameset:
            if (change.index >= 0 && i < heights_.size() && i < script.framesets.size() &&
                heights_.size() == script.framesets.size()) {
                heights_[i] = Block(script, i, nullptr, 0, 0);
                Sum();
                return;
            }
            break;
        case ChatChange::kFramesetInserted:
            if (change.index >= 0 && i <= heights_.size() &&
                heights_.size() + 1 == script.framesets.size()) {
                heights_.insert(heights_.begin() + change.index, Block(script, i, nullptr, 0, 0));
                Sum();
                return;
            }
            break;
        case ChatChange::kFramesetErased:
            if (change.index >= 0 && i < heights_.size() &&
                heights_.size() == script.framesets.size() + 1) {
                heights_.erase(heights_.begin() + change.index);
                Sum();
                return;
            }
            break;
        case ChatChange::kAll:
            break;
    }
    Rebuild(script);
}

void CChatQuestionLayout::Sum() {
    tops_.assign(heights_.size() + 1, m_.margin);
    for (std::size_t i = 0; i < heights_.size(); ++i) {
        tops_[i + 1] = tops_[i] + heights_[i];
    }
}

int64_t CChatQuestionLayout::TotalHeight() const {
    return (tops_.empty() ? m_.margin : tops_.back()) + m_.margin;
}

int64_t CChatQuestionLayout::BlockTop(std::size_t index) const {
    return index < tops_.size() ? tops_[index] : TotalHeight();
}

std::vector<ChatBox> CChatQuestionLayout::BoxesIn(const CChatScript& script, int64_t top,
                                                  int64_t bottom) const {
    std::vector<ChatBox> out;
    if (heights_.size() != script.framesets.size() || heights_.empty()) {
        return out;
    }
    // The first block that ends below `top`.
    auto it = std::upper_bound(tops_.begin() + 1, tops_.end(), top);
    for (auto i = static_cast<std::size_t>(it - tops_.begin() - 1);
         i < heights_.size() && tops_[i] < bottom; ++i) {
        const std::size_t first = out.size();
        Block(script, i, &out, top - tops_[i], bottom - tops_[i]);
        for (std::size_t k = first; k < out.size(); ++k) {
            out[k].y += tops_[i];
        }
    }
    return out;
}

std::optional<ChatBox> CChatQuestionLayout::HitTest(const CChatScript& script, int32_t x,
                                                    int64_t y) const {
    for (ChatBox& b : BoxesIn(script, y, y + 1)) {
        if (b.Contains(x, y)) {
            return std::move(b);
        }
    }
    return std::nullopt;
}

std::optional<ChatBox> CChatQuestionLayout::Locate(const CChatScript& script,
                                                   const ChatSelection& s) const {
    if (s.area != ChatArea::kQuestions || s.frameset.empty() || s.frameset[0] < 0 ||
        static_cast<std::size_t>(s.frameset[0]) >= heights_.size() ||
        heights_.size() != script.framesets.size()) {
        return std::nullopt;
    }
    const auto i = static_cast<std::size_t>(s.frameset[0]);
    std::vector<ChatBox> boxes;
    Block(script, i, &boxes, INT64_MIN / 2, INT64_MAX / 2);
    for (ChatBox& b : boxes) {
        if (BoxShowsSelection(b, s)) {
            b.y += tops_[i];
            return std::move(b);
        }
    }
    return std::nullopt;
}

// ----------------------------------------------------------------- lists

CChatListLayout::CChatListLayout(ITextMeasure& measure, ChatArea area, ChatLayoutMetrics metrics)
    : measure_(measure), area_(area), m_(metrics) {}

void CChatListLayout::Rebuild(const CChatScript& script, int32_t width) {
    boxes_.clear();
    const int32_t row = measure_.LineHeight() + 6;
    int64_t y = m_.margin;
    auto add = [&](int32_t x, ChatBoxKind kind, const ChatSelection& s, std::u16string text) {
        ChatBox b;
        b.x = x;
        b.y = y;
        b.w = std::max<int32_t>(
            row, std::min(measure_.Width(text) + 2 * m_.padding, width - x - m_.margin));
        b.h = row;
        b.kind = kind;
        b.target = s;
        b.text = std::move(text);
        boxes_.push_back(std::move(b));
        y += row + m_.gap;
        return &boxes_.back();
    };
    ChatSelection s;
    s.area = area_;
    if (area_ == ChatArea::kDialogues) {
        for (std::size_t d = 0; d < script.dialogues.size(); ++d) {
            const CChatDialog& dialog = script.dialogues[d];
            s.item = ChatItem::kDialog;
            s.dialog = static_cast<int32_t>(d);
            s.index = -1;
            add(m_.margin, ChatBoxKind::kDialogHead, s,
                u"Фрейм " + Number(static_cast<int64_t>(d) + 1) + u"  (ожидание " +
                    Number(dialog.waitTime) + u" мс)");
            s.item = ChatItem::kPhrase;
            for (std::size_t p = 0; p < dialog.phrases.size(); ++p) {
                s.index = static_cast<int32_t>(p);
                const CChatPhrase& phrase = dialog.phrases[p];
                ChatBox* b =
                    add(m_.margin + m_.indent, ChatBoxKind::kPhrase, s,
                        (phrase.afterWait ? u"После ожидания: " : u"Фраза: ") + phrase.text);
                b->afterWait = phrase.afterWait;
            }
        }
        if (script.dialogues.empty()) {
            s = {};
            s.area = area_;
            add(m_.margin, ChatBoxKind::kHint, s,
                u"Вопросов робота нет: «Добавить фрейм» в меню правой кнопки");
        }
    } else {
        s.item = ChatItem::kPrompt;
        for (std::size_t p = 0; p < script.prompts.size(); ++p) {
            s.index = static_cast<int32_t>(p);
            add(m_.margin, ChatBoxKind::kPrompt, s, script.prompts[p]);
        }
        if (script.prompts.empty()) {
            s = {};
            s.area = area_;
            add(m_.margin, ChatBoxKind::kHint, s,
                u"Зазывных речей нет: «Добавить фразу» в меню правой кнопки");
        }
    }
    height_ = y + m_.margin;
}

std::optional<ChatBox> CChatListLayout::HitTest(int32_t x, int64_t y) const {
    // Rows are in order: the first row that ends below y.
    auto it = std::lower_bound(boxes_.begin(), boxes_.end(), y,
                               [](const ChatBox& b, int64_t v) { return b.y + b.h <= v; });
    if (it != boxes_.end() && it->Contains(x, y)) {
        return *it;
    }
    return std::nullopt;
}

std::optional<ChatBox> CChatListLayout::Locate(const ChatSelection& s) const {
    for (const ChatBox& b : boxes_) {
        if (BoxShowsSelection(b, s)) {
            return b;
        }
    }
    return std::nullopt;
}

}  // namespace velcora
