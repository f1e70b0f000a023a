#include "platform/speechsynthesis/Voices.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

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
// dialect of it; earlier languages of the voice count more.
int Score(const VoiceEntry& voice, const std::string& tag) {
    std::string primary = Primary(tag);
    int best = 0;
    int rank = 0;
    size_t start = 0;
    while (start <= voice.languages.size()) {
        size_t end = voice.languages.find(", ", start);
        if (end == std::string::npos) end = voice.languages.size();
        std::string lang = voice.languages.substr(start, end - start);
        int score = 0;
        if (!tag.empty() && lang == tag)
            score = 3000;
        else if (lang == primary)
            score = 2000;
        else if (Primary(lang) == primary)
            score = 1000;
        if (score) best = std::max(best, score - rank);
        ++rank;
        start = end + 2;
    }
    return best;
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
    for (const std::string& tag : {LocaleTag(), std::string("en")}) {
        if (tag.empty()) continue;
        int best = -1;
        int bestScore = 0;
        for (size_t i = 0; i < voices.size(); ++i) {
            int score = Score(voices[i], tag);
            if (score > bestScore) {
                best = int(i);
                bestScore = score;
            }
        }
        if (best >= 0) return best;
    }
    return 0;
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
