#include <gtest/gtest.h>

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "platform/rbframework/rbstring.h"
#include "platform/rbframework/string_functions.h"

namespace {

using rb::String;
namespace enc = rb::encoding;

// Strings made by a test are all gone once it ends.
class Strings : public ::testing::Test {
  protected:
    void SetUp() override { live_ = String::liveCount(); }
    void TearDown() override { EXPECT_EQ(String::liveCount(), live_); }
    int64_t live_ = 0;
};

TEST_F(Strings, RecordKeepsLengthBytePointerAndByteLength) {
    std::string big(300, 'x');
    for (const std::string& text : {std::string("abc"), std::string(), big}) {
        String s(text);
        auto* rec = reinterpret_cast<const REALstringRecord*>(s.handle());
        EXPECT_EQ(rec->byteLength, text.size());
        EXPECT_EQ(rec->pascalBytes[0], std::min<size_t>(text.size(), 255));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec->pascalBytes + 1), text.size()),
                  text);
        EXPECT_EQ(rec->pascalBytes[1 + text.size()], 0);
    }
}

TEST_F(Strings, ReferencesAreCountedAndReleased) {
    int64_t before = String::liveCount();
    {
        String a("hello");
        String b = a;
        EXPECT_EQ(a.refCount(), 2);
        EXPECT_EQ(String::liveCount(), before + 1);
        REALstring h = b.leak();
        EXPECT_EQ(a.refCount(), 2);
        String::adopt(h);
        EXPECT_EQ(a.refCount(), 1);
    }
    EXPECT_EQ(String::liveCount(), before);
}

struct Conversion {
    const char* name;
    std::string bytes;
    rb::Encoding from;
    rb::Encoding to;
    bool ok;
    std::string expect;
};

TEST_F(Strings, ConvertsBetweenEncodingsAndFailsOnLoss) {
    const std::string e_acute_utf8 = "\xC3\xA9";
    const Conversion cases[] = {
        {"utf8 to mac roman", "caf" + e_acute_utf8, enc::UTF8, enc::MacRoman, true, "caf\x8E"},
        {"mac roman to utf8", "caf\x8E", enc::MacRoman, enc::UTF8, true, "caf" + e_acute_utf8},
        {"utf8 to utf16", "A" + e_acute_utf8, enc::UTF8, enc::UTF16, true,
         std::string("A\0\xE9\0", 4)},
        {"utf16 to utf8", std::string("A\0\xE9\0", 4), enc::UTF16, enc::UTF8, true,
         "A" + e_acute_utf8},
        {"utf8 to utf32", "\xF0\x9F\x98\x80", enc::UTF8, enc::UTF32, true,
         std::string("\x00\xF6\x01\x00", 4)},
        {"utf32 to utf8", std::string("\x00\xF6\x01\x00", 4), enc::UTF32, enc::UTF8, true,
         "\xF0\x9F\x98\x80"},
        {"utf8 to ascii", "plain", enc::UTF8, enc::ASCII, true, "plain"},
        {"accent to ascii fails", "caf" + e_acute_utf8, enc::UTF8, enc::ASCII, false, ""},
        {"emoji to mac roman fails", "hi \xF0\x9F\x98\x80", enc::UTF8, enc::MacRoman, false, ""},
        {"cyrillic to mac roman fails", "\xD0\x96", enc::UTF8, enc::MacRoman, false, ""},
        {"invalid utf8 fails", "\xC3(", enc::UTF8, enc::UTF16, false, ""},
        {"anything to raw keeps bytes", "caf\x8E", enc::MacRoman, enc::Raw, true, "caf\x8E"},
        {"raw to valid utf8 keeps bytes", "caf" + e_acute_utf8, enc::Raw, enc::UTF8, true,
         "caf" + e_acute_utf8},
        {"raw to invalid utf8 fails", "\xFF", enc::Raw, enc::UTF8, false, ""},
        {"raw to mac roman keeps bytes", "\xFF\x80", enc::Raw, enc::MacRoman, true, "\xFF\x80"},
        // UTF-8 to Mac Roman takes a way of its own, eight ASCII bytes at a time.
        {"accent after a run of ascii", "0123456789" + e_acute_utf8 + "abcdefgh!", enc::UTF8,
         enc::MacRoman, true,
         "0123456789\x8E"
         "abcdefgh!"},
        {"zero-width space left out",
         "a\xE2\x80\x8B"
         "b\xEF\xBB\xBF",
         enc::UTF8, enc::MacRoman, true, "ab"},
        {"nul kept", std::string("a\0b", 3), enc::UTF8, enc::MacRoman, true,
         std::string("a\0b", 3)},
        {"invalid utf8 to mac roman fails", "abcdefgh\xC3(", enc::UTF8, enc::MacRoman, false, ""},
        {"encoded surrogate to mac roman fails", "\xED\xA0\x80", enc::UTF8, enc::MacRoman, false,
         ""},
        {"empty to mac roman", "", enc::UTF8, enc::MacRoman, true, ""},
    };
    for (const Conversion& c : cases) {
        SCOPED_TRACE(c.name);
        String s = String::fromBytes(c.bytes.data(), c.bytes.size(), c.from);
        String out = s.convert(c.to);
        ASSERT_EQ(!out.isNil(), c.ok);
        if (c.ok) {
            EXPECT_EQ(out.encoding(), c.to);
            EXPECT_EQ(std::string(out.bytes()), c.expect);
        }
    }
}

