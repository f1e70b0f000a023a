// Spelling as the user types: the real Enchant with the installed English dictionary, the real
// text area offscreen.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/gui/spell_marks.h"
#include "platform/rbframework/gui/spelling.h"
#include "platform/rbframework/gui/window.h"
#include "tests/support/temp_folder.h"

namespace {

using rb::String;
using rb::spelling::Dictionary;
using Range = rb::SpellMarks::Range;

// Enchant reads the user's folder once: it is one of ours, before any test runs, holding a
// dictionary whose word list is missing and none of the user's own words.
vellora_test::TempFolder gConfig("spelling-config");
const bool gConfigured = [] {
    std::filesystem::create_directories(gConfig.path() / "enchant/hunspell");
    std::ofstream(gConfig.path() / "enchant/hunspell/yy_YY.aff") << "SET UTF-8\n";
    setenv("XDG_CONFIG_HOME", gConfig.path().c_str(), 1);
    setenv("LANG", "C", 1);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    return true;
}();

std::vector<std::string> Words(const QString& text) {
    std::vector<std::string> out;
    for (auto w : rb::spelling::WordsToCheck(text))
        out.push_back(text.mid(w.start, w.length).toStdString());
    return out;
}

TEST(Spelling, WordsWorthCheckingLeaveOutWhatNoDictionaryHolds) {
    using V = std::vector<std::string>;
    struct Case {
        const char* text;
        V words;
    } cases[] = {
        {"don't  it\xE2\x80\x99s 'quoted' dogs'", {"don't", "it\xE2\x80\x99s", "quoted", "dogs"}},
        {"well-known e-mail", {"well", "known", "e", "mail"}},
        {"mp3 2nd 1984 R2D2 ok", {"ok"}},
        {"see https://exmple.org/pth and www.exmple.org now", {"see", "and", "now"}},
        {"mail jon.doe@exmple.org today", {"mail", "today"}},
        {"NASA and HTTP but I", {"and", "but", "I"}},
        {"end.Next,word;(paren)", {"end", "Next", "word", "paren"}},
        {"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Words(QString::fromUtf8(c.text)), c.words) << c.text;
    QString longWord(100000, QLatin1Char('a'));
    EXPECT_EQ(Words(QStringLiteral("x ") + longWord + QStringLiteral(" y")), (V{"x", "y"}));
}

TEST(Spelling, TheLocaleChoosesTheDictionaryAndEnglishStandsIn) {
    for (const char* locale :
         {"C", "", "POSIX", "de_DE.UTF-8", "en_GB", "en_US.UTF-8@x", "yy_YY"}) {
        auto d = Dictionary::ForLocale(QString::fromUtf8(locale));
        ASSERT_TRUE(d) << locale;
        EXPECT_TRUE(d->tag().startsWith(QLatin1String("en")))
            << locale << " got " << d->tag().toStdString();
    }
    EXPECT_FALSE(Dictionary::ForLocale("en_US", "libenchant-not-installed.so.2"));
}

TEST(Spelling, TheDictionaryJudgesWordsOfItsOwnScript) {
    auto d = Dictionary::ForLocale("en_US");
    ASSERT_TRUE(d);
    for (const char* w : {"hello", "don't", "don\xE2\x80\x99t", "I", "Paris"})
        EXPECT_FALSE(d->misspelt(QString::fromUtf8(w))) << w;
    for (const char* w : {"helo", "wrod", "teh"})
        EXPECT_TRUE(d->misspelt(QString::fromUtf8(w))) << w;
    EXPECT_TRUE(d->coversScript(u"caf\u00e9"));
    EXPECT_FALSE(d->coversScript(u"\u043f\u0440\u0438\u0432\u0435\u0442"));  // Cyrillic
    EXPECT_FALSE(d->coversScript(u"\u4f60\u597d"));
}

class Page : public rb::Window {
  public:
    static constexpr const char* kClassName = "Page";
    const char* className() const override { return kClassName; }
    void Layout() override {
        _SetProperties(
            {{"Width", 400}, {"Height", 300}, {"Title", String("Page")}, {"Visible", true}});
    }
    void CreateControls() override {
        _AddControl("Text", rb::make<rb::TextArea>(this));
        text()->_SetProperties({{"Left", 10},
                                {"Top", 10},
                                {"Width", 380},
                                {"Height", 280},
                                {"ScrollbarVertical", true},
                                {"AutomaticallyCheckSpelling", true}});
        text()->_AddEventHandler(rb::event::TextChange, [this] { ++changes; });
        text()->setTextSize(20);
    }
    rb::Ref<rb::TextArea> text() { return controlAs<rb::TextArea>("Text"); }
    int changes = 0;
};

class Marks : public ::testing::Test {
  protected:
    void SetUp() override {
        page_ = rb::implicitWindow<Page>();
        edit()->setFocus();
        settle();
    }
    void TearDown() override {
        for (auto& w : std::vector<rb::Ref<rb::Window>>(rb::detail::openWindows())) w->Close();
        QApplication::processEvents();
    }
    QPlainTextEdit* edit() { return page_->text()->edit(); }
    // Painting notes what is in view; the check of it follows at the next turn of the loop.
    void settle() {
        for (int i = 0; i < 3; ++i) {
            edit()->viewport()->repaint();
            QApplication::processEvents();
        }
    }
    std::vector<std::string> marked() {
        std::vector<std::string> out;
        if (auto* m = rb::SpellMarks::of(edit()))
            for (Range r : m->marks()) {
                QTextCursor c(edit()->document());
                c.setPosition(r.start);
                c.setPosition(r.end, QTextCursor::KeepAnchor);
                out.push_back(c.selectedText().toStdString());
            }
        return out;
    }
    void type(const char* keys) {
        QTest::keyClicks(edit(), QString::fromUtf8(keys));
        settle();
    }
    rb::Ref<Page> page_;
};

using V = std::vector<std::string>;

TEST_F(Marks, AWordIsCheckedOnceFinishedNotWhileTyped) {
    type("Ths");
    EXPECT_EQ(marked(), V{}) << "the word being typed";
    type(" is");
    EXPECT_EQ(marked(), V{"Ths"});
    type(" a wrod");
    EXPECT_EQ(marked(), V{"Ths"});
    QTest::keyClick(edit(), Qt::Key_Home);  // the caret leaves the word
    settle();
    EXPECT_EQ(marked(), (V{"Ths", "wrod"}));
    // Mending a word takes its mark away until it is finished again.
    QTest::keyClick(edit(), Qt::Key_End);
    for (int i = 0; i < 4; ++i) QTest::keyClick(edit(), Qt::Key_Backspace);
    type("word.");
    EXPECT_EQ(marked(), V{"Ths"});
    EXPECT_EQ(page_->text()->Text().toUtf8(), "Ths is a word.");
}

TEST_F(Marks, MarksFollowEditsElsewhereAndClearingTakesThemAll) {
    page_->text()->setText(String("one teh two helo three"));
    settle();
    EXPECT_EQ(marked(), (V{"teh", "helo"}));
    int changes = page_->changes;
    edit()->moveCursor(QTextCursor::Start);
    type("Nw ");  // before both marks: they move with their words
    QTest::keyClick(edit(), Qt::Key_End);
    settle();
    EXPECT_EQ(marked(), (V{"Nw", "teh", "helo"}));
    EXPECT_EQ(page_->changes, changes + 3) << "checking is no change of the text";
    EXPECT_EQ(page_->text()->Text().toUtf8(), "Nw one teh two helo three");
    page_->text()->setText(String(""));
    settle();
    EXPECT_EQ(marked(), V{});
}

TEST_F(Marks, OnlyWhatIsInViewIsCheckedOfALongText) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "wrod ok ";
    page_->text()->setText(String(text));  // the view shows its start
    settle();
    size_t shown = marked().size();
    EXPECT_GT(shown, 0u);
    EXPECT_LT(shown, 500u);
    edit()->moveCursor(QTextCursor::End);
    settle();
    auto* m = rb::SpellMarks::of(edit());
    ASSERT_TRUE(m);
    EXPECT_GT(marked().size(), shown);
    EXPECT_GT(m->marks().back().start, int(text.size()) - 1000) << "the end, now in view";
}

TEST_F(Marks, WhatNoDictionaryJudgesIsNotMarked) {
    std::string word(100000, 'q');
    page_->text()->setText(
        String("R2D2 NASA https://exmple.org/x jon@exmple.org "
               "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 "
               "don't well-known " +
               word + " teh"));
    edit()->moveCursor(QTextCursor::Start);
    settle();
    edit()->moveCursor(QTextCursor::End);
    settle();
    EXPECT_EQ(marked(), V{"teh"});
}

TEST_F(Marks, NothingIsMarkedInReadOnlyTextOrWithCheckingOff) {
    page_->text()->setText(String("teh cat"));
    settle();
    EXPECT_EQ(marked(), V{"teh"});
    page_->text()->setAutomaticallyCheckSpelling(false);
    EXPECT_FALSE(rb::SpellMarks::of(edit()));
    page_->text()->setAutomaticallyCheckSpelling(true);
    page_->text()->setReadOnly(true);
    page_->text()->setText(String("teh dgo"));
    settle();
    EXPECT_EQ(marked(), V{});
}

TEST_F(Marks, WithoutADictionaryNothingIsCheckedAndNothingFails) {
    page_->text()->setAutomaticallyCheckSpelling(false);
    new rb::SpellMarks(edit(), std::shared_ptr<Dictionary>());
    type("teh wrod ");
    EXPECT_EQ(marked(), V{});
    EXPECT_EQ(page_->text()->Text().toUtf8(), "teh wrod ");
}

// Red pixels in the band under the text's first line, at the text's own size.
int RedBelowFirstLine(QPlainTextEdit* edit) {
    QImage image = edit->viewport()->grab().toImage();
    QRect caret = edit->cursorRect(QTextCursor(edit->document()));
    int red = 0;
    for (int y = caret.top() + caret.height() / 2; y < caret.bottom() + 4 && y < image.height();
         ++y)
        for (int x = 0; x < image.width(); ++x) {
            QColor c = image.pixelColor(x, y);
            red += c.red() > 180 && c.green() < 90 && c.blue() < 90;
        }
    return red;
}

TEST_F(Marks, TheUnderlineIsRedAtTheTextsSizeAndSurvivesRestyling) {
    page_->text()->setTextColor(rb::RGB(0, 0, 255));
    page_->text()->setText(String("teh"));
    settle();
    int small = RedBelowFirstLine(edit());
    EXPECT_GT(small, 0);
    page_->text()->setTextSize(144);
    page_->text()->setBold(true);
    settle();
    EXPECT_EQ(marked(), V{"teh"});
    int large = RedBelowFirstLine(edit());
    EXPECT_GT(large, 10 * small) << "drawn at the text's size";
    page_->text()->setText(String("the"));
    settle();
    EXPECT_EQ(RedBelowFirstLine(edit()), 0);
}

TEST_F(Marks, AScreenReaderIsToldOfTheMisspelling) {
    page_->text()->setText(String("one teh two"));
    settle();
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(edit());
    ASSERT_TRUE(a && a->textInterface());
    QAccessibleTextInterface* t = a->textInterface();
    int start = 0, end = 0;
    QString inside = t->attributes(5, &start, &end);
    EXPECT_TRUE(inside.contains(QLatin1String("invalid:spelling;"))) << inside.toStdString();
    EXPECT_EQ(std::pair(start, end), std::pair(4, 7));
    page_->text()->setTextFont(String("Courier"));
    EXPECT_TRUE(t->attributes(5, &start, &end).contains(QLatin1String("font-family:\"Courier\"")))
        << "the family asked for, as Qt's own editors tell it";
    QString before = t->attributes(1, &start, &end);
    EXPECT_FALSE(before.contains(QLatin1String("invalid")));
    EXPECT_EQ(std::pair(start, end), std::pair(0, 4));
    t->attributes(9, &start, &end);
    EXPECT_EQ(std::pair(start, end), std::pair(7, 11));
    // The rest as any editor tells it.
    EXPECT_EQ(t->characterCount(), 11);
    EXPECT_EQ(t->textAtOffset(5, QAccessible::WordBoundary, &start, &end).toStdString(), "teh");
    EXPECT_EQ(t->textAfterOffset(5, QAccessible::CharBoundary, &start, &end).toStdString(), "h");
    EXPECT_EQ(t->textAtOffset(5, QAccessible::LineBoundary, &start, &end).toStdString(),
              "one teh two");
    t->setCursorPosition(4);
    EXPECT_EQ(page_->text()->SelStart(), 4);
    EXPECT_EQ(a->text(QAccessible::Value).toStdString(), "one teh two");
}

}  // namespace
