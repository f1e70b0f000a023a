// The layer's logic, driven by the recording synthesizer and a hand-pulled audio clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/speechsynthesis/Notify.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "platform/speechsynthesis/TextConverter.h"
#include "platform/speechsynthesis/doubles.h"
#include "support.h"
#include "tests/support/env.h"

namespace {

using namespace vellora::speech;
using namespace vellora::speech::testing;
using speechtest::Status;

constexpr Fixed F(double v) {
    return Fixed(v * 65536.0);
}

class SpeechLayer : public ::testing::Test {
  protected:
    void SetUp() override {
        engine = std::make_shared<RecordingEngine>();
        engine->SetFramesPerCharacter(100);
        clock = std::make_shared<ManualAudioClock>();
        InstallEngine(engine);
        InstallAudioSink(clock);
    }
    void TearDown() override {
        engine->SetHolding(false);
        for (SpeechChannel c : channels) DisposeSpeechChannel(c);
    }

    SpeechChannel Channel(const VoiceSpec* voice = nullptr) {
        SpeechChannel c = nullptr;
        EXPECT_EQ(NewSpeechChannel(voice, &c), noErr);
        channels.push_back(c);
        return c;
    }

    // Speaks and waits until the fake synthesizer has made all of it.
    void Speak(SpeechChannel c, const std::string& text) {
        ASSERT_EQ(SpeakText(c, text.data(), uint32_t(text.size())), noErr);
        ASSERT_TRUE(WaitUntilIdle());
    }

    static size_t Sounding(const std::vector<int16_t>& frames) {
        return size_t(std::count_if(frames.begin(), frames.end(), [](int16_t s) { return s; }));
    }

    // The locale the default voice is chosen by; a test may change these, and they come back.
    vellora_test::ScopedEnv lang{"LANG", "en_GB.UTF-8"};
    vellora_test::ScopedEnv lcAll{"LC_ALL", std::nullopt};
    vellora_test::ScopedEnv lcMessages{"LC_MESSAGES", std::nullopt};
    std::shared_ptr<RecordingEngine> engine;
    std::shared_ptr<ManualAudioClock> clock;
    std::vector<SpeechChannel> channels;
};

TEST(SpeechRecords, LayoutsMatchTheInterface) {
    EXPECT_EQ(offsetof(VoiceDescription, length), 0u);
    EXPECT_EQ(offsetof(VoiceDescription, voice), 4u);
    EXPECT_EQ(offsetof(VoiceDescription, version), 12u);
    EXPECT_EQ(offsetof(VoiceDescription, name), 16u);
    EXPECT_EQ(offsetof(VoiceDescription, comment), 80u);
    EXPECT_EQ(offsetof(VoiceDescription, gender), 336u);
    EXPECT_EQ(offsetof(VoiceDescription, age), 338u);
    EXPECT_EQ(offsetof(VoiceDescription, script), 340u);
    EXPECT_EQ(offsetof(VoiceDescription, language), 342u);
    EXPECT_EQ(offsetof(VoiceDescription, region), 344u);
    EXPECT_EQ(offsetof(VoiceFileInfo, resID), 70u);
    EXPECT_EQ(offsetof(SpeechStatusInfo, outputPaused), 1u);
    EXPECT_EQ(offsetof(SpeechStatusInfo, inputBytesLeft), 2u);
    EXPECT_EQ(kSpeechOutputFileSelector, 0x6F706166u);
    EXPECT_EQ(kSpeechModeLiteral, 0x4C54524Cu);
    uint32_t v = SpeechManagerVersion();
    EXPECT_EQ(v >> 24, 1u);             // major
    EXPECT_EQ((v >> 8) & 0xFF, 0x80u);  // final release
}

TEST(SpeechText, ConvertsBetweenMacRomanUtf8AndUtf16) {
    EXPECT_EQ(MacRomanToUtf8(std::string("caf\x8E\0x\xF0", 7)), "caf\xC3\xA9 x\xEF\xA3\xBF");
    EXPECT_EQ(MacRomanToUtf8("plain"), "plain");
    // Composed first; what Mac Roman cannot hold is '?'; cut at the byte limit.
    EXPECT_EQ(Utf8ToMacRoman("cafe\xCC\x81 \xE2\x82\xAC \xF0\x9F\x98\x80!", 100),
              "caf\x8E \xDB ?!");
    EXPECT_EQ(Utf8ToMacRoman("\xCE\xB1\xCE\xB2\xCE\xB3"
                             "abc",
                             4),
              "???a");
    EXPECT_EQ(Utf16ToUtf8(u"a\u00e9\U0001F600"), "a\xC3\xA9\xF0\x9F\x98\x80");
    const char16_t lone[] = {u'x', char16_t(0xD800), u'y', char16_t(0xDC00)};
    EXPECT_EQ(Utf16ToUtf8(std::u16string_view(lone, 4)), "x\xEF\xBF\xBDy\xEF\xBF\xBD");
}

TEST_F(SpeechLayer, EnumeratesTheEngineVoices) {
    int16_t n = 0;
    ASSERT_EQ(CountVoices(&n), noErr);
    ASSERT_EQ(n, 3);
    struct Expected {
        const char* name;  // Mac Roman
        int16_t gender, age, language;
    } expected[] = {{"English", 1, 0, 0},
                    {"Deutsch", 2, 30, 2},
                    {"Fran\x8D"
                     "ais",
                     0, 0, 1}};
    for (int16_t i = 1; i <= n; ++i) {
        VoiceSpec spec{};
        ASSERT_EQ(GetIndVoice(i, &spec), noErr);
        EXPECT_EQ(spec.creator, kSpeechVoiceCreator);
        VoiceDescription d{};
        ASSERT_EQ(GetVoiceDescription(&spec, &d, sizeof d), noErr);
        const Expected& e = expected[i - 1];
        EXPECT_EQ(d.length, 362);
        EXPECT_EQ(std::memcmp(&d.voice, &spec, sizeof spec), 0);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(d.name + 1), d.name[0]), e.name);
        EXPECT_EQ(d.gender, e.gender);
        EXPECT_EQ(d.age, e.age);
        EXPECT_EQ(d.language, e.language);
    }
    VoiceSpec spec{};
    EXPECT_EQ(GetIndVoice(0, &spec), kSpeechVoiceNotFoundErr);
    EXPECT_EQ(GetIndVoice(4, &spec), kSpeechVoiceNotFoundErr);
    VoiceSpec bogus{kSpeechVoiceCreator, 9};
    VoiceDescription d{};
    EXPECT_EQ(GetVoiceDescription(&bogus, &d, sizeof d), kSpeechVoiceNotFoundErr);
    // A short buffer gets the record's first bytes only.
    unsigned char small[20];
    std::memset(small, 0xEE, sizeof small);
    ASSERT_EQ(GetVoiceDescription(nullptr, reinterpret_cast<VoiceDescription*>(small), 16), noErr);
    EXPECT_EQ(small[16], 0xEE);
}

