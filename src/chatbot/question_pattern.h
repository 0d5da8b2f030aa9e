// Question patterns: what the robot listens for in one question of a frame.
// A pattern is a list of elements; each element matches one stretch of the
// spoken question (a word with synonyms, an optional word, a reference to
// another frameset, a spoken number or a run of digits).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velcora {

// The numbers are what the editor's word panel lists, in its order.
enum class PatternKind : int32_t {
    kSynonyms = 0,     // one of several phrases
    kOptional = 1,     // a word that may be absent
    kFramesetRef = 2,  // a reference to a frameset, optionally labelled
    kNumber = 3,       // a spoken number, named
    kDigits = 4,       // a sequence of digits, named
};

struct CPatternElement {
    PatternKind kind = PatternKind::kSynonyms;
    // kSynonyms: the alternatives; each is one or more words joined by single spaces.
    std::vector<std::u16string> alternatives;
    // kOptional: the word; kFramesetRef: the frameset; kNumber, kDigits: the name.
    std::u16string name;
    // kFramesetRef only; empty when absent.
    std::u16string label;

    bool operator==(const CPatternElement&) const = default;
};

using CQuestion = std::vector<CPatternElement>;

// Letters (every character above 0x7F included), digits and ' * + - / : _ are
// word characters; the rest of ASCII is not. Inline: the reader asks this of
// every character of a script.
inline bool IsWordChar(char16_t c) {
    if (c >= 0x80) {
        return true;
    }
    if (c <= 0x26 || c == u'(' || c == u')' || c == u',' || c == u'.') {
        return false;
    }
    if ((c >= 0x3B && c <= 0x40) || (c >= 0x7B && c <= 0x7F)) {
        return false;
    }
    if (c >= 0x5B && c <= 0x60) {
        return c == u'_';
    }
    return true;
}
// Space, tab, CR and LF.
inline bool IsScriptSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Replaces `out` with the elements of `text`. On failure `out` keeps the
// elements read before the error (the editor stores a typed question that way).
bool ParsePattern(std::u16string_view text, CQuestion& out);

// Elements separated by one space; the type words in lower case.
std::u16string PrintPattern(const CQuestion& question);

}  // namespace velcora
