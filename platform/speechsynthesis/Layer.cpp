#include "platform/speechsynthesis/Layer.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "platform/speechsynthesis/DeviceAudioSink.h"
#include "platform/speechsynthesis/EspeakEngine.h"
#include "platform/speechsynthesis/MacRoman.h"
#include "platform/speechsynthesis/Notify.h"
#include "platform/speechsynthesis/Voices.h"

namespace vellora::speech {
namespace {

// The worker keeps this much audio made ahead of what plays, and makes no more: enough to
// ride over the engine's time on another channel's stretch.
constexpr uint64_t kAheadSeconds = 2;
// Stretches of text handed to the engine at once, cut where a sentence (else a clause, else a
// word) ends. Short stretches keep the audio made ahead of time small and let other channels
// take turns on the one engine.
constexpr size_t kChunkBytes = 400;

bool IsBlank(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

size_t ChunkEnd(const std::string& text, size_t start, bool* endsSentence, bool utf8) {
    size_t n = text.size();
    if (n - start <= kChunkBytes) {
        *endsSentence = true;
        return n;
    }
    size_t limit = start + kChunkBytes;
    size_t sentence = 0, clause = 0, blank = 0;
    for (size_t i = start + 1; i < limit; ++i) {
        if (!IsBlank(text[i])) continue;
        char p = text[i - 1];
        if (p == '.' || p == '!' || p == '?' || p == '\n')
            sentence = i + 1;
        else if (p == ',' || p == ';' || p == ':')
            clause = i + 1;
        else
            blank = i + 1;
    }
    *endsSentence = sentence != 0;
    if (sentence) return sentence;
    if (clause) return clause;
    if (blank) return blank;
    // A run with no blank is cut where it must be, but never inside a UTF-8 character.
    while (utf8 && limit > start + 1 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80)
        --limit;
    return limit;
}

// A text of nothing but punctuation and blanks: read as words, it says nothing at all.
bool OnlyPunctuation(const std::string& text, bool utf8) {
    std::string converted = utf8 ? std::string() : MacRomanToUtf8(text);
    const std::string& t = utf8 ? text : converted;
    int32_t i = 0, n = int32_t(t.size());
    while (i < n) {
        UChar32 c;
        U8_NEXT(t.data(), i, n, c);
        if (c < 0 || !(u_ispunct(c) || u_isUWhiteSpace(c))) return false;
    }
    return true;
}

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
    if (u.pending == Utterance::None) return std::nullopt;
    bool word = u.pendingWhere == kSpeechEndOfWord;
    const std::deque<Mark>& marks = word ? u.words : u.sentences;
    size_t i = (word ? u.wordStarted : u.sentenceStarted) ? 0 : 1;
    if (i < marks.size()) return marks[i].frame;
    return std::nullopt;
}

void Apply(Utterance& u) {
    if (u.pending == Utterance::Pause)
        u.paused = true;
    else
        u.finished = true;
    u.pending = Utterance::None;
}

// Something of the channel is to be heard, now or once it is made.
bool Audible(const Channel& ch) {
    const Utterance* u = ch.current.get();
    return u && !u->toFile && !u->finished && !u->paused;
}

// Mixes what the channel has to play; true when its speech ended or paused in this call.
bool MixChannel(Channel& ch, int32_t* acc, size_t frames) {
    Utterance* u = ch.current.get();
    if (!u || u->toFile || u->finished || u->paused) return false;
    size_t done = 0;
    while (done < frames) {
        std::optional<uint64_t> target = Target(*u);
        if (target && *target <= u->playhead) {
            Apply(*u);
            if (u->paused || u->finished) break;
            continue;
        }
        uint64_t n = std::min<uint64_t>(frames - done, u->produced - u->playhead);
        if (target) n = std::min(n, *target - u->playhead);
        if (n == 0) break;
        const int16_t* src = u->pcm.data() + (u->playhead - u->base);
        for (uint64_t k = 0; k < n; ++k) acc[done + k] += src[k];
        u->playhead += n;
        done += size_t(n);
        AdvanceMarks(*u);
        if (target && u->playhead == *target) {
            Apply(*u);
            if (u->paused || u->finished) break;
        }
    }
    ch.framesMixed.fetch_add(done, std::memory_order_relaxed);
    if (!u->finished && u->synthDone && u->playhead >= u->produced) u->finished = true;
    return u->finished || u->paused;
}

// Hands what the engine makes of one stretch to its utterance.
// The silence the engine puts before the first word is not played when speech starts from
// quiet; this much of it stays, so that no onset is clipped.
constexpr int kLeadMs = 4;

class ChunkOutput final : public SynthOutput {
  public:
    ChunkOutput(Layer& layer, std::shared_ptr<Utterance> u, uint64_t frameBase, uint32_t textBase,
                int trimLeadAtRate = 0)
        : layer_(layer), u_(std::move(u)), frameBase_(frameBase), textBase_(textBase),
          lead_(size_t(trimLeadAtRate) * kLeadMs / 1000), trimming_(trimLeadAtRate > 0) {}

