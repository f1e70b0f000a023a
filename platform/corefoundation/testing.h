// Hooks for tests of code that hands out or takes Core Foundation values.
#pragma once

#include <cstdint>

namespace vellora::cf::testing {

// Strings and URLs alive in the process; a test compares it before and after to find leaks.
int64_t LiveObjectCount();

}  // namespace vellora::cf::testing