// UTF-8 to Mac Roman answers each code point as the conversion from UTF-16 does.
TEST_F(Strings, MacRomanFromUtf8AgreesWithItFromUtf16ForEveryCodePoint) {
    for (UChar32 c = 0x80; c <= 0x10FFFF; c += c < 0x10000 ? 1 : 97) {
        if (U_IS_SURROGATE(c)) continue;
        std::string utf8;
        char buf[4];
        int32_t n = 0;
        U8_APPEND_UNSAFE(buf, n, c);
        utf8.assign(buf, size_t(n));
        std::u16string units;
        if (c <= 0xFFFF) {
            units.push_back(char16_t(c));
        } else {
            units.push_back(char16_t(U16_LEAD(c)));
            units.push_back(char16_t(U16_TRAIL(c)));
        }
        String fast = String::fromUtf8("x" + utf8).convert(enc::MacRoman);
        String wide = String::fromBytes(u"x", 2, enc::UTF16).convert(enc::MacRoman);
        String other =
            String::fromBytes(units.data(), units.size() * 2, enc::UTF16).convert(enc::MacRoman);
        ASSERT_EQ(fast.isNil(), other.isNil()) << std::hex << c;
        if (!fast.isNil()) {
            ASSERT_EQ(std::string(fast.bytes()),
                      std::string(wide.bytes()) + std::string(other.bytes()))
                << std::hex << c;
        }
    }
}

// What a string's maker knows (its length, ASCII, well-formed) gives the answers walking does.
TEST_F(Strings, KnownFactsGiveTheAnswersOfAWalk) {
    const std::string texts[] = {
        "",
        "plain words",
        "caf\xC3\xA9 d\xC3\xA9j\xC3\xA0",
        "a\xF0\x9F\x98\x80"
        "b\ncd",
        std::string(20, 'x') + "\xE2\x82\xAC" + std::string(20, 'y'),
    };
    for (const std::string& t : texts) {
        SCOPED_TRACE(t);
        String plain = String::fromUtf8(t);
        const int32_t n = rb::Len(plain);
        bool ascii = std::all_of(t.begin(), t.end(), [](char c) { return (c & 0x80) == 0; });
        String known = String::fromBytes(t.data(), t.size(), enc::UTF8, {n, ascii, true});
        String wellFormed = String::fromBytes(t.data(), t.size(), enc::UTF8, {-1, false, true});
        for (const String* s : {&known, &wellFormed}) {
            EXPECT_EQ(rb::Len(*s), n);
            for (int32_t k = -1; k <= n + 1; ++k) {
                EXPECT_EQ(rb::Left(*s, k).bytes(), rb::Left(plain, k).bytes()) << k;
                EXPECT_EQ(rb::Right(*s, k).bytes(), rb::Right(plain, k).bytes()) << k;
                EXPECT_EQ(rb::Len(rb::Right(*s, k)), rb::Len(rb::Right(plain, k))) << k;
                EXPECT_EQ(rb::Mid(*s, k, 2).bytes(), rb::Mid(plain, k, 2).bytes()) << k;
                EXPECT_EQ(rb::Len(rb::Mid(*s, k)), rb::Len(rb::Mid(plain, k))) << k;
            }
        }
    }
    // The length kept is the one of the encoding: a string retagged counts again.
    String two = String::fromUtf8("\xC3\xA9\xC3\xA9");
    ASSERT_EQ(rb::Len(two), 2);
    rb::strings::setEncoding(two.handle(), enc::MacRoman);
    EXPECT_EQ(rb::Len(two), 4);
    EXPECT_EQ(rb::Right(two, 1).bytes(), "\xA9");
}

