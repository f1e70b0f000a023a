// A module loaded at run time, standing in for the speech bundle: it reaches the file layer
// through its own link to the shared library.
#include "platform/corefoundation/Files.h"

extern "C" __attribute__((visibility("default"))) OSErr ProbeMakeSpec(const char* path,
                                                                      FSSpec* spec) {
    return FSMakeFSSpecFromPath(path, spec);
}

extern "C" __attribute__((visibility("default"))) OSErr ProbeSpecPath(const FSSpec* spec,
                                                                      char* buffer, int32_t size) {
    return FSSpecGetPath(spec, buffer, size);
}
