#include "console/command_buttons.h"

#include <algorithm>
#include <cstdio>

#include "console/phrases.h"
#include "link/control_commands.h"
#include "link/text_codec.h"

namespace velcora {

namespace {

std::string Section(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "DBUTTON%d", i);
    return name;
}

std::optional<std::string> Command(std::optional<std::string> ansi) {
    if (!ansi || ansi->empty())
        return std::nullopt;
    if (ansi->size() > kCommandTextLimit)
        ansi->resize(kCommandTextLimit);
    return ansi;
}

// One placeholder or literal run of a command.
struct Piece {
    bool placeholder = false;
    std::string_view text;  // the literal, or the placeholder's label
};

// Splits a command into literals and placeholders: "{" opens a placeholder,
// the next "}" closes it (an unclosed one runs to the end); a "}" outside a
// placeholder is an ordinary character.
std::vector<Piece> Split(std::string_view command) {
    std::vector<Piece> pieces;
    std::size_t i = 0;
    while (i < command.size()) {
        const std::size_t open = command.find('{', i);
        if (open == std::string_view::npos) {
            pieces.push_back({false, command.substr(i)});
            break;
        }
        if (open > i)
            pieces.push_back({false, command.substr(i, open - i)});
        const std::size_t close = command.find('}', open + 1);
        if (close == std::string_view::npos) {
            pieces.push_back({true, command.substr(open + 1)});
            break;
        }
        pieces.push_back({true, command.substr(open + 1, close - open - 1)});
        i = close + 1;
    }
    return pieces;
}

}  // namespace

bool HasPlaceholders(std::string_view ansiCommand) {
    return ansiCommand.find('{') != std::string_view::npos;
}

std::vector<std::string> PlaceholderLabels(std::string_view ansiCommand) {
    std::vector<std::string> labels;
    for (const Piece& p : Split(ansiCommand)) {
        if (!p.placeholder)
            continue;
        if (labels.size() == kMaxPlaceholders)
            break;
        labels.emplace_back(p.text.substr(0, kPlaceholderLabelLimit));
    }
    return labels;
}

std::string FillPlaceholders(std::string_view ansiCommand, const std::vector<std::string>& values) {
    std::string out;
    std::size_t n = 0;
    for (const Piece& p : Split(ansiCommand)) {
        if (!p.placeholder) {
            out += p.text;
        } else {
            // Beyond the 64 fields a placeholder has no value and is dropped.
            if (n < kMaxPlaceholders && n < values.size())
                out += std::string_view(values[n]).substr(0, kPlaceholderValueLimit);
            ++n;
        }
        if (out.size() >= kFilledCommandLimit)
            break;
    }
    if (out.size() > kFilledCommandLimit)
        out.resize(kFilledCommandLimit);
    return out;
}

ButtonAction ButtonDown(const CommandButtonData& b) {
    ButtonAction a;
    if (b.latched || !b.pressCommand || HasPlaceholders(*b.pressCommand))
        return a;
    a.send = b.pressCommand;
    return a;
}

ButtonAction ButtonUp(const CommandButtonData& b) {
    ButtonAction a;
    if (!b.latched)
        a.send = b.releaseCommand;
    return a;
}

ButtonAction ButtonClick(const CommandButtonData& b, bool nowDown) {
    ButtonAction a;
    if (b.pressCommand && HasPlaceholders(*b.pressCommand)) {
        a.askParameters = true;
        return a;
    }
    if (b.latched)
        a.send = nowDown ? b.pressCommand : b.releaseCommand;
    return a;
}

std::string CommandButtonHint(const CommandButtonData& b) {
    std::string hint;
    if (b.pressCommand)
        hint += "При нажатии: " + AnsiToUtf8(*b.pressCommand);
    if (b.releaseCommand) {
        if (!hint.empty())
            hint += '\n';
        hint += "При отжатии: " + AnsiToUtf8(*b.releaseCommand);
    }
    return hint;
}

CommandButtonData LimitedButton(CommandButtonData b) {
    b.caption = WideToUtf8(CutPhrase(Utf8ToWide(b.caption), kCommandCaptionLimit));
    b.width = std::clamp(b.width, kCommandButtonMinWidth, kCommandButtonMaxWidth);
    b.pressCommand = Command(std::move(b.pressCommand));
    b.releaseCommand = Command(std::move(b.releaseCommand));
    return b;
}

std::vector<CommandButtonData> LoadCommandButtons(const IniFile& ini) {
    std::vector<CommandButtonData> buttons;
    for (int i = 0; i < static_cast<int>(kMaxCommandButtons); ++i) {
        const std::string section = Section(i);
        CommandButtonData b;
        b.caption = ini.GetString(section, "text", {}, kCommandCaptionLimit);
        if (b.caption.empty())
            continue;
        b.width = ini.GetInt(section, "width", kCommandButtonStoredWidth);
        b.latched = ini.GetInt(section, "fixed", 0) != 0;
        if (auto down = ini.Find(section, "down", kCommandTextLimit))
            b.pressCommand = Utf8ToAnsi(*down);
        if (auto up = ini.Find(section, "up", kCommandTextLimit))
            b.releaseCommand = Utf8ToAnsi(*up);
        buttons.push_back(LimitedButton(std::move(b)));
    }
    return buttons;
}

void SaveCommandButtons(IniFile& ini, const std::vector<CommandButtonData>& buttons) {
    int i = 0;
    for (const auto& b : buttons) {
        const std::string section = Section(i++);
        ini.WriteString(section, "text", b.caption);
        ini.WriteInt(section, "width", b.width);
        ini.WriteString(section, "fixed", b.latched ? "1" : "0");
        ini.WriteString(section, "down", b.pressCommand ? AnsiToUtf8(*b.pressCommand) : "");
        ini.WriteString(section, "up", b.releaseCommand ? AnsiToUtf8(*b.releaseCommand) : "");
    }
    for (; i < static_cast<int>(kMaxCommandButtons); ++i)
        ini.DeleteSection(Section(i));
}

CCommandButtons::CCommandButtons(IRobotLink& link, IniFile& ini) : link_(link), ini_(ini) {}

void CCommandButtons::Load() {
    buttons_ = LoadCommandButtons(ini_);
}

bool CCommandButtons::Save() {
    SaveCommandButtons(ini_, buttons_);
    return ini_.Save();
}

bool CCommandButtons::Add(CommandButtonData button) {
    if (!CanAdd())
        return false;
    buttons_.push_back(LimitedButton(std::move(button)));
    Save();
    return true;
}

void CCommandButtons::Replace(std::size_t i, CommandButtonData button) {
    if (i >= buttons_.size())
        return;
    buttons_[i] = LimitedButton(std::move(button));
    Save();
}

void CCommandButtons::Remove(std::size_t i) {
    if (i >= buttons_.size())
        return;
    buttons_.erase(buttons_.begin() + static_cast<std::ptrdiff_t>(i));
    Save();
}

bool CCommandButtons::Perform(const ButtonAction& action) {
    if (!action.send)
        return false;
    SendScriptCommand(link_, *action.send);
    return true;
}

void CCommandButtons::SendFilled(std::size_t i, const std::vector<std::string>& ansiValues) {
    if (i >= buttons_.size() || !buttons_[i].pressCommand)
        return;
    SendScriptCommand(link_, FillPlaceholders(*buttons_[i].pressCommand, ansiValues));
}

}  // namespace velcora
