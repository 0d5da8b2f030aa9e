#include "files/copy_engine.h"

#include <algorithm>
#include <optional>

#include "files/remote_file_system.h"

namespace velcora {
namespace {

enum class StepResult { Done, Skip, Stop };

// Runs `step` until it succeeds or the operator gives up on it.
template <typename Step>
StepResult Retrying(IFilePrompts& prompts, const std::u16string& text, Step step) {
    while (!step()) {
        switch (prompts.AskFailure(text)) {
            case FailureAnswer::TryAgain:
                continue;
            case FailureAnswer::Continue:
                return StepResult::Skip;
            case FailureAnswer::Cancel:
                return StepResult::Stop;
        }
    }
    return StepResult::Done;
}

// How the copy ends when a step was not done: a skipped step goes on with
// the next item, a cancelled one stops; nullopt when the step was done.
std::optional<Outcome> EndedBy(StepResult r) {
    switch (r) {
        case StepResult::Done:
            break;
        case StepResult::Skip:
            return Outcome::GoOn;
        case StepResult::Stop:
            return Outcome::Stop;
    }
    return std::nullopt;
}

// The copy's path inside `destFolder`. A name that is not a plain name ("..",
// or one with a separator) would put the copy somewhere else than the chosen
// folder: such an item is reported as skipped and nullopt returned.
std::optional<std::u16string> PlainTarget(IFilePrompts& prompts, const std::u16string& source,
                                          const std::u16string& destFolder) {
    const std::u16string name = LastComponent(source);
    if (!IsPlainEntryName(name)) {
        prompts.Skipped(source);
        return std::nullopt;
    }
    return JoinSlash(destFolder, name);
}

bool IsSeparator(char16_t c) {
    return c == u'/' || c == u'\\';
}

// Whether `inner` is `outer` or lies below it.
bool IsWithin(std::u16string_view inner, std::u16string_view outer) {
    while (outer.size() > 1 && IsSeparator(outer.back())) {
        outer.remove_suffix(1);
    }
    if (inner.size() < outer.size()) {
        return false;
    }
    // Drive-letter disks ignore case in names; the others do not.
    const std::u16string_view head = inner.substr(0, outer.size());
    if (IsDriveLetterPath(outer) ? CompareNoCase(head, outer) != 0 : head != outer) {
        return false;
    }
    return inner.size() == outer.size() || IsSeparator(inner[outer.size()]) ||
           IsSeparator(outer.back());
}

}  // namespace

CCopyEngine::CCopyEngine(IFilePrompts& prompts, ICopyProgress& progress)
    : prompts_(prompts), progress_(progress) {}

bool CCopyEngine::PollCancel() {
    if (!cancelled_ && progress_.CancelRequested()) {
        cancelled_ = true;
    }
    return cancelled_;
}

Outcome CCopyEngine::CopyFile(CFileSystem& from, const std::u16string& source, CFileSystem& to,
                              const std::u16string& destFolder) {
    const std::optional<std::u16string> plain = PlainTarget(prompts_, source, destFolder);
    if (!plain) {
        return Outcome::GoOn;
    }
    const std::u16string& target = *plain;
    progress_.FileStarted(CopyLabel(source), 0);

    int32_t size = -1;
    if (auto end =
            EndedBy(Retrying(prompts_, Format1(u"Невозможно открыть файл \"%s\"!", source), [&] {
                size = from.OpenRead(source);
                return size >= 0;
            }))) {
        return *end;
    }
    progress_.FileStarted(CopyLabel(source), size);

    // Whatever ends the copy early leaves no target behind.
    auto abandon = [&](bool started, Outcome outcome) {
        if (started) {
            to.BeginWrite(std::u16string());
        }
        from.CloseRead();
        return outcome;
    };
    auto answer = [&](StepResult r, bool started) { return abandon(started, *EndedBy(r)); };

    if (block_.empty()) {
        block_.resize(kBlockSize);
    }
    for (;;) {
        if (auto r = Retrying(prompts_, Format1(u"Невозможно создать файл \"%s\"!", target),
                              [&] { return to.BeginWrite(target); });
            r != StepResult::Done) {
            return answer(r, false);
        }
        int32_t offset = 0;
        while (offset < size) {
            const int32_t n = std::min(kBlockSize, size - offset);
            if (auto r = Retrying(prompts_, Format1(u"Невозможно прочитать файл \"%s\"!", source),
                                  [&] { return from.ReadAt(offset, block_.data(), n); });
                r != StepResult::Done) {
                return answer(r, true);
            }
            if (auto r = Retrying(prompts_, Format1(u"Невозможно записать файл \"%s\"!", target),
                                  [&] { return to.WriteAt(offset, block_.data(), n); });
                r != StepResult::Done) {
                return answer(r, true);
            }
            offset += n;
            progress_.FileProgress(offset);
            if (PollCancel()) {
                return abandon(true, Outcome::Stop);
            }
        }
        if (to.EndWrite()) {
            break;
        }
        // The file did not take its name: the copy is not there, so the
        // operator decides like for any failed write; trying again starts
        // the file over.
        const FailureAnswer a =
            prompts_.AskFailure(Format1(u"Невозможно записать файл \"%s\"!", target));
        if (a == FailureAnswer::Continue) {
            return abandon(false, Outcome::GoOn);
        }
        if (a == FailureAnswer::Cancel) {
            return abandon(false, Outcome::Stop);
        }
        progress_.FileStarted(CopyLabel(source), size);
    }
    from.CloseRead();
    return cancelled_ ? Outcome::Stop : Outcome::GoOn;
}

Outcome CCopyEngine::CopyFolder(CFileSystem& from, const std::u16string& source, CFileSystem& to,
                                const std::u16string& destFolder) {
    const std::optional<std::u16string> plain = PlainTarget(prompts_, source, destFolder);
    if (!plain) {
        return Outcome::GoOn;
    }
    const std::u16string& target = *plain;
    // A folder copied into itself or below itself on the same disk would
    // find its own copy in every listing and never end.
    const bool intoItself = &from == &to && IsWithin(destFolder, source);
    if (auto end = EndedBy(Retrying(prompts_, Format1(u"Невозможно создать папку \"%s\"!", target),
                                    [&] { return !intoItself && to.CreateDirectory(target); }))) {
        return *end;
    }
    if (PollCancel()) {
        return Outcome::Stop;
    }
    std::vector<CDirEntry> entries;
    if (auto end = EndedBy(Retrying(
            prompts_, Format1(u"Невозможно получить оглавлении папки \"%s\"!", source), [&] {
                entries.clear();
                return from.EnumDir(source, [&](const CDirEntry& e) { entries.push_back(e); });
            }))) {
        return *end;
    }
    for (const auto& rejected : from.RejectedNames()) {
        prompts_.Skipped(JoinSlash(source, rejected));
    }
    for (const auto& e : entries) {
        if (e.name == u"." || e.name == u"..") {
            continue;
        }
        const std::u16string child = JoinSlash(source, e.name);
        if (!IsPlainEntryName(e.name)) {
            prompts_.Skipped(child);
            continue;
        }
        Outcome o;
        if (e.isDirectory && e.isLink) {
            // Links inside a tree are not followed: one pointing upwards
            // would make the copy endless.
            prompts_.Skipped(child);
            o = Outcome::GoOn;
        } else if (e.isDirectory) {
            o = CopyFolder(from, child, to, target);
        } else {
            o = CopyFile(from, child, to, target);
        }
        if (o == Outcome::Stop || cancelled_) {
            return Outcome::Stop;
        }
    }
    return Outcome::GoOn;
}

Outcome CCopyEngine::Paste(const std::vector<std::u16string>& items, CFileSystem* local,
                           CFileSystem* remote, CFileSystem& to, const std::u16string& destFolder,
                           const std::function<bool(const std::u16string&)>& isLocalFolder) {
    cancelled_ = false;
    progress_.Begin(static_cast<int32_t>(items.size()));
    Outcome result = Outcome::GoOn;
    int32_t done = 0;
    for (const auto& item : items) {
        CFileSystem* from = local;
        std::u16string path = item;
        bool folder = false;
        if (!item.empty() && (item[0] == u'#' || item[0] == u'@')) {
            from = remote;
            folder = item[0] == u'#';
            path.erase(0, 1);
        } else {
            folder = isLocalFolder && isLocalFolder(path);
        }
        if (from && !path.empty()) {
            const Outcome o = folder ? CopyFolder(*from, path, to, destFolder)
                                     : CopyFile(*from, path, to, destFolder);
            if (o == Outcome::Stop || PollCancel()) {
                result = Outcome::Stop;
                break;
            }
        } else if (!path.empty()) {
            prompts_.Skipped(item);
        }
        progress_.ItemsDone(++done);
    }
    progress_.End();
    return result;
}

}  // namespace velcora
