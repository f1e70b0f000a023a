// The speech bundle in the real host, over the recording synthesizer and a hand-pulled audio
// clock: what each operation asks of the synthesizer, and who holds which reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/corefoundation/testing.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "platform/speechsynthesis/doubles.h"
#include "plugin.h"
#include "tests/support/env.h"
#include "tests/support/wait.h"

namespace {

using namespace speechplugin;
using speech::SpeechChannelData;
using speech::SpeechData;
using speech::VoiceData;
using vellora::speech::Engine;
using vellora::speech::SynthOutput;
using vellora::speech::SynthRequest;
using vellora::speech::VoiceEntry;
using vellora::speech::testing::ManualAudioClock;
using vellora::speech::testing::RecordingEngine;
using Call = Engine::ChannelCall;

// The recording synthesizer, also noting how many runtime strings live at each SpeakText.
class Recorder final : public Engine {
  public:
    explicit Recorder(std::vector<VoiceEntry> voices)
        : inner(std::make_shared<RecordingEngine>(std::move(voices))) {}
    int sampleRate() const override { return inner->sampleRate(); }
    std::vector<VoiceEntry> voices() const override { return inner->voices(); }
    bool synthesize(const SynthRequest& r, SynthOutput& out) override {
        return inner->synthesize(r, out);
    }
    void note(const Call& call) override {
        if (call.kind == Call::Speak) stringsAtSpeak.push_back(rb::String::liveCount());
        inner->note(call);
    }
    std::shared_ptr<RecordingEngine> inner;
    std::vector<int64_t> stringsAtSpeak;
};

class SpeechPlugin : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { LoadBundle(); }

    void SetUp() override {
        std::vector<VoiceEntry> voices = RecordingEngine::DefaultVoices();
        voiceFile = folder.path() / "de.voice";
        std::ofstream(voiceFile) << "voice";
        voices[1].filePath = voiceFile.string();  // the German voice has a file
        engine = std::make_shared<Recorder>(voices);
        clock = std::make_shared<ManualAudioClock>();
        vellora::speech::testing::InstallEngine(engine);
        vellora::speech::testing::InstallAudioSink(clock);

        objects = rb::Object::liveCount();
        strings = rb::String::liveCount();
        cfObjects = vellora::cf::testing::LiveObjectCount();
        speech = New("SpeechZRQ");
        ASSERT_TRUE(speech);
    }

    void TearDown() override {
        speech = nullptr;
        EXPECT_EQ(rb::Object::liveCount(), objects);
        EXPECT_EQ(rb::String::liveCount(), strings);
        EXPECT_EQ(vellora::cf::testing::LiveObjectCount(), cfObjects);
    }

    // A channel of the default voice, speaking into the hand-pulled clock.
    Obj DefaultChannel() {
        Obj voice = ObjectOf(speech, "DefaultVoice as VoiceZRQ");
        return voice ? ObjectOf(voice, "NewChannel as SpeechChannelZRQ") : nullptr;
    }
    static SpeechChannel Handle(const Obj& channel) {
        return Data<SpeechChannelData>(channel)->channelHandle;
    }
    // The calls made on one platform channel since the test began.
    std::vector<Call> CallsOn(SpeechChannel ch) const {
        std::vector<Call> out;
        for (const Call& c : engine->inner->Calls())
            if (c.channel == reinterpret_cast<uintptr_t>(ch)) out.push_back(c);
        return out;
    }
    size_t CallCount() const { return engine->inner->Calls().size(); }
    std::string LastVoiceSpoken() const {
        EXPECT_TRUE(vellora::speech::testing::WaitUntilIdle());
        auto requests = engine->inner->Requests();
        return requests.empty() ? "" : requests.back().voice;
    }

    // The locale the default voice is chosen by; a test may change these, and they come back.
    vellora_test::ScopedEnv lang{"LANG", "en_GB.UTF-8"};
    vellora_test::ScopedEnv lcAll{"LC_ALL", std::nullopt};
    vellora_test::ScopedEnv lcMessages{"LC_MESSAGES", std::nullopt};
    TempFolder folder;
    std::filesystem::path voiceFile;
    std::shared_ptr<Recorder> engine;
    std::shared_ptr<ManualAudioClock> clock;
    int64_t objects = 0, strings = 0, cfObjects = 0;
    Obj speech;
};

// ---- registration ----------------------------------------------------------------------

