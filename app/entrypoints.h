// The program's plug-in entry-point table: every operation of the plug-in classes (and three
// global functions of the runtime) that the program can call, bound once at start-up by its
// key and then reached by slot number, never by name. Field properties have no slot: their
// byte offsets in the instance are resolved at the same time from the registered records.
#pragma once

#include <cstdint>
#include <string_view>

// The keys, slot by slot. The slot numbers and the lookups both come from this one list.
// X(slot name, key)
#define VELLORA_PLUGIN_ENTRYPOINTS(X)                                                              \
    X(MD5, "MD5(data As String) As String")                                                        \
    X(EncodeBase64, "EncodeBase64(data As String, lineWrap As Integer = 76) As String")            \
    X(DecodeBase64, "DecodeBase64(data As String, encoding as TextEncoding = nil) As String")      \
    X(ClipboardZRQ_exit, "ClipboardZRQ.__exit")                                                    \
    X(ClipboardZRQ_DataSize, "ClipboardZRQ.DataSize(FlavorType as string) as integer")             \
    X(ClipboardZRQ_DataAvailable, "ClipboardZRQ.DataAvailable(FlavorType as string) as boolean")   \
    X(ClipboardZRQ_GetData, "ClipboardZRQ.GetData(FlavorType as string) as string")                \
    X(ClipboardZRQ_AddData, "ClipboardZRQ.AddData(FlavorType as string,data as string)")           \
    X(ClipboardZRQ_TextAvailable, "ClipboardZRQ.TextAvailable as boolean")                         \
    X(ClipboardZRQ_TextSize, "ClipboardZRQ.TextSize as integer")                                   \
    X(ClipboardZRQ_GetText, "ClipboardZRQ.GetText as string")                                      \
    X(ClipboardZRQ_AddText, "ClipboardZRQ.AddText(Text as string)")                                \
    X(ClipboardZRQ_UnicodeTextAvailable, "ClipboardZRQ.UnicodeTextAvailable as boolean")           \
    X(ClipboardZRQ_UnicodeTextSize, "ClipboardZRQ.UnicodeTextSize as integer")                     \
    X(ClipboardZRQ_GetUnicodeText, "ClipboardZRQ.GetUnicodeText as string")                        \
    X(ClipboardZRQ_AddUnicodeText, "ClipboardZRQ.AddUnicodeText(Text as string)")                  \
    X(ClipboardZRQ_PictAvailable, "ClipboardZRQ.PictAvailable as boolean")                         \
    X(ClipboardZRQ_Clear, "ClipboardZRQ.Clear")                                                    \
    X(ClipboardZRQ_Close, "ClipboardZRQ.Close")                                                    \
    X(ClipboardZRQ_ScrapFlavorCount, "ClipboardZRQ.ScrapFlavorCount as integer")                   \
    X(ClipboardZRQ_ScrapFlavorFlags, "ClipboardZRQ.ScrapFlavorFlags(index as integer) as integer") \
    X(ClipboardZRQ_ScrapFlavorType, "ClipboardZRQ.ScrapFlavorType(index as integer) as string")    \
    X(ClipboardZRQ_Handle_Get, "ClipboardZRQ.Handle.Get")                                          \
    X(SpeechChannelZRQ_init, "SpeechChannelZRQ.__init")                                            \
    X(SpeechChannelZRQ_exit, "SpeechChannelZRQ.__exit")                                            \
    X(SpeechChannelZRQ_Speak, "SpeechChannelZRQ.Speak(s as string) as Boolean")                    \
    X(SpeechChannelZRQ_Stop, "SpeechChannelZRQ.Stop as Boolean")                                   \
    X(SpeechChannelZRQ_StopImmediate, "SpeechChannelZRQ.StopImmediate as Boolean")                 \
    X(SpeechChannelZRQ_StopEndOfWord, "SpeechChannelZRQ.StopEndOfWord as Boolean")                 \
    X(SpeechChannelZRQ_StopEndOfSentence, "SpeechChannelZRQ.StopEndOfSentence as Boolean")         \
    X(SpeechChannelZRQ_PauseImmediate, "SpeechChannelZRQ.PauseImmediate as Boolean")               \
    X(SpeechChannelZRQ_PauseEndOfWord, "SpeechChannelZRQ.PauseEndOfWord as Boolean")               \
    X(SpeechChannelZRQ_PauseEndOfSentence, "SpeechChannelZRQ.PauseEndOfSentence as Boolean")       \
    X(SpeechChannelZRQ_ContinueSpeech, "SpeechChannelZRQ.ContinueSpeech as Boolean")               \
    X(SpeechChannelZRQ_Reset, "SpeechChannelZRQ.Reset")                                            \
    X(SpeechChannelZRQ_SpeechBusy, "SpeechChannelZRQ.SpeechBusy as integer")                       \
    X(SpeechChannelZRQ_SpeechBusySystemWide, "SpeechChannelZRQ.SpeechBusySystemWide as integer")   \
    X(SpeechChannelZRQ_Close, "SpeechChannelZRQ.Close")                                            \
    X(SpeechChannelZRQ_SetOutputFile,                                                              \
      "SpeechChannelZRQ.SetOutputFile(file as folderitem) as boolean")                             \
    X(SpeechChannelZRQ_Voice_Set, "SpeechChannelZRQ.Voice.Set")                                    \
    X(SpeechChannelZRQ_Rate_Get, "SpeechChannelZRQ.Rate.Get")                                      \
    X(SpeechChannelZRQ_Rate_Set, "SpeechChannelZRQ.Rate.Set")                                      \
    X(SpeechChannelZRQ_PitchBase_Get, "SpeechChannelZRQ.PitchBase.Get")                            \
    X(SpeechChannelZRQ_PitchBase_Set, "SpeechChannelZRQ.PitchBase.Set")                            \
    X(SpeechChannelZRQ_PitchModulation_Get, "SpeechChannelZRQ.PitchModulation.Get")                \
    X(SpeechChannelZRQ_PitchModulation_Set, "SpeechChannelZRQ.PitchModulation.Set")                \
    X(SpeechChannelZRQ_SpeakCharactersLiteral_Get, "SpeechChannelZRQ.SpeakCharactersLiteral.Get")  \
    X(SpeechChannelZRQ_SpeakCharactersLiteral_Set, "SpeechChannelZRQ.SpeakCharactersLiteral.Set")  \
    X(SpeechChannelZRQ_SpeakNumbersLiteral_Get, "SpeechChannelZRQ.SpeakNumbersLiteral.Get")        \
    X(SpeechChannelZRQ_SpeakNumbersLiteral_Set, "SpeechChannelZRQ.SpeakNumbersLiteral.Set")        \
    X(SpeechChannelZRQ_Volume_Get, "SpeechChannelZRQ.Volume.Get")                                  \
    X(SpeechChannelZRQ_Volume_Set, "SpeechChannelZRQ.Volume.Set")                                  \
    X(SpeechChannelZRQ_Playing_Get, "SpeechChannelZRQ.Playing.Get")                                \
    X(SpeechChannelZRQ_Paused_Get, "SpeechChannelZRQ.Paused.Get")                                  \
    X(SpeechChannelZRQ_TextBytesToSpeak_Get, "SpeechChannelZRQ.TextBytesToSpeak.Get")              \
    X(VoiceZRQ_exit, "VoiceZRQ.__exit")                                                            \
    X(VoiceZRQ_NewChannel, "VoiceZRQ.NewChannel as SpeechChannelZRQ")                              \
    X(VoiceZRQ_Close, "VoiceZRQ.Close")                                                            \
    X(SpeechZRQ_init, "SpeechZRQ.__init")                                                          \
    X(SpeechZRQ_exit, "SpeechZRQ.__exit")                                                          \
    X(SpeechZRQ_Speak, "SpeechZRQ.Speak(s as string) as Boolean")                                  \
    X(SpeechZRQ_Voice, "SpeechZRQ.Voice(index as integer) as VoiceZRQ")                            \
    X(SpeechZRQ_DefaultVoice, "SpeechZRQ.DefaultVoice as VoiceZRQ")                                \
    X(SpeechZRQ_SpeechBusy, "SpeechZRQ.SpeechBusy as integer")                                     \
    X(SpeechZRQ_SpeechBusySystemWide, "SpeechZRQ.SpeechBusySystemWide as integer")                 \
    X(SpeechZRQ_Close, "SpeechZRQ.Close")                                                          \
    X(SpeechZRQ_VoiceCount_Get, "SpeechZRQ.VoiceCount.Get")

