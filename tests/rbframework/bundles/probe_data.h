// The probe bundle's instance data, shared with the tests that read its fields.
#pragma once

#include <cstdint>

#include "plugin-interface/plugin_abi.h"

struct ProbeData {
    int32_t count;
    REALstring name;
    REALobject other;
    bool flag;
    int32_t twice;
};
