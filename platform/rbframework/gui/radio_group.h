// Group boxes and radio buttons. A group box is a captioned frame that holds controls (they name
// it as their InitialParent); the radio buttons with the same parent, a group box or the window,
// form one group of which at most one is selected.
//
// Keyboard use is that of a radio group: Tab stops once per group, at its selected button (the
// first one when none is), and the arrow keys move through the group in TabIndex order, round
// at the ends, selecting as they go. Down and Right go forward, Up and Left back.
#pragma once

#include <QGroupBox>
#include <QRadioButton>

#include "platform/rbframework/gui/controls.h"

namespace rb {

class GroupBox final : public TextControl {
  public:
    explicit GroupBox(Window* window);
    const char* className() const override { return "GroupBox"; }
    bool holdsControls() const override { return true; }

    String Caption() const;
    void setCaption(const String& caption);  // also the name screen readers announce
    QGroupBox* box() const { return static_cast<QGroupBox*>(widget()); }

  protected:
    bool setProperty(std::string_view name, const PropertyValue& value) override;
};

class RadioWidget;

class RadioButton final : public TextControl {
  public:
    explicit RadioButton(Window* window);
    ~RadioButton() override;
    const char* className() const override { return "RadioButton"; }

    String Caption() const;
    void setCaption(const String& caption);  // also the name screen readers announce
    bool Value() const;
    // True selects this button and clears the others of its group; False clears it, which may
    // leave the group with none selected. A value set here raises no Action: only the user's
    // click, Space or arrow key does.
    void setValue(bool on);
    QRadioButton* radio() const;

  protected:
    bool setProperty(std::string_view name, const PropertyValue& value) override;

  private:
    friend class RadioWidget;
};

}  // namespace rb
