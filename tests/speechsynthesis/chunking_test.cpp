// Where a text is cut into the stretches the engine makes one at a time, and which texts are
// silent.
#include <gtest/gtest.h>

#include <string>

#include "platform/speechsynthesis/Chunking.h"

namespace {

using vellora::speech::kChunkBytes;
using vellora::speech::NextChunk;
using vellora::speech::OnlyPunctuation;

std::string Repeat(size_t n, char c = 'a') {
    return std::string(n, c);
}

TEST(Chunking, CutsAtTheBestEndWithinAStretch) {
    const std::string e = "\xC3\xA9";  // é, two bytes in UTF-8
    struct Case {
        const char* what;
        std::string text;
        size_t start;
        bool utf8;
        size_t end;
        bool endsSentence;
    } cases[] = {
        {"all that is left fits", "Short. Text", 0, false, 11, true},
        {"exactly a stretch", Repeat(kChunkBytes), 0, false, kChunkBytes, true},
        {"the rest from a start", Repeat(10) + Repeat(kChunkBytes, 'b'), 10, false,
         10 + kChunkBytes, true},
        {"no blank: cut where it must be", Repeat(kChunkBytes + 1), 0, false, kChunkBytes, false},
        {"a sentence's end beats a later clause and word",
         "One. " + Repeat(50) + ", " + Repeat(50) + " " + Repeat(kChunkBytes), 0, false, 5, true},
        {"a question or an exclamation ends a sentence too", "Why? " + Repeat(kChunkBytes), 0,
         false, 5, true},
        {"a line's end ends a sentence", "line\n\n" + Repeat(kChunkBytes), 0, false, 6, true},
        {"a clause's end beats a later word", "one, " + Repeat(50) + " " + Repeat(kChunkBytes), 0,
         false, 5, false},
        {"the last word's end", "one two " + Repeat(kChunkBytes), 0, false, 8, false},
        {"a blank at the start is no end", " " + Repeat(kChunkBytes), 0, false, kChunkBytes, false},
        {"a blank just past the stretch is not seen", Repeat(kChunkBytes) + " b", 0, false,
         kChunkBytes, false},
        {"a point without a blank after it is no end", "a.b" + Repeat(kChunkBytes), 0, false,
         kChunkBytes, false},
        {"UTF-8 is never cut inside a character",
         "a" +
             [&] {
                 std::string s;
                 while (s.size() < kChunkBytes) s += e;
                 return s;
             }(),
         0, true, kChunkBytes - 1, false},
        {"Mac Roman bytes are characters", "a" + Repeat(kChunkBytes, '\x8E'), 0, false, kChunkBytes,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vellora::speech::Chunk chunk = NextChunk(c.text, c.start, c.utf8);
        EXPECT_EQ(chunk.end, c.end);
        EXPECT_EQ(chunk.endsSentence, c.endsSentence);
    }
}

TEST(Chunking, OnlyPunctuationAndBlanksSayNothing) {
    struct Case {
        std::string text;
        bool utf8;
        bool silent;
    } cases[] = {
        {"", false, true},
        {"...", false, true},
        {" ,;!?\t\r\n", false, true},
        {std::string("\0\0", 2), false, true},  // a NUL byte is read as a blank
        {"\xC9", false, true},                  // Mac Roman ellipsis
        {"\xE2\x80\x94 \xC2\xBF", true, true},  // UTF-8 em dash and inverted question mark
        {"a", false, false},
        {"... 1", false, false},
        {"\x8E", false, false},     // Mac Roman e acute
        {"\xC3\xA9", true, false},  // UTF-8 e acute
        {"!\xFF", true, false},     // not UTF-8: spoken as it comes, not taken as silent
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text) + (c.utf8 ? " utf8" : " mac"));
        EXPECT_EQ(OnlyPunctuation(c.text, c.utf8), c.silent);
    }
}

}  // namespace
