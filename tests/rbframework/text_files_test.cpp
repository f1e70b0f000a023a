#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/rbframework/folder_item.h"
#include "platform/rbframework/special_folder.h"
#include "platform/rbframework/string_functions.h"
#include "platform/rbframework/text_files.h"
#include "tests/support/env.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using rb::FolderItem;
using rb::String;

using vellora_test::readBytes;
using vellora_test::TempFolder;
using vellora_test::writeBytes;

int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

class TextStreams : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        objects_ = rb::Object::liveCount();
        strings_ = String::liveCount();
    }
    void TearDown() override {
        items_.clear();
        EXPECT_EQ(rb::Object::liveCount(), objects_);
        EXPECT_EQ(String::liveCount(), strings_);
    }

    FolderItem& item(const std::string& name) {
        items_.push_back(rb::make<FolderItem>(dir_.path() / name));
        return *items_.back();
    }
    // Every line of the file, read to its end.
    std::vector<std::string> readAll(const std::string& bytes) {
        writeBytes(dir_.path() / "in.txt", bytes);
        auto in = rb::OpenAsTextFile(item("in.txt"));
        EXPECT_TRUE(in);
        std::vector<std::string> lines;
        while (in && !in->EOF_()) lines.push_back(in->ReadLine().toUtf8());
        if (in) {
            EXPECT_TRUE(in->EOF_());
            EXPECT_EQ(in->ReadLine().toUtf8(), "");
        }
        return lines;
    }

    TempFolder dir_{"textfiles"};
    std::vector<rb::Ref<FolderItem>> items_;
    int64_t objects_ = 0, strings_ = 0;
};

using Lines = std::vector<std::string>;

