// The runtime's windows and controls, with the real Qt widgets offscreen.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <functional>
#include <limits>
#include <stdexcept>
#include <vector>

#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/gui/dialogs.h"
#include "platform/rbframework/gui/radio_group.h"
#include "platform/rbframework/gui/runtime.h"
#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/runtime_yield.h"
#include "platform/rbframework/string_functions.h"
#include "platform/rbframework/testing.h"

namespace {

using rb::String;

class Sheet : public rb::Window {
  public:
    static constexpr const char* kClassName = "Sheet";
    const char* className() const override { return kClassName; }
    void Layout() override {
        _SetProperties({{"Width", 300},
                        {"Height", 200},
                        {"MinWidth", 300},
                        {"MinHeight", 200},
                        {"Title", String("Sheet")},
                        {"Visible", true}});
    }
    void CreateControls() override {
        _AddControl("Text", rb::make<rb::TextArea>(this));
        controlAs<rb::TextArea>("Text")->_SetProperties({{"Left", 10},
                                                         {"Top", 10},
                                                         {"Width", 280},
                                                         {"Height", 100},
                                                         {"LockLeft", true},
                                                         {"LockTop", true},
                                                         {"LockRight", true},
                                                         {"LockBottom", true},
                                                         {"TabIndex", 1}});
        controlAs<rb::TextArea>("Text")->_AddEventHandler(rb::event::TextChange, [this] {
            ++changes;
            if (onChange) onChange();
        });
        _AddControl("Rate", rb::make<rb::Label>(this));
        controlAs<rb::Label>("Rate")->_SetProperties({{"Left", 10},
                                                      {"Top", 120},
                                                      {"Width", 100},
                                                      {"Height", 20},
                                                      {"Text", String("Volume")}});
        _AddControl("Slider", rb::make<rb::Slider>(this));
        controlAs<rb::Slider>("Slider")->_SetProperties({{"Left", 10},
                                                         {"Top", 150},
                                                         {"Width", 100},
                                                         {"Height", 16},
                                                         {"Minimum", 100},
                                                         {"Value", 150},
                                                         {"Maximum", 250},
                                                         {"TabIndex", 0},
                                                         {"LockBottom", true}});
        _AddControl("Go", rb::make<rb::PushButton>(this));
        controlAs<rb::PushButton>("Go")->_SetProperties({{"Left", 200},
                                                         {"Top", 150},
                                                         {"Width", 80},
                                                         {"Height", 22},
                                                         {"Caption", String("Go")},
                                                         {"TabIndex", 2},
                                                         {"LockLeft", true},
                                                         {"LockBottom", true}});
    }
    void Event_Open() override { opened = true; }
    void Event_Close() override { ++closes; }
    rb::Ref<rb::TextArea> text() { return controlAs<rb::TextArea>("Text"); }
    int changes = 0, closes = 0;
    bool opened = false;
    std::function<void()> onChange;
};

class Gui : public ::testing::Test {
  protected:
    void SetUp() override { objects_ = rb::Object::liveCount(); }
    void TearDown() override {
        for (auto& w : std::vector<rb::Ref<rb::Window>>(rb::detail::openWindows())) w->Close();
        QApplication::processEvents();  // the closed windows' last references go
        EXPECT_EQ(rb::Object::liveCount(), objects_);
    }
    int64_t objects_ = 0;
};

TEST_F(Gui, TextAreaCountsCharactersAsTheRuntimeDoes) {
    auto w = rb::implicitWindow<Sheet>();
    auto t = w->text();
    t->setText(
        String("a\xF0\x9F\x98\x80"
               "b\r\nc\rd\ne"));  // a😀b CRLF c CR d LF e
    EXPECT_EQ(t->Text().toUtf8(),
              "a\xF0\x9F\x98\x80"
              "b\nc\nd\ne");
    EXPECT_EQ(rb::Len(t->Text()), 9);
    t->setSelStart(rb::Len(t->Text()));
    EXPECT_EQ(t->SelStart(), 9);
    t->setSelStart(2);  // after the emoji
    t->setSelLength(2);
    EXPECT_EQ(t->SelText().toUtf8(), "b\n");
    EXPECT_EQ(t->SelStart(), 2);
    EXPECT_EQ(t->SelLength(), 2);
    t->setSelStart(1);
    t->setSelLength(1);
    EXPECT_EQ(t->SelText().toUtf8(), "\xF0\x9F\x98\x80");
}

// Positions, lengths and pieces read without the whole text agree with the whole text's, at
// every position, through setting, typing, pasting, deleting and undoing.
void ExpectAgreesWithWholeText(rb::TextArea& t, const std::string& step) {
    SCOPED_TRACE(step);
    String text = t.Text();
    int32_t n = rb::Len(text);
    ASSERT_EQ(t.TextLength(), n);
    for (int32_t start = -1; start <= n + 2; ++start)
        for (int32_t count : {-1, 0, 1, 2, n, n + 5})
            ASSERT_EQ(t.TextMid(start, count).toUtf8(), rb::Mid(text, start, count).toUtf8())
                << "TextMid(" << start << ", " << count << ")";
    for (int32_t pos = -1; pos <= n + 1; ++pos) {
        t.setSelStart(pos);
        ASSERT_EQ(t.SelStart(), std::clamp(pos, 0, n)) << "caret at " << pos;
        for (int32_t length : {0, 1, 3, n + 1}) {
            t.setSelStart(pos);
            t.setSelLength(length);
            int32_t at = std::clamp(pos, 0, n);
            ASSERT_EQ(t.SelStart(), at);
            ASSERT_EQ(t.SelLength(), std::min(length, n - at)) << pos << "+" << length;
            ASSERT_EQ(t.SelText().toUtf8(), rb::Mid(text, at + 1, length).toUtf8());
        }
    }
    t.setSelStart(n);  // where typing goes on
}

// The latest change, in characters, turns the text before it into the text after it.
void ExpectChangeExplains(const String& before, rb::TextArea& t) {
    rb::TextArea::Change c = t.LastChange();
    String after = t.Text();
    ASSERT_GE(c.position, 0);
    ASSERT_LE(int64_t{c.position} + c.removed, rb::Len(before));
    ASSERT_EQ(rb::Len(after), rb::Len(before) - c.removed + c.added);
    EXPECT_EQ((rb::Left(before, c.position) + rb::Mid(after, c.position + 1, c.added) +
               rb::Mid(before, c.position + c.removed + 1, rb::Len(before)))
                  .toUtf8(),
              after.toUtf8());
}

// Long pieces (Speak to End on a book, across many paragraphs, pairs and non-breaking spaces)
// agree with the whole text.
TEST_F(Gui, LongTextAreaPiecesAgreeWithTheWholeText) {
    auto w = rb::implicitWindow<Sheet>();
    auto t = w->text();
    std::string text;
    for (int i = 0; text.size() < 20000; ++i)
        text += "Line " + std::to_string(i) +
                (i % 3 ? "\xC2\xA0"
                         "caf\xC3\xA9 \xF0\x9F\x98\x80\r\n"
                       : ".\n\n");
    t->setText(String(text));
    String whole = t->Text();
    int32_t n = rb::Len(whole);
    for (int32_t start : {1, 2, 777, 4000, n - 5000})
        for (int32_t count : {4097, 5000, n - start + 1, n})
            ASSERT_EQ(t->TextMid(start, count).toUtf8(), rb::Mid(whole, start, count).toUtf8())
                << "TextMid(" << start << ", " << count << ")";
}

TEST_F(Gui, TextAreaPiecesAndPositionsAgreeWithTheWholeText) {
    auto w = rb::implicitWindow<Sheet>();
    auto t = w->text();
    t->edit()->setFocus();
    const std::string smile = "\xF0\x9F\x98\x80", dash = "\xE2\x80\x94";
    struct Case {
        const char* name;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"ascii", "Hello, world."},
        {"two, three and four bytes", "\xC3\xA9" + smile + "a" + dash + "b" + smile + smile},
        {"line ends", "a\r\nb\rc\n\nd\r\n"},
        {"pairs at both ends", smile + "x" + smile},
        {"pairs only", smile + smile + smile},
    };
    // Each change, as its handler sees it.
    String before = t->Text();
    w->onChange = [&] {
        ExpectChangeExplains(before, *t);
        before = t->Text();
    };
    auto step = [&](const std::string& what, const std::function<void()>& edit) {
        edit();
        ExpectAgreesWithWholeText(*t, what);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        step("set", [&] { t->setText(String(c.text)); });
        step("typed at the end", [&] { QTest::keyClicks(t->edit(), "ab "); });
        step("pairs and a line end put in after the first character", [&] {
            t->setSelStart(1);
            t->setSelText(String(smile + "\r\n" + smile));
        });
        step("backspace over a pair", [&] {
            t->setSelStart(2);
            QTest::keyClick(t->edit(), Qt::Key_Backspace);  // the first pair, as one character
        });
        step("delete at the start", [&] {
            t->setSelStart(0);
            QTest::keyClick(t->edit(), Qt::Key_Delete);
        });
        step("undone once", [&] { t->edit()->undo(); });
        step("undone twice", [&] { t->edit()->undo(); });
        step("all replaced", [&] {
            t->SelectAll();
            QTest::keyClicks(t->edit(), "z");
        });
        step("set again", [&] { t->setText(String(smile + "\n" + c.text)); });
    }
    w->onChange = nullptr;
}

