#include "platform/speechsynthesis/DeviceAudioSink.h"

#include <SDL2/SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vellora::speech {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A paused SDL device still wakes once a buffer to hand the server silence; after this long at
// rest it is closed, and opened again for the next speech. Words typed one after another come
// sooner than that and find it open.
constexpr auto kCloseAfter = std::chrono::milliseconds(1500);

class DeviceAudioSink final : public AudioSink {
  public:
    DeviceAudioSink(std::shared_ptr<DeviceCounts> counts, std::string drivers)
        : counts_(std::move(counts)), drivers_(std::move(drivers)) {}
    ~DeviceAudioSink() override { stop(); }

    bool start(AudioSource& source, int sampleRate) override {
        std::lock_guard lock(mutex_);
        source_ = &source;
        rate_ = sampleRate;
        // No silent stand-in where no device opens: speech that cannot be heard is not
        // available, and the program says so.
        return open();
    }

    void stop() override {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        if (closer_.joinable()) closer_.join();
        std::lock_guard lock(mutex_);
        quit_ = false;
        rest_ = Rest::Running;
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);
            device_ = 0;
            if (counts_) ++counts_->closes;
        }
        if (subsystem_) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            subsystem_ = false;
        }
    }

    // Pausing waits for a callback that is running to return; the caller holds no lock that
    // the callback needs. The device is closed later, on a thread of its own, as closing can
    // take the sound server a while.
    void rest() override {
        std::lock_guard lock(mutex_);
        if (device_ != 0) SDL_PauseAudioDevice(device_, 1);
        rest_ = Rest::Paused;
        restSince_ = SteadyClock::now();
        if (!closer_.joinable()) closer_ = std::thread([this] { closeWhenRested(); });
        changed_.notify_all();
    }

    void resume() override {
        std::lock_guard lock(mutex_);
        if (rest_ == Rest::Closed)
            open();  // a failure shows as a lost device, which the layer opens again
        else if (device_ != 0)
            SDL_PauseAudioDevice(device_, 0);
        rest_ = Rest::Running;
        lastChange_ = SteadyClock::now();
    }

    bool resting() const override { return rest_ != Rest::Running; }

    // SDL marks a device that went away as stopped; a running device whose callback has not
    // come for five seconds is taken as gone too. (A busy sound server may hold callbacks back
    // for a second or more; opening the device again then only makes matters worse.)
    bool lost() override {
        std::lock_guard lock(mutex_);
        if (rest_ == Rest::Closed) return false;
        if (device_ == 0 || SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_STOPPED) return true;
        uint64_t calls = calls_.load(std::memory_order_relaxed);
        auto now = SteadyClock::now();
        if (rest_ == Rest::Paused || calls != lastCalls_) {
            lastCalls_ = calls;
            lastChange_ = now;
            return false;
        }
        return now - lastChange_ > std::chrono::seconds(5);
    }

  private:
    // Under mutex_.
    bool open() {
        if (!subsystem_) {
            // SDL would take SIGTERM and SIGINT for an event queue nobody reads here, and the
            // program could then not be ended; its own handlers stay in place.
            SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
            if (!drivers_.empty()) SDL_SetHint(SDL_HINT_AUDIODRIVER, drivers_.c_str());
            if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
            subsystem_ = true;
        }
        SDL_AudioSpec want{};
        want.freq = rate_;
        want.format = AUDIO_S16SYS;
        want.channels = 1;
        // The sound server plays about one such buffer ahead, so it is what a word waits for
        // before it is heard, and what is still heard after a stop (128 frames, under 6 ms at
        // the engine's rate). A device at rest wakes once a buffer to hand the server silence,
        // but it rests only briefly before it is closed.
        want.samples = 128;
        want.callback = &DeviceAudioSink::callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) return false;
        if (counts_) ++counts_->opens;
        SDL_PauseAudioDevice(device_, 0);
        rest_ = Rest::Running;
        lastChange_ = SteadyClock::now();
        return true;
    }

    void closeWhenRested() {
        std::unique_lock lock(mutex_);
        while (!quit_) {
            if (rest_ != Rest::Paused || device_ == 0) {
                changed_.wait(lock);
                continue;
            }
            auto due = restSince_ + kCloseAfter;
            if (SteadyClock::now() < due) {
                changed_.wait_until(lock, due);
                continue;
            }
            SDL_AudioDeviceID id = device_;
            device_ = 0;
            rest_ = Rest::Closed;
            // Speech that comes meanwhile opens a device of its own at once.
            lock.unlock();
            SDL_CloseAudioDevice(id);
            if (counts_) ++counts_->closes;
            lock.lock();
        }
    }

    static void callback(void* self, Uint8* stream, int bytes) {
        auto* sink = static_cast<DeviceAudioSink*>(self);
        sink->calls_.fetch_add(1, std::memory_order_relaxed);
        sink->source_->mix(reinterpret_cast<int16_t*>(stream), size_t(bytes) / sizeof(int16_t));
    }

    const std::shared_ptr<DeviceCounts> counts_;
    const std::string drivers_;
    std::mutex mutex_;  // all below but calls_, between the worker, the closer and start/stop
    std::condition_variable changed_;
    AudioSource* source_ = nullptr;
    int rate_ = 22050;
    bool subsystem_ = false;
    SDL_AudioDeviceID device_ = 0;
    // Written under mutex_; read without it by resting(), which the layer asks under its own.
    enum class Rest { Running, Paused, Closed };  // Closed: closed after a rest, opened on resume
    std::atomic<Rest> rest_{Rest::Running};
    bool quit_ = false;
    SteadyClock::time_point restSince_{};
    std::thread closer_;
    std::atomic<uint64_t> calls_{0};  // callbacks so far
    uint64_t lastCalls_ = 0;
    SteadyClock::time_point lastChange_{};
};

}  // namespace

std::shared_ptr<AudioSink> MakeDeviceAudioSink(std::shared_ptr<DeviceCounts> counts,
                                               std::string drivers) {
    return std::make_shared<DeviceAudioSink>(std::move(counts), std::move(drivers));
}

}  // namespace vellora::speech
