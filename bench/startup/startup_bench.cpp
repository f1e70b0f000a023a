// Start-up: from process start to the main window shown, and the resident memory then.
//
// Offscreen (the default), the driver starts itself again as the program (the same start-up as
// the vellora executable, with the real bundles) and times each child from fork to the moment
// it reports its main window shown, with its resident memory. A bare Qt window (startup_bare: a
// QApplication and one QMainWindow in a program that links Qt alone) is timed the same way, run
// for run between the program's, as the anchor.
//
// With --x11 the real programs run on the X server named in DISPLAY (bench/startup/run starts a
// private one): the vellora beside this driver, or each program named, and the bare window,
// each in turn within every run. Each is timed from fork to the server mapping its top-level
// window, as the driver's own X connection sees it: the moment the window can be on screen,
// whatever the program believes. A program is then asked to end with SIGTERM.
// Usage: startup_bench [runs]
//        startup_bench --x11 [runs] [program...]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QMainWindow>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench/support/stats.h"
#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/testing.h"
#include "program/program.h"
#include "tests/support/env.h"
#include "tests/support/files.h"
#include "tests/support/temp_folder.h"

namespace {

long residentKiB(const std::string& pid = "self") {
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

int child(int argc, char** argv, int reportFd) {
    // Started as the program's entry starts it.
    ProgramParts parts = VelloraParts();
    rb::RuntimeProbeBundlesAhead(parts.bundles);
    rb::RuntimeInit(argc, argv);
    // A first start shows a notice; nobody is there to dismiss it.
    rb::testing::RecordingDialogs dialogs;
    parts.makeDefaultView = [make = parts.makeDefaultView, reportFd] {
        make();
        // Reported from the loop, once the window has been shown and laid out.
        QTimer::singleShot(0, [reportFd] {
            rb::Window* w = rb::_GetImplicitWindow("Window1");
            long kib = (w && w->qwindow()->isVisible()) ? residentKiB() : -1;
            (void)!write(reportFd, &kib, sizeof kib);
            w->Close();
        });
    };
    return _Main(parts);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Sees the X server map top-level windows: the root window's children are watched.
class MapWatcher {
  public:
    bool open() {
        conn_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(conn_)) return false;
        // The children must not inherit the driver's connection.
        fcntl(xcb_get_file_descriptor(conn_), F_SETFD, FD_CLOEXEC);
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_void_cookie_t c =
            xcb_change_window_attributes_checked(conn_, screen->root, XCB_CW_EVENT_MASK, &mask);
        if (xcb_generic_error_t* e = xcb_request_check(conn_, c)) {
            free(e);
            return false;
        }
        return true;
    }
    ~MapWatcher() {
        if (conn_) xcb_disconnect(conn_);
    }
    // Drops what earlier children left (their unmaps and destroys).
    void drain() {
        while (xcb_generic_event_t* e = xcb_poll_for_event(conn_)) free(e);
    }
    // When the next top-level window was mapped, or nothing after `limit`.
    std::optional<std::chrono::steady_clock::time_point> nextMap(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(conn_)) {
                const bool mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY;
                free(e);
                if (mapped) return std::chrono::steady_clock::now();
            }
            if (xcb_connection_has_error(conn_)) return std::nullopt;
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd p{xcb_get_file_descriptor(conn_), POLLIN, 0};
            poll(&p, 1, static_cast<int>(left.count()));
        }
    }

  private:
    xcb_connection_t* conn_ = nullptr;
};

// One program timed: how it is started, and whether it reports and ends by itself (given the
// descriptor to report to as its last argument) or is ended once its window is mapped.
struct Subject {
    std::string label;
    std::vector<std::string> argv;
    bool reports;
    bench::Stats ms;
    std::vector<double> mib;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[1], "--child") == 0) {
        char* childArgv[] = {argv[0], nullptr};
        return child(1, childArgv, std::atoi(argv[2]));
    }
    int runs = 20;
    bool x11 = false;
    std::vector<std::string> programs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--x11") == 0)
            x11 = true;
        else if (std::isdigit(static_cast<unsigned char>(argv[i][0])))
            runs = std::max(1, std::atoi(argv[i]));
        else
            programs.push_back(argv[i]);
    }
    const std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    std::vector<Subject> subjects;
    if (!x11) {
        subjects.push_back(
            {"start -> main window shown", {"/proc/self/exe", "--child"}, true, {}, {}});
    } else {
        if (programs.empty()) programs.push_back((bin / "vellora").string());
        for (const std::string& p : programs)
            subjects.push_back({"start -> window mapped: " + p, {p}, false, {}, {}});
    }
    subjects.push_back(
        {"  a bare Qt window, same runs", {(bin / "startup_bare").string()}, true, {}, {}});

    MapWatcher watcher;
    if (x11 && !watcher.open()) {
        std::fprintf(stderr, "--x11: no X server answers on DISPLAY\n");
        return 1;
    }
    vellora_test::ScopedEnv platform("QT_QPA_PLATFORM", x11 ? "xcb" : "offscreen");
    // Offscreen, no sound server is assumed either; on X the caller chooses the output.
    std::optional<vellora_test::ScopedEnv> silent;
    if (!x11) silent.emplace("SDL_AUDIODRIVER", "dummy");
    // Settings of the benchmark's own, past the first start's notice.
    vellora_test::TempFolder config("vellora-bench");
    if (config.path().empty()) return 1;
    vellora_test::writeBytes(config.path() / "vellora.txt", "#InitialLaunch False\n");
    vellora_test::ScopedEnv settings("XDG_CONFIG_HOME", config.path().string());

    // One start from fork to its report or, on X, to its window mapped; false when it failed.
    auto timeOne = [&](Subject& s) -> bool {
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
        if (x11) watcher.drain();
        std::vector<std::string> args = s.argv;
        if (s.reports) args.push_back(std::to_string(pipeFds[1]));
        std::vector<char*> cargv;
        for (std::string& a : args) cargv.push_back(a.data());
        cargv.push_back(nullptr);
        auto start = std::chrono::steady_clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            if (s.reports) fcntl(pipeFds[1], F_SETFD, 0);  // the report's end stays open
            execv(cargv[0], cargv.data());
            _exit(127);
        }
        close(pipeFds[1]);
        std::optional<std::chrono::steady_clock::time_point> mapped;
        long kib = -1;
        if (x11) {
            mapped = watcher.nextMap(std::chrono::seconds(20));
            if (!s.reports) {
                kib = residentKiB(std::to_string(pid));
                kill(pid, SIGTERM);
            }
        }
        ssize_t got = s.reports ? read(pipeFds[0], &kib, sizeof kib) : ssize_t(sizeof kib);
        auto shown = std::chrono::steady_clock::now();
        close(pipeFds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        if (got != sizeof kib || kib < 0 || (x11 && !mapped)) return false;
        s.mib.push_back(kib / 1024.0);
        s.ms.v.push_back(
            std::chrono::duration<double, std::milli>((x11 ? *mapped : shown) - start).count());
        return true;
    };
    for (int i = 0; i < runs; ++i) {
        for (Subject& s : subjects) {
            if (!timeOne(s)) {
                std::fprintf(stderr, "run %d: %s: no window was shown\n", i, s.argv[0].c_str());
                return 1;
            }
        }
    }
    const double anchor = median(subjects.back().ms.v);
    for (Subject& s : subjects) {
        s.ms.print(s.label, 44);
        std::printf("    ratio to the bare window %.2f, resident memory then %.1f MiB\n",
                    median(s.ms.v) / anchor, median(s.mib));
    }
    return 0;
}
