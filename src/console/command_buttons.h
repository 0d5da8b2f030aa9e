// Command buttons: operator-defined buttons that send robot-script commands
// when they go down and come up, with placeholders the operator fills in
// before sending. The list persists in the "DBUTTON%d" sections of the
// settings file. Commands are narrow texts in the ANSI code page here and on
// the wire; the settings file holds them as UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/ini_file.h"
#include "link/robot_link.h"

namespace velcora {

inline constexpr int kCommandButtonHeight = 20;
inline constexpr int kCommandButtonMinWidth = 4;
inline constexpr int kCommandButtonMaxWidth = 200;
inline constexpr int kCommandButtonNewWidth = 90;
inline constexpr int kCommandButtonStoredWidth = 180;  // a section without "width"
// Only this many sections are read back, so the panel holds no more.
inline constexpr std::size_t kMaxCommandButtons = 30;
// What loading reads, and so what the editor takes.
inline constexpr std::size_t kCommandCaptionLimit = 64;
inline constexpr std::size_t kCommandTextLimit = 512;
// Placeholders.
inline constexpr std::size_t kMaxPlaceholders = 64;
inline constexpr std::size_t kPlaceholderLabelLimit = 255;  // bytes
inline constexpr std::size_t kPlaceholderValueLimit = 255;  // characters
inline constexpr std::size_t kFilledCommandLimit = 4095;    // bytes

struct CommandButtonData {
    std::string caption;  // UTF-8
    int width = kCommandButtonNewWidth;
    bool latched = false;
    std::optional<std::string> pressCommand;    // ANSI
    std::optional<std::string> releaseCommand;  // ANSI

    bool operator==(const CommandButtonData&) const = default;
};

// Whether a press command asks for parameters first.
bool HasPlaceholders(std::string_view ansiCommand);
// The labels of the placeholders in order (the text between the braces, at
// most 255 bytes; an unclosed one runs to the end), at most 64.
std::vector<std::string> PlaceholderLabels(std::string_view ansiCommand);
// The command with each placeholder replaced by its value (ANSI, at most 255
// characters each; a missing value is empty), placeholders beyond the 64th
// dropped, the whole cut to 4095 bytes. A "}" outside a placeholder is kept.
std::string FillPlaceholders(std::string_view ansiCommand, const std::vector<std::string>& values);

// What a button's edge asks for.
struct ButtonAction {
    std::optional<std::string> send;  // ANSI command to send now
    bool askParameters = false;       // open the parameters dialog
};
// A non-latched button going down or coming up (mouse edges).
ButtonAction ButtonDown(const CommandButtonData& button);
ButtonAction ButtonUp(const CommandButtonData& button);
// A completed click; `nowDown` is a latched button's state after it.
ButtonAction ButtonClick(const CommandButtonData& button, bool nowDown);

// The tool tip: which commands the button sends.
std::string CommandButtonHint(const CommandButtonData& button);

// Reads DBUTTON0..29 in order; sections with an empty text are skipped.
std::vector<CommandButtonData> LoadCommandButtons(const IniFile& ini);
// Writes button i into DBUTTON<i> and deletes the sections after the last.
void SaveCommandButtons(IniFile& ini, const std::vector<CommandButtonData>& buttons);

class CCommandButtons {
  public:
    // `ini` is where the buttons are saved (the settings file).
    CCommandButtons(IRobotLink& link, IniFile& ini);

    void Load();
    // Writes the sections and the file.
    bool Save();

    std::size_t Count() const { return buttons_.size(); }
    const CommandButtonData& Button(std::size_t i) const { return buttons_[i]; }
    const std::vector<CommandButtonData>& Buttons() const { return buttons_; }
    bool CanAdd() const { return buttons_.size() < kMaxCommandButtons; }

    // Editing; each saves. Fields beyond what loading reads are cut.
    bool Add(CommandButtonData button);
    void Replace(std::size_t i, CommandButtonData button);
    void Remove(std::size_t i);

    // Sends an action's command (0x6241); false when it has none.
    bool Perform(const ButtonAction& action);
    // The parameters dialog confirmed.
    void SendFilled(std::size_t i, const std::vector<std::string>& ansiValues);

  private:
    IRobotLink& link_;
    IniFile& ini_;
    std::vector<CommandButtonData> buttons_;
};

// The fields as the editor limits them: caption 64 characters, commands 512
// characters, width 4..200; an empty command is none.
CommandButtonData LimitedButton(CommandButtonData button);

}  // namespace velcora
