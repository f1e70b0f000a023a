// A fake synthesizer whose audio has silence before and after its sound, as espeak-ng's has,
// and a way to find the sounds in what was played. Shared by the tests of the speech layer and
// of the runtime's speech.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <vector>

#include "platform/speechsynthesis/Engine.h"

namespace speechtest {

using vellora::speech::Engine;
using vellora::speech::SynthOutput;
using vellora::speech::SynthRequest;
using vellora::speech::VoiceEntry;

constexpr int kRate = 22050;
constexpr size_t kPause = kRate * 80 / 1000;  // the pause kept between words that follow
constexpr size_t kFade = kRate / 2000;        // 0.5 ms

// `lead` zeros, then `perChar` frames of sound for each code point, then `tail` zeros, made in
// 10 ms blocks; a word mark where each word's sound starts. Sound frame k of the n-th request
// is `level` + 2000 * (n % 8) + k % 1000, so each word can be told from the others.
class ShapedEngine final : public Engine {
  public:
    size_t lead = 1000, perChar = 200, tail = kRate * 300 / 1000;
    int level = 1000, spread = 2000;

    int16_t Sound(size_t request, size_t k) const {
        return int16_t(level + spread * int(request % 8) + int(k % 1000));
    }

    // The next request waits after its first block until Release().
    void Hold() {
        std::lock_guard lock(mutex_);
        holding_ = true;
    }
    bool WaitUntilHeld() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return held_; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        holding_ = false;
        changed_.notify_all();
    }

    int sampleRate() const override { return kRate; }
    std::vector<VoiceEntry> voices() const override { return {{"English", "en", "en", 1, 0, ""}}; }
    bool synthesize(const SynthRequest& r, SynthOutput& out) override {
        size_t n = requests_++;
        std::vector<int16_t> pcm(lead, 0);
        size_t chars = 0;
        bool inWord = false;
        for (size_t i = 0; i < r.text.size(); ++i) {
            if ((static_cast<unsigned char>(r.text[i]) & 0xC0) == 0x80) continue;
            bool blank = r.text[i] == ' ';
            if (!blank && !inWord) out.mark(SynthOutput::Mark::Word, chars, pcm.size());
            inWord = !blank;
            for (size_t k = 0; k < perChar; ++k) pcm.push_back(Sound(n, pcm.size() - lead));
            ++chars;
        }
        pcm.resize(pcm.size() + tail, 0);
        for (size_t at = 0; at < pcm.size(); at += kRate / 100) {
            if (!out.samples(pcm.data() + at, std::min<size_t>(kRate / 100, pcm.size() - at)))
                return true;
            std::unique_lock lock(mutex_);
            if (holding_) {
                held_ = true;
                changed_.notify_all();
                changed_.wait(lock, [&] { return !holding_; });
                held_ = false;
            }
        }
        return true;
    }
    size_t Requests() const { return requests_; }

  private:
    std::atomic<size_t> requests_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool holding_ = false, held_ = false;
};

struct Stretch {
    size_t start, length;
    bool operator==(const Stretch&) const = default;
};
inline std::ostream& operator<<(std::ostream& o, const Stretch& r) {
    return o << "{" << r.start << ", " << r.length << "}";
}

// The stretches of sound in what was played.
inline std::vector<Stretch> Runs(const std::vector<int16_t>& s) {
    std::vector<Stretch> runs;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == 0) continue;
        if (runs.empty() || runs.back().start + runs.back().length != i) runs.push_back({i, 0});
        ++runs.back().length;
    }
    return runs;
}

}  // namespace speechtest
