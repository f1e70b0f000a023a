// The speech bundle's classes: SpeechZRQ (the service), VoiceZRQ (an installed voice) and
// SpeechChannelZRQ (a channel that speaks). Every function here is called by the host on its
// main thread with the instance first; string and object arguments are lent for the call, and
// a string or object result carries one reference for the caller.
#pragma once

#include <cstdint>

#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "plugin-support/rb_plugin.h"
#include "speech/instance_data.h"

// Class records, registered by PluginEntry; the host writes dataOffset into them.
extern REALclassDefinition SpeechChannelClass;
extern REALclassDefinition VoiceClass;
extern REALclassDefinition SpeechClass;

// SpeechZRQ
void SpeechConstructor(REALobject self);
void SpeechDestructor(REALobject self);
bool Speak(REALobject self, REALstring s);
REALobject GetVoice(REALobject self, int32_t index);
REALobject DefaultVoice(REALobject self);
int32_t rbSpeechBusy(REALobject self);
int32_t rbSpeechBusySystemWide(REALobject self);
int32_t rbCountVoices(REALobject self, int32_t param);

// VoiceZRQ. NewVoice is the factory behind GetVoice and DefaultVoice: spec and fileInfo may
// be null; the result carries the new instance's one reference, or is nil.
REALobject NewVoice(const VoiceSpec* spec, const VoiceDescription& description,
                    const VoiceFileInfo* fileInfo);
void VoiceDestructor(REALobject self);
REALobject NewChannel(REALobject voice);

// SpeechChannelZRQ
void SpeechChannelConstructor(REALobject self);
void SpeechChannelDestructor(REALobject self);
bool ChannelSpeak(REALobject self, REALstring s);
bool ChannelStop(REALobject self);
bool ChannelStopImmediate(REALobject self);
bool ChannelStopEndOfWord(REALobject self);
bool ChannelStopEndOfSentence(REALobject self);
bool ChannelPauseImmediate(REALobject self);
bool ChannelPauseEndOfWord(REALobject self);
bool ChannelPauseEndOfSentence(REALobject self);
bool ChannelContinue(REALobject self);
void ChannelReset(REALobject self);
bool SynthesizeSpeechToFile(REALobject self, REALfolderItem file);

double getSpeechRate(REALobject self, int32_t param);
void setSpeechRate(REALobject self, int32_t param, double value);
double getSpeechPitchB(REALobject self, int32_t param);
void setSpeechPitchB(REALobject self, int32_t param, double value);
double getSpeechPitchM(REALobject self, int32_t param);
void setSpeechPitchM(REALobject self, int32_t param, double value);
bool getSpeechCharL(REALobject self, int32_t param);
void setSpeechCharLh(REALobject self, int32_t param, bool value);
bool getSpeechNumL(REALobject self, int32_t param);
void setSpeechNumL(REALobject self, int32_t param, bool value);
double getSpeechVolume(REALobject self, int32_t param);
void setSpeechVolume(REALobject self, int32_t param, double value);
bool getSpeechPlaying(REALobject self, int32_t param);
bool getSpeechPaused(REALobject self, int32_t param);
int32_t getSpeechLeft(REALobject self, int32_t param);
void setVoice(REALobject self, int32_t param, REALobject voice);

// The file URL of a folder item, existing or not yet created; the caller releases it. Null for
// a nil item or one that names no place a URL can be made for.
CFURLRef MakeCFURLfromFolderItem(REALfolderItem item);
