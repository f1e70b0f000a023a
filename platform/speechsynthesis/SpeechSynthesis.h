// The speech synthesizer: voices, speech channels, speaking, stopping, pausing and continuing,
// rate, pitch, volume, text modes, status, and speech into a sound file.
//
// Voices are espeak-ng's. Every channel of the process mixes into one audio output that the
// layer opens when it starts (the first call of any function here) and keeps open. SpeakText
// returns at once; a worker thread synthesizes while the audio plays. Every function may be
// called from any thread, several at once: each holds the layer's lock only briefly, and none
// waits for speech. The first call also starts espeak-ng and opens the device, which can take
// a moment.
//
// Contracts below say who owns what a function takes and gives, what a null pointer means and
// from which thread it may be called: [any] is any thread, several at once, a done handler on
// the layer's worker (Notify.h) included, as it runs outside the lock.
//
// Result codes: noErr (0) on success, a negative code otherwise (paramErr for a null pointer
// or a value out of range, and the codes below). Nothing here crashes on a null, unknown or
// disposed channel: those give kSpeechBadChannelErr.
//
// Settings and how they reach espeak-ng (each reads back exactly as it was last set):
//   rate     words per minute, 16.16; espeak-ng rate = round(rate), clamped to 80..450.
//            Default 175. Must be > 0.
//   pitch    base pitch as a note number, 16.16 (semitones, 60 = middle C); espeak-ng pitch =
//            round((note - 26) * 2.5), clamped to 0..100, so the default note 46 gives 50.
//            Must be > 0.
//   'pmod'   pitch modulation in semitones, 16.16; espeak-ng range = round(pmod * 2.5),
//            clamped to 0..100, so the default 20 gives 50 and 0 is monotone. Must be >= 0.
//   'volm'   volume, 16.16 with 65536 = full; espeak-ng volume = round(volm * 100 / 65536),
//            clamped to 0..100. Must be >= 0.
//   'char'   'LTRL' spells every character, punctuation included; 'NORM' reads words.
//   'nmbr'   'LTRL' speaks the digits of a number one by one; 'NORM' reads numbers.
// A setting changed while a channel speaks applies from the next stretch of text the worker
// synthesizes (at most a few hundred bytes later).
#ifndef VELLORA_SPEECHSYNTHESIS_H
#define VELLORA_SPEECHSYNTHESIS_H

#include <stdint.h>

#include "platform/corefoundation/CoreFoundation.h"
#include "platform/corefoundation/Files.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t Fixed;    // signed 16.16
typedef uint32_t OSType;  // four characters, the first in the most significant byte
typedef struct SpeechChannelRecord* SpeechChannel;  // opaque; never dereferenced by callers

enum {
    kSpeechUnknownSelectorErr = -231,  // a selector this layer does not know
    kSpeechOutputFileErr = -36,        // a sound file that cannot be created or written
    kSpeechNoEngineErr = -240,         // espeak-ng could not be started
    kSpeechNoAudioErr = -241,          // no audio output, not even a silent one
    kSpeechVoiceNotFoundErr = -244,    // a VoiceSpec that names no voice
    kSpeechBadChannelErr = -250        // a null, unknown or disposed channel
};

// Where StopSpeechAt and PauseSpeechAt act.
enum { kSpeechImmediate = 0, kSpeechEndOfWord = 1, kSpeechEndOfSentence = 2 };

#define VELLORA_FOURCC(a, b, c, d) \
    (((OSType)(a) << 24) | ((OSType)(b) << 16) | ((OSType)(c) << 8) | (OSType)(d))

// Selectors of GetVoiceInfo.
#define kVoiceFileSelector VELLORA_FOURCC('f', 'r', 'e', 'f')         // VoiceFileInfo*
#define kVoiceDescriptionSelector VELLORA_FOURCC('v', 'd', 'e', 's')  // VoiceDescription*

