#include <unicode/unorm2.h>
#include <unicode/utypes.h>

#include <new>
#include <optional>
#include <string>

#include "platform/corefoundation/CoreFoundation.h"
#include "platform/corefoundation/Objects.h"

using namespace vellora::cf;

namespace {

const UNormalizer2* NormalizerFor(CFStringNormalizationForm form, UErrorCode* status) {
    switch (form) {
        case kCFStringNormalizationFormD:
            return unorm2_getNFDInstance(status);
        case kCFStringNormalizationFormKD:
            return unorm2_getNFKDInstance(status);
        case kCFStringNormalizationFormC:
            return unorm2_getNFCInstance(status);
        case kCFStringNormalizationFormKC:
            return unorm2_getNFKCInstance(status);
    }
    return nullptr;
}

// The normalised units, or nothing when ICU fails (the caller then keeps the string as it is).
std::optional<std::u16string> Normalized(const std::u16string& source,
                                         CFStringNormalizationForm form) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* normalizer = NormalizerFor(form, &status);
    if (normalizer == nullptr || U_FAILURE(status)) return std::nullopt;
    if (source.size() > static_cast<size_t>(INT32_MAX)) return std::nullopt;
    int32_t length = static_cast<int32_t>(source.size());
    // Most text keeps its length; a longer result is measured by the first call.
    std::u16string result(source.size() + 16, u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        status = U_ZERO_ERROR;
        int32_t needed = unorm2_normalize(normalizer, source.data(), length, result.data(),
                                          static_cast<int32_t>(result.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            result.assign(static_cast<size_t>(needed), u'\0');
            continue;
        }
        if (U_FAILURE(status)) return std::nullopt;
        result.resize(static_cast<size_t>(needed));
        return result;
    }
    return std::nullopt;
}

}  // namespace

extern "C" CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars,
                                                    CFIndex count) {
    if (count < 0 || (chars == nullptr && count > 0)) return nullptr;
    try {
        std::u16string units(chars, chars + count);
        return ToRef(new String(std::move(units), false));
    } catch (...) {
        return nullptr;
    }
}

extern "C" CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef, CFIndex maxLength,
                                                        CFStringRef string) {
    const String* source = AsString(string);
    if (source == nullptr || maxLength < 0) return nullptr;
    if (maxLength > 0 && static_cast<CFIndex>(source->units.size()) > maxLength) return nullptr;
    try {
        return ToMutableRef(new String(source->units, true));
    } catch (...) {
        return nullptr;
    }
}

extern "C" void CFStringNormalize(CFMutableStringRef string, CFStringNormalizationForm form) {
    String* target = AsMutableString(string);
    if (target == nullptr) return;
    try {
        if (std::optional<std::u16string> result = Normalized(target->units, form)) {
            target->units = std::move(*result);
        }
    } catch (...) {
        // Out of memory: the string stays as it was.
    }
}

extern "C" CFIndex CFStringGetLength(CFStringRef string) {
    const String* source = AsString(string);
    return source == nullptr ? 0 : static_cast<CFIndex>(source->units.size());
}

extern "C" void CFStringGetCharacters(CFStringRef string, CFIndex start, CFIndex length,
                                      UniChar* buffer) {
    const String* source = AsString(string);
    if (source == nullptr || buffer == nullptr || start < 0 || length < 0) return;
    CFIndex size = static_cast<CFIndex>(source->units.size());
    if (start > size || length > size - start) return;
    for (CFIndex i = 0; i < length; ++i) buffer[i] = source->units[static_cast<size_t>(start + i)];
}