TEST_F(SpeechLayer, NamesAreTruncatedMacRoman) {
    std::string longName(100, 'x');
    InstallEngine(std::make_shared<RecordingEngine>(std::vector<VoiceEntry>{
        {longName, "a", std::string(300, 'l'), 0, 0, ""},
        {"\xCE\x95\xCE\xBB caf\x65\xCC\x81", "b", "el", 0, 0, ""},  // Greek, then a decomposed é
    }));
    VoiceDescription d{};
    VoiceSpec first{kSpeechVoiceCreator, 1}, second{kSpeechVoiceCreator, 2};
    ASSERT_EQ(GetVoiceDescription(&first, &d, sizeof d), noErr);
    EXPECT_EQ(d.name[0], 63);
    EXPECT_EQ(d.comment[0], 255);
    EXPECT_EQ(d.language, 32767);
    ASSERT_EQ(GetVoiceDescription(&second, &d, sizeof d), noErr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(d.name + 1), d.name[0]), "?? caf\x8E");
    EXPECT_EQ(d.language, 14);
}

TEST_F(SpeechLayer, DefaultVoiceFollowsTheLocale) {
    struct Case {
        const char *lcAll, *lcMessages, *lang, *voice;
    } cases[] = {
        {nullptr, nullptr, "de_DE.UTF-8", "Deutsch"},
        {"fr_FR.UTF-8", nullptr, "de_DE.UTF-8",
         "Fran\x8D"
         "ais"},
        {nullptr, "fr_CA", "de_DE",
         "Fran\x8D"
         "ais"},
        {nullptr, nullptr, "C", "English"},
        {nullptr, nullptr, "ja_JP.UTF-8", "English"},
        {"", nullptr, "de", "Deutsch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        auto set = [](const char* name, const char* value) {
            value ? setenv(name, value, 1) : unsetenv(name);
        };
        set("LC_ALL", c.lcAll);
        set("LC_MESSAGES", c.lcMessages);
        set("LANG", c.lang);
        VoiceDescription d{};
        ASSERT_EQ(GetVoiceDescription(nullptr, &d, sizeof d), noErr);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(d.name + 1), d.name[0]), c.voice);
        // A channel made without a voice speaks with that voice.
        SpeechChannel ch = Channel();
        VoiceSpec current{};
        ASSERT_EQ(GetSpeechInfo(ch, kSpeechCurrentVoiceSelector, &current), noErr);
        EXPECT_EQ(std::memcmp(&current, &d.voice, sizeof current), 0);
    }
}

// Without a language in the locale the engine's own default voice is taken by its
// identifier, wherever it stands in the list; an engine without it gets its best English one.
TEST_F(SpeechLayer, WithoutALanguageTheDefaultIsTheEnginesOwnVoiceByItsKey) {
    const std::vector<VoiceEntry> withIt = {
        {"English (Caribbean)", "gmw/en-029", "en-029, en", 1, 0, ""},
        {"English (America)", "gmw/en-US", "en-us, en", 1, 0, ""},
        {"English (Great Britain)", "gmw/en", "en-gb, en", 1, 0, ""},
    };
    const std::vector<VoiceEntry> withoutIt = {
        {"Deutsch", "gmw/de", "de", 2, 0, ""},
        {"English (Scotland)", "gmw/en-GB-scotland", "en-gb-scotland, en", 1, 0, "", {5, 4}},
        {"English (America)", "gmw/en-US", "en-us, en", 1, 0, "", {2, 3}},
    };
    struct Case {
        const std::vector<VoiceEntry>* voices;
        const char *lang, *voice;
    } cases[] = {
        {&withIt, "C.UTF-8", "English (Great Britain)"},
        {&withIt, "POSIX", "English (Great Britain)"},
        {&withIt, "", "English (Great Britain)"},
        {&withIt, "en_IN", "English (Great Britain)"},
        {&withIt, "en_US.UTF-8", "English (America)"},
        {&withIt, "de_DE.UTF-8", "English (Great Britain)"},  // no German voice
        {&withoutIt, "C", "English (America)"},               // the better-ranked English
        {&withoutIt, "de_AT", "Deutsch"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lang);
        InstallEngine(std::make_shared<RecordingEngine>(*c.voices));
        setenv("LANG", c.lang, 1);
        VoiceDescription d{};
        ASSERT_EQ(GetVoiceDescription(nullptr, &d, sizeof d), noErr);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(d.name + 1), d.name[0]), c.voice);
    }
}

