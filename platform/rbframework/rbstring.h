// Runtime strings: immutable, reference-counted byte runs tagged with a text encoding.
//
// The record at the start of every string is the one old plug-ins read (plugin_abi.h,
// REALstringRecord): word 1 points to a length byte followed by the bytes and four NULs,
// word 3 is the byte length. A REALstring handle is the address of that record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "plugin-interface/plugin_abi.h"

namespace rb {

using Encoding = uint32_t;
namespace encoding {
constexpr Encoding MacRoman = kREALTextEncodingMacRoman;
constexpr Encoding ASCII = kREALTextEncodingASCII;
constexpr Encoding UTF16 = kREALTextEncodingUTF16;
constexpr Encoding UTF8 = kREALTextEncodingUTF8;
constexpr Encoding UTF32 = kREALTextEncodingUTF32;
constexpr Encoding Raw = kREALTextEncodingRaw;
}  // namespace encoding

struct StringRep;

// What the maker of a string knows of its text, so that nobody walks it again to find out.
struct TextFacts {
    int64_t chars = -1;       // its length as Len counts it; -1: not known
    bool ascii = false;       // every byte below 0x80
    bool wellFormed = false;  // UTF-8 without an invalid sequence
};

// A value that holds one reference on a string, or nil. Nil reads as the empty string
// everywhere except where the plug-in interface tells nil from empty.
class String {
  public:
    String() = default;
    String(const char* utf8) : String(fromUtf8(utf8 ? std::string_view(utf8) : "")) {}
    String(std::string_view utf8) : String(fromUtf8(utf8)) {}
    String(const std::string& utf8) : String(fromUtf8(utf8)) {}
    static String fromUtf8(std::string_view utf8);
    static String fromBytes(const void* bytes, size_t count, Encoding enc);
    static String fromBytes(const void* bytes, size_t count, Encoding enc, TextFacts facts);
    // A string of `count` bytes that `fill` writes in place, once, before anyone sees them.
    template <class Fill>
    static String build(size_t count, Encoding enc, TextFacts facts, Fill&& fill) {
        String s = fromBytes(nullptr, count, enc, facts);
        fill(s.mutableBytes());
        return s;
    }

    // Wraps a handle, taking a reference of its own (retain) or taking over the caller's (adopt).
    static String retain(REALstring s) noexcept;
    static String adopt(REALstring s) noexcept;

    String(const String& o) noexcept;
    String(String&& o) noexcept;
    String& operator=(String o) noexcept;
    ~String();

    bool isNil() const noexcept { return rep_ == nullptr; }
    REALstring handle() const noexcept;
    // The reference passes to the caller (for a result handed across the plug-in interface).
    REALstring leak() noexcept;

    Encoding encoding() const noexcept;
    std::string_view bytes() const noexcept;
    size_t byteLength() const noexcept { return bytes().size(); }
    bool empty() const noexcept { return byteLength() == 0; }

    // The text as UTF-8, always well-formed. Raw bytes and Mac Roman are read as their code
    // points (raw as Latin-1, so nothing is lost, and so is an encoding the runtime does not
    // know); invalid input gives U+FFFD in the result.
    std::string toUtf8() const;
    // The same text in another encoding; nil when a character has no form in it or the
    // source bytes are invalid. Invisible format characters (a zero-width space, a byte-order
    // mark) that the target has no form for are left out instead. To raw bytes is always the
    // same bytes, retagged.
    String convert(Encoding target) const;

    // The text's length in characters when it is known (-1 when not), and the place to keep
    // it once counted: a string's text never changes, so it is counted at most once.
    int64_t knownLength() const noexcept;
    void keepLength(int64_t chars) const noexcept;
    // Every byte below 0x80, which reads alike in ASCII, UTF-8 and Mac Roman. Found by one
    // scan at the speed of memory on first asking, then kept.
    bool asciiOnly() const noexcept;
    // Known to be well-formed UTF-8 (the runtime's own texts are); false when not known.
    bool knownWellFormed() const noexcept;

    int32_t refCount() const noexcept;
    static int64_t liveCount() noexcept;

  private:
    explicit String(StringRep* rep) noexcept : rep_(rep) {}
    char* mutableBytes() noexcept;
    StringRep* rep_ = nullptr;
};

// The runtime's comparison: ignores letter case (Unicode case folding); <0, 0 or >0.
int32_t RuntimeStringCompare(const String& a, const String& b);

// Byte-exact equality of the text (after conversion to UTF-8).
bool operator==(const String& a, const String& b);

String operator+(const String& a, const String& b);

// Host-side operations behind the plug-in entries, usable by the runtime itself.
namespace strings {
// Sets the tag without touching the bytes.
void setEncoding(REALstring s, Encoding enc) noexcept;
}  // namespace strings

}  // namespace rb