TEST_F(Strings, EveryMacRomanByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    String mac = String::fromBytes(all.data(), all.size(), enc::MacRoman);
    for (rb::Encoding via : {enc::UTF8, enc::UTF16, enc::UTF32}) {
        String there = mac.convert(via);
        ASSERT_FALSE(there.isNil());
        String back = there.convert(enc::MacRoman);
        ASSERT_FALSE(back.isNil());
        EXPECT_EQ(std::string(back.bytes()), all);
    }
}

// A plug-in may tag any bytes with any encoding; the text shown from them is still UTF-8.
TEST_F(Strings, ShownTextIsWellFormedWhateverTheBytes) {
    struct Case {
        const char* name;
        std::string bytes;
        rb::Encoding encoding;
        std::string shown;
    };
    const Case cases[] = {
        {"stray byte in UTF-8", "Gr\xC3\xBC\xFF!", enc::UTF8, "Gr\xC3\xBC\xEF\xBF\xBD!"},
        {"UTF-8 cut short", "a\xE2\x82", enc::UTF8, "a\xEF\xBF\xBD"},
        {"well-formed UTF-8", "\xE2\x82\xAC", enc::UTF8, "\xE2\x82\xAC"},
        {"unknown encoding", "caf\xE9", 0x1234u, "caf\xC3\xA9"},
    };
    for (const Case& c : cases) {
        String s = String::fromBytes(c.bytes.data(), c.bytes.size(), c.encoding);
        EXPECT_EQ(s.toUtf8(), c.shown) << c.name;
        EXPECT_EQ(std::string(s.bytes()), c.bytes) << c.name << ": the bytes stay as they were";
    }
}

TEST_F(Strings, ComparisonIgnoresCaseAndConcatenationJoinsEncodings) {
    EXPECT_EQ(rb::RuntimeStringCompare("SpeakingRate", "speakingrate"), 0);
    EXPECT_EQ(rb::RuntimeStringCompare("\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"), 0);  // ÉTÉ / été
    EXPECT_LT(rb::RuntimeStringCompare("abc", "abd"), 0);
    EXPECT_GT(rb::RuntimeStringCompare("b", "A"), 0);
    EXPECT_NE(rb::RuntimeStringCompare(".", ","), 0);
    EXPECT_EQ(rb::RuntimeStringCompare(String(), ""), 0);
    EXPECT_LT(rb::RuntimeStringCompare("a", "AB"), 0);
    // Plain ASCII orders as full case folding does: a letter in either case after '[' and '_'.
    // The same pairs with a letter outside ASCII after them take the Unicode path.
    const char* pairs[][2] = {{"[", "A"}, {"_x", "Bx"}, {"Zeta", "alpha"}, {"b1", "B2"}};
    for (auto& p : pairs) {
        const std::string e = "\xC3\xA9";
        int ascii = rb::RuntimeStringCompare(p[0], p[1]);
        int unicode = rb::RuntimeStringCompare(String(p[0] + e), String(p[1] + e));
        EXPECT_NE(ascii, 0) << p[0] << " / " << p[1];
        EXPECT_EQ(ascii < 0, unicode < 0) << p[0] << " / " << p[1];
    }

    String mac = String::fromBytes("caf\x8E", 4, enc::MacRoman);
    String joined = mac + String(" ok");
    EXPECT_EQ(joined.encoding(), enc::UTF8);
    EXPECT_EQ(joined.toUtf8(), "caf\xC3\xA9 ok");
    EXPECT_EQ((mac + mac).encoding(), enc::MacRoman);
    EXPECT_EQ((String() + String("x")).toUtf8(), "x");
}

