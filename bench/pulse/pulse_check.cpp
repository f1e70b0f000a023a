// The speech layer on a real sound server, heard at a null sink's monitor: run by bench/pulse/check
// against a private server. Each mode prints its figures and ends with status 0 when they hold.
//   granted            the latency the server grants the stream
//   heard <n>          speech after a rest: time from SpeakText to the first sound at the monitor
//   stop <n>           StopSpeech while speaking: time to silence at the monitor
//   heard-after-stop <n>  as heard, each trial after speech cut off by StopSpeech
//   idle               after speech, the stream is corked and the process takes no CPU
//   start              time the first call of the layer takes (where PULSE_SERVER leads nowhere)
//   speak <seconds>    speaks for that long, for the script to kill and restart the server
//   late <seconds>     started before the server: speaks once the output opens, as the word
//                      echo does with each word
#include <pulse/error.h>
#include <pulse/simple.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/speechsynthesis/Notify.h"
#include "platform/speechsynthesis/PulseAudioSink.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Reads the monitor in 1 ms fragments on a thread of its own and keeps when sound was last and
// first heard after a mark.
class Monitor {
  public:
    bool open(const char* source) {
        pa_sample_spec spec{PA_SAMPLE_S16NE, 48000, 1};
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.fragsize = 48 * 2;
        int error = 0;
        pa_ = pa_simple_new(nullptr, "pulse_check", PA_STREAM_RECORD, source, "monitor", &spec,
                            nullptr, &attr, &error);
        if (!pa_) {
            std::fprintf(stderr, "monitor: %s\n", pa_strerror(error));
            return false;
        }
        thread_ = std::thread([this] { run(); });
        return true;
    }
    ~Monitor() {
        quit_ = true;
        if (thread_.joinable()) thread_.join();
        if (pa_) pa_simple_free(pa_);
    }
    Clock::time_point lastSound() {
        std::lock_guard lock(mutex_);
        return last_;
    }
    // The first sound at or after `from`, waiting up to `limit`; nothing when none came.
    bool firstSoundAfter(Clock::time_point from, Clock::duration limit, Clock::time_point* at) {
        auto until = Clock::now() + limit;
        while (Clock::now() < until) {
            {
                std::lock_guard lock(mutex_);
                for (auto t : sounds_)
                    if (t >= from) {
                        *at = t;
                        return true;
                    }
            }
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

  private:
    void run() {
        int16_t block[48];
        while (!quit_) {
            int error = 0;
            if (pa_simple_read(pa_, block, sizeof block, &error) < 0) return;
            auto now = Clock::now();
            bool sound = std::any_of(block, block + 48, [](int16_t s) { return std::abs(s) > 64; });
            if (!sound) continue;
            std::lock_guard lock(mutex_);
            last_ = now;
            if (sounds_.size() < 100000) sounds_.push_back(now);
        }
    }
    pa_simple* pa_ = nullptr;
    std::thread thread_;
    std::atomic<bool> quit_{false};
    std::mutex mutex_;
    Clock::time_point last_{};
    std::vector<Clock::time_point> sounds_;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}
double P90(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, v.size() * 9 / 10)];
}

SpeechChannel Channel() {
    SpeechChannel c = nullptr;
    if (NewSpeechChannel(nullptr, &c) != noErr || !vellora::speech::SpeechAvailable()) {
        std::fprintf(stderr, "no speech output\n");
        std::exit(1);
    }
    return c;
}

bool Busy(SpeechChannel c) {
    SpeechStatusInfo s{};
    GetSpeechInfo(c, kSpeechStatusSelector, &s);
    return s.outputBusy;
}

void Say(SpeechChannel c, const std::string& text) {
    SpeakText(c, text.data(), uint32_t(text.size()));
}

