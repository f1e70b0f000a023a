// The class records of the speech bundle and its entry. The records and their tables are
// writable statics: the host rounds dataSize and writes dataOffset into them.
#include <cstddef>
#include <iterator>

#include "platform/speechsynthesis/Notify.h"
#include "speech/speech_plugin.h"

namespace {

using speech::SpeechChannelData;
using speech::SpeechData;
using speech::VoiceData;

template <typename F>
REALproc Fn(F* function) {
    return reinterpret_cast<REALproc>(function);
}

// A property served by plug-in accessors (param 0).
REALpropertyRecord Accessor(const char* name, const char* type, REALproc getter,
                            REALproc setter = nullptr) {
    return {nullptr, name, type, 0, getter, setter, 0, nullptr, 0, nullptr};
}

// A property the host reads itself at `offset` of the plug-in data.
REALpropertyRecord Field(const char* name, const char* type, size_t offset,
                         REALproc setter = nullptr) {
    REALpropertyRecord row = Accessor(name, type, kREALStandardFieldGetter, setter);
    row.param = static_cast<uint32_t>(offset);
    return row;
}

REALmethodRecord Method(const char* declaration, REALproc function) {
    return {function, nullptr, declaration, 0};
}

REALclassDefinition Record(const char* name, size_t dataSize, void (*constructor)(REALobject),
                           void (*destructor)(REALobject), REALpropertyRecord* properties,
                           size_t propertyCount, REALmethodRecord* methods, size_t methodCount) {
    REALclassDefinition record{};
    record.version = kCurrentREALControlVersion;
    record.name = name;
    record.dataSize = static_cast<int32_t>(dataSize);
    record.constructor = constructor;
    record.destructor = destructor;
    record.properties = properties;
    record.propertyCount = static_cast<int32_t>(propertyCount);
    record.methods = methods;
    record.methodCount = static_cast<int32_t>(methodCount);
    return record;
}

REALpropertyRecord SpeechChannelProperties[] = {
    Field("Voice", "VoiceZRQ", offsetof(SpeechChannelData, Voice), Fn(setVoice)),
    Field("Lasterror", "Integer", offsetof(SpeechChannelData, Lasterror)),
    Accessor("Rate", "double", Fn(getSpeechRate), Fn(setSpeechRate)),
    Accessor("PitchBase", "double", Fn(getSpeechPitchB), Fn(setSpeechPitchB)),
    Accessor("PitchModulation", "double", Fn(getSpeechPitchM), Fn(setSpeechPitchM)),
    Accessor("SpeakCharactersLiteral", "boolean", Fn(getSpeechCharL), Fn(setSpeechCharLh)),
    Accessor("SpeakNumbersLiteral", "boolean", Fn(getSpeechNumL), Fn(setSpeechNumL)),
    Accessor("Volume", "double", Fn(getSpeechVolume), Fn(setSpeechVolume)),
    Accessor("Playing", "boolean", Fn(getSpeechPlaying)),
    Accessor("Paused", "boolean", Fn(getSpeechPaused)),
    Accessor("TextBytesToSpeak", "integer", Fn(getSpeechLeft)),
};

REALmethodRecord SpeechChannelMethods[] = {
    Method("Speak(s as string) as Boolean", Fn(ChannelSpeak)),
    Method("Stop as Boolean", Fn(ChannelStop)),
    Method("StopImmediate as Boolean", Fn(ChannelStopImmediate)),
    Method("StopEndOfWord as Boolean", Fn(ChannelStopEndOfWord)),
    Method("StopEndOfSentence as Boolean", Fn(ChannelStopEndOfSentence)),
    Method("PauseImmediate as Boolean", Fn(ChannelPauseImmediate)),
    Method("PauseEndOfWord as Boolean", Fn(ChannelPauseEndOfWord)),
    Method("PauseEndOfSentence as Boolean", Fn(ChannelPauseEndOfSentence)),
    Method("ContinueSpeech as Boolean", Fn(ChannelContinue)),
    Method("Reset", Fn(ChannelReset)),
    Method("SpeechBusy as integer", Fn(rbSpeechBusy)),
    Method("SpeechBusySystemWide as integer", Fn(rbSpeechBusySystemWide)),
    Method("Close", Fn(SpeechChannelDestructor)),
    Method("SetOutputFile(file as folderitem) as boolean", Fn(SynthesizeSpeechToFile)),
};

REALpropertyRecord VoiceProperties[] = {
    Field("Version", "Integer", offsetof(VoiceData, Version)),
    Field("Name", "String", offsetof(VoiceData, Name)),
    Field("Comment", "String", offsetof(VoiceData, Comment)),
    Field("Gender", "Integer", offsetof(VoiceData, Gender)),
    Field("Age", "Integer", offsetof(VoiceData, Age)),
    Field("Script", "Integer", offsetof(VoiceData, Script)),
    Field("Language", "Integer", offsetof(VoiceData, Language)),
    Field("Region", "Integer", offsetof(VoiceData, Region)),
    Field("File", "Folderitem", offsetof(VoiceData, File)),
    Field("ResID", "Integer", offsetof(VoiceData, ResID)),
};

REALmethodRecord VoiceMethods[] = {
    Method("NewChannel as SpeechChannelZRQ", Fn(NewChannel)),
    Method("Close", Fn(VoiceDestructor)),
};

REALpropertyRecord SpeechProperties[] = {
    Field("Available", "Boolean", offsetof(SpeechData, Available)),
    Field("VersionStage", "Integer", offsetof(SpeechData, VersionStage)),
    Field("VersionMinor", "Integer", offsetof(SpeechData, VersionMinor)),
    Field("VersionMajor", "Integer", offsetof(SpeechData, VersionMajor)),
    Field("VersionRev", "Integer", offsetof(SpeechData, VersionRev)),
    Field("Lasterror", "Integer", offsetof(SpeechData, Lasterror)),
    Accessor("VoiceCount", "Integer", Fn(rbCountVoices)),
};

REALmethodRecord SpeechMethods[] = {
    Method("Speak(s as string) as Boolean", Fn(Speak)),
    Method("Voice(index as integer) as VoiceZRQ", Fn(GetVoice)),
    Method("DefaultVoice as VoiceZRQ", Fn(DefaultVoice)),
    Method("SpeechBusy as integer", Fn(rbSpeechBusy)),
    Method("SpeechBusySystemWide as integer", Fn(rbSpeechBusySystemWide)),
    Method("Close", Fn(SpeechDestructor)),
};

}  // namespace

REALclassDefinition SpeechChannelClass =
    Record("SpeechChannelZRQ", sizeof(SpeechChannelData), SpeechChannelConstructor,
           SpeechChannelDestructor, SpeechChannelProperties, std::size(SpeechChannelProperties),
           SpeechChannelMethods, std::size(SpeechChannelMethods));

REALclassDefinition VoiceClass =
    Record("VoiceZRQ", sizeof(VoiceData), nullptr, VoiceDestructor, VoiceProperties,
           std::size(VoiceProperties), VoiceMethods, std::size(VoiceMethods));

REALclassDefinition SpeechClass =
    Record("SpeechZRQ", sizeof(SpeechData), SpeechConstructor, SpeechDestructor, SpeechProperties,
           std::size(SpeechProperties), SpeechMethods, std::size(SpeechMethods));

int32_t PluginEntry() {
    // The synthesizer's data and the sound output take longer to start than the rest of the
    // program's start-up before its first use of them.
    vellora::speech::PrepareSpeech();
    MyREALRegisterClass(&SpeechChannelClass);
    MyREALRegisterClass(&VoiceClass);
    return MyREALRegisterClass(&SpeechClass);
}
