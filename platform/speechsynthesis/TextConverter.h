// The layer's one text converter, through ICU: Mac Roman (the encoding of the text and of the
// voice names that cross the layer's interface), UTF-16 and UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vellora::speech {

// UTF-8 of Mac Roman bytes, one code point per byte; NUL becomes a blank.
std::string MacRomanToUtf8(std::string_view macRoman);

// Mac Roman of UTF-8 text (composed first), '?' for what Mac Roman cannot hold, at most
// `maxBytes` bytes.
std::string Utf8ToMacRoman(std::string_view utf8, size_t maxBytes);

// UTF-8 of UTF-16 units; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace vellora::speech
