#include "link/ini_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace velcora {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// "[NAME]" -> NAME.
std::optional<std::string_view> HeaderName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> SplitKey(std::string_view line) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[')
        return std::nullopt;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    std::string_view value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return KeyValue{Trim(line.substr(0, eq)), value};
}

// Cuts to at most `room` bytes without splitting a UTF-8 sequence.
std::string Cut(std::string_view s, std::size_t room) {
    if (s.size() <= room)
        return std::string(s);
    std::size_t n = room;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return std::string(s.substr(0, n));
}

}  // namespace

bool IniFile::Load(const std::string& path) {
    path_ = path;
    return Load();
}

bool IniFile::Load() {
    lines_.clear();
    crlf_ = false;
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        return errno == ENOENT || access(path_.c_str(), F_OK) != 0;
    }
    std::ostringstream text;
    text << in.rdbuf();
    Parse(text.str());
    return true;
}

void IniFile::Parse(std::string_view text) {
    lines_.clear();
    crlf_ = text.find("\r\n") != std::string_view::npos;
    // A UTF-8 byte-order mark is not part of the first line; nor is a
    // second one (a file re-saved by a careless editor), which would
    // otherwise drop off at the next save.
    while (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        // Every carriage return before the line end goes: one left behind
        // would make the next save look like a CR-LF file, and the file would
        // change at every save.
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines_.emplace_back(line);
        start = end + 1;
    }
}

std::string IniFile::Text() const {
    std::string out;
    for (const auto& line : lines_) {
        out += line;
        out += crlf_ ? "\r\n" : "\n";
    }
    return out;
}

bool IniFile::Save() const {
    if (path_.empty())
        return false;
    std::string tmp = path_ + ".XXXXXX";
    const int fd = mkstemp(tmp.data());
    if (fd < 0)
        return false;
    const std::string text = Text();
    std::size_t done = 0;
    bool ok = true;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    // Readable by the operator like any file they would have made themselves.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    ok = ok && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || std::rename(tmp.c_str(), path_.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

int IniFile::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        auto name = HeaderName(lines_[i]);
        if (name && SameName(*name, section))
            return static_cast<int>(i);
    }
    return -1;
}

int IniFile::SectionEnd(int header) const {
    std::size_t i = static_cast<std::size_t>(header) + 1;
    while (i < lines_.size() && !HeaderName(lines_[i]))
        ++i;
    return static_cast<int>(i);
}

int IniFile::FindKey(std::string_view section, std::string_view key) const {
    bool inside = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (auto name = HeaderName(lines_[i])) {
            inside = SameName(*name, section);
            continue;
        }
        if (!inside)
            continue;
        auto kv = SplitKey(lines_[i]);
        if (kv && SameName(kv->key, key))
            return static_cast<int>(i);
    }
    return -1;
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key,
                                         std::size_t room) const {
    const int i = FindKey(section, key);
    if (i < 0)
        return std::nullopt;
    return Cut(SplitKey(lines_[static_cast<std::size_t>(i)])->value, room);
}

std::string IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view fallback, std::size_t room) const {
    auto v = Find(section, key, room);
    if (!v || v->empty())
        return Cut(fallback, room);
    return *v;
}

int IniFile::GetInt(std::string_view section, std::string_view key, int fallback) const {
    auto v = Find(section, key);
    if (!v)
        return fallback;
    const char* p = v->c_str();
    bool negative = false;
    if (*p == '-' || *p == '+') {
        negative = *p == '-';
        ++p;
    }
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p - '0');
        if (value > 0x7FFFFFFFLL)
            value = 0x7FFFFFFFLL;
        ++p;
    }
    return static_cast<int>(negative ? -value : value);
}

int IniFile::GetIntStrict(std::string_view section, std::string_view key, int fallback) const {
    auto v = Find(section, key);
    if (!v || v->empty())
        return fallback;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(v->c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < -2147483647L - 1 || value > 2147483647L)
        return fallback;
    return static_cast<int>(value);
}

double IniFile::GetDouble(std::string_view section, std::string_view key, double fallback) const {
    auto v = Find(section, key);
    if (!v || v->empty())
        return fallback;
    // Decimal texts are written with a point whatever the locale says.
    std::istringstream in(*v);
    in.imbue(std::locale::classic());
    double value = 0;
    in >> value;
    if (in.fail())
        return fallback;
    return value;
}

