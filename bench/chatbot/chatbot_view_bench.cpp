// The question view on the 20 MB script: one edit of an answer (checked,
// kept as an undo step, laid out again) and one screen painted. The window's
// goal for this is 8 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "chatbot/chatbot_editor.h"
#include "chatbot/gui/chatbot_views.h"
#include "chatbot/script_generator.h"
#include "chatbot/script_text.h"
#include "link/text_codec.h"
#include "support/fake_link.h"
#include "ui/vel.h"

namespace {

using namespace velcora;

constexpr std::size_t kTarget = 20 * 1024 * 1024;

std::u16string MakeText() {
    CChatScript s;
    int n = 0;
    std::size_t approx = 0;
    while (approx < kTarget) {
        CChatFrameset fs;
        fs.name = u"Фреймсет" + Utf8ToWide(std::to_string(n));
        for (int f = 0; f < 8; ++f) {
            CChatFrame frame;
            CQuestion q;
            ParsePattern(u"как&дела | что&нового [сегодня] <город:number> <Имя:кто>", q);
            frame.questions.push_back(q);
            frame.answers = {u"Всё хорошо, спасибо, что спросили!", u"Отлично."};
            fs.frames.push_back(std::move(frame));
        }
        approx += 8 * 200;
        s.framesets.push_back(std::move(fs));
        ++n;
    }
    return GenerateScript(s);
}

// Answers the edit box with a new text each time; passes changes to the view.
class BenchView : public IChatBotEditorView {
  public:
    EditorAnswer Ask(std::u16string_view, std::u16string_view, EditorButtons) override {
        return EditorAnswer::kNo;
    }
    bool InputLine(std::u16string_view, std::u16string_view, std::u16string& value) override {
        value = u"Ответ номер " + Utf8ToWide(std::to_string(++edits));
        return true;
    }
    bool InputScript(std::u16string&) override { return false; }
    bool EditFrameset(std::u16string&, int32_t&) override { return false; }
    bool EditElement(CPatternElement&, const std::vector<std::u16string>&) override {
        return false;
    }
    bool InputWaitTime(int32_t&) override { return false; }
    void ShowError(std::u16string_view, std::u16string_view) override { ++errors; }
    void ShowMessage(std::u16string_view, std::u16string_view) override {}
    std::string ChooseOpenFile() override { return {}; }
    std::string ChooseSaveFile() override { return {}; }
    TransferResult RunTransfer(CChatBotTransferRun&) override { return TransferResult::kCancelled; }
    void SetTitle(std::u16string_view) override {}
    void Changed(const ChatChange& change) override {
        if (questions)
            questions->Changed(change);
    }

    chatbot::CChatBotQuestionAnswerView* questions = nullptr;
    int edits = 0;
    int errors = 0;
};

void ViewEditAndPaint(benchmark::State& state) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "bench_chatbot_view";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);

    const std::string path =
        (std::filesystem::temp_directory_path() / "velcora_bench_chatbot.txt").string();
    {
        const std::string bytes = EncodeScriptText(MakeText(), true);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    test::FakeLink link;
    BenchView view;
    CChatBotEditor editor(link, view);
    if (!editor.OpenPath(path)) {
        state.SkipWithError("the script does not read");
        return;
    }
    std::filesystem::remove(path);
    auto* form = new ui::CVelForm(ui::kPlaceScreenCentre, 900, 700);
    auto* questions = new chatbot::CChatBotQuestionAnswerView(form, editor);
    view.questions = questions;
    form->Widget()->show();
    QApplication::processEvents();

    // An answer in the middle of the script, scrolled into view.
    ChatSelection answer;
    answer.item = ChatItem::kAnswer;
    answer.frameset = {static_cast<int32_t>(editor.Script().framesets.size() / 2)};
    answer.frame = 3;
    answer.index = 0;
    editor.Select(answer);
    questions->Reveal(answer);
    QImage screen(questions->Widget()->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        editor.Select(answer);
        editor.Run(ChatCommand::kEdit);
        questions->Widget()->render(&screen);
        benchmark::DoNotOptimize(screen.bits());
    }
    if (view.errors != 0 || view.edits != static_cast<int>(state.iterations())) {
        state.SkipWithError("an edit was refused");
    }
    form->Destroy();
    QApplication::processEvents();
}

}  // namespace

BENCHMARK(ViewEditAndPaint)->Unit(benchmark::kMillisecond);
