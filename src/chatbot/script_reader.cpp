#include "chatbot/script_reader.h"

#include <limits>

#include "chatbot/script_generator.h"

namespace velcora {

namespace {

bool IsQuote(char16_t c) {
    return c == u'"' || c == u'\'';
}

// Leading sign and digits, the rest ignored; out-of-range values clamp.
int32_t ToInt(std::u16string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i] - u'0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) {
            value = int64_t{std::numeric_limits<int32_t>::max()} + 1;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        value = std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

// Framesets nest no deeper than this, so that a hostile script cannot exhaust
// the stack, and a failure deep inside costs at most this many rescans.
constexpr int kMaxNesting = 64;

// Nested framesets that ended up inside a script frame's braces are looked for
// at no more than this many places, so that a body full of look-alikes stays cheap.
constexpr int kNestedAttempts = 4;

class Reader {
  public:
    // `original` and `stripped` have the same length: tokens are read from the
    // stripped text, script bodies are taken from the original so that their
    // comments survive.
    Reader(std::u16string_view original, std::u16string_view stripped, std::size_t start = 0)
        : o_(original), t_(stripped), i_(start) {}

    bool Script(CChatScript& s) {
        for (;;) {
            Skip();
            if (End()) {
                return true;
            }
            const std::u16string_view w = Word();
            if (w == u"frameset") {
                CChatFrameset fs;
                if (!Frameset(fs, 0)) {
                    return false;
                }
                s.framesets.push_back(std::move(fs));
            } else if (w == u"robotDialogCount") {
                while (!End() && t_[i_] != u'\n' && t_[i_] != u'\r') {
                    ++i_;
                }
            } else if (w == u"function") {
                const std::u16string_view name = Word();
                if (name == u"RobotDialog") {
                    if (!Dialogs(s)) {
                        return false;
                    }
                } else if (name == u"RobotPrompt") {
                    if (!Prompts(s)) {
                        return false;
                    }
                } else {
                    return false;
                }
            } else {
                return false;
            }
        }
    }

    // After the word "frameset"; `indent` is the depth the generator writes it at.
    bool Frameset(CChatFrameset& fs, int indent) {
        if (indent / 2 > kMaxNesting || !Eat(u'(') || !Quoted(fs.name)) {
            return false;
        }
        fs.priority = -1;
        if (Eat(u',')) {
            Skip();
            const std::size_t start = i_;
            while (!End() && (IsWordChar(t_[i_]) || t_[i_] == u'-')) {
                ++i_;
            }
            fs.priority = ToInt(t_.substr(start, i_ - start));
        }
        if (!Eat(u')') || !Eat(u'{')) {
            return false;
        }
        for (;;) {
            if (Eat(u'}')) {
                return true;
            }
            CChatFrame f;
            if (!Frame(f, indent)) {
                return false;
            }
            fs.frames.push_back(std::move(f));
        }
    }

    std::size_t Position() const { return i_; }

  private:
    bool End() const { return i_ >= t_.size(); }
    void Skip() {
        while (!End() && IsScriptSpace(t_[i_])) {
            ++i_;
        }
    }
    bool Eat(char16_t c) {
        Skip();
        if (End() || t_[i_] != c) {
            return false;
        }
        ++i_;
        return true;
    }
    std::u16string_view Word() {
        Skip();
        const std::size_t start = i_;
        while (!End() && IsWordChar(t_[i_])) {
            ++i_;
        }
        return t_.substr(start, i_ - start);
    }
    // Consumes the word only when it is `w`.
    bool Keyword(std::u16string_view w) {
        const std::size_t save = i_;
        if (Word() == w) {
            return true;
        }
        i_ = save;
        return false;
    }
    bool Quoted(std::u16string_view& out) {
        Skip();
        if (End() || !IsQuote(t_[i_])) {
            return false;
        }
        const char16_t q = t_[i_];
        const std::size_t start = ++i_;
        const std::size_t close = t_.find(q, start);
        if (close == std::u16string_view::npos) {
            i_ = t_.size();
            return false;
        }
        out = t_.substr(start, close - start);
        i_ = close + 1;
        return true;
    }
    bool Quoted(std::u16string& out) {
        std::u16string_view text;
        if (!Quoted(text)) {
            return false;
        }
        out.assign(text);
        return true;
    }
    // After "(": quoted texts separated by ",", then ")".
    bool QuotedList(std::vector<std::u16string>& out) {
        if (Eat(u')')) {
            return true;
        }
        out.reserve(2);
        for (;;) {
            std::u16string text;
            if (!Quoted(text)) {
                return false;
            }
            out.push_back(std::move(text));
            if (Eat(u',')) {
                continue;
            }
            return Eat(u')');
        }
    }
    // "PlaySpeech(...);"
    bool PlaySpeech(std::vector<std::u16string>& out) {
        return Keyword(u"PlaySpeech") && Eat(u'(') && QuotedList(out) && Eat(u';');
    }

