// vellora-bundle-probe <bundle>...: loads each bundle in turn, as the plug-in host is about to,
// and writes one line for each to standard output (bundle_load_verdict.h).
#include <unistd.h>

#include "platform/rbframework/bundle_load_verdict.h"

int main(int argc, char** argv) {
    // Each kept loaded: a later bundle loads beside the earlier ones.
    for (int i = 1; i < argc; ++i) rb::probe::LoadAndSay(STDOUT_FILENO, argv[i]);
    // Leaves at once: the bundles' exit code and a leak checker's report have nothing to say.
    _exit(0);
}
