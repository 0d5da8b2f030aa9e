// Prompts answered by a standing rule instead of an operator, for scripted
// use: stop at the first failure, skip the failing item, or try it again a
// few times before stopping. Every question and error is kept, in order, for
// the caller to print.
#pragma once

#include <string>
#include <vector>

#include "files/file_operations.h"

namespace velcora {

enum class OnError { Stop, Skip, Retry };

class CPolicyPrompts : public IFilePrompts {
  public:
    explicit CPolicyPrompts(OnError policy, int retries = 3) : policy_(policy), retries_(retries) {}

    FailureAnswer AskFailure(const std::u16string& text) override;
    // Confirmations are given: the command line asked for the action.
    bool AskYesNo(const std::u16string& caption, const std::u16string& text) override;
    bool AskRetry(const std::u16string& text) override;
    void ShowError(const std::u16string& text, uint32_t timeoutMs) override;
    // No one to ask: the name comes with the command (see SetAnswer).
    std::optional<std::u16string> AskText(const std::u16string& title,
                                          const std::u16string& prompt) override;
    void Skipped(const std::u16string& path) override;

    void SetAnswer(std::u16string text) { answer_ = std::move(text); }
    // Whether any step failed or any item was skipped.
    bool HadFailures() const { return failed_; }
    // The failure texts, in order.
    const std::vector<std::u16string>& Messages() const { return messages_; }
    // Items left out because their names could lead outside their folder.
    const std::vector<std::u16string>& SkippedPaths() const { return skipped_; }

  private:
    FailureAnswer Answer(const std::u16string& text);

    OnError policy_;
    int retries_;
    std::u16string lastFailure_;
    int triesOfLast_ = 0;
    std::optional<std::u16string> answer_;
    bool failed_ = false;
    std::vector<std::u16string> messages_;
    std::vector<std::u16string> skipped_;
};

}  // namespace velcora
