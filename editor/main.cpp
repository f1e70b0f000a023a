// Vellora's entry: the runtime starts, the program's window classes are made known by name,
// and start-up runs with the parts above the application layer.
#include "app/App.h"
#include "editor/MenuBar1.h"
#include "editor/Window1.h"
#include "platform/rbframework/gui/runtime.h"

int main(int argc, char** argv) {
    rb::RuntimeInit(argc, argv);
    rb::RegisterWindowClass(Window1::kClassName, [] { return rb::make<Window1>(); });
    ProgramParts parts;
    parts.menuBar = [] { return rb::Ref<rb::MenuBar>(MenuBar1::MenuBar1_()); };
    parts.makeDefaultView = [] { Window1::Window1_(); };
    parts.releaseModules = [] { MenuBar1::ReleaseShared(); };
    return _Main(parts);
}
