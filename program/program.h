// The program as a whole: the parts that start-up takes from the layers above the application.
// The entry, the whole-program tests and the benchmarks share it.
#pragma once

#include "app/App.h"

// The parts above the application layer, as start-up needs them.
ProgramParts VelloraParts();
