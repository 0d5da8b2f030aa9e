// An INI text file with the semantics of the desktop profile functions:
// section and key names compare without regard to case, a missing file or key
// gives the caller's default, values are trimmed (and unquoted when the whole
// value is quoted), and writing a key keeps every unrelated line (comments,
// unknown keys and sections) as it was. Changes are held in memory until Save,
// which writes a temporary file beside the target and renames it over the
// target, so an interrupted save never leaves a torn file. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velcora {

class IniFile {
  public:
    IniFile() = default;
    explicit IniFile(std::string path) : path_(std::move(path)) {}

    // Reads the file; a missing file is an empty one (true). False only when
    // the file exists and cannot be read.
    bool Load();
    bool Load(const std::string& path);
    // Writes all lines to the file through a temporary file and a rename.
    bool Save() const;
    const std::string& Path() const { return path_; }
    void SetPath(std::string path) { path_ = std::move(path); }
    // The whole text, as Save would write it.
    std::string Text() const;
    void Parse(std::string_view text);

    // The value, or nullopt when the key is missing. At most `room` characters
    // (UTF-8 sequences are not split).
    std::optional<std::string> Find(std::string_view section, std::string_view key,
                                    std::size_t room = 511) const;
    // The value, or `fallback` when the key is missing or its value is empty.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback = {}, std::size_t room = 511) const;
    // Like the profile integer reader: missing key -> fallback; otherwise the
    // leading decimal number of the value (0 when there is none).
    int GetInt(std::string_view section, std::string_view key, int fallback) const;
    // A whole decimal integer, or `fallback` when missing, empty or malformed.
    int GetIntStrict(std::string_view section, std::string_view key, int fallback) const;
    // A decimal fraction, or `fallback` when missing, empty or malformed.
    double GetDouble(std::string_view section, std::string_view key, double fallback) const;
    // Every key=value line of a section in file order (keys as written).
    std::vector<std::pair<std::string, std::string>> GetSection(std::string_view section) const;
    std::vector<std::string> SectionNames() const;
    bool HasSection(std::string_view section) const;

    // Sets a value, creating the section or key as needed.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInt(std::string_view section, std::string_view key, long long value);
    void DeleteKey(std::string_view section, std::string_view key);
    // Removes the section header and all its lines.
    void DeleteSection(std::string_view section);
    // Removes every key of a section but keeps its header.
    void ClearSection(std::string_view section);

  private:
    // Index of the header line of a section, or -1.
    int FindSection(std::string_view section) const;
    // Index of a key line in a section, or -1.
    int FindKey(std::string_view section, std::string_view key) const;
    int SectionEnd(int header) const;

    std::string path_;
    std::vector<std::string> lines_;
    bool crlf_ = false;
};

// Where the settings file lives: `override` when given; otherwise
// "velcora.ini" in the folder of the executable, unless that folder cannot be
// written, in which case $XDG_CONFIG_HOME/velcora/velcora.ini (or
// ~/.config/velcora/velcora.ini), creating the folder.
// A program installed in a system folder (/usr/..., /opt/...) counts as not
// writable.
std::string SettingsFilePath(const std::string& override = {});
// The same rule for a program in `programDir`.
std::string SettingsFileFor(const std::string& programDir);

}  // namespace velcora
