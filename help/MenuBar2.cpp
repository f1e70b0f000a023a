#include "help/MenuBar2.h"

#include "app/menu_building.h"

namespace {
rb::Ref<MenuBar2>& shared() {
    static rb::Ref<MenuBar2> bar;
    return bar;
}
}  // namespace

rb::Ref<MenuBar2> MenuBar2::MenuBar2_() {
    if (!shared()) {
        auto bar = rb::make<MenuBar2>();
        bar->Constructor();
        shared() = bar;
    }
    return shared();
}

void MenuBar2::ReleaseShared() {
    shared() = nullptr;
}

void MenuBar2::Constructor() {
    Untitled0();
    Untitled1();
}

using app::AddMenu;
using app::AddMenuItem;

void MenuBar2::Untitled0() {
    AddMenu<rb::MenuItem>(*this, "FileMenu", "&File");
    AddMenuItem<rb::MenuItem>(*this, "FileMenu", "FilePrintHelp", "Print Help", "Cmd+P");
    AddMenuItem<rb::QuitMenuItem>(*this, "FileMenu", "FileQuit", "&Quit", "Cmd+Q");
}

void MenuBar2::Untitled1() {
    AddMenu<rb::MenuItem>(*this, "EditMenu", "&Edit");
    AddMenuItem<rb::MenuItem>(*this, "EditMenu", "EditUndo", "&Undo", "Cmd+Z");
    AddMenuItem<rb::MenuItem>(*this, "EditMenu", "EditSeparator1", "-", std::nullopt);
    AddMenuItem<rb::MenuItem>(*this, "EditMenu", "EditCut", "Cu&t", "Cmd+X");
    AddMenuItem<rb::MenuItem>(*this, "EditMenu", "EditCopy", "&Copy", "Cmd+C");
    AddMenuItem<rb::MenuItem>(*this, "EditMenu", "EditPaste", "&Paste", "Cmd+V");
    AddMenuItem<rb::MenuItem>(*this, "EditMenu", "EditClear", "&Delete", "");
    AddMenuItem<rb::MenuItem>(*this, "EditMenu", "EditSeparator2", "-", std::nullopt);
    AddMenuItem<rb::MenuItem>(*this, "EditMenu", "EditSelectAll", "Select &All", "Cmd+A");
}
