// The hand-off of audio between the synthesis worker, the caller's thread and the audio
// callback, built with ThreadSanitizer: all three work one channel at once, and any data race
// between them fails the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "platform/speechsynthesis/doubles.h"

using namespace vellora::speech::testing;

// The recording synthesizer and a hand-driven audio clock in place of the real ones, and the
// audio callback on a thread of its own, pulling from the clock until the test stops it.
class AudioHandOff : public ::testing::Test {
  protected:
    void TearDown() override { StopCallback(); }

    void Install(int framesPerCharacter) {
        auto engine = std::make_shared<RecordingEngine>();
        engine->SetFramesPerCharacter(framesPerCharacter);
        InstallEngine(engine);
        InstallAudioSink(clock);
    }
    // Pulls `frames` at a time, `pause` apart (none: it only yields between pulls).
    void StartCallback(size_t frames, std::chrono::microseconds pause) {
        callback = std::thread([this, frames, pause] {
            while (running) {
                pulled += clock->Pull(frames).size();
                if (pause.count())
                    std::this_thread::sleep_for(pause);
                else
                    std::this_thread::yield();
            }
        });
    }
    void StopCallback() {
        running = false;
        if (callback.joinable()) callback.join();
    }

    std::shared_ptr<ManualAudioClock> clock = std::make_shared<ManualAudioClock>();
    std::atomic<uint64_t> pulled{0};

  private:
    std::atomic<bool> running{true};
    std::thread callback;
};

TEST_F(AudioHandOff, WorkerCallerAndCallbackShareOneChannel) {
    Install(40);
    SpeechChannel c = nullptr;
    ASSERT_EQ(NewSpeechChannel(nullptr, &c), noErr);
    StartCallback(256, std::chrono::microseconds(0));

    std::string text;
    for (int i = 0; i < 200; ++i) text += "word number " + std::to_string(i) + ". ";
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
        switch (i % 7) {
            case 0:
                ASSERT_EQ(SpeakText(c, text.data(), uint32_t(text.size())), noErr);
                break;
            case 1:
                ASSERT_EQ(PauseSpeechAt(c, i % 3), noErr);
                break;
            case 2:
                ASSERT_EQ(ContinueSpeech(c), noErr);
                break;
            case 3:
                ASSERT_EQ(StopSpeechAt(c, i % 3), noErr);
                break;
            case 4:
                ASSERT_EQ(SpeakText(c, "short one", 9), noErr);
                break;
            default: {
                SpeechStatusInfo status{};
                ASSERT_EQ(GetSpeechInfo(c, kSpeechStatusSelector, &status), noErr);
                ASSERT_GE(int32_t{status.inputBytesLeft}, 0);
                SpeechBusy();
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    // What is left plays out to the end.
    ASSERT_EQ(SpeakText(c, "the end", 7), noErr);
    for (int i = 0; i < 500 && SpeechBusy(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(SpeechBusy(), 0);
    StopCallback();
    EXPECT_GT(pulled.load(), 0u);
    EXPECT_EQ(DisposeSpeechChannel(c), noErr);
}

// Several channels at once, each driven by a caller thread of its own, while the callback
// mixes them all; stops come in bursts, fifty to the second.
TEST_F(AudioHandOff, ManyChannelsWithCallersOfTheirOwn) {
    Install(30);
    constexpr int kChannels = 6;
    std::vector<SpeechChannel> channels(kChannels);
    for (auto& c : channels) ASSERT_EQ(NewSpeechChannel(nullptr, &c), noErr);
    StartCallback(256, std::chrono::microseconds(100));
    std::string text;
    for (int i = 0; i < 100; ++i) text += "channel text " + std::to_string(i) + ". ";
    std::vector<std::thread> callers;
    std::atomic<int> failures{0};
    for (int k = 0; k < kChannels; ++k) {
        callers.emplace_back([&, k] {
            SpeechChannel c = channels[size_t(k)];
            auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
            for (int i = k; std::chrono::steady_clock::now() < end; ++i) {
                OSErr err = noErr;
                switch (i % 5) {
                    case 0:
                        err = SpeakText(c, text.data(), uint32_t(text.size()));
                        break;
                    case 1:
                        err = PauseSpeechAt(c, i % 3);
                        break;
                    case 2:
                        err = ContinueSpeech(c);
                        break;
                    default:
                        err = StopSpeechAt(c, k % 2 ? kSpeechImmediate : i % 3);
                }
                if (err != noErr) ++failures;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));  // 50 a second
            }
            if (StopSpeech(c) != noErr) ++failures;
        });
    }
    for (auto& t : callers) t.join();
    EXPECT_EQ(failures.load(), 0);
    // Every channel was stopped: nothing of them is heard any more.
    EXPECT_TRUE(WaitUntilIdle());
    EXPECT_EQ(SpeechBusy(), 0);
    StopCallback();
    EXPECT_GT(pulled.load(), 0u);
    for (int i = 0; i < 3; ++i) {
        auto frames = clock->Pull(512);
        EXPECT_TRUE(std::all_of(frames.begin(), frames.end(), [](int16_t s) { return s == 0; }));
    }
    for (auto c : channels) EXPECT_EQ(DisposeSpeechChannel(c), noErr);
}

// A stop is heard at once, however often it comes: fifty speeches stopped within a second,
// the callback on a thread of its own, and no frame of a stopped speech pulled after its stop.
TEST_F(AudioHandOff, FiftyStopsInASecondAreEachSilentAtOnce) {
    Install(50);
    SpeechChannel c = nullptr;
    ASSERT_EQ(NewSpeechChannel(nullptr, &c), noErr);
    std::string text = "a fairly long sentence to be cut short, again and again.";
    StartCallback(128, std::chrono::microseconds(300));
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(SpeakText(c, text.data(), uint32_t(text.size())), noErr);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(StopSpeech(c), noErr);
        uint64_t stoppedAt = FramesMixed(c);
        EXPECT_FALSE(SpeechBusy());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // The callback may have been inside one pull when the stop came, no further.
        EXPECT_LE(FramesMixed(c), stoppedAt + 128);
    }
    StopCallback();
    EXPECT_EQ(DisposeSpeechChannel(c), noErr);
}
