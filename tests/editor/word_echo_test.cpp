// The word echo and the key timer of the main window, driven by real key events in the
// offscreen text area; the runtime's speech is recorded instead of heard.
#include <QApplication>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/rbframework/string_functions.h"
#include "platform/speechsynthesis/doubles.h"
#include "tests/editor/main_window_harness.h"

namespace {

using editor_test::paste;
using editor_test::type;
using Spoken = std::vector<std::pair<std::string, bool>>;

class WordEcho : public editor_test::OpenMainWindow {
  protected:
    void SetUp() override {
        OpenMainWindow::SetUp();
        clearText();
    }
    // What the echo spoke since the last call.
    Spoken heard() { return std::exchange(speaker_.spoken, {}); }

    rb::testing::RecordingSpeaker speaker_;
};

// Presses keys given as "Ctrl+Home, Shift+Right*3, Backspace", after each running `tick` (if
// any) as the timer would while the keys are held.
void press(QWidget* w, const QString& keys, const std::function<void()>& tick = {}) {
    for (const QString& k : keys.split(", ")) {
        QStringList keyAndTimes = k.split('*');
        QKeyCombination combo = QKeySequence::fromString(keyAndTimes[0])[0];
        ASSERT_NE(combo.key(), Qt::Key_unknown) << k.toStdString();
        for (int i = keyAndTimes.value(1, "1").toInt(); i > 0; --i) {
            QTest::keyClick(w, combo.key(), combo.keyboardModifiers());
            if (tick) tick();
        }
    }
}

// Each step is typed, pasted or pressed in the real text area; the table holds what the echo
// spoke and StartChar after it. Where a step is no typing at the end, the text after it is
// given.
TEST_F(WordEcho, SpeaksEachWordWhenItsDelimiterIsTyped) {
    enum How {
        Anew,        // typed into an empty text
        AnewPasted,  // pasted into an empty text
        Typed,
        Pasted,
        Keys,
        HeldKeys,  // pressed with Backspace held, a tick of the timer after each
    };
    struct Step {
        How how;
        const char* keys;
        std::vector<const char*> spoken;
        int32_t startChar;
        const char* text = nullptr;  // when not the text before with what was typed added
    } steps[] = {
        {Anew, "H", {}, 0},
        {Typed, "i", {}, 0},
        {Typed, " ", {"Hi "}, 3},
        {Typed, "there", {}, 3},
        {Typed, ".", {"there."}, 9},
        {Typed, " ", {}, 9},  // the delimiter alone
        {Typed, "Bye!", {"Bye!"}, 13},
        {Typed, "?", {"!?"}, 15},  // two characters: spoken whole
        {Typed, "x", {}, 15},
        {AnewPasted, "one two", {}, 0},
        {Typed, ",", {"two,"}, 4},
        {Typed, "!", {"two,!"}, 9},  // the ',' before the '!' is not examined
        {Anew, "a.", {"a."}, 2},
        {Anew, "Hi\nyou", {}, 0},  // a line break ends no word
        {Typed, " ", {"Hi\nyou "}, 7},
        {AnewPasted, "Hi\tyou", {}, 0},  // nor a tab (typed, it moves the focus)
        {Typed, " ", {"Hi\tyou "}, 7},
        {AnewPasted, "one two ", {"two "}, 4},  // a paste that ends with a delimiter
        {Typed, "-\"x\"", {}, 4},               // hyphen, quotes: no delimiters
        {Typed, ";", {"-\"x\";"}, 9},
        // A character outside the Basic Multilingual Plane counts one, as in Len.
        {AnewPasted, "\xF0\x9F\x98\x80 ab", {}, 0},
        {Typed, ",", {"ab,"}, 3},
        {Typed, " ", {"b, "}, 6},  // what was spoken counts from StartChar, not the word

        // A word put before the heard text moves the count with that text, so that typing at
        // the end goes on as if nothing had been put there.
        {Anew, "Alpha bravo. ", {"Alpha ", "bravo."}, 12},
        {Keys, "Ctrl+Home", {}, 12},
        {Typed, "Elephant ", {}, 21, "Elephant Alpha bravo. "},
        {Keys, "Ctrl+End", {}, 21},
        {Typed, "Zulu.", {"Zulu."}, 26},
        {Typed, " ", {". "}, 28},  // as after any word that a blank began
        {Typed, "Yankee. ", {"Yankee."}, 35},
        // Corrections by every means before the unheard text, each moving the count by what
        // it added or took away, in characters.
        {Anew, "One two three. ", {"One ", "two ", "three."}, 14},
        {Keys, "Ctrl+Home, Delete", {}, 13, "ne two three. "},
        {Keys, "Ctrl+Right, Backspace", {}, 12, "netwo three. "},
        {Keys, "Ctrl+Backspace", {}, 10, "two three. "},
        {Keys, "Shift+Right*2, Ctrl+X", {}, 8, "o three. "},
        {Keys, "Ctrl+V", {}, 10, "two three. "},
        {Keys, "Ctrl+Z", {}, 8, "o three. "},
        {HeldKeys, "Ctrl+Right, Backspace", {}, 7, "othree. "},  // the timer agrees
        {Pasted, "\xF0\x9F\x98\x80\xC3\xA9 ", {}, 10, "o\xF0\x9F\x98\x80\xC3\xA9 three. "},
        {Keys, "Ctrl+Home, Shift+Right", {}, 10},
        // Typed over a selection.
        {Typed, "\xC3\x98", {}, 10, "\xC3\x98\xF0\x9F\x98\x80\xC3\xA9 three. "},
        {Keys, "Delete", {}, 9, "\xC3\x98\xC3\xA9 three. "},
        {Keys, "Ctrl+End", {}, 9},
        {Typed, "four. ", {"four.", ". "}, 16},
        // A quick tap of Backspace, which no tick sees: past heard text, the count goes back
        // as the timer would take it, to the word being corrected.
        {Anew, "Hello world. ", {"Hello ", "world."}, 12},
        {Keys, "Backspace", {}, 12, "Hello world."},
        {Keys, "Backspace", {}, 6, "Hello world"},
        {Typed, "!", {"world!"}, 12},
        {Keys, "Backspace*7", {}, 0, "Hello"},
        {Typed, " there ", {"Hello ", "there "}, 12},
        // Heard text replaced or cut away together with unheard text: the changed word is
        // unheard, so the corrected word is spoken whole at its delimiter.
        {Anew, "Alpha bravo", {"Alpha "}, 6},
        {Keys, "Ctrl+Home, Right*2, Shift+Ctrl+Right, Shift+Right*3", {}, 6},
        {Pasted, "X\xF0\x9F\x98\x80Y", {}, 0, "AlX\xF0\x9F\x98\x80Yvo"},
        {Keys, "Ctrl+End", {}, 0},
        {Typed, " ", {"AlX\xF0\x9F\x98\x80Yvo "}, 8},
        {Keys, "Shift+Home", {}, 8},
        {Pasted, "Now.", {"Now."}, 4, "Now."},  // over all of it, at the end
        {Keys, "Shift+Left*2", {}, 4},
        {Typed, "?", {"No?"}, 3, "No?"},
        {Anew, "Hello world. Bye", {"Hello ", "world."}, 12},
        {Keys, "Left*2, Shift+Left*3, Ctrl+X", {}, 6, "Hello worldye"},
        {Keys, "Ctrl+End", {}, 6},
        {Typed, "s ", {"worldyes "}, 15},
    };
    std::string session;
    for (const Step& s : steps) {
        if (s.how == Anew || s.how == AnewPasted) {
            clearText();
            session.clear();
        }
        if (s.text)
            session = s.text;
        else if (s.how != Keys && s.how != HeldKeys)
            session += s.keys;
        SCOPED_TRACE(testing::Message() << "after " << s.keys << " to \"" << session << "\"");
        switch (s.how) {
            case Anew:
            case Typed:
                type(edit(), QString::fromUtf8(s.keys));
                break;
            case AnewPasted:
            case Pasted:
                paste(edit(), QString::fromUtf8(s.keys));
                break;
            case Keys:
                press(edit(), s.keys);
                break;
            case HeldKeys:
                keys_.held = {0x33};
                press(edit(), s.keys, [&] { w_->Timer1_Action(); });
                keys_.held.clear();
                break;
        }
        Spoken want;
        for (const char* p : s.spoken) want.emplace_back(p, false);  // never interrupting
        EXPECT_EQ(heard(), want);
        EXPECT_EQ(Module1::StartChar, s.startChar);
        EXPECT_EQ(text(), session);
    }
}

TEST_F(WordEcho, IsSilentUnlessTheCaretStandsAtTheEnd) {
    type(edit(), "Hello world");
    ASSERT_EQ(heard(), (Spoken{{"Hello ", false}}));
    ASSERT_EQ(Module1::StartChar, 6);

    // The caret inside the text.
    w_->EditField1()->setSelStart(5);
    type(edit(), ", ");
    EXPECT_EQ(text(), "Hello,  world");
    // A selection inside the text, typed over.
    w_->EditField1()->setSelStart(0);
    w_->EditField1()->setSelLength(5);
    type(edit(), "Bye.");
    EXPECT_EQ(text(), "Bye.,  world");
    EXPECT_EQ(heard(), Spoken{});
    EXPECT_EQ(Module1::StartChar, 7);  // moved with the text before the unheard "world"

    // Back at the end, the echo takes up "world" where it was.
    QTest::keyClick(edit(), Qt::Key_End, Qt::ControlModifier);
    type(edit(), "!");
    EXPECT_EQ(heard(), (Spoken{{"world!", false}}));
    EXPECT_EQ(Module1::StartChar, 13);
}

TEST_F(WordEcho, SpeaksTextOfAnyScript) {
    type(edit(), QString::fromUtf8("Привет, café "));
    EXPECT_EQ(heard(), (Spoken{{"Привет,", false}, {"café ", false}}));
}

using KeyTimer = WordEcho;

TEST_F(KeyTimer, WithDeleteHeldCountsTheTextUpToItsLastDelimiterAsSpoken) {
    struct Row {
        const char* text;
        int32_t before, after;
    } rows[] = {
        {"Hi there. Bye", 99, 10},
        {"Hi ", 99, 0},        // the trailing blank is not examined
        {"Hi there.", 99, 3},  // nor is the trailing '.'
        {"", 7, 7},            // nothing to scan
        {"x", 7, 0},
        {"a.b", 7, 2},
        {"ab\xF0\x9F\x98\x80.\xF0\x9F\x98\x80x", 99, 4},  // each pair one character
    };
    keys_.held = {0x33};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        w_->EditField1()->setText(r.text);
        Module1::StartChar = r.before;
        w_->Timer1_Action();
        EXPECT_EQ(Module1::StartChar, r.after);
    }
    keys_.held.clear();
    w_->EditField1()->setText("Hi there. Bye");
    Module1::StartChar = 4;
    w_->Timer1_Action();
    EXPECT_EQ(Module1::StartChar, 4);
}

