// The process-wide table of paths behind FSSpec folder ids and FSRef ids.
//
// Ids are handed out on first use of a canonical path and never reused or dropped, so an id
// stays valid for the life of the process, whichever module or thread holds it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vellora::cf {

// The canonical form of an absolute path: no empty, "." or ".." components (".." is resolved
// by name, as the runtime's folder items do), no trailing slash except for "/". Nothing for a
// relative or empty path.
std::optional<std::string> CanonicalPath(std::string_view path);

// The id of a canonical path, registered on first use; 0 when the table is full.
uint32_t RegisterPath(const std::string& canonical);

// The path with this id, or nothing for 0 or an id never handed out.
std::optional<std::string> LookupPath(uint32_t id);

// "/a" + "b" is "/a/b"; "/" + "b" is "/b".
std::string JoinPath(const std::string& folder, std::string_view leaf);

// A name that can be one path component: not empty, no '/' or NUL, not "." or "..".
bool IsValidLeafName(std::string_view name);

}  // namespace vellora::cf