    bool samples(const int16_t* pcm, size_t frames) override {
        if (trimming_ && !u_->toFile) return trim(pcm, frames);
        return add(pcm, frames);
    }

    // Marks held back while the leading silence was being cut; called once the engine is done.
    void flush() {
        trimming_ = false;
        std::lock_guard lock(layer_.mutex);
        for (const HeldMark& m : held_) push(m.kind, m.textPos, m.frame);
        held_.clear();
    }

  private:
    struct HeldMark {
        Mark kind;
        size_t textPos;
        uint64_t frame;
    };

    // Drops silent frames before the first sound, keeping the last few of them.
    bool trim(const int16_t* pcm, size_t frames) {
        size_t first = 0;
        while (first < frames && pcm[first] == 0) ++first;
        if (first == frames) {
            for (size_t i = 0; i < frames; ++i) {
                if (kept_ < lead_.size()) {
                    lead_[kept_++] = 0;
                } else {
                    ++trimmed_;
                }
            }
            return !cancelled();
        }
        trimming_ = false;
        // The frames kept before the sound: what the lead holds and this block's silence.
        size_t fromBlock = std::min(first, lead_.size());
        size_t fromLead = std::min(kept_, lead_.size() - fromBlock);
        trimmed_ += (kept_ - fromLead) + (first - fromBlock);
        {
            std::lock_guard lock(layer_.mutex);
            for (const HeldMark& m : held_) push(m.kind, m.textPos, m.frame);
            held_.clear();
        }
        if (fromLead && !add(lead_.data(), fromLead)) return false;
        return add(pcm + (first - fromBlock), frames - (first - fromBlock));
    }

    bool add(const int16_t* pcm, size_t frames) {
        if (u_->toFile) {
            {
                std::lock_guard lock(layer_.mutex);
                if (u_->finished || u_->stopRequested || !u_->file) return false;
            }
            // Only the worker touches the file while the engine makes this utterance.
            if (!u_->file->write(pcm, frames)) {
                failed = true;
                return false;
            }
            std::lock_guard lock(layer_.mutex);
            u_->produced += frames;
            u_->playhead = u_->produced;
            AdvanceMarks(*u_);
            return true;
        }
        std::shared_ptr<AudioSink> resting;
        {
            std::lock_guard lock(layer_.mutex);
            if (u_->finished) return false;
            u_->pcm.insert(u_->pcm.end(), pcm, pcm + frames);
            u_->produced += frames;
            if (!u_->paused) resting = layer_.wakeSink();
        }
        // The first samples of speech after a rest: the output runs again at once.
        if (resting) resting->resume();
        return true;
    }

  public:
    void mark(Mark kind, size_t textPos, uint64_t frame) override {
        if (trimming_ && !u_->toFile) {
            held_.push_back({kind, textPos, frame});
            return;
        }
        std::lock_guard lock(layer_.mutex);
        push(kind, textPos, frame);
    }

  private:
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
        (kind == Mark::Word ? u_->words : u_->sentences).push_back({frameBase_ + frame, uint32_t(pos)});
    }

  public:
    bool cancelled() const override {
        std::lock_guard lock(layer_.mutex);
        return u_->finished || u_->stopRequested;
    }

    bool failed = false;

  private:
    Layer& layer_;
    std::shared_ptr<Utterance> u_;
    uint64_t frameBase_;
    uint32_t textBase_;
    std::vector<int16_t> lead_;  // the last silent frames, played before the first sound
    size_t kept_ = 0;
    uint64_t trimmed_ = 0;  // frames of silence not played
    bool trimming_;
    std::vector<HeldMark> held_;
};

int Clamp(double v, int lo, int hi) {
    return std::clamp(int(std::lround(v)), lo, hi);
}

}  // namespace

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

Layer& Layer::get() {
    // Never destroyed: the audio thread and the worker may still run while the process exits.
    static Layer* layer = new Layer;
    return *layer;
}

void Layer::ensureEngine() {
    if (engineTried) return;
    engineTried = true;
    engine = MakeEspeakEngine();
    voices = engine ? engine->voices() : std::vector<VoiceEntry>{};
}

