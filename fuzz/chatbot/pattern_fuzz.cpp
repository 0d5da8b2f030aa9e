// The question-pattern parser over arbitrary UTF-16 text: what it prints must
// read back to the same print.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "chatbot/question_pattern.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    CQuestion first;
    ParsePattern(text, first);
    const std::u16string printed = PrintPattern(first);
    CQuestion second;
    ParsePattern(printed, second);
    if (PrintPattern(second) != printed) {
        std::abort();
    }
    return 0;
}