TEST_F(Strings, FunctionsCountCharactersNotBytes) {
    const String emoji(
        "a\xF0\x9F\x98\x80"
        "b");  // a😀b
    EXPECT_EQ(rb::Len(emoji), 3);
    EXPECT_EQ(rb::Mid(emoji, 2, 1).toUtf8(), "\xF0\x9F\x98\x80");
    EXPECT_EQ(rb::Right(emoji, 2).toUtf8(),
              "\xF0\x9F\x98\x80"
              "b");
    EXPECT_EQ(rb::Left(emoji, 2).toUtf8(), "a\xF0\x9F\x98\x80");
    String utf16 = emoji.convert(enc::UTF16);
    EXPECT_EQ(rb::Len(utf16), 3);
    EXPECT_EQ(rb::Right(utf16, 2).toUtf8(),
              "\xF0\x9F\x98\x80"
              "b");
    String mac = String::fromBytes("caf\x8E", 4, enc::MacRoman);
    EXPECT_EQ(rb::Len(mac), 4);
    EXPECT_EQ(rb::Right(mac, 1).encoding(), enc::MacRoman);
    EXPECT_EQ(rb::Right(mac, 1).toUtf8(), "\xC3\xA9");
}

TEST_F(Strings, PiecesAtTheirLimits) {
    const String s("Hello");
    struct Piece {
        const char* name;
        String got;
        const char* want;
    } pieces[] = {
        {"Left 0", rb::Left(s, 0), ""},
        {"Left past end", rb::Left(s, 9), "Hello"},
        {"Left negative", rb::Left(s, -1), ""},
        {"Right 2", rb::Right(s, 2), "lo"},
        {"Right whole", rb::Right(s, 5), "Hello"},
        {"Right past end", rb::Right(s, 50), "Hello"},
        {"Right 0", rb::Right(s, 0), ""},
        {"Right negative", rb::Right(s, -3), ""},
        {"Right of empty", rb::Right(String(""), 1), ""},
        {"Mid to end", rb::Mid(s, 2), "ello"},
        {"Mid count", rb::Mid(s, 2, 3), "ell"},
        {"Mid past end", rb::Mid(s, 6, 1), ""},
        {"Mid count past end", rb::Mid(s, 4, 10), "lo"},
        {"Mid start 0", rb::Mid(s, 0, 2), "He"},
        {"Mid negative count", rb::Mid(s, 2, -1), ""},
        {"NthField 1", rb::NthField("10\t20\t30", "\t", 1), "10"},
        {"NthField 3", rb::NthField("10\t20\t30", "\t", 3), "30"},
        {"NthField missing", rb::NthField("10\t20", "\t", 3), ""},
        {"NthField 0", rb::NthField("10\t20", "\t", 0), ""},
        {"NthField empty fields", rb::NthField("1..3", ".", 2), ""},
        {"NthField ignores case", rb::NthField("aXbxc", "x", 3), "c"},
        {"NthField wide separator", rb::NthField("a<>b<>c", "<>", 2), "b"},
        {"Lowercase", rb::Lowercase("SpeakingRate \xC3\x89"), "speakingrate \xC3\xA9"},
        {"Chr tab", rb::Chr(9), "\t"},
        {"Chr e acute", rb::Chr(0xE9), "\xC3\xA9"},
        {"Chr invalid", rb::Chr(0xD800), ""},
        {"Str", rb::Str(-175), "-175"},
        {"Str double", rb::Str(1.5), "1.5"},
        {"Str whole double", rb::Str(175.0), "175"},
    };
    for (const Piece& p : pieces) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(p.got.toUtf8(), p.want);
    }
}

TEST_F(Strings, InStrFindsIgnoringCaseFromAStart) {
    const String doc("<a>x</a><CurrentVersion>1.2.3</CurrentVersion>");
    EXPECT_EQ(rb::InStr(doc, "<CurrentVersion>"), 9);
    EXPECT_EQ(rb::InStr(doc, "<currentversion>"), 9);
    EXPECT_EQ(rb::InStr(0, doc, "</CurrentVersion>"), 30);
    EXPECT_EQ(rb::InStr(25, doc, "</CurrentVersion>"), 30);
    EXPECT_EQ(rb::InStr(31, doc, "</CurrentVersion>"), 0);
    EXPECT_EQ(rb::InStr(doc, "<Free>"), 0);
    EXPECT_EQ(rb::InStr(100, doc, "a"), 0);
    EXPECT_EQ(rb::InStr(String("\xF0\x9F\x98\x80xy"), "y"), 3);  // counts characters
}

