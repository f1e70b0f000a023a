// Whole starts of the program against its preference file: the first start's notice and help,
// the saved bounds and text style applied at the next, a moved window coming back where it
// was, and a synthesizer without a default voice.
#include <QGuiApplication>
#include <QMainWindow>
#include <QRect>
#include <QScreen>

#include <algorithm>
#include <string>
#include <vector>

#include "editor/Module1.h"
#include "help/Help.h"
#include "tests/editor/program_fixture.h"

namespace {

using Program = ProgramStarts;

bool helpOpen() {
    return rb::_GetImplicitWindow(Help::kClassName) != nullptr;
}

TEST_F(Program, FirstStartShowsTheNoticeThenTheHelpAndTheNextStartNeither) {
    bool helpAtNotice = true;
    dialogs_.onShow = [&](const std::string&) { helpAtNotice = helpOpen(); };
    bool helpShown = false;
    int32_t rate = 0;
    start([&](Window1& w) {
        rb::Window* help = rb::_GetImplicitWindow(Help::kClassName);
        helpShown = help && help->Visible();
        rate = w.RateSlider()->Value();
    });
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{kFirstStartNotice});
    EXPECT_FALSE(helpAtNotice) << "the help window opened before the notice was dismissed";
    EXPECT_TRUE(helpShown);
    EXPECT_EQ(rate, 200);
    // The defaults, the window where they put it, and the notice marked as seen.
    EXPECT_EQ(readPrefs(), (std::vector<std::string>{
                               "#Window1Position 70\t10\t400\t492",
                               "#InputFontColor Black",
                               "#InputFontSize 36",
                               "#InputFontFamily Arial",
                               "#InputBold True",
                               "#SpeakingRate 200",
                               "#InitialLaunch False",
                           }));

    dialogs_.messages.clear();
    dialogs_.onShow = nullptr;
    bool helpAtNextStart = true;
    start([&](Window1&) { helpAtNextStart = helpOpen(); });
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_FALSE(helpAtNextStart);
    EXPECT_EQ(readPrefs().back(), "#InitialLaunch False");
}

TEST_F(Program, SavedBoundsAndTextStyleAreAppliedAndSavedAgainUnchanged) {
    struct Case {
        const char* color;
        const char* bold;
        rb::Color textColor;
        bool textBold;
        int32_t top, left, width, height, size;
        const char* family;
        int32_t rate;
        const char* launch;  // nullptr: the file has no such line
    } cases[] = {
        {"Red", "False", rb::RGB(255, 0, 0), false, 40, 30, 520, 560, 24, "DejaVu Sans Mono", 180,
         "False"},
        {"Black", "True", rb::RGB(0, 0, 0), true, 120, 200, 400, 492, 12, "Liberation Serif", 100,
         "False"},
        {"Blue", "", rb::RGB(0, 0, 255), false, 8, 6, 640, 700, 48, "Arial", 250, "False"},
        // Words outside the lists, and no first-start flag at all: not a first start.
        {"Chartreuse", "Yes", rb::RGB(0, 0, 255), false, 300, 5, 401, 493, 36, "Serif", 137,
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.color);
        std::vector<std::string> file = {
            "#Window1Position " + std::to_string(c.top) + "\t" + std::to_string(c.left) + "\t" +
                std::to_string(c.width) + "\t" + std::to_string(c.height),
            std::string("#InputFontColor ") + c.color,
            "#InputFontSize " + std::to_string(c.size),
            std::string("#InputFontFamily ") + c.family,
            std::string("#InputBold ") + c.bold,
            "#SpeakingRate " + std::to_string(c.rate),
        };
        if (c.launch) file.push_back(std::string("#InitialLaunch ") + c.launch);
        writePrefs(file);
        dialogs_.messages.clear();

        bool looked = false;
        start([&](Window1& w) {
            looked = true;
            EXPECT_EQ(w.Top(), c.top);
            EXPECT_EQ(w.Left(), c.left);
            EXPECT_EQ(w.Width(), c.width);
            EXPECT_EQ(w.Height(), c.height);
            auto text = w.EditField1();
            EXPECT_EQ(text->TextColor(), c.textColor);
            EXPECT_EQ(text->TextSize(), c.size);
            EXPECT_EQ(text->TextFont().toUtf8(), c.family);
            EXPECT_EQ(text->Bold(), c.textBold);
            EXPECT_EQ(w.RateSlider()->Value(), c.rate);
            EXPECT_FALSE(helpOpen());
        });
        EXPECT_TRUE(looked);
        EXPECT_TRUE(dialogs_.messages.empty());
        if (!c.launch) file.push_back("#InitialLaunch ");
        EXPECT_EQ(readPrefs(), file);
    }
}

