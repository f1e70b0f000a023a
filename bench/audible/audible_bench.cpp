// What the user hears, timed where it is heard: the whole program runs on an X server (Xvfb),
// its keys and clicks arrive through the X test extension, its audio goes to a sound server's
// null sink, and the first loud sample is found on that sink's monitor (read in a child process,
// so that its threads are not counted as the program's). espeak-ng's own playback and bare
// 256-frame streams (the reference process) are timed in the same run, interleaved with the
// program trial by trial.
//
// Row groups, all by default:
//   start   start -> first window mapped, against a bare Qt 6 window (both as new processes)
//   idle    CPU of the program's threads at rest, text empty and 1,000,000 characters
//   echo    blank key -> the word heard, 10,000 and 1,000,000 characters, device at rest,
//           words with plosive and with vowel/sonorant onsets apart; espeak-ng on each word
//   floor   the sound server's floors: an idle stream written to, a running stream switched
//   speak   Speak to End -> heard (a word, 10,000, 1,000,000 characters) and Stop Speaking ->
//           silence, each trial from rest; espeak-ng on the same text and espeak_Cancel
//   typing  30 words typed at 100 ms a key: each echo's lag behind its blank, and espeak-ng's
//           own queue given the same words at the same times
// Every row gives n, median and p90, and the runs that were never heard; each ratio is to an
// anchor from the same run.
// Run it through bench/audible/run, which starts a private PulseAudio and Xvfb for it.
// Usage: audible_bench <reference-program> [runs] [group,group,...]
//        (or the groups in VELLORA_BENCH_ROWS)
#include <QPoint>
#include <QPushButton>

#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench/audible/monitor.h"
#include "bench/support/gui_program.h"  // last: it brings in Xlib
#include "bench/support/stats.h"

