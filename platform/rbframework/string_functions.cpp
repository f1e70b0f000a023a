#include "platform/rbframework/string_functions.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace rb {

namespace {

// The one walk of a string's characters that every string function takes, so that lengths,
// positions and pieces always agree. A character is what ICU reads as one: in UTF-8 and UTF-16
// an invalid byte sequence or a lone surrogate is one character (read as U+FFFD), in UTF-32 one
// unit, in the single-byte encodings one byte; a last unit cut short (an odd byte of UTF-16) is
// one character too, so that no byte is outside every character.
struct CharWalker {
    explicit CharWalker(const String& s) : str(s), enc(s.encoding()), b(s.bytes()) {}
    const String& str;
    Encoding enc;
    std::string_view b;

    uint32_t unit16(size_t i) const {
        return static_cast<unsigned char>(b[i]) | (static_cast<unsigned char>(b[i + 1]) << 8);
    }
    bool multiByte() const {
        return enc == encoding::UTF8 || enc == encoding::UTF16 || enc == encoding::UTF32;
    }
    // Well-formed UTF-8: a character is a byte that does not continue one, and the count and
    // offsets need no decoding.
    bool plainUtf8() const { return enc == encoding::UTF8 && str.knownWellFormed(); }
    // The offset after the character at offset i, and its code point when `c` is given.
    size_t next(size_t i, UChar32* c = nullptr) const {
        UChar32 cp = 0xFFFD;
        switch (enc) {
            case encoding::UTF8: {
                int32_t at = static_cast<int32_t>(i);
                U8_NEXT(b.data(), at, static_cast<int32_t>(b.size()), cp);
                i = static_cast<size_t>(at);
                break;
            }
            case encoding::UTF16:
                if (i + 2 > b.size()) {
                    i = b.size();
                    break;
                }
                cp = static_cast<UChar32>(unit16(i));
                i += 2;
                if (U16_IS_LEAD(cp) && i + 2 <= b.size() && U16_IS_TRAIL(unit16(i))) {
                    cp = U16_GET_SUPPLEMENTARY(cp, unit16(i));
                    i += 2;
                }
                break;
            case encoding::UTF32:
                if (i + 4 > b.size()) {
                    i = b.size();
                    break;
                }
                cp = static_cast<UChar32>(unit16(i) | (unit16(i + 2) << 16));
                i += 4;
                break;
            default:
                cp = static_cast<unsigned char>(b[i]);
                ++i;
        }
        if (c) *c = cp < 0 || cp > 0x10FFFF || U_IS_SURROGATE(cp) ? 0xFFFD : cp;
        return i;
    }

