// The process's audio output: one SDL audio device, kept open from the layer's start.
#pragma once

#include <memory>

#include "platform/speechsynthesis/Engine.h"

namespace vellora::speech {

// Opens the system's sound device (SDL's silent `dummy` driver only where SDL_AUDIODRIVER names
// it, as the tests do), with a buffer of about 6 ms so that a pause or a stop is heard at once.
// Where no device opens, start() fails and speech is not available.
std::shared_ptr<AudioSink> MakeDeviceAudioSink();

}  // namespace vellora::speech
