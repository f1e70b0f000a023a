// The real synthesizer: espeak-ng into sound files, and onto SDL's silent real-time driver
// (CTest sets SDL_AUDIODRIVER=dummy).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "platform/speechsynthesis/Notify.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "platform/speechsynthesis/doubles.h"
#include "support.h"
#include "tests/support/env.h"

namespace {

using speechtest::Status;
using speechtest::WaitFor;

constexpr Fixed F(double v) {
    return Fixed(v * 65536.0);
}

class RealSpeech : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(NewSpeechChannel(nullptr, &channel), noErr); }
    void TearDown() override { DisposeSpeechChannel(channel); }

    // Speaks `text` into `name` in the temporary folder and reads the file back.
    speechtest::Sound SpeakToFile(const std::string& name, const std::string& text) {
        CFURLRef url = speechtest::FileUrl(folder.path(), name);
        EXPECT_EQ(SetSpeechInfo(channel, kSpeechOutputFileSelector, url), noErr);
        CFRelease(url);
        EXPECT_EQ(SpeakText(channel, text.data(), uint32_t(text.size())), noErr);
        EXPECT_TRUE(WaitFor([&] { return !Status(channel).outputBusy; }));
        EXPECT_EQ(SetSpeechInfo(channel, kSpeechOutputFileSelector, nullptr), noErr);
        return speechtest::ReadSound((folder.path() / name).string());
    }

    SpeechChannel channel = nullptr;
    speechtest::TempFolder folder;
};

// A driver named in the environment that does not exist: no sound device opens, and speech is
// not available (no channel is made), while the voices can still be listed (CTest runs each
// test in a process of its own, so the device opens here).
TEST(RealSpeechDevice, AnAudioDriverThatDoesNotExistLeavesSpeechUnavailable) {
    {
        vellora_test::ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
        SpeechChannel channel = nullptr;
        ASSERT_EQ(NewSpeechChannel(nullptr, &channel), noErr);
        EXPECT_FALSE(vellora::speech::SpeechAvailable());
        const char text[] = "Nothing to hear this on.";
        EXPECT_EQ(SpeakText(channel, text, sizeof text - 1), kSpeechNoAudioErr);
        EXPECT_EQ(DisposeSpeechChannel(channel), noErr);
        int16_t voices = 0;
        EXPECT_EQ(CountVoices(&voices), noErr);
        EXPECT_GT(voices, 0);
    }
    vellora::speech::testing::InstallAudioSink(vellora::speech::testing::MakeDeviceAudioSink());
}

TEST_F(RealSpeech, VoicesAreEspeakVoicesWithTheirFiles) {
    int16_t n = 0;
    ASSERT_EQ(CountVoices(&n), noErr);
    EXPECT_GT(n, 20);
    VoiceDescription d{};
    ASSERT_EQ(GetVoiceDescription(nullptr, &d, sizeof d), noErr);
    EXPECT_GT(d.name[0], 0);
    VoiceFileInfo info{};
    ASSERT_EQ(GetVoiceInfo(&d.voice, kVoiceFileSelector, &info), noErr);
    char path[1024];
    ASSERT_EQ(FSSpecGetPath(&info.fileSpec, path, sizeof path), noErr);
    EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
}

