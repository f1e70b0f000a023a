// Times, on espeak-ng and the process's audio output:
//  - from SpeakText to the first sample of the channel handed to the output, for one word and
//    for a 1 MB text; once with the audio device (which takes audio only at its callbacks,
//    every 256 frames) and once with an output that asks for audio without pause (what the
//    layer itself adds);
//  - from PauseSpeechAt 0 / StopSpeech to the end of the last device buffer that holds the
//    channel's audio (the moment it falls silent).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/stats.h"
#include "bench/support/timed_sink.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "platform/speechsynthesis/doubles.h"

namespace {

using bench::At;
using bench::Clock;
using bench::Ms;
using bench::Stats;
using bench::TimedSink;
using namespace vellora::speech;

std::string Megabyte() {
    std::string text;
    for (int i = 0; text.size() < 1000000; ++i)
        text += "This is sentence number " + std::to_string(i) + " of a long text. ";
    return text;
}

}  // namespace

int main() {
    auto device = std::make_shared<TimedSink>(testing::MakeDeviceAudioSink());
    testing::InstallEngine(testing::MakeEspeakEngine());
    testing::InstallAudioSink(device);
    SpeechChannel chan = nullptr;
    if (NewSpeechChannel(nullptr, &chan) != noErr) {
        std::fprintf(stderr, "no speech channel\n");
        return 1;
    }
    const std::string word = "Hello";
    const std::string big = Megabyte();
    std::mt19937 random(42);
    const int runs = 40;

    for (const std::string* text : {&word, &big}) {
        Stats stats;
        for (int i = 0; i < runs; ++i) {
            StopSpeech(chan);
            testing::WaitUntilIdle();
            // Start at a random moment of the device's period.
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 12000));
            device->watch(chan);
            auto t0 = Clock::now();
            SpeakText(chan, text->data(), uint32_t(text->size()));
            if (!bench::SpinUntil([&] { return device->first.load() != 0; },
                                  std::chrono::seconds(3)))
                continue;
            stats.v.push_back(Ms(At(device->first.load()) - t0));
        }
        stats.print(text == &word ? "first sample, one word, device"
                                  : "first sample, 1 MB text, device");
    }

    for (bool stop : {false, true}) {
        Stats stats;
        for (int i = 0; i < runs; ++i) {
            StopSpeech(chan);
            device->watch(chan);
            SpeakText(chan, big.data(), uint32_t(big.size()));
            bench::SpinUntil([&] { return device->first.load() != 0; }, std::chrono::seconds(3));
            std::this_thread::sleep_for(std::chrono::microseconds(20000 + random() % 30000));
            auto t0 = Clock::now();
            stop ? StopSpeech(chan) : PauseSpeechAt(chan, kSpeechImmediate);
            // Past any callback already running, plus one more period.
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            auto silent = At(device->last.load()) +
                          std::chrono::microseconds(int64_t(device->bufferMs() * 1000));
            stats.v.push_back(std::max(0.0, Ms(silent - t0)));
        }
        stats.print(stop ? "silence after StopSpeech, device"
                         : "silence after PauseSpeechAt 0, device");
    }
    device->watch(nullptr);

    // The layer's own share: an output that pulls without waiting for a device period.
    auto manual = std::make_shared<testing::ManualAudioClock>();
    testing::InstallAudioSink(manual);
    for (const std::string* text : {&word, &big}) {
        Stats stats;
        for (int i = 0; i < runs; ++i) {
            StopSpeech(chan);
            testing::WaitUntilIdle();
            manual->Pull(4096);
            uint64_t before = testing::FramesMixed(chan);
            auto t0 = Clock::now();
            SpeakText(chan, text->data(), uint32_t(text->size()));
            bench::SpinUntil(
                [&] {
                    manual->Pull(16);
                    return testing::FramesMixed(chan) != before;
                },
                std::chrono::seconds(3));
            stats.v.push_back(Ms(Clock::now() - t0));
        }
        stats.print(text == &word ? "first sample, one word, pulled at once"
                                  : "first sample, 1 MB text, pulled at once");
    }
    DisposeSpeechChannel(chan);
    return 0;
}
