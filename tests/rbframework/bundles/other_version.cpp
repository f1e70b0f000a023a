// A bundle broken in one way: it announces ANNOUNCED_VERSION and registers a sound class, then one
// of record version RECORD_VERSION, and reports START_RESULT (success, as a bundle that trusts
// the host would, or failure). Built three times: announcing the wrong interface version, with
// an old record, and with a start that fails after registering.
#include "plugin-interface/plugin_abi.h"

namespace {
REALclassDefinition Record(const char* name, uint32_t version) {
    REALclassDefinition r{};
    r.version = version;
    r.name = name;
    return r;
}
REALclassDefinition gSound = Record("SoundRecord", kCurrentREALControlVersion);
REALclassDefinition gOther = Record("OldRecord", RECORD_VERSION);
}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t REALPluginMain(REALResolver resolver) {
    reinterpret_cast<RegisterPluginVersionProc>(resolver("RegisterPluginVersion"))(
        ANNOUNCED_VERSION);
    auto reg = reinterpret_cast<PluginRegisterClassProc>(resolver("PluginRegisterClass"));
    reg(&gOther);
    int32_t registered = reg(&gSound);
    return START_RESULT < 0 ? registered : START_RESULT;
}
