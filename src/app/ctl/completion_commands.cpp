// Shell completion built from the command table, so that it never lists a
// command or option the program does not have.
#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "app/ctl/ctl.h"

namespace velcora::ctl {

namespace {

// The words after a command's name, where its synopsis lists them as
// alternatives in a form completion cannot read back.
const std::map<std::string, std::vector<std::string>, std::less<>>& SubcommandTable() {
    static const std::map<std::string, std::vector<std::string>, std::less<>> table = {
        {"navm", {"info", "dump", "resave", "pack", "unpack", "render"}},
        {"map", {"pull", "push", "mode", "permissions", "goto", "pose"}},
        {"cyclogram", {"ls", "pull", "push", "rm", "mv", "run", "dump", "value", "pose"}},
        {"wave", {"ls", "push", "rm"}},
        {"env", {"pull", "push", "dump", "motors", "set"}},
        {"chatbot", {"check", "format", "pull", "push", "match"}},
        {"fs", {"drives", "ls", "get", "put", "rm", "mkdir", "mv", "open", "restart"}},
        {"screen", {"grab", "watch", "click", "drag", "key", "type"}},
        {"mode", {"auto", "random-walk", "qr"}},
        {"park", {"start", "stop"}},
        {"lift", {"up", "down", "stop"}},
        {"tray", {"up", "down", "stop"}},
        {"autobalance", {"on", "off"}},
        {"completion", {"bash", "zsh"}},
        {"session", {"info", "export", "cut", "plot"}},
    };
    return table;
}

std::vector<std::string> SubcommandsOf(const Command& c) {
    if (!c.subcommands.empty())
        return c.subcommands;
    const auto& table = SubcommandTable();
    if (auto it = table.find(c.name); it != table.end()) {
        // Only the words this build's synopsis or handler knows: a word the
        // synopsis does not mention is left out.
        std::vector<std::string> out;
        for (const auto& w : it->second) {
            if (c.synopsis.find(w) != std::string::npos)
                out.push_back(w);
        }
        return out;
    }
    return {};
}

// Every "--option" the synopsis names, in order, once.
std::vector<std::string> OptionsOf(const Command& c) {
    std::vector<std::string> out;
    const std::string& s = c.synopsis;
    for (std::size_t i = s.find("--"); i != std::string::npos; i = s.find("--", i + 2)) {
        std::size_t end = i + 2;
        while (end < s.size() && ((s[end] >= 'a' && s[end] <= 'z') || s[end] == '-' ||
                                  (s[end] >= '0' && s[end] <= '9')))
            ++end;
        if (end > i + 2) {
            std::string o = s.substr(i, end - i);
            if (std::find(out.begin(), out.end(), o) == out.end())
                out.push_back(o);
        }
    }
    out.push_back("--help");
    return out;
}

std::string Join(const std::vector<std::string>& words) {
    std::string out;
    for (const auto& w : words)
        out += (out.empty() ? "" : " ") + w;
    return out;
}

}  // namespace

std::string CompletionScript(const Registry& registry, std::string_view shell) {
    std::vector<std::string> names;
    for (const auto& c : registry.Commands())
        names.push_back(c.name);
    std::string s;
    if (shell == "zsh") {
        s += "#compdef velcoractl\n"
             "# zsh completion for velcoractl, through zsh's bash completion layer.\n"
             "autoload -U +X bashcompinit && bashcompinit\n";
    } else {
        s += "# bash completion for velcoractl\n";
    }
    s += "_velcoractl() {\n"
         "    local cur=\"${COMP_WORDS[COMP_CWORD]}\"\n"
         "    local cmd=\"\" at=0 i w\n"
         "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
         "        w=\"${COMP_WORDS[i]}\"\n"
         "        case \"$w\" in\n"
         "            --host|--port|--ini|--password-file|--connect-timeout) ((i++)); continue ;;\n"
         "            -*) continue ;;\n"
         "        esac\n"
         "        cmd=\"$w\"; at=$i; break\n"
         "    done\n"
         "    if [[ -z \"$cmd\" ]]; then\n"
         "        if [[ \"$cur\" == -* ]]; then\n"
         "            COMPREPLY=($(compgen -W \"--help --version --host --port --tunnel --ini "
         "--password-file --connect-timeout -v\" -- \"$cur\"))\n"
         "        else\n"
         "            COMPREPLY=($(compgen -W \"" +
         Join(names) +
         "\" -- \"$cur\"))\n"
         "        fi\n"
         "        return\n"
         "    fi\n"
         "    local subs=\"\" opts=\"\"\n"
         "    case \"$cmd\" in\n";
    for (const auto& c : registry.Commands()) {
        s += "        " + c.name + ") subs=\"" + Join(SubcommandsOf(c)) + "\"; opts=\"" +
             Join(OptionsOf(c)) + "\" ;;\n";
    }
    s += "    esac\n"
         "    if [[ \"$cur\" == -* ]]; then\n"
         "        COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n"
         "        return\n"
         "    fi\n"
         "    if [[ -n \"$subs\" && $COMP_CWORD -eq $((at + 1)) ]]; then\n"
         "        COMPREPLY=($(compgen -W \"$subs\" -- \"$cur\"))\n"
         "        return\n"
         "    fi\n"
         "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "}\n"
         "complete -o filenames -F _velcoractl velcoractl\n";
    return s;
}

void RegisterCompletionCommands(Registry& registry) {
    const Registry* all = &registry;
    registry.Add({"completion", "completion bash|zsh",
                  "print a shell completion script (e.g. source <(velcoractl completion bash))",
                  [all](Args& args) {
                      if (auto e = args.Error())
                          return UsageError(*e);
                      if (args.Rest().size() != 1 ||
                          (args.Rest()[0] != "bash" && args.Rest()[0] != "zsh"))
                          return UsageError("completion needs bash or zsh");
                      const std::string script = CompletionScript(*all, args.Rest()[0]);
                      std::fwrite(script.data(), 1, script.size(), stdout);
                      return static_cast<int>(kExitDone);
                  }});
}

}  // namespace velcora::ctl
