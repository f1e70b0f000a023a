#include "platform/corefoundation/PathTable.h"

#include <cstdint>
#include <limits>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace vellora::cf {
namespace {

struct Table {
    std::mutex lock;
    std::vector<std::string> paths;  // paths[id - 1]
    std::unordered_map<std::string, uint32_t> ids;
};

// Never destroyed: the speech worker thread may still resolve ids while the process exits.
Table& TheTable() {
    static Table* table = new Table;
    return *table;
}

}  // namespace

std::optional<std::string> CanonicalPath(std::string_view path) {
    if (path.empty() || path.front() != '/') return std::nullopt;
    std::vector<std::string_view> parts;
    size_t pos = 0;
    while (pos < path.size()) {
        size_t end = path.find('/', pos);
        if (end == std::string_view::npos) end = path.size();
        std::string_view part = path.substr(pos, end - pos);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = end + 1;
    }
    if (parts.empty()) return std::string("/");
    std::string out;
    for (std::string_view part : parts) {
        out += '/';
        out += part;
    }
    return out;
}

uint32_t RegisterPath(const std::string& canonical) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    auto found = table.ids.find(canonical);
    if (found != table.ids.end()) return found->second;
    // Ids travel in the signed 32-bit parID.
    if (table.paths.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max())) return 0;
    table.paths.push_back(canonical);
    uint32_t id = static_cast<uint32_t>(table.paths.size());
    table.ids.emplace(canonical, id);
    return id;
}

std::optional<std::string> LookupPath(uint32_t id) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> guard(table.lock);
    if (id == 0 || id > table.paths.size()) return std::nullopt;
    return table.paths[id - 1];
}

std::string JoinPath(const std::string& folder, std::string_view leaf) {
    std::string out = folder;
    if (out.empty() || out.back() != '/') out += '/';
    out += leaf;
    return out;
}

bool IsValidLeafName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

}  // namespace vellora::cf
