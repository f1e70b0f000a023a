#include "platform/speechsynthesis/SystemAudioSink.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "platform/speechsynthesis/DeviceAudioSink.h"
#include "platform/speechsynthesis/PulseAudioSink.h"

namespace vellora::speech {
namespace {

class SystemAudioSink final : public AudioSink {
  public:
    SystemAudioSink(std::function<std::shared_ptr<AudioSink>()> server,
                    std::function<std::shared_ptr<AudioSink>()> fallback)
        : makeServer_(std::move(server)), makeFallback_(std::move(fallback)) {}
    ~SystemAudioSink() override { stop(); }

    bool start(AudioSource& source, int sampleRate) override {
        std::lock_guard lock(mutex_);
        if (chosen_) return chosen_->start(source, sampleRate);
        if (!server_ && makeServer_) server_ = makeServer_();
        if (server_ && server_->start(source, sampleRate)) return choose(server_);
        if (!fallback_ && makeFallback_) fallback_ = makeFallback_();
        if (fallback_ && fallback_->start(source, sampleRate)) return choose(fallback_);
        return false;
    }

    void stop() override {
        std::lock_guard lock(mutex_);
        for (auto* s : {&chosen_, &server_, &fallback_})
            if (*s) (*s)->stop();
    }

    // Before one opened, the layer's record of rest is kept here.
    void rest() override {
        if (AudioSink* s = active_.load()) return s->rest();
        AudioSink::rest();
    }
    void flush() override {
        if (AudioSink* s = active_.load()) s->flush();
    }
    void resume() override {
        if (AudioSink* s = active_.load()) return s->resume();
        AudioSink::resume();
    }
    bool resting() const override {
        AudioSink* s = active_.load();
        return s ? s->resting() : AudioSink::resting();
    }
    bool lost() override {
        AudioSink* s = active_.load();
        return !s || s->lost();
    }

  private:
    bool choose(const std::shared_ptr<AudioSink>& s) {
        chosen_ = s;
        active_ = s.get();
        (s == server_ ? fallback_ : server_).reset();
        return true;
    }

    std::function<std::shared_ptr<AudioSink>()> makeServer_;
    std::function<std::shared_ptr<AudioSink>()> makeFallback_;
    std::mutex mutex_;  // start and stop, on the worker or the layer's first caller
    std::shared_ptr<AudioSink> server_;
    std::shared_ptr<AudioSink> fallback_;
    std::shared_ptr<AudioSink> chosen_;
    std::atomic<AudioSink*> active_{nullptr};  // chosen_, once set; never changes after
};

// SDL's device, not tried while a server that does not answer would hold it up.
class UnlessServerHung final : public AudioSink {
  public:
    bool start(AudioSource& source, int sampleRate) override {
        return !PulseServerHung() && device_->start(source, sampleRate);
    }
    void stop() override { device_->stop(); }
    void rest() override { device_->rest(); }
    void flush() override { device_->flush(); }
    void resume() override { device_->resume(); }
    bool resting() const override { return device_->resting(); }
    bool lost() override { return device_->lost(); }

  private:
    // A server that did not answer is not asked again through SDL's own client, whose wait
    // for it is not bounded as ours is.
    const std::shared_ptr<AudioSink> device_ =
        MakeDeviceAudioSink(nullptr, "pipewire,alsa,sndio,dsp");
};

}  // namespace

std::shared_ptr<AudioSink> MakeSystemAudioSink(
    std::function<std::shared_ptr<AudioSink>()> server,
    std::function<std::shared_ptr<AudioSink>()> fallback) {
    if (server || fallback)
        return std::make_shared<SystemAudioSink>(std::move(server), std::move(fallback));
    // A driver named for SDL chooses SDL: the tests' silent one, or the user's own choice.
    if (const char* driver = std::getenv("SDL_AUDIODRIVER"); driver && *driver)
        return MakeDeviceAudioSink();
    return std::make_shared<SystemAudioSink>(
        [] { return MakePulseAudioSink(MakeLibPulseBackend()); },
        [] { return std::make_shared<UnlessServerHung>(); });
}

}  // namespace vellora::speech
