// The real chain: the real host loads the real speech bundle, which speaks through espeak-ng
// into sound files and onto SDL's silent real-time driver (the harness sets
// SDL_AUDIODRIVER=dummy).
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "plugin.h"
#include "tests/support/env.h"

namespace {

using namespace speechplugin;

struct Sound {
    sf_count_t frames = 0;
    int rate = 0;
    size_t loud = 0;  // samples of more than a whisper
};

Sound Read(const std::filesystem::path& path) {
    Sound sound;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return sound;
    std::vector<short> samples(static_cast<size_t>(info.frames * info.channels));
    sf_read_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
    sound.frames = info.frames;
    sound.rate = info.samplerate;
    for (short s : samples) sound.loud += s > 1000 || s < -1000;
    return sound;
}

class SpeechPluginReal : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { LoadBundle(); }

    void SetUp() override {
        objects = rb::Object::liveCount();
        strings = rb::String::liveCount();
        speech = New("SpeechZRQ");
        ASSERT_TRUE(speech);
        Obj voice = ObjectOf(speech, "DefaultVoice as VoiceZRQ");
        ASSERT_TRUE(voice);
        channel = ObjectOf(voice, "NewChannel as SpeechChannelZRQ");
        ASSERT_TRUE(channel);
    }
    void TearDown() override {
        if (channel) Do(channel, "Close");
        channel = nullptr;
        speech = nullptr;
        EXPECT_EQ(rb::Object::liveCount(), objects);
        EXPECT_EQ(rb::String::liveCount(), strings);
    }

    // Speaks `text` at `rate` into a file not yet created and reads it back.
    Sound SpeakToFile(const char* name, double rate, const char* text) {
        const std::filesystem::path path = folder.path() / name;
        auto item = rb::make<rb::FolderItem>(path);
        EXPECT_TRUE(SetOutputFile(channel, item.get()));
        Set<double>(channel, "Rate", rate);
        EXPECT_TRUE(Speak(channel, text));
        EXPECT_TRUE(WaitFor([&] { return !Get<bool>(channel, "Playing"); }));
        EXPECT_TRUE(SetOutputFile(channel, nullptr));
        return Read(path);
    }

    int64_t objects = 0, strings = 0;
    Obj speech, channel;
    // The locale the default voice is chosen by; a test may change these, and they come back.
    vellora_test::ScopedEnv lang{"LANG", "en_US.UTF-8"};
    vellora_test::ScopedEnv lcAll{"LC_ALL", std::nullopt};
    vellora_test::ScopedEnv lcMessages{"LC_MESSAGES", std::nullopt};
    TempFolder folder;
};

TEST_F(SpeechPluginReal, SpeaksIntoAWavFileAndFasterAtAHigherRate) {
    const char* text = "The quick brown fox jumps over the lazy dog, twice in one morning.";
    Sound slow = SpeakToFile("slow.wav", 150, text);
    ASSERT_GT(slow.rate, 0) << "no readable sound file";
    EXPECT_GT(slow.frames, slow.rate);  // more than a second of speech
    EXPECT_GT(slow.loud, static_cast<size_t>(slow.frames / 10));

    Sound fast = SpeakToFile("fast.wav", 250, text);
    ASSERT_GT(fast.rate, 0);
    EXPECT_GT(fast.loud, static_cast<size_t>(fast.frames / 10));
    EXPECT_LT(fast.frames, slow.frames * 3 / 4);
}

TEST_F(SpeechPluginReal, PlayingPausedAndBytesLeftFollowSpeechOnTheAudioDevice) {
    const rb::String text("One, two, three, four, five, six, seven, eight, nine, ten.");
    Set<double>(channel, "Rate", 300);
    ASSERT_TRUE(Speak(channel, text));
    ASSERT_TRUE(WaitFor([&] { return Get<bool>(channel, "Playing"); }));
    ASSERT_TRUE(WaitFor([&] {
        int32_t left = Get<int32_t>(channel, "TextBytesToSpeak");
        return left > 0 && left < static_cast<int32_t>(text.byteLength());
    }));  // under way

    ASSERT_TRUE(Bool(channel, "PauseImmediate as Boolean"));
    EXPECT_TRUE(Get<bool>(channel, "Paused"));
    EXPECT_TRUE(Get<bool>(channel, "Playing"));  // a paused channel is still busy
    const int32_t left = Get<int32_t>(channel, "TextBytesToSpeak");
    EXPECT_GT(left, 0);

    ASSERT_TRUE(Bool(channel, "ContinueSpeech as Boolean"));
    EXPECT_FALSE(Get<bool>(channel, "Paused"));
    EXPECT_TRUE(WaitFor([&] { return Get<int32_t>(channel, "TextBytesToSpeak") < left; }));
    EXPECT_TRUE(WaitFor(
        [&] {
            return !Get<bool>(channel, "Playing") && Get<int32_t>(channel, "TextBytesToSpeak") == 0;
        },
        std::chrono::seconds(30)));
    EXPECT_EQ(Int(channel, "SpeechBusy as integer"), 0);
}

}  // namespace
