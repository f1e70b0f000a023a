// Both real bundles loaded by the real host and the program's table bound, once per process.
#pragma once

#include <gtest/gtest.h>

#include "app/entrypoints.h"
#include "platform/rbframework/plugin_host.h"

namespace apptest {

inline void BindRealBundles() {
    static const bool bound = [] {
        rb::PluginHost::instance().loadBundles({"speech", "clipboard"});
        _InitPluginEntrypoints();
        return true;
    }();
    (void)bound;
}

}  // namespace apptest
