// The help window's menu bar: File (print the help text, quit) and the standard Edit items.
// Commands reach its items by item name, so the names are an interface.
#pragma once

#include "platform/rbframework/gui/menu.h"

class MenuBar2 : public rb::MenuBar {
  public:
    // The one shared instance, made on first use; one reference for the caller.
    static rb::Ref<MenuBar2> MenuBar2_();
    // Drops the shared instance (at exit).
    static void ReleaseShared();

    void Constructor();

  private:
    void Untitled0();
    void Untitled1();
};
