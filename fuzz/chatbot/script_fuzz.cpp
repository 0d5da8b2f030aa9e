// The script reader over arbitrary file bytes (decoded as a download is). A
// script that reads must write out as text that reads again into the same
// text: the generator's output is always accepted and stable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "chatbot/script_generator.h"
#include "chatbot/script_reader.h"
#include "chatbot/script_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    CChatScript first;
    if (!LoadScriptBytes(std::string_view(reinterpret_cast<const char*>(data), size), first)) {
        return 0;
    }
    const std::u16string text1 = GenerateScript(first);
    CChatScript second;
    if (!ReadScript(text1, second)) {
        std::abort();
    }
    if (GenerateScript(second) != text1) {
        std::abort();
    }
    return 0;
}
