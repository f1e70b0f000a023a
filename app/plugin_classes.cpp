#include "app/plugin_classes.h"

#include <cstring>
#include <string>
#include <tuple>

#include "app/entrypoints.h"

namespace {

using Instance = rb::Ref<rb::PluginObject>;

// The argument as held for the length of a call: a reference of its own on a string or an
// object, the value itself otherwise.
rb::String hold(const rb::String& s) {
    return s;
}
int32_t hold(int32_t v) {
    return v;
}
double hold(double v) {
    return v;
}
bool hold(bool v) {
    return v;
}
Instance hold(const rb::Ref<VoiceZRQ>& voice) {
    return voice ? Instance::retain(&voice->instance()) : nullptr;
}
rb::Ref<rb::FolderItem> hold(const rb::Ref<rb::FolderItem>& file) {
    return file;
}

// The held argument as the plug-in interface passes it.
REALstring pass(const rb::String& s) {
    return s.handle();
}
int32_t pass(int32_t v) {
    return v;
}
double pass(double v) {
    return v;
}
bool pass(bool v) {
    return v;
}
REALobject pass(const Instance& o) {
    return o ? o->handle() : nullptr;
}
REALfolderItem pass(const rb::Ref<rb::FolderItem>& f) {
    return f ? f->handle() : nullptr;
}

// Calls the slot's entry with the instance first, then the arguments, holding a reference on
// the instance and on each string or object argument until the entry has returned.
template <class R, class... Args>
R forward(PluginSlot slot, const Instance& self, const Args&... args) {
    Instance heldSelf = self;
    auto lent = std::make_tuple(hold(args)...);
    return std::apply(
        [&](const auto&... a) {
            using Entry = R (*)(REALobject, decltype(pass(a))...);
            return reinterpret_cast<Entry>(pluginEntrypoint(slot))(heldSelf->handle(), pass(a)...);
        },
        lent);
}

// A plug-in's Boolean is one byte of which only the lowest bit counts.
template <class... Args>
bool forwardBool(PluginSlot slot, const Instance& self, const Args&... args) {
    return (forward<uint8_t>(slot, self, args...) & 1) != 0;
}

// Property accessors get the runtime's index word, which is always 0.
constexpr int32_t kIndex = 0;

int32_t intField(const Instance& self, PluginField field) {
    return intGetter(self->handle(), pluginFieldOffset(field));
}
bool boolField(const Instance& self, PluginField field) {
    return boolGetter(self->handle(), pluginFieldOffset(field));
}
rb::String stringField(const Instance& self, PluginField field) {
    return rb::String::adopt(stringGetter(self->handle(), pluginFieldOffset(field)));
}
REALobject objectField(const Instance& self, PluginField field) {
    return objGetter(self->handle(), pluginFieldOffset(field));
}

Instance newInstance(const char* className) {
    Instance instance = rb::PluginHost::instance().newInstance(className);
    if (!instance) {
        throw rb::PluginError(std::string("The plug-in class \"") + className +
                              "\" is not loaded.");
    }
    return instance;
}

// A wrapper of one class must never hold another class's instance: its fields would be read
// at the wrong offsets.
Instance checked(Instance instance, const char* className) {
    if (!instance) throw rb::NilObjectException();
    const char* name = instance->record().name;
    if (!name || std::strcmp(name, className) != 0) {
        throw rb::PluginError(std::string("A plug-in object of class \"") + (name ? name : "") +
                              "\" is not a " + className + ".");
    }
    return instance;
}

template <class T>
rb::Ref<T> wrapAdopted(REALobject handle) {
    if (!handle) return nullptr;
    return rb::make<T>(Instance::adopt(rb::PluginObject::fromHandle(handle)));
}

template <class T>
rb::Ref<T> wrapRetained(REALobject handle) {
    if (!handle) return nullptr;
    return rb::make<T>(Instance::retain(rb::PluginObject::fromHandle(handle)));
}

}  // namespace

