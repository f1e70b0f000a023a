// The main window's reading, stop, clear, copy and rate commands, through the real buttons
// and slider, with the speech layer's synthesizer recording what reaches the reading channel.
// No audio is pulled unless a test does, so whatever the channel was given stays speaking.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSlider>
#include <QWindow>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/speechsynthesis/Notify.h"
#include "platform/speechsynthesis/doubles.h"
#include "tests/editor/main_window_harness.h"

namespace {

namespace speech = vellora::speech;
using Call = speech::Engine::ChannelCall;
using editor_test::paste;
using editor_test::type;

std::shared_ptr<speech::testing::RecordingEngine> gEngine;
std::shared_ptr<speech::testing::ManualAudioClock> gAudio;
editor_test::ProgramState* gState = nullptr;

constexpr const char* kNoText = "There is no text to speak!";
constexpr const char* kNoSelection = "No text has been selected!";
constexpr const char* kCantSpeak = "I can't speak that text.";
constexpr const char* kNoSpeech = "Speech is not available on this computer configuration.";

class Commands : public editor_test::OpenMainWindow {
  protected:
    void SetUp() override {
        OpenMainWindow::SetUp();
        ASSERT_TRUE(Module1::sc);
        clearText();
        seen_ = gEngine->Calls().size();
    }

    // The channel's calls of these kinds since the last look.
    std::vector<Call> calls(std::initializer_list<Call::Kind> kinds) {
        std::vector<Call> all = gEngine->Calls(), out;
        for (size_t i = seen_; i < all.size(); ++i)
            for (Call::Kind k : kinds)
                if (all[i].kind == k) out.push_back(all[i]);
        seen_ = all.size();
        return out;
    }
    // The texts handed to the channel's Speak since the last look.
    std::vector<std::string> spoken() {
        std::vector<std::string> texts;
        for (const Call& c : calls({Call::Speak})) texts.push_back(c.text);
        return texts;
    }
    void setText(const char* t, int32_t selStart, int32_t selLength = 0) {
        w_->EditField1()->setText(t);
        w_->EditField1()->setSelStart(selStart);
        w_->EditField1()->setSelLength(selLength);
    }