TEST_F(TextStreams, EveryLineEndingEndsALineAndTheLastLineNeedsNone) {
    struct Case {
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"", {}},
        {"abc", {"abc"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\r\nc\rd", {"a", "b", "c", "d"}},
        {"a\n\nb", {"a", "", "b"}},
        {"\r\n\r\n", {"", ""}},
        {"a\n\r", {"a", ""}},  // LF then CR: two endings
        {"a\r\r\nb", {"a", "", "b"}},
        {"x y \t\n", {"x y \t"}},  // blanks and tabs are text
        {"\xEF\xBB\xBF#k v\n", {"#k v"}},
        {"\xEF\xBB", {"\xEF\xBF\xBD"}},  // a cut-off mark is just a bad byte
    };
    for (const Case& c : cases)
        EXPECT_EQ(readAll(c.bytes), c.lines) << testing::PrintToString(c.bytes);
}

TEST_F(TextStreams, LineEndingsAcrossReadBoundaries) {
    const size_t k = rb::TextInputStream::kChunkSize;
    for (size_t len : {k - 2, k - 1, k, k + 1, 2 * k - 1}) {
        std::string first(len, 'x');
        // CR LF and CR alone right at the end of one read.
        EXPECT_EQ(readAll(first + "\r\ny\r"), (Lines{first, "y"})) << len;
        EXPECT_EQ(readAll(first + "\rz"), (Lines{first, "z"})) << len;
        EXPECT_EQ(readAll(first + "\r"), (Lines{first})) << len;
    }
}

TEST_F(TextStreams, BytesThatAreNotUtf8ReadAsReplacementCharacters) {
    std::string bin = std::string("\xFF\xFE") + "ok" + std::string(1, '\0') + "\xC3" + "\xC3\xA9";
    Lines lines = readAll(bin + "\n\xED\xA0\x80\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0],
              "\xEF\xBF\xBD\xEF\xBF\xBDok" + std::string(1, '\0') + "\xEF\xBF\xBD\xC3\xA9");
    // A surrogate's bytes are no UTF-8 either.
    EXPECT_EQ(lines[1], "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");

    // What was read is sound text for the string functions.
    writeBytes(dir_.path() / "in.txt", bin);
    auto in = rb::OpenAsTextFile(item("in.txt"));
    String line = in->ReadLine();
    EXPECT_EQ(rb::Len(line), 7);
    EXPECT_EQ(rb::Mid(line, 3, 2).toUtf8(), "ok");
    EXPECT_EQ(rb::InStr(line, String("\xC3\xA9")), 7);
}

TEST_F(TextStreams, BigFileAndLongLine) {
    // 10 MB of lines, then one line of 1 MB without an ending.
    std::string line(99, 'a');
    std::string bytes;
    const int count = 10 * 1024 * 1024 / 100;
    for (int i = 0; i < count; ++i) bytes += line + (i % 2 ? "\n" : "\r\n");
    std::string longLine(1024 * 1024, 'b');
    bytes += longLine;
    writeBytes(dir_.path() / "big.txt", bytes);

    auto in = rb::OpenAsTextFile(item("big.txt"));
    ASSERT_TRUE(in);
    int n = 0;
    std::string last;
    while (!in->EOF_()) {
        last = in->ReadLine().toUtf8();
        if (last == line) ++n;
    }
    EXPECT_EQ(n, count);
    EXPECT_EQ(last, longLine);
}

TEST_F(TextStreams, OnlyRegularFilesOpen) {
    fs::create_directory(dir_.path() / "folder");
    ASSERT_EQ(mkfifo((dir_.path() / "pipe").c_str(), 0600), 0);
    EXPECT_FALSE(rb::OpenAsTextFile(item("missing.txt")));
    EXPECT_FALSE(rb::OpenAsTextFile(item("folder")));
    EXPECT_FALSE(rb::OpenAsTextFile(item("pipe")));  // and does not wait for a writer
    EXPECT_FALSE(rb::OpenAsTextFile(FolderItem("/dev/zero")));
}

TEST_F(TextStreams, StreamsCloseWithTheirLastReference) {
    writeBytes(dir_.path() / "in.txt", "one\ntwo\n");
    int before = openDescriptors();
    {
        auto in = rb::OpenAsTextFile(item("in.txt"));
        auto out = rb::CreateTextFile(item("out.txt"));
        ASSERT_TRUE(in && out);
        EXPECT_GT(openDescriptors(), before);
        EXPECT_EQ(in->ReadLine().toUtf8(), "one");
        out->WriteLine("kept");
    }
    EXPECT_EQ(openDescriptors(), before);
    // An output stream dropped without Close still puts its text in place.
    EXPECT_EQ(readBytes(dir_.path() / "out.txt"), "kept\n");

    auto in = rb::OpenAsTextFile(item("in.txt"));
    in->Close();
    in->Close();
    EXPECT_TRUE(in->EOF_());
    EXPECT_EQ(in->ReadLine().toUtf8(), "");
}

TEST_F(TextStreams, NewFileReplacesTheOldOneOnlyWhenClosed) {
    fs::path p = dir_.path() / "prefs.txt";
    const std::string greeting = "Gr\u00FC\u00DFe";
    writeBytes(p, "old 1\nold 2\nold 3\n");
    auto out = rb::CreateTextFile(item("prefs.txt"));
    ASSERT_TRUE(out);
    out->WriteLine(greeting);
    out->WriteLine("");
    out->WriteLine(String("a\tb"));
    EXPECT_EQ(readBytes(p), "old 1\nold 2\nold 3\n");
    out->Close();
    EXPECT_FALSE(out->WriteError());
    EXPECT_EQ(readBytes(p), greeting + "\n\na\tb\n");
    // Writing after Close changes nothing.
    out->WriteLine("late");
    out->Close();
    EXPECT_EQ(readBytes(p), greeting + "\n\na\tb\n");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);

    // What the writer produces, the reader reads back.
    auto in = rb::OpenAsTextFile(item("prefs.txt"));
    std::vector<std::string> lines;
    while (!in->EOF_()) lines.push_back(in->ReadLine().toUtf8());
    EXPECT_EQ(lines, (Lines{greeting, "", "a\tb"}));

    // Text of many chunks arrives whole.
    out = rb::CreateTextFile(item("prefs.txt"));
    for (int i = 0; i < 5000; ++i) out->WriteLine(std::string(99, static_cast<char>('a' + i % 26)));
    out->Close();
    EXPECT_FALSE(out->WriteError());
    EXPECT_EQ(fs::file_size(p), 5000u * 100);
}

