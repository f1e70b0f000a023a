// The application object and the runtime's life: initialisation, plug-ins, the late start-up,
// the event loop, quitting and the release of the framework's state.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/rbframework/gui/menu.h"
#include "platform/rbframework/object.h"
#include "platform/rbframework/rbstring.h"

namespace rb {

class Application : public Object {
  public:
    // The registered application object, or null (no reference taken).
    static Application* current();

    Ref<MenuBar> menuBar() const { return menuBar_; }
    void setMenuBar(const Ref<MenuBar>& bar) { menuBar_ = bar; }

    // Binds a handler to a menu item name; it returns true when it handled the command.
    void _AddMenuHandler(const std::string& itemName, std::function<bool()> handler);
    bool handleMenu(const std::string& itemName);

    virtual void Event_Open() {}
    // Raised each time the menus are about to be shown.
    virtual void Event_EnableMenuItems() {}
    void prepareMenus() { Event_EnableMenuItems(); }

    // The program's version, from the build.
    int32_t MajorVersion() const;
    int32_t MinorVersion() const;
    int32_t BugVersion() const;
    String ShortVersion() const;  // "1.0.0"
    String LongVersion() const;   // the version as the program shows it to the user

  private:
    Ref<MenuBar> menuBar_;
    std::map<std::string, std::function<bool()>> handlers_;
};

// Starts checking the program's plug-in bundles, by name, so that RuntimeInitExternalClasses
// later only collects the verdicts while the GUI starts meanwhile. Call first thing in the
// program's entry, before RuntimeInit, while no other thread runs: the children that load the
// bundles are then quick copies of the program (PluginHost::probeAhead). Optional. [main]
void RuntimeProbeBundlesAhead(const std::vector<std::string>& bundles);
// Starts the runtime (the GUI application). Call once, before anything else of the runtime but
// RuntimeProbeBundlesAhead.
void RuntimeInit(int argc, char** argv);
// Makes `app` the application object; the runtime holds it until RuntimeExit.
void RuntimeRegisterAppObject(const Ref<Application>& app);
// Loads the program's plug-in bundles, by name, from its plug-in folder and registers their
// classes. Throws PluginError naming the bundle that failed.
void RuntimeInitExternalClasses(const std::vector<std::string>& bundles);
// Raises the application's Open event, then calls `lateStartup` once.
void RunFrameworkInitialization(const std::function<void()>& lateStartup);
// The event loop; returns once Quit is called.
int RuntimeRun();
// Closes the open windows (each raising Close) and ends the event loop with `status`.
void Quit(int status = 0);
// Releases the framework's lists of windows (open and implicit) and what closed windows still
// hold. RuntimeExit does this too.
void RuntimeReleaseWindows();
// Releases the framework's state (window lists, implicit windows, the application object) and
// ends the runtime. Returns the process's exit status.
int RuntimeExit();

// The registered application object cast to the program's own class.
template <class A>
A* App() {
    return dynamic_cast<A*>(Application::current());
}

}  // namespace rb