int Heard(const char* monitor, int n, bool stop, bool afterStop = false) {
    Monitor m;
    if (!m.open(monitor)) return 1;
    SpeechChannel c = Channel();
    std::vector<double> times;
    int missing = 0;
    std::string word = "hello", text;
    for (int i = 0; i < 20; ++i) text += "speaking on and on without an end ";
    // The first trial, not counted, loads the voice and starts the monitor's stream.
    for (int i = -1; i < n; ++i) {
        if (afterStop) {
            Say(c, text);
            std::this_thread::sleep_for(300ms);
            StopSpeech(c);
        }
        // From rest: the stream is corked and the monitor quiet.
        while (Busy(c)) std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(400ms);
        if (!stop) {
            auto t0 = Clock::now();
            Say(c, word);
            Clock::time_point at;
            bool heard = m.firstSoundAfter(t0, 2s, &at);
            if (i < 0) continue;
            if (heard)
                times.push_back(Ms(at - t0));
            else
                ++missing;
            continue;
        }
        Say(c, text);
        std::this_thread::sleep_for(500ms);
        auto t0 = Clock::now();
        StopSpeech(c);
        std::this_thread::sleep_for(300ms);
        auto last = m.lastSound();
        if (i < 0) continue;
        times.push_back(last > t0 ? Ms(last - t0) : 0.0);
    }
    std::printf("%s: n %zu, median %.1f ms, p90 %.1f ms, max %.1f ms, missing %d\n",
                stop ? "stop -> silence" : "speak -> first sound", times.size(), Median(times),
                P90(times), times.empty() ? 0 : *std::max_element(times.begin(), times.end()),
                missing);
    DisposeSpeechChannel(c);
    return missing == 0 && !times.empty() ? 0 : 1;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int Idle() {
    SpeechChannel c = Channel();
    Say(c, "one word.");
    while (Busy(c)) std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(500ms);
    FILE* p = popen("pactl list sink-inputs", "r");
    std::string listing;
    char line[512];
    while (p && std::fgets(line, sizeof line, p)) listing += line;
    if (p) pclose(p);
    bool corked = listing.find("Corked: yes") != std::string::npos;
    double cpu0 = CpuSeconds();
    auto t0 = Clock::now();
    std::this_thread::sleep_for(5s);
    double share = (CpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("at rest: stream %s, CPU %.3f %% of a core\n", corked ? "corked" : "NOT corked",
                share * 100);
    DisposeSpeechChannel(c);
    return corked && share < 0.005 ? 0 : 1;
}

int Start() {
    auto t0 = Clock::now();
    bool available = vellora::speech::SpeechAvailable();
    std::printf("first call of the layer: %.1f ms, speech %s\n", Ms(Clock::now() - t0),
                available ? "available" : "not available");
    return Ms(Clock::now() - t0) < 1500 ? 0 : 1;
}

int Granted() {
    struct Quiet final : vellora::speech::PulseBackend::Events {
        void writable(size_t) override {}
    } events;
    auto backend = vellora::speech::MakeLibPulseBackend();
    uint32_t asked = 22050 * vellora::speech::kPulseLatencyMs / 1000;
    if (!backend->open(22050, asked, events)) {
        std::fprintf(stderr, "no server\n");
        return 1;
    }
    uint32_t granted = backend->grantedLatencyFrames();
    std::printf("latency asked %u frames (%.1f ms), granted %u frames (%.1f ms)\n", asked,
                asked / 22.05, granted, granted / 22.05);
    backend->close();
    return granted > 0 && granted <= 22050 / 20 ? 0 : 1;  // at most 50 ms
}

int Speak(int seconds) {
    SpeechChannel c = Channel();
    std::string text;
    for (int i = 0; i < seconds; ++i) text += "speaking on and on. ";
    Say(c, text);
    std::printf("speaking\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return 0;
}

int Late(int seconds) {
    SpeechChannel c = nullptr;
    if (NewSpeechChannel(nullptr, &c) != noErr) return 1;
    std::string text;
    for (int i = 0; i < seconds; ++i) text += "speaking on and on. ";
    auto until = Clock::now() + std::chrono::seconds(seconds);
    while (SpeakText(c, text.data(), uint32_t(text.size())) != noErr) {
        if (Clock::now() > until) return 1;
        std::this_thread::sleep_for(200ms);
    }
    std::printf("speaking\n");
    std::fflush(stdout);
    std::this_thread::sleep_until(until);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    int n = argc > 2 ? std::atoi(argv[2]) : 10;
    const char* monitor = std::getenv("PULSE_CHECK_MONITOR");
    if (!monitor) monitor = "vellora_check.monitor";
    if (mode == "granted") return Granted();
    if (mode == "heard") return Heard(monitor, n, false);
    if (mode == "stop") return Heard(monitor, n, true);
    if (mode == "heard-after-stop") return Heard(monitor, n, false, true);
    if (mode == "idle") return Idle();
    if (mode == "start") return Start();
    if (mode == "speak") return Speak(n);
    if (mode == "late") return Late(n);
    std::fprintf(stderr, "usage: pulse_check granted|heard n|stop n|idle|start|speak s|late s\n");
    return 2;
}
