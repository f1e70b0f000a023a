// Vellora's entry: the runtime starts, and start-up runs with the parts above the application
// layer.
#include "program/program.h"

int main(int argc, char** argv) {
    rb::RuntimeInit(argc, argv);
    return _Main(VelloraParts());
}