// The default voice by the locale, among espeak-ng's own voices (listed by their first
// language, so that "English (Caribbean)" is the first English one).
TEST_F(RealSpeech, TheDefaultVoiceFitsTheLocaleAndWithoutALanguageIsEspeaksOwnEnglish) {
    struct Case {
        const char *lcAll, *lang, *voice;
    } cases[] = {
        {nullptr, "C", "English (Great Britain)"},
        {nullptr, "C.UTF-8", "English (Great Britain)"},
        {nullptr, "POSIX", "English (Great Britain)"},
        {nullptr, "", "English (Great Britain)"},
        {nullptr, nullptr, "English (Great Britain)"},
        {"C.UTF-8", "de_DE.UTF-8", "English (Great Britain)"},  // LC_ALL decides
        {nullptr, "en", "English (Great Britain)"},
        {nullptr, "en_IN.UTF-8", "English (Great Britain)"},  // no voice of its own
        {nullptr, "en_US.UTF-8", "English (America)"},
        {nullptr, "en_GB.UTF-8", "English (Great Britain)"},
        {nullptr, "de_DE.UTF-8", "German"},
        {nullptr, "fr_CA", "French (France)"},  // before "French (Belgium)" by espeak's rank
        {nullptr, "wo_SN.UTF-8", "English (Great Britain)"},  // a language espeak-ng lacks
    };
    auto set = [](const char* name, const char* value) {
        value ? setenv(name, value, 1) : unsetenv(name);
    };
    vellora_test::ScopedEnv lcAll("LC_ALL", std::nullopt), lang("LANG", std::nullopt),
        lcMessages("LC_MESSAGES", std::nullopt);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lcAll ? c.lcAll : "-") + " " + (c.lang ? c.lang : "-"));
        set("LC_ALL", c.lcAll);
        set("LANG", c.lang);
        VoiceDescription d{};
        ASSERT_EQ(GetVoiceDescription(nullptr, &d, sizeof d), noErr);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(d.name + 1), d.name[0]), c.voice);
    }
    // The voice file behind it is the one espeak-ng itself starts with.
    setenv("LANG", "C.UTF-8", 1);
    VoiceDescription d{};
    ASSERT_EQ(GetVoiceDescription(nullptr, &d, sizeof d), noErr);
    VoiceFileInfo info{};
    ASSERT_EQ(GetVoiceInfo(&d.voice, kVoiceFileSelector, &info), noErr);
    char path[1024];
    ASSERT_EQ(FSSpecGetPath(&info.fileSpec, path, sizeof path), noErr);
    EXPECT_EQ(std::filesystem::path(path).filename(), "en");
}

TEST_F(RealSpeech, SpeaksIntoASoundFileFasterAtAHigherRate) {
    const std::string text = "The quick brown fox jumps over the lazy dog.";
    ASSERT_EQ(SetSpeechRate(channel, F(150)), noErr);
    speechtest::Sound slow = SpeakToFile("slow.wav", text);
    ASSERT_EQ(SetSpeechRate(channel, F(250)), noErr);
    speechtest::Sound fast = SpeakToFile("fast.aif", text);
    EXPECT_EQ(folder.files(), (std::vector<std::string>{"fast.aif", "slow.wav"}));
    ASSERT_EQ(slow.rate, 22050);
    EXPECT_EQ(fast.format, 0x020000);  // AIFF
    auto loud = [](const speechtest::Sound& s) {
        return std::count_if(s.samples.begin(), s.samples.end(),
                             [](int16_t v) { return std::abs(v) > 1000; });
    };
    EXPECT_GT(loud(slow), 5000);
    EXPECT_GT(loud(fast), 5000);
    // About 2.5 s at 150 words a minute; well under 0.8 of that at 250.
    EXPECT_GT(slow.samples.size(), 22050u);
    EXPECT_LT(double(fast.samples.size()), 0.8 * double(slow.samples.size()));
}

// Each setting changes what is heard: spelling lengthens the speech, a lower volume lowers
// its peaks, a higher base pitch raises its zero-crossing rate.
TEST_F(RealSpeech, SettingsAreAudible) {
    const std::string text = "hello world";
    auto peak = [](const speechtest::Sound& s) {
        int m = 0;
        for (int16_t v : s.samples) m = std::max(m, std::abs(int(v)));
        return m;
    };
    auto crossings = [](const speechtest::Sound& s) {
        size_t n = 0;
        for (size_t i = 1; i < s.samples.size(); ++i)
            n += (s.samples[i - 1] < 0) != (s.samples[i] < 0);
        return double(n) / double(s.samples.size());
    };
    speechtest::Sound normal = SpeakToFile("normal.wav", text);
    OSType literal = kSpeechModeLiteral;
    ASSERT_EQ(SetSpeechInfo(channel, kSpeechCharacterModeSelector, &literal), noErr);
    speechtest::Sound spelled = SpeakToFile("spelled.wav", text);
    EXPECT_GT(double(spelled.samples.size()), 1.5 * double(normal.samples.size()));
    ASSERT_EQ(SetSpeechInfo(channel, kSpeechResetSelector, nullptr), noErr);

    Fixed quarter = F(0.25);
    ASSERT_EQ(SetSpeechInfo(channel, kSpeechVolumeSelector, &quarter), noErr);
    speechtest::Sound quiet = SpeakToFile("quiet.wav", text);
    EXPECT_LT(peak(quiet), peak(normal) * 6 / 10);
    ASSERT_EQ(SetSpeechInfo(channel, kSpeechResetSelector, nullptr), noErr);

    ASSERT_EQ(SetSpeechPitch(channel, F(30)), noErr);
    speechtest::Sound low = SpeakToFile("low.wav", text);
    ASSERT_EQ(SetSpeechPitch(channel, F(64)), noErr);
    speechtest::Sound high = SpeakToFile("high.wav", text);
    EXPECT_GT(crossings(high), crossings(low));
}

