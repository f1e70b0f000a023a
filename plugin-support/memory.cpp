// The zero-filled allocator pair used by the bundles for blocks they hand to the platform.
#include <cstdlib>

#include "plugin-support/rb_plugin.h"

void* AllocateClearMemory(int64_t size) {
    if (size < 1 || size > 0x7FFFFFFF) return nullptr;
    return std::calloc(1, static_cast<size_t>(size));
}

void FreeMemoryNow(void* pointer) {
    std::free(pointer);
}
