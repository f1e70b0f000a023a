// The main window's events and handlers.
#include "editor/Window1.h"
#include "platform/rbframework/gui/application.h"

void Window1::Event_Open() {}

void Window1::Event_Close() {
    rb::Quit(0);
}

void Window1::EditField1_TextChange() {}
void Window1::TextToClipboard_Action() {}
void Window1::StopSpeaking_Action() {}
void Window1::ClearAll_Action() {}
void Window1::RateSlider_ValueChanged() {}
void Window1::SpeakSelected_Action() {}
void Window1::Timer1_Action() {}
void Window1::SpeakToEnd_Action() {}
