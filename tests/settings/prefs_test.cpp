// The preference file: what each file text gives the globals, what saving writes, and that no
// broken, huge or unwritable file costs the user a setting or the program its exit.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <QTimer>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/window.h"
#include "settings/main_window.h"
#include "settings/prefModule.h"
#include "tests/support/env.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
namespace pm = prefModule;

using vellora_test::readBytes;
using vellora_test::writeBytes;

// All ten globals at once, so a case states every one of them.
struct Globals {
    int32_t top = 0, left = 0, width = 0, height = 0;
    std::string color;
    int32_t size = 0;
    std::string family, bold;
    int32_t rate = 0;
    std::string launch;
    bool operator==(const Globals&) const = default;
};

void PrintTo(const Globals& g, std::ostream* os) {
    *os << "{bounds " << g.top << "," << g.left << "," << g.width << "," << g.height << " color '"
        << g.color << "' size " << g.size << " family '" << g.family << "' bold '" << g.bold
        << "' rate " << g.rate << " launch '" << g.launch << "'}";
}

Globals current() {
    return {pm::Window1Top,
            pm::Window1Left,
            pm::Window1Width,
            pm::Window1Height,
            pm::InputFontColor.toUtf8(),
            pm::InputFontSize,
            pm::InputFontFamily.toUtf8(),
            pm::InputBold.toUtf8(),
            pm::SpeakingRate,
            pm::InitialLaunch.toUtf8()};
}

void set(const Globals& g) {
    pm::Window1Top = g.top;
    pm::Window1Left = g.left;
    pm::Window1Width = g.width;
    pm::Window1Height = g.height;
    pm::InputFontColor = g.color;
    pm::InputFontSize = g.size;
    pm::InputFontFamily = g.family;
    pm::InputBold = g.bold;
    pm::SpeakingRate = g.rate;
    pm::InitialLaunch = g.launch;
}

const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD

const Globals kDefaults{70, 10, 400, 492, "Black", 36, "Arial", "True", 200, "True"};

// The main window as savePrefs finds it: open, and handed in as the program does.
class MainWindow : public rb::Window {
  public:
    static constexpr const char* kClassName = "MainWindow";
    const char* className() const override { return kClassName; }
    void Layout() override {
        _SetProperties({{"Width", 400},
                        {"Height", 492},
                        {"MinWidth", 64},
                        {"MinHeight", 64},
                        {"Resizeable", true},
                        {"Visible", true}});
    }
    void Event_Close() override {
        pm::savePrefs();
        if (quitOnClose) rb::Quit(0);
    }
    bool quitOnClose = false;
};

// A fresh run: the preferences folder in a temporary folder, the module as at start-up.
class Prefs : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_.emplace("prefs");
        dir_ = folder_->path();
        ASSERT_FALSE(dir_.empty());
        xdg_.emplace("XDG_CONFIG_HOME", dir_.string());
        settings::setMainWindow(
            {.window = [] { return rb::_GetImplicitWindow(MainWindow::kClassName); }, .text = {}});
        restart();
    }
    void TearDown() override {
        settings::setMainWindow({});
        pm::ReleaseGlobals();
        xdg_.reset();
        folder_.reset();
    }
    // What the next run starts from.
    static void restart() {
        pm::ReleaseGlobals();
        set(Globals{});
        pm::CreateGlobals();
    }
    fs::path file() const { return dir_ / "vellora.txt"; }
    std::string firstLine() const {
        std::string text = readBytes(file());
        return text.substr(0, text.find('\n'));
    }
    Globals loadFrom(const std::string& text) {
        writeBytes(file(), text);
        restart();
        pm::loadPrefs();
        return current();
    }

    std::optional<vellora_test::TempFolder> folder_;
    fs::path dir_;
    std::optional<vellora_test::ScopedEnv> xdg_;
};

const std::string kSaved =
    "#Window1Position 70\t10\t400\t492\n#InputFontColor Black\n#InputFontSize 36\n"
    "#InputFontFamily Arial\n#InputBold True\n#SpeakingRate 200\n#InitialLaunch True\n";

