// Small readers of what the layer returns, so that tests compare plain strings.
#pragma once

#include <memory>
#include <string>
#include <type_traits>

#include "platform/corefoundation/CoreFoundation.h"
#include "platform/corefoundation/Files.h"

struct CFReleaser {
    void operator()(const void* value) const { CFRelease(value); }
};
// Holds the one reference a Create or Copy call returned.
template <class Ref>
using CFHeld = std::unique_ptr<std::remove_pointer_t<Ref>, CFReleaser>;

inline std::string SpecPath(const FSSpec& spec) {
    char buffer[4096];
    return FSSpecGetPath(&spec, buffer, sizeof buffer) == noErr ? buffer : "<error>";
}

inline std::string RefPath(const FSRef& ref) {
    char buffer[4096];
    return FSRefGetPath(&ref, buffer, sizeof buffer) == noErr ? buffer : "<error>";
}

inline std::string UrlPath(CFURLRef url) {
    uint8_t buffer[4096];
    if (!CFURLGetFileSystemRepresentation(url, true, buffer, sizeof buffer)) return "<error>";
    return reinterpret_cast<const char*>(buffer);
}

inline std::u16string Units(CFStringRef string) {
    std::u16string units(static_cast<size_t>(CFStringGetLength(string)), u'\0');
    CFStringGetCharacters(string, 0, static_cast<CFIndex>(units.size()),
                          reinterpret_cast<UniChar*>(units.data()));
    return units;
}

inline CFStringRef MakeString(const std::u16string& units) {
    return CFStringCreateWithCharacters(nullptr, reinterpret_cast<const UniChar*>(units.data()),
                                        static_cast<CFIndex>(units.size()));
}
