#include "editor/Window1.h"

#include "editor/MenuBar1.h"
#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/runtime.h"

using rb::RGB;
using rb::String;

rb::Ref<Window1> Window1::Window1_() {
    return rb::implicitWindow<Window1>();
}

void Window1::Layout() {
    setMenuBar(MenuBar1::MenuBar1_());
    _SetProperties({
        {"Width", 400},
        {"Height", 492},
        {"MinWidth", 400},
        {"MinHeight", 492},
        {"MaxWidth", 32000},
        {"MaxHeight", 32000},
        {"Title", String("Vellora")},
        {"Resizeable", true},
        {"LiveResize", true},
        {"CloseButton", true},
        {"MinimizeButton", true},
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

void Window1::CreateControls() {
    _CreateControls0();
}

namespace {

// A push button of the lower controls: created, registered, its individual settings, then its
// property set.
void pushButton(Window1& w, const char* name, int left, int top, int width, int height,
                const char* caption, int tabIndex) {
    w._AddControl(name, rb::make<rb::PushButton>(&w));
    auto b = w.controlAs<rb::PushButton>(name);
    b->setTextSize(14);
    b->setTextUnit(0);
    b->_SetProperties({
        {"Left", left},
        {"Top", top},
        {"Width", width},
        {"Height", height},
        {"LockLeft", true},
        {"LockTop", false},
        {"LockRight", false},
        {"LockBottom", true},
        {"Caption", String(caption)},
        {"Default", false},
        {"Cancel", false},
        {"ButtonStyle", 0},
        {"TextFont", String("System")},
        {"Bold", true},
        {"Italic", false},
        {"Underline", false},
        {"TabIndex", tabIndex},
        {"TabStop", true},
        {"Enabled", true},
        {"Visible", true},
        {"AutoDeactivate", true},
        {"HelpTag", String("")},
        {"TabPanelIndex", 0},
        {"InitialParent", String("")},
    });
}

}  // namespace

void Window1::_CreateControls0() {
    // 1. The text area.
    _AddControl("EditField1", rb::make<rb::TextArea>(this));
    {
        auto c = EditField1();
        c->setLineSpacing(1.0);
        c->setTextSize(20);
        c->setTextUnit(0);
        c->_SetProperties({
            {"Left", 20},
            {"Top", 18},
            {"Width", 360},
            {"Height", 321},
            {"LockLeft", true},
            {"LockTop", true},
            {"LockRight", true},
            {"LockBottom", true},
            {"Multiline", true},
            {"ScrollbarVertical", true},
            {"ScrollbarHorizontal", false},
            {"Border", true},
            {"Styled", false},
            {"UseFocusRing", true},
            {"TextColor", RGB(0, 0, 0)},
            {"BackColor", RGB(255, 255, 255)},
            {"TextFont", String("System")},
            {"Bold", true},
            {"Italic", false},
            {"Underline", false},
            {"HideSelection", true},
            {"AutomaticallyCheckSpelling", true},
            {"ReadOnly", false},
            {"AcceptTabs", false},
            {"LimitText", 0},
            {"Alignment", 0},
            {"Text", String("")},
            {"Format", String("")},
            {"Mask", String("")},
            {"TabIndex", 0},
            {"TabStop", true},
            {"Enabled", true},
            {"Visible", true},
            {"AutoDeactivate", true},
            {"HelpTag", String("")},
            {"TabPanelIndex", 0},
            {"InitialParent", String("")},
        });
        c->_AddEventHandler(rb::event::TextChange, [this] { EditField1_TextChange(); });
    }
    // 2 to 4. The right column.
    pushButton(*this, "TextToClipboard", 215, 444, 172, 27, "Text to Clipboard", 2);
    TextToClipboard()->_AddEventHandler(rb::event::Action, [this] { TextToClipboard_Action(); });
    pushButton(*this, "StopSpeaking", 215, 376, 172, 27, "Stop Speaking", 3);
    StopSpeaking()->_AddEventHandler(rb::event::Action, [this] { StopSpeaking_Action(); });
    pushButton(*this, "ClearAll", 215, 410, 172, 27, "Clear All", 4);
    ClearAll()->_AddEventHandler(rb::event::Action, [this] { ClearAll_Action(); });
    // 5. The rate slider.
    _AddControl("RateSlider", rb::make<rb::Slider>(this));
    {
        auto c = RateSlider();
        c->_SetProperties({
            {"Left", 20},
            {"Top", 382},
            {"Width", 180},
            {"Height", 16},
            {"LockLeft", true},
            {"LockTop", false},
            {"LockRight", false},
            {"LockBottom", true},
            {"Minimum", 100},
            {"Value", 150},
            {"Maximum", 250},
            {"LineStep", 1},
            {"PageStep", 20},
            {"LiveScroll", true},
            {"TickStyle", 0},
            {"TabIndex", 5},
            {"TabStop", true},
            {"Enabled", true},
            {"Visible", true},
            {"AutoDeactivate", true},
            {"HelpTag", String("")},
            {"TabPanelIndex", 0},
            {"InitialParent", String("")},
        });
        c->_AddEventHandler(rb::event::ValueChanged, [this] { RateSlider_ValueChanged(); });
    }
    // 6. Its label.
    _AddControl("StaticText1", rb::make<rb::Label>(this));
    {
        auto c = StaticText1();
        c->setTextSize(16);
        c->setTextUnit(0);
        c->_SetProperties({
            {"Left", 20},
            {"Top", 352},
            {"Width", 180},
            {"Height", 25},
            {"LockLeft", true},
            {"LockTop", false},
            {"LockRight", false},
            {"LockBottom", true},
            {"Text", String("Speaking Rate")},
            {"TextAlign", 1},
            {"TextColor", RGB(0, 0, 0)},
            {"Multiline", false},
            {"Selectable", false},
            {"Transparent", false},
            {"TextFont", String("Helvetica Neue")},
            {"Bold", true},
            {"Italic", false},
            {"Underline", false},
            {"TabIndex", 6},
            {"Enabled", true},
            {"Visible", true},
            {"AutoDeactivate", true},
            {"HelpTag", String("")},
            {"TabPanelIndex", 0},
            {"InitialParent", String("")},
        });
    }
    // 7. The left column's second button.
    pushButton(*this, "SpeakSelected", 20, 444, 172, 22, "Speak Selected", 7);
    SpeakSelected()->_AddEventHandler(rb::event::Action, [this] { SpeakSelected_Action(); });
    // 8. The key timer.
    _AddControl("Timer1", rb::make<rb::Timer>(this));
    Timer1()->_SetProperties({{"Mode", 2}, {"Period", 50}});
    Timer1()->_AddEventHandler(rb::event::TimerAction, [this] { Timer1_Action(); });
    // 9. The reading button.
    pushButton(*this, "SpeakToEnd", 20, 410, 172, 22, "Speak to End", 9);
    SpeakToEnd()->_AddEventHandler(rb::event::Action, [this] { SpeakToEnd_Action(); });
}

// Each accessor finds its control again by name; on a nil window it raises NilObjectException.
rb::Ref<rb::TextArea> Window1::EditField1() const {
    return controlAs<rb::TextArea>("EditField1");
}
rb::Ref<rb::PushButton> Window1::TextToClipboard() const {
    return controlAs<rb::PushButton>("TextToClipboard");
}
rb::Ref<rb::PushButton> Window1::StopSpeaking() const {
    return controlAs<rb::PushButton>("StopSpeaking");
}
rb::Ref<rb::PushButton> Window1::ClearAll() const {
    return controlAs<rb::PushButton>("ClearAll");
}
rb::Ref<rb::Slider> Window1::RateSlider() const {
    return controlAs<rb::Slider>("RateSlider");
}
rb::Ref<rb::Label> Window1::StaticText1() const {
    return controlAs<rb::Label>("StaticText1");
}
rb::Ref<rb::PushButton> Window1::SpeakSelected() const {
    return controlAs<rb::PushButton>("SpeakSelected");
}
rb::Ref<rb::Timer> Window1::Timer1() const {
    return controlAs<rb::Timer>("Timer1");
}
rb::Ref<rb::PushButton> Window1::SpeakToEnd() const {
    return controlAs<rb::PushButton>("SpeakToEnd");
}

template <class T>
rb::Ref<T> Window1::menuItem(const char* name) const {
    rb::Ref<rb::MenuBar> bar = menuBar();
    if (!bar) throw rb::NilObjectException();
    rb::Ref<rb::MenuItem> item = bar->_Lookup(name);
    return rb::Ref<T>::retain(dynamic_cast<T*>(item.get()));
}

rb::Ref<rb::MenuItem> Window1::HelpMenu() const {
    return menuItem<rb::MenuItem>("HelpMenu");
}
rb::Ref<rb::AppleMenuItem> Window1::HelpAbout() const {
    return menuItem<rb::AppleMenuItem>("HelpAbout");
}
rb::Ref<rb::MenuItem> Window1::HelpShowVLRHelp() const {
    return menuItem<rb::MenuItem>("HelpShowVLRHelp");
}
rb::Ref<rb::AppleMenuItem> Window1::CheckforUpdateMenu() const {
    return menuItem<rb::AppleMenuItem>("CheckforUpdateMenu");
}
rb::Ref<rb::MenuItem> Window1::CheckforUpdateCheckNow() const {
    return menuItem<rb::MenuItem>("CheckforUpdateCheckNow");
}
rb::Ref<rb::MenuItem> Window1::SetupMenu() const {
    return menuItem<rb::MenuItem>("SetupMenu");
}
rb::Ref<rb::MenuItem> Window1::SetupInput() const {
    return menuItem<rb::MenuItem>("SetupInput");
}
rb::Ref<rb::MenuItem> Window1::EditMenu() const {
    return menuItem<rb::MenuItem>("EditMenu");
}
rb::Ref<rb::MenuItem> Window1::EditSelectAll() const {
    return menuItem<rb::MenuItem>("EditSelectAll");
}
rb::Ref<rb::MenuItem> Window1::EditPaste() const {
    return menuItem<rb::MenuItem>("EditPaste");
}
rb::Ref<rb::MenuItem> Window1::EditCopy() const {
    return menuItem<rb::MenuItem>("EditCopy");
}
rb::Ref<rb::MenuItem> Window1::File() const {
    return menuItem<rb::MenuItem>("File");
}
rb::Ref<rb::MenuItem> Window1::FilePrintHelp() const {
    return menuItem<rb::MenuItem>("FilePrintHelp");
}
