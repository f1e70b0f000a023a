// The Input Style dialog in whole starts of the program: chosen from the menu, its choices
// saved when the main window closes and applied at the next start.
#include <QMainWindow>
#include <QTest>

#include <string>
#include <vector>

#include "settings/InputSetup.h"
#include "tests/editor/program_fixture.h"

namespace {

using InputStyle = ProgramStarts;

const std::vector<std::string> kStyled = {
    "#Window1Position 70\t10\t400\t492",
    "#InputFontColor Black",
    "#InputFontSize 36",
    "#InputFontFamily Arial",
    "#InputBold True",
    "#SpeakingRate 200",
    "#InitialLaunch False",
};

void click(const rb::Ref<rb::RadioButton>& r) {
    QTest::mouseClick(r->widget(), Qt::LeftButton, {}, QPoint(6, 10));
}

TEST_F(InputStyle, TheMenuShowsOneDialogAndItsChoicesComeBackAtTheNextStart) {
    writePrefs(kStyled);
    start([](Window1& w) {
        w.chooseMenuItem(*w.SetupInput());
        rb::Window* open = rb::_GetImplicitWindow(InputSetup::kClassName);
        ASSERT_TRUE(open);
        w.chooseMenuItem(*w.SetupInput());
        EXPECT_EQ(rb::_GetImplicitWindow(InputSetup::kClassName), open);
        auto* d = static_cast<InputSetup*>(open);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(d->qwindow()));
        click(d->Red());
        click(d->Font72());
        click(d->Courier());
        click(d->BoldOff());
        EXPECT_EQ(w.EditField1()->TextColor(), rb::RGB(255, 0, 0));
        EXPECT_EQ(w.EditField1()->TextSize(), 72);
        // The main window stays usable beside it.
        EXPECT_TRUE(w.EditField1()->widget()->isEnabled());
        EXPECT_FALSE(d->qwindow()->isModal());
        d->Close();
    });
    std::vector<std::string> saved = kStyled;
    saved[1] = "#InputFontColor Red";
    saved[2] = "#InputFontSize 72";
    saved[3] = "#InputFontFamily Courier";
    saved[4] = "#InputBold False";
    EXPECT_EQ(readPrefs(), saved);

    start([](Window1& w) {
        auto text = w.EditField1();
        EXPECT_EQ(text->TextColor(), rb::RGB(255, 0, 0));
        EXPECT_EQ(text->TextSize(), 72);
        EXPECT_EQ(text->TextFont().toUtf8(), "Courier");
        EXPECT_FALSE(text->Bold());
        w.chooseMenuItem(*w.SetupInput());
        auto d = InputSetup::InputSetup_();
        EXPECT_TRUE(d->Red()->Value());
        EXPECT_TRUE(d->Font72()->Value());
        EXPECT_TRUE(d->Courier()->Value());
        EXPECT_TRUE(d->BoldOff()->Value());
    });
}

TEST_F(InputStyle, ClosingTheMainWindowWithTheDialogOpenSavesTheChoicesAndQuits) {
    std::vector<std::string> file = kStyled;
    file[3] = "#InputFontFamily Wingdings";  // outside the list
    writePrefs(file);
    start([](Window1& w) {
        w.chooseMenuItem(*w.SetupInput());
        auto d = InputSetup::InputSetup_();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(d->qwindow()));
        click(d->Blue());
        // The dialog stays open; start() closes the main window and checks that nothing is
        // left alive.
    });
    std::vector<std::string> saved = kStyled;
    saved[1] = "#InputFontColor Blue";
    saved[3] = "#InputFontFamily Wingdings";  // no family was chosen
    EXPECT_EQ(readPrefs(), saved);
}

// Values outside the lists, in a file written by hand or by another version: a dialog opened
// and closed without a choice leaves the file and the next start's text as they were.
TEST_F(InputStyle, OpeningAndClosingTheDialogChangesNoSetting) {
    std::vector<std::string> file = kStyled;
    file[1] = "#InputFontColor Purple";
    file[2] = "#InputFontSize 20";
    file[3] = "#InputFontFamily Liberation Mono";
    file[4] = "#InputBold yes";
    writePrefs(file);
    auto shownAsStored = [](Window1& w) {
        auto text = w.EditField1();
        EXPECT_EQ(text->TextColor(), rb::RGB(0, 0, 255));
        EXPECT_EQ(text->TextSize(), 20);
        EXPECT_EQ(text->TextFont().toUtf8(), "Liberation Mono");
        EXPECT_FALSE(text->Bold());
    };
    start([&](Window1& w) {
        shownAsStored(w);
        w.chooseMenuItem(*w.SetupInput());
        auto d = InputSetup::InputSetup_();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(d->qwindow()));
        EXPECT_TRUE(d->Font144()->Value());
        d->Close();
        shownAsStored(w);
    });
    EXPECT_EQ(readPrefs(), file);
    start(shownAsStored);
    EXPECT_EQ(readPrefs(), file);
}

}  // namespace
