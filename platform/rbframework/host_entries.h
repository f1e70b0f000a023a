// The entries the host answers by name to its bundles, and the runtime's global methods
// that the program binds by declaration.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace rb {

// The address of the host entry of that name, or null.
void* hostEntry(const std::string& name);

// The runtime's global functions by their declaration texts (MD5, EncodeBase64, DecodeBase64).
const std::vector<std::pair<std::string, void*>>& hostGlobalMethods();

}  // namespace rb