TEST_F(Program, AWindowMovedAndResizedComesBackExactlyWhereItWasStartAfterStart) {
    writePrefs({"#InitialLaunch False"});
    start([](Window1& w) {
        // The offscreen platform gives its windows a frame, so a mix of framed and unframed
        // places would show here as well.
        if (QGuiApplication::platformName() == "offscreen") {
            EXPECT_NE(w.qwindow()->frameGeometry(), w.qwindow()->geometry());
        }
        w.setLeft(153);
        w.setTop(91);
        w.setWidth(487);
        w.setHeight(533);
    });
    EXPECT_EQ(readPrefs().front(), "#Window1Position 91\t153\t487\t533");
    // Each start opens the window where the last one left it and saves it from there: any
    // difference between what is read and what is set would add up here.
    for (int run = 2; run <= 5; ++run) {
        SCOPED_TRACE(run);
        int32_t top = 0, left = 0, width = 0, height = 0;
        start([&](Window1& w) {
            top = w.Top();
            left = w.Left();
            width = w.Width();
            height = w.Height();
        });
        EXPECT_EQ(top, 91);
        EXPECT_EQ(left, 153);
        EXPECT_EQ(width, 487);
        EXPECT_EQ(height, 533);
        EXPECT_EQ(readPrefs().front(), "#Window1Position 91\t153\t487\t533");
    }
}

TEST_F(Program, WithoutADefaultVoiceThereIsNoChannelAndTheSliderStaysAt150) {
    UseVoices({});
    writePrefs({"#SpeakingRate 220", "#InitialLaunch False"});
    bool looked = false;
    start([&](Window1& w) {
        looked = true;
        EXPECT_TRUE(Module1::sp);
        EXPECT_FALSE(Module1::vo);
        EXPECT_FALSE(Module1::sc);
        EXPECT_TRUE(Module1::C);  // start-up went on
        EXPECT_EQ(w.RateSlider()->Value(), 150);
    });
    EXPECT_TRUE(looked);
    EXPECT_TRUE(dialogs_.messages.empty());
    // The stored rate was never handed to a channel, so it is saved as it was read.
    EXPECT_EQ(readPrefs()[5], "#SpeakingRate 220");
}

// The stored rate reaches the reading channel whatever it is, the slider's design value 150
// included; one outside the slider's range is held to it, and the rate in force is saved.
TEST_F(Program, TheStoredRateIsTheReadingChannelsRateAtOpen) {
    const std::pair<int32_t, int32_t> cases[] = {
        {100, 100}, {150, 150}, {250, 250}, {0, 100}, {99999, 250}};
    for (auto [stored, applied] : cases) {
        SCOPED_TRACE(stored);
        writePrefs({"#SpeakingRate " + std::to_string(stored), "#InitialLaunch False"});
        double rate = 0;
        int32_t shown = 0;
        start([&](Window1& w) {
            ASSERT_TRUE(Module1::sc);
            rate = Module1::sc->Rate();
            shown = w.RateSlider()->Value();
        });
        EXPECT_EQ(rate, applied);
        EXPECT_EQ(shown, applied);
        EXPECT_EQ(readPrefs()[5], "#SpeakingRate " + std::to_string(applied));
    }
}

// Bounds from a damaged file or a larger desktop: the window is brought within the screen (the
// test's screen is the offscreen one), never below its minimum, and saved so.
TEST_F(Program, StoredBoundsBeyondTheScreenAreBroughtBackOntoIt) {
    struct Case {
        const char* bounds;  // top, left, width, height
        bool exact;          // these fit and must come back unchanged
    } cases[] = {
        {"0\t0\t100000\t100000", false},
        {"-50000\t90000\t400\t492", false},
        {"2147483647\t-2147483648\t10\t10", false},
        {"30\t40\t400\t492", true},  // within the screen: as it was
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bounds);
        writePrefs({std::string("#Window1Position ") + c.bounds, "#InitialLaunch False"});
        QRect window, screen;
        start([&](Window1& w) {
            window = QRect(w.Left(), w.Top(), w.Width(), w.Height());
            screen = w.qwindow()->screen()->availableGeometry();
            EXPECT_GE(w.Width(), w.MinWidth());
            EXPECT_GE(w.Height(), w.MinHeight());
        });
        EXPECT_TRUE(screen.intersects(window)) << window.x() << "," << window.y();
        EXPECT_LE(window.width(), std::max(screen.width(), 400));
        EXPECT_LE(window.height(), std::max(screen.height(), 492));
        if (c.exact) {
            EXPECT_EQ(readPrefs()[0], std::string("#Window1Position ") + c.bounds);
        }
    }
}

}  // namespace