namespace {

using namespace bench;

// How long the sink stays quiet before a trial that starts with the device at rest: the
// program lets its output go after 1.5 s of quiet.
constexpr double kRestMs = 2000;

audible::Monitor gMonitor;

// ---- the reference process --------------------------------------------------------------

class Reference {
  public:
    bool start(const char* program) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return false;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            execl(program, program, static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        to_ = fdopen(in[1], "w");
        from_ = fdopen(out[0], "r");
        return pid_ > 0;
    }
    // The moment the reference acted on the command; 0 when it did not answer.
    Ns command(const std::string& line) {
        std::fprintf(to_, "%s\n", line.c_str());
        std::fflush(to_);
        long long at = 0;
        if (std::fscanf(from_, "%lld", &at) != 1) return 0;
        return at;
    }
    void stop() {
        if (to_) std::fclose(to_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
        if (from_) std::fclose(from_);
    }

  private:
    pid_t pid_ = -1;
    FILE* to_ = nullptr;
    FILE* from_ = nullptr;
};

Reference gReference;

XInput gInput;

std::mt19937 gRandom(14);

// The moment the press reached the server.
Ns Key(KeySym sym) {
    return gInput.key(sym, XInput::KeyTime::PressReceived);
}

KeySym LetterKey(char c) {
    return c == ' ' ? XK_space : KeySym(XK_a + (c - 'a'));
}

// A text of `size` characters to type at the end of: it ends in a blank, so that the first
// word typed is a word of its own and its echo that word alone.
std::string TypedInto(size_t size) {
    return Filler(size - 1, 0) + " ";
}

// The text area holds `text`, focused, the caret at `caret`, all of it heard before.
void SetText(const std::string& text, size_t caret) {
    bench::SetText(text, caret, 200);
}

QPoint ButtonCentre(rb::PushButton* b) {
    QPoint p;
    OnGui([&] {
        QWidget* w = b->button();
        p = w->mapToGlobal(w->rect().center());
    });
    return p;
}

void Add(Stats& s, std::optional<Ns> heard, Ns from) {
    if (heard && from)
        s.v.push_back(std::max(0.0, Ms(*heard - from)));
    else
        ++s.missed;
}

void Print(const std::string& row, Stats& s) {
    s.print(row, 66);
}

// The two medians and p90s set side by side, from the same run.
void PrintRatio(const std::string& row, Stats& a, Stats& b) {
    std::printf("%-66s median %.2f x  p90 %.2f x\n", row.c_str(), a.median() / b.median(),
                a.p90() / b.p90());
    std::fflush(stdout);
}

// GUI idle again after a key: the key's handling and the repaint it asked for are done.
double SettleMs(Ns from) {
    SleepMs(2);
    OnGui([] {});
    OnGui([] {});
    return Ms(Now() - from);
}

// ---- blank key -> the word heard ----------------------------------------------------------

// Words by how they open: a plosive's closure is silence before the first loud sample, which
// a vowel or sonorant does not have, so the two give different figures for the same path.
const std::vector<std::string> kPlosive = {"cat", "typewriter", "keyboard", "paper",
                                           "dog", "big",        "table",    "pocket"};
const std::vector<std::string> kSonorant = {"apple", "open",  "many",  "yellow",
                                            "word",  "ocean", "lemon", "river"};

void EchoRows(const std::string& label, size_t size, int runs) {
    SetText(TypedInto(size), size);
    Stats program[2], espeak[2], all[2], letter;
    const char* names[2] = {"plosive onsets", "vowel/sonorant onsets"};
    for (int i = 0; i < runs; ++i) {
        int group = i % 2;
        const std::string& word = (group ? kSonorant : kPlosive)[size_t(i / 2) % kPlosive.size()];
        for (char c : word) letter.v.push_back(SettleMs(Key(LetterKey(c))));
        gMonitor.waitQuiet(kRestMs);
        SleepMs(gRandom() % 10);
        Ns t0 = Key(XK_space);
        auto heard = gMonitor.onsetAfter(t0, 5000);
        Add(program[group], heard, t0);
        Add(all[0], heard, t0);

        gMonitor.waitQuiet(kRestMs);
        SleepMs(gRandom() % 10);
        Ns r0 = gReference.command("say " + word);
        heard = gMonitor.onsetAfter(r0, 3000);
        Add(espeak[group], heard, r0);
        Add(all[1], heard, r0);
    }
    std::printf("blank key -> word audible, %s, device at rest:\n", label.c_str());
    for (int g = 0; g < 2; ++g) Print("  Vellora, " + std::string(names[g]), program[g]);
    Print("  Vellora, all", all[0]);
    for (int g = 0; g < 2; ++g)
        Print("  espeak-ng's own playback, " + std::string(names[g]), espeak[g]);
    Print("  espeak-ng's own playback, all", all[1]);
    for (int g = 0; g < 2; ++g)
        PrintRatio("  Vellora / espeak-ng, " + std::string(names[g]), program[g], espeak[g]);
    PrintRatio("  Vellora / espeak-ng, all", all[0], all[1]);
    Print("  letter key -> program idle again", letter);
}

// The sound server's own floors: an idle stream written to, and a stream already playing
// silence that switches to sound (as an output kept open would).
void FloorRows(int runs) {
    Stats idle, running;
    for (int i = 0; i < runs; ++i) {
        gMonitor.waitQuiet(300);
        Ns f0 = gReference.command("floor");
        Add(idle, gMonitor.onsetAfter(f0, 1000), f0);
        gMonitor.waitQuiet(300);
        Ns f1 = gReference.command("running");
        Add(running, gMonitor.onsetAfter(f1, 1000), f1);
    }
    Print("sound server floor: idle 256-frame stream written to", idle);
    Print("sound server floor: running 256-frame stream switched to sound", running);
}

// ---- Speak to End and Stop Speaking -------------------------------------------------------

void SpeakRows(int runs) {
    QPoint speak = ButtonCentre(gWindow->SpeakToEnd().get());
    QPoint stop = ButtonCentre(gWindow->StopSpeaking().get());
    struct Size {
        const char* label;
        std::string text;
        Stats program, espeak;
    };
    // The one word is how the longer texts open, so that every size starts with the same
    // sound.
    Size sizes[] = {{"one word", "This", {}, {}},
                    {"10,000 chars", Filler(10000, 0), {}, {}},
                    {"1,000,000 chars", Filler(1000000, 0), {}, {}}};
    Stats stopped, cancelled;
    for (Size& size : sizes) {
        bool stopIt = size.text.size() > 100;
        // espeak-ng is handed the text's opening: it synthesizes a clause at a time anyway.
        std::string head = "say " + size.text.substr(0, 2000);
        SetText(size.text, 0);
        for (int i = 0; i < runs; ++i) {
            // Speaking moves the caret; each trial starts at the beginning.
            OnGui([] {
                gWindow->EditField1()->setSelStart(0);
                Edit()->setFocus();
            });
            gMonitor.waitQuiet(kRestMs);
            SleepMs(gRandom() % 10);
            Ns s0 = gInput.click(speak.x(), speak.y());
            auto heard = gMonitor.onsetAfter(s0, 5000);
            Add(size.program, heard, s0);
            if (heard && stopIt) {
                SleepMs(300 + gRandom() % 500);
                Ns t0 = gInput.click(stop.x(), stop.y());
                Add(stopped, gMonitor.silenceAfter(t0, 300), t0);
            } else if (stopIt) {
                gInput.click(stop.x(), stop.y());
            }

            gMonitor.waitQuiet(kRestMs);
            SleepMs(gRandom() % 10);
            Ns r0 = gReference.command(head);
            heard = gMonitor.onsetAfter(r0, 3000);
            Add(size.espeak, heard, r0);
            if (heard && stopIt) {
                SleepMs(300 + gRandom() % 500);
                Ns c0 = gReference.command("stop");
                Add(cancelled, gMonitor.silenceAfter(c0, 300), c0);
            } else if (stopIt) {
                gReference.command("stop");
            }
        }
    }
    for (Size& size : sizes) {
        Print("Speak to End -> audible, " + std::string(size.label) + ", at rest: Vellora",
              size.program);
        Print("  espeak-ng's own playback", size.espeak);
        PrintRatio("  Vellora / espeak-ng", size.program, size.espeak);
    }
    Print("Stop Speaking -> silence (10,000 and 1,000,000 chars): Vellora", stopped);
    Print("  espeak-ng's own playback (espeak_Cancel)", cancelled);
    PrintRatio("  Vellora / espeak-ng", stopped, cancelled);
}

// ---- typing at a steady pace --------------------------------------------------------------

// Four-letter words of vowels and sonorants only, each sounding for 290-400 ms with no quiet
// inside longer than about 10 ms, so 25 ms of quiet is a gap between words; a break in the
// sound (a late buffer) less than 250 ms after a word began is taken as part of that word.
const std::vector<std::string> kTypedWords = {"mole", "lawn", "moon", "lime", "rule", "mall",
                                              "wool", "noon", "mine", "wren", "loom"};
constexpr double kWordGapMs = 25, kWordSpacingMs = 250;

using Match = std::vector<std::optional<Ns>>;  // each blank's start of sound, if heard

Ns MedianStep(const std::vector<Ns>& v) {
    std::vector<Ns> d;
    for (size_t i = 1; i < v.size(); ++i) d.push_back(v[i] - v[i - 1]);
    if (d.empty()) return 0;
    std::sort(d.begin(), d.end());
    return d[d.size() / 2];
}

// Each blank matched with a start of sound by the lag expected of it: the word before's plus
// `growth`, and among the next few starts the one nearest that is the word's. A start nearer
// the next blank's expected lag than this one's means this word was never heard (two words ran
// together, or one was lost); starts passed over are a word heard in two pieces.
Match MatchByPace(const std::vector<Ns>& blanks, const std::vector<Ns>& starts, Ns growth) {
    Match out(blanks.size());
    size_t next = 0;
    std::optional<Ns> lag;  // the last word matched's
    for (size_t i = 0; i < blanks.size() && next < starts.size(); ++i) {
        Ns expected = lag ? *lag + growth : 0;
        auto cost = [&](size_t j, size_t word) {
            Ns l = starts[j] - blanks[word];
            return l < 0 ? -1 : std::llabs(l - expected);
        };
        Ns best = -1;
        size_t at = next;
        for (size_t j = next; j < starts.size() && j < next + 4; ++j) {
            Ns c = cost(j, i);
            if (c >= 0 && (best < 0 || c < best)) best = c, at = j;
            if (!lag && c >= 0) break;  // the first word: the first start after its blank
        }
        if (best < 0) continue;  // nothing after this blank
        if (i + 1 < blanks.size() && lag) {
            Ns c = cost(at, i + 1);
            if (c >= 0 && c < best) continue;  // the start is the next word's
        }
        out[i] = starts[at];
        lag = starts[at] - blanks[i];
        next = at + 1;
    }
    return out;
}

// How unlikely a matching is: the lag leaving its trend from one matched word to the next, and
// half a second for each word not heard and each start of sound left over.
Ns Unlikeliness(const std::vector<Ns>& starts, const std::vector<Ns>& blanks, const Match& match,
                Ns growth) {
    Ns score = 0, used = 0;
    std::optional<Ns> previous;
    for (size_t i = 0; i < blanks.size(); ++i) {
        if (!match[i]) {
            score += 500000000;
            continue;
        }
        ++used;
        Ns lag = *match[i] - blanks[i];
        if (previous) score += std::llabs(lag - *previous - growth);
        previous = lag;
    }
    return score + 500000000 * (Ns(starts.size()) - used);
}

// Each blank's start of sound: by the pace (which sees a word lost or heard in two pieces) or
// simply in order (which holds where the lag moves unevenly, as when keys queue), whichever
// matching is the likelier.
Match MatchWords(const std::vector<Ns>& blanks, const std::vector<Ns>& starts) {
    // How much each word's lag grows on the one before's, from the two paces.
    Ns growth = MedianStep(starts) - MedianStep(blanks);
    Match byPace = MatchByPace(blanks, starts, growth), inOrder(blanks.size());
    for (size_t i = 0; i < blanks.size() && i < starts.size(); ++i) inOrder[i] = starts[i];
    return Unlikeliness(starts, blanks, byPace, growth) <=
                   Unlikeliness(starts, blanks, inOrder, growth)
               ? byPace
               : inOrder;
}

// The lag of each word's first sound behind its blank.
void PrintLags(const std::string& row, const std::vector<Ns>& blanks,
               const std::vector<Ns>& heard) {
    Match match = MatchWords(blanks, heard);
    Stats s;
    std::vector<double> word, lag;  // for the trend: word number and lag of those matched
    for (size_t i = 0; i < blanks.size(); ++i) {
        if (match[i]) {
            word.push_back(double(i + 1));
            lag.push_back(Ms(*match[i] - blanks[i]));
            s.v.push_back(lag.back());
        } else {
            ++s.missed;
        }
    }
    Print(row, s);
    // VELLORA_BENCH_WORDS=1: every blank and start of sound, from the first blank, to see
    // how the words were matched.
    if (std::getenv("VELLORA_BENCH_WORDS")) {
        std::printf("  blanks at");
        for (Ns b : blanks) std::printf(" %.0f", Ms(b - blanks.front()));
        std::printf("\n  sound starts at");
        for (Ns h : heard) std::printf(" %.0f", Ms(h - blanks.front()));
        std::printf("\n");
    }
    if (lag.size() < 2) return;
    // Least squares over the words: how much later each word is heard than the one before.
    double n = double(lag.size()), sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < lag.size(); ++i) {
        sx += word[i];
        sy += lag[i];
        sxx += word[i] * word[i];
        sxy += word[i] * lag[i];
    }
    double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    auto nth = [&](size_t k) {
        return k <= match.size() && match[k - 1] ? Ms(*match[k - 1] - blanks[k - 1]) : std::nan("");
    };
    std::printf(
        "  lag of word 1 %.0f ms, 10 %.0f ms, 20 %.0f ms, %zu %.0f ms; grows %.1f ms a "
        "word (%s); %zu starts of sound, %zu of them no word's own\n",
        nth(1), nth(10), nth(20), blanks.size(), nth(blanks.size()), slope,
        slope > 5 ? "growing" : "not growing", heard.size(), heard.size() - lag.size());
    std::fflush(stdout);
}

void TypingRows(const std::string& label, size_t size, int words) {
    std::string text = TypedInto(size);
    SetText(text, size);
    gMonitor.waitQuiet(kRestMs);
    std::vector<Ns> blanks;
    Ns next = Now();
    for (int w = 0; w < words; ++w) {
        for (char c : kTypedWords[size_t(w) % kTypedWords.size()] + " ") {
            next += 100000000;
            SleepMs(std::max(0.0, Ms(next - Now())));
            Ns at = Key(LetterKey(c));
            if (c == ' ') blanks.push_back(at);
        }
    }
    // Every key handled (they queue while the program is busy), then every word heard.
    size_t expected = text.size() + size_t(words) * 5;
    for (Ns limit = Now() + 120000000000LL; Now() < limit; SleepMs(50)) {
        size_t n = 0;
        OnGui([&] { n = size_t(Edit()->document()->characterCount() - 1); });
        if (n >= expected) break;
    }
    gMonitor.waitQuiet(1000, 60000);
    std::printf("typing %d 4-letter words at 100 ms a key, %s: blank -> its echo audible\n", words,
                label.c_str());
    PrintLags("  Vellora", blanks,
              gMonitor.onsets(blanks.front(), Now(), kWordGapMs, kWordSpacingMs));

    // espeak-ng's own queue, each word handed over at its blank's time.
    gMonitor.waitQuiet(kRestMs);
    std::vector<Ns> said;
    Ns base = Now() + 50000000;
    for (size_t w = 0; w < blanks.size(); ++w) {
        SleepMs(std::max(0.0, Ms(base + (blanks[w] - blanks.front()) - Now())));
        said.push_back(gReference.command("say " + kTypedWords[w % kTypedWords.size()]));
    }
    gMonitor.waitQuiet(1000, 60000);
    PrintLags("  espeak-ng's own playback, the same words at the same times", said,
              gMonitor.onsets(said.front(), Now(), kWordGapMs, kWordSpacingMs));
}

// ---- idle CPU -----------------------------------------------------------------------------

void IdleRow(const std::string& label, const std::string& text, size_t caret) {
    SetText(text, caret);
    gMonitor.waitQuiet(kRestMs);
    SleepMs(500);
    // The calling thread is the benchmark's only one here: the monitor and the reference are
    // processes of their own.
    Ns c0 = ProgramCpu(), t0 = Now();
    SleepMs(10000);
    double share = 100.0 * double(ProgramCpu() - c0) / double(Now() - t0);
    std::printf("%-66s %6.2f %% of a core\n", ("CPU while idle, " + label).c_str(), share);
    std::fflush(stdout);
}

// ---- start -> window mapped ---------------------------------------------------------------

// From fork to the first top-level window mapped on the X server, after which the child is
// asked to end; nullopt when no window came.
std::optional<Ns> TimeToMapped(const std::vector<std::string>& args, const std::string& config) {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return std::nullopt;
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSync(d, False);
    Ns t0 = Now();
    pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    std::optional<Ns> mapped;
    for (Ns limit = t0 + 10000000000LL; !mapped && Now() < limit;) {
        while (!mapped && XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == MapNotify) mapped = Now() - t0;
        }
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        if (!mapped) poll(&p, 1, 10);
    }
    XCloseDisplay(d);
    kill(pid, SIGTERM);  // as a logout would; the bare window has ended by itself
    for (Ns limit = Now() + 10000000000LL;; SleepMs(10)) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) break;
        if (Now() > limit) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            break;
        }
    }
    return mapped;
}

