#include "link/text_codec.h"

#include <iconv.h>

#include <array>
#include <cstdint>
#include <unordered_map>

namespace velcora {

namespace {

// One byte of a single-byte code page to its UTF-16 unit, through iconv. The
// tables are built once; a byte iconv cannot map keeps U+FFFD.
std::array<char16_t, 256> BuildTable(const char* codePage) {
    std::array<char16_t, 256> table{};
    for (int i = 0; i < 128; ++i) {
        table[i] = static_cast<char16_t>(i);
    }
    for (int i = 128; i < 256; ++i) {
        table[i] = u'\uFFFD';
    }
    iconv_t cd = iconv_open("UTF-16LE", codePage);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return table;
    }
    for (int i = 128; i < 256; ++i) {
        char in = static_cast<char>(i);
        unsigned char out[4] = {};
        char* inPtr = &in;
        char* outPtr = reinterpret_cast<char*>(out);
        size_t inLeft = 1;
        size_t outLeft = sizeof(out);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
            outLeft == 2) {
            table[i] = static_cast<char16_t>(out[0] | (out[1] << 8));
        }
    }
    iconv_close(cd);
    return table;
}

struct CodePage {
    std::array<char16_t, 256> toWide;
    std::unordered_map<char16_t, char> fromWide;

    explicit CodePage(const char* name) : toWide(BuildTable(name)) {
        for (int i = 255; i >= 0; --i) {
            if (toWide[i] != u'\uFFFD') {
                fromWide[toWide[i]] = static_cast<char>(i);
            }
        }
    }
};

const CodePage& Cp1251() {
    static const CodePage cp("CP1251");
    return cp;
}

const CodePage& Koi8r() {
    static const CodePage cp("KOI8-R");
    return cp;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, uint32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

// Decodes UTF-8 leniently: a malformed or truncated sequence yields U+FFFD for
// its first byte and decoding resumes at the next byte.
std::u16string DecodeUtf8(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const uint8_t b = static_cast<uint8_t>(bytes[i]);
        int extra = 0;
        uint32_t cp = 0;
        uint32_t min = 0;
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1, cp = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, cp = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, cp = b & 0x07, min = 0x10000;
        } else {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (i + static_cast<std::size_t>(extra) >= n) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            const uint8_t c = static_cast<uint8_t>(bytes[i + k]);
            if ((c & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok || cp < min || cp > 0x10FFFF) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        AppendUtf16(out, cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

}  // namespace

std::u16string_view StripBom(std::u16string_view wide) {
    if (!wide.empty() && wide.front() == u'\uFEFF') {
        wide.remove_prefix(1);
    }
    return wide;
}

std::u16string AnsiToWide(std::string_view ansi) {
    const auto& table = Cp1251().toWide;
    std::u16string out;
    out.reserve(ansi.size());
    for (char c : ansi) {
        out += table[static_cast<uint8_t>(c)];
    }
    return out;
}

std::string WideToAnsi(std::u16string_view wide) {
    wide = StripBom(wide);
    const auto& map = Cp1251().fromWide;
    std::string out;
    out.reserve(wide.size());
    for (char16_t u : wide) {
        if (u < 0x80) {
            out += static_cast<char>(u);
            continue;
        }
        auto it = map.find(u);
        out += it != map.end() ? it->second : '?';
    }
    return out;
}

std::string WideToUtf8Units(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size() * 2);
    for (char16_t u : wide) {
        AppendUtf8(out, u);
    }
    return out;
}

std::u16string Utf8UnitsToWide(std::string_view bytes) {
    return DecodeUtf8(bytes);
}

std::string WideToUtf8(std::u16string_view wide) {
    std::string out;
    out.reserve(wide.size() * 2);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        uint32_t u = wide[i];
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] < 0xE000) {
            u = 0x10000 + ((u - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            u = 0xFFFD;  // a lone surrogate has no place in standard UTF-8
        }
        AppendUtf8(out, u);
    }
    return out;
}

std::u16string Utf8ToWide(std::string_view utf8) {
    return DecodeUtf8(utf8);
}

std::string Utf8ToAnsi(std::string_view utf8) {
    return WideToAnsi(Utf8ToWide(utf8));
}

std::string AnsiToUtf8(std::string_view ansi) {
    return WideToUtf8(AnsiToWide(ansi));
}

std::string Koi8rToAnsi(std::string_view koi8r) {
    const auto& toWide = Koi8r().toWide;
    const auto& toAnsi = Cp1251().fromWide;
    std::string out;
    out.reserve(koi8r.size());
    for (char c : koi8r) {
        const uint8_t b = static_cast<uint8_t>(c);
        if (b < 0x80) {
            out += c;
            continue;
        }
        auto it = toAnsi.find(toWide[b]);
        out += it != toAnsi.end() ? it->second : '?';
    }
    return out;
}

const char16_t* Koi8rTable() {
    return Koi8r().toWide.data();
}

std::string WideToKoi8r(std::u16string_view wide) {
    const auto& fromWide = Koi8r().fromWide;
    std::string out;
    out.reserve(wide.size());
    for (char16_t c : wide) {
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        auto it = fromWide.find(c);
        out += it != fromWide.end() ? it->second : '?';
    }
    return out;
}

namespace {

// Latin and Cyrillic capitals to their small letters; nothing else changes.
char16_t Fold(char16_t c) {
    if (c >= u'A' && c <= u'Z') {
        return static_cast<char16_t>(c + 0x20);
    }
    if (c >= 0x0410 && c <= 0x042F) {  // А..Я
        return static_cast<char16_t>(c + 0x20);
    }
    if (c >= 0x0400 && c <= 0x040F) {  // Ѐ..Џ, Ё among them
        return static_cast<char16_t>(c + 0x50);
    }
    return c;
}

}  // namespace

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = Fold(a[i]), y = Fold(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace velcora
