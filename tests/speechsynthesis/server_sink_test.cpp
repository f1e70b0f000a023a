// The sound server's stream behind the layer, against a fake server: corked at rest, the first
// samples written with the uncork, flushed when speech is cut off and never when it plays out,
// and opened again, or for the first time, when the server comes (back).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

#include "platform/speechsynthesis/Notify.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "platform/speechsynthesis/SystemAudioSink.h"
#include "platform/speechsynthesis/doubles.h"
#include "support.h"

namespace {

using namespace vellora::speech;
using namespace vellora::speech::testing;
using namespace std::chrono_literals;
using speechtest::Status;
using speechtest::WaitFor;
using Commands = std::vector<std::string>;

class ServerSink : public ::testing::Test {
  protected:
    void SetUp() override {
        engine = std::make_shared<RecordingEngine>();
        engine->SetFramesPerCharacter(100);
        InstallEngine(engine);
    }
    void TearDown() override {
        for (SpeechChannel c : channels) DisposeSpeechChannel(c);
        InstallAudioSink(std::make_shared<ManualAudioClock>());
    }
    void Install() { InstallAudioSink(MakePulseAudioSink(server.Backend())); }

    SpeechChannel Channel() {
        SpeechChannel c = nullptr;
        EXPECT_EQ(NewSpeechChannel(nullptr, &c), noErr);
        channels.push_back(c);
        return c;
    }
    static OSErr Say(SpeechChannel c, const std::string& text) {
        return SpeakText(c, text.data(), uint32_t(text.size()));
    }
    static std::string Long() {
        std::string text;
        for (int i = 0; i < 200; ++i) text += "word" + std::to_string(i) + " ";
        return text;
    }
    bool Has(const std::string& command) {
        Commands c = server.Commands();
        return std::find(c.begin(), c.end(), command) != c.end();
    }

