#include "platform/rbframework/gui/application.h"

#include <malloc.h>

#include <QApplication>

#include "platform/rbframework/bundle_known_good.h"
#include "platform/rbframework/gui/keyboard.h"
#include "platform/rbframework/gui/signals.h"
#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/plugin_host.h"

namespace rb {

namespace {
Ref<Application>& registered() {
    static Ref<Application> app;
    return app;
}
// Made by RuntimeInit and deleted by RuntimeExit only: deleting it from a static destructor,
// after Qt's own statics have gone, would crash a program that never called RuntimeExit.
QApplication* gQtApp = nullptr;
int gExitStatus = 0;
bool gQuitting = false;
}  // namespace

Application* Application::current() {
    return registered().get();
}

void Application::_AddMenuHandler(const std::string& itemName, std::function<bool()> handler) {
    handlers_[itemName] = std::move(handler);
}

bool Application::handleMenu(const std::string& itemName) {
    auto it = handlers_.find(itemName);
    if (it == handlers_.end() || !it->second) return false;
    Ref<Application> self = Ref<Application>::retain(this);
    return it->second();
}

int32_t Application::MajorVersion() const {
    return VELLORA_VERSION_MAJOR;
}
int32_t Application::MinorVersion() const {
    return VELLORA_VERSION_MINOR;
}
int32_t Application::BugVersion() const {
    return VELLORA_VERSION_PATCH;
}
String Application::ShortVersion() const {
    return String(VELLORA_VERSION);
}
String Application::LongVersion() const {
    return String(VELLORA_LONG_VERSION);
}

void RuntimeProbeBundlesAhead(const std::vector<std::string>& bundles) {
    // Bundles that started cleanly before, unchanged since, need no check.
    PluginHost::instance().useKnownGoodList(KnownGoodBundles::DefaultList());
    PluginHost::instance().probeAhead(bundles);
}

void RuntimeInit(int argc, char** argv) {
    if (QApplication::instance()) return;
    static int argcKept;
    argcKept = argc;
    // Laying out a long paragraph again, at each key typed into it, takes and frees blocks larger
    // than the C library's threshold for mapping memory of their own: each was handed back to the
    // system when freed and faulted in again, page by page, at the next key, which cost more than
    // the layout itself. Freed memory stays with the process instead.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    // Every menu bar is the window's own (QMenuBar::setNativeMenuBar(false)); said before any
    // bar is made, none asks the session bus for a global menu on the way to the first window.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    gQtApp = new QApplication(argcKept, argv);
    QApplication::setApplicationName("Vellora");
    QApplication::setApplicationVersion(VELLORA_VERSION);
    // The program quits when its main window closes, not when the last window does.
    QApplication::setQuitOnLastWindowClosed(false);
    detail::watchKeyboard();
    detail::watchQuitSignals();
    gExitStatus = 0;
    gQuitting = false;
}

void RuntimeRegisterAppObject(const Ref<Application>& app) {
    if (!app) throw NilObjectException();
    registered() = app;
}

void RuntimeInitExternalClasses(const std::vector<std::string>& bundles) {
    PluginHost::instance().loadBundles(bundles);
}

void RunFrameworkInitialization(const std::function<void()>& lateStartup) {
    if (Application* app = Application::current()) {
        Ref<Application> hold = Ref<Application>::retain(app);
        app->Event_Open();
    }
    if (lateStartup) lateStartup();
}

int RuntimeRun() {
    // Quit may come before the loop (a handler during start-up); then there is no loop to run.
    int status = gQuitting ? gExitStatus : QApplication::exec();
    gQuitting = false;
    return status;
}

void Quit(int status) {
    if (gQuitting) return;
    gQuitting = true;
    gExitStatus = status;
    // Front to back, each window's Close event runs; a copy, as closing edits the list.
    std::vector<Ref<Window>> open = detail::openWindows();
    for (auto it = open.rbegin(); it != open.rend(); ++it) (*it)->Close();
    QCoreApplication::exit(status);
}

void RuntimeReleaseWindows() {
    detail::openWindows().clear();
    // Queued releases of closed windows run now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

int RuntimeExit() {
    RuntimeReleaseWindows();
    registered() = nullptr;
    detail::unwatchQuitSignals();
    delete gQtApp;
    gQtApp = nullptr;
    gQuitting = false;
    return gExitStatus;
}

}  // namespace rb