    static bool continues(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
    // Bytes of the form 10xxxxxx, eight at a time.
    size_t continuationBytes() const {
        constexpr uint64_t high = 0x8080808080808080ULL;
        size_t n = 0, i = 0;
        for (; i + 8 <= b.size(); i += 8) {
            uint64_t w;
            std::memcpy(&w, b.data() + i, 8);
            n += static_cast<size_t>(__builtin_popcountll(w & high & ~(w << 1)));
        }
        for (; i < b.size(); ++i) n += continues(b[i]);
        return n;
    }

    // Counted once for each string, and only when nobody knew it already.
    int64_t count64() const {
        if (!multiByte()) return static_cast<int64_t>(b.size());
        if (int64_t known = str.knownLength(); known >= 0) return known;
        int64_t n = 0;
        if (enc == encoding::UTF8 && str.asciiOnly()) {
            n = static_cast<int64_t>(b.size());
        } else if (plainUtf8()) {
            n = static_cast<int64_t>(b.size() - continuationBytes());
        } else {
            for (size_t i = 0; i < b.size(); i = next(i)) ++n;
        }
        str.keepLength(n);
        return n;
    }
    int32_t count() const {
        return static_cast<int32_t>(
            std::min<int64_t>(count64(), std::numeric_limits<int32_t>::max()));
    }
    // Every character one unit wide: offsets are had by multiplying.
    size_t uniformWidth() const {
        if (!multiByte()) return 1;
        if (enc == encoding::UTF32) return b.size() % 4 == 0 ? 4 : 0;
        int64_t n = count64();
        if (enc == encoding::UTF8 && size_t(n) == b.size()) return 1;
        if (enc == encoding::UTF16 && size_t(n) * 2 == b.size()) return 2;
        return 0;
    }
    // The offset where character k (0-based) starts; the end when there are fewer.
    size_t offsetOf(int64_t k) const {
        if (k <= 0) return 0;
        if (size_t w = uniformWidth())
            return static_cast<size_t>(std::min<int64_t>(k, int64_t(b.size() / w))) * w;
        if (plainUtf8()) {
            // From whichever end is nearer.
            int64_t n = count64();
            if (k >= n) return b.size();
            if (k > n / 2) return backFromEnd(n - k);
            size_t i = 0;
            for (int64_t seen = 0; i < b.size(); ++i)
                if (!continues(b[i]) && seen++ == k) return i;
            return b.size();
        }
        size_t i = 0;
        for (int64_t seen = 0; i < b.size() && seen < k; ++seen) i = next(i);
        return i;
    }
    // Well-formed UTF-8: where the last k characters (0 < k < count) begin.
    size_t backFromEnd(int64_t k) const {
        size_t i = b.size();
        while (k > 0 && i > 0)
            if (!continues(b[--i])) --k;
        return i;
    }
    // The offset where the last k characters begin; 0 when there are fewer.
    size_t offsetFromEnd(int64_t k) const {
        if (k <= 0) return b.size();
        int64_t n = count64();
        return k >= n ? 0 : offsetOf(n - k);
    }
};

// Bytes [from, to) of s, which hold `chars` characters (-1: not known). All of s is s itself:
// strings never change, so the text is not copied.
String slice(const String& s, size_t from, size_t to, int64_t chars = -1) {
    std::string_view b = s.bytes();
    if (to <= from) return String::fromBytes("", 0, s.encoding(), {0, true, true});
    if (from == 0 && to == b.size() && !s.isNil()) return s;
    const bool utf8 = s.encoding() == encoding::UTF8;
    TextFacts facts{chars, false, utf8 && s.knownWellFormed()};
    // A piece of ASCII is ASCII; in UTF-8 its bytes are its characters.
    if (s.asciiOnly()) facts = {utf8 ? static_cast<int64_t>(to - from) : chars, true, true};
    return String::fromBytes(b.data() + from, to - from, s.encoding(), facts);
}

// Code points with simple case folding, one per character of the walk, so that a match's
// position counts as the text does.
std::u32string folded(const String& s) {
    CharWalker w(s);
    std::u32string out;
    out.reserve(w.b.size());
    if (s.encoding() == encoding::MacRoman) {
        // One character a byte; its code point is had by conversion.
        std::string utf8 = s.toUtf8();
        int32_t i = 0, n = static_cast<int32_t>(utf8.size());
        while (i < n) {
            UChar32 c;
            U8_NEXT(utf8.data(), i, n, c);
            out.push_back(
                static_cast<char32_t>(u_foldCase(c < 0 ? 0xFFFD : c, U_FOLD_CASE_DEFAULT)));
        }
        out.resize(w.b.size(), U'\uFFFD');
        return out;
    }
    for (size_t i = 0; i < w.b.size();) {
        UChar32 c;
        i = w.next(i, &c);
        // Bytes of ASCII or raw text above 0x7F are no character of their own to compare.
        if (!w.multiByte() && c > 0x7F) c = 0xFFFD;
        out.push_back(static_cast<char32_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT)));
    }
    return out;
}

// Character positions (0-based) of each match of sep in s, ignoring case.
std::vector<size_t> matches(const std::u32string& s, const std::u32string& sep) {
    std::vector<size_t> at;
    if (sep.empty()) return at;
    for (size_t pos = s.find(sep); pos != std::u32string::npos; pos = s.find(sep, pos + sep.size()))
        at.push_back(pos);
    return at;
}

}  // namespace

int32_t Len(const String& s) {
    return CharWalker(s).count();
}

