// The test doubles, for tests and benchmarks only.
#include "platform/speechsynthesis/doubles.h"

#include <algorithm>
#include <thread>

namespace vellora::speech::testing {

std::vector<VoiceEntry> RecordingEngine::DefaultVoices() {
    return {
        {"English", "en", "en-gb, en", 1, 0, ""},
        {"Deutsch", "de", "de", 2, 30, ""},
        {"Fran\xC3\xA7"
         "ais",
         "fr", "fr-fr, fr", 0, 0, ""},
    };
}

RecordingEngine::RecordingEngine(std::vector<VoiceEntry> voices, int rate)
    : voices_(std::move(voices)), rate_(rate) {}

void RecordingEngine::SetFramesPerCharacter(uint64_t frames) {
    std::lock_guard lock(mutex_);
    framesPerCharacter_ = frames;
}

void RecordingEngine::SetScript(std::function<FakeSpeech(const SynthRequest&)> script) {
    std::lock_guard lock(mutex_);
    script_ = std::move(script);
}

void RecordingEngine::SetFailing(bool failing) {
    std::lock_guard lock(mutex_);
    failing_ = failing;
}

void RecordingEngine::SetHolding(bool holding) {
    std::lock_guard lock(mutex_);
    holding_ = holding;
    changed_.notify_all();
}

bool RecordingEngine::WaitUntilHeld(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return held_; });
}

std::vector<SynthRequest> RecordingEngine::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<Engine::ChannelCall> RecordingEngine::Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

void RecordingEngine::note(const ChannelCall& call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(call);
}

bool RecordingEngine::synthesize(const SynthRequest& request, SynthOutput& out) {
    FakeSpeech speech;
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
        if (failing_) return false;
        if (script_) {
            speech = script_(request);
        } else {
            size_t pos = 0;
            bool inWord = false, sentence = true;
            for (size_t i = 0; i < request.text.size(); ++i) {
                unsigned char c = request.text[i];
                if ((c & 0xC0) == 0x80) continue;  // within a code point
                bool blank = c == ' ' || c == '\n' || c == '\t' || c == '\r';
                if (sentence && !blank) {
                    speech.marks.push_back(
                        {SynthOutput::Mark::Sentence, pos, pos * framesPerCharacter_});
                    sentence = false;
                }
                if (!inWord && !blank)
                    speech.marks.push_back(
                        {SynthOutput::Mark::Word, pos, pos * framesPerCharacter_});
                inWord = !blank;
                if (c == '.' || c == '!' || c == '?') sentence = true;
                ++pos;
            }
            speech.frames = pos * framesPerCharacter_;
        }
    }
    std::sort(speech.marks.begin(), speech.marks.end(),
              [](const FakeMark& a, const FakeMark& b) { return a.frame < b.frame; });
    constexpr uint64_t kBlock = 256;
    size_t nextMark = 0;
    int16_t block[kBlock];
    for (uint64_t at = 0; at < speech.frames || nextMark < speech.marks.size();) {
        uint64_t n = std::min(kBlock, speech.frames - std::min(at, speech.frames));
        // Like espeak-ng, the marks of a block come before its audio.
        for (; nextMark < speech.marks.size() && (speech.marks[nextMark].frame < at + n || n == 0);
             ++nextMark)
            out.mark(speech.marks[nextMark].kind, speech.marks[nextMark].textPos,
                     speech.marks[nextMark].frame);
        if (n == 0) break;
        for (uint64_t k = 0; k < n; ++k) block[k] = int16_t(1 + (at + k) % 30000);
        if (!out.samples(block, size_t(n))) return true;
        at += n;
        // out.cancelled() takes the layer's lock, which is never taken inside mutex_.
        for (bool cancelled = out.cancelled();; cancelled = out.cancelled()) {
            std::unique_lock lock(mutex_);
            if (!holding_ || cancelled) {
                held_ = false;
                break;
            }
            held_ = true;
            changed_.notify_all();
            changed_.wait_for(lock, std::chrono::milliseconds(2));
        }
    }
    return true;
}

bool ManualAudioClock::start(AudioSource& source, int sampleRate) {
    std::lock_guard lock(mutex_);
    source_ = &source;
    rate_ = sampleRate;
    return true;
}

void ManualAudioClock::stop() {
    std::lock_guard lock(mutex_);
    source_ = nullptr;
}

std::vector<int16_t> ManualAudioClock::Pull(size_t frames) {
    std::lock_guard lock(mutex_);
    if (!source_) return {};
    std::vector<int16_t> out(frames);
    source_->mix(out.data(), frames);
    return out;
}

FakeAudioDevice::~FakeAudioDevice() {
    stop();
}

void FakeAudioDevice::SetPresent(bool present) {
    present_ = present;
}

int FakeAudioDevice::Opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

int FakeAudioDevice::Attempts() const {
    std::lock_guard lock(mutex_);
    return attempts_;
}

bool FakeAudioDevice::start(AudioSource& source, int) {
    std::lock_guard lock(mutex_);
    ++attempts_;
    if (!present_ || thread_.joinable()) return present_;
    ++opens_;
    running_ = true;
    resting_ = false;
    thread_ = std::thread([this, &source] {
        int16_t block[256];
        while (running_ && present_) {
            if (!resting_) source.mix(block, 256);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    return true;
}

void FakeAudioDevice::stop() {
    std::lock_guard lock(mutex_);
    running_ = false;
    if (thread_.joinable()) thread_.join();
}

bool FakeAudioDevice::lost() {
    std::lock_guard lock(mutex_);
    return !present_ || !thread_.joinable();
}

}  // namespace vellora::speech::testing
