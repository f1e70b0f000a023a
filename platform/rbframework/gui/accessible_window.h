// What screen readers are told of the runtime's windows. A window with a menu bar (the main
// window, the help window) stays a frame. Every other window is a dialog whose description is the
// text of its labels, in reading order, so that a screen reader says what the window shows when it
// opens: for a frame it says only the title and the focused control, and for a dialog it reads only
// labels of three words or more, or else the description. Labels in a dialog are therefore
// marked as labelling it, so the description (all of them) is what is read.
#pragma once

class QObject;
class QString;

namespace rb {

class Window;

// Puts the accessibility factory first among those Qt tries; called as each window is made,
// so that it comes before the ones Qt installs at start. [main]
void InstallWindowAccessibility();

// Whether a screen reader is shown `window` as a dialog rather than as a frame. [main]
bool IsAccessibleDialog(const Window& window);

// The description a screen reader is given for `window`: its visible labels' texts in reading
// order (top to bottom, then left to right), blanks and line breaks folded; empty for the main
// window. [main]
QString AccessibleWindowDescription(const Window& window);

}  // namespace rb
