// The main window's control handlers: the word echo, the key timer and the commands.
#include "editor/Module1.h"
#include "editor/Window1.h"

void Window1::EditField1_TextChange() {}
void Window1::TextToClipboard_Action() {}
void Window1::StopSpeaking_Action() {}
void Window1::ClearAll_Action() {}
void Window1::RateSlider_ValueChanged() {}
void Window1::SpeakSelected_Action() {}
void Window1::Timer1_Action() {}
void Window1::SpeakToEnd_Action() {}
