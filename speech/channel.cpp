// SpeechChannelZRQ: one platform speech channel bound to a voice. It speaks asynchronously,
// so it keeps the text it handed to SpeakText until that text is replaced or the channel
// closes. A channel without a platform channel (made with New, or after Close) reports the
// failure value of each operation without calling the platform.
#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "speech/speech_plugin.h"

namespace {

using speech::SpeechChannelData;

SpeechChannelData* Data(REALobject self) {
    return instanceData<SpeechChannelData>(self, SpeechChannelClass);
}

SpeechChannel Channel(REALobject self) {
    return Data(self)->channelHandle;
}

// value truncated toward zero to a 32-bit integer; values past its range give its ends. False
// for NaN, which has no integer to give.
bool Truncated(double value, int32_t* out) {
    if (std::isnan(value)) return false;
    constexpr double lo = std::numeric_limits<int32_t>::min();
    constexpr double hi = std::numeric_limits<int32_t>::max();
    *out = static_cast<int32_t>(std::trunc(std::clamp(value, lo, hi)));
    return true;
}

double FromFixed(Fixed v) {
    return v / 65536.0;
}

bool Succeeded(OSErr err) {
    return err == noErr;
}

bool StopAt(REALobject self, int32_t where) {
    SpeechChannel ch = Channel(self);
    return ch && Succeeded(StopSpeechAt(ch, where));
}

bool PauseAt(REALobject self, int32_t where) {
    SpeechChannel ch = Channel(self);
    return ch && Succeeded(PauseSpeechAt(ch, where));
}

// A Fixed setting read through GetSpeechInfo; 0.0 on failure.
double FixedInfo(REALobject self, OSType selector) {
    SpeechChannel ch = Channel(self);
    Fixed v = 0;
    if (!ch || GetSpeechInfo(ch, selector, &v) != noErr) return 0.0;
    return FromFixed(v);
}

void SetInfoValue(REALobject self, OSType selector, int32_t value) {
    if (SpeechChannel ch = Channel(self)) SetSpeechInfo(ch, selector, &value);
}

bool LiteralMode(REALobject self, OSType selector) {
    SpeechChannel ch = Channel(self);
    OSType mode = 0;
    return ch && GetSpeechInfo(ch, selector, &mode) == noErr && mode == kSpeechModeLiteral;
}

void SetLiteralMode(REALobject self, OSType selector, bool literal) {
    SetInfoValue(self, selector,
                 static_cast<int32_t>(literal ? kSpeechModeLiteral : kSpeechModeNormal));
}

// The channel's status record; all zero on failure.
SpeechStatusInfo Status(REALobject self) {
    SpeechStatusInfo status{};
    SpeechChannel ch = Channel(self);
    if (!ch || GetSpeechInfo(ch, kSpeechStatusSelector, &status) != noErr) status = {};
    return status;
}

// Makes `voice` (or nil) the held voice: the new one is taken before the old is released, so
// setting the voice already held keeps it alive.
void HoldVoice(SpeechChannelData* d, REALobject voice) {
    if (voice) REALLockObject(voice);
    if (d->Voice) REALUnlockObject(d->Voice);
    d->Voice = voice;
}

void ReleaseText(REALstring text, rbText* view) {
    delete view;
    if (text) REALUnlockString(text);
}

}  // namespace

REALobject NewChannel(REALobject voice) {
    speech::VoiceData* v = instanceData<speech::VoiceData>(voice, VoiceClass);
    SpeechChannel ch = nullptr;
    if (NewSpeechChannel(v->voiceSpecPtr, &ch) != noErr) return nullptr;
    REALobject channel = REALnewInstance("SpeechChannelZRQ");
    if (!channel) {
        DisposeSpeechChannel(ch);
        return nullptr;
    }
    SpeechChannelData* d = Data(channel);
    d->channelHandle = ch;
    HoldVoice(d, voice);
    return channel;
}

void SpeechChannelConstructor(REALobject) {}

// Also "Close": each field is cleared after its release, so it may run any number of times.
void SpeechChannelDestructor(REALobject self) {
    SpeechChannelData* d = Data(self);
    if (d->channelHandle) {
        DisposeSpeechChannel(d->channelHandle);
        d->channelHandle = nullptr;
    }
    if (d->Voice) {
        REALUnlockObject(d->Voice);
        d->Voice = nullptr;
    }
    if (d->spokenText || d->spokenView) {
        ReleaseText(d->spokenText, d->spokenView);
        d->spokenText = nullptr;
        d->spokenView = nullptr;
    }
}

bool ChannelSpeak(REALobject self, REALstring s) {
    SpeechChannelData* d = Data(self);
    if (!d->channelHandle) return false;
    REALstring text = REALConvertString(s, kREALTextEncodingMacRoman);
    if (!text) return false;
    rbText* view = new (std::nothrow) rbText(text);
    if (!view) {
        REALUnlockString(text);
        return false;
    }
    // The synthesizer reads the bytes while it speaks: they live as long as spokenText.
    d->Lasterror = SpeakText(d->channelHandle, view->GetMacRoman(),
                             static_cast<uint32_t>(view->LengthMacRoman()));
    // The text spoken before is let go only now that SpeakText has the new one.
    ReleaseText(d->spokenText, d->spokenView);
    d->spokenText = text;
    d->spokenView = view;
    return d->Lasterror == noErr;
}