TEST_F(SpeechPlugin, RegistersThreeClassesWithRoundedSizesAndTheProgramsKeys) {
    auto& host = rb::PluginHost::instance();
    EXPECT_EQ(host.findClass("SpeechChannelZRQ")->dataSize, 48);  // 40 as built
    EXPECT_EQ(host.findClass("VoiceZRQ")->dataSize, 80);
    EXPECT_EQ(host.findClass("SpeechZRQ")->dataSize, 48);  // 40 as built

    // Every key the program looks up, and no plug-in getter where the host reads a field.
    const char* keys[] = {
        "SpeechChannelZRQ.__init",
        "SpeechChannelZRQ.__exit",
        "SpeechChannelZRQ.Speak(s as string) as Boolean",
        "SpeechChannelZRQ.Stop as Boolean",
        "SpeechChannelZRQ.StopImmediate as Boolean",
        "SpeechChannelZRQ.StopEndOfWord as Boolean",
        "SpeechChannelZRQ.StopEndOfSentence as Boolean",
        "SpeechChannelZRQ.PauseImmediate as Boolean",
        "SpeechChannelZRQ.PauseEndOfWord as Boolean",
        "SpeechChannelZRQ.PauseEndOfSentence as Boolean",
        "SpeechChannelZRQ.ContinueSpeech as Boolean",
        "SpeechChannelZRQ.Reset",
        "SpeechChannelZRQ.SpeechBusy as integer",
        "SpeechChannelZRQ.SpeechBusySystemWide as integer",
        "SpeechChannelZRQ.Close",
        "SpeechChannelZRQ.SetOutputFile(file as folderitem) as boolean",
        "SpeechChannelZRQ.Voice.Set",
        "SpeechChannelZRQ.Rate.Get",
        "SpeechChannelZRQ.Rate.Set",
        "SpeechChannelZRQ.PitchBase.Get",
        "SpeechChannelZRQ.PitchBase.Set",
        "SpeechChannelZRQ.PitchModulation.Get",
        "SpeechChannelZRQ.PitchModulation.Set",
        "SpeechChannelZRQ.SpeakCharactersLiteral.Get",
        "SpeechChannelZRQ.SpeakCharactersLiteral.Set",
        "SpeechChannelZRQ.SpeakNumbersLiteral.Get",
        "SpeechChannelZRQ.SpeakNumbersLiteral.Set",
        "SpeechChannelZRQ.Volume.Get",
        "SpeechChannelZRQ.Volume.Set",
        "SpeechChannelZRQ.Playing.Get",
        "SpeechChannelZRQ.Paused.Get",
        "SpeechChannelZRQ.TextBytesToSpeak.Get",
        "VoiceZRQ.__exit",
        "VoiceZRQ.NewChannel as SpeechChannelZRQ",
        "VoiceZRQ.Close",
        "SpeechZRQ.__init",
        "SpeechZRQ.__exit",
        "SpeechZRQ.Speak(s as string) as Boolean",
        "SpeechZRQ.Voice(index as integer) as VoiceZRQ",
        "SpeechZRQ.DefaultVoice as VoiceZRQ",
        "SpeechZRQ.SpeechBusy as integer",
        "SpeechZRQ.SpeechBusySystemWide as integer",
        "SpeechZRQ.Close",
        "SpeechZRQ.VoiceCount.Get",
    };
    for (const char* key : keys) EXPECT_NE(host.lookup(key), nullptr) << key;
    for (const char* key :
         {"SpeechChannelZRQ.Voice.Get", "SpeechChannelZRQ.Lasterror.Get",
          "SpeechChannelZRQ.Lasterror.Set", "SpeechChannelZRQ.Playing.Set", "VoiceZRQ.__init",
          "VoiceZRQ.Name.Get", "SpeechZRQ.Lasterror.Get", "SpeechZRQ.VoiceCount.Set"})
        EXPECT_EQ(host.lookup(key), nullptr) << key;

    // Standard-field rows carry the fields' offsets.
    auto param = [&](const char* cls, int row) {
        return host.findClass(cls)->properties[row].param;
    };
    EXPECT_EQ(param("SpeechChannelZRQ", 0), offsetof(SpeechChannelData, Voice));
    EXPECT_EQ(param("SpeechChannelZRQ", 1), offsetof(SpeechChannelData, Lasterror));
    EXPECT_EQ(param("VoiceZRQ", 1), offsetof(VoiceData, Name));
    EXPECT_EQ(param("VoiceZRQ", 8), offsetof(VoiceData, File));
    EXPECT_EQ(param("VoiceZRQ", 9), offsetof(VoiceData, ResID));
    EXPECT_EQ(param("SpeechZRQ", 5), 24u);
}

// ---- the service and its voices ----------------------------------------------------------

TEST_F(SpeechPlugin, ServiceReportsAvailabilityAndTheVersionBytesAsTheyCome) {
    // The layer's version is 0x01008000: major 1, minor/fix 0, final stage 0x80, revision 0.
    EXPECT_TRUE(BoolField(speech, offsetof(SpeechData, Available)));
    EXPECT_EQ(IntField(speech, offsetof(SpeechData, VersionMajor)), 1);
    EXPECT_EQ(IntField(speech, offsetof(SpeechData, VersionMinor)), 0);
    EXPECT_EQ(IntField(speech, offsetof(SpeechData, VersionStage)), 0x80);
    EXPECT_EQ(IntField(speech, offsetof(SpeechData, VersionRev)), 0);
    EXPECT_EQ(IntField(speech, offsetof(SpeechData, Lasterror)), 0);
    EXPECT_EQ(Get<int32_t>(speech, "VoiceCount"), 3);
}

