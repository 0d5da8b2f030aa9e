// The spoken phrases: the phrase box's sending rules, the history list with
// its limit, locks and Ctrl hot keys, its menu's enabling, and the language
// buttons. The history lives in the settings (their HISTORY section), so that
// saving the settings keeps it; texts there are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "link/robot_link.h"
#include "link/settings.h"

namespace velcora {

// The phrase box takes at most this many characters; history phrases are
// sent cut to it.
inline constexpr std::size_t kPhraseSendLimit = 511;
// The longest phrase the settings file keeps.
inline constexpr std::size_t kPhraseStoreLimit = 4095;
// The focus goes back to the drive joystick this long after a phrase is sent.
inline constexpr int32_t kPhraseFocusMs = 100;

// One pass from left to right: a tab or a line feed becomes a space, a
// carriage return is dropped, and two spaces in a row become one (both are
// consumed, so three spaces become two).
std::u16string NormalisePhrase(std::u16string_view text);
// At most `limit` UTF-16 units, never ending inside a surrogate pair.
std::u16string_view CutPhrase(std::u16string_view text, std::size_t limit = kPhraseSendLimit);
// A text as the box would send it: cut to the box's length, then normalised.
std::u16string BoxPhrase(std::u16string_view text);

// A typed hot key answer: a..z become A..Z; A..Z and 0..9 are hot keys.
// Nothing for any other character.
std::optional<char> HotKeyOf(char16_t c);

enum class HotKeyAnswer { Set, Removed, Refused };
enum class LimitAnswer { Set, Refused };

// The history menu's entries, in menu order.
enum class PhraseCommand {
    Say,
    CopyToEditor,
    Lock,
    HotKey,
    Edit,
    Delete,
    DeleteUnlocked,
    DeleteAll,
    Limit,
    Add,
};
inline constexpr int kPhraseCommandCount = 10;

struct PhraseCommandState {
    bool enabled = false;
    bool checked = false;
};

class CPhrases {
  public:
    // `save` writes the settings file; `focusCountdown` sets the main
    // window's countdown back to the drive joystick.
    CPhrases(IRobotLink& link, CSettings& settings, std::function<bool()> save,
             std::function<void(int32_t ms)> focusCountdown);

    std::size_t Count() const { return settings_.history.size(); }
    const HistoryItem& Item(std::size_t i) const { return settings_.history[i]; }
    std::u16string Text(std::size_t i) const;
    int Limit() const { return settings_.maxHistoryItems; }

    // Enter in the phrase box or the say button. True when the box is to be
    // cleared (the phrase was sent).
    bool SpeakBox(std::u16string_view boxText);
    // A history phrase, cut to 511 characters; the list keeps its order.
    bool Speak(std::size_t index);
    // The first phrase from the top with this hot key ('A'..'Z', '0'..'9'),
    // or -1.
    int FindHotKey(char key) const;
    // Ctrl+key: speaks the phrase with that hot key. False when none has it
    // (the key then goes on to whatever has the focus).
    bool SpeakHotKey(char key);

    HotKeyAnswer SetHotKey(std::size_t index, std::u16string_view answer);
    void ToggleLock(std::size_t index);
    // Replaces the text in place (lock and hot key stay) and saves.
    void Edit(std::size_t index, std::u16string_view text);
    void Delete(std::size_t index);
    void DeleteUnlocked();
    void DeleteAll();
    // A whole number of at least 1; the list is trimmed and the settings saved.
    LimitAnswer SetLimit(std::u16string_view answer);
    // Appends an unlocked phrase at the bottom without sending it; its index.
    std::size_t Add(std::u16string_view text);

    // Deletes unlocked phrases from the bottom while the list is over its
    // limit; the top phrase stays, so the list may stay above the limit.
    void Trim();

    // The menu entry's state for the selected row (-1: none).
    PhraseCommandState Command(PhraseCommand command, int selected) const;

    // A language button: its caption in the ANSI code page with terminator.
    void SpeakLanguage(std::size_t index);

    // Changes to the list, for the panel to redraw.
    void SetChanged(std::function<void()> changed) { changed_ = std::move(changed); }

  private:
    void Changed();

    IRobotLink& link_;
    CSettings& settings_;
    std::function<bool()> save_;
    std::function<void(int32_t)> focusCountdown_;
    std::function<void()> changed_;
};

}  // namespace velcora
