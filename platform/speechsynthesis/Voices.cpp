#include "platform/speechsynthesis/Voices.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include <espeak-ng/espeak_ng.h>

#include "platform/speechsynthesis/TextConverter.h"

namespace vellora::speech {
namespace {

struct Language {
    const char* tag;
    int16_t code;
};

constexpr Language kLanguages[] = {
    {"en", 0},   {"fr", 1},   {"de", 2},    {"it", 3},   {"nl", 4},   {"sv", 5},   {"es", 6},
    {"da", 7},   {"pt", 8},   {"nb", 9},    {"no", 9},   {"he", 10},  {"ja", 11},  {"ar", 12},
    {"fi", 13},  {"el", 14},  {"grc", 148}, {"is", 15},  {"mt", 16},  {"tr", 17},  {"hr", 18},
    {"ur", 20},  {"hi", 21},  {"th", 22},   {"ko", 23},  {"lt", 24},  {"pl", 25},  {"hu", 26},
    {"et", 27},  {"lv", 28},  {"se", 29},   {"fo", 30},  {"fa", 31},  {"ru", 32},  {"cmn", 33},
    {"zh", 33},  {"yue", 19}, {"ga", 35},   {"sq", 36},  {"ro", 37},  {"cs", 38},  {"sk", 39},
    {"sl", 40},  {"yi", 41},  {"sr", 42},   {"mk", 43},  {"bg", 44},  {"uk", 45},  {"be", 46},
    {"uz", 47},  {"kk", 48},  {"az", 49},   {"hy", 51},  {"ka", 52},  {"ky", 54},  {"tk", 56},
    {"mn", 57},  {"ps", 59},  {"ku", 60},   {"sd", 62},  {"ne", 64},  {"sa", 65},  {"mr", 66},
    {"bn", 67},  {"as", 68},  {"gu", 69},   {"pa", 70},  {"or", 71},  {"ml", 72},  {"kn", 73},
    {"ta", 74},  {"te", 75},  {"si", 76},   {"my", 77},  {"km", 78},  {"lo", 79},  {"vi", 80},
    {"id", 81},  {"ms", 83},  {"am", 85},   {"om", 87},  {"sw", 89},  {"eo", 94},  {"cy", 128},
    {"eu", 129}, {"ca", 130}, {"la", 131},  {"qu", 132}, {"gn", 133}, {"tt", 135}, {"ug", 136},
    {"gl", 140}, {"af", 141}, {"gd", 144},  {"kl", 149}, {"nn", 151},
};

std::string Primary(std::string_view tag) {
    std::string out;
    for (char c : tag) {
        if (c == '-' || c == '_' || c == '.' || c == '@' || c == ',') break;
        out.push_back(char(std::tolower(static_cast<unsigned char>(c))));
    }
    return out;
}

// "de_AT.UTF-8" -> "de-at"; empty for C and POSIX.
std::string LocaleTag() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        std::string tag;
        for (const char* p = value; *p && *p != '.' && *p != '@'; ++p)
            tag.push_back(*p == '_' ? '-' : char(std::tolower(static_cast<unsigned char>(*p))));
        if (tag == "c" || tag == "posix") return "";
        return tag;
    }
    return "";
}

// Higher is better: the full tag among the voice's languages, then its language alone, then a
// dialect of it. Among voices that match alike, the one that fits that language better by the
// engine's own ranking wins (French (France) over French (Belgium) for "fr"), then the one
// whose matching language comes earlier among its languages.
int Score(const VoiceEntry& voice, const std::string& tag) {
    std::string primary = Primary(tag);
    int best = 0;
    int rank = 0;
    size_t start = 0;
    while (start <= voice.languages.size()) {
        size_t end = voice.languages.find(", ", start);
        if (end == std::string::npos) end = voice.languages.size();
        std::string lang = voice.languages.substr(start, end - start);
        int match = 0;
        if (!tag.empty() && lang == tag)
            match = 3;
        else if (lang == primary)
            match = 2;
        else if (Primary(lang) == primary)
            match = 1;
        if (match) {
            int priority = size_t(rank) < voice.priorities.size() ? voice.priorities[rank] : 0;
            priority = std::clamp(priority, 0, 99);
            best = std::max(best, match * 100000 - priority * 100 - std::min(rank, 99));
        }
        ++rank;
        start = end + 2;
    }
    return best;
}

// espeak-ng's own default voice, which it selects by this name: the voice file "en" (its
// identifier is "gmw/en", English as spoken in Great Britain).
bool IsEngineDefault(const VoiceEntry& voice) {
    std::string_view key = voice.key;
    size_t slash = key.rfind('/');
    if (slash != std::string_view::npos) key.remove_prefix(slash + 1);
    return key == ESPEAKNG_DEFAULT_VOICE;
}

void PutPascal(unsigned char* field, size_t capacity, const std::string& utf8) {
    std::string bytes = Utf8ToMacRoman(utf8, capacity - 1);
    field[0] = static_cast<unsigned char>(bytes.size());
    std::memcpy(field + 1, bytes.data(), bytes.size());
}

}  // namespace

int16_t LanguageCode(std::string_view tag) {
    std::string primary = Primary(tag);
    for (const Language& l : kLanguages)
        if (primary == l.tag) return l.code;
    return 32767;
}

int ChooseDefaultVoice(const std::vector<VoiceEntry>& voices) {
    if (voices.empty()) return -1;
    int engineDefault = -1;
    for (size_t i = 0; i < voices.size() && engineDefault < 0; ++i)
        if (IsEngineDefault(voices[i])) engineDefault = int(i);
    // The locale's language, else English. English with no country (a locale without a
    // language comes here too) is the engine's own default voice, taken by its identifier:
    // the list is sorted by name, and its first English voice is a regional accent.
    for (const std::string& tag : {LocaleTag(), std::string("en")}) {
        if (tag.empty()) continue;
        if (tag == "en" && engineDefault >= 0) return engineDefault;
        int best = -1;
        int bestScore = 0;
        for (size_t i = 0; i < voices.size(); ++i) {
            int score = Score(voices[i], tag);
            if (score > bestScore || (score > 0 && score == bestScore && int(i) == engineDefault)) {
                best = int(i);
                bestScore = score;
            }
        }
        if (best >= 0) return best;
    }
    return engineDefault >= 0 ? engineDefault : 0;
}

void FillDescription(const VoiceEntry& voice, VoiceSpec spec, VoiceDescription& out) {
    std::memset(&out, 0, sizeof out);
    out.length = sizeof out;
    out.voice = spec;
    out.version = 1;
    PutPascal(out.name, sizeof out.name, voice.name);
    PutPascal(out.comment, sizeof out.comment, "Languages: " + voice.languages);
    out.gender = int16_t(voice.gender);
    out.age = int16_t(voice.age);
    out.language = LanguageCode(voice.languages);
}

}  // namespace vellora::speech