TEST_F(TextStreams, FailedWriteLeavesTheOldFileIntact) {
    fs::path p = dir_.path() / "prefs.txt";
    const std::string old = "#SpeakingRate 180\n#InitialLaunch False\n";
    writeBytes(p, old);
    {
        FileSizeLimit limit(16);
        auto out = rb::CreateTextFile(item("prefs.txt"));
        ASSERT_TRUE(out);
        // Past one chunk, so the limit strikes both in the middle and at Close.
        for (int i = 0; i < 3000; ++i) out->WriteLine("#InputFontFamily Liberation Serif");
        out->Close();
        EXPECT_TRUE(out->WriteError());

        // Nor does a new file appear half-written.
        auto fresh = rb::CreateTextFile(item("fresh.txt"));
        ASSERT_TRUE(fresh);
        fresh->WriteLine(std::string(100, 'x'));
    }
    EXPECT_EQ(readBytes(p), old);
    EXPECT_FALSE(fs::exists(dir_.path() / "fresh.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);
}

TEST_F(TextStreams, NoFileIsMadeWhereNoneCanBe) {
    fs::create_directory(dir_.path() / "folder");
    writeBytes(dir_.path() / "folder" / "inside.txt", "x");
    EXPECT_FALSE(rb::CreateTextFile(item("folder")));
    EXPECT_EQ(readBytes(dir_.path() / "folder" / "inside.txt"), "x");
    EXPECT_FALSE(rb::CreateTextFile(FolderItem(dir_.path() / "no-such-folder" / "f.txt")));
    // A file standing where a folder should be.
    writeBytes(dir_.path() / "plain", "y");
    EXPECT_FALSE(rb::CreateTextFile(FolderItem(dir_.path() / "plain" / "f.txt")));
}

// Only a regular file is replaced: a link is never written through, whatever it points at,
// and a pipe is left as it is.
TEST_F(TextStreams, NoFileIsWrittenThroughALinkOrInAPipesPlace) {
    writeBytes(dir_.path() / "target", "t");
    fs::create_symlink(dir_.path() / "target", dir_.path() / "to-file");
    fs::create_symlink(dir_.path() / "nowhere", dir_.path() / "dangling");
    fs::create_symlink("/dev/null", dir_.path() / "to-device");
    ASSERT_EQ(::mkfifo((dir_.path() / "pipe").c_str(), 0600), 0);
    for (const char* name : {"to-file", "dangling", "to-device", "pipe"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(rb::CreateTextFile(item(name)));
    }
    EXPECT_EQ(readBytes(dir_.path() / "target"), "t");
    EXPECT_TRUE(fs::is_symlink(dir_.path() / "to-file"));
    EXPECT_FALSE(fs::exists(dir_.path() / "nowhere"));
    EXPECT_TRUE(fs::is_fifo(dir_.path() / "pipe"));
}

using EnvVar = vellora_test::ScopedEnv;

TEST(TextStreamsPreferencesFolder, XdgConfigHomeWhenAbsoluteElseHomeConfig) {
    TempFolder dir("textfiles");
    ASSERT_FALSE(dir.path().empty());
    EnvVar home("HOME", dir.path().string());
    {
        fs::path xdg = dir.path() / "xdg" / "config";
        EnvVar var("XDG_CONFIG_HOME", xdg.string());
        auto prefs = rb::SpecialFolder::Preferences();
        ASSERT_TRUE(prefs);
        EXPECT_EQ(prefs->path(), xdg);
        // Made when missing, for the owner only.
        EXPECT_TRUE(prefs->Directory());
        EXPECT_EQ(fs::status(xdg).permissions(), fs::perms::owner_all);
    }
    for (std::optional<std::string> value :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("relative/config")}) {
        EnvVar var("XDG_CONFIG_HOME", value);
        auto prefs = rb::SpecialFolder::Preferences();
        ASSERT_TRUE(prefs);
        EXPECT_EQ(prefs->path(), dir.path() / ".config");
        EXPECT_TRUE(prefs->Directory());
        EXPECT_TRUE(prefs->Child("vellora.txt"));
    }
    EXPECT_FALSE(fs::exists(dir.path() / "relative"));
}

}  // namespace
