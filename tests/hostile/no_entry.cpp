// A well-formed shared library that is no bundle: it lacks the entry every bundle exports.
extern "C" int VelloraNotABundle() {
    return 1;
}