// The properties that the runtime's standard field getter serves, read straight from the
// instance. F(class, property, type text as registered)
#define VELLORA_PLUGIN_FIELDS(F)              \
    F(SpeechChannelZRQ, Voice, "VoiceZRQ")    \
    F(SpeechChannelZRQ, Lasterror, "Integer") \
    F(VoiceZRQ, Version, "Integer")           \
    F(VoiceZRQ, Name, "String")               \
    F(VoiceZRQ, Comment, "String")            \
    F(VoiceZRQ, Gender, "Integer")            \
    F(VoiceZRQ, Age, "Integer")               \
    F(VoiceZRQ, Script, "Integer")            \
    F(VoiceZRQ, Language, "Integer")          \
    F(VoiceZRQ, Region, "Integer")            \
    F(VoiceZRQ, File, "Folderitem")           \
    F(VoiceZRQ, ResID, "Integer")             \
    F(SpeechZRQ, Available, "Boolean")        \
    F(SpeechZRQ, VersionStage, "Integer")     \
    F(SpeechZRQ, VersionMinor, "Integer")     \
    F(SpeechZRQ, VersionMajor, "Integer")     \
    F(SpeechZRQ, VersionRev, "Integer")       \
    F(SpeechZRQ, Lasterror, "Integer")

enum class PluginSlot : int32_t {
#define VELLORA_SLOT_NAME(name, key) name,
    VELLORA_PLUGIN_ENTRYPOINTS(VELLORA_SLOT_NAME)
#undef VELLORA_SLOT_NAME
};