// The characters a piece holds, when the walker knows the whole's count already.
static int64_t piece(const CharWalker& w, int64_t from, int64_t to) {
    int64_t n = w.count64();
    return std::clamp<int64_t>(to, 0, n) - std::clamp<int64_t>(from, 0, n);
}

String Left(const String& s, int32_t n) {
    CharWalker w(s);
    return slice(s, 0, w.offsetOf(n), piece(w, 0, n));
}

String Right(const String& s, int32_t n) {
    if (n <= 0) return slice(s, 0, 0);
    CharWalker w(s);
    int64_t all = w.count64();
    return slice(s, w.offsetFromEnd(n), s.byteLength(), std::min<int64_t>(n, all));
}

String Mid(const String& s, int32_t start) {
    if (start < 1) start = 1;
    CharWalker w(s);
    int64_t from = int64_t{start} - 1;
    return slice(s, w.offsetOf(from), s.byteLength(), piece(w, from, w.count64()));
}

String Mid(const String& s, int32_t start, int32_t count) {
    if (start < 1) start = 1;
    if (count <= 0) return slice(s, 0, 0);
    CharWalker w(s);
    int64_t first = int64_t{start} - 1, last = first + count;
    size_t from = w.offsetOf(first);
    size_t to = w.offsetOf(last);
    return slice(s, from, to, piece(w, first, last));
}

int32_t InStr(const String& s, const String& find) {
    return InStr(1, s, find);
}

int32_t InStr(int32_t start, const String& s, const String& find) {
    if (start < 1) start = 1;
    std::u32string hay = folded(s), needle = folded(find);
    size_t from = static_cast<size_t>(start) - 1;
    if (from > hay.size()) return 0;
    if (needle.empty()) return start;
    size_t pos = hay.find(needle, from);
    return pos == std::u32string::npos ? 0 : static_cast<int32_t>(pos + 1);
}

String NthField(const String& s, const String& sep, int32_t n) {
    if (n < 1) return slice(s, 0, 0);
    if (sep.empty()) return n == 1 ? s : slice(s, 0, 0);
    std::u32string hay = folded(s), needle = folded(sep);
    std::vector<size_t> at = matches(hay, needle);
    if (static_cast<size_t>(n) > at.size() + 1) return slice(s, 0, 0);
    // Positions count characters; the folded text has one entry per character of s.
    size_t begin = n == 1 ? 0 : at[static_cast<size_t>(n) - 2] + needle.size();
    size_t end = static_cast<size_t>(n) <= at.size() ? at[static_cast<size_t>(n) - 1] : hay.size();
    return Mid(s, static_cast<int32_t>(begin + 1), static_cast<int32_t>(end - begin));
}

int32_t CountFields(const String& s, const String& sep) {
    if (sep.empty()) return s.empty() ? 0 : 1;
    return static_cast<int32_t>(matches(folded(s), folded(sep)).size() + 1);
}

double Val(const String& s) {
    std::string t = s.toUtf8();
    size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
    size_t begin = i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t digits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
    }
    if (!digits) return 0.0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        size_t j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
        if (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j]))) {
            while (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j]))) ++j;
            i = j;
        }
    }
    std::string number = t.substr(begin, i - begin);
    return std::strtod(number.c_str(), nullptr);
}

String Str(int32_t n) {
    return String(std::to_string(n));
}

String Str(double d) {
    if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15) {
        return String(std::to_string(static_cast<int64_t>(d)));
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.7g", d);
    return String(buf);
}

String Lowercase(const String& s) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(s.toUtf8());
    u.toLower(icu::Locale::getRoot());
    std::string out;
    u.toUTF8String(out);
    return String(out);
}

String Chr(int32_t codePoint) {
    if (codePoint < 0 || codePoint > 0x10FFFF || U_IS_SURROGATE(codePoint)) return String("");
    char buf[4];
    int32_t len = 0;
    UBool error = false;
    U8_APPEND(buf, len, 4, codePoint, error);
    if (error) return String("");
    return String(std::string_view(buf, static_cast<size_t>(len)));
}

int32_t DoubleToInt32(double d) noexcept {
    if (std::isnan(d)) return 0;
    if (d >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (d <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(d);
}

}  // namespace rb
