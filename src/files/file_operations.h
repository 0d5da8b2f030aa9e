// What the file manager does with the entries of a panel, apart from drawing
// them: paths and separators, the size column, sorting, and the operations
// that ask the operator (delete, create folder, rename, open). The operator
// is reached through IFilePrompts, which the window and the command-line
// client implement.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/file_system.h"
#include "link/text_codec.h"  // CompareNoCase, which the panels sort by

namespace velcora {

// ------------------------------------------------------------------ paths

// "C:..." style paths join with a backslash, every other path with a slash.
bool IsDriveLetterPath(std::u16string_view path);
char16_t SeparatorOf(std::u16string_view path);
// The folder, its separator (none when it already ends in one) and the name.
std::u16string JoinPanelPath(std::u16string_view folder, std::u16string_view name);
// Paths built for copying, creating folders and renaming join with a slash.
std::u16string JoinSlash(std::u16string_view folder, std::u16string_view name);
// The part after the last slash or backslash (trailing separators ignored).
std::u16string LastComponent(std::u16string_view path);
// The folder without its last component; the root stays the root.
std::u16string ParentFolder(std::u16string_view folder);
// "C:" for drive-letter paths, otherwise "/".
std::u16string RootOf(std::u16string_view folder);

// ---------------------------------------------------------------- texts

// The size column: nothing for folders, else "%d G", "%d M", "%d k" or bytes.
std::u16string SizeText(const CDirEntry& entry);
// объект / объекта / объектов for a count of n.
std::u16string ObjectsWord(int64_t n);
// The question before deleting the given names.
std::u16string DeleteQuestion(const std::vector<std::u16string>& names);
std::u16string Format1(std::u16string_view pattern, std::u16string_view value);

// The dialog label for a path: the path, or "..." and its last 58 characters
// when it has 64 or more.
std::u16string CopyLabel(std::u16string_view path);

// ------------------------------------------------------------- the list

enum class SortMode : int { ByName = 0, ByExtension = 1, BySize = 2 };

// Folders before files, ".." before everything, then by the mode's key.
void SortEntries(std::vector<CDirEntry>& entries, SortMode mode);
// A listing as a panel shows it: without the folder's own "." entry.
std::vector<CDirEntry> PanelEntries(std::vector<CDirEntry> listing, SortMode mode);

// --------------------------------------------------------- the operator

enum class FailureAnswer { Cancel, TryAgain, Continue };
enum class Outcome { GoOn, Stop };

class IFilePrompts {
  public:
    virtual ~IFilePrompts() = default;
    // A failed step: caption "Ошибка", error icon, Cancel / Try again / Continue.
    virtual FailureAnswer AskFailure(const std::u16string& text) = 0;
    // Yes (true) or No.
    virtual bool AskYesNo(const std::u16string& caption, const std::u16string& text) = 0;
    // Retry (true) or Cancel; caption "Ошибка".
    virtual bool AskRetry(const std::u16string& text) = 0;
    // An error box captioned "Ошибка" that closes itself after `timeoutMs`
    // (0: stays until the operator closes it).
    virtual void ShowError(const std::u16string& text, uint32_t timeoutMs) = 0;
    // A line of text, or nothing when the operator cancels.
    virtual std::optional<std::u16string> AskText(const std::u16string& title,
                                                  const std::u16string& prompt) = 0;
    // An entry the robot listed whose name could reach outside its folder
    // was left out; `path` is its folder and name as listed.
    virtual void Skipped(const std::u16string& path) = 0;
};

// Deletes the selected entries of `folder`, last to first, folders with
// everything in them, after the operator confirms. "." and ".." are never
// deleted. Stop when the operator cancelled (or declined).
Outcome DeleteEntries(CFileSystem& fs, std::u16string_view folder,
                      const std::vector<CDirEntry>& selection, IFilePrompts& prompts);
// Deletes one entry without asking first (the prompts come on failure only).
Outcome DeleteEntry(CFileSystem& fs, std::u16string_view folder, const CDirEntry& entry,
                    IFilePrompts& prompts);

bool HasForbiddenCharacters(std::u16string_view name);
// Asks for a name until it is acceptable and creates the folder; the new
// name, or nothing when the operator gave up.
std::optional<std::u16string> CreateFolder(CFileSystem& fs, std::u16string_view folder,
                                           IFilePrompts& prompts);
// Renames `oldName` to `newName` in the folder; the same name does nothing.
// False (after telling the operator) when the rename failed.
bool RenameEntry(CFileSystem& fs, std::u16string_view folder, std::u16string_view oldName,
                 std::u16string_view newName, IFilePrompts& prompts);

// What opening an entry did.
enum class OpenResult { FolderChanged, Executed, Failed };
// ".": the root; "..": the parent; a folder: into it; a file: Execute on its
// side (the operator is told when that fails). A folder change updates the
// file system's current path.
OpenResult OpenEntry(CFileSystem& fs, const CDirEntry& entry, IFilePrompts& prompts);

}  // namespace velcora
