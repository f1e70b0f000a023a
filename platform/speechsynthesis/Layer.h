// The layer's one state: the engine, the audio output, the channels, the synthesis worker and
// the mixer. The callers' threads and the worker share it under the layer's lock; the audio
// output's callback takes no lock at all: it reads each channel's lane, a ring of frames the
// worker fills, and publishes how far it has played through atomics that the lock's holders
// read back.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "platform/speechsynthesis/Engine.h"
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

// What a channel is set to, which the interface reads and changes under the layer's lock.
struct ChannelOptions {
    Settings settings;
    int voice = 0;
    std::string outputPath;  // empty: the audio output
};

struct Channel;
struct Lane;
struct Utterance;

class Layer final : public AudioSource {
  public:
    using Lock = std::unique_lock<std::mutex>;
    static Layer& get();  // the process's one layer; never destroyed

    // Starts what is not running yet (engine, audio output, worker) and returns the lock. All
    // calls below but mix() and the seams are made with it held.
    Lock start();
    // Begins that start on the worker and returns at once; start() waits for it.
    void startAhead();

    bool hasEngine() const { return engine_ != nullptr; }
    bool audioAvailable() const { return audioOk_; }
    const std::vector<VoiceEntry>& voices() const { return voices_; }
    int sampleRate() const;
    void note(const Engine::ChannelCall& call);

    bool exists(SpeechChannel chan);
    ChannelOptions* options(SpeechChannel chan);  // null for an unknown channel
    OSErr newChannel(int voice, SpeechChannel* chan);
    OSErr dispose(Lock& lock, SpeechChannel chan);
    // The text replaces the channel's speech. `file` is the sound file the speech goes to,
    // made by the caller without the lock when the channel has an output path.
    OSErr speak(Lock& lock, SpeechChannel chan, std::string text, bool utf8,
                std::unique_ptr<class SoundFile> file);
    OSErr stopAt(Lock& lock, SpeechChannel chan, int32_t where);
    OSErr pauseAt(SpeechChannel chan, int32_t where);
    OSErr continueSpeech(SpeechChannel chan);
    OSErr status(SpeechChannel chan, SpeechStatusInfo* status);
    int busyChannels();
    bool setDoneHandler(SpeechChannel chan, std::function<void()> done);
    // More speech waits for the channel: its speech ends at its last sound and a short pause.
    OSErr moreFollows(SpeechChannel chan);

    // Seams for tests; each takes the lock itself.
    void installEngine(std::shared_ptr<Engine> engine);
    void installSink(std::shared_ptr<AudioSink> sink);
    bool waitUntilIdle(std::chrono::milliseconds timeout);
    uint64_t framesMixed(SpeechChannel chan);

    // The audio output's callback: no lock, no allocation, no system call but the worker's
    // wake-up (a futex wake, and only when the worker may be waiting).
    void mix(int16_t* out, size_t frames) override;

  private:
    Layer();
    friend class ChunkOutput;

    // The channel behind a handle, null for an unknown one, with how far it played read back
    // first (settle()), so that what the caller reads or changes is current.
    Channel* findAndSettle(SpeechChannel chan);
    void ensureEngine();
    // The worker: its loop, then each of its steps, all under the lock (which those that call
    // out let go of meanwhile).
    void work();
    bool reportEnds(Lock& lock);  // calls the done handlers now due; false when none was
    struct Next {
        std::shared_ptr<Channel> ch;
        std::shared_ptr<Utterance> u;  // null: nothing to make now
    };
    Next nextToMake();  // the heard speech least far ahead, else speech to a file
    // Nothing to make: the output rests while nothing is to be heard (paused speech included)
    // and runs again for what is, such as paused speech continued. False when it already does.
    bool matchOutputTo(Lock& lock, bool audible);
    // Until there may be work; while something is heard, no longer than the callback takes.
    void waitForWork(Lock& lock, bool audible);
    // Hands the utterance's next stretch to the engine and takes what it makes.
    void makeStretch(Lock& lock, std::shared_ptr<Channel> ch, std::shared_ptr<Utterance> u);
    void poke();  // there is new work for the worker
    void endSpeech(Lock& lock, Channel& ch);
    void finishFile(Lock& lock, Utterance& u, bool keep);
    // Reads back how far the callback played the channel's speech and moves its marks,
    // pending pause or stop and end on to there; then tells the callback where to stop.
    void settle(Channel& ch);
    void publish(Channel& ch);
    void feed(Channel& ch);  // moves made audio into the channel's lane, as room allows
    // Stops and starts again an output that went away while something is to be heard, less
    // often each time it fails; may let go of the lock.
    void watchDevice(Lock& lock, bool audible);
    // The output's first start (or an installed one's) is over: when it failed, the worker
    // tries again as for a lost output.
    void outputTried(bool ok);
    // Under the lock: the output to resume, when it rests and new samples have come.
    std::shared_ptr<AudioSink> wakeSink();

    std::mutex mutex_;
    std::condition_variable settled_;      // the worker went idle or left an utterance
    std::counting_semaphore<> signal_{0};  // the worker: there may be work
    std::atomic<bool> signalled_{false};   // the callback played something since the worker looked
    std::shared_ptr<Engine> engine_;
    bool engineTried_ = false;
    std::shared_ptr<AudioSink> sink_;
    bool sinkTried_ = false;
    bool sinkOpening_ = false;            // its first start runs, without the lock
    std::condition_variable sinkOpened_;  // ... and is over
    bool audioOk_ = false;                // the output opened once: speech can be heard
    bool cut_ = false;  // heard speech was cut off since the worker last matched the output
    std::vector<VoiceEntry> voices_;
    std::vector<std::shared_ptr<Channel>> channels_;
    uintptr_t nextHandle_ = 1;

    // The lanes the callback mixes: made on demand, never freed, reused after a channel goes.
    static constexpr size_t kMaxLanes = 256;
    std::atomic<Lane*> lanes_[kMaxLanes] = {};
    std::atomic<size_t> laneCount_{0};
    std::vector<Lane*> freeLanes_;

    std::thread worker_;
    bool idle_ = true;
    Utterance* active_ = nullptr;  // the utterance the engine is making
    std::chrono::steady_clock::time_point nextDeviceCheck_{};
    std::chrono::milliseconds reopenDelay_{0};  // after a failed reopen; 0 while the output is fine
};

// Engine units of a channel's settings.
SynthRequest MakeRequest(const Settings& s);

}  // namespace vellora::speech
