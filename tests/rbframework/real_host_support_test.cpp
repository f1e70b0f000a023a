// The support code that every bundle carries, running in the real host.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/corefoundation/Files.h"
#include "platform/rbframework/folder_item.h"
#include "platform/rbframework/plugin_host.h"
#include "platform/rbframework/rbstring.h"
#include "tests/plugin-support/probe.h"
#include "tests/support/temp_folder.h"

namespace {

using rb::PluginHost;
using rb::String;

class RealHost : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        PluginHost::instance().loadBundlesFrom(VELLORA_TEST_PLUGIN_DIR, {"plugin_support_probe"});
    }
    void SetUp() override {
        objects_ = rb::Object::liveCount();
        strings_ = String::liveCount();
        probe_ = PluginHost::instance().newInstance(probe::kClassName);
        ASSERT_TRUE(probe_);
    }
    void TearDown() override {
        probe_ = nullptr;
        EXPECT_EQ(rb::Object::liveCount(), objects_);
        EXPECT_EQ(String::liveCount(), strings_);
    }
    template <class F>
    static F key(const std::string& declaration) {
        return reinterpret_cast<F>(
            PluginHost::instance().require(std::string(probe::kClassName) + "." + declaration));
    }
    intptr_t call(const char* routine, intptr_t a = 0, intptr_t b = 0, intptr_t c = 0) {
        return key<probe::CallFn>(probe::kCall)(probe_->handle(), routine, a, b, c);
    }
    // What one view of `s` shows: the Mac Roman view or the raw-bytes view.
    std::string read(const char* view, const String& s) {
        std::string seen;
        key<probe::ReadFn>(view)(
            probe_->handle(), s.handle(), 1,
            [](void* ctx, const char* bytes, int32_t n) {
                static_cast<std::string*>(ctx)->assign(bytes, static_cast<size_t>(n));
            },
            &seen);
        return seen;
    }
    int64_t objects_ = 0, strings_ = 0;
    rb::Ref<rb::PluginObject> probe_;
};

TEST_F(RealHost, StartsTheBundleAndRegistersRoundedRecords) {
    EXPECT_DOUBLE_EQ(key<probe::HostVersionFn>(probe::kHostVersion)(probe_->handle()), 2013.0);
    EXPECT_EQ(PluginHost::instance().findClass(probe::kClassName)->dataSize, 32);
    EXPECT_EQ(PluginHost::instance().findClass(probe::kTwinClassName)->dataSize, 64);
}

TEST_F(RealHost, FieldsAreAtHeaderPlusTheOffsetTheHostWrote) {
    const int32_t base = static_cast<int32_t>(probe_->record().dataOffset);
    EXPECT_EQ(intGetter(probe_->handle(), base + offsetof(probe::Data, constructed)), 1);
    key<probe::SetTagFn>(probe::kSetTag)(probe_->handle(), 1234);
    EXPECT_EQ(intGetter(probe_->handle(), base + offsetof(probe::Data, tag)), 1234);
}

TEST_F(RealHost, TextViewsReadTheRealHostsStrings) {
    EXPECT_EQ(read(probe::kReadMacRoman, String("caf\xC3\xA9")), "caf\x8E");
    EXPECT_EQ(read(probe::kReadMacRoman, String("\xF0\x9F\x98\x80")),
              "");  // no Mac Roman form: empty
    EXPECT_EQ(read(probe::kReadMacRoman, String()), "");
    String raw = String::fromBytes("\x8E!", 2, rb::encoding::Raw);
    EXPECT_EQ(read(probe::kReadMacRoman, raw), "\x8E!");

    String utf16 = String("A\xC3\xA9").convert(rb::encoding::UTF16);
    EXPECT_EQ(read(probe::kReadRawBytes, utf16), std::string("A\0\xE9\0", 4));
}

TEST_F(RealHost, BuiltUnicodeStringsArriveAsUtf8WithOneReference) {
    const char16_t units[] = u"h\u00e9";
    String built = String::adopt(reinterpret_cast<REALstring>(
        call("REALBuildUnicodeString", reinterpret_cast<intptr_t>(units), 4, rb::encoding::UTF16)));
    EXPECT_EQ(built.encoding(), rb::encoding::UTF8);
    EXPECT_EQ(built.toUtf8(), "h\xC3\xA9");
    EXPECT_EQ(built.refCount(), 1);
}

TEST_F(RealHost, FolderItemsCrossAsSpecsAndRefs) {
    vellora_test::TempFolder temp("vellora-host");
    ASSERT_FALSE(temp.path().empty());
    const std::filesystem::path& dir = temp.path();
    std::filesystem::path file = dir /
                                 "sp\xC3\xA9"
                                 "ech.wav";  // not created

    FSSpec spec{};
    ASSERT_EQ(FSMakeFSSpecFromPath(file.c_str(), &spec), noErr);
    auto item =
        rb::Ref<rb::FolderItem>::adopt(rb::FolderItem::fromHandle(reinterpret_cast<REALfolderItem>(
            call("REALFolderItemFromFSSpec", reinterpret_cast<intptr_t>(&spec)))));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->path(), file);
    EXPECT_EQ(item->refCount(), 1);

    FSSpec back{};
    EXPECT_EQ(call("REALFSSpecFromFolderItem", reinterpret_cast<intptr_t>(&back),
                   reinterpret_cast<intptr_t>(item->handle())),
              1);
    EXPECT_EQ(std::memcmp(&back, &spec, sizeof spec), 0);

    // A file not yet made has no ref of its own, but its folder's ref and its name.
    FSRef ref{};
    EXPECT_EQ(call("REALFSRefFromFolderItem", reinterpret_cast<intptr_t>(item->handle()),
                   reinterpret_cast<intptr_t>(&ref), 0),
              0);
    HFSUniStr255 name{};
    ASSERT_EQ(call("REALFSRefFromFolderItem", reinterpret_cast<intptr_t>(item->handle()),
                   reinterpret_cast<intptr_t>(&ref), reinterpret_cast<intptr_t>(&name)),
              1);
    char path[4096];
    ASSERT_EQ(FSRefGetPath(&ref, path, sizeof path), noErr);
    EXPECT_EQ(std::filesystem::path(path), dir);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name.unicode), name.length),
              u"sp\u00e9ech.wav");
}

}  // namespace
