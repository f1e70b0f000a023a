#include "platform/speechsynthesis/Layer.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <optional>
#include <utility>

#include "platform/speechsynthesis/Chunking.h"
#include "platform/speechsynthesis/EspeakEngine.h"
#include "platform/speechsynthesis/Lane.h"
#include "platform/speechsynthesis/Notify.h"
#include "platform/speechsynthesis/SoundFile.h"
#include "platform/speechsynthesis/SystemAudioSink.h"
#include "platform/speechsynthesis/TextConverter.h"
#include "platform/speechsynthesis/Voices.h"

namespace vellora::speech {
namespace {

// The worker keeps this much audio made ahead of what plays, and makes no more: enough to
// ride over the engine's time on another channel's stretch.
constexpr uint64_t kAheadSeconds = 2;

// Samples this close to zero are silence: espeak-ng's tail may dither rather than end in zeros.
constexpr int kQuietLevel = 32;

// The silence kept after a word's last sound when the next speech is already waiting. 381 ms
// of sound plus this makes a four-letter echoed word 461 ms long, under the 500 ms between
// words at ten keys a second; words do not run together from about 60 ms on, and this leaves
// a typist's next word room to be handed over while the pause plays.
constexpr int kFollowPauseMs = 80;

// Closing silence past the kept pause goes into the lane only this far ahead of what plays:
// it may yet be cut short when more speech follows. Enough for the worker's answer to the
// callbacks, so that the lane does not run dry.
constexpr int kSilenceAheadMs = 50;

}  // namespace

struct Mark {
    uint64_t frame;    // frame of the utterance
    uint32_t textPos;  // byte of the utterance's text
};

// One SpeakText: its text, the audio made from it and not yet in the lane, and how far it has
// been played.
struct Utterance {
    std::string text;  // Mac Roman, or UTF-8 when utf8 is set
    bool utf8 = false;
    bool toFile = false;
    std::unique_ptr<SoundFile> file;  // while the speech goes to a sound file
    size_t nextChunk = 0;             // first byte not yet handed to the engine
    bool synthDone = false;           // the engine makes no more of it (all made, or it failed)

    uint64_t origin = 0;       // the lane's frame where the utterance's frame 0 lies
    std::vector<int16_t> pcm;  // made, not yet in the lane: frames [queued, produced)
    size_t pcmHead = 0;        // pcm[pcmHead] is frame `queued`
    uint64_t queued = 0;       // frames handed to the lane
    uint64_t produced = 0;
    uint64_t playhead = 0;     // frames played (or written to the file)
    uint64_t lastSound = 0;    // one past the last frame made that is not silence
    bool moreFollows = false;  // more speech waits: the closing silence is cut to a short pause
    // Over, and what it left in the lane is its closing pause, to be heard before the speech
    // that follows it.
    bool pauseKept = false;
    std::deque<Mark> words;
    std::deque<Mark> sentences;
    bool wordStarted = false;
    bool sentenceStarted = false;
    uint32_t textPos = 0;  // start of the word being spoken

    enum class State {
        Speaking,    // heard (or written) as it is made
        PausingAt,   // to pause where pendingWhere says
        StoppingAt,  // to stop where pendingWhere says
        Paused,
        Closing,  // sound file: closed after the stretch being made; nothing more is made
        Over,     // played out, stopped or failed: not busy any more
    } state = State::Speaking;
    int pendingWhere = 0;  // PausingAt, StoppingAt: kSpeechEndOfWord or kSpeechEndOfSentence

    bool over() const { return state == State::Over; }
    bool paused() const { return state == State::Paused; }
};

struct Channel {
    uintptr_t handle = 0;
    ChannelOptions options;
    Lane* lane = nullptr;
    uint64_t mixedBase = 0;  // lane->mixed when the channel took the lane
    std::shared_ptr<Utterance> current;
    std::function<void()> onDone;  // on the worker, once the speech ends
    bool doneDue = false;          // the speech set last has not been reported done

