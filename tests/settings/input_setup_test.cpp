// The Input Style dialog on the real widgets offscreen, beside a stand-in main window that has
// the text area the dialog restyles.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QMainWindow>
#include <QTest>

#include <string>
#include <vector>

#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/gui/runtime.h"
#include "platform/rbframework/gui/window.h"
#include "settings/InputSetup.h"
#include "settings/main_window.h"
#include "settings/prefModule.h"

namespace {

using rb::RGB;
using rb::String;

// Just what the dialog needs of the main window: a text area, handed in as the program does.
class MainStandIn : public rb::Window {
  public:
    static constexpr const char* kClassName = "MainStandIn";
    const char* className() const override { return kClassName; }
    void CreateControls() override {
        _AddControl("Text", rb::make<rb::TextArea>(this));
        text()->_SetProperties({{"Left", 10}, {"Top", 10}, {"Width", 280}, {"Height", 200}});
    }
    rb::Ref<rb::TextArea> text() const { return controlAs<rb::TextArea>("Text"); }
};

void setGlobals(const char* color, int32_t size, const char* family, const char* bold) {
    prefModule::InputFontColor = color;
    prefModule::InputFontSize = size;
    prefModule::InputFontFamily = family;
    prefModule::InputBold = bold;
}

class Dialog : public ::testing::Test {
  protected:
    void SetUp() override {
        objects_ = rb::Object::liveCount();
        setGlobals("Black", 36, "Arial", "True");
        main_ = rb::implicitWindow<MainStandIn>();
        settings::setMainWindow({
            .window = [] { return rb::_GetImplicitWindow(MainStandIn::kClassName); },
            .text = []() -> rb::Ref<rb::TextArea> {
                auto* w =
                    static_cast<MainStandIn*>(rb::_GetImplicitWindow(MainStandIn::kClassName));
                return w ? w->text() : nullptr;
            },
        });
        // As the main window's Open applies those globals.
        main_->text()->setTextFont("Arial");
        main_->text()->setTextSize(36);
        main_->text()->setBold(true);
    }
    void TearDown() override {
        for (auto& w : std::vector<rb::Ref<rb::Window>>(rb::detail::openWindows())) w->Close();
        main_ = nullptr;
        QApplication::processEvents();
        settings::setMainWindow({});
        EXPECT_EQ(rb::Object::liveCount(), objects_);
        prefModule::ReleaseGlobals();
    }
    // The selected buttons' names, one per group, in group order ("" for a group with none).
    static std::vector<std::string> selection(const InputSetup& d) {
        std::vector<std::string> names(4);
        int group = -1;
        for (const auto& c : d.controls()) {
            if (dynamic_cast<rb::GroupBox*>(c.get())) ++group;
            auto* r = dynamic_cast<rb::RadioButton*>(c.get());
            if (r && r->Value()) names[group] += c->Name();
        }
        return names;
    }
    static std::vector<std::string> globals() {
        return {prefModule::InputFontColor.toUtf8(), std::to_string(prefModule::InputFontSize),
                prefModule::InputFontFamily.toUtf8(), prefModule::InputBold.toUtf8()};
    }