TEST_F(SpeechLayer, VoiceFileInfoNamesTheVoiceFile) {
    speechtest::TempFolder folder;
    std::string path = (folder.path() / "en").string();
    std::ofstream(path) << "name english\n";
    InstallEngine(std::make_shared<RecordingEngine>(
        std::vector<VoiceEntry>{{"English", "en", "en", 1, 0, path}, {"None", "x", "", 0, 0, ""}}));
    VoiceFileInfo info{};
    info.resID = 7;
    ASSERT_EQ(GetVoiceInfo(nullptr, kVoiceFileSelector, &info), noErr);
    char back[512];
    ASSERT_EQ(FSSpecGetPath(&info.fileSpec, back, sizeof back), noErr);
    EXPECT_EQ(std::string(back), path);
    EXPECT_EQ(info.resID, 0);
    VoiceSpec none{kSpeechVoiceCreator, 2};
    EXPECT_NE(GetVoiceInfo(&none, kVoiceFileSelector, &info), noErr);
    EXPECT_EQ(GetVoiceInfo(nullptr, VELLORA_FOURCC('x', 'x', 'x', 'x'), &info),
              kSpeechUnknownSelectorErr);
    EXPECT_EQ(GetVoiceInfo(nullptr, kVoiceFileSelector, nullptr), paramErr);
}

TEST_F(SpeechLayer, SettingsReadBackAsSetAndReachTheEngineMapped) {
    SpeechChannel c = Channel();
    struct Case {
        Fixed rate, pitch, modulation, volume;
        int engineRate, enginePitch, engineRange, engineVolume;
    } cases[] = {
        {F(175), F(46), F(20), F(1), 175, 50, 50, 100},  // the defaults
        {F(150.5), F(36), F(0), F(0.5), 151, 25, 0, 50},
        {F(50), F(10), F(100), 0, 80, 0, 100, 0},  // clamped for the engine
        {F(600), F(90), F(1.99999), F(3), 450, 100, 5, 100},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.engineRate);
        ASSERT_EQ(SetSpeechRate(c, k.rate), noErr);
        ASSERT_EQ(SetSpeechPitch(c, k.pitch), noErr);
        ASSERT_EQ(SetSpeechInfo(c, kSpeechPitchModSelector, &k.modulation), noErr);
        ASSERT_EQ(SetSpeechInfo(c, kSpeechVolumeSelector, &k.volume), noErr);
        Fixed rate = 0, pitch = 0, modulation = 0, volume = 0;
        ASSERT_EQ(GetSpeechRate(c, &rate), noErr);
        ASSERT_EQ(GetSpeechPitch(c, &pitch), noErr);
        ASSERT_EQ(GetSpeechInfo(c, kSpeechPitchModSelector, &modulation), noErr);
        ASSERT_EQ(GetSpeechInfo(c, kSpeechVolumeSelector, &volume), noErr);
        EXPECT_EQ(rate, k.rate);
        EXPECT_EQ(pitch, k.pitch);
        EXPECT_EQ(modulation, k.modulation);
        EXPECT_EQ(volume, k.volume);
        Speak(c, "x");
        SynthRequest r = engine->Requests().back();
        EXPECT_EQ(r.rate, k.engineRate);
        EXPECT_EQ(r.pitch, k.enginePitch);
        EXPECT_EQ(r.range, k.engineRange);
        EXPECT_EQ(r.volume, k.engineVolume);
    }
    // Out of range: refused, the setting kept.
    Fixed negative = -1;
    EXPECT_EQ(SetSpeechRate(c, 0), paramErr);
    EXPECT_EQ(SetSpeechPitch(c, -F(1)), paramErr);
    EXPECT_EQ(SetSpeechInfo(c, kSpeechVolumeSelector, &negative), paramErr);
    EXPECT_EQ(SetSpeechInfo(c, kSpeechPitchModSelector, &negative), paramErr);
    Fixed rate = 0;
    GetSpeechRate(c, &rate);
    EXPECT_EQ(rate, F(600));
    EXPECT_EQ(SetSpeechInfo(c, kSpeechResetSelector, nullptr), noErr);
    GetSpeechRate(c, &rate);
    EXPECT_EQ(rate, F(175));
}

TEST_F(SpeechLayer, TextModesAndVoiceChangeReachTheEngine) {
    SpeechChannel c = Channel();
    OSType literal = kSpeechModeLiteral, normal = kSpeechModeNormal, other = 0x41424344;
    EXPECT_EQ(SetSpeechInfo(c, kSpeechCharacterModeSelector, &other), paramErr);
    ASSERT_EQ(SetSpeechInfo(c, kSpeechCharacterModeSelector, &literal), noErr);
    ASSERT_EQ(SetSpeechInfo(c, kSpeechNumberModeSelector, &literal), noErr);
    VoiceSpec german{kSpeechVoiceCreator, 2};
    ASSERT_EQ(SetSpeechInfo(c, kSpeechCurrentVoiceSelector, &german), noErr);
    Speak(c, "42");
    SynthRequest r = engine->Requests().back();
    EXPECT_TRUE(r.spellCharacters);
    EXPECT_TRUE(r.speakDigits);
    EXPECT_EQ(r.voice, "de");
    OSType mode = 0;
    ASSERT_EQ(GetSpeechInfo(c, kSpeechCharacterModeSelector, &mode), noErr);
    EXPECT_EQ(mode, literal);
    ASSERT_EQ(SetSpeechInfo(c, kSpeechNumberModeSelector, &normal), noErr);
    ASSERT_EQ(GetSpeechInfo(c, kSpeechNumberModeSelector, &mode), noErr);
    EXPECT_EQ(mode, normal);
    VoiceSpec unknown{kSpeechVoiceCreator, 99};
    EXPECT_EQ(SetSpeechInfo(c, kSpeechCurrentVoiceSelector, &unknown), kSpeechVoiceNotFoundErr);
    ASSERT_EQ(SetSpeechInfo(c, kSpeechCurrentVoiceSelector, nullptr), noErr);  // the default
    Speak(c, "y");
    EXPECT_EQ(engine->Requests().back().voice, "en");
}

