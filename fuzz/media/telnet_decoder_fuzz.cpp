// The telnet decoder on any byte stream in any chunking: the first input byte
// picks the chunk size, and the text and answers must not depend on it. The
// text is then trimmed as the console window keeps it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "media/telnet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora::media;
    if (size == 0)
        return 0;
    const size_t chunk = static_cast<size_t>(data[0]) + 1;
    ++data;
    --size;
    CTelnetDecoder whole;
    std::u16string wholeText;
    std::string wholeReplies;
    whole.Feed(data, size, wholeText, wholeReplies);
    CTelnetDecoder pieces;
    std::u16string text;
    std::string replies;
    for (size_t at = 0; at < size; at += chunk)
        pieces.Feed(data + at, std::min(chunk, size - at), text, replies);
    if (text != wholeText || replies != wholeReplies)
        __builtin_trap();
    // No control bytes but breaks and tabs reach the window.
    for (char16_t c : text) {
        if (c < 0x20 && c != u'\n' && c != u'\t')
            __builtin_trap();
    }
    // Grown past the window's limit, the trim keeps at most its limit.
    std::u16string big = text;
    while (!big.empty() && big.size() <= kTelnetTextKeep)
        big += big;
    const size_t dropped = TelnetTrimCount(big);
    if (dropped > big.size() || big.size() - dropped > kTelnetTextKeep)
        __builtin_trap();
    return 0;
}
