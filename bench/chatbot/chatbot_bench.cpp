// Reading and regenerating a 5 MB chat-bot script. The references are the
// least any reader or writer must do: one pass over the text, and appending
// the document's texts to one string.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "chatbot/script_generator.h"
#include "chatbot/script_reader.h"
#include "link/text_codec.h"

namespace {

using namespace velcora;

constexpr std::size_t kTarget = 5 * 1024 * 1024;

CChatScript MakeScript() {
    CChatScript s;
    int n = 0;
    std::size_t approx = 0;
    while (approx < kTarget) {
        CChatFrameset fs;
        fs.name = u"Фреймсет" + std::u16string(1, static_cast<char16_t>(u'А' + n % 32));
        fs.priority = n % 4;
        for (int f = 0; f < 8; ++f) {
            CChatFrame frame;
            CQuestion q;
            ParsePattern(u"как&дела | что&нового [сегодня] <город:number> <Имя:кто>", q);
            frame.questions.push_back(q);
            frame.questions.push_back(q);
            if (f % 3 == 2) {
                frame.SwitchToScript();
                frame.script = u"\r\n\t\tSay(\"Сейчас \" + GetTime()); // часы робота\r\n";
            } else {
                frame.answers = {u"Всё хорошо, спасибо, что спросили!",
                                 u"Отлично, у нас сегодня выставка."};
            }
            fs.frames.push_back(std::move(frame));
        }
        approx += 8 * 260;
        s.framesets.push_back(std::move(fs));
        ++n;
    }
    for (int d = 0; d < 100; ++d) {
        s.dialogues.push_back(
            {{{u"Хотите узнать больше?", false}, {u"Тогда до встречи.", true}}, 5000});
        s.prompts.push_back(u"Подходите, я отвечу на ваши вопросы!");
    }
    return s;
}

const CChatScript& Script() {
    static const CChatScript s = MakeScript();
    return s;
}

const std::u16string& Text() {
    static const std::u16string t = GenerateScript(Script());
    return t;
}

int64_t Bytes() {
    static const int64_t b = static_cast<int64_t>(WideToUtf8(Text()).size());
    return b;
}

void Read_ours(benchmark::State& state) {
    for (auto _ : state) {
        CChatScript s;
        if (!ReadScript(Text(), s)) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(s.framesets.data());
    }
    state.SetBytesProcessed(state.iterations() * Bytes());
}

void Read_reference(benchmark::State& state) {
    for (auto _ : state) {
        std::u16string copy = Text();
        const auto quotes = std::count(copy.begin(), copy.end(), u'"');
        benchmark::DoNotOptimize(quotes);
    }
    state.SetBytesProcessed(state.iterations() * Bytes());
}

void Generate_ours(benchmark::State& state) {
    for (auto _ : state) {
        std::u16string t = GenerateScript(Script());
        benchmark::DoNotOptimize(t.data());
    }
    state.SetBytesProcessed(state.iterations() * Bytes());
}

void AppendFrameset(const CChatFrameset& fs, const std::u16string& printed, std::u16string& out) {
    out += fs.name;
    for (const CChatFrame& f : fs.frames) {
        for (std::size_t q = 0; q < f.questions.size(); ++q) {
            out += printed;
        }
        out += f.script;
        for (const auto& a : f.answers) {
            out += a;
        }
        if (f.nested) {
            AppendFrameset(*f.nested, printed, out);
        }
    }
}

void Generate_reference(benchmark::State& state) {
    const std::u16string printed =
        PrintPattern(Script().framesets.front().frames.front().questions.front());
    for (auto _ : state) {
        std::u16string t;
        for (const auto& fs : Script().framesets) {
            AppendFrameset(fs, printed, t);
        }
        benchmark::DoNotOptimize(t.data());
    }
    state.SetBytesProcessed(state.iterations() * Bytes());
}

}  // namespace

BENCHMARK(Read_ours)->Name("Read/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(Read_reference)->Name("Read/reference")->Unit(benchmark::kMillisecond);
BENCHMARK(Generate_ours)->Name("Generate/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(Generate_reference)->Name("Generate/reference")->Unit(benchmark::kMillisecond);
