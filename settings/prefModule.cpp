#include "settings/prefModule.h"

#include <array>
#include <string>

#include "platform/rbframework/runtime_yield.h"
#include "platform/rbframework/special_folder.h"
#include "platform/rbframework/string_functions.h"
#include "platform/rbframework/text_files.h"
#include "settings/main_window.h"

namespace prefModule {

int32_t SpeakingRate = 0;
int32_t Window1Top = 0;
int32_t Window1Left = 0;
int32_t Window1Width = 0;
int32_t Window1Height = 0;
rb::String InputFontFamily;
int32_t InputFontSize = 0;
rb::String InputBold;
rb::String InputFontColor;
rb::String InitialLaunch;
std::vector<rb::Ref<directiveClass>> gDirectives;

namespace {

constexpr const char* kFileName = "vellora.txt";

// One line of the file: its key, the globals it fills and their defaults, in the order the
// lines are written, the keys compared when reading, and the defaults set.
struct Setting {
    enum Kind { kBounds, kNumber, kWord };
    const char* key;
    Kind kind;
    std::array<int32_t*, 4> numbers;  // kBounds: top, left, width, height; kNumber: only [0]
    std::array<int32_t, 4> numberDefaults;
    rb::String* word;  // kWord
    const char* wordDefault;
};

const Setting kSettings[] = {
    {"Window1Position",
     Setting::kBounds,
     {&Window1Top, &Window1Left, &Window1Width, &Window1Height},
     {70, 10, 400, 492},
     nullptr,
     nullptr},
    {"InputFontColor", Setting::kWord, {}, {}, &InputFontColor, "Black"},
    {"InputFontSize", Setting::kNumber, {&InputFontSize}, {36}, nullptr, nullptr},
    {"InputFontFamily", Setting::kWord, {}, {}, &InputFontFamily, "Arial"},
    {"InputBold", Setting::kWord, {}, {}, &InputBold, "True"},
    {"SpeakingRate", Setting::kNumber, {&SpeakingRate}, {200}, nullptr, nullptr},
    {"InitialLaunch", Setting::kWord, {}, {}, &InitialLaunch, "True"},
};

size_t numberCount(const Setting& s) {
    return s.kind == Setting::kBounds ? 4 : s.kind == Setting::kNumber ? 1 : 0;
}

rb::Ref<rb::FolderItem> prefsFile() {
    rb::Ref<rb::FolderItem> folder = rb::SpecialFolder::Preferences();
    if (!folder) return nullptr;
    return folder->Child(kFileName);
}

int32_t intVal(const rb::String& s) {
    return rb::DoubleToInt32(rb::Val(s));
}

// A value goes on one line: a line break inside it would end the reading there and lose
// every setting written after it.
rb::String oneLine(const rb::String& value) {
    std::string text = value.toUtf8();
    if (text.find_first_of("\r\n") == std::string::npos) return value;
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return rb::String(text);
}

void apply(const Setting& s, const rb::String& text) {
    if (s.kind == Setting::kWord) {
        *s.word = text;
    } else if (s.kind == Setting::kNumber) {
        *s.numbers[0] = intVal(text);
    } else {
        // A missing field reads as 0.
        const rb::String tab = rb::Chr(9);
        for (int32_t i = 0; i < 4; ++i) *s.numbers[i] = intVal(rb::NthField(text, tab, i + 1));
    }
}

void setDefault(const Setting& s) {
    for (size_t i = 0; i < numberCount(s); ++i) *s.numbers[i] = s.numberDefaults[i];
    if (s.word) *s.word = s.wordDefault;
}

// The line as saved; `bounds` are the values the bounds line writes.
rb::String line(const Setting& s, const std::array<int32_t, 4>& bounds) {
    rb::String value;
    if (s.kind == Setting::kWord) {
        value = oneLine(*s.word);
    } else if (s.kind == Setting::kNumber) {
        value = rb::Str(*s.numbers[0]);
    } else {
        const rb::String tab = rb::Chr(9);
        value = rb::Str(bounds[0]) + tab + rb::Str(bounds[1]) + tab + rb::Str(bounds[2]) + tab +
                rb::Str(bounds[3]);
    }
    return rb::String("#") + rb::String(s.key) + rb::String(" ") + value;
}

}  // namespace

void CreateGlobals() {
    gDirectives.assign(1, nullptr);
}

void ReleaseGlobals() {
    gDirectives.clear();
    gDirectives.shrink_to_fit();
    InputFontColor = rb::String();
    InputFontFamily = rb::String();
    InputBold = rb::String();
    InitialLaunch = rb::String();
}

bool extractDirectives(const rb::Ref<rb::FolderItem>& f) {
    if (!f) return false;
    rb::Ref<rb::TextInputStream> in = rb::OpenAsTextFile(*f);
    if (!in) return false;
    // The entries start at index 1 even when the list was not made at start-up.
    if (gDirectives.empty()) CreateGlobals();
    const rb::String blank(" ");
    // The program writes seven lines. A file of millions (damaged, or not ours) would hold the
    // start for many seconds and keep hundreds of megabytes, so reading ends after this many
    // (10 MB of long entries still read whole).
    constexpr int kMostLines = 200000;
    for (int lines = 0; lines < kMostLines && !in->EOF_(); ++lines) {
        rb::String line = in->ReadLine();
        rb::String first = rb::Left(line, 1);
        if (first != rb::String("#") && first != rb::String("'")) break;
        if (first == rb::String("#")) {
            int32_t p = rb::InStr(line, blank);
            if (p > 0) {
                auto d = rb::make<directiveClass>();
                d->name = rb::Lowercase(rb::Mid(line, 2, p - 2));
                d->text = rb::Mid(line, p + 1);
                gDirectives.push_back(std::move(d));
            }
        }
        rb::RuntimeYield();
    }
    in->Close();
    return true;
}

void loadPrefs() {
    if (extractDirectives(prefsFile())) {
        for (size_t i = 1; i < gDirectives.size(); ++i) {
            const directiveClass& d = *gDirectives[i];
            for (const Setting& s : kSettings) {
                if (rb::RuntimeStringCompare(d.name, s.key) == 0) {
                    apply(s, d.text);
                    break;
                }
            }
            rb::RuntimeYield();
        }
        return;
    }
    for (const Setting& s : kSettings) setDefault(s);
}

void savePrefs() {
    rb::Ref<rb::FolderItem> f = prefsFile();
    if (!f) return;
    // Read before the file is made, so nothing can stop the writing half-way.
    std::array<int32_t, 4> bounds = {Window1Top, Window1Left, Window1Width, Window1Height};
    if (rb::Window* w = settings::openMainWindow())
        bounds = {w->Top(), w->Left(), w->Width(), w->Height()};
    std::vector<rb::String> lines;
    for (const Setting& s : kSettings) lines.push_back(line(s, bounds));
    rb::Ref<rb::TextOutputStream> out = rb::CreateTextFile(*f);
    if (!out) return;
    for (const rb::String& l : lines) out->WriteLine(l);
    out->Close();
}

}  // namespace prefModule