    bool busy() const { return current && !current->over(); }
};

namespace {

void AdvanceMarks(Utterance& u) {
    while (!u.words.empty() && u.words.front().frame <= u.playhead) {
        u.textPos = u.words.front().textPos;
        u.wordStarted = true;
        u.words.pop_front();
    }
    while (!u.sentences.empty() && u.sentences.front().frame <= u.playhead) {
        u.sentenceStarted = true;
        u.sentences.pop_front();
    }
}

// The frame where a pending pause or stop takes effect: the start of the next word or
// sentence (not of the first one, which has not begun yet); unknown until it is made.
std::optional<uint64_t> Target(const Utterance& u) {
    if (u.state != Utterance::State::PausingAt && u.state != Utterance::State::StoppingAt)
        return std::nullopt;
    bool word = u.pendingWhere == kSpeechEndOfWord;
    const std::deque<Mark>& marks = word ? u.words : u.sentences;
    size_t i = (word ? u.wordStarted : u.sentenceStarted) ? 0 : 1;
    if (i < marks.size()) return marks[i].frame;
    return std::nullopt;
}

void Apply(Utterance& u) {
    u.state =
        u.state == Utterance::State::PausingAt ? Utterance::State::Paused : Utterance::State::Over;
}

// Something of the channel is to be heard, now or once it is made.
bool Audible(const Channel& ch) {
    const Utterance* u = ch.current.get();
    return u && !u->toFile && !u->over() && !u->paused();
}

// The silence the engine puts before the first sound is not played when speech starts from
// quiet; the sound then fades in over this long, so that a first sample far from zero does
// not click. Only exact zeros are cut: a plosive's quiet start is sound.
constexpr int kFadeInUs = 500;

uint64_t Frames(int rate, int ms) {
    return uint64_t(rate) * uint64_t(ms) / 1000;
}

// Where speech followed by more is cut: its last sound and the short pause after it.
uint64_t CutAt(const Utterance& u, int rate) {
    return std::min(u.produced, u.lastSound + Frames(rate, kFollowPauseMs));
}

int Clamp(double v, int lo, int hi) {
    return std::clamp(int(std::lround(v)), lo, hi);
}

}  // namespace

// Hands what the engine makes of one stretch to its utterance.
class ChunkOutput final : public SynthOutput {
  public:
    ChunkOutput(Layer& layer, std::shared_ptr<Channel> ch, std::shared_ptr<Utterance> u,
                uint64_t frameBase, uint32_t textBase, int trimLeadAtRate = 0)
        : layer_(layer),
          ch_(std::move(ch)),
          u_(std::move(u)),
          frameBase_(frameBase),
          textBase_(textBase),
          fadeFrames_(size_t(trimLeadAtRate) * kFadeInUs / 1000000),
          trimming_(trimLeadAtRate > 0) {}

    bool samples(const int16_t* pcm, size_t frames) override {
        if (trimming_ && !u_->toFile) return trim(pcm, frames);
        return add(pcm, frames);
    }

    // Marks held back while the leading silence was being cut; called once the engine is done.
    void flush() {
        trimming_ = false;
        std::lock_guard lock(layer_.mutex_);
        for (const HeldMark& m : held_) push(m.kind, m.textPos, m.frame);
        held_.clear();
    }

    void mark(Mark kind, size_t textPos, uint64_t frame) override {
        if (trimming_ && !u_->toFile) {
            held_.push_back({kind, textPos, frame});
            return;
        }
        std::lock_guard lock(layer_.mutex_);
        push(kind, textPos, frame);
    }

    bool cancelled() const override {
        std::lock_guard lock(layer_.mutex_);
        return u_->over() || u_->state == Utterance::State::Closing;
    }

    bool failed = false;

  private:
    struct HeldMark {
        Mark kind;
        size_t textPos;
        uint64_t frame;
    };

    // Drops the silent frames before the first sound.
    bool trim(const int16_t* pcm, size_t frames) {
        size_t first = 0;
        while (first < frames && pcm[first] == 0) ++first;
        trimmed_ += first;
        if (first == frames) return !cancelled();
        trimming_ = false;
        // A sound that starts next to zero needs no fade.
        fading_ = std::abs(int(pcm[first])) > kQuietLevel;
        {
            std::lock_guard lock(layer_.mutex_);
            for (const HeldMark& m : held_) push(m.kind, m.textPos, m.frame);
            held_.clear();
        }
        return add(pcm + first, frames - first);
    }

