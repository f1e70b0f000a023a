// Menus: a tree of items found by name. The first level of a menu bar are its menus. One menu
// bar may serve several windows; each window shows it in a menu bar widget of its own.
#pragma once

#include <QChar>
#include <QPointer>

#include <string>
#include <vector>

#include "platform/rbframework/object.h"
#include "platform/rbframework/rbstring.h"

class QAction;
class QMenuBar;
class QMenu;

namespace rb {

class Window;

class MenuItem : public Object {
  public:
    MenuItem() = default;
    virtual const char* className() const { return "MenuItem"; }
    // Chosen: quits the application instead of looking for a handler.
    virtual bool quits() const { return false; }

    const String& Name() const { return name_; }
    void setName(const String& name) { name_ = name; }
    // The caption; "&" marks the mnemonic and "-" alone makes a separator.
    const String& Text() const { return text_; }
    void setText(const String& text);
    // "Cmd+X" (the desktop's Ctrl+X), "Cmd+Shift+X", or empty.
    const String& KeyboardShortcut() const { return shortcut_; }
    void setKeyboardShortcut(const String& shortcut);
    bool AutoEnable() const { return autoEnable_; }
    void setAutoEnable(bool on) { autoEnable_ = on; }
    bool Enabled() const { return enabled_; }
    void setEnabled(bool on);

    // Adds `item` as the last child (on a menu bar: a menu).
    void Append(const Ref<MenuItem>& item);
    int32_t Count() const { return static_cast<int32_t>(children_.size()); }
    Ref<MenuItem> Item(int32_t index) const;
    // The direct child of that name, or nil.
    Ref<MenuItem> Child(const String& name) const;
    // The item of that name anywhere below this one, or nil.
    Ref<MenuItem> _Lookup(const String& name) const;

    // Shows this item's children in a Qt menu bar for `window`.
    void renderInto(QMenuBar* bar, Window* window);

  private:
    void renderChildren(QMenu* menu, Window* window);
    void syncActions();
    String name_, text_, shortcut_;
    QChar mnemonic_;  // given by the menu bar to a menu whose caption marks none
    bool autoEnable_ = true, enabled_ = true;
    std::vector<Ref<MenuItem>> children_;
    std::vector<QPointer<QAction>> actions_;  // one per window that shows this item
};

class MenuBar : public MenuItem {
  public:
    const char* className() const override { return "MenuBar"; }
};

// Belongs in the application menu on desktops that have one; here it stands where it is put.
class AppleMenuItem : public MenuItem {
  public:
    const char* className() const override { return "AppleMenuItem"; }
};

class QuitMenuItem : public MenuItem {
  public:
    const char* className() const override { return "QuitMenuItem"; }
    bool quits() const override { return true; }
};

// "Cmd+P" -> "Ctrl+P", for Qt's key sequences.
std::string desktopShortcut(const std::string& shortcut);

}  // namespace rb