TEST_F(Prefs, FileTextsGiveTheseGlobals) {
    auto with = [](auto change) {
        Globals g;
        change(g);
        return g;
    };
    struct Case {
        const char* what;
        std::string text;
        Globals expected;
    } cases[] = {
        {"a saved file", kSaved, kDefaults},
        {"CR LF endings", "#InputFontColor Red\r\n#InitialLaunch False\r\n#SpeakingRate 120",
         with([](Globals& g) { g.color = "Red", g.launch = "False", g.rate = 120; })},
        {"CR endings", "#InputBold False\r#InputFontSize 48\r",
         with([](Globals& g) { g.bold = "False", g.size = 48; })},
        {"keys in other cases", "#speakingrate 150\n#INPUTFONTCOLOR Blue\n#initialLAUNCH False\n",
         with([](Globals& g) { g.rate = 150, g.color = "Blue", g.launch = "False"; })},
        {"the value runs to the end of the line, blanks and all",
         "#InputFontFamily Liberation Sans Narrow\n#InputBold  True \n",
         with([](Globals& g) { g.family = "Liberation Sans Narrow", g.bold = " True "; })},
        {"no blank: ignored", "#SpeakingRate 5\n#SpeakingRate\n#InputBold True\n#InputBold\n",
         with([](Globals& g) { g.rate = 5, g.bold = "True"; })},
        {"a blank and nothing: zero and empty",
         "#SpeakingRate 5\n#SpeakingRate \n#InputBold True\n#InputBold \n", Globals{}},
        {"a tab is no blank", "#SpeakingRate\t150\n", Globals{}},
        {"the last of two wins", "#SpeakingRate 150\n#SpeakingRate 180\n",
         with([](Globals& g) { g.rate = 180; })},
        {"a comment is skipped", "#SpeakingRate 1\n'a comment\n#InputFontSize 48\n",
         with([](Globals& g) { g.rate = 1, g.size = 48; })},
        {"an empty line ends the reading", "#SpeakingRate 1\n\n#InputFontSize 48\n",
         with([](Globals& g) { g.rate = 1; })},
        {"a line of text ends the reading", "#SpeakingRate 1\n InputFontSize 48\n#InputBold x\n",
         with([](Globals& g) { g.rate = 1; })},
        {"first line empty", "\n" + kSaved, Globals{}},
        {"first line CR LF only", "\r\n" + kSaved, Globals{}},
        {"empty file", "", Globals{}},
        {"only a comment", "'nothing here", Globals{}},
        {"two position fields", "#Window1Position 5\t6\n",
         with([](Globals& g) { g.top = 5, g.left = 6; })},
        {"position separated by blanks", "#Window1Position 5 6 7 8\n",
         with([](Globals& g) { g.top = 5; })},
        {"unknown keys", "#Colour Red\n#InputFontColorX Red\n# Red\n#InputFontColor\n", Globals{}},
        {"fractions and signs",
         "#InputFontSize 36.9\n#SpeakingRate -150.7\n#Window1Position +1.5\t-2.5\t 3\t4px\n",
         with([](Globals& g) {
             g.size = 36, g.rate = -150, g.top = 1, g.left = -2, g.width = 3, g.height = 4;
         })},
        {"no number", "#SpeakingRate fast\n#InputFontSize .\n#Window1Position -\tx1\n", Globals{}},
        {"past 32 bits",
         "#SpeakingRate 99999999999\n#InputFontSize -99999999999\n"
         "#Window1Position 2147483648\t-2147483649\t1e400\t-1e400\n",
         with([](Globals& g) {
             g.rate = INT_MAX, g.size = INT_MIN, g.top = INT_MAX, g.left = INT_MIN,
             g.width = INT_MAX, g.height = INT_MIN;
         })},
        {"bytes that are no text",
         "#InputFontFamily " + std::string("\xFF\xFE") + "Ar" + '\0' + "ial\n#SpeakingRate 120\n",
         with([](Globals& g) {
             g.family = kReplacement + kReplacement + "Ar" + '\0' + "ial", g.rate = 120;
         })},
        {"binary from the first byte", std::string("\x7F\x45LF\x02\x01\x01\0\0#SpeakingRate 1", 24),
         Globals{}},
        {"a byte-order mark", "\xEF\xBB\xBF#SpeakingRate 150\n",
         with([](Globals& g) { g.rate = 150; })},
    };
    for (const Case& c : cases) EXPECT_EQ(loadFrom(c.text), c.expected) << c.what;
}

