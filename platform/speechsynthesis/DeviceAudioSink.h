// The process's audio output: one SDL audio device, kept open from the layer's start.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/speechsynthesis/Engine.h"

namespace vellora::speech {

// How often the device was opened and closed, for a test that waits on either.
struct DeviceCounts {
    std::atomic<int> opens{0};
    std::atomic<int> closes{0};
};

// Opens the system's sound device (SDL's silent `dummy` driver only where SDL_AUDIODRIVER names
// it, as the tests do), with a buffer of about 6 ms so that a pause or a stop is heard at once.
// Where no device opens, start() fails and speech is not available. `counts`, when given, is
// kept up to date from then on. `drivers`, when not empty, are SDL's drivers to try in turn
// (comma-separated) where SDL_AUDIODRIVER names none.
std::shared_ptr<AudioSink> MakeDeviceAudioSink(std::shared_ptr<DeviceCounts> counts = nullptr,
                                               std::string drivers = {});

}  // namespace vellora::speech
