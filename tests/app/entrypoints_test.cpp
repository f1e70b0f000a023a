// The entry-point table against the real bundles: every key resolves, the slots follow the
// bundles' own class records, and the runtime's globals answer through their slots.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/entrypoints.h"
#include "platform/rbframework/plugin_host.h"
#include "platform/rbframework/rbstring.h"
#include "tests/app/plugin_test_support.h"

namespace {

class AppPluginEntryPoints : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { apptest::BindRealBundles(); }
};

TEST_F(AppPluginEntryPoints, EveryKeyResolvesToTheEntryRegisteredUnderIt) {
    ASSERT_NE(__plugin_entrypoints, nullptr);
    for (int32_t slot = 0; slot < kPluginEntrypointCount; ++slot) {
        std::string_view key = pluginEntrypointKey(static_cast<PluginSlot>(slot));
        EXPECT_NE(__plugin_entrypoints[slot], nullptr) << slot << " " << key;
        EXPECT_EQ(__plugin_entrypoints[slot], rb::PluginHost::instance().lookup(key))
            << slot << " " << key;
    }
}

// The keys a class has follow from its record: constructor, destructor, methods in table
// order, then accessors that are plug-in functions in property order, Get before Set.
TEST_F(AppPluginEntryPoints, SlotsFollowTheRegisteredRecordsInTheProgramsClassOrder) {
    std::vector<std::string> expected;
    for (const char* name : {"ClipboardZRQ", "SpeechChannelZRQ", "VoiceZRQ", "SpeechZRQ"}) {
        const REALclassDefinition* record = rb::PluginHost::instance().findClass(name);
        ASSERT_NE(record, nullptr) << name;
        std::string prefix = std::string(name) + ".";
        if (record->constructor) expected.push_back(prefix + "__init");
        if (record->destructor) expected.push_back(prefix + "__exit");
        for (int32_t i = 0; i < record->methodCount; ++i) {
            expected.push_back(prefix + record->methods[i].declaration);
        }
        for (int32_t i = 0; i < record->propertyCount; ++i) {
            const REALpropertyRecord& p = record->properties[i];
            if (p.getter && p.getter != kREALStandardFieldGetter) {
                expected.push_back(prefix + p.name + ".Get");
            }
            if (p.setter) expected.push_back(prefix + p.name + ".Set");
        }
    }
    std::vector<std::string> actual;
    for (int32_t slot = 3; slot < kPluginEntrypointCount; ++slot) {
        actual.emplace_back(pluginEntrypointKey(static_cast<PluginSlot>(slot)));
    }
    EXPECT_EQ(actual, expected);
}