TEST_F(SpeechPlugin, VoiceByIndexCarriesItsSpecDescriptionAndFile) {
    struct Case {
        int32_t index;
        const char* name;
        int32_t gender, age, language;
        bool file;
    };
    for (const Case& c : {Case{1, "English", 1, 0, 0, false}, Case{2, "Deutsch", 2, 30, 2, true},
                          Case{3,
                               "Fran\xC3\xA7"
                               "ais",
                               0, 0, 1, false}}) {
        SCOPED_TRACE(c.index);
        Obj voice = VoiceAt(speech, c.index);
        ASSERT_TRUE(voice);
        EXPECT_EQ(voice->refCount(), 1);
        const VoiceData* d = Data<VoiceData>(voice);
        EXPECT_EQ(d->voiceSpec.creator, kSpeechVoiceCreator);
        EXPECT_EQ(d->voiceSpec.id, static_cast<OSType>(c.index));
        EXPECT_EQ(d->voiceSpecPtr, &d->voiceSpec);

        rb::String name = StringField(voice, offsetof(VoiceData, Name));
        EXPECT_EQ(name.toUtf8(), c.name);  // built from Mac Roman bytes
        EXPECT_EQ(name.refCount(), 2);     // the voice's and ours
        EXPECT_FALSE(StringField(voice, offsetof(VoiceData, Comment)).isNil());
        EXPECT_EQ(IntField(voice, offsetof(VoiceData, Version)), 1);
        EXPECT_EQ(IntField(voice, offsetof(VoiceData, Gender)), c.gender);
        EXPECT_EQ(IntField(voice, offsetof(VoiceData, Age)), c.age);
        EXPECT_EQ(IntField(voice, offsetof(VoiceData, Language)), c.language);
        EXPECT_EQ(IntField(voice, offsetof(VoiceData, ResID)), 0);

        auto file = ObjectField(voice, offsetof(VoiceData, File));
        ASSERT_EQ(bool(file), c.file);
        if (c.file) {
            auto* item = static_cast<rb::FolderItem*>(file.get());
            EXPECT_EQ(item->path(), voiceFile);
            EXPECT_EQ(item->refCount(), 2);  // the voice's and ours
        }
        // A channel made from it speaks with that voice.
        Obj channel = ObjectOf(voice, "NewChannel as SpeechChannelZRQ");
        ASSERT_TRUE(channel);
        ASSERT_TRUE(Speak(channel, "Hallo."));
        EXPECT_EQ(LastVoiceSpoken(),
                  std::string(RecordingEngine::DefaultVoices()[c.index - 1].key));
    }
}

TEST_F(SpeechPlugin, VoiceIndexOutsideOneToCountGivesNil) {
    for (int32_t index : {0, -1, std::numeric_limits<int32_t>::min(), 4, 32768,
                          std::numeric_limits<int32_t>::max()})
        EXPECT_FALSE(VoiceAt(speech, index)) << index;
    EXPECT_TRUE(VoiceAt(speech, Get<int32_t>(speech, "VoiceCount")));
}

TEST_F(SpeechPlugin, DefaultVoiceHasNoSpecAndItsChannelAsksForTheSystemDefault) {
    setenv("LANG", "de_DE.UTF-8", 1);  // the layer picks its default by the locale
    Obj voice = ObjectOf(speech, "DefaultVoice as VoiceZRQ");
    ASSERT_TRUE(voice);
    EXPECT_EQ(voice->refCount(), 1);
    const VoiceData* d = Data<VoiceData>(voice);
    EXPECT_EQ(d->voiceSpecPtr, nullptr);
    EXPECT_EQ(d->voiceSpec.creator, 0u);
    EXPECT_EQ(d->voiceSpec.id, 0u);
    EXPECT_EQ(StringField(voice, offsetof(VoiceData, Name)).toUtf8(), "Deutsch");
    EXPECT_TRUE(ObjectField(voice, offsetof(VoiceData, File)));

    Obj channel = ObjectOf(voice, "NewChannel as SpeechChannelZRQ");
    ASSERT_TRUE(channel);
    ASSERT_TRUE(Speak(channel, "Hallo."));
    EXPECT_EQ(LastVoiceSpoken(), "de");
}

TEST_F(SpeechPlugin, VoiceCloseReleasesNameCommentAndFileOnce) {
    Obj voice = VoiceAt(speech, 2);
    ASSERT_TRUE(voice);
    const int64_t liveStrings = rb::String::liveCount();
    const int64_t liveObjects = rb::Object::liveCount();
    Do(voice, "Close");
    EXPECT_EQ(rb::String::liveCount(), liveStrings - 2);
    EXPECT_EQ(rb::Object::liveCount(), liveObjects - 1);
    const VoiceData* d = Data<VoiceData>(voice);
    EXPECT_EQ(d->Name, nullptr);
    EXPECT_EQ(d->Comment, nullptr);
    EXPECT_EQ(d->File, nullptr);
    EXPECT_EQ(d->voiceSpecPtr, &d->voiceSpec);  // still usable for a channel
    Do(voice, "Close");
    EXPECT_EQ(rb::String::liveCount(), liveStrings - 2);
    // The host's destructor follows when `voice` goes; TearDown's counts show nothing twice.
}

