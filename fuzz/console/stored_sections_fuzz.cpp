// Arbitrary text as the settings file: the phrase history, the gestures and
// the command buttons are loaded from it, saved back and loaded again, and
// every command loaded, as well as the raw input, is rebuilt as a command
// template with placeholders.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../sink_link.h"
#include "console/command_buttons.h"
#include "console/gestures.h"
#include "console/phrases.h"
#include "link/settings.h"
#include "link/text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velcora;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniFile ini;
    ini.Parse(text);

    CSettings settings;
    LoadSettings(ini, settings);
    fuzz::SinkLink link;
    CPhrases phrases(
        link, settings, [] { return false; }, nullptr);
    phrases.Trim();
    std::size_t sink = phrases.Count();
    for (std::size_t i = 0; i < phrases.Count(); ++i) {
        if (phrases.Item(i).hotkey != 0 && !HotKeyOf(static_cast<char16_t>(phrases.Item(i).hotkey)))
            std::abort();
        phrases.Speak(i);
    }

    const auto gestures = LoadGestures(ini);
    const auto buttons = LoadCommandButtons(ini);
    if (buttons.size() > kMaxCommandButtons)
        std::abort();
    // Saving and loading settles at once: what was saved once loads back as
    // it was after the next save (the file's own trimming and unquoting of
    // values apply to the first save only).
    IniFile once;
    SaveGestures(once, gestures);
    SaveCommandButtons(once, buttons);
    const auto gestures2 = LoadGestures(once);
    const auto buttons2 = LoadCommandButtons(once);
    IniFile twice;
    SaveGestures(twice, gestures2);
    SaveCommandButtons(twice, buttons2);
    if (LoadGestures(twice) != gestures2 || LoadCommandButtons(twice) != buttons2)
        std::abort();

    std::vector<std::string> values;
    for (const auto& b : buttons) {
        for (const auto& command : {b.pressCommand, b.releaseCommand}) {
            if (!command)
                continue;
            const auto labels = PlaceholderLabels(*command);
            values.assign(labels.begin(), labels.end());
            sink += FillPlaceholders(*command, values).size();
        }
    }
    const auto labels = PlaceholderLabels(text);
    if (labels.size() > kMaxPlaceholders)
        std::abort();
    values.assign(labels.size() + 1, std::string(text.substr(0, 300)));
    if (FillPlaceholders(text, values).size() > kFilledCommandLimit)
        std::abort();
    sink += NormalisePhrase(Utf8ToWide(text)).size();
    return static_cast<int>(sink & 0);
}
