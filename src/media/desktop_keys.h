// The keys of the robot's desktop: one table from the toolkit's key codes to
// the robot's virtual-key codes and keyboard scan codes, with the names the
// command-line client accepts ("alt+f4", "ctrl+esc", "a"). The toolkit's key
// numbers are plain integers here, so this stays free of the toolkit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velcora::media {

// One key as the robot knows it: a virtual-key code and the set-1 scan code
// (the low seven bits; extended keys share the code of their base key).
struct DesktopKey {
    uint8_t vk = 0;
    uint8_t scan = 0;
    bool operator==(const DesktopKey&) const = default;
};

// Virtual keys that the desktop's own rules name.
namespace vk {
inline constexpr uint8_t kTab = 0x09;
inline constexpr uint8_t kReturn = 0x0D;
inline constexpr uint8_t kShift = 0x10;
inline constexpr uint8_t kControl = 0x11;
inline constexpr uint8_t kAlt = 0x12;
inline constexpr uint8_t kEscape = 0x1B;
inline constexpr uint8_t kLeftWin = 0x5B;
inline constexpr uint8_t kF4 = 0x73;
inline constexpr uint8_t kLeftShift = 0xA0;
inline constexpr uint8_t kRightShift = 0xA1;
inline constexpr uint8_t kLeftControl = 0xA2;
inline constexpr uint8_t kRightControl = 0xA3;
inline constexpr uint8_t kLeftAlt = 0xA4;
inline constexpr uint8_t kRightAlt = 0xA5;
}  // namespace vk

inline constexpr DesktopKey kTabKey{vk::kTab, 15};
inline constexpr DesktopKey kEscapeKey{vk::kEscape, 1};
inline constexpr DesktopKey kAltKey{vk::kAlt, 0x38};
inline constexpr DesktopKey kControlKey{vk::kControl, 0x1D};
inline constexpr DesktopKey kShiftKey{vk::kShift, 0x2A};
inline constexpr DesktopKey kF4Key{vk::kF4, 0x3E};

// The key for a toolkit key code (letters and digits are their upper-case
// character, the Cyrillic letters of the Russian layout map to the key they
// sit on); nothing for keys the robot has no code for.
std::optional<DesktopKey> KeyForToolkitKey(int toolkitKey);
// The key with this set-1 scan code (1..0x7F), for keys the toolkit could
// not name (another layout's letters).
std::optional<DesktopKey> KeyForScanCode(uint8_t scan);
// The key for a virtual-key code.
std::optional<DesktopKey> KeyForVirtualKey(uint8_t vk);

// A character as typed on a US layout: the key and whether Shift is needed.
struct TypedKey {
    DesktopKey key;
    bool shift = false;
};
std::optional<TypedKey> KeyForCharacter(char32_t ch);

// One key by name: "alt", "ctrl", "shift", "win", "tab", "esc", "enter",
// "space", "backspace", "delete", "insert", "home", "end", "pgup", "pgdn",
// "up", "down", "left", "right", "f1".."f12", "menu", "capslock",
// "printscreen", "plus", "minus", or a single character. Case-insensitive.
std::optional<DesktopKey> KeyForName(std::string_view name);
// "alt+f4" and the like: the keys in the order they are pressed (released in
// reverse). Empty on any unknown name or an empty part.
std::vector<DesktopKey> ParseKeyCombo(std::string_view combo);

// Whether a virtual key is one of the Alt, Ctrl or Shift keys.
bool IsAltKey(uint8_t vk);
bool IsControlKey(uint8_t vk);
bool IsShiftKey(uint8_t vk);

}  // namespace velcora::media