TEST_F(SpeechLayer, SpeaksMacRomanTextAndPlaysItOut) {
    SpeechChannel c = Channel();
    std::string text = "caf\x8E au lait";  // 12 bytes
    Speak(c, text);
    ASSERT_EQ(engine->Requests().size(), 1u);
    EXPECT_EQ(engine->Requests()[0].text, "caf\xC3\xA9 au lait");
    auto calls = engine->Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().kind, Engine::ChannelCall::Speak);
    EXPECT_EQ(calls.back().text, text);

    EXPECT_TRUE(Status(c).outputBusy);
    EXPECT_EQ(int32_t{Status(c).inputBytesLeft}, 12);
    EXPECT_EQ(SpeechBusy(), 1);
    EXPECT_EQ(SpeechBusySystemWide(), 1);
    auto frames = clock->Pull(550);  // into the second word ("au" starts at frame 500)
    EXPECT_EQ(frames[0], 1);
    EXPECT_EQ(frames[549], 550);
    EXPECT_EQ(int32_t{Status(c).inputBytesLeft}, 12 - 5);
    frames = clock->Pull(2000);
    EXPECT_EQ(Sounding(frames), 1200u - 550u);
    EXPECT_FALSE(Status(c).outputBusy);
    EXPECT_EQ(int32_t{Status(c).inputBytesLeft}, 0);
    EXPECT_EQ(SpeechBusy(), 0);
    EXPECT_EQ(FramesMixed(c), 1200u);
}

TEST_F(SpeechLayer, SpeaksUnicodeStringsWithoutSplittingCharacters) {
    SpeechChannel c = Channel();
    auto speak = [&](const std::u16string& text) {
        CFStringRef s = CFStringCreateWithCharacters(
            nullptr, reinterpret_cast<const UniChar*>(text.data()), CFIndex(text.size()));
        EXPECT_EQ(SpeakCFString(c, s, nullptr), noErr);
        CFRelease(s);
        EXPECT_TRUE(WaitUntilIdle());
    };
    speak(u"\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1 \U0001F600");
    ASSERT_EQ(engine->Requests().size(), 1u);
    EXPECT_EQ(engine->Requests()[0].text,
              "\xCE\x9A\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1 "
              "\xF0\x9F\x98\x80");
    // The bytes left count UTF-8 bytes: the second word starts at byte 17 of 21.
    clock->Pull(950);
    EXPECT_EQ(int32_t(Status(c).inputBytesLeft), 4);
    clock->Pull(2000);
    EXPECT_EQ(SpeakCFString(c, nullptr, nullptr), paramErr);
    EXPECT_EQ(SpeakText(c, "", 0), noErr);

    // A long run with no blank is cut between characters, never inside one.
    engine->SetFramesPerCharacter(1);
    speak(u"a" + std::u16string(300, u'\u00e9'));  // the 400th byte falls inside a character
    for (int i = 0; i < 50 && Status(c).outputBusy; ++i) {
        clock->Pull(4096);
        ASSERT_TRUE(WaitUntilIdle());
    }
    std::string joined;
    const auto requests = engine->Requests();
    for (size_t i = 1; i < requests.size(); ++i) {
        const std::string& t = requests[i].text;
        ASSERT_FALSE(t.empty());
        EXPECT_NE(static_cast<unsigned char>(t[0]) & 0xC0, 0x80) << "request " << i;
        joined += t;
    }
    EXPECT_EQ(joined.size(), 601u);
    EXPECT_GT(requests.size(), 2u);
}

TEST_F(SpeechLayer, PunctuationAloneIsSilentUnlessSpelled) {
    struct Case {
        std::string text;  // Mac Roman
        bool literal;
        bool spoken;
    } cases[] = {
        {"! ", false, false},      {": ", false, false},
        {"...\n\t", false, false}, {"\xC7\xC8 \xD2\xD3", false, false},  // quotes
        {"! ", true, true},        {",", true, true},
        {"word! ", false, true},   {"4", false, true},
        {"$", false, true},        {"a.", false, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.text + (k.literal ? " literal" : " normal"));
        SpeechChannel c = Channel();
        OSType mode = k.literal ? kSpeechModeLiteral : kSpeechModeNormal;
        ASSERT_EQ(SetSpeechInfo(c, kSpeechCharacterModeSelector, &mode), noErr);
        size_t before = engine->Requests().size();
        Speak(c, k.text);
        EXPECT_EQ(engine->Requests().size() > before, k.spoken);
        EXPECT_EQ(Status(c).outputBusy, k.spoken);
        clock->Pull(4096);
    }
}

TEST_F(SpeechLayer, TheEndOfSpeechIsReportedOnceEachTime) {
    SpeechChannel c = Channel();
    std::atomic<int> ends{0};
    EXPECT_FALSE(vellora::speech::SetSpeechDoneHandler(nullptr, [] {}));
    ASSERT_TRUE(vellora::speech::SetSpeechDoneHandler(c, [&] { ++ends; }));
    auto endsBecome = [&](int n) {
        return speechtest::WaitFor([&] { return ends.load() >= n; }, std::chrono::seconds(2)) &&
               ends.load() == n;
    };
    Speak(c, "played out");
    clock->Pull(4096);
    EXPECT_TRUE(endsBecome(1));
    Speak(c, "stopped at once");
    ASSERT_EQ(StopSpeech(c), noErr);
    EXPECT_TRUE(endsBecome(2));
    Speak(c, "! ");  // says nothing: over at once
    EXPECT_TRUE(endsBecome(3));
    Speak(c, "replaced");
    Speak(c, "by this");  // the replaced speech is not reported apart
    clock->Pull(4096);
    EXPECT_TRUE(endsBecome(4));
}

