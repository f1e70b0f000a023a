// The process's audio output where a sound server answers: one playback stream on the user's
// sound server (PulseAudio's, or PipeWire's through its PulseAudio service), kept open while
// the program runs, corked while nothing plays and flushed when speech is cut off.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/speechsynthesis/Engine.h"

namespace vellora::speech {

// The few calls into the server that the sink makes, so that its logic can run against a fake
// server. The backend's lock is the server connection's own (lock()/unlock()); every call but
// open() and close() is made with it held, and the backend calls its Events with it held, on
// its own thread.
class PulseBackend {
  public:
    class Events {
      public:
        // [backend thread, never waits] The server would take `bytes` now (it asks again as
        // it plays, whether or not it was given what it asked for).
        virtual void writable(size_t bytes) = 0;

      protected:
        ~Events() = default;
    };

    virtual ~PulseBackend() = default;
    // Connects and opens a corked mono S16 stream at `rate`, asking for a total latency of
    // `latencyFrames`; gives up after the backend's time limit. False when no server answers.
    // [worker]
    virtual bool open(int rate, uint32_t latencyFrames, Events& events) = 0;
    // Disconnects; no event comes after it returns. Harmless when not open. [worker]
    virtual void close() = 0;
    virtual void lock() = 0;
    virtual void unlock() = 0;
    virtual void cork(bool corked) = 0;
    virtual void flush() = 0;  // what the server holds of the stream is dropped
    virtual size_t writableSize() = 0;
    // The stream's buffer on the server: once it would take this much, it holds nothing.
    virtual size_t bufferBytes() = 0;
    // A buffer of the server's for up to `*bytes` (lowered to what it gives); false on error.
    virtual bool beginWrite(void** data, size_t* bytes) = 0;
    virtual bool write(const void* data, size_t bytes) = 0;
    // The connection or the stream failed (the server went away). [any]
    virtual bool failed() const = 0;
    // The total latency the server granted, in frames; 0 when not known. [worker]
    virtual uint32_t grantedLatencyFrames() { return 0; }
};

// The real server, through libpulse. `connectLimit` bounds open(): a server named in
// PULSE_SERVER that never answers does not hold up the program's start. No server is spawned.
std::unique_ptr<PulseBackend> MakeLibPulseBackend(
    std::chrono::milliseconds connectLimit = std::chrono::milliseconds(500));

// The last open() of the real backend in this process gave up on a server that took the
// connection and did not answer in time. The fallback output is not tried then: ALSA's default
// device may itself lead to that server, through a client whose wait is far longer. [any]
bool PulseServerHung();

// The total latency the sink asks of the server: a few milliseconds, so that the first word
// after a rest is heard at once.
constexpr int kPulseLatencyMs = 5;

// The sink over `backend`. At rest the stream is corked (the server does not wake it); after a
// natural end it is corked once the server has played what it held, so the last word's tail is
// heard, and a cut (flush()) drops at once what the server holds.
std::shared_ptr<AudioSink> MakePulseAudioSink(std::unique_ptr<PulseBackend> backend);

}  // namespace vellora::speech
