#include "help/selfTest.h"

#include "app/design.h"
#include "help/AboutBox.h"
#include "help/label_design.h"
#include "help/updateWindow.h"
#include "platform/rbframework/gui/application.h"

using rb::RGB;
using rb::String;

rb::Ref<selfTest> selfTest::selfTest_() {
    return rb::implicitWindow<selfTest>();
}

void selfTest::Layout() {
    _SetProperties({
        {"Width", 212},
        {"Height", 103},
        {"MinWidth", 64},
        {"MinHeight", 64},
        {"MaxWidth", 32000},
        {"MaxHeight", 32000},
        {"Title", String("Self Test")},
        {"Resizeable", false},
        {"LiveResize", false},
        {"CloseButton", true},
        {"MinimizeButton", false},
        {"MaximizeButton", false},
        {"Visible", true},
        {"FullScreen", false},
        {"MenuBarVisible", true},
        {"Composite", false},
        {"HasBackColor", false},
        {"BackColor", RGB(255, 255, 255)},
        {"Frame", 0},
        {"Placement", 0},
        {"MacProcID", 0},
    });
}

void selfTest::CreateControls() {
    _CreateControls0();
}

void selfTest::_CreateControls0() {
    help::AddLabel(*this, {"StaticText1", 38, 19, 67, 20, "Version:", 0, "System", true, false, 0});
    help::AddLabel(*this,
                   {"StaticText2", 105, 19, 70, 20, "1.1.0 Intel", 2, "System", false, false, 1});
    controlAs<rb::Label>("StaticText2")->_AddEventHandler(rb::event::Open, [this] {
        StaticText2_Open(*StaticText2());
    });

    _AddControl("PushButton1", rb::make<rb::PushButton>(this));
    controlAs<rb::PushButton>("PushButton1")->setTextUnit(0);
    design::Place(*controlAs<rb::PushButton>("PushButton1"), 28, 61, 157, 22);
    controlAs<rb::PushButton>("PushButton1")
        ->_SetProperties({
            {"Caption", String("Check for Updates")},
            {"Default", true},
            {"Cancel", false},
            {"ButtonStyle", 0},
            {"TextFont", String("System")},
            {"TextUnit", 0},
            {"Bold", true},
            {"Italic", false},
            {"Underline", false},
            {"AutoDeactivate", true},
            {"HelpTag", String("")},
            {"Enabled", true},
            {"Visible", true},
            {"TabStop", true},
            {"TabIndex", 2},
            {"TabPanelIndex", 0},
            {"InitialParent", String("")},
        });
    controlAs<rb::PushButton>("PushButton1")->_AddEventHandler(rb::event::Action, [this] {
        PushButton1_Action(*PushButton1());
    });
}

rb::Ref<rb::Label> selfTest::StaticText1() const {
    return controlAs<rb::Label>("StaticText1");
}
rb::Ref<rb::Label> selfTest::StaticText2() const {
    return controlAs<rb::Label>("StaticText2");
}
rb::Ref<rb::PushButton> selfTest::PushButton1() const {
    return controlAs<rb::PushButton>("PushButton1");
}

void selfTest::StaticText2_Open(rb::Label& label) {
    rb::Application* app = rb::Application::current();
    if (!app) throw rb::NilObjectException();
    label.setText(app->LongVersion());
}

void selfTest::PushButton1_Action(rb::PushButton&) {
    // Making the update window runs its Open, which starts the request and closes this window.
    rb::Ref<updateWindow> update = updateWindow::updateWindow_();
    update->ShowModal();
    // Never makes a version window: only one still open is closed.
    if (rb::Window* open = rb::_GetImplicitWindow(kClassName)) open->Close();
}
