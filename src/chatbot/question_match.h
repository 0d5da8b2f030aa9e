// Which questions of a script a spoken text would match: the operator types a
// question and sees every pattern that covers it, so that a script can be
// checked without the robot.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "chatbot/chat_script.h"

namespace velcora {

// References are followed this many levels deep; a deeper one matches nothing,
// which also ends a frameset that refers to itself.
inline constexpr int kMaxReferenceDepth = 8;

struct QuestionMatch {
    // The frameset: the top-level index, then for each nesting level the index
    // of the frame whose nested frameset it is.
    std::vector<int32_t> frameset;
    int32_t frame = 0;
    int32_t question = 0;
    std::u16string framesetName;
    std::u16string questionText;  // the printed pattern

    bool operator==(const QuestionMatch&) const = default;
};

// Every question whose pattern covers the whole of `text`, word by word:
// top-level framesets first, then each nesting level in turn, in document
// order within a level. Words are compared without regard to letter case.
//   synonyms    one of the alternatives (each one or more words)
//   optional    the word, or nothing
//   reference   a run of words that some question of the named frameset covers
//   number      one word of digits
//   digits      one or more words of digits
std::vector<QuestionMatch> MatchQuestion(const CChatScript& script, std::u16string_view text);

// "frameset › фрейм N › question" (N counted from 1).
std::u16string DescribeMatch(const QuestionMatch& match);

// Lower case for Latin and Cyrillic letters; everything else as it is.
inline char16_t FoldCase(char16_t c) {
    if (c >= u'A' && c <= u'Z') {
        return static_cast<char16_t>(c + 0x20);
    }
    if (c >= 0x0410 && c <= 0x042F) {
        return static_cast<char16_t>(c + 0x20);
    }
    if (c >= 0x0400 && c <= 0x040F) {
        return static_cast<char16_t>(c + 0x50);
    }
    return c;
}

}  // namespace velcora
