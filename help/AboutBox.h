// The about box: the product's name, a credits label, the running version and three buttons
// that hand a configured link to the desktop (a mail to the author, the maker's web site and,
// on the default button, the ordering page). One about box at a time, reached through
// AboutBox::AboutBox_().
#pragma once

#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/gui/window.h"

class AboutBox : public rb::Window {
  public:
    static constexpr const char* kClassName = "AboutBox";
    const char* className() const override { return kClassName; }

    // The open about box, or a new one built and opened. One reference for the caller.
    static rb::Ref<AboutBox> AboutBox_();

    void Layout() override;
    void CreateControls() override;
    void _CreateControls0();

    rb::Ref<rb::PushButton> PushButton1() const;
    rb::Ref<rb::PushButton> PushButton2() const;
    rb::Ref<rb::Label> StaticText2() const;
    rb::Ref<rb::Label> StaticText1() const;
    rb::Ref<rb::Label> StaticText3() const;
    rb::Ref<rb::Label> StaticText4() const;
    rb::Ref<rb::PushButton> OrderButton() const;

    void PushButton1_Action(rb::PushButton& button);  // "Email Author"
    void PushButton2_Action(rb::PushButton& button);  // "Visit Web Site"
    void StaticText4_Open(rb::Label& label);          // the running version
    void OrderButton_Action(rb::PushButton& button);  // "Support Norvale"
};