// Shift+Enter makes a line break of its own kind; every way the text leaves reads it as LF.
TEST_F(Gui, LineAndParagraphBreaksLeaveTheTextAreaAlike) {
    auto w = rb::implicitWindow<Sheet>();
    auto t = w->text();
    t->setText("");
    t->edit()->setFocus();
    QTest::keyClicks(t->edit(), "a");
    QTest::keyClick(t->edit(), Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(t->edit(), "b");
    QTest::keyClick(t->edit(), Qt::Key_Return);
    QTest::keyClicks(t->edit(), "c");
    ASSERT_TRUE(t->edit()->document()->toRawText().contains(QChar::LineSeparator));
    t->SelectAll();
    EXPECT_EQ(t->SelText().toUtf8(), "a\nb\nc");
    EXPECT_EQ(t->Text().toUtf8(), "a\nb\nc");
    EXPECT_EQ(t->TextMid(1, 5).toUtf8(), "a\nb\nc");
    t->Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), "a\nb\nc");
    QApplication::clipboard()->clear();
}

TEST_F(Gui, TextChangeFiresForTypedAndSetTextOnly) {
    auto w = rb::implicitWindow<Sheet>();
    auto t = w->text();
    int before = w->changes;
    t->setText(String("abc"));
    EXPECT_EQ(w->changes, before + 1);
    t->edit()->setFocus();
    t->setSelStart(3);
    QTest::keyClicks(t->edit(), "de");
    EXPECT_EQ(t->Text().toUtf8(), "abcde");
    EXPECT_EQ(w->changes, before + 3);
    t->setBold(true);
    t->setTextColor(rb::RGB(255, 0, 0));
    t->setTextSize(48);
    EXPECT_EQ(w->changes, before + 3);  // style is no change of the text
    EXPECT_EQ(t->TextSize(), 48);
    EXPECT_EQ(t->TextColor(), rb::RGB(255, 0, 0));
}