// ---- ClipboardZRQ --------------------------------------------------------------------------

ClipboardZRQ::ClipboardZRQ() : instance_(newInstance("ClipboardZRQ")) {}
ClipboardZRQ::ClipboardZRQ(rb::Ref<rb::PluginObject> instance)
    : instance_(checked(std::move(instance), "ClipboardZRQ")) {}
rb::Ref<ClipboardZRQ> ClipboardZRQ::adoptHandle(REALobject handle) {
    return wrapAdopted<ClipboardZRQ>(handle);
}
rb::Ref<ClipboardZRQ> ClipboardZRQ::retainHandle(REALobject handle) {
    return wrapRetained<ClipboardZRQ>(handle);
}

int32_t ClipboardZRQ::DataSize(const rb::String& FlavorType) {
    return forward<int32_t>(PluginSlot::ClipboardZRQ_DataSize, instance_, FlavorType);
}
bool ClipboardZRQ::DataAvailable(const rb::String& FlavorType) {
    return forwardBool(PluginSlot::ClipboardZRQ_DataAvailable, instance_, FlavorType);
}
rb::String ClipboardZRQ::GetData(const rb::String& FlavorType) {
    return rb::String::adopt(
        forward<REALstring>(PluginSlot::ClipboardZRQ_GetData, instance_, FlavorType));
}
void ClipboardZRQ::AddData(const rb::String& FlavorType, const rb::String& data) {
    forward<void>(PluginSlot::ClipboardZRQ_AddData, instance_, FlavorType, data);
}
bool ClipboardZRQ::TextAvailable() {
    return forwardBool(PluginSlot::ClipboardZRQ_TextAvailable, instance_);
}
int32_t ClipboardZRQ::TextSize() {
    return forward<int32_t>(PluginSlot::ClipboardZRQ_TextSize, instance_);
}
rb::String ClipboardZRQ::GetText() {
    return rb::String::adopt(forward<REALstring>(PluginSlot::ClipboardZRQ_GetText, instance_));
}
void ClipboardZRQ::AddText(const rb::String& Text) {
    forward<void>(PluginSlot::ClipboardZRQ_AddText, instance_, Text);
}
bool ClipboardZRQ::UnicodeTextAvailable() {
    return forwardBool(PluginSlot::ClipboardZRQ_UnicodeTextAvailable, instance_);
}
int32_t ClipboardZRQ::UnicodeTextSize() {
    return forward<int32_t>(PluginSlot::ClipboardZRQ_UnicodeTextSize, instance_);
}
rb::String ClipboardZRQ::GetUnicodeText() {
    return rb::String::adopt(
        forward<REALstring>(PluginSlot::ClipboardZRQ_GetUnicodeText, instance_));
}
void ClipboardZRQ::AddUnicodeText(const rb::String& Text) {
    forward<void>(PluginSlot::ClipboardZRQ_AddUnicodeText, instance_, Text);
}
bool ClipboardZRQ::PictAvailable() {
    return forwardBool(PluginSlot::ClipboardZRQ_PictAvailable, instance_);
}
void ClipboardZRQ::Clear() {
    forward<void>(PluginSlot::ClipboardZRQ_Clear, instance_);
}
void ClipboardZRQ::Close() {
    forward<void>(PluginSlot::ClipboardZRQ_Close, instance_);
}
int32_t ClipboardZRQ::ScrapFlavorCount() {
    return forward<int32_t>(PluginSlot::ClipboardZRQ_ScrapFlavorCount, instance_);
}
int32_t ClipboardZRQ::ScrapFlavorFlags(int32_t index) {
    return forward<int32_t>(PluginSlot::ClipboardZRQ_ScrapFlavorFlags, instance_, index);
}
rb::String ClipboardZRQ::ScrapFlavorType(int32_t index) {
    return rb::String::adopt(
        forward<REALstring>(PluginSlot::ClipboardZRQ_ScrapFlavorType, instance_, index));
}
int32_t ClipboardZRQ::Handle() {
    return forward<int32_t>(PluginSlot::ClipboardZRQ_Handle_Get, instance_, kIndex);
}