bool ChannelStop(REALobject self) {
    SpeechChannel ch = Channel(self);
    return ch && Succeeded(StopSpeech(ch));
}

bool ChannelStopImmediate(REALobject self) {
    return StopAt(self, kSpeechImmediate);
}

bool ChannelStopEndOfWord(REALobject self) {
    return StopAt(self, kSpeechEndOfWord);
}

bool ChannelStopEndOfSentence(REALobject self) {
    return StopAt(self, kSpeechEndOfSentence);
}

bool ChannelPauseImmediate(REALobject self) {
    return PauseAt(self, kSpeechImmediate);
}

bool ChannelPauseEndOfWord(REALobject self) {
    return PauseAt(self, kSpeechEndOfWord);
}

bool ChannelPauseEndOfSentence(REALobject self) {
    return PauseAt(self, kSpeechEndOfSentence);
}

bool ChannelContinue(REALobject self) {
    SpeechChannel ch = Channel(self);
    return ch && Succeeded(ContinueSpeech(ch));
}

void ChannelReset(REALobject self) {
    if (SpeechChannel ch = Channel(self)) SetSpeechInfo(ch, kSpeechResetSelector, nullptr);
}

double getSpeechRate(REALobject self, int32_t) {
    SpeechChannel ch = Channel(self);
    Fixed v = 0;
    if (!ch || GetSpeechRate(ch, &v) != noErr) return 0.0;
    return FromFixed(v);
}

void setSpeechRate(REALobject self, int32_t, double value) {
    SpeechChannel ch = Channel(self);
    Fixed v = 0;
    if (ch && Truncated(value * 65536.0, &v)) SetSpeechRate(ch, v);
}

double getSpeechPitchB(REALobject self, int32_t) {
    SpeechChannel ch = Channel(self);
    Fixed v = 0;
    if (!ch || GetSpeechPitch(ch, &v) != noErr) return 0.0;
    return FromFixed(v);
}

void setSpeechPitchB(REALobject self, int32_t, double value) {
    SpeechChannel ch = Channel(self);
    Fixed v = 0;
    if (ch && Truncated(value * 65536.0, &v)) SetSpeechPitch(ch, v);
}

double getSpeechPitchM(REALobject self, int32_t) {
    return FixedInfo(self, kSpeechPitchModSelector);
}

void setSpeechPitchM(REALobject self, int32_t, double value) {
    Fixed v = 0;
    if (Truncated(value * 65536.0, &v)) SetInfoValue(self, kSpeechPitchModSelector, v);
}

bool getSpeechCharL(REALobject self, int32_t) {
    return LiteralMode(self, kSpeechCharacterModeSelector);
}

void setSpeechCharLh(REALobject self, int32_t, bool value) {
    SetLiteralMode(self, kSpeechCharacterModeSelector, value);
}

bool getSpeechNumL(REALobject self, int32_t) {
    return LiteralMode(self, kSpeechNumberModeSelector);
}

void setSpeechNumL(REALobject self, int32_t, bool value) {
    SetLiteralMode(self, kSpeechNumberModeSelector, value);
}

// Volume crosses in the platform's raw units (65536 is full), unscaled.
double getSpeechVolume(REALobject self, int32_t) {
    SpeechChannel ch = Channel(self);
    int32_t v = 0;
    if (!ch || GetSpeechInfo(ch, kSpeechVolumeSelector, &v) != noErr) return 0.0;
    return v;
}

void setSpeechVolume(REALobject self, int32_t, double value) {
    int32_t v = 0;
    if (Truncated(value, &v)) SetInfoValue(self, kSpeechVolumeSelector, v);
}

bool getSpeechPlaying(REALobject self, int32_t) {
    return Status(self).outputBusy != 0;
}

bool getSpeechPaused(REALobject self, int32_t) {
    return Status(self).outputPaused != 0;
}

int32_t getSpeechLeft(REALobject self, int32_t) {
    return Status(self).inputBytesLeft;
}

void setVoice(REALobject self, int32_t, REALobject voice) {
    SpeechChannelData* d = Data(self);
    speech::VoiceData* v = voice ? instanceData<speech::VoiceData>(voice, VoiceClass) : nullptr;
    if (!d->channelHandle) {
        SpeechChannel ch = nullptr;
        if (NewSpeechChannel(v ? &v->voiceSpec : nullptr, &ch) != noErr) return;
        d->channelHandle = ch;
        HoldVoice(d, voice);
    } else if (voice) {
        // The channel holds the voice it speaks with; a refused change keeps the old one.
        if (SetSpeechInfo(d->channelHandle, kSpeechCurrentVoiceSelector, v->voiceSpecPtr) == noErr)
            HoldVoice(d, voice);
    } else {
        HoldVoice(d, nullptr);
    }
}
