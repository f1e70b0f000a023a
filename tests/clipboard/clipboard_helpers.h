// The clipboard bundle as the program reaches it: the real host loads clipboard.so, and each
// call goes through the row that the program would bind by its declaration text.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rbframework/object.h"
#include "platform/rbframework/plugin_host.h"
#include "platform/rbframework/rbstring.h"
#include "platform/scrap/Scrap.h"

namespace cliptest {

using rb::String;

constexpr const char* kClass = "ClipboardZRQ";

template <class F>
F row(const std::string& declaration) {
    return reinterpret_cast<F>(
        rb::PluginHost::instance().require(std::string(kClass) + "." + declaration));
}

// The instance data as the bundle lays it out.
struct ScrapData {
    int32_t flavorCount;
    ScrapFlavorInfo* flavorList;
};

// Checks, when it goes, that a call left the count of a string argument as it was.
class Lent {
  public:
    explicit Lent(const String& arg) : arg_(arg), before_(arg.isNil() ? 0 : arg.refCount()) {}
    ~Lent() {
        if (!arg_.isNil()) {
            EXPECT_EQ(arg_.refCount(), before_) << "a call changed an argument's count";
        }
    }
    REALstring handle() const { return arg_.handle(); }

  private:
    const String& arg_;
    int32_t before_;
};

// A string result, checked to carry exactly one reference.
inline String result(REALstring s) {
    String r = String::adopt(s);
    if (!r.isNil()) {
        EXPECT_EQ(r.refCount(), 1) << "a result must carry one reference";
    }
    return r;
}

// One ClipboardZRQ, called through its rows with the reference rules checked on every call.
class Clip {
  public:
    Clip() : obj_(rb::PluginHost::instance().newInstance(kClass)) {}
    explicit operator bool() const { return bool(obj_); }
    ScrapData& data() { return *static_cast<ScrapData*>(obj_->data()); }
    void reset() { obj_ = nullptr; }

    int32_t DataSize(const String& type) {
        return withType<int32_t>("DataSize(FlavorType as string) as integer", type);
    }
    bool DataAvailable(const String& type) {
        return withType<bool>("DataAvailable(FlavorType as string) as boolean", type);
    }
    String GetData(const String& type) {
        return result(withType<REALstring>("GetData(FlavorType as string) as string", type));
    }
    void AddData(const String& type, const String& data) {
        Lent t(type), d(data);
        row<void (*)(REALobject, REALstring, REALstring)>(
            "AddData(FlavorType as string,data as string)")(self(), t.handle(), d.handle());
    }
    bool TextAvailable() { return plain<bool>("TextAvailable as boolean"); }
    int32_t TextSize() { return plain<int32_t>("TextSize as integer"); }
    String GetText() { return result(plain<REALstring>("GetText as string")); }
    void AddText(const String& text) { withType<void>("AddText(Text as string)", text); }
    bool UnicodeTextAvailable() { return plain<bool>("UnicodeTextAvailable as boolean"); }
    int32_t UnicodeTextSize() { return plain<int32_t>("UnicodeTextSize as integer"); }
    String GetUnicodeText() { return result(plain<REALstring>("GetUnicodeText as string")); }
    void AddUnicodeText(const String& text) {
        withType<void>("AddUnicodeText(Text as string)", text);
    }
    bool PictAvailable() { return plain<bool>("PictAvailable as boolean"); }
    void Clear() { plain<void>("Clear"); }
    void Close() { plain<void>("Close"); }
    int32_t ScrapFlavorCount() { return plain<int32_t>("ScrapFlavorCount as integer"); }
    int32_t ScrapFlavorFlags(int32_t index) {
        return withIndex<int32_t>("ScrapFlavorFlags(index as integer) as integer", index);
    }
    String ScrapFlavorType(int32_t index) {
        return result(withIndex<REALstring>("ScrapFlavorType(index as integer) as string", index));
    }
    int32_t Handle() { return withIndex<int32_t>("Handle.Get", 0); }

  private:
    REALobject self() { return obj_->handle(); }
    template <class R>
    R plain(const char* declaration) {
        return row<R (*)(REALobject)>(declaration)(self());
    }
    template <class R>
    R withType(const char* declaration, const String& arg) {
        Lent a(arg);
        return row<R (*)(REALobject, REALstring)>(declaration)(self(), a.handle());
    }
    template <class R>
    R withIndex(const char* declaration, int32_t index) {
        return row<R (*)(REALobject, int32_t)>(declaration)(self(), index);
    }

    rb::Ref<rb::PluginObject> obj_;
};

// Starts every test from an empty clipboard with one fresh instance, and checks at the end
// that every object and string the test made is gone again.
class ClipboardFixture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { rb::PluginHost::instance().loadBundles({"clipboard"}); }
    void SetUp() override {
        ASSERT_EQ(ClearCurrentScrap(), scrapNoErr);
        objects_ = rb::Object::liveCount();
        strings_ = String::liveCount();
        clip_ = std::make_unique<Clip>();
        ASSERT_TRUE(*clip_);
    }
    void TearDown() override {
        clip_.reset();
        EXPECT_EQ(rb::Object::liveCount(), objects_) << "objects leaked";
        EXPECT_EQ(String::liveCount(), strings_) << "strings leaked";
    }
    Clip& clip() { return *clip_; }

  private:
    int64_t objects_ = 0, strings_ = 0;
    std::unique_ptr<Clip> clip_;
};

inline std::string bytesOf(const String& s) {
    return std::string(s.bytes());
}

// The clipboard read and written directly, as someone other than the bundle would.
inline ScrapRef currentScrap() {
    ScrapRef ref = 0;
    EXPECT_EQ(GetCurrentScrap(&ref), scrapNoErr);
    return ref;
}

inline OSStatus putFlavor(ScrapFlavorType type, const std::string& bytes) {
    return PutScrapFlavor(currentScrap(), type, 0, static_cast<int32_t>(bytes.size()),
                          bytes.data());
}

// The flavour's bytes, or "<absent>".
inline std::string flavorBytes(ScrapFlavorType type) {
    const ScrapRef ref = currentScrap();
    int32_t size = 0;
    if (GetScrapFlavorSize(ref, type, &size) != scrapNoErr) return "<absent>";
    std::string bytes(static_cast<size_t>(size), '\0');
    EXPECT_EQ(GetScrapFlavorData(ref, type, &size, bytes.data()), scrapNoErr);
    return bytes;
}

inline std::vector<ScrapFlavorType> listedFlavors() {
    const ScrapRef ref = currentScrap();
    uint32_t count = 0;
    EXPECT_EQ(GetScrapFlavorCount(ref, &count), scrapNoErr);
    std::vector<ScrapFlavorInfo> info(count);
    EXPECT_EQ(GetScrapFlavorInfoList(ref, &count, info.data()), scrapNoErr);
    std::vector<ScrapFlavorType> types;
    for (uint32_t i = 0; i < count; ++i) types.push_back(info[i].flavorType);
    return types;
}

}  // namespace cliptest
