// The cost of a keystroke as the user meets it: the whole program runs on an X server (Xvfb),
// its keys arrive through the X test extension, and a key counts as handled when the text has
// changed and the program's event loop is about to wait again (the key's handling, the word
// echo and the repaint it asked for are done). Rows:
//  - one letter at a time, the program idle before each;
//  - a burst typed at 20 keys a second ("word " over and over): each key's delay, and the lag
//    left after the last key (a program that keeps up has none);
//  - CPU while idle, of the program's GUI thread and of all its threads, from the kernel's
//    per-thread accounting.
// Texts: 10 characters, 1,000,000 in paragraphs of about 400 (each soft-wrapped into lines),
// and 1,000,000 in one paragraph; the caret at the end, all of the text heard before.
//
// Run it through bench/typing/run, which starts a private Xvfb for it.
// Usage: typing_bench [keys] [idle]   ("idle": the CPU rows only)
#include <QAbstractEventDispatcher>
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
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/stats.h"
#include "editor/Module1.h"
#include "editor/Window1.h"
#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/testing.h"
#include "program/program.h"

// Last: Xlib defines names (GrayScale, None, Status) that the headers above use.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using Clock = std::chrono::steady_clock;
using Ns = long long;
using bench::Stats;

Ns Now() {
    return Clock::now().time_since_epoch().count();
}
double Ms(Ns d) {
    return double(d) / 1e6;
}
void SleepMs(double ms) {
    std::this_thread::sleep_for(std::chrono::microseconds(int64_t(ms * 1000)));
}

// ---- keys through the X server ------------------------------------------------------------

class Input {
  public:
    bool open() {
        d_ = XOpenDisplay(nullptr);
        int event, error, major, minor;
        return d_ && XTestQueryExtension(d_, &event, &error, &major, &minor);
    }
    // Presses and releases the key; the moment just before the press was sent.
    Ns key(KeySym sym) {
        KeyCode code = XKeysymToKeycode(d_, sym);
        Ns at = Now();
        XTestFakeKeyEvent(d_, code, True, 0);
        XTestFakeKeyEvent(d_, code, False, 0);
        XSync(d_, False);
        return at;
    }
    void close() {
        if (d_) XCloseDisplay(d_);
    }

  private:
    Display* d_ = nullptr;
};

Input gInput;

// ---- the program ----------------------------------------------------------------------------

void OnGui(const std::function<void()>& f) {
    QMetaObject::invokeMethod(qApp, f, Qt::BlockingQueuedConnection);
}

Window1* gWindow = nullptr;
pid_t gGuiThread = 0;

QPlainTextEdit* Edit() {
    return gWindow->EditField1()->edit();
}

// Each time the GUI thread's loop is about to wait with a text of another length than last
// time: when, and the length. A key is handled at the first such moment that shows its
// character.
struct Settled {
    Ns at;
    int length;
};
std::mutex gSettledLock;
std::vector<Settled> gSettled;
int gLastLength = -1;

void WatchLoop() {
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     qApp, [] {
                         if (!gWindow) return;
                         int n = Edit()->document()->characterCount();
                         if (n == gLastLength) return;
                         gLastLength = n;
                         std::lock_guard lock(gSettledLock);
                         gSettled.push_back({Now(), n});
                     });
}

int Length() {
    int n = 0;
    OnGui([&] { n = Edit()->document()->characterCount(); });
    return n;
}

// When the text first settled at `length` or longer, waiting up to `limitMs`.
std::optional<Ns> SettledAt(int length, double limitMs) {
    for (Ns end = Now() + Ns(limitMs * 1e6); Now() < end; SleepMs(0.2)) {
        std::lock_guard lock(gSettledLock);
        for (const Settled& s : gSettled)
            if (s.length >= length) return s.at;
    }
    return std::nullopt;
}

// Sentences in paragraphs of about `paragraph` characters (0: one paragraph).
std::string Filler(size_t chars, size_t paragraph) {
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

// The text area holds `text`, focused, the caret at `caret`, all of it heard before.
void SetText(const std::string& text, size_t caret) {
    OnGui([&] {
        gWindow->EditField1()->setText(text);
        gWindow->EditField1()->setSelStart(int32_t(caret));
        Module1::StartChar = int32_t(text.size());
        gWindow->qwindow()->activateWindow();
        Edit()->setFocus();
    });
    SleepMs(500);
    std::lock_guard lock(gSettledLock);
    gSettled.clear();
}

void Print(const std::string& row, Stats& s) {
    s.print(row, 64);
}

std::mt19937 gRandom(14);

const KeySym kWord[] = {XK_w, XK_o, XK_r, XK_d};

void KeystrokeRow(const std::string& label, int keys) {
    Stats s;
    for (int i = 0; i < keys; ++i) {
        int before = Length();
        Ns t0 = gInput.key(kWord[i % 4]);
        if (auto at = SettledAt(before + 1, 20000))
            s.v.push_back(Ms(*at - t0));
        else
            ++s.missed;
        SleepMs(100 + gRandom() % 50);
    }
    Print("letter key -> handled, " + label, s);
}

// The word echo's handler alone, called again on the text as it stands.
void HandlerRow(const std::string& label) {
    Stats s;
    for (int i = 0; i < 20; ++i)
        OnGui([&] {
            Ns t0 = Now();
            gWindow->EditField1_TextChange();
            s.v.push_back(Ms(Now() - t0));
        });
    Print("  of which the echo's handler, " + label, s);
}

void BurstRow(const std::string& label, int words) {
    int before = Length();
    std::vector<Ns> sent;
    Ns next = Now();
    for (int w = 0; w < words; ++w)
        for (KeySym k : {XK_w, XK_o, XK_r, XK_d, XK_space}) {
            next += 50000000;
            SleepMs(std::max(0.0, Ms(next - Now())));
            sent.push_back(gInput.key(k));
        }
    Stats s;
    std::optional<Ns> last;
    for (size_t i = 0; i < sent.size(); ++i) {
        last = SettledAt(before + int(i) + 1, 60000);
        if (last)
            s.v.push_back(Ms(*last - sent[i]));
        else
            ++s.missed;
    }
    Print("burst at 20 keys/s, key -> handled, " + label, s);
    if (last) std::printf("%-64s %8.3f ms\n", "  lag after the last key", Ms(*last - sent.back()));
}

// CPU time of the GUI thread and of every thread of the process but this driver, in ns.
Ns ThreadCpu(const std::string& tid) {
    std::ifstream f("/proc/self/task/" + tid + "/schedstat");
    long long ns = 0;
    f >> ns;
    return ns;
}
std::pair<Ns, Ns> ProgramCpu() {
    Ns total = 0;
    DIR* dir = opendir("/proc/self/task");
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.' || atoi(e->d_name) == gettid()) continue;
        total += ThreadCpu(e->d_name);
    }
    closedir(dir);
    return {ThreadCpu(std::to_string(gGuiThread)), total};
}

