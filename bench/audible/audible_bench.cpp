// What the user hears, timed where it is heard: the whole program runs on an X server (Xvfb),
// its keys and clicks arrive through the X test extension, its audio goes to a sound server's
// null sink, and the first loud sample is found on that sink's monitor. espeak-ng's own
// playback and a bare 256-frame stream (the reference process) are timed in the same run,
// interleaved with the program.
//
// Run it through bench/audible/run, which starts a private PulseAudio and Xvfb for it.
// Usage: audible_bench <reference-program> [runs]
#include <QPoint>
#include <QPushButton>

#include <pulse/error.h>
#include <pulse/simple.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/gui_program.h"  // last: it brings in Xlib
#include "bench/support/stats.h"

namespace {

using namespace bench;

// ---- the sink's monitor ---------------------------------------------------------------

constexpr int kRate = 48000;
constexpr int kBlock = 48;       // frames read at once: 1 ms
constexpr int16_t kLoud = 1000;  // about -30 dB of full scale
constexpr Ns kFrameNs = 1000000000LL / kRate;

class Monitor {
  public:
    bool start(const char* source) {
        pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 1};
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.fragsize = kBlock * 2;
        int error = 0;
        s_ = pa_simple_new(nullptr, "audible_bench", PA_STREAM_RECORD, source, "monitor", &spec,
                           nullptr, &attr, &error);
        if (!s_) {
            std::fprintf(stderr, "monitor %s: %s\n", source, pa_strerror(error));
            return false;
        }
        thread_ = std::thread([this] { run(); });
        return true;
    }
    void stop() {
        running_ = false;
        if (thread_.joinable()) thread_.join();
        if (s_) pa_simple_free(s_);
    }
    pid_t tid() const { return tid_.load(); }

    // The first loud sample at or after t0, waiting up to `limit`.
    std::optional<Ns> onsetAfter(Ns t0, double limitMs) {
        Ns end = t0 + Ns(limitMs * 1e6);
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                for (auto it = std::lower_bound(loud_.begin(), loud_.end(), t0); it != loud_.end();
                     ++it)
                    return *it;
                if (last_ > end) return std::nullopt;
            }
            SleepMs(1);
        }
    }
    // The end of the last loud sample after t0 that `quietMs` of quiet follows.
    std::optional<Ns> silenceAfter(Ns t0, double quietMs, double limitMs = 3000) {
        Ns quiet = Ns(quietMs * 1e6);
        Ns end = t0 + Ns(limitMs * 1e6);
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                Ns previous = t0;
                for (auto it = std::lower_bound(loud_.begin(), loud_.end(), t0);; ++it) {
                    Ns next = it == loud_.end() ? last_ : *it;
                    if (next - previous >= quiet) return previous;
                    if (it == loud_.end()) break;
                    previous = *it + kFrameNs;
                }
                if (last_ > end) return std::nullopt;
            }
            SleepMs(5);
        }
    }
    // Starts of sound (a loud sample after `gapMs` of quiet) in [t0, t1).
    std::vector<Ns> onsets(Ns t0, Ns t1, double gapMs) {
        std::lock_guard lock(mutex_);
        std::vector<Ns> out;
        Ns gap = Ns(gapMs * 1e6);
        Ns previous = t0 - gap;
        for (auto it = std::lower_bound(loud_.begin(), loud_.end(), t0);
             it != loud_.end() && *it < t1; ++it) {
            if (*it - previous >= gap) out.push_back(*it);
            previous = *it;
        }
        return out;
    }
    // Waits until `ms` have gone by without a loud sample.
    void waitQuiet(double ms, double limitMs = 30000) {
        Ns limit = Now() + Ns(limitMs * 1e6);
        while (Now() < limit) {
            {
                std::lock_guard lock(mutex_);
                Ns lastLoud = loud_.empty() ? 0 : loud_.back();
                if (last_ - lastLoud >= Ns(ms * 1e6)) return;
            }
            SleepMs(5);
        }
    }

  private:
    void run() {
        tid_ = gettid();
        int16_t block[kBlock];
        while (running_) {
            int error = 0;
            if (pa_simple_read(s_, block, sizeof block, &error) < 0) {
                std::fprintf(stderr, "monitor read: %s\n", pa_strerror(error));
                return;
            }
            Ns now = Now();
            std::lock_guard lock(mutex_);
            // Timed by when the block arrived: sample i of it is (kBlock - i) frames older.
            for (int i = 0; i < kBlock; ++i)
                if (block[i] >= kLoud || block[i] <= -kLoud)
                    loud_.push_back(now - Ns(kBlock - i) * kFrameNs);
            last_ = now;
        }
    }
    pa_simple* s_ = nullptr;
    std::thread thread_;
    std::atomic<bool> running_{true};
    std::atomic<pid_t> tid_{0};
    std::mutex mutex_;
    std::vector<Ns> loud_;  // times of loud samples, in order
    Ns last_ = 0;           // when the last block arrived
};

