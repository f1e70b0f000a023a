// The Input Style dialog's radio actions and its Open and Close events.
#include <array>

#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/rbstring.h"
#include "settings/InputSetup.h"
#include "settings/color_words.h"
#include "settings/main_window.h"
#include "settings/prefModule.h"

namespace {

using settings::mainText;

bool equals(const rb::String& a, const char* b) {
    return rb::RuntimeStringCompare(a, b) == 0;
}

// Without a main window (the program is ending) a choice is only stored.
void color(const settings::ColorWord& c) {
    if (auto text = mainText()) text->setTextColor(c.color);
    prefModule::InputFontColor = c.word;
}

void size(int32_t points) {
    if (auto text = mainText()) text->setTextSize(static_cast<float>(points));
    prefModule::InputFontSize = points;
}

void family(const char* word) {
    if (auto text = mainText()) text->setTextFont(word);
    prefModule::InputFontFamily = word;
}

void bold(bool on) {
    if (auto text = mainText()) text->setBold(on);
    prefModule::InputBold = on ? "True" : "False";
}

void select(const rb::Ref<rb::RadioButton>& radio) {
    radio->setValue(true);  // a nil button raises NilObjectException
}

bool selected(const rb::Ref<rb::RadioButton>& radio) {
    return radio->Value();
}

}  // namespace

void InputSetup::Black_Action() {
    color(settings::kBlack);
}
void InputSetup::Red_Action() {
    color(settings::kRed);
}
void InputSetup::Blue_Action() {
    color(settings::kBlue);
}
void InputSetup::Font18_Action() {
    size(18);
}
void InputSetup::Font24_Action() {
    size(24);
}
void InputSetup::Font36_Action() {
    size(36);
}
void InputSetup::Font48_Action() {
    size(48);
}
void InputSetup::Font64_Action() {
    size(64);
}
void InputSetup::Font72_Action() {
    size(72);
}
void InputSetup::Font96_Action() {
    size(96);
}
void InputSetup::Font144_Action() {
    size(144);
}
void InputSetup::Helvetica_Action() {
    family("Helvetica");
}
void InputSetup::Arial_Action() {
    family("Arial");
}
void InputSetup::Times_Action() {
    family("Times");
}
void InputSetup::Courier_Action() {
    family("Courier");
}
void InputSetup::BoldOn_Action() {
    bold(true);
}
void InputSetup::BoldOff_Action() {
    bold(false);
}

namespace {

// The buttons of each group, in the order Open and Close test them; the colours in the order
// of the colour words.
std::array<rb::Ref<rb::RadioButton>, std::size(settings::kColorWords)> colors(const InputSetup& d) {
    return {d.Black(), d.Red(), d.Blue()};
}
std::array<rb::Ref<rb::RadioButton>, 8> sizes(const InputSetup& d) {
    return {d.Font18(), d.Font24(), d.Font36(), d.Font48(),
            d.Font64(), d.Font72(), d.Font96(), d.Font144()};
}
std::array<rb::Ref<rb::RadioButton>, 4> families(const InputSetup& d) {
    return {d.Helvetica(), d.Arial(), d.Courier(), d.Times()};
}
std::array<rb::Ref<rb::RadioButton>, 2> weights(const InputSetup& d) {
    return {d.BoldOn(), d.BoldOff()};
}

// The first selected button of a group, or nil.
template <size_t N>
rb::RadioButton* selectedOf(const std::array<rb::Ref<rb::RadioButton>, N>& group) {
    for (const auto& radio : group)
        if (selected(radio)) return radio.get();
    return nullptr;
}

}  // namespace

std::array<rb::RadioButton*, 4> InputSetup::selection() const {
    return {selectedOf(colors(*this)), selectedOf(sizes(*this)), selectedOf(families(*this)),
            selectedOf(weights(*this))};
}

void InputSetup::Event_Open() {
    const auto colorButtons = colors(*this);
    for (size_t i = 0; i < colorButtons.size(); ++i) {
        if (equals(prefModule::InputFontColor, settings::kColorWords[i].word)) {
            select(colorButtons[i]);
            break;
        }
    }

    switch (prefModule::InputFontSize) {
        case 18:
            select(Font18());
            break;
        case 24:
            select(Font24());
            break;
        case 36:
            select(Font36());
            break;
        case 48:
            select(Font48());
            break;
        case 64:
            select(Font64());
            break;
        case 72:
            select(Font72());
            break;
        case 96:
            select(Font96());
            break;
        default:
            select(Font144());
            break;
    }

    const rb::String& familyWord = prefModule::InputFontFamily;
    if (equals(familyWord, "Helvetica"))
        select(Helvetica());
    else if (equals(familyWord, "Arial"))
        select(Arial());
    else if (equals(familyWord, "Courier"))
        select(Courier());
    else
        select(Times());

    if (equals(prefModule::InputBold, "True"))
        select(BoldOn());
    else
        select(BoldOff());

    // What Open shows, so that Close can tell the user's changes from Open's fallbacks.
    opened_ = selection();
}

// A group whose selection is still the one Open made keeps its global: that selection may be
// only a fallback for a stored value outside the lists, which the main window shows as it is.
// Every choice of the user has been stored by its radio action already.
void InputSetup::Event_Close() {
    const std::array<rb::RadioButton*, 4> now = selection();

    if (now[0] != opened_[0]) {
        const auto colorButtons = colors(*this);
        for (size_t i = 0; i < colorButtons.size(); ++i) {
            if (selected(colorButtons[i])) {
                prefModule::InputFontColor = settings::kColorWords[i].word;
                break;
            }
        }
    }

    if (now[1] != opened_[1]) {
        if (selected(Font18()))
            prefModule::InputFontSize = 18;
        else if (selected(Font24()))
            prefModule::InputFontSize = 24;
        else if (selected(Font36()))
            prefModule::InputFontSize = 36;
        else if (selected(Font48()))
            prefModule::InputFontSize = 48;
        else if (selected(Font64()))
            prefModule::InputFontSize = 64;
        else if (selected(Font72()))
            prefModule::InputFontSize = 72;
        else if (selected(Font96()))
            prefModule::InputFontSize = 96;
        else
            prefModule::InputFontSize = 144;
    }

    if (now[2] != opened_[2]) {
        if (selected(Helvetica()))
            prefModule::InputFontFamily = "Helvetica";
        else if (selected(Arial()))
            prefModule::InputFontFamily = "Arial";
        else if (selected(Courier()))
            prefModule::InputFontFamily = "Courier";
        else
            prefModule::InputFontFamily = "Times";
    }

    if (now[3] != opened_[3]) prefModule::InputBold = selected(BoldOn()) ? "True" : "False";
}