    int64_t objects_ = 0;
    rb::Ref<MainStandIn> main_;
};

// Opening and closing without a choice stores nothing: a value outside the lists picks which
// button shows as selected, but the stored value stays, and the main window keeps showing it.
TEST_F(Dialog, OpenSelectsFromTheGlobalsAndClosingWithoutAChoiceKeepsThem) {
    struct Case {
        const char* color;
        int32_t size;
        const char* family;
        const char* bold;
        std::vector<std::string> selected;
    } cases[] = {
        {"Black", 36, "Arial", "True", {"Black", "Font36", "Arial", "BoldOn"}},
        {"Red", 18, "Helvetica", "False", {"Red", "Font18", "Helvetica", "BoldOff"}},
        {"Blue", 96, "Courier", "True", {"Blue", "Font96", "Courier", "BoldOn"}},
        {"Black", 144, "Times", "False", {"Black", "Font144", "Times", "BoldOff"}},
        // Words are compared without regard to case, and kept as they were written.
        {"RED", 72, "times", "true", {"Red", "Font72", "Times", "BoldOn"}},
        // Outside the lists: Black stays from the design, and 144, Times and Off show.
        {"green", 20, "Wingdings", "yes", {"Black", "Font144", "Times", "BoldOff"}},
        {"", 0, "", "", {"Black", "Font144", "Times", "BoldOff"}},
        {"Blue", -5, "Arial", "", {"Blue", "Font144", "Arial", "BoldOff"}},
        {"Red", 100000, "Helvetica", "True", {"Red", "Font144", "Helvetica", "BoldOn"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.color) + " " + std::to_string(c.size) + " " + c.family);
        setGlobals(c.color, c.size, c.family, c.bold);
        const std::vector<std::string> stored = globals();
        main_->text()->setTextColor(RGB(1, 2, 3));
        main_->text()->setTextSize(20);
        auto d = InputSetup::InputSetup_();
        EXPECT_EQ(selection(*d), c.selected);
        EXPECT_EQ(globals(), stored);
        d->Close();
        EXPECT_EQ(globals(), stored);
        // Neither opening nor closing restyles the text.
        EXPECT_EQ(main_->text()->TextColor(), RGB(1, 2, 3));
        EXPECT_EQ(main_->text()->TextSize(), 20);
    }
}

// With a value outside the lists in every group, one choice stores that group's word and the
// other groups keep their stored values; choosing the button that shows as the fallback is a
// choice too.
TEST_F(Dialog, AChoiceStoresOnlyItsOwnGroup) {
    const std::vector<std::string> stored = {"green", "20", "Wingdings", "yes"};
    struct Case {
        const char* radio;
        std::vector<std::string> after;
    } cases[] = {
        {"Red", {"Red", "20", "Wingdings", "yes"}},
        {"Black", {"Black", "20", "Wingdings", "yes"}},  // selected only by the design
        {"Font48", {"green", "48", "Wingdings", "yes"}},
        {"Font144", {"green", "144", "Wingdings", "yes"}},  // the size's fallback
        {"Courier", {"green", "20", "Courier", "yes"}},
        {"Times", {"green", "20", "Times", "yes"}},  // the family's fallback
        {"BoldOn", {"green", "20", "Wingdings", "True"}},
        {"BoldOff", {"green", "20", "Wingdings", "False"}},  // the weight's fallback
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.radio);
        setGlobals("green", 20, "Wingdings", "yes");
        auto d = InputSetup::InputSetup_();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(d->qwindow()));
        ASSERT_EQ(globals(), stored);
        QTest::mouseClick(d->controlAs<rb::RadioButton>(c.radio)->widget(), Qt::LeftButton, {},
                          QPoint(6, 10));
        EXPECT_EQ(globals(), c.after) << "stored at the click";
        d->Close();
        EXPECT_EQ(globals(), c.after) << "and kept by the close";
        d = nullptr;
        QApplication::processEvents();
    }
    // A choice undone by choosing the first button again is still a choice.
    setGlobals("green", 20, "Wingdings", "yes");
    auto d = InputSetup::InputSetup_();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d->qwindow()));
    QTest::mouseClick(d->Font24()->widget(), Qt::LeftButton, {}, QPoint(6, 10));
    QTest::mouseClick(d->Font144()->widget(), Qt::LeftButton, {}, QPoint(6, 10));
    d->Close();
    EXPECT_EQ(globals(), (std::vector<std::string>{"green", "144", "Wingdings", "yes"}));
    EXPECT_EQ(main_->text()->TextSize(), 144);
}

TEST_F(Dialog, TheWindowIsTheDesignedOneAndItsControlsSitInTheirGroups) {
    auto d = InputSetup::InputSetup_();
    EXPECT_EQ(d->Title().toUtf8(), "Input Style");
    EXPECT_EQ(d->Width(), 300);
    EXPECT_EQ(d->Height(), 296);
    EXPECT_FALSE(d->Resizeable());
    // The user cannot resize it.
    EXPECT_EQ(d->content()->minimumSize(), QSize(300, 296));
    EXPECT_EQ(d->content()->maximumSize(), QSize(300, 296));
    EXPECT_EQ(d->controls().size(), 21u);
    // Window coordinates in the design; the widget sits inside its group box.
    auto red = d->Red();
    EXPECT_EQ(red->widget()->parentWidget(), d->GroupBox1()->widget());
    EXPECT_EQ(red->widget()->geometry(), QRect(126 - 22, 42 - 21, 52, 20));
    EXPECT_EQ(d->Courier()->widget()->mapTo(d->content(), QPoint()), QPoint(30, 244));
    // Only Black, On and Off have plain captions; the group boxes' are bold.
    for (const auto& c : d->controls()) {
        auto* t = dynamic_cast<rb::TextControl*>(c.get());
        bool plain = c->Name() == "Black" || c->Name() == "BoldOn" || c->Name() == "BoldOff";
        EXPECT_EQ(t->Bold(), !plain) << c->Name();
    }
    EXPECT_EQ(d->Font144()->Caption().toUtf8(), "144");
    EXPECT_EQ(d->GroupBox3()->Caption().toUtf8(), "Font Family");
}

