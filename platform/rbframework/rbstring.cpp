#include "platform/rbframework/rbstring.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace rb {

// The record first, so that a handle is the record's address.
struct StringRep {
    std::atomic<intptr_t> refs;  // word 0
    unsigned char* pascal;       // word 1: length byte, bytes, four NULs
    uintptr_t encoding;          // word 2
    uintptr_t byteLength;        // word 3
    // Beyond the record the plug-ins read: what is known of the text, found at most once.
    std::atomic<int64_t> chars;  // -1: not counted yet
    std::atomic<uint8_t> facts;  // Fact bits
};
static_assert(offsetof(StringRep, pascal) == offsetof(REALstringRecord, pascalBytes));
static_assert(offsetof(StringRep, byteLength) == offsetof(REALstringRecord, byteLength));

namespace {

std::atomic<int64_t> gLiveStrings{0};

enum Fact : uint8_t { kAsciiKnown = 1, kAscii = 2, kWellFormed = 4 };

uint8_t factBits(const TextFacts& f) {
    if (f.ascii) return kAsciiKnown | kAscii | kWellFormed;
    return f.wellFormed ? kWellFormed : 0;
}

// Eight bytes at a time: this runs over whole texts on the main thread.
bool allAscii(const unsigned char* p, size_t n) {
    uint64_t high = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        high |= w;
    }
    for (; i < n; ++i) high |= p[i];
    return (high & 0x8080808080808080ULL) == 0;
}

StringRep* newRep(const void* bytes, size_t n, Encoding enc, TextFacts facts = {}) {
    // One block: the record, then the length byte, the bytes and four NULs.
    auto* block = static_cast<unsigned char*>(std::malloc(sizeof(StringRep) + 1 + n + 4));
    if (!block) throw std::bad_alloc();
    auto* rep = new (block) StringRep{};
    rep->refs.store(1, std::memory_order_relaxed);
    rep->pascal = block + sizeof(StringRep);
    rep->pascal[0] = static_cast<unsigned char>(std::min<size_t>(n, 255));
    if (n && bytes) std::memcpy(rep->pascal + 1, bytes, n);
    std::memset(rep->pascal + 1 + n, 0, 4);
    rep->encoding = enc;
    rep->byteLength = n;
    rep->chars.store(facts.chars, std::memory_order_relaxed);
    rep->facts.store(factBits(facts), std::memory_order_relaxed);
    gLiveStrings.fetch_add(1, std::memory_order_relaxed);
    return rep;
}

void retainRep(StringRep* r) noexcept {
    if (r) r->refs.fetch_add(1, std::memory_order_relaxed);
}

void releaseRep(StringRep* r) noexcept {
    if (r && r->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        r->~StringRep();
        std::free(r);
        gLiveStrings.fetch_sub(1, std::memory_order_relaxed);
    }
}

const char* icuName(Encoding enc) {
    switch (enc) {
        case encoding::MacRoman:
            return "macintosh";
        case encoding::ASCII:
            return "US-ASCII";
        case encoding::UTF16:
            return "UTF-16LE";
        case encoding::UTF8:
            return "UTF-8";
        case encoding::UTF32:
            return "UTF-32LE";
        default:
            return nullptr;
    }
}

