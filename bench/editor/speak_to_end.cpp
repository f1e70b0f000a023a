// Times Speak to End and Speak Selected through the whole program, on espeak-ng and SDL's audio
// output (the dummy driver when SDL_AUDIODRIVER says so), for one word, 10,000 and 1,000,000
// characters (ASCII, and text with accented letters):
//  - the click's handler on the main thread, whole;
//  - the click to the first sample of the reading handed to the audio output;
//  - each step the handler takes, one at a time: the text, its length, the part from the caret,
//    and the channel's Speak (conversion and hand-off to the layer).
// Usage: editor_speak_bench [runs]
#include <QApplication>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "bench/support/offscreen_program.h"
#include "bench/support/stats.h"
#include "bench/support/timed_sink.h"
#include "editor/Module1.h"
#include "editor/Window1.h"
#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/string_functions.h"
#include "platform/rbframework/testing.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "platform/speechsynthesis/doubles.h"
#include "program/program.h"

namespace {

namespace speech = vellora::speech;
using bench::At;
using bench::Clock;
using bench::Ms;
using bench::NotingEngine;
using bench::SpinUntil;
using bench::Stats;
using bench::TimedSink;

std::shared_ptr<NotingEngine> gEngine;
std::shared_ptr<TimedSink> gSink;

// Sentences in one paragraph; with accents, every word of the sentence has one.
std::string Filler(size_t chars, bool accents) {
    std::string text;
    for (int i = 0; text.size() < chars; ++i)
        text += accents ? "Ça été déjà écrit à la fenêtre numéro " + std::to_string(i) + ". "
                        : "This is sentence number " + std::to_string(i) + " of a long text. ";
    // Cut at a character's start.
    size_t end = chars;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

double Time(const std::function<void()>& f) {
    auto t0 = Clock::now();
    f();
    return Ms(Clock::now() - t0);
}

void StopAndWait() {
    if (Module1::sc) Module1::sc->StopImmediate();
    (void)QTest::qWaitFor([] { return SpeechBusy() == 0; }, 10000);
}

void Measure(Window1& w, int runs) {
    std::mt19937 random(7);
    struct Case {
        const char* label;
        size_t size;
        bool accents;
    } cases[] = {{"one word", 4, false},
                 {"10,000 chars", 10000, false},
                 {"1,000,000 chars", 1000000, false},
                 {"1,000,000 chars, accented", 1000000, true}};
    auto field = w.EditField1();
    // The reading channel is known once it has spoken.
    field->setText("warm");
    w.SpeakToEnd()->Push();
    StopAndWait();
    auto reading = reinterpret_cast<SpeechChannel>(gEngine->lastSpoken.load());
    for (const Case& c : cases) {
        field->setText(c.size == 4 ? std::string("word") : Filler(c.size, c.accents));
        Stats handler, heard, text, len, right, speak, selected, selectedHeard;
        for (int i = 0; i < runs; ++i) {
            field->setSelStart(0);
            StopAndWait();
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 12000));
            gSink->watch(reading);
            auto t0 = Clock::now();
            w.SpeakToEnd()->Push();
            handler.v.push_back(Ms(Clock::now() - t0));
            if (SpinUntil([] { return gSink->first.load() != 0; }, std::chrono::seconds(3)))
                heard.v.push_back(Ms(At(gSink->first.load()) - t0));
            else
                ++heard.missed;

            StopAndWait();
            field->SelectAll();
            gSink->watch(reading);
            t0 = Clock::now();
            w.SpeakSelected()->Push();
            selected.v.push_back(Ms(Clock::now() - t0));
            if (SpinUntil([] { return gSink->first.load() != 0; }, std::chrono::seconds(3)))
                selectedHeard.v.push_back(Ms(At(gSink->first.load()) - t0));
            else
                ++selectedHeard.missed;

            // The steps one at a time.
            StopAndWait();
            field->setSelStart(0);
            rb::String all, s;
            int32_t n = 0;
            text.v.push_back(Time([&] { all = field->Text(); }));
            len.v.push_back(Time([&] { n = rb::Len(all); }));
            right.v.push_back(Time([&] { s = rb::Right(all, n - field->SelStart()); }));
            speak.v.push_back(Time([&] { Module1::sc->Speak(s); }));
        }
        StopAndWait();
        std::string label = c.label;
        handler.print("Speak to End, handler on the main thread, " + label);
        heard.print("Speak to End, click to first sample, " + label);
        selected.print("Speak Selected (all), handler, " + label);
        selectedHeard.print("Speak Selected (all), click to first sample, " + label);
        text.print("  step: TextArea.Text, " + label);
        len.print("  step: Len of the text, " + label);
        right.print("  step: Right from the caret, " + label);
        speak.print("  step: channel Speak, " + label);
    }
    gSink->watch(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    return bench::RunOnMainWindow(
        "editor_speak_bench", [] { bench::InstallTimedEspeak(gEngine, gSink); },
        [runs](Window1& w) { Measure(w, runs); });
}