TEST_F(SpeechPlugin, WithoutASynthesizerEveryServiceOperationReportsFailure) {
    vellora::speech::testing::InstallEngine(nullptr);
    EXPECT_EQ(Get<int32_t>(speech, "VoiceCount"), 0);
    EXPECT_FALSE(VoiceAt(speech, 1));
    EXPECT_FALSE(ObjectOf(speech, "DefaultVoice as VoiceZRQ"));
    EXPECT_FALSE(Speak(speech, "Hello."));
    EXPECT_EQ(IntField(speech, offsetof(SpeechData, Lasterror)), kSpeechNoEngineErr);
}

// The service says speech is not available while no sound output opens, but the channel is
// made all the same, and speaks once an output comes (a sound server that starts late).
TEST_F(SpeechPlugin, WithoutASoundDeviceSpeechIsNotAvailableUntilOneComes) {
    auto device = std::make_shared<vellora::speech::testing::FakeAudioDevice>();
    device->SetPresent(false);
    vellora::speech::testing::InstallAudioSink(device);
    Obj service = New("SpeechZRQ");
    ASSERT_TRUE(service);
    EXPECT_FALSE(BoolField(service, offsetof(SpeechData, Available)));
    Obj channel = DefaultChannel();
    ASSERT_TRUE(channel);
    EXPECT_FALSE(Speak(service, "Hello."));
    EXPECT_EQ(IntField(service, offsetof(SpeechData, Lasterror)), kSpeechNoAudioErr);
    EXPECT_FALSE(Speak(channel, "Hello."));
    EXPECT_EQ(IntField(channel, offsetof(SpeechChannelData, Lasterror)), kSpeechNoAudioErr);
    EXPECT_FALSE(Get<bool>(channel, "Playing"));

    device->SetPresent(true);
    ASSERT_TRUE(vellora_test::WaitFor([&] { return Speak(channel, "Hello."); }));
    EXPECT_TRUE(BoolField(New("SpeechZRQ"), offsetof(SpeechData, Available)));
}

TEST_F(SpeechPlugin, ServiceSpeakHandsTheMacRomanBytesToAChannelItDisposesAtOnce) {
    rb::String text("Caf\xC3\xA9 au lait.");
    ASSERT_TRUE(Speak(speech, text));
    EXPECT_EQ(text.refCount(), 1);
    EXPECT_EQ(IntField(speech, offsetof(SpeechData, Lasterror)), 0);
    std::vector<Call> calls = engine->inner->Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, Call::Speak);
    EXPECT_EQ(calls[0].text, "Caf\x8E au lait.");
    EXPECT_EQ(calls[1].kind, Call::Dispose);
    EXPECT_EQ(calls[1].channel, calls[0].channel);
    EXPECT_EQ(Int(speech, "SpeechBusy as integer"), 0);
    Do(speech, "Close");  // does nothing
    EXPECT_TRUE(BoolField(speech, offsetof(SpeechData, Available)));
}

// ---- the channel: speaking ---------------------------------------------------------------

TEST_F(SpeechPlugin, NewChannelHoldsItsVoiceAndHandsOutOneReference) {
    Obj voice = VoiceAt(speech, 1);
    Obj channel = ObjectOf(voice, "NewChannel as SpeechChannelZRQ");
    ASSERT_TRUE(channel);
    EXPECT_EQ(channel->refCount(), 1);
    EXPECT_EQ(voice->refCount(), 2);
    EXPECT_NE(Handle(channel), nullptr);
    auto held = ObjectField(channel, offsetof(SpeechChannelData, Voice));
    EXPECT_EQ(held.get(), static_cast<rb::Object*>(voice.get()));
    held = nullptr;
    voice = nullptr;  // the channel keeps the voice alive
    EXPECT_NE(Data<SpeechChannelData>(channel)->Voice, nullptr);
    EXPECT_TRUE(Speak(channel, "Still here."));
}

TEST_F(SpeechPlugin, ChannelSpeakPassesMacRomanBytesAndKeepsTheText) {
    Obj channel = DefaultChannel();
    ASSERT_TRUE(channel);
    const std::string mb(1 << 20, 'a');
    struct Case {
        const char* what;
        std::string utf8, macRoman;
    };
    for (const Case& c : {Case{"accented", "na\xC3\xAFve caf\xC3\xA9", "na\x95ve caf\x8E"},
                          Case{"empty", "", ""}, Case{"one megabyte", mb, mb}}) {
        SCOPED_TRACE(c.what);
        rb::String text(c.utf8);
        const size_t before = CallsOn(Handle(channel)).size();
        ASSERT_TRUE(Speak(channel, text));
        EXPECT_EQ(text.refCount(), 1);
        EXPECT_EQ(IntField(channel, offsetof(SpeechChannelData, Lasterror)), 0);
        std::vector<Call> calls = CallsOn(Handle(channel));
        ASSERT_EQ(calls.size(), before + 1);
        EXPECT_EQ(calls.back().kind, Call::Speak);
        EXPECT_TRUE(calls.back().text == c.macRoman);
        // The channel holds the converted text, one reference of its own.
        rb::String held = rb::String::retain(Data<SpeechChannelData>(channel)->spokenText);
        EXPECT_EQ(held.encoding(), rb::encoding::MacRoman);
        EXPECT_TRUE(held.bytes() == c.macRoman);
        EXPECT_GE(held.refCount(), 2);
    }
}