    bool Frame(CChatFrame& f, int indent) {
        if (!Keyword(u"frame")) {
            return false;
        }
        f.questions.reserve(2);
        do {
            std::u16string_view pattern;
            if (!Eat(u'(') || !Quoted(pattern) || !Eat(u')')) {
                return false;
            }
            CQuestion q;
            // As when the editor stores a typed question: what was read stands.
            ParsePattern(pattern, q);
            f.questions.push_back(std::move(q));
        } while (Keyword(u"frame"));

        if (Keyword(u"pronoun")) {
            f.kind = FrameKind::kPronoun;
            return Eat(u';');
        }
        if (!Eat(u'{')) {
            return false;
        }
        const std::size_t bodyStart = i_;
        if (AnswerBlock(f, indent)) {
            f.kind = FrameKind::kAnswer;
            return true;
        }
        f.answers.clear();
        f.nested.reset();
        f.kind = FrameKind::kScript;
        std::size_t close = 0;
        if (!MatchingBrace(bodyStart, close)) {
            return false;
        }
        i_ = close + 1;
        ScriptBody(f, bodyStart, close, indent);
        return true;
    }

    bool AnswerBlock(CChatFrame& f, int indent) {
        if (!PlaySpeech(f.answers)) {
            return false;
        }
        if (Keyword(u"frameset")) {
            auto nested = std::make_unique<CChatFrameset>();
            if (!Frameset(*nested, indent + 2)) {
                return false;
            }
            f.nested = std::move(nested);
        }
        return Eat(u'}');
    }

    // From just after "{" to its "}", braces in quoted strings not counted.
    bool MatchingBrace(std::size_t from, std::size_t& close) const {
        int depth = 1;
        for (std::size_t j = from; j < t_.size(); ++j) {
            const char16_t c = t_[j];
            if (IsQuote(c)) {
                const std::size_t end = t_.find(c, j + 1);
                if (end == std::u16string_view::npos) {
                    return false;
                }
                j = end;
            } else if (c == u'{') {
                ++depth;
            } else if (c == u'}') {
                if (--depth == 0) {
                    close = j;
                    return true;
                }
            }
        }
        return false;
    }

    // The generator writes a script frame as "{" body [nested frameset] and the
    // closing brace at the frame's indentation. Taking that indentation and the
    // nested frameset back out keeps read-write-read from growing the body.
    void ScriptBody(CChatFrame& f, std::size_t start, std::size_t close, int indent) {
        std::u16string_view body = o_.substr(start, close - start);
        std::u16string closing(static_cast<std::size_t>(indent) + 1, u'\t');
        if (body.size() >= closing.size() && body.substr(body.size() - closing.size()) == closing) {
            body.remove_suffix(closing.size());
        }
        // Looked for without building the head text: most bodies hold none.
        const std::size_t tabs = static_cast<std::size_t>(indent) + 2;
        constexpr std::u16string_view kWord = u"frameset";
        const std::size_t headSize = tabs + kWord.size();
        // The first head at `from` or after: its word lies `tabs` further on.
        // (Searching from the body's start for any `from` below `tabs` found
        // the same head again and again when one was skipped.)
        auto headAt = [&](std::size_t from) {
            for (std::size_t w = body.find(kWord, from + tabs); w != std::u16string_view::npos;
                 w = body.find(kWord, w + 1)) {
                std::size_t k = 0;
                while (k < tabs && body[w - 1 - k] == u'\t') {
                    ++k;
                }
                if (k == tabs) {
                    return w - tabs;
                }
            }
            return std::u16string_view::npos;
        };
        int attempts = 0;
        for (std::size_t at = headAt(0);
             at != std::u16string_view::npos && attempts < kNestedAttempts; at = headAt(at + 1)) {
            if (at > 0 && body[at - 1] == u'\t') {
                continue;  // deeper than a nested frameset of this frame
            }
            ++attempts;
            Reader sub(o_, t_, start + at + headSize);
            auto nested = std::make_unique<CChatFrameset>();
            if (!sub.Frameset(*nested, indent + 2) || sub.Position() > start + body.size()) {
                continue;
            }
            // Only when writing it again gives the very same text.
            std::u16string again;
            GenerateFrameset(*nested, indent + 2, again);
            if (again != body.substr(at)) {
                continue;
            }
            f.script.assign(body.substr(0, at));
            f.nested = std::move(nested);
            return;
        }
        f.script.assign(body);
    }

