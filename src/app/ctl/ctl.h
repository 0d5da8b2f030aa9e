// The command-line client's plumbing: argument access, the command table and
// the exit codes every command shares.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velcora::ctl {

enum ExitCode : int {
    kExitDone = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitNoConnection = 3,
    kExitWrongPassword = 4,
};

// Arguments of one command: options are taken out by name, what remains are
// the positional arguments in order.
class Args {
  public:
    explicit Args(std::vector<std::string> args) : args_(std::move(args)) {}

    // "--name" present (removed).
    bool Flag(std::string_view name);
    // "--name VALUE" or "--name=VALUE" (removed); nullopt when absent. A
    // missing value is remembered as an error.
    std::optional<std::string> Option(std::string_view name);
    // All values of a repeatable option.
    std::vector<std::string> Options(std::string_view name);
    // Positional arguments left after the options were taken.
    const std::vector<std::string>& Rest() const { return args_; }
    // An error found while taking options, or an unknown option left over.
    std::optional<std::string> Error() const;

  private:
    std::vector<std::string> args_;
    std::optional<std::string> error_;
};

struct Command {
    std::string name;      // "status", "navm", ...
    std::string synopsis;  // shown in the usage
    std::string summary;   // one line
    std::function<int(Args&)> run;
    // Words that may follow the name ("pull", "push"), for completion; when
    // empty, the completion table's entry for the name is used.
    std::vector<std::string> subcommands = {};
};

class Registry {
  public:
    void Add(Command command) { commands_.push_back(std::move(command)); }
    const std::vector<Command>& Commands() const { return commands_; }
    const Command* Find(std::string_view name) const;

  private:
    std::vector<Command> commands_;
};

// Prints "velcoractl: TEXT" to stderr and returns kExitUsage.
int UsageError(const std::string& text);
// Prints "velcoractl: TEXT" to stderr and returns kExitFailed.
int Failed(const std::string& text);
// A text from the robot made safe for a terminal: control characters (C0, DEL
// and C1, which can clear the screen or retitle the window) become '?'.
std::string Printable(std::string_view utf8);
// The arguments with the command's name first: connection options given
// before the name ("--host H map pull OUT") move behind the command's own
// arguments, so that every command sees its subcommand first.
std::vector<std::string> CommandFirst(std::vector<std::string> args);
// A UTF-8 text as a quoted JSON string.
std::string JsonString(std::string_view utf8);
// Parses a whole decimal number; false for anything else.
bool ParseInt(std::string_view text, long long& value);
bool ParseDouble(std::string_view text, double& value);

// Every group of commands registers itself here; main calls them in turn.
void RegisterInfoCommands(Registry& registry);
void RegisterLinkCommands(Registry& registry);
void RegisterControlCommands(Registry& registry);
void RegisterNavCommands(Registry& registry);
void RegisterCyclogramCommands(Registry& registry);
void RegisterChatbotCommands(Registry& registry);
void RegisterFilesCommands(Registry& registry);
void RegisterMediaCommands(Registry& registry);
void RegisterDesktopCommands(Registry& registry);
void RegisterSessionCommands(Registry& registry);
// "completion bash|zsh": the shell completion script for the registry's
// commands (register it last, it lists what is registered by then).
void RegisterCompletionCommands(Registry& registry);
std::string CompletionScript(const Registry& registry, std::string_view shell);

}  // namespace velcora::ctl
