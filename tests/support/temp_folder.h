// A folder of its own for a test, removed with all it holds when the test is done.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace vellora_test {

class TempFolder {
  public:
    // Made under the system's temporary folder, named from `prefix`; an empty path when it
    // cannot be made.
    explicit TempFolder(const std::string& prefix) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        path_ = mkdtemp(pattern.data()) ? pattern : "";
    }
    ~TempFolder() {
        namespace fs = std::filesystem;
        std::error_code ignored;
        if (path_.empty()) return;
        // A test may leave something unreadable behind.
        for (const auto& e : fs::recursive_directory_iterator(path_, ignored))
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace vellora_test