// A converter that stops at the first character it cannot map, either way.
struct Converter {
    explicit Converter(const char* name) {
        UErrorCode err = U_ZERO_ERROR;
        cnv = ucnv_open(name, &err);
        if (U_FAILURE(err)) {
            cnv = nullptr;
            return;
        }
        ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
        ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    }
    ~Converter() {
        if (cnv) ucnv_close(cnv);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    UConverter* cnv = nullptr;
};

std::optional<std::u16string> decodeStrict(std::string_view bytes, Encoding enc) {
    const char* name = icuName(enc);
    if (!name) return std::nullopt;
    Converter c(name);
    if (!c.cnv) return std::nullopt;
    std::u16string out(bytes.size() + 2, u'\0');
    UErrorCode err = U_ZERO_ERROR;
    int32_t n =
        ucnv_toUChars(c.cnv, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                      bytes.data(), static_cast<int32_t>(bytes.size()), &err);
    if (err == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(static_cast<size_t>(n) + 1, u'\0');
        err = U_ZERO_ERROR;
        ucnv_resetToUnicode(c.cnv);
        n = ucnv_toUChars(c.cnv, reinterpret_cast<UChar*>(out.data()),
                          static_cast<int32_t>(out.size()), bytes.data(),
                          static_cast<int32_t>(bytes.size()), &err);
    }
    if (U_FAILURE(err)) return std::nullopt;
    out.resize(static_cast<size_t>(n));
    return out;
}

std::optional<std::string> encodeStrict(const std::u16string& text, Encoding enc) {
    const char* name = icuName(enc);
    if (!name) return std::nullopt;
    Converter c(name);
    if (!c.cnv) return std::nullopt;
    std::string out(text.size() * 4 + 4, '\0');
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = ucnv_fromUChars(c.cnv, out.data(), static_cast<int32_t>(out.size()),
                                reinterpret_cast<const UChar*>(text.data()),
                                static_cast<int32_t>(text.size()), &err);
    if (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING) return std::nullopt;
    out.resize(static_cast<size_t>(n));
    return out;
}

// Mac Roman of one code point above ASCII: its byte, kSkip for an invisible format character
// that Mac Roman has no form for, kNone for any other without one. ICU answers each code
// point once; the answers are kept for the Basic Multilingual Plane.
constexpr int kSkip = -1, kNone = -2;
int macRomanOf(UChar32 c) {
    static std::atomic<int16_t> known[0x10000] = {};  // 0: not asked; else the answer + 3
    if (c <= 0xFFFF)
        if (int16_t k = known[c].load(std::memory_order_relaxed)) return k - 3;
    std::u16string units;
    if (c <= 0xFFFF) {
        units.push_back(static_cast<char16_t>(c));
    } else {
        units.push_back(static_cast<char16_t>(U16_LEAD(c)));
        units.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    }
    auto out = encodeStrict(units, encoding::MacRoman);
    int answer = !out ? kNone : out->empty() ? kSkip : static_cast<unsigned char>((*out)[0]);
    if (c <= 0xFFFF) known[c].store(static_cast<int16_t>(answer + 3), std::memory_order_relaxed);
    return answer;
}

// Strict UTF-8 to Mac Roman, as decodeStrict and encodeStrict together give it, without their
// two whole-text buffers: runs of ASCII go across eight bytes at a time.
String utf8ToMacRoman(std::string_view b) {
    const size_t n = b.size();
    std::unique_ptr<char[]> out(new char[n ? n : 1]);
    size_t o = 0;
    for (size_t i = 0; i < n;) {
        uint64_t w;
        while (i + 8 <= n && (std::memcpy(&w, b.data() + i, 8), (w & 0x8080808080808080ULL) == 0)) {
            std::memcpy(out.get() + o, &w, 8);
            i += 8;
            o += 8;
        }
        if (i >= n) break;
        if (static_cast<unsigned char>(b[i]) < 0x80) {
            out[o++] = b[i++];
            continue;
        }
        UChar32 c;
        int32_t at = static_cast<int32_t>(i);
        U8_NEXT(b.data(), at, static_cast<int32_t>(n), c);
        i = static_cast<size_t>(at);
        if (c < 0) return String();
        int m = macRomanOf(c);
        if (m == kNone) return String();
        if (m != kSkip) out[o++] = static_cast<char>(m);
    }
    return String::fromBytes(out.get(), o, encoding::MacRoman,
                             {static_cast<int64_t>(o), false, false});
}

bool wellFormedUtf8(std::string_view b) {
    const int32_t n = static_cast<int32_t>(b.size());
    for (int32_t i = 0; i < n;) {
        UChar32 c;
        U8_NEXT(b.data(), i, n, c);
        if (c < 0) return false;
    }
    return true;
}

}  // namespace

