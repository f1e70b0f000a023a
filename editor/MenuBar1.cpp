#include "editor/MenuBar1.h"

#include "app/menu_building.h"

namespace {
rb::Ref<MenuBar1>& shared() {
    static rb::Ref<MenuBar1> bar;
    return bar;
}
}  // namespace

rb::Ref<MenuBar1> MenuBar1::MenuBar1_() {
    if (!shared()) {
        auto bar = rb::make<MenuBar1>();
        bar->Constructor();
        shared() = bar;
    }
    return shared();
}

void MenuBar1::ReleaseShared() {
    shared() = nullptr;
}

void MenuBar1::Constructor() {
    Untitled0();
    Untitled1();
    Untitled2();
    Untitled3();
    Untitled4();
}

using app::AddMenu;
using app::AddMenuItem;

void MenuBar1::Untitled0() {
    AddMenu<rb::MenuItem>(*this, "File", "File");
    AddMenuItem<rb::MenuItem>(*this, "File", "FilePrintHelp", "Print Help", "Cmd+P");
}

void MenuBar1::Untitled1() {
    AddMenu<rb::MenuItem>(*this, "EditMenu", "&Edit");
    AddMenuItem<rb::MenuItem>(*this, "EditMenu", "EditCopy", "&Copy", "Cmd+C");
    AddMenuItem<rb::MenuItem>(*this, "EditMenu", "EditPaste", "&Paste", "Cmd+V");
    AddMenuItem<rb::MenuItem>(*this, "EditMenu", "EditSelectAll", "Select &All", "Cmd+A");
}

void MenuBar1::Untitled2() {
    AddMenu<rb::MenuItem>(*this, "SetupMenu", "Setup");
    AddMenuItem<rb::MenuItem>(*this, "SetupMenu", "SetupInput", "Input Style", "");
}

void MenuBar1::Untitled3() {
    AddMenu<rb::AppleMenuItem>(*this, "CheckforUpdateMenu", "Check for Update");
    AddMenuItem<rb::MenuItem>(*this, "CheckforUpdateMenu", "CheckforUpdateCheckNow", "Check Now",
                              "");
}

void MenuBar1::Untitled4() {
    AddMenu<rb::MenuItem>(*this, "HelpMenu", "Help ");
    AddMenuItem<rb::MenuItem>(*this, "HelpMenu", "HelpShowVLRHelp", "Show VLR Help", "");
    AddMenuItem<rb::AppleMenuItem>(*this, "HelpMenu", "HelpAbout", "About...", "");
}
