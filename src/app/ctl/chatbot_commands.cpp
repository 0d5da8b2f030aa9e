// velcoractl commands for chat-bot scripts: offline check and format, and
// the robot's script fetched or replaced over the link.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "app/ctl/ctl.h"
#include "app/ctl/session.h"
#include "chatbot/chat_script.h"
#include "chatbot/chatbot_document.h"
#include "chatbot/chatbot_transfer.h"
#include "chatbot/question_match.h"
#include "chatbot/script_generator.h"
#include "chatbot/script_text.h"
#include "link/stream.h"
#include "link/text_codec.h"

namespace velcora::ctl {

namespace {

constexpr const char* kParseError = "Ошибка разбора текста!";
// The editor's transfer timer.
constexpr uint32_t kTransferTickMs = 50;
// A transfer that has not moved on for this long is given up (the editor would
// wait for the operator's cancel instead).
constexpr uint32_t kDefaultStallMs = 30000;

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    CMemoryStream s;
    if (!s.LoadFromFile(path)) {
        return false;
    }
    bytes.assign(s.View());
    return true;
}

// Reads FILE the way a downloaded script is decoded and read. Prints the
// reason and returns the exit code when that fails.
int LoadScript(const std::string& path, CChatScript& script) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        std::fprintf(stderr, "velcoractl: cannot read %s\n", path.c_str());
        return kExitFailed;
    }
    if (!LoadScriptBytes(bytes, script)) {
        std::fprintf(stderr, "%s\n", kParseError);
        return kExitFailed;
    }
    return kExitDone;
}

int Check(Args& args) {
    const bool json = args.Flag("--json");
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    if (args.Rest().size() != 1) {
        return UsageError("chatbot check needs one FILE");
    }
    CChatScript script;
    if (int rc = LoadScript(args.Rest()[0], script); rc != kExitDone) {
        return rc;
    }
    const ChatScriptCounts c = CountScript(script);
    if (json) {
        std::printf(
            "{\"framesets\":%lld,\"frames\":%lld,\"questions\":%lld,\"answers\":%lld,"
            "\"dialogues\":%lld,\"prompts\":%lld}\n",
            static_cast<long long>(c.framesets), static_cast<long long>(c.frames),
            static_cast<long long>(c.questions), static_cast<long long>(c.answers),
            static_cast<long long>(c.dialogues), static_cast<long long>(c.prompts));
    } else {
        std::printf(
            "framesets: %lld\nframes:    %lld\nquestions: %lld\nanswers:   %lld\n"
            "dialogues: %lld\nprompts:   %lld\n",
            static_cast<long long>(c.framesets), static_cast<long long>(c.frames),
            static_cast<long long>(c.questions), static_cast<long long>(c.answers),
            static_cast<long long>(c.dialogues), static_cast<long long>(c.prompts));
    }
    return kExitDone;
}

int Format(Args& args) {
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    if (args.Rest().size() != 1) {
        return UsageError("chatbot format needs one FILE");
    }
    CChatScript script;
    if (int rc = LoadScript(args.Rest()[0], script); rc != kExitDone) {
        return rc;
    }
    const std::string text = WideToUtf8(GenerateScript(script));
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        return kExitFailed;
    }
    return kExitDone;
}