TEST_F(RealSpeech, PlaysPausesAndContinuesOnTheAudioDriver) {
    // A second channel speaking alongside shows that the audio device is running.
    SpeechChannel witness = nullptr;
    ASSERT_EQ(NewSpeechChannel(nullptr, &witness), noErr);
    const std::string text = "One two three four five six.";
    ASSERT_EQ(SpeakText(channel, text.data(), uint32_t(text.size())), noErr);
    EXPECT_TRUE(Status(channel).outputBusy);
    EXPECT_EQ(SpeechBusy(), 1);
    using vellora::speech::testing::FramesMixed;
    ASSERT_TRUE(WaitFor([&] { return FramesMixed(channel) > 2000; }));

    ASSERT_EQ(PauseSpeechAt(channel, kSpeechImmediate), noErr);
    uint64_t pausedAt = FramesMixed(channel);
    SpeechStatusInfo s = Status(channel);
    EXPECT_TRUE(s.outputBusy);
    EXPECT_TRUE(s.outputPaused);
    EXPECT_GT(int32_t{s.inputBytesLeft}, 0);
    ASSERT_EQ(SpeakText(witness, text.data(), uint32_t(text.size())), noErr);
    ASSERT_TRUE(WaitFor([&] { return FramesMixed(witness) > 4000; }));
    EXPECT_EQ(FramesMixed(channel), pausedAt);
    EXPECT_EQ(int32_t{Status(channel).inputBytesLeft}, int32_t{s.inputBytesLeft});
    StopSpeech(witness);

    ASSERT_EQ(ContinueSpeech(channel), noErr);
    EXPECT_FALSE(Status(channel).outputPaused);
    ASSERT_TRUE(WaitFor([&] { return FramesMixed(channel) > pausedAt; }));
    // Bytes left fall, never rise, and reach 0 as the speech ends.
    int32_t last = s.inputBytesLeft;
    bool fell = false;
    ASSERT_TRUE(WaitFor([&] {
        SpeechStatusInfo now = Status(channel);
        EXPECT_LE(int32_t{now.inputBytesLeft}, last);
        fell = fell || (now.inputBytesLeft < last && now.inputBytesLeft > 0);
        last = now.inputBytesLeft;
        return !now.outputBusy;
    }));
    EXPECT_TRUE(fell);
    EXPECT_EQ(last, 0);
    EXPECT_EQ(SpeechBusy(), 0);
    DisposeSpeechChannel(witness);
}

}  // namespace

namespace {

size_t LeadingSilence(const std::vector<int16_t>& s) {
    return size_t(std::find_if(s.begin(), s.end(), [](int16_t v) { return v != 0; }) - s.begin());
}

double Rms(const std::vector<int16_t>& s, size_t from, size_t frames) {
    double sum = 0;
    size_t end = std::min(s.size(), from + frames);
    for (size_t i = from; i < end; ++i) sum += double(s[i]) * s[i];
    return end > from ? std::sqrt(sum / double(end - from)) : 0;
}

}  // namespace

// Speech from quiet keeps under 1 ms of the engine's leading silence (words that open with a
// stop have tens of ms of it), and the onset keeps its energy: the first 20 ms of sound carry
// what espeak-ng's own rendering of the word (the sound file's) carries.
TEST_F(RealSpeech, SpeechFromQuietStartsAtOnceWithItsOnsetWhole) {
    auto clock = std::make_shared<vellora::speech::testing::ManualAudioClock>();
    for (const char* word : {"cat", "typewriter", "keyboard", "table"}) {
        SCOPED_TRACE(word);
        speechtest::Sound file = SpeakToFile(std::string(word) + ".wav", word);
        ASSERT_GT(file.rate, 0);
        vellora::speech::testing::InstallAudioSink(clock);
        ASSERT_EQ(SpeakText(channel, word, uint32_t(std::strlen(word))), noErr);
        ASSERT_TRUE(vellora::speech::testing::WaitUntilIdle());
        std::vector<int16_t> played = clock->Pull(size_t(file.rate) * 2);
        size_t lead = LeadingSilence(played);
        size_t fileLead = LeadingSilence(file.samples);
        ASSERT_LT(lead, played.size());
        EXPECT_LT(lead, size_t(file.rate) / 1000);
        EXPECT_GT(fileLead, size_t(file.rate) * 20 / 1000);
        size_t window = size_t(file.rate) * 20 / 1000;
        double ours = Rms(played, lead, window), theirs = Rms(file.samples, fileLead, window);
        EXPECT_GT(ours, 0.95 * theirs);
        // After the half-millisecond fade, the sound is the engine's own.
        size_t fade = size_t(file.rate) / 2000;
        EXPECT_TRUE(std::equal(played.begin() + ptrdiff_t(lead + fade),
                               played.begin() + ptrdiff_t(lead + window),
                               file.samples.begin() + ptrdiff_t(fileLead + fade)));
        std::printf("%-10s lead %.2f ms (file %.1f ms), first 20 ms RMS %.1f vs %.1f (%.3f)\n",
                    word, lead * 1000.0 / file.rate, fileLead * 1000.0 / file.rate, ours, theirs,
                    ours / theirs);
        clock->Pull(size_t(file.rate));
    }
    vellora::speech::testing::InstallAudioSink(vellora::speech::testing::MakeDeviceAudioSink());
}

