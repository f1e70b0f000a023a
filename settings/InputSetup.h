// The Input Style dialog: four groups of radio buttons that set the colour, size, family and
// weight of the main window's text. A click restyles the text at once and stores the choice in
// prefModule's globals, which reach the preference file when the main window closes. Opening
// the dialog selects the buttons that match the globals; closing it writes back only the groups
// whose selection moved since then, so a stored value outside the lists survives a dialog that
// was merely opened. One dialog at a time, reached through InputSetup::InputSetup_().
#pragma once

#include <array>

#include "platform/rbframework/gui/radio_group.h"
#include "platform/rbframework/gui/window.h"

class InputSetup : public rb::Window {
  public:
    static constexpr const char* kClassName = "InputSetup";
    const char* className() const override { return kClassName; }

    // The implicit instance: the open dialog, or a new one built and opened. One reference for
    // the caller.
    static rb::Ref<InputSetup> InputSetup_();

    void Layout() override;
    void CreateControls() override;
    void _CreateControls0();

    // The controls, in creation order; each is nil only if it was never made.
    rb::Ref<rb::GroupBox> GroupBox1() const;
    rb::Ref<rb::RadioButton> Black() const;
    rb::Ref<rb::RadioButton> Red() const;
    rb::Ref<rb::RadioButton> Blue() const;
    rb::Ref<rb::GroupBox> GroupBox2() const;
    rb::Ref<rb::RadioButton> Font18() const;
    rb::Ref<rb::RadioButton> Font24() const;
    rb::Ref<rb::RadioButton> Font36() const;
    rb::Ref<rb::RadioButton> Font48() const;
    rb::Ref<rb::RadioButton> Font64() const;
    rb::Ref<rb::RadioButton> Font72() const;
    rb::Ref<rb::RadioButton> Font96() const;
    rb::Ref<rb::RadioButton> Font144() const;
    rb::Ref<rb::GroupBox> GroupBox3() const;
    rb::Ref<rb::RadioButton> Helvetica() const;
    rb::Ref<rb::RadioButton> Arial() const;
    rb::Ref<rb::RadioButton> Times() const;
    rb::Ref<rb::RadioButton> Courier() const;
    rb::Ref<rb::GroupBox> GroupBox4() const;
    rb::Ref<rb::RadioButton> BoldOn() const;
    rb::Ref<rb::RadioButton> BoldOff() const;

    // Each restyles the main window's text, then stores the choice in its global.
    void Black_Action();
    void Red_Action();
    void Blue_Action();
    void Font18_Action();
    void Font24_Action();
    void Font36_Action();
    void Font48_Action();
    void Font64_Action();
    void Font72_Action();
    void Font96_Action();
    void Font144_Action();
    void Helvetica_Action();
    void Arial_Action();
    void Times_Action();
    void Courier_Action();
    void BoldOn_Action();
    void BoldOff_Action();

    // Selects one button per group from the globals; a value outside the lists leaves the
    // colour at Black and selects 144, Times or Off. Changes neither the text nor the globals.
    void Event_Open() override;
    // Writes the globals of the groups whose selection moved since Open from the selected
    // buttons; the others keep what they hold.
    void Event_Close() override;

  private:
    // The selected button of each group (colour, size, family, bold), nil for none; compared
    // by identity only.
    std::array<rb::RadioButton*, 4> selection() const;
    std::array<rb::RadioButton*, 4> opened_{};  // the selection Open made
};
