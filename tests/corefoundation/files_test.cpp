#include <gtest/gtest.h>

#include <barrier>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/corefoundation/CoreFoundation.h"
#include "platform/corefoundation/Files.h"
#include "tests/corefoundation/Helpers.h"
#include "tests/corefoundation/TempFolder.h"

namespace {

using CFFilesTest = TempFolderTest;

std::string SpecName(const FSSpec& spec) {
    return std::string(reinterpret_cast<const char*>(spec.name + 1), spec.name[0]);
}

TEST_F(CFFilesTest, SpecAndRefOfAnExistingFileNameIt) {
    std::string file = MakeFile("voice.aiff");

    FSSpec spec;
    ASSERT_EQ(FSMakeFSSpecFromPath(file.c_str(), &spec), noErr);
    EXPECT_EQ(spec.vRefNum, -1);
    EXPECT_GT(int32_t{spec.parID}, 0);
    EXPECT_EQ(SpecName(spec), "voice.aiff");
    EXPECT_EQ(SpecPath(spec), file);

    FSRef ref;
    ASSERT_EQ(FSpMakeFSRef(&spec, &ref), noErr);
    EXPECT_EQ(RefPath(ref), file);
    CFHeld<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &ref));
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(UrlPath(url.get()), file);
}

TEST_F(CFFilesTest, FilesOfOneFolderShareItsIdUnderEverySpelling) {
    MakeFolder("a/b");
    FSSpec first;
    ASSERT_EQ(FSMakeFSSpecFromPath(Path("a/b/one").c_str(), &first), noErr);
    for (std::string spelling : {"a/b/two", "a//b/two", "a/./b/two", "a/c/../b/two", "a/b/two/"}) {
        SCOPED_TRACE(spelling);
        FSSpec other;
        ASSERT_EQ(FSMakeFSSpecFromPath((root_ + "//" + spelling).c_str(), &other), noErr);
        EXPECT_EQ(int32_t{other.parID}, int32_t{first.parID});
        EXPECT_EQ(SpecPath(other), Path("a/b/two"));
    }
}

// A file about to be written: the spec names it, the ref can only name its folder, and the
// folder's URL plus the name is the file's URL.
TEST_F(CFFilesTest, NotYetExistingFileIsReachedThroughItsFolder) {
    std::string file = Path("speech.aiff");
    FSSpec spec;
    ASSERT_EQ(FSMakeFSSpecFromPath(file.c_str(), &spec), noErr);
    EXPECT_EQ(SpecPath(spec), file);

    FSRef ref;
    std::memset(&ref, 0x5A, sizeof ref);
    EXPECT_EQ(FSpMakeFSRef(&spec, &ref), fnfErr);
    EXPECT_EQ(FSMakeFSRefFromPath(file.c_str(), &ref), fnfErr);

    FSRef folder;
    ASSERT_EQ(FSMakeFSRefFromPath(root_.c_str(), &folder), noErr);
    CFHeld<CFURLRef> folderUrl(CFURLCreateFromFSRef(nullptr, &folder));
    ASSERT_NE(folderUrl, nullptr);
    CFHeld<CFStringRef> name(MakeString(u"speech.aiff"));
    CFHeld<CFURLRef> fileUrl(
        CFURLCreateCopyAppendingPathComponent(nullptr, folderUrl.get(), name.get(), false));
    ASSERT_NE(fileUrl, nullptr);
    EXPECT_EQ(UrlPath(fileUrl.get()), file);

    // Once written, the same spec gives a ref.
    MakeFile("speech.aiff");
    ASSERT_EQ(FSpMakeFSRef(&spec, &ref), noErr);
    EXPECT_EQ(RefPath(ref), file);
}

TEST_F(CFFilesTest, MissingFolderOrFileIsReported) {
    FSSpec spec;
    EXPECT_EQ(FSMakeFSSpecFromPath(Path("nowhere/file").c_str(), &spec), dirNFErr);
    // A plain file is no folder either.
    std::string plain = MakeFile("plain");
    EXPECT_EQ(FSMakeFSSpecFromPath((plain + "/file").c_str(), &spec), dirNFErr);

    FSRef ref;
    EXPECT_EQ(FSMakeFSRefFromPath(Path("nowhere").c_str(), &ref), fnfErr);
}

