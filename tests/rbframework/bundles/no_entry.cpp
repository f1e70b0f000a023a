// A shared library that is no bundle: it lacks the start entry.
extern "C" __attribute__((visibility("default"))) int notAPlugin() {
    return 1;
}
