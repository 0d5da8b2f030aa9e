#include "files/policy_prompts.h"

namespace velcora {

FailureAnswer CPolicyPrompts::Answer(const std::u16string& text) {
    failed_ = true;
    messages_.push_back(text);
    switch (policy_) {
        case OnError::Stop:
            return FailureAnswer::Cancel;
        case OnError::Skip:
            return FailureAnswer::Continue;
        case OnError::Retry:
            break;
    }
    // The same failure over and over is a failure that stays: give up on
    // the whole operation once its tries are used up.
    if (text != lastFailure_) {
        lastFailure_ = text;
        triesOfLast_ = 0;
    }
    if (triesOfLast_ < retries_) {
        ++triesOfLast_;
        return FailureAnswer::TryAgain;
    }
    triesOfLast_ = 0;
    lastFailure_.clear();
    return FailureAnswer::Cancel;
}

FailureAnswer CPolicyPrompts::AskFailure(const std::u16string& text) {
    return Answer(text);
}

bool CPolicyPrompts::AskYesNo(const std::u16string&, const std::u16string&) {
    return true;
}

bool CPolicyPrompts::AskRetry(const std::u16string& text) {
    return Answer(text) == FailureAnswer::TryAgain;
}

void CPolicyPrompts::ShowError(const std::u16string& text, uint32_t) {
    failed_ = true;
    messages_.push_back(text);
}

std::optional<std::u16string> CPolicyPrompts::AskText(const std::u16string&,
                                                      const std::u16string&) {
    // Given once: a refused name is not asked for again.
    auto a = std::move(answer_);
    answer_.reset();
    return a;
}

void CPolicyPrompts::Skipped(const std::u16string& path) {
    failed_ = true;
    skipped_.push_back(path);
}

}  // namespace velcora
