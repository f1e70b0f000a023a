#include "help/Help.h"

#include "help/HelpPrinting.h"
#include "help/HelpText.h"
#include "help/MenuBar2.h"

using rb::RGB;
using rb::String;

rb::Ref<Help> Help::Help_() {
    return rb::implicitWindow<Help>();
}

void Help::Layout() {
    setMenuBar(MenuBar2::MenuBar2_());
    _SetProperties({
        {"Placement", 0},
        {"Width", 400},
        {"Height", 409},
        {"MinWidth", 400},
        {"MinHeight", 409},
        {"MaxWidth", 32000},
        {"MaxHeight", 32000},
        {"Frame", 0},
        {"Composite", false},
        {"HasBackColor", false},
        {"BackColor", RGB(255, 255, 255)},
        {"Title", String("Vellora Help")},
        {"Visible", true},
        {"FullScreen", false},
        {"MenuBarVisible", true},
        {"CloseButton", true},
        {"Resizeable", true},
        {"LiveResize", true},
        {"MaximizeButton", false},
        {"MinimizeButton", false},
        {"MacProcID", 0},
    });
}

void Help::CreateControls() {
    _CreateControls0();
}

void Help::_CreateControls0() {
    _AddControl("TextArea1", rb::make<rb::TextArea>(this));
    controlAs<rb::TextArea>("TextArea1")->setTextUnit(0);
    controlAs<rb::TextArea>("TextArea1")->setTextSize(24);
    controlAs<rb::TextArea>("TextArea1")->setLineSpacing(1.0);
    controlAs<rb::TextArea>("TextArea1")
        ->_SetProperties({
            {"Left", 20},
            {"Top", 19},
            {"Width", 360},
            {"Height", 370},
            {"LockLeft", true},
            {"LockTop", true},
            {"LockRight", true},
            {"LockBottom", true},
            {"ReadOnly", true},
            {"Styled", true},
            {"Multiline", true},
            {"ScrollbarVertical", true},
            {"ScrollbarHorizontal", false},
            {"Border", true},
            {"TextFont", String("System")},
            {"TextSize", 24},
            {"Bold", true},
            {"Italic", false},
            {"Underline", false},
            {"TextColor", RGB(0, 0, 0)},
            {"BackColor", RGB(255, 255, 255)},
            {"TextUnit", 0},
            {"LineSpacing", 1.0},
            {"Alignment", 0},
            {"HideSelection", true},
            {"AutoDeactivate", true},
            {"UseFocusRing", true},
            {"AutomaticallyCheckSpelling", true},
            {"AcceptTabs", false},
            {"LimitText", 0},
            {"TabStop", true},
            {"TabIndex", 0},
            {"TabPanelIndex", 0},
            {"Enabled", true},
            {"Visible", true},
            {"Mask", String("")},
            {"Format", String("")},
            {"HelpTag", String("")},
            {"DataSource", String("")},
            {"DataField", String("")},
            {"InitialParent", String("")},
            {"Text", String(std::string(help::HelpText()))},
        });
    // No event handler: the text is only read.
}

rb::Ref<rb::TextArea> Help::TextArea1() const {
    return controlAs<rb::TextArea>("TextArea1");
}

template <class T>
rb::Ref<T> Help::menuItem(const char* name) const {
    rb::Ref<rb::MenuBar> bar = menuBar();
    if (!bar) throw rb::NilObjectException();
    rb::Ref<rb::MenuItem> item = bar->_Lookup(name);
    return rb::Ref<T>::retain(dynamic_cast<T*>(item.get()));
}

rb::Ref<rb::MenuItem> Help::EditMenu() const {
    return menuItem<rb::MenuItem>("EditMenu");
}
rb::Ref<rb::MenuItem> Help::EditSelectAll() const {
    return menuItem<rb::MenuItem>("EditSelectAll");
}
rb::Ref<rb::MenuItem> Help::EditSeparator2() const {
    return menuItem<rb::MenuItem>("EditSeparator2");
}
rb::Ref<rb::MenuItem> Help::EditClear() const {
    return menuItem<rb::MenuItem>("EditClear");
}
rb::Ref<rb::MenuItem> Help::EditPaste() const {
    return menuItem<rb::MenuItem>("EditPaste");
}
rb::Ref<rb::MenuItem> Help::EditCopy() const {
    return menuItem<rb::MenuItem>("EditCopy");
}
rb::Ref<rb::MenuItem> Help::EditCut() const {
    return menuItem<rb::MenuItem>("EditCut");
}
rb::Ref<rb::MenuItem> Help::EditSeparator1() const {
    return menuItem<rb::MenuItem>("EditSeparator1");
}
rb::Ref<rb::MenuItem> Help::EditUndo() const {
    return menuItem<rb::MenuItem>("EditUndo");
}
rb::Ref<rb::MenuItem> Help::FileMenu() const {
    return menuItem<rb::MenuItem>("FileMenu");
}
rb::Ref<rb::QuitMenuItem> Help::FileQuit() const {
    return menuItem<rb::QuitMenuItem>("FileQuit");
}
rb::Ref<rb::MenuItem> Help::FilePrintHelp() const {
    return menuItem<rb::MenuItem>("FilePrintHelp");
}

void Help::AddMenuHandlers() {
    _AddMenuHandler("FilePrintHelp", [this] { return _FilePrintHelp_Action(); });
}

bool Help::_FilePrintHelp_Action() {
    return help::PrintHelp();
}
