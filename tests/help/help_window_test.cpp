// The help window and its menu bar in the real runtime: design values, resizing, the read-only
// help text, one window at a time, MenuBar2's tree and its own menu bar widget, the window's
// print handler, quitting through the main window's Close, and that nothing is left behind.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <string>
#include <vector>

#include "help/Help.h"
#include "help/HelpText.h"
#include "help/MenuBar2.h"
#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/runtime.h"
#include "platform/rbframework/gui/spell_marks.h"
#include "platform/rbframework/string_functions.h"
#include "platform/rbframework/testing.h"

namespace {

using rb::Ref;
using rb::String;

// The application's own "FilePrintHelp" handler, to show which handler a choice reached.
class RecordingApp : public rb::Application {
  public:
    int prints = 0;
};
RecordingApp* gApp = nullptr;

// Stands in for the main window: its own menu bar with a "Print Help" item, and a Close that
// records that it ran.
class StandInMain : public rb::Window {
  public:
    static constexpr const char* kClassName = "Window1";
    const char* className() const override { return kClassName; }
    void Layout() override {
        auto bar = rb::make<rb::MenuBar>();
        auto file = rb::make<rb::MenuItem>();
        file->setName("File");
        file->setText("File");
        auto print = rb::make<rb::MenuItem>();
        print->setName("FilePrintHelp");
        print->setText("Print Help");
        print->setKeyboardShortcut("Cmd+P");
        file->Append(print);
        bar->Append(file);
        setMenuBar(bar);
        _SetProperties({{"Title", String("Vellora")}, {"Width", 300}, {"Height", 200}});
    }
    void Event_Close() override { ++closes; }
    int closes = 0;
};

QString q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::vector<std::string> split(std::string_view text, std::string_view by) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = text.find(by, from)) != std::string_view::npos; from = at + by.size())
        parts.emplace_back(text.substr(from, at - from));
    parts.emplace_back(text.substr(from));
    return parts;
}