// Sizes may come from the preference file: none is undefined to convert or too big to draw.
TEST_F(Gui, TextSizesFromOutsideAreHeldToDrawableOnes) {
    auto t = rb::implicitWindow<Sheet>()->text();
    t->setTextSize(0);
    const double desktop = t->TextSize();
    const std::pair<double, double> cases[] = {{48, 48},
                                               {1e99, 1000},
                                               {100000, 1000},
                                               {-5, desktop},
                                               {std::numeric_limits<double>::quiet_NaN(), desktop},
                                               {std::numeric_limits<double>::infinity(), 1000}};
    for (auto [given, shown] : cases) {
        SCOPED_TRACE(given);
        t->setTextSize(given);
        EXPECT_EQ(t->TextSize(), shown);
    }
}

TEST_F(Gui, SizesAreClampedAndLocksKeepDistances) {
    auto w = rb::implicitWindow<Sheet>();
    w->setWidth(10);
    w->setHeight(50000);
    EXPECT_EQ(w->Width(), 300);
    EXPECT_EQ(w->Height(), 32000);
    w->setHeight(200);
    QApplication::processEvents();
    w->setWidth(500);
    w->setHeight(400);
    QApplication::processEvents();
    QRect text = w->text()->widget()->geometry();
    EXPECT_EQ(text, QRect(10, 10, 480, 300));
    QRect go = w->controlAs<rb::PushButton>("Go")->widget()->geometry();
    EXPECT_EQ(go, QRect(200, 350, 80, 22));  // left and bottom distances kept
}

TEST_F(Gui, ASliderValueGivenBeforeItsRangeIsKept) {
    auto w = rb::implicitWindow<Sheet>();
    auto s = w->controlAs<rb::Slider>("Slider");
    EXPECT_EQ(s->Value(), 150);
    EXPECT_EQ(s->Minimum(), 100);
    EXPECT_EQ(s->Maximum(), 250);
}

TEST_F(Gui, ScreenReadersGetNamesAndTabOrderFollowsTabIndex) {
    auto w = rb::implicitWindow<Sheet>();
    auto slider = w->controlAs<rb::Slider>("Slider")->widget();
    EXPECT_EQ(slider->accessibleName(), "Volume");  // the label above it
    EXPECT_EQ(w->controlAs<rb::PushButton>("Go")->widget()->accessibleName(), "Go");
    // Tab goes from widget to widget that takes focus by Tab, in the chain's order.
    auto nextTabStop = [](QWidget* from) {
        QWidget* w = from->nextInFocusChain();
        while (w != from && !(w->focusPolicy() & Qt::TabFocus)) w = w->nextInFocusChain();
        return w;
    };
    EXPECT_EQ(nextTabStop(slider), w->text()->widget());
    EXPECT_EQ(nextTabStop(w->text()->widget()), w->controlAs<rb::PushButton>("Go")->widget());
    EXPECT_EQ(w->controlAs<rb::Label>("Rate")->widget()->focusPolicy(), Qt::NoFocus);
}

TEST_F(Gui, OneWindowPerClassUntilItCloses) {
    auto a = rb::implicitWindow<Sheet>();
    auto b = rb::implicitWindow<Sheet>();
    EXPECT_EQ(a.get(), b.get());
    EXPECT_TRUE(a->opened);
    a->Close();
    a->Close();
    EXPECT_EQ(a->closes, 1);
    EXPECT_EQ(rb::_GetImplicitWindow(Sheet::kClassName), nullptr);
    auto c = rb::implicitWindow<Sheet>();
    EXPECT_NE(c.get(), a.get());
}

TEST_F(Gui, UnknownDesignPropertiesFailLoudly) {
    auto w = rb::implicitWindow<Sheet>();
    EXPECT_THROW(w->text()->_SetProperties({{"Colour", 1}}), rb::UnknownPropertyError);
    EXPECT_THROW(w->_SetProperties({{"Wdth", 1}}), rb::UnknownPropertyError);
    EXPECT_THROW(w->text()->_SetProperties({{"Bold", String("yes")}}), std::logic_error);
}