std::unique_lock<std::mutex> Layer::start() {
    std::unique_lock lock(mutex);
    ensureEngine();
    if (!sinkTried) {
        sinkTried = true;
        std::shared_ptr<AudioSink> s = MakeDeviceAudioSink();
        sink = s;
        int rate = engine ? engine->sampleRate() : 22050;
        lock.unlock();  // the audio thread takes the lock as soon as it runs
        bool ok = s->start(*this, rate);
        lock.lock();
        if (sink == s) audioOk = ok;
    }
    if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
    return lock;
}

Channel* Layer::find(SpeechChannel chan) {
    uintptr_t handle = reinterpret_cast<uintptr_t>(chan);
    if (handle == 0) return nullptr;
    for (auto& ch : channels)
        if (ch->handle == handle) return ch.get();
    return nullptr;
}

void Layer::note(const Engine::ChannelCall& call) {
    if (engine) engine->note(call);
}

void Layer::poke() {
    idle_ = false;
    wake.notify_all();
}

void Layer::finishFile(std::unique_lock<std::mutex>& lock, Utterance& u, bool keep) {
    std::unique_ptr<SoundFile> file = std::move(u.file);
    u.synthDone = true;
    u.stopRequested = true;
    lock.unlock();
    if (file && keep) file->commit();
    file.reset();  // removes the temporary file when it was not committed
    lock.lock();
    u.finished = true;
    settled.notify_all();
}

void Layer::endSpeech(std::unique_lock<std::mutex>& lock, Channel& ch) {
    std::shared_ptr<Utterance> u = ch.current;
    if (!u || u->finished) return;
    wake.notify_all();  // the end is reported by the worker
    if (!u->toFile) {
        u->finished = true;
    } else if (active_ == u.get()) {
        u->stopRequested = true;  // the worker closes the file when the engine returns
    } else if (!u->stopRequested) {
        finishFile(lock, *u, true);
    }
}

OSErr Layer::speak(std::unique_lock<std::mutex>& lock, Channel& ch, std::string text, bool utf8) {
    if (!engine) return kSpeechNoEngineErr;
    auto u = std::make_shared<Utterance>();
    u->text = std::move(text);
    u->utf8 = utf8;
    if (!ch.outputPath.empty()) {
        OSErr err = noErr;
        u->file = SoundFile::Create(ch.outputPath, engine->sampleRate(), &err);
        if (!u->file) return err;
        u->toFile = true;
    } else if (!audioOk) {
        return kSpeechNoAudioErr;
    }
    endSpeech(lock, ch);
    ch.current = u;
    ch.doneDue = true;
    if (u->text.empty() ||
        (ch.settings.characterMode != kSpeechModeLiteral && OnlyPunctuation(u->text, utf8))) {
        if (u->toFile)
            finishFile(lock, *u, true);
        else
            u->synthDone = u->finished = true;
        wake.notify_all();
        return noErr;
    }
    poke();
    return noErr;
}

bool SetSpeechDoneHandler(SpeechChannel chan, std::function<void()> done) {
    Layer& layer = Layer::get();
    auto lock = layer.start();
    Channel* ch = layer.find(chan);
    if (!ch) return false;
    ch->onDone = std::move(done);
    return true;
}

void Layer::installEngine(std::shared_ptr<Engine> e) {
    std::unique_lock lock(mutex);
    engineTried = true;
    for (auto& ch : channels) endSpeech(lock, *ch);
    settled.wait(lock, [&] { return active_ == nullptr; });
    engine = std::move(e);
    voices = engine ? engine->voices() : std::vector<VoiceEntry>{};
    for (auto& ch : channels)
        if (ch->voice >= int(voices.size())) ch->voice = std::max(0, ChooseDefaultVoice(voices));
}

void Layer::installSink(std::shared_ptr<AudioSink> s) {
    std::unique_lock lock(mutex);
    ensureEngine();
    int rate = engine ? engine->sampleRate() : 22050;
    std::shared_ptr<AudioSink> old = std::move(sink);
    sink = s;
    sinkTried = true;
    audioOk = false;
    resting_ = false;  // an output starts running
    lock.unlock();
    if (old) old->stop();
    bool ok = s && s->start(*this, rate);
    lock.lock();
    if (sink == s) audioOk = ok;
}

bool Layer::waitUntilIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex);
    return settled.wait_for(lock, timeout, [&] { return idle_; });
}

std::shared_ptr<AudioSink> Layer::wakeSink() {
    if (!resting_) return nullptr;
    resting_ = false;
    return sink;
}