TEST_F(Dialog, EveryClickRestylesTheMainTextAndStoresTheChoice) {
    auto d = InputSetup::InputSetup_();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d->qwindow()));
    auto text = main_->text();
    struct Click {
        const char* name;
        std::vector<std::string> globals;
    } clicks[] = {
        {"Red", {"Red", "36", "Arial", "True"}},
        {"Blue", {"Blue", "36", "Arial", "True"}},
        {"Black", {"Black", "36", "Arial", "True"}},
        {"Font18", {"Black", "18", "Arial", "True"}},
        {"Font24", {"Black", "24", "Arial", "True"}},
        {"Font36", {"Black", "36", "Arial", "True"}},
        {"Font48", {"Black", "48", "Arial", "True"}},
        {"Font64", {"Black", "64", "Arial", "True"}},
        {"Font72", {"Black", "72", "Arial", "True"}},
        {"Font96", {"Black", "96", "Arial", "True"}},
        {"Font144", {"Black", "144", "Arial", "True"}},
        {"Helvetica", {"Black", "144", "Helvetica", "True"}},
        {"Times", {"Black", "144", "Times", "True"}},
        {"Courier", {"Black", "144", "Courier", "True"}},
        {"Arial", {"Black", "144", "Arial", "True"}},
        {"BoldOff", {"Black", "144", "Arial", "False"}},
        {"BoldOn", {"Black", "144", "Arial", "True"}},
    };
    // By the mouse, then by the accessibility interface's toggle (switch access, voice control
    // and the screen reader's own commands use it, and it never clicks).
    for (bool accessible : {false, true}) {
        // The table starts from the design's 36.
        QTest::mouseClick(d->Font36()->widget(), Qt::LeftButton, {}, QPoint(6, 10));
        for (const Click& c : clicks) {
            SCOPED_TRACE(std::string(c.name) + (accessible ? " toggled" : " clicked"));
            auto radio = d->controlAs<rb::RadioButton>(c.name);
            if (accessible)
                QAccessible::queryAccessibleInterface(radio->widget())
                    ->actionInterface()
                    ->doAction(QAccessibleActionInterface::toggleAction());
            else
                QTest::mouseClick(radio->widget(), Qt::LeftButton, {}, QPoint(6, 10));
            EXPECT_TRUE(radio->Value());
            EXPECT_EQ(globals(), c.globals);
            const auto& g = c.globals;
            EXPECT_EQ(text->TextColor(), g[0] == "Red"    ? RGB(255, 0, 0)
                                         : g[0] == "Blue" ? RGB(0, 0, 255)
                                                          : RGB(0, 0, 0));
            EXPECT_EQ(text->TextSize(), std::stoi(g[1]));
            EXPECT_EQ(text->widget()->font().family().toStdString(), g[2]);
            EXPECT_EQ(text->Bold(), g[3] == "True");
        }
    }
    // The others of a group are cleared.
    EXPECT_EQ(selection(*d), (std::vector<std::string>{"Black", "Font144", "Arial", "BoldOn"}));
}

// Escape and Ctrl+W leave the dialog as its close box does: its Close runs, and writes the
// group whose selection moved since it opened (here moved in code, which raises no Action).
TEST_F(Dialog, EscapeOrCtrlWClosesItAndStoresAMovedSelection) {
    for (QKeyCombination keys : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W}) {
        setGlobals("Blue", 72, "Times", "False");
        auto d = InputSetup::InputSetup_();
        ASSERT_TRUE(QTest::qWaitForWindowActive(d->qwindow()));
        EXPECT_EQ(d->qwindow()->minimumSize(), d->qwindow()->maximumSize()) << "a fixed size";
        d->Red()->setValue(true);
        ASSERT_EQ(prefModule::InputFontColor.toUtf8(), "Blue");
        QTest::keyClick(d->qwindow()->windowHandle(), keys.key(), keys.keyboardModifiers());
        EXPECT_FALSE(d->isOpen());
        EXPECT_EQ(globals(), (std::vector<std::string>{"Red", "72", "Times", "False"}));
        d = nullptr;
        QApplication::processEvents();
    }
    EXPECT_TRUE(main_->isOpen());
}