TEST_F(Gui, MenusAreFoundByNameAndChosenByShortcut) {
    auto bar = rb::make<rb::MenuBar>();
    auto file = rb::make<rb::MenuItem>();
    file->setName("File");
    file->setText("&File");
    bar->Append(file);
    auto print = rb::make<rb::MenuItem>();
    print->setName("FilePrint");
    print->setText("Print");
    print->setKeyboardShortcut("Cmd+P");
    file->Append(print);
    EXPECT_EQ(bar->_Lookup("FilePrint").get(), print.get());
    EXPECT_EQ(bar->Child("FilePrint").get(), nullptr);  // not a direct child
    EXPECT_EQ(bar->_Lookup("Nothing").get(), nullptr);

    auto w = rb::implicitWindow<Sheet>();
    w->setMenuBar(bar);
    int printed = 0;
    w->_AddMenuHandler("FilePrint", [&] { return ++printed > 0; });
    QMenuBar* qbar = w->qwindow()->menuBar();
    ASSERT_EQ(qbar->actions().size(), 1);
    QAction* action = qbar->actions()[0]->menu()->actions()[0];
    EXPECT_EQ(action->shortcut(), QKeySequence("Ctrl+P"));
    action->trigger();
    EXPECT_EQ(printed, 1);
    print->setEnabled(false);
    EXPECT_FALSE(action->isEnabled());
}

TEST_F(Gui, EveryMenuOpensFromTheKeyboardWithItsCaptionUnchanged) {
    auto bar = rb::make<rb::MenuBar>();
    std::vector<rb::Ref<rb::MenuItem>> menus;
    for (const char* caption : {"File", "&Edit", "Setup", "Check for Update", "Help", "Speech"}) {
        auto m = rb::make<rb::MenuItem>();
        m->setName(caption);
        m->setText(caption);
        auto item = rb::make<rb::MenuItem>();
        item->setName(std::string(caption) + "Item");
        item->setText("Item");
        m->Append(item);
        bar->Append(m);
        menus.push_back(m);
    }
    auto w = rb::implicitWindow<Sheet>();
    w->setMenuBar(bar);
    QApplication::setActiveWindow(w->qwindow());
    QMenuBar* qbar = w->qwindow()->menuBar();
    auto t = w->text();
    t->setText("");
    t->edit()->setFocus();
    // Keys through the window system, as a person types them: shortcuts are found there.
    QWindow* window = w->qwindow()->windowHandle();
    // Alt and the first letter no other menu claims ("Speech" takes "p").
    const std::pair<Qt::Key, int> keys[] = {{Qt::Key_F, 0}, {Qt::Key_E, 1}, {Qt::Key_S, 2},
                                            {Qt::Key_C, 3}, {Qt::Key_H, 4}, {Qt::Key_P, 5}};
    for (auto [key, index] : keys) {
        SCOPED_TRACE(index);
        QTest::keyClick(window, key, Qt::AltModifier);
        QWidget* popup = QApplication::activePopupWidget();
        ASSERT_NE(popup, nullptr);
        EXPECT_EQ(popup, qbar->actions()[index]->menu());
        popup->close();
        QApplication::processEvents();
    }
    // F10 opens the first menu with its first item active, as Alt and the letter do: a menu
    // open with nothing active is silent for a screen reader.
    QTest::keyClick(window, Qt::Key_F, Qt::AltModifier);
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    QAction* byLetter = static_cast<QMenu*>(QApplication::activePopupWidget())->activeAction();
    QApplication::activePopupWidget()->close();
    QTest::keyClick(window, Qt::Key_F10);
    EXPECT_EQ(QApplication::activePopupWidget(), qbar->actions()[0]->menu());
    EXPECT_EQ(qbar->actions()[0]->menu()->activeAction(), qbar->actions()[0]->menu()->actions()[0]);
    EXPECT_EQ(qbar->actions()[0]->menu()->activeAction(), byLetter);
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    // A separator or a disabled item first: the first item that can be chosen is active.
    menus[0]->Item(0)->setEnabled(false);
    QTest::keyClick(window, Qt::Key_F10);
    EXPECT_EQ(qbar->actions()[0]->menu()->activeAction(), nullptr) << "none can be chosen";
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    menus[0]->Item(0)->setEnabled(true);
    EXPECT_EQ(t->Text().toUtf8(), "");  // no letter reached the text
    // Captions and the names screen readers hear are as given.
    const char* names[] = {"File", "Edit", "Setup", "Check for Update", "Help", "Speech"};
    for (size_t i = 0; i < menus.size(); ++i) {
        EXPECT_EQ(menus[i]->Text().toUtf8(), i == 1 ? "&Edit" : names[i]);
        menus[i]->setEnabled(true);  // a later change keeps the mnemonic
        QAccessibleInterface* a =
            QAccessible::queryAccessibleInterface(qbar)->child(static_cast<int>(i));
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(QAccessible::Name), names[i]);
    }
    QTest::keyClick(window, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(QApplication::activePopupWidget(), qbar->actions()[2]->menu());
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
}

TEST_F(Gui, AnExceptionInAHandlerGoesToTheHelper) {
    std::string seen;
    rb::RuntimeSetExceptionHelper([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const rb::NilObjectException& x) {
            seen = x.what();
        }
    });
    auto w = rb::implicitWindow<Sheet>();
    auto go = w->controlAs<rb::PushButton>("Go");
    go->_AddEventHandler(rb::event::Action, [] {
        rb::Ref<rb::Window> none;
        none->Show();
    });
    go->Push();
    EXPECT_EQ(seen, "NilObjectException");
    rb::RuntimeSetExceptionHelper(nullptr);
}

