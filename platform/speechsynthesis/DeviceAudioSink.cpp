#include "platform/speechsynthesis/DeviceAudioSink.h"

#include <SDL2/SDL.h>

#include <atomic>
#include <chrono>
#include <mutex>

namespace vellora::speech {
namespace {

class DeviceAudioSink final : public AudioSink {
  public:
    ~DeviceAudioSink() override { stop(); }

    bool start(AudioSource& source, int sampleRate) override {
        source_ = &source;
        // No silent stand-in where no device opens: speech that cannot be heard is not
        // available, and the program says so.
        return open(sampleRate);
    }

    void stop() override {
        std::lock_guard lock(mutex_);
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);
            device_ = 0;
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
    }

    // Pausing waits for a callback that is running to return; the caller holds no lock that
    // the callback needs. A paused device skips the mixer (and its lock) but SDL goes on
    // feeding the server silence, so a word after a rest waits no longer than one before it.
    void rest() override {
        std::lock_guard lock(mutex_);
        if (device_ != 0) SDL_PauseAudioDevice(device_, 1);
        paused_ = true;
    }

    void resume() override {
        std::lock_guard lock(mutex_);
        if (device_ != 0) SDL_PauseAudioDevice(device_, 0);
        paused_ = false;
        lastChange_ = std::chrono::steady_clock::now();
    }

    // SDL marks a device that went away as stopped; a running device whose callback has not
    // come for a second is taken as gone too.
    bool lost() override {
        std::lock_guard lock(mutex_);
        if (device_ == 0 || SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED) return true;
        uint64_t calls = calls_.load(std::memory_order_relaxed);
        auto now = std::chrono::steady_clock::now();
        if (paused_ || calls != lastCalls_) {
            lastCalls_ = calls;
            lastChange_ = now;
            return false;
        }
        return now - lastChange_ > std::chrono::seconds(1);
    }

  private:
    bool open(int sampleRate) {
        std::lock_guard lock(mutex_);
        // SDL would take SIGTERM and SIGINT for an event queue nobody reads here, and the
        // program could then not be ended; its own handlers stay in place.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
        SDL_AudioSpec want{};
        want.freq = sampleRate;
        want.format = AUDIO_S16SYS;
        want.channels = 1;
        // The sound server plays about one such buffer ahead, so it is what a word waits for
        // before it is heard (256 frames, under 12 ms at the engine's rate). Half of it would cut
        // a few milliseconds, but a paused SDL device still wakes once a buffer to hand the
        // server silence, so the idle cost would double.
        want.samples = 256;
        want.callback = &DeviceAudioSink::callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        SDL_PauseAudioDevice(device_, 0);
        paused_ = false;
        lastChange_ = std::chrono::steady_clock::now();
        return true;
    }

    static void callback(void* self, Uint8* stream, int bytes) {
        auto* sink = static_cast<DeviceAudioSink*>(self);
        sink->calls_.fetch_add(1, std::memory_order_relaxed);
        sink->source_->mix(reinterpret_cast<int16_t*>(stream), size_t(bytes) / sizeof(int16_t));
    }

    std::mutex mutex_;  // device_, between the worker's rest/resume and start/stop
    AudioSource* source_ = nullptr;
    SDL_AudioDeviceID device_ = 0;
    bool paused_ = false;
    std::atomic<uint64_t> calls_{0};  // callbacks so far
    uint64_t lastCalls_ = 0;
    std::chrono::steady_clock::time_point lastChange_{};
};

}  // namespace

std::shared_ptr<AudioSink> MakeDeviceAudioSink() {
    return std::make_shared<DeviceAudioSink>();
}

}  // namespace vellora::speech