// Selectors of GetSpeechInfo / SetSpeechInfo. The value is the address of a Fixed for 'pmod'
// and 'volm', of an OSType for 'char' and 'nmbr', of a SpeechStatusInfo for 'stat' (get
// only), of a VoiceSpec for 'cvox' (null or an all-zero spec: the default voice); for 'rset'
// (set only) it is ignored; for 'opaf' (set only) it is the CFURLRef itself.
#define kSpeechPitchModSelector VELLORA_FOURCC('p', 'm', 'o', 'd')
#define kSpeechCharacterModeSelector VELLORA_FOURCC('c', 'h', 'a', 'r')
#define kSpeechNumberModeSelector VELLORA_FOURCC('n', 'm', 'b', 'r')
#define kSpeechVolumeSelector VELLORA_FOURCC('v', 'o', 'l', 'm')
#define kSpeechStatusSelector VELLORA_FOURCC('s', 't', 'a', 't')
#define kSpeechCurrentVoiceSelector VELLORA_FOURCC('c', 'v', 'o', 'x')
#define kSpeechResetSelector VELLORA_FOURCC('r', 's', 'e', 't')
#define kSpeechOutputFileSelector VELLORA_FOURCC('o', 'p', 'a', 'f')

#define kSpeechModeLiteral VELLORA_FOURCC('L', 'T', 'R', 'L')
#define kSpeechModeNormal VELLORA_FOURCC('N', 'O', 'R', 'M')

// The creator of every VoiceSpec this layer hands out; the id is the voice's 1-based index.
#define kSpeechVoiceCreator VELLORA_FOURCC('v', 'l', 'r', 'a')

#pragma pack(push, 2)

typedef struct VoiceSpec {
    OSType creator;
    OSType id;
} VoiceSpec;

// Name and comment are length-prefixed Mac Roman. Gender: 0 none, 1 male, 2 female. Age in
// years, 0 when the voice does not say. Language: the classic 16-bit language code of the
// voice's first language (0 English, 1 French, 2 German, ...; 32767 when it has none); script
// and region are 0.
typedef struct VoiceDescription {
    int32_t length;  // bytes filled
    VoiceSpec voice;
    int32_t version;
    unsigned char name[64];
    unsigned char comment[256];
    int16_t gender;
    int16_t age;
    int16_t script;
    int16_t language;
    int16_t region;
    int32_t reserved[4];
} VoiceDescription;

typedef struct VoiceFileInfo {
    FSSpec fileSpec;  // the voice's file under espeak-ng's data folder
    int16_t resID;    // always 0
} VoiceFileInfo;

// What 'stat' reports. A paused channel is busy. inputBytesLeft counts the text bytes from the
// start of the word being spoken to the end; 0 when the channel is not busy.
typedef struct SpeechStatusInfo {
    Boolean outputBusy;
    Boolean outputPaused;
    int32_t inputBytesLeft;
} SpeechStatusInfo;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(VoiceSpec) == 8, "VoiceSpec is 8 bytes");
static_assert(sizeof(VoiceDescription) == 362, "VoiceDescription is 362 bytes");
static_assert(sizeof(VoiceFileInfo) == 72, "VoiceFileInfo is 72 bytes");
static_assert(sizeof(SpeechStatusInfo) == 6, "SpeechStatusInfo is 6 bytes");
#else
_Static_assert(sizeof(VoiceSpec) == 8, "VoiceSpec is 8 bytes");
_Static_assert(sizeof(VoiceDescription) == 362, "VoiceDescription is 362 bytes");
_Static_assert(sizeof(VoiceFileInfo) == 72, "VoiceFileInfo is 72 bytes");
_Static_assert(sizeof(SpeechStatusInfo) == 6, "SpeechStatusInfo is 6 bytes");
#endif

// Version 1.0.0, final: major in bits 24-31, minor and fix level in 16-23, release stage
// (0x80 final) in 8-15, non-release revision in 0-7.
// [any] A constant; starts nothing.
uint32_t SpeechManagerVersion(void);

