// velcoractl commands for the robot's file system: list, copy both ways,
// delete, create, rename, open, restart. Failures are put through the same
// prompts the file manager uses, answered by --on-error.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/ctl/ctl.h"
#include "app/ctl/session.h"
#include "files/copy_engine.h"
#include "files/local_file_system.h"
#include "files/policy_prompts.h"
#include "files/reactor_pump.h"
#include "files/remote_file_system.h"
#include "files/transfer_rate.h"
#include "link/text_codec.h"

namespace velcora::ctl {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
}

// Ctrl+C during a copy presses "Отмена": the file being copied is discarded
// rather than left half-written.
class InterruptAsCancel {
  public:
    InterruptAsCancel() {
        g_interrupted = 0;
        previous_ = std::signal(SIGINT, OnInterrupt);
    }
    ~InterruptAsCancel() { std::signal(SIGINT, previous_); }
    InterruptAsCancel(const InterruptAsCancel&) = delete;
    InterruptAsCancel& operator=(const InterruptAsCancel&) = delete;

  private:
    void (*previous_)(int) = SIG_DFL;
};

std::string Utf8(std::u16string_view text) {
    return WideToUtf8(text);
}

// The prompts of the policy, printed on stderr as they come. A robot that is
// gone for good ends the operation whatever the policy says: every further
// item would only wait out its time-outs.
class CtlPrompts : public CPolicyPrompts {
  public:
    CtlPrompts(OnError policy, const IRobotLink* link) : CPolicyPrompts(policy), link_(link) {}

    FailureAnswer AskFailure(const std::u16string& text) override {
        Print(text);
        const FailureAnswer a = CPolicyPrompts::AskFailure(text);
        return RobotGone() ? FailureAnswer::Cancel : a;
    }
    bool AskRetry(const std::u16string& text) override {
        Print(text);
        return CPolicyPrompts::AskRetry(text) && !RobotGone();
    }
    void ShowError(const std::u16string& text, uint32_t timeoutMs) override {
        Print(text);
        CPolicyPrompts::ShowError(text, timeoutMs);
    }
    void Skipped(const std::u16string& path) override {
        std::fprintf(stderr, "skipped %s: the name could lead outside its folder\n",
                     Printable(Utf8(path)).c_str());
        CPolicyPrompts::Skipped(path);
    }

    bool RobotGone() const {
        if (!link_) {
            return false;
        }
        const int32_t s = link_->State();
        return s == kStateIdle || s == kStateFailed || s == kStateRefused;
    }

  private:
    static void Print(const std::u16string& text) {
        std::fprintf(stderr, "%s\n", Printable(Utf8(text)).c_str());
    }
    const IRobotLink* link_;
};

// One line per file on stderr, with a running percentage, the speed and the
// time left on a terminal (the figures of the console's copy dialog).
class CtlProgress : public ICopyProgress {
  public:
    explicit CtlProgress(std::function<uint32_t()> clock)
        : clock_(std::move(clock)), tty_(isatty(STDERR_FILENO) != 0) {}

    void Begin(int32_t) override { rate_.BeginList(clock_(), std::nullopt); }
    void ItemsDone(int32_t) override {}
    void FileStarted(const std::u16string& label, int32_t size) override {
        // Each file is started once before it is opened and again with its
        // size once it is: a file that cannot be opened is reported by its
        // failure text alone.
        EndLine();
        if (label != label_) {
            label_ = label;
            calls_ = 0;
        }
        size_ = size;
        last_ = 0;
        shownPercent_ = -1;
        rate_.BeginFile(clock_(), size);
        if (++calls_ == 2) {
            Announce();
        }
    }
    void FileProgress(int32_t copied) override {
        bytes_ += copied - last_;
        last_ = copied;
        const uint32_t now = clock_();
        rate_.FileProgress(now, copied);
        if (!tty_ || size_ < (1 << 20)) {
            return;
        }
        const int percent = static_cast<int>(int64_t{copied} * 100 / size_);
        // At most a few lines a second: the terminal is not the copy's pace.
        if (percent != shownPercent_ && (percent == 100 || now - shownAt_ >= 200)) {
            shownPercent_ = percent;
            shownAt_ = now;
            const std::string figures = Utf8(rate_.Text());
            std::fprintf(stderr, "\r%s %d%%%s%s\033[K", Printable(Utf8(label_)).c_str(), percent,
                         figures.empty() ? "" : "  ", figures.c_str());
            inLine_ = true;
        }
    }
    bool CancelRequested() override { return g_interrupted != 0; }
    void End() override { EndLine(); }

