#include "platform/speechsynthesis/MacRoman.h"

#include <unicode/normalizer2.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include <array>
#include <map>

namespace vellora::speech {
namespace {

struct Tables {
    std::array<std::string, 256> toUtf8;
    std::map<UChar32, char> fromUnicode;

    Tables() {
        UErrorCode status = U_ZERO_ERROR;
        UConverter* conv = ucnv_open("macintosh", &status);
        for (int b = 0; b < 256; ++b) {
            UChar32 cp = b;  // ASCII stays itself should ICU be missing its table
            if (b >= 0x80 && U_SUCCESS(status)) {
                char in = static_cast<char>(b);
                UChar out[4];
                UErrorCode s = U_ZERO_ERROR;
                int32_t n = ucnv_toUChars(conv, out, 4, &in, 1, &s);
                cp = (U_SUCCESS(s) && n == 1) ? out[0] : U'?';
            }
            fromUnicode.emplace(cp, static_cast<char>(b));
            icu::UnicodeString(b == 0 ? UChar32(U' ') : cp).toUTF8String(toUtf8[b]);
        }
        if (conv) ucnv_close(conv);
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

}  // namespace

std::string MacRomanToUtf8(std::string_view macRoman) {
    const Tables& t = tables();
    std::string out;
    out.reserve(macRoman.size() + macRoman.size() / 8);
    for (unsigned char c : macRoman) {
        if (c < 0x80 && c != 0)
            out.push_back(static_cast<char>(c));
        else
            out += t.toUtf8[c];
    }
    return out;
}

std::string Utf8ToMacRoman(std::string_view utf8, size_t maxBytes) {
    const Tables& t = tables();
    icu::UnicodeString text =
        icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), int32_t(utf8.size())));
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_SUCCESS(status)) {
        icu::UnicodeString composed = nfc->normalize(text, status);
        if (U_SUCCESS(status)) text = composed;
    }
    std::string out;
    for (int32_t i = 0; i < text.length() && out.size() < maxBytes;) {
        UChar32 cp = text.char32At(i);
        i += U16_LENGTH(cp);
        auto it = t.fromUnicode.find(cp);
        out.push_back(it != t.fromUnicode.end() ? it->second : '?');
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace vellora::speech
