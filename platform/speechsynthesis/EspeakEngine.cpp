#include "platform/speechsynthesis/EspeakEngine.h"

#include <espeak-ng/speak_lib.h>
#include <sys/stat.h>

#include <mutex>

// espeak-ng 1.51 makes a sound output of its own while it initialises, in every output mode,
// and libpcaudio makes one by opening each kind of device in turn: a PulseAudio connection (which
// writes under $XDG_CONFIG_HOME/pulse and dies of a file-size limit) or an ALSA device, in a
// process whose only sound goes through SDL. This definition answers espeak-ng's call before
// libpcaudio's: the dynamic linker looks a symbol up in load order, and this layer always comes
// before libpcaudio, which it reaches only through libespeak-ng. No device is what espeak-ng
// already meets on a computer without sound, and in synchronous mode it never asks for one.
extern "C" __attribute__((visibility("default"))) struct audio_object* create_audio_device_object(
    const char* /*device*/, const char* /*application*/, const char* /*description*/) {
    return nullptr;
}

namespace vellora::speech {
namespace {

// One stretch being synthesized: where espeak-ng's callback sends what it makes.
struct Context {
    SynthOutput* out = nullptr;
    std::vector<uint32_t> sourceIndex;  // code point of the text sent -> code point of the request
};
Context* g_context = nullptr;
// espeak-ng's state is the process's: every instance shares it.
std::mutex g_mutex;
std::string g_voice;

size_t Utf8Length(unsigned char lead) {
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// The text espeak-ng gets: SSML spelling for literal characters, blanks between digits for
// literal numbers; `index` maps each code point sent back to the request's code points.
std::string PrepareText(const SynthRequest& r, std::vector<uint32_t>& index) {
    std::string text;
    uint32_t cp = 0;
    auto add = [&](std::string_view s, uint32_t source) {
        for (size_t i = 0; i < s.size(); i += Utf8Length(s[i])) index.push_back(source);
        text += s;
    };
    const std::string_view open = "<say-as interpret-as=\"characters\">";
    if (r.spellCharacters) add(open, 0);
    char previous = 0;
    for (size_t i = 0; i < r.text.size(); ++cp) {
        size_t n = Utf8Length(r.text[i]);
        std::string_view ch(r.text.data() + i, std::min(n, r.text.size() - i));
        i += ch.size();
        char c = ch[0];
        if (r.speakDigits && !r.spellCharacters && c >= '0' && c <= '9' && previous >= '0' &&
            previous <= '9')
            add(" ", cp);
        previous = c;
        if (r.spellCharacters && c == '<')
            add("&lt;", cp);
        else if (r.spellCharacters && c == '&')
            add("&amp;", cp);
        else if (r.spellCharacters && c == '>')
            add("&gt;", cp);
        else
            add(ch, cp);
    }
    if (r.spellCharacters) add("</say-as>", cp);
    return text;
}

int Callback(short* wav, int frames, espeak_EVENT* events) {
    Context* c = g_context;
    if (!c) return 1;
    for (espeak_EVENT* e = events; e && e->type != espeakEVENT_LIST_TERMINATED; ++e) {
        if (e->type != espeakEVENT_WORD && e->type != espeakEVENT_SENTENCE) continue;
        size_t at = e->text_position > 0 ? size_t(e->text_position - 1) : 0;
        size_t source = c->sourceIndex.empty()       ? 0
                        : at < c->sourceIndex.size() ? c->sourceIndex[at]
                                                     : c->sourceIndex.back();
        c->out->mark(
            e->type == espeakEVENT_WORD ? SynthOutput::Mark::Word : SynthOutput::Mark::Sentence,
            source, e->sample > 0 ? uint64_t(e->sample) : 0);
    }
    if (frames > 0 && wav && !c->out->samples(wav, size_t(frames))) return 1;
    return c->out->cancelled() ? 1 : 0;
}

bool IsFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

class EspeakEngine final : public Engine {
  public:
    explicit EspeakEngine(int rate) : rate_(rate) {
        const char* data = nullptr;
        espeak_Info(&data);
        std::string folder = data ? data : "";
        for (const espeak_VOICE** v = espeak_ListVoices(nullptr); v && *v; ++v) {
            const espeak_VOICE& e = **v;
            std::string key = e.identifier ? e.identifier : "";
            if (key.empty() || key.rfind("mb/", 0) == 0) continue;  // MBROLA is not installed
            VoiceEntry entry;
            entry.name = e.name ? e.name : key;
            entry.key = key;
            for (const char* p = e.languages; p && *p;) {
                const char* name = p + 1;  // a priority byte comes first
                if (!entry.languages.empty()) entry.languages += ", ";
                entry.languages += name;
                entry.priorities.push_back(static_cast<unsigned char>(*p));
                p = name + std::char_traits<char>::length(name) + 1;
            }
            entry.gender = e.gender;
            entry.age = e.age;
            for (const char* sub : {"/lang/", "/voices/"}) {
                if (IsFile(folder + sub + key)) {
                    entry.filePath = folder + sub + key;
                    break;
                }
            }
            voices_.push_back(std::move(entry));
        }
    }

    int sampleRate() const override { return rate_; }
    std::vector<VoiceEntry> voices() const override { return voices_; }

    bool synthesize(const SynthRequest& r, SynthOutput& out) override {
        std::lock_guard lock(g_mutex);
        if (r.voice != g_voice) {
            if (espeak_SetVoiceByName(r.voice.c_str()) != EE_OK) return false;
            g_voice = r.voice;
        }
        espeak_SetParameter(espeakRATE, r.rate, 0);
        espeak_SetParameter(espeakPITCH, r.pitch, 0);
        espeak_SetParameter(espeakRANGE, r.range, 0);
        espeak_SetParameter(espeakVOLUME, r.volume, 0);
        Context context;
        context.out = &out;
        std::string text = PrepareText(r, context.sourceIndex);
        unsigned flags = espeakCHARS_UTF8;
        if (r.spellCharacters) flags |= espeakSSML;
        if (r.endsSentence) flags |= espeakENDPAUSE;
        g_context = &context;
        espeak_ERROR result = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                           flags, nullptr, nullptr);
        g_context = nullptr;
        return result == EE_OK || out.cancelled();
    }

  private:
    int rate_;
    std::vector<VoiceEntry> voices_;
};

}  // namespace

std::shared_ptr<Engine> MakeEspeakEngine() {
    static std::once_flag once;
    static int rate = -1;
    // 10 ms blocks: the first audio of a text is handed on after 10 ms of speech is made.
    std::call_once(once, [] {
        rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 10, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (rate > 0) espeak_SetSynthCallback(Callback);
    });
    if (rate <= 0) return nullptr;
    return std::make_shared<EspeakEngine>(rate);
}

}  // namespace vellora::speech