    int files = 0;
    int64_t bytes_ = 0;

  private:
    void Announce() {
        ++files;
        std::fprintf(stderr, "%s (%s)", Printable(Utf8(label_)).c_str(),
                     Utf8(SizeText({u"", false, static_cast<uint64_t>(size_), false})).c_str());
        if (tty_ && size_ >= (1 << 20)) {
            inLine_ = true;
        } else {
            std::fprintf(stderr, "\n");
        }
    }
    void EndLine() {
        if (inLine_) {
            std::fprintf(stderr, "\n");
        }
        inLine_ = false;
    }

    std::function<uint32_t()> clock_;
    CTransferRate rate_;
    uint32_t shownAt_ = 0;
    bool tty_;
    bool inLine_ = false;
    std::u16string label_;
    int calls_ = 0;
    int32_t size_ = 0;
    int32_t last_ = 0;
    int shownPercent_ = -1;
};

bool IsRootPath(std::u16string_view path) {
    if (IsDriveLetterPath(path)) {
        return path.size() == 2 || (path.size() == 3 && (path[2] == u'\\' || path[2] == u'/'));
    }
    return path == u"/";
}

struct Subcommand {
    const char* name;
    std::size_t minOperands;
    std::size_t maxOperands;  // SIZE_MAX: any number
    const char* synopsis;
};

constexpr Subcommand kSubcommands[] = {
    {"drives", 0, 0, "drives"},
    {"ls", 1, 1, "ls PATH [--json]"},
    {"get", 2, 2, "get REMOTE_PATH LOCAL_DIR"},
    {"put", 2, 2, "put LOCAL_PATH REMOTE_DIR"},
    {"rm", 1, SIZE_MAX, "rm PATH..."},
    {"mkdir", 1, 1, "mkdir PATH"},
    {"mv", 2, 2, "mv OLD NEW"},
    {"open", 1, 1, "open PATH"},
    {"restart", 0, 0, "restart"},
};

class FsCommand {
  public:
    FsCommand(Session& session, OnError policy)
        : session_(session),
          pump_(session.Reactor()),  // the session ticks the connection itself
          remote_(session.Link(), pump_),
          prompts_(policy, &session.Link()) {}

    int Run(const std::string& sub, const std::vector<std::u16string>& operands, bool json) {
        int rc = kExitFailed;
        if (sub == "drives") {
            rc = Drives();
        } else if (sub == "ls") {
            rc = List(operands[0], json);
        } else if (sub == "get") {
            rc = Get(operands[0], operands[1]);
        } else if (sub == "put") {
            rc = Put(operands[0], operands[1]);
        } else if (sub == "rm") {
            rc = Remove(operands);
        } else if (sub == "mkdir") {
            rc = MakeFolder(operands[0]);
        } else if (sub == "mv") {
            rc = Move(operands[0], operands[1]);
        } else if (sub == "open") {
            rc = Open(operands[0]);
        } else if (sub == "restart") {
            rc = Restart();
        }
        if (rc != kExitDone && prompts_.RobotGone()) {
            std::fprintf(stderr, "Ошибка подключения!\n");
            return kExitNoConnection;
        }
        return rc;
    }

  private:
    int Result() const { return prompts_.HadFailures() ? kExitFailed : kExitDone; }

    int Drives() {
        std::vector<std::u16string> drives;
        if (!remote_.EnumDrives([&](const std::u16string& d) { drives.push_back(d); })) {
            std::fprintf(stderr, "velcoractl: the robot did not list its drives\n");
            return kExitFailed;
        }
        for (const auto& d : drives) {
            std::printf("%s\n", Printable(Utf8(d)).c_str());
        }
        return kExitDone;
    }

