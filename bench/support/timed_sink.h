// What the speech benchmarks time audio by: the device output, noting when each callback
// mixed audio of one watched channel; and the engine, noting what it was last handed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/speechsynthesis/SpeechSynthesis.h"
#include "platform/speechsynthesis/doubles.h"
#include "platform/speechsynthesis/testing.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}
inline Clock::time_point At(Clock::rep r) {
    return Clock::time_point(Clock::duration(r));
}

class TimedSink final : public vellora::speech::AudioSink, vellora::speech::AudioSource {
  public:
    explicit TimedSink(std::shared_ptr<AudioSink> inner) : inner_(std::move(inner)) {}
    bool start(AudioSource& source, int rate) override {
        source_ = &source;
        rate_ = rate;
        return inner_->start(*this, rate);
    }
    void stop() override { inner_->stop(); }
    void mix(int16_t* out, size_t frames) override {
        source_->mix(out, frames);
        ++callbacks;
        SpeechChannel c = watched.load();
        if (!c) return;
        uint64_t n = vellora::speech::testing::FramesMixed(c);
        if (n != seen_.load()) {
            seen_ = n;
            auto now = Clock::now().time_since_epoch().count();
            if (first.load() == 0) first = now;
            last = now;
            lastFrames = frames;
        }
    }
    // From now on, what the channel gets mixed beyond what it had.
    void watch(SpeechChannel c) {
        watched = nullptr;
        first = last = 0;
        seen_ = c ? vellora::speech::testing::FramesMixed(c) : 0;
        watched = c;
    }
    double bufferMs() const { return 1000.0 * double(lastFrames.load()) / rate_; }

    std::atomic<SpeechChannel> watched{nullptr};
    std::atomic<Clock::rep> first{0}, last{0};
    std::atomic<size_t> lastFrames{0};
    std::atomic<uint64_t> callbacks{0};

  private:
    std::shared_ptr<AudioSink> inner_;
    AudioSource* source_ = nullptr;
    int rate_ = 22050;
    std::atomic<uint64_t> seen_{0};
};

// The real engine, noting which channel was last handed speech and when.
class NotingEngine final : public vellora::speech::testing::ForwardingEngine {
  public:
    using ForwardingEngine::ForwardingEngine;
    // Called under the layer's lock: only note.
    void note(const ChannelCall& call) override {
        if (call.kind == ChannelCall::Speak) {
            lastSpoken = call.channel;
            spokenAt = Clock::now().time_since_epoch().count();
        }
        ForwardingEngine::note(call);
    }
    std::atomic<uintptr_t> lastSpoken{0};
    std::atomic<Clock::rep> spokenAt{0};
};

// espeak-ng noted, on the audio device timed: what both editor benchmarks measure through.
inline void InstallTimedEspeak(std::shared_ptr<NotingEngine>& engine,
                               std::shared_ptr<TimedSink>& sink) {
    namespace testing = vellora::speech::testing;
    engine = std::make_shared<NotingEngine>(testing::MakeEspeakEngine());
    sink = std::make_shared<TimedSink>(testing::MakeDeviceAudioSink());
    testing::InstallEngine(engine);
    testing::InstallAudioSink(sink);
}

}  // namespace bench
