// The Mac Roman view (rbText) and the raw-bytes view (rbData) across host versions: hosts
// from 2012.0 (text) and 2013.0 (bytes) hand the bytes out, older ones are read from the
// string record.
#include <optional>

#include "tests/plugin-support/harness.h"

namespace {

struct Reads {
    fake::Host* host = nullptr;
    std::vector<std::string> bytes;  // for an empty read: the four bytes behind the pointer
    std::vector<int32_t> lengths;
    std::vector<const char*> pointers;
    int liveStrings = -1;         // while the view lived
    REALstring newest = nullptr;  // the string the host made last, and its bytes in its record
    const char* newestBytes = nullptr;
};

void Collect(void* context, const char* bytes, int32_t length) {
    auto* reads = static_cast<Reads*>(context);
    reads->pointers.push_back(bytes);
    reads->lengths.push_back(length);
    if (!bytes) {
        reads->bytes.push_back("<null>");
    } else {
        reads->bytes.emplace_back(bytes, length > 0 ? length : 4);
    }
    reads->liveStrings = reads->host->LiveStrings();
    reads->newest = reads->host->LastMade();
    if (reads->newest) {
        reads->newestBytes =
            reinterpret_cast<const char*>(reads->host->Rep(reads->newest).storage.data() + 1);
    }
}

const std::optional<double> kVersions[] = {std::nullopt, 2011.9, 2012.0, 2012.5, 2013.0, 2020.0};

std::string VersionName(std::optional<double> v) {
    return v ? "host " + std::to_string(*v) : "host without a version";
}

Reads Read(fake::Host& host, const Bundle& bundle, const char* declaration, REALstring s,
           int reads = 3) {
    Reads result;
    result.host = &host;
    bundle.Method<probe::ReadFn>(declaration)(nullptr, s, reads, &Collect, &result);
    return result;
}

void ExpectSameEveryRead(const Reads& reads) {
    for (size_t i = 1; i < reads.bytes.size(); ++i) {
        EXPECT_EQ(reads.bytes[i], reads.bytes[0]);
        EXPECT_EQ(reads.lengths[i], reads.lengths[0]);
        EXPECT_EQ(reads.pointers[i], reads.pointers[0]);
    }
}

const std::string kZeros(4, '\0');

TEST(PluginSupportMacRomanView, ConvertsOnceAndReadsTheRecordOnOlderHosts) {
    for (auto version : kVersions) {
        SCOPED_TRACE(VersionName(version));
        fake::Host host;
        host.version = version;
        Bundle bundle(host);
        bool current = version && *version >= 2012.0;
        REALstring s = host.Make("caf\xC3\xA9", kREALTextEncodingUTF8);

        Reads reads = Read(host, bundle, probe::kReadMacRoman, s);
        ASSERT_EQ(reads.bytes.size(), 3u);
        EXPECT_EQ(reads.bytes[0], "caf\x8E");
        EXPECT_EQ(reads.lengths[0], 4);
        ExpectSameEveryRead(reads);
        EXPECT_EQ(host.Calls("PluginGetStringData"), current ? 1 : 0);
        EXPECT_EQ(host.Calls("REALConvertString"), current ? 0 : 1);
        if (current) {
            EXPECT_EQ(host.lastArgs["PluginGetStringData"][1], kREALTextEncodingMacRoman);
            EXPECT_EQ(host.disposed, std::vector<const void*>{reads.pointers[0]});
        } else {
            // The bytes are those of the converted string's own record, held while the view
            // lives.
            EXPECT_EQ(reads.liveStrings, 2);
            EXPECT_EQ(reads.pointers[0], reads.newestBytes);
            EXPECT_EQ(
                host.lastArgs["REALConvertString"],
                (std::vector<intptr_t>{reinterpret_cast<intptr_t>(s), kREALTextEncodingMacRoman}));
        }
        EXPECT_EQ(host.Refs(s), 1);
        host.Release(s);
        EXPECT_EQ(host.LiveStrings(), 0);
    }
}

TEST(PluginSupportMacRomanView, OlderHostPointsIntoTheConvertedRecord) {
    fake::Host host;
    host.version = 2011.0;
    Bundle bundle(host);
    // 300 bytes: more than the record's length byte can say, with a NUL inside.
    std::string text(300, 'x');
    text[10] = '\0';
    REALstring s = host.Make(text, kREALTextEncodingASCII);
    Reads reads = Read(host, bundle, probe::kReadMacRoman, s);
    EXPECT_EQ(reads.bytes[0], text);
    EXPECT_EQ(reads.lengths[0], 300);
    ASSERT_NE(reads.newest, s);
    EXPECT_EQ(reads.pointers[0], reads.newestBytes);
    host.Release(s);
    EXPECT_EQ(host.LiveStrings(), 0);
}

TEST(PluginSupportMacRomanView, EmptyViews) {
    for (auto version : kVersions) {
        SCOPED_TRACE(VersionName(version));
        fake::Host host;
        host.version = version;
        Bundle bundle(host);

        // nil: a zero-filled buffer and no question to the host.
        Reads nil = Read(host, bundle, probe::kReadMacRoman, nullptr);
        EXPECT_EQ(nil.bytes[0], kZeros);
        EXPECT_EQ(nil.lengths[0], 0);
        ExpectSameEveryRead(nil);
        EXPECT_EQ(host.Calls("PluginGetStringData") + host.Calls("REALConvertString"), 0);

        // No Mac Roman form: empty on every read, asked once.
        REALstring smiley = host.Make("\xE2\x98\xBA", kREALTextEncodingUTF8);
        Reads none = Read(host, bundle, probe::kReadMacRoman, smiley, 4);
        EXPECT_EQ(none.bytes[0], kZeros);
        EXPECT_EQ(none.lengths[0], 0);
        ExpectSameEveryRead(none);
        EXPECT_EQ(host.Calls("PluginGetStringData") + host.Calls("REALConvertString"), 1);
        EXPECT_TRUE(host.disposed.empty());
        host.Release(smiley);

        // Empty raw bytes build no string.
        REALstring empty = host.Make("", kREALTextEncodingRaw);
        Reads blank = Read(host, bundle, probe::kReadMacRoman, empty);
        EXPECT_EQ(blank.bytes[0], kZeros);
        EXPECT_EQ(blank.lengths[0], 0);
        EXPECT_EQ(host.Calls("REALBuildString"), 0);
        host.Release(empty);
        EXPECT_EQ(host.LiveStrings(), 0);
    }
}

TEST(PluginSupportMacRomanView, RawBytesAreTakenAsMacRoman) {
    const std::string bytes("caf\x8E\0!", 6);
    for (auto version : kVersions) {
        SCOPED_TRACE(VersionName(version));
        fake::Host host;
        host.version = version;
        Bundle bundle(host);
        REALstring raw = host.Make(bytes, kREALTextEncodingRaw);

        Reads reads = Read(host, bundle, probe::kReadMacRoman, raw);
        EXPECT_EQ(reads.bytes[0], bytes);
        ExpectSameEveryRead(reads);
        EXPECT_EQ(host.Calls("REALBuildString"), 1);
        EXPECT_EQ(host.lastArgs["REALSetStringEncoding"][1], kREALTextEncodingMacRoman);
        EXPECT_EQ(host.Refs(raw), 1);
        host.Release(raw);
        EXPECT_EQ(host.LiveStrings(), 0) << "the Mac Roman copy was kept";
    }
}

std::string Cycle(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>(i * 7);
    return s;
}

TEST(PluginSupportRawBytesView, BytesAsStoredFromTheHostOrFromTheRecord) {
    // 300 bytes with NULs inside: neither the record's length byte nor a NUL tells the length.
    const std::string bytes = Cycle(300);
    for (auto version : kVersions) {
        SCOPED_TRACE(VersionName(version));
        fake::Host host;
        host.version = version;
        Bundle bundle(host);
        bool current = version && *version >= 2013.0;
        REALstring s = host.Make(bytes, kREALTextEncodingUTF8);

        Reads reads = Read(host, bundle, probe::kReadRawBytes, s);
        EXPECT_EQ(reads.bytes[0], bytes);
        EXPECT_EQ(reads.lengths[0], 300);
        ExpectSameEveryRead(reads);
        EXPECT_EQ(host.Calls("PluginGetStringData"), current ? 1 : 0);
        if (current) {
            EXPECT_EQ(host.lastArgs["PluginGetStringData"][1], kREALTextEncodingRaw);
            EXPECT_EQ(host.disposed, std::vector<const void*>{reads.pointers[0]});
        } else {
            EXPECT_EQ(reads.pointers[0],
                      reinterpret_cast<const char*>(host.Rep(s).storage.data() + 1));
            EXPECT_EQ(host.Calls("REALLockString"), 1);
        }
        EXPECT_EQ(host.Refs(s), 1);
        host.Release(s);
    }
}

TEST(PluginSupportRawBytesView, NilOrUnavailableIsNullAndZero) {
    for (auto version : kVersions) {
        SCOPED_TRACE(VersionName(version));
        fake::Host host;
        host.version = version;
        host.missing = {"PluginGetStringData", "StringGetCString"};
        Bundle bundle(host);
        Reads nil = Read(host, bundle, probe::kReadRawBytes, nullptr, 1);
        EXPECT_EQ(nil.pointers[0], nullptr);
        EXPECT_EQ(nil.lengths[0], 0);
        if (version && *version >= 2013.0) {
            REALstring s = host.Make("abc", kREALTextEncodingUTF8);
            Reads unavailable = Read(host, bundle, probe::kReadRawBytes, s, 1);
            EXPECT_EQ(unavailable.pointers[0], nullptr);
            EXPECT_EQ(unavailable.lengths[0], 0);
            host.Release(s);
            EXPECT_EQ(host.LiveStrings(), 0);
        }
    }
}

}  // namespace
