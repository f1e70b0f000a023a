// Controls: the runtime's visual and non-visual members of a window. A control is a runtime
// object; its Qt widget belongs to the window's widget tree, so it lives as long as the window
// shows it.
#pragma once

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/rbframework/gui/properties.h"
#include "platform/rbframework/object.h"

namespace rb {

class Window;

// Event numbers by which handlers are bound.
namespace event {
constexpr int TimerAction = 0;
constexpr int Open = 2;  // raised on each control as its window opens, before the window's
constexpr int Action = 15;
constexpr int ValueChanged = 20;
constexpr int TextChange = 21;
}  // namespace event

class Control : public Object {
  public:
    // The class name, for messages ("TextArea", "PushButton", ...).
    virtual const char* className() const = 0;

    const std::string& Name() const noexcept { return name_; }
    Window* window() const noexcept { return window_; }
    // The widget, or null for a non-visual control.
    QWidget* widget() const noexcept { return widget_; }

    // Binds a handler to one of the control's events (an event number of `event`). A later
    // binding of the same event replaces the earlier one.
    void _AddEventHandler(int eventNumber, std::function<void()> handler);

    // Applies a design-time property set; throws UnknownPropertyError for a name the control
    // does not have.
    void _SetProperties(PropertySet properties);

    int32_t Left() const { return design_.x(); }
    int32_t Top() const { return design_.y(); }
    int32_t Width() const { return design_.width(); }
    int32_t Height() const { return design_.height(); }
    void setLeft(int32_t v);
    void setTop(int32_t v);
    void setWidth(int32_t v);
    void setHeight(int32_t v);

    bool LockLeft = false, LockTop = false, LockRight = false, LockBottom = false;
    int32_t TabIndex = 0;
    bool TabStop = true;

    bool Enabled() const;
    void setEnabled(bool on);
    bool Visible() const;
    void setVisible(bool on);

    // Called by the window when its content area changes size: applies the locks.
    void relayout(QSize content);

    // The control that holds this one (a group box), or null when the window does. Set by the
    // design-time property InitialParent; the rectangle stays in window coordinates.
    Control* parentControl() const noexcept { return parent_; }
    void setInitialParent(const String& name);
    // Whether other controls may be placed inside this one.
    virtual bool holdsControls() const { return false; }

  protected:
    Control(Window* window, QWidget* widget);
    // Sets one property by name; false when the control has none of that name.
    virtual bool setProperty(std::string_view name, const PropertyValue& value);
    void raise(int eventNumber);
    // The window is closing: a control with work under way (a socket) abandons it here.
    virtual void windowClosed() {}

  private:
    friend class Window;
    std::string name_;
    Window* window_;             // the window owns its controls; this never outlives it
    Control* parent_ = nullptr;  // a sibling owned by the same window
    QPointer<QWidget> widget_;
    QRect design_;         // the control's rectangle as last placed
    QSize designContent_;  // the window's content size when it was placed
    bool enabled_ = true, visible_ = true;
    std::map<int, std::function<void()>> handlers_;
    void place();
    QPoint parentOffset() const;
};

// Keeps a reference on a closed window until the event being handled is over.
void keepUntilEventEnds(Ref<Window> window);

}  // namespace rb
