#include <sys/stat.h>

#include <cstring>
#include <new>
#include <string_view>

#include "platform/corefoundation/FileRecords.h"
#include "platform/corefoundation/Files.h"
#include "platform/corefoundation/PathTable.h"

namespace vellora::cf {
namespace {

// Marks the 80 bytes as filled here, so that zeros or stray bytes are not taken for an id.
constexpr unsigned char kRefTag[4] = {'V', 'c', 'f', 'R'};
constexpr size_t kMaxSpecName = sizeof(FSSpec::name) - 1;

bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

OSErr FillRef(const std::string& canonical, FSRef* ref) {
    uint32_t id = RegisterPath(canonical);
    if (id == 0) return memFullErr;
    std::memset(ref, 0, sizeof *ref);
    std::memcpy(ref->hidden, kRefTag, sizeof kRefTag);
    std::memcpy(ref->hidden + sizeof kRefTag, &id, sizeof id);
    return noErr;
}

OSErr CopyOut(const std::optional<std::string>& path, char* buffer, int32_t size) {
    if (!path || buffer == nullptr || size <= 0) return paramErr;
    if (path->size() + 1 > static_cast<size_t>(size)) return paramErr;
    std::memcpy(buffer, path->c_str(), path->size() + 1);
    return noErr;
}

}  // namespace

std::optional<std::string> SpecPath(const FSSpec& spec) {
    if (spec.parID <= 0) return std::nullopt;
    size_t length = spec.name[0];
    if (length > kMaxSpecName) return std::nullopt;
    std::string_view leaf(reinterpret_cast<const char*>(spec.name + 1), length);
    if (!IsValidLeafName(leaf)) return std::nullopt;
    std::optional<std::string> folder = LookupPath(static_cast<uint32_t>(spec.parID));
    if (!folder) return std::nullopt;
    return JoinPath(*folder, leaf);
}

std::optional<std::string> RefPath(const FSRef& ref) {
    if (std::memcmp(ref.hidden, kRefTag, sizeof kRefTag) != 0) return std::nullopt;
    uint32_t id;
    std::memcpy(&id, ref.hidden + sizeof kRefTag, sizeof id);
    return LookupPath(id);
}

}  // namespace vellora::cf

using namespace vellora::cf;

// The C entries catch everything: a std::bad_alloc must not unwind into a C caller.

extern "C" OSErr FSMakeFSSpecFromPath(const char* path, FSSpec* spec) {
    if (path == nullptr || spec == nullptr) return paramErr;
    try {
        std::optional<std::string> canonical = CanonicalPath(path);
        if (!canonical) return paramErr;
        if (*canonical == "/") return bdNamErr;  // the root has no folder to name it in
        size_t slash = canonical->rfind('/');
        std::string folder = slash == 0 ? std::string("/") : canonical->substr(0, slash);
        std::string leaf = canonical->substr(slash + 1);
        if (leaf.size() > kMaxSpecName) return bdNamErr;
        if (!IsFolder(folder)) return dirNFErr;
        uint32_t id = RegisterPath(folder);
        if (id == 0) return memFullErr;
        std::memset(spec, 0, sizeof *spec);
        spec->vRefNum = -1;
        spec->parID = static_cast<int32_t>(id);
        spec->name[0] = static_cast<unsigned char>(leaf.size());
        std::memcpy(spec->name + 1, leaf.data(), leaf.size());
        return noErr;
    } catch (const std::bad_alloc&) {
        return memFullErr;
    } catch (...) {
        return paramErr;
    }
}

extern "C" OSErr FSMakeFSRefFromPath(const char* path, FSRef* ref) {
    if (path == nullptr || ref == nullptr) return paramErr;
    try {
        std::optional<std::string> canonical = CanonicalPath(path);
        if (!canonical) return paramErr;
        if (!Exists(*canonical)) return fnfErr;
        return FillRef(*canonical, ref);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    } catch (...) {
        return paramErr;
    }
}

extern "C" OSErr FSpMakeFSRef(const FSSpec* spec, FSRef* ref) {
    if (spec == nullptr || ref == nullptr) return paramErr;
    try {
        std::optional<std::string> path = SpecPath(*spec);
        if (!path) return paramErr;
        // The folder existed when the spec was made; it may have gone since.
        if (!IsFolder(*LookupPath(static_cast<uint32_t>(spec->parID)))) return dirNFErr;
        if (!Exists(*path)) return fnfErr;
        return FillRef(*path, ref);
    } catch (const std::bad_alloc&) {
        return memFullErr;
    } catch (...) {
        return paramErr;
    }
}

extern "C" OSErr FSSpecGetPath(const FSSpec* spec, char* buffer, int32_t size) {
    if (spec == nullptr) return paramErr;
    try {
        return CopyOut(SpecPath(*spec), buffer, size);
    } catch (...) {
        return memFullErr;
    }
}

extern "C" OSErr FSRefGetPath(const FSRef* ref, char* buffer, int32_t size) {
    if (ref == nullptr) return paramErr;
    try {
        return CopyOut(RefPath(*ref), buffer, size);
    } catch (...) {
        return memFullErr;
    }
}