    bool add(const int16_t* pcm, size_t frames) {
        if (u_->toFile) {
            {
                std::lock_guard lock(layer_.mutex_);
                if (u_->over() || u_->state == Utterance::State::Closing || !u_->file) return false;
            }
            // Only the worker touches the file while the engine makes this utterance.
            if (!u_->file->write(pcm, frames)) {
                failed = true;
                return false;
            }
            std::lock_guard lock(layer_.mutex_);
            u_->produced += frames;
            u_->playhead = u_->produced;
            AdvanceMarks(*u_);
            return true;
        }
        std::shared_ptr<AudioSink> resting;
        {
            std::lock_guard lock(layer_.mutex_);
            if (u_->over()) return false;
            size_t at = u_->pcm.size();
            u_->pcm.insert(u_->pcm.end(), pcm, pcm + frames);
            if (fading_) fadeIn(u_->pcm.data() + at, frames);
            for (size_t i = frames; i-- > 0;) {
                if (std::abs(int(pcm[i])) > kQuietLevel) {
                    u_->lastSound = u_->produced + i + 1;
                    break;
                }
            }
            u_->produced += frames;
            if (ch_->current == u_) layer_.feed(*ch_);
            if (!u_->paused()) resting = layer_.wakeSink();
        }
        // The first samples of speech after a rest: the output runs again at once.
        if (resting) resting->resume();
        return true;
    }

    // The first frames after the cut silence, rising from nearly nothing to full level.
    void fadeIn(int16_t* pcm, size_t frames) {
        size_t n = std::min<size_t>(frames, fadeFrames_ - std::min(faded_, fadeFrames_));
        for (size_t i = 0; i < n; ++i, ++faded_)
            pcm[i] = int16_t(int32_t(pcm[i]) * int32_t(faded_ + 1) / int32_t(fadeFrames_ + 1));
        if (faded_ >= fadeFrames_) fading_ = false;
    }

    void push(Mark kind, size_t textPos, uint64_t frame) {
        frame = frame > trimmed_ ? frame - trimmed_ : 0;
        // The engine counts code points of the stretch; the status counts bytes of the text.
        size_t pos = textBase_;
        if (u_->utf8) {
            for (size_t k = 0; k < textPos && pos < u_->text.size(); ++k) {
                ++pos;
                while (pos < u_->text.size() &&
                       (static_cast<unsigned char>(u_->text[pos]) & 0xC0) == 0x80)
                    ++pos;
            }
        } else {
            pos += textPos;
        }
        pos = std::min(pos, u_->text.size());
        (kind == Mark::Word ? u_->words : u_->sentences)
            .push_back({frameBase_ + frame, uint32_t(pos)});
    }

