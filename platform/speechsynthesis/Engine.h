// The synthesizer behind the speech channels, and the audio output they mix into. The layer
// uses one Engine and one AudioSink for the whole process; testing.h installs others.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vellora::speech {

struct VoiceEntry {
    std::string name;       // UTF-8
    std::string key;        // what the engine selects the voice by
    std::string languages;  // the voice's languages, most preferred first, lower case, ", "
    int gender = 0;         // 0 none, 1 male, 2 female
    int age = 0;            // years; 0 unknown
    std::string filePath;   // the file that holds the voice, or empty
    // How well the voice fits each of its languages, in the same order; lower fits better,
    // as the engine ranks its own voices. Empty when the engine gives none: all alike.
    std::vector<int> priorities = {};
};

// One stretch of text to synthesize, with the channel's settings already in engine units.
struct SynthRequest {
    std::string text;   // UTF-8; one code point per byte of the channel's Mac Roman text
    std::string voice;  // VoiceEntry::key
    int rate = 175;     // words per minute, 80..450
    int pitch = 50;     // 0..100
    int range = 50;     // 0..100
    int volume = 100;   // 0..100
    bool spellCharacters = false;
    bool speakDigits = false;
    bool endsSentence = true;  // the text ends where a sentence ends
};

// Receives what the engine produces, on the worker thread, as it is produced.
class SynthOutput {
  public:
    enum class Mark { Word, Sentence };
    // Mono PCM at the engine's rate; false asks the engine to stop at once.
    virtual bool samples(const int16_t* pcm, size_t frames) = 0;
    // A word or sentence starts at code point `textPos` (0-based) of the request's text and at
    // audio frame `frame` counted from the request's first frame.
    virtual void mark(Mark kind, size_t textPos, uint64_t frame) = 0;
    // True once the speech was given up; an engine that waits may poll it.
    virtual bool cancelled() const = 0;

  protected:
    ~SynthOutput() = default;
};

class Engine {
  public:
    virtual ~Engine() = default;
    virtual int sampleRate() const = 0;
    virtual std::vector<VoiceEntry> voices() const = 0;
    // Synthesizes the whole request before returning; false when it failed (a stop asked
    // through SynthOutput is not a failure). Calls come from one thread at a time.
    virtual bool synthesize(const SynthRequest& request, SynthOutput& out) = 0;

    // Each call on a channel that changes its speech, for engines that keep a record.
    struct ChannelCall {
        enum Kind { Speak, Stop, Pause, Continue, SetRate, SetPitch, SetInfo, Dispose } kind;
        uintptr_t channel = 0;
        int32_t where = 0;      // Stop, Pause: 0 at once, 1 end of word, 2 end of sentence
        uint32_t selector = 0;  // SetInfo
        int32_t value = 0;      // SetRate, SetPitch; SetInfo of a Fixed or OSType value
        std::string text;       // Speak: the Mac Roman bytes
    };
    virtual void note(const ChannelCall&) {}
};

// The mixer, as the audio output sees it.
class AudioSource {
  public:
    // Fills `frames` mono frames at the engine's rate; silence where nothing plays.
    virtual void mix(int16_t* out, size_t frames) = 0;

  protected:
    ~AudioSource() = default;
};

class AudioSink {
  public:
    virtual ~AudioSink() = default;
    // Starts pulling from `source`; false when no output could be opened.
    virtual bool start(AudioSource& source, int sampleRate) = 0;
    // Stops pulling; no call into the source is made after it returns.
    virtual void stop() = 0;
    // Nothing is left to play: the output may stop pulling until resume(). Both are called
    // on the synthesis worker, never under the layer's lock: pausing a device waits for a
    // callback that is running to return, and resuming may open the device again, which takes
    // a while that the callers of the layer would otherwise wait through.
    virtual void rest() { resting_ = true; }
    // What the output holds and has not played yet is dropped unheard: called on the worker,
    // right before rest(), when the speech that rests it was cut off rather than played out.
    // An output that cannot drop what it holds leaves it be.
    virtual void flush() {}
    virtual void resume() { resting_ = false; }
    // True from rest() until the next resume(): the one record of whether the output rests,
    // which the layer asks on the worker. An output that overrides rest() and resume()
    // overrides this too (and may clear it on stop()).
    virtual bool resting() const { return resting_; }
    // The output went away while open (unplugged, its server gone, or it stopped pulling);
    // asked on the worker, which then stops it and starts it again until it is back.
    virtual bool lost() { return false; }

  private:
    std::atomic<bool> resting_{false};
};

}  // namespace vellora::speech