String String::fromBytes(const void* bytes, size_t count, Encoding enc) {
    return String(newRep(bytes, count, enc));
}

String String::fromBytes(const void* bytes, size_t count, Encoding enc, TextFacts facts) {
    return String(newRep(bytes, count, enc, facts));
}

char* String::mutableBytes() noexcept {
    return reinterpret_cast<char*>(rep_->pascal + 1);
}

String String::fromUtf8(std::string_view utf8) {
    return fromBytes(utf8.data(), utf8.size(), encoding::UTF8);
}

String String::retain(REALstring s) noexcept {
    auto* r = reinterpret_cast<StringRep*>(s);
    retainRep(r);
    return String(r);
}

String String::adopt(REALstring s) noexcept {
    return String(reinterpret_cast<StringRep*>(s));
}

String::String(const String& o) noexcept : rep_(o.rep_) {
    retainRep(rep_);
}
String::String(String&& o) noexcept : rep_(std::exchange(o.rep_, nullptr)) {}
String& String::operator=(String o) noexcept {
    std::swap(rep_, o.rep_);
    return *this;
}
String::~String() {
    releaseRep(rep_);
}

REALstring String::handle() const noexcept {
    return reinterpret_cast<REALstring>(rep_);
}
REALstring String::leak() noexcept {
    return reinterpret_cast<REALstring>(std::exchange(rep_, nullptr));
}

Encoding String::encoding() const noexcept {
    return rep_ ? static_cast<Encoding>(rep_->encoding) : encoding::UTF8;
}

std::string_view String::bytes() const noexcept {
    if (!rep_) return {};
    return {reinterpret_cast<const char*>(rep_->pascal + 1), rep_->byteLength};
}

int64_t String::knownLength() const noexcept {
    if (!rep_) return 0;
    return rep_->chars.load(std::memory_order_relaxed);
}

void String::keepLength(int64_t chars) const noexcept {
    if (rep_) rep_->chars.store(chars, std::memory_order_relaxed);
}

bool String::asciiOnly() const noexcept {
    if (!rep_) return true;
    uint8_t f = rep_->facts.load(std::memory_order_relaxed);
    if (f & kAsciiKnown) return f & kAscii;
    bool ascii = allAscii(rep_->pascal + 1, rep_->byteLength);
    rep_->facts.fetch_or(ascii ? kAsciiKnown | kAscii | kWellFormed : kAsciiKnown,
                         std::memory_order_relaxed);
    return ascii;
}

bool String::knownWellFormed() const noexcept {
    return !rep_ || (rep_->facts.load(std::memory_order_relaxed) & kWellFormed);
}

int32_t String::refCount() const noexcept {
    return rep_ ? static_cast<int32_t>(rep_->refs.load(std::memory_order_relaxed)) : 0;
}

int64_t String::liveCount() noexcept {
    return gLiveStrings.load(std::memory_order_relaxed);
}

std::string String::toUtf8() const {
    std::string_view b = bytes();
    const Encoding enc = encoding();
    if (enc == encoding::UTF8) {
        // Bytes tagged as UTF-8 by a plug-in need not be; what is shown must be.
        if (knownWellFormed() || asciiOnly() || wellFormedUtf8(b)) return std::string(b);
        std::string out;
        icu::UnicodeString::fromUTF8(icu::StringPiece(b.data(), static_cast<int32_t>(b.size())))
            .toUTF8String(out);
        return out;
    }
    if (const char* name = icuName(enc)) {
        // Lenient here: the caller wants something to show, not a verdict on the bytes.
        icu::UnicodeString u(b.data(), static_cast<int32_t>(b.size()), name);
        std::string out;
        u.toUTF8String(out);
        return out;
    }
    // Raw bytes, and bytes in an encoding we do not know, read one character a byte.
    std::string out;
    out.reserve(b.size());
    for (unsigned char ch : b) {
        if (ch < 0x80) {
            out += static_cast<char>(ch);
        } else {
            out += static_cast<char>(0xC0 | (ch >> 6));
            out += static_cast<char>(0x80 | (ch & 0x3F));
        }
    }
    return out;
}

