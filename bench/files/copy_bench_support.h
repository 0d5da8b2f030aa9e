// What both copy benchmarks need: a copy engine that is never asked anything,
// and a large source file written block by block.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "files/copy_engine.h"

namespace velcora::bench {

// Answers every prompt with "no" and ignores progress: the measured copy runs
// without pauses.
class Quiet : public IFilePrompts, public ICopyProgress {
  public:
    FailureAnswer AskFailure(const std::u16string&) override { return FailureAnswer::Cancel; }
    bool AskYesNo(const std::u16string&, const std::u16string&) override { return false; }
    bool AskRetry(const std::u16string&) override { return false; }
    void ShowError(const std::u16string&, uint32_t) override {}
    std::optional<std::u16string> AskText(const std::u16string&, const std::u16string&) override {
        return std::nullopt;
    }
    void Skipped(const std::u16string&) override {}
    void Begin(int32_t) override {}
    void ItemsDone(int32_t) override {}
    void FileStarted(const std::u16string&, int32_t) override {}
    void FileProgress(int32_t) override {}
    bool CancelRequested() override { return false; }
    void End() override {}
};

// Writes `block` again and again until the file holds `size` bytes (a whole
// number of blocks at least); false when the file could not be written.
inline bool WriteRepeated(const std::filesystem::path& path, const std::vector<char>& block,
                          int32_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = fd >= 0 && !block.empty();
    for (int32_t done = 0; ok && done < size; done += static_cast<int32_t>(block.size())) {
        ok = write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size());
    }
    if (fd >= 0) {
        close(fd);
    }
    return ok;
}

}  // namespace velcora::bench
