#include "chatbot/script_generator.h"

#include <algorithm>
#include <string_view>

namespace velcora {

namespace {

void Tabs(std::u16string& out, int n) {
    out.append(static_cast<std::size_t>(n > 0 ? n : 0), u'\t');
}

void Decimal(std::u16string& out, int64_t value) {
    const std::string digits = std::to_string(value);
    out.append(digits.begin(), digits.end());
}

// Texts go out verbatim, in double quotes. A text holding a double quote (it
// can only have come from a single-quoted string) goes out in single quotes
// instead, so that the script stays readable.
void Quoted(std::u16string& out, std::u16string_view text) {
    const bool hasDouble = text.find(u'"') != std::u16string_view::npos;
    const bool hasSingle = text.find(u'\'') != std::u16string_view::npos;
    const char16_t q = hasDouble && !hasSingle ? u'\'' : u'"';
    out += q;
    out += text;
    out += q;
}

template <typename Texts, typename Get>
void QuotedList(std::u16string& out, const Texts& texts, Get get, std::u16string_view separator) {
    bool first = true;
    for (const auto& t : texts) {
        if (!first) {
            out += separator;
        }
        first = false;
        Quoted(out, get(t));
    }
}

// The phrases said before the wait (or after it), one quoted text a line.
void SpokenPhrases(std::u16string& out, const std::vector<CChatPhrase>& phrases, bool afterWait) {
    bool first = true;
    for (const CChatPhrase& p : phrases) {
        if (p.afterWait != afterWait) {
            continue;
        }
        if (!first) {
            out += u",\r\n\t\t\t";
        }
        first = false;
        Quoted(out, p.text);
    }
}

void GenerateDialogs(const CChatScript& script, std::u16string& out) {
    out += u"function RobotDialog(inx)\r\n{\r\n";
    for (std::size_t i = 0; i < script.dialogues.size(); ++i) {
        const CChatDialog& d = script.dialogues[i];
        if (i > 0) {
            out += u"\telse\r\n";
        }
        out += u"\tif (inx == ";
        Decimal(out, static_cast<int64_t>(i));
        out += u")\r\n\t{\r\n\t\tPlaySpeech(";
        SpokenPhrases(out, d.phrases, false);
        out += u");\r\n";
        const bool anyAfter = std::any_of(d.phrases.begin(), d.phrases.end(),
                                          [](const CChatPhrase& p) { return p.afterWait; });
        if (anyAfter) {
            out += u"\r\n\t\tif (!Wait(";
            Decimal(out, d.waitTime);
            out += u")) return;\r\n\r\n\t\tPlaySpeech(";
            SpokenPhrases(out, d.phrases, true);
            out += u");\r\n";
        }
        out += u"\t}\r\n";
    }
    out += u"}\r\n\r\n";
}

}  // namespace

void GenerateFrameset(const CChatFrameset& fs, int n, std::u16string& out) {
    Tabs(out, n);
    out += u"frameset(";
    Quoted(out, fs.name);
    if (fs.priority > 0) {
        out += u", ";
        Decimal(out, fs.priority);
    }
    out += u")\r\n";
    Tabs(out, n);
    out += u"{\r\n";
    for (const CChatFrame& f : fs.frames) {
        for (const CQuestion& q : f.questions) {
            Tabs(out, n);
            out += u"\tframe(\"";
            out += PrintPattern(q);
            out += u"\")\r\n";
        }
        Tabs(out, n);
        if (f.kind == FrameKind::kPronoun) {
            out += u"\t\tpronoun;\r\n";
            continue;
        }
        if (f.kind == FrameKind::kScript) {
            out += u"\t{";
            out += f.script;
        } else {
            out += u"\t{\r\n";
            Tabs(out, n);
            out += u"\t\tPlaySpeech(";
            std::u16string separator = u",\r\n";
            Tabs(separator, n);
            separator += u"\t\t\t";
            QuotedList(
                out, f.answers, [](const std::u16string& a) -> const std::u16string& { return a; },
                separator);
            out += u");\r\n";
        }
        if (f.nested) {
            GenerateFrameset(*f.nested, n + 2, out);
        }
        Tabs(out, n);
        out += u"\t}\r\n";
    }
    Tabs(out, n);
    out += u"}\r\n";
}

std::u16string GenerateScript(const CChatScript& script) {
    std::u16string out;
    for (const CChatFrameset& fs : script.framesets) {
        GenerateFrameset(fs, 0, out);
    }
    out += u"\r\nrobotDialogCount = ";
    Decimal(out, static_cast<int64_t>(script.dialogues.size()));
    out += u";\r\n\r\n";
    if (!script.dialogues.empty()) {
        GenerateDialogs(script, out);
    }
    out += u"\r\nfunction RobotPrompt()\r\n{\r\n";
    if (!script.prompts.empty()) {
        out += u"\tPlaySpeech(";
        QuotedList(
            out, script.prompts, [](const std::u16string& p) -> const std::u16string& { return p; },
            u",\r\n\t\t");
        out += u");\r\n";
    }
    out += u"}\r\n";
    return out;
}

}  // namespace velcora
