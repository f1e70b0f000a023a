// Building a runtime string from bytes in an encoding: UTF-32 and UTF-16 come back as UTF-8,
// anything else as its own bytes with its tag.
#include <optional>

#include "tests/plugin-support/harness.h"

namespace {

std::string Utf32(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) {
        for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>(c >> shift & 0xFF);
    }
    return out;
}

// Characters above U+FFFF mixed in, to show the narrowing on both buffers.
std::u32string Mixed(size_t n) {
    std::u32string text;
    for (size_t i = 0; i < n; ++i) {
        text += i % 3 == 0 ? char32_t(0x1F600 + i) : char32_t(U'a' + i % 26);
    }
    return text;
}

std::string NarrowedUtf8(const std::u32string& text) {
    std::string utf16;
    for (char32_t c : text) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8 & 0xFF);
    }
    return *fake::Host::Convert(utf16, kREALTextEncodingUTF16, kREALTextEncodingUTF8);
}

struct BuildCase {
    const char* name;
    std::string bytes;
    uint32_t encoding;
    std::string expected;
    uint32_t expectedEncoding;
    std::optional<size_t> block = std::nullopt;  // the zero-filled block the narrowing allocates
};

class PluginSupportBuildUnicodeString : public BundleTest {
  protected:
    REALstring Build(const void* bytes, int64_t length, uint32_t encoding) {
        return AsString(bundle->CallWith("REALBuildUnicodeString", bytes, length, encoding));
    }
};

TEST_F(PluginSupportBuildUnicodeString, GivesUtf8ForUnicodeInputAndTaggedBytesOtherwise) {
    Start();
    const std::string raw("\x00\xFF\x01", 3);
    const BuildCase cases[] = {
        {"Mac Roman", "caf\x8E", kREALTextEncodingMacRoman, "caf\x8E", kREALTextEncodingMacRoman},
        {"ASCII", "abc", kREALTextEncodingASCII, "abc", kREALTextEncodingASCII},
        {"UTF-8", "caf\xC3\xA9", kREALTextEncodingUTF8, "caf\xC3\xA9", kREALTextEncodingUTF8},
        {"raw bytes", raw, kREALTextEncodingRaw, raw, kREALTextEncodingRaw},
        {"unknown encoding", "abc", 0x0500, "abc", 0x0500},
        {"UTF-16", std::string("h\0\xE9\0", 4), kREALTextEncodingUTF16, "h\xC3\xA9",
         kREALTextEncodingUTF8},
        {"UTF-16 surrogate pair", std::string("\x3D\xD8\x00\xDE", 4), kREALTextEncodingUTF16,
         "\xF0\x9F\x98\x80", kREALTextEncodingUTF8},
        {"UTF-32, trailing partial unit ignored", Utf32(U"A") + std::string("B\0", 2),
         kREALTextEncodingUTF32, "A", kREALTextEncodingUTF8},
        {"UTF-32 above U+FFFF keeps its low 16 bits", Utf32(U"\U0001F600"), kREALTextEncodingUTF32,
         "\xEF\x98\x80", kREALTextEncodingUTF8},
        {"UTF-32, 799 bytes on the stack", Utf32(Mixed(199)) + "xyz", kREALTextEncodingUTF32,
         NarrowedUtf8(Mixed(199)), kREALTextEncodingUTF8},
        {"UTF-32, 800 bytes in a block", Utf32(Mixed(200)), kREALTextEncodingUTF32,
         NarrowedUtf8(Mixed(200)), kREALTextEncodingUTF8, 2 * 200 + 4},
        {"UTF-32, 4000 bytes in a block", Utf32(Mixed(1000)), kREALTextEncodingUTF32,
         NarrowedUtf8(Mixed(1000)), kREALTextEncodingUTF8, 2 * 1000 + 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int conversions = host.Calls("REALConvertString");
        alloc::Recording log;
        REALstring s = Build(c.bytes.data(), static_cast<int64_t>(c.bytes.size()), c.encoding);
        ASSERT_TRUE(host.Known(s));
        EXPECT_EQ(host.Bytes(s), c.expected);
        EXPECT_EQ(host.Encoding(s), c.expectedEncoding);
        bool unicode = c.encoding == kREALTextEncodingUTF16 || c.encoding == kREALTextEncodingUTF32;
        EXPECT_EQ(host.Calls("REALConvertString") - conversions, unicode ? 1 : 0);
        if (c.block) {
            EXPECT_TRUE(log.SawCalloc(1, *c.block));
            EXPECT_TRUE(
                log.SawFree(reinterpret_cast<const void*>(host.lastArgs["REALBuildString"][0])));
        } else if (c.encoding == kREALTextEncodingUTF32) {
            EXPECT_EQ(log.CallocCount(), 0);
        }
        EXPECT_EQ(host.Refs(s), 1);
        host.Release(s);
        EXPECT_EQ(host.LiveStrings(), 0) << "the intermediate string was kept";
    }
}

TEST_F(PluginSupportBuildUnicodeString, RefusesNilBytesAndLengthsOutsideTheRange) {
    Start();
    const char bytes[8] = "abcdefg";
    const struct {
        const char* name;
        const void* bytes;
        int64_t length;
    } cases[] = {
        {"nil bytes", nullptr, 4},
        {"length 0", bytes, 0},
        {"negative length", bytes, -1},
        {"length 0x7FFFFFFF", bytes, 0x7FFFFFFF},
        {"length 2^32 + 4", bytes, (int64_t{1} << 32) + 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (uint32_t encoding :
             {kREALTextEncodingUTF8, kREALTextEncodingUTF16, kREALTextEncodingUTF32}) {
            EXPECT_EQ(Build(c.bytes, c.length, encoding), nullptr);
        }
    }
    EXPECT_EQ(host.Calls("REALBuildString"), 0);
    EXPECT_EQ(host.Calls("REALConvertString"), 0);
}

TEST_F(PluginSupportBuildUnicodeString, HostThatBuildsNothing) {
    host.buildFails = true;
    Start();
    const std::string four = Utf32(U"A");
    EXPECT_EQ(Build(four.data(), 4, kREALTextEncodingMacRoman), nullptr);
    EXPECT_EQ(Build(four.data(), 4, kREALTextEncodingUTF16), nullptr);
    EXPECT_EQ(host.Calls("REALConvertString"), 0);
    EXPECT_EQ(host.Calls("REALSetStringEncoding"), 0);

    // UTF-32 still asks the host's conversion, for a nil string, and returns its answer.
    EXPECT_EQ(Build(four.data(), 4, kREALTextEncodingUTF32), nullptr);
    EXPECT_EQ(host.lastArgs["REALConvertString"],
              (std::vector<intptr_t>{0, kREALTextEncodingUTF8}));
}

TEST_F(PluginSupportBuildUnicodeString, Utf32BlockThatCannotBeHadGivesNil) {
    Start();
    const std::string text = Utf32(Mixed(200));
    alloc::Recording log(2 * 200 + 4);
    EXPECT_EQ(Build(text.data(), static_cast<int64_t>(text.size()), kREALTextEncodingUTF32),
              nullptr);
    EXPECT_TRUE(log.SawCalloc(1, 2 * 200 + 4));
    EXPECT_EQ(host.Calls("REALBuildString"), 0);
    EXPECT_EQ(host.Calls("REALConvertString"), 0);
}

}  // namespace
