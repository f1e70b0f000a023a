// The real program, started as a desktop starts it, against a damaged or hostile preference file
// and damaged bundles. Every case must end within seconds, by a clear message or with the
// defaults, never by a crash, a hang or memory without bound, and must leave in the preference
// file's place what it may not rewrite.
#include <gtest/gtest.h>

#include <elf.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"
#include "tests/support/wait.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using vellora_test::ChildProcess;
using vellora_test::readBytes;
using vellora_test::TempFolder;
using vellora_test::writeBytes;

// The program holds about 40 MB with a good file and about 250 MB with a 20 MB line in it; a size
// or a count taken at its word would need far more (a 100000 x 100000 window's pixels alone are
// 40 GB). Built with AddressSanitizer, as this test then is too, it holds about twice as much.
#if defined(__SANITIZE_ADDRESS__)
constexpr int64_t kMemoryLimitKb = 1200 * 1024;
#else
constexpr int64_t kMemoryLimitKb = 400 * 1024;
#endif

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

struct Outcome {
    bool up = false;     // reached the point where the test asks it to end
    bool ended = false;  // ended within the bound after that
    int status = -1;     // exit status, or minus the signal that ended it
    int64_t peakKb = 0;
    std::string err;
};

// Starts `program` with its settings in `config`, waits for `up` (bounded), asks it to end with
// SIGTERM as a logout would, and waits for the end (bounded).
Outcome Start(const fs::path& program, const fs::path& config,
              const std::function<bool(const ChildProcess&)>& up) {
    Outcome run;
    const fs::path errFile = config.parent_path() / "stderr.txt";
    ChildProcess child(program, {{"XDG_CONFIG_HOME", config.string()}}, errFile);
    if (!child.started()) return run;
    // Generous for a loaded machine or a sanitizer build: a few seconds is the usual.
    run.up = vellora_test::WaitFor([&] { return !child.running() || up(child); }, 60s) &&
             child.running();
    if (child.running()) child.signal(SIGTERM);
    run.ended = child.waitForEnd(15s);
    if (run.ended) {
        run.status = child.status();
        run.peakKb = child.peakResidentKb();
    }
    run.err = readBytes(errFile);
    return run;
}

// Whether the program waits for the person: its main thread asleep in the event loop's poll,
// with no child of its own (the bundle probe) to wait for. At start that means a window or a
// message box is up and taking events.
bool WaitsInItsEventLoop(const ChildProcess& c) {
    const std::string proc = "/proc/" + std::to_string(c.pid());
    std::ifstream syscall(proc + "/task/" + std::to_string(c.pid()) + "/syscall");
    std::string number;
    syscall >> number;
    std::ifstream children(proc + "/task/" + std::to_string(c.pid()) + "/children");
    std::string child;
    children >> child;
    // poll and ppoll; "running" while it works.
    return (number == "7" || number == "271") && c.statusField("State").rfind("S", 0) == 0 &&
           child.empty();
}

// The program is up once it has waited for the person a while, seen so at several looks in a
// row: before its main window opens, nothing at start waits in the event loop. (The sound
// output is no sign: it starts beside the window, and rests again when nothing is said.)
std::function<bool(const ChildProcess&)> MainWindowOpen() {
    return [seen = 0](const ChildProcess& c) mutable {
        seen = WaitsInItsEventLoop(c) ? seen + 1 : 0;
        return seen >= 20;
    };
}

// ---- the preference file --------------------------------------------------------------

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// What the program saves: its seven entries in their order, with a window that fits a screen.
void ExpectSavedSettings(const std::string& saved) {
    const char* keys[] = {"#Window1Position ", "#InputFontColor ", "#InputFontSize ",
                          "#InputFontFamily ", "#InputBold ",      "#SpeakingRate ",
                          "#InitialLaunch "};
    std::vector<std::string> lines = Lines(saved);
    ASSERT_EQ(lines.size(), 7u) << saved.substr(0, 400);
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(lines[i].rfind(keys[i], 0), 0u) << lines[i];
    int top = 0, left = 0, width = 0, height = 0;
    ASSERT_EQ(std::sscanf(lines[0].c_str(), "#Window1Position %d\t%d\t%d\t%d", &top, &left, &width,
                          &height),
              4)
        << lines[0];
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    EXPECT_LE(width, 4000);
    EXPECT_LE(height, 4000);
}

struct Kept {
    fs::file_type type;
    std::string bytesOrTarget;
};

Kept What(const fs::path& p) {
    std::error_code e;
    fs::file_type type = fs::symlink_status(p, e).type();
    if (type == fs::file_type::symlink) return {type, fs::read_symlink(p, e).string()};
    if (type == fs::file_type::directory) {
        std::string names;
        for (const auto& entry : fs::directory_iterator(p, e))
            names += entry.path().filename().string() + "\n";
        return {type, names};
    }
    return {type, type == fs::file_type::regular ? readBytes(p) : ""};
}

