// The real program, run as a desktop runs it, asked to end by a signal: by kill or logout
// (SIGTERM), Ctrl+C in its terminal (SIGINT) or the session going away (SIGHUP). It must end as
// its main window's close box ends it: settings saved, status 0, a modal box open or not.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "vellora-signals-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : "";
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// The speech layer's audio thread exists once the main window has opened: the program is up.
bool AudioThreadRuns(pid_t pid) {
    std::error_code e;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", e)) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name.rfind("SDLAudio", 0) == 0) return true;
    }
    return false;
}

struct Ended {
    bool exited = false;
    int status = -1;
};

// Starts the program with its settings in `config`, waits until it is up, sends `signals` one
// after another, and waits for it to end (killing it after `limit`).
Ended SignalProgram(const std::string& config, const std::vector<int>& signals,
                    std::chrono::seconds limit = 20s) {
    pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        execl(VELLORA_PROGRAM, VELLORA_PROGRAM, static_cast<char*>(nullptr));
        _exit(127);
    }
    Ended run;
    if (pid < 0) return run;
    auto until = std::chrono::steady_clock::now() + limit;
    while (!AudioThreadRuns(pid) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(200ms);  // the first-start notice is up by now
    for (int s : signals) kill(pid, s);
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            run.exited = WIFEXITED(status);
            run.status = run.exited ? WEXITSTATUS(status) : -WTERMSIG(status);
            return run;
        }
        std::this_thread::sleep_for(10ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return run;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
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
        TempFolder config;
        ASSERT_FALSE(config.path().empty());
        std::string prefs = config.path() + "/vellora.txt";
        if (!c.firstStart) {
            std::ofstream(prefs) << "#SpeakingRate 180\n#InitialLaunch False\n";
        }
        Ended run = SignalProgram(config.path(), c.signals);
        EXPECT_TRUE(run.exited) << "ended by signal " << -run.status;
        EXPECT_EQ(run.status, 0);
        std::string saved = ReadFile(prefs);
        EXPECT_NE(saved.find("#Window1Position "), std::string::npos) << saved;
        if (!c.firstStart) {
            EXPECT_NE(saved.find("#SpeakingRate 180"), std::string::npos) << saved;
        }
    }
}

}  // namespace