size_t count(std::string_view text, std::string_view what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

const std::string kNbsp = "\xC2\xA0";

// The window's own menus as its menu bar widget shows them.
QMenu* shownMenu(QMainWindow* w, int index) {
    return w->menuBar()->actions().value(index)->menu();
}
QAction* shownAction(QMainWindow* w, int menu, int item) {
    return shownMenu(w, menu)->actions().value(item);
}

class HelpWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { gApp->prints = 0; }
    void TearDown() override {
        std::vector<Ref<rb::Window>> open = rb::detail::openWindows();
        for (const auto& w : open) w->Close();
        settle();
    }
    // Lets the runtime drop what closed windows left for after their event.
    static void settle() {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    static Ref<Help> openActive() {
        Ref<Help> help = Help::Help_();
        EXPECT_TRUE(QTest::qWaitForWindowActive(help->qwindow()));
        return help;
    }
    static QPlainTextEdit* edit(const Ref<Help>& help) { return help->TextArea1()->edit(); }
};

// ---- the stored text ------------------------------------------------------------------

TEST(HelpText, IsFiveParagraphsOfOneCarriageReturnEndedLineEach) {
    std::string_view text = help::HelpText();
    EXPECT_EQ(text.find('\n'), std::string_view::npos) << "lines end in CR alone";
    EXPECT_NE(text.back(), '\r') << "the text ends with its last sentence";
    EXPECT_EQ(text.back(), '.');
    EXPECT_EQ(text.find("\r\r\r"), std::string_view::npos) << "one empty line between paragraphs";

    auto paragraphs = split(text, "\r\r");
    ASSERT_EQ(paragraphs.size(), 5u);
    for (const auto& p : paragraphs) {
        EXPECT_FALSE(p.empty());
        EXPECT_EQ(p.find('\r'), std::string::npos) << p;
        EXPECT_NE(p.front(), ' ') << p;
    }
    EXPECT_EQ(paragraphs[0].rfind("Vellora was developed for the visually impaired.  ", 0), 0u);
    EXPECT_EQ(paragraphs[3].rfind("Note:", 0), 0u);
    for (const char* fact :
         {"Input Style", "black, red or blue", "18, 24, 36, 48, 64, 72, 96 or 144",
          "Helvetica, Arial, Courier or Times", "bold"})
        EXPECT_NE(paragraphs[0].find(fact), std::string::npos) << fact;
    for (const char* button : {"Speak Selected", "Stop Speaking", "Clear All", "Shift"})
        EXPECT_NE(paragraphs[2].find(button), std::string::npos) << button;

    // The three non-breaking blanks are all in the third paragraph, and are valid UTF-8.
    EXPECT_EQ(count(text, kNbsp), 3u);
    EXPECT_EQ(count(paragraphs[2], kNbsp), 3u);
    EXPECT_EQ(q(text).toUtf8().toStdString(), std::string(text));
    EXPECT_EQ(q(text).count(QChar::Nbsp), 3);

    // Sentences are followed by two blanks.
    EXPECT_GE(count(text, ".  "), 8u);
    EXPECT_EQ(count(text, ". "), count(text, ".  "));
}

// ---- the window -----------------------------------------------------------------------

TEST_F(HelpWindowTest, OpensWithItsDesignValues) {
    Ref<Help> help = openActive();
    EXPECT_TRUE(help->isOpen());
    EXPECT_TRUE(help->Visible());
    EXPECT_EQ(help->Title().toUtf8(), "Vellora Help");
    EXPECT_EQ(help->qwindow()->windowTitle(), "Vellora Help");
    EXPECT_EQ(help->Width(), 400);
    EXPECT_EQ(help->Height(), 409);
    EXPECT_EQ(help->content()->size(), QSize(400, 409));
    EXPECT_EQ(help->MinWidth(), 400);
    EXPECT_EQ(help->MinHeight(), 409);
    EXPECT_EQ(help->MaxWidth(), 32000);
    EXPECT_EQ(help->MaxHeight(), 32000);
    EXPECT_TRUE(help->Resizeable());
    EXPECT_TRUE(help->qwindow()->menuBar()->isVisible());
    Qt::WindowFlags flags = help->qwindow()->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);

    ASSERT_EQ(help->controls().size(), 1u);
    Ref<rb::TextArea> text = help->TextArea1();
    ASSERT_TRUE(text);
    EXPECT_EQ(text->Name(), "TextArea1");
    EXPECT_EQ(text->widget()->geometry(), QRect(20, 19, 360, 370));
    EXPECT_TRUE(text->LockLeft && text->LockTop && text->LockRight && text->LockBottom);
    EXPECT_TRUE(text->ReadOnly());
    EXPECT_EQ(text->TextFont().toUtf8(), QApplication::font().family().toStdString());
    EXPECT_EQ(text->TextSize(), 24);
    EXPECT_TRUE(text->Bold());
    EXPECT_FALSE(text->Italic());
    EXPECT_FALSE(text->Underline());
    EXPECT_EQ(text->TextColor(), rb::RGB(0, 0, 0));
    EXPECT_EQ(text->edit()->palette().color(QPalette::Base), QColor(255, 255, 255));
    EXPECT_EQ(text->LineSpacing(), 1.0);
    EXPECT_EQ(text->edit()->verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_EQ(text->edit()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(text->edit()->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_NE(text->edit()->frameShape(), QFrame::NoFrame);
    EXPECT_TRUE(text->edit()->tabChangesFocus()) << "AcceptTabs off";
    EXPECT_TRUE(text->TabStop);
    EXPECT_EQ(text->TabIndex, 0);
    EXPECT_TRUE(text->Enabled());
    EXPECT_TRUE(text->Visible());
}

// The text is set before the window has its size; it must still open at its first line, with
// the caret there, however it was wrapped before.
TEST_F(HelpWindowTest, OpensWithItsFirstLineInView) {
    for (int open = 0; open < 2; ++open) {
        SCOPED_TRACE(open);
        Ref<Help> help = openActive();
        QPlainTextEdit* e = edit(help);
        QApplication::processEvents();
        EXPECT_EQ(e->textCursor().position(), 0);
        EXPECT_EQ(e->verticalScrollBar()->value(), 0);
        EXPECT_EQ(e->cursorForPosition(QPoint(5, 5)).position(), 0) << "first line at the top";
        EXPECT_GE(e->cursorRect().top(), 0);
        help->Close();
        settle();
    }
}

TEST_F(HelpWindowTest, CannotBeMadeSmallerThanItOpens) {
    Ref<Help> help = openActive();
    help->setWidth(120);
    help->setHeight(90);
    EXPECT_EQ(help->Width(), 400);
    EXPECT_EQ(help->Height(), 409);

    // As the person would: the frame dragged smaller.
    help->qwindow()->resize(150, 150);
    QCoreApplication::processEvents();
    EXPECT_GE(help->content()->width(), 400);
    EXPECT_GE(help->content()->height(), 409);
    EXPECT_EQ(help->TextArea1()->widget()->geometry(), QRect(20, 19, 360, 370));
}

TEST_F(HelpWindowTest, TextAreaKeepsItsMarginsAsTheWindowIsResized) {
    Ref<Help> help = openActive();
    int menu = help->qwindow()->height() - help->content()->height();
    struct Case {
        int width, height;
    };
    for (Case c : {Case{640, 500}, Case{401, 800}, Case{1000, 409}, Case{400, 409}}) {
        help->qwindow()->resize(c.width, c.height + menu);
        QCoreApplication::processEvents();
        ASSERT_EQ(help->content()->size(), QSize(c.width, c.height));
        EXPECT_EQ(help->TextArea1()->widget()->geometry(),
                  QRect(20, 19, c.width - 40, c.height - 39))
            << c.width << " x " << c.height;
        EXPECT_EQ(help->Width(), c.width);
        EXPECT_EQ(help->Height(), c.height);
    }
}

TEST_F(HelpWindowTest, ShowsTheHelpTextWithLineBreaksAndNonBreakingBlanks) {
    Ref<Help> help = openActive();
    auto lines = split(help::HelpText(), "\r");
    ASSERT_EQ(lines.size(), 9u);  // five paragraphs and the four empty lines between them
    QTextDocument* doc = edit(help)->document();
    ASSERT_EQ(doc->blockCount(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(doc->findBlockByNumber(i).text(), q(lines[static_cast<size_t>(i)])) << i;
    EXPECT_EQ(doc->findBlockByNumber(4).text().count(QChar::Nbsp), 3);

    // Read back, the line ends are line feeds; the words are the same.
    std::string read = help->TextArea1()->Text().toUtf8();
    EXPECT_EQ(count(read, "\n"), 8u);
    EXPECT_EQ(read.find('\r'), std::string::npos);
    EXPECT_EQ(read.rfind("Vellora was developed for the visually impaired.", 0), 0u);
}

// What the help printing reads keeps the non-breaking blanks.
TEST_F(HelpWindowTest, TextReadsBackItsNonBreakingBlanks) {
    Ref<Help> help = Help::Help_();
    EXPECT_EQ(count(help->TextArea1()->Text().toUtf8(), kNbsp), 3u);
}

TEST_F(HelpWindowTest, TypingAndEditingCommandsChangeNothing) {
    Ref<Help> help = openActive();
    QPlainTextEdit* e = edit(help);
    e->setFocus();
    const QString before = e->document()->toRawText();

    QTest::keyClicks(e, "typed");
    QTest::keyClick(e, Qt::Key_Backspace);
    QTest::keyClick(e, Qt::Key_Return);
    QApplication::clipboard()->setText("pasted");
    QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(e->document()->toRawText(), before);

    // The Edit menu's commands, chosen from the window's own menu bar.
    e->selectAll();
    for (int item : {0, 2, 4}) {  // Undo, Cut, Paste
        shownAction(help->qwindow(), 1, item)->trigger();
        EXPECT_EQ(e->document()->toRawText(), before) << item;
    }
    EXPECT_FALSE(e->document()->isUndoAvailable());
}

// A screen reader follows the caret: it must reach every line of the read-only text from the
// keyboard. An empty clipboard (no format at all, as on X11) pastes nothing and crashes nothing.
TEST_F(HelpWindowTest, TheCaretReachesEveryLineAndAnEmptyClipboardPastesNothing) {
    Ref<Help> help = openActive();
    QPlainTextEdit* e = edit(help);
    e->setFocus();
    const QString before = e->document()->toRawText();
    help->TextArea1()->setSelStart(0);
    QTest::keyClick(e, Qt::Key_Down);
    EXPECT_GT(help->TextArea1()->SelStart(), 0);
    QTest::keyClick(e, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(help->TextArea1()->SelStart(), rb::Len(help->TextArea1()->Text()));
    QApplication::clipboard()->setMimeData(new QMimeData);
    QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
    shownAction(help->qwindow(), 1, 4)->trigger();  // Paste
    EXPECT_EQ(e->document()->toRawText(), before);
}

// Delete on a selection in the read-only text leaves it as it was.
// The help text asks for spelling as the main text does, but is read-only: no desktop checks
// such a text, and the program's own name, no English word, stays unmarked.
TEST_F(HelpWindowTest, TheReadOnlyTextIsNotMarkedForSpelling) {
    Ref<Help> help = openActive();
    QPlainTextEdit* e = edit(help);
    auto shown = [e] {
        for (int i = 0; i < 3; ++i) {
            e->viewport()->repaint();
            QApplication::processEvents();
        }
        return rb::SpellMarks::of(e)->marks().size();
    };
    ASSERT_TRUE(help->TextArea1()->AutomaticallyCheckSpelling());
    EXPECT_EQ(shown(), 0u);
    help->TextArea1()->setReadOnly(false);  // the same text, were it editable, would be marked
    EXPECT_GT(shown(), 0u);
}

TEST_F(HelpWindowTest, DeleteCommandLeavesTheReadOnlyTextAlone) {
    Ref<Help> help = openActive();
    QPlainTextEdit* e = edit(help);
    e->setFocus();
    const QString before = e->document()->toRawText();
    e->selectAll();
    shownAction(help->qwindow(), 1, 5)->trigger();  // Delete
    EXPECT_EQ(e->document()->toRawText(), before);
}

TEST_F(HelpWindowTest, EditMenuCopiesAndSelectsTheHelpText) {
    Ref<Help> help = openActive();
    QPlainTextEdit* e = edit(help);
    e->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), e);
    shownAction(help->qwindow(), 1, 7)->trigger();  // Select All
    EXPECT_EQ(help->TextArea1()->SelLength(), static_cast<int32_t>(q(help::HelpText()).size()));
    QApplication::clipboard()->clear();
    shownAction(help->qwindow(), 1, 3)->trigger();  // Copy
    EXPECT_TRUE(QApplication::clipboard()->text().startsWith("Vellora was developed"));
}

// ---- one window at a time ---------------------------------------------------------------

TEST_F(HelpWindowTest, OneHelpWindowAtATime) {
    Ref<Help> first = Help::Help_();
    Ref<Help> again = Help::Help_();
    EXPECT_EQ(first.get(), again.get());
    int helps = 0;
    for (const auto& w : rb::detail::openWindows())
        if (std::string(w->className()) == "Help") ++helps;
    EXPECT_EQ(helps, 1);

    // Closed, the next call builds a fresh window with the same text and the same bar.
    Ref<rb::MenuBar> bar = first->menuBar();
    String text = first->TextArea1()->Text();
    first->Close();
    EXPECT_FALSE(first->isOpen());
    EXPECT_EQ(rb::_GetImplicitWindow("Help"), nullptr);
    Ref<Help> second = Help::Help_();
    EXPECT_NE(second.get(), first.get());
    EXPECT_TRUE(second->isOpen());
    EXPECT_EQ(second->menuBar(), bar);
    EXPECT_EQ(second->TextArea1()->Text().toUtf8(), text.toUtf8());
}

TEST_F(HelpWindowTest, ClosingHelpLeavesTheMainWindowOpen) {
    auto main = rb::make<StandInMain>();
    main->Constructor();
    Ref<Help> help = Help::Help_();
    help->qwindow()->close();  // the close box
    QCoreApplication::processEvents();
    EXPECT_FALSE(help->isOpen());
    EXPECT_TRUE(main->isOpen());
    EXPECT_EQ(main->closes, 0);
}

// Ctrl+W and Escape close the help window from inside; the main window stays, and its own keys
// close nothing. F10 opens the help window's first menu on its first item.
TEST_F(HelpWindowTest, EscapeOrCtrlWClosesHelpAndNotTheMainWindow) {
    auto main = rb::make<StandInMain>();
    main->Constructor();
    gApp->setMenuBar(main->menuBar());  // the application's bar marks the main window
    for (QKeyCombination keys : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W}) {
        Ref<Help> help = openActive();
        QTest::keyClick(help->qwindow()->windowHandle(), Qt::Key_F10);
        QMenu* file = shownMenu(help->qwindow(), 0);
        EXPECT_EQ(QApplication::activePopupWidget(), file);
        EXPECT_EQ(file->activeAction(), shownAction(help->qwindow(), 0, 0)) << "Print Help";
        file->close();
        help->Show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(help->qwindow()));
        QTest::keyClick(help->qwindow()->windowHandle(), keys.key(), keys.keyboardModifiers());
        EXPECT_FALSE(help->isOpen());
        settle();
    }
    main->Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main->qwindow()));
    for (QKeyCombination keys : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W})
        QTest::keyClick(main->qwindow()->windowHandle(), keys.key(), keys.keyboardModifiers());
    EXPECT_TRUE(main->isOpen());
    EXPECT_EQ(main->closes, 0);
    gApp->setMenuBar(nullptr);
}

