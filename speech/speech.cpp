// SpeechZRQ: whether speech is there, the synthesizer's version, its voices, and one-shot
// speech.
#include "speech/speech_plugin.h"

#include "platform/speechsynthesis/Notify.h"

namespace {

speech::SpeechData* Data(REALobject self) {
    return instanceData<speech::SpeechData>(self, SpeechClass);
}

// The VoiceFileInfo of a voice, or null when it has none.
const VoiceFileInfo* FileInfoOf(const VoiceSpec* spec, VoiceFileInfo* info) {
    return GetVoiceInfo(spec, kVoiceFileSelector, info) == noErr ? info : nullptr;
}

}  // namespace

void SpeechConstructor(REALobject self) {
    speech::SpeechData* d = Data(self);
    // Without a synthesizer or a sound device the program says speech is not available.
    d->Available = vellora::speech::SpeechAvailable();
    const uint32_t v = SpeechManagerVersion();
    d->VersionStage = static_cast<int32_t>((v >> 8) & 0xFF);
    d->VersionMinor = static_cast<int32_t>((v >> 16) & 0xFF);
    d->VersionMajor = static_cast<int32_t>((v >> 24) & 0xFF);
    d->VersionRev = static_cast<int32_t>(v & 0xFF);
}

// The service owns nothing.
void SpeechDestructor(REALobject) {}

bool Speak(REALobject self, REALstring s) {
    speech::SpeechData* d = Data(self);
    d->Lasterror = -1;
    rbText text(s);
    SpeechChannel channel = nullptr;
    d->Lasterror = NewSpeechChannel(nullptr, &channel);
    if (d->Lasterror != noErr) return false;
    d->Lasterror =
        SpeakText(channel, text.GetMacRoman(), static_cast<uint32_t>(text.LengthMacRoman()));
    // Disposed while the view (and its bytes) still lives.
    DisposeSpeechChannel(channel);
    return d->Lasterror == noErr;
}

int32_t rbCountVoices(REALobject, int32_t) {
    int16_t n = 0;
    return CountVoices(&n) == noErr ? n : 0;
}

REALobject GetVoice(REALobject, int32_t index) {
    if (index <= 0) return nullptr;
    int16_t n = 0;
    if (CountVoices(&n) != noErr || n < index) return nullptr;
    VoiceSpec spec{};
    if (GetIndVoice(static_cast<int16_t>(index), &spec) != noErr) return nullptr;
    VoiceDescription description{};
    if (GetVoiceDescription(&spec, &description, sizeof description) != noErr) return nullptr;
    VoiceFileInfo info{};
    return NewVoice(&spec, description, FileInfoOf(&spec, &info));
}

REALobject DefaultVoice(REALobject) {
    VoiceDescription description{};
    if (GetVoiceDescription(nullptr, &description, sizeof description) != noErr) return nullptr;
    VoiceFileInfo info{};
    return NewVoice(nullptr, description, FileInfoOf(nullptr, &info));
}

int32_t rbSpeechBusy(REALobject) {
    return SpeechBusy();
}

int32_t rbSpeechBusySystemWide(REALobject) {
    return SpeechBusySystemWide();
}