TEST_F(SpeechLayer, PauseAtOnceAndContinueWhereItLeftOff) {
    SpeechChannel c = Channel();
    Speak(c, "one two three");
    clock->Pull(256);
    ASSERT_EQ(PauseSpeechAt(c, kSpeechImmediate), noErr);
    EXPECT_EQ(Sounding(clock->Pull(512)), 0u);
    SpeechStatusInfo s = Status(c);
    EXPECT_TRUE(s.outputBusy);
    EXPECT_TRUE(s.outputPaused);
    EXPECT_EQ(int32_t{s.inputBytesLeft}, 13);  // still in the first word
    EXPECT_EQ(SpeechBusy(), 1);                // a paused channel is busy
    ASSERT_EQ(ContinueSpeech(c), noErr);
    EXPECT_FALSE(Status(c).outputPaused);
    auto frames = clock->Pull(10);
    EXPECT_EQ(frames[0], 257);
    EXPECT_EQ(ContinueSpeech(c), noErr);  // not paused: nothing to do
}

// "alpha beta. gamma delta." at 100 frames a byte: words start at frames 0, 600, 1200,
// 1800; sentences at 0 and 1200.
TEST_F(SpeechLayer, PauseAndStopAtWordAndSentenceEnds) {
    struct Case {
        const char* name;
        bool stop;
        int32_t where;
        size_t pulledFirst;
        size_t soundingAfter;  // frames still heard after the call
        bool busy, paused;
        int32_t bytesLeft;
    } cases[] = {
        {"pause end of word", false, kSpeechEndOfWord, 100, 500, true, true, 18},
        {"pause end of sentence", false, kSpeechEndOfSentence, 100, 1100, true, true, 12},
        {"stop end of word", true, kSpeechEndOfWord, 700, 500, false, false, 0},
        {"stop end of sentence", true, kSpeechEndOfSentence, 1300, 1100, false, false, 0},
        {"pause before the first word", false, kSpeechEndOfWord, 0, 600, true, true, 18},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SpeechChannel c = Channel();
        Speak(c, "alpha beta. gamma delta.");
        if (k.pulledFirst) clock->Pull(k.pulledFirst);
        ASSERT_EQ(k.stop ? StopSpeechAt(c, k.where) : PauseSpeechAt(c, k.where), noErr);
        EXPECT_TRUE(Status(c).outputBusy);  // until the mark is reached
        EXPECT_EQ(Sounding(clock->Pull(3000)), k.soundingAfter);
        SpeechStatusInfo s = Status(c);
        EXPECT_EQ(bool(s.outputBusy), k.busy);
        EXPECT_EQ(bool(s.outputPaused), k.paused);
        EXPECT_EQ(int32_t{s.inputBytesLeft}, k.bytesLeft);
        if (k.paused) {
            ASSERT_EQ(ContinueSpeech(c), noErr);
            auto frames = clock->Pull(1);
            EXPECT_EQ(size_t(frames[0]), k.pulledFirst + k.soundingAfter + 1);
        }
        DisposeSpeechChannel(c);
    }
}

TEST_F(SpeechLayer, StopAtOnceSilencesAndEndsTheSpeech) {
    SpeechChannel c = Channel();
    Speak(c, "one two three");
    clock->Pull(300);
    ASSERT_EQ(StopSpeech(c), noErr);
    EXPECT_EQ(Sounding(clock->Pull(2000)), 0u);
    EXPECT_FALSE(Status(c).outputBusy);
    EXPECT_EQ(FramesMixed(c), 300u);
    // A stop while paused, at a word end, acts at once too.
    Speak(c, "one two three");
    ASSERT_EQ(PauseSpeechAt(c, kSpeechImmediate), noErr);
    ASSERT_EQ(StopSpeechAt(c, kSpeechEndOfWord), noErr);
    EXPECT_FALSE(Status(c).outputBusy);
    EXPECT_EQ(StopSpeech(c), noErr);  // nothing to stop
    auto calls = engine->Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[calls.size() - 2].kind, Engine::ChannelCall::Stop);
    EXPECT_EQ(calls[calls.size() - 2].where, kSpeechEndOfWord);
}

// Speech cut off had filled the channel's ring far ahead; the output, at rest since the stop,
// has not pulled past what was dropped. The next speech is heard in the output's first pull
// all the same, not after a pull of silence.
TEST_F(SpeechLayer, SpeechAfterAStopIsHeardInTheFirstPull) {
    engine->SetFramesPerCharacter(2000);
    SpeechChannel c = Channel();
    Speak(c, std::string(300, 'a'));
    clock->Pull(300);
    ASSERT_TRUE(WaitUntilIdle());
    ASSERT_EQ(StopSpeech(c), noErr);
    Speak(c, "next");
    auto frames = clock->Pull(100);
    EXPECT_EQ(frames[0], 1);
    EXPECT_EQ(Sounding(frames), 100u);
}

TEST_F(SpeechLayer, ChannelsSoundTogetherAndPauseApart) {
    SpeechChannel a = Channel(), b = Channel();
    Speak(a, "aaaa");
    Speak(b, "bbbbbbbb");
    auto frames = clock->Pull(100);
    EXPECT_EQ(frames[99], 200);  // both ramps summed
    EXPECT_EQ(SpeechBusy(), 2);
    ASSERT_EQ(PauseSpeechAt(a, kSpeechImmediate), noErr);
    frames = clock->Pull(100);
    EXPECT_EQ(frames[0], 101);  // b alone
    EXPECT_EQ(FramesMixed(a), 100u);
    EXPECT_EQ(FramesMixed(b), 200u);
}