// ---- the menu bar ---------------------------------------------------------------------

struct Row {
    const char* name;
    const char* parent;  // nullptr: a menu of the bar
    const char* kind;
    const char* text;
    const char* shortcut;
};
const Row kMenuTable[] = {
    {"FileMenu", nullptr, "MenuItem", "&File", ""},
    {"FilePrintHelp", "FileMenu", "MenuItem", "Print Help", "Cmd+P"},
    {"FileQuit", "FileMenu", "QuitMenuItem", "&Quit", "Cmd+Q"},
    {"EditMenu", nullptr, "MenuItem", "&Edit", ""},
    {"EditUndo", "EditMenu", "MenuItem", "&Undo", "Cmd+Z"},
    {"EditSeparator1", "EditMenu", "MenuItem", "-", ""},
    {"EditCut", "EditMenu", "MenuItem", "Cu&t", "Cmd+X"},
    {"EditCopy", "EditMenu", "MenuItem", "&Copy", "Cmd+C"},
    {"EditPaste", "EditMenu", "MenuItem", "&Paste", "Cmd+V"},
    {"EditClear", "EditMenu", "MenuItem", "&Delete", ""},
    {"EditSeparator2", "EditMenu", "MenuItem", "-", ""},
    {"EditSelectAll", "EditMenu", "MenuItem", "Select &All", "Cmd+A"},
};