// ---- SpeechChannelZRQ ----------------------------------------------------------------------

SpeechChannelZRQ::SpeechChannelZRQ() : instance_(newInstance("SpeechChannelZRQ")) {}
SpeechChannelZRQ::SpeechChannelZRQ(rb::Ref<rb::PluginObject> instance)
    : instance_(checked(std::move(instance), "SpeechChannelZRQ")) {}
rb::Ref<SpeechChannelZRQ> SpeechChannelZRQ::adoptHandle(REALobject handle) {
    return wrapAdopted<SpeechChannelZRQ>(handle);
}
rb::Ref<SpeechChannelZRQ> SpeechChannelZRQ::retainHandle(REALobject handle) {
    return wrapRetained<SpeechChannelZRQ>(handle);
}

bool SpeechChannelZRQ::Speak(const rb::String& s) {
    return forwardBool(PluginSlot::SpeechChannelZRQ_Speak, instance_, s);
}
bool SpeechChannelZRQ::Stop() {
    return forwardBool(PluginSlot::SpeechChannelZRQ_Stop, instance_);
}
bool SpeechChannelZRQ::StopImmediate() {
    return forwardBool(PluginSlot::SpeechChannelZRQ_StopImmediate, instance_);
}
bool SpeechChannelZRQ::StopEndOfWord() {
    return forwardBool(PluginSlot::SpeechChannelZRQ_StopEndOfWord, instance_);
}
bool SpeechChannelZRQ::StopEndOfSentence() {
    return forwardBool(PluginSlot::SpeechChannelZRQ_StopEndOfSentence, instance_);
}
bool SpeechChannelZRQ::PauseImmediate() {
    return forwardBool(PluginSlot::SpeechChannelZRQ_PauseImmediate, instance_);
}
bool SpeechChannelZRQ::PauseEndOfWord() {
    return forwardBool(PluginSlot::SpeechChannelZRQ_PauseEndOfWord, instance_);
}
bool SpeechChannelZRQ::PauseEndOfSentence() {
    return forwardBool(PluginSlot::SpeechChannelZRQ_PauseEndOfSentence, instance_);
}
bool SpeechChannelZRQ::ContinueSpeech() {
    return forwardBool(PluginSlot::SpeechChannelZRQ_ContinueSpeech, instance_);
}
void SpeechChannelZRQ::Reset() {
    forward<void>(PluginSlot::SpeechChannelZRQ_Reset, instance_);
}
int32_t SpeechChannelZRQ::SpeechBusy() {
    return forward<int32_t>(PluginSlot::SpeechChannelZRQ_SpeechBusy, instance_);
}
int32_t SpeechChannelZRQ::SpeechBusySystemWide() {
    return forward<int32_t>(PluginSlot::SpeechChannelZRQ_SpeechBusySystemWide, instance_);
}
void SpeechChannelZRQ::Close() {
    forward<void>(PluginSlot::SpeechChannelZRQ_Close, instance_);
}
bool SpeechChannelZRQ::SetOutputFile(const rb::Ref<rb::FolderItem>& file) {
    return forwardBool(PluginSlot::SpeechChannelZRQ_SetOutputFile, instance_, file);
}

