// A progress bar: Value out of Maximum, or, with Maximum 0, a busy bar that shows no amount.
#pragma once

#include <QProgressBar>

#include "platform/rbframework/gui/control.h"

namespace rb {

class ProgressBar final : public Control {
  public:
    explicit ProgressBar(Window* window);
    const char* className() const override { return "ProgressBar"; }

    int32_t Value() const;
    void setValue(int32_t v);  // clamped to 0 .. Maximum
    int32_t Maximum() const;
    void setMaximum(int32_t v);  // 0 shows the bar as busy; a negative value counts as 0
    QProgressBar* bar() const { return static_cast<QProgressBar*>(widget()); }

  protected:
    bool setProperty(std::string_view name, const PropertyValue& value) override;

  private:
    void apply();
    int32_t value_ = 0, maximum_ = 100;
};

}  // namespace rb