TEST(HelpMenuBar, BuildsItsTreeAsTabled) {
    Ref<MenuBar2> bar = MenuBar2::MenuBar2_();
    EXPECT_EQ(MenuBar2::MenuBar2_().get(), bar.get()) << "one shared instance";

    // Walk the tree in order: it must list the table's rows, no more.
    std::vector<Ref<rb::MenuItem>> walked;
    std::vector<std::string> parents;
    for (int32_t m = 0; m < bar->Count(); ++m) {
        Ref<rb::MenuItem> menu = bar->Item(m);
        walked.push_back(menu);
        parents.emplace_back();
        for (int32_t i = 0; i < menu->Count(); ++i) {
            walked.push_back(menu->Item(i));
            parents.push_back(menu->Name().toUtf8());
            EXPECT_EQ(menu->Item(i)->Count(), 0);
        }
    }
    ASSERT_EQ(walked.size(), std::size(kMenuTable));
    for (size_t i = 0; i < walked.size(); ++i) {
        const Row& row = kMenuTable[i];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(walked[i]->Name().toUtf8(), row.name);
        EXPECT_EQ(parents[i], row.parent ? row.parent : "");
        EXPECT_STREQ(walked[i]->className(), row.kind);
        EXPECT_EQ(walked[i]->Text().toUtf8(), row.text);
        EXPECT_EQ(walked[i]->KeyboardShortcut().toUtf8(), row.shortcut);
        EXPECT_TRUE(walked[i]->AutoEnable());
        EXPECT_EQ(walked[i]->quits(), std::string(row.kind) == "QuitMenuItem");
    }
}

