// What the fuzz targets share: a failed property stops the run with a message (libFuzzer then
// saves the input), a private temporary folder, and an independent reading of bytes as UTF-8.
#pragma once

#include <unicode/unistr.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "\n%s:%d: property failed: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

// One folder per process, removed at exit when libFuzzer lets exit handlers run (scripts/fuzz
// points TMPDIR at a folder of its own); parallel workers never share files.
inline const std::filesystem::path& tempFolder() {
    static const std::filesystem::path dir = [] {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "vellora-fuzz-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) fail("mkdtemp", __FILE__, __LINE__);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(tempFolder(), ec);
        });
        return std::filesystem::path(tmpl);
    }();
    return dir;
}

inline void writeFile(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) fail("cannot write the input file", __FILE__, __LINE__);
}

// The bytes as UTF-8, each ill-formed sequence replaced by U+FFFD: ICU's converter, not the
// code under test's own loop.
inline std::string lenientUtf8(std::string_view bytes) {
    std::string out;
    icu::UnicodeString::fromUTF8(icu::StringPiece(bytes.data(), static_cast<int32_t>(bytes.size())))
        .toUTF8String(out);
    return out;
}

inline bool validUtf8(std::string_view bytes) {
    return lenientUtf8(bytes) == bytes;
}

}  // namespace fuzz

#define FUZZ_CHECK(cond)                                      \
    do {                                                      \
        if (!(cond)) ::fuzz::fail(#cond, __FILE__, __LINE__); \
    } while (0)