    std::shared_ptr<RecordingEngine> engine;
    FakePulseServer server;
    std::vector<SpeechChannel> channels;
};

TEST_F(ServerSink, SpeechPlayedOutIsCorkedOncePlayedAndNothingWakesTheStreamAtRest) {
    Install();
    SpeechChannel c = Channel();
    EXPECT_TRUE(server.Corked());  // nothing has played yet
    ASSERT_EQ(Say(c, "one two three."), noErr);
    ASSERT_TRUE(WaitFor([&] { return !Status(c).outputBusy; }));
    ASSERT_TRUE(WaitFor([&] { return server.Corked(); }, 2s));
    // The tail of the last word was heard: played out, not flushed.
    EXPECT_EQ(server.Commands(), (Commands{"uncork", "cork"}));
    EXPECT_EQ(server.Held(), 0u);
    // 14 characters, every frame once (a fade-in may make the first one silent).
    EXPECT_GE(server.SoundingWritten(), 1390u);
    EXPECT_LE(server.SoundingWritten(), 1400u);
    uint64_t asked = server.Requests();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(server.Requests(), asked);

    // Words that follow one another quickly: each opens the stream again and is played out.
    server.ClearCommands();
    for (const char* word : {"four", "five"}) {
        ASSERT_EQ(Say(c, word), noErr);
        ASSERT_TRUE(WaitFor([&] { return !Status(c).outputBusy; }));
    }
    ASSERT_TRUE(WaitFor([&] { return server.Corked(); }, 2s));
    EXPECT_FALSE(Has("flush"));
    EXPECT_GE(server.SoundingWritten(), 1390u + 790u);
    EXPECT_LE(server.SoundingWritten(), 1400u + 800u);
}

TEST_F(ServerSink, AStopOrAnImmediatePauseDropsWhatTheServerHolds) {
    Install();
    SpeechChannel c = Channel();
    std::string text = Long();
    ASSERT_EQ(Say(c, text), noErr);
    ASSERT_TRUE(WaitFor([&] { return FramesMixed(c) > 4000; }));
    ASSERT_EQ(PauseSpeechAt(c, kSpeechImmediate), noErr);
    ASSERT_TRUE(WaitFor([&] { return server.Corked(); }, 2s));
    EXPECT_EQ(server.Commands(), (Commands{"uncork", "cork", "flush"}));
    EXPECT_EQ(server.Held(), 0u);

    // Continued while the server's clock stands still: the uncork comes with samples.
    server.ClearCommands();
    server.SetPlaying(false);
    uint64_t before = server.SoundingWritten();
    ASSERT_EQ(ContinueSpeech(c), noErr);
    ASSERT_TRUE(WaitFor([&] { return !server.Corked(); }, 2s));
    EXPECT_EQ(server.Commands(), (Commands{"uncork"}));
    EXPECT_TRUE(WaitFor([&] { return server.SoundingWritten() > before; }, 1s));
    server.SetPlaying(true);

    ASSERT_TRUE(WaitFor([&] { return FramesMixed(c) > 8000; }));
    server.ClearCommands();
    ASSERT_EQ(StopSpeech(c), noErr);
    ASSERT_TRUE(WaitFor([&] { return server.Corked(); }, 2s));
    EXPECT_EQ(server.Commands(), (Commands{"cork", "flush"}));
}

TEST_F(ServerSink, AStopOfOneChannelWhileAnotherPlaysDoesNotFlush) {
    Install();
    SpeechChannel a = Channel(), b = Channel();
    std::string text = Long();
    ASSERT_EQ(Say(a, text), noErr);
    ASSERT_EQ(Say(b, text), noErr);
    ASSERT_TRUE(WaitFor([&] { return FramesMixed(a) > 4000 && FramesMixed(b) > 4000; }));
    ASSERT_EQ(StopSpeech(a), noErr);
    uint64_t playing = FramesMixed(b);
    ASSERT_TRUE(WaitFor([&] { return FramesMixed(b) > playing + 4000; }));
    EXPECT_FALSE(Has("flush"));
    EXPECT_FALSE(server.Corked());

    // The one left plays out: its tail is heard too.
    ASSERT_EQ(Say(b, "last words."), noErr);
    ASSERT_TRUE(WaitFor([&] { return !Status(b).outputBusy; }));
    ASSERT_TRUE(WaitFor([&] { return server.Corked(); }, 2s));
    EXPECT_FALSE(Has("flush"));
}

TEST_F(ServerSink, AServerThatGoesAwayWhileSpeakingIsOpenedAgainAndTheSpeechGoesOn) {
    Install();
    SpeechChannel c = Channel();
    std::string text = Long();
    ASSERT_EQ(Say(c, text), noErr);
    ASSERT_TRUE(WaitFor([&] { return FramesMixed(c) > 4000; }));
    server.SetPresent(false);
    std::this_thread::sleep_for(300ms);  // found gone, and tried again meanwhile
    uint64_t gone = FramesMixed(c);
    EXPECT_TRUE(Status(c).outputBusy);
    server.SetPresent(true);
    ASSERT_TRUE(WaitFor([&] { return FramesMixed(c) > gone + 4000; }, 5s));
    EXPECT_EQ(server.Opens(), 2);
    ASSERT_TRUE(WaitFor([&] { return !Status(c).outputBusy; }, 20s));
    ASSERT_TRUE(WaitFor([&] { return server.Corked(); }, 2s));
}

// No server at start (the program started before it, at login): a channel is made and speech
// asked of it fails at once, keeping nothing; once the server is there, it speaks.
TEST_F(ServerSink, AServerThatComesAfterTheStartIsUsedOnceItIsThere) {
    server.SetPresent(false);
    Install();
    EXPECT_FALSE(SpeechAvailable());
    SpeechChannel c = Channel();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(Say(c, "not heard"), kSpeechNoAudioErr);
    EXPECT_FALSE(Status(c).outputBusy);
    server.SetPresent(true);
    ASSERT_TRUE(WaitFor([&] { return SpeechAvailable(); }, 5s));
    ASSERT_EQ(Say(c, "heard now."), noErr);
    ASSERT_TRUE(WaitFor([&] { return !Status(c).outputBusy; }));
    EXPECT_GE(server.SoundingWritten(), 990u);
    EXPECT_LE(server.SoundingWritten(), 1000u);
    EXPECT_EQ(server.Opens(), 1);
}

// The choice made at start: the server where it answers, the device where it does not; and the
// one that opened first is kept, so a server gone for a while is waited for.
TEST(SystemSink, TakesTheServerElseTheFallbackAndKeepsWhatItTookFirst) {
    auto engine = std::make_shared<RecordingEngine>();
    InstallEngine(engine);
    FakePulseServer server;
    server.SetPresent(false);
    auto device = std::make_shared<FakeAudioDevice>();
    int serversMade = 0;
    InstallAudioSink(MakeSystemAudioSink(
        [&] {
            ++serversMade;
            return MakePulseAudioSink(server.Backend());
        },
        [&] { return device; }));
    EXPECT_TRUE(SpeechAvailable());
    EXPECT_EQ(device->Opens(), 1);

    SpeechChannel c = nullptr;
    ASSERT_EQ(NewSpeechChannel(nullptr, &c), noErr);
    std::string text(4000, 'a');
    ASSERT_EQ(SpeakText(c, text.data(), uint32_t(text.size())), noErr);
    ASSERT_TRUE(WaitFor([&] { return FramesMixed(c) > 4000; }));
    server.SetPresent(true);
    device->SetPresent(false);
    ASSERT_TRUE(WaitFor([&] { return device->Attempts() > 2; }, 5s));
    EXPECT_EQ(server.Opens(), 0);
    EXPECT_EQ(serversMade, 1);
    device->SetPresent(true);
    ASSERT_TRUE(WaitFor([&] { return !Status(c).outputBusy; }, 20s));
    EXPECT_EQ(DisposeSpeechChannel(c), noErr);
    InstallAudioSink(std::make_shared<ManualAudioClock>());
}

}  // namespace
