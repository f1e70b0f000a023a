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

class FakePulseBackend final : public PulseBackend {
  public:
    explicit FakePulseBackend(FakePulseServer& server) : s_(server) {}
    ~FakePulseBackend() override { close(); }

    bool open(int, uint32_t, Events& events) override {
        std::lock_guard lock(s_.mutex_);
        if (!s_.present_) return false;
        s_.open_ = true;
        s_.failed_ = false;
        s_.corked_ = true;
        s_.held_ = 0;
        s_.events_ = &events;
        ++s_.opens_;
        return true;
    }
    void close() override {
        std::lock_guard lock(s_.mutex_);
        s_.open_ = false;
        s_.events_ = nullptr;
    }
    void lock() override { s_.mutex_.lock(); }
    void unlock() override { s_.mutex_.unlock(); }
    void cork(bool corked) override {
        s_.corked_ = corked;
        s_.commands_.push_back(corked ? "cork" : "uncork");
    }
    void flush() override {
        s_.held_ = 0;
        s_.commands_.push_back("flush");
    }
    size_t writableSize() override { return FakePulseServer::kHoldBytes - s_.held_; }
    size_t bufferBytes() override { return FakePulseServer::kHoldBytes; }
    bool beginWrite(void** data, size_t* bytes) override {
        if (s_.failed_) return false;
        *bytes = std::min(*bytes, s_.buffer_.size() * sizeof(int16_t));
        *data = s_.buffer_.data();
        return true;
    }
    bool write(const void* data, size_t bytes) override {
        if (s_.failed_) return false;
        const auto* pcm = static_cast<const int16_t*>(data);
        for (size_t i = 0; i < bytes / sizeof(int16_t); ++i) s_.sounding_ += pcm[i] != 0;
        s_.held_ += bytes;
        return true;
    }
    bool failed() const override {
        std::lock_guard lock(s_.mutex_);
        return s_.failed_;
    }

  private:
    FakePulseServer& s_;
};

FakePulseServer::FakePulseServer() : buffer_(kHoldBytes / sizeof(int16_t)) {
    clock_ = std::thread([this] {
        while (!quit_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::lock_guard lock(mutex_);
            if (!open_ || failed_) continue;
            if (!present_) {
                failed_ = true;
                continue;
            }
            if (corked_ || !playing_) continue;
            held_ -= std::min<size_t>(held_, 256 * sizeof(int16_t));
            if (held_ < kHoldBytes && events_) {
                ++requests_;
                events_->writable(kHoldBytes - held_);
            }
        }
    });
}

FakePulseServer::~FakePulseServer() {
    quit_ = true;
    clock_.join();
}

std::unique_ptr<PulseBackend> FakePulseServer::Backend() {
    return std::make_unique<FakePulseBackend>(*this);
}

void FakePulseServer::SetPresent(bool present) {
    std::lock_guard lock(mutex_);
    present_ = present;
}
void FakePulseServer::SetPlaying(bool playing) {
    std::lock_guard lock(mutex_);
    playing_ = playing;
}
std::vector<std::string> FakePulseServer::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}
void FakePulseServer::ClearCommands() {
    std::lock_guard lock(mutex_);
    commands_.clear();
}
bool FakePulseServer::Corked() const {
    std::lock_guard lock(mutex_);
    return corked_;
}
size_t FakePulseServer::Held() const {
    std::lock_guard lock(mutex_);
    return held_;
}
uint64_t FakePulseServer::SoundingWritten() const {
    std::lock_guard lock(mutex_);
    return sounding_;
}
uint64_t FakePulseServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}
int FakePulseServer::Opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

}  // namespace vellora::speech::testing
