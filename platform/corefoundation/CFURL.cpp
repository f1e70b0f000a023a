#include <sys/stat.h>
#include <unicode/ustring.h>

#include <cstring>
#include <optional>
#include <string>

#include "platform/corefoundation/CoreFoundation.h"
#include "platform/corefoundation/FileRecords.h"
#include "platform/corefoundation/Objects.h"
#include "platform/corefoundation/PathTable.h"

using namespace vellora::cf;

namespace {

// UTF-8 of the units, or nothing when they hold an unpaired surrogate.
std::optional<std::string> ToUtf8(const std::u16string& units) {
    if (units.size() > static_cast<size_t>(INT32_MAX / 3)) return std::nullopt;
    int32_t length = static_cast<int32_t>(units.size());
    std::string out(units.size() * 3, '\0');  // at most three bytes per UTF-16 unit
    int32_t written = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &written, units.data(), length,
                &status);
    if (U_FAILURE(status)) return std::nullopt;
    out.resize(static_cast<size_t>(written));
    return out;
}

}  // namespace

extern "C" CFURLRef CFURLCreateFromFSRef(CFAllocatorRef, const FSRef* ref) {
    if (ref == nullptr) return nullptr;
    try {
        std::optional<std::string> path = RefPath(*ref);
        if (!path) return nullptr;
        // A ref outlives its file; the URL of a file that has gone would name nothing.
        struct stat info;
        if (lstat(path->c_str(), &info) != 0) return nullptr;
        return ToRef(new Url(std::move(*path)));
    } catch (...) {
        return nullptr;
    }
}

extern "C" CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef url,
                                                          CFStringRef pathComponent,
                                                          Boolean /*isDirectory*/) {
    const Url* base = AsUrl(url);
    const String* name = AsString(pathComponent);
    if (base == nullptr || name == nullptr) return nullptr;
    try {
        std::optional<std::string> leaf = ToUtf8(name->units);
        if (!leaf || !IsValidLeafName(*leaf)) return nullptr;
        return ToRef(new Url(JoinPath(base->path, *leaf)));
    } catch (...) {
        return nullptr;
    }
}

extern "C" Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean /*resolveAgainstBase*/,
                                                    uint8_t* buffer, CFIndex maxBufLen) {
    const Url* source = AsUrl(url);
    if (source == nullptr || buffer == nullptr || maxBufLen <= 0) return false;
    if (static_cast<CFIndex>(source->path.size()) >= maxBufLen) return false;
    std::memcpy(buffer, source->path.c_str(), source->path.size() + 1);
    return true;
}
