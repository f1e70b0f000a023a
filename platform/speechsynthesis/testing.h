// Seams for tests of the speech layer and of what uses it, in the shipped library: the
// doubles that plug into them (doubles.h) are in a library of their own that only tests and
// benchmarks link. InstallEngine swaps the synthesizer; InstallAudioSink swaps the audio output,
// the device the layer starts, stops, and starts again when it reports itself lost. Install
// the engine first, before the first call of the layer if the real ones should never start;
// installing ends all speech going on. WaitUntilIdle waits for the synthesis worker to have made
// all it can.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/speechsynthesis/DeviceAudioSink.h"
#include "platform/speechsynthesis/Engine.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"

namespace vellora::speech::testing {

void InstallEngine(std::shared_ptr<Engine> engine);
void InstallAudioSink(std::shared_ptr<AudioSink> sink);
std::shared_ptr<Engine> MakeEspeakEngine();  // the real ones, to install again
// The real device; `counts`, when given, counts its opens and closes.
std::shared_ptr<AudioSink> MakeDeviceAudioSink(std::shared_ptr<DeviceCounts> counts = nullptr);

// True once the worker has nothing left to make (speech is synthesized, or far enough ahead).
bool WaitUntilIdle(std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Frames of this channel mixed into the audio output so far; 0 for an unknown channel.
uint64_t FramesMixed(SpeechChannel chan);

}  // namespace vellora::speech::testing
