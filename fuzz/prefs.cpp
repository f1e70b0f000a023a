// The preference file reader: any bytes as vellora.txt in a private configuration folder.
// What extractDirectives keeps and what loadPrefs sets are checked against the file's rules
// read here on the raw bytes; then what savePrefs writes must load back to the same globals.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/rbframework/string_functions.h"
#include "settings/prefModule.h"

namespace {

namespace fs = std::filesystem;

// The file's lines as the stream gives them: a leading byte-order mark dropped; LF, CR and
// CR LF end a line; a last line needs no ending.
std::vector<std::string_view> linesOf(std::string_view file) {
    if (file.starts_with("\xEF\xBB\xBF")) file.remove_prefix(3);
    std::vector<std::string_view> lines;
    while (!file.empty()) {
        size_t end = file.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            lines.push_back(file);
            break;
        }
        lines.push_back(file.substr(0, end));
        size_t next = end + 1;
        if (file[end] == '\r' && next < file.size() && file[next] == '\n') ++next;
        file.remove_prefix(next);
    }
    return lines;
}

struct Entry {
    std::string key, value;  // as UTF-8, the key not yet lower-cased
};

// Comments ("'") are skipped, entries ("#") kept when they hold a blank, and the first other
// line, an empty one too, ends the reading.
std::vector<Entry> entriesOf(std::string_view file) {
    std::vector<Entry> entries;
    for (std::string_view line : linesOf(file)) {
        if (line.empty() || (line[0] != '#' && line[0] != '\'')) break;
        if (line[0] != '#') continue;
        size_t blank = line.find(' ');
        if (blank == std::string_view::npos) continue;
        entries.push_back({fuzz::lenientUtf8(line.substr(1, blank - 1)),
                           fuzz::lenientUtf8(line.substr(blank + 1))});
    }
    return entries;
}

struct Globals {
    int32_t rate = 0, top = 0, left = 0, width = 0, height = 0, size = 0;
    std::string family, bold, color, launch;

    static Globals current() {
        using namespace prefModule;
        return {SpeakingRate,
                Window1Top,
                Window1Left,
                Window1Width,
                Window1Height,
                InputFontSize,
                InputFontFamily.toUtf8(),
                InputBold.toUtf8(),
                InputFontColor.toUtf8(),
                InitialLaunch.toUtf8()};
    }
    bool operator==(const Globals&) const = default;
};

void resetModule() {
    using namespace prefModule;
    SpeakingRate = Window1Top = Window1Left = Window1Width = Window1Height = InputFontSize = 0;
    InputFontFamily = InputBold = InputFontColor = InitialLaunch = rb::String();
    CreateGlobals();
}

int32_t number(std::string_view text) {
    return rb::DoubleToInt32(rb::Val(rb::String(text)));
}

// The i-th (0-based) tab-separated field, empty when there is none.
std::string_view field(std::string_view text, size_t i) {
    for (; i > 0; --i) {
        size_t tab = text.find('\t');
        if (tab == std::string_view::npos) return {};
        text.remove_prefix(tab + 1);
    }
    return text.substr(0, text.find('\t'));
}

Globals expected(const std::vector<Entry>& entries) {
    Globals g;
    for (const Entry& e : entries) {
        rb::String name = rb::Lowercase(rb::String(e.key));
        auto is = [&](const char* key) { return rb::RuntimeStringCompare(name, key) == 0; };
        if (is("Window1Position")) {
            g.top = number(field(e.value, 0));
            g.left = number(field(e.value, 1));
            g.width = number(field(e.value, 2));
            g.height = number(field(e.value, 3));
        } else if (is("InputFontColor")) {
            g.color = e.value;
        } else if (is("InputFontSize")) {
            g.size = number(e.value);
        } else if (is("InputFontFamily")) {
            g.family = e.value;
        } else if (is("InputBold")) {
            g.bold = e.value;
        } else if (is("SpeakingRate")) {
            g.rate = number(e.value);
        } else if (is("InitialLaunch")) {
            g.launch = e.value;
        }
    }
    return g;
}

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("XDG_CONFIG_HOME", fuzz::tempFolder().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path file = fuzz::tempFolder() / "vellora.txt";
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    fuzz::writeFile(file, bytes);
    const std::vector<Entry> entries = entriesOf(bytes);

    // The entries, in file order from index 1.
    resetModule();
    FUZZ_CHECK(prefModule::extractDirectives(rb::make<rb::FolderItem>(file)));
    const auto& list = prefModule::gDirectives;
    FUZZ_CHECK(list.size() == entries.size() + 1);
    FUZZ_CHECK(!list[0]);
    for (size_t i = 0; i < entries.size(); ++i) {
        FUZZ_CHECK(list[i + 1]->name == rb::Lowercase(rb::String(entries[i].key)));
        FUZZ_CHECK(list[i + 1]->text.toUtf8() == entries[i].value);
    }

    // The globals: only what the file names, the last entry of a key winning.
    resetModule();
    prefModule::loadPrefs();
    const Globals loaded = Globals::current();
    FUZZ_CHECK(loaded == expected(entries));

    // Saved: the seven lines in their order, which load back to the same globals.
    prefModule::savePrefs();
    const std::string saved = readAll(file);
    const char* keys[] = {"Window1Position", "InputFontColor", "InputFontSize", "InputFontFamily",
                          "InputBold",       "SpeakingRate",   "InitialLaunch"};
    const std::vector<std::string_view> lines = linesOf(saved);
    FUZZ_CHECK(lines.size() == 7);
    FUZZ_CHECK(saved.ends_with('\n'));
    for (size_t i = 0; i < 7; ++i)
        FUZZ_CHECK(lines[i].starts_with(std::string("#") + keys[i] + " "));
    resetModule();
    prefModule::loadPrefs();
    FUZZ_CHECK(Globals::current() == loaded);
    FUZZ_CHECK(prefModule::gDirectives.size() == 8);
    return 0;
}
