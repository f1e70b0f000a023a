// The seams, in the shipped library.
#include "platform/speechsynthesis/testing.h"

#include <algorithm>
#include <thread>

#include "platform/speechsynthesis/DeviceAudioSink.h"
#include "platform/speechsynthesis/EspeakEngine.h"
#include "platform/speechsynthesis/Layer.h"

namespace vellora::speech::testing {

void InstallEngine(std::shared_ptr<Engine> engine) {
    Layer::get().installEngine(std::move(engine));
}
void InstallAudioSink(std::shared_ptr<AudioSink> sink) {
    Layer::get().installSink(std::move(sink));
}
std::shared_ptr<Engine> MakeEspeakEngine() {
    return speech::MakeEspeakEngine();
}
std::shared_ptr<AudioSink> MakeDeviceAudioSink(std::shared_ptr<DeviceCounts> counts) {
    return speech::MakeDeviceAudioSink(std::move(counts));
}

bool WaitUntilIdle(std::chrono::milliseconds timeout) {
    Layer::get().start().unlock();
    return Layer::get().waitUntilIdle(timeout);
}

uint64_t FramesMixed(SpeechChannel chan) {
    return Layer::get().framesMixed(chan);
}

}  // namespace vellora::speech::testing