TEST_F(Gui, TimersTickInTheEventLoop) {
    auto w = rb::implicitWindow<Sheet>();
    w->_AddControl("Tick", rb::make<rb::Timer>(w.get()));
    auto t = w->controlAs<rb::Timer>("Tick");
    int ticks = 0;
    t->_AddEventHandler(rb::event::TimerAction, [&] { ++ticks; });
    t->_SetProperties({{"Mode", 2}, {"Period", 5}});
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 2000));
    t->setMode(0);
    int stopped = ticks;
    QTest::qWait(30);
    EXPECT_EQ(ticks, stopped);
}

// Each body runs as a handler does: from the event loop, which waited for events before it.
void AsAHandler(const std::function<void()>& body) {
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        body();
        loop.quit();
    });
    loop.exec();
}

TEST_F(Gui, AYieldRunsEventsOnceItsLoopHasGoneOnForTenMilliseconds) {
    using namespace std::chrono_literals;
    auto t = std::chrono::steady_clock::now();
    rb::detail::setYieldClock([&] { return t; });
    bool ran = false;
    auto pending = [&] {
        ran = false;
        QTimer::singleShot(0, [&] { ran = true; });
    };
    AsAHandler([&] {
        pending();
        for (int i = 0; i < 1000; ++i, t += 9us) rb::RuntimeYield();
        EXPECT_FALSE(ran) << "a loop of 9 ms ran events";
        t += 1ms;
        rb::RuntimeYield();
        EXPECT_TRUE(ran);
        // Descheduled for a long time in the middle: the same loop, so events run at once.
        pending();
        t += 50ms;
        rb::RuntimeYield();
        EXPECT_TRUE(ran);
    });
    // The next handler is a loop of its own, however soon it follows.
    AsAHandler([&] {
        pending();
        rb::RuntimeYield();
        t += 9ms;
        rb::RuntimeYield();
        EXPECT_FALSE(ran);
        t += 1ms;
        rb::RuntimeYield();
        EXPECT_TRUE(ran);
    });
    rb::detail::setYieldClock(nullptr);
}

TEST_F(Gui, TheExceptionMessageNamesTheExceptionsClass) {
    struct Case {
        std::function<void()> fault;
        const char* className;
    } cases[] = {
        {[] { (void)std::vector<int>().at(1); }, "std::out_of_range"},
        {[] { throw rb::NilObjectException(); }, "NilObjectException"},
        {[] { throw 7; }, "int"},
    };
    for (const Case& c : cases) {
        rb::testing::RecordingDialogs dialogs;
        rb::RunGuarded(c.fault);
        EXPECT_EQ(dialogs.messages,
                  std::vector<std::string>{std::string("An exception of class ") + c.className +
                                           " was not handled. The application must shut down."});
        rb::RuntimeReleaseWindows();  // the helper quit: start afresh
    }
    // Quitting outside the event loop leaves every loop started later (a modal box's) to end at
    // once, until the application's own loop runs again.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

TEST_F(Gui, ASliderSetByTheProgramRaisesValueChangedChangedOrNot) {
    auto w = rb::implicitWindow<Sheet>();
    auto s = w->controlAs<rb::Slider>("Slider");
    std::vector<int32_t> seen;
    s->_AddEventHandler(rb::event::ValueChanged, [&] { seen.push_back(s->Value()); });
    for (int32_t v : {150, 150, 180, 0, 99999, 99999}) s->setValue(v);
    EXPECT_EQ(seen, (std::vector<int32_t>{150, 150, 180, 100, 250, 250}));
}

// What the clipboard of an X11 desktop holds once it is cleared: an object without formats.
TEST_F(Gui, PastingInsertsTextOnlyAndNothingFromAnEmptyClipboard) {
    auto w = rb::implicitWindow<Sheet>();
    auto t = w->text();
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray badUtf8(
        "a\xff\xfe"
        "b");
    struct Case {
        const char* what;
        std::function<QMimeData*()> contents;
        QString inserted;
    } cases[] = {
        {"no formats", [] { return new QMimeData; }, ""},
        {"an image only",
         [&] {
             auto* m = new QMimeData;
             m->setImageData(image);
             return m;
         },
         ""},
        {"empty text",
         [] {
             auto* m = new QMimeData;
             m->setText("");
             return m;
         },
         ""},
        {"invalid UTF-8",
         [&] {
             auto* m = new QMimeData;
             m->setData("text/plain", badUtf8);
             return m;
         },
         QString::fromUtf8(badUtf8)},
        {"text with CRLF",
         [] {
             auto* m = new QMimeData;
             m->setText("x\r\ny");
             return m;
         },
         "x\ny"},
    };
    for (bool readOnly : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (readOnly ? ", read-only" : ""));
            t->setReadOnly(false);
            t->setText("kept");
            t->setReadOnly(readOnly);
            t->setSelStart(4);
            t->edit()->setFocus();
            QApplication::clipboard()->setMimeData(c.contents());
            QTest::keyClick(t->edit(), Qt::Key_V, Qt::ControlModifier);
            t->edit()->paste();
            QString expected = readOnly ? QString() : c.inserted + c.inserted;
            EXPECT_EQ(QString::fromStdString(t->Text().toUtf8()), "kept" + expected);
        }
    }
    QApplication::clipboard()->clear();
}