Monitor gMonitor;

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
    // The moment the reference acted on the command.
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

// The moment the press reached the server.
Ns Key(KeySym sym) {
    return gInput.key(sym, XInput::KeyTime::PressReceived);
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
    if (heard)
        s.v.push_back(std::max(0.0, Ms(*heard - from)));
    else
        ++s.missed;
}

void Print(const std::string& row, Stats& s) {
    s.print(row, 62);
}

std::mt19937 gRandom(14);

// GUI idle again after a key: the key's handling and the repaint it asked for are done.
double SettleMs(Ns from) {
    SleepMs(2);
    OnGui([] {});
    OnGui([] {});
    return Ms(Now() - from);
}

void EchoRows(const std::string& label, size_t size, size_t paragraph, int runs) {
    SetText(Filler(size, paragraph), size);
    Stats program, espeak, floor, letter;
    for (int i = 0; i < runs; ++i) {
        gMonitor.waitQuiet(300);
        for (KeySym k : {XK_w, XK_o, XK_r, XK_d}) letter.v.push_back(SettleMs(Key(k)));
        SleepMs(gRandom() % 10);
        Ns t0 = Key(XK_space);
        Add(program, gMonitor.onsetAfter(t0, 5000), t0);
        gMonitor.waitQuiet(300);
        SleepMs(gRandom() % 10);
        Ns r0 = gReference.command("say word");
        Add(espeak, gMonitor.onsetAfter(r0, 3000), r0);
        gMonitor.waitQuiet(200);
        Ns f0 = gReference.command("floor");
        Add(floor, gMonitor.onsetAfter(f0, 1000), f0);
    }
    Print("blank key -> word audible, " + label + ": Vellora", program);
    Print("  espeak-ng's own playback", espeak);
    Print("  sound server floor (256 frames)", floor);
    Print("  letter key -> program idle again", letter);
}

void TypingRow(const std::string& label, size_t size, size_t paragraph, int words) {
    SetText(Filler(size, paragraph), size);
    gMonitor.waitQuiet(300);
    std::vector<Ns> blanks;
    Ns next = Now();
    for (int w = 0; w < words; ++w) {
        for (KeySym k : {XK_w, XK_o, XK_r, XK_d, XK_space}) {
            next += 110000000;
            SleepMs(std::max(0.0, Ms(next - Now())));
            Ns at = Key(k);
            if (k == XK_space) blanks.push_back(at);
        }
    }
    // Every key handled (they queue while the program is busy), then every word heard.
    size_t expected = Filler(size, paragraph).size() + size_t(words) * 5;
    for (Ns limit = Now() + 120000000000LL; Now() < limit; SleepMs(50)) {
        size_t n = 0;
        OnGui([&] { n = size_t(Edit()->document()->characterCount() - 1); });
        if (n >= expected) break;
    }
    gMonitor.waitQuiet(1000, 60000);
    std::vector<Ns> heard = gMonitor.onsets(blanks.front(), Now(), 60);
    Stats s;
    for (size_t i = 0; i < blanks.size(); ++i)
        Add(s, i < heard.size() ? std::optional<Ns>(heard[i]) : std::nullopt, blanks[i]);
    Print("typing at 110 ms a key, blank -> word audible, " + label, s);
}

