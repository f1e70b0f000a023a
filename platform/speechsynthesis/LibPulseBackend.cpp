// The sound server through libpulse's threaded main loop: its thread runs the stream's
// callbacks with the loop's lock held, the worker takes that lock for its few calls.
#include <pulse/pulseaudio.h>

#include <atomic>

#include "platform/speechsynthesis/PulseAudioSink.h"

namespace vellora::speech {
namespace {

std::atomic<bool> gHung{false};

class LibPulseBackend final : public PulseBackend {
  public:
    explicit LibPulseBackend(std::chrono::milliseconds limit) : limit_(limit) {}
    ~LibPulseBackend() override { close(); }

    bool open(int rate, uint32_t latencyFrames, Events& events) override {
        close();
        events_ = &events;
        failed_ = false;
        timedOut_ = false;
        loop_ = pa_threaded_mainloop_new();
        if (!loop_) return false;
        pa_proplist* props = pa_proplist_new();
        pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Vellora");
        // Speech for a reader of the screen: a server may route or duck it as such.
        pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "a11y");
        context_ =
            pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Vellora", props);
        if (!context_) {
            pa_proplist_free(props);
            close();
            return false;
        }
        pa_context_set_state_callback(context_, &LibPulseBackend::contextState, this);
        // Never spawns a server: a desktop without one gets the fallback output.
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
            pa_threaded_mainloop_start(loop_) < 0) {
            pa_proplist_free(props);
            close();
            return false;
        }
        pa_threaded_mainloop_lock(loop_);
        pa_time_event* timer =
            pa_context_rttime_new(context_, pa_rtclock_now() + pa_usec_t(limit_.count()) * 1000,
                                  &LibPulseBackend::timeUp, this);
        bool ok = waitForContext();
        if (ok) ok = openStream(rate, latencyFrames, props);
        gHung = !ok && timedOut_;
        if (timer) pa_threaded_mainloop_get_api(loop_)->time_free(timer);
        pa_threaded_mainloop_unlock(loop_);
        pa_proplist_free(props);
        if (!ok) close();
        return ok;
    }

    void close() override {
        if (!loop_) return;
        pa_threaded_mainloop_stop(loop_);  // joins its thread: no callback after this
        if (stream_) {
            pa_stream_set_write_callback(stream_, nullptr, nullptr);
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
        if (context_) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
        events_ = nullptr;
    }

    void lock() override { pa_threaded_mainloop_lock(loop_); }
    void unlock() override { pa_threaded_mainloop_unlock(loop_); }

    void cork(bool corked) override { done(pa_stream_cork(stream_, corked, nullptr, nullptr)); }
    void flush() override { done(pa_stream_flush(stream_, nullptr, nullptr)); }

    size_t writableSize() override {
        size_t n = pa_stream_writable_size(stream_);
        return n == size_t(-1) ? 0 : n;
    }
    size_t bufferBytes() override {
        const pa_buffer_attr* a = pa_stream_get_buffer_attr(stream_);
        return a ? a->tlength : 0;
    }
    bool beginWrite(void** data, size_t* bytes) override {
        return pa_stream_begin_write(stream_, data, bytes) == 0 && *data;
    }
    bool write(const void* data, size_t bytes) override {
        return pa_stream_write(stream_, data, bytes, nullptr, 0, PA_SEEK_RELATIVE) == 0;
    }
    bool failed() const override { return failed_.load(std::memory_order_acquire); }

    uint32_t grantedLatencyFrames() override {
        if (!loop_ || !stream_) return 0;
        pa_threaded_mainloop_lock(loop_);
        const pa_buffer_attr* a = pa_stream_get_buffer_attr(stream_);
        uint32_t frames = a ? a->tlength / 2 : 0;
        pa_threaded_mainloop_unlock(loop_);
        return frames;
    }

  private:
    // Under the loop's lock: until the connection is ready or failed, or the time is up.
    bool waitForContext() {
        for (;;) {
            pa_context_state_t s = pa_context_get_state(context_);
            if (s == PA_CONTEXT_READY) return true;
            if (!PA_CONTEXT_IS_GOOD(s) || timedOut_) return false;
            pa_threaded_mainloop_wait(loop_);
        }
    }

    bool openStream(int rate, uint32_t latencyFrames, pa_proplist* props) {
        pa_sample_spec spec{PA_SAMPLE_S16NE, uint32_t(rate), 1};
        stream_ = pa_stream_new_with_proplist(context_, "Speech", &spec, nullptr, props);
        if (!stream_) return false;
        pa_stream_set_state_callback(stream_, &LibPulseBackend::streamState, this);
        pa_stream_set_write_callback(stream_, &LibPulseBackend::writeCb, this);
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.tlength = latencyFrames * 2;
        // Playback starts with the first bytes written: nothing is held back to fill a buffer.
        attr.prebuf = 0;
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(-1);
        auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0)
            return false;
        for (;;) {
            pa_stream_state_t s = pa_stream_get_state(stream_);
            if (s == PA_STREAM_READY) return true;
            if (!PA_STREAM_IS_GOOD(s) || timedOut_) return false;
            pa_threaded_mainloop_wait(loop_);
        }
    }

    static void done(pa_operation* op) {
        if (op) pa_operation_unref(op);
    }

    static void contextState(pa_context* c, void* self) {
        auto* b = static_cast<LibPulseBackend*>(self);
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(c))) b->failed_ = true;
        pa_threaded_mainloop_signal(b->loop_, 0);
    }
    static void streamState(pa_stream* s, void* self) {
        auto* b = static_cast<LibPulseBackend*>(self);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(s))) b->failed_ = true;
        pa_threaded_mainloop_signal(b->loop_, 0);
    }
    static void timeUp(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        auto* b = static_cast<LibPulseBackend*>(self);
        b->timedOut_ = true;
        pa_threaded_mainloop_signal(b->loop_, 0);
    }
    static void writeCb(pa_stream*, size_t bytes, void* self) {
        auto* b = static_cast<LibPulseBackend*>(self);
        if (b->events_) b->events_->writable(bytes);
    }

    const std::chrono::milliseconds limit_;
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    Events* events_ = nullptr;
    std::atomic<bool> failed_{false};
    bool timedOut_ = false;  // under the loop's lock
};

}  // namespace

bool PulseServerHung() {
    return gHung;
}

std::unique_ptr<PulseBackend> MakeLibPulseBackend(std::chrono::milliseconds connectLimit) {
    return std::make_unique<LibPulseBackend>(connectLimit);
}

}  // namespace vellora::speech
