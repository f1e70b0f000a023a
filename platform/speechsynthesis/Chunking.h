// How a text is cut into the stretches handed to the engine one at a time, and which texts say
// nothing at all. Pure functions of the text, with no state of the layer.
#pragma once

#include <cstddef>
#include <string_view>

namespace vellora::speech {

// Stretches of text handed to the engine at once, cut where a sentence (else a clause, else a
// word) ends. Short stretches keep the audio made ahead of time small and let other channels
// take turns on the one engine.
constexpr size_t kChunkBytes = 400;

struct Chunk {
    size_t end;         // one past the stretch's last byte
    bool endsSentence;  // the stretch ends where a sentence ends (or where the text does)
};

// The stretch of `text` that starts at byte `start` (< text.size()): all that is left when it
// fits in kChunkBytes; else up to the last blank within them after a sentence's end, a clause's
// or any word's, in that order; else kChunkBytes, moved back to a character's start in UTF-8.
Chunk NextChunk(std::string_view text, size_t start, bool utf8);

// A text of nothing but punctuation and blanks (Mac Roman, or UTF-8 when `utf8`): read as
// words, it says nothing at all. Looks no further than the first character that is spoken.
bool OnlyPunctuation(std::string_view text, bool utf8);

}  // namespace vellora::speech
