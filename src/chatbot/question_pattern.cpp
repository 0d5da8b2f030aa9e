#include "chatbot/question_pattern.h"

namespace velcora {

namespace {

// Longest word, name or label one element takes; the rest of a longer run
// starts the next element.
constexpr std::size_t kMaxWord = 255;

bool IsSeparator(char16_t c) {
    return c == u'&' || c == u'|' || c == u'<' || c == u'[' || c == u']';
}

bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i];
        char16_t y = b[i];
        if (x >= u'a' && x <= u'z') {
            x = static_cast<char16_t>(x - u'a' + u'A');
        }
        if (y >= u'a' && y <= u'z') {
            y = static_cast<char16_t>(y - u'a' + u'A');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

class Cursor {
  public:
    explicit Cursor(std::u16string_view text) : t_(text) {}
    bool End() const { return i_ >= t_.size(); }
    char16_t Peek() const { return t_[i_]; }
    void Next() { ++i_; }
    void SkipSpace() {
        while (!End() && IsScriptSpace(t_[i_])) {
            ++i_;
        }
    }
    // Up to kMaxWord word characters; a name also stops at ':'.
    std::u16string_view Word(bool stopAtColon = false) {
        const std::size_t start = i_;
        while (!End() && i_ - start < kMaxWord && IsWordChar(t_[i_]) &&
               !(stopAtColon && t_[i_] == u':')) {
            ++i_;
        }
        return t_.substr(start, i_ - start);
    }

  private:
    std::u16string_view t_;
    std::size_t i_ = 0;
};

// "<name>", "<name:label>", "<name:number>", "<name:digits>"; the cursor is on "<".
bool ParseReference(Cursor& c, CQuestion& out) {
    c.Next();
    // Stray characters before the name are passed over, but not the closing
    // bracket: "<>" is an empty reference, not the start of a longer one.
    while (!c.End() && !IsWordChar(c.Peek()) && c.Peek() != u'>') {
        c.Next();
    }
    CPatternElement e;
    e.kind = PatternKind::kFramesetRef;
    e.name.assign(c.Word(true));
    out.push_back(std::move(e));
    CPatternElement& added = out.back();
    c.SkipSpace();
    if (!c.End() && c.Peek() == u':') {
        c.Next();
        c.SkipSpace();
        const std::u16string_view type = c.Word();
        if (EqualsAsciiNoCase(type, u"NUMBER")) {
            added.kind = PatternKind::kNumber;
        } else if (EqualsAsciiNoCase(type, u"DIGITS")) {
            added.kind = PatternKind::kDigits;
        } else {
            added.label.assign(type);
        }
        c.SkipSpace();
    }
    if (c.End() || c.Peek() != u'>') {
        return false;
    }
    c.Next();
    return true;
}

// "[word word ...]": each word its own optional element. An unclosed bracket
// simply ends the pattern.
bool ParseOptional(Cursor& c, CQuestion& out) {
    c.Next();
    while (!c.End()) {
        const char16_t ch = c.Peek();
        if (ch == u']') {
            c.Next();
            return true;
        }
        if (ch == u'&' || ch == u'[' || ch == u'|') {
            return false;
        }
        if (IsWordChar(ch)) {
            CPatternElement e;
            e.kind = PatternKind::kOptional;
            e.name.assign(c.Word());
            out.push_back(std::move(e));
        } else {
            c.Next();
        }
    }
    return true;
}

// A word with synonyms; the cursor is on a word character.
void ParseSynonyms(Cursor& c, CQuestion& out) {
    out.emplace_back();
    CPatternElement& e = out.back();
    // Each alternative is put together where it is kept: no copy to free.
    e.alternatives.reserve(2);
    e.alternatives.emplace_back(c.Word());
    for (;;) {
        while (!c.End() && !IsWordChar(c.Peek()) && !IsSeparator(c.Peek())) {
            c.Next();
        }
        if (c.End()) {
            break;
        }
        const char16_t ch = c.Peek();
        if (ch == u'&') {
            c.Next();
            c.SkipSpace();
            // A dangling "&" joins nothing: a trailing space in a phrase would
            // print as "&" and swallow the next element when read again.
            const std::u16string_view word = c.Word();
            if (!word.empty()) {
                std::u16string& phrase = e.alternatives.back();
                phrase += u' ';
                phrase += word;
            }
            continue;
        }
        if (ch == u'|') {
            c.Next();
            while (!c.End() && !IsWordChar(c.Peek())) {
                c.Next();
            }
            const std::u16string_view word = c.Word();
            if (!word.empty()) {
                e.alternatives.emplace_back(word);
            }
            continue;
        }
        break;
    }
}

}  // namespace

bool ParsePattern(std::u16string_view text, CQuestion& out) {
    out.clear();
    // Most questions have a few elements; growing one by one costs more.
    out.reserve(4);
    Cursor c(text);
    for (;;) {
        c.SkipSpace();
        if (c.End()) {
            return true;
        }
        const char16_t ch = c.Peek();
        if (ch == u'&' || ch == u'>' || ch == u']' || ch == u'|') {
            return false;
        }
        if (ch == u'<') {
            if (!ParseReference(c, out)) {
                return false;
            }
        } else if (ch == u'[') {
            if (!ParseOptional(c, out)) {
                return false;
            }
        } else if (IsWordChar(ch)) {
            ParseSynonyms(c, out);
        } else {
            // Punctuation between elements carries no meaning.
            c.Next();
        }
    }
}

std::u16string PrintPattern(const CQuestion& question) {
    std::u16string out;
    for (std::size_t i = 0; i < question.size(); ++i) {
        const CPatternElement& e = question[i];
        if (i > 0) {
            out += u' ';
        }
        switch (e.kind) {
            case PatternKind::kSynonyms:
                for (std::size_t a = 0; a < e.alternatives.size(); ++a) {
                    if (a > 0) {
                        out += u" | ";
                    }
                    for (char16_t ch : e.alternatives[a]) {
                        out += ch == u' ' ? u'&' : ch;
                    }
                }
                break;
            case PatternKind::kOptional:
                out += u'[';
                out += e.name;
                out += u']';
                break;
            case PatternKind::kFramesetRef:
                out += u'<';
                out += e.name;
                if (!e.label.empty()) {
                    out += u':';
                    out += e.label;
                }
                out += u'>';
                break;
            case PatternKind::kNumber:
                out += u'<';
                out += e.name;
                out += u":number>";
                break;
            case PatternKind::kDigits:
                out += u'<';
                out += e.name;
                out += u":digits>";
                break;
        }
    }
    return out;
}

}  // namespace velcora