    size_t seen_ = 0;
    rb::testing::RecordingSpeaker echo_;
};

TEST_F(Commands, SpeakToEndReadsFromTheCaretOrAllWhileShiftIsHeld) {
    struct Row {
        const char* text;
        int32_t selStart, selLength;
        bool shift;
        const char* spoken;
    } rows[] = {
        {"", 0, 0, false, kNoText},
        {"Hello world", 11, 0, false, kNoText},  // the caret at the end
        {"Hello world", 0, 0, false, "Hello world"},
        {"0123456789", 3, 4, false, "3456789"},  // from the selection's start, not only it
        // The channel gets Mac Roman; a character outside the BMP counts as one.
        {"\xC3\x87"
         "a \xC3\xA9t\xC3\xA9 dit",
         3, 0, false, "\x8Et\x8E dit"},
        {"d\xC3\xA9j\xC3\xA0 vu\nencore", 2, 0, false, "j\x88 vu\nencore"},
        {"x\xF0\x9F\x98\x80y\nz", 2, 0, false, "y\nz"},
        {"Hello world", 6, 0, true, "Hello world"},
        {"Hello world", 11, 0, true, "Hello world"},
        {"", 0, 0, true, kNoText},
    };
    auto caption = [&] { return w_->SpeakToEnd()->Caption().toUtf8(); };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message()
                     << '"' << r.text << "\" caret " << r.selStart << " shift " << r.shift);
        setText(r.text, r.selStart, r.selLength);
        // The caption shows the mode; it follows Shift on the timer's next tick.
        keys_.held.clear();
        if (r.shift) keys_.held.insert(0x38);
        const char* mode = r.shift ? "Speak All" : "Speak to End";
        ASSERT_TRUE(QTest::qWaitFor([&] { return caption() == mode; }, 1000));
        QTest::mouseClick(w_->SpeakToEnd()->button(), Qt::LeftButton);
        EXPECT_EQ(spoken(), std::vector<std::string>{r.spoken});
        EXPECT_TRUE(Module1::sc->Playing());
    }
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(Commands, SpeakSelectedReadsTheSelectionOrSaysThereIsNone) {
    setText("Hello world", 3, 5);
    w_->SpeakSelected()->Push();
    setText("Hello world", 3);
    w_->SpeakSelected()->Push();
    setText("", 0);
    w_->SpeakSelected()->Push();
    setText("d\xC3\xA9j\xC3\xA0 vu\nl\xC3\xA0", 1, 7);
    w_->SpeakSelected()->Push();
    EXPECT_EQ(spoken(),
              (std::vector<std::string>{"lo wo", kNoSelection, kNoSelection, "\x8Ej\x88 vu\n"}));
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(Commands, StopPausesAtOnceAndTheNextReadingStartsAfresh) {
    setText("The first text to read.", 0);
    w_->SpeakToEnd()->Push();
    ASSERT_EQ(spoken().size(), 1u);
    // Some of it heard.
    ASSERT_TRUE(speech::testing::WaitUntilIdle());
    gAudio->Pull(500);
    ASSERT_TRUE(Module1::sc->Playing());

    w_->StopSpeaking()->Push();
    std::vector<Call> stop = calls({Call::Pause, Call::Stop, Call::Continue});
    ASSERT_EQ(stop.size(), 1u);
    EXPECT_EQ(stop[0].kind, Call::Pause);
    EXPECT_EQ(stop[0].where, 0);
    EXPECT_TRUE(Module1::sc->Paused());
    SpeechChannel chan = reinterpret_cast<SpeechChannel>(stop[0].channel);
    uint64_t heard = speech::testing::FramesMixed(chan);
    EXPECT_GT(heard, 0u);
    for (int16_t sample : gAudio->Pull(2000)) ASSERT_EQ(sample, 0);
    EXPECT_EQ(speech::testing::FramesMixed(chan), heard);

    setText("The second one.", 0);
    w_->SpeakToEnd()->Push();
    EXPECT_EQ(calls({Call::Speak, Call::Continue, Call::Stop}).back().text, "The second one.");
    EXPECT_FALSE(Module1::sc->Paused());
    EXPECT_TRUE(Module1::sc->Playing());
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(Commands, ClearAllEmptiesTextAndClipboardAndLetsSpeechGoOn) {
    QClipboard* clipboard = QApplication::clipboard();
    // An empty text: the clipboard is emptied all the same, whoever filled it.
    clipboard->setText("from another program");
    Module1::StartChar = 5;
    w_->ClearAll()->Push();
    EXPECT_EQ(text(), "");
    EXPECT_EQ(Module1::StartChar, 0);
    EXPECT_TRUE(clipboard->text().isEmpty());
    const QMimeData* data = clipboard->mimeData();
    EXPECT_TRUE(!data || data->formats().isEmpty());

    // While the channel reads.
    type(edit(), "Hello world. Read");
    w_->EditField1()->setSelStart(0);
    w_->SpeakToEnd()->Push();
    ASSERT_TRUE(Module1::sc->Playing());
    calls({Call::Speak});
    clipboard->setText("Hello");
    w_->ClearAll()->Push();
    EXPECT_EQ(text(), "");
    EXPECT_EQ(Module1::StartChar, 0);
    EXPECT_TRUE(clipboard->text().isEmpty());
    EXPECT_TRUE(Module1::sc->Playing());
    EXPECT_TRUE(calls({Call::Stop, Call::Pause}).empty());
    EXPECT_EQ(w_->SpeakToEnd()->Caption().toUtf8(), "Speak to End");
    // The echo starts over on the empty text.
    echo_.spoken.clear();
    type(edit(), "New ");
    EXPECT_EQ(echo_.spoken, (std::vector<std::pair<std::string, bool>>{{"New ", false}}));
}

// Clear All is one edit of the text: Undo brings it back, as after deleting a selection.
TEST_F(Commands, ClearAllCanBeUndone) {
    type(edit(), "Dear Ann, see you. ");
    w_->ClearAll()->Push();
    ASSERT_EQ(text(), "");
    QTest::keyClick(edit(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(text(), "Dear Ann, see you. ");
}

// Shift is held for "?" and "!", so Shift+Enter comes easily: its line break is read as one.
TEST_F(Commands, SpeakSelectedReadsLineBreaksOfEitherKind) {
    type(edit(), "Why?");
    QTest::keyClick(edit(), Qt::Key_Return, Qt::ShiftModifier);
    type(edit(), "Because.");
    QTest::keyClick(edit(), Qt::Key_Return);
    paste(edit(), QString::fromUtf8("Pasted\u2028line"));
    w_->EditField1()->SelectAll();
    EXPECT_EQ(w_->EditField1()->SelText().toUtf8(), "Why?\nBecause.\nPasted\nline");
    w_->SpeakSelected()->Push();
    EXPECT_EQ(spoken(), (std::vector<std::string>{"Why?\nBecause.\nPasted\nline"}));
    EXPECT_TRUE(dialogs_.messages.empty()) << "not refused";
}

// Clear All empties the clipboard, and on X11 an empty clipboard is an object without a
// format: pasting it, by key or from the Edit menu, must leave the user's text as it was.
TEST_F(Commands, PastingAfterClearAllKeepsTheText) {
    w_->ClearAll()->Push();
    type(edit(), "Hello world");
    QAction* pasteItem = nullptr;
    for (QAction* menu : w_->qwindow()->menuBar()->actions())
        for (QAction* a : menu->menu()->actions())
            if (a->shortcut() == QKeySequence("Ctrl+V")) pasteItem = a;
    ASSERT_NE(pasteItem, nullptr);
    for (int i = 0; i < 2; ++i) {
        QApplication::clipboard()->setMimeData(new QMimeData);
        QTest::keyClick(w_->qwindow()->windowHandle(), Qt::Key_V, Qt::ControlModifier);
        pasteItem->trigger();
    }
    EXPECT_EQ(text(), "Hello world");
    // And text on the clipboard still pastes, by key and by menu.
    QApplication::clipboard()->setText("!");
    QTest::keyClick(w_->qwindow()->windowHandle(), Qt::Key_V, Qt::ControlModifier);
    pasteItem->trigger();
    EXPECT_EQ(text(), "Hello world!!");
}

TEST_F(Commands, TextToClipboardCopiesAllAndPutsTheCaretAtTheEnd) {
    type(edit(), "Hello world");
    w_->EditField1()->setSelStart(5);
    w_->TextToClipboard()->Push();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "Hello world");
    EXPECT_EQ(w_->EditField1()->SelStart(), 11);
    EXPECT_EQ(w_->EditField1()->SelLength(), 0);
    // Where the echo needs it: the next word is heard.
    echo_.spoken.clear();
    type(edit(), ".");
    EXPECT_EQ(echo_.spoken, (std::vector<std::pair<std::string, bool>>{{"world.", false}}));
}

TEST_F(Commands, SliderSetsTheChannelsRateAndTheStoredOneSavedAtClose) {
    QSlider* slider = static_cast<QSlider*>(w_->RateSlider()->widget());
    w_->RateSlider()->setValue(174);
    calls({Call::SetRate});
    w_->RateSlider()->setValue(175);
    std::vector<Call> rates = calls({Call::SetRate});
    ASSERT_EQ(rates.size(), 1u);
    EXPECT_EQ(rates[0].value, 175 << 16);
    EXPECT_EQ(Module1::sc->Rate(), 175.0);
    EXPECT_EQ(prefModule::SpeakingRate, 175);

    // Through the whole range with the keys: each step reaches the channel.
    QTest::keyClick(slider, Qt::Key_Home);
    for (int i = 0; i < 160; ++i) QTest::keyClick(slider, Qt::Key_Right);
    std::vector<int32_t> got, want;
    for (const Call& c : calls({Call::SetRate})) got.push_back(c.value >> 16);
    for (int v = 100; v <= 250; ++v) want.push_back(v);
    EXPECT_EQ(got, want);
    EXPECT_EQ(prefModule::SpeakingRate, 250);
    EXPECT_EQ(Module1::sc->Rate(), 250.0);

    // The next reading goes at that rate.
    setText("Fast", 0);
    w_->SpeakToEnd()->Push();
    ASSERT_TRUE(speech::testing::WaitUntilIdle());
    ASSERT_FALSE(gEngine->Requests().empty());
    EXPECT_EQ(gEngine->Requests().back().rate, 250);

    w_->RateSlider()->setValue(175);
    w_->Close();
    std::ifstream file(gState->prefFile());
    std::stringstream saved;
    saved << file.rdbuf();
    EXPECT_NE(saved.str().find("#SpeakingRate 175"), std::string::npos) << saved.str();
    EXPECT_TRUE(dialogs_.messages.empty());
}

std::string Sentences(size_t bytes) {
    std::string text;
    for (int i = 0; text.size() < bytes; ++i)
        text += "This is sentence number " + std::to_string(i) + " of a long text. ";
    return text;
}

TEST_F(Commands, AMegabytePastedIsEchoedAtItsLastWordAndReadWhole) {
    const std::string big = Sentences(1000000);
    paste(edit(), QString::fromStdString(big));
    ASSERT_EQ(text().size(), big.size());
    EXPECT_EQ(echo_.spoken, (std::vector<std::pair<std::string, bool>>{{"text. ", false}}));
    EXPECT_EQ(Module1::StartChar, 6);

    w_->EditField1()->setSelStart(0);
    w_->SpeakToEnd()->Push();
    std::vector<std::string> texts = spoken();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0] == big);
    w_->EditField1()->setSelStart(int32_t(big.size()) - 6);
    w_->SpeakToEnd()->Push();
    EXPECT_EQ(spoken(), std::vector<std::string>{"text. "});
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(Commands, EditsInTheMiddleReadFromWhereTheCaretEnds) {
    type(edit(), "Hello big world");
    // Typing over a selection: the caret stands after what was typed.
    w_->EditField1()->setSelStart(6);
    w_->EditField1()->setSelLength(3);
    type(edit(), "small");
    ASSERT_EQ(text(), "Hello small world");
    w_->SpeakToEnd()->Push();
    // Deleting in the middle.
    for (int i = 0; i < 6; ++i) QTest::keyClick(edit(), Qt::Key_Backspace);
    ASSERT_EQ(text(), "Hello world");
    w_->SpeakToEnd()->Push();
    QTest::keyClick(edit(), Qt::Key_Delete);
    w_->SpeakToEnd()->Push();
    w_->SpeakSelected()->Push();
    EXPECT_EQ(spoken(), (std::vector<std::string>{" world", " world", "world", kNoSelection}));
    // Only the words typed at the end were echoed.
    EXPECT_EQ(echo_.spoken,
              (std::vector<std::pair<std::string, bool>>{{"Hello ", false}, {"big ", false}}));
}

TEST_F(Commands, RapidClicksEachReachTheChannel) {
    setText("Again and again.", 0);
    for (int i = 0; i < 50; ++i) {
        QTest::mouseClick(w_->SpeakToEnd()->button(), Qt::LeftButton);
        QTest::mouseClick(w_->StopSpeaking()->button(), Qt::LeftButton);
        QTest::mouseClick(w_->SpeakToEnd()->button(), Qt::LeftButton);
    }
    std::vector<Call> got = calls({Call::Speak, Call::Pause});
    ASSERT_EQ(got.size(), 150u);
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i].kind, i % 3 == 1 ? Call::Pause : Call::Speak) << i;
    EXPECT_TRUE(Module1::sc->Playing());
    EXPECT_FALSE(Module1::sc->Paused());
    // What the last click gave is what is heard.
    ASSERT_TRUE(speech::testing::WaitUntilIdle());
    EXPECT_EQ(gEngine->Requests().back().text, "Again and again.");
    for (int i = 0; i < 20; ++i) w_->StopSpeaking()->Push();
    EXPECT_TRUE(Module1::sc->Paused());
    EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(Commands, TextOutsideMacRomanIsRefusedByTheChannelButEchoed) {
    type(edit(), QString::fromUtf8("café "));
    w_->EditField1()->setSelStart(0);
    w_->SpeakToEnd()->Push();
    EXPECT_EQ(spoken(), std::vector<std::string>{"caf\x8E "});  // é in Mac Roman
    EXPECT_TRUE(dialogs_.messages.empty());

    QTest::keyClick(edit(), Qt::Key_End, Qt::ControlModifier);
    type(edit(), QString::fromUtf8("Привет мир "));
    EXPECT_EQ(echo_.spoken.back(), (std::pair<std::string, bool>{"мир ", false}));
    w_->EditField1()->setSelStart(0);
    w_->SpeakToEnd()->Push();
    w_->EditField1()->SelectAll();
    w_->SpeakSelected()->Push();
    EXPECT_EQ(dialogs_.messages, (std::vector<std::string>{kCantSpeak, kCantSpeak}));
    EXPECT_TRUE(spoken().empty());
}

TEST_F(Commands, WithoutAChannelTheCommandsSaySoAndTheOthersWork) {
    rb::Ref<SpeechChannelZRQ> kept = Module1::sc;
    Module1::sc = nullptr;
    int32_t rate = prefModule::SpeakingRate;
    setText("Hello", 0, 2);
    w_->SpeakToEnd()->Push();
    w_->SpeakSelected()->Push();
    w_->StopSpeaking()->Push();
    w_->RateSlider()->setValue(w_->RateSlider()->Value() == 120 ? 130 : 120);
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>(4, kNoSpeech));
    EXPECT_EQ(prefModule::SpeakingRate, rate);

    w_->TextToClipboard()->Push();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "Hello");
    w_->ClearAll()->Push();
    EXPECT_EQ(text(), "");
    EXPECT_EQ(dialogs_.messages.size(), 4u);
    EXPECT_TRUE(spoken().empty());
    EXPECT_TRUE(calls({Call::SetRate, Call::Pause}).empty());
    Module1::sc = kept;
}

