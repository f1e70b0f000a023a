// A sound bundle that notes each process it is loaded into, so that a test can tell whether
// the host loaded it in a child first.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "plugin-interface/plugin_abi.h"

__attribute__((constructor)) static void noteTheLoading() {
    const char* log = std::getenv("VELLORA_TEST_LOAD_LOG");
    if (!log) return;
    int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    char line[32];
    int n = std::snprintf(line, sizeof line, "%d\n", static_cast<int>(getpid()));
    if (n > 0) (void)!write(fd, line, static_cast<size_t>(n));
    close(fd);
}

extern "C" __attribute__((visibility("default"))) int32_t REALPluginMain(REALResolver) {
    return 1;
}
