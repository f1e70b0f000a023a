// What the runtime does with an exception that no handler caught, and the registry of the
// program's window classes by name (the implicit-instance rule).
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "platform/rbframework/gui/window.h"
#include "platform/rbframework/object.h"

namespace rb {

// Receives every exception that reaches the runtime from a handler. The default shows a
// message naming the exception and quits with status 1.
using ExceptionHelper = std::function<void(std::exception_ptr)>;
void RuntimeSetExceptionHelper(ExceptionHelper helper);

// Runs `handler` under the runtime's exception handling.
void RunGuarded(const std::function<void()>& handler);

// The program's window classes, by name: a factory makes a window that is not yet built.
using WindowFactory = std::function<Ref<Window>()>;
void RegisterWindowClass(const std::string& className, WindowFactory factory);
// The open window of that class, else a new one built and opened; nil when no class of that
// name was registered. One reference for the caller.
Ref<Window> ImplicitWindow(const std::string& className);

}  // namespace rb
