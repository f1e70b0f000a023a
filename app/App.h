// The application object and the program's start-up sequence, from the runtime's start to its
// exit. What lies above this layer (the main window, the menu bar, the preference file, help
// printing, the windows the menu commands open, the release of the program's modules) is
// handed in by the program's entry as ProgramParts, so start-up keeps its order and the
// commands reach their windows without naming those layers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/menu.h"
#include "platform/rbframework/gui/window.h"

struct ProgramParts {
    std::vector<std::string> bundles;               // the plug-in bundles it loads, by name
    std::function<void()> createModules;            // module state made before start-up
    std::function<rb::Ref<rb::MenuBar>()> menuBar;  // the shared main menu bar
    std::function<void()> loadPrefs;                // read the preference file
    std::function<void()> makeDefaultView;          // create and open the main window
    std::function<void()> printHelp;                // print the help text
    // The windows of the menu commands, each its one open window or a new one; nil for none.
    std::function<rb::Ref<rb::Window>()> inputStyle;  // Setup > Input Style
    std::function<rb::Ref<rb::Window>()> help;        // the help window
    std::function<rb::Ref<rb::Window>()> aboutBox;    // the about box
    std::function<rb::Ref<rb::Window>()>
        updateCheck;                       // the version window, which checks for updates
    std::function<void()> releaseModules;  // release module state, in exit order
};

class App : public rb::Application {
  public:
    void Event_Open() override;
    void Event_EnableMenuItems() override;
    bool _SetupInput_Action();
    bool _HelpShowVLRHelp_Action();
    bool _HelpAbout_Action();
    bool _FilePrintHelp_Action();
    bool _CheckforUpdateCheckNow_Action();
    void Constructor() {}
};

// The item named "FilePrintHelp" anywhere in the application's menu bar; one reference.
rb::Ref<rb::MenuItem> FilePrintHelp();

// Steps 3 to 7 of the start-up sequence; returns once the program has quit. The runtime must
// be initialised (RuntimeInit) first.
int _Main(const ProgramParts& parts);
void _EarlyStartup();
void _InitFileTypes();
void _NewAppInstance();
void _ApplicationAddMenuHandlers();
void _LateStartup();
void _MakeDefaultView();

// The parts handed to _Main, for the handlers.
const ProgramParts& programParts();
