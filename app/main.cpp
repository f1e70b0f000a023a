// Vellora's start: the runtime loads its two plug-in bundles before anything else runs.
#include <cstdio>

#include "platform/rbframework/plugin_host.h"

int main() {
    try {
        rb::PluginHost::instance().loadBundles({"speech", "clipboard"});
    } catch (const rb::PluginError& e) {
        std::fprintf(stderr, "vellora: %s\n", e.what());
        return 1;
    }
    return 0;
}