TEST_F(SpeechPlugin, TextWithoutAMacRomanFormIsRefusedAndChangesNothing) {
    Obj channel = DefaultChannel();
    ASSERT_TRUE(Speak(channel, "First."));
    SpeechChannelData* d = Data<SpeechChannelData>(channel);
    const REALstring kept = d->spokenText;
    d->Lasterror = 1234;
    const size_t calls = CallCount();
    rb::String emoji("Smile \xF0\x9F\x98\x80");
    EXPECT_FALSE(Speak(channel, emoji));
    EXPECT_EQ(emoji.refCount(), 1);
    EXPECT_EQ(d->Lasterror, 1234);
    EXPECT_EQ(d->spokenText, kept);
    EXPECT_EQ(CallCount(), calls);
}

TEST_F(SpeechPlugin, SpeakingAgainReleasesTheFirstTextOnlyAfterSpeakTextHasTheSecond) {
    Obj channel = DefaultChannel();
    engine->inner->SetHolding(true);  // the first text is still being spoken
    rb::String first("The first sentence."), second("The second one.");
    const int64_t base = rb::String::liveCount();
    ASSERT_TRUE(Speak(channel, first));
    ASSERT_TRUE(engine->inner->WaitUntilHeld(std::chrono::seconds(5)));
    ASSERT_TRUE(Get<bool>(channel, "Playing"));
    ASSERT_TRUE(Speak(channel, second));
    engine->inner->SetHolding(false);
    // At each SpeakText: the converted texts alive; the first still lives at the second call.
    ASSERT_EQ(engine->stringsAtSpeak.size(), 2u);
    EXPECT_EQ(engine->stringsAtSpeak[0], base + 1);
    EXPECT_EQ(engine->stringsAtSpeak[1], base + 2);
    EXPECT_EQ(rb::String::liveCount(), base + 1);
    EXPECT_EQ(rb::String::retain(Data<SpeechChannelData>(channel)->spokenText).toUtf8(),
              "The second one.");
}

TEST_F(SpeechPlugin, AFailedSpeakTextIsReportedWithItsCode) {
    Obj channel = DefaultChannel();
    // The platform channel goes away behind the object's back.
    ASSERT_EQ(DisposeSpeechChannel(Handle(channel)), noErr);
    EXPECT_FALSE(Speak(channel, "Lost."));
    EXPECT_EQ(IntField(channel, offsetof(SpeechChannelData, Lasterror)), kSpeechBadChannelErr);
}

// ---- the channel: stopping, pausing, status ----------------------------------------------

TEST_F(SpeechPlugin, StopPauseAndContinueReachThePlatformAsAsked) {
    Obj channel = DefaultChannel();
    struct Case {
        const char* decl;
        Call::Kind kind;
        int32_t where;
    };
    for (const Case& c :
         {Case{"Stop as Boolean", Call::Stop, 0}, Case{"StopImmediate as Boolean", Call::Stop, 0},
          Case{"StopEndOfWord as Boolean", Call::Stop, 1},
          Case{"StopEndOfSentence as Boolean", Call::Stop, 2},
          Case{"PauseImmediate as Boolean", Call::Pause, 0},
          Case{"PauseEndOfWord as Boolean", Call::Pause, 1},
          Case{"PauseEndOfSentence as Boolean", Call::Pause, 2},
          Case{"ContinueSpeech as Boolean", Call::Continue, 0}}) {
        SCOPED_TRACE(c.decl);
        ASSERT_TRUE(Speak(channel, "Some words to stop."));
        const size_t before = CallsOn(Handle(channel)).size();
        EXPECT_TRUE(Bool(channel, c.decl));
        std::vector<Call> calls = CallsOn(Handle(channel));
        ASSERT_EQ(calls.size(), before + 1);
        EXPECT_EQ(calls.back().kind, c.kind);
        EXPECT_EQ(calls.back().where, c.where);
    }
    EXPECT_EQ(IntField(channel, offsetof(SpeechChannelData, Lasterror)), 0);
}

