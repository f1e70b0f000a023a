// The program as a whole: its window classes made known by name, and the parts that start-up
// takes from the layers above the application. The entry and the start-up benchmark share it.
#pragma once

#include "app/App.h"

// Registers every window class of the program with the runtime, by its class name.
void RegisterWindowClasses();

// The parts above the application layer, as start-up needs them.
ProgramParts VelloraParts();
