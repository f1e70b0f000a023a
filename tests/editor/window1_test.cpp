// The main window and its menu bar as built, with the real widgets offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "editor/MenuBar1.h"
#include "editor/Module1.h"
#include "editor/Window1.h"
#include "settings/prefModule.h"
#include "tests/editor/main_window_harness.h"

namespace {

class MainWindow : public editor_test::OpenMainWindow {
  protected:
    QRect geometry(const char* name) const {
        return w_->_ControlByName(name)->widget()->geometry();
    }
};

TEST_F(MainWindow, ControlsStandWhereTheLayoutPutsThem) {
    struct Row {
        const char* name;
        QRect rect;
        const char* caption;
        int tabIndex;
    } rows[] = {
        {"EditField1", {20, 18, 360, 321}, "", 0},
        {"TextToClipboard", {215, 444, 172, 27}, "Text to Clipboard", 2},
        {"StopSpeaking", {215, 376, 172, 27}, "Stop Speaking", 3},
        {"ClearAll", {215, 410, 172, 27}, "Clear All", 4},
        {"RateSlider", {20, 382, 180, 16}, "", 5},
        {"StaticText1", {20, 352, 180, 25}, "Speaking Rate", 6},
        {"SpeakSelected", {20, 444, 172, 22}, "Speak Selected", 7},
        {"SpeakToEnd", {20, 410, 172, 22}, "Speak to End", 9},
    };
    ASSERT_EQ(w_->controls().size(), 9u);  // the timer too
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(geometry(r.name), r.rect);
        EXPECT_EQ(w_->_ControlByName(r.name)->TabIndex, r.tabIndex);
        if (auto b = w_->controlAs<rb::PushButton>(r.name)) {
            EXPECT_EQ(b->Caption().toUtf8(), r.caption);
            EXPECT_EQ(b->TextSize(), 14);
            EXPECT_TRUE(b->Bold());
        }
    }
    EXPECT_EQ(w_->StaticText1()->Text().toUtf8(), "Speaking Rate");
    EXPECT_EQ(w_->RateSlider()->widget()->accessibleName(), "Speaking Rate");
    EXPECT_EQ(w_->EditField1()->TextSize(), prefModule::InputFontSize);  // applied at Open
    EXPECT_TRUE(w_->EditField1()->Bold());
    EXPECT_EQ(w_->Title().toUtf8(), "Vellora");
}

TEST_F(MainWindow, SliderAndTimerStartAsDesigned) {
    auto s = w_->RateSlider();
    EXPECT_EQ(s->Minimum(), 100);
    EXPECT_EQ(s->Maximum(), 250);
    // At Open the stored rate replaces the design value 150 once a channel exists.
    EXPECT_EQ(s->Value(), Module1::sc ? prefModule::SpeakingRate : 150);
    EXPECT_EQ(s->LineStep(), 1);
    EXPECT_EQ(s->PageStep(), 20);
    EXPECT_TRUE(s->LiveScroll());
    EXPECT_EQ(w_->Timer1()->Mode(), 2);
    EXPECT_EQ(w_->Timer1()->Period(), 50);
}

TEST_F(MainWindow, SizeLimitsAndLocks) {
    w_->setWidth(100);
    w_->setHeight(100);
    EXPECT_EQ(w_->Width(), 400);
    EXPECT_EQ(w_->Height(), 492);
    w_->setWidth(40000);
    EXPECT_EQ(w_->Width(), 32000);
    w_->setWidth(400);
    QApplication::processEvents();
    EXPECT_EQ(geometry("SpeakToEnd"), QRect(20, 410, 172, 22));  // at the smallest size

    w_->setWidth(600);
    w_->setHeight(700);
    QApplication::processEvents();
    EXPECT_EQ(geometry("EditField1"), QRect(20, 18, 560, 529));
    EXPECT_EQ(geometry("TextToClipboard"), QRect(215, 652, 172, 27));
    EXPECT_EQ(geometry("StaticText1"), QRect(20, 560, 180, 25));
    EXPECT_EQ(geometry("RateSlider"), QRect(20, 590, 180, 16));
}

