// The C interface: argument checks, then the layer's calls under its lock.
#include "platform/speechsynthesis/SpeechSynthesis.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "platform/speechsynthesis/Layer.h"
#include "platform/speechsynthesis/Notify.h"
#include "platform/speechsynthesis/SoundFile.h"
#include "platform/speechsynthesis/TextConverter.h"
#include "platform/speechsynthesis/Voices.h"

using vellora::speech::ChannelOptions;
using vellora::speech::Engine;
using vellora::speech::Layer;
using Call = vellora::speech::Engine::ChannelCall;
using vellora::speech::Utf16ToUtf8;

namespace {

// Index of the voice a spec names; null or all zero is the default voice; -1 for none.
int ResolveVoice(const Layer& layer, const VoiceSpec* spec) {
    if (!spec || (spec->creator == 0 && spec->id == 0))
        return vellora::speech::ChooseDefaultVoice(layer.voices());
    if (spec->creator != kSpeechVoiceCreator || spec->id < 1 || spec->id > layer.voices().size())
        return -1;
    return int(spec->id) - 1;
}

VoiceSpec SpecOf(int index) {
    return VoiceSpec{kSpeechVoiceCreator, OSType(index + 1)};
}

Call MakeCall(Call::Kind kind, SpeechChannel chan) {
    Call call{};
    call.kind = kind;
    call.channel = reinterpret_cast<uintptr_t>(chan);
    return call;
}

template <typename T>
T Read(const void* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <typename T>
void Write(void* p, const T& value) {
    std::memcpy(p, &value, sizeof value);
}

}  // namespace

extern "C" {

uint32_t SpeechManagerVersion(void) {
    return 0x01008000;
}

OSErr CountVoices(int16_t* numVoices) {
    if (!numVoices) return paramErr;
    Layer& layer = Layer::get();
    auto lock = layer.start();
    if (!layer.hasEngine()) return kSpeechNoEngineErr;
    *numVoices = int16_t(std::min<size_t>(layer.voices().size(), 32767));
    return noErr;
}

OSErr GetIndVoice(int16_t index, VoiceSpec* voice) {
    if (!voice) return paramErr;
    Layer& layer = Layer::get();
    auto lock = layer.start();
    if (!layer.hasEngine()) return kSpeechNoEngineErr;
    if (index < 1 || size_t(index) > layer.voices().size()) return kSpeechVoiceNotFoundErr;
    *voice = SpecOf(index - 1);
    return noErr;
}

OSErr GetVoiceDescription(const VoiceSpec* voice, VoiceDescription* info, int32_t infoLength) {
    if (!info || infoLength <= 0) return paramErr;
    Layer& layer = Layer::get();
    auto lock = layer.start();
    if (!layer.hasEngine()) return kSpeechNoEngineErr;
    int index = ResolveVoice(layer, voice);
    if (index < 0) return kSpeechVoiceNotFoundErr;
    VoiceDescription d;
    vellora::speech::FillDescription(layer.voices()[size_t(index)], SpecOf(index), d);
    size_t n = std::min<size_t>(size_t(infoLength), sizeof d);
    d.length = int32_t(n);
    std::memcpy(info, &d, n);
    return noErr;
}

OSErr GetVoiceInfo(const VoiceSpec* voice, OSType selector, void* voiceInfo) {
    if (!voiceInfo) return paramErr;
    Layer& layer = Layer::get();
    auto lock = layer.start();
    if (!layer.hasEngine()) return kSpeechNoEngineErr;
    int index = ResolveVoice(layer, voice);
    if (index < 0) return kSpeechVoiceNotFoundErr;
    const vellora::speech::VoiceEntry& entry = layer.voices()[size_t(index)];
    if (selector == kVoiceFileSelector) {
        if (entry.filePath.empty()) return fnfErr;
        VoiceFileInfo fi{};
        OSErr err = FSMakeFSSpecFromPath(entry.filePath.c_str(), &fi.fileSpec);
        if (err != noErr) return err;
        fi.resID = 0;
        Write(voiceInfo, fi);
        return noErr;
    }
    if (selector == kVoiceDescriptionSelector) {
        VoiceDescription d;
        vellora::speech::FillDescription(entry, SpecOf(index), d);
        Write(voiceInfo, d);
        return noErr;
    }
    return kSpeechUnknownSelectorErr;
}

OSErr NewSpeechChannel(const VoiceSpec* voice, SpeechChannel* chan) {
    if (!chan) return paramErr;
    Layer& layer = Layer::get();
    auto lock = layer.start();
    if (!layer.hasEngine()) return kSpeechNoEngineErr;
    int index = ResolveVoice(layer, voice);
    if (index < 0) return kSpeechVoiceNotFoundErr;
    // A channel is made without a sound output too: speech to a file works, and speech is
    // heard once an output opens (a sound server may start after the program). Until then
    // speaking to the output fails at once.
    return layer.newChannel(index, chan);
}

OSErr DisposeSpeechChannel(SpeechChannel chan) {
    Layer& layer = Layer::get();
    auto lock = layer.start();
    if (!layer.exists(chan)) return kSpeechBadChannelErr;
    layer.note(MakeCall(Call::Dispose, chan));
    return layer.dispose(lock, chan);
}

namespace {
OSErr SpeakOn(SpeechChannel chan, std::string text, bool utf8) {
    Layer& layer = Layer::get();
    auto lock = layer.start();
    ChannelOptions* options = layer.options(chan);
    if (!options) return kSpeechBadChannelErr;
    // The text is lent to the note and taken back: a long text is not copied for it.
    Call call = MakeCall(Call::Speak, chan);
    call.text = std::move(text);
    layer.note(call);
    text = std::move(call.text);
    if (!layer.hasEngine()) return kSpeechNoEngineErr;
    std::unique_ptr<vellora::speech::SoundFile> file;
    if (!options->outputPath.empty()) {
        // Files are made without the lock; the channel may be gone by the time it is back.
        std::string path = options->outputPath;
        int rate = layer.sampleRate();
        lock.unlock();
        OSErr err = noErr;
        file = vellora::speech::SoundFile::Create(path, rate, &err);
        lock.lock();
        if (!file) return err;
    }
    return layer.speak(lock, chan, std::move(text), utf8, std::move(file));
}
}  // namespace

OSErr SpeakText(SpeechChannel chan, const void* textBuf, uint32_t textBytes) {
    if (!textBuf && textBytes > 0) return paramErr;
    return SpeakOn(chan, std::string(static_cast<const char*>(textBuf), textBuf ? textBytes : 0),
                   false);
}

OSErr SpeakCFString(SpeechChannel chan, CFStringRef aString, const void* options) {
    if (!aString || options) return paramErr;
    CFIndex n = CFStringGetLength(aString);
    std::u16string units(static_cast<size_t>(std::max<CFIndex>(n, 0)), u'\0');
    if (n > 0) CFStringGetCharacters(aString, 0, n, reinterpret_cast<UniChar*>(units.data()));
    return SpeakOn(chan, Utf16ToUtf8(units), true);
}

OSErr StopSpeech(SpeechChannel chan) {
    return StopSpeechAt(chan, kSpeechImmediate);
}

OSErr StopSpeechAt(SpeechChannel chan, int32_t whereToStop) {
    if (whereToStop < kSpeechImmediate || whereToStop > kSpeechEndOfSentence) return paramErr;
    Layer& layer = Layer::get();
    auto lock = layer.start();
    if (!layer.exists(chan)) return kSpeechBadChannelErr;
    Call call = MakeCall(Call::Stop, chan);
    call.where = whereToStop;
    layer.note(call);
    return layer.stopAt(lock, chan, whereToStop);
}

OSErr PauseSpeechAt(SpeechChannel chan, int32_t whereToPause) {
    if (whereToPause < kSpeechImmediate || whereToPause > kSpeechEndOfSentence) return paramErr;
    Layer& layer = Layer::get();
    auto lock = layer.start();
    if (!layer.exists(chan)) return kSpeechBadChannelErr;
    Call call = MakeCall(Call::Pause, chan);
    call.where = whereToPause;
    layer.note(call);
    return layer.pauseAt(chan, whereToPause);
}

OSErr ContinueSpeech(SpeechChannel chan) {
    Layer& layer = Layer::get();
    auto lock = layer.start();
    if (!layer.exists(chan)) return kSpeechBadChannelErr;
    layer.note(MakeCall(Call::Continue, chan));
    return layer.continueSpeech(chan);
}

namespace {
// Rate and pitch: 16.16 settings of the channel, read back as they were set.
OSErr GetSetting(SpeechChannel chan, Fixed* out, Fixed vellora::speech::Settings::*setting) {
    if (!out) return paramErr;
    Layer& layer = Layer::get();
    auto lock = layer.start();
    ChannelOptions* ch = layer.options(chan);
    if (!ch) return kSpeechBadChannelErr;
    *out = ch->settings.*setting;
    return noErr;
}

OSErr SetSetting(SpeechChannel chan, Fixed value, Call::Kind kind,
                 Fixed vellora::speech::Settings::*setting) {
    Layer& layer = Layer::get();
    auto lock = layer.start();
    ChannelOptions* ch = layer.options(chan);
    if (!ch) return kSpeechBadChannelErr;
    if (value <= 0) return paramErr;
    Call call = MakeCall(kind, chan);
    call.value = value;
    layer.note(call);
    ch->settings.*setting = value;
    return noErr;
}
}  // namespace

OSErr GetSpeechRate(SpeechChannel chan, Fixed* rate) {
    return GetSetting(chan, rate, &vellora::speech::Settings::rate);
}

OSErr SetSpeechRate(SpeechChannel chan, Fixed rate) {
    return SetSetting(chan, rate, Call::SetRate, &vellora::speech::Settings::rate);
}

OSErr GetSpeechPitch(SpeechChannel chan, Fixed* pitch) {
    return GetSetting(chan, pitch, &vellora::speech::Settings::pitch);
}

OSErr SetSpeechPitch(SpeechChannel chan, Fixed pitch) {
    return SetSetting(chan, pitch, Call::SetPitch, &vellora::speech::Settings::pitch);
}

OSErr GetSpeechInfo(SpeechChannel chan, OSType selector, void* speechInfo) {
    if (!speechInfo) return paramErr;
    Layer& layer = Layer::get();
    auto lock = layer.start();
    ChannelOptions* ch = layer.options(chan);
    if (!ch) return kSpeechBadChannelErr;
    const auto& s = ch->settings;
    switch (selector) {
        case kSpeechPitchModSelector:
            Write(speechInfo, s.modulation);
            return noErr;
        case kSpeechVolumeSelector:
            Write(speechInfo, s.volume);
            return noErr;
        case kSpeechCharacterModeSelector:
            Write(speechInfo, s.characterMode);
            return noErr;
        case kSpeechNumberModeSelector:
            Write(speechInfo, s.numberMode);
            return noErr;
        case kSpeechCurrentVoiceSelector:
            Write(speechInfo, SpecOf(ch->voice));
            return noErr;
        case kSpeechStatusSelector: {
            SpeechStatusInfo status{};
            layer.status(chan, &status);
            Write(speechInfo, status);
            return noErr;
        }
        default:
            return kSpeechUnknownSelectorErr;
    }
}

OSErr SetSpeechInfo(SpeechChannel chan, OSType selector, const void* speechInfo) {
    Layer& layer = Layer::get();
    auto lock = layer.start();
    ChannelOptions* ch = layer.options(chan);
    if (!ch) return kSpeechBadChannelErr;
    Call call = MakeCall(Call::SetInfo, chan);
    call.selector = selector;
    auto& s = ch->settings;
    switch (selector) {
        case kSpeechPitchModSelector:
        case kSpeechVolumeSelector: {
            if (!speechInfo) return paramErr;
            Fixed v = Read<Fixed>(speechInfo);
            if (v < 0) return paramErr;
            (selector == kSpeechVolumeSelector ? s.volume : s.modulation) = v;
            call.value = v;
            break;
        }
        case kSpeechCharacterModeSelector:
        case kSpeechNumberModeSelector: {
            if (!speechInfo) return paramErr;
            OSType mode = Read<OSType>(speechInfo);
            if (mode != kSpeechModeLiteral && mode != kSpeechModeNormal) return paramErr;
            (selector == kSpeechCharacterModeSelector ? s.characterMode : s.numberMode) = mode;
            call.value = int32_t(mode);
            break;
        }
        case kSpeechCurrentVoiceSelector: {
            VoiceSpec spec{};
            if (speechInfo) spec = Read<VoiceSpec>(speechInfo);
            int index = ResolveVoice(layer, speechInfo ? &spec : nullptr);
            if (index < 0) return kSpeechVoiceNotFoundErr;
            ch->voice = index;
            call.value = index + 1;
            break;
        }
        case kSpeechResetSelector:
            s = vellora::speech::Settings{};
            break;
        case kSpeechOutputFileSelector: {
            if (!speechInfo) {
                ch->outputPath.clear();
                break;
            }
            uint8_t path[4096];
            if (!CFURLGetFileSystemRepresentation(static_cast<CFURLRef>(speechInfo), true, path,
                                                  sizeof path))
                return paramErr;
            std::string p(reinterpret_cast<const char*>(path));
            // The file system is asked without the lock, which the audio path may want.
            lock.unlock();
            OSErr err = vellora::speech::SoundFile::Probe(p);
            lock.lock();
            if (err != noErr) return err;
            ch = layer.options(chan);
            if (!ch) return kSpeechBadChannelErr;
            ch->outputPath = p;
            break;
        }
        default:
            return kSpeechUnknownSelectorErr;
    }
    layer.note(call);
    return noErr;
}

int16_t SpeechBusy(void) {
    Layer& layer = Layer::get();
    auto lock = layer.start();
    return int16_t(std::min(layer.busyChannels(), 32767));
}

int16_t SpeechBusySystemWide(void) {
    return SpeechBusy();
}

}  // extern "C"

namespace vellora::speech {
OSErr SpeakUtf8(SpeechChannel chan, std::string utf8) {
    return SpeakOn(chan, std::move(utf8), true);
}

OSErr MoreSpeechFollows(SpeechChannel chan) {
    Layer& layer = Layer::get();
    auto lock = layer.start();
    return layer.moreFollows(chan);
}
}  // namespace vellora::speech
