// The speaking editor's module state: how far the word echo has spoken, and the speech and
// clipboard objects of the whole run.
#pragma once

#include <cstdint>

#include "app/plugin_classes.h"

namespace Module1 {

// Characters of the text that the word echo has passed; 0 when the program starts.
extern int32_t StartChar;
extern rb::Ref<SpeechZRQ> sp;         // the speech service
extern rb::Ref<VoiceZRQ> vo;          // the default voice the channel is made from
extern rb::Ref<SpeechChannelZRQ> sc;  // the reading channel; nil when none could be made
extern rb::Ref<ClipboardZRQ> C;       // the clipboard object

// Releases the objects at exit, channel first: sc, sp, vo, C.
void Release();

}  // namespace Module1
