#include "program/program.h"

#include "editor/MenuBar1.h"
#include "editor/Module1.h"
#include "editor/Window1.h"
#include "help/Help.h"
#include "help/HelpPrinting.h"
#include "help/MenuBar2.h"
#include "help/selfTest.h"
#include "platform/rbframework/gui/runtime.h"
#include "settings/InputSetup.h"
#include "settings/prefModule.h"

void RegisterWindowClasses() {
    rb::RegisterWindowClass(Window1::kClassName, [] { return rb::make<Window1>(); });
    RegisterSettingsClasses();
    RegisterHelpClasses();
    RegisterUpdateClasses();
}

ProgramParts VelloraParts() {
    ProgramParts parts;
    parts.bundles = {"speech", "clipboard"};
    parts.createModules = [] { prefModule::CreateGlobals(); };
    parts.menuBar = [] { return rb::Ref<rb::MenuBar>(MenuBar1::MenuBar1_()); };
    parts.loadPrefs = [] { prefModule::loadPrefs(); };
    parts.makeDefaultView = [] { Window1::Window1_(); };
    parts.printHelp = [] { help::PrintHelp(); };
    // In the order of exit: the menu bar, the speech and clipboard objects (the channel
    // before the service and the voice), the settings, the help window's menu bar.
    parts.releaseModules = [] {
        MenuBar1::ReleaseShared();
        Module1::Release();
        prefModule::ReleaseGlobals();
        MenuBar2::ReleaseShared();
    };
    return parts;
}
