// A modal dialog of several buttons: a title, a main message, a smaller explanation, an icon,
// and three buttons (the action button, which is the default, a cancel button and an
// alternate action button). ShowModal returns the button that was pressed. What shows it sits
// behind an interface, so that a test answers it in place of a person (testing.h).
#pragma once

#include <cstdint>

#include "platform/rbframework/object.h"
#include "platform/rbframework/rbstring.h"

namespace rb {

class MessageDialogButton final : public Object {
  public:
    MessageDialogButton(String caption, bool visible)
        : caption_(std::move(caption)), visible_(visible) {}
    const String& Caption() const { return caption_; }
    void setCaption(const String& caption) { caption_ = caption; }
    bool Visible() const { return visible_; }
    void setVisible(bool on) { visible_ = on; }

  private:
    String caption_;
    bool visible_;
};

class MessageDialog final : public Object {
  public:
    // Icon codes.
    static constexpr int32_t kIconNone = -1, kIconNote = 0, kIconCaution = 1, kIconStop = 2,
                             kIconQuestion = 3;

    // The action button reads "OK" and shows; the cancel button reads "Cancel" and the
    // alternate button nothing, and both are hidden until made visible.
    MessageDialog();

    String Title, Message, Explanation;  // all shown as plain text, never as markup
    int32_t Icon = kIconNote;

    Ref<MessageDialogButton> ActionButton() const { return action_; }
    Ref<MessageDialogButton> CancelButton() const { return cancel_; }
    Ref<MessageDialogButton> AlternateActionButton() const { return alternate_; }

    // Shows the dialog and returns, once it is dismissed, the button that was pressed (one
    // reference for the caller). Closing it without a button counts as the cancel button when
    // that shows, else as the action button.
    Ref<MessageDialogButton> ShowModal();

  private:
    Ref<MessageDialogButton> action_, cancel_, alternate_;
};

// Which of the three buttons ended a dialog.
enum class DialogChoice { Action, Cancel, Alternate };

class MessageDialogPresenter {
  public:
    virtual ~MessageDialogPresenter() = default;
    virtual DialogChoice present(const MessageDialog& dialog) = 0;
};

namespace detail {
MessageDialogPresenter& messageDialogPresenter();
void setMessageDialogPresenter(MessageDialogPresenter* replacement);  // null: the desktop's
}  // namespace detail

}  // namespace rb