TEST_F(Prefs, EntriesAreKeptInFileOrderAfterTheEmptySlot) {
    loadFrom("#Window1Position 1\t2\n'c\n#Foo Bar  Baz\n#nob\n#SpeakingRate 3\n");
    ASSERT_EQ(pm::gDirectives.size(), 4u);
    EXPECT_FALSE(pm::gDirectives[0]);
    std::vector<std::pair<std::string, std::string>> entries;
    for (size_t i = 1; i < pm::gDirectives.size(); ++i)
        entries.emplace_back(pm::gDirectives[i]->name.toUtf8(), pm::gDirectives[i]->text.toUtf8());
    EXPECT_EQ(entries,
              (std::vector<std::pair<std::string, std::string>>{
                  {"window1position", "1\t2"}, {"foo", "Bar  Baz"}, {"speakingrate", "3"}}));
}

TEST_F(Prefs, AFileThatCannotBeOpenedGivesTheDefaults) {
    pm::loadPrefs();  // no file
    EXPECT_EQ(current(), kDefaults);
    EXPECT_EQ(pm::gDirectives.size(), 1u);

    restart();
    fs::create_directory(file());
    pm::loadPrefs();
    EXPECT_EQ(current(), kDefaults);

    EXPECT_FALSE(pm::extractDirectives(nullptr));
    EXPECT_FALSE(pm::extractDirectives(rb::make<rb::FolderItem>(dir_ / "missing.txt")));
    // An empty file opens: nothing read, yet no defaults.
    writeBytes(dir_ / "empty.txt", "");
    EXPECT_TRUE(pm::extractDirectives(rb::make<rb::FolderItem>(dir_ / "empty.txt")));
}

TEST_F(Prefs, BigFileAndLongValue) {
    // 10 MB of entries: the last of each key wins.
    std::string text;
    for (int i = 0; text.size() < 10 * 1024 * 1024; ++i)
        text += "#InputFontFamily Family " + std::to_string(i) + std::string(80, 'x') + "\n";
    text += "#InputFontFamily Liberation Mono\n#SpeakingRate 177\n";
    Globals g = loadFrom(text);
    EXPECT_EQ(g.family, "Liberation Mono");
    EXPECT_EQ(g.rate, 177);

    // A value of 1 MB is kept whole, and what follows it still reads.
    std::string big(1024 * 1024, 'z');
    g = loadFrom("#InputFontFamily " + big + "\r\n#SpeakingRate 5\r\n");
    EXPECT_EQ(g.family, big);
    EXPECT_EQ(g.rate, 5);
}

TEST_F(Prefs, SavingWritesTheSevenLinesWithTheOpenMainWindowsBounds) {
    writeBytes(file(), "'an old comment\n#Extra 1\n" + kSaved + kSaved);
    set({1, 2, 3, 4, "Red", 144, "Times", "False", 250, "False"});
    auto w = rb::make<MainWindow>();
    w->Constructor();
    w->setLeft(33);
    w->setTop(44);
    w->setWidth(555);
    w->setHeight(466);
    pm::savePrefs();
    EXPECT_EQ(readBytes(file()),
              "#Window1Position 44\t33\t555\t466\n#InputFontColor Red\n#InputFontSize 144\n"
              "#InputFontFamily Times\n#InputBold False\n#SpeakingRate 250\n"
              "#InitialLaunch False\n");

    // The real moment: the window's Close, with the bounds it has then.
    w->setWidth(640);
    w->Close();
    EXPECT_EQ(firstLine(), "#Window1Position 44\t33\t640\t466");
}

TEST_F(Prefs, WithoutAMainWindowTheLoadedBoundsAreSaved) {
    ASSERT_EQ(rb::_GetImplicitWindow(MainWindow::kClassName), nullptr);
    set({-20, 3000, 0, 2147483647, "Blue", 18, "Courier", "True", 100, "True"});
    pm::savePrefs();
    EXPECT_EQ(firstLine(), "#Window1Position -20\t3000\t0\t2147483647");
}