void StartRows(const std::string& vellora, const std::string& bare, int runs) {
    char pattern[] = "/tmp/audible-start-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::fprintf(stderr, "start rows: no settings folder\n");
        return;
    }
    std::string config = pattern;
    // The program itself, as a user starts it, with settings that are not a first start's (the
    // notice a first start shows is a window of its own).
    std::ofstream(config + "/vellora.txt") << "#InitialLaunch False\n";
    std::vector<std::string> program = {vellora}, window = {bare};
    // The first start writes the settings and lists the bundles it checked; it is not timed.
    TimeToMapped(program, config);
    TimeToMapped(window, config);
    Stats p, b;
    auto add = [](Stats& s, std::optional<Ns> took) {
        if (took)
            s.v.push_back(Ms(*took));
        else
            ++s.missed;
    };
    for (int i = 0; i < runs; ++i) {
        add(p, TimeToMapped(program, config));
        add(b, TimeToMapped(window, config));
    }
    Print("start -> window mapped: Vellora", p);
    Print("  a bare Qt 6 window", b);
    PrintRatio("  Vellora / bare window", p, b);
    std::error_code ignored;
    std::filesystem::remove_all(config, ignored);
}

// ---- the run ------------------------------------------------------------------------------

std::set<std::string> gGroups;

