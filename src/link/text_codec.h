// Text conversion at the edges: wire texts are bytes (Windows-1251 or the
// per-code-unit UTF-8 of spoken phrases), the interface works in UTF-16, and the
// terminal and files of the command-line client use ordinary UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace velcora {

// Windows-1251 ("ANSI" on the operator's machine) to UTF-16; every byte maps.
std::u16string AnsiToWide(std::string_view ansi);
// UTF-16 to Windows-1251; a leading byte-order mark is dropped and characters
// the code page lacks become '?'.
std::string WideToAnsi(std::u16string_view wide);

// Spoken phrases: each UTF-16 code unit on its own as 1, 2 or 3 bytes, so a
// surrogate pair becomes two 3-byte sequences.
std::string WideToUtf8Units(std::u16string_view wide);
// The inverse; it also accepts 4-byte sequences (as a surrogate pair) and
// decodes a malformed byte as U+FFFD.
std::u16string Utf8UnitsToWide(std::string_view bytes);

// Standard UTF-8 (surrogate pairs joined) for terminals, files and Qt.
std::string WideToUtf8(std::u16string_view wide);
std::u16string Utf8ToWide(std::string_view utf8);
std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);

// Telnet output: KOI8-R to Windows-1251 byte by byte.
std::string Koi8rToAnsi(std::string_view koi8r);

// Compares ignoring the case of Latin and Cyrillic letters (Ё/ё and the
// other Cyrillic letters of U+0400..U+045F included): <0, 0 or >0.
int CompareNoCase(std::u16string_view a, std::u16string_view b);
// KOI8-R, the robot console's code page, as UTF-16 for each byte value
// (every one of the 256 maps).
const char16_t* Koi8rTable();
// UTF-16 to KOI8-R; characters the code page lacks become '?'.
std::string WideToKoi8r(std::u16string_view wide);

// Drops a leading U+FEFF.
std::u16string_view StripBom(std::u16string_view wide);

}  // namespace velcora
