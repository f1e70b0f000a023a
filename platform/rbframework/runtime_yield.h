// The runtime's yield: long loops inside handlers call it once per pass so that the event
// loop's background work (timers, sockets, deferred deletions) keeps going.
#pragma once

namespace rb {

// Cheap enough for every pass: it runs pending events once a loop has gone on for a few
// milliseconds, and then at most that often, and only on the main thread of a running
// application. User input is held back until the
// loop is over, so no command of the user runs inside the handler that yields.
void RuntimeYield();

// For a loop whose every pass is slow (a printed page): runs the pending events now, on each
// call, with user input held back as above. RuntimeYield would take each slow pass for the
// start of a new loop and never run them.
void RuntimeBackgroundTasks();

}  // namespace rb
