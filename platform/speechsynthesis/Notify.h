// Word of a channel's speech ending, for callers in this process that queue speech of their
// own and would otherwise have to keep asking whether the channel is still busy; and whether
// speech can be heard at all.
#pragma once

#include <functional>
#include <string>

#include "platform/speechsynthesis/SpeechSynthesis.h"

namespace vellora::speech {

// Calls `done` each time speech set on the channel ends (played out, stopped or failed), on
// the layer's worker thread and outside its lock; it must return quickly. False for an
// unknown channel. A channel's handler goes with it when it is disposed.
bool SetSpeechDoneHandler(SpeechChannel chan, std::function<void()> done);

// SpeakCFString for text already in UTF-8, which the layer keeps as it is: no conversion.
OSErr SpeakUtf8(SpeechChannel chan, std::string utf8);

// Speech can be heard: the synthesizer started and a sound device opened.
bool SpeechAvailable();

}  // namespace vellora::speech