bool On(const char* group) {
    return gGroups.empty() || gGroups.count(group);
}

void Measure(int runs) {
    if (!FocusTextArea(gInput, 200)) return;
    if (On("idle")) {
        IdleRow("empty text", "", 0);
        IdleRow("1,000,000 chars, caret in the text", Filler(1000000, 0), 500000);
    }
    if (On("echo")) {
        EchoRows("10,000 chars", 10000, runs);
        EchoRows("1,000,000 chars in one paragraph", 1000000, runs);
    }
    if (On("floor")) FloorRows(runs);
    if (On("speak")) SpeakRows(std::max(2, runs / 2));
    if (On("typing")) {
        TypingRows("10,000 chars", 10000, 30);
        TypingRows("1,000,000 chars in one paragraph", 1000000, 30);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: audible_bench <reference-program> [runs] [groups]\n");
        return 2;
    }
    int runs = argc > 2 ? std::max(2, std::atoi(argv[2])) : 20;
    const char* groups = argc > 3 ? argv[3] : std::getenv("VELLORA_BENCH_ROWS");
    if (groups) {
        std::stringstream list(groups);
        for (std::string g; std::getline(list, g, ',');)
            if (!g.empty()) gGroups.insert(g);
    }
    std::printf("runs %d, groups %s; the device rests %.0f ms before each such trial\n", runs,
                groups ? groups : "all", kRestMs);
    // Both children before the program's threads exist.
    if (!gMonitor.start("vellora_bench.monitor") || !gReference.start(argv[1])) return 1;
    const std::filesystem::path bin = std::filesystem::path(argv[1]).parent_path();
    if (On("start")) StartRows((bin / "vellora").string(), (bin / "startup_bare").string(), runs);
    int status = 0;
    if (!gGroups.empty() && gGroups == std::set<std::string>{"start"}) {
        // Only the start rows: the program is not run in this process.
    } else {
        QTemporaryDir config;
        if (!OpenSession(gInput, config)) return 1;
        status = RunProgram("audible_bench", [runs] { Measure(runs); });
        gInput.close();
    }
    gReference.stop();
    gMonitor.stop();
    return status;
}
