#include "platform/speechsynthesis/TextConverter.h"

#include <unicode/normalizer2.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <memory>

namespace vellora::speech {
namespace {

struct ConverterClose {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

// ICU's Mac Roman converter; one a thread, as a converter keeps state between calls.
UConverter* MacRoman() {
    thread_local std::unique_ptr<UConverter, ConverterClose> converter = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<UConverter, ConverterClose> c(ucnv_open("macintosh", &status));
        if (U_FAILURE(status)) return std::unique_ptr<UConverter, ConverterClose>();
        status = U_ZERO_ERROR;
        ucnv_setSubstChars(c.get(), "?", 1, &status);
        return c;
    }();
    return converter.get();
}

std::string Utf8Of(const std::u16string_view units) {
    std::string out;
    if (units.empty()) return out;
    const UChar* src = reinterpret_cast<const UChar*>(units.data());
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(nullptr, 0, &length, src, int32_t(units.size()), 0xFFFD, nullptr, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return out;
    out.resize(size_t(length));
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), length, &length, src, int32_t(units.size()), 0xFFFD, nullptr,
                       &status);
    out.resize(U_SUCCESS(status) ? size_t(length) : 0);
    return out;
}

}  // namespace

std::string MacRomanToUtf8(std::string_view macRoman) {
    // ASCII is itself in both: most text needs no converter at all.
    if (std::none_of(macRoman.begin(), macRoman.end(),
                     [](char c) { return c == 0 || static_cast<unsigned char>(c) >= 0x80; }))
        return std::string(macRoman);
    std::u16string units(macRoman.size(), u'\0');
    UErrorCode status = U_ZERO_ERROR;
    UConverter* c = MacRoman();
    int32_t n = 0;
    if (c) {
        ucnv_resetToUnicode(c);
        n = ucnv_toUChars(c, reinterpret_cast<UChar*>(units.data()), int32_t(units.size()),
                          macRoman.data(), int32_t(macRoman.size()), &status);
    }
    if (!c || U_FAILURE(status)) {
        // Without ICU's table, the bytes beyond ASCII are not known.
        n = int32_t(macRoman.size());
        for (size_t i = 0; i < macRoman.size(); ++i) {
            unsigned char b = static_cast<unsigned char>(macRoman[i]);
            units[i] = b < 0x80 ? char16_t(b) : u'?';
        }
    }
    units.resize(size_t(n));
    std::replace(units.begin(), units.end(), u'\0', u' ');
    return Utf8Of(units);
}

std::string Utf8ToMacRoman(std::string_view utf8, size_t maxBytes) {
    icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), int32_t(utf8.size())));
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_SUCCESS(status)) {
        icu::UnicodeString composed = nfc->normalize(text, status);
        if (U_SUCCESS(status)) text = composed;
    }
    // One byte a code point: no more of the text than fits is converted.
    int32_t end = text.moveIndex32(0, int32_t(std::min<size_t>(maxBytes, INT32_MAX)));
    std::string out(size_t(text.countChar32(0, end)), '\0');
    UConverter* c = MacRoman();
    status = U_ZERO_ERROR;
    int32_t n = 0;
    if (c) {
        ucnv_resetFromUnicode(c);
        n = ucnv_fromUChars(c, out.data(), int32_t(out.size()), text.getBuffer(), end, &status);
    }
    if (!c || (U_FAILURE(status) && status != U_STRING_NOT_TERMINATED_WARNING)) return {};
    out.resize(std::min(size_t(n), maxBytes));
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    return Utf8Of(utf16);
}

}  // namespace vellora::speech
