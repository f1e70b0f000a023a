// The whole start-up and exit of the program, with the real bundles: the application's Open
// comes before the main window is made, closing the main window ends the loop, and the
// release steps leave no object alive.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTimer>

#include <string>
#include <vector>

#include "platform/rbframework/gui/runtime.h"
#include "platform/rbframework/plugin_host.h"
#include "platform/rbframework/testing.h"
#include "program/program.h"
#include "tests/support/env.h"

namespace {

TEST(Startup, RunsInOrderAndClosingTheMainWindowQuits) {
    int64_t objects = rb::Object::liveCount();
    int64_t strings = rb::String::liveCount();
    std::vector<std::string> steps;

    // The program's own parts, each step recorded on its way through.
    ProgramParts parts = VelloraParts();
    parts.loadPrefs = [&, load = parts.loadPrefs] {
        steps.push_back("application open");
        if (load) load();
    };
    parts.makeDefaultView = [&, make = parts.makeDefaultView] {
        steps.push_back("late start-up");
        make();
        steps.push_back(rb::_GetImplicitWindow("Window1") ? "main window open" : "no window");
        // As the user would: close the main window once the loop runs.
        QTimer::singleShot(0, [] { rb::_GetImplicitWindow("Window1")->Close(); });
    };
    parts.releaseModules = [&, release = parts.releaseModules] {
        steps.push_back("release");
        release();
    };

    QTemporaryDir config;  // a first start: no preference file yet
    vellora_test::ScopedEnv xdg("XDG_CONFIG_HOME", config.path().toStdString());
    rb::testing::RecordingDialogs dialogs;
    int argc = 1;
    char arg0[] = "vellora";
    char* argv[] = {arg0, nullptr};
    rb::RuntimeInit(argc, argv);
    int status = _Main(parts);

    EXPECT_EQ(status, 0);
    EXPECT_EQ(steps, (std::vector<std::string>{"application open", "late start-up",
                                               "main window open", "release"}));
    EXPECT_NE(rb::PluginHost::instance().findClass("SpeechChannelZRQ"), nullptr);
    EXPECT_NE(rb::PluginHost::instance().findClass("ClipboardZRQ"), nullptr);
    EXPECT_EQ(rb::Object::liveCount(), objects);
    EXPECT_EQ(rb::String::liveCount(), strings);
}

}  // namespace
