// The runtime's own speech of one string, on a channel of its own with the default voice.
#pragma once

#include "platform/rbframework/rbstring.h"

namespace rb {

// Speaks `text`. With `interrupt` false the text waits behind what this speech is saying; with
// it true, what is being said and waiting is cut off first. Text in any script is spoken.
// Nothing is reported when there is no speech to be had.
void Speak(const String& text, bool interrupt);
// The same, under the runtime's own name.
void RuntimeSpeak(const String& text, bool interrupt);

// What stands behind Speak: the desktop's synthesizer unless a test put another in its place.
class Speaker {
  public:
    virtual ~Speaker() = default;
    virtual void speak(const String& text, bool interrupt) = 0;
};

namespace detail {
void setSpeaker(Speaker* replacement);  // null restores the synthesizer
}  // namespace detail

}  // namespace rb
