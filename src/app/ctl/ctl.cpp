#include "app/ctl/ctl.h"

#include <cerrno>
#include <cstdlib>

namespace velcora::ctl {

bool Args::Flag(std::string_view name) {
    for (auto it = args_.begin(); it != args_.end(); ++it) {
        if (*it == name) {
            args_.erase(it);
            return true;
        }
    }
    return false;
}

std::optional<std::string> Args::Option(std::string_view name) {
    std::optional<std::string> value;
    for (std::size_t i = 0; i < args_.size();) {
        const std::string& a = args_[i];
        if (a == name) {
            if (i + 1 >= args_.size()) {
                error_ = "option " + std::string(name) + " needs a value";
                args_.erase(args_.begin() + static_cast<long>(i));
                continue;
            }
            value = args_[i + 1];
            args_.erase(args_.begin() + static_cast<long>(i),
                        args_.begin() + static_cast<long>(i) + 2);
            continue;
        }
        if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 &&
            a[name.size()] == '=') {
            value = a.substr(name.size() + 1);
            args_.erase(args_.begin() + static_cast<long>(i));
            continue;
        }
        ++i;
    }
    return value;
}

std::vector<std::string> Args::Options(std::string_view name) {
    // In the order given: Option alone keeps only the last value.
    std::vector<std::string> values;
    for (std::size_t i = 0; i < args_.size();) {
        const std::string& a = args_[i];
        if (a == name) {
            if (i + 1 >= args_.size()) {
                error_ = "option " + std::string(name) + " needs a value";
                args_.erase(args_.begin() + static_cast<long>(i));
                continue;
            }
            values.push_back(args_[i + 1]);
            args_.erase(args_.begin() + static_cast<long>(i),
                        args_.begin() + static_cast<long>(i) + 2);
            continue;
        }
        if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 &&
            a[name.size()] == '=') {
            values.push_back(a.substr(name.size() + 1));
            args_.erase(args_.begin() + static_cast<long>(i));
            continue;
        }
        ++i;
    }
    return values;
}

std::optional<std::string> Args::Error() const {
    if (error_) {
        return error_;
    }
    for (const auto& a : args_) {
        // A lone "-" and negative numbers are positional.
        if (a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9') && a[1] != '.') {
            return "unknown option " + a;
        }
    }
    return std::nullopt;
}

const Command* Registry::Find(std::string_view name) const {
    for (const auto& c : commands_) {
        if (c.name == name) {
            return &c;
        }
    }
    return nullptr;
}

int UsageError(const std::string& text) {
    std::fprintf(stderr, "velcoractl: %s\n", text.c_str());
    return kExitUsage;
}

int Failed(const std::string& text) {
    std::fprintf(stderr, "velcoractl: %s\n", text.c_str());
    return kExitFailed;
}

std::string Printable(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x20 || c == 0x7F) {
            out += '?';
        } else if (c == 0xC2 && i + 1 < utf8.size() &&
                   static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(utf8[i + 1]) <= 0x9F) {
            out += '?';  // U+0080..U+009F, the C1 controls (CSI among them)
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::vector<std::string> CommandFirst(std::vector<std::string> args) {
    if (args.empty() || args[0].size() < 2 || args[0][0] != '-')
        return args;
    auto takesValue = [](const std::string& a) {
        return a == "--host" || a == "--port" || a == "--ini" || a == "--password-file" ||
               a == "--connect-timeout" || a == "--record";
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool option = args[i].size() > 1 && args[i][0] == '-';
        if (option) {
            if (takesValue(args[i]))
                ++i;
            continue;
        }
        // The first word that is neither an option nor its value names the
        // command, known or not; what came before it goes to the end.
        std::vector<std::string> out(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
        out.insert(out.end(), args.begin(), args.begin() + static_cast<std::ptrdiff_t>(i));
        return out;
    }
    return args;
}

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

bool ParseInt(std::string_view text, long long& value) {
    if (text.empty()) {
        return false;
    }
    std::string s(text);
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (errno != 0 || end == s.c_str() || *end != '\0') {
        return false;
    }
    value = v;
    return true;
}

bool ParseDouble(std::string_view text, double& value) {
    if (text.empty()) {
        return false;
    }
    std::string s(text);
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || end == s.c_str() || *end != '\0') {
        return false;
    }
    value = v;
    return true;
}

}  // namespace velcora::ctl
