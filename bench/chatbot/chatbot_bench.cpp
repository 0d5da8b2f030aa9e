// Reading and regenerating a 20 MB chat-bot script. The references are the
// least any reader or writer must do: one pass over the text, and appending
// the document's texts to one string.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>

#include "chatbot/chatbot_layout.h"
#include "chatbot/script_generator.h"
#include "chatbot/script_reader.h"
#include "link/text_codec.h"

namespace {

using namespace velcora;

constexpr std::size_t kTarget = 20 * 1024 * 1024;

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

// The reader's work: the text in, the document out. Dropping the document
// again (a million small blocks handed back to the allocator) is measured on
// its own in ReadAndDrop, so that the ratio shows the reader and not the
// allocator's bookkeeping of the previous round.
void Read_ours(benchmark::State& state) {
    {
        // The document read must write back to the very same text.
        CChatScript s;
        if (!ReadScript(Text(), s) || GenerateScript(s) != Text()) {
            state.SkipWithError("round trip differs");
            return;
        }
    }
    for (auto _ : state) {
        auto s = std::make_unique<CChatScript>();
        if (!ReadScript(Text(), *s)) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(s->framesets.data());
        state.PauseTiming();
        s.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * Bytes());
}

void ReadAndDrop(benchmark::State& state) {
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

// Widths as a fixed-pitch font would give them: the layout's own cost.
class FixedMeasure : public ITextMeasure {
  public:
    int32_t Width(std::u16string_view text) override {
        return static_cast<int32_t>(text.size()) * 7;
    }
    int32_t LineHeight() override { return 15; }
};

// The question view over the whole script: after an edit of one frameset,
// the layout is brought up to date and one screen's boxes are laid out (what
// a repaint draws). The window's goal is 8 ms for this and the painting.
void ViewEdit(benchmark::State& state) {
    CChatScript script = Script();
    FixedMeasure measure;
    CChatQuestionLayout layout(measure);
    layout.SetWidth(script, 900);
    const std::size_t middle = script.framesets.size() / 2;
    const int64_t top = layout.BlockTop(middle);
    int flip = 0;
    for (auto _ : state) {
        script.framesets[middle].frames[0].answers[0] += static_cast<char16_t>(u'a' + (flip++ & 7));
        layout.Apply(script, {ChatChange::kFrameset, static_cast<int32_t>(middle)});
        const auto boxes = layout.BoxesIn(script, top, top + 700);
        benchmark::DoNotOptimize(boxes.data());
    }
}

}  // namespace

BENCHMARK(Read_ours)->Name("Read/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(Read_reference)->Name("Read/reference")->Unit(benchmark::kMillisecond);
BENCHMARK(ReadAndDrop)->Unit(benchmark::kMillisecond);
BENCHMARK(ViewEdit)->Unit(benchmark::kMillisecond);
BENCHMARK(Generate_ours)->Name("Generate/ours")->Unit(benchmark::kMillisecond);
BENCHMARK(Generate_reference)->Name("Generate/reference")->Unit(benchmark::kMillisecond);
