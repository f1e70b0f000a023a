// The real program, run as a desktop runs it, asked to end by a signal: by kill or logout
// (SIGTERM), Ctrl+C in its terminal (SIGINT) or the session going away (SIGHUP). It must end as
// its main window's close box ends it: settings saved, status 0, a modal box open or not.
#include <gtest/gtest.h>

#include <link.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Ended {
    bool up = false;  // it was up, and the box with it where one was awaited
    bool exited = false;
    int status = -1;
    std::string err;  // what it wrote to its standard error
};

// What the probe is preloaded with: after the sanitizer runtime where this build has one, since
// that runtime must come first among the program's libraries.
std::string Preload() {
    std::string runtime;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            const std::string name = info->dlpi_name ? info->dlpi_name : "";
            if (name.find("/libasan.so") == std::string::npos) return 0;
            *static_cast<std::string*>(out) = name;
            return 1;
        },
        &runtime);
    return runtime.empty() ? BOX_UP_PROBE : runtime + ":" + BOX_UP_PROBE;
}

// Starts the program with its settings in `config`, waits until it is up (with the first-start
// notice shown when `boxUp`), sends `signals` one after another, and waits for it to end
// (killing it after `limit`).
Ended SignalProgram(const fs::path& config, const std::vector<int>& signals, bool boxUp,
                    std::chrono::seconds limit = 20s) {
    Ended run;
    const fs::path errFile = config.parent_path() / "stderr.txt";
    const fs::path boxes = config.parent_path() / "boxes.txt";
    vellora_test::ChildProcess program(VELLORA_PROGRAM,
                                       {{"XDG_CONFIG_HOME", config.string()},
                                        {"LD_PRELOAD", Preload()},
                                        {"VELLORA_TEST_BOX_UP", boxes.string()}},
                                       errFile);
    if (!program.started()) return run;
    auto until = std::chrono::steady_clock::now() + limit;
    auto left = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
    };
    // The speech layer's audio thread exists once the main window has opened: the program is
    // up. The first-start notice comes after it.
    run.up = vellora_test::WaitFor(
        [&] {
            return !program.running() ||
                   (program.hasThread("SDLAudio") && (!boxUp || fs::exists(boxes)));
        },
        left());
    for (int s : signals) program.signal(s);
    if (program.waitForEnd(left())) {
        run.exited = program.exited();
        run.status = program.status();
    }
    run.err = vellora_test::readBytes(errFile);
    return run;
}

TEST(Signals, EndTheProgramAsItsCloseBoxDoes) {
    struct Case {
        const char* what;
        std::vector<int> signals;
        bool firstStart;  // the first-start notice is up, a modal box
    } cases[] = {
        {"SIGTERM during the first-start notice", {SIGTERM}, true},
        {"SIGINT", {SIGINT}, false},
        {"SIGHUP", {SIGHUP}, false},
        {"SIGTERM twice in a row", {SIGTERM, SIGTERM}, false},
        {"SIGINT then SIGTERM during the notice", {SIGINT, SIGTERM}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vellora_test::TempFolder temp("vellora-signals");
        ASSERT_FALSE(temp.path().empty());
        const fs::path config = temp.path() / "config";
        ASSERT_TRUE(fs::create_directory(config));
        const fs::path prefs = config / "vellora.txt";
        if (!c.firstStart) {
            std::ofstream(prefs) << "#SpeakingRate 180\n#InitialLaunch False\n";
        }
        Ended run = SignalProgram(config, c.signals, c.firstStart);
        EXPECT_TRUE(run.up) << run.err;
        EXPECT_TRUE(run.exited) << "ended by signal " << -run.status << "\n" << run.err;
        EXPECT_EQ(run.status, 0) << run.err;
        std::string saved = vellora_test::readBytes(prefs);
        EXPECT_NE(saved.find("#Window1Position "), std::string::npos) << saved;
        if (!c.firstStart) {
            EXPECT_NE(saved.find("#SpeakingRate 180"), std::string::npos) << saved;
        }
    }
}

}  // namespace
