// One entry of the preference file, as it was read.
#pragma once

#include "platform/rbframework/object.h"
#include "platform/rbframework/rbstring.h"

class directiveClass final : public rb::Object {
  public:
    rb::String text;  // the rest of the line after the first blank, unchanged
    rb::String name;  // the key, lower-cased
};
