#include "platform/rbframework/gui/dialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>

#include "platform/rbframework/gui/message_window.h"

namespace rb {

namespace {

class DesktopDialogs final : public Dialogs {
  public:
    void msgBox(const String& text) override {
        detail::MessageWindow::Content content;
        content.message = QString::fromStdString(text.toUtf8());
        content.messageMinimumWidth = detail::MessageWindow::kOneLine;
        content.alert = true;
        detail::MessageWindow box(content, QApplication::activeWindow());
        box.setAccessibleName(content.message);
        QPushButton* ok = box.buttons()->addButton(QDialogButtonBox::Ok);
        QObject::connect(box.buttons(), &QDialogButtonBox::accepted, &box, &QDialog::accept);
        ok->setDefault(true);
        ok->setFocus();
        box.exec();
    }
    void beep() override { QApplication::beep(); }
};

Dialogs* gReplacement = nullptr;

}  // namespace

namespace detail {
Dialogs& dialogs() {
    static DesktopDialogs desktop;
    return gReplacement ? *gReplacement : desktop;
}
void setDialogs(Dialogs* replacement) {
    gReplacement = replacement;
}
}  // namespace detail

void MsgBox(const String& text) {
    detail::dialogs().msgBox(text);
}
void Beep() {
    detail::dialogs().beep();
}

}  // namespace rb
