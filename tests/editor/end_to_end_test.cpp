// The whole program with the real espeak-ng on SDL's silent driver: words typed are heard,
// the text is read and the reading paused, then the window closes and the program ends.
// The synthesizer is watched through a pass-through that only notes which texts reached
// which channel, so that the test can ask the audio output what it played of each.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "editor/Module1.h"
#include "editor/Window1.h"
#include "platform/rbframework/gui/runtime.h"
#include "platform/rbframework/testing.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "platform/speechsynthesis/doubles.h"
#include "program/program.h"
#include "tests/support/env.h"

namespace {

namespace speech = vellora::speech;

class PassThroughEngine final : public speech::testing::ForwardingEngine {
  public:
    using ForwardingEngine::ForwardingEngine;
    void note(const ChannelCall& call) override {
        if (call.kind == ChannelCall::Speak) {
            std::lock_guard lock(mutex_);
            spoken_.emplace_back(call.channel, call.text);
        }
        ForwardingEngine::note(call);
    }
    std::vector<std::pair<uintptr_t, std::string>> spoken() const {
        std::lock_guard lock(mutex_);
        return spoken_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::pair<uintptr_t, std::string>> spoken_;
};

std::shared_ptr<PassThroughEngine> gEngine;

uint64_t Heard(uintptr_t channel) {
    return speech::testing::FramesMixed(reinterpret_cast<SpeechChannel>(channel));
}

// Runs inside the program's event loop, on the open main window.
void TypeReadAndPause(Window1& w) {
    QPlainTextEdit* edit = w.EditField1()->edit();
    edit->setFocus();
    QApplication::setActiveWindow(w.qwindow());
    ASSERT_TRUE(Module1::sc);

    QTest::keyClicks(edit, "Hello ");
    EXPECT_GT(SpeechBusy(), 0);  // the first word is being spoken
    QTest::keyClicks(edit, "world. ");
    ASSERT_TRUE(QTest::qWaitFor([] { return gEngine->spoken().size() >= 2; }, 20000));
    auto echoed = gEngine->spoken();
    ASSERT_EQ(echoed.size(), 2u);
    EXPECT_EQ(echoed[0].second, "Hello ");
    EXPECT_EQ(echoed[1].second, "world.");
    uintptr_t echo = echoed[0].first;
    EXPECT_EQ(echoed[1].first, echo);  // one channel, one word after the other
    EXPECT_TRUE(QTest::qWaitFor([&] { return Heard(echo) > 0; }, 10000));

    w.EditField1()->setSelStart(0);
    w.SpeakToEnd()->Push();
    EXPECT_TRUE(Module1::sc->Playing());
    auto all = gEngine->spoken();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[2].second, "Hello world. ");
    uintptr_t reading = all[2].first;
    EXPECT_NE(reading, echo);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Heard(reading) > 0; }, 10000));

    w.StopSpeaking()->Push();
    EXPECT_TRUE(Module1::sc->Paused());
    EXPECT_TRUE(Module1::sc->Playing());  // paused, not stopped
}

TEST(EndToEnd, TypedWordsAreHeardAndTheReadingPauses) {
    int64_t objects = rb::Object::liveCount();
    bool ran = false;
    ProgramParts parts = VelloraParts();
    parts.makeDefaultView = [&, make = parts.makeDefaultView] {
        make();
        QTimer::singleShot(0, [&] {
            rb::Ref<rb::Window> w = rb::Ref<rb::Window>::retain(rb::_GetImplicitWindow("Window1"));
            if (auto* main = dynamic_cast<Window1*>(w.get())) {
                ran = true;
                TypeReadAndPause(*main);
            }
            if (w) w->Close();
        });
    };
    QTemporaryDir config;
    vellora_test::ScopedEnv xdg("XDG_CONFIG_HOME", config.path().toStdString());
    rb::testing::RecordingDialogs dialogs;
    EXPECT_EQ(_Main(parts), 0);
    EXPECT_TRUE(ran);
    // The first start's notice, and no other.
    EXPECT_EQ(dialogs.messages,
              std::vector<std::string>{"Please read the Help information before using Vellora!"});
    EXPECT_EQ(rb::Object::liveCount(), objects);
}

// Asked to end while a megabyte is being read aloud: the program quits from its event loop as
// the close box would, the settings saved and every object released.
TEST(EndToEnd, SigtermWhileReadingAMegabyteQuitsWithTheSettingsSaved) {
    // A start of its own: the one before ended the runtime.
    static char arg0[] = "vellora";
    static char* argv[] = {arg0, nullptr};
    rb::RuntimeInit(1, argv);
    int64_t objects = rb::Object::liveCount();
    bool reading = false;
    ProgramParts parts = VelloraParts();
    parts.makeDefaultView = [&, make = parts.makeDefaultView] {
        make();
        QTimer::singleShot(0, [&] {
            auto* w = dynamic_cast<Window1*>(rb::_GetImplicitWindow("Window1"));
            if (!w || !Module1::sc) return rb::Quit(3);
            std::string text;
            while (text.size() < 1000000) text += "A sentence of the long text is read. ";
            w->EditField1()->setText(rb::String(text));
            w->EditField1()->setSelStart(0);
            w->SpeakToEnd()->Push();
            reading = Module1::sc->Playing();
            raise(SIGTERM);
        });
    };
    QTemporaryDir config;
    vellora_test::ScopedEnv xdg("XDG_CONFIG_HOME", config.path().toStdString());
    rb::testing::RecordingDialogs dialogs;
    EXPECT_EQ(_Main(parts), 0);
    EXPECT_TRUE(reading);
    EXPECT_TRUE(QFile::exists(config.filePath("vellora.txt")));
    EXPECT_EQ(rb::Object::liveCount(), objects);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    rb::RuntimeInit(argc, argv);
    gEngine = std::make_shared<PassThroughEngine>(speech::testing::MakeEspeakEngine());
    speech::testing::InstallEngine(gEngine);
    int result = RUN_ALL_TESTS();
    rb::RuntimeExit();
    return result;
}
