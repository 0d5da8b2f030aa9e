// The question matcher over arbitrary scripts and questions. The input is
// UTF-8 split at line breaks: the first line is the question, each further
// line "name<TAB>pattern" is a frameset with one frame of that question (a
// line starting with a TAB nests under the frameset before it). Matching must
// end (references cycle freely), give the same list twice, and every match
// must name a question that is there.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "chatbot/question_match.h"
#include "link/text_codec.h"

namespace {

using namespace velcora;

// Long inputs only cost time: words and framesets are what matters.
constexpr std::size_t kMaxInput = 4096;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput) {
        return 0;
    }
    const std::u16string text =
        Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    std::u16string question;
    CChatScript script;
    std::size_t start = 0;
    bool first = true;
    while (start <= text.size()) {
        std::size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) {
            end = text.size();
        }
        std::u16string_view line(text.data() + start, end - start);
        start = end + 1;
        if (first) {
            question.assign(line);
            first = false;
            continue;
        }
        const bool nested = !line.empty() && line[0] == u'\t';
        if (nested) {
            line.remove_prefix(1);
        }
        const std::size_t tab = line.find(u'\t');
        CChatFrameset fs;
        fs.name.assign(line.substr(0, tab));
        CChatFrame frame;
        frame.questions.emplace_back();
        ParsePattern(
            tab == std::u16string_view::npos ? std::u16string_view() : line.substr(tab + 1),
            frame.questions.back());
        fs.frames.push_back(std::move(frame));
        if (nested && !script.framesets.empty()) {
            CChatFrameset* host = &script.framesets.back();
            while (host->frames.back().nested) {
                host = host->frames.back().nested.get();
            }
            host->frames.back().nested = std::make_unique<CChatFrameset>(std::move(fs));
        } else {
            script.framesets.push_back(std::move(fs));
        }
    }

    const auto matches = MatchQuestion(script, question);
    if (MatchQuestion(script, question) != matches) {
        std::abort();
    }
    for (const QuestionMatch& m : matches) {
        if (m.frameset.empty() || m.frameset[0] < 0 ||
            static_cast<std::size_t>(m.frameset[0]) >= script.framesets.size()) {
            std::abort();
        }
        const CChatFrameset* fs = &script.framesets[static_cast<std::size_t>(m.frameset[0])];
        for (std::size_t k = 1; k < m.frameset.size(); ++k) {
            fs = fs->frames.at(static_cast<std::size_t>(m.frameset[k])).nested.get();
            if (!fs) {
                std::abort();
            }
        }
        if (fs->name != m.framesetName ||
            PrintPattern(fs->frames.at(static_cast<std::size_t>(m.frame))
                             .questions.at(static_cast<std::size_t>(m.question))) !=
                m.questionText ||
            DescribeMatch(m).empty()) {
            std::abort();
        }
    }
    return 0;
}