struct PrefsCase {
    const char* what;
    void (*make)(const fs::path& file);
    bool rewritten;  // a regular file the program saves its settings into at the end
};

std::string BigName() {
    return std::string(20 << 20, 'A');
}

const PrefsCase kPrefsCases[] = {
    {"a 20 MB font family",
     [](const fs::path& f) {
         writeBytes(f, "#InitialLaunch False\n#InputFontFamily " + BigName() + "\n");
     },
     true},
    {"a 20 MB line without a blank or a line end",
     [](const fs::path& f) { writeBytes(f, "#" + BigName()); }, true},
    {"20 MB of short entries",
     [](const fs::path& f) {
         std::string text = "#InitialLaunch False\n";
         while (text.size() < (20 << 20)) text += "#x y\n";
         writeBytes(f, text);
     },
     true},
    {"20 MB of comment lines",
     [](const fs::path& f) {
         std::string text = "#InitialLaunch False\n";
         while (text.size() < (20 << 20)) text += "'\n";
         writeBytes(f, text);
     },
     true},
    {"NUL bytes inside names and values",
     [](const fs::path& f) {
         const char text[] =
             "#InitialLaunch False\n#InputFont\0Size 4\0 0\n#Window1Position 1\0\t2\t3\0\t4\n"
             "#InputFontFamily A\0b\n#SpeakingRate \0\n";
         writeBytes(f, std::string(text, sizeof text - 1));
     },
     true},
    {"random bytes", [](const fs::path& f) { writeBytes(f, "#" + RandomBytes(256 << 10, 7)); },
     true},
    {"negative bounds",
     [](const fs::path& f) {
         writeBytes(f, "#InitialLaunch False\n#Window1Position -100\t-200\t-400\t-492\n");
     },
     true},
    {"NaN and infinite bounds",
     [](const fs::path& f) {
         writeBytes(f, "#InitialLaunch False\n#Window1Position nan\tinf\t-nan\t1e999\n");
     },
     true},
    {"a window of 100000 x 100000",
     [](const fs::path& f) {
         writeBytes(f, "#InitialLaunch False\n#Window1Position 0\t0\t100000\t100000\n");
     },
     true},
    {"font size 0",
     [](const fs::path& f) { writeBytes(f, "#InitialLaunch False\n#InputFontSize 0\n"); }, true},
    {"font size 100000",
     [](const fs::path& f) {
         writeBytes(f, "#InitialLaunch False\n#InputFontSize 100000\n#InputBold True\n");
     },
     true},
    {"font size 1e99",
     [](const fs::path& f) { writeBytes(f, "#InitialLaunch False\n#InputFontSize 1e99\n"); }, true},
    {"speaking rate 1e99 and -1e99",
     [](const fs::path& f) {
         writeBytes(f, "#InitialLaunch False\n#SpeakingRate 1e99\n#SpeakingRate -1e99\n");
     },
     true},
    {"a folder in the file's place",
     [](const fs::path& f) {
         fs::create_directory(f);
         writeBytes(f / "inside", "kept");
     },
     false},
    {"a FIFO in the file's place", [](const fs::path& f) { mkfifo(f.c_str(), 0644); }, false},
    {"a dangling link in the file's place",
     [](const fs::path& f) { fs::create_symlink(f.parent_path() / "nowhere.txt", f); }, false},
};

void PrintTo(const PrefsCase& c, std::ostream* os) {
    *os << c.what;
}

class PreferenceFile : public ::testing::TestWithParam<PrefsCase> {};

// Each ends in the file's values or the defaults, never in a crash or a hang.
TEST_P(PreferenceFile, TheProgramStartsAndEndsWithinBounds) {
    const PrefsCase& c = GetParam();
    TempFolder temp("vellora-hostile");
    ASSERT_FALSE(temp.path().empty());
    const fs::path config = temp.path() / "config";
    fs::create_directory(config);
    const fs::path file = config / "vellora.txt";
    c.make(file);
    const Kept before = What(file);

    Outcome run = Start(VELLORA_PROGRAM, config, MainWindowOpen());
    EXPECT_TRUE(run.up) << "never opened its main window; stderr: " << run.err;
    ASSERT_TRUE(run.ended) << "still running 15 s after SIGTERM";
    EXPECT_EQ(run.status, 0) << "stderr: " << run.err;
    EXPECT_LT(run.peakKb, kMemoryLimitKb);
    RecordProperty("peakResidentKb", std::to_string(run.peakKb));

    if (c.rewritten) {
        ExpectSavedSettings(readBytes(file));
    } else {
        const Kept after = What(file);
        EXPECT_EQ(after.type, before.type);
        EXPECT_EQ(after.bytesOrTarget, before.bytesOrTarget);
        EXPECT_FALSE(fs::exists(config / "nowhere.txt"));
    }
}

