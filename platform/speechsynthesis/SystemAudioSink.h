// The audio output the layer starts: the sound server's own stream where a server answers,
// SDL's device otherwise (plain ALSA), or SDL alone where SDL_AUDIODRIVER names a driver (as
// the tests do with its silent `dummy` driver, which then contacts no server).
#pragma once

#include <functional>
#include <memory>

#include "platform/speechsynthesis/Engine.h"

namespace vellora::speech {

// Until one of them first opens, each start() tries the server, then the fallback; from then
// on the one that opened is kept (a server that went away is waited for, rather than taking
// the sound card from under it). `server` and `fallback` make the two when given (for tests).
std::shared_ptr<AudioSink> MakeSystemAudioSink(
    std::function<std::shared_ptr<AudioSink>()> server = nullptr,
    std::function<std::shared_ptr<AudioSink>()> fallback = nullptr);

}  // namespace vellora::speech
