#include "platform/rbframework/gui/runtime.h"

#include <cxxabi.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <typeinfo>

#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/dialogs.h"

namespace rb {

namespace {

// The class of the exception, as the program would name it: the runtime's own classes without
// their namespace, the others with theirs ("std::out_of_range").
std::string className(std::exception_ptr e) {
    try {
        std::rethrow_exception(e);
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        if (!type) return "an unknown exception";
        int status = 0;
        std::unique_ptr<char, void (*)(void*)> name(
            abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), std::free);
        std::string out = status == 0 && name ? name.get() : type->name();
        if (out.starts_with("rb::")) out.erase(0, 4);
        return out;
    }
}

void defaultHelper(std::exception_ptr e) {
    MsgBox(String("An exception of class " + className(e) +
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
