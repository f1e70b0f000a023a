// Checks a plug-in bundle before dlopen maps it.
#pragma once

#include <filesystem>

namespace rb {

// A bundle is checked before dlopen maps it, because the dynamic linker trusts what it reads: a
// truncated library is mapped past its end (the first touch of the missing pages is a SIGBUS),
// and damaged linking tables send the relocation of the library to wild addresses (SIGSEGV) or
// into the linker's assertions (exit 127). Everything the linker reads before the bundle's own
// code runs must lie within the file; damage inside that code cannot be seen before it runs.
enum class Damage { None, Unreadable, Incomplete, Tables };

// What is wrong with the shared object at `file`, read whole into memory; None when everything
// the dynamic linker reads before the bundle's own code runs lies within the file.
Damage CheckSharedObject(const std::filesystem::path& file);

}  // namespace rb
