#include "platform/rbframework/gui/message_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace rb {

namespace {

QString toQ(const String& s) {
    return QString::fromStdString(s.toUtf8());
}

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setText(text);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
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

// Longer than this, the explanation scrolls instead of growing the dialog past the screen.
constexpr qsizetype kScrollingExplanation = 1500;

class DesktopPresenter final : public MessageDialogPresenter {
  public:
    DialogChoice present(const MessageDialog& d) override {
        QDialog dialog(QApplication::activeWindow());
        QString title = toQ(d.Title);
        dialog.setWindowTitle(title.isEmpty() ? QApplication::applicationName() : title);
        dialog.setAccessibleName(dialog.windowTitle());
        dialog.setAccessibleDescription(toQ(d.Message));

        auto* outer = new QVBoxLayout(&dialog);
        auto* row = new QHBoxLayout;
        outer->addLayout(row);
        if (d.Icon != MessageDialog::kIconNone) {
            auto* icon = new QLabel(&dialog);
            int side = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
            icon->setPixmap(dialog.style()->standardIcon(iconFor(d.Icon)).pixmap(side, side));
            icon->setAlignment(Qt::AlignTop);
            row->addWidget(icon);
        }
        auto* texts = new QVBoxLayout;
        row->addLayout(texts, 1);
        QLabel* message = plainLabel(toQ(d.Message), &dialog);
        QFont bold = message->font();
        bold.setBold(true);
        message->setFont(bold);
        message->setMinimumWidth(360);
        texts->addWidget(message);
        QString explanation = toQ(d.Explanation);
        if (!explanation.isEmpty()) {
            QLabel* label = plainLabel(explanation, &dialog);
            if (explanation.size() > kScrollingExplanation) {
                auto* scroll = new QScrollArea(&dialog);
                scroll->setWidget(label);
                scroll->setWidgetResizable(true);
                scroll->setMinimumHeight(240);
                scroll->setAccessibleName(QStringLiteral("Explanation"));
                texts->addWidget(scroll);
            } else {
                texts->addWidget(label);
            }
        }

        DialogChoice choice =
            d.CancelButton()->Visible() ? DialogChoice::Cancel : DialogChoice::Action;
        auto* buttons = new QDialogButtonBox(&dialog);
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
        outer->addWidget(buttons);
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