TEST_F(HelpWindowTest, MenuItemAccessorsFindTheirItems) {
    Ref<Help> help = Help::Help_();
    Ref<rb::MenuBar> bar = help->menuBar();
    ASSERT_EQ(bar.get(), MenuBar2::MenuBar2_().get());
    const std::pair<const char*, Ref<rb::MenuItem>> found[] = {
        {"EditMenu", help->EditMenu()},
        {"EditSelectAll", help->EditSelectAll()},
        {"EditSeparator2", help->EditSeparator2()},
        {"EditClear", help->EditClear()},
        {"EditPaste", help->EditPaste()},
        {"EditCopy", help->EditCopy()},
        {"EditCut", help->EditCut()},
        {"EditSeparator1", help->EditSeparator1()},
        {"EditUndo", help->EditUndo()},
        {"FileMenu", help->FileMenu()},
        {"FileQuit", help->FileQuit()},
        {"FilePrintHelp", help->FilePrintHelp()},
    };
    for (const auto& [name, item] : found) {
        ASSERT_TRUE(item) << name;
        EXPECT_EQ(item.get(), bar->_Lookup(name).get()) << name;
    }
    Ref<rb::QuitMenuItem> quit = help->FileQuit();
    EXPECT_TRUE(quit->quits());

    // A help window not yet built has no menu bar.
    auto unbuilt = rb::make<Help>();
    EXPECT_THROW(unbuilt->FileMenu(), rb::NilObjectException);
    EXPECT_THROW(unbuilt->FileQuit(), rb::NilObjectException);
    Ref<Help> nil;
    EXPECT_THROW(nil->TextArea1(), rb::NilObjectException);
}