String String::convert(Encoding target) const {
    if (!rep_) return String();
    Encoding from = encoding();
    if (from == target) return *this;
    std::string_view b = bytes();
    if (target == encoding::Raw) return fromBytes(b.data(), b.size(), encoding::Raw);
    // ASCII reads alike in these three: the bytes are the same, retagged.
    auto asciiAlike = [](Encoding e) {
        return e == encoding::UTF8 || e == encoding::ASCII || e == encoding::MacRoman;
    };
    if ((asciiAlike(from) || from == encoding::Raw) && asciiAlike(target) && asciiOnly())
        return fromBytes(b.data(), b.size(), target, {static_cast<int64_t>(b.size()), true, true});
    if (from == encoding::Raw) {
        // Raw bytes become text as they are, when they are valid in the target encoding.
        if (!decodeStrict(b, target)) return String();
        return fromBytes(b.data(), b.size(), target);
    }
    if (from == encoding::UTF8 && target == encoding::MacRoman) return utf8ToMacRoman(b);
    auto text = decodeStrict(b, from);
    if (!text) return String();
    auto out = encodeStrict(*text, target);
    if (!out) return String();
    return fromBytes(out->data(), out->size(), target);
}

int32_t RuntimeStringCompare(const String& a, const String& b) {
    const std::string sa = a.toUtf8(), sb = b.toUtf8();
    // ASCII, by far the most common case (keys, delimiters, names), folds without the Unicode
    // library, in the order its case folding gives.
    auto ascii = [](const std::string& s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
    };
    if (ascii(sa) && ascii(sb)) {
        auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        const size_t n = std::min(sa.size(), sb.size());
        for (size_t i = 0; i < n; ++i) {
            const char x = fold(sa[i]), y = fold(sb[i]);
            if (x != y) return x < y ? -1 : 1;
        }
        return sa.size() == sb.size() ? 0 : sa.size() < sb.size() ? -1 : 1;
    }
    icu::UnicodeString ua = icu::UnicodeString::fromUTF8(sa);
    icu::UnicodeString ub = icu::UnicodeString::fromUTF8(sb);
    int8_t r = ua.caseCompare(ub, U_FOLD_CASE_DEFAULT);
    return r;
}

bool operator==(const String& a, const String& b) {
    if (a.encoding() == b.encoding()) return a.bytes() == b.bytes();
    return a.toUtf8() == b.toUtf8();
}

String operator+(const String& a, const String& b) {
    Encoding ea = a.encoding(), eb = b.encoding();
    if (a.isNil() || a.empty()) return b.isNil() ? String("") : b;
    if (b.isNil() || b.empty()) return a;
    Encoding enc;
    std::string joined;
    if (ea == eb || ea == encoding::Raw || eb == encoding::Raw) {
        // Same encoding, or raw bytes involved: the bytes are joined as they are.
        enc = ea == eb ? ea : encoding::Raw;
        joined.reserve(a.byteLength() + b.byteLength());
        joined.append(a.bytes()).append(b.bytes());
    } else {
        enc = encoding::UTF8;
        joined = a.toUtf8() + b.toUtf8();
    }
    return String::fromBytes(joined.data(), joined.size(), enc);
}

namespace strings {
void setEncoding(REALstring s, Encoding enc) noexcept {
    if (!s) return;
    auto* rep = reinterpret_cast<StringRep*>(s);
    rep->encoding = enc;
    // Characters count by the encoding; the facts of the bytes stay.
    rep->chars.store(-1, std::memory_order_relaxed);
}
}  // namespace strings

}  // namespace rb
