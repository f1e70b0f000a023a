// The version window, titled "Self Test": the running version and one button, "Check for
// Updates", which runs the update check in its modal window. The update window closes this
// one as the check starts. One at a time, reached through selfTest::selfTest_().
#pragma once

#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/gui/window.h"

class selfTest : public rb::Window {
  public:
    static constexpr const char* kClassName = "selfTest";
    const char* className() const override { return kClassName; }

    // The open version window, or a new one built and opened. One reference for the caller.
    static rb::Ref<selfTest> selfTest_();

    void Layout() override;
    void CreateControls() override;
    void _CreateControls0();

    rb::Ref<rb::Label> StaticText1() const;
    rb::Ref<rb::Label> StaticText2() const;
    rb::Ref<rb::PushButton> PushButton1() const;

    void StaticText2_Open(rb::Label& label);
    // "Check for Updates": shows the update window modally; returns once it has closed.
    void PushButton1_Action(rb::PushButton& button);
};
