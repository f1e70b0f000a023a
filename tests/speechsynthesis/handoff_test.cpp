// The hand-off of audio between the synthesis worker, the caller's thread and the audio
// callback, built with ThreadSanitizer: all three work one channel at once, and any data race
// between them fails the run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "platform/speechsynthesis/testing.h"

using namespace vellora::speech::testing;

TEST(AudioHandOff, WorkerCallerAndCallbackShareOneChannel) {
    auto engine = std::make_shared<RecordingEngine>();
    engine->SetFramesPerCharacter(40);
    auto clock = std::make_shared<ManualAudioClock>();
    InstallEngine(engine);
    InstallAudioSink(clock);
    SpeechChannel c = nullptr;
    ASSERT_EQ(NewSpeechChannel(nullptr, &c), noErr);

    std::atomic<bool> running{true};
    std::atomic<uint64_t> pulled{0};
    std::thread callback([&] {
        while (running) {
            pulled += clock->Pull(256).size();
            std::this_thread::yield();
        }
    });

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
    running = false;
    callback.join();
    EXPECT_GT(pulled.load(), 0u);
    EXPECT_EQ(DisposeSpeechChannel(c), noErr);
}