TEST_F(MainWindow, MenuBarIsSharedAndItemsAreFoundByName) {
    EXPECT_EQ(MenuBar1::MenuBar1_().get(), MenuBar1::MenuBar1_().get());
    EXPECT_EQ(w_->menuBar().get(), MenuBar1::MenuBar1_().get());
    struct Item {
        rb::Ref<rb::MenuItem> item;
        const char* name;
        const char* kind;
        const char* text;
        const char* shortcut;
    } items[] = {
        {w_->File(), "File", "MenuItem", "File", ""},
        {w_->FilePrintHelp(), "FilePrintHelp", "MenuItem", "Print Help", "Cmd+P"},
        {w_->EditMenu(), "EditMenu", "MenuItem", "&Edit", ""},
        {w_->EditCopy(), "EditCopy", "MenuItem", "&Copy", "Cmd+C"},
        {w_->EditPaste(), "EditPaste", "MenuItem", "&Paste", "Cmd+V"},
        {w_->EditSelectAll(), "EditSelectAll", "MenuItem", "Select &All", "Cmd+A"},
        {w_->SetupMenu(), "SetupMenu", "MenuItem", "Setup", ""},
        {w_->SetupInput(), "SetupInput", "MenuItem", "Input Style", ""},
        {w_->CheckforUpdateMenu(), "CheckforUpdateMenu", "AppleMenuItem", "Check for Update", ""},
        {w_->CheckforUpdateCheckNow(), "CheckforUpdateCheckNow", "MenuItem", "Check Now", ""},
        {w_->HelpMenu(), "HelpMenu", "MenuItem", "Help ", ""},
        {w_->HelpShowVLRHelp(), "HelpShowVLRHelp", "MenuItem", "Show VLR Help", ""},
        {w_->HelpAbout(), "HelpAbout", "AppleMenuItem", "About...", ""},
    };
    for (const Item& i : items) {
        SCOPED_TRACE(i.name);
        ASSERT_TRUE(i.item);
        EXPECT_EQ(i.item->Name().toUtf8(), i.name);
        EXPECT_STREQ(i.item->className(), i.kind);
        EXPECT_EQ(i.item->Text().toUtf8(), i.text);
        EXPECT_EQ(i.item->KeyboardShortcut().toUtf8(), i.shortcut);
        EXPECT_TRUE(i.item->AutoEnable());
    }
    auto bar = w_->menuBar();
    const char* order[] = {"File", "EditMenu", "SetupMenu", "CheckforUpdateMenu", "HelpMenu"};
    ASSERT_EQ(bar->Count(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(bar->Item(i)->Name().toUtf8(), order[i]);
    EXPECT_EQ(w_->EditMenu()->Item(2)->Name().toUtf8(), "EditSelectAll");
}

TEST_F(MainWindow, ShortcutsReachTheirItemsInTheWindowsMenuBar) {
    QMenuBar* qbar = w_->qwindow()->menuBar();
    std::map<QString, QString> shortcuts;  // caption -> shortcut, every action of every menu
    for (QAction* menu : qbar->actions()) {
        EXPECT_TRUE(menu->shortcut().isEmpty()) << menu->text().toStdString();
        for (QAction* a : menu->menu()->actions()) shortcuts[a->text()] = a->shortcut().toString();
    }
    std::map<QString, QString> want = {
        {"Print Help", "Ctrl+P"},  {"&Copy", "Ctrl+C"}, {"&Paste", "Ctrl+V"},
        {"Select &All", "Ctrl+A"}, {"Input Style", ""}, {"Check Now", ""},
        {"Show VLR Help", ""},     {"About...", ""},
    };
    EXPECT_EQ(shortcuts, want);
}

TEST_F(MainWindow, StandardEditingItemsActOnTheFocusedText) {
    auto text = w_->EditField1();
    text->setText("hello");
    text->edit()->setFocus();
    QApplication::setActiveWindow(w_->qwindow());
    ASSERT_EQ(QApplication::focusWidget(), text->edit());
    w_->chooseMenuItem(*w_->EditSelectAll());
    EXPECT_EQ(text->SelText().toUtf8(), "hello");
    w_->chooseMenuItem(*w_->EditCopy());
    text->setSelStart(5);
    w_->chooseMenuItem(*w_->EditPaste());
    EXPECT_EQ(text->Text().toUtf8(), "hellohello");
}

TEST_F(MainWindow, TheImplicitInstanceIsTheOneOpenWindow) {
    EXPECT_EQ(Window1::Window1_().get(), w_.get());
    EXPECT_EQ(rb::_GetImplicitWindow("Window1"), w_.get());
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    rb::RuntimeInit(argc, argv);
    int result;
    {
        editor_test::ProgramState state;
        result = RUN_ALL_TESTS();
    }
    rb::RuntimeExit();
    return result;
}
