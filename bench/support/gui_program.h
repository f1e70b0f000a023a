// The whole program run inside a benchmark as the user runs it: started as its own main starts
// it, its main window found, driven from a thread of the benchmark's own while the program's
// event loop runs, with keys and clicks sent through the X server's test extension. Include it
// after every other header: Xlib defines names (GrayScale, None, Status) that they use.
#pragma once

#include <QApplication>
#include <QMainWindow>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>

#include "editor/Module1.h"
#include "editor/Window1.h"
#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/testing.h"
#include "program/program.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace bench {

using Clock = std::chrono::steady_clock;
using Ns = long long;

inline Ns Now() {
    return Clock::now().time_since_epoch().count();
}
inline double Ms(Ns d) {
    return double(d) / 1e6;
}
inline void SleepMs(double ms) {
    std::this_thread::sleep_for(std::chrono::microseconds(int64_t(ms * 1000)));
}

// ---- keys and clicks through the X server -----------------------------------------------

class XInput {
  public:
    // Which moment of a key press `key` returns.
    enum class KeyTime {
        BeforeSend,     // just before the press was sent
        PressReceived,  // once the server has the press
    };

    bool open() {
        d_ = XOpenDisplay(nullptr);
        int event, error, major, minor;
        return d_ && XTestQueryExtension(d_, &event, &error, &major, &minor);
    }
    // Presses and releases the key.
    Ns key(KeySym sym, KeyTime when) {
        KeyCode code = XKeysymToKeycode(d_, sym);
        Ns at = Now();
        XTestFakeKeyEvent(d_, code, True, 0);
        if (when == KeyTime::PressReceived) {
            XSync(d_, False);
            at = Now();
        }
        XTestFakeKeyEvent(d_, code, False, 0);
        XSync(d_, False);
        return at;
    }
    // Presses `sym` while `modifier` is held (Ctrl+V); the moment just before `sym` was sent.
    Ns chord(KeySym modifier, KeySym sym) {
        KeyCode held = XKeysymToKeycode(d_, modifier), code = XKeysymToKeycode(d_, sym);
        XTestFakeKeyEvent(d_, held, True, 0);
        XSync(d_, False);
        Ns at = Now();
        XTestFakeKeyEvent(d_, code, True, 0);
        XTestFakeKeyEvent(d_, code, False, 0);
        XTestFakeKeyEvent(d_, held, False, 0);
        XSync(d_, False);
        return at;
    }
    // A click at a point of the screen; the moment of the release, which pushes a button.
    Ns click(int x, int y) {
        XTestFakeMotionEvent(d_, -1, x, y, 0);
        XTestFakeButtonEvent(d_, 1, True, 0);
        XSync(d_, False);
        SleepMs(30);
        XTestFakeButtonEvent(d_, 1, False, 0);
        XSync(d_, False);
        return Now();
    }
    void close() {
        if (d_) XCloseDisplay(d_);
    }

  private:
    Display* d_ = nullptr;
};

// ---- the program ----------------------------------------------------------------------------

// Runs `f` on the GUI thread and waits for it.
inline void OnGui(const std::function<void()>& f) {
    QMetaObject::invokeMethod(qApp, f, Qt::BlockingQueuedConnection);
}

// The main window, once RunProgram has found it.
inline Window1* gWindow = nullptr;

inline QPlainTextEdit* Edit() {
    return gWindow->EditField1()->edit();
}

// Sentences in paragraphs of about `paragraph` characters (0: one paragraph).
inline std::string Filler(size_t chars, size_t paragraph) {
    std::string text;
    size_t sinceBreak = 0;
    for (int i = 0; text.size() < chars; ++i) {
        std::string s = "This is sentence number " + std::to_string(i) + " of a long text.";
        sinceBreak += s.size() + 1;
        bool breakHere = paragraph && sinceBreak >= paragraph;
        text += s + (breakHere ? "\n" : " ");
        if (breakHere) sinceBreak = 0;
    }
    text.resize(chars - 1);
    text += ".";
    return text;
}