TEST_F(Gui, ReadOnlyTextKeepsAKeyboardCaret) {
    auto w = rb::implicitWindow<Sheet>();
    auto t = w->text();
    t->setText("one\ntwo\nthree");
    t->setReadOnly(true);
    t->setSelStart(0);
    t->edit()->setFocus();
    QTest::keyClick(t->edit(), Qt::Key_Down);
    EXPECT_EQ(t->SelStart(), 4);
    QTest::keyClick(t->edit(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(t->SelStart(), 13);
    QTest::keyClick(t->edit(), Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_EQ(t->SelText().toUtf8(), "three");
    QTest::keyClicks(t->edit(), "x");
    EXPECT_EQ(t->Text().toUtf8(), "one\ntwo\nthree");
}

// A text area that hides its selection draws none once the focus has gone, but keeps it; one
// that does not keeps it drawn.
TEST_F(Gui, HideSelectionHidesTheSelectionWithoutTheFocus) {
    auto w = rb::implicitWindow<Sheet>();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w->qwindow()));
    auto t = w->text();
    t->setText("Some selected text");
    QWidget* elsewhere = w->controlAs<rb::PushButton>("Go")->widget();
    auto unfocused = [&](int32_t selLength) {
        t->setSelStart(0);
        t->setSelLength(selLength);
        t->edit()->setFocus();
        elsewhere->setFocus();
        EXPECT_FALSE(t->edit()->hasFocus());
        return t->edit()->viewport()->grab().toImage();
    };
    for (bool hide : {true, false}) {
        SCOPED_TRACE(hide);
        t->_SetProperties({{"HideSelection", hide}});
        t->setTextColor(rb::RGB(200, 0, 0));  // a colour set later keeps the rule
        QImage plain = unfocused(0), selected = unfocused(9);
        EXPECT_EQ(t->SelText().toUtf8(), "Some sele");
        EXPECT_EQ(plain == selected, hide);
        t->edit()->setFocus();
        EXPECT_NE(t->edit()->viewport()->grab().toImage(), plain) << "drawn with the focus";
    }
}

// Text the program sets is one edit of the user's text: Undo brings the old text back. A
// read-only text has nothing to undo.
TEST_F(Gui, TextSetByTheProgramCanBeUndone) {
    auto w = rb::implicitWindow<Sheet>();
    auto t = w->text();
    t->setText("");
    QTest::keyClicks(t->edit(), "typed");
    t->setText("");
    int changes = w->changes;
    EXPECT_TRUE(t->edit()->document()->isUndoAvailable());
    t->edit()->undo();
    EXPECT_EQ(t->Text().toUtf8(), "typed");
    EXPECT_EQ(w->changes, changes + 1) << "the text came back as a change";
    t->setText("one\ntwo");
    EXPECT_EQ(t->SelStart(), 0) << "the caret at the start, as before";
    t->edit()->undo();
    EXPECT_EQ(t->Text().toUtf8(), "typed");
    t->setReadOnly(true);
    t->setText("shown");
    EXPECT_FALSE(t->edit()->document()->isUndoAvailable());
    t->setReadOnly(false);
}

TEST_F(Gui, MessageBoxesCanBeAnsweredByATest) {
    rb::testing::RecordingDialogs dialogs;
    rb::MsgBox("Hello");
    rb::Beep();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Hello"});
    EXPECT_EQ(dialogs.beeps, 1);
}

// Two radio buttons straight in the window and two in a group box: two groups.
class Choices : public rb::Window {
  public:
    static constexpr const char* kClassName = "Choices";
    const char* className() const override { return kClassName; }
    void CreateControls() override {
        _AddControl("Box", rb::make<rb::GroupBox>(this));
        controlAs<rb::GroupBox>("Box")->_SetProperties({{"Left", 10},
                                                        {"Top", 10},
                                                        {"Width", 200},
                                                        {"Height", 60},
                                                        {"Caption", String("Box")}});
        const char* names[] = {"A", "B", "InA", "InB"};
        for (int i = 0; i < 4; ++i) {
            _AddControl(names[i], rb::make<rb::RadioButton>(this));
            auto r = controlAs<rb::RadioButton>(names[i]);
            bool inBox = i >= 2;
            r->_SetProperties({{"Left", 20 + 80 * (i % 2)},
                               {"Top", inBox ? 30 : 100},
                               {"Width", 70},
                               {"Height", 20},
                               {"Caption", String(names[i])},
                               {"TabIndex", i % 2},
                               {"InitialParent", String(inBox ? "Box" : "")}});
            r->_AddEventHandler(rb::event::Action, [this, i] { ++actions[i]; });
        }
    }
    rb::Ref<rb::RadioButton> radio(const char* name) { return controlAs<rb::RadioButton>(name); }
    int actions[4] = {};
};

TEST_F(Gui, RadioButtonsAreExclusiveWithinTheirParentAndValuesSetInCodeRaiseNoAction) {
    auto w = rb::implicitWindow<Choices>();
    w->radio("A")->setValue(true);
    w->radio("InA")->setValue(true);
    EXPECT_TRUE(w->radio("A")->Value()) << "a group box's buttons are a group of their own";
    w->radio("B")->setValue(true);
    EXPECT_FALSE(w->radio("A")->Value());
    EXPECT_TRUE(w->radio("InA")->Value());
    EXPECT_EQ(std::vector<int>(w->actions, w->actions + 4), (std::vector<int>{0, 0, 0, 0}));
    // False in code clears the selection, leaving none.
    w->radio("InA")->setValue(false);
    EXPECT_FALSE(w->radio("InA")->Value());
    EXPECT_FALSE(w->radio("InB")->Value());
    // The user's click and Space raise Action.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w->qwindow()));
    QTest::mouseClick(w->radio("InB")->widget(), Qt::LeftButton, {}, QPoint(6, 10));
    EXPECT_TRUE(w->radio("InB")->Value());
    w->radio("A")->widget()->setFocus();
    QTest::keyClick(w->radio("A")->widget(), Qt::Key_Space);
    EXPECT_TRUE(w->radio("A")->Value());
    EXPECT_FALSE(w->radio("B")->Value());
    EXPECT_EQ(std::vector<int>(w->actions, w->actions + 4), (std::vector<int>{1, 0, 0, 1}));
    // The arrows select as they go; the accessibility interface's own actions (what switch
    // access, voice control and the screen reader's commands use) select too. Each selection
    // raises Action once; a click on the button already selected raises it as before.
    QTest::keyClick(w->radio("A")->widget(), Qt::Key_Right);
    EXPECT_TRUE(w->radio("B")->Value());
    QAccessibleActionInterface* toggle =
        QAccessible::queryAccessibleInterface(w->radio("InA")->widget())->actionInterface();
    ASSERT_NE(toggle, nullptr);
    toggle->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(w->radio("InA")->Value());
    EXPECT_FALSE(w->radio("InB")->Value());
    QAccessible::queryAccessibleInterface(w->radio("A")->widget())
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    // A pressed action is an animated click.
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->radio("A")->Value(); }, 5000));
    QTest::mouseClick(w->radio("A")->widget(), Qt::LeftButton, {}, QPoint(6, 10));
    EXPECT_EQ(std::vector<int>(w->actions, w->actions + 4), (std::vector<int>{3, 1, 1, 1}));
    w->radio("B")->setValue(true);
    w->radio("InB")->setValue(true);
    EXPECT_EQ(std::vector<int>(w->actions, w->actions + 4), (std::vector<int>{3, 1, 1, 1}));
    // Placed by window coordinates inside the box.
    EXPECT_EQ(w->radio("InB")->widget()->geometry(), QRect(90, 20, 70, 20));
    EXPECT_THROW(w->radio("A")->_SetProperties({{"InitialParent", String("B")}}), std::logic_error);
}