TEST_F(CFFilesTest, RecordsGoStaleWhenTheirFilesGo) {
    std::string folder = MakeFolder("gone");
    std::string file = MakeFile("gone/file");
    FSSpec spec;
    FSRef ref;
    ASSERT_EQ(FSMakeFSSpecFromPath(file.c_str(), &spec), noErr);
    ASSERT_EQ(FSMakeFSRefFromPath(file.c_str(), &ref), noErr);

    std::filesystem::remove_all(folder);
    FSRef fresh;
    EXPECT_EQ(FSpMakeFSRef(&spec, &fresh), dirNFErr);
    EXPECT_EQ(CFURLCreateFromFSRef(nullptr, &ref), nullptr);
    // The path is still known; only the file is gone.
    EXPECT_EQ(SpecPath(spec), file);
}

// The limit is 63 bytes of UTF-8, not 63 characters.
TEST_F(CFFilesTest, LeafNamesUpTo63BytesFit) {
    std::string e = "\xC3\xA9";  // é, two bytes
    std::string e31, e32;
    for (int i = 0; i < 31; ++i) e31 += e;
    e32 = e31 + e;
    struct Case {
        std::string name;
        OSErr expected;
    };
    for (const Case& c : {Case{std::string(63, 'a'), noErr}, Case{std::string(64, 'a'), bdNamErr},
                          Case{e31 + "a", noErr}, Case{e32, bdNamErr}}) {
        SCOPED_TRACE(c.name);
        FSSpec spec;
        ASSERT_EQ(FSMakeFSSpecFromPath(Path(c.name).c_str(), &spec), c.expected);
        if (c.expected != noErr) continue;
        EXPECT_EQ(spec.name[0], 63);
        EXPECT_EQ(SpecName(spec), c.name);
        EXPECT_EQ(SpecPath(spec), Path(c.name));
    }
}

TEST_F(CFFilesTest, NonAsciiPathsRoundTrip) {
    std::string folder = MakeFolder(
        "\xC3\x9C"
        "bung \xE2\x98\x83");  // "Übung ☃"
    std::string file = folder +
                       "/na\xC3\xAF"
                       "ve \xE6\x97\xA5\xF0\x9F\x94\x8A.aiff";  // "naïve 日🔊"
    std::ofstream(file) << "x";

    FSSpec spec;
    ASSERT_EQ(FSMakeFSSpecFromPath(file.c_str(), &spec), noErr);
    EXPECT_EQ(SpecPath(spec), file);
    FSRef ref;
    ASSERT_EQ(FSpMakeFSRef(&spec, &ref), noErr);
    CFHeld<CFURLRef> url(CFURLCreateFromFSRef(nullptr, &ref));
    EXPECT_EQ(UrlPath(url.get()), file);

    // The same name given as UTF-16 lands on the same bytes.
    FSRef folderRef;
    ASSERT_EQ(FSMakeFSRefFromPath(folder.c_str(), &folderRef), noErr);
    CFHeld<CFURLRef> folderUrl(CFURLCreateFromFSRef(nullptr, &folderRef));
    CFHeld<CFStringRef> name(MakeString(u"na\u00EFve \u65E5\U0001F50A.aiff"));
    CFHeld<CFURLRef> appended(
        CFURLCreateCopyAppendingPathComponent(nullptr, folderUrl.get(), name.get(), false));
    EXPECT_EQ(UrlPath(appended.get()), file);
}

