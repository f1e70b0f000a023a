// The requests to end that reach a desktop program as signals: SIGTERM (kill, logout), SIGINT
// (Ctrl+C in a terminal) and SIGHUP (the terminal or session going away). Each quits the program
// as closing its main window does: every open window's Close event runs (the program saves its
// settings there) and the event loop ends with status 0, nested loops of modal boxes included.
#pragma once

namespace rb::detail {
// Installs the handlers (RuntimeInit does this); the request is handled on the GUI thread.
void watchQuitSignals();
// Restores the default handling (RuntimeExit does this).
void unwatchQuitSignals();
}  // namespace rb::detail