void IdleRow(const std::string& label, const std::string& text, size_t caret) {
    SetText(text, caret);
    SleepMs(1500);
    auto [g0, p0] = ProgramCpu();
    Ns t0 = Now();
    SleepMs(12000);
    auto [g1, p1] = ProgramCpu();
    double span = double(Now() - t0);
    std::printf("%-64s GUI thread %6.2f %%, all threads %6.2f %% of a core\n",
                ("CPU while idle, " + label).c_str(), 100.0 * double(g1 - g0) / span,
                100.0 * double(p1 - p0) / span);
    std::fflush(stdout);
}

void Measure(int keys, bool idleOnly) {
    OnGui([] {
        gWindow->qwindow()->activateWindow();
        gWindow->qwindow()->raise();
        Edit()->setFocus();
        WatchLoop();
    });
    SleepMs(500);
    SetText("", 0);
    gInput.key(XK_a);
    SleepMs(300);
    bool typed = false;
    OnGui([&] { typed = gWindow->EditField1()->Text() == rb::String("a"); });
    if (!typed) {
        std::fprintf(stderr, "keys do not reach the text area\n");
        return;
    }
    const std::string paragraphs = Filler(1000000, 400), one = Filler(1000000, 0);
    struct Case {
        std::string label;
        const std::string* text;
        std::string small;
    } cases[] = {{"10 chars", nullptr, "Ten chars."},
                 {"1,000,000 chars in paragraphs of ~400", &paragraphs, {}},
                 {"1,000,000 chars in one paragraph", &one, {}}};
    for (const Case& c : cases) {
        if (idleOnly) break;
        const std::string& text = c.text ? *c.text : c.small;
        bool slow = c.text == &one;
        SetText(text, text.size());
        KeystrokeRow(c.label, slow ? std::max(4, keys / 4) : keys);
        HandlerRow(c.label);
        SetText(text, text.size());
        BurstRow(c.label, slow ? 4 : 8);
    }
    IdleRow("empty text", "", 0);
    IdleRow("1,000,000 chars in paragraphs, caret mid-text", paragraphs, 500000);
    IdleRow("1,000,000 chars in one paragraph, caret mid-text", one, 500000);
    IdleRow("1,000,000 chars in one paragraph, caret at the end", one, one.size());
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            std::printf("peak resident memory: %s\n", line.c_str() + 6);
}

std::thread gDriver;

}  // namespace

int main(int argc, char** argv) {
    int keys = argc > 1 ? std::max(4, std::atoi(argv[1])) : 30;
    bool idleOnly = argc > 2 && std::string(argv[2]) == "idle";
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toUtf8().constData(), 1);
    if (!gInput.open()) {
        std::fprintf(stderr, "no X server with the test extension (DISPLAY)\n");
        return 1;
    }
    char arg0[] = "typing_bench";
    char* args[] = {arg0, nullptr};
    rb::RuntimeInit(1, args);
    RegisterWindowClasses();
    rb::testing::RecordingDialogs dialogs;  // the first start's notice

    ProgramParts parts = VelloraParts();
    parts.makeDefaultView = [make = parts.makeDefaultView, keys, idleOnly] {
        make();
        QTimer::singleShot(500, [keys, idleOnly] {
            gWindow = dynamic_cast<Window1*>(rb::_GetImplicitWindow("Window1"));
            if (!gWindow) {
                QApplication::quit();
                return;
            }
            gGuiThread = gettid();
            gDriver = std::thread([keys, idleOnly] {
                Measure(keys, idleOnly);
                QMetaObject::invokeMethod(
                    qApp, [] { gWindow->Close(); }, Qt::QueuedConnection);
            });
        });
    };
    int status = _Main(parts);
    if (gDriver.joinable()) gDriver.join();
    rb::RuntimeExit();
    gInput.close();
    return status;
}
