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

// More speech waits to follow what the channel is speaking now: that speech ends once its last
// sound has been heard, followed by a short pause (not the engine's full closing silence)
// during which the next speech, spoken on the channel as soon as the end is reported, joins
// it. Nothing of what is heard is cut. A channel that is not speaking is left as it is;
// StopSpeech gives up the pause. kSpeechBadChannelErr for an unknown channel. [any]
OSErr MoreSpeechFollows(SpeechChannel chan);

// Speech can be heard: the synthesizer started and a sound device opened.
bool SpeechAvailable();

// Starts the synthesizer and the sound output on the layer's worker and returns at once, so that
// they are ready by the first call, which otherwise starts them itself; that call waits for a
// start begun here.
void PrepareSpeech();

}  // namespace vellora::speech
