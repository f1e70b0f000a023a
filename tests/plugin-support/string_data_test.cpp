// A string's bytes in a chosen encoding: through the host's entry when it has one, otherwise
// through StringGetCString and the runtime's LenB, and their release.
#include <cstdlib>
#include <cstring>

#include "tests/plugin-support/harness.h"

namespace {

constexpr uint32_t kUntouched = 0xAAAAAAAA;

REALstringData Sentinel() {
    REALstringData record;
    std::memset(&record, 0xAA, sizeof record);
    return record;
}

bool Untouched(const REALstringData& record) {
    REALstringData sentinel = Sentinel();
    return std::memcmp(&record, &sentinel, sizeof record) == 0;
}

std::string Block(const REALstringData& record, size_t extra = 0) {
    return std::string(static_cast<const char*>(record.data), record.length + extra);
}

class PluginSupportStringData : public BundleTest {
  protected:
    bool Get(REALstring s, uint32_t encoding, REALstringData* record) {
        return bundle->CallWith("REALGetStringData", s, encoding, record) != 0;
    }
};

TEST_F(PluginSupportStringData, HostEntryGetsTheArgumentsAndItsLowByteDecides) {
    Start();
    REALstring s = host.Make("caf\xC3\xA9", kREALTextEncodingUTF8);
    REALstringData record = Sentinel();
    ASSERT_TRUE(Get(s, kREALTextEncodingMacRoman, &record));
    EXPECT_EQ(host.lastArgs["PluginGetStringData"],
              (std::vector<intptr_t>{reinterpret_cast<intptr_t>(s), 0,
                                     reinterpret_cast<intptr_t>(&record)}));
    EXPECT_EQ(Block(record), "caf\x8E");
    const void* data = record.data;
    bundle->CallWith("REALDisposeStringData", &record);
    EXPECT_EQ(host.disposed, std::vector<const void*>{data});

    // The fake host answers 0x7F00 when the text has no Mac Roman form.
    REALstring smiley = host.Make("\xE2\x98\xBA", kREALTextEncodingUTF8);
    record = Sentinel();
    EXPECT_FALSE(Get(smiley, kREALTextEncodingMacRoman, &record));
    EXPECT_EQ(host.Asked("PluginGetStringData"), 1);
    EXPECT_EQ(host.Calls("StringGetCString"), 0);
    host.Release(s);
    host.Release(smiley);
}

struct FallbackCase {
    const char* name;
    std::string bytes;
    uint32_t stringEncoding;
    uint32_t asked;
    const char* missingEntry;  // besides PluginGetStringData and PluginDisposeStringData
    bool ok;
    std::string expected;
    int conversions;
};

std::string Cycle(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>(i * 7);
    return s;
}

TEST(PluginSupportStringDataFallback, CopiesBytesWithFourZeroBytesInTheEncodingAsked) {
    const std::string nulInside("h\0\xC3\xA9", 4);
    const FallbackCase cases[] = {
        {"raw bytes as stored", nulInside, kREALTextEncodingUTF8, kREALTextEncodingRaw, nullptr,
         true, nulInside, 0},
        {"300 raw bytes", Cycle(300), kREALTextEncodingRaw, kREALTextEncodingRaw, nullptr, true,
         Cycle(300), 0},
        {"same encoding", "caf\xC3\xA9", kREALTextEncodingUTF8, kREALTextEncodingUTF8, nullptr,
         true, "caf\xC3\xA9", 0},
        {"converted to Mac Roman", "caf\xC3\xA9", kREALTextEncodingUTF8, kREALTextEncodingMacRoman,
         nullptr, true, "caf\x8E", 1},
        {"converted to UTF-16", "\xC3\xA9!", kREALTextEncodingUTF8, kREALTextEncodingUTF16, nullptr,
         true, std::string("\xE9\0!\0", 4), 1},
        {"no form in the encoding", "\xE2\x98\xBA", kREALTextEncodingUTF8,
         kREALTextEncodingMacRoman, nullptr, false, "", 1},
        {"host cannot convert", "caf\xC3\xA9", kREALTextEncodingUTF8, kREALTextEncodingMacRoman,
         "REALConvertString", false, "", 0},
        {"host cannot tell the encoding: taken as Mac Roman", "caf\xC3\xA9", kREALTextEncodingUTF8,
         kREALTextEncodingMacRoman, "REALGetStringEncoding", true, "caf\xC3\xA9", 0},
        {"empty string", "", kREALTextEncodingUTF8, kREALTextEncodingRaw, nullptr, true, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Host host;
        host.missing = {"PluginGetStringData", "PluginDisposeStringData"};
        if (c.missingEntry) host.missing.insert(c.missingEntry);
        Bundle bundle(host);
        REALstring s = host.Make(c.bytes, c.stringEncoding);
        REALstringData record = Sentinel();

        EXPECT_EQ(bundle.CallWith("REALGetStringData", s, c.asked, &record) != 0, c.ok);
        EXPECT_EQ(host.Calls("REALConvertString"), c.conversions);
        if (c.asked == kREALTextEncodingRaw) {
            EXPECT_EQ(host.Calls("REALGetStringEncoding"), 0);
        }
        EXPECT_EQ(host.LiveStrings(), 1) << "a converted string was kept";
        if (!c.ok) {
            EXPECT_TRUE(Untouched(record));
        } else {
            EXPECT_EQ(record.length, static_cast<int32_t>(c.expected.size()));
            EXPECT_EQ(Block(record, 4), c.expected + std::string(4, '\0'));
            EXPECT_EQ(record.encoding, c.asked);
            EXPECT_EQ(record.hostReserved1, kUntouched);
            EXPECT_EQ(record.hostReserved2, kUntouched);
            // Without the host's dispose entry the block goes back to the C library.
            alloc::Recording log;
            bundle.CallWith("REALDisposeStringData", &record);
            EXPECT_TRUE(log.SawFree(record.data));
        }
        host.Release(s);
    }
}

TEST(PluginSupportStringDataFallback, ConvertedCopyIsTaggedAsAskedAndReleasedThroughTheHost) {
    fake::Host host;
    host.missing = {"PluginGetStringData"};
    Bundle bundle(host);
    REALstring s = host.Make("abc", kREALTextEncodingMacRoman);
    REALstringData record = Sentinel();
    ASSERT_NE(bundle.CallWith("REALGetStringData", s, kREALTextEncodingASCII, &record), 0);
    EXPECT_EQ(record.encoding, kREALTextEncodingASCII);
    EXPECT_EQ(host.Calls("REALConvertString"), 1);
    bundle.CallWith("REALDisposeStringData", &record);
    EXPECT_EQ(host.Calls("PluginDisposeStringData"), 1);
    host.Release(s);
    EXPECT_EQ(host.LiveStrings(), 0);
}

TEST(PluginSupportStringDataFallback, FailsUntouchedWithoutItsEntriesAndAsksAgainUntilFound) {
    const char* entries[] = {"StringGetCString", "REALLoadGlobalMethod", fake::kLenB};
    for (const char* entry : entries) {
        SCOPED_TRACE(entry);
        fake::Host host;
        host.missing = {"PluginGetStringData", entry};
        Bundle bundle(host);
        REALstring s = host.Make("abc", kREALTextEncodingUTF8);
        REALstringData record = Sentinel();

        EXPECT_EQ(bundle.CallWith("REALGetStringData", s, kREALTextEncodingRaw, &record), 0);
        EXPECT_EQ(bundle.CallWith("REALGetStringData", s, kREALTextEncodingRaw, &record), 0);
        EXPECT_TRUE(Untouched(record));
        EXPECT_EQ(host.Asked("PluginGetStringData"), 2);

        host.missing.erase(entry);
        ASSERT_NE(bundle.CallWith("REALGetStringData", s, kREALTextEncodingRaw, &record), 0);
        EXPECT_EQ(Block(record), "abc");
        bundle.CallWith("REALDisposeStringData", &record);
        ASSERT_NE(bundle.CallWith("REALGetStringData", s, kREALTextEncodingRaw, &record), 0);
        bundle.CallWith("REALDisposeStringData", &record);

        // Whatever was found stays found; what was missing was asked for on each call.
        EXPECT_EQ(host.Asked("StringGetCString"), entry == entries[0] ? 3 : 1);
        EXPECT_EQ(host.Asked("REALLoadGlobalMethod"), entry == entries[1] ? 3 : 1);
        EXPECT_EQ(host.globalMethodsAsked.size(), entry == entries[2] ? 3u : 1u);
        for (const auto& declaration : host.globalMethodsAsked) {
            EXPECT_EQ(declaration, fake::kLenBDeclaration);
        }
        EXPECT_EQ(host.lastArgs["REALLoadGlobalMethod"][0], 0) << "module must be nil";
        host.Release(s);
    }
}

TEST(PluginSupportStringDataFallback, NilStringFailsUntouched) {
    fake::Host host;
    host.missing = {"PluginGetStringData"};
    Bundle bundle(host);
    REALstringData record = Sentinel();
    EXPECT_EQ(bundle.CallWith("REALGetStringData", nullptr, kREALTextEncodingRaw, &record), 0);
    EXPECT_TRUE(Untouched(record));
    EXPECT_EQ(host.Calls("StringGetCString") + host.Calls("LenB"), 0);
}

TEST(PluginSupportDisposeStringData, FreesTheDataItselfOnlyWhileTheHostLacksTheEntry) {
    fake::Host host;
    host.missing = {"PluginDisposeStringData"};
    Bundle bundle(host);
    for (int i = 0; i < 2; ++i) {
        REALstringData record = {std::malloc(8), 8, 0, 1, 2};
        const void* data = record.data;
        alloc::Recording log;
        bundle.CallWith("REALDisposeStringData", &record);
        EXPECT_TRUE(log.SawFree(data));
        EXPECT_EQ(record.data, data) << "the record itself is not cleared";
    }
    EXPECT_EQ(host.Asked("PluginDisposeStringData"), 2);

    host.missing.clear();
    for (int i = 0; i < 2; ++i) {
        REALstringData record = {std::malloc(8), 8, 0, 1, 2};
        bundle.CallWith("REALDisposeStringData", &record);
        EXPECT_EQ(host.lastArgs["PluginDisposeStringData"],
                  std::vector<intptr_t>{reinterpret_cast<intptr_t>(&record)});
    }
    EXPECT_EQ(host.Calls("PluginDisposeStringData"), 2);
    EXPECT_EQ(host.Asked("PluginDisposeStringData"), 3);
}

}  // namespace
