// The reference contenders of the heard-latency benchmark, in a process of their own (the
// library keeps process-wide state, and the program under test has it in synchronous mode):
// espeak-ng playing through its own audio output, and bare sound-server streams of 256 frames.
// Reads one command a line on stdin and answers each with the steady-clock time, in
// nanoseconds, at which it acted:
//   say <text>  espeak-ng queues the text on its own playback and returns at once
//   stop        espeak-ng cancels what it says
//   floor       256 loud frames written to an idle 256-frame stream
//   running     a 256-frame stream plays silence for 300 ms, then 256 loud frames; the time
//               is when the loud frames were handed over
#include <espeak-ng/speak_lib.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kFrames = 256;

long long Now() {
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

pa_simple* OpenStream(const char* name) {
    pa_sample_spec spec{PA_SAMPLE_S16LE, 48000, 1};
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = kFrames * 2;
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    int error = 0;
    pa_simple* s = pa_simple_new(nullptr, "audible_reference", PA_STREAM_PLAYBACK, nullptr, name,
                                 &spec, nullptr, &attr, &error);
    if (!s) std::fprintf(stderr, "%s stream: %s\n", name, pa_strerror(error));
    return s;
}

}  // namespace

int main() {
    if (espeak_Initialize(AUDIO_OUTPUT_PLAYBACK, 0, nullptr, 0) <= 0) {
        std::fprintf(stderr, "espeak-ng did not start\n");
        return 1;
    }
    espeak_SetVoiceByName("en");
    pa_simple* idle = OpenStream("floor");
    pa_simple* running = OpenStream("running floor");
    std::vector<int16_t> loud(kFrames), silence(64);
    for (size_t i = 0; i < loud.size(); ++i)
        loud[i] = int16_t(20000 * std::sin(double(i) * 2 * M_PI / 48.0));
    std::string line;
    while (std::getline(std::cin, line)) {
        long long at = 0;
        int error = 0;
        if (line.rfind("say ", 0) == 0) {
            std::string text = line.substr(4);
            at = Now();
            espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8,
                         nullptr, nullptr);
        } else if (line == "stop") {
            at = Now();
            espeak_Cancel();
        } else if (line == "floor" && idle) {
            at = Now();
            pa_simple_write(idle, loud.data(), loud.size() * 2, &error);
            pa_simple_drain(idle, &error);
        } else if (line == "running" && running) {
            // Each write returns once the stream's buffer has room, so after 300 ms it is full
            // of silence, as an output kept open between words would be.
            for (long long until = Now() + 300000000LL; Now() < until;)
                pa_simple_write(running, silence.data(), silence.size() * 2, &error);
            at = Now();
            pa_simple_write(running, loud.data(), loud.size() * 2, &error);
            pa_simple_drain(running, &error);
        }
        std::printf("%lld\n", at);
        std::fflush(stdout);
    }
    espeak_Terminate();
    if (idle) pa_simple_free(idle);
    if (running) pa_simple_free(running);
    return 0;
}
