// Times, through the whole program on espeak-ng and SDL's audio output (the dummy driver
// when SDL_AUDIODRIVER says so), with texts of 100, 10,000 and 1,000,000 characters in the
// main text area:
//  - word echo: from the key event of a blank typed after a word to the first sample of the
//    echo handed to the audio output;
//  - the word echo's handler alone for a key that ends no word, and the whole key event;
//  - Stop Speaking: from the click to the last sample of the reading channel handed to the
//    output, and to the end of that buffer (the moment it falls silent).
// The synthesizer is espeak-ng behind a pass-through that notes which channel each text went
// to, so that the output can be asked what it mixed of that channel.
// Usage: editor_echo_bench [runs]
#include <QApplication>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/offscreen_program.h"
#include "bench/support/stats.h"
#include "bench/support/timed_sink.h"
#include "editor/Module1.h"
#include "editor/Window1.h"
#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/testing.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "platform/speechsynthesis/doubles.h"
#include "program/program.h"

namespace {

using bench::SpinUntil;
using bench::Stats;

namespace speech = vellora::speech;
using bench::At;
using bench::Clock;
using bench::Ms;
using bench::NotingEngine;
using bench::TimedSink;

// Sentences in one paragraph, or one to a line.
std::string Filler(size_t chars, bool lines = false) {
    std::string text;
    for (int i = 0; text.size() < chars; ++i)
        text += "This is sentence number " + std::to_string(i) + " of a long text." +
                (lines ? "\n" : " ");
    text.resize(chars);
    return text;
}

std::shared_ptr<NotingEngine> gEngine;
std::shared_ptr<TimedSink> gSink;

// Waits, letting the program's loop run, until no channel speaks.
bool Quiet() {
    return QTest::qWaitFor([] { return SpeechBusy() == 0; }, 10000);
}

void Measure(Window1& w, int runs) {
    QPlainTextEdit* edit = w.EditField1()->edit();
    edit->setFocus();
    QApplication::setActiveWindow(w.qwindow());
    std::mt19937 random(42);

    // The runtime makes its echo channel at the first word; learn which it is.
    QTest::keyClicks(edit, "Warm ");
    uintptr_t echo = gEngine->lastSpoken.load();
    if (!echo || !Quiet()) {
        std::fprintf(stderr, "the echo did not speak\n");
        return;
    }

    struct Case {
        size_t size;
        bool lines;
    } cases[] = {{100, false}, {10000, false}, {1000000, false}, {1000000, true}};
    for (auto [size, lines] : cases) {
        w.EditField1()->setText(Filler(size, lines));
        w.EditField1()->setSelStart(int32_t(size));
        Module1::StartChar = int32_t(size);  // all of it heard before
        Stats firstAudio, toSpeak, handler, keystroke;
        for (int i = 0; i < runs; ++i) {
            StopSpeech(reinterpret_cast<SpeechChannel>(echo));
            if (!Quiet()) break;
            for (char c : std::string("word")) {
                auto k0 = Clock::now();
                QTest::keyClick(edit, c);
                keystroke.v.push_back(Ms(Clock::now() - k0));
            }
            for (int j = 0; j < 5; ++j) {
                auto h0 = Clock::now();
                w.EditField1_TextChange();
                handler.v.push_back(Ms(Clock::now() - h0));
            }
            // At a random moment of the output's period.
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 12000));
            gSink->watch(reinterpret_cast<SpeechChannel>(echo));
            auto t0 = Clock::now();
            QTest::keyClick(edit, ' ');
            if (SpinUntil([] { return gSink->first.load() != 0; }, std::chrono::seconds(3))) {
                firstAudio.v.push_back(Ms(At(gSink->first.load()) - t0));
                toSpeak.v.push_back(Ms(At(gEngine->spokenAt.load()) - t0));
            } else
                ++firstAudio.missed;
        }
        gSink->watch(nullptr);
        std::string label = std::to_string(size) + (lines ? " in lines" : " characters");
        firstAudio.print("word echo, blank key to first sample, " + label);
        toSpeak.print("  of which: blank key to the echo's Speak call, " + label);
        handler.print("EditField1_TextChange, no delimiter, " + label);
        keystroke.print("letter key event (handler included), " + label);
    }
    StopSpeech(reinterpret_cast<SpeechChannel>(echo));

    // Stop Speaking while the reading channel plays a long text.
    w.EditField1()->setText(Filler(10000));
    Stats handed, silent;
    for (int i = 0; i < runs; ++i) {
        w.EditField1()->setSelStart(0);
        w.SpeakToEnd()->Push();
        uintptr_t reading = gEngine->lastSpoken.load();
        gSink->watch(reinterpret_cast<SpeechChannel>(reading));
        if (!SpinUntil([] { return gSink->first.load() != 0; }, std::chrono::seconds(3))) {
            ++silent.missed;
            continue;
        }
        // Some more of it played, a random number of output periods.
        uint64_t until = gSink->callbacks.load() + 2 + random() % 6;
        SpinUntil([&] { return gSink->callbacks.load() >= until; }, std::chrono::seconds(1));
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 11000));
        auto t0 = Clock::now();
        w.StopSpeaking()->Push();
        // Past any callback already running, and three more.
        uint64_t after = gSink->callbacks.load() + 4;
        SpinUntil([&] { return gSink->callbacks.load() >= after; }, std::chrono::seconds(1));
        auto last = At(gSink->last.load());
        handed.v.push_back(std::max(0.0, Ms(last - t0)));
        silent.v.push_back(std::max(
            0.0, Ms(last + std::chrono::microseconds(int64_t(gSink->bufferMs() * 1000)) - t0)));
    }
    gSink->watch(nullptr);
    handed.print("Stop Speaking, click to last sample handed to output");
    silent.print("Stop Speaking, click to silence (end of that buffer)");
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    return bench::RunOnMainWindow(
        "editor_echo_bench", [] { bench::InstallTimedEspeak(gEngine, gSink); },
        [runs](Window1& w) { Measure(w, runs); });
}
