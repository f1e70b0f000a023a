// Handing an address to the desktop, which opens it in the user's web browser or mail program.
// What opens it sits behind an interface, so that a test records the address instead
// (testing.h).
#pragma once

#include "platform/rbframework/rbstring.h"

namespace rb {

class UrlOpener {
  public:
    virtual ~UrlOpener() = default;
    virtual void open(const String& url) = 0;
};

// Hands `url` to the desktop. Whether anything could open it is not reported.
void ShowURL(const String& url);

namespace detail {
UrlOpener& urlOpener();
void setUrlOpener(UrlOpener* replacement);  // null restores the desktop's
}  // namespace detail

}  // namespace rb