TEST(CFFilesArguments, BadPathsAreRefused) {
    FSSpec spec;
    FSRef ref;
    for (const char* path : {"", "relative/file", "./file", "file"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(FSMakeFSSpecFromPath(path, &spec), paramErr);
        EXPECT_EQ(FSMakeFSRefFromPath(path, &ref), paramErr);
    }
    EXPECT_EQ(FSMakeFSSpecFromPath(nullptr, &spec), paramErr);
    EXPECT_EQ(FSMakeFSRefFromPath(nullptr, &ref), paramErr);
    EXPECT_EQ(FSMakeFSSpecFromPath("/tmp/x", nullptr), paramErr);
    EXPECT_EQ(FSMakeFSRefFromPath("/tmp", nullptr), paramErr);
    // The root has no folder to hold it, so no spec; it has a ref.
    EXPECT_EQ(FSMakeFSSpecFromPath("/", &spec), bdNamErr);
    ASSERT_EQ(FSMakeFSRefFromPath("//", &ref), noErr);
    EXPECT_EQ(RefPath(ref), "/");
}

TEST(CFFilesArguments, RecordsNotFilledHereAreRefused) {
    FSSpec good;
    ASSERT_EQ(FSMakeFSSpecFromPath("/tmp/x", &good), noErr);

    auto withName = [&](const std::string& name) {
        FSSpec spec = good;
        spec.name[0] = static_cast<unsigned char>(name.size());
        std::memcpy(spec.name + 1, name.data(), name.size());
        return spec;
    };
    FSSpec zero{};
    FSSpec unknownFolder = good;
    unknownFolder.parID = 0x7FFFFFF0;
    FSSpec negativeFolder = good;
    negativeFolder.parID = -5;
    FSSpec tooLong = good;
    tooLong.name[0] = 64;
    std::vector<FSSpec> bad = {zero,           unknownFolder, negativeFolder,
                               tooLong,        withName(""),  withName("a/b"),
                               withName(".."), withName("."), withName(std::string("a\0b", 3))};
    char buffer[256];
    for (size_t i = 0; i < bad.size(); ++i) {
        SCOPED_TRACE(i);
        FSRef ref;
        EXPECT_EQ(FSpMakeFSRef(&bad[i], &ref), paramErr);
        EXPECT_EQ(FSSpecGetPath(&bad[i], buffer, sizeof buffer), paramErr);
    }

    FSRef zeroRef{};
    FSRef noise;
    std::memset(&noise, 0xFF, sizeof noise);
    for (const FSRef& ref : {zeroRef, noise}) {
        EXPECT_EQ(FSRefGetPath(&ref, buffer, sizeof buffer), paramErr);
        EXPECT_EQ(CFURLCreateFromFSRef(nullptr, &ref), nullptr);
    }

    FSRef ref;
    EXPECT_EQ(FSpMakeFSRef(nullptr, &ref), paramErr);
    EXPECT_EQ(FSpMakeFSRef(&good, nullptr), paramErr);
    EXPECT_EQ(FSSpecGetPath(nullptr, buffer, sizeof buffer), paramErr);
    EXPECT_EQ(FSRefGetPath(nullptr, buffer, sizeof buffer), paramErr);
    EXPECT_EQ(CFURLCreateFromFSRef(nullptr, nullptr), nullptr);
}

TEST(CFFilesArguments, PathsAreCopiedOnlyWhenTheyFit) {
    FSSpec spec;
    ASSERT_EQ(FSMakeFSSpecFromPath("/tmp/abc", &spec), noErr);
    FSRef ref;
    ASSERT_EQ(FSMakeFSRefFromPath("/tmp", &ref), noErr);

    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FSSpecGetPath(&spec, buffer, 8), paramErr);  // "/tmp/abc" needs 9 with its NUL
    EXPECT_EQ(buffer[0], '#');
    ASSERT_EQ(FSSpecGetPath(&spec, buffer, 9), noErr);
    EXPECT_STREQ(buffer, "/tmp/abc");
    EXPECT_EQ(FSRefGetPath(&ref, buffer, 4), paramErr);
    EXPECT_EQ(FSRefGetPath(&ref, buffer, 5), noErr);
    EXPECT_EQ(FSSpecGetPath(&spec, nullptr, 16), paramErr);
    EXPECT_EQ(FSSpecGetPath(&spec, buffer, 0), paramErr);
    EXPECT_EQ(FSRefGetPath(&ref, buffer, -1), paramErr);
}

// The speech worker registers folders while the main thread does.
TEST_F(CFFilesTest, ThreadsRegisteringFoldersAgreeOnIds) {
    constexpr int kFolders = 500;
    for (int i = 0; i < kFolders; ++i) MakeFolder("f" + std::to_string(i));
    constexpr int kThreads = 8;
    std::vector<std::vector<int32_t>> ids(kThreads, std::vector<int32_t>(kFolders));
    std::barrier start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();  // all at once, so that the table grows under contention
            for (int i = 0; i < kFolders; ++i) {
                int f = (i + t * 61) % kFolders;  // each thread meets the folders in its own order
                FSSpec spec{};
                FSMakeFSSpecFromPath(Path("f" + std::to_string(f) + "/x").c_str(), &spec);
                ids[t][f] = spec.parID;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int f = 0; f < kFolders; ++f) {
        ASSERT_GT(ids[0][f], 0);
        for (int t = 1; t < kThreads; ++t) EXPECT_EQ(ids[t][f], ids[0][f]);
        FSSpec spec{};
        spec.parID = ids[0][f];
        spec.name[0] = 1;
        spec.name[1] = 'x';
        EXPECT_EQ(SpecPath(spec), Path("f" + std::to_string(f) + "/x"));
    }
}

}  // namespace