    int List(const std::u16string& path, bool json) {
        std::vector<CDirEntry> entries;
        if (!remote_.EnumDir(path, [&](const CDirEntry& e) { entries.push_back(e); })) {
            prompts_.ShowError(Format1(u"Невозможно получить оглавлении папки \"%s\"!", path), 0);
            return kExitFailed;
        }
        for (const auto& name : remote_.RejectedNames()) {
            prompts_.Skipped(JoinPanelPath(path, name));
        }
        entries = PanelEntries(std::move(entries), SortMode::ByName);
        std::erase_if(entries, [](const CDirEntry& e) { return e.name == u".."; });
        if (json) {
            std::string out = "[";
            for (const auto& e : entries) {
                if (out.size() > 1) {
                    out += ",";
                }
                out += "{\"name\":" + JsonString(Utf8(e.name)) +
                       ",\"isDirectory\":" + (e.isDirectory ? "true" : "false") +
                       ",\"size\":" + std::to_string(e.size) + "}";
            }
            std::printf("%s]\n", out.c_str());
        } else {
            for (const auto& e : entries) {
                std::printf("%8s  %s\n", e.isDirectory ? "<DIR>" : Utf8(SizeText(e)).c_str(),
                            Printable(Utf8(e.name)).c_str());
            }
        }
        return Result();
    }

    int Get(const std::u16string& source, const std::u16string& localDir) {
        std::error_code ec;
        const std::string native = Utf8(localDir);
        std::filesystem::create_directories(native, ec);
        if (!std::filesystem::is_directory(native, ec)) {
            prompts_.ShowError(Format1(u"Невозможно создать папку \"%s\"!", localDir), 0);
            return kExitFailed;
        }
        // A path the robot can list is a folder; anything else is taken for
        // a file and its failure texts say why it is not one.
        const bool folder = IsRootPath(source) || remote_.EnumDir(source, nullptr);
        return Copy(remote_, source, folder, local_, localDir);
    }

    int Put(const std::u16string& source, const std::u16string& remoteDir) {
        return Copy(local_, source, CLocalFileSystem::IsDirectory(source), remote_, remoteDir);
    }

    int Copy(CFileSystem& from, const std::u16string& source, bool folder, CFileSystem& to,
             const std::u16string& destFolder) {
        InterruptAsCancel interrupt;
        CtlProgress progress([this] { return pump_.Now(); });
        CCopyEngine engine(prompts_, progress);
        const uint32_t started = pump_.Now();
        // The same path as the file manager's paste of one item.
        const std::u16string item = &from == &remote_ ? (folder ? u"#" : u"@") + source : source;
        const Outcome o = engine.Paste({item}, &local_, &remote_, to, destFolder,
                                       [folder](const std::u16string&) { return folder; });
        const double seconds = (pump_.Now() - started) / 1000.0;
        const std::string speed =
            seconds > 0 ? " (" + Utf8(CTransferRate::SpeedText(progress.bytes_ / seconds)) + ")"
                        : std::string();
        std::fprintf(stderr, "%d file%s, %lld bytes in %.1f s%s%s\n", progress.files,
                     progress.files == 1 ? "" : "s", static_cast<long long>(progress.bytes_),
                     seconds, speed.c_str(), engine.Cancelled() ? " (cancelled)" : "");
        if (engine.Cancelled() || o == Outcome::Stop) {
            return prompts_.RobotGone() ? kExitNoConnection : kExitFailed;
        }
        return Result();
    }

    int Remove(const std::vector<std::u16string>& paths) {
        for (const auto& path : paths) {
            if (IsRootPath(path) || LastComponent(path).empty()) {
                prompts_.ShowError(Format1(u"Невозможно удалить директорию \"%s\"!", path), 0);
                continue;
            }
            CDirEntry entry;
            entry.name = LastComponent(path);
            entry.isDirectory = remote_.EnumDir(path, nullptr);
            if (DeleteEntry(remote_, ParentFolder(path), entry, prompts_) == Outcome::Stop) {
                return kExitFailed;
            }
        }
        return Result();
    }

