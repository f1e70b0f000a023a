// Reading the paths that FSSpec and FSRef records name, for the URL code of this layer.
#pragma once

#include <optional>
#include <string>

#include "platform/corefoundation/Files.h"

namespace vellora::cf {

// The path of a well-formed spec (a known folder id and a valid leaf), or nothing.
std::optional<std::string> SpecPath(const FSSpec& spec);

// The path of a well-formed ref (one that this layer filled), or nothing.
std::optional<std::string> RefPath(const FSRef& ref);

}  // namespace vellora::cf
