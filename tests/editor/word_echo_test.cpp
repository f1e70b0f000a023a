// The word echo and the key timer of the main window, driven by real key events in the
// offscreen text area; the runtime's speech is recorded instead of heard.
#include <QApplication>

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

TEST_F(WordEcho, SpeaksEachWordWhenItsDelimiterIsTyped) {
    struct Step {
        bool fresh;  // start again from an empty text
        bool paste;  // pasted rather than typed
        const char* keys;
        std::vector<const char*> spoken;
        int32_t startChar;
    } steps[] = {
        {true, false, "H", {}, 0},
        {false, false, "i", {}, 0},
        {false, false, " ", {"Hi "}, 3},
        {false, false, "there", {}, 3},
        {false, false, ".", {"there."}, 9},
        {false, false, " ", {}, 9},  // the delimiter alone
        {false, false, "Bye!", {"Bye!"}, 13},
        {false, false, "?", {"!?"}, 15},  // two characters: spoken whole
        {false, false, "x", {}, 15},
        {true, true, "one two", {}, 0},
        {false, false, ",", {"two,"}, 4},
        {false, false, "!", {"two,!"}, 9},  // the ',' before the '!' is not examined
        {true, false, "a.", {"a."}, 2},
        {true, false, "Hi\nyou", {}, 0},  // a line break ends no word
        {false, false, " ", {"Hi\nyou "}, 7},
        {true, true, "Hi\tyou", {}, 0},  // nor a tab (typed, it moves the focus)
        {false, false, " ", {"Hi\tyou "}, 7},
        {true, true, "one two ", {"two "}, 4},  // a paste that ends with a delimiter
        {false, false, "-\"x\"", {}, 4},        // hyphen, quotes: no delimiters
        {false, false, ";", {"-\"x\";"}, 9},
        // A character outside the Basic Multilingual Plane counts one, as in Len.
        {true, true, "\xF0\x9F\x98\x80 ab", {}, 0},
        {false, false, ",", {"ab,"}, 3},
        {false, false, " ", {"b, "}, 6},  // what was spoken counts from StartChar, not the word
    };
    std::string session;
    for (const Step& s : steps) {
        if (s.fresh) {
            clearText();
            session.clear();
        }
        session += s.keys;
        SCOPED_TRACE(testing::Message() << "after \"" << session << "\"");
        if (s.paste)
            paste(edit(), s.keys);
        else
            type(edit(), s.keys);
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
    EXPECT_EQ(Module1::StartChar, 6);

    // Back at the end, the echo looks at the last six characters again.
    QTest::keyClick(edit(), Qt::Key_End, Qt::ControlModifier);
    type(edit(), "!");
    EXPECT_EQ(heard(), (Spoken{{"world!", false}}));
    EXPECT_EQ(Module1::StartChar, 12);
}

TEST_F(WordEcho, AfterDeletionsNoTickSawStaysSilentUntilTheTextGrowsPastWhatWasSpoken) {
    EXPECT_EQ(rb::Right("abc", -2).toUtf8(), "");
    type(edit(), "Hello world. ");
    ASSERT_EQ(heard(), (Spoken{{"Hello ", false}, {"world.", false}}));
    ASSERT_EQ(Module1::StartChar, 12);
    for (int i = 0; i < 8; ++i) QTest::keyClick(edit(), Qt::Key_Backspace);
    ASSERT_EQ(text(), "Hello");
    w_->Timer1_Action();  // no Delete held: the count is left alone
    ASSERT_EQ(Module1::StartChar, 12);

    type(edit(), " there ");  // 12 characters: nothing beyond the count
    EXPECT_EQ(heard(), Spoken{});
    EXPECT_EQ(Module1::StartChar, 12);
    type(edit(), "you.");
    EXPECT_EQ(heard(), (Spoken{{"you.", false}}));
    EXPECT_EQ(Module1::StartChar, 16);
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
