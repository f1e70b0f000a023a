// The help window: the program's help text in large type in one read-only text area, with a
// menu bar of its own (MenuBar2) that stands in for the main one while the window is in front.
// One help window at a time, reached through Help::Help_().
#pragma once

#include "platform/rbframework/gui/controls.h"
#include "platform/rbframework/gui/window.h"

class Help : public rb::Window {
  public:
    static constexpr const char* kClassName = "Help";
    const char* className() const override { return kClassName; }

    // The implicit instance: the open help window, or a new one built and opened. One
    // reference for the caller.
    static rb::Ref<Help> Help_();

    void Layout() override;
    void CreateControls() override;
    void _CreateControls0();

    // Raises NilObjectException on a nil window.
    rb::Ref<rb::TextArea> TextArea1() const;

    // The items of the window's current menu bar, found by name; NilObjectException when the
    // window has no menu bar.
    rb::Ref<rb::MenuItem> EditMenu() const;
    rb::Ref<rb::MenuItem> EditSelectAll() const;
    rb::Ref<rb::MenuItem> EditSeparator2() const;
    rb::Ref<rb::MenuItem> EditClear() const;
    rb::Ref<rb::MenuItem> EditPaste() const;
    rb::Ref<rb::MenuItem> EditCopy() const;
    rb::Ref<rb::MenuItem> EditCut() const;
    rb::Ref<rb::MenuItem> EditSeparator1() const;
    rb::Ref<rb::MenuItem> EditUndo() const;
    rb::Ref<rb::MenuItem> FileMenu() const;
    rb::Ref<rb::QuitMenuItem> FileQuit() const;
    rb::Ref<rb::MenuItem> FilePrintHelp() const;

    void AddMenuHandlers() override;
    // "Print Help" chosen while this window is in front: prints the help text and closes the
    // window (HelpPrinting.h). Always handled.
    bool _FilePrintHelp_Action();

  private:
    template <class T>
    rb::Ref<T> menuItem(const char* name) const;
};