    Layer& layer_;
    std::shared_ptr<Channel> ch_;
    std::shared_ptr<Utterance> u_;
    uint64_t frameBase_;
    uint32_t textBase_;
    size_t fadeFrames_;
    size_t faded_ = 0;
    bool fading_ = false;
    uint64_t trimmed_ = 0;  // frames of silence not played
    bool trimming_;
    std::vector<HeldMark> held_;
};

SynthRequest MakeRequest(const Settings& s) {
    SynthRequest r;
    r.rate = Clamp(s.rate / 65536.0, 80, 450);
    r.pitch = Clamp((s.pitch / 65536.0 - 26.0) * 2.5, 0, 100);
    r.range = Clamp(s.modulation / 65536.0 * 2.5, 0, 100);
    r.volume = Clamp(s.volume * 100.0 / 65536.0, 0, 100);
    r.spellCharacters = s.characterMode == kSpeechModeLiteral;
    r.speakDigits = s.numberMode == kSpeechModeLiteral;
    return r;
}

Layer::Layer() = default;

Layer& Layer::get() {
    // Never destroyed: the audio thread and the worker may still run while the process exits.
    static Layer* layer = new Layer;
    return *layer;
}

void Layer::ensureEngine() {
    if (engineTried_) return;
    engineTried_ = true;
    engine_ = MakeEspeakEngine();
    voices_ = engine_ ? engine_->voices() : std::vector<VoiceEntry>{};
}

int Layer::sampleRate() const {
    return engine_ ? engine_->sampleRate() : 22050;
}

Layer::Lock Layer::start() {
    Lock lock(mutex_);
    ensureEngine();
    if (!sinkTried_) {
        sinkTried_ = true;
        sinkOpening_ = true;
        std::shared_ptr<AudioSink> s = MakeSystemAudioSink();
        sink_ = s;
        int rate = sampleRate();
        lock.unlock();  // opening a device takes its time; the callback needs no lock
        bool ok = s->start(*this, rate);
        lock.lock();
        sinkOpening_ = false;
        if (sink_ == s) outputTried(ok);
        sinkOpened_.notify_all();
    }
    // A second caller meanwhile (the start begun ahead, and the program's first call) waits
    // for the output's first try: before it, speech would count as not available.
    sinkOpened_.wait(lock, [&] { return !sinkOpening_; });
    if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
    return lock;
}

Channel* Layer::findAndSettle(SpeechChannel chan) {
    uintptr_t handle = reinterpret_cast<uintptr_t>(chan);
    if (handle == 0) return nullptr;
    for (auto& ch : channels_) {
        if (ch->handle == handle) {
            settle(*ch);
            return ch.get();
        }
    }
    return nullptr;
}

bool Layer::exists(SpeechChannel chan) {
    return findAndSettle(chan) != nullptr;
}

ChannelOptions* Layer::options(SpeechChannel chan) {
    Channel* ch = findAndSettle(chan);
    return ch ? &ch->options : nullptr;
}

void Layer::note(const Engine::ChannelCall& call) {
    if (engine_) engine_->note(call);
}

void Layer::poke() {
    idle_ = false;
    signal_.release();
}

OSErr Layer::newChannel(int voice, SpeechChannel* chan) {
    Lane* lane = nullptr;
    if (!freeLanes_.empty()) {
        lane = freeLanes_.back();
        freeLanes_.pop_back();
    } else {
        size_t n = laneCount_.load(std::memory_order_relaxed);
        if (n == kMaxLanes) return memFullErr;
        lane = new Lane;
        lanes_[n].store(lane, std::memory_order_release);
        laneCount_.store(n + 1, std::memory_order_release);
    }
    lane->drop();
    lane->live.store(true, std::memory_order_release);
    auto ch = std::make_shared<Channel>();
    // Handles are never reused, so a disposed one stays invalid for good.
    ch->handle = (nextHandle_++ << 4) | 8;
    ch->options.voice = voice;
    ch->lane = lane;
    ch->mixedBase = lane->mixed.load(std::memory_order_relaxed);
    channels_.push_back(ch);
    *chan = reinterpret_cast<SpeechChannel>(ch->handle);
    return noErr;
}

OSErr Layer::dispose(Lock& lock, SpeechChannel chan) {
    Channel* ch = findAndSettle(chan);
    if (!ch) return kSpeechBadChannelErr;
    std::shared_ptr<Channel> keep;
    for (auto& c : channels_)
        if (c.get() == ch) keep = c;
    endSpeech(lock, *ch);
    std::erase_if(channels_, [&](const auto& c) { return c.get() == ch; });
    ch->lane->live.store(false, std::memory_order_release);
    ch->lane->drop();
    freeLanes_.push_back(ch->lane);
    // The worker may still hold the channel while it makes its speech; it lets go of it.
    lock.unlock();
    keep.reset();
    lock.lock();
    return noErr;
}

void Layer::finishFile(Lock& lock, Utterance& u, bool keep) {
    std::unique_ptr<SoundFile> file = std::move(u.file);
    u.synthDone = true;
    u.state = Utterance::State::Closing;
    lock.unlock();
    if (file && keep) file->commit();
    file.reset();  // removes the temporary file when it was not committed
    lock.lock();
    u.state = Utterance::State::Over;
    settled_.notify_all();
}

void Layer::endSpeech(Lock& lock, Channel& ch) {
    std::shared_ptr<Utterance> u = ch.current;
    if (!u || u->over()) return;
    poke();  // the end is reported by the worker
    if (!u->toFile) {
        u->state = Utterance::State::Over;
        cut_ = true;
        ch.lane->drop();
        std::vector<int16_t>().swap(u->pcm);
        u->pcmHead = 0;
    } else if (active_ == u.get()) {
        u->state = Utterance::State::Closing;  // the worker closes the file when the engine returns
    } else if (u->state != Utterance::State::Closing) {
        finishFile(lock, *u, true);
    }
}

OSErr Layer::speak(Lock& lock, SpeechChannel chan, std::string text, bool utf8,
                   std::unique_ptr<SoundFile> file) {
    if (!engine_) return kSpeechNoEngineErr;
    Channel* found = findAndSettle(chan);
    if (!found) return kSpeechBadChannelErr;
    std::shared_ptr<Channel> ch;
    for (auto& c : channels_)
        if (c.get() == found) ch = c;
    auto u = std::make_shared<Utterance>();
    u->text = std::move(text);
    u->utf8 = utf8;
    if (file) {
        u->file = std::move(file);
        u->toFile = true;
    } else if (!audioOk_) {
        return kSpeechNoAudioErr;
    }
    // Speech that ends where the one before it left its closing pause follows it in the lane.
    bool follows = ch->current && ch->current->pauseKept && !u->toFile;
    endSpeech(lock, *ch);
    if (follows)
        ch->lane->limit.store(UINT64_MAX, std::memory_order_release);
    else
        ch->lane->drop();
    if (ch->current) ch->current->pauseKept = false;
    u->origin = ch->lane->written.load(std::memory_order_relaxed);
    ch->current = u;
    ch->doneDue = true;
    if (u->text.empty() || (ch->options.settings.characterMode != kSpeechModeLiteral &&
                            OnlyPunctuation(u->text, utf8))) {
        if (u->toFile) {
            finishFile(lock, *u, true);
        } else {
            u->synthDone = true;
            u->state = Utterance::State::Over;
        }
        poke();
        return noErr;
    }
    poke();
    return noErr;
}

OSErr Layer::stopAt(Lock& lock, SpeechChannel chan, int32_t where) {
    Channel* ch = findAndSettle(chan);
    if (!ch) return kSpeechBadChannelErr;
    if (!ch->busy()) {
        // A pause kept for speech that was to follow: what comes now need not wait for it.
        if (ch->current && ch->current->pauseKept) {
            ch->current->pauseKept = false;
            ch->lane->drop();
        }
        return noErr;
    }
    Utterance& u = *ch->current;
    if (where == kSpeechImmediate || u.paused() || u.toFile) {
        endSpeech(lock, *ch);
    } else {
        u.state = Utterance::State::StoppingAt;
        u.pendingWhere = where;
        publish(*ch);
    }
    return noErr;
}

OSErr Layer::pauseAt(SpeechChannel chan, int32_t where) {
    Channel* ch = findAndSettle(chan);
    if (!ch) return kSpeechBadChannelErr;
    if (!ch->busy()) return noErr;
    Utterance& u = *ch->current;
    // A stop already asked for goes first; a file being closed cannot pause.
    if (u.paused() || u.state == Utterance::State::StoppingAt ||
        u.state == Utterance::State::Closing)
        return noErr;
    if (where == kSpeechImmediate || u.toFile) {
        u.state = Utterance::State::Paused;
        cut_ = cut_ || !u.toFile;
        poke();  // the worker rests the output
    } else {
        u.state = Utterance::State::PausingAt;
        u.pendingWhere = where;
    }
    publish(*ch);
    return noErr;
}

OSErr Layer::continueSpeech(SpeechChannel chan) {
    Channel* ch = findAndSettle(chan);
    if (!ch) return kSpeechBadChannelErr;
    if (!ch->busy()) return noErr;
    Utterance& u = *ch->current;
    if (u.paused() || u.state == Utterance::State::PausingAt) u.state = Utterance::State::Speaking;
    publish(*ch);
    poke();
    return noErr;
}

OSErr Layer::status(SpeechChannel chan, SpeechStatusInfo* status) {
    Channel* ch = findAndSettle(chan);
    if (!ch) return kSpeechBadChannelErr;
    bool busy = ch->busy();
    *status = SpeechStatusInfo{};
    status->outputBusy = busy;
    status->outputPaused = busy && ch->current->paused();
    status->inputBytesLeft = busy ? int32_t(ch->current->text.size() - ch->current->textPos) : 0;
    return noErr;
}

int Layer::busyChannels() {
    int n = 0;
    for (auto& ch : channels_) {
        settle(*ch);
        n += ch->busy();
    }
    return n;
}

OSErr Layer::moreFollows(SpeechChannel chan) {
    Channel* ch = findAndSettle(chan);
    if (!ch) return kSpeechBadChannelErr;
    if (!ch->busy() || ch->current->toFile || ch->current->moreFollows) return noErr;
    ch->current->moreFollows = true;
    settle(*ch);              // it may be over already, its sound played
    if (!ch->busy()) poke();  // the worker reports the end
    return noErr;
}

bool Layer::setDoneHandler(SpeechChannel chan, std::function<void()> done) {
    Channel* ch = findAndSettle(chan);
    if (!ch) return false;
    ch->onDone = std::move(done);
    return true;
}

bool SetSpeechDoneHandler(SpeechChannel chan, std::function<void()> done) {
    Layer& layer = Layer::get();
    auto lock = layer.start();
    return layer.setDoneHandler(chan, std::move(done));
}

void Layer::startAhead() {
    Lock lock(mutex_);
    if (worker_.joinable()) return;
    // The worker itself makes the start, then works: the libraries it starts keep what they
    // hold for the thread that called them, which is thus one that lives as long as the layer.
    worker_ = std::thread([this] {
        (void)start();
        work();
    });
}

void PrepareSpeech() {
    Layer::get().startAhead();
}

bool SpeechAvailable() {
    Layer& layer = Layer::get();
    auto lock = layer.start();
    return layer.hasEngine() && layer.audioAvailable();
}

void Layer::installEngine(std::shared_ptr<Engine> e) {
    Lock lock(mutex_);
    engineTried_ = true;
    for (auto& ch : channels_) endSpeech(lock, *ch);
    settled_.wait(lock, [&] { return active_ == nullptr; });
    engine_ = std::move(e);
    voices_ = engine_ ? engine_->voices() : std::vector<VoiceEntry>{};
    for (auto& ch : channels_)
        if (ch->options.voice >= int(voices_.size()))
            ch->options.voice = std::max(0, ChooseDefaultVoice(voices_));
}

void Layer::installSink(std::shared_ptr<AudioSink> s) {
    Lock lock(mutex_);
    ensureEngine();
    int rate = sampleRate();
    std::shared_ptr<AudioSink> old = std::move(sink_);
    sink_ = s;
    sinkTried_ = true;
    audioOk_ = false;
    lock.unlock();
    if (old) old->stop();
    bool ok = s && s->start(*this, rate);
    lock.lock();
    if (sink_ == s) outputTried(ok);
}

void Layer::outputTried(bool ok) {
    audioOk_ = ok;
    reopenDelay_ = std::chrono::milliseconds(ok ? 0 : 100);
    nextDeviceCheck_ = std::chrono::steady_clock::now() + reopenDelay_;
    if (!ok) poke();  // the worker waits no longer than the next try
}

bool Layer::waitUntilIdle(std::chrono::milliseconds timeout) {
    Lock lock(mutex_);
    return settled_.wait_for(lock, timeout,
                             [&] { return idle_ && !signalled_.load(std::memory_order_acquire); });
}

uint64_t Layer::framesMixed(SpeechChannel chan) {
    Lock lock(mutex_);
    Channel* ch = findAndSettle(chan);
    return ch ? ch->lane->mixed.load(std::memory_order_relaxed) - ch->mixedBase : 0;
}

void Layer::watchDevice(Lock& lock, bool audible) {
    using namespace std::chrono;
    auto now = steady_clock::now();
    nextDeviceCheck_ = now + milliseconds(200);
    // An output that never opened is tried again as one that went away: a sound server may
    // start after the program (at login, say), and speech is to be heard once it is there.
    bool opened = audioOk_;
    if (!sink_ || (opened && !audible)) return;
    std::shared_ptr<AudioSink> s = sink_;
    int rate = sampleRate();
    lock.unlock();
    bool lost = !opened || s->lost();
    bool back = false;
    if (lost) {
        s->stop();
        back = s->start(*this, rate);
    }
    lock.lock();
    if (sink_ != s || !lost) return;
    if (back) {
        reopenDelay_ = milliseconds(0);
        audioOk_ = true;
    } else {
        reopenDelay_ = std::clamp(reopenDelay_ * 2, milliseconds(100), milliseconds(2000));
        nextDeviceCheck_ = now + reopenDelay_;
    }
}

std::shared_ptr<AudioSink> Layer::wakeSink() {
    return sink_ && sink_->resting() ? sink_ : nullptr;
}

void Layer::settle(Channel& ch) {
    Utterance* u = ch.current.get();
    if (!u || u->toFile || u->over()) return;
    uint64_t read = ch.lane->read.load(std::memory_order_acquire);
    uint64_t at = read > u->origin ? std::min(read - u->origin, u->queued) : 0;
    if (at > u->playhead) {
        std::optional<uint64_t> target = Target(*u);
        u->playhead = at;
        AdvanceMarks(*u);
        // The callback stops where it was told to; a target it had passed before it was told
        // gives way to the next one.
        if (target && at == *target) Apply(*u);
    }
    if (!u->over() && u->synthDone) {
        uint64_t end = u->produced;
        if (u->moreFollows) {
            end = CutAt(*u, sampleRate());
            // All up to the cut is in the lane and nothing after it: the end is reported once
            // the last sound is heard, and the next speech is handed over while the pause plays.
            if (u->queued == end && u->playhead >= u->lastSound) u->pauseKept = true;
        }
        if (u->playhead >= end || u->pauseKept) u->state = Utterance::State::Over;
    }
    publish(ch);
}

void Layer::publish(Channel& ch) {
    Lane& lane = *ch.lane;
    Utterance* u = ch.current.get();
    if (!u || u->toFile) return;
    if (u->over()) {
        if (!u->pauseKept && lane.read.load(std::memory_order_acquire) <
                                 lane.written.load(std::memory_order_relaxed))
            lane.drop();
        return;
    }
    std::optional<uint64_t> target = Target(*u);
    uint64_t limit = target ? *target : UINT64_MAX;
    if (u->moreFollows && u->synthDone) limit = std::min(limit, CutAt(*u, sampleRate()));
    lane.limit.store(limit == UINT64_MAX ? limit : u->origin + limit, std::memory_order_release);
    lane.paused.store(u->paused(), std::memory_order_release);
}

void Layer::feed(Channel& ch) {
    Utterance* u = ch.current.get();
    if (!u || u->toFile || u->over()) return;
    Lane& lane = *ch.lane;
    // Silence after the last sound goes into the lane only a little ahead of what plays, past
    // the short pause, while it may still be cut: speech that follows then joins the pause.
    uint64_t upTo = std::max(u->lastSound + Frames(sampleRate(), kFollowPauseMs),
                             u->playhead + Frames(sampleRate(), kSilenceAheadMs));
    if (u->moreFollows && u->synthDone) upTo = std::max(CutAt(*u, sampleRate()), u->queued);
    uint64_t n = std::min<uint64_t>(lane.space(), u->pcm.size() - u->pcmHead);
    n = std::min(n, upTo > u->queued ? upTo - u->queued : 0);
    if (n == 0) return;
    // Where the speech is to stop is known before the frames that reach it can play.
    publish(ch);
    lane.write(u->pcm.data() + u->pcmHead, n);
    u->queued += n;
    u->pcmHead += size_t(n);
    if (u->pcmHead == u->pcm.size()) {
        u->pcm.clear();
        u->pcmHead = 0;
    } else if (u->pcmHead >= u->pcm.size() / 2) {
        u->pcm.erase(u->pcm.begin(), u->pcm.begin() + ptrdiff_t(u->pcmHead));
        u->pcmHead = 0;
    }
}

void Layer::mix(int16_t* out, size_t frames) {
    size_t lanes = laneCount_.load(std::memory_order_acquire);
    bool played = false;
    int32_t acc[512];
    for (size_t done = 0; done < frames;) {
        size_t block = std::min<size_t>(512, frames - done);
        std::fill(acc, acc + block, 0);
        for (size_t i = 0; i < lanes; ++i) {
            Lane* lane = lanes_[i].load(std::memory_order_acquire);
            if (lane && lane->mixInto(acc, block)) played = true;
        }
        for (size_t i = 0; i < block; ++i)
            out[done + i] = int16_t(std::clamp<int32_t>(acc[i], -32768, 32767));
        done += block;
    }
    // The worker refills the lanes, reports ends and rests the output; a wake-up is all it takes.
    if (played && !signalled_.exchange(true, std::memory_order_acq_rel)) signal_.release();
}

void Layer::work() {
    Lock lock(mutex_);
    for (;;) {
        signalled_.store(false, std::memory_order_release);
        for (auto& c : channels_) {
            settle(*c);
            feed(*c);
        }
        // Ends of speech first: whoever waits for them goes on while the engine works.
        if (reportEnds(lock)) continue;
        bool audible = std::any_of(channels_.begin(), channels_.end(),
                                   [](const auto& c) { return Audible(*c); });
        if (audible) cut_ = false;  // what was cut off is not all that is heard
        if ((audible || (sink_ && !audioOk_)) &&
            std::chrono::steady_clock::now() >= nextDeviceCheck_) {
            watchDevice(lock, audible);
            continue;
        }
        Next next = nextToMake();
        if (!next.u || !engine_ || voices_.empty()) {
            if (matchOutputTo(lock, audible)) continue;
            waitForWork(lock, audible);
            continue;
        }
        makeStretch(lock, std::move(next.ch), std::move(next.u));
    }
}

bool Layer::reportEnds(Lock& lock) {
    std::vector<std::function<void()>> done;
    for (auto& c : channels_) {
        if (c->doneDue && !c->busy()) {
            c->doneDue = false;
            if (c->onDone) done.push_back(c->onDone);
        }
    }
    if (done.empty()) return false;
    lock.unlock();
    for (auto& f : done) f();
    done.clear();
    lock.lock();
    return true;
}

Layer::Next Layer::nextToMake() {
    Next next;
    uint64_t best = UINT64_MAX;
    uint64_t room = engine_ ? uint64_t(engine_->sampleRate()) * kAheadSeconds : 0;
    for (auto& c : channels_) {
        Utterance* cu = c->current.get();
        if (!cu || cu->over()) continue;
        if (cu->synthDone || cu->state == Utterance::State::Closing) continue;
        // Speech to a file waits behind every channel that is heard.
        uint64_t key = UINT64_MAX - 1;
        if (cu->toFile) {
            if (cu->paused()) continue;
        } else {
            key = cu->produced - cu->playhead;
            if (key >= room) continue;
        }
        if (key < best) {
            best = key;
            next = {c, c->current};
        }
    }
    return next;
}

bool Layer::matchOutputTo(Lock& lock, bool audible) {
    bool cut = std::exchange(cut_, false);
    if (!sink_ || audible != sink_->resting()) return false;
    std::shared_ptr<AudioSink> s = sink_;
    lock.unlock();
    if (audible) {
        s->resume();
    } else {
        // Speech cut off is not to be heard any more; speech played out keeps its tail.
        if (cut) s->flush();
        s->rest();
    }
    lock.lock();
    return true;
}

void Layer::waitForWork(Lock& lock, bool audible) {
    idle_ = true;
    settled_.notify_all();
    bool retry = sink_ && !audioOk_;
    auto nextTry = nextDeviceCheck_;
    lock.unlock();
    if (audible) {
        // The callback signals as it plays; the timeout covers an output that stopped
        // calling it.
        (void)signal_.try_acquire_for(std::chrono::milliseconds(100));
    } else if (retry) {
        (void)signal_.try_acquire_until(nextTry);
    } else {
        signal_.acquire();
    }
    lock.lock();
    idle_ = false;
}

void Layer::makeStretch(Lock& lock, std::shared_ptr<Channel> ch, std::shared_ptr<Utterance> u) {
    idle_ = false;
    size_t begin = u->nextChunk;
    Chunk next = NextChunk(u->text, begin, u->utf8);
    u->nextChunk = next.end;
    SynthRequest request = MakeRequest(ch->options.settings);
    request.voice = voices_[size_t(std::clamp(ch->options.voice, 0, int(voices_.size()) - 1))].key;
    std::string_view chunk = std::string_view(u->text).substr(begin, next.end - begin);
    request.text = u->utf8 ? std::string(chunk) : MacRomanToUtf8(chunk);
    request.endsSentence = next.endsSentence;
    // Speech that starts from quiet skips the engine's leading silence.
    bool fromQuiet = begin == 0 && !u->toFile;
    ChunkOutput out(*this, ch, u, u->produced, uint32_t(begin),
                    fromQuiet ? engine_->sampleRate() : 0);
    std::shared_ptr<Engine> e = engine_;
    active_ = u.get();
    lock.unlock();
    bool ok = e->synthesize(request, out) && !out.failed;
    out.flush();
    lock.lock();
    active_ = nullptr;
    if (u->toFile) {
        if (!u->over() &&
            (!ok || u->state == Utterance::State::Closing || u->nextChunk >= u->text.size()))
            finishFile(lock, *u, ok);
    } else if (!ok || u->nextChunk >= u->text.size()) {
        u->synthDone = true;  // what was made still plays
    }
    settled_.notify_all();
    lock.unlock();
    u.reset();  // may free the audio and the channel: not under the lock
    ch.reset();
    lock.lock();
}

}  // namespace vellora::speech