std::vector<std::pair<std::string, std::string>> IniFile::GetSection(
    std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> out;
    bool inside = false;
    for (const auto& line : lines_) {
        if (auto name = HeaderName(line)) {
            inside = SameName(*name, section);
            continue;
        }
        if (!inside)
            continue;
        if (auto kv = SplitKey(line))
            out.emplace_back(std::string(kv->key), std::string(kv->value));
    }
    return out;
}

std::vector<std::string> IniFile::SectionNames() const {
    std::vector<std::string> out;
    for (const auto& line : lines_) {
        if (auto name = HeaderName(line))
            out.emplace_back(*name);
    }
    return out;
}

bool IniFile::HasSection(std::string_view section) const {
    return FindSection(section) >= 0;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    // A line break inside a value would split it into lines of its own.
    std::string clean;
    for (char ch : value) {
        if (ch != '\n' && ch != '\r')
            clean.push_back(ch);
    }
    // Reading trims the value and takes off one pair of quotes around it: a
    // value that would lose something that way is quoted, so that it reads
    // back as it was written, however many times it is saved.
    const bool edgeSpace = !clean.empty() && (Trim(clean).size() != clean.size());
    const bool quoted = clean.size() >= 2 && (clean.front() == '"' || clean.front() == '\'') &&
                        clean.back() == clean.front();
    if (edgeSpace || quoted) {
        clean = "\"" + clean + "\"";
    }
    const int k = FindKey(section, key);
    if (k >= 0) {
        auto kv = SplitKey(lines_[static_cast<std::size_t>(k)]);
        lines_[static_cast<std::size_t>(k)] = std::string(kv->key) + "=" + clean;
        return;
    }
    const std::string line = std::string(key) + "=" + clean;
    const int header = FindSection(section);
    if (header < 0) {
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(line);
        return;
    }
    // After the section's last non-blank line, so blank separators stay between sections.
    int at = SectionEnd(header);
    while (at - 1 > header && Trim(lines_[static_cast<std::size_t>(at - 1)]).empty())
        --at;
    lines_.insert(lines_.begin() + at, line);
}

void IniFile::WriteInt(std::string_view section, std::string_view key, long long value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
    const int k = FindKey(section, key);
    if (k >= 0)
        lines_.erase(lines_.begin() + k);
}

void IniFile::DeleteSection(std::string_view section) {
    for (int header = FindSection(section); header >= 0; header = FindSection(section)) {
        lines_.erase(lines_.begin() + header, lines_.begin() + SectionEnd(header));
    }
}

void IniFile::ClearSection(std::string_view section) {
    const int header = FindSection(section);
    if (header < 0)
        return;
    const int end = SectionEnd(header);
    for (int i = end - 1; i > header; --i) {
        if (SplitKey(lines_[static_cast<std::size_t>(i)]))
            lines_.erase(lines_.begin() + i);
    }
}

namespace {

// An installed program's folder is no place for one user's settings, even
// where (as root) it could be written.
bool SystemFolder(const std::string& dir) {
    for (const char* prefix : {"/usr/", "/bin", "/sbin", "/opt/", "/snap/"}) {
        const std::string p(prefix);
        if (dir.compare(0, p.size(), p) == 0 &&
            (p.back() == '/' || dir.size() == p.size() || dir[p.size()] == '/'))
            return true;
    }
    return false;
}

}  // namespace

std::string SettingsFileFor(const std::string& programDir) {
    if (!programDir.empty() && !SystemFolder(programDir) && access(programDir.c_str(), W_OK) == 0)
        return programDir + "/velcora.ini";
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        config = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        config = std::string(home) + "/.config";
    } else {
        config = ".";
    }
    mkdir(config.c_str(), 0777);
    const std::string folder = config + "/velcora";
    mkdir(folder.c_str(), 0777);
    return folder + "/velcora.ini";
}

std::string SettingsFilePath(const std::string& override) {
    if (!override.empty())
        return override;
    std::string dir;
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n > 0) {
        std::string path(exe, static_cast<std::size_t>(n));
        const auto slash = path.rfind('/');
        dir = slash == std::string::npos ? "." : path.substr(0, slash);
    }
    return SettingsFileFor(dir);
}

}  // namespace velcora