TEST_F(SpeechLayer, SpeakingAgainReplacesTheSpeech) {
    SpeechChannel c = Channel();
    Speak(c, "first text here");
    clock->Pull(300);
    Speak(c, "second");
    auto frames = clock->Pull(1000);
    EXPECT_EQ(frames[0], 1);  // the new speech from its start
    EXPECT_EQ(Sounding(frames), 600u);
    EXPECT_EQ(engine->Requests().back().text, "second");
    // Empty text just ends the speech.
    Speak(c, "third");
    ASSERT_EQ(SpeakText(c, "", 0), noErr);
    EXPECT_FALSE(Status(c).outputBusy);
}

TEST_F(SpeechLayer, LongTextIsMadeInStretchesAsItPlays) {
    engine->SetFramesPerCharacter(20);
    std::string text;
    for (int i = 0; text.size() < 5000; ++i) text += "Sentence number " + std::to_string(i) + ". ";
    SpeechChannel c = Channel();
    Speak(c, text);
    // 5000 bytes make 100000 frames; the worker keeps only about two seconds ahead.
    size_t first = engine->Requests().size();
    EXPECT_LT(first, 10u);
    size_t heard = 0;
    for (int i = 0; i < 200 && Status(c).outputBusy; ++i) {
        heard += Sounding(clock->Pull(4096));
        ASSERT_TRUE(WaitUntilIdle());
    }
    EXPECT_FALSE(Status(c).outputBusy);
    EXPECT_EQ(heard, text.size() * 20);
    std::string joined;
    for (const auto& r : engine->Requests()) {
        EXPECT_LE(r.text.size(), 400u);
        joined += r.text;
    }
    EXPECT_EQ(joined, text);
    EXPECT_GT(engine->Requests().size(), first);
}

// Fifty megabytes read to the end: only a few stretches are made ahead of what plays, however
// long the text, and speaking it starts at once.
TEST_F(SpeechLayer, AHugeTextIsMadeOnlyAFewStretchesAhead) {
    engine->SetFramesPerCharacter(20);
    std::string text;
    text.reserve(50u << 20);
    while (text.size() < (50u << 20)) text += "Many words in a huge text. ";
    SpeechChannel c = Channel();
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(SpeakText(c, text.data(), uint32_t(text.size())), noErr);
    ASSERT_TRUE(WaitUntilIdle());
    size_t made = engine->Requests().size();
    EXPECT_LT(made, 10u);
    size_t heard = 0;
    for (int i = 0; i < 40; ++i) {
        heard += Sounding(clock->Pull(4096));
        ASSERT_TRUE(WaitUntilIdle());
    }
    EXPECT_EQ(heard, 40u * 4096u);
    // What was made stays within two seconds and a stretch of what was heard.
    size_t bytesMade = 0;
    for (const auto& r : engine->Requests()) bytesMade += r.text.size();
    EXPECT_LE(bytesMade * 20, heard + 44100 + 400 * 20);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
    ASSERT_EQ(StopSpeech(c), noErr);
    EXPECT_FALSE(Status(c).outputBusy);
}

TEST_F(SpeechLayer, DisposeWhileSpeakingOrSynthesizing) {
    SpeechChannel c = Channel();
    Speak(c, "some words to say");
    clock->Pull(100);
    ASSERT_EQ(DisposeSpeechChannel(c), noErr);
    EXPECT_EQ(Sounding(clock->Pull(2000)), 0u);
    EXPECT_EQ(DisposeSpeechChannel(c), kSpeechBadChannelErr);

    engine->SetHolding(true);
    SpeechChannel d = Channel();
    ASSERT_EQ(SpeakText(d, "held in the middle", 18), noErr);
    ASSERT_TRUE(engine->WaitUntilHeld(std::chrono::seconds(5)));
    ASSERT_EQ(DisposeSpeechChannel(d), noErr);
    EXPECT_TRUE(WaitUntilIdle());
    EXPECT_EQ(SpeechBusy(), 0);
    channels.clear();
}

TEST_F(SpeechLayer, EngineFailureEndsTheSpeech) {
    engine->SetFailing(true);
    SpeechChannel c = Channel();
    Speak(c, "cannot");
    clock->Pull(10);
    EXPECT_FALSE(Status(c).outputBusy);
}