TEST_F(SpeechPlugin, StatusPropertiesReadOneStatusRecord) {
    Obj channel = DefaultChannel();
    engine->inner->SetFramesPerCharacter(100);
    EXPECT_FALSE(Get<bool>(channel, "Playing"));
    EXPECT_EQ(Get<int32_t>(channel, "TextBytesToSpeak"), 0);

    ASSERT_TRUE(Speak(channel, "Hello world."));
    ASSERT_TRUE(vellora::speech::testing::WaitUntilIdle());
    EXPECT_TRUE(Get<bool>(channel, "Playing"));
    EXPECT_FALSE(Get<bool>(channel, "Paused"));
    EXPECT_EQ(Get<int32_t>(channel, "TextBytesToSpeak"), 12);
    EXPECT_EQ(Int(channel, "SpeechBusy as integer"), 1);
    EXPECT_EQ(Int(speech, "SpeechBusySystemWide as integer"), 1);

    clock->Pull(700);  // into "world."
    EXPECT_EQ(Get<int32_t>(channel, "TextBytesToSpeak"), 6);
    ASSERT_TRUE(Bool(channel, "PauseImmediate as Boolean"));
    EXPECT_TRUE(Get<bool>(channel, "Playing"));
    EXPECT_TRUE(Get<bool>(channel, "Paused"));
    EXPECT_EQ(Get<int32_t>(channel, "TextBytesToSpeak"), 6);

    // Speaking while paused replaces the paused text and plays.
    ASSERT_TRUE(Speak(channel, "Again."));
    ASSERT_TRUE(vellora::speech::testing::WaitUntilIdle());
    EXPECT_FALSE(Get<bool>(channel, "Paused"));
    EXPECT_EQ(Get<int32_t>(channel, "TextBytesToSpeak"), 6);
    clock->Pull(10000);
    EXPECT_TRUE(WaitFor([&] { return !Get<bool>(channel, "Playing"); }));
    EXPECT_EQ(Get<int32_t>(channel, "TextBytesToSpeak"), 0);
}

// ---- the channel: settings ---------------------------------------------------------------

TEST_F(SpeechPlugin, SettingsAreScaledAndTruncatedTowardZero) {
    Obj channel = DefaultChannel();
    struct Case {
        const char* property;
        double value;
        Call::Kind kind;
        uint32_t selector;
        int32_t passed;
        double readBack;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Case& c : {
             Case{"Rate", 150, Call::SetRate, 0, 9830400, 150.0},
             Case{"Rate", 1.99999, Call::SetRate, 0, 131071, 131071 / 65536.0},
             Case{"Rate", 1e12, Call::SetRate, 0, std::numeric_limits<int32_t>::max(),
                  std::numeric_limits<int32_t>::max() / 65536.0},
             Case{"PitchBase", 1.99999, Call::SetPitch, 0, 131071, 131071 / 65536.0},
             Case{"PitchBase", 50.5, Call::SetPitch, 0, 3309568, 50.5},
             Case{"PitchModulation", 1.99999, Call::SetInfo, kSpeechPitchModSelector, 131071,
                  131071 / 65536.0},
             Case{"Volume", 0.5, Call::SetInfo, kSpeechVolumeSelector, 0, 0.0},
             Case{"Volume", 32768.9, Call::SetInfo, kSpeechVolumeSelector, 32768, 32768.0},
         }) {
        SCOPED_TRACE(std::string(c.property) + " " + std::to_string(c.value));
        const size_t before = CallsOn(Handle(channel)).size();
        Set<double>(channel, c.property, c.value);
        std::vector<Call> calls = CallsOn(Handle(channel));
        ASSERT_EQ(calls.size(), before + 1);
        EXPECT_EQ(calls.back().kind, c.kind);
        EXPECT_EQ(calls.back().selector, c.selector);
        EXPECT_EQ(calls.back().value, c.passed);
        EXPECT_DOUBLE_EQ(Get<double>(channel, c.property), c.readBack);
        // NaN has no integer: nothing is passed and the setting stays.
        Set<double>(channel, c.property, nan);
        EXPECT_EQ(CallsOn(Handle(channel)).size(), before + 1);
        EXPECT_DOUBLE_EQ(Get<double>(channel, c.property), c.readBack);
    }
}

TEST_F(SpeechPlugin, DefaultsReadInThePlatformsUnitsAndResetRestoresThem) {
    Obj channel = DefaultChannel();
    EXPECT_DOUBLE_EQ(Get<double>(channel, "Rate"), 175.0);
    EXPECT_DOUBLE_EQ(Get<double>(channel, "PitchBase"), 46.0);
    EXPECT_DOUBLE_EQ(Get<double>(channel, "PitchModulation"), 20.0);
    EXPECT_DOUBLE_EQ(Get<double>(channel, "Volume"), 65536.0);  // full volume, unscaled
    Set<double>(channel, "Rate", 300);
    Set<double>(channel, "Volume", 100);
    Do(channel, "Reset");
    EXPECT_EQ(CallsOn(Handle(channel)).back().selector, kSpeechResetSelector);
    EXPECT_DOUBLE_EQ(Get<double>(channel, "Rate"), 175.0);
    EXPECT_DOUBLE_EQ(Get<double>(channel, "Volume"), 65536.0);
}