// A sound output that comes only after the window opened (a sound server that starts late):
// until then the reading buttons say speech is not available, not that the text is at fault;
// once it is there, the same channel reads.
TEST_F(Commands, WithoutAnOutputYetTheButtonsSaySoThenReadOnceItComes) {
    auto late = std::make_shared<speech::testing::FakeAudioDevice>();
    late->SetPresent(false);
    speech::testing::InstallAudioSink(late);
    size_t made = gEngine->Requests().size();
    setText("Hello", 0);
    w_->SpeakToEnd()->Push();
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{kNoSpeech});
    speech::testing::WaitUntilIdle();
    EXPECT_EQ(gEngine->Requests().size(), made);  // nothing was synthesized

    late->SetPresent(true);
    for (int i = 0; i < 500 && !speech::SpeechAvailable(); ++i) QTest::qWait(10);
    ASSERT_TRUE(speech::SpeechAvailable());
    w_->SpeakToEnd()->Push();
    EXPECT_EQ(dialogs_.messages.size(), 1u);
    ASSERT_TRUE(speech::testing::WaitUntilIdle());
    std::vector<speech::SynthRequest> requests = gEngine->Requests();
    ASSERT_EQ(requests.size(), made + 1);
    EXPECT_EQ(requests.back().text, "Hello");
    w_->StopSpeaking()->Push();
    speech::testing::InstallAudioSink(gAudio);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    rb::RuntimeInit(argc, argv);
    gEngine = std::make_shared<speech::testing::RecordingEngine>();
    gAudio = std::make_shared<speech::testing::ManualAudioClock>();
    speech::testing::InstallEngine(gEngine);
    speech::testing::InstallAudioSink(gAudio);
    int result;
    {
        editor_test::ProgramState state;
        gState = &state;
        result = RUN_ALL_TESTS();
        gState = nullptr;
    }
    rb::RuntimeExit();
    return result;
}
