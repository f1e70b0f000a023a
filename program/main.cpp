// Vellora's entry: the runtime starts, the program's window classes are made known by name,
// and start-up runs with the parts above the application layer.
#include "program/program.h"

int main(int argc, char** argv) {
    rb::RuntimeInit(argc, argv);
    RegisterWindowClasses();
    return _Main(VelloraParts());
}
