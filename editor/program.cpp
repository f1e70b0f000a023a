#include "editor/program.h"

#include "editor/MenuBar1.h"
#include "editor/Window1.h"
#include "platform/rbframework/gui/runtime.h"

void RegisterWindowClasses() {
    rb::RegisterWindowClass(Window1::kClassName, [] { return rb::make<Window1>(); });
}

ProgramParts VelloraParts() {
    ProgramParts parts;
    parts.menuBar = [] { return rb::Ref<rb::MenuBar>(MenuBar1::MenuBar1_()); };
    parts.makeDefaultView = [] { Window1::Window1_(); };
    parts.releaseModules = [] { MenuBar1::ReleaseShared(); };
    return parts;
}
