// The labels of the about box and the version window: what each places and shows, and the
// design-time properties all of them share, applied in one place.
#pragma once

#include <cstdint>

#include "platform/rbframework/gui/window.h"

namespace help {

struct LabelDesign {
    const char* name;
    int32_t left, top, width, height;
    const char* text;
    int32_t align;  // 0 left, 1 centred, 2 right
    const char* font;
    bool bold;
    bool multiline;
    int32_t tabIndex;
};

// Makes the label, registers it in `window` under its name and applies its design.
void AddLabel(rb::Window& window, const LabelDesign& design);

}  // namespace help