enum class PluginField : int32_t {
#define VELLORA_FIELD_NAME(cls, prop, type) cls##_##prop,
    VELLORA_PLUGIN_FIELDS(VELLORA_FIELD_NAME)
#undef VELLORA_FIELD_NAME
};

inline constexpr int32_t kPluginEntrypointCount = 0
#define VELLORA_COUNT_SLOT(name, key) +1
    VELLORA_PLUGIN_ENTRYPOINTS(VELLORA_COUNT_SLOT)
#undef VELLORA_COUNT_SLOT
    ;
static_assert(kPluginEntrypointCount == 67);

// The table, made by the runtime (RuntimeAllocatePluginEntrypointsTable) and owned by
// entrypoints.cpp, which replaces and frees it when start-up runs again in this process. Null
// until _InitPluginEntrypoints has filled every slot; the field offsets are bound exactly while
// it is set.
extern void** __plugin_entrypoints;

// Fills the table and resolves the field offsets. Call once, after the runtime has loaded the
// plug-ins. The first key that resolves to nothing (or a field property that the plug-in does
// not register as a standard field of that type) throws rb::PluginError naming it, and the
// table stays unset, so no slot can ever be called empty.
void _InitPluginEntrypoints();

// The key of a slot, as it is looked up.
std::string_view pluginEntrypointKey(PluginSlot slot);

// The entry point in a slot. Throws rb::PluginError while the table is not filled.
void* pluginEntrypoint(PluginSlot slot);

// The byte offset, from the start of the instance, of a field property: the class record's
// dataOffset plus the property row's param. Throws rb::PluginError while not resolved.
int32_t pluginFieldOffset(PluginField field);
