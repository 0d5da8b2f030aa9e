// velcoractl commands for cyclograms, sounds and the environment.
//
//   cyclogram dump FILE              the cyclogram file as JSON
//   cyclogram value FILE MOTOR MS... the first MOTOR track's value at each time
//   env dump FILE                    the environment project as JSON
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "app/ctl/ctl.h"
#include "cyclogram/cyclogram.h"
#include "cyclogram/cyclogram_format.h"
#include "link/text_codec.h"

namespace velcora::ctl {

namespace {

std::string Json(bool v) {
    return v ? "true" : "false";
}

std::string Json(long long v) {
    return std::to_string(v);
}

std::string Json(float v) {
    if (!std::isfinite(v)) {
        return "null";  // JSON has no NaN or infinity
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(v));
    return buffer;
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

std::string CyclogramJson(const CCyclogram& doc) {
    std::string out = "{\"loop\":" + Json(doc.loop != 0) + ",\"tracks\":[";
    for (int32_t i = 0; i < doc.trackCount(); ++i) {
        const CCyclogramTrack& t = doc.track(i);
        out += i ? ",{" : "{";
        out += "\"motor\":" + Json(static_cast<long long>(t.motor)) +
               ",\"disabled\":" + Json(t.disabled != 0) + ",\"locked\":" + Json(t.locked != 0) +
               ",\"keys\":[";
        bool first = true;
        for (const CyclogramKey& k : t.keys()) {
            out += first ? "{" : ",{";
            first = false;
            out += "\"time\":" + Json(static_cast<long long>(k.time)) +
                   ",\"value\":" + Json(k.value) +
                   ",\"inMode\":" + Json(static_cast<long long>(k.inMode)) +
                   ",\"inLength\":" + Json(static_cast<long long>(k.inLength)) +
                   ",\"inDelta\":" + Json(k.inDelta) +
                   ",\"outMode\":" + Json(static_cast<long long>(k.outMode)) +
                   ",\"outLength\":" + Json(static_cast<long long>(k.outLength)) +
                   ",\"outDelta\":" + Json(k.outDelta) + "}";
        }
        out += "]}";
    }
    out += "],\"audio\":";
    if (!doc.audio) {
        return out + "null}";
    }
    out += "{\"disabled\":" + Json(doc.audio->disabled != 0) +
           ",\"locked\":" + Json(doc.audio->locked != 0) + ",\"blocks\":[";
    bool first = true;
    for (const AudioBlock& b : doc.audio->blocks()) {
        out += first ? "{" : ",{";
        first = false;
        out += "\"start\":" + Json(static_cast<long long>(b.start)) +
               ",\"length\":" + Json(static_cast<long long>(b.length)) +
               ",\"text\":" + (b.text ? JsonString(AnsiToUtf8(*b.text)) : std::string("null")) +
               "}";
    }
    return out + "]}}";
}

std::string EnvironmentJson(const CCyclogramEnv& env) {
    std::string out = "{\"trackers\":[";
    bool first = true;
    for (const EnvTracker& t : env.trackers) {
        out += first ? "{" : ",{";
        first = false;
        out += "\"motor\":" + Json(static_cast<long long>(t.motor)) +
               ",\"kind\":" + Json(static_cast<long long>(t.kind)) +
               ",\"leftRaw\":" + Json(static_cast<long long>(t.leftRaw)) +
               ",\"rightRaw\":" + Json(static_cast<long long>(t.rightRaw)) +
               ",\"defaultRaw\":" + Json(static_cast<long long>(t.defaultRaw)) +
               ",\"x\":" + Json(static_cast<long long>(t.x)) +
               ",\"y\":" + Json(static_cast<long long>(t.y)) + ",\"position\":" + Json(t.position) +
               "}";
    }
    out += "],\"backgroundSize\":" + Json(static_cast<long long>(env.backgroundSize)) +
           ",\"backgroundChecksum\":" + Json(static_cast<long long>(env.backgroundChecksum)) + "}";
    return out;
}

int Failed(const std::string& text) {
    std::fprintf(stderr, "velcoractl: %s\n", text.c_str());
    return kExitFailed;
}

int ReadFailed(const std::string& path) {
    return Failed("Невозможно прочитать файл \"" + path + "\"!");
}

int CyclogramDump(const std::vector<std::string>& rest) {
    if (rest.size() != 1) {
        return UsageError("cyclogram dump needs one FILE");
    }
    CCyclogram doc;
    if (!loadCyclogramFile(rest[0], doc)) {
        return ReadFailed(rest[0]);
    }
    std::printf("%s\n", CyclogramJson(doc).c_str());
    return kExitDone;
}

int CyclogramValue(const std::vector<std::string>& rest) {
    if (rest.size() < 3) {
        return UsageError("cyclogram value needs FILE MOTOR MS...");
    }
    long long motor = 0;
    if (!ParseInt(rest[1], motor) || motor < INT32_MIN || motor > INT32_MAX) {
        return UsageError("MOTOR must be a whole number");
    }
    std::vector<int32_t> times;
    for (std::size_t i = 2; i < rest.size(); ++i) {
        long long ms = 0;
        if (!ParseInt(rest[i], ms) || ms < INT32_MIN || ms > INT32_MAX) {
            return UsageError("MS must be a whole number: " + rest[i]);
        }
        times.push_back(static_cast<int32_t>(ms));
    }
    CCyclogram doc;
    if (!loadCyclogramFile(rest[0], doc)) {
        return ReadFailed(rest[0]);
    }
    const int32_t track = doc.findTrack(static_cast<int32_t>(motor));
    if (track < 0) {
        return Failed("no track drives motor " + rest[1]);
    }
    for (int32_t t : times) {
        std::printf("%.9g\n", static_cast<double>(doc.track(track).valueAt(t)));
    }
    return kExitDone;
}

int EnvDump(const std::vector<std::string>& rest) {
    if (rest.size() != 1) {
        return UsageError("env dump needs one FILE");
    }
    CCyclogramEnv env;
    if (!loadEnvironmentFile(rest[0], env)) {
        return ReadFailed(rest[0]);
    }
    std::printf("%s\n", EnvironmentJson(env).c_str());
    return kExitDone;
}

struct Subcommand {
    const char* name;
    std::function<int(const std::vector<std::string>&)> run;
};

// Runs the subcommand named by the first positional argument.
int RunSubcommand(const char* group, Args& args, const std::vector<Subcommand>& table) {
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    const auto& rest = args.Rest();
    if (rest.empty()) {
        return UsageError(std::string(group) + " needs a subcommand");
    }
    for (const auto& sub : table) {
        if (rest[0] == sub.name) {
            return sub.run(std::vector<std::string>(rest.begin() + 1, rest.end()));
        }
    }
    return UsageError(std::string("unknown ") + group + " subcommand " + rest[0]);
}

int Cyclogram(Args& args) {
    static const std::vector<Subcommand> table = {
        {"dump", CyclogramDump},
        {"value", CyclogramValue},
    };
    return RunSubcommand("cyclogram", args, table);
}

int Env(Args& args) {
    static const std::vector<Subcommand> table = {
        {"dump", EnvDump},
    };
    return RunSubcommand("env", args, table);
}

}  // namespace

void RegisterCyclogramCommands(Registry& registry) {
    registry.Add({"cyclogram", "cyclogram dump FILE | value FILE MOTOR MS...",
                  "print a .cyg cyclogram file as JSON, or a motor track's values at given times",
                  Cyclogram});
    registry.Add({"env", "env dump FILE", "print an environment project (.cenv) as JSON", Env});
}

}  // namespace velcora::ctl
