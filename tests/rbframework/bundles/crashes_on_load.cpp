// A bundle whose own start-up code crashes as soon as it is loaded, before any entry is called:
// only loading it somewhere else first can tell.
#include <csignal>

#include "plugin-interface/plugin_abi.h"

__attribute__((constructor)) static void crashWhileLoading() {
    std::raise(SIGSEGV);
}

extern "C" __attribute__((visibility("default"))) int32_t REALPluginMain(REALResolver) {
    return 1;
}
