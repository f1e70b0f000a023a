// Printing the help text: the print dialog, then the help window's text page after page, each
// page with "page N" and the moment the command was given at its foot; then the help window
// is closed. Behind "Print Help" in the help window's menu and the application's.
#pragma once

namespace help {

// Always true: the command is handled, cancelled or not.
bool PrintHelp();

}  // namespace help
