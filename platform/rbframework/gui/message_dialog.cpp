#include "platform/rbframework/gui/message_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QStyle>

#include "platform/rbframework/gui/message_window.h"

namespace rb {

namespace {

QString toQ(const String& s) {
    return QString::fromStdString(s.toUtf8());
}

QStyle::StandardPixmap iconFor(int32_t code) {
    switch (code) {
        case MessageDialog::kIconCaution:
            return QStyle::SP_MessageBoxWarning;
        case MessageDialog::kIconStop:
            return QStyle::SP_MessageBoxCritical;
        case MessageDialog::kIconQuestion:
            return QStyle::SP_MessageBoxQuestion;
        default:
            return QStyle::SP_MessageBoxInformation;
    }
}

class DesktopPresenter final : public MessageDialogPresenter {
  public:
    DialogChoice present(const MessageDialog& d) override {
        detail::MessageWindow::Content content;
        content.title = toQ(d.Title);
        content.message = toQ(d.Message);
        content.explanation = toQ(d.Explanation);
        content.boldMessage = true;
        content.messageMinimumWidth = 360;
        if (d.Icon != MessageDialog::kIconNone) content.icon = iconFor(d.Icon);
        detail::MessageWindow dialog(content, QApplication::activeWindow());
        dialog.setAccessibleName(dialog.windowTitle());
        dialog.setAccessibleDescription(content.message);

        DialogChoice choice =
            d.CancelButton()->Visible() ? DialogChoice::Cancel : DialogChoice::Action;
        QDialogButtonBox* buttons = dialog.buttons();
        auto add = [&](const Ref<MessageDialogButton>& b, QDialogButtonBox::ButtonRole role,
                       DialogChoice which) {
            if (!b->Visible()) return static_cast<QPushButton*>(nullptr);
            QPushButton* button = buttons->addButton(toQ(b->Caption()), role);
            button->setAccessibleName(button->text());
            QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &choice, which] {
                choice = which;
                dialog.done(0);
            });
            return button;
        };
        QPushButton* action =
            add(d.ActionButton(), QDialogButtonBox::AcceptRole, DialogChoice::Action);
        add(d.CancelButton(), QDialogButtonBox::RejectRole, DialogChoice::Cancel);
        add(d.AlternateActionButton(), QDialogButtonBox::ActionRole, DialogChoice::Alternate);
        if (action) {
            action->setDefault(true);
            action->setFocus();
        }
        dialog.exec();
        return choice;
    }
};

MessageDialogPresenter* gReplacement = nullptr;

}  // namespace

MessageDialog::MessageDialog()
    : action_(make<MessageDialogButton>(String("OK"), true)),
      cancel_(make<MessageDialogButton>(String("Cancel"), false)),
      alternate_(make<MessageDialogButton>(String(""), false)) {}

Ref<MessageDialogButton> MessageDialog::ShowModal() {
    Ref<MessageDialog> self = Ref<MessageDialog>::retain(this);
    switch (detail::messageDialogPresenter().present(*this)) {
        case DialogChoice::Cancel:
            return cancel_;
        case DialogChoice::Alternate:
            return alternate_;
        case DialogChoice::Action:
            break;
    }
    return action_;
}

namespace detail {
MessageDialogPresenter& messageDialogPresenter() {
    static DesktopPresenter desktop;
    return gReplacement ? *gReplacement : desktop;
}
void setMessageDialogPresenter(MessageDialogPresenter* replacement) {
    gReplacement = replacement;
}
}  // namespace detail

}  // namespace rb
