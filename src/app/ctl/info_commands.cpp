// Commands that need neither a robot nor a file: text conversion checks that
// help an engineer see what the console would put on the wire.
#include <cstdio>

#include "app/ctl/ctl.h"
#include "link/text_codec.h"

namespace velcora::ctl {

namespace {

void PrintHex(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::printf("%s%02x", i ? " " : "", static_cast<unsigned char>(bytes[i]));
    }
    std::printf("\n");
}

int Encode(Args& args) {
    const bool phrase = args.Flag("--phrase");
    if (auto e = args.Error()) {
        return UsageError(*e);
    }
    if (args.Rest().size() != 1) {
        return UsageError("encode needs one TEXT");
    }
    const std::u16string wide = Utf8ToWide(args.Rest()[0]);
    PrintHex(phrase ? WideToUtf8Units(wide) : WideToAnsi(wide));
    return kExitDone;
}

}  // namespace

void RegisterInfoCommands(Registry& registry) {
    registry.Add({"encode", "encode [--phrase] TEXT",
                  "print the wire bytes of TEXT (Windows-1251, or a spoken phrase's UTF-8)",
                  Encode});
}

}  // namespace velcora::ctl