// [any] numVoices: the caller's, not null (paramErr), set on success.
OSErr CountVoices(int16_t* numVoices);
// [any] index is 1-based; voice: the caller's, not null, set on success.
OSErr GetIndVoice(int16_t index, VoiceSpec* voice);

// [any] voice: read at once, or null for the default voice, the one that best fits the user's
// locale language (LC_ALL, LC_MESSAGES, LANG), else English. info: the caller's, not null;
// min(infoLength, 362) bytes of it are filled.
OSErr GetVoiceDescription(const VoiceSpec* voice, VoiceDescription* info, int32_t infoLength);
// [any] voice as above; voiceInfo: the caller's record for the selector (a VoiceFileInfo or a
// VoiceDescription), not null, filled on success.
OSErr GetVoiceInfo(const VoiceSpec* voice, OSType selector, void* voiceInfo);

// [any] voice: read at once, or null (or all zero) for the default voice. chan: not null; *chan
// is set only on success, to a channel the caller owns until it disposes of it.
OSErr NewSpeechChannel(const VoiceSpec* voice, SpeechChannel* chan);
// [any] Ends the channel's speech; the handle is invalid afterwards (and never handed out
// again). A null or unknown channel: kSpeechBadChannelErr.
OSErr DisposeSpeechChannel(SpeechChannel chan);

// [any] Speaks `textBytes` bytes of Mac Roman text and returns at once; the bytes are copied
// before it returns, so the caller keeps textBuf (null only with textBytes 0).
// Replaces whatever the channel was speaking. With a sound file set ('opaf'), the speech goes
// to that file, synthesized as fast as possible; the file is complete and closed once the
// channel is no longer busy.
OSErr SpeakText(SpeechChannel chan, const void* textBuf, uint32_t textBytes);

// [any] As SpeakText, for text in any script: the string's UTF-16 units are read at once and
// the caller keeps its reference (aString not null). `options` must be null. The bytes left
// in 'stat' then count the text's UTF-8 bytes.
OSErr SpeakCFString(SpeechChannel chan, CFStringRef aString, const void* options);

// [any] Each returns at once; what it asks is heard within one audio buffer, or at the word
// or sentence end asked for (kSpeechImmediate..kSpeechEndOfSentence, else paramErr).
OSErr StopSpeech(SpeechChannel chan);  // at once
OSErr StopSpeechAt(SpeechChannel chan, int32_t whereToStop);
OSErr PauseSpeechAt(SpeechChannel chan, int32_t whereToPause);
OSErr ContinueSpeech(SpeechChannel chan);  // resumes where the pause left off

// [any] The getters fill the caller's Fixed (not null); the setters take the value (> 0).
OSErr GetSpeechRate(SpeechChannel chan, Fixed* rate);
OSErr SetSpeechRate(SpeechChannel chan, Fixed rate);
OSErr GetSpeechPitch(SpeechChannel chan, Fixed* pitch);
OSErr SetSpeechPitch(SpeechChannel chan, Fixed pitch);

// 'rset' restores rate, pitch, 'pmod', 'volm', 'char' and 'nmbr' to their defaults; it keeps
// the voice, the output and the speech going on. 'opaf' with a URL checks that the file can
// be created (kSpeechOutputFileErr or dirNFErr when not) and sends the channel's later speech
// there: AIFF for names ending .aif or .aiff, WAV otherwise; a NULL URL returns the channel to
// the audio output.
// [any] speechInfo: the caller's, read or filled before the call returns (the URL's reference
// stays the caller's); null only where the selector above allows it.
OSErr GetSpeechInfo(SpeechChannel chan, OSType selector, void* speechInfo);
OSErr SetSpeechInfo(SpeechChannel chan, OSType selector, const void* speechInfo);

// [any] The count of this process's busy channels (paused ones included). The system-wide count
// is the same number: other processes' speech cannot be seen from here.
int16_t SpeechBusy(void);
int16_t SpeechBusySystemWide(void);

#ifdef __cplusplus
}
#endif

#endif