TEST_F(KeyTimer, DeletingWithTheKeyHeldLetsTheNextWordBeSpoken) {
    type(edit(), "Hi there. Bye");
    ASSERT_EQ(heard(), (Spoken{{"Hi ", false}, {"there.", false}}));
    keys_.held = {0x33};
    w_->Timer1_Action();
    keys_.held.clear();
    EXPECT_EQ(Module1::StartChar, 10);
    type(edit(), "!");
    EXPECT_EQ(heard(), (Spoken{{"Bye!", false}}));
    EXPECT_EQ(Module1::StartChar, 14);

    // Held while the whole of "there. Bye!" goes, a tick after each key.
    keys_.held = {0x33};
    for (int i = 0; i < 11; ++i) {
        QTest::keyClick(edit(), Qt::Key_Backspace);
        w_->Timer1_Action();
    }
    keys_.held.clear();
    ASSERT_EQ(text(), "Hi ");
    EXPECT_EQ(Module1::StartChar, 0);
    type(edit(), "you ");
    EXPECT_EQ(heard(), (Spoken{{"you ", false}}));
    EXPECT_EQ(Module1::StartChar, 4);
}

TEST_F(KeyTimer, CaptionFollowsShiftWithinATick) {
    auto caption = [&] { return w_->SpeakToEnd()->Caption().toUtf8(); };
    ASSERT_EQ(caption(), "Speak to End");
    keys_.held = {0x38};
    EXPECT_TRUE(QTest::qWaitFor([&] { return caption() == "Speak All"; }, 1000));
    keys_.held.clear();
    EXPECT_TRUE(QTest::qWaitFor([&] { return caption() == "Speak to End"; }, 1000));
    // Delete alone leaves the caption as it is.
    keys_.held = {0x33};
    w_->Timer1_Action();
    EXPECT_EQ(caption(), "Speak to End");
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    rb::RuntimeInit(argc, argv);
    // The reading channel is made at open; it never speaks here, so it speaks into nothing.
    vellora::speech::testing::InstallEngine(
        std::make_shared<vellora::speech::testing::RecordingEngine>());
    vellora::speech::testing::InstallAudioSink(
        std::make_shared<vellora::speech::testing::ManualAudioClock>());
    int result;
    {
        editor_test::ProgramState state;
        result = RUN_ALL_TESTS();
    }
    rb::RuntimeExit();
    return result;
}
