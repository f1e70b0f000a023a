// The main window: the large text area and, below it, the controls that read the text
// aloud, pause the reading, clear it, copy it and set the speaking rate.
#pragma once

#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/gui/window.h"

class Window1 : public rb::Window {
  public:
    static constexpr const char* kClassName = "Window1";
    const char* className() const override { return kClassName; }

    // The implicit instance: the open main window, or a new one built and opened.
    static rb::Ref<Window1> Window1_();

    void Layout() override;
    void CreateControls() override;
    void _CreateControls0();

    rb::Ref<rb::TextArea> EditField1() const;
    rb::Ref<rb::PushButton> TextToClipboard() const;
    rb::Ref<rb::PushButton> StopSpeaking() const;
    rb::Ref<rb::PushButton> ClearAll() const;
    rb::Ref<rb::Slider> RateSlider() const;
    rb::Ref<rb::Label> StaticText1() const;
    rb::Ref<rb::PushButton> SpeakSelected() const;
    rb::Ref<rb::Timer> Timer1() const;
    rb::Ref<rb::PushButton> SpeakToEnd() const;

    void EditField1_TextChange();
    void TextToClipboard_Action();
    void StopSpeaking_Action();
    void ClearAll_Action();
    void RateSlider_ValueChanged();
    void SpeakSelected_Action();
    void Timer1_Action();
    void SpeakToEnd_Action();

    rb::Ref<rb::MenuItem> HelpMenu() const;
    rb::Ref<rb::AppleMenuItem> HelpAbout() const;
    rb::Ref<rb::MenuItem> HelpShowVLRHelp() const;
    rb::Ref<rb::AppleMenuItem> CheckforUpdateMenu() const;
    rb::Ref<rb::MenuItem> CheckforUpdateCheckNow() const;
    rb::Ref<rb::MenuItem> SetupMenu() const;
    rb::Ref<rb::MenuItem> SetupInput() const;
    rb::Ref<rb::MenuItem> EditMenu() const;
    rb::Ref<rb::MenuItem> EditSelectAll() const;
    rb::Ref<rb::MenuItem> EditPaste() const;
    rb::Ref<rb::MenuItem> EditCopy() const;
    rb::Ref<rb::MenuItem> File() const;
    rb::Ref<rb::MenuItem> FilePrintHelp() const;

    void Event_Close() override;
    void Event_Open() override;

  private:
    template <class T>
    rb::Ref<T> menuItem(const char* name) const;
};