// Which questions of FILE a spoken QUESTION matches; exit 1 when none does.
int Match(Args& args) {
    const bool json = args.Flag("--json");
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    if (args.Rest().size() != 2) {
        return UsageError("chatbot match needs FILE and QUESTION");
    }
    CChatScript script;
    if (int rc = LoadScript(args.Rest()[0], script); rc != kExitDone) {
        return rc;
    }
    const std::vector<QuestionMatch> matches = MatchQuestion(script, Utf8ToWide(args.Rest()[1]));
    if (json) {
        std::string out = "[";
        for (std::size_t i = 0; i < matches.size(); ++i) {
            const QuestionMatch& m = matches[i];
            out += i ? ",{" : "{";
            out += "\"frameset\":" + JsonString(WideToUtf8(m.framesetName)) + ",\"path\":[";
            for (std::size_t k = 0; k < m.frameset.size(); ++k) {
                out += (k ? "," : "") + std::to_string(m.frameset[k]);
            }
            out += "],\"frame\":" + std::to_string(m.frame) +
                   ",\"question\":" + std::to_string(m.question) +
                   ",\"pattern\":" + JsonString(WideToUtf8(m.questionText)) + "}";
        }
        out += "]\n";
        std::fputs(out.c_str(), stdout);
    } else {
        for (const QuestionMatch& m : matches) {
            std::printf("%s\n", WideToUtf8(DescribeMatch(m)).c_str());
        }
        if (matches.empty()) {
            std::fprintf(stderr, "Совпадений нет\n");
        }
    }
    return matches.empty() ? kExitFailed : kExitDone;
}

// Progress on stderr: a line at the start, at every tenth of the way and at
// the end.
class ProgressPrinter : public IChatBotTransferView {
  public:
    explicit ProgressPrinter(const char* what) : what_(what) {}
    void OnProgress(int32_t done, int32_t total) override {
        ++moves;
        if (total <= 0) {
            return;
        }
        const int tenth = static_cast<int>(int64_t{done} * 10 / total);
        if (tenth != lastTenth_) {
            lastTenth_ = tenth;
            std::fprintf(stderr, "%s: %d of %d bytes\n", what_, done, total);
        }
    }
    void OnFinished(TransferResult r) override {
        finished = true;
        result = r;
    }

    int moves = 0;
    bool finished = false;
    TransferResult result = TransferResult::kRunning;

  private:
    const char* what_;
    int lastTenth_ = -1;
};

// Drives a transfer on the session's loop until it ends, the link is lost or
// the robot stops moving it on for `stallMs`.
template <typename Transfer>
int RunTransfer(Session& session, Transfer& transfer, ProgressPrinter& view, uint32_t stallMs) {
    Ticker ticker(
        session.Reactor(), [&](int32_t elapsed) { transfer.Tick(elapsed); }, kTransferTickMs);
    transfer.Start();
    while (!view.finished) {
        const int before = view.moves;
        const auto outcome =
            session.RunUntil([&] { return view.finished || view.moves != before; }, stallMs);
        if (outcome != Session::Outcome::Done) {
            transfer.Cancel();
            return session.ExitFor(outcome, "velcoractl: the robot stopped answering");
        }
    }
    ticker.Stop();
    // The closing request of a download is still to go out.
    session.RunUntil([&] { return session.Link().QueuedBytes() == 0; }, 2000);
    return kExitDone;
}

bool TakeStall(Args& args, uint32_t& stallMs, std::string& error) {
    if (auto v = args.Option("--timeout")) {
        long long ms = 0;
        if (!ParseInt(*v, ms) || ms < 1 || ms > 3600000) {
            error = "--timeout needs a number of milliseconds";
            return false;
        }
        stallMs = static_cast<uint32_t>(ms);
    }
    return true;
}

// The options of an online transfer and its one file argument: kExitDone, or
// the usage error's code with the error printed.
int TakeTransferArgs(Args& args, ConnectionOptions& options, uint32_t& stallMs,
                     const char* fileUsage) {
    std::string error;
    if (!TakeConnectionOptions(args, options, error) || !TakeStall(args, stallMs, error)) {
        return UsageError(error);
    }
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    if (args.Rest().size() != 1) {
        return UsageError(fileUsage);
    }
    return kExitDone;
}