// The slots the program's own code reaches, at their numbers, and the keys whose spelling
// (blanks, case) is easiest to get wrong.
TEST_F(AppPluginEntryPoints, KeysSitAtTheirSlotNumbersSpeltExactly) {
    struct Case {
        PluginSlot slot;
        int32_t number;
        const char* key;
    };
    const Case cases[] = {
        {PluginSlot::MD5, 0, "MD5(data As String) As String"},
        {PluginSlot::DecodeBase64, 2,
         "DecodeBase64(data As String, encoding as TextEncoding = nil) As String"},
        {PluginSlot::ClipboardZRQ_exit, 3, "ClipboardZRQ.__exit"},
        {PluginSlot::ClipboardZRQ_AddData, 7,
         "ClipboardZRQ.AddData(FlavorType as string,data as string)"},
        {PluginSlot::ClipboardZRQ_Clear, 17, "ClipboardZRQ.Clear"},
        {PluginSlot::ClipboardZRQ_Handle_Get, 22, "ClipboardZRQ.Handle.Get"},
        {PluginSlot::SpeechChannelZRQ_init, 23, "SpeechChannelZRQ.__init"},
        {PluginSlot::SpeechChannelZRQ_exit, 24, "SpeechChannelZRQ.__exit"},
        {PluginSlot::SpeechChannelZRQ_Speak, 25, "SpeechChannelZRQ.Speak(s as string) as Boolean"},
        {PluginSlot::SpeechChannelZRQ_PauseImmediate, 30,
         "SpeechChannelZRQ.PauseImmediate as Boolean"},
        {PluginSlot::SpeechChannelZRQ_SetOutputFile, 38,
         "SpeechChannelZRQ.SetOutputFile(file as folderitem) as boolean"},
        {PluginSlot::SpeechChannelZRQ_Voice_Set, 39, "SpeechChannelZRQ.Voice.Set"},
        {PluginSlot::SpeechChannelZRQ_Rate_Get, 40, "SpeechChannelZRQ.Rate.Get"},
        {PluginSlot::SpeechChannelZRQ_Rate_Set, 41, "SpeechChannelZRQ.Rate.Set"},
        {PluginSlot::VoiceZRQ_exit, 55, "VoiceZRQ.__exit"},
        {PluginSlot::VoiceZRQ_NewChannel, 56, "VoiceZRQ.NewChannel as SpeechChannelZRQ"},
        {PluginSlot::SpeechZRQ_init, 58, "SpeechZRQ.__init"},
        {PluginSlot::SpeechZRQ_exit, 59, "SpeechZRQ.__exit"},
        {PluginSlot::SpeechZRQ_DefaultVoice, 62, "SpeechZRQ.DefaultVoice as VoiceZRQ"},
        {PluginSlot::SpeechZRQ_VoiceCount_Get, 66, "SpeechZRQ.VoiceCount.Get"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(static_cast<int32_t>(c.slot), c.number) << c.key;
        EXPECT_EQ(pluginEntrypointKey(c.slot), c.key) << c.number;
    }
}

// Near misses name nothing: keys are matched as registered, and field properties and
// classes without a constructor have no key.
TEST_F(AppPluginEntryPoints, KeysThatAreNotInTheTableNameNothing) {
    for (const char* key : {
             "ClipboardZRQ.AddData(FlavorType as string, data as string)",
             "SpeechChannelZRQ.SetOutputFile(file as folderitem) as Boolean",
             "clipboardzrq.Clear",
             "ClipboardZRQ.__init",
             "VoiceZRQ.__init",
             "SpeechChannelZRQ.Voice.Get",
             "SpeechChannelZRQ.Lasterror.Get",
             "SpeechZRQ.Available.Get",
             "VoiceZRQ.Name.Get",
             "SpeechChannelZRQ.Playing.Set",
         }) {
        rb::String k(key);
        EXPECT_EQ(RuntimeLookupPluginEntrypoint(k.handle()), nullptr) << key;
    }
}

// Creation and destruction run the records' own constructor and destructor, which are
// exactly the entries behind "__init" and "__exit".
TEST_F(AppPluginEntryPoints, LifecycleSlotsAreTheRecordsConstructorAndDestructor) {
    auto record = [](const char* name) { return rb::PluginHost::instance().findClass(name); };
    auto entry = [](PluginSlot s) { return pluginEntrypoint(s); };
    EXPECT_EQ(entry(PluginSlot::SpeechChannelZRQ_init),
              reinterpret_cast<void*>(record("SpeechChannelZRQ")->constructor));
    EXPECT_EQ(entry(PluginSlot::SpeechChannelZRQ_exit),
              reinterpret_cast<void*>(record("SpeechChannelZRQ")->destructor));
    EXPECT_EQ(entry(PluginSlot::SpeechZRQ_init),
              reinterpret_cast<void*>(record("SpeechZRQ")->constructor));
    EXPECT_EQ(entry(PluginSlot::SpeechZRQ_exit),
              reinterpret_cast<void*>(record("SpeechZRQ")->destructor));
    EXPECT_EQ(entry(PluginSlot::ClipboardZRQ_exit),
              reinterpret_cast<void*>(record("ClipboardZRQ")->destructor));
    EXPECT_EQ(entry(PluginSlot::VoiceZRQ_exit),
              reinterpret_cast<void*>(record("VoiceZRQ")->destructor));
    EXPECT_EQ(record("ClipboardZRQ")->constructor, nullptr);
    EXPECT_EQ(record("VoiceZRQ")->constructor, nullptr);
}

TEST_F(AppPluginEntryPoints, RuntimeGlobalsAnswerThroughTheirSlots) {
    using Digest = REALstring (*)(REALstring);
    using Encode = REALstring (*)(REALstring, int32_t);
    using Decode = REALstring (*)(REALstring, REALobject);
    rb::String data("hello");
    int32_t before = data.refCount();

    rb::String encoded = rb::String::adopt(
        reinterpret_cast<Encode>(pluginEntrypoint(PluginSlot::EncodeBase64))(data.handle(), 76));
    EXPECT_EQ(encoded.toUtf8(), "aGVsbG8=");
    EXPECT_EQ(encoded.refCount(), 1);
    rb::String decoded = rb::String::adopt(reinterpret_cast<Decode>(
        pluginEntrypoint(PluginSlot::DecodeBase64))(encoded.handle(), nullptr));
    EXPECT_EQ(decoded.bytes(), "hello");

    rb::String digest = rb::String::adopt(
        reinterpret_cast<Digest>(pluginEntrypoint(PluginSlot::MD5))(rb::String("abc").handle()));
    std::string hex;
    for (unsigned char c : digest.bytes()) {
        static const char kDigits[] = "0123456789abcdef";
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    EXPECT_EQ(hex, "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(data.refCount(), before);
}

}  // namespace
