#include "files/file_operations.h"

#include <algorithm>
#include <tuple>

#include "files/remote_file_system.h"

namespace velcora {
namespace {

bool IsSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

std::u16string_view WithoutTrailingSeparators(std::u16string_view path) {
    while (path.size() > 1 && IsSeparator(path.back())) {
        path.remove_suffix(1);
    }
    return path;
}

std::u16string_view ExtensionKey(std::u16string_view name) {
    const auto dot = name.rfind(u'.');
    return dot == std::u16string_view::npos ? name : name.substr(dot);
}

std::u16string Decimal(int64_t n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace

bool IsDriveLetterPath(std::u16string_view path) {
    return path.size() >= 2 && path[1] == u':';
}

char16_t SeparatorOf(std::u16string_view path) {
    return IsDriveLetterPath(path) ? u'\\' : u'/';
}

std::u16string JoinPanelPath(std::u16string_view folder, std::u16string_view name) {
    std::u16string out(folder);
    if (out.empty() || !IsSeparator(out.back())) {
        out.push_back(SeparatorOf(folder));
    }
    out.append(name);
    return out;
}

std::u16string JoinSlash(std::u16string_view folder, std::u16string_view name) {
    std::u16string out(folder);
    // A root that already ends in a separator ("/", "C:\") takes no second one.
    if (out.empty() || !IsSeparator(out.back())) {
        out.push_back(u'/');
    }
    out.append(name);
    return out;
}

std::u16string LastComponent(std::u16string_view path) {
    path = WithoutTrailingSeparators(path);
    std::size_t at = path.size();
    while (at > 0 && !IsSeparator(path[at - 1])) {
        --at;
    }
    return std::u16string(path.substr(at));
}

std::u16string ParentFolder(std::u16string_view folder) {
    folder = WithoutTrailingSeparators(folder);
    std::size_t at = folder.size();
    while (at > 0 && !IsSeparator(folder[at - 1])) {
        --at;
    }
    if (at == 0) {
        return std::u16string(folder);  // "C:" or a bare name: nothing above
    }
    std::u16string parent(folder.substr(0, at - 1));
    // Dropping the only component of "/home" leaves the root, not nothing.
    return parent.empty() ? std::u16string(folder.substr(0, 1)) : parent;
}

std::u16string RootOf(std::u16string_view folder) {
    return IsDriveLetterPath(folder) ? std::u16string(folder.substr(0, 2)) : u"/";
}

std::u16string SizeText(const CDirEntry& entry) {
    if (entry.isDirectory) {
        return {};
    }
    const uint64_t s = entry.size;
    if (s > 1073741823ull) {
        return Decimal(static_cast<int64_t>(s >> 30)) + u" G";
    }
    if (s > 1048575ull) {
        return Decimal(static_cast<int64_t>(s >> 20)) + u" M";
    }
    if (s > 1023ull) {
        return Decimal(static_cast<int64_t>(s >> 10)) + u" k";
    }
    return Decimal(static_cast<int64_t>(s));
}

std::u16string ObjectsWord(int64_t n) {
    const int64_t tens = n % 100;
    const int64_t units = n % 10;
    if (tens >= 10 && tens <= 19) {
        return u"объектов";
    }
    if (units == 1) {
        return u"объект";
    }
    if (units >= 2 && units <= 4) {
        return u"объекта";
    }
    return u"объектов";
}

std::u16string Format1(std::u16string_view pattern, std::u16string_view value) {
    std::u16string out(pattern);
    const auto at = out.find(u"%s");
    if (at != std::u16string::npos) {
        out.replace(at, 2, value);
    }
    return out;
}

std::u16string DeleteQuestion(const std::vector<std::u16string>& names) {
    if (names.size() == 1) {
        return Format1(u"Вы уверены, что хотите удалить \"%s\"?", names.front());
    }
    const auto n = static_cast<int64_t>(names.size());
    return u"Вы уверены, что хоите удалить " + Decimal(n) + u" " + ObjectsWord(n) + u"?";
}

std::u16string CopyLabel(std::u16string_view path) {
    if (path.size() < 64) {
        return std::u16string(path);
    }
    return u"..." + std::u16string(path.substr(path.size() - 58));
}

void SortEntries(std::vector<CDirEntry>& entries, SortMode mode) {
    auto less = [mode](const CDirEntry& a, const CDirEntry& b) {
        const bool aUp = a.name == u"..", bUp = b.name == u"..";
        if (aUp != bUp) {
            return aUp;
        }
        if (a.isDirectory != b.isDirectory) {
            return a.isDirectory;
        }
        int c = 0;
        if (mode == SortMode::ByExtension) {
            c = CompareNoCase(ExtensionKey(a.name), ExtensionKey(b.name));
        } else if (mode == SortMode::BySize && a.size != b.size) {
            return a.size < b.size;
        }
        if (c == 0) {
            c = CompareNoCase(a.name, b.name);
        }
        if (c == 0) {
            return a.name < b.name;
        }
        return c < 0;
    };
    std::stable_sort(entries.begin(), entries.end(), less);
}

std::vector<CDirEntry> PanelEntries(std::vector<CDirEntry> listing, SortMode mode) {
    std::erase_if(listing, [](const CDirEntry& e) { return e.name == u"."; });
    SortEntries(listing, mode);
    return listing;
}

// ---------------------------------------------------------------- delete

namespace {

// Runs `step` until it succeeds or the operator gives up on it.
template <typename Step>
std::optional<Outcome> WithPrompt(IFilePrompts& prompts, const std::u16string& text, Step step) {
    while (!step()) {
        switch (prompts.AskFailure(text)) {
            case FailureAnswer::TryAgain:
                continue;
            case FailureAnswer::Continue:
                return Outcome::GoOn;
            case FailureAnswer::Cancel:
                return Outcome::Stop;
        }
    }
    return std::nullopt;  // the step succeeded
}

void ReportRejected(CFileSystem& fs, std::u16string_view folder, IFilePrompts& prompts) {
    for (const auto& name : fs.RejectedNames()) {
        prompts.Skipped(JoinPanelPath(folder, name));
    }
}

Outcome DeleteFolderTree(CFileSystem& fs, const std::u16string& path, IFilePrompts& prompts) {
    std::vector<CDirEntry> entries;
    if (auto o = WithPrompt(
            prompts, Format1(u"Невозможно получить оглавлении папки \"%s\"!", path), [&] {
                entries.clear();
                return fs.EnumDir(path, [&](const CDirEntry& e) { entries.push_back(e); });
            })) {
        return *o;
    }
    ReportRejected(fs, path, prompts);
    for (const auto& e : entries) {
        if (DeleteEntry(fs, path, e, prompts) == Outcome::Stop) {
            return Outcome::Stop;
        }
    }
    if (auto o = WithPrompt(prompts, Format1(u"Невозможно удалить директорию \"%s\"!", path),
                            [&] { return fs.RemoveDirectory(path); })) {
        return *o;
    }
    return Outcome::GoOn;
}

}  // namespace

Outcome DeleteEntry(CFileSystem& fs, std::u16string_view folder, const CDirEntry& entry,
                    IFilePrompts& prompts) {
    if (entry.name == u"." || entry.name == u"..") {
        return Outcome::GoOn;
    }
    const std::u16string path = JoinPanelPath(folder, entry.name);
    if (!IsPlainEntryName(entry.name)) {
        prompts.Skipped(path);
        return Outcome::GoOn;
    }
    if (entry.isDirectory && !entry.isLink) {
        return DeleteFolderTree(fs, path, prompts);
    }
    if (entry.isDirectory) {
        // A link to a folder goes as a link; what it points to stays.
        if (auto o = WithPrompt(prompts, Format1(u"Невозможно удалить директорию \"%s\"!", path),
                                [&] { return fs.RemoveDirectory(path); })) {
            return *o;
        }
        return Outcome::GoOn;
    }
    if (auto o = WithPrompt(prompts, Format1(u"Невозможно удалить файл \"%s\"!", path),
                            [&] { return fs.DeleteFile(path); })) {
        return *o;
    }
    return Outcome::GoOn;
}

Outcome DeleteEntries(CFileSystem& fs, std::u16string_view folder,
                      const std::vector<CDirEntry>& selection, IFilePrompts& prompts) {
    std::vector<std::u16string> names;
    for (const auto& e : selection) {
        names.push_back(e.name);
    }
    if (names.empty() || !prompts.AskYesNo(u"Удалить", DeleteQuestion(names))) {
        return Outcome::Stop;
    }
    for (auto it = selection.rbegin(); it != selection.rend(); ++it) {
        if (DeleteEntry(fs, folder, *it, prompts) == Outcome::Stop) {
            return Outcome::Stop;
        }
    }
    return Outcome::GoOn;
}

// ------------------------------------------------- create, rename, open

bool HasForbiddenCharacters(std::u16string_view name) {
    return name.find_first_of(u"*+/:?\\|") != std::u16string_view::npos;
}

std::optional<std::u16string> CreateFolder(CFileSystem& fs, std::u16string_view folder,
                                           IFilePrompts& prompts) {
    for (;;) {
        auto name = prompts.AskText(u"Создание директории", u"Введите название директории:");
        if (!name || name->empty()) {
            return std::nullopt;
        }
        if (HasForbiddenCharacters(*name)) {
            prompts.ShowError(
                u"Название файла или директориии не должно содержать специальные символы!", 10000);
            continue;
        }
        const std::u16string path = JoinSlash(folder, *name);
        while (!fs.CreateDirectory(path)) {
            if (!prompts.AskRetry(Format1(u"Невозможно создать папку \"%s\"!", *name))) {
                return std::nullopt;
            }
        }
        return name;
    }
}

bool RenameEntry(CFileSystem& fs, std::u16string_view folder, std::u16string_view oldName,
                 std::u16string_view newName, IFilePrompts& prompts) {
    if (oldName == newName || newName.empty()) {
        return true;
    }
    if (oldName == u"..") {
        return false;
    }
    if (!fs.Rename(JoinSlash(folder, oldName), JoinSlash(folder, newName))) {
        prompts.ShowError(u"Невозможно переименовать файл!", 10000);
        return false;
    }
    return true;
}

OpenResult OpenEntry(CFileSystem& fs, const CDirEntry& entry, IFilePrompts& prompts) {
    if (!fs.CurrentPath()) {
        return OpenResult::Failed;
    }
    const std::u16string folder = *fs.CurrentPath();
    if (entry.name == u".") {
        fs.SetCurrentPath(RootOf(folder));
        return OpenResult::FolderChanged;
    }
    if (entry.name == u"..") {
        fs.SetCurrentPath(ParentFolder(folder));
        return OpenResult::FolderChanged;
    }
    if (entry.isDirectory) {
        fs.SetCurrentPath(JoinPanelPath(folder, entry.name));
        return OpenResult::FolderChanged;
    }
    if (!fs.Execute(JoinPanelPath(folder, entry.name))) {
        prompts.ShowError(
            Format1(u"Невозможно выполнить программу или открыть файл \"%s\"!", entry.name), 0);
        return OpenResult::Failed;
    }
    return OpenResult::Executed;
}

}  // namespace velcora
