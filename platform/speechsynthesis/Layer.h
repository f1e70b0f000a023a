// The layer's one state: the engine, the audio output, the channels, the synthesis worker and
// the mixer. Everything here is guarded by Layer::mutex; the worker runs the engine and the
// audio output runs mix() on threads of their own.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/speechsynthesis/Engine.h"
#include "platform/speechsynthesis/SoundFile.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"

namespace vellora::speech {

struct Settings {
    Fixed rate = 175 << 16;
    Fixed pitch = 46 << 16;
    Fixed modulation = 20 << 16;
    Fixed volume = 1 << 16;
    OSType characterMode = kSpeechModeNormal;
    OSType numberMode = kSpeechModeNormal;
};

struct Mark {
    uint64_t frame;    // absolute frame of the utterance
    uint32_t textPos;  // byte of the utterance's text
};

// One SpeakText: its text, the audio made from it so far, and how far it has been played.
struct Utterance {
    std::string text;  // Mac Roman, or UTF-8 when utf8 is set
    bool utf8 = false;
    bool toFile = false;
    std::unique_ptr<SoundFile> file;  // while the speech goes to a sound file
    size_t nextChunk = 0;             // first byte not yet handed to the engine
    bool synthDone = false;
    bool finished = false;       // over: played out, stopped, failed; not busy any more
    bool stopRequested = false;  // sound file: close it after the stretch being made

    std::vector<int16_t> pcm;  // frames [base, produced)
    uint64_t base = 0;
    uint64_t produced = 0;
    uint64_t playhead = 0;  // frames played (or written to the file)
    std::deque<Mark> words;
    std::deque<Mark> sentences;
    bool wordStarted = false;
    bool sentenceStarted = false;
    uint32_t textPos = 0;  // start of the word being spoken

    bool paused = false;
    enum { None, Pause, Stop } pending = None;
    int pendingWhere = 0;  // kSpeechEndOfWord or kSpeechEndOfSentence
};

struct Channel {
    uintptr_t handle = 0;
    Settings settings;
    int voice = 0;
    std::string outputPath;  // empty: the audio output
    std::shared_ptr<Utterance> current;
    std::atomic<uint64_t> framesMixed{0};
    std::function<void()> onDone;  // on the worker, once the speech ends
    bool doneDue = false;          // the speech set last has not been reported done

    bool busy() const { return current && !current->finished; }
};

class Layer final : public AudioSource {
  public:
    static Layer& get();  // the process's one layer; never destroyed

    // Starts what is not running yet (engine, audio output, worker) and returns the lock.
    std::unique_lock<std::mutex> start();

    Channel* find(SpeechChannel chan);  // null for an unknown handle
    void note(const Engine::ChannelCall& call);
    // Ends the speech of `ch` now: the audio stops, a sound file is closed with what it holds.
    void endSpeech(std::unique_lock<std::mutex>& lock, Channel& ch);
    OSErr speak(std::unique_lock<std::mutex>& lock, Channel& ch, std::string text,
                bool utf8 = false);
    void finishFile(std::unique_lock<std::mutex>& lock, Utterance& u, bool keep);

    void installEngine(std::shared_ptr<Engine> engine);
    void installSink(std::shared_ptr<AudioSink> sink);
    bool waitUntilIdle(std::chrono::milliseconds timeout);
    void poke();  // there is new work for the worker

    void mix(int16_t* out, size_t frames) override;
    // Under the lock: the output to resume, when it rests and new samples have come (null
    // otherwise). The caller resumes it once the lock is released.
    std::shared_ptr<AudioSink> wakeSink();

    std::mutex mutex;
    std::condition_variable wake;     // the worker: there may be work
    std::condition_variable settled;  // the worker went idle or left an utterance
    std::shared_ptr<Engine> engine;
    bool engineTried = false;
    std::shared_ptr<AudioSink> sink;
    bool sinkTried = false;
    bool audioOk = false;
    std::vector<VoiceEntry> voices;
    std::vector<std::shared_ptr<Channel>> channels;
    uintptr_t nextHandle = 1;

  private:
    Layer() = default;
    void ensureEngine();
    void work();
    std::thread worker_;
    bool idle_ = true;
    bool resting_ = false;         // the output was told to rest: nothing of it is heard
    bool roomWanted_ = false;      // the worker sleeps until some channel has room for more
    uint64_t room_ = 0;            // frames made ahead of the playhead that are enough
    Utterance* active_ = nullptr;  // the utterance the engine is making
};

// Engine units of a channel's settings.
SynthRequest MakeRequest(const Settings& s);

}  // namespace vellora::speech
