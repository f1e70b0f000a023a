// How the program's menu bars build their menus: each item gets its Name, AutoEnable, Text
// and KeyboardShortcut in that order; an item is appended to its menu found again by name.
#pragma once

#include <optional>

#include "platform/rbframework/gui/menu.h"

namespace app {

template <class Kind>
rb::Ref<Kind> NewMenuItem(const char* name, const char* text, std::optional<const char*> shortcut) {
    auto item = rb::make<Kind>();
    item->setName(name);
    item->setAutoEnable(true);
    item->setText(text);
    if (shortcut) item->setKeyboardShortcut(*shortcut);
    return item;
}

// A menu of the bar, with an empty shortcut.
template <class Kind>
void AddMenu(rb::MenuBar& bar, const char* name, const char* text) {
    bar.Append(NewMenuItem<Kind>(name, text, ""));
}

// An item of the menu named `menu`; a shortcut of nullopt is never set (separators).
template <class Kind>
void AddMenuItem(rb::MenuBar& bar, const char* menu, const char* name, const char* text,
                 std::optional<const char*> shortcut) {
    auto item = NewMenuItem<Kind>(name, text, shortcut);
    bar.Child(menu)->Append(item);  // a menu that is not there raises NilObjectException
}

}  // namespace app