TEST_F(HelpWindowTest, ShowsMenuBar2InItsOwnMenuBarWhileInFront) {
    auto main = rb::make<StandInMain>();
    main->Constructor();
    Ref<Help> help = openActive();
    EXPECT_EQ(QApplication::activeWindow(), help->qwindow());

    QMenuBar* shown = help->qwindow()->menuBar();
    ASSERT_NE(shown, main->qwindow()->menuBar());
    ASSERT_EQ(shown->actions().size(), 2);
    EXPECT_EQ(shown->actions()[0]->text(), "&File");
    EXPECT_EQ(shown->actions()[1]->text(), "&Edit");

    struct Shown {
        const char* text;  // nullptr: a separator
        const char* keys;
    };
    const std::vector<std::vector<Shown>> expected = {
        {{"Print Help", "Ctrl+P"}, {"&Quit", "Ctrl+Q"}},
        {{"&Undo", "Ctrl+Z"},
         {nullptr, ""},
         {"Cu&t", "Ctrl+X"},
         {"&Copy", "Ctrl+C"},
         {"&Paste", "Ctrl+V"},
         {"&Delete", ""},
         {nullptr, ""},
         {"Select &All", "Ctrl+A"}},
    };
    for (int m = 0; m < 2; ++m) {
        QList<QAction*> actions = shownMenu(help->qwindow(), m)->actions();
        ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected[m].size()));
        for (int i = 0; i < actions.size(); ++i) {
            const Shown& want = expected[m][static_cast<size_t>(i)];
            SCOPED_TRACE(std::to_string(m) + "." + std::to_string(i));
            EXPECT_EQ(actions[i]->isSeparator(), want.text == nullptr);
            if (want.text) {
                EXPECT_EQ(actions[i]->text(), want.text);
            }
            EXPECT_EQ(actions[i]->shortcut().toString(QKeySequence::PortableText), want.keys);
        }
    }

    // The main window keeps showing its own bar (its caption "File" shown with a mnemonic).
    QMenuBar* mainShown = main->qwindow()->menuBar();
    ASSERT_EQ(mainShown->actions().size(), 1);
    EXPECT_EQ(mainShown->actions()[0]->text(), "&File");
}

