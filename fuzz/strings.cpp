// The runtime's string functions on any bytes in every encoding: pieces rejoin to the whole,
// positions stay within the text, fields account for every character, and the Unicode
// encodings carry the same text.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/rbframework/string_functions.h"

namespace {

using rb::String;
namespace enc = rb::encoding;

constexpr rb::Encoding kEncodings[] = {enc::MacRoman, enc::ASCII, enc::UTF16, enc::UTF8,
                                       enc::UTF32,    enc::Raw,   0x1234u};
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

bool same(const String& a, const String& b) {
    return a.encoding() == b.encoding() && a.bytes() == b.bytes();
}

int32_t clamp(int64_t n, int32_t hi) {
    return static_cast<int32_t>(std::clamp<int64_t>(n, 0, hi));
}

void checkPieces(const String& s, int32_t L, int32_t n) {
    const String left = rb::Left(s, n);
    FUZZ_CHECK(left.encoding() == s.encoding());
    FUZZ_CHECK(rb::Len(left) == clamp(n, L));
    if (n < kMax) FUZZ_CHECK(same(left + rb::Mid(s, n + 1), s) || (L == 0 && left.empty()));
    const String right = rb::Right(s, n);
    FUZZ_CHECK(rb::Len(right) == clamp(n, L));
    FUZZ_CHECK(same(rb::Left(s, L - clamp(n, L)) + right, s) || (L == 0 && right.empty()));
}

void checkMid(const String& s, int32_t L, int32_t start, int32_t count) {
    const String piece = rb::Mid(s, start, count);
    FUZZ_CHECK(rb::Len(piece) <= std::max(count, 0));
    FUZZ_CHECK(rb::Len(piece) <= L);
    if (start < 1 || count < 0 || int64_t{start} + count > kMax) return;
    const String whole = rb::Left(s, start - 1) + piece + rb::Mid(s, start + count);
    FUZZ_CHECK(same(whole, s) || (L == 0 && whole.empty()));
}

void checkSearch(const String& s, int32_t L, const String& find, int32_t start) {
    const int32_t n = rb::Len(find);
    const int32_t p = rb::InStr(s, find);
    FUZZ_CHECK(p >= 0 && p <= std::max(L, 1));
    const int32_t q = rb::InStr(start, s, find);
    FUZZ_CHECK(q >= 0 && q <= L + 1);
    if (n == 0) return;
    FUZZ_CHECK(p == 0 || int64_t{p} - 1 + n <= L);
    FUZZ_CHECK(q == 0 || (q >= std::max(start, 1) && int64_t{q} - 1 + n <= L));
    if (p > 0) {
        // What was found matches, and nothing earlier does.
        FUZZ_CHECK(rb::InStr(rb::Mid(s, p, n), find) == 1);
        FUZZ_CHECK(rb::InStr(rb::Left(s, p + n - 2), find) == 0);
        FUZZ_CHECK(q == 0 || q >= p);
        if (start <= p) FUZZ_CHECK(q == p);
    } else {
        FUZZ_CHECK(q == 0);
        FUZZ_CHECK(rb::CountFields(s, find) == 1);
    }
}

void checkFields(const String& s, int32_t L, const String& sep) {
    const int32_t c = rb::CountFields(s, sep);
    if (sep.empty()) {
        FUZZ_CHECK(c == (s.empty() ? 0 : 1));
        FUZZ_CHECK(same(rb::NthField(s, sep, 1), s) || s.empty());
        return;
    }
    const int32_t n = rb::Len(sep);
    FUZZ_CHECK(c >= 1 && c <= L / n + 1);
    FUZZ_CHECK(rb::NthField(s, sep, c + 1).empty());
    FUZZ_CHECK(rb::NthField(s, sep, 0).empty());
    if (c > 64) return;
    // The fields and the separators between them are the whole text, in order.
    int64_t pos = 1;
    for (int32_t i = 1; i <= c; ++i) {
        const String f = rb::NthField(s, sep, i);
        const int32_t len = rb::Len(f);
        FUZZ_CHECK(f.empty() || f.encoding() == s.encoding());
        FUZZ_CHECK(rb::Mid(s, static_cast<int32_t>(pos), len) == f);
        FUZZ_CHECK(rb::InStr(f, sep) == 0);
        pos += len;
        if (i < c) {
            FUZZ_CHECK(rb::InStr(rb::Mid(s, static_cast<int32_t>(pos), n), sep) == 1);
            pos += n;
        }
    }
    FUZZ_CHECK(pos == int64_t{L} + 1);
}

void checkEncodings(const String& s, int32_t L) {
    if (s.encoding() == enc::Raw || s.encoding() == 0x1234u) return;
    // Only text that is valid in its own encoding converts (to itself it is taken as it is).
    if (s.convert(s.encoding() == enc::UTF16 ? enc::UTF32 : enc::UTF16).isNil()) return;
    const String utf8 = s.convert(enc::UTF8);
    FUZZ_CHECK(!utf8.isNil());
    for (rb::Encoding to : {enc::UTF8, enc::UTF16, enc::UTF32}) {
        const String t = s.convert(to);
        FUZZ_CHECK(!t.isNil());
        FUZZ_CHECK(t.encoding() == to);
        FUZZ_CHECK(rb::Len(t) == L);
        FUZZ_CHECK(t.toUtf8() == utf8.bytes());
        FUZZ_CHECK(same(t.convert(s.encoding()), s));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const rb::Encoding e = in.PickValueInArray(kEncodings);
    const rb::Encoding sepEnc = in.ConsumeBool() ? e : in.PickValueInArray(kEncodings);
    const int32_t a = in.ConsumeIntegralInRange<int32_t>(-4, 300);
    const int32_t b = in.ConsumeIntegralInRange<int32_t>(-4, 300);
    const int32_t wide = in.ConsumeIntegral<int32_t>();
    const std::string sepBytes = in.ConsumeRandomLengthString(12);
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    const String s = String::fromBytes(bytes.data(), bytes.size(), e);
    const String sep = String::fromBytes(sepBytes.data(), sepBytes.size(), sepEnc);

    const int32_t L = rb::Len(s);
    FUZZ_CHECK(L >= 0 && static_cast<size_t>(L) <= bytes.size());
    FUZZ_CHECK((L == 0) == bytes.empty());
    for (int32_t n : {a, b, wide, 0, 1, L / 2, L - 1, L, L + 1, -1, kMax, kMin})
        checkPieces(s, L, n);
    checkMid(s, L, a, b);
    checkMid(s, L, b, a);
    checkMid(s, L, wide, a);
    checkMid(s, L, a, wide);
    checkSearch(s, L, sep, a);
    checkSearch(s, L, rb::Mid(s, std::max(a, 1), std::max(b % 5, 1)), b);
    checkFields(s, L, sep);
    checkEncodings(s, L);

    // The comparison is an order: equal text compares equal, and either way round agrees.
    FUZZ_CHECK(rb::RuntimeStringCompare(s, s) == 0);
    const int32_t ab = rb::RuntimeStringCompare(s, sep), ba = rb::RuntimeStringCompare(sep, s);
    FUZZ_CHECK((ab < 0) == (ba > 0) && (ab == 0) == (ba == 0));
    if (s == sep) FUZZ_CHECK(ab == 0);
    const String lower = rb::Lowercase(s);
    FUZZ_CHECK(fuzz::validUtf8(lower.bytes()));
    FUZZ_CHECK(rb::Val(rb::Str(wide)) == wide);
    FUZZ_CHECK(rb::DoubleToInt32(rb::Val(rb::Str(wide))) == wide);
    (void)rb::DoubleToInt32(rb::Val(s));
    (void)rb::Str(rb::Val(s));
    const String c = rb::Chr(wide);
    FUZZ_CHECK(rb::Len(c) <= 1);
    FUZZ_CHECK(rb::Len(rb::Chr(a)) == (a >= 0 ? 1 : 0));
    return 0;
}