TEST_F(Prefs, WhatIsSavedLoadsBackTheSame) {
    const Globals cases[] = {
        kDefaults,
        {-20, -5, 1, 1, "Blue", 18, "Liberation Sans Narrow", "False", -1, "False"},
        {0, 0, 0, 0, "", 0, "", "", 0, ""},
        {INT_MIN, INT_MAX, 9, 9, " Red ", INT_MAX, "Noto Sans \u00DC\u00E7\u65E5", "true", INT_MIN,
         "\tTrue"},
    };
    for (const Globals& g : cases) {
        set(g);
        pm::savePrefs();
        restart();
        pm::loadPrefs();
        EXPECT_EQ(current(), g) << testing::PrintToString(g);
    }

    // And with the main window's bounds.
    set(kDefaults);
    auto w = rb::make<MainWindow>();
    w->Constructor();
    w->setTop(120);
    w->setLeft(80);
    w->setWidth(700);
    w->setHeight(500);
    w->Close();
    restart();
    pm::loadPrefs();
    Globals expected = kDefaults;
    expected.top = 120, expected.left = 80, expected.width = 700, expected.height = 500;
    EXPECT_EQ(current(), expected);
}

TEST_F(Prefs, ALineBreakInAValueDoesNotCostTheLaterSettings) {
    Globals g = kDefaults;
    g.family = "Liberation\nSerif\r";
    set(g);
    pm::savePrefs();
    restart();
    pm::loadPrefs();
    g.family = "Liberation Serif ";
    EXPECT_EQ(current(), g);
}

TEST_F(Prefs, AFailedSaveKeepsTheOldFile) {
    const std::string old = "#SpeakingRate 180\n#InitialLaunch False\n#InputFontSize 72\n";
    writeBytes(file(), old);
    set(kDefaults);
    {
        FileSizeLimit limit(40);
        pm::savePrefs();
    }
    EXPECT_EQ(readBytes(file()), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
    restart();
    pm::loadPrefs();
    EXPECT_EQ(current().rate, 180);
    EXPECT_EQ(current().size, 72);
}

TEST_F(Prefs, NothingIsWrittenWhereNothingCanBe) {
    // The file's name is taken by a folder.
    fs::create_directory(file());
    writeBytes(file() / "keep", "k");
    set(kDefaults);
    pm::savePrefs();
    EXPECT_TRUE(fs::is_directory(file()));
    EXPECT_EQ(readBytes(file() / "keep"), "k");

    // The preferences folder cannot exist: its place is a file.
    writeBytes(dir_ / "plain", "p");
    vellora_test::ScopedEnv noFolder("XDG_CONFIG_HOME", (dir_ / "plain" / "config").string());
    pm::savePrefs();
    restart();
    pm::loadPrefs();
    EXPECT_EQ(current(), kDefaults);
    EXPECT_EQ(readBytes(dir_ / "plain"), "p");
}

TEST_F(Prefs, AnUnwritableFileStillLetsTheProgramQuit) {
    fs::create_directory(file());
    set(kDefaults);
    auto w = rb::make<MainWindow>();
    w->quitOnClose = true;
    w->Constructor();
    QTimer::singleShot(0, [] { rb::_GetImplicitWindow(MainWindow::kClassName)->Close(); });
    w = nullptr;
    EXPECT_EQ(rb::RuntimeRun(), 0);
    EXPECT_EQ(rb::_GetImplicitWindow(MainWindow::kClassName), nullptr);
    EXPECT_TRUE(fs::is_directory(file()));
}

TEST_F(Prefs, ReleaseAtExitFreesTheModulesState) {
    pm::ReleaseGlobals();
    int64_t objects = rb::Object::liveCount(), strings = rb::String::liveCount();
    pm::CreateGlobals();
    writeBytes(file(), kSaved + "#Other entry\n");
    pm::loadPrefs();
    EXPECT_EQ(pm::gDirectives.size(), 9u);
    pm::ReleaseGlobals();
    EXPECT_TRUE(pm::gDirectives.empty());
    EXPECT_TRUE(pm::InputFontColor.isNil());
    EXPECT_TRUE(pm::InputFontFamily.isNil());
    EXPECT_TRUE(pm::InputBold.isNil());
    EXPECT_TRUE(pm::InitialLaunch.isNil());
    EXPECT_EQ(rb::Object::liveCount(), objects);
    EXPECT_EQ(rb::String::liveCount(), strings);
    // The integers stay readable.
    EXPECT_EQ(pm::SpeakingRate, 200);
}

}  // namespace
