#include "chatbot/question_match.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "chatbot/question_pattern.h"

namespace velcora {

namespace {

bool IsDigits(std::u16string_view w) {
    if (w.empty()) {
        return false;
    }
    for (char16_t c : w) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return true;
}

bool SameFolded(std::u16string_view folded, std::u16string_view word) {
    if (folded.size() != word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (folded[i] != FoldCase(word[i])) {
            return false;
        }
    }
    return true;
}

struct Node {
    const CChatFrameset* frameset;
    std::vector<int32_t> path;
};

class Matcher {
  public:
    Matcher(const CChatScript& script, std::u16string_view text) {
        SplitWords(text);
        // Breadth first: the order matches are listed in, and the first of
        // two framesets with one name is the one a reference finds.
        for (std::size_t i = 0; i < script.framesets.size(); ++i) {
            nodes_.push_back({&script.framesets[i], {static_cast<int32_t>(i)}});
        }
        for (std::size_t n = 0; n < nodes_.size(); ++n) {
            const CChatFrameset* fs = nodes_[n].frameset;
            for (std::size_t f = 0; f < fs->frames.size(); ++f) {
                if (fs->frames[f].nested) {
                    std::vector<int32_t> path = nodes_[n].path;
                    path.push_back(static_cast<int32_t>(f));
                    nodes_.push_back({fs->frames[f].nested.get(), std::move(path)});
                }
            }
        }
        for (std::size_t n = 0; n < nodes_.size(); ++n) {
            byName_.emplace(nodes_[n].frameset->name, static_cast<int32_t>(n));
        }
    }

    std::vector<QuestionMatch> Run() {
        std::vector<QuestionMatch> out;
        const auto n = static_cast<int32_t>(words_.size());
        for (const Node& node : nodes_) {
            const CChatFrameset& fs = *node.frameset;
            for (std::size_t f = 0; f < fs.frames.size(); ++f) {
                const auto& questions = fs.frames[f].questions;
                for (std::size_t q = 0; q < questions.size(); ++q) {
                    if (Covers(questions[q], 0, n, 0)) {
                        out.push_back({node.path, static_cast<int32_t>(f), static_cast<int32_t>(q),
                                       fs.name, PrintPattern(questions[q])});
                    }
                }
            }
        }
        return out;
    }

  private:
    void SplitWords(std::u16string_view text) {
        std::size_t i = 0;
        while (i < text.size()) {
            if (!IsWordChar(text[i])) {
                ++i;
                continue;
            }
            std::u16string w;
            while (i < text.size() && IsWordChar(text[i])) {
                w += FoldCase(text[i++]);
            }
            words_.push_back(std::move(w));
        }
    }

    // Where an alternative (words joined by single spaces) starting at word
    // `p` ends, or -1 when it does not match there within `end`.
    int32_t Phrase(std::u16string_view alternative, int32_t p, int32_t end) const {
        std::size_t start = 0;
        for (;;) {
            std::size_t stop = alternative.find(u' ', start);
            if (stop == std::u16string_view::npos) {
                stop = alternative.size();
            }
            const std::u16string_view word = alternative.substr(start, stop - start);
            if (!word.empty()) {
                if (p >= end || !SameFolded(words_[static_cast<std::size_t>(p)], word)) {
                    return -1;
                }
                ++p;
            }
            if (stop == alternative.size()) {
                return p;
            }
            start = stop + 1;
        }
    }

    // Whether the question covers words [begin, end) exactly.
    bool Covers(const CQuestion& question, int32_t begin, int32_t end, int depth) {
        const auto width = static_cast<std::size_t>(end - begin) + 1;
        std::vector<char> at(width, 0);
        std::vector<char> next(width, 0);
        at[0] = 1;
        for (const CPatternElement& e : question) {
            std::fill(next.begin(), next.end(), 0);
            bool any = false;
            for (int32_t p = begin; p <= end; ++p) {
                if (!at[static_cast<std::size_t>(p - begin)]) {
                    continue;
                }
                auto reach = [&](int32_t q) {
                    next[static_cast<std::size_t>(q - begin)] = 1;
                    any = true;
                };
                const std::u16string* word =
                    p < end ? &words_[static_cast<std::size_t>(p)] : nullptr;
                switch (e.kind) {
                    case PatternKind::kSynonyms:
                        for (const std::u16string& alt : e.alternatives) {
                            const int32_t q = Phrase(alt, p, end);
                            // An empty alternative would match nothing at all;
                            // it is not a way to skip the element.
                            if (q > p) {
                                reach(q);
                            }
                        }
                        break;
                    case PatternKind::kOptional:
                        reach(p);
                        if (word && SameFolded(*word, e.name)) {
                            reach(p + 1);
                        }
                        break;
                    case PatternKind::kNumber:
                        if (word && IsDigits(*word)) {
                            reach(p + 1);
                        }
                        break;
                    case PatternKind::kDigits:
                        for (int32_t q = p;
                             q < end && IsDigits(words_[static_cast<std::size_t>(q)]); ++q) {
                            reach(q + 1);
                        }
                        break;
                    case PatternKind::kFramesetRef: {
                        const auto it = byName_.find(e.name);
                        if (it == byName_.end() || depth >= kMaxReferenceDepth) {
                            break;
                        }
                        for (int32_t q = p; q <= end; ++q) {
                            if (Frameset(it->second, p, q, depth + 1)) {
                                reach(q);
                            }
                        }
                        break;
                    }
                }
            }
            if (!any) {
                return false;
            }
            at.swap(next);
        }
        return at[width - 1] != 0;
    }

    // Whether some question of frameset `node` covers words [begin, end);
    // remembered per span and depth, so that the cost stays polynomial.
    bool Frameset(int32_t node, int32_t begin, int32_t end, int depth) {
        const auto n = static_cast<uint64_t>(words_.size()) + 1;
        const uint64_t key = ((static_cast<uint64_t>(node) * n + static_cast<uint64_t>(begin)) * n +
                              static_cast<uint64_t>(end)) *
                                 (kMaxReferenceDepth + 1) +
                             static_cast<uint64_t>(depth);
        if (const auto it = memo_.find(key); it != memo_.end()) {
            return it->second;
        }
        bool found = false;
        for (const CChatFrame& f : nodes_[static_cast<std::size_t>(node)].frameset->frames) {
            for (const CQuestion& q : f.questions) {
                if (Covers(q, begin, end, depth)) {
                    found = true;
                    break;
                }
            }
            if (found) {
                break;
            }
        }
        memo_.emplace(key, found);
        return found;
    }

    std::vector<std::u16string> words_;
    std::vector<Node> nodes_;
    std::unordered_map<std::u16string, int32_t> byName_;
    std::unordered_map<uint64_t, bool> memo_;
};

}  // namespace

std::vector<QuestionMatch> MatchQuestion(const CChatScript& script, std::u16string_view text) {
    return Matcher(script, text).Run();
}

std::u16string DescribeMatch(const QuestionMatch& match) {
    const std::string number = std::to_string(match.frame + 1);
    std::u16string out = match.framesetName;
    out += u" › фрейм ";
    out.append(number.begin(), number.end());
    out += u" › ";
    out += match.questionText;
    return out;
}

}  // namespace velcora
