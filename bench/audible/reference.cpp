// The reference contenders of the heard-latency benchmark, in a process of their own (the
// library keeps process-wide state, and the program under test has it in synchronous mode):
// espeak-ng playing through its own audio output, and a bare sound-server stream of 256
// frames. Reads one command a line on stdin and answers each with the steady-clock time, in
// nanoseconds, at which it acted:
//   say <text>  espeak-ng speaks the text through its own playback
//   stop        espeak-ng cancels what it says
//   floor       256 loud frames written to a 256-frame stream
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

long long Now() {
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

pa_simple* OpenFloorStream() {
    pa_sample_spec spec{PA_SAMPLE_S16LE, 48000, 1};
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = 256 * 2;
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    int error = 0;
    pa_simple* s = pa_simple_new(nullptr, "audible_reference", PA_STREAM_PLAYBACK, nullptr, "floor",
                                 &spec, nullptr, &attr, &error);
    if (!s) std::fprintf(stderr, "floor stream: %s\n", pa_strerror(error));
    return s;
}

}  // namespace

int main() {
    if (espeak_Initialize(AUDIO_OUTPUT_PLAYBACK, 0, nullptr, 0) <= 0) {
        std::fprintf(stderr, "espeak-ng did not start\n");
        return 1;
    }
    espeak_SetVoiceByName("en");
    pa_simple* floor = OpenFloorStream();
    std::vector<int16_t> loud(256);
    for (size_t i = 0; i < loud.size(); ++i)
        loud[i] = int16_t(20000 * std::sin(double(i) * 2 * M_PI / 48.0));
    std::string line;
    while (std::getline(std::cin, line)) {
        long long at = Now();
        if (line.rfind("say ", 0) == 0) {
            std::string text = line.substr(4);
            at = Now();
            espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8,
                         nullptr, nullptr);
        } else if (line == "stop") {
            at = Now();
            espeak_Cancel();
        } else if (line == "floor" && floor) {
            int error = 0;
            at = Now();
            pa_simple_write(floor, loud.data(), loud.size() * 2, &error);
            pa_simple_drain(floor, &error);
        }
        std::printf("%lld\n", at);
        std::fflush(stdout);
    }
    espeak_Terminate();
    if (floor) pa_simple_free(floor);
    return 0;
}