// A window as the programs make their secondary ones: a fixed size, buttons, a label, and
// optionally a menu bar (its own, or the application's), a Cancel button and a default button.
struct PanelDesign {
    bool ownMenuBar = false, appMenuBar = false, cancelButton = false, closeBox = true;
};
PanelDesign gPanel;

class Panel : public rb::Window {
  public:
    static constexpr const char* kClassName = "Panel";
    const char* className() const override { return kClassName; }
    void Layout() override {
        if (gPanel.appMenuBar) setMenuBar(rb::Application::current()->menuBar());
        if (gPanel.ownMenuBar) {
            auto bar = rb::make<rb::MenuBar>();
            auto file = rb::make<rb::MenuItem>();
            file->setName("File");
            file->setText("File");
            bar->Append(file);
            setMenuBar(bar);
        }
        _SetProperties({{"Width", 212},
                        {"Height", 103},
                        {"Title", String("Panel")},
                        {"Resizeable", false},
                        {"MaximizeButton", true},
                        {"CloseButton", gPanel.closeBox},
                        {"MenuBarVisible", true},
                        {"Visible", true}});
    }
    void CreateControls() override {
        const char* names[] = {"First", "Second", "Stop"};
        for (int i = 0; i < 3; ++i) {
            if (i == 2 && !gPanel.cancelButton) break;
            _AddControl(names[i], rb::make<rb::PushButton>(this));
            button(names[i])->_SetProperties({{"Left", 10},
                                              {"Top", 10 + 30 * i},
                                              {"Width", 100},
                                              {"Height", 22},
                                              {"Caption", String(names[i])},
                                              {"Default", i == 1},
                                              {"Cancel", i == 2},
                                              {"TabIndex", i}});
            button(names[i])->_AddEventHandler(rb::event::Action, [this, i] { ++pushed[i]; });
        }
    }
    void Event_Close() override { ++closes; }
    rb::Ref<rb::PushButton> button(const char* name) { return controlAs<rb::PushButton>(name); }
    int pushed[3] = {};
    int closes = 0;
};

class Panels : public Gui {
  protected:
    // The application, with a menu bar of its own, stays registered to the end of the run.
    static void SetUpTestSuite() {
        if (rb::Application::current()) return;
        auto app = rb::make<rb::Application>();
        auto bar = rb::make<rb::MenuBar>();
        auto file = rb::make<rb::MenuItem>();
        file->setName("AppFile");
        file->setText("File");
        bar->Append(file);
        app->setMenuBar(bar);
        rb::RuntimeRegisterAppObject(app);
    }
    void TearDown() override {
        gPanel = {};
        Gui::TearDown();
    }
    rb::Ref<Panel> open(PanelDesign design) {
        gPanel = design;
        auto w = rb::implicitWindow<Panel>();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w->qwindow()));
        return w;
    }
};

