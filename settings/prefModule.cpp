#include "settings/prefModule.h"

#include <string>

#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/runtime_yield.h"
#include "platform/rbframework/special_folder.h"
#include "platform/rbframework/string_functions.h"
#include "platform/rbframework/text_files.h"

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
constexpr const char* kMainWindowClass = "Window1";

rb::Ref<rb::FolderItem> prefsFile() {
    rb::Ref<rb::FolderItem> folder = rb::SpecialFolder::Preferences();
    if (!folder) return nullptr;
    return folder->Child(kFileName);
}

int32_t intVal(const rb::String& s) {
    return rb::DoubleToInt32(rb::Val(s));
}

bool is(const rb::String& name, const char* key) {
    return rb::RuntimeStringCompare(name, key) == 0;
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
        const rb::String tab = rb::Chr(9);
        for (size_t i = 1; i < gDirectives.size(); ++i) {
            const directiveClass& d = *gDirectives[i];
            if (is(d.name, "Window1Position")) {
                Window1Top = intVal(rb::NthField(d.text, tab, 1));
                Window1Left = intVal(rb::NthField(d.text, tab, 2));
                Window1Width = intVal(rb::NthField(d.text, tab, 3));
                Window1Height = intVal(rb::NthField(d.text, tab, 4));
            } else if (is(d.name, "InputFontColor")) {
                InputFontColor = d.text;
            } else if (is(d.name, "InputFontSize")) {
                InputFontSize = intVal(d.text);
            } else if (is(d.name, "InputFontFamily")) {
                InputFontFamily = d.text;
            } else if (is(d.name, "InputBold")) {
                InputBold = d.text;
            } else if (is(d.name, "SpeakingRate")) {
                SpeakingRate = intVal(d.text);
            } else if (is(d.name, "InitialLaunch")) {
                InitialLaunch = d.text;
            }
            rb::RuntimeYield();
        }
        return;
    }
    Window1Top = 70;
    Window1Left = 10;
    Window1Width = 400;
    Window1Height = 492;
    InputFontColor = "Black";
    InputFontSize = 36;
    InputFontFamily = "Arial";
    InputBold = "True";
    SpeakingRate = 200;
    InitialLaunch = "True";
}

void savePrefs() {
    rb::Ref<rb::FolderItem> f = prefsFile();
    if (!f) return;
    // Read before the file is made, so nothing can stop the writing half-way.
    int32_t top = Window1Top, left = Window1Left, width = Window1Width, height = Window1Height;
    if (rb::Window* w = rb::_GetImplicitWindow(kMainWindowClass)) {
        top = w->Top();
        left = w->Left();
        width = w->Width();
        height = w->Height();
    }
    const rb::String tab = rb::Chr(9);
    const rb::String lines[] = {
        rb::String("#Window1Position ") + rb::Str(top) + tab + rb::Str(left) + tab +
            rb::Str(width) + tab + rb::Str(height),
        rb::String("#InputFontColor ") + oneLine(InputFontColor),
        rb::String("#InputFontSize ") + rb::Str(InputFontSize),
        rb::String("#InputFontFamily ") + oneLine(InputFontFamily),
        rb::String("#InputBold ") + oneLine(InputBold),
        rb::String("#SpeakingRate ") + rb::Str(SpeakingRate),
        rb::String("#InitialLaunch ") + oneLine(InitialLaunch),
    };
    rb::Ref<rb::TextOutputStream> out = rb::CreateTextFile(*f);
    if (!out) return;
    for (const rb::String& line : lines) out->WriteLine(line);
    out->Close();
}

}  // namespace prefModule
