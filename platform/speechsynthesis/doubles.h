// Test doubles for the seams of testing.h: a RecordingEngine records every request and channel
// call and makes fake audio with marks where the test wants them; a ManualAudioClock plays only
// the frames the test pulls by hand; a FakeAudioDevice pulls on a thread of its own and can be
// taken away and given back; a FakePulseServer stands for a sound server behind the server
// sink's seam. Built into speechsynthesis_testing, which only tests and
// benchmarks link.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/speechsynthesis/PulseAudioSink.h"
#include "platform/speechsynthesis/testing.h"

namespace vellora::speech::testing {

struct FakeMark {
    SynthOutput::Mark kind;
    size_t textPos;  // code point of the request's text
    uint64_t frame;  // frame of the request's audio
};
struct FakeSpeech {
    uint64_t frames = 0;
    std::vector<FakeMark> marks;
};

// Sample i of a request's fake audio: 1 + i % 30000, never silent and easy to follow.
class RecordingEngine final : public Engine {
  public:
    // Three voices: English (en-gb, en; male), German (de; female), French (fr-fr, fr).
    static std::vector<VoiceEntry> DefaultVoices();
    explicit RecordingEngine(std::vector<VoiceEntry> voices = DefaultVoices(), int rate = 22050);

    // The default fake speech: framesPerCharacter frames per code point, a word mark where
    // each word starts and a sentence mark at the start and after each . ! or ?.
    void SetFramesPerCharacter(uint64_t frames);
    void SetScript(std::function<FakeSpeech(const SynthRequest&)> script);
    void SetFailing(bool failing);  // synthesize reports a failure, making nothing
    void SetHolding(bool holding);  // synthesize waits after its first block until released
    bool WaitUntilHeld(std::chrono::milliseconds timeout);  // a request waits in its hold

    std::vector<SynthRequest> Requests() const;
    std::vector<ChannelCall> Calls() const;

    int sampleRate() const override { return rate_; }
    std::vector<VoiceEntry> voices() const override { return voices_; }
    bool synthesize(const SynthRequest& request, SynthOutput& out) override;
    void note(const ChannelCall& call) override;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<VoiceEntry> voices_;
    int rate_;
    uint64_t framesPerCharacter_ = 100;
    std::function<FakeSpeech(const SynthRequest&)> script_;
    bool failing_ = false;
    bool holding_ = false;
    bool held_ = false;
    std::vector<SynthRequest> requests_;
    std::vector<ChannelCall> calls_;
};

// An engine that hands everything to another one (the real espeak-ng, say); a test overrides
// note() to watch the channel calls go by, calling this note() too.
class ForwardingEngine : public Engine {
  public:
    explicit ForwardingEngine(std::shared_ptr<Engine> inner) : inner_(std::move(inner)) {}
    int sampleRate() const override { return inner_->sampleRate(); }
    std::vector<VoiceEntry> voices() const override { return inner_->voices(); }
    bool synthesize(const SynthRequest& request, SynthOutput& out) override {
        return inner_->synthesize(request, out);
    }
    void note(const ChannelCall& call) override { inner_->note(call); }

  private:
    std::shared_ptr<Engine> inner_;
};

class ManualAudioClock final : public AudioSink {
  public:
    bool start(AudioSource& source, int sampleRate) override;
    void stop() override;
    // Mixes `frames` frames now; empty when not started.
    std::vector<int16_t> Pull(size_t frames);
    int SampleRate() const { return rate_; }

  private:
    std::mutex mutex_;
    AudioSource* source_ = nullptr;
    int rate_ = 0;
};

// A sound device that pulls 256 frames every two milliseconds on a thread of its own, and
// that a test can take away (opening it fails, an open one is lost and pulls nothing) and give
// back, as a device unplugged and plugged in again.
class FakeAudioDevice final : public AudioSink {
  public:
    ~FakeAudioDevice() override;
    void SetPresent(bool present);
    int Opens() const;     // successful starts so far
    int Attempts() const;  // starts so far, failed ones included

    bool start(AudioSource& source, int sampleRate) override;
    void stop() override;
    void rest() override { resting_ = true; }
    void resume() override { resting_ = false; }
    bool resting() const override { return resting_; }
    bool lost() override;

  private:
    mutable std::mutex mutex_;
    std::atomic<bool> present_{true};
    std::atomic<bool> running_{false};
    std::atomic<bool> resting_{false};
    int opens_ = 0;
    int attempts_ = 0;
    std::thread thread_;
};

// A sound server for the server sink: every two milliseconds while the stream is uncorked it
// plays up to 256 frames of what it holds and asks for what its buffer lacks, as a server does
// whether or not it was given what it asked before. It records the stream's commands in order
// ("cork", "uncork", "flush") and can go away (opening fails, an open stream fails) and come
// back.
class FakePulseServer {
  public:
    static constexpr size_t kHoldBytes = 1024;  // the server's buffer for the stream

    FakePulseServer();
    ~FakePulseServer();
    // A backend on this server; the server outlives it.
    std::unique_ptr<PulseBackend> Backend();

    void SetPresent(bool present);
    void SetPlaying(bool playing);  // false: the server's clock stands still
    std::vector<std::string> Commands() const;
    void ClearCommands();
    bool Corked() const;
    size_t Held() const;               // bytes written and not yet played
    uint64_t SoundingWritten() const;  // frames written that were not silence
    uint64_t Requests() const;         // times the stream was asked for more
    int Opens() const;

  private:
    friend class FakePulseBackend;
    mutable std::mutex mutex_;  // the backend's lock
    std::thread clock_;
    std::atomic<bool> quit_{false};
    bool present_ = true;
    bool playing_ = true;
    bool open_ = false;
    bool failed_ = false;
    bool corked_ = true;
    size_t held_ = 0;
    uint64_t sounding_ = 0;
    uint64_t requests_ = 0;
    int opens_ = 0;
    std::vector<std::string> commands_;
    PulseBackend::Events* events_ = nullptr;
    std::vector<int16_t> buffer_;
};

}  // namespace vellora::speech::testing