TEST_F(SpeechPlugin, LiteralModesPassTheirCodesAndReadBackAsBooleans) {
    Obj channel = DefaultChannel();
    for (const auto& [property, selector] :
         {std::pair{"SpeakCharactersLiteral", kSpeechCharacterModeSelector},
          std::pair{"SpeakNumbersLiteral", kSpeechNumberModeSelector}}) {
        SCOPED_TRACE(property);
        EXPECT_FALSE(Get<bool>(channel, property));
        Set<bool>(channel, property, true);
        EXPECT_EQ(CallsOn(Handle(channel)).back().selector, selector);
        EXPECT_EQ(static_cast<OSType>(CallsOn(Handle(channel)).back().value), kSpeechModeLiteral);
        EXPECT_TRUE(Get<bool>(channel, property));
        Set<bool>(channel, property, false);
        EXPECT_EQ(static_cast<OSType>(CallsOn(Handle(channel)).back().value), kSpeechModeNormal);
        EXPECT_FALSE(Get<bool>(channel, property));
    }
}

// ---- the channel: its voice --------------------------------------------------------------

TEST_F(SpeechPlugin, VoiceOfAChannelWithoutPlatformChannelMakesOne) {
    Obj german = VoiceAt(speech, 2);
    Obj channel = New("SpeechChannelZRQ");
    ASSERT_TRUE(channel);
    EXPECT_EQ(Handle(channel), nullptr);
    SetVoice(channel, german);
    ASSERT_NE(Handle(channel), nullptr);
    EXPECT_EQ(german->refCount(), 2);
    EXPECT_EQ(Data<SpeechChannelData>(channel)->Voice, german->handle());
    ASSERT_TRUE(Speak(channel, "Hallo."));
    EXPECT_EQ(LastVoiceSpoken(), "de");

    // nil on a fresh channel: a platform channel of the default voice, and no voice held.
    Obj plain = New("SpeechChannelZRQ");
    SetVoice(plain, nullptr);
    ASSERT_NE(Handle(plain), nullptr);
    EXPECT_EQ(Data<SpeechChannelData>(plain)->Voice, nullptr);
    ASSERT_TRUE(Speak(plain, "Hello."));
    EXPECT_EQ(LastVoiceSpoken(), "en");
}

TEST_F(SpeechPlugin, VoiceOfASpeakingChannelSwitchesItsVoiceAndHoldsTheNewOne) {
    Obj english = VoiceAt(speech, 1), french = VoiceAt(speech, 3);
    Obj channel = ObjectOf(english, "NewChannel as SpeechChannelZRQ");
    SpeechChannel before = Handle(channel);

    SetVoice(channel, french);
    EXPECT_EQ(Handle(channel), before);
    EXPECT_EQ(CallsOn(before).back().selector, kSpeechCurrentVoiceSelector);
    EXPECT_EQ(CallsOn(before).back().value, 3);
    EXPECT_EQ(Data<SpeechChannelData>(channel)->Voice, french->handle());
    EXPECT_EQ(french->refCount(), 2);
    EXPECT_EQ(english->refCount(), 1);
    ASSERT_TRUE(Speak(channel, "Bonjour."));
    EXPECT_EQ(LastVoiceSpoken(), "fr");

    // The default voice asks the platform for its default.
    Obj byDefault = ObjectOf(speech, "DefaultVoice as VoiceZRQ");
    SetVoice(channel, byDefault);
    EXPECT_EQ(CallsOn(before).back().value, 1);
    EXPECT_EQ(Data<SpeechChannelData>(channel)->Voice, byDefault->handle());
    EXPECT_EQ(french->refCount(), 1);

    // Setting the voice already held keeps it alive.
    SetVoice(channel, byDefault);
    EXPECT_EQ(byDefault->refCount(), 2);

    // nil drops the voice; the platform channel keeps speaking with its own.
    const size_t calls = CallCount();
    SetVoice(channel, nullptr);
    EXPECT_EQ(Data<SpeechChannelData>(channel)->Voice, nullptr);
    EXPECT_EQ(byDefault->refCount(), 1);
    EXPECT_EQ(CallCount(), calls);
    EXPECT_EQ(Handle(channel), before);
}

// ---- the channel: closing ----------------------------------------------------------------

TEST_F(SpeechPlugin, CloseTwiceThenTheDestructorReleasesEverythingOnce) {
    Obj voice = VoiceAt(speech, 1);
    Obj channel = ObjectOf(voice, "NewChannel as SpeechChannelZRQ");
    ASSERT_TRUE(Speak(channel, "Closing soon."));
    SpeechChannel ch = Handle(channel);
    const int64_t liveStrings = rb::String::liveCount();
    Do(channel, "Close");
    Do(channel, "Close");
    EXPECT_EQ(rb::String::liveCount(), liveStrings - 1);
    EXPECT_EQ(voice->refCount(), 1);
    const SpeechChannelData* d = Data<SpeechChannelData>(channel);
    EXPECT_EQ(d->channelHandle, nullptr);
    EXPECT_EQ(d->Voice, nullptr);
    EXPECT_EQ(d->spokenText, nullptr);
    channel = nullptr;  // the host's destructor
    size_t disposed = 0;
    for (const Call& c : CallsOn(ch)) disposed += c.kind == Call::Dispose;
    EXPECT_EQ(disposed, 1u);
}

