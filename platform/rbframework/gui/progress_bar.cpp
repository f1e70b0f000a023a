#include "platform/rbframework/gui/progress_bar.h"

#include <algorithm>

#include "platform/rbframework/gui/window.h"

namespace rb {

ProgressBar::ProgressBar(Window* window) : Control(window, new QProgressBar(window->content())) {
    TabStop = false;
    bar()->setFocusPolicy(Qt::NoFocus);
    bar()->setTextVisible(false);
    apply();
}

int32_t ProgressBar::Value() const {
    return value_;
}
void ProgressBar::setValue(int32_t v) {
    value_ = v;
    apply();
}
int32_t ProgressBar::Maximum() const {
    return maximum_;
}
void ProgressBar::setMaximum(int32_t v) {
    maximum_ = std::max(v, 0);
    apply();
}

// Qt shows a range of 0 to 0 as busy, which is what Maximum 0 means here.
void ProgressBar::apply() {
    bar()->setRange(0, maximum_);
    bar()->setValue(std::clamp(value_, 0, maximum_));
}

bool ProgressBar::setProperty(std::string_view name, const PropertyValue& v) {
    if (name == "Value")
        setValue(propertyAs<int32_t>(name, v));
    else if (name == "Maximum")
        setMaximum(propertyAs<int32_t>(name, v));
    else
        return Control::setProperty(name, v);
    return true;
}

}  // namespace rb
