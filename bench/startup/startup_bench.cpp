// Start-up: from process start to the main window shown, and the resident memory then.
//
// The driver starts itself again as the program (the same start-up as the vellora
// executable, with the real bundles, offscreen) and times each child from fork to the moment
// the child reports its main window shown; the child reports its resident memory with it.
// A bare Qt window (a QApplication and one QMainWindow, nothing else) is timed the same way,
// run for run between the program's, as the anchor.
// Usage: startup_bench [runs]
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/testing.h"
#include "program/program.h"
#include "tests/support/env.h"
#include "tests/support/temp_folder.h"

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

int child(int argc, char** argv, int reportFd) {
    rb::RuntimeInit(argc, argv);
    // A first start shows a notice; nobody is there to dismiss it.
    rb::testing::RecordingDialogs dialogs;
    ProgramParts parts = VelloraParts();
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

// The anchor: as little as Qt needs to show a window.
int bareChild(int argc, char** argv, int reportFd) {
    QApplication app(argc, argv);
    QMainWindow w;
    w.resize(400, 500);
    w.show();
    QTimer::singleShot(0, [&] {
        long kib = w.isVisible() ? residentKiB() : -1;
        (void)!write(reportFd, &kib, sizeof kib);
        app.quit();
    });
    return app.exec();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 && (std::strcmp(argv[1], "--child") == 0 || std::strcmp(argv[1], "--bare") == 0)) {
        int fd = std::atoi(argv[2]);
        char* childArgv[] = {argv[0], nullptr};
        return argv[1][2] == 'b' ? bareChild(1, childArgv, fd) : child(1, childArgv, fd);
    }
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    vellora_test::ScopedEnv offscreen("QT_QPA_PLATFORM", "offscreen");
    // Settings of the benchmark's own, written by the first run and read by the others.
    vellora_test::TempFolder config("vellora-bench");
    if (config.path().empty()) return 1;
    vellora_test::ScopedEnv settings("XDG_CONFIG_HOME", config.path().string());
    vellora_test::ScopedEnv silent("SDL_AUDIODRIVER", "dummy");
    // One child from fork to its report: the milliseconds and MiB, or a negative time.
    auto timeChild = [&](const char* mode, double* mib) -> double {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) return -1;
        auto start = std::chrono::steady_clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            close(pipeFds[0]);
            std::string fd = std::to_string(pipeFds[1]);
            execl("/proc/self/exe", argv[0], mode, fd.c_str(), nullptr);
            _exit(127);
        }
        close(pipeFds[1]);
        long kib = -1;
        ssize_t got = read(pipeFds[0], &kib, sizeof kib);
        auto shown = std::chrono::steady_clock::now();
        close(pipeFds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        if (got != sizeof kib || kib < 0) return -1;
        *mib = kib / 1024.0;
        return std::chrono::duration<double, std::milli>(shown - start).count();
    };
    std::vector<double> ms, bare, mib, bareMib;
    for (int i = 0; i < runs; ++i) {
        double m = 0, b = 0;
        double t = timeChild("--child", &m);
        double a = timeChild("--bare", &b);
        if (t < 0 || a < 0) {
            std::fprintf(stderr, "run %d: the main window was not shown\n", i);
            return 1;
        }
        ms.push_back(t);
        mib.push_back(m);
        bare.push_back(a);
        bareMib.push_back(b);
    }
    std::printf(
        "start-up to main window shown: median %.1f ms, min %.1f ms, max %.1f ms (%d runs)\n",
        median(ms), *std::min_element(ms.begin(), ms.end()),
        *std::max_element(ms.begin(), ms.end()), runs);
    std::printf(
        "  a bare Qt window, same runs:  median %.1f ms, min %.1f ms, max %.1f ms; ratio %.2f\n",
        median(bare), *std::min_element(bare.begin(), bare.end()),
        *std::max_element(bare.begin(), bare.end()), median(ms) / median(bare));
    std::printf("resident memory then: median %.1f MiB (bare window %.1f MiB)\n", median(mib),
                median(bareMib));
    return 0;
}