// ---- the bundles ----------------------------------------------------------------------

// A copy of the build's program tree in `root`: the program and its bundle probe copied (its
// plug-in folder is found from where it lies), its libraries through a link, its bundles copied.
void CopyProgramTree(const fs::path& root) {
    const fs::path build = fs::path(VELLORA_PROGRAM).parent_path().parent_path();
    fs::create_directories(root / "bin");
    fs::copy_file(VELLORA_PROGRAM, root / "bin" / "vellora");
    fs::copy_file(VELLORA_BUNDLE_PROBE, root / "bin" / "vellora-bundle-probe");
    fs::create_directory_symlink(build / "lib", root / "lib");
    fs::create_directory(root / "plugins");
    for (const char* name : {"speech.so", "clipboard.so"})
        fs::copy_file(build / "plugins" / name, root / "plugins" / name);
}

// `bytes` with the `length` bytes at `offset` replaced by random ones.
std::string Scrambled(std::string bytes, uint64_t offset, uint64_t length, unsigned seed) {
    if (offset < bytes.size())
        bytes.replace(offset, std::min(length, bytes.size() - offset),
                      RandomBytes(std::min(length, bytes.size() - offset), seed));
    return bytes;
}

// Where in a well-formed shared library its dynamic section and its relocations lie, as file
// offset and length.
struct LinkingTables {
    uint64_t dynamic = 0, dynamicSize = 0, relocations = 0, relocationsSize = 0;
};
LinkingTables FindLinkingTables(const std::string& elf) {
    LinkingTables t;
    if (elf.size() < sizeof(Elf64_Ehdr)) return t;
    Elf64_Ehdr h;
    std::memcpy(&h, elf.data(), sizeof h);
    std::vector<Elf64_Phdr> segments(h.e_phnum);
    std::memcpy(segments.data(), elf.data() + h.e_phoff, h.e_phnum * sizeof(Elf64_Phdr));
    auto fileOffset = [&](uint64_t address) {
        for (const Elf64_Phdr& p : segments)
            if (p.p_type == PT_LOAD && address >= p.p_vaddr && address < p.p_vaddr + p.p_filesz)
                return address - p.p_vaddr + p.p_offset;
        return uint64_t(0);
    };
    for (const Elf64_Phdr& p : segments) {
        if (p.p_type != PT_DYNAMIC) continue;
        t.dynamic = p.p_offset;
        t.dynamicSize = p.p_filesz;
        for (uint64_t at = p.p_offset; at + sizeof(Elf64_Dyn) <= p.p_offset + p.p_filesz;
             at += sizeof(Elf64_Dyn)) {
            Elf64_Dyn d;
            std::memcpy(&d, elf.data() + at, sizeof d);
            if (d.d_tag == DT_RELA) t.relocations = fileOffset(d.d_un.d_ptr);
            if (d.d_tag == DT_RELASZ) t.relocationsSize = d.d_un.d_val;
        }
    }
    return t;
}

// The bytes of a bundle of the build.
std::string BuiltBundle(const char* name) {
    return readBytes(fs::path(VELLORA_PROGRAM).parent_path().parent_path() / "plugins" / name);
}

const LinkingTables& Tables() {
    static const LinkingTables tables = FindLinkingTables(BuiltBundle("speech.so"));
    return tables;
}

struct BundleCase {
    const char* what;
    const char* bundle;
    void (*make)(const fs::path& file);
    const char* says;
    bool needsNonRoot = false;
};

