// velcoractl commands for chat-bot scripts.
#include <cstdio>
#include <string>

#include "app/ctl/ctl.h"
#include "chatbot/chat_script.h"
#include "chatbot/script_generator.h"
#include "chatbot/script_text.h"
#include "link/stream.h"
#include "link/text_codec.h"

namespace velcora::ctl {

namespace {

constexpr const char* kParseError = "Ошибка разбора текста!";

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

// "chatbot SUB ...": the subcommand picks the rest of the arguments' meaning.
int Chatbot(Args& args) {
    if (args.Rest().empty() || args.Rest()[0].rfind("--", 0) == 0) {
        return UsageError("chatbot needs a subcommand: check or format");
    }
    const std::string sub = args.Rest()[0];
    Args rest(std::vector<std::string>(args.Rest().begin() + 1, args.Rest().end()));
    if (sub == "check") {
        return Check(rest);
    }
    if (sub == "format") {
        return Format(rest);
    }
    return UsageError("unknown chatbot subcommand: " + sub);
}

}  // namespace

void RegisterChatbotCommands(Registry& registry) {
    registry.Add({"chatbot", "chatbot check [--json] FILE | chatbot format FILE",
                  "read a chat-bot script file: print its counts, or print it regenerated",
                  Chatbot});
}

}  // namespace velcora::ctl
