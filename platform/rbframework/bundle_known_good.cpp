#include "platform/rbframework/bundle_known_good.h"

#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace rb {

namespace {

constexpr const char* kHeader = "vellora checked bundles 1";
// A list is a few lines; anything much longer is not one of ours.
constexpr std::streamsize kMaxListBytes = 64 * 1024;
// No bundle of this program comes near this; a file that does is checked each time.
constexpr uintmax_t kMaxBundleBytes = 64u << 20;

// FNV-1a: this guards against a damaged or replaced file, not against its author, who could
// put any code in it anyway.
uint64_t Digest(std::istream& in, uint64_t& size) {
    uint64_t h = 14695981039346656037ull;
    size = 0;
    char buffer[1 << 16];
    while (in) {
        in.read(buffer, sizeof buffer);
        std::streamsize n = in.gcount();
        for (std::streamsize i = 0; i < n; ++i) {
            h ^= static_cast<unsigned char>(buffer[i]);
            h *= 1099511628211ull;
        }
        size += static_cast<uint64_t>(n);
    }
    return h;
}

}  // namespace

std::filesystem::path KnownGoodBundles::DefaultList() {
    std::filesystem::path dir;
    // A relative value is to be ignored, as if unset.
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/') {
        dir = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        dir = std::filesystem::path(home) / ".cache";
    } else {
        return {};
    }
    return dir / "vellora" / "bundles-checked";
}

std::optional<KnownGoodBundles::Entry> KnownGoodBundles::entryOf(
    const std::filesystem::path& bundle) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(bundle, ec);
    if (ec) return std::nullopt;
    uintmax_t bytes = std::filesystem::file_size(absolute, ec);
    if (ec || bytes > kMaxBundleBytes) return std::nullopt;
    std::ifstream in(absolute, std::ios::binary);
    if (!in) return std::nullopt;
    Entry e;
    e.path = absolute.lexically_normal().string();
    e.digest = Digest(in, e.size);
    if (in.bad() || e.size != bytes) return std::nullopt;  // changed while read
    return e;
}

void KnownGoodBundles::read() {
    if (read_) return;
    read_ = true;
    if (list_.empty()) return;
    std::ifstream in(list_, std::ios::binary);
    if (!in) return;
    std::string text(static_cast<size_t>(kMaxListBytes), '\0');
    in.read(text.data(), kMaxListBytes);
    text.resize(static_cast<size_t>(in.gcount()));
    if (in.gcount() == kMaxListBytes) return;  // too long: not ours
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kHeader) return;
    // Each line: size, digest in hex, absolute path. A line that does not read so is skipped.
    while (std::getline(lines, line) && entries_.size() < kMaxEntries) {
        Entry e;
        int used = 0;
        if (std::sscanf(line.c_str(), "%" SCNu64 " %" SCNx64 " %n", &e.size, &e.digest, &used) !=
                2 ||
            used <= 0 || static_cast<size_t>(used) >= line.size() || line[used] != '/')
            continue;
        e.path = line.substr(static_cast<size_t>(used));
        entries_.push_back(std::move(e));
    }
}

bool KnownGoodBundles::contains(const std::filesystem::path& bundle) {
    if (list_.empty()) return false;
    read();
    if (entries_.empty()) return false;
    std::optional<Entry> e = entryOf(bundle);
    return e && std::find(entries_.begin(), entries_.end(), *e) != entries_.end();
}

void KnownGoodBundles::add(const std::filesystem::path& bundle) {
    if (list_.empty()) return;
    read();
    std::optional<Entry> e = entryOf(bundle);
    if (!e || e->path.find('\n') != std::string::npos) return;
    if (std::find(entries_.begin(), entries_.end(), *e) != entries_.end()) return;
    // The same place with other bytes is an older build of it: replaced.
    std::erase_if(entries_, [&](const Entry& old) { return old.path == e->path; });
    entries_.push_back(*e);
    if (entries_.size() > kMaxEntries)
        entries_.erase(entries_.begin(),
                       entries_.begin() + static_cast<long>(entries_.size() - kMaxEntries));

    std::error_code ec;
    std::filesystem::create_directories(list_.parent_path(), ec);
    std::filesystem::path fresh = list_;
    fresh += ".new" + std::to_string(getpid());
    {
        std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
        out << kHeader << '\n';
        for (const Entry& x : entries_) {
            char head[64];
            std::snprintf(head, sizeof head, "%" PRIu64 " %016" PRIx64 " ", x.size, x.digest);
            out << head << x.path << '\n';
        }
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(fresh, ec);
            return;
        }
    }
    std::filesystem::rename(fresh, list_, ec);
    if (ec) std::filesystem::remove(fresh, ec);
}

}  // namespace rb
