#include "help/label_design.h"

#include "app/design.h"
#include "platform/rbframework/gui/controls.h"

namespace help {

void AddLabel(rb::Window& window, const LabelDesign& d) {
    using rb::String;
    window._AddControl(d.name, rb::make<rb::Label>(&window));
    rb::Ref<rb::Label> label = window.controlAs<rb::Label>(d.name);
    label->setTextUnit(0);
    design::Place(*label, d.left, d.top, d.width, d.height);
    label->_SetProperties({
        {"Text", String(d.text)},
        {"TextAlign", d.align},
        {"TextFont", String(d.font)},
        {"TextUnit", 0},
        {"Bold", d.bold},
        {"Italic", false},
        {"Underline", false},
        {"TextColor", rb::RGB(0, 0, 0)},
        {"Multiline", d.multiline},
        {"Selectable", false},
        {"Transparent", false},
        {"DataSource", String("")},
        {"DataField", String("")},
        {"AutoDeactivate", true},
        {"HelpTag", String("")},
        {"Enabled", true},
        {"Visible", true},
        {"TabStop", true},
        {"TabIndex", d.tabIndex},
        {"TabPanelIndex", 0},
        {"InitialParent", String("")},
    });
}

}  // namespace help
