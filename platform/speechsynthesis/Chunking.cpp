#include "platform/speechsynthesis/Chunking.h"

#include <algorithm>
#include <string>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "platform/speechsynthesis/TextConverter.h"

namespace vellora::speech {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

}  // namespace

Chunk NextChunk(std::string_view text, size_t start, bool utf8) {
    size_t n = text.size();
    if (n - start <= kChunkBytes) return {n, true};
    size_t limit = start + kChunkBytes;
    size_t sentence = 0, clause = 0, blank = 0;
    for (size_t i = start + 1; i < limit; ++i) {
        if (!IsBlank(text[i])) continue;
        char p = text[i - 1];
        if (p == '.' || p == '!' || p == '?' || p == '\n')
            sentence = i + 1;
        else if (p == ',' || p == ';' || p == ':')
            clause = i + 1;
        else
            blank = i + 1;
    }
    if (sentence) return {sentence, true};
    if (clause) return {clause, false};
    if (blank) return {blank, false};
    // A run with no blank is cut where it must be, but never inside a UTF-8 character.
    while (utf8 && limit > start + 1 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80)
        --limit;
    return {limit, false};
}

bool OnlyPunctuation(std::string_view text, bool utf8) {
    for (size_t i = 0; i < text.size();) {
        UChar32 c;
        if (utf8) {
            int32_t k = 0, n = int32_t(std::min<size_t>(text.size() - i, 4));
            U8_NEXT(text.data() + i, k, n, c);
            i += size_t(k);
        } else {
            unsigned char b = static_cast<unsigned char>(text[i++]);
            c = b == 0 ? U' ' : UChar32(b);
            if (b >= 0x80) {
                std::string one = MacRomanToUtf8(text.substr(i - 1, 1));
                int32_t k = 0;
                U8_NEXT(one.data(), k, int32_t(one.size()), c);
            }
        }
        if (c < 0 || !(u_ispunct(c) || u_isUWhiteSpace(c))) return false;
    }
    return true;
}

}  // namespace vellora::speech