TEST_F(SpeechPlugin, AChannelWithoutPlatformChannelFailsWithoutCallingThePlatform) {
    Obj closed = DefaultChannel();
    Do(closed, "Close");
    Obj fresh = New("SpeechChannelZRQ");
    rb::FolderItem* noFile = nullptr;
    for (const Obj& channel : {closed, fresh}) {
        const size_t calls = CallCount();
        EXPECT_FALSE(Speak(channel, "Nobody hears this."));
        for (const char* decl : {"Stop as Boolean", "StopImmediate as Boolean",
                                 "StopEndOfWord as Boolean", "StopEndOfSentence as Boolean",
                                 "PauseImmediate as Boolean", "PauseEndOfWord as Boolean",
                                 "PauseEndOfSentence as Boolean", "ContinueSpeech as Boolean"})
            EXPECT_FALSE(Bool(channel, decl)) << decl;
        Do(channel, "Reset");
        EXPECT_FALSE(SetOutputFile(channel, noFile));
        for (const char* property : {"Rate", "PitchBase", "PitchModulation", "Volume"}) {
            Set<double>(channel, property, 100);
            EXPECT_EQ(Get<double>(channel, property), 0.0) << property;
        }
        for (const char* property : {"SpeakCharactersLiteral", "SpeakNumbersLiteral"}) {
            Set<bool>(channel, property, true);
            EXPECT_FALSE(Get<bool>(channel, property)) << property;
        }
        EXPECT_FALSE(Get<bool>(channel, "Playing"));
        EXPECT_FALSE(Get<bool>(channel, "Paused"));
        EXPECT_EQ(Get<int32_t>(channel, "TextBytesToSpeak"), 0);
        EXPECT_EQ(CallCount(), calls);
        EXPECT_EQ(Data<SpeechChannelData>(channel)->spokenText, nullptr);
    }
}

// ---- the channel: speech into a file -----------------------------------------------------

class SpeechPluginOutputFile : public SpeechPlugin {
  protected:
    bool SpeakInto(const Obj& channel, const std::filesystem::path& path) {
        auto item = rb::make<rb::FolderItem>(path);
        const bool set = SetOutputFile(channel, item.get());
        EXPECT_EQ(item->refCount(), 1);
        return set;
    }
    // Speaks and waits for the file to be complete.
    void SpeakAndFinish(const Obj& channel, const char* text) {
        ASSERT_TRUE(Speak(channel, text));
        ASSERT_TRUE(WaitFor([&] { return !Get<bool>(channel, "Playing"); }));
    }
};

TEST_F(SpeechPluginOutputFile, ANewFileIsNamedInItsFolderInDecomposedForm) {
    Obj channel = DefaultChannel();
    const std::filesystem::path asked = folder.path() / "caf\xC3\xA9.wav";
    ASSERT_TRUE(SpeakInto(channel, asked));
    EXPECT_EQ(CallsOn(Handle(channel)).back().selector, kSpeechOutputFileSelector);
    SpeakAndFinish(channel, "Into the file.");
    const std::filesystem::path decomposed = folder.path() / "cafe\xCC\x81.wav";
    EXPECT_GT(std::filesystem::file_size(decomposed), 44u);

    // An existing file is named by its own ref and replaced.
    const auto before = std::filesystem::file_size(decomposed);
    ASSERT_TRUE(SpeakInto(channel, decomposed));
    SpeakAndFinish(channel, "A longer text into the same file.");
    EXPECT_GT(std::filesystem::file_size(decomposed), before);

    // nil returns the channel to the audio output: later speech makes no file.
    ASSERT_TRUE(SetOutputFile(channel, nullptr));
    ASSERT_TRUE(Speak(channel, "Aloud."));
    ASSERT_TRUE(vellora::speech::testing::WaitUntilIdle());
    EXPECT_EQ(folder.count(), 2u);  // the voice file and the sound file
}

TEST_F(SpeechPluginOutputFile, APlaceThatCannotBeWrittenIsRefusedAndLeavesNothing) {
    Obj channel = DefaultChannel();
    std::ofstream(folder.path() / "plain") << "not a folder";
    std::filesystem::create_directory(folder.path() / "sub");
    const size_t files = folder.count();
    for (const std::filesystem::path& path : {
             folder.path() / "missing" / "out.wav",  // a folder that does not exist
             folder.path() / "plain" / "out.wav",    // a "folder" that is a file
             folder.path() / "sub",                  // an existing folder as the file
         }) {
        SCOPED_TRACE(path);
        const size_t calls = CallCount();
        EXPECT_FALSE(SpeakInto(channel, path));
        EXPECT_EQ(CallCount(), calls);
    }
    EXPECT_EQ(folder.count(), files);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path() / "sub"));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "missing"));
    // The channel still speaks aloud.
    ASSERT_TRUE(Speak(channel, "Aloud."));
    ASSERT_TRUE(vellora::speech::testing::WaitUntilIdle());
    EXPECT_EQ(folder.count(), files);
}

}  // namespace
