#include "platform/speechsynthesis/PulseAudioSink.h"

#include <atomic>
#include <mutex>

namespace vellora::speech {
namespace {

// The sink's state is kept under the backend's lock, which the server's thread holds while it
// asks for samples: the pull takes no lock of ours and allocates nothing (it mixes straight
// into the server's own buffer).
class PulseAudioSink final : public AudioSink, private PulseBackend::Events {
  public:
    explicit PulseAudioSink(std::unique_ptr<PulseBackend> backend) : backend_(std::move(backend)) {}
    ~PulseAudioSink() override { stop(); }

    bool start(AudioSource& source, int sampleRate) override {
        std::lock_guard guard(startStop_);
        if (open_) return true;
        source_ = &source;
        // The stream opens corked: nothing plays until the layer resumes it.
        corked_ = true;
        resting_ = true;
        uint32_t latency = uint32_t(sampleRate * kPulseLatencyMs / 1000);
        open_ = backend_->open(sampleRate, latency, *this);
        return open_;
    }

    void stop() override {
        std::lock_guard guard(startStop_);
        if (!open_) return;
        backend_->close();
        open_ = false;
        resting_ = true;
    }

    // A natural end: what the server holds is the last word's tail, which is heard out before
    // the stream is corked (by the pull, once the server holds nothing).
    void rest() override { resting_ = true; }

    void flush() override {
        std::lock_guard guard(startStop_);
        resting_ = true;
        if (!open_) return;
        backend_->lock();
        if (!corked_) backend_->cork(true);
        corked_ = true;
        backend_->flush();
        backend_->unlock();
    }

    // The first samples go to the server at once, with the uncork, rather than after the
    // server's next request.
    void resume() override {
        std::lock_guard guard(startStop_);
        resting_ = false;
        if (!open_) return;
        backend_->lock();
        if (corked_) backend_->cork(false);
        corked_ = false;
        fill(backend_->writableSize());
        backend_->unlock();
    }

    bool resting() const override { return resting_; }

    bool lost() override {
        std::lock_guard guard(startStop_);
        return !open_ || backend_->failed();
    }

  private:
    void writable(size_t bytes) override {
        if (corked_) return;
        if (!resting_.load(std::memory_order_relaxed)) return fill(bytes);
        // At rest nothing more is written; the server, which plays on through silence, is
        // corked once what it held has played, and then holds nothing stale for the next word
        // to wait behind.
        if (bytes >= backend_->bufferBytes()) {
            backend_->cork(true);
            corked_ = true;
        }
    }

    // Under the backend's lock.
    void fill(size_t bytes) {
        bytes -= bytes % sizeof(int16_t);
        while (bytes > 0) {
            void* data = nullptr;
            size_t n = bytes;
            if (!backend_->beginWrite(&data, &n) || n < sizeof(int16_t)) return;
            n -= n % sizeof(int16_t);
            source_->mix(static_cast<int16_t*>(data), n / sizeof(int16_t));
            if (!backend_->write(data, n)) return;
            bytes -= n;
        }
    }

    const std::unique_ptr<PulseBackend> backend_;
    std::mutex startStop_;  // the worker's calls, one at a time; never taken by the pull
    bool open_ = false;     // under startStop_
    AudioSource* source_ = nullptr;
    bool corked_ = true;  // under the backend's lock once open
    std::atomic<bool> resting_{true};
};

}  // namespace

std::shared_ptr<AudioSink> MakePulseAudioSink(std::unique_ptr<PulseBackend> backend) {
    return std::make_shared<PulseAudioSink>(std::move(backend));
}

}  // namespace vellora::speech
