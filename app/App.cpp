#include "app/App.h"

#include <cstdio>

#include "app/entrypoints.h"
#include "platform/rbframework/gui/dialogs.h"
#include "platform/rbframework/gui/runtime.h"
#include "platform/rbframework/plugin_host.h"

namespace {
ProgramParts gParts;

App* theApp() {
    App* app = rb::App<App>();
    if (!app) throw rb::NilObjectException();
    return app;
}

// A window-opening handler: the window the program handed in, shown. Where it handed in none
// (a test's start, for one), nothing shows, and the command still counts as handled.
bool showWindow(const std::function<rb::Ref<rb::Window>()>& open) {
    if (!open) return true;
    if (rb::Ref<rb::Window> w = open()) w->Show();
    return true;
}

template <class F>
void call(const F& f) {
    if (f) f();
}
}  // namespace

const ProgramParts& programParts() {
    return gParts;
}

void App::Event_Open() {
    call(gParts.loadPrefs);
}

void App::Event_EnableMenuItems() {
    rb::Ref<rb::MenuItem> item = FilePrintHelp();
    item->setEnabled(true);  // a nil item raises NilObjectException
}

bool App::_SetupInput_Action() {
    return showWindow(gParts.inputStyle);
}
bool App::_HelpShowVLRHelp_Action() {
    return showWindow(gParts.help);
}
bool App::_HelpAbout_Action() {
    return showWindow(gParts.aboutBox);
}
bool App::_CheckforUpdateCheckNow_Action() {
    return showWindow(gParts.updateCheck);
}

bool App::_FilePrintHelp_Action() {
    call(gParts.printHelp);
    return true;
}

rb::Ref<rb::MenuItem> FilePrintHelp() {
    rb::Ref<rb::MenuBar> bar = theApp()->menuBar();
    if (!bar) throw rb::NilObjectException();
    return bar->_Lookup("FilePrintHelp");
}

void _InitFileTypes() {}

void _NewAppInstance() {
    auto app = rb::make<App>();
    app->Constructor();
    app->setMenuBar(gParts.menuBar ? gParts.menuBar() : nullptr);
    rb::RuntimeRegisterAppObject(app);
}

void _ApplicationAddMenuHandlers() {
    using Handler = bool (App::*)();
    const std::pair<const char*, Handler> handlers[] = {
        {"SetupInput", &App::_SetupInput_Action},
        {"HelpShowVLRHelp", &App::_HelpShowVLRHelp_Action},
        {"HelpAbout", &App::_HelpAbout_Action},
        {"FilePrintHelp", &App::_FilePrintHelp_Action},
        {"CheckforUpdateCheckNow", &App::_CheckforUpdateCheckNow_Action},
    };
    for (const auto& [name, method] : handlers) {
        App* app = theApp();
        Handler handler = method;
        // Bound through the object's own table, so an override in a subclass is what runs.
        app->_AddMenuHandler(name, [app, handler] { return (app->*handler)(); });
    }
}

void _EarlyStartup() {
    rb::RuntimeInitExternalClasses(programParts().bundles);
    _InitPluginEntrypoints();  // an unresolved key throws rb::PluginError, which stops start-up
    _InitFileTypes();
    _NewAppInstance();
    _ApplicationAddMenuHandlers();
}

void _MakeDefaultView() {
    call(gParts.makeDefaultView);
}

void _LateStartup() {
    _MakeDefaultView();
}

int _Main(const ProgramParts& parts) {
    gParts = parts;
    call(gParts.createModules);
    try {
        _EarlyStartup();
    } catch (const rb::PluginError& e) {
        // Nothing can work without the plug-ins: say which part is missing and stop.
        rb::MsgBox(rb::String(std::string("Vellora cannot start. ") + e.what()));
        std::fprintf(stderr, "vellora: %s\n", e.what());
        call(gParts.releaseModules);
        rb::RuntimeExit();
        return 2;
    }
    rb::RunGuarded([] { rb::RunFrameworkInitialization(_LateStartup); });
    int status = rb::RuntimeRun();
    // The framework's windows go first, then the program's module state in its order.
    rb::RuntimeReleaseWindows();
    call(gParts.releaseModules);
    int exitStatus = rb::RuntimeExit();
    gParts = ProgramParts{};
    return status ? status : exitStatus;
}
