// The main window's Open and Close events.
#include "editor/Module1.h"
#include "editor/Window1.h"
#include "help/Help.h"
#include "platform/rbframework/gui/application.h"
#include "platform/rbframework/gui/dialogs.h"
#include "settings/color_words.h"
#include "settings/prefModule.h"

namespace {
bool equals(const rb::String& a, const char* b) {
    return rb::RuntimeStringCompare(a, b) == 0;
}

rb::Ref<Window1> self() {
    rb::Ref<Window1> w = Window1::Window1_();
    if (!w) throw rb::NilObjectException();
    return w;
}
}  // namespace

void Window1::Event_Open() {
    // The stored place and size, each on the window the accessor yields.
    self()->setTop(prefModule::Window1Top);
    self()->setLeft(prefModule::Window1Left);
    self()->setWidth(prefModule::Window1Width);
    self()->setHeight(prefModule::Window1Height);
    // The stored bounds are the file's, and the file may come from a larger desktop or be
    // damaged: a window bigger than the screen, or off every screen, is brought back to it.
    self()->KeepOnScreen();

    auto text = EditField1();
    text->setTextFont(prefModule::InputFontFamily);
    text->setTextSize(static_cast<float>(prefModule::InputFontSize));
    text->setBold(equals(prefModule::InputBold, "True"));
    text->setTextColor(settings::textColorOf(prefModule::InputFontColor));

    Module1::sp = rb::make<SpeechZRQ>();
    Module1::vo = Module1::sp->DefaultVoice();
    if (Module1::vo) {
        Module1::sc = Module1::vo->NewChannel();
        if (Module1::sc) RateSlider()->setValue(prefModule::SpeakingRate);
    }
    if (!Module1::sp->Available())
        rb::MsgBox("Speech is not available on this computer configuration.");
    Module1::StartChar = 0;
    Module1::C = rb::make<ClipboardZRQ>();

    if (equals(prefModule::InitialLaunch, "True")) {
        rb::MsgBox("Please read the Help information before using Vellora!");
        rb::Ref<Help> help = Help::Help_();
        if (!help) throw rb::NilObjectException();
        help->Show();
        prefModule::InitialLaunch = "False";
    }
}

void Window1::Event_Close() {
    prefModule::savePrefs();
    rb::Quit(0);
}
