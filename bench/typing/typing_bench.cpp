// The cost of a keystroke as the user meets it: the whole program runs on an X server (Xvfb),
// its keys arrive through the X test extension, and a key counts as handled when the text has
// changed and the program's event loop is about to wait again (the key's handling, the word
// echo and the repaint it asked for are done). Rows:
//  - one letter at a time, the program idle before each;
//  - a burst typed at 20 keys a second ("word " over and over): each key's delay, and the lag
//    left after the last key (a program that keeps up has none);
//  - a megabyte pasted into an empty text, until it is shown;
//  - CPU while idle, of the program's GUI thread and of all its threads, from the kernel's
//    per-thread accounting.
// Texts: 10 characters, 1,000,000 in paragraphs of about 400 and of about 600 (each soft-wrapped
// into lines), and 1,000,000 in one paragraph; the caret at the end, all of the text heard
// before. VELLORA_BENCH_SPELLING=off runs it all without the spelling underline.
//
// Run it through bench/typing/run, which starts a private Xvfb for it.
// Usage: typing_bench [keys] [idle|paste]   ("idle": the CPU rows only; "paste": the paste rows)
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QClipboard>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bench/support/gui_program.h"  // last: it brings in Xlib
#include "bench/support/stats.h"

namespace {

using namespace bench;

XInput gInput;
pid_t gGuiThread = 0;

Ns Key(KeySym sym) {
    return gInput.key(sym, XInput::KeyTime::BeforeSend);
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

// The text area holds `text`, focused, the caret at `caret`, all of it heard before; no key
// handled yet.
void SetText(const std::string& text, size_t caret) {
    bench::SetText(text, caret, 500);
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
        Ns t0 = Key(kWord[i % 4]);
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
            sent.push_back(Key(k));
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

// A megabyte pasted into an empty text: from Ctrl+V until the program is idle with all of it in
// the text (shown, and what is in view checked for spelling).
void PasteRow(const std::string& label, const std::string& text) {
    Stats s;
    for (int i = 0; i < 5; ++i) {
        SetText("", 0);
        OnGui([&] { QApplication::clipboard()->setText(QString::fromStdString(text)); });
        SleepMs(300);
        int before = Length();
        Ns t0 = gInput.chord(XK_Control_L, XK_v);
        if (auto at = SettledAt(before + int(text.size()), 20000))
            s.v.push_back(Ms(*at - t0));
        else
            ++s.missed;
        SleepMs(300);
    }
    Print("paste of " + label + " -> shown", s);
}

// CPU time of the GUI thread and of every thread of the process but this driver, in ns.
std::pair<Ns, Ns> GuiAndProgramCpu() {
    return {ThreadCpu(gGuiThread), ProgramCpu()};
}

void IdleRow(const std::string& label, const std::string& text, size_t caret) {
    SetText(text, caret);
    SleepMs(1500);
    auto [g0, p0] = GuiAndProgramCpu();
    Ns t0 = Now();
    SleepMs(12000);
    auto [g1, p1] = GuiAndProgramCpu();
    double span = double(Now() - t0);
    std::printf("%-64s GUI thread %6.2f %%, all threads %6.2f %% of a core\n",
                ("CPU while idle, " + label).c_str(), 100.0 * double(g1 - g0) / span,
                100.0 * double(p1 - p0) / span);
    std::fflush(stdout);
}

void Measure(int keys, bool idleOnly, bool pasteOnly) {
    OnGui([] { gGuiThread = gettid(); });
    if (!FocusTextArea(gInput, 500, WatchLoop)) return;
    const std::string paragraphs = Filler(1000000, 400), longer = Filler(1000000, 600),
                      one = Filler(1000000, 0);
    struct Case {
        std::string label;
        const std::string* text;
        std::string small;
    } cases[] = {{"10 chars", nullptr, "Ten chars."},
                 {"1,000,000 chars in paragraphs of ~400", &paragraphs, {}},
                 {"1,000,000 chars in paragraphs of ~600", &longer, {}},
                 {"1,000,000 chars in one paragraph", &one, {}}};
    for (const Case& c : cases) {
        if (idleOnly || pasteOnly) break;
        const std::string& text = c.text ? *c.text : c.small;
        bool slow = c.text == &one;
        SetText(text, text.size());
        KeystrokeRow(c.label, slow ? std::max(4, keys / 4) : keys);
        HandlerRow(c.label);
        SetText(text, text.size());
        BurstRow(c.label, slow ? 4 : 8);
    }
    if (!idleOnly) {
        PasteRow("1,000,000 chars in paragraphs of ~600", longer);
        PasteRow("1,000,000 chars in one paragraph", one);
    }
    if (pasteOnly) return;
    IdleRow("empty text", "", 0);
    IdleRow("1,000,000 chars in paragraphs, caret mid-text", paragraphs, 500000);
    IdleRow("1,000,000 chars in one paragraph, caret mid-text", one, 500000);
    IdleRow("1,000,000 chars in one paragraph, caret at the end", one, one.size());
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            std::printf("peak resident memory: %s\n", line.c_str() + 6);
}

}  // namespace

int main(int argc, char** argv) {
    int keys = argc > 1 ? std::max(4, std::atoi(argv[1])) : 30;
    bool idleOnly = argc > 2 && std::string(argv[2]) == "idle";
    bool pasteOnly = argc > 2 && std::string(argv[2]) == "paste";
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    QTemporaryDir config;
    if (!OpenSession(gInput, config)) return 1;
    int status = RunProgram("typing_bench", [=] { Measure(keys, idleOnly, pasteOnly); });
    gInput.close();
    return status;
}
