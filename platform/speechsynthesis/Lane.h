// A channel's way into the mixer: a ring of frames written by the layer's lock holder (one at
// a time, so one producer) and read by the audio callback, which never waits for it. Positions
// count frames since the lane was made and only grow.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vellora::speech {

struct Lane {
    static constexpr uint64_t kFrames = uint64_t(1) << 17;  // about 6 s at espeak-ng's rate
    static constexpr uint64_t kMask = kFrames - 1;
    std::unique_ptr<int16_t[]> ring{new int16_t[kFrames]};
    alignas(64) std::atomic<uint64_t> written{0};  // the producer's
    alignas(64) std::atomic<uint64_t> read{0};     // the callback's
    std::atomic<uint64_t> floor{0};                // frames before it are skipped unheard
    std::atomic<uint64_t> limit{UINT64_MAX};       // no frame at or past it plays (unless passed)
    std::atomic<bool> paused{false};
    std::atomic<bool> live{false};   // belongs to a channel
    std::atomic<uint64_t> mixed{0};  // frames the callback played, over the lane's life

    // [producer] Frames that can be written without overwriting what has not been read.
    uint64_t room() const {
        return kFrames -
               (written.load(std::memory_order_relaxed) - read.load(std::memory_order_acquire));
    }

    // [producer] Frames to write now: enough to hold kHeld ahead of what is still to play, and
    // never over what is unread. The other half of the ring is room for speech after a drop,
    // which an output at rest (no pull past the dropped frames yet) must find in its first pull.
    static constexpr uint64_t kHeld = kFrames / 2;
    uint64_t space() const {
        uint64_t w = written.load(std::memory_order_relaxed);
        // read and floor never pass written
        uint64_t toPlay = w - std::max(read.load(std::memory_order_acquire),
                                       floor.load(std::memory_order_relaxed));
        return std::min(room(), toPlay >= kHeld ? 0 : kHeld - toPlay);
    }

    // [producer] Appends `n` frames, n <= room().
    void write(const int16_t* src, uint64_t n) {
        uint64_t w = written.load(std::memory_order_relaxed);
        uint64_t first = std::min(n, kFrames - (w & kMask));
        std::copy(src, src + first, ring.get() + (w & kMask));
        std::copy(src + first, src + n, ring.get());
        written.store(w + n, std::memory_order_release);
    }

    // [producer] Drops all that was written and not yet played.
    void drop() {
        floor.store(written.load(std::memory_order_relaxed), std::memory_order_release);
        limit.store(UINT64_MAX, std::memory_order_release);
        paused.store(false, std::memory_order_release);
    }

    // [audio, never waits] Adds up to `frames` frames from where the callback left off to
    // `acc`, skipping what was dropped and stopping at the limit; returns the frames added.
    size_t mixInto(int32_t* acc, size_t frames) {
        if (!live.load(std::memory_order_acquire) || paused.load(std::memory_order_acquire))
            return 0;
        uint64_t r = read.load(std::memory_order_relaxed);
        uint64_t from = r;
        uint64_t skipTo = floor.load(std::memory_order_acquire);
        uint64_t w = written.load(std::memory_order_acquire);
        uint64_t stop = limit.load(std::memory_order_acquire);
        if (r < skipTo) r = std::min(skipTo, w);
        uint64_t end = stop >= r && stop < w ? stop : w;
        size_t n = size_t(std::min<uint64_t>(frames, end - r));
        const int16_t* src = ring.get();
        for (size_t k = 0; k < n; ++k) acc[k] += src[(r + k) & kMask];
        if (n == 0 && r == from) return 0;
        read.store(r + n, std::memory_order_release);
        if (n) mixed.fetch_add(n, std::memory_order_relaxed);
        return n;
    }
};

}  // namespace vellora::speech