// Escape and Ctrl+W leave a secondary window as its close box does; a Cancel button takes
// Escape; the window that shows the application's menu bar (the user's work) keeps both keys.
TEST_F(Panels, EscapeAndCtrlWLeaveEverySecondaryWindow) {
    struct Row {
        const char* what;
        PanelDesign design;
        QKeyCombination keys;
        bool closes;
        int cancelled;
    };
    const Row rows[] = {
        {"no menu bar, Escape", {}, QKeyCombination(Qt::Key_Escape), true, 0},
        {"no menu bar, Ctrl+W", {}, Qt::CTRL | Qt::Key_W, true, 0},
        {"own menu bar, Escape", {.ownMenuBar = true}, QKeyCombination(Qt::Key_Escape), true, 0},
        {"own menu bar, Ctrl+W", {.ownMenuBar = true}, Qt::CTRL | Qt::Key_W, true, 0},
        {"Cancel button, Escape",
         {.cancelButton = true},
         QKeyCombination(Qt::Key_Escape),
         false,
         1},
        {"Cancel button, Ctrl+W", {.cancelButton = true}, Qt::CTRL | Qt::Key_W, true, 0},
        {"main window, Escape", {.appMenuBar = true}, QKeyCombination(Qt::Key_Escape), false, 0},
        {"main window, Ctrl+W", {.appMenuBar = true}, Qt::CTRL | Qt::Key_W, false, 0},
        {"no close box, Escape", {.closeBox = false}, QKeyCombination(Qt::Key_Escape), false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto w = open(row.design);
        QTest::keyClick(w->qwindow()->windowHandle(), row.keys.key(), row.keys.keyboardModifiers());
        EXPECT_EQ(!w->isOpen(), row.closes);
        EXPECT_EQ(w->closes, row.closes ? 1 : 0);
        EXPECT_EQ(w->Visible(), !row.closes);
        EXPECT_EQ(w->pushed[2], row.cancelled);
        EXPECT_EQ(w->pushed[0] + w->pushed[1], 0);
        w->Close();
        QApplication::processEvents();
    }
}

TEST_F(Panels, EscapeWhileAModalBoxIsUpClosesOnlyTheBox) {
    auto w = open({});
    bool boxClosed = false;
    QTimer answer, bound;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || !box->isActiveWindow()) return;
        answer.stop();
        QTest::keyClick(box->windowHandle(), Qt::Key_Escape);
        boxClosed = true;
    });
    answer.start(10);
    // Bounds a broken run.
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, [] {
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    bound.start(5000);
    rb::MsgBox("Text");  // the desktop's own box
    EXPECT_TRUE(boxClosed);
    EXPECT_TRUE(w->isOpen());
    EXPECT_EQ(w->closes, 0);
}

// A window that cannot be resized by design tells the window manager so: its frame's least and
// greatest sizes are its size, and it offers no maximising.
TEST_F(Panels, AWindowThatCannotBeResizedKeepsItsSizeWithOrWithoutAMenuBar) {
    for (bool bar : {false, true}) {
        SCOPED_TRACE(bar);
        auto w = open({.ownMenuBar = bar});
        QMainWindow* top = w->qwindow();
        const QSize frame = top->size();
        EXPECT_EQ(w->content()->size(), QSize(212, 103));
        EXPECT_EQ(top->minimumSize(), frame);
        EXPECT_EQ(top->maximumSize(), frame);
        EXPECT_FALSE(top->windowFlags() & Qt::WindowMaximizeButtonHint);
        // Maximising is the window manager's; the offscreen desktop has none, so the desktop
        // check (bench/desktop) tries it.
        top->resize(900, 700);
        QApplication::processEvents();
        EXPECT_EQ(top->size(), frame);
        EXPECT_EQ(w->content()->size(), QSize(212, 103));
        w->Close();
        QApplication::processEvents();
    }
    // Made resizeable again, it lets go of the bounds.
    auto w = open({});
    w->setResizeable(true);
    w->qwindow()->resize(500, 400);
    EXPECT_EQ(w->qwindow()->size(), QSize(500, 400));
}

// A window without menus has no menu bar at all, not an empty one for screen readers to find.
TEST_F(Panels, AWindowWithoutMenusShowsNoMenuBar) {
    auto w = open({});
    EXPECT_EQ(w->qwindow()->menuWidget(), nullptr);
    EXPECT_TRUE(w->qwindow()->findChildren<QMenuBar*>().isEmpty());
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w->qwindow());
    for (int i = 0; i < a->childCount(); ++i) EXPECT_NE(a->child(i)->role(), QAccessible::MenuBar);
    w->Close();
    auto withBar = open({.ownMenuBar = true});
    EXPECT_NE(withBar->qwindow()->menuWidget(), nullptr);
    EXPECT_TRUE(withBar->qwindow()->menuWidget()->isVisible());
}

// The window opens with the focus on its default button, and Return presses the focused button
// (the one a screen reader has just named); with the focus elsewhere Return is the default's.
TEST_F(Panels, ReturnPressesTheButtonThatHasTheFocus) {
    auto w = open({});
    QWindow* window = w->qwindow()->windowHandle();
    EXPECT_EQ(QApplication::focusWidget(), w->button("Second")->widget());
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_EQ(w->pushed[1], 1);
    w->button("First")->widget()->setFocus();
    QTest::keyClick(window, Qt::Key_Return);
    QTest::keyClick(window, Qt::Key_Enter);
    EXPECT_EQ(w->pushed[0], 2);
    EXPECT_EQ(w->pushed[1], 1);
    w->content()->setFocus();
    QTest::keyClick(window, Qt::Key_Return);
    EXPECT_EQ(w->pushed[1], 2);
}

}  // namespace