    int MakeFolder(const std::u16string& path) {
        if (IsRootPath(path)) {
            prompts_.ShowError(Format1(u"Невозможно создать папку \"%s\"!", path), 0);
            return kExitFailed;
        }
        prompts_.SetAnswer(LastComponent(path));
        return CreateFolder(remote_, ParentFolder(path), prompts_) ? Result() : kExitFailed;
    }

    int Move(const std::u16string& from, const std::u16string& to) {
        const std::u16string folder = ParentFolder(from);
        // A bare new name stays in the old one's folder.
        const bool bare =
            to.find_first_of(u"/\\") == std::u16string::npos && !IsDriveLetterPath(to);
        if (IsRootPath(from)) {
            prompts_.ShowError(u"Невозможно переименовать файл!", 0);
            return kExitFailed;
        }
        if (bare) {
            return RenameEntry(remote_, folder, LastComponent(from), to, prompts_) ? Result()
                                                                                   : kExitFailed;
        }
        if (!remote_.Rename(from, to)) {
            prompts_.ShowError(u"Невозможно переименовать файл!", 10000);
            return kExitFailed;
        }
        return kExitDone;
    }

    int Open(const std::u16string& path) {
        CDirEntry entry;
        entry.name = LastComponent(path);
        remote_.SetCurrentPath(ParentFolder(path));
        return OpenEntry(remote_, entry, prompts_) == OpenResult::Executed ? kExitDone
                                                                           : kExitFailed;
    }

    int Restart() {
        if (!SendRestart(session_.Link())) {
            std::fprintf(stderr, "Ошибка подключения!\n");
            return kExitNoConnection;
        }
        // Sent means on its way out, not just queued.
        const auto outcome =
            session_.RunUntil([&] { return session_.Link().QueuedBytes() == 0; }, 5000);
        return session_.ExitFor(outcome, "velcoractl: the restart request could not be sent");
    }

    Session& session_;
    CReactorPump pump_;
    CRemoteFileSystem remote_;
    CLocalFileSystem local_;
    CtlPrompts prompts_;
};

int Fs(Args& args) {
    ConnectionOptions options;
    std::string error;
    const bool json = args.Flag("--json");
    const auto onError = args.Option("--on-error");
    if (!TakeConnectionOptions(args, options, error))
        return UsageError(error);
    if (auto e = args.Error())
        return UsageError(*e);
    OnError policy = OnError::Stop;
    if (onError) {
        if (*onError == "skip")
            policy = OnError::Skip;
        else if (*onError == "retry")
            policy = OnError::Retry;
        else if (*onError != "stop")
            return UsageError("--on-error takes stop, skip or retry");
    }
    const auto& rest = args.Rest();
    if (rest.empty())
        return UsageError(
            "fs needs a subcommand: drives, ls, get, put, rm, mkdir, mv, open or restart");
    const std::string& sub = rest[0];
    const Subcommand* command = nullptr;
    for (const auto& s : kSubcommands) {
        if (sub == s.name)
            command = &s;
    }
    if (!command)
        return UsageError("unknown fs subcommand " + sub);
    const std::size_t n = rest.size() - 1;
    if (n < command->minOperands || n > command->maxOperands)
        return UsageError(std::string("usage: fs ") + command->synopsis);
    if (json && sub != "ls")
        return UsageError("--json goes with fs ls only");
    std::vector<std::u16string> operands;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        if (rest[i].empty())
            return UsageError("fs " + sub + ": an empty path");
        operands.push_back(Utf8ToWide(rest[i]));
    }

    Session session(options);
    if (const int rc = session.Open(); rc != kExitDone)
        return rc;
    FsCommand fs(session, policy);
    return fs.Run(sub, operands, json);
}

}  // namespace

void RegisterFilesCommands(Registry& registry) {
    registry.Add({"fs",
                  std::string("fs drives|ls PATH [--json]|get REMOTE_PATH LOCAL_DIR|"
                              "put LOCAL_PATH REMOTE_DIR|rm PATH...|mkdir PATH|mv OLD NEW|"
                              "open PATH|restart [--on-error stop|skip|retry] ") +
                      kConnectionSynopsis,
                  "the robot's disk: list, copy both ways, delete, create, rename, open, restart",
                  Fs});
}

}  // namespace velcora::ctl
