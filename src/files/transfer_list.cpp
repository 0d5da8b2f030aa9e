#include "files/transfer_list.h"

#include "files/file_operations.h"
#include "link/text_codec.h"

namespace velcora {
namespace {

constexpr uint32_t kHeaderSize = 20;

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

uint32_t GetU32(std::string_view in, std::size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v |= static_cast<uint32_t>(static_cast<uint8_t>(in[at + i])) << (8 * i);
    }
    return v;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool Unreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

}  // namespace

std::vector<std::u16string> BuildTransferList(std::u16string_view folder,
                                              const std::vector<CDirEntry>& selection,
                                              bool remote) {
    std::vector<std::u16string> items;
    for (const auto& e : selection) {
        if (e.name == u"." || e.name == u"..") {
            continue;
        }
        std::u16string text;
        if (remote) {
            text.push_back(e.isDirectory ? u'#' : u'@');
        }
        text += JoinPanelPath(folder, e.name);
        items.push_back(std::move(text));
    }
    return items;
}

std::string EncodeFileDrop(const std::vector<std::u16string>& items, int32_t x, int32_t y) {
    std::string out;
    PutU32(out, kHeaderSize);
    PutU32(out, static_cast<uint32_t>(x));
    PutU32(out, static_cast<uint32_t>(y));
    PutU32(out, 1);
    PutU32(out, 1);
    auto unit = [&](char16_t c) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    };
    for (const auto& item : items) {
        for (char16_t c : item) {
            if (c != 0) {  // a zero inside would end the text early
                unit(c);
            }
        }
        unit(0);
    }
    unit(0);
    return out;
}

std::optional<std::vector<std::u16string>> DecodeFileDrop(std::string_view block) {
    if (block.size() < kHeaderSize) {
        return std::nullopt;
    }
    const uint32_t offset = GetU32(block, 0);
    const bool wide = GetU32(block, 16) != 0;
    if (offset < kHeaderSize || offset > block.size()) {
        return std::nullopt;
    }
    std::vector<std::u16string> items;
    std::size_t at = offset;
    for (;;) {
        std::u16string text;
        bool ended = false;
        if (wide) {
            while (at + 2 <= block.size()) {
                const char16_t c = static_cast<char16_t>(
                    static_cast<uint8_t>(block[at]) | (static_cast<uint8_t>(block[at + 1]) << 8));
                at += 2;
                if (c == 0) {
                    ended = true;
                    break;
                }
                text.push_back(c);
            }
        } else {
            const std::size_t zero = block.find('\0', at);
            if (zero != std::string_view::npos) {
                text = AnsiToWide(block.substr(at, zero - at));
                at = zero + 1;
                ended = true;
            }
        }
        if (!ended) {
            return std::nullopt;
        }
        if (text.empty()) {
            return items;
        }
        items.push_back(std::move(text));
    }
}

std::string EncodeUriList(const std::vector<std::u16string>& items) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const auto& item : items) {
        if (item.empty() || item[0] != u'/') {
            continue;  // robot items and relative paths
        }
        out += "file://";
        for (unsigned char c : WideToUtf8(item)) {
            if (Unreserved(c)) {
                out.push_back(static_cast<char>(c));
            } else {
                out.push_back('%');
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 15]);
            }
        }
        out += "\r\n";
    }
    return out;
}

std::vector<std::u16string> DecodeUriList(std::string_view text) {
    std::vector<std::u16string> items;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.remove_suffix(1);
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        constexpr std::string_view kScheme = "file://";
        if (line.size() < kScheme.size() || line.substr(0, kScheme.size()) != kScheme) {
            continue;
        }
        std::string_view rest = line.substr(kScheme.size());
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos) {
            continue;
        }
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && host != "localhost") {
            continue;
        }
        std::string path;
        bool bad = false;
        for (std::size_t i = slash; i < rest.size(); ++i) {
            if (rest[i] == '%') {
                const int hi = i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
                const int lo = hi >= 0 ? HexValue(rest[i + 2]) : -1;
                if (lo < 0) {
                    bad = true;
                    break;
                }
                path.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
            } else {
                path.push_back(rest[i]);
            }
        }
        // A zero byte cannot be in a file name; a path with one is forged.
        if (bad || path.find('\0') != std::string::npos) {
            continue;
        }
        // A name that is not UTF-8 cannot be named again from its text: any
        // attempt would open some other file, so it is left out.
        std::u16string wide = Utf8ToWide(path);
        if (WideToUtf8(wide) != path) {
            continue;
        }
        items.push_back(std::move(wide));
    }
    return items;
}

}  // namespace velcora
