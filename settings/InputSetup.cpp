#include "settings/InputSetup.h"

#include "app/design.h"

using rb::RGB;
using rb::String;

rb::Ref<InputSetup> InputSetup::InputSetup_() {
    return rb::implicitWindow<InputSetup>();
}

void InputSetup::Layout() {
    _SetProperties({
        {"Placement", 0},
        {"Width", 300},
        {"Height", 296},
        {"MinWidth", 64},
        {"MinHeight", 64},
        {"MaxWidth", 32000},
        {"MaxHeight", 32000},
        {"Frame", 0},
        {"Composite", false},
        {"HasBackColor", false},
        {"BackColor", RGB(255, 255, 255)},
        {"Title", String("Input Style")},
        {"Visible", true},
        {"FullScreen", false},
        {"MenuBarVisible", true},
        {"CloseButton", true},
        {"Resizeable", false},
        {"LiveResize", true},
        {"MaximizeButton", false},
        {"MinimizeButton", false},
        {"MacProcID", 0},
    });
}

void InputSetup::CreateControls() {
    _CreateControls0();
}

namespace {

// One control of the dialog as it is designed.
struct Design {
    const char* name;
    const char* parent;  // "" for the window: then the control is a group box
    int32_t left, top, width, height;
    const char* caption;
    bool value;  // the design-time selection of a radio button
    int32_t tabIndex;
    bool bold;
    void (InputSetup::*action)();
};

// In creation order; rectangles in window coordinates, TabIndex within the parent.
constexpr Design kControls[] = {
    {"GroupBox1", "", 22, 21, 258, 47, "Font Color", false, 0, true, nullptr},
    {"Black", "GroupBox1", 34, 42, 58, 20, "Black", true, 0, false, &InputSetup::Black_Action},
    {"Red", "GroupBox1", 126, 42, 52, 20, "Red", false, 1, true, &InputSetup::Red_Action},
    {"Blue", "GroupBox1", 216, 42, 52, 20, "Blue", false, 2, true, &InputSetup::Blue_Action},
    {"GroupBox2", "", 22, 90, 258, 78, "Font Size", false, 1, true, nullptr},
    {"Font18", "GroupBox2", 29, 112, 45, 20, "18", false, 0, true, &InputSetup::Font18_Action},
    {"Font24", "GroupBox2", 96, 112, 45, 20, "24", false, 1, true, &InputSetup::Font24_Action},
    {"Font36", "GroupBox2", 166, 112, 45, 20, "36", true, 2, true, &InputSetup::Font36_Action},
    {"Font48", "GroupBox2", 227, 112, 45, 20, "48", false, 3, true, &InputSetup::Font48_Action},
    {"Font64", "GroupBox2", 29, 138, 45, 20, "64", false, 4, true, &InputSetup::Font64_Action},
    {"Font72", "GroupBox2", 96, 138, 45, 20, "72", false, 5, true, &InputSetup::Font72_Action},
    {"Font96", "GroupBox2", 166, 138, 45, 20, "96", false, 6, true, &InputSetup::Font96_Action},
    {"Font144", "GroupBox2", 227, 138, 48, 20, "144", false, 7, true, &InputSetup::Font144_Action},
    {"GroupBox3", "", 22, 192, 168, 84, "Font Family", false, 2, true, nullptr},
    {"Helvetica", "GroupBox3", 29, 219, 83, 20, "Helvetica", false, 0, true,
     &InputSetup::Helvetica_Action},
    {"Arial", "GroupBox3", 117, 219, 60, 20, "Arial", true, 1, true, &InputSetup::Arial_Action},
    {"Times", "GroupBox3", 117, 244, 64, 20, "Times", false, 2, true, &InputSetup::Times_Action},
    {"Courier", "GroupBox3", 30, 244, 73, 20, "Courier", false, 3, true,
     &InputSetup::Courier_Action},
    {"GroupBox4", "", 202, 192, 78, 84, "Bold", false, 3, true, nullptr},
    {"BoldOn", "GroupBox4", 215, 219, 50, 20, "On", true, 0, false, &InputSetup::BoldOn_Action},
    {"BoldOff", "GroupBox4", 215, 244, 50, 20, "Off", false, 1, false, &InputSetup::BoldOff_Action},
};

}  // namespace

