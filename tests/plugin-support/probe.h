// The probe bundle: a test bundle built like the real ones, with the support code. Its one
// export is REALPluginMain, so the tests reach the support code through the method rows of
// the class it registers; the declaration texts below are the keys of those rows.
#pragma once

#include <cstdint>

#include "plugin-interface/plugin_abi.h"

namespace probe {

constexpr const char* kClassName = "VelloraProbe";
// Registered after the probe class so that start-up calls "PluginRegisterClass" twice.
constexpr const char* kTwinClassName = "VelloraProbeTwin";
constexpr int32_t kTwinDataSize = 52;

struct Data {
    int32_t tag;
    int32_t constructed;  // set by the constructor
    double weight;
    REALstring held;
};

// Calls the support routine named `routine` with a, b and c cast to its parameters; results
// come back widened to a word (Booleans as 0 or 1).
constexpr const char* kCall = "Call(routine as CString, a as Ptr, b as Ptr, c as Ptr) as Ptr";
using CallFn = intptr_t (*)(REALobject self, const char* routine, intptr_t a, intptr_t b,
                            intptr_t c);

constexpr const char* kHostVersion = "HostVersion() as double";
using HostVersionFn = double (*)(REALobject self);

// Makes one view of `s` and hands its bytes and length to `inspect` `reads` times while the
// view lives.
using Inspect = void (*)(void* context, const char* bytes, int32_t length);
constexpr const char* kReadMacRoman =
    "ReadMacRoman(s as string, reads as integer, inspect as Ptr, context as Ptr)";
constexpr const char* kReadRawBytes =
    "ReadRawBytes(s as string, reads as integer, inspect as Ptr, context as Ptr)";
using ReadFn = void (*)(REALobject self, REALstring s, int32_t reads, Inspect inspect,
                        void* context);

constexpr const char* kSetTag = "SetTag(value as integer)";
using SetTagFn = void (*)(REALobject self, int32_t value);

}  // namespace probe
