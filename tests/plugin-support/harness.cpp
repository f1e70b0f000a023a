#include "tests/plugin-support/harness.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_folder.h"

namespace {

// A private folder for this process's copies: the loader would hand back an already loaded
// file instead of loading it again.
const std::filesystem::path& CopyFolder() {
    static const vellora_test::TempFolder folder("plugin-support");
    if (folder.path().empty()) std::abort();
    return folder.path();
}

}  // namespace

Bundle::Bundle(fake::Host& host) : host_(host) {
    static int copies = 0;
    path_ = CopyFolder() / ("probe-" + std::to_string(++copies) + ".so");
    std::filesystem::copy_file(PROBE_BUNDLE_PATH, path_);
    handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        ADD_FAILURE() << "cannot load " << path_ << ": " << dlerror();
        return;
    }
    auto main = reinterpret_cast<REALPluginMainProc>(dlsym(handle_, "REALPluginMain"));
    if (!main) {
        ADD_FAILURE() << "no REALPluginMain in " << path_;
        return;
    }
    mainResult = main(&fake::Host::Resolve);
}

Bundle::~Bundle() {
    if (handle_) dlclose(handle_);
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

intptr_t Bundle::Call(const char* routine, intptr_t a, intptr_t b, intptr_t c) const {
    auto call = Method<probe::CallFn>(probe::kCall);
    return call ? call(nullptr, routine, a, b, c) : 0;
}

// --- calloc and free ---

// The allocator underneath: glibc's own, or under AddressSanitizer or ThreadSanitizer the
// sanitizer's (memory from one may not be handed to the other). The sanitizer calls these while it
// starts, before its shadow memory exists, so they are left uninstrumented and touch the log
// through plain builtins rather than instrumented library code.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" void* __interceptor_calloc(size_t, size_t);
extern "C" void __interceptor_free(void*);
#define VELLORA_UNDERLYING_CALLOC __interceptor_calloc
#define VELLORA_UNDERLYING_FREE __interceptor_free
#else
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void __libc_free(void*);
#define VELLORA_UNDERLYING_CALLOC __libc_calloc
#define VELLORA_UNDERLYING_FREE __libc_free
#endif
#define VELLORA_UNINSTRUMENTED __attribute__((no_sanitize("address", "undefined", "thread")))

namespace {

// Fixed storage: these run inside the allocator and may not allocate.
constexpr int kLogSize = 256;
struct Log {
    bool on = false;  // read and written atomically
    size_t refuse = 0;
    size_t callocs[kLogSize][2];
    int callocCount = 0;
    const void* frees[kLogSize];
    int freeCount = 0;
} gLog;

}  // namespace

extern "C" VELLORA_UNINSTRUMENTED void* calloc(size_t count, size_t size) {
    if (__atomic_load_n(&gLog.on, __ATOMIC_RELAXED)) {
        if (gLog.callocCount < kLogSize) {
            gLog.callocs[gLog.callocCount][0] = count;
            gLog.callocs[gLog.callocCount][1] = size;
            ++gLog.callocCount;
        }
        if (gLog.refuse != 0 && size == gLog.refuse) return nullptr;
    }
    return VELLORA_UNDERLYING_CALLOC(count, size);
}

extern "C" VELLORA_UNINSTRUMENTED void free(void* pointer) {
    if (__atomic_load_n(&gLog.on, __ATOMIC_RELAXED) && pointer && gLog.freeCount < kLogSize) {
        gLog.frees[gLog.freeCount++] = pointer;
    }
    VELLORA_UNDERLYING_FREE(pointer);
}

namespace alloc {

Recording::Recording(size_t refuseCallocSize) {
    gLog.callocCount = 0;
    gLog.freeCount = 0;
    gLog.refuse = refuseCallocSize;
    __atomic_store_n(&gLog.on, true, __ATOMIC_SEQ_CST);
}

Recording::~Recording() {
    __atomic_store_n(&gLog.on, false, __ATOMIC_SEQ_CST);
}

bool Recording::SawCalloc(size_t count, size_t size) const {
    for (int i = 0; i < gLog.callocCount; ++i) {
        if (gLog.callocs[i][0] == count && gLog.callocs[i][1] == size) return true;
    }
    return false;
}

int Recording::CallocCount() const {
    return gLog.callocCount;
}

bool Recording::SawFree(const void* pointer) const {
    for (int i = 0; i < gLog.freeCount; ++i) {
        if (gLog.frees[i] == pointer) return true;
    }
    return false;
}

}  // namespace alloc
