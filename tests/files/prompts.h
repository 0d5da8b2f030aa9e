// Operator stand-ins for the file manager's prompts and the copy dialog.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "files/copy_engine.h"
#include "files/file_operations.h"

namespace velcora::test {

class ScriptedPrompts : public IFilePrompts {
  public:
    FailureAnswer AskFailure(const std::u16string& text) override {
        failures.push_back(text);
        if (answers.empty()) {
            return FailureAnswer::Cancel;
        }
        const FailureAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    bool AskYesNo(const std::u16string& caption, const std::u16string& text) override {
        questions.push_back(caption + u": " + text);
        return yes;
    }
    bool AskRetry(const std::u16string& text) override {
        failures.push_back(text);
        return retries-- > 0;
    }
    void ShowError(const std::u16string& text, uint32_t timeoutMs) override {
        errors.push_back(text);
        lastTimeout = timeoutMs;
    }
    std::optional<std::u16string> AskText(const std::u16string&, const std::u16string&) override {
        if (texts.empty()) {
            return std::nullopt;
        }
        auto t = texts.front();
        texts.pop_front();
        return t;
    }
    void Skipped(const std::u16string& path) override { skipped.push_back(path); }

    std::deque<FailureAnswer> answers;
    std::deque<std::u16string> texts;
    bool yes = true;
    int retries = 0;
    uint32_t lastTimeout = 0;
    std::vector<std::u16string> failures, questions, errors, skipped;
};

class RecordingProgress : public ICopyProgress {
  public:
    void Begin(int32_t items) override { total = items; }
    void ItemsDone(int32_t d) override { done = d; }
    void FileStarted(const std::u16string& label, int32_t) override { labels.push_back(label); }
    void FileProgress(int32_t copied) override { lastCopied = copied; }
    bool CancelRequested() override { return ++polls >= cancelAtPoll && cancelAtPoll > 0; }
    void End() override { ended = true; }

    int32_t total = 0, done = 0, lastCopied = 0;
    int polls = 0;
    int cancelAtPoll = 0;  // 0: never
    bool ended = false;
    std::vector<std::u16string> labels;
};

}  // namespace velcora::test
