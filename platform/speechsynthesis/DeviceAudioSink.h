// The process's audio output: one SDL audio device, kept open from the layer's start.
#pragma once

#include <memory>

#include "platform/speechsynthesis/Engine.h"

namespace vellora::speech {

// Opens the system's sound device, or SDL's silent real-time `dummy` driver where there is no
// device, with a buffer of about 6 ms so that a pause or a stop is heard at once.
std::shared_ptr<AudioSink> MakeDeviceAudioSink();

}  // namespace vellora::speech
