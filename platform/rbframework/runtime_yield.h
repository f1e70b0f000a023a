// The runtime's yield: long loops inside handlers call it once per pass so that the event
// loop's background work (timers, sockets, deferred deletions) keeps going.
#pragma once

#include <chrono>
#include <functional>

namespace rb {

// Cheap enough for every pass. A loop begins with its first yield after the event loop last
// waited; once it has gone on for 10 ms it runs pending events, and then at most every 10 ms.
// Only on the main thread of a running application. User input is held back until the loop is
// over, so no command of the user runs inside the handler that yields.
void RuntimeYield();

// For a loop whose every pass is a long piece of work (a printed page): runs the pending events
// now, on each call, with user input held back as above.
void RuntimeBackgroundTasks();

namespace detail {
// The clock the yield reads; empty restores the steady clock.
using YieldClock = std::function<std::chrono::steady_clock::time_point()>;
void setYieldClock(YieldClock clock);
}  // namespace detail

}  // namespace rb
