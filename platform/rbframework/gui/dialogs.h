// Modal messages. What shows them sits behind an interface, so that a test can answer them
// in place of a person (testing.h).
#pragma once

#include "platform/rbframework/rbstring.h"

namespace rb {

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // Shows `text` modally and returns when it is dismissed.
    virtual void msgBox(const String& text) = 0;
    // The system's alert sound.
    virtual void beep() = 0;
};

// A modal message box with one text and an OK button.
void MsgBox(const String& text);
void Beep();

namespace detail {
// The presenter in use: the desktop's own unless a test put another in its place.
Dialogs& dialogs();
void setDialogs(Dialogs* replacement);  // null restores the desktop's
}  // namespace detail

}  // namespace rb