TEST_F(SpeechLayer, BadArgumentsAreRefused) {
    SpeechChannel live = Channel();
    SpeechChannel gone = nullptr;
    ASSERT_EQ(NewSpeechChannel(nullptr, &gone), noErr);
    ASSERT_EQ(DisposeSpeechChannel(gone), noErr);
    SpeechChannel bogus = reinterpret_cast<SpeechChannel>(uintptr_t(0x1234));
    Fixed f = 0;
    SpeechStatusInfo status{};
    for (SpeechChannel c : {SpeechChannel(nullptr), gone, bogus}) {
        EXPECT_EQ(SpeakText(c, "x", 1), kSpeechBadChannelErr);
        EXPECT_EQ(StopSpeech(c), kSpeechBadChannelErr);
        EXPECT_EQ(StopSpeechAt(c, 1), kSpeechBadChannelErr);
        EXPECT_EQ(PauseSpeechAt(c, 0), kSpeechBadChannelErr);
        EXPECT_EQ(ContinueSpeech(c), kSpeechBadChannelErr);
        EXPECT_EQ(GetSpeechRate(c, &f), kSpeechBadChannelErr);
        EXPECT_EQ(SetSpeechRate(c, F(100)), kSpeechBadChannelErr);
        EXPECT_EQ(GetSpeechPitch(c, &f), kSpeechBadChannelErr);
        EXPECT_EQ(SetSpeechPitch(c, F(40)), kSpeechBadChannelErr);
        EXPECT_EQ(GetSpeechInfo(c, kSpeechStatusSelector, &status), kSpeechBadChannelErr);
        EXPECT_EQ(SetSpeechInfo(c, kSpeechResetSelector, nullptr), kSpeechBadChannelErr);
        EXPECT_EQ(DisposeSpeechChannel(c), kSpeechBadChannelErr);
    }
    EXPECT_EQ(NewSpeechChannel(nullptr, nullptr), paramErr);
    VoiceSpec foreign{VELLORA_FOURCC('a', 'b', 'c', 'd'), 1};
    SpeechChannel none = nullptr;
    EXPECT_EQ(NewSpeechChannel(&foreign, &none), kSpeechVoiceNotFoundErr);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(CountVoices(nullptr), paramErr);
    EXPECT_EQ(GetIndVoice(1, nullptr), paramErr);
    EXPECT_EQ(GetVoiceDescription(nullptr, nullptr, 362), paramErr);
    VoiceDescription d;
    EXPECT_EQ(GetVoiceDescription(nullptr, &d, 0), paramErr);
    EXPECT_EQ(SpeakText(live, nullptr, 4), paramErr);
    EXPECT_EQ(GetSpeechRate(live, nullptr), paramErr);
    EXPECT_EQ(GetSpeechPitch(live, nullptr), paramErr);
    EXPECT_EQ(GetSpeechInfo(live, kSpeechStatusSelector, nullptr), paramErr);
    EXPECT_EQ(SetSpeechInfo(live, kSpeechVolumeSelector, nullptr), paramErr);
    EXPECT_EQ(SetSpeechInfo(live, kSpeechCharacterModeSelector, nullptr), paramErr);
    EXPECT_EQ(StopSpeechAt(live, 3), paramErr);
    EXPECT_EQ(PauseSpeechAt(live, -1), paramErr);
    OSType word = 0;
    EXPECT_EQ(GetSpeechInfo(live, VELLORA_FOURCC('z', 'z', 'z', 'z'), &word),
              kSpeechUnknownSelectorErr);
    EXPECT_EQ(SetSpeechInfo(live, VELLORA_FOURCC('z', 'z', 'z', 'z'), &word),
              kSpeechUnknownSelectorErr);
    EXPECT_EQ(SetSpeechInfo(live, kSpeechStatusSelector, &status), kSpeechUnknownSelectorErr);
    EXPECT_EQ(GetSpeechInfo(live, kSpeechOutputFileSelector, &word), kSpeechUnknownSelectorErr);
}

class SpeechToFile : public SpeechLayer {
  protected:
    void SetOutput(SpeechChannel c, const std::string& name, OSErr expected = noErr) {
        CFURLRef url = speechtest::FileUrl(folder.path(), name);
        ASSERT_NE(url, nullptr);
        EXPECT_EQ(SetSpeechInfo(c, kSpeechOutputFileSelector, url), expected);
        CFRelease(url);
    }
    bool WaitNotBusy(SpeechChannel c) {
        return speechtest::WaitFor([&] { return !Status(c).outputBusy; });
    }
    speechtest::TempFolder folder;
};

TEST_F(SpeechToFile, WritesTheWholeSpeechUnderItsName) {
    SpeechChannel c = Channel();
    SetOutput(c, "out.aiff");
    std::string text = "to a file";
    ASSERT_EQ(SpeakText(c, text.data(), uint32_t(text.size())), noErr);
    ASSERT_TRUE(WaitNotBusy(c));
    EXPECT_EQ(folder.files(), std::vector<std::string>{"out.aiff"});
    auto sound = speechtest::ReadSound((folder.path() / "out.aiff").string());
    EXPECT_EQ(sound.rate, 22050);
    EXPECT_EQ(sound.format, 0x020000);  // AIFF
    ASSERT_EQ(sound.samples.size(), text.size() * 100);
    EXPECT_EQ(sound.samples[899], 900);
    EXPECT_EQ(Sounding(clock->Pull(1000)), 0u);  // nothing went to the audio output

    // Back to the audio output.
    ASSERT_EQ(SetSpeechInfo(c, kSpeechOutputFileSelector, nullptr), noErr);
    Speak(c, "aloud");
    EXPECT_EQ(Sounding(clock->Pull(1000)), 500u);
}

TEST_F(SpeechToFile, StopOrDisposeWhileWritingLeavesACompleteFile) {
    for (bool dispose : {false, true}) {
        SCOPED_TRACE(dispose ? "dispose" : "stop");
        engine->SetHolding(true);
        SpeechChannel c = Channel();
        SetOutput(c, "cut.wav");
        ASSERT_EQ(SpeakText(c, "cut short", 9), noErr);
        ASSERT_TRUE(engine->WaitUntilHeld(std::chrono::seconds(5)));
        if (dispose) {
            ASSERT_EQ(DisposeSpeechChannel(c), noErr);
            ASSERT_TRUE(WaitUntilIdle());
        } else {
            ASSERT_EQ(StopSpeech(c), noErr);
            ASSERT_TRUE(WaitNotBusy(c));
        }
        engine->SetHolding(false);
        EXPECT_EQ(folder.files(), std::vector<std::string>{"cut.wav"});
        auto sound = speechtest::ReadSound((folder.path() / "cut.wav").string());
        EXPECT_EQ(sound.format, 0x010000);      // WAV
        EXPECT_EQ(sound.samples.size(), 256u);  // the one block made before the hold
    }
}

