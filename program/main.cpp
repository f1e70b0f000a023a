// Vellora's entry: the runtime starts, and start-up runs with the parts above the application
// layer.
#include "platform/rbframework/gui/application.h"
#include "program/program.h"

int main(int argc, char** argv) {
    ProgramParts parts = VelloraParts();
    // First, so that the bundles are checked while the GUI starts.
    rb::RuntimeProbeBundlesAhead(parts.bundles);
    rb::RuntimeInit(argc, argv);
    return _Main(parts);
}
