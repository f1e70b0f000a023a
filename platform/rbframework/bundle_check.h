// Checks a plug-in bundle's size and headers before anything maps it.
#pragma once

#include <filesystem>

namespace rb {

// The dynamic linker maps a library by its headers and trusts them: a truncated library is
// mapped past its end, and the first touch of the missing pages is a SIGBUS. That much is seen
// here, from the file alone; damage to what the linker or the bundle's own start-up code reads
// later is found by loading the bundle in a child first (bundle_probe.h).
enum class Damage { None, Unreadable, Incomplete };

// What is wrong with the shared object at `file`: None when its headers describe a 64-bit shared
// library whose headers and loaded segments all lie within the file.
Damage CheckSharedObject(const std::filesystem::path& file);

}  // namespace rb