// The text area holds `text`, focused, the caret at `caret`, all of it heard before; then
// `settleMs` for the program to take it in.
inline void SetText(const std::string& text, size_t caret, double settleMs) {
    OnGui([&] {
        gWindow->EditField1()->setText(text);
        gWindow->EditField1()->setSelStart(int32_t(caret));
        Module1::StartChar = int32_t(text.size());
        gWindow->qwindow()->activateWindow();
        Edit()->setFocus();
    });
    SleepMs(settleMs);
}

// Raises the window and focuses the text area (running `alsoOnGui` there too), then types a
// letter into an empty text: false, after saying so, when keys do not reach the text area.
inline bool FocusTextArea(XInput& input, double settleMs,
                          const std::function<void()>& alsoOnGui = {}) {
    OnGui([&] {
        gWindow->qwindow()->activateWindow();
        gWindow->qwindow()->raise();
        Edit()->setFocus();
        if (alsoOnGui) alsoOnGui();
    });
    SleepMs(500);
    SetText("", 0, settleMs);
    input.key(XK_a, XInput::KeyTime::PressReceived);
    SleepMs(300);
    bool typed = false;
    OnGui([&] { typed = gWindow->EditField1()->Text() == rb::String("a"); });
    if (!typed) std::fprintf(stderr, "keys do not reach the text area\n");
    return typed;
}

// CPU time of one thread of this process, in nanoseconds.
inline Ns ThreadCpu(pid_t tid) {
    std::ifstream f("/proc/self/task/" + std::to_string(tid) + "/schedstat");
    long long ns = 0;
    f >> ns;
    return ns;
}

// CPU time of every thread of this process but the calling one and `besides`, in nanoseconds.
inline Ns ProgramCpu(std::initializer_list<pid_t> besides = {}) {
    Ns total = 0;
    DIR* dir = opendir("/proc/self/task");
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        pid_t tid = atoi(e->d_name);
        if (tid == gettid() || std::find(besides.begin(), besides.end(), tid) != besides.end())
            continue;
        total += ThreadCpu(tid);
    }
    closedir(dir);
    return total;
}

// Sets up the environment the program is to run in: X, and settings in a folder of their own
// that lasts as long as `config`. False, after saying so, without an X server to send keys to.
inline bool OpenSession(XInput& input, QTemporaryDir& config) {
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("XDG_CONFIG_HOME", config.path().toUtf8().constData(), 1);
    if (input.open()) return true;
    std::fprintf(stderr, "no X server with the test extension (DISPLAY)\n");
    return false;
}

// Starts the program as its main does; once its main window is up, runs `measure` on a thread
// of its own and then closes the window, which ends the program. Its exit status.
inline int RunProgram(const char* name, const std::function<void()>& measure) {
    std::string arg0 = name;
    char* args[] = {arg0.data(), nullptr};
    rb::RuntimeInit(1, args);
    rb::testing::RecordingDialogs dialogs;  // the first start's notice

    std::thread driver;
    ProgramParts parts = VelloraParts();
    parts.makeDefaultView = [make = parts.makeDefaultView, &driver, &measure] {
        make();
        QTimer::singleShot(500, [&driver, &measure] {
            gWindow = dynamic_cast<Window1*>(rb::_GetImplicitWindow("Window1"));
            if (!gWindow) {
                QApplication::quit();
                return;
            }
            // The same run without the spelling underline, to set the two side by side.
            if (const char* s = std::getenv("VELLORA_BENCH_SPELLING"); s && std::string(s) == "off")
                gWindow->EditField1()->setAutomaticallyCheckSpelling(false);
            driver = std::thread([&measure] {
                measure();
                QMetaObject::invokeMethod(
                    qApp, [] { gWindow->Close(); }, Qt::QueuedConnection);
            });
        });
    };
    int status = _Main(parts);
    if (driver.joinable()) driver.join();
    rb::RuntimeExit();
    return status;
}

}  // namespace bench
