// Windows: built by their hooks (Layout, CreateControls, AddMenuHandlers), with controls found
// by name, a menu bar, and Open and Close events. One open window per class is found by the
// class's name (the implicit instance).
#pragma once

#include <QPoint>
#include <QPointer>
#include <QSize>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/rbframework/gui/control.h"
#include "platform/rbframework/gui/menu.h"
#include "platform/rbframework/gui/properties.h"
#include "platform/rbframework/object.h"

class QMainWindow;
class QWidget;
class QEventLoop;

namespace rb {

class WindowWidget;
class ContentWidget;

class Window : public Object {
  public:
    // The window's class name, by which its implicit instance is found.
    virtual const char* className() const = 0;

    // Builds the window (Layout, CreateControls, AddMenuHandlers), registers it as open,
    // shows it when Visible, and raises Open.
    void Constructor();

    // Hooks of the window's class.
    virtual void Layout() {}
    virtual void CreateControls() {}
    virtual void AddMenuHandlers() {}
    virtual void Event_Open() {}
    virtual void Event_Close() {}

    void _SetProperties(PropertySet properties);

    // The content area, below the menu bar; sizes are clamped to the minimum and maximum.
    int32_t Width() const { return size_.width(); }
    int32_t Height() const { return size_.height(); }
    void setWidth(int32_t w);
    void setHeight(int32_t h);
    int32_t Left() const;
    int32_t Top() const;
    void setLeft(int32_t x);
    void setTop(int32_t y);
    int32_t MinWidth() const { return min_.width(); }
    int32_t MinHeight() const { return min_.height(); }
    int32_t MaxWidth() const { return max_.width(); }
    int32_t MaxHeight() const { return max_.height(); }
    void setMinWidth(int32_t v);
    void setMinHeight(int32_t v);
    void setMaxWidth(int32_t v);
    void setMaxHeight(int32_t v);
    String Title() const;
    void setTitle(const String& title);
    bool Resizeable() const { return resizeable_; }
    void setResizeable(bool on);
    bool Visible() const;

    // Brings the window within the available desktop: shrunk to the screen it is mostly on
    // (never below its minimum), and moved onto a screen when it is wholly off every one. Bounds
    // that already fit are left exactly as they are.
    void KeepOnScreen();

    void Show();
    // Shows the window and returns once it has closed.
    void ShowModal();
    void Hide();
    // Closes the window: raises Close and forgets it as the open window of its class.
    void Close();
    bool isOpen() const noexcept { return open_; }

    void _AddControl(const std::string& name, const Ref<Control>& control);
    Ref<Control> _ControlByName(const std::string& name) const;
    // The control of that name cast to T; nil when there is none or it is of another class.
    template <class T>
    Ref<T> controlAs(const std::string& name) const {
        return Ref<T>::retain(dynamic_cast<T*>(_ControlByName(name).get()));
    }
    const std::vector<Ref<Control>>& controls() const { return controls_; }

    Ref<MenuBar> menuBar() const { return menuBar_; }
    void setMenuBar(const Ref<MenuBar>& bar);
    // A handler of this window for a menu item name; tried before the application's.
    void _AddMenuHandler(const std::string& itemName, std::function<bool()> handler);
    // What choosing an item does: this window's handler, the application's, then the
    // standard command of the item (editing commands, quitting).
    void chooseMenuItem(const MenuItem& item);

    QMainWindow* qwindow() const;
    QWidget* content() const;
    QSize contentSize() const { return size_; }

  protected:
    Window();
    ~Window() override;

  private:
    friend class WindowWidget;
    friend class ContentWidget;
    void contentResized(QSize size);
    void closed();
    void applySize();
    void placeAt(QPoint at);
    void applyFlags();
    void arrangeFocusAndNames();
    void addLeavingKeys();
    // The window that shows the application's own menu bar: the one that holds the user's work.
    bool isMainWindow() const;
    int menuHeight() const;

    QPointer<WindowWidget> widget_;
    QSize size_{300, 300}, min_{64, 64}, max_{32000, 32000};
    bool resizeable_ = true, closeButton_ = true, minimizeButton_ = true, maximizeButton_ = true;
    bool visibleAtOpen_ = true, menuBarVisible_ = true;
    bool open_ = false, closing_ = false, built_ = false;
    QSize fixedFrame_;     // the top-level's fixed size, when it has one
    bool placed_ = false;  // the program has set the window's place
    std::vector<Ref<Control>> controls_;
    std::map<std::string, Control*> byName_;
    Ref<MenuBar> menuBar_;
    std::map<std::string, std::function<bool()>> menuHandlers_;
    QEventLoop* modalLoop_ = nullptr;
};

// The open window of that class, or null. Does not take a reference.
Window* _GetImplicitWindow(std::string_view className);

// The implicit instance of W: the open one, or a new one built and opened. One reference for
// the caller.
template <class W>
Ref<W> implicitWindow() {
    if (Window* open = _GetImplicitWindow(W::kClassName))
        return Ref<W>::retain(static_cast<W*>(open));
    auto w = make<W>();
    w->Constructor();
    return w;
}

namespace detail {
// The framework's list of open windows, front to back as they opened; emptied at exit.
std::vector<Ref<Window>>& openWindows();
}  // namespace detail

}  // namespace rb
