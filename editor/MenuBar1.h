// The main menu bar: File, Edit, Setup, Check for Update and Help. Commands are bound to its
// items by item name, so the names are an interface.
#pragma once

#include "platform/rbframework/gui/menu.h"

class MenuBar1 : public rb::MenuBar {
  public:
    // The one shared instance, made on first use; one reference for the caller.
    static rb::Ref<MenuBar1> MenuBar1_();
    // Drops the shared instance (at exit).
    static void ReleaseShared();

    void Constructor();

  private:
    void Untitled0();
    void Untitled1();
    void Untitled2();
    void Untitled3();
    void Untitled4();
};