TEST_F(Strings, ValReadsTheLeadingNumber) {
    const std::pair<const char*, double> cases[] = {
        {"175", 175},       {"  42abc", 42}, {"-3.5", -3.5}, {"+7", 7},   {"1e3", 1000},
        {"2e", 2},          {"abc", 0},      {"", 0},        {".5", 0.5}, {"-", 0},
        {"12.75.3", 12.75}, {"\t9", 9},      {"0x10", 0},    {"007", 7},
    };
    for (const auto& [text, want] : cases) {
        SCOPED_TRACE(text);
        EXPECT_DOUBLE_EQ(rb::Val(text), want);
    }
    EXPECT_TRUE(std::isinf(rb::Val("1e999")));
}

TEST_F(Strings, DoublesBecomeInt32WithoutOverflow) {
    const std::pair<double, int32_t> cases[] = {
        {175.9, 175},
        {-175.9, -175},
        {4294967296.0, std::numeric_limits<int32_t>::max()},
        {-1e20, std::numeric_limits<int32_t>::min()},
        {std::numeric_limits<double>::infinity(), std::numeric_limits<int32_t>::max()},
        {std::nan(""), 0},
        {2147483647.0, 2147483647},
    };
    for (const auto& [d, want] : cases) EXPECT_EQ(rb::DoubleToInt32(d), want) << d;
}

}  // namespace

namespace {

// Bad or cut-short text in every encoding: the functions agree on what a character is, so the
// pieces rejoin into the text, positions stay within its length, and a match is where Mid finds
// it.
TEST_F(Strings, EveryFunctionCountsTheSameCharactersEvenInBadText) {
    namespace enc = rb::encoding;
    const std::pair<std::string, rb::Encoding> cases[] = {
        {"\x80 ab", enc::UTF8},
        {"a \xC3", enc::UTF8},  // a sequence cut short at the end
        {"\xE2\x82 x\xF0\x9F\x98\x80y", enc::UTF8},
        {"\xED\xA0\x80 z", enc::UTF8},                        // an encoded surrogate
        {std::string("a\0 \0b", 5), enc::UTF16},              // an odd last byte
        {std::string("\x00\xD8 \0c\0", 6), enc::UTF16},       // a lone lead surrogate
        {std::string("\x3D\xD8\x00\xDE \0", 6), enc::UTF16},  // a pair, then a blank
        {std::string("a\0\0\0 \0\0\0b\0", 10), enc::UTF32},   // a unit cut short
        {"caf\x8E \xA5", enc::MacRoman},
        {"\xC3\xA9 A", enc::Raw},
        {"a \xFF", enc::ASCII},
    };
    for (const auto& [bytes, encoding] : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        String s = String::fromBytes(bytes.data(), bytes.size(), encoding);
        int32_t n = rb::Len(s);
        std::string joined;
        for (int32_t i = 1; i <= n; ++i) {
            String c = rb::Mid(s, i, 1);
            EXPECT_EQ(rb::Len(c), 1) << i;
            joined += c.bytes();
        }
        EXPECT_EQ(joined, bytes);
        EXPECT_EQ(rb::Mid(s, n + 1).byteLength(), 0u);
        for (int32_t k = 0; k <= n; ++k) {
            EXPECT_EQ(std::string(rb::Left(s, k).bytes()) + std::string(rb::Mid(s, k + 1).bytes()),
                      bytes);
            EXPECT_EQ(rb::Right(s, k).bytes(), rb::Mid(s, n - k + 1).bytes());
        }
        const std::string space = encoding == enc::UTF16   ? std::string(" \0", 2)
                                  : encoding == enc::UTF32 ? std::string(" \0\0\0", 4)
                                                           : std::string(" ");
        String blank = String::fromBytes(space.data(), space.size(), encoding);
        int32_t at = rb::InStr(s, blank);
        ASSERT_GT(at, 0);
        EXPECT_LE(at, n);
        EXPECT_EQ(rb::Mid(s, at, 1).bytes(), blank.bytes());
        EXPECT_EQ(rb::CountFields(s, blank), 2);
        EXPECT_EQ(std::string(rb::NthField(s, blank, 1).bytes()) + std::string(blank.bytes()) +
                      std::string(rb::NthField(s, blank, 2).bytes()),
                  bytes);
    }
}

}  // namespace