// Words handed over one after another, each announced while the one before it is heard: each
// is heard whole, and the silence between them is the short pause, not the engine's closing
// one. Prints the word's length and what 30 of them typed 500 ms apart come to.
TEST_F(RealSpeech, WordsThatFollowEachOtherKeepPace) {
    speechtest::Sound file = SpeakToFile("word.wav", "word ");
    ASSERT_GT(file.rate, 0);
    size_t first = LeadingSilence(file.samples), last = file.samples.size();
    while (last > first && std::abs(file.samples[last - 1]) <= 32) --last;
    auto clock = std::make_shared<vellora::speech::testing::ManualAudioClock>();
    vellora::speech::testing::InstallAudioSink(clock);
    std::atomic<int> left{3};
    ASSERT_TRUE(vellora::speech::SetSpeechDoneHandler(channel, [&] {
        if (--left > 0) {
            SpeakText(channel, "word ", 5);
            if (left > 1) vellora::speech::MoreSpeechFollows(channel);
        }
    }));
    ASSERT_EQ(SpeakText(channel, "word ", 5), noErr);
    ASSERT_EQ(vellora::speech::MoreSpeechFollows(channel), noErr);
    std::vector<int16_t> played;
    for (int i = 0; i < 3 * file.rate / 128 && left > 0; ++i) {
        ASSERT_TRUE(vellora::speech::testing::WaitUntilIdle());
        std::vector<int16_t> block = clock->Pull(128);
        played.insert(played.end(), block.begin(), block.end());
    }
    ASSERT_TRUE(vellora::speech::testing::WaitUntilIdle());
    std::vector<int16_t> rest = clock->Pull(size_t(file.rate));
    played.insert(played.end(), rest.begin(), rest.end());
    // Where each word starts: after more than 40 ms of nothing.
    std::vector<size_t> starts;
    size_t quiet = size_t(file.rate);
    for (size_t i = 0; i < played.size(); ++i) {
        if (played[i] == 0) {
            ++quiet;
            continue;
        }
        if (quiet > size_t(file.rate) * 40 / 1000) starts.push_back(i);
        quiet = 0;
    }
    ASSERT_EQ(starts.size(), 3u);
    starts.push_back(played.size());
    size_t sound = last - first, pause = size_t(file.rate) * 80 / 1000;
    // espeak-ng's renderings of one word differ a little, in their samples and their length:
    // each word heard is as long as the file's within 2 ms, and the pause begins at its last
    // sound.
    for (size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        size_t end = starts[k + 1];
        while (end > starts[k] && std::abs(played[end - 1]) <= 32) --end;
        EXPECT_NEAR(double(end - starts[k]), double(sound), file.rate / 500.0);
        if (k < 2) {
            EXPECT_EQ(starts[k + 1] - end, pause);
        }
    }
    double each = (sound + pause) * 1000.0 / file.rate;
    double alone = (file.samples.size() - first) * 1000.0 / file.rate;
    std::printf(
        "\"word \": %.1f ms of sound, %.1f ms with the pause, %.1f ms alone; 30 words "
        "typed 500 ms apart: the 30th waits %.0f ms for those before it (alone: %.0f ms)\n",
        sound * 1000.0 / file.rate, each, alone, std::max(0.0, 29 * (each - 500)),
        std::max(0.0, 29 * (alone - 500)));
    EXPECT_LT(each, 500.0);
    vellora::speech::SetSpeechDoneHandler(channel, [] {});
    vellora::speech::testing::InstallAudioSink(vellora::speech::testing::MakeDeviceAudioSink());
}

