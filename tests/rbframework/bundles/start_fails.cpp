// A bundle whose start fails: it registers a class, then its start entry reports the failure.
#include "plugin-interface/plugin_abi.h"

namespace {
REALclassDefinition Record(const char* name, uint32_t version) {
    REALclassDefinition r{};
    r.version = version;
    r.name = name;
    return r;
}
REALclassDefinition gClass = Record("HalfStarted", kCurrentREALControlVersion);
}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t REALPluginMain(REALResolver resolver) {
    reinterpret_cast<PluginRegisterClassProc>(resolver("PluginRegisterClass"))(&gClass);
    return 0;
}