void InputSetup::_CreateControls0() {
    for (const Design& d : kControls) {
        bool isBox = d.parent[0] == '\0';
        if (isBox)
            _AddControl(d.name, rb::make<rb::GroupBox>(this));
        else
            _AddControl(d.name, rb::make<rb::RadioButton>(this));
        rb::Ref<rb::TextControl> c = controlAs<rb::TextControl>(d.name);
        c->setTextUnit(0);
        design::Place(*c, d.left, d.top, d.width, d.height);
        c->_SetProperties({
            {"TabPanelIndex", 0},
            {"TabIndex", d.tabIndex},
            {"TabStop", true},
            {"Enabled", true},
            {"Visible", true},
            {"HelpTag", String("")},
            {"AutoDeactivate", true},
            {"Caption", String(d.caption)},
            {"InitialParent", String(d.parent)},
            {"TextFont", String("System")},
            {"TextUnit", 0},
            {"Bold", d.bold},
            {"Italic", false},
            {"Underline", false},
        });
        if (isBox) continue;
        c->_SetProperties({{"Value", d.value}});
        // Bound last, so the design-time selection runs no handler.
        auto action = d.action;
        c->_AddEventHandler(rb::event::Action, [this, action] { (this->*action)(); });
    }
}

rb::Ref<rb::GroupBox> InputSetup::GroupBox1() const {
    return controlAs<rb::GroupBox>("GroupBox1");
}
rb::Ref<rb::RadioButton> InputSetup::Black() const {
    return controlAs<rb::RadioButton>("Black");
}
rb::Ref<rb::RadioButton> InputSetup::Red() const {
    return controlAs<rb::RadioButton>("Red");
}
rb::Ref<rb::RadioButton> InputSetup::Blue() const {
    return controlAs<rb::RadioButton>("Blue");
}
rb::Ref<rb::GroupBox> InputSetup::GroupBox2() const {
    return controlAs<rb::GroupBox>("GroupBox2");
}
rb::Ref<rb::RadioButton> InputSetup::Font18() const {
    return controlAs<rb::RadioButton>("Font18");
}
rb::Ref<rb::RadioButton> InputSetup::Font24() const {
    return controlAs<rb::RadioButton>("Font24");
}
rb::Ref<rb::RadioButton> InputSetup::Font36() const {
    return controlAs<rb::RadioButton>("Font36");
}
rb::Ref<rb::RadioButton> InputSetup::Font48() const {
    return controlAs<rb::RadioButton>("Font48");
}
rb::Ref<rb::RadioButton> InputSetup::Font64() const {
    return controlAs<rb::RadioButton>("Font64");
}
rb::Ref<rb::RadioButton> InputSetup::Font72() const {
    return controlAs<rb::RadioButton>("Font72");
}
rb::Ref<rb::RadioButton> InputSetup::Font96() const {
    return controlAs<rb::RadioButton>("Font96");
}
rb::Ref<rb::RadioButton> InputSetup::Font144() const {
    return controlAs<rb::RadioButton>("Font144");
}
rb::Ref<rb::GroupBox> InputSetup::GroupBox3() const {
    return controlAs<rb::GroupBox>("GroupBox3");
}
rb::Ref<rb::RadioButton> InputSetup::Helvetica() const {
    return controlAs<rb::RadioButton>("Helvetica");
}
rb::Ref<rb::RadioButton> InputSetup::Arial() const {
    return controlAs<rb::RadioButton>("Arial");
}
rb::Ref<rb::RadioButton> InputSetup::Times() const {
    return controlAs<rb::RadioButton>("Times");
}
rb::Ref<rb::RadioButton> InputSetup::Courier() const {
    return controlAs<rb::RadioButton>("Courier");
}
rb::Ref<rb::GroupBox> InputSetup::GroupBox4() const {
    return controlAs<rb::GroupBox>("GroupBox4");
}
rb::Ref<rb::RadioButton> InputSetup::BoldOn() const {
    return controlAs<rb::RadioButton>("BoldOn");
}
rb::Ref<rb::RadioButton> InputSetup::BoldOff() const {
    return controlAs<rb::RadioButton>("BoldOff");
}