namespace {

// The real device, with a count of the times the layer rested and resumed it, and of the
// times the device itself was opened and closed.
class CountingDevice final : public vellora::speech::AudioSink {
  public:
    bool start(vellora::speech::AudioSource& source, int rate) override {
        return inner_->start(source, rate);
    }
    void stop() override { inner_->stop(); }
    void rest() override {
        inner_->rest();
        ++rests;
    }
    void resume() override {
        inner_->resume();
        ++resumes;
    }
    bool resting() const override { return inner_->resting(); }
    bool lost() override { return inner_->lost(); }
    std::atomic<int> rests{0}, resumes{0};
    const std::shared_ptr<vellora::speech::DeviceCounts> counts =
        std::make_shared<vellora::speech::DeviceCounts>();

  private:
    std::shared_ptr<vellora::speech::AudioSink> inner_ =
        vellora::speech::testing::MakeDeviceAudioSink(counts);
};

}  // namespace

// The device rests while nothing is heard, paused speech included, and runs again for new
// speech and for speech continued; neither the status nor the progress notices the rests.
TEST_F(RealSpeech, TheDeviceRestsWhenQuietAndWakesForSpeech) {
    using vellora::speech::testing::FramesMixed;
    auto device = std::make_shared<CountingDevice>();
    vellora::speech::testing::InstallAudioSink(device);

    int rests = device->rests;
    ASSERT_EQ(SpeakText(channel, "Once.", 5), noErr);
    ASSERT_TRUE(WaitFor([&] { return !Status(channel).outputBusy; }));
    ASSERT_TRUE(WaitFor([&] { return device->rests > rests; }));
    rests = device->rests;
    uint64_t quiet = FramesMixed(channel);

    // After the rest: new speech is played through to its end.
    ASSERT_EQ(SpeakText(channel, "Twice.", 6), noErr);
    ASSERT_TRUE(WaitFor([&] { return !Status(channel).outputBusy; }));
    EXPECT_GT(FramesMixed(channel), quiet);
    EXPECT_GE(device->resumes, 1);
    ASSERT_TRUE(WaitFor([&] { return device->rests > rests; }));
    rests = device->rests;
    quiet = FramesMixed(channel);

    // Paused at once: the device rests, the channel stays busy and paused, and Continue plays
    // the rest of it.
    const std::string text = "A sentence long enough to be paused while it is being spoken.";
    ASSERT_EQ(SpeakText(channel, text.data(), uint32_t(text.size())), noErr);
    ASSERT_TRUE(WaitFor([&] { return FramesMixed(channel) > quiet + 2000; }));
    quiet = FramesMixed(channel);
    ASSERT_EQ(PauseSpeechAt(channel, kSpeechImmediate), noErr);
    ASSERT_TRUE(WaitFor([&] { return device->rests > rests; }));
    rests = device->rests;
    SpeechStatusInfo paused = Status(channel);
    EXPECT_TRUE(paused.outputBusy);
    EXPECT_TRUE(paused.outputPaused);
    EXPECT_GT(int32_t{paused.inputBytesLeft}, 0);
    EXPECT_LT(FramesMixed(channel), quiet + 22050);  // it did stop playing
    int resumed = device->resumes;
    ASSERT_EQ(ContinueSpeech(channel), noErr);
    ASSERT_TRUE(WaitFor([&] { return !Status(channel).outputBusy; }));
    EXPECT_GT(device->resumes, resumed);
    EXPECT_EQ(int32_t{Status(channel).inputBytesLeft}, 0);
    EXPECT_TRUE(WaitFor([&] { return device->rests > rests; }));

    // Long enough at rest, the device is closed; the next speech opens it again.
    int closes = device->counts->closes;
    ASSERT_TRUE(WaitFor([&] { return device->counts->closes > closes; }, std::chrono::seconds(5)));
    int opens = device->counts->opens;
    quiet = FramesMixed(channel);
    ASSERT_EQ(SpeakText(channel, "Thrice.", 7), noErr);
    ASSERT_TRUE(WaitFor([&] { return !Status(channel).outputBusy; }));
    EXPECT_GT(device->counts->opens, opens);
    EXPECT_GT(FramesMixed(channel), quiet + 2000);

    vellora::speech::testing::InstallAudioSink(vellora::speech::testing::MakeDeviceAudioSink());
}
