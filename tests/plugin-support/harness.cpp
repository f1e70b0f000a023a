#include "tests/plugin-support/harness.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

namespace {

// A private folder for this process's copies: the loader would hand back an already loaded
// file instead of loading it again.
struct Folder {
    Folder() {
        std::string pattern = std::filesystem::temp_directory_path() / "plugin-support-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        path = pattern;
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

const std::filesystem::path& CopyFolder() {
    static const Folder folder;
    return folder.path;
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

extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void __libc_free(void*);

namespace {

// Fixed storage: these run inside the allocator and may not allocate.
constexpr int kLogSize = 256;
struct Log {
    std::atomic<bool> on{false};
    size_t refuse = 0;
    size_t callocs[kLogSize][2];
    int callocCount = 0;
    const void* frees[kLogSize];
    int freeCount = 0;
} gLog;

}  // namespace

extern "C" void* calloc(size_t count, size_t size) {
    if (gLog.on.load(std::memory_order_relaxed)) {
        if (gLog.callocCount < kLogSize) {
            gLog.callocs[gLog.callocCount][0] = count;
            gLog.callocs[gLog.callocCount][1] = size;
            ++gLog.callocCount;
        }
        if (gLog.refuse != 0 && size == gLog.refuse) return nullptr;
    }
    return __libc_calloc(count, size);
}

extern "C" void free(void* pointer) {
    if (gLog.on.load(std::memory_order_relaxed) && pointer && gLog.freeCount < kLogSize) {
        gLog.frees[gLog.freeCount++] = pointer;
    }
    __libc_free(pointer);
}

namespace alloc {

Recording::Recording(size_t refuseCallocSize) {
    gLog.callocCount = 0;
    gLog.freeCount = 0;
    gLog.refuse = refuseCallocSize;
    gLog.on = true;
}

Recording::~Recording() {
    gLog.on = false;
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
