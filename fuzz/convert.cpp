// The encoding conversions, from any bytes in any encoding to any other, directly and through
// the entries the plug-ins call: a conversion either refuses (nil) or keeps the text, and what
// it made converts back to the same bytes.
#include <fuzzer/FuzzedDataProvider.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/rbframework/host_entries.h"
#include "platform/rbframework/string_functions.h"

namespace {

using rb::String;
namespace enc = rb::encoding;

constexpr rb::Encoding kEncodings[] = {enc::MacRoman, enc::ASCII, enc::UTF16, enc::UTF8,
                                       enc::UTF32,    enc::Raw,   0x1234u};

bool isText(rb::Encoding e) {
    return e != enc::Raw && e != 0x1234u;
}

// The text without its default-ignorable code points (zero-width spaces and joiners, the
// byte-order mark, variation selectors, ...).
std::string withoutIgnorables(const std::string& utf8) {
    std::string out;
    for (int32_t i = 0, n = static_cast<int32_t>(utf8.size()); i < n;) {
        const int32_t at = i;
        UChar32 c;
        U8_NEXT(utf8.data(), i, n, c);
        if (!u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT))
            out.append(utf8, static_cast<size_t>(at), static_cast<size_t>(i - at));
    }
    return out;
}

using ConvertFn = REALstring (*)(REALstring, uint32_t);
using GetDataFn = int32_t (*)(REALstring, uint32_t, REALstringData*);
using DisposeFn = void (*)(REALstringData*);

template <class F>
F hostFn(const char* name) {
    void* f = rb::hostEntry(name);
    if (!f) fuzz::fail(name, __FILE__, __LINE__);
    return reinterpret_cast<F>(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const rb::Encoding from = in.PickValueInArray(kEncodings);
    const rb::Encoding to = in.PickValueInArray(kEncodings);
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    const String s = String::fromBytes(bytes.data(), bytes.size(), from);

    // Shown text is always well-formed, whatever the bytes.
    const std::string shown = s.toUtf8();
    FUZZ_CHECK(fuzz::validUtf8(shown));

    const String t = s.convert(to);
    if (!t.isNil()) {
        FUZZ_CHECK(t.encoding() == to);
        if (to == enc::Raw || from == enc::Raw || from == to) {
            FUZZ_CHECK(t.bytes() == s.bytes());
        } else if (t.toUtf8() != shown) {
            // Invisible format characters that the target lacks are left out (ICU's choice);
            // all the rest stays.
            FUZZ_CHECK(to == enc::MacRoman || to == enc::ASCII);
            FUZZ_CHECK(t.toUtf8() == withoutIgnorables(shown));
        } else {
            // The same text: the same characters, and back to the same bytes.
            FUZZ_CHECK(rb::Len(t) == rb::Len(s));
            const String back = t.convert(from);
            FUZZ_CHECK(!back.isNil());
            FUZZ_CHECK(back.bytes() == s.bytes());
        }
    } else {
        // Raw bytes and the same encoding are always taken; only a text encoding refuses.
        FUZZ_CHECK(to != enc::Raw && from != to);
        FUZZ_CHECK(isText(to) || isText(from) || to == 0x1234u);
    }
    // Valid UTF-8 goes to every Unicode encoding.
    if (from == enc::UTF8 && (to == enc::UTF16 || to == enc::UTF32) && fuzz::validUtf8(bytes))
        FUZZ_CHECK(!t.isNil());

    // The plug-ins' entries give the same answers, and the data copy ends in four NULs.
    static const auto convertFn = hostFn<ConvertFn>("REALConvertString");
    static const auto getDataFn = hostFn<GetDataFn>("PluginGetStringData");
    static const auto disposeFn = hostFn<DisposeFn>("PluginDisposeStringData");
    const String viaHost = String::adopt(convertFn(s.handle(), to));
    FUZZ_CHECK(viaHost.isNil() == t.isNil());
    FUZZ_CHECK(viaHost.isNil() || viaHost.bytes() == t.bytes());
    REALstringData out{};
    const int32_t ok = getDataFn(s.handle(), to, &out);
    FUZZ_CHECK((ok != 0) == !t.isNil());
    if (ok) {
        FUZZ_CHECK(out.length >= 0 && static_cast<size_t>(out.length) == t.byteLength());
        const char* p = static_cast<const char*>(out.data);
        FUZZ_CHECK(std::memcmp(p, t.bytes().data(), t.byteLength()) == 0);
        FUZZ_CHECK(std::memcmp(p + out.length, "\0\0\0\0", 4) == 0);
        disposeFn(&out);
        FUZZ_CHECK(out.data == nullptr);
    }
    return 0;
}
