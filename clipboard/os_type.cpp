#include "clipboard/os_type.h"

#include <algorithm>

#include "plugin-support/rb_plugin.h"

namespace {
constexpr uint32_t kFourBlanks = 0x20202020;
}  // namespace

REALstring REALBuildOSTypeString(uint32_t code) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(code >> 24), static_cast<unsigned char>(code >> 16),
        static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code)};
    REALstring string = originalREALBuildString(bytes, sizeof bytes);
    if (!string) return nullptr;
    const bool ascii = (code & 0x80808080u) == 0;
    REALSetStringEncoding(string, ascii ? kREALTextEncodingASCII : kREALTextEncodingMacRoman);
    return string;
}

uint32_t REALstringToOSType(REALstring string) {
    rbText text(string);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.GetMacRoman());
    const int32_t count = std::min(text.LengthMacRoman(), int32_t{4});
    uint32_t code = kFourBlanks;
    for (int32_t i = 0; i < count; ++i) {
        const int shift = 24 - 8 * i;
        code = (code & ~(uint32_t{0xFF} << shift)) | (uint32_t{bytes[i]} << shift);
    }
    return code;
}
