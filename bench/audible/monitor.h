// The sound server sink's monitor, read in a child process of its own so that none of its
// threads (the reader and the client library's mainloop) run in the process whose CPU is
// measured. The child records the runs of loud samples in memory shared with the parent, which
// asks its questions of that record.
#pragma once

#include <pulse/error.h>
#include <pulse/simple.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <thread>
#include <vector>

namespace audible {

using Ns = long long;

inline Ns SteadyNow() {
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

class Monitor {
  public:
    static constexpr int kRate = 48000;
    static constexpr int kBlock = 48;       // frames read at once: 1 ms
    static constexpr int16_t kLoud = 1000;  // about -30 dB of full scale
    static constexpr Ns kFrameNs = 1000000000LL / kRate;
    // Loud samples closer than this belong to one run; every question asks about gaps of
    // tens of milliseconds, so nothing is lost by it.
    static constexpr Ns kMergeNs = 5000000;
    // How far past a block the reader looks before it times the block (see read()).
    static constexpr Ns kLookaheadNs = 250000000;

    // Forks the reader; call it before the process has threads. False, after saying so, when
    // the monitor cannot be read.
    bool start(const char* source) {
        void* p = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                       -1, 0);
        if (p == MAP_FAILED) return false;
        shared_ = new (p) Shared;
        pid_ = fork();
        if (pid_ < 0) return false;
        if (pid_ == 0) _exit(read(source));
        for (Ns limit = SteadyNow() + 5000000000LL; SteadyNow() < limit;) {
            int state = shared_->state.load();
            if (state == kRunning) return true;
            if (state == kFailed) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::fprintf(stderr, "the sink's monitor %s could not be read\n", source);
        return false;
    }
    void stop() {
        if (pid_ <= 0) return;
        shared_->quit = true;
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // The first loud sample at or after t0, waiting up to `limitMs` after t0.
    std::optional<Ns> onsetAfter(Ns t0, double limitMs) {
        Ns end = t0 + Ns(limitMs * 1e6);
        for (;;) {
            Ns last = shared_->last.load();
            long n = shared_->count.load();
            if (long i = firstEndingAfter(t0, n); i < n)
                return std::max(t0, shared_->runs[i].start.load());
            if (last > end) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // The end of the last loud sample after t0 that `quietMs` of quiet follows.
    std::optional<Ns> silenceAfter(Ns t0, double quietMs, double limitMs = 3000) {
        Ns quiet = Ns(quietMs * 1e6), end = t0 + Ns(limitMs * 1e6);
        for (;;) {
            Ns last = shared_->last.load();
            long n = shared_->count.load();
            Ns previous = t0;
            for (long i = firstEndingAfter(t0, n); i < n; ++i) {
                if (shared_->runs[i].start.load() - previous >= quiet) return previous;
                previous = std::max(previous, shared_->runs[i].end.load());
            }
            if (last - previous >= quiet) return previous;
            if (last > end) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // Starts of sound (a loud sample after `gapMs` of quiet) in [t0, t1), each at least
    // `spacingMs` after the one before: a break inside a word shorter than that is the word's.
    std::vector<Ns> onsets(Ns t0, Ns t1, double gapMs, double spacingMs) {
        std::vector<Ns> out;
        Ns gap = Ns(gapMs * 1e6), spacing = Ns(spacingMs * 1e6), previous = t0 - gap;
        long n = shared_->count.load();
        for (long i = firstEndingAfter(t0, n); i < n; ++i) {
            Ns start = std::max(t0, shared_->runs[i].start.load());
            if (start >= t1) break;
            if (start - previous >= gap && (out.empty() || start - out.back() >= spacing))
                out.push_back(start);
            previous = shared_->runs[i].end.load();
        }
        return out;
    }
    // Waits until `ms` have gone by without a loud sample; false when `limitMs` came first.
    bool waitQuiet(double ms, double limitMs = 30000) {
        for (Ns limit = SteadyNow() + Ns(limitMs * 1e6); SteadyNow() < limit;) {
            Ns last = shared_->last.load();
            long n = shared_->count.load();
            Ns lastLoud = n ? shared_->runs[n - 1].end.load() : 0;
            if (last - lastLoud >= Ns(ms * 1e6)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

  private:
    static constexpr int kStarting = 0, kRunning = 1, kFailed = 2;
    static constexpr long kMaxRuns = 1 << 20;
    struct Run {
        std::atomic<Ns> start{0}, end{0};  // the first loud sample, and the end of the last
    };
    struct Shared {
        std::atomic<int> state{kStarting};
        std::atomic<bool> quit{false};
        std::atomic<Ns> last{0};     // the end of the last block read
        std::atomic<long> count{0};  // runs published; the last may still grow
        Run runs[kMaxRuns];
    };

    long firstEndingAfter(Ns t0, long n) const {
        long lo = 0, hi = n;
        while (lo < hi) {
            long mid = (lo + hi) / 2;
            if (shared_->runs[mid].end.load() <= t0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }

    // The child: reads the monitor until the parent says stop or goes away.
    int read(const char* source) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 1};
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.fragsize = kBlock * 2;
        int error = 0;
        pa_simple* s = pa_simple_new(nullptr, "audible_bench", PA_STREAM_RECORD, source, "monitor",
                                     &spec, nullptr, &attr, &error);
        if (!s) {
            std::fprintf(stderr, "monitor %s: %s\n", source, pa_strerror(error));
            shared_->state = kFailed;
            return 1;
        }
        shared_->state = kRunning;
        // A block is timed once blocks up to kLookaheadNs after it have come: every block's
        // arrival, less the frames between, bounds from above when an earlier sample was
        // there to read. A read that the scheduler delays returns several blocks at once, and
        // the sink may drop frames when it runs late, so neither the arrival of the block
        // itself nor a count of frames alone would do; the least of those bounds is the
        // earliest evidence, and holds across a gap in the stream.
        struct Pending {
            Ns position;      // frames before the block's first sample
            Ns time;          // the least bound so far on when its first sample was there
            int first, last;  // its first and last loud samples; -1 when it has none
        };
        std::deque<Pending> pending;
        int16_t block[kBlock];
        Ns framesRead = 0;
        while (!shared_->quit.load()) {
            if (pa_simple_read(s, block, sizeof block, &error) < 0) {
                std::fprintf(stderr, "monitor read: %s\n", pa_strerror(error));
                break;
            }
            Ns arrived = SteadyNow();
            Pending b{framesRead, 0, -1, -1};
            framesRead += kBlock;
            for (int i = 0; i < kBlock; ++i)
                if (block[i] >= kLoud || block[i] <= -kLoud) {
                    if (b.first < 0) b.first = i;
                    b.last = i;
                }
            // The block's last sample was there by `arrived` at the latest.
            Ns offset = arrived - framesRead * kFrameNs;
            b.time = offset + b.position * kFrameNs;
            for (Pending& p : pending) p.time = std::min(p.time, offset + p.position * kFrameNs);
            pending.push_back(b);
            while (Ns(pending.size()) * kBlock * kFrameNs > kLookaheadNs) {
                publish(pending.front());
                pending.pop_front();
            }
        }
        pa_simple_free(s);
        return 0;
    }

    template <typename Block>
    void publish(const Block& b) {
        if (b.first >= 0) {
            Ns start = b.time + b.first * kFrameNs, end = b.time + (b.last + 1) * kFrameNs;
            long n = shared_->count.load();
            if (n && start - shared_->runs[n - 1].end.load() <= kMergeNs) {
                shared_->runs[n - 1].end = end;
            } else if (n < kMaxRuns) {
                shared_->runs[n].start = start;
                shared_->runs[n].end = end;
                shared_->count = n + 1;
            }
        }
        shared_->last = b.time + kBlock * kFrameNs;
    }

    Shared* shared_ = nullptr;
    pid_t pid_ = -1;
};

}  // namespace audible
