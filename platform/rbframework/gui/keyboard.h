// The keyboard's state at this moment, by the platform key codes the program names:
// 0x33 the Delete key that deletes backwards (Backspace here), 0x38 and 0x3C the Shift keys,
// 0x75 the forward-delete key.
#pragma once

#include <cstdint>

namespace rb {

class KeyboardState {
  public:
    virtual ~KeyboardState() = default;
    virtual bool isDown(int32_t platformKeyCode) = 0;
};

struct KeyboardObject {
    // True while the key with that code is down at the moment of the call.
    bool AsyncKeyDown(int32_t platformKeyCode) const;
};

// The framework's global keyboard object.
extern const KeyboardObject Keyboard;

namespace detail {
// Starts watching the keys (RuntimeInit does this).
void watchKeyboard();
void setKeyboardState(KeyboardState* replacement);  // null restores the desktop's
}  // namespace detail

}  // namespace rb
