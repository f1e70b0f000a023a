#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/corefoundation/CoreFoundation.h"
#include "platform/corefoundation/Files.h"
#include "platform/corefoundation/testing.h"
#include "tests/corefoundation/Helpers.h"
#include "tests/corefoundation/TempFolder.h"

namespace {

using vellora::cf::testing::LiveObjectCount;

CFURLRef UrlOf(const std::string& path) {
    FSRef ref;
    if (FSMakeFSRefFromPath(path.c_str(), &ref) != noErr) return nullptr;
    return CFURLCreateFromFSRef(nullptr, &ref);
}

TEST(CFUrls, AppendingRefusesWhatIsNotOneComponent) {
    CFHeld<CFURLRef> tmp(UrlOf("/tmp"));
    ASSERT_NE(tmp, nullptr);
    struct Case {
        std::u16string name;
        const char* expected;  // nullptr: refused
    };
    const Case cases[] = {
        {u"out.aiff", "/tmp/out.aiff"},
        {u"", nullptr},
        {u"a/b", nullptr},
        {u"/", nullptr},
        {u".", nullptr},
        {u"..", nullptr},
        {u"...", "/tmp/..."},
        {std::u16string(u"a\0b", 3), nullptr},
        {u"a\xD800", nullptr},  // an unpaired surrogate has no UTF-8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected ? c.expected : "refused");
        CFHeld<CFStringRef> name(MakeString(c.name));
        CFHeld<CFURLRef> url(
            CFURLCreateCopyAppendingPathComponent(nullptr, tmp.get(), name.get(), false));
        if (c.expected == nullptr) {
            EXPECT_EQ(url, nullptr);
        } else {
            ASSERT_NE(url, nullptr);
            EXPECT_EQ(UrlPath(url.get()), c.expected);
        }
    }
    // Below the root there is no doubled slash.
    CFHeld<CFURLRef> root(UrlOf("/"));
    CFHeld<CFStringRef> name(MakeString(u"x"));
    CFHeld<CFURLRef> x(
        CFURLCreateCopyAppendingPathComponent(nullptr, root.get(), name.get(), true));
    EXPECT_EQ(UrlPath(x.get()), "/x");
}

TEST(CFUrls, ValuesOfTheWrongKindOrNoneAreRefused) {
    CFHeld<CFURLRef> tmp(UrlOf("/tmp"));
    CFHeld<CFStringRef> name(MakeString(u"x"));
    auto asUrl = [](const void* value) { return static_cast<CFURLRef>(value); };
    auto asString = [](const void* value) { return static_cast<CFStringRef>(value); };

    EXPECT_EQ(CFURLCreateCopyAppendingPathComponent(nullptr, nullptr, name.get(), false), nullptr);
    EXPECT_EQ(CFURLCreateCopyAppendingPathComponent(nullptr, tmp.get(), nullptr, false), nullptr);
    EXPECT_EQ(CFURLCreateCopyAppendingPathComponent(nullptr, asUrl(name.get()), asString(tmp.get()),
                                                    false),
              nullptr);
    EXPECT_EQ(CFStringCreateMutableCopy(nullptr, 0, asString(tmp.get())), nullptr);
    EXPECT_EQ(CFStringGetLength(asString(tmp.get())), 0);
    uint8_t buffer[64];
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(asUrl(name.get()), true, buffer, 64));
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(nullptr, true, buffer, 64));
    EXPECT_EQ(CFRetain(nullptr), nullptr);
    CFRelease(nullptr);
}

TEST(CFUrls, FileSystemRepresentationNeedsRoomForItsNul) {
    CFHeld<CFURLRef> tmp(UrlOf("/tmp"));
    uint8_t buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(tmp.get(), true, buffer, 4));
    EXPECT_EQ(buffer[0], '#');
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(tmp.get(), true, buffer, 5));
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "/tmp");
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(tmp.get(), true, nullptr, 8));
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(tmp.get(), true, buffer, 0));
    EXPECT_FALSE(CFURLGetFileSystemRepresentation(tmp.get(), true, buffer, -1));
}

TEST(CFCounting, AValueLivesUntilItsLastReleaseAndNoLonger) {
    int64_t before = LiveObjectCount();
    CFStringRef name = MakeString(u"x");
    CFURLRef url = UrlOf("/tmp");
    EXPECT_EQ(LiveObjectCount(), before + 2);
    EXPECT_EQ(CFRetain(name), name);
    CFRelease(name);
    EXPECT_EQ(LiveObjectCount(), before + 2);  // the creator's reference still holds it
    EXPECT_EQ(CFStringGetLength(name), 1);
    CFRelease(name);
    CFRelease(url);
    EXPECT_EQ(LiveObjectCount(), before);
}

// The whole way from a folder and a typed name to the URL of a file not yet written, as the
// speech layer takes it, leaves nothing behind, whether it succeeds or fails on the way.
using CFCountingFolderTest = TempFolderTest;

TEST_F(CFCountingFolderTest, FolderPlusNormalizedNameLeaksNothing) {
    int64_t before = LiveObjectCount();
    for (const std::u16string& typed :
         {std::u16string(u"r\u00E9sum\u00E9.aiff"), std::u16string()}) {
        FSRef folder;
        ASSERT_EQ(FSMakeFSRefFromPath(root_.c_str(), &folder), noErr);
        CFURLRef folderUrl = CFURLCreateFromFSRef(nullptr, &folder);
        CFStringRef name = MakeString(typed);
        CFMutableStringRef decomposed = CFStringCreateMutableCopy(nullptr, 0, name);
        CFStringNormalize(decomposed, kCFStringNormalizationFormD);
        CFURLRef file =
            CFURLCreateCopyAppendingPathComponent(nullptr, folderUrl, decomposed, false);
        if (!typed.empty())
            EXPECT_EQ(UrlPath(file), Path("re\xCC\x81sume\xCC\x81.aiff"));
        else
            EXPECT_EQ(file, nullptr);
        CFRelease(file);
        CFRelease(decomposed);
        CFRelease(name);
        CFRelease(folderUrl);
    }
    EXPECT_EQ(LiveObjectCount(), before);
}

TEST(CFCounting, RetainsAndReleasesFromManyThreadsBalance) {
    int64_t before = LiveObjectCount();
    CFURLRef url = UrlOf("/tmp");
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([url] {
            for (int i = 0; i < 20000; ++i) {
                CFRetain(url);
                CFRelease(url);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(UrlPath(url), "/tmp");
    CFRelease(url);
    EXPECT_EQ(LiveObjectCount(), before);
}

}  // namespace
