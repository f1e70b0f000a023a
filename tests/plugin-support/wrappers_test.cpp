// The wrappers of the host entries: arguments handed on unchanged, the result passed back,
// the entry looked up once while present and again on every call while missing.
#include <functional>

#include "tests/plugin-support/harness.h"

namespace {

struct Row {
    const char* routine;
    const char* entry;
    std::vector<intptr_t> args;  // what the routine gets and the entry must see
    intptr_t whenMissing;
    std::function<void(intptr_t result)> checkPresent;
};

template <typename T>
intptr_t W(T v) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<intptr_t>(v);
    } else {
        return static_cast<intptr_t>(v);
    }
}

class PluginSupportWrappers : public BundleTest {};

TEST_F(PluginSupportWrappers, HandOnArgumentsAndLookUpOnceFoundAgainWhileMissing) {
    host.version = 2013.0;
    Start();
    REALstring text = host.Make("caf\xC3\xA9", kREALTextEncodingUTF8);
    REALstring retag = host.Make("abc", kREALTextEncodingMacRoman);
    REALobject object = host.NewInstance(probe::kClassName);
    static const char bytes[] = "xyz";
    FSSpec spec{};
    FSRef ref{};

    auto newString = [&](const char* expected, uint32_t encoding) {
        return [this, expected, encoding](intptr_t result) {
            REALstring s = AsString(result);
            ASSERT_TRUE(host.Known(s));
            EXPECT_EQ(host.Bytes(s), expected);
            EXPECT_EQ(host.Encoding(s), encoding);
            host.Release(s);
        };
    };
    auto equals = [](intptr_t expected) {
        return [expected](intptr_t result) { EXPECT_EQ(result, expected); };
    };

    const Row rows[] = {
        {"originalREALBuildString",
         "REALBuildString",
         {W(bytes), 3},
         0,
         newString("xyz", kREALTextEncodingRaw)},
        {"REALLockObject", "REALLockObject", {W(object)}, 0, equals(0)},
        {"REALUnlockObject", "REALUnlockObject", {W(object)}, 0, equals(0)},
        {"REALLockString", "REALLockString", {W(text)}, 0, equals(0)},
        {"REALUnlockString", "REALUnlockString", {W(text)}, 0, equals(0)},
        {"REALGetStringEncoding",
         "REALGetStringEncoding",
         {W(text)},
         0,
         equals(kREALTextEncodingUTF8)},
        {"REALSetStringEncoding",
         "REALSetStringEncoding",
         {W(retag), kREALTextEncodingASCII},
         0,
         equals(0)},
        {"REALConvertString",
         "REALConvertString",
         {W(text), kREALTextEncodingMacRoman},
         0,
         newString("caf\x8E", kREALTextEncodingMacRoman)},
        {"REALnewInstance",
         "PluginNewInstance",
         {W(probe::kClassName)},
         0,
         [this](intptr_t result) {
             auto* o = reinterpret_cast<REALobject>(result);
             EXPECT_EQ(host.Refs(o), 1);
             host.UnlockObject(o);
         }},
        {"REALLoadFrameworkMethod",
         "REALLoadGlobalMethod",
         {0, W(fake::kLenBDeclaration)},
         0,
         [](intptr_t result) { EXPECT_NE(result, 0); }},
        {"REALFolderItemFromFSSpec",
         "FolderItemFromFSSpec",
         {W(&spec)},
         0,
         equals(W(host.folderItem))},
        {"REALFSSpecFromFolderItem",
         "REALFSSpecFromFolderItem",
         {W(&spec), W(host.folderItem)},
         0,
         equals(1)},
        {"REALFSRefFromFolderItem",
         "REALFSRefFromFolderItem",
         {W(host.folderItem), W(&ref), 0},
         0,
         equals(1)},
    };
    for (const Row& row : rows) host.missing.insert(row.entry);

    for (const Row& row : rows) {
        SCOPED_TRACE(row.routine);
        auto call = [&] {
            intptr_t a = row.args.size() > 0 ? row.args[0] : 0;
            intptr_t b = row.args.size() > 1 ? row.args[1] : 0;
            intptr_t c = row.args.size() > 2 ? row.args[2] : 0;
            return bundle->Call(row.routine, a, b, c);
        };
        EXPECT_EQ(call(), row.whenMissing);
        EXPECT_EQ(call(), row.whenMissing);
        EXPECT_EQ(host.Asked(row.entry), 2);
        EXPECT_EQ(host.Calls(row.entry), 0);

        host.missing.erase(row.entry);
        row.checkPresent(call());
        row.checkPresent(call());
        EXPECT_EQ(host.Asked(row.entry), 3);
        EXPECT_EQ(host.Calls(row.entry), 2);
        EXPECT_EQ(host.lastArgs[row.entry], row.args);
    }

    // Two locks, then two unlocks, of each: the references balance.
    EXPECT_EQ(host.Refs(text), 1);
    EXPECT_EQ(host.Refs(object), 1);
    EXPECT_EQ(host.Encoding(retag), kREALTextEncodingASCII);
    host.UnlockObject(object);
    host.Release(text);
    host.Release(retag);
    EXPECT_EQ(host.LiveStrings(), 0);
}

TEST_F(PluginSupportWrappers, FolderItemBooleansAreTheLowByteOfTheResult) {
    Start();
    FSSpec spec{};
    FSRef ref{};
    HFSUniStr255 name{};
    const struct {
        int32_t hostResult;
        intptr_t expected;
    } cases[] = {{fake::kYes, 1}, {fake::kNo, 0}, {0x100, 0}, {-255, 1}, {0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hostResult);
        host.folderResult = c.hostResult;
        EXPECT_EQ(bundle->CallWith("REALFSSpecFromFolderItem", &spec, host.folderItem), c.expected);
        EXPECT_EQ(bundle->CallWith("REALFSRefFromFolderItem", host.folderItem, &ref, &name),
                  c.expected);
    }
    EXPECT_EQ(host.lastArgs["REALFSRefFromFolderItem"][2], W(&name));
}

}  // namespace