rb::Ref<VoiceZRQ> SpeechChannelZRQ::Voice() {
    return VoiceZRQ::adoptHandle(objectField(instance_, PluginField::SpeechChannelZRQ_Voice));
}
void SpeechChannelZRQ::Voice(const rb::Ref<VoiceZRQ>& voice) {
    forward<void>(PluginSlot::SpeechChannelZRQ_Voice_Set, instance_, kIndex, voice);
}
int32_t SpeechChannelZRQ::Lasterror() {
    return intField(instance_, PluginField::SpeechChannelZRQ_Lasterror);
}
double SpeechChannelZRQ::Rate() {
    return forward<double>(PluginSlot::SpeechChannelZRQ_Rate_Get, instance_, kIndex);
}
void SpeechChannelZRQ::Rate(double value) {
    forward<void>(PluginSlot::SpeechChannelZRQ_Rate_Set, instance_, kIndex, value);
}
double SpeechChannelZRQ::PitchBase() {
    return forward<double>(PluginSlot::SpeechChannelZRQ_PitchBase_Get, instance_, kIndex);
}
void SpeechChannelZRQ::PitchBase(double value) {
    forward<void>(PluginSlot::SpeechChannelZRQ_PitchBase_Set, instance_, kIndex, value);
}
double SpeechChannelZRQ::PitchModulation() {
    return forward<double>(PluginSlot::SpeechChannelZRQ_PitchModulation_Get, instance_, kIndex);
}
void SpeechChannelZRQ::PitchModulation(double value) {
    forward<void>(PluginSlot::SpeechChannelZRQ_PitchModulation_Set, instance_, kIndex, value);
}
bool SpeechChannelZRQ::SpeakCharactersLiteral() {
    return forwardBool(PluginSlot::SpeechChannelZRQ_SpeakCharactersLiteral_Get, instance_, kIndex);
}
void SpeechChannelZRQ::SpeakCharactersLiteral(bool value) {
    forward<void>(PluginSlot::SpeechChannelZRQ_SpeakCharactersLiteral_Set, instance_, kIndex,
                  value);
}
bool SpeechChannelZRQ::SpeakNumbersLiteral() {
    return forwardBool(PluginSlot::SpeechChannelZRQ_SpeakNumbersLiteral_Get, instance_, kIndex);
}
void SpeechChannelZRQ::SpeakNumbersLiteral(bool value) {
    forward<void>(PluginSlot::SpeechChannelZRQ_SpeakNumbersLiteral_Set, instance_, kIndex, value);
}
double SpeechChannelZRQ::Volume() {
    return forward<double>(PluginSlot::SpeechChannelZRQ_Volume_Get, instance_, kIndex);
}
void SpeechChannelZRQ::Volume(double value) {
    forward<void>(PluginSlot::SpeechChannelZRQ_Volume_Set, instance_, kIndex, value);
}
bool SpeechChannelZRQ::Playing() {
    return forwardBool(PluginSlot::SpeechChannelZRQ_Playing_Get, instance_, kIndex);
}
bool SpeechChannelZRQ::Paused() {
    return forwardBool(PluginSlot::SpeechChannelZRQ_Paused_Get, instance_, kIndex);
}
int32_t SpeechChannelZRQ::TextBytesToSpeak() {
    return forward<int32_t>(PluginSlot::SpeechChannelZRQ_TextBytesToSpeak_Get, instance_, kIndex);
}

// ---- VoiceZRQ ------------------------------------------------------------------------------

VoiceZRQ::VoiceZRQ() : instance_(newInstance("VoiceZRQ")) {}
VoiceZRQ::VoiceZRQ(rb::Ref<rb::PluginObject> instance)
    : instance_(checked(std::move(instance), "VoiceZRQ")) {}
rb::Ref<VoiceZRQ> VoiceZRQ::adoptHandle(REALobject handle) {
    return wrapAdopted<VoiceZRQ>(handle);
}
rb::Ref<VoiceZRQ> VoiceZRQ::retainHandle(REALobject handle) {
    return wrapRetained<VoiceZRQ>(handle);
}

rb::Ref<SpeechChannelZRQ> VoiceZRQ::NewChannel() {
    return SpeechChannelZRQ::adoptHandle(
        forward<REALobject>(PluginSlot::VoiceZRQ_NewChannel, instance_));
}
void VoiceZRQ::Close() {
    forward<void>(PluginSlot::VoiceZRQ_Close, instance_);
}

