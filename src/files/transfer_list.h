// The list of items a copy, paste or drag carries between panels and to and
// from the desktop. Our own panels exchange the file-drop block (robot items
// marked "#" for a folder and "@" for a file); the desktop's file managers
// exchange text/uri-list, which can only carry local files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_system.h"

namespace velcora {

inline constexpr char kFileListMimeType[] = "application/x-velcora-file-list";
inline constexpr char kUriListMimeType[] = "text/uri-list";

// The texts of a panel's selection: full paths, "#"/"@" in front for the
// robot's items; "." and ".." never go into a list.
std::vector<std::u16string> BuildTransferList(std::u16string_view folder,
                                              const std::vector<CDirEntry>& selection, bool remote);

// The file-drop block: a 20-byte header (list offset 20, the drop point,
// 1, 1 for wide names), one zero-terminated UTF-16 text per item, one more
// zero.
std::string EncodeFileDrop(const std::vector<std::u16string>& items, int32_t x = 0, int32_t y = 0);
// Accepts wide and narrow (ANSI) blocks. Nothing when the header is not a
// file-drop header or a text runs off the end.
std::optional<std::vector<std::u16string>> DecodeFileDrop(std::string_view block);

// Local files as "file://" URIs, one per line, percent-encoded UTF-8. Robot
// items have no place in it and are left out.
std::string EncodeUriList(const std::vector<std::u16string>& items);
// The local files of a uri-list: "file:" URIs of this machine only (no host,
// or "localhost") whose paths are UTF-8; comments and other schemes are
// left out.
std::vector<std::u16string> DecodeUriList(std::string_view text);

}  // namespace velcora
