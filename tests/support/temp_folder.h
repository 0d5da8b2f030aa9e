// A fresh folder under the system's temporary folder, removed with the test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "link/text_codec.h"

namespace velcora::test {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velcora-test-XXXXXX");
        if (char* made = mkdtemp(pattern.data())) {
            path_ = made;
        }
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The full path of a file or folder inside, as a narrow string.
    std::string File(const std::string& relative) const { return (path_ / relative).string(); }
    std::u16string Wide(const std::string& relative = {}) const {
        return Utf8ToWide((relative.empty() ? path_ : path_ / relative).string());
    }
    void Write(const std::string& relative, const std::string& data) const {
        std::filesystem::create_directories((path_ / relative).parent_path());
        std::ofstream(path_ / relative, std::ios::binary) << data;
    }
    std::string Read(const std::string& relative) const {
        std::ifstream in(path_ / relative, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool Exists(const std::string& relative) const {
        return std::filesystem::exists(std::filesystem::symlink_status(path_ / relative));
    }

  private:
    std::filesystem::path path_;
};

}  // namespace velcora::test
