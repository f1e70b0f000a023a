#include "program/program.h"

#include "editor/MenuBar1.h"
#include "editor/Module1.h"
#include "editor/Window1.h"
#include "help/AboutBox.h"
#include "help/Help.h"
#include "help/HelpPrinting.h"
#include "help/MenuBar2.h"
#include "help/selfTest.h"
#include "platform/rbframework/gui/runtime.h"
#include "settings/InputSetup.h"
#include "settings/main_window.h"
#include "settings/prefModule.h"

ProgramParts VelloraParts() {
    ProgramParts parts;
    parts.bundles = {"speech", "clipboard"};
    parts.createModules = [] {
        prefModule::CreateGlobals();
        // The settings sit below the editor: they reach its main window only through this.
        settings::setMainWindow({
            .window = []() -> rb::Window* { return rb::_GetImplicitWindow(Window1::kClassName); },
            .text = []() -> rb::Ref<rb::TextArea> {
                auto* w = static_cast<Window1*>(rb::_GetImplicitWindow(Window1::kClassName));
                return w ? w->EditField1() : nullptr;
            },
        });
    };
    parts.menuBar = [] { return rb::Ref<rb::MenuBar>(MenuBar1::MenuBar1_()); };
    parts.loadPrefs = [] { prefModule::loadPrefs(); };
    parts.makeDefaultView = [] { Window1::Window1_(); };
    parts.printHelp = [] { help::PrintHelp(); };
    parts.inputStyle = [] { return rb::Ref<rb::Window>(InputSetup::InputSetup_()); };
    parts.help = [] { return rb::Ref<rb::Window>(Help::Help_()); };
    parts.aboutBox = [] { return rb::Ref<rb::Window>(AboutBox::AboutBox_()); };
    parts.updateCheck = [] { return rb::Ref<rb::Window>(selfTest::selfTest_()); };
    // In the order of exit: the menu bar, the speech and clipboard objects (the channel
    // before the service and the voice), the settings, the help window's menu bar.
    parts.releaseModules = [] {
        MenuBar1::ReleaseShared();
        Module1::Release();
        prefModule::ReleaseGlobals();
        settings::setMainWindow({});
        MenuBar2::ReleaseShared();
    };
    return parts;
}