// ---- commands -------------------------------------------------------------------------

TEST_F(HelpWindowTest, PrintHelpRunsTheHelpWindowsOwnHandler) {
    rb::testing::AnsweringPrintDialog dialog;  // cancels
    auto main = rb::make<StandInMain>();
    main->Constructor();
    Ref<Help> help = openActive();

    shownAction(help->qwindow(), 0, 0)->trigger();
    EXPECT_EQ(dialog.shown, 1);
    EXPECT_FALSE(help->isOpen()) << "printing, even cancelled, closes the help window";
    // The shortcut, typed into the help text of a new help window.
    help = openActive();
    QTest::keyClick(edit(help), Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(dialog.shown, 2);
    EXPECT_EQ(gApp->prints, 0) << "the window's handler handles it";

    // From the main window the application's handler runs: the binding is the help window's.
    shownAction(main->qwindow(), 0, 0)->trigger();
    EXPECT_EQ(dialog.shown, 2);
    EXPECT_EQ(gApp->prints, 1);
}

TEST_F(HelpWindowTest, QuitClosesTheMainWindowThroughItsClose) {
    auto main = rb::make<StandInMain>();
    main->Constructor();
    Ref<Help> help = openActive();
    QAction* quit = shownAction(help->qwindow(), 0, 1);
    ASSERT_EQ(quit->text(), "&Quit");

    QTimer::singleShot(0, quit, [quit] { quit->trigger(); });
    // Should the quit not come, the loop ends with a status of its own.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    EXPECT_EQ(rb::RuntimeRun(), 0);
    EXPECT_EQ(main->closes, 1);
    EXPECT_FALSE(main->isOpen());
    EXPECT_FALSE(help->isOpen());
    EXPECT_TRUE(rb::detail::openWindows().empty());
}

TEST_F(HelpWindowTest, LeavesNoObjectBehind) {
    MenuBar2::ReleaseShared();
    settle();
    const int64_t before = rb::Object::liveCount();
    {
        Ref<Help> help = Help::Help_();
        help->qwindow()->close();
        Ref<Help> again = Help::Help_();
        again->Close();
    }
    settle();
    EXPECT_GT(rb::Object::liveCount(), before) << "the shared bar lives on";
    MenuBar2::ReleaseShared();
    EXPECT_EQ(rb::Object::liveCount(), before);
}

}  // namespace

int main(int argc, char** argv) {
    rb::RuntimeInit(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    auto app = rb::make<RecordingApp>();
    app->_AddMenuHandler("FilePrintHelp", [a = app.get()] {
        ++a->prints;
        return true;
    });
    gApp = app.get();
    rb::RuntimeRegisterAppObject(app);
    int status = RUN_ALL_TESTS();
    MenuBar2::ReleaseShared();
    gApp = nullptr;
    app = nullptr;
    rb::RuntimeExit();
    return status;
}
