// The runtime's speech of one string and its keyboard state.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/keyboard.h"
#include "platform/rbframework/speech.h"
#include "platform/rbframework/testing.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "platform/speechsynthesis/doubles.h"
#include "tests/speechsynthesis/shaped_engine.h"

namespace {

using namespace vellora::speech::testing;

class RuntimeSpeech : public ::testing::Test {
  protected:
    void SetUp() override {
        engine_ = std::make_shared<RecordingEngine>();
        engine_->SetFramesPerCharacter(100);
        clock_ = std::make_shared<ManualAudioClock>();
        InstallEngine(engine_);
        InstallAudioSink(clock_);
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& r : engine_->Requests()) out.push_back(r.text);
        return out;
    }
    // Plays until the synthesizer has been asked for `count` texts in all.
    bool playUntil(size_t count) {
        return QTest::qWaitFor(
            [&] {
                clock_->Pull(256);
                WaitUntilIdle();
                return engine_->Requests().size() >= count;
            },
            5000);
    }
    std::shared_ptr<RecordingEngine> engine_;
    std::shared_ptr<ManualAudioClock> clock_;
};

TEST_F(RuntimeSpeech, TextsWaitTheirTurnUnlessTheyInterrupt) {
    rb::Speak("Hi ", false);
    ASSERT_TRUE(WaitUntilIdle());
    rb::Speak("there. ", false);
    rb::Speak("\xCE\xB3\xCE\xB5\xCE\xB9\xCE\xB1", false);  // γεια: no Mac Roman form, still spoken
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(texts(), std::vector<std::string>{"Hi "});  // the others wait for the first
    ASSERT_TRUE(playUntil(3));
    EXPECT_EQ(texts(),
              (std::vector<std::string>{"Hi ", "there. ", "\xCE\xB3\xCE\xB5\xCE\xB9\xCE\xB1"}));

    // Once all is said, a text goes out at once; an interrupting one cuts it off and drops
    // what waits behind it.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            clock_->Pull(256);
            return SpeechBusy() == 0;
        },
        5000));
    rb::Speak("long text that goes on", false);
    ASSERT_TRUE(WaitUntilIdle());
    rb::Speak("queued", false);
    rb::Speak("now", true);
    ASSERT_TRUE(playUntil(5));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            clock_->Pull(256);
            return SpeechBusy() == 0;
        },
        5000));
    EXPECT_EQ(texts(),
              (std::vector<std::string>{"Hi ", "there. ", "\xCE\xB3\xCE\xB5\xCE\xB9\xCE\xB1",
                                        "long text that goes on", "now"}));
}

// Typed faster than they are said, words follow each other after a short pause rather than the
// engine's full closing silence, each whole and in order; the last, with nothing behind it,
// keeps its closing silence.
TEST(RuntimeSpeechQueue, WaitingWordsFollowAfterAShortPause) {
    auto engine = std::make_shared<speechtest::ShapedEngine>();
    auto clock = std::make_shared<ManualAudioClock>();
    InstallEngine(engine);
    InstallAudioSink(clock);
    for (const char* word : {"one ", "two ", "six "}) rb::Speak(word, false);
    std::vector<int16_t> played;
    // The fake engine gives the blank sound too: 200 frames for each of the four characters.
    const size_t heard = 4 * engine->perChar, apart = heard + speechtest::kPause;
    while (played.size() < 2 * apart + heard + engine->tail) {
        ASSERT_TRUE(WaitUntilIdle());
        QCoreApplication::processEvents();  // the next word goes out from the program's loop
        ASSERT_TRUE(WaitUntilIdle());
        std::vector<int16_t> block = clock->Pull(128);
        played.insert(played.end(), block.begin(), block.end());
    }
    ASSERT_TRUE(WaitUntilIdle());
    EXPECT_EQ(SpeechBusy(), 0);  // the last word's closing silence played out
    std::vector<speechtest::Stretch> runs = speechtest::Runs(played);
    EXPECT_EQ(runs,
              (std::vector<speechtest::Stretch>{{0, heard}, {apart, heard}, {2 * apart, heard}}));
    ASSERT_EQ(engine->Requests(), 3u);
    for (size_t w = 0; w < 3; ++w) EXPECT_EQ(played[w * apart + 100], engine->Sound(w, 100)) << w;
    InstallEngine(std::make_shared<RecordingEngine>());
}

TEST(RuntimeSpeechSeam, ATestHearsWhatIsSpoken) {
    rb::testing::RecordingSpeaker speaker;
    rb::Speak("word ", false);
    rb::RuntimeSpeak("stop", true);
    EXPECT_EQ(speaker.spoken,
              (std::vector<std::pair<std::string, bool>>{{"word ", false}, {"stop", true}}));
}

TEST(RuntimeKeyboard, FollowsTheKeysAndCanBeHeldByATest) {
    QWidget w;
    w.show();
    EXPECT_FALSE(rb::Keyboard.AsyncKeyDown(0x33));
    QTest::keyPress(&w, Qt::Key_Backspace);
    EXPECT_TRUE(rb::Keyboard.AsyncKeyDown(0x33));
    QTest::keyRelease(&w, Qt::Key_Backspace);
    EXPECT_FALSE(rb::Keyboard.AsyncKeyDown(0x33));
    {
        rb::testing::HeldKeys keys;
        keys.held = {0x38};
        EXPECT_TRUE(rb::Keyboard.AsyncKeyDown(0x38));
        EXPECT_FALSE(rb::Keyboard.AsyncKeyDown(0x33));
    }
    EXPECT_FALSE(rb::Keyboard.AsyncKeyDown(0x38));  // offscreen: no Shift is down
}

// While the application is active its key events tell Shift's state, without a question to the
// window system at every tick of a timer.
TEST(RuntimeKeyboard, ShiftFollowsItsKeyEventsWhileTheApplicationIsActive) {
    QWidget w;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return QGuiApplication::applicationState() == Qt::ApplicationActive; }));
    EXPECT_FALSE(rb::Keyboard.AsyncKeyDown(0x38));
    QTest::keyPress(&w, Qt::Key_Shift);
    EXPECT_TRUE(rb::Keyboard.AsyncKeyDown(0x38));
    QTest::keyRelease(&w, Qt::Key_Shift);
    EXPECT_FALSE(rb::Keyboard.AsyncKeyDown(0x38));
    // A key typed with the other Shift held tells it too, and one typed without, its release.
    QKeyEvent upper(QEvent::KeyPress, Qt::Key_B, Qt::ShiftModifier, "B");
    QApplication::sendEvent(&w, &upper);
    EXPECT_TRUE(rb::Keyboard.AsyncKeyDown(0x38));
    QKeyEvent lower(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, "c");
    QApplication::sendEvent(&w, &lower);
    EXPECT_FALSE(rb::Keyboard.AsyncKeyDown(0x38));
}

}  // namespace
