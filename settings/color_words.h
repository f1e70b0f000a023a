// The colour words of the input style, as prefModule.InputFontColor stores them, and the text
// colour each stands for. The Input Style dialog stores them; the main window shows them.
#pragma once

#include "platform/rbframework/gui/properties.h"
#include "platform/rbframework/rbstring.h"

namespace settings {

struct ColorWord {
    const char* word;
    rb::Color color;
};

inline constexpr ColorWord kBlack{"Black", {0, 0, 0}};
inline constexpr ColorWord kRed{"Red", {255, 0, 0}};
inline constexpr ColorWord kBlue{"Blue", {0, 0, 255}};
inline constexpr ColorWord kColorWords[] = {kBlack, kRed, kBlue};

// The colour of a stored word, compared without regard to case; a word outside the list is
// shown blue, as it always was.
inline rb::Color textColorOf(const rb::String& word) {
    for (const ColorWord& c : kColorWords)
        if (rb::RuntimeStringCompare(word, c.word) == 0) return c.color;
    return kBlue.color;
}

}  // namespace settings
