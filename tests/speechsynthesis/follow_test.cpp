// Speech followed at once by more, and speech that starts from quiet, against an engine whose
// audio has silence before and after its sound.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "platform/speechsynthesis/Notify.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "platform/speechsynthesis/doubles.h"
#include "shaped_engine.h"
#include "support.h"

namespace {

using namespace vellora::speech;
using namespace vellora::speech::testing;

using speechtest::kFade;
using speechtest::kPause;
using speechtest::Runs;
using speechtest::ShapedEngine;
using speechtest::Stretch;

class FollowingSpeech : public ::testing::Test {
  protected:
    void SetUp() override {
        engine = std::make_shared<ShapedEngine>();
        clock = std::make_shared<ManualAudioClock>();
        InstallEngine(engine);
        InstallAudioSink(clock);
        ASSERT_EQ(NewSpeechChannel(nullptr, &channel), noErr);
        // As the runtime's speaker does: the next text goes out as soon as the end is reported.
        ASSERT_TRUE(SetSpeechDoneHandler(channel, [this] {
            ++ends;
            std::string next;
            {
                std::lock_guard lock(mutex);
                if (waiting.empty()) return;
                next = waiting.front();
                waiting.erase(waiting.begin());
            }
            SpeakText(channel, next.data(), uint32_t(next.size()));
        }));
    }
    void TearDown() override {
        engine->Release();
        DisposeSpeechChannel(channel);
    }

    void Say(const std::string& text) {
        ASSERT_EQ(SpeakText(channel, text.data(), uint32_t(text.size())), noErr);
    }
    void Queue(const std::string& text) {
        std::lock_guard lock(mutex);
        waiting.push_back(text);
    }
    // Plays `frames` frames in device-sized callbacks, the worker answering after each.
    std::vector<int16_t> Play(size_t frames) {
        std::vector<int16_t> out;
        while (out.size() < frames) {
            EXPECT_TRUE(WaitUntilIdle());
            std::vector<int16_t> block = clock->Pull(std::min<size_t>(128, frames - out.size()));
            out.insert(out.end(), block.begin(), block.end());
        }
        EXPECT_TRUE(WaitUntilIdle());
        return out;
    }
    std::vector<int16_t> played;
    void Append(const std::vector<int16_t>& frames) {
        played.insert(played.end(), frames.begin(), frames.end());
    }

    std::shared_ptr<ShapedEngine> engine;
    std::shared_ptr<ManualAudioClock> clock;
    SpeechChannel channel = nullptr;
    std::mutex mutex;
    std::vector<std::string> waiting;
    std::atomic<int> ends{0};
};

// Nothing waits: the word is heard as the engine made it, closing silence and all, and only
// then is it over.
TEST_F(FollowingSpeech, WithNothingWaitingTheClosingSilencePlaysOut) {
    Say("word");
    const size_t sound = 4 * engine->perChar;
    Append(Play(sound + engine->tail - 1));
    EXPECT_TRUE(speechtest::Status(channel).outputBusy);
    Append(Play(1));
    EXPECT_FALSE(speechtest::Status(channel).outputBusy);
    EXPECT_EQ(Runs(played), (std::vector<Stretch>{{0, sound}}));
    for (size_t k = kFade; k < sound; ++k) ASSERT_EQ(played[k], engine->Sound(0, k)) << k;
    EXPECT_TRUE(speechtest::WaitFor([&] { return ends == 1; }));
}

// However late the waiting word is announced, the first word is heard whole, the second
// follows it after the short pause (or at once, after a quiet moment that was longer), and
// the second is whole too, with its text positions right.
TEST_F(FollowingSpeech, TheNextWordFollowsAfterAShortPause) {
    const size_t sound = 4 * 200;
    struct Case {
        const char* name;
        bool beforeSynthesisEnds;
        size_t playedFirst;  // frames heard before the next word is announced
        size_t gap;          // silence heard between the two
        size_t late;         // and up to this much more: the rest of the callback's buffer
    } cases[] = {
        {"before synthesis is done", true, 0, kPause, 0},
        {"while the word sounds", false, 300, kPause, 0},
        {"at its last sound", false, sound, kPause, 0},
        // The closing silence is in the lane already: the word ends at the pause's end.
        {"in the pause", false, sound + kPause / 2, kPause, 127},
        {"after a longer quiet", false, sound + kPause + 2000, kPause + 2000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (&c != cases) {
            TearDown();
            SetUp();
            played.clear();
            ends = 0;
        }
        if (c.beforeSynthesisEnds) engine->Hold();
        Say("word");
        if (c.beforeSynthesisEnds) {
            ASSERT_TRUE(engine->WaitUntilHeld());
        }
        if (c.playedFirst) Append(Play(c.playedFirst));
        Queue("caf\x8E au");  // Mac Roman; the second word at byte 5 of 7
        ASSERT_EQ(MoreSpeechFollows(channel), noErr);
        engine->Release();
        Append(Play(sound + c.gap + c.late - c.playedFirst + 5 * 200 + 10));
        EXPECT_EQ(int32_t(speechtest::Status(channel).inputBytesLeft), 2);
        Append(Play(10 * engine->perChar));
        std::vector<Stretch> runs = Runs(played);
        ASSERT_EQ(runs.size(), 2u);
        EXPECT_EQ(runs[0], (Stretch{0, sound}));
        size_t second = runs[1].start;
        EXPECT_GE(second, sound + c.gap);
        EXPECT_LE(second, sound + c.gap + c.late);
        EXPECT_EQ(runs[1].length, 7u * 200);
        for (size_t k = kFade; k < 7 * 200; ++k)
            ASSERT_EQ(played[second + k], engine->Sound(1, k)) << k;
        Append(Play(engine->tail));
        EXPECT_FALSE(speechtest::Status(channel).outputBusy);
        EXPECT_TRUE(speechtest::WaitFor([&] { return ends == 2; }));
    }
}

// Stopping gives up a pause that was kept for the next word: what is said next starts at once.
TEST_F(FollowingSpeech, StopGivesUpTheKeptPause) {
    const size_t sound = 4 * 200;
    Say("word");
    ASSERT_EQ(MoreSpeechFollows(channel), noErr);
    Append(Play(sound + 100));
    EXPECT_FALSE(speechtest::Status(channel).outputBusy);  // over at its last sound
    ASSERT_EQ(StopSpeech(channel), noErr);
    Say("now");
    Append(Play(3 * 200 + 10));
    EXPECT_EQ(Runs(played), (std::vector<Stretch>{{0, sound}, {sound + 100, 3 * 200}}));
}

// Speech from quiet starts with its first sound; a first sample far from zero fades in over
// half a millisecond, one next to zero is left alone; word positions follow the cut.
TEST_F(FollowingSpeech, SpeechFromQuietStartsAtItsSoundAndFadesIn) {
    for (int level : {1000, 20}) {
        SCOPED_TRACE(level);
        engine->level = level;
        engine->spread = 0;
        Say("one two");
        std::vector<int16_t> out = Play(4 * 200 - 1);
        EXPECT_EQ(int32_t(speechtest::Status(channel).inputBytesLeft), 7);
        Play(2);
        EXPECT_EQ(int32_t(speechtest::Status(channel).inputBytesLeft), 3);
        size_t request = engine->Requests() - 1;
        ASSERT_NE(out[0], 0);
        for (size_t k = 0; k < out.size(); ++k) {
            int full = engine->Sound(request, k);
            int expected = level > 32 && k < kFade ? full * int(k + 1) / int(kFade + 1) : full;
            ASSERT_EQ(out[k], expected) << k;
        }
        Play(8000);
    }
}

}  // namespace
