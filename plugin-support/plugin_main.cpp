// The bundle's start entry.
#include "plugin-support/rb_plugin.h"

REALResolver gResolver = nullptr;
double rbversion_rbversion = 0.0;

extern "C" int32_t REALPluginMain(REALResolver resolver) {
    gResolver = resolver;
    // Both entries are needed only here, so they are not kept.
    if (auto announce = reinterpret_cast<RegisterPluginVersionProc>(
            resolver ? resolver("RegisterPluginVersion") : nullptr)) {
        announce(kREALPluginInterfaceVersion);
    }
    if (auto version = reinterpret_cast<REALGetRBVersionProc>(
            resolver ? resolver("REALGetRBVersion") : nullptr)) {
        rbversion_rbversion = version();
    }
    return PluginEntry();
}