int Pull(Args& args) {
    ConnectionOptions options;
    uint32_t stallMs = kDefaultStallMs;
    if (const int rc = TakeTransferArgs(args, options, stallMs, "chatbot pull needs one OUT file");
        rc != kExitDone) {
        return rc;
    }
    const std::string out = args.Rest()[0];

    Session session(options);
    if (const int rc = session.Open(); rc != kExitDone) {
        return rc;
    }
    ProgressPrinter view("chatbot pull");
    CChatBotDownload download(session.Link(), view);
    if (const int rc = RunTransfer(session, download, view, stallMs); rc != kExitDone) {
        return rc;
    }
    if (view.result == TransferResult::kTooLarge) {
        std::fprintf(stderr, "velcoractl: the robot's script is larger than %d bytes\n",
                     kChatBotMaxScript);
        return kExitFailed;
    }
    if (!ReplaceFile(out, download.Bytes())) {
        std::fprintf(stderr, "velcoractl: cannot write %s\n", out.c_str());
        return kExitFailed;
    }
    // The bytes are kept as the robot has them; a script that does not read
    // is still reported, as the editor would.
    CChatScript script;
    if (!LoadScriptBytes(download.Bytes(), script)) {
        std::fprintf(stderr, "%s\n", kParseError);
        return kExitFailed;
    }
    return kExitDone;
}

int Push(Args& args) {
    ConnectionOptions options;
    uint32_t stallMs = kDefaultStallMs;
    if (const int rc = TakeTransferArgs(args, options, stallMs, "chatbot push needs one IN file");
        rc != kExitDone) {
        return rc;
    }
    // What goes to the robot is the regenerated script in the file's encoding,
    // as the editor sends it.
    std::string bytes;
    if (!ReadWholeFile(args.Rest()[0], bytes)) {
        std::fprintf(stderr, "velcoractl: cannot read %s\n", args.Rest()[0].c_str());
        return kExitFailed;
    }
    CChatBotDocument document;
    if (!document.LoadBytes(bytes)) {
        std::fprintf(stderr, "%s\n", kParseError);
        return kExitFailed;
    }
    bytes = document.ScriptBytes();
    // The robot could not hand back a larger one.
    if (bytes.size() > static_cast<std::size_t>(kChatBotMaxScript)) {
        std::fprintf(stderr, "velcoractl: the script is larger than %d bytes\n", kChatBotMaxScript);
        return kExitFailed;
    }

    Session session(options);
    if (const int rc = session.Open(); rc != kExitDone) {
        return rc;
    }
    ProgressPrinter view("chatbot push");
    CChatBotUpload upload(session.Link(), view, std::move(bytes));
    return RunTransfer(session, upload, view, stallMs);
}

// "chatbot SUB ...": the subcommand picks the rest of the arguments' meaning.
int Chatbot(Args& args) {
    if (args.Rest().empty() || args.Rest()[0].rfind("--", 0) == 0) {
        return UsageError("chatbot needs a subcommand: check, format, match, pull or push");
    }
    const std::string sub = args.Rest()[0];
    Args rest(std::vector<std::string>(args.Rest().begin() + 1, args.Rest().end()));
    if (sub == "check") {
        return Check(rest);
    }
    if (sub == "format") {
        return Format(rest);
    }
    if (sub == "match") {
        return Match(rest);
    }
    if (sub == "pull") {
        return Pull(rest);
    }
    if (sub == "push") {
        return Push(rest);
    }
    return UsageError("unknown chatbot subcommand: " + sub);
}

}  // namespace

void RegisterChatbotCommands(Registry& registry) {
    registry.Add(
        {"chatbot",
         std::string("chatbot check [--json] FILE | chatbot format FILE | chatbot match [--json] "
                     "FILE QUESTION | chatbot pull "
                     "[--timeout MS] ") +
             kConnectionSynopsis + " OUT | chatbot push [--timeout MS] " + kConnectionSynopsis +
             " IN",
         "chat-bot scripts: count or regenerate a file; list the questions a spoken text "
         "matches; fetch the robot's script into OUT or replace it with IN",
         Chatbot});
}

}  // namespace velcora::ctl
