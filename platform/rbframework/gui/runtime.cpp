#include "platform/rbframework/gui/runtime.h"

#include <map>
#include <typeinfo>

#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/dialogs.h"

namespace rb {

namespace {

std::string describe(std::exception_ptr e) {
    try {
        std::rethrow_exception(e);
    } catch (const NilObjectException&) {
        return "NilObjectException";
    } catch (const std::exception& x) {
        return x.what();
    } catch (...) {
        return "an unknown exception";
    }
}

void defaultHelper(std::exception_ptr e) {
    MsgBox(String("An exception of class " + describe(e) +
                  " was not handled. The application must shut down."));
    Quit(1);
}

ExceptionHelper& helper() {
    static ExceptionHelper h = defaultHelper;
    return h;
}

std::map<std::string, WindowFactory>& windowClasses() {
    static std::map<std::string, WindowFactory> classes;
    return classes;
}

}  // namespace

void RuntimeSetExceptionHelper(ExceptionHelper h) {
    helper() = h ? std::move(h) : defaultHelper;
}

void RunGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        // The helper itself must not throw back into Qt's event dispatch.
        try {
            helper()(std::current_exception());
        } catch (...) {
        }
    }
}

void RegisterWindowClass(const std::string& className, WindowFactory factory) {
    windowClasses()[className] = std::move(factory);
}

Ref<Window> ImplicitWindow(const std::string& className) {
    if (Window* open = _GetImplicitWindow(className)) return Ref<Window>::retain(open);
    auto it = windowClasses().find(className);
    if (it == windowClasses().end()) return nullptr;
    Ref<Window> w = it->second();
    if (w) w->Constructor();
    return w;
}

}  // namespace rb
