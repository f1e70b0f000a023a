// The program's settings: module globals that live for the whole run, read from the
// preference file "vellora.txt" in the user's preferences folder at start and written whole
// when the main window closes.
//
// Life of the module: CreateGlobals before any other code of the program, loadPrefs in the
// application's Open event, savePrefs in the main window's Close event (while the window is
// still open), ReleaseGlobals at exit.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/rbframework/folder_item.h"
#include "platform/rbframework/object.h"
#include "platform/rbframework/rbstring.h"
#include "settings/directiveClass.h"

namespace prefModule {

// 0 and empty until loadPrefs runs.
extern int32_t SpeakingRate;
extern int32_t Window1Top;
extern int32_t Window1Left;
extern int32_t Window1Width;
extern int32_t Window1Height;
extern rb::String InputFontFamily;
extern int32_t InputFontSize;
extern rb::String InputBold;  // "True" for bold text
extern rb::String InputFontColor;
extern rb::String InitialLaunch;  // "True" until the first-start notice was shown

// The entries of the file in file order, from index 1; index 0 is an empty slot that holds
// no entry.
extern std::vector<rb::Ref<directiveClass>> gDirectives;

// Creates gDirectives with its one empty slot.
void CreateGlobals();
// Releases the module's state in exit order: gDirectives, InputFontColor, InputFontFamily,
// InputBold, InitialLaunch.
void ReleaseGlobals();

// Appends the entries of the file to gDirectives. True when the file could be opened as text,
// whatever it held; false for a nil item or a file that cannot be opened.
bool extractDirectives(const rb::Ref<rb::FolderItem>& f);
// Reads the preference file into the globals; when it cannot be opened, sets the defaults.
// Nothing is reported.
void loadPrefs();
// Writes the preference file from the globals and the open main window's bounds (the loaded
// ones when no main window is open). A file that cannot be written is skipped silently, and
// the old file, if any, stays as it was.
void savePrefs();

}  // namespace prefModule
