#include "media/desktop_keys.h"

#include <array>
#include <cctype>

namespace velcora::media {

namespace {

// The toolkit's codes for keys without a character (stable values of its
// key enumeration).
constexpr int kQtEscape = 0x01000000;
constexpr int kQtTab = 0x01000001;
constexpr int kQtBacktab = 0x01000002;
constexpr int kQtBackspace = 0x01000003;
constexpr int kQtReturn = 0x01000004;
constexpr int kQtEnter = 0x01000005;
constexpr int kQtInsert = 0x01000006;
constexpr int kQtDelete = 0x01000007;
constexpr int kQtPause = 0x01000008;
constexpr int kQtPrint = 0x01000009;
constexpr int kQtHome = 0x01000010;
constexpr int kQtEnd = 0x01000011;
constexpr int kQtLeft = 0x01000012;
constexpr int kQtUp = 0x01000013;
constexpr int kQtRight = 0x01000014;
constexpr int kQtDown = 0x01000015;
constexpr int kQtPageUp = 0x01000016;
constexpr int kQtPageDown = 0x01000017;
constexpr int kQtShift = 0x01000020;
constexpr int kQtControl = 0x01000021;
constexpr int kQtMeta = 0x01000022;
constexpr int kQtAlt = 0x01000023;
constexpr int kQtCapsLock = 0x01000024;
constexpr int kQtNumLock = 0x01000025;
constexpr int kQtScrollLock = 0x01000026;
constexpr int kQtF1 = 0x01000030;
constexpr int kQtMenu = 0x01000055;
constexpr int kQtAltGr = 0x01001103;

struct Entry {
    uint8_t vk;
    uint8_t scan;
    int toolkit;       // 0: none besides the character
    char plain;        // the character on a US layout, 0 for none
    char shifted;      // with Shift
    const char* name;  // for the command line; null: the character is its name
    const char* alias;
};

// clang-format off
constexpr Entry kEntries[] = {
    {0x08, 0x0E, kQtBackspace, 0, 0, "backspace", "bksp"},
    {0x09, 0x0F, kQtTab, '\t', 0, "tab", nullptr},
    {0x0D, 0x1C, kQtReturn, '\n', 0, "enter", "return"},
    {0x10, 0x2A, kQtShift, 0, 0, "shift", nullptr},
    {0x11, 0x1D, kQtControl, 0, 0, "ctrl", "control"},
    {0x12, 0x38, kQtAlt, 0, 0, "alt", nullptr},
    {0x13, 0x45, kQtPause, 0, 0, "pause", nullptr},
    {0x14, 0x3A, kQtCapsLock, 0, 0, "capslock", nullptr},
    {0x1B, 0x01, kQtEscape, 0, 0, "esc", "escape"},
    {0x20, 0x39, 0, ' ', 0, "space", nullptr},
    {0x21, 0x49, kQtPageUp, 0, 0, "pgup", "pageup"},
    {0x22, 0x51, kQtPageDown, 0, 0, "pgdn", "pagedown"},
    {0x23, 0x4F, kQtEnd, 0, 0, "end", nullptr},
    {0x24, 0x47, kQtHome, 0, 0, "home", nullptr},
    {0x25, 0x4B, kQtLeft, 0, 0, "left", nullptr},
    {0x26, 0x48, kQtUp, 0, 0, "up", nullptr},
    {0x27, 0x4D, kQtRight, 0, 0, "right", nullptr},
    {0x28, 0x50, kQtDown, 0, 0, "down", nullptr},
    {0x2C, 0x37, kQtPrint, 0, 0, "printscreen", "print"},
    {0x2D, 0x52, kQtInsert, 0, 0, "insert", "ins"},
    {0x2E, 0x53, kQtDelete, 0, 0, "delete", "del"},
    {0x30, 0x0B, 0, '0', ')', nullptr, nullptr},
    {0x31, 0x02, 0, '1', '!', nullptr, nullptr},
    {0x32, 0x03, 0, '2', '@', nullptr, nullptr},
    {0x33, 0x04, 0, '3', '#', nullptr, nullptr},
    {0x34, 0x05, 0, '4', '$', nullptr, nullptr},
    {0x35, 0x06, 0, '5', '%', nullptr, nullptr},
    {0x36, 0x07, 0, '6', '^', nullptr, nullptr},
    {0x37, 0x08, 0, '7', '&', nullptr, nullptr},
    {0x38, 0x09, 0, '8', '*', nullptr, nullptr},
    {0x39, 0x0A, 0, '9', '(', nullptr, nullptr},
    {0x41, 0x1E, 0, 'a', 'A', nullptr, nullptr},
    {0x42, 0x30, 0, 'b', 'B', nullptr, nullptr},
    {0x43, 0x2E, 0, 'c', 'C', nullptr, nullptr},
    {0x44, 0x20, 0, 'd', 'D', nullptr, nullptr},
    {0x45, 0x12, 0, 'e', 'E', nullptr, nullptr},
    {0x46, 0x21, 0, 'f', 'F', nullptr, nullptr},
    {0x47, 0x22, 0, 'g', 'G', nullptr, nullptr},
    {0x48, 0x23, 0, 'h', 'H', nullptr, nullptr},
    {0x49, 0x17, 0, 'i', 'I', nullptr, nullptr},
    {0x4A, 0x24, 0, 'j', 'J', nullptr, nullptr},
    {0x4B, 0x25, 0, 'k', 'K', nullptr, nullptr},
    {0x4C, 0x26, 0, 'l', 'L', nullptr, nullptr},
    {0x4D, 0x32, 0, 'm', 'M', nullptr, nullptr},
    {0x4E, 0x31, 0, 'n', 'N', nullptr, nullptr},
    {0x4F, 0x18, 0, 'o', 'O', nullptr, nullptr},
    {0x50, 0x19, 0, 'p', 'P', nullptr, nullptr},
    {0x51, 0x10, 0, 'q', 'Q', nullptr, nullptr},
    {0x52, 0x13, 0, 'r', 'R', nullptr, nullptr},
    {0x53, 0x1F, 0, 's', 'S', nullptr, nullptr},
    {0x54, 0x14, 0, 't', 'T', nullptr, nullptr},
    {0x55, 0x16, 0, 'u', 'U', nullptr, nullptr},
    {0x56, 0x2F, 0, 'v', 'V', nullptr, nullptr},
    {0x57, 0x11, 0, 'w', 'W', nullptr, nullptr},
    {0x58, 0x2D, 0, 'x', 'X', nullptr, nullptr},
    {0x59, 0x15, 0, 'y', 'Y', nullptr, nullptr},
    {0x5A, 0x2C, 0, 'z', 'Z', nullptr, nullptr},
    {0x5B, 0x5B, kQtMeta, 0, 0, "win", "meta"},
    {0x5D, 0x5D, kQtMenu, 0, 0, "menu", "apps"},
    {0x70, 0x3B, kQtF1 + 0, 0, 0, "f1", nullptr},
    {0x71, 0x3C, kQtF1 + 1, 0, 0, "f2", nullptr},
    {0x72, 0x3D, kQtF1 + 2, 0, 0, "f3", nullptr},
    {0x73, 0x3E, kQtF1 + 3, 0, 0, "f4", nullptr},
    {0x74, 0x3F, kQtF1 + 4, 0, 0, "f5", nullptr},
    {0x75, 0x40, kQtF1 + 5, 0, 0, "f6", nullptr},
    {0x76, 0x41, kQtF1 + 6, 0, 0, "f7", nullptr},
    {0x77, 0x42, kQtF1 + 7, 0, 0, "f8", nullptr},
    {0x78, 0x43, kQtF1 + 8, 0, 0, "f9", nullptr},
    {0x79, 0x44, kQtF1 + 9, 0, 0, "f10", nullptr},
    {0x7A, 0x57, kQtF1 + 10, 0, 0, "f11", nullptr},
    {0x7B, 0x58, kQtF1 + 11, 0, 0, "f12", nullptr},
    {0x90, 0x45, kQtNumLock, 0, 0, "numlock", nullptr},
    {0x91, 0x46, kQtScrollLock, 0, 0, "scrolllock", nullptr},
    {0xBA, 0x27, 0, ';', ':', "semicolon", nullptr},
    {0xBB, 0x0D, 0, '=', '+', "plus", "equal"},
    {0xBC, 0x33, 0, ',', '<', "comma", nullptr},
    {0xBD, 0x0C, 0, '-', '_', "minus", nullptr},
    {0xBE, 0x34, 0, '.', '>', "period", nullptr},
    {0xBF, 0x35, 0, '/', '?', "slash", nullptr},
    {0xC0, 0x29, 0, '`', '~', "backquote", nullptr},
    {0xDB, 0x1A, 0, '[', '{', nullptr, nullptr},
    {0xDC, 0x2B, 0, '\\', '|', "backslash", nullptr},
    {0xDD, 0x1B, 0, ']', '}', nullptr, nullptr},
    {0xDE, 0x28, 0, '\'', '"', "quote", nullptr},
};
// clang-format on

// The Russian layout's letters (upper case) and the US character of the key
// each sits on.
constexpr std::array<std::pair<char16_t, char>, 33> kCyrillic = {{
    {u'Й', 'q'}, {u'Ц', 'w'},  {u'У', 'e'}, {u'К', 'r'}, {u'Е', 't'}, {u'Н', 'y'}, {u'Г', 'u'},
    {u'Ш', 'i'}, {u'Щ', 'o'},  {u'З', 'p'}, {u'Х', '['}, {u'Ъ', ']'}, {u'Ф', 'a'}, {u'Ы', 's'},
    {u'В', 'd'}, {u'А', 'f'},  {u'П', 'g'}, {u'Р', 'h'}, {u'О', 'j'}, {u'Л', 'k'}, {u'Д', 'l'},
    {u'Ж', ';'}, {u'Э', '\''}, {u'Я', 'z'}, {u'Ч', 'x'}, {u'С', 'c'}, {u'М', 'v'}, {u'И', 'b'},
    {u'Т', 'n'}, {u'Ь', 'm'},  {u'Б', ','}, {u'Ю', '.'}, {u'Ё', '`'},
}};

DesktopKey KeyOf(const Entry& e) {
    return {e.vk, e.scan};
}

std::optional<TypedKey> FindCharacter(char ch) {
    for (const Entry& e : kEntries) {
        if (e.plain == ch)
            return TypedKey{KeyOf(e), false};
        if (e.shifted == ch)
            return TypedKey{KeyOf(e), true};
    }
    return std::nullopt;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::optional<DesktopKey> KeyForToolkitKey(int toolkitKey) {
    switch (toolkitKey) {
        case kQtBacktab:
            return KeyForVirtualKey(vk::kTab);
        case kQtEnter:
            return KeyForVirtualKey(vk::kReturn);
        case kQtAltGr:
            return KeyForVirtualKey(vk::kAlt);
        default:
            break;
    }
    for (const Entry& e : kEntries) {
        if (e.toolkit != 0 && e.toolkit == toolkitKey)
            return KeyOf(e);
    }
    if (toolkitKey >= 0x20 && toolkitKey < 0x7F) {
        // Printable keys come as their character (upper case for letters);
        // the robot gets the key, and Shift as a key of its own.
        const char ch = static_cast<char>(std::tolower(toolkitKey));
        if (auto typed = FindCharacter(ch))
            return typed->key;
        return std::nullopt;
    }
    for (const auto& [letter, us] : kCyrillic) {
        if (toolkitKey == letter)
            return FindCharacter(us)->key;
    }
    return std::nullopt;
}

std::optional<DesktopKey> KeyForScanCode(uint8_t scan) {
    if (scan == 0 || scan > 0x7F)
        return std::nullopt;
    for (const Entry& e : kEntries) {
        if (e.scan == scan)
            return KeyOf(e);
    }
    return std::nullopt;
}

std::optional<DesktopKey> KeyForVirtualKey(uint8_t code) {
    switch (code) {
        case vk::kLeftShift:
        case vk::kRightShift:
            code = vk::kShift;
            break;
        case vk::kLeftControl:
        case vk::kRightControl:
            code = vk::kControl;
            break;
        case vk::kLeftAlt:
        case vk::kRightAlt:
            code = vk::kAlt;
            break;
        default:
            break;
    }
    for (const Entry& e : kEntries) {
        if (e.vk == code)
            return KeyOf(e);
    }
    return std::nullopt;
}

std::optional<TypedKey> KeyForCharacter(char32_t ch) {
    if (ch == '\r')
        ch = '\n';
    if (ch < 0x80)
        return FindCharacter(static_cast<char>(ch));
    return std::nullopt;
}

std::optional<DesktopKey> KeyForName(std::string_view name) {
    const std::string lower = Lower(name);
    if (lower.empty())
        return std::nullopt;
    for (const Entry& e : kEntries) {
        if ((e.name && lower == e.name) || (e.alias && lower == e.alias))
            return KeyOf(e);
    }
    if (lower == "control" || lower == "ctl")
        return KeyForVirtualKey(vk::kControl);
    if (lower.size() == 1 && lower[0] != '\t' && lower[0] != '\n') {
        if (auto typed = FindCharacter(lower[0]))
            return typed->key;
    }
    return std::nullopt;
}

std::vector<DesktopKey> ParseKeyCombo(std::string_view combo) {
    std::vector<DesktopKey> keys;
    // A lone "+" is the key, not a separator.
    if (combo == "+")
        return {KeyForName("plus").value()};
    size_t start = 0;
    while (start <= combo.size()) {
        const size_t plus = combo.find('+', start);
        const std::string_view part = combo.substr(
            start, plus == std::string_view::npos ? std::string_view::npos : plus - start);
        const auto key = KeyForName(part);
        if (!key)
            return {};
        keys.push_back(*key);
        if (plus == std::string_view::npos)
            break;
        start = plus + 1;
    }
    return keys;
}

bool IsAltKey(uint8_t code) {
    return code == vk::kAlt || code == vk::kLeftAlt || code == vk::kRightAlt;
}

bool IsControlKey(uint8_t code) {
    return code == vk::kControl || code == vk::kLeftControl || code == vk::kRightControl;
}

bool IsShiftKey(uint8_t code) {
    return code == vk::kShift || code == vk::kLeftShift || code == vk::kRightShift;
}

}  // namespace velcora::media