void Layer::mix(int16_t* out, size_t frames) {
    std::lock_guard lock(mutex);
    int32_t acc[512];
    bool ended = false;
    for (size_t done = 0; done < frames;) {
        size_t block = std::min<size_t>(512, frames - done);
        std::fill(acc, acc + block, 0);
        for (auto& ch : channels) ended |= MixChannel(*ch, acc, block);
        for (size_t i = 0; i < block; ++i)
            out[done + i] = int16_t(std::clamp<int32_t>(acc[i], -32768, 32767));
        done += block;
    }
    // The worker tells whoever waits for the end, and rests the output when all is quiet.
    if (ended) wake.notify_one();
    if (!roomWanted_) return;
    for (auto& ch : channels) {
        const Utterance* u = ch->current.get();
        if (u && !u->toFile && !u->finished && !u->synthDone && u->produced - u->playhead < room_) {
            roomWanted_ = false;
            idle_ = false;
            wake.notify_one();
            return;
        }
    }
}

void Layer::work() {
    std::unique_lock lock(mutex);
    for (;;) {
        // Ends of speech first: whoever waits for them goes on while the engine works.
        std::vector<std::function<void()>> done;
        for (auto& c : channels) {
            if (c->doneDue && !c->busy()) {
                c->doneDue = false;
                if (c->onDone) done.push_back(c->onDone);
            }
        }
        if (!done.empty()) {
            lock.unlock();
            for (auto& f : done) f();
            done.clear();
            lock.lock();
            continue;
        }
        std::shared_ptr<Channel> ch;
        std::shared_ptr<Utterance> u;
        bool waitingForRoom = false;
        uint64_t best = UINT64_MAX;
        uint64_t room = engine ? uint64_t(engine->sampleRate()) * kAheadSeconds : 0;
        for (auto& c : channels) {
            Utterance* cu = c->current.get();
            if (!cu || cu->finished || cu->synthDone || cu->stopRequested) continue;
            // Speech to a file waits behind every channel that is heard.
            uint64_t key = UINT64_MAX - 1;
            if (cu->toFile) {
                if (cu->paused) continue;
            } else {
                key = cu->produced - cu->playhead;
                if (key >= room) {
                    waitingForRoom = true;
                    continue;
                }
            }
            if (key < best) {
                best = key;
                ch = c;
                u = c->current;
            }
        }
        room_ = room;
        if (!u || !engine || voices.empty()) {
            // Nothing to make: the output rests while nothing is to be heard (paused speech
            // included) and runs again for what is, such as paused speech continued.
            bool audible = std::any_of(channels.begin(), channels.end(),
                                       [](const auto& c) { return Audible(*c); });
            if (audible == resting_ && sink) {
                resting_ = !audible;
                std::shared_ptr<AudioSink> s = sink;
                lock.unlock();
                if (audible)
                    s->resume();
                else
                    s->rest();
                lock.lock();
                continue;
            }
            idle_ = true;
            settled.notify_all();
            roomWanted_ = waitingForRoom;
            if (waitingForRoom)
                wake.wait_for(lock, std::chrono::milliseconds(100));  // mix() wakes it sooner
            else
                wake.wait(lock);
            continue;
        }
        idle_ = false;
        if (!u->toFile && u->playhead > u->base) {
            u->pcm.erase(u->pcm.begin(), u->pcm.begin() + ptrdiff_t(u->playhead - u->base));
            u->base = u->playhead;
        }
        size_t begin = u->nextChunk;
        bool endsSentence = true;
        size_t end = ChunkEnd(u->text, begin, &endsSentence, u->utf8);
        u->nextChunk = end;
        SynthRequest request = MakeRequest(ch->settings);
        request.voice = voices[size_t(std::clamp(ch->voice, 0, int(voices.size()) - 1))].key;
        std::string_view chunk = std::string_view(u->text).substr(begin, end - begin);
        request.text = u->utf8 ? std::string(chunk) : MacRomanToUtf8(chunk);
        request.endsSentence = endsSentence;
        // Speech that starts from quiet skips the engine's leading silence.
        bool fromQuiet = begin == 0 && !u->toFile;
        ChunkOutput out(*this, u, u->produced, uint32_t(begin),
                        fromQuiet ? engine->sampleRate() : 0);
        std::shared_ptr<Engine> e = engine;
        active_ = u.get();
        lock.unlock();
        bool ok = e->synthesize(request, out) && !out.failed;
        out.flush();
        lock.lock();
        active_ = nullptr;
        if (u->toFile) {
            if (!u->finished && (!ok || u->stopRequested || u->nextChunk >= u->text.size()))
                finishFile(lock, *u, ok);
        } else if (!ok || u->nextChunk >= u->text.size()) {
            u->synthDone = true;  // what was made still plays
        }
        settled.notify_all();
        lock.unlock();
        u.reset();  // may free the audio: not under the lock the audio thread needs
        ch.reset();
        lock.lock();
    }
}

}  // namespace vellora::speech
