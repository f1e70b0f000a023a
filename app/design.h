// Design-time properties that the controls of the program's windows share, applied in one
// place: each window's own table then holds only what sets its controls apart.
#pragma once

#include <cstdint>

#include "platform/rbframework/gui/control.h"

namespace design {

// Puts the control at its design-time bounds, in window coordinates, tied to no window edge.
inline void Place(rb::Control& c, int32_t left, int32_t top, int32_t width, int32_t height) {
    c._SetProperties({
        {"Left", left},
        {"Top", top},
        {"Width", width},
        {"Height", height},
        {"LockLeft", false},
        {"LockTop", false},
        {"LockRight", false},
        {"LockBottom", false},
    });
}

}  // namespace design