    bool Dialogs(CChatScript& s) {
        if (!Eat(u'(') || Word().empty() || !Eat(u')') || !Eat(u'{')) {
            return false;
        }
        if (Eat(u'}')) {
            return true;
        }
        for (;;) {
            CChatDialog d;
            if (!Keyword(u"if") || !Eat(u'(') || Word().empty() || !Eat(u'=') || !Eat(u'=') ||
                Word().empty() || !Eat(u')') || !Eat(u'{')) {
                return false;
            }
            std::vector<std::u16string> texts;
            if (!PlaySpeech(texts)) {
                return false;
            }
            for (auto& t : texts) {
                d.phrases.push_back({std::move(t), false});
            }
            if (Keyword(u"if")) {
                if (!Eat(u'(') || !Eat(u'!') || !Keyword(u"Wait") || !Eat(u'(')) {
                    return false;
                }
                const std::u16string_view wait = Word();
                if (wait.empty() || !Eat(u')') || !Eat(u')') || !Keyword(u"return") || !Eat(u';')) {
                    return false;
                }
                d.waitTime = ToInt(wait);
                texts.clear();
                if (!PlaySpeech(texts)) {
                    return false;
                }
                for (auto& t : texts) {
                    d.phrases.push_back({std::move(t), true});
                }
            }
            if (!Eat(u'}')) {
                return false;
            }
            s.dialogues.push_back(std::move(d));
            if (Keyword(u"else")) {
                continue;
            }
            return Eat(u'}');
        }
    }

    bool Prompts(CChatScript& s) {
        if (!Eat(u'(') || !Eat(u')') || !Eat(u'{')) {
            return false;
        }
        if (Eat(u'}')) {
            return true;
        }
        return PlaySpeech(s.prompts) && Eat(u'}');
    }

    std::u16string_view o_;
    std::u16string_view t_;
    std::size_t i_ = 0;
};

}  // namespace

namespace {

// Blanks the comments of `text` into `out`. Returns false, leaving `out`
// alone, when there are none: most scripts have none, and the reader then
// reads the text itself rather than a copy.
bool BlankComments(std::u16string_view text, std::u16string& out) {
    const std::size_t n = text.size();
    bool copied = false;
    std::size_t i = 0;
    while (i < n) {
        const char16_t c = text[i];
        if (IsQuote(c)) {
            const std::size_t end = text.find(c, i + 1);
            i = end == std::u16string_view::npos ? n : end + 1;
            continue;
        }
        if (c != u'/' || i + 1 >= n || (text[i + 1] != u'/' && text[i + 1] != u'*')) {
            ++i;
            continue;
        }
        if (!copied) {
            out.assign(text);
            copied = true;
        }
        if (text[i + 1] == u'/') {
            while (i < n && text[i] != u'\n' && text[i] != u'\r') {
                out[i++] = u' ';
            }
        } else {
            const std::size_t close = text.find(u"*/", i + 2);
            const std::size_t end = close == std::u16string_view::npos ? n : close + 2;
            for (; i < end; ++i) {
                if (text[i] != u'\r' && text[i] != u'\n') {
                    out[i] = u' ';
                }
            }
        }
    }
    return copied;
}

}  // namespace

std::u16string StripComments(std::u16string_view text) {
    std::u16string out;
    if (!BlankComments(text, out)) {
        out.assign(text);
    }
    return out;
}

bool ReadScript(std::u16string_view text, CChatScript& out) {
    std::u16string blanked;
    const std::u16string_view stripped = BlankComments(text, blanked) ? blanked : text;
    CChatScript script;
    Reader reader(text, stripped);
    if (!reader.Script(script)) {
        return false;
    }
    out = std::move(script);
    return true;
}

}  // namespace velcora
