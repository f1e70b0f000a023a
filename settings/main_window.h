// What the settings need of the main window. The main window is the editor's, a layer above
// this one, so the program hands these in at start (program/program.cpp) and takes them back
// at exit; before and after, there is no main window to reach.
#pragma once

#include <functional>

#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/gui/window.h"

namespace settings {

struct MainWindow {
    // The open main window, nil when none is open; borrowed, the runtime holds it while open.
    std::function<rb::Window*()> window;
    // The open main window's text area, nil when none is open; one reference for the caller.
    std::function<rb::Ref<rb::TextArea>()> text;
};

// [main] Replaces what the settings reach; an empty MainWindow cuts them off.
void setMainWindow(MainWindow parts);
// [main] The open main window and its text area, each nil when none is open or none was handed in.
rb::Window* openMainWindow();
rb::Ref<rb::TextArea> mainText();

}  // namespace settings
