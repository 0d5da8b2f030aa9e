// velcoractl: the command-line client over the console's own link and
// protocol code.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/ctl/ctl.h"
#include "app/ctl/session.h"
#include "app/version.h"

namespace {

using velcora::ctl::Registry;

void PrintUsage(const Registry& registry, std::FILE* to) {
    std::fprintf(to,
                 "usage: velcoractl [--help] [--version] COMMAND [ARGS...]\n\n"
                 "Commands:\n");
    // The synopsis on a line of its own, the summary indented below it: some
    // synopses are longer than a terminal line.
    for (const auto& c : registry.Commands()) {
        std::fprintf(to, "  %s\n        %s\n", c.synopsis.c_str(), c.summary.c_str());
    }
    std::fprintf(to,
                 "\nExit codes: 0 done, 1 the operation failed, 2 usage, 3 no connection,\n"
                 "4 wrong password.\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    Registry registry;
    velcora::ctl::RegisterInfoCommands(registry);
    velcora::ctl::RegisterLinkCommands(registry);
    velcora::ctl::RegisterControlCommands(registry);
    velcora::ctl::RegisterNavCommands(registry);
    velcora::ctl::RegisterCyclogramCommands(registry);
    velcora::ctl::RegisterChatbotCommands(registry);
    velcora::ctl::RegisterFilesCommands(registry);
    velcora::ctl::RegisterMediaCommands(registry);
    velcora::ctl::RegisterDesktopCommands(registry);
    velcora::ctl::RegisterSessionCommands(registry);
    velcora::ctl::RegisterCompletionCommands(registry);

    velcora::ctl::SetRecordedVersion(std::string("velcoractl ") + velcora::VersionText());
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintUsage(registry, stderr);
        return velcora::ctl::kExitUsage;
    }
    const std::string& first = args.front();
    if (first == "--help" || first == "-h" || first == "help") {
        PrintUsage(registry, stdout);
        return velcora::ctl::kExitDone;
    }
    if (first == "--version") {
        std::printf("velcoractl %s\n", velcora::VersionText());
        return velcora::ctl::kExitDone;
    }
    // Connection options may come before the command ("velcoractl --host H
    // status").
    args = velcora::ctl::CommandFirst(std::move(args));
    if (args.empty() || (args.front().size() > 1 && args.front()[0] == '-')) {
        PrintUsage(registry, stderr);
        return velcora::ctl::kExitUsage;
    }
    const velcora::ctl::Command* command = registry.Find(args.front());
    if (!command) {
        std::fprintf(stderr, "velcoractl: unknown command '%s'\n\n", args.front().c_str());
        PrintUsage(registry, stderr);
        return velcora::ctl::kExitUsage;
    }
    velcora::ctl::Args rest(std::vector<std::string>(args.begin() + 1, args.end()));
    if (rest.Flag("--help")) {
        std::printf("usage: velcoractl %s\n  %s\n", command->synopsis.c_str(),
                    command->summary.c_str());
        return velcora::ctl::kExitDone;
    }
    return command->run(rest);
}
