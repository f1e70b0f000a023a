// Bundles that loaded and started cleanly before, listed in a small file kept between runs. A
// bundle that is byte for byte the same, at the same place, is not loaded in a child again at
// the next start: that check, and the copy-on-write faults it leaves the program to pay while
// its window is built, were most of the start-up's cost beyond Qt's own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace rb {

class KnownGoodBundles {
  public:
    // Where the program keeps its list: vellora/bundles-checked under $XDG_CACHE_HOME, or
    // under ~/.cache; empty when neither can be found.
    static std::filesystem::path DefaultList();

    // No list (the default): nothing is known, nothing is written.
    KnownGoodBundles() = default;
    explicit KnownGoodBundles(std::filesystem::path list) : list_(std::move(list)) {}

    // Whether `bundle`, as its bytes are now, is on the list.
    bool contains(const std::filesystem::path& bundle);

    // Puts `bundle`, as its bytes are now, on the list and writes the list again (a new file
    // put in the old one's place, so that a reader never sees half of it). Failing to write
    // costs only a check at the next start.
    void add(const std::filesystem::path& bundle);

    // The most bundles the list keeps; the oldest go first.
    static constexpr size_t kMaxEntries = 64;

  private:
    struct Entry {
        std::string path;
        uint64_t size = 0;
        uint64_t digest = 0;
        bool operator==(const Entry&) const = default;
    };
    static std::optional<Entry> entryOf(const std::filesystem::path& bundle);
    void read();

    std::filesystem::path list_;
    bool read_ = false;
    std::vector<Entry> entries_;
};

}  // namespace rb
