#include "help/AboutBox.h"

#include "app/design.h"
#include "help/label_design.h"

#include "help/links.h"
#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/show_url.h"

using rb::RGB;
using rb::String;

namespace {
constexpr const char* kCredits = "A speaking\ntext editor\n\nSpeech by\neSpeak NG";

rb::Application& theApp() {
    rb::Application* app = rb::Application::current();
    if (!app) throw rb::NilObjectException();
    return *app;
}
}  // namespace

rb::Ref<AboutBox> AboutBox::AboutBox_() {
    return rb::implicitWindow<AboutBox>();
}

void AboutBox::Layout() {
    _SetProperties({
        {"Placement", 0},
        {"Width", 264},
        {"Height", 296},
        {"MinWidth", 64},
        {"MinHeight", 64},
        {"MaxWidth", 32000},
        {"MaxHeight", 32000},
        {"Frame", 0},
        {"Composite", false},
        {"HasBackColor", false},
        {"BackColor", RGB(255, 255, 255)},
        {"Title", String("About...")},
        {"Visible", true},
        {"FullScreen", false},
        {"MenuBarVisible", true},
        {"CloseButton", true},
        {"Resizeable", false},
        {"LiveResize", false},
        {"MaximizeButton", false},
        {"MinimizeButton", false},
        {"MacProcID", 0},
    });
}

void AboutBox::CreateControls() {
    _CreateControls0();
}

void AboutBox::_CreateControls0() {
    auto button = [this](const char* name, int top, const char* caption, int tabIndex,
                         bool isDefault) {
        _AddControl(name, rb::make<rb::PushButton>(this));
        controlAs<rb::PushButton>(name)->setTextUnit(0);
        design::Place(*controlAs<rb::PushButton>(name), 72, top, 120, 22);
        controlAs<rb::PushButton>(name)->_SetProperties({
            {"Caption", String(caption)},
            {"Default", isDefault},
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
            {"TabIndex", tabIndex},
            {"TabPanelIndex", 0},
            {"InitialParent", String("")},
        });
    };

    button("PushButton1", 180, "Email Author", 0, false);
    controlAs<rb::PushButton>("PushButton1")->_AddEventHandler(rb::event::Action, [this] {
        PushButton1_Action(*PushButton1());
    });

    button("PushButton2", 217, "Visit Web Site", 1, false);
    controlAs<rb::PushButton>("PushButton2")->_AddEventHandler(rb::event::Action, [this] {
        PushButton2_Action(*PushButton2());
    });

    help::AddLabel(*this, {"StaticText2", 80, 86, 104, 87, kCredits, 1, "System", false, true, 2});

    help::AddLabel(*this, {"StaticText1", 20, 16, 224, 45, "Vellora", 1, "Arial", true, false, 3});
    controlAs<rb::Label>("StaticText1")->setTextSize(30);

    help::AddLabel(*this, {"StaticText3", 72, 60, 56, 20, "Version:", 0, "Arial", true, false, 4});
    controlAs<rb::Label>("StaticText3")->setTextSize(12);

    help::AddLabel(*this,
                   {"StaticText4", 127, 60, 65, 20, "1.1.0 Intel", 2, "Arial", true, false, 5});
    controlAs<rb::Label>("StaticText4")->setTextSize(12);
    controlAs<rb::Label>("StaticText4")->_AddEventHandler(rb::event::Open, [this] {
        StaticText4_Open(*StaticText4());
    });

    button("OrderButton", 254, "Support Norvale", 6, true);
    controlAs<rb::PushButton>("OrderButton")->_AddEventHandler(rb::event::Action, [this] {
        OrderButton_Action(*OrderButton());
    });
}

rb::Ref<rb::PushButton> AboutBox::PushButton1() const {
    return controlAs<rb::PushButton>("PushButton1");
}
rb::Ref<rb::PushButton> AboutBox::PushButton2() const {
    return controlAs<rb::PushButton>("PushButton2");
}
rb::Ref<rb::Label> AboutBox::StaticText2() const {
    return controlAs<rb::Label>("StaticText2");
}
rb::Ref<rb::Label> AboutBox::StaticText1() const {
    return controlAs<rb::Label>("StaticText1");
}
rb::Ref<rb::Label> AboutBox::StaticText3() const {
    return controlAs<rb::Label>("StaticText3");
}
rb::Ref<rb::Label> AboutBox::StaticText4() const {
    return controlAs<rb::Label>("StaticText4");
}
rb::Ref<rb::PushButton> AboutBox::OrderButton() const {
    return controlAs<rb::PushButton>("OrderButton");
}

void AboutBox::PushButton1_Action(rb::PushButton&) {
    rb::ShowURL(String(help::links::kAuthorMail));
}
void AboutBox::PushButton2_Action(rb::PushButton&) {
    rb::ShowURL(String(help::links::kWebSite));
}
void AboutBox::StaticText4_Open(rb::Label& label) {
    label.setText(theApp().LongVersion());
}
void AboutBox::OrderButton_Action(rb::PushButton&) {
    rb::ShowURL(String(help::links::kOrderPage));
}