TEST_F(Dialog, OneDialogAtATimeAndReopeningLeavesNothingBehind) {
    auto first = InputSetup::InputSetup_();
    EXPECT_EQ(InputSetup::InputSetup_().get(), first.get());
    first->Close();
    first = nullptr;
    QApplication::processEvents();
    int64_t before = rb::Object::liveCount();
    for (int i = 0; i < 20; ++i) {
        auto d = InputSetup::InputSetup_();
        QTest::mouseClick(d->Red()->widget(), Qt::LeftButton, {}, QPoint(6, 10));
        d->Close();
        QApplication::processEvents();
    }
    EXPECT_EQ(rb::Object::liveCount(), before);
    EXPECT_EQ(prefModule::InputFontColor.toUtf8(), "Red");
}

TEST_F(Dialog, WithTheMainWindowClosedAChoiceIsStillStored) {
    auto d = InputSetup::InputSetup_();
    main_->Close();
    QTest::mouseClick(d->Blue()->widget(), Qt::LeftButton, {}, QPoint(6, 10));
    EXPECT_EQ(prefModule::InputFontColor.toUtf8(), "Blue");
}

TEST_F(Dialog, KeyboardOnlyTabReachesEachGroupAndArrowsSelectAndRestyle) {
    setGlobals("Red", 36, "Arial", "True");
    auto d = InputSetup::InputSetup_();
    ASSERT_TRUE(QTest::qWaitForWindowActive(d->qwindow()));
    QWidget* red = d->Red()->widget();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == red; }));
    auto focused = [] { return QApplication::focusWidget(); };
    auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(focused(), k, m); };

    key(Qt::Key_Tab);
    EXPECT_EQ(focused(), d->Font36()->widget());
    key(Qt::Key_Tab);
    EXPECT_EQ(focused(), d->Arial()->widget());
    key(Qt::Key_Tab);
    EXPECT_EQ(focused(), d->BoldOn()->widget());
    key(Qt::Key_Tab);
    EXPECT_EQ(focused(), red) << "round to the first group";
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), d->BoldOn()->widget());

    // Arrows go through a group in its tab order, round at the ends, and select as they go.
    key(Qt::Key_Down);
    EXPECT_EQ(focused(), d->BoldOff()->widget());
    EXPECT_EQ(prefModule::InputBold.toUtf8(), "False");
    EXPECT_FALSE(main_->text()->Bold());
    key(Qt::Key_Down);
    EXPECT_TRUE(d->BoldOn()->Value());
    EXPECT_TRUE(main_->text()->Bold());
    key(Qt::Key_Backtab, Qt::ShiftModifier);  // the family group: Arial
    key(Qt::Key_Right);
    EXPECT_TRUE(d->Times()->Value());
    key(Qt::Key_Right);
    EXPECT_TRUE(d->Courier()->Value());
    EXPECT_EQ(prefModule::InputFontFamily.toUtf8(), "Courier");
    key(Qt::Key_Left);
    key(Qt::Key_Left);
    key(Qt::Key_Left);
    EXPECT_TRUE(d->Helvetica()->Value());
    key(Qt::Key_Up);
    EXPECT_TRUE(d->Courier()->Value()) << "round from the first to the last";
    // Tab now stops at the newly selected button of the group.
    key(Qt::Key_Tab);
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), d->Courier()->widget());
}

TEST_F(Dialog, ScreenReadersHearEachCaptionWithItsRole) {
    auto d = InputSetup::InputSetup_();
    for (const auto& c : d->controls()) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c->widget());
        ASSERT_TRUE(a) << c->Name();
        bool box = dynamic_cast<rb::GroupBox*>(c.get()) != nullptr;
        std::string caption = box ? static_cast<rb::GroupBox*>(c.get())->Caption().toUtf8()
                                  : static_cast<rb::RadioButton*>(c.get())->Caption().toUtf8();
        EXPECT_EQ(a->text(QAccessible::Name).toStdString(), caption);
        EXPECT_EQ(a->role(), box ? QAccessible::Grouping : QAccessible::RadioButton) << caption;
        if (!box) {
            EXPECT_EQ(a->parent()->role(), QAccessible::Grouping) << "announced within its group";
            EXPECT_EQ(a->state().checked, static_cast<rb::RadioButton*>(c.get())->Value());
        }
    }
}

}  // namespace
