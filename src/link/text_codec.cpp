#include "link/text_codec.h"

#include <array>
#include <cstdint>
#include <unordered_map>

namespace velcora {

namespace {

// The upper halves of the two Cyrillic code pages the robot's texts come in,
// as the standard defines them (0x98 is unassigned in Windows-1251). They are
// fixed, so they are kept here rather than asked of the system's converters:
// those load their modules on first use, which waited on the dynamic loader
// while another thread loaded libraries, and they may be missing altogether
// on a trimmed system, which would have turned every Cyrillic letter into a
// replacement character.
constexpr char16_t kCp1251High[128] = {
    u'\u0402', u'\u0403', u'\u201A', u'\u0453', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u20AC', u'\u2030', u'\u0409', u'\u2039', u'\u040A', u'\u040C', u'\u040B', u'\u040F',
    u'\u0452', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\uFFFD', u'\u2122', u'\u0459', u'\u203A', u'\u045A', u'\u045C', u'\u045B', u'\u045F',
    u'\u00A0', u'\u040E', u'\u045E', u'\u0408', u'\u00A4', u'\u0490', u'\u00A6', u'\u00A7',
    u'\u0401', u'\u00A9', u'\u0404', u'\u00AB', u'\u00AC', u'\u00AD', u'\u00AE', u'\u0407',
    u'\u00B0', u'\u00B1', u'\u0406', u'\u0456', u'\u0491', u'\u00B5', u'\u00B6', u'\u00B7',
    u'\u0451', u'\u2116', u'\u0454', u'\u00BB', u'\u0458', u'\u0405', u'\u0455', u'\u0457',
    u'\u0410', u'\u0411', u'\u0412', u'\u0413', u'\u0414', u'\u0415', u'\u0416', u'\u0417',
    u'\u0418', u'\u0419', u'\u041A', u'\u041B', u'\u041C', u'\u041D', u'\u041E', u'\u041F',
    u'\u0420', u'\u0421', u'\u0422', u'\u0423', u'\u0424', u'\u0425', u'\u0426', u'\u0427',
    u'\u0428', u'\u0429', u'\u042A', u'\u042B', u'\u042C', u'\u042D', u'\u042E', u'\u042F',
    u'\u0430', u'\u0431', u'\u0432', u'\u0433', u'\u0434', u'\u0435', u'\u0436', u'\u0437',
    u'\u0438', u'\u0439', u'\u043A', u'\u043B', u'\u043C', u'\u043D', u'\u043E', u'\u043F',
    u'\u0440', u'\u0441', u'\u0442', u'\u0443', u'\u0444', u'\u0445', u'\u0446', u'\u0447',
    u'\u0448', u'\u0449', u'\u044A', u'\u044B', u'\u044C', u'\u044D', u'\u044E', u'\u044F',
};

constexpr char16_t kKoi8rHigh[128] = {
    u'\u2500', u'\u2502', u'\u250C', u'\u2510', u'\u2514', u'\u2518', u'\u251C', u'\u2524',
    u'\u252C', u'\u2534', u'\u253C', u'\u2580', u'\u2584', u'\u2588', u'\u258C', u'\u2590',
    u'\u2591', u'\u2592', u'\u2593', u'\u2320', u'\u25A0', u'\u2219', u'\u221A', u'\u2248',
    u'\u2264', u'\u2265', u'\u00A0', u'\u2321', u'\u00B0', u'\u00B2', u'\u00B7', u'\u00F7',
    u'\u2550', u'\u2551', u'\u2552', u'\u0451', u'\u2553', u'\u2554', u'\u2555', u'\u2556',
    u'\u2557', u'\u2558', u'\u2559', u'\u255A', u'\u255B', u'\u255C', u'\u255D', u'\u255E',
    u'\u255F', u'\u2560', u'\u2561', u'\u0401', u'\u2562', u'\u2563', u'\u2564', u'\u2565',
    u'\u2566', u'\u2567', u'\u2568', u'\u2569', u'\u256A', u'\u256B', u'\u256C', u'\u00A9',
    u'\u044E', u'\u0430', u'\u0431', u'\u0446', u'\u0434', u'\u0435', u'\u0444', u'\u0433',
    u'\u0445', u'\u0438', u'\u0439', u'\u043A', u'\u043B', u'\u043C', u'\u043D', u'\u043E',
    u'\u043F', u'\u044F', u'\u0440', u'\u0441', u'\u0442', u'\u0443', u'\u0436', u'\u0432',
    u'\u044C', u'\u044B', u'\u0437', u'\u0448', u'\u044D', u'\u0449', u'\u0447', u'\u044A',
    u'\u042E', u'\u0410', u'\u0411', u'\u0426', u'\u0414', u'\u0415', u'\u0424', u'\u0413',
    u'\u0425', u'\u0418', u'\u0419', u'\u041A', u'\u041B', u'\u041C', u'\u041D', u'\u041E',
    u'\u041F', u'\u042F', u'\u0420', u'\u0421', u'\u0422', u'\u0423', u'\u0416', u'\u0412',
    u'\u042C', u'\u042B', u'\u0417', u'\u0428', u'\u042D', u'\u0429', u'\u0427', u'\u042A',
};

struct CodePage {
    std::array<char16_t, 256> toWide;
    std::unordered_map<char16_t, char> fromWide;

    explicit CodePage(const char16_t (&high)[128]) {
        for (int i = 0; i < 128; ++i) {
            toWide[i] = static_cast<char16_t>(i);
            toWide[128 + i] = high[i];
        }
        for (int i = 255; i >= 0; --i) {
            if (toWide[i] != u'\uFFFD') {
                fromWide[toWide[i]] = static_cast<char>(i);
            }
        }
    }
};

const CodePage& Cp1251() {
    static const CodePage cp(kCp1251High);
    return cp;
}

const CodePage& Koi8r() {
    static const CodePage cp(kKoi8rHigh);
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