void StopRows(int runs) {
    QPoint speak = ButtonCentre(gWindow->SpeakToEnd().get());
    QPoint stop = ButtonCentre(gWindow->StopSpeaking().get());
    Stats toAudible10k, toAudible1M, program, espeak;
    std::string text10k = Filler(10000, 0), text1M = Filler(1000000, 0);
    for (int i = 0; i < runs; ++i) {
        SetText(text10k, 0);
        gMonitor.waitQuiet(300);
        Ns s0 = gInput.click(speak.x(), speak.y());
        auto heard = gMonitor.onsetAfter(s0, 5000);
        Add(toAudible10k, heard, s0);
        if (!heard) continue;
        SleepMs(300 + gRandom() % 500);
        Ns t0 = gInput.click(stop.x(), stop.y());
        Add(program, gMonitor.silenceAfter(t0, 300), t0);

        gMonitor.waitQuiet(300);
        Ns r0 = gReference.command("say " + text10k.substr(0, 2000));
        if (!gMonitor.onsetAfter(r0, 3000)) continue;
        SleepMs(300 + gRandom() % 500);
        Ns c0 = gReference.command("stop");
        Add(espeak, gMonitor.silenceAfter(c0, 300), c0);
    }
    for (int i = 0; i < runs / 2; ++i) {
        SetText(text1M, 0);
        gMonitor.waitQuiet(300);
        Ns s0 = gInput.click(speak.x(), speak.y());
        Add(toAudible1M, gMonitor.onsetAfter(s0, 5000), s0);
        SleepMs(200);
        gInput.click(stop.x(), stop.y());
    }
    Print("Speak to End -> audible, 10,000 chars: Vellora", toAudible10k);
    Print("Speak to End -> audible, 1,000,000 chars: Vellora", toAudible1M);
    Print("Stop Speaking -> silence: Vellora", program);
    Print("  espeak-ng's own playback (cancel)", espeak);
}

// CPU time of the process's threads but the benchmark's own, in nanoseconds.
Ns ProgramCpu() {
    return bench::ProgramCpu({gMonitor.tid()});
}

void IdleRow(const std::string& label, const std::string& text, size_t caret) {
    SetText(text, caret);
    gMonitor.waitQuiet(500);
    SleepMs(1000);
    Ns c0 = ProgramCpu(), t0 = Now();
    SleepMs(10000);
    double share = 100.0 * double(ProgramCpu() - c0) / double(Now() - t0);
    std::printf("%-62s %6.2f %% of a core\n", ("CPU while idle, " + label).c_str(), share);
    std::fflush(stdout);
}

void Measure(int runs) {
    if (!FocusTextArea(gInput, 200)) return;
    IdleRow("empty text", "", 0);
    IdleRow("1,000,000 chars, caret in the text", Filler(1000000, 0), 500000);
    EchoRows("10,000 chars", 10000, 0, runs);
    EchoRows("1,000,000 chars in one paragraph", 1000000, 0, runs / 2);
    EchoRows("1,000,000 chars in paragraphs of ~600", 1000000, 600, runs);
    TypingRow("1,000,000 chars in one paragraph", 1000000, 0, 10);
    TypingRow("1,000,000 chars in paragraphs of ~600", 1000000, 600, 10);
    StopRows(runs);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: audible_bench <reference-program> [runs]\n");
        return 2;
    }
    int runs = argc > 2 ? std::max(2, std::atoi(argv[2])) : 20;
    QTemporaryDir config;
    if (!OpenSession(gInput, config)) return 1;
    if (!gMonitor.start("vellora_bench.monitor") || !gReference.start(argv[1])) return 1;
    int status = RunProgram("audible_bench", [runs] { Measure(runs); });
    gReference.stop();
    gMonitor.stop();
    gInput.close();
    return status;
}
