#include "platform/rbframework/gui/control.h"

#include <QCoreApplication>
#include <QTimer>

#include "platform/rbframework/gui/runtime.h"
#include "platform/rbframework/gui/window.h"

namespace rb {

Control::Control(Window* window, QWidget* widget) : window_(window), widget_(widget) {
    // A child shown now appears with its window, whenever that is shown.
    if (widget_) widget_->show();
    designContent_ = window_ ? window_->contentSize() : QSize();
}

void Control::_AddEventHandler(int eventNumber, std::function<void()> handler) {
    handlers_[eventNumber] = std::move(handler);
}

void Control::raise(int eventNumber) {
    auto it = handlers_.find(eventNumber);
    if (it == handlers_.end() || !it->second) return;
    // Hold the control and its window for the length of the handler.
    Ref<Control> self = Ref<Control>::retain(this);
    Ref<Window> holder = Ref<Window>::retain(window_);
    auto handler = it->second;
    RunGuarded(handler);
    keepUntilEventEnds(std::move(holder));
}

// A window that a handler closed may be released only once the event is over: the widget
// whose signal ran the handler is still on the stack, and a modal loop inside the handler
// may already have run the window's own deferred release.
void keepUntilEventEnds(Ref<Window> window) {
    if (window && !window->isOpen()) QTimer::singleShot(0, qApp, [window] {});
}

void Control::_SetProperties(PropertySet properties) {
    for (const auto& [name, value] : properties) {
        if (!setProperty(name, value)) throw UnknownPropertyError(className(), name);
    }
}

bool Control::setProperty(std::string_view name, const PropertyValue& v) {
    auto i = [&] { return propertyAs<int32_t>(name, v); };
    auto b = [&] { return propertyAs<bool>(name, v); };
    if (name == "Left")
        setLeft(i());
    else if (name == "Top")
        setTop(i());
    else if (name == "Width")
        setWidth(i());
    else if (name == "Height")
        setHeight(i());
    else if (name == "LockLeft")
        LockLeft = b();
    else if (name == "LockTop")
        LockTop = b();
    else if (name == "LockRight")
        LockRight = b();
    else if (name == "LockBottom")
        LockBottom = b();
    else if (name == "TabIndex")
        TabIndex = i();
    else if (name == "TabStop")
        TabStop = b();
    else if (name == "Enabled")
        setEnabled(b());
    else if (name == "Visible")
        setVisible(b());
    else if (name == "InitialParent")
        setInitialParent(propertyAs<String>(name, v));
    else if (name == "HelpTag") {
        if (widget_)
            widget_->setToolTip(QString::fromStdString(propertyAs<String>(name, v).toUtf8()));
    }
    // Design-time values with no effect here: placement in a tab panel, control arrays and
    // platform details that this desktop has no use for.
    else if (name == "AutoDeactivate" || name == "TabPanelIndex" || name == "Index" ||
             name == "UseFocusRing" || name == "Transparent" || name == "TextUnit" ||
             name == "DataSource" || name == "DataField") {
    } else {
        return false;
    }
    return true;
}

void Control::setLeft(int32_t v) {
    design_.moveLeft(v);
    place();
}
void Control::setTop(int32_t v) {
    design_.moveTop(v);
    place();
}
void Control::setWidth(int32_t v) {
    design_.setWidth(v);
    place();
}
void Control::setHeight(int32_t v) {
    design_.setHeight(v);
    place();
}

// A rectangle set now is relative to the content size now; the locks work from there.
void Control::place() {
    if (window_) designContent_ = window_->contentSize();
    if (widget_) widget_->setGeometry(design_.translated(-parentOffset()));
}

QPoint Control::parentOffset() const {
    return parent_ ? QPoint(parent_->Left(), parent_->Top()) : QPoint();
}

void Control::setInitialParent(const String& name) {
    std::string parentName = name.toUtf8();
    if (parentName.empty() || !window_ || !widget_) return;
    Ref<Control> parent = window_->_ControlByName(parentName);
    if (!parent || parent.get() == this || !parent->holdsControls() || !parent->widget())
        throw std::logic_error(std::string(className()) + " cannot be placed in \"" + parentName +
                               "\"");
    parent_ = parent.get();
    widget_->setParent(parent->widget());  // hides it
    widget_->setVisible(visible_);
    place();
}

void Control::relayout(QSize content) {
    if (!widget_ || !designContent_.isValid()) return;
    int dw = content.width() - designContent_.width();
    int dh = content.height() - designContent_.height();
    QRect r = design_;
    if (LockRight) {
        if (LockLeft)
            r.setWidth(r.width() + dw);
        else
            r.moveLeft(r.left() + dw);
    }
    if (LockBottom) {
        if (LockTop)
            r.setHeight(r.height() + dh);
        else
            r.moveTop(r.top() + dh);
    }
    widget_->setGeometry(r.translated(-parentOffset()));
}

bool Control::Enabled() const {
    return enabled_;
}
void Control::setEnabled(bool on) {
    enabled_ = on;
    if (widget_) widget_->setEnabled(on);
}
bool Control::Visible() const {
    return visible_;
}
void Control::setVisible(bool on) {
    visible_ = on;
    if (widget_) widget_->setVisible(on);
}

}  // namespace rb
