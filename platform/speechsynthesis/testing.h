// Seams for tests of the speech layer and of what uses it. InstallEngine swaps the synthesizer
// (a RecordingEngine records every request and channel call and makes fake audio with marks
// where the test wants them); InstallAudioSink swaps the audio output (a ManualAudioClock
// plays only the frames the test pulls by hand). Install the engine first, before the first
// call of the layer if the real ones should never start; installing ends all speech going on.
// WaitUntilIdle waits for the synthesis worker to have made all it can.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/speechsynthesis/Engine.h"
#include "platform/speechsynthesis/SpeechSynthesis.h"

namespace vellora::speech::testing {

void InstallEngine(std::shared_ptr<Engine> engine);
void InstallAudioSink(std::shared_ptr<AudioSink> sink);
std::shared_ptr<Engine> MakeEspeakEngine();  // the real ones, to install again
std::shared_ptr<AudioSink> MakeDeviceAudioSink();

// True once the worker has nothing left to make (speech is synthesized, or far enough ahead).
bool WaitUntilIdle(std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Frames of this channel mixed into the audio output so far; 0 for an unknown channel.
uint64_t FramesMixed(SpeechChannel chan);

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

}  // namespace vellora::speech::testing
