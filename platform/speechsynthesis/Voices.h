// What the layer tells of a voice: its description record and the choice of the default voice.
#pragma once

#include <string_view>
#include <vector>

#include "platform/speechsynthesis/Engine.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"

namespace vellora::speech {

// The classic 16-bit language code of a language tag ("en-gb" -> 0); 32767 when unknown.
int16_t LanguageCode(std::string_view tag);

// Index of the voice that best fits the user's locale language (LC_ALL, LC_MESSAGES, LANG);
// without a language in the locale (C, POSIX), or without a voice for it, espeak-ng's own
// default English voice, else the best English voice, else the first voice; -1 when there is
// none.
int ChooseDefaultVoice(const std::vector<VoiceEntry>& voices);

void FillDescription(const VoiceEntry& voice, VoiceSpec spec, VoiceDescription& out);

}  // namespace vellora::speech
