#include "console/phrases.h"

#include <algorithm>

#include "link/control_commands.h"
#include "link/text_codec.h"

namespace velcora {

namespace {

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

std::string Utf8Stored(std::u16string_view text) {
    return WideToUtf8(CutPhrase(text, kPhraseStoreLimit));
}

bool EqualsNoCase(const std::string& storedUtf8, std::u16string_view text) {
    return CompareNoCase(Utf8ToWide(storedUtf8), text) == 0;
}

}  // namespace

std::u16string NormalisePhrase(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\t' || c == u'\n') {
            out += u' ';
        } else if (c == u'\r') {
            continue;
        } else if (c == u' ' && i + 1 < text.size() && text[i + 1] == u' ') {
            out += u' ';
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::u16string_view CutPhrase(std::u16string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return text;
    std::size_t n = limit;
    // Half a pair would reach the robot as a broken character.
    if (n > 0 && IsHighSurrogate(text[n - 1]))
        --n;
    return text.substr(0, n);
}

std::u16string BoxPhrase(std::u16string_view text) {
    return NormalisePhrase(CutPhrase(text));
}

std::optional<char> HotKeyOf(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return static_cast<char>(c - u'a' + 'A');
    if ((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))
        return static_cast<char>(c);
    return std::nullopt;
}

CPhrases::CPhrases(IRobotLink& link, CSettings& settings, std::function<bool()> save,
                   std::function<void(int32_t ms)> focusCountdown)
    : link_(link),
      settings_(settings),
      save_(std::move(save)),
      focusCountdown_(std::move(focusCountdown)) {
    // What a hand-edited file may hold: a limit below 1 means 1, and a hot
    // key no key press could produce means none.
    settings_.maxHistoryItems = std::max(settings_.maxHistoryItems, 1);
    for (auto& item : settings_.history) {
        const bool valid =
            item.hotkey > 0 && item.hotkey < 0x80 &&
            HotKeyOf(static_cast<char16_t>(item.hotkey)) == static_cast<char>(item.hotkey);
        if (!valid)
            item.hotkey = 0;
    }
}

std::u16string CPhrases::Text(std::size_t i) const {
    return Utf8ToWide(settings_.history[i].text);
}

void CPhrases::Changed() {
    if (changed_)
        changed_();
}

bool CPhrases::SpeakBox(std::u16string_view boxText) {
    if (settings_.joyAutoFocus && focusCountdown_)
        focusCountdown_(kPhraseFocusMs);
    if (!link_.Authorised())
        return false;
    if (boxText.empty())
        return false;
    const std::u16string phrase = BoxPhrase(boxText);
    SendPhrase(link_, phrase);
    auto& history = settings_.history;
    const bool known = std::any_of(history.begin(), history.end(), [&](const HistoryItem& item) {
        return EqualsNoCase(item.text, phrase);
    });
    if (!known) {
        HistoryItem item;
        item.text = WideToUtf8(phrase);
        history.insert(history.begin(), std::move(item));
        Trim();
        Changed();
    }
    return true;
}

bool CPhrases::Speak(std::size_t index) {
    if (index >= Count() || !link_.Authorised())
        return false;
    SendPhrase(link_, CutPhrase(Text(index)));
    return true;
}

int CPhrases::FindHotKey(char key) const {
    for (std::size_t i = 0; i < Count(); ++i) {
        if (settings_.history[i].hotkey == key)
            return static_cast<int>(i);
    }
    return -1;
}

bool CPhrases::SpeakHotKey(char key) {
    const int i = FindHotKey(key);
    if (i < 0)
        return false;
    Speak(static_cast<std::size_t>(i));
    return true;
}

HotKeyAnswer CPhrases::SetHotKey(std::size_t index, std::u16string_view answer) {
    if (index >= Count())
        return HotKeyAnswer::Refused;
    if (answer.empty()) {
        settings_.history[index].hotkey = 0;
        Changed();
        return HotKeyAnswer::Removed;
    }
    const auto key = answer.size() == 1 ? HotKeyOf(answer[0]) : std::nullopt;
    if (!key)
        return HotKeyAnswer::Refused;
    settings_.history[index].hotkey = *key;
    Changed();
    return HotKeyAnswer::Set;
}

void CPhrases::ToggleLock(std::size_t index) {
    if (index >= Count())
        return;
    settings_.history[index].locked = !settings_.history[index].locked;
    Changed();
}

void CPhrases::Edit(std::size_t index, std::u16string_view text) {
    if (index >= Count())
        return;
    settings_.history[index].text = Utf8Stored(text);
    Changed();
    if (save_)
        save_();
}

void CPhrases::Delete(std::size_t index) {
    if (index >= Count())
        return;
    settings_.history.erase(settings_.history.begin() + static_cast<std::ptrdiff_t>(index));
    Changed();
}

void CPhrases::DeleteUnlocked() {
    std::erase_if(settings_.history, [](const HistoryItem& item) { return !item.locked; });
    Changed();
}

void CPhrases::DeleteAll() {
    settings_.history.clear();
    Changed();
}

LimitAnswer CPhrases::SetLimit(std::u16string_view answer) {
    std::u16string_view t = answer;
    while (!t.empty() && t.front() == u' ')
        t.remove_prefix(1);
    while (!t.empty() && t.back() == u' ')
        t.remove_suffix(1);
    if (t.empty() || t.size() > 9)
        return LimitAnswer::Refused;
    int value = 0;
    for (char16_t c : t) {
        if (c < u'0' || c > u'9')
            return LimitAnswer::Refused;
        value = value * 10 + (c - u'0');
    }
    if (value < 1)
        return LimitAnswer::Refused;
    settings_.maxHistoryItems = value;
    Trim();
    Changed();
    if (save_)
        save_();
    return LimitAnswer::Set;
}

std::size_t CPhrases::Add(std::u16string_view text) {
    HistoryItem item;
    item.text = Utf8Stored(text);
    settings_.history.push_back(std::move(item));
    Changed();
    return Count() - 1;
}

void CPhrases::Trim() {
    auto& history = settings_.history;
    const std::size_t limit = static_cast<std::size_t>(std::max(settings_.maxHistoryItems, 1));
    while (history.size() > limit) {
        // The lowest unlocked phrase below the top one.
        std::size_t i = history.size() - 1;
        while (i > 0 && history[i].locked)
            --i;
        if (i == 0)
            break;
        history.erase(history.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

PhraseCommandState CPhrases::Command(PhraseCommand command, int selected) const {
    const bool has = selected >= 0 && static_cast<std::size_t>(selected) < Count();
    const bool itemLocked = has && settings_.history[static_cast<std::size_t>(selected)].locked;
    const bool uiLocked = settings_.locked;
    PhraseCommandState s;
    switch (command) {
        case PhraseCommand::Say:
            s.enabled = has && link_.Authorised();
            break;
        case PhraseCommand::CopyToEditor:
        case PhraseCommand::HotKey:
            s.enabled = has;
            break;
        case PhraseCommand::Lock:
            s.enabled = has && !uiLocked;
            s.checked = itemLocked;
            break;
        case PhraseCommand::Edit:
        case PhraseCommand::Delete:
            s.enabled = has && !(itemLocked && uiLocked);
            break;
        case PhraseCommand::DeleteUnlocked:
        case PhraseCommand::Add:
            s.enabled = true;
            break;
        case PhraseCommand::DeleteAll:
        case PhraseCommand::Limit:
            s.enabled = !uiLocked;
            break;
    }
    return s;
}

void CPhrases::SpeakLanguage(std::size_t index) {
    if (index >= settings_.languages.size())
        return;
    SendSpeechLanguage(link_, Utf8ToAnsi(settings_.languages[index]));
}

}  // namespace velcora
