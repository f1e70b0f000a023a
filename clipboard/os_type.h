// Four-character flavour codes as the program names them: strings of four characters.
#pragma once

#include <cstdint>

#include "plugin-interface/plugin_abi.h"

// The code's four bytes, first character most significant, as a 4-byte string tagged ASCII,
// or Mac Roman when a byte has its top bit set. One reference for the caller; nil when the
// host builds no string.
REALstring REALBuildOSTypeString(uint32_t code);

// The code a type string names: its first four Mac Roman bytes, first one most significant.
// A shorter text is left-aligned over blanks ("AB" gives 'AB  '); nil, empty text or text
// without a Mac Roman form gives four blanks. Further bytes are ignored.
uint32_t REALstringToOSType(REALstring string);