const BundleCase kBundleCases[] = {
    {"empty", "speech", [](const fs::path& f) { writeBytes(f, ""); },
     "is not a complete shared library"},
    {"truncated to its first half", "speech",
     [](const fs::path& f) {
         writeBytes(f, BuiltBundle("speech.so").substr(0, BuiltBundle("speech.so").size() / 2));
     },
     "is not a complete shared library"},
    {"truncated after the speech bundle loaded", "clipboard",
     [](const fs::path& f) {
         std::string clip = BuiltBundle("clipboard.so");
         writeBytes(f, clip.substr(0, clip.size() - 100));
     },
     "is not a complete shared library"},
    {"random bytes", "speech", [](const fs::path& f) { writeBytes(f, RandomBytes(1 << 16, 3)); },
     "is not a complete shared library"},
    {"the real bundle's headers, then random bytes", "speech",
     [](const fs::path& f) {
         writeBytes(f, BuiltBundle("speech.so").substr(0, 4096) +
                           RandomBytes(BuiltBundle("speech.so").size() - 4096, 5));
     },
     "could not be loaded"},
    {"its dynamic section random", "speech",
     [](const fs::path& f) {
         writeBytes(
             f, Scrambled(BuiltBundle("speech.so"), Tables().dynamic, Tables().dynamicSize, 11));
     },
     "could not be loaded"},
    {"its relocations random", "speech",
     [](const fs::path& f) {
         writeBytes(f, Scrambled(BuiltBundle("speech.so"), Tables().relocations,
                                 Tables().relocationsSize, 13));
     },
     "could not be loaded"},
    {"a folder", "speech", [](const fs::path& f) { fs::create_directory(f); }, "was not found"},
    {"a FIFO", "speech", [](const fs::path& f) { mkfifo(f.c_str(), 0644); }, "was not found"},
    {"a shared library without REALPluginMain", "speech",
     [](const fs::path& f) { fs::copy_file(VELLORA_NO_ENTRY_BUNDLE, f); },
     "has no entry REALPluginMain"},
    {"a bundle whose own start-up code crashes", "speech",
     [](const fs::path& f) { fs::copy_file(VELLORA_CRASHES_ON_LOAD_BUNDLE, f); },
     "could not be loaded"},
    {"a bundle whose start fails", "speech",
     [](const fs::path& f) { fs::copy_file(VELLORA_START_FAILS_BUNDLE, f); },
     "could not start: its REALPluginMain reported a failure."},
    {"a bundle announcing another interface version", "clipboard",
     [](const fs::path& f) { fs::copy_file(VELLORA_WRONG_VERSION_BUNDLE, f); },
     "could not start: it speaks plug-in interface version 8, this program needs 9."},
    {"a bundle with a class record of another version", "speech",
     [](const fs::path& f) { fs::copy_file(VELLORA_OLD_RECORD_BUNDLE, f); },
     "could not start: class OldRecord has record version 8, this program needs 9."},
    {"unreadable", "speech", [](const fs::path& f) { fs::permissions(f, fs::perms::none); },
     "cannot be read", true},
};

void PrintTo(const BundleCase& c, std::ostream* os) {
    *os << c.what;
}

class DamagedBundle : public ::testing::TestWithParam<BundleCase> {};

// The start stops with a message that names the bundle, never with a crash.
TEST_P(DamagedBundle, StopsTheStartWithAMessageNamingIt) {
    const BundleCase& c = GetParam();
    // The real bundle the damaged ones are made from, with the tables some rows scramble.
    ASSERT_GT(BuiltBundle("speech.so").size(), 4096u);
    ASSERT_GT(Tables().dynamicSize, 0u);
    ASSERT_GT(Tables().relocationsSize, 0u);
    // Permissions do not stop root from reading; this row says nothing when run so.
    if (c.needsNonRoot && geteuid() == 0) GTEST_SKIP() << "root reads a file whatever its mode";
    TempFolder temp("vellora-hostile");
    ASSERT_FALSE(temp.path().empty());
    const fs::path root = temp.path() / "tree";
    CopyProgramTree(root);
    const fs::path bundle = root / "plugins" / (std::string(c.bundle) + ".so");
    if (!c.needsNonRoot) fs::remove(bundle);
    c.make(bundle);
    const fs::path config = temp.path() / "config";
    fs::create_directory(config);
    const std::string prefs = "#SpeakingRate 180\n#InitialLaunch False\n";
    writeBytes(config / "vellora.txt", prefs);

    // The message box is up once the program, handling SIGTERM (the runtime has started),
    // waits in the box's event loop; a SIGTERM then closes the box as a logout would, and the
    // start ends with status 2.
    Outcome run = Start(root / "bin" / "vellora", config, [](const ChildProcess& p) {
        return p.catches(SIGTERM) && WaitsInItsEventLoop(p);
    });
    EXPECT_TRUE(run.up) << "never showed its message; stderr: " << run.err;
    ASSERT_TRUE(run.ended) << "still running 15 s after SIGTERM";
    EXPECT_EQ(run.status, 2) << "stderr: " << run.err;
    EXPECT_NE(run.err.find(std::string("vellora: The plug-in \"") + c.bundle + "\""),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_LT(run.peakKb, kMemoryLimitKb);
    RecordProperty("peakResidentKb", std::to_string(run.peakKb));
    EXPECT_EQ(readBytes(config / "vellora.txt"), prefs);
}

// A case's name for the test's name: its words in capitals, without the rest.
template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name;
    bool capital = true;
    for (const char* p = info.param.what; *p; ++p) {
        if (std::isalnum(static_cast<unsigned char>(*p))) {
            name += capital ? static_cast<char>(std::toupper(static_cast<unsigned char>(*p))) : *p;
            capital = false;
        } else {
            capital = true;
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Hostile, PreferenceFile, ::testing::ValuesIn(kPrefsCases),
                         CaseName<PrefsCase>);
INSTANTIATE_TEST_SUITE_P(Hostile, DamagedBundle, ::testing::ValuesIn(kBundleCases),
                         CaseName<BundleCase>);

}  // namespace
