// The program's side of the plug-in classes. Each object wraps one runtime instance of the
// plug-in class of the same name and forwards every call through the entry-point table.
//
// References: a call holds a reference on the instance and on each string or object argument
// for its length and gives them back after; a string or object result carries the one
// reference the plug-in gave it, now owned by the returned rb::String or rb::Ref. Calling a
// method through a nil rb::Ref raises rb::NilObjectException.
//
// Life: creating an object (rb::make<SpeechZRQ>()) has the runtime make the instance, which
// runs the class's constructor (its "__init" entry) once, or nothing for a class without one.
// The runtime runs the destructor (its "__exit" entry) once, when the last reference to the
// instance goes; the wrapper never calls it itself.
#pragma once

#include <cstdint>

#include "platform/rbframework/folder_item.h"
#include "platform/rbframework/object.h"
#include "platform/rbframework/plugin_host.h"
#include "platform/rbframework/rbstring.h"
#include "plugin-interface/plugin_abi.h"

class SpeechChannelZRQ;
class VoiceZRQ;

class ClipboardZRQ final : public rb::Object {
  public:
    ClipboardZRQ();  // a new instance of the plug-in class
    explicit ClipboardZRQ(rb::Ref<rb::PluginObject> instance);
    // Wraps a handle, taking over the caller's reference or taking one of its own. (Not
    // named retain or release: those would hide the reference counting of rb::Object.)
    static rb::Ref<ClipboardZRQ> adoptHandle(REALobject handle);
    static rb::Ref<ClipboardZRQ> retainHandle(REALobject handle);

    int32_t DataSize(const rb::String& FlavorType);
    bool DataAvailable(const rb::String& FlavorType);
    rb::String GetData(const rb::String& FlavorType);
    void AddData(const rb::String& FlavorType, const rb::String& data);
    bool TextAvailable();
    int32_t TextSize();
    rb::String GetText();
    void AddText(const rb::String& Text);
    bool UnicodeTextAvailable();
    int32_t UnicodeTextSize();
    rb::String GetUnicodeText();
    void AddUnicodeText(const rb::String& Text);
    bool PictAvailable();
    void Clear();
    void Close();
    int32_t ScrapFlavorCount();
    int32_t ScrapFlavorFlags(int32_t index);
    rb::String ScrapFlavorType(int32_t index);

    int32_t Handle();

    rb::PluginObject& instance() const noexcept { return *instance_.get(); }
    REALobject handle() const noexcept { return instance_.get()->handle(); }

  private:
    rb::Ref<rb::PluginObject> instance_;
};

class SpeechChannelZRQ final : public rb::Object {
  public:
    SpeechChannelZRQ();  // a channel with no voice yet; setting Voice makes its platform channel
    explicit SpeechChannelZRQ(rb::Ref<rb::PluginObject> instance);
    static rb::Ref<SpeechChannelZRQ> adoptHandle(REALobject handle);
    static rb::Ref<SpeechChannelZRQ> retainHandle(REALobject handle);

    bool Speak(const rb::String& s);
    bool Stop();
    bool StopImmediate();
    bool StopEndOfWord();
    bool StopEndOfSentence();
    bool PauseImmediate();
    bool PauseEndOfWord();
    bool PauseEndOfSentence();
    bool ContinueSpeech();
    void Reset();
    int32_t SpeechBusy();
    int32_t SpeechBusySystemWide();
    void Close();
    bool SetOutputFile(const rb::Ref<rb::FolderItem>& file);

    rb::Ref<VoiceZRQ> Voice();  // one reference for the caller; the channel keeps its own
    void Voice(const rb::Ref<VoiceZRQ>& voice);
    int32_t Lasterror();
    double Rate();
    void Rate(double value);
    double PitchBase();
    void PitchBase(double value);
    double PitchModulation();
    void PitchModulation(double value);
    bool SpeakCharactersLiteral();
    void SpeakCharactersLiteral(bool value);
    bool SpeakNumbersLiteral();
    void SpeakNumbersLiteral(bool value);
    double Volume();
    void Volume(double value);
    bool Playing();
    bool Paused();
    int32_t TextBytesToSpeak();

    rb::PluginObject& instance() const noexcept { return *instance_.get(); }
    REALobject handle() const noexcept { return instance_.get()->handle(); }

  private:
    rb::Ref<rb::PluginObject> instance_;
};

class VoiceZRQ final : public rb::Object {
  public:
    VoiceZRQ();  // an empty voice; the program's voices come from SpeechZRQ
    explicit VoiceZRQ(rb::Ref<rb::PluginObject> instance);
    static rb::Ref<VoiceZRQ> adoptHandle(REALobject handle);
    static rb::Ref<VoiceZRQ> retainHandle(REALobject handle);

    rb::Ref<SpeechChannelZRQ> NewChannel();
    void Close();

    int32_t Version();
    rb::String Name();
    rb::String Comment();
    int32_t Gender();
    int32_t Age();
    int32_t Script();
    int32_t Language();
    int32_t Region();
    rb::Ref<rb::FolderItem> File();
    int32_t ResID();

    rb::PluginObject& instance() const noexcept { return *instance_.get(); }
    REALobject handle() const noexcept { return instance_.get()->handle(); }

  private:
    rb::Ref<rb::PluginObject> instance_;
};

class SpeechZRQ final : public rb::Object {
  public:
    SpeechZRQ();  // the service; its constructor marks it Available and reads the version
    explicit SpeechZRQ(rb::Ref<rb::PluginObject> instance);
    static rb::Ref<SpeechZRQ> adoptHandle(REALobject handle);
    static rb::Ref<SpeechZRQ> retainHandle(REALobject handle);

    bool Speak(const rb::String& s);
    rb::Ref<VoiceZRQ> Voice(int32_t index);  // 1-based; nil past the last voice
    rb::Ref<VoiceZRQ> DefaultVoice();
    int32_t SpeechBusy();
    int32_t SpeechBusySystemWide();
    void Close();

    bool Available();
    int32_t VersionStage();
    int32_t VersionMinor();
    int32_t VersionMajor();
    int32_t VersionRev();
    int32_t Lasterror();
    int32_t VoiceCount();

    rb::PluginObject& instance() const noexcept { return *instance_.get(); }
    REALobject handle() const noexcept { return instance_.get()->handle(); }

  private:
    rb::Ref<rb::PluginObject> instance_;
};