TEST_F(SpeechToFile, FailuresLeaveNothingBehind) {
    SpeechChannel c = Channel();
    engine->SetFailing(true);
    SetOutput(c, "failed.wav");
    ASSERT_EQ(SpeakText(c, "nothing", 7), noErr);
    ASSERT_TRUE(WaitNotBusy(c));
    EXPECT_TRUE(folder.files().empty());

    // A folder that is gone: refused at once, and nothing is made.
    std::string sub = (folder.path() / "sub").string();
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    CFURLRef url = speechtest::FileUrl(sub, "x.wav");
    ASSERT_EQ(rmdir(sub.c_str()), 0);
    EXPECT_EQ(SetSpeechInfo(c, kSpeechOutputFileSelector, url), dirNFErr);
    CFRelease(url);
    // A folder given as the file.
    EXPECT_EQ(mkdir(sub.c_str(), 0700), 0);
    SetOutput(c, "sub", kSpeechOutputFileErr);
    EXPECT_EQ(folder.files(), std::vector<std::string>{"sub"});
}

}  // namespace

// A sound device that goes away and comes back, behind the audio-output seam.
class SpeechDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        engine = std::make_shared<RecordingEngine>();
        engine->SetFramesPerCharacter(200);
        device = std::make_shared<FakeAudioDevice>();
        InstallEngine(engine);
    }
    void TearDown() override { InstallAudioSink(std::make_shared<ManualAudioClock>()); }

    std::shared_ptr<RecordingEngine> engine;
    std::shared_ptr<FakeAudioDevice> device;
};

// No device at start: channels are made, speech to the device fails at once and keeps
// nothing (a text typed meanwhile is not heard late), speech to a file goes on, and the device
// is tried again, less often each time, until it comes; then the same channel speaks.
TEST_F(SpeechDevice, NoDeviceAtStartIsTriedUntilItComesAndThenTheChannelSpeaks) {
    device->SetPresent(false);
    InstallAudioSink(device);
    EXPECT_FALSE(SpeechAvailable());
    SpeechChannel c = nullptr;
    ASSERT_EQ(NewSpeechChannel(nullptr, &c), noErr);
    int16_t voices = 0;
    EXPECT_EQ(CountVoices(&voices), noErr);  // the synthesizer itself is there
    const std::string text = "Typed before the device came.";
    std::atomic<int> done{0};
    ASSERT_TRUE(SetSpeechDoneHandler(c, [&] { ++done; }));
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(SpeakText(c, text.data(), uint32_t(text.size())), kSpeechNoAudioErr);
    EXPECT_FALSE(Status(c).outputBusy);

    speechtest::TempFolder folder;
    CFURLRef url = speechtest::FileUrl(folder.path(), "out.wav");
    ASSERT_EQ(SetSpeechInfo(c, kSpeechOutputFileSelector, url), noErr);
    CFRelease(url);
    ASSERT_EQ(SpeakText(c, text.data(), uint32_t(text.size())), noErr);
    ASSERT_TRUE(speechtest::WaitFor([&] { return !Status(c).outputBusy; }));
    EXPECT_EQ(speechtest::ReadSound((folder.path() / "out.wav").string()).samples.size(),
              text.size() * 200);
    ASSERT_EQ(SetSpeechInfo(c, kSpeechOutputFileSelector, nullptr), noErr);

    // Tried again with the lost device's backoff: a few times in the first second, not more.
    auto t0 = std::chrono::steady_clock::now();
    int attempts = device->Attempts();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    int tries = device->Attempts() - attempts;
    EXPECT_GE(tries, 2);
    EXPECT_LE(tries, 6) << "over " << (std::chrono::steady_clock::now() - t0).count() << " ns";

    device->SetPresent(true);
    ASSERT_TRUE(speechtest::WaitFor([&] { return SpeechAvailable(); }, std::chrono::seconds(5)));
    EXPECT_EQ(device->Opens(), 1);
    ASSERT_EQ(SpeakText(c, text.data(), uint32_t(text.size())), noErr);
    ASSERT_TRUE(speechtest::WaitFor([&] { return FramesMixed(c) >= text.size() * 200; }));
    ASSERT_TRUE(speechtest::WaitFor([&] { return done == 2; }));  // the file's, then this one
    EXPECT_EQ(DisposeSpeechChannel(c), noErr);
}

TEST_F(SpeechDevice, SpeechGoesOnWhenTheDeviceComesBack) {
    InstallAudioSink(device);
    SpeechChannel c = nullptr;
    ASSERT_EQ(NewSpeechChannel(nullptr, &c), noErr);
    std::string text;
    for (int i = 0; i < 40; ++i) text += "word" + std::to_string(i) + " ";
    ASSERT_EQ(SpeakText(c, text.data(), uint32_t(text.size())), noErr);
    ASSERT_TRUE(speechtest::WaitFor([&] { return FramesMixed(c) > 2000; }));

    // Unplugged: the layer finds it gone and tries to open it again, and again; nothing plays
    // meanwhile, and the speech waits where it was.
    int attempts = device->Attempts();
    device->SetPresent(false);
    ASSERT_TRUE(speechtest::WaitFor([&] { return device->Attempts() > attempts; },
                                    std::chrono::seconds(5)));
    uint64_t gone = FramesMixed(c);
    attempts = device->Attempts();
    ASSERT_TRUE(speechtest::WaitFor([&] { return device->Attempts() > attempts; },
                                    std::chrono::seconds(5)));
    EXPECT_EQ(FramesMixed(c), gone);
    EXPECT_TRUE(Status(c).outputBusy);
    // Speaking while it is away is taken, and heard once it is back.
    ASSERT_EQ(SpeakText(c, text.data(), uint32_t(text.size())), noErr);

    // Plugged in again: the layer opens it by itself and the speech plays on to its end.
    device->SetPresent(true);
    ASSERT_TRUE(
        speechtest::WaitFor([&] { return FramesMixed(c) > gone + 2000; }, std::chrono::seconds(5)));
    EXPECT_GE(device->Opens(), 2);
    ASSERT_TRUE(
        speechtest::WaitFor([&] { return !Status(c).outputBusy; }, std::chrono::seconds(10)));
    EXPECT_EQ(DisposeSpeechChannel(c), noErr);
}