int32_t VoiceZRQ::Version() {
    return intField(instance_, PluginField::VoiceZRQ_Version);
}
rb::String VoiceZRQ::Name() {
    return stringField(instance_, PluginField::VoiceZRQ_Name);
}
rb::String VoiceZRQ::Comment() {
    return stringField(instance_, PluginField::VoiceZRQ_Comment);
}
int32_t VoiceZRQ::Gender() {
    return intField(instance_, PluginField::VoiceZRQ_Gender);
}
int32_t VoiceZRQ::Age() {
    return intField(instance_, PluginField::VoiceZRQ_Age);
}
int32_t VoiceZRQ::Script() {
    return intField(instance_, PluginField::VoiceZRQ_Script);
}
int32_t VoiceZRQ::Language() {
    return intField(instance_, PluginField::VoiceZRQ_Language);
}
int32_t VoiceZRQ::Region() {
    return intField(instance_, PluginField::VoiceZRQ_Region);
}
rb::Ref<rb::FolderItem> VoiceZRQ::File() {
    auto item =
        reinterpret_cast<REALfolderItem>(objectField(instance_, PluginField::VoiceZRQ_File));
    return rb::Ref<rb::FolderItem>::adopt(item ? rb::FolderItem::fromHandle(item) : nullptr);
}
int32_t VoiceZRQ::ResID() {
    return intField(instance_, PluginField::VoiceZRQ_ResID);
}

// ---- SpeechZRQ -----------------------------------------------------------------------------

SpeechZRQ::SpeechZRQ() : instance_(newInstance("SpeechZRQ")) {}
SpeechZRQ::SpeechZRQ(rb::Ref<rb::PluginObject> instance)
    : instance_(checked(std::move(instance), "SpeechZRQ")) {}
rb::Ref<SpeechZRQ> SpeechZRQ::adoptHandle(REALobject handle) {
    return wrapAdopted<SpeechZRQ>(handle);
}
rb::Ref<SpeechZRQ> SpeechZRQ::retainHandle(REALobject handle) {
    return wrapRetained<SpeechZRQ>(handle);
}

bool SpeechZRQ::Speak(const rb::String& s) {
    return forwardBool(PluginSlot::SpeechZRQ_Speak, instance_, s);
}
rb::Ref<VoiceZRQ> SpeechZRQ::Voice(int32_t index) {
    return VoiceZRQ::adoptHandle(
        forward<REALobject>(PluginSlot::SpeechZRQ_Voice, instance_, index));
}
rb::Ref<VoiceZRQ> SpeechZRQ::DefaultVoice() {
    return VoiceZRQ::adoptHandle(
        forward<REALobject>(PluginSlot::SpeechZRQ_DefaultVoice, instance_));
}
int32_t SpeechZRQ::SpeechBusy() {
    return forward<int32_t>(PluginSlot::SpeechZRQ_SpeechBusy, instance_);
}
int32_t SpeechZRQ::SpeechBusySystemWide() {
    return forward<int32_t>(PluginSlot::SpeechZRQ_SpeechBusySystemWide, instance_);
}
void SpeechZRQ::Close() {
    forward<void>(PluginSlot::SpeechZRQ_Close, instance_);
}

bool SpeechZRQ::Available() {
    return boolField(instance_, PluginField::SpeechZRQ_Available);
}
int32_t SpeechZRQ::VersionStage() {
    return intField(instance_, PluginField::SpeechZRQ_VersionStage);
}
int32_t SpeechZRQ::VersionMinor() {
    return intField(instance_, PluginField::SpeechZRQ_VersionMinor);
}
int32_t SpeechZRQ::VersionMajor() {
    return intField(instance_, PluginField::SpeechZRQ_VersionMajor);
}
int32_t SpeechZRQ::VersionRev() {
    return intField(instance_, PluginField::SpeechZRQ_VersionRev);
}
int32_t SpeechZRQ::Lasterror() {
    return intField(instance_, PluginField::SpeechZRQ_Lasterror);
}
int32_t SpeechZRQ::VoiceCount() {
    return forward<int32_t>(PluginSlot::SpeechZRQ_VoiceCount_Get, instance_, kIndex);
}
